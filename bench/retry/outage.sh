#!/usr/bin/env bash
# An FTP server that goes away while files change, and comes back: the real tandemkeep.exe with
# retrying on and one FTP target on a vsftpd of this script's own. With the server stopped, N
# files (default 100) are written into the watched folder; once their uploads have failed the
# server starts again, and the script times until every file is on the server, and how much of
# that the upload round itself took (from its first file on the server to its last).
#   bench/retry/outage.sh [files, default 100] [first retry step in ms, default 30000]
set -euo pipefail
cd "$(dirname "$0")/../.."
root=${TK_BUILD_ROOT:-build}
files=${1:-100}
first=${2:-30000}
cmake -S . -B "$root/x86_64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/x86_64" --target tandemkeep outage_setup >/dev/null

source scripts/services.sh
data=$(mktemp -d /tmp/tkoutage.XXXXXX)
program_pid=
server_pid=
stop_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=
  fi
}
finish() {
  stop_server
  if [ -n "$program_pid" ]; then
    kill "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
  fi
  if [ -n "${WINEPREFIX:-}" ]; then
    wine "$root/x86_64/bench/outage_setup.exe" clear </dev/null >/dev/null 2>&1 || true
  fi
  stop_services
  chmod -R u+w "$data" 2>/dev/null || true
  rm -rf "$data"
}
trap finish EXIT
start_display
start_wine "$PWD/$root/x86_64/wineprefix"

mkdir -p "$data/install" "$data/watched" "$data/root/pub" "$data/empty"
chmod 777 "$data/root/pub"
chmod 555 "$data/root"
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$data/vsftpd.conf" <<CONF
listen=YES
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=YES
local_enable=NO
anon_root=$data/root
no_anon_password=YES
write_enable=YES
anon_upload_enable=YES
anon_mkdir_write_enable=YES
anon_other_write_enable=YES
connect_from_port_20=NO
seccomp_sandbox=NO
run_as_launching_user=YES
secure_chroot_dir=$data/empty
xferlog_enable=NO
CONF
start_server() {
  /usr/sbin/vsftpd "$data/vsftpd.conf" </dev/null >/dev/null 2>&1 &
  server_pid=$!
  for _ in $(seq 100); do
    (echo >/dev/tcp/127.0.0.1/"$port") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "vsftpd did not start"
  return 1
}
start_server
winpath() { winepath -w "$1" 2>/dev/null </dev/null; }
wine "$root/x86_64/bench/outage_setup.exe" "$(winpath "$data/install")" "$(winpath "$data/watched")" \
  "$port" </dev/null 2>&1 | tr -d '\r'
TK_RETRY_FIRST_MS=$first wine "$root/x86_64/tandemkeep.exe" HIDE </dev/null >"$data/program.out" 2>&1 &
program_pid=$!

/usr/bin/python3 - "$data" "$files" <<'PY'
import os, subprocess, sys, time
data, files = sys.argv[1], int(sys.argv[2])
watched, stored = os.path.join(data, "watched"), os.path.join(data, "root", "pub")
def wait_for(cond, seconds):
    end = time.time() + seconds
    while time.time() < end:
        if cond():
            return True
        time.sleep(0.02)
    return False
# The monitor watches once a probe arrives.
probe = os.path.join(watched, "probe.txt")
if not wait_for(lambda: (open(probe, "w").write("probe"), wait_for(
        lambda: os.path.exists(os.path.join(stored, "probe.txt")), 1))[1], 60):
    sys.exit("the program did not store the probe")
print("probe stored; stopping the server")
PY
stop_server
/usr/bin/python3 - "$data" "$files" <<'PY'
import os, sys, time
data, files = sys.argv[1], int(sys.argv[2])
for i in range(files):
    with open(os.path.join(data, "watched", "f%05d.bin" % i), "wb") as f:
        f.write(os.urandom(1000 + i))
# Until every first attempt has failed: the error log stops growing.
log, last, still = os.path.join(data, "install", "errorlog.txt"), -1, 0
while still < 20:
    size = os.path.getsize(log) if os.path.exists(log) else 0
    still = still + 1 if size == last and size > 0 else 0
    last = size
    time.sleep(0.1)
print("%d files written while the server was down" % files)
PY
start_server
/usr/bin/python3 - "$data" "$files" <<'PY'
import os, sys, time
data, files = sys.argv[1], int(sys.argv[2])
stored = os.path.join(data, "root", "pub")
back = time.time()
want = {"f%05d.bin" % i: 1000 + i for i in range(files)}
first = None
while True:
    have = {n: os.path.getsize(os.path.join(stored, n)) for n in os.listdir(stored) if n in want}
    if have and first is None:
        first = time.time()
    if have == want:
        break
    if time.time() - back > 7200:
        sys.exit("not every file arrived")
    time.sleep(0.02)
done = time.time()
print("all %d files stored %.2f s after the server answered again; the round itself took %.2f s"
      % (files, done - back, done - first))
PY
