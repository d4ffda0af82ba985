#!/usr/bin/env bash
# Whole-folder transfer to one disk target against cp -r of the same tree, in
# the same run: bench/folder/run.sh [files, default 10000] [runs, default 3]
# [bytes per file, default 1024] [seconds]. The tree (100 subfolders) is made
# on Linux in a temporary folder, which is removed at the end. With seconds,
# each run stops waiting after that long and reports the memory it saw (for
# folders too large to wait for). TK_BENCH_PREFIX names another Wine prefix,
# for a second benchmark beside this one; TK_BENCH_ARCH=i686 runs the 32-bit
# release build.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=${TK_BUILD_ROOT:-build}
arch=${TK_BENCH_ARCH:-x86_64}
files=${1:-10000}
runs=${2:-3}
size=${3:-1024}
limit=${4:-}
cmake -S . -B "$root/$arch" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-$arch.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/$arch" --target folder_bench >/dev/null
source scripts/services.sh
work=$(mktemp -d /tmp/tkfolder.XXXXXX)
cleanup() {
  rm -rf "$work"
  stop_services
}
trap cleanup EXIT
start_display
start_wine "${TK_BENCH_PREFIX:-$PWD/$root/$arch/wineprefix}"

/usr/bin/python3 - "$work/src" "$files" "$size" <<'PY'
import os, sys
root, files, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
data = b"x" * size
for i in range(files):
    folder = os.path.join(root, "d%d" % (i % 100))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%d.bin" % i), "wb") as f:
        f.write(data)
PY
sync
winpath() { echo "Z:${1//\//\\}"; }
bench="$PWD/$root/$arch/bench/folder_bench.exe"
for i in $(seq "$runs"); do
  # The reference is the best of three cp -r: one alone varies tenfold with
  # the write-back of what came before.
  cp_s=""
  for _ in 1 2 3; do
    rm -rf "$work/cp"
    sync
    t0=$(date +%s.%N)
    cp -r "$work/src" "$work/cp"
    t1=$(date +%s.%N)
    cp_s=$(awk -v b="$cp_s" "BEGIN { t = $t1 - $t0; print (b == \"\" || t < b + 0) ? t : b }")
  done
  rm -rf "$work/cp" "$work/tk"
  sync
  mkdir "$work/tk"
  sync
  # Through a file: Wine's helper processes would hold a pipe open.
  status=0
  wine "$bench" "$(winpath "$work/src")" "$(winpath "$work/tk")" "$files" $limit </dev/null \
    >"$work/out.txt" 2>&1 || status=$?
  tr -d '\r' <"$work/out.txt" | grep -v '^seconds'
  tk_s=$(tr -d '\r' <"$work/out.txt" | awk '/^seconds/ { print $2 }')
  if [ "$status" = 3 ]; then
    echo "run $i: stopped waiting after $tk_s s, as asked"
    continue
  fi
  [ "$status" = 0 ] || { echo "the transfer did not finish" >&2; exit 1; }
  diff -rq "$work/src" "$work/tk" >/dev/null || { echo "the stored tree differs from the source" >&2; exit 1; }
  awk -v run="$i" -v files="$files" -v tk="$tk_s" -v cp="$cp_s" -v load="$(cut -d' ' -f1 /proc/loadavg)" 'BEGIN {
    printf "run %d: folder transfer %.2f s (%.3f ms per file), cp -r (best of 3) %.3f s, ratio (cp / transfer) %.4f, load average %s\n",
      run, tk, tk * 1000 / files, cp, cp / tk, load }'
done
