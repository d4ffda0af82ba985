#!/usr/bin/env bash
# The pending list and the stored versions at scale, and the catch-up at start:
#   bench/retry/run.sh [entries, default 100000] [files in the tree, default 100000] [items]
# The tree (100 subfolders of small files, one item; or as many subfolders as items, each an
# item) is made on Linux in a temporary folder, removed at the end with the scratch files.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=${TK_BUILD_ROOT:-build}
entries=${1:-100000}
files=${2:-100000}
items=${3:-1}
cmake -S . -B "$root/x86_64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/x86_64" --target retry_bench >/dev/null
source scripts/services.sh
work=$(mktemp -d /tmp/tkretry.XXXXXX)
cleanup() {
  rm -rf "$work"
  stop_services
}
trap cleanup EXIT
start_display
start_wine "$PWD/$root/x86_64/wineprefix"
mkdir -p "$work/scratch"
/usr/bin/python3 - "$work/tree" "$files" "$items" <<'PY'
import os, sys
root, files, items = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
folders = items if items > 1 else 100
for i in range(files):
    folder = os.path.join(root, "d%d" % (i % folders))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%d.txt" % i), "wb") as f:
        f.write(b"x" * (i % 97))
PY
winpath() { echo "Z:${1//\//\\}"; }
# Through a file: Wine's helper processes would hold a pipe open.
wine "$PWD/$root/x86_64/bench/retry_bench.exe" "$(winpath "$work/scratch")" "$entries" \
  "$(winpath "$work/tree")" "$files" "$items" </dev/null >"$work/out.txt" 2>&1 || status=$?
tr -d '\r' <"$work/out.txt"
exit "${status:-0}"
