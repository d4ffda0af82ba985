#!/usr/bin/env bash
# Builds and runs the folder-transfer benchmark under the worktree's private
# Wine prefix and Xvfb; "copy" also times the full copy and cp -r beside it.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=${TK_BUILD_ROOT:-build}
scripts/build x86_64 "$root" >/dev/null
cmake --build "$root/x86_64" --target folder_bench >/dev/null
source scripts/services.sh
trap stop_services EXIT
start_display
start_wine "$PWD/$root/x86_64/wineprefix"
out=$(mktemp)
wine "$root/x86_64/bench/folder_bench.exe" "$@" </dev/null >"$out" 2>&1 || true
cat "$out"
rm -f "$out"
if [ "${1:-}" = copy ]; then
  tmp=$(mktemp -d)
  mkdir "$tmp/src"
  for d in $(seq 0 99); do
    mkdir "$tmp/src/d$d"
    for f in $(seq 0 99); do head -c 4096 /dev/zero | tr '\0' x >"$tmp/src/d$d/f$f.bin"; done
  done
  sync
  start=$(date +%s.%N)
  cp -r "$tmp/src" "$tmp/dst"
  end=$(date +%s.%N)
  echo "cp -r of the same tree: $(echo "$end - $start" | bc) s"
  rm -rf "$tmp"
fi
