#!/usr/bin/env bash
# The program's start with many items and the catch-up on: the real tandemkeep.exe under the
# build's Wine prefix and Xvfb, its window shown, with start_probe beside it (bench/start).
#   bench/start/run.sh [runs, default 3] [cases, default "first later full"] [items, default 1000]
#                      [files per item, default 100] [changed files, default 100]
# first: no stored state yet; later: the stored state of a first start and some files changed
# while the program was not running; full: 100,000 pending copies and stored versions loaded.
# TK_BENCH_PREFIX names another Wine prefix; TK_BENCH_ARCH=i686 runs the 32-bit release build;
# TK_BENCH_KEEP=1 keeps the temporary folder (probe.log, program.err, the install folder).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=${TK_BUILD_ROOT:-build}
arch=${TK_BENCH_ARCH:-x86_64}
runs=${1:-3}
cases=${2:-first later full}
items=${3:-1000}
per_item=${4:-100}
changed=${5:-100}
cmake -S . -B "$root/$arch" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-$arch.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/$arch" --target tandemkeep start_setup start_probe >/dev/null

source scripts/services.sh
data=$(mktemp -d /tmp/tkstart.XXXXXX)
finish() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wine "$root/$arch/bench/start_setup.exe" clear </dev/null >/dev/null 2>&1 || true
  fi
  stop_services
  [ -n "${TK_BENCH_KEEP:-}" ] && echo "kept $data" || rm -rf "$data"
}
trap finish EXIT
start_display
start_wine "${TK_BENCH_PREFIX:-$PWD/$root/$arch/wineprefix}"
# shellcheck disable=SC2086
python3 bench/start/start.py "$root" "$arch" "$data" "$items" "$per_item" "$changed" "$runs" $cases
