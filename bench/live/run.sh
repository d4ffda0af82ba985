#!/usr/bin/env bash
# Full-program benchmark: the real tandemkeep.exe runs under the build's own
# Wine prefix and Xvfb, registered like an installed program with one watched
# folder and one disk target; measure.py writes into the folder from Linux and
# waits for the stored copies.
# A probe asks the main window something every 5 ms (bench/probe).
#   bench/live/run.sh [single changes, default 200] [burst files, default 2000]
# TK_BENCH_PREFIX names another Wine prefix, for a second benchmark beside this one;
# TK_BENCH_ARCH=i686 runs the 32-bit release build.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=${TK_BUILD_ROOT:-build}
arch=${TK_BENCH_ARCH:-x86_64}
changes=${1:-200}
files=${2:-2000}
cmake -S . -B "$root/$arch" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-$arch.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/$arch" --target tandemkeep live_setup window_probe >/dev/null

source scripts/services.sh
data=$(mktemp -d /tmp/tklive.XXXXXX)
program_pid=
finish() {
  if [ -n "$program_pid" ]; then
    kill "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
  fi
  if [ -n "${WINEPREFIX:-}" ]; then
    wine "$root/$arch/bench/live_setup.exe" clear </dev/null >/dev/null 2>&1 || true
  fi
  stop_services
  rm -rf "$data"
}
trap finish EXIT
start_display
start_wine "${TK_BENCH_PREFIX:-$PWD/$root/$arch/wineprefix}"

mkdir "$data/install" "$data/watched" "$data/stored"
winpath() { winepath -w "$1" 2>/dev/null </dev/null; }
wine "$root/$arch/bench/live_setup.exe" "$(winpath "$data/install")" "$(winpath "$data/watched")" \
  "$(winpath "$data/stored")" </dev/null 2>&1 | tr -d '\r'

wine "$root/$arch/tandemkeep.exe" HIDE </dev/null >"$data/program.out" 2>&1 &
program_pid=$!
wine "$root/$arch/bench/window_probe.exe" "$(winpath "$data/probe.log")" "$(winpath "$data/probe.stop")" \
  </dev/null >/dev/null 2>&1 &
status=0
python3 bench/live/measure.py "$data/watched" "$data/stored" "$changes" "$files" "$data/probe.log" \
  "$data/probe.stop" || status=$?
if ! kill -0 "$program_pid" 2>/dev/null; then
  echo "tandemkeep.exe is no longer running"
  status=1
fi
for log in "$data"/install/*; do
  [ -f "$log" ] && echo "$(basename "$log"): $(wc -l <"$log") lines"
done
exit $status
