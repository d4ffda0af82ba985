#!/usr/bin/env bash
# A large file renamed into a watched folder whose item has one FTP target:
# the real tandemkeep.exe runs under the build's own Wine prefix and Xvfb,
# registered like an installed program (live_ftp_setup), against the test run's
# vsftpd on 127.0.0.1 in active mode; rename.py renames the file in and times
# until the stored copy is whole and the backup log has its success line, then
# times curl -P 127.0.0.1 -T of the same file to the same server.
#   bench/ftp/rename.sh [MiB, default 200] [runs, default 3]
# Run after scripts/build x86_64 (it builds the three programs it needs).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=${TK_BUILD_ROOT:-build}
arch=${TK_BENCH_ARCH:-x86_64}  # i686: the 32-bit release build
mib=${1:-200}
runs=${2:-3}
cmake --build "$root/$arch" --target tandemkeep live_ftp_setup window_probe >/dev/null

source scripts/services.sh
# The stage folder beside the watched one: the rename stays on one file system.
data=$(mktemp -d /tmp/tkftprename.XXXXXX)
state=$data/servers
program_pid=
finish() {
  if [ -n "$program_pid" ]; then
    kill "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
  fi
  if [ -n "${WINEPREFIX:-}" ]; then
    wine "$root/$arch/bench/live_ftp_setup.exe" clear </dev/null >/dev/null 2>&1 || true
  fi
  scripts/ftp-servers stop "$state" >/dev/null 2>&1 || true
  stop_services
  rm -rf "$data"
}
trap finish EXIT
start_display
start_wine "$PWD/$root/$arch/wineprefix"
scripts/ftp-servers start "$state" >/dev/null
port=$(awk '$1 == "vsftpd" {print $2}' "$state/ports.txt")

mkdir "$data/install" "$data/watched" "$data/stage"
winpath() { winepath -w "$1" 2>/dev/null </dev/null; }
watched_win=$(winpath "$data/watched")
wine "$root/$arch/bench/live_ftp_setup.exe" "$(winpath "$data/install")" "$watched_win" "$port" \
  pub/program </dev/null 2>&1 | tr -d '\r'

wine "$root/$arch/tandemkeep.exe" HIDE </dev/null >"$data/program.out" 2>&1 &
program_pid=$!
wine "$root/$arch/bench/window_probe.exe" "$(winpath "$data/probe.log")" "$(winpath "$data/probe.stop")" \
  </dev/null >/dev/null 2>&1 &
status=0
/usr/bin/python3 bench/ftp/rename.py "$data/stage" "$data/watched" "$watched_win" \
  "$state/vsroot/pub" "$data/install/backuplog.txt" "$port" "$mib" "$runs" \
  "$data/probe.log" "$data/probe.stop" || status=$?
if ! kill -0 "$program_pid" 2>/dev/null; then
  echo "tandemkeep.exe is no longer running"
  status=1
fi
[ -f "$data/install/errorlog.txt" ] && { echo "error log:"; cat "$data/install/errorlog.txt"; }
if [ $status != 0 ] && [ -f "$data/install/backuplog.txt" ]; then
  echo "backup log, last lines:"
  tail -n 5 "$data/install/backuplog.txt"
fi
exit $status
