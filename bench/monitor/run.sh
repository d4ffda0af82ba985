#!/usr/bin/env bash
# Runs the monitor benchmark under Wine in the build's own prefix:
#   bench/monitor/run.sh [single changes] [burst files]
set -euo pipefail
cd "$(dirname "$0")/../.."
TK_SKIP_I686=1 scripts/build x86_64 build >/dev/null
source scripts/services.sh
trap stop_services EXIT
start_wine "$PWD/build/x86_64/wineprefix"
out=$(mktemp)
wine build/x86_64/bench/monitor_bench.exe "$@" </dev/null >"$out" 2>&1 || true
cat "$out"
rm -f "$out"
