#!/usr/bin/env bash
# Copies one 1 GiB file with CopyToDiskTarget (under Wine) and with cp, in the
# same run, and prints both times and their ratio. The file lives in /tmp and
# is deleted at the end. Run from anywhere: bench/disk/run.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
root=${TK_BUILD_ROOT:-build}
work=${TK_BENCH_DIR:-/tmp/tk-disk-bench}
runs=${TK_BENCH_RUNS:-3}

scripts/build x86_64 "$root" >/dev/null
source scripts/services.sh
cleanup() {
  rm -rf "$work"
  stop_services
}
trap cleanup EXIT
start_wine "$PWD/$root/x86_64/wineprefix"

rm -rf "$work"
mkdir -p "$work/src" "$work/tk" "$work/cp"
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$work/src/big.bin"
sync

winpath() { echo "Z:${1//\//\\}"; }
bench="$PWD/$root/x86_64/bench/disk_throughput.exe"
best_tk=""
best_cp=""
for i in $(seq "$runs"); do
  rm -f "$work/cp/big.bin" "$work/tk/big.bin"
  sync
  t0=$(date +%s.%N)
  cp "$work/src/big.bin" "$work/cp/big.bin"
  t1=$(date +%s.%N)
  cp_s=$(awk "BEGIN { print $t1 - $t0 }")
  sync
  # Through a file: Wine's helper processes would hold a pipe open.
  wine "$bench" "$(winpath "$work/src/big.bin")" "$(winpath "$work/tk")" </dev/null >"$work/out.txt" 2>&1
  tk_s=$(tr -d '\r' <"$work/out.txt" | tail -n1)
  cmp -s "$work/src/big.bin" "$work/tk/big.bin" || { echo "copy differs from the source" >&2; exit 1; }
  printf 'run %d: CopyToDiskTarget %.3f s, cp %.3f s\n' "$i" "$tk_s" "$cp_s"
  best_tk=$(awk "BEGIN { b = \"$best_tk\"; print (b == \"\" || $tk_s < b + 0) ? $tk_s : b }")
  best_cp=$(awk "BEGIN { b = \"$best_cp\"; print (b == \"\" || $cp_s < b + 0) ? $cp_s : b }")
done
awk -v runs="$runs" -v tk="$best_tk" -v cp="$best_cp" 'BEGIN {
  printf "best of %d: CopyToDiskTarget %.3f s (%.0f MiB/s), cp %.3f s (%.0f MiB/s), ratio %.2f\n",
    runs, tk, 1024 / tk, cp, 1024 / cp, tk / cp }'
