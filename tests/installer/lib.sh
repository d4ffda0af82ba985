# Sourced by the installer's test scripts: a private Wine prefix with its own
# wineserver, registry and file helpers that read what a user would see, and
# check bookkeeping. Every check prints "ok" or "FAIL"; the script's exit code
# is the number of failures (capped).

failures=0
group=""

begin_group() {
  group=$1
  echo "== $group"
}

pass() { echo "ok   - $group: $1"; }
fail() { echo "FAIL - $group: $1"; failures=$((failures + 1)); }

# check DESCRIPTION COMMAND...: passes when the command succeeds.
check() {
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

# check_eq DESCRIPTION EXPECTED ACTUAL
check_eq() {
  if [ "$2" == "$3" ]; then
    pass "$1"
  else
    fail "$1: expected [$2], got [$3]"
  fi
}

finish() {
  echo "$failures failure(s)"
  [ "$failures" -eq 0 ]
}

# Wine prefixes, the display and the registry views, as the scripts use them.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/services.sh"

# start_private_wine ARCH DIR: a fresh prefix in DIR and a wineserver that
# stays up until the script ends; the registry helpers below then use the
# view of ARCH's program and setup. Output of Wine's helpers goes to files,
# never to our pipes, which they would hold open.
start_private_wine() {
  use_build "$1" || exit 2
  stop_wine "$2"
  rm -rf "$2"
  trap stop_wine EXIT
  start_wine "$2" || exit 1
}

# drive_c: the prefix's C: drive as a Linux folder.
drive_c() { echo "$WINEPREFIX/drive_c"; }

# program_files: where the setup of the build under test installs by
# default; a 32-bit setup on 64-bit Windows gets the (x86) folder.
program_files() {
  if [ "$TK_ARCH" = i686 ]; then echo 'C:\Program Files (x86)'; else echo 'C:\Program Files'; fi
}

# unix_path 'C:\A\B': that path on C: as a Linux path.
unix_path() {
  local p=${1#C:\\}
  echo "$(drive_c)/${p//\\//}"
}

# reg_value KEY NAME: prints "TYPE DATA" of the value, nothing when it is absent.
reg_value() {
  local out
  out=$(program_reg query "$1" /v "$2" 2>/dev/null | tr -d '\r') || return 0
  # "    name    TYPE    data": the data may contain blanks of its own.
  # The name goes through the environment: awk -v would eat its backslashes.
  printf '%s\n' "$out" | REG_NAME=$2 awk '
    {
      line = $0
      sub(/^    /, "", line)
      n = index(line, "    ")
      if (n == 0) next
      if (tolower(substr(line, 1, n - 1)) != tolower(ENVIRON["REG_NAME"])) next
      rest = substr(line, n + 4)
      m = index(rest, "    ")
      if (m == 0) { print rest; exit }
      print substr(rest, 1, m - 1) " " substr(rest, m + 4)
      exit
    }'
}

reg_key_exists() { program_reg query "$1" >/dev/null 2>&1; }
reg_key_absent() { ! reg_key_exists "$1"; }

# reg_key_only_in_program_view KEY: the key is where the program under test
# looks, and not in the registry view of the other build.
reg_key_only_in_program_view() {
  local other=/reg:32
  [ "$TK_REG_VIEW" = /reg:32 ] && other=/reg:64
  reg_key_exists "$1" && ! wine reg query "$1" "$other" </dev/null >/dev/null 2>&1
}

reg_set() { program_reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null 2>&1; }
reg_delete_value() { program_reg delete "$1" /v "$2" /f >/dev/null 2>&1; }

# reg_import FILE: a .reg file (a Windows path) into the program's view.
reg_import() { program_reg import "$1" >/dev/null 2>&1; }

# run_wine OUTFILE PROGRAM ARGS...: runs a Windows program to its end and
# returns its exit code.
run_wine() {
  local out=$1; shift
  wine "$@" </dev/null >"$out" 2>&1
}

# wait_for_uninstaller: the NSIS uninstaller copies itself into a temporary
# folder (~nsuN.tmp\Un.exe), starts that copy and returns at once; wait until
# the copy started from this prefix has ended.
wait_for_uninstaller() {
  local pid busy
  for _ in $(seq 300); do
    busy=""
    for pid in $(pgrep -f 'nsu[0-9A-Za-z]*\.tmp\\(Un|Au_)\.exe' || true); do
      if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
        busy=1
      fi
    done
    [ -z "$busy" ] && return 0
    sleep 0.1
  done
  return 1
}
