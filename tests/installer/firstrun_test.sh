#!/usr/bin/env bash
# Installs a build's setup program silently in a fresh 64-bit Wine prefix and
# starts the installed program on the X display, as a new user would: the
# first start shows the tutorial beside a 620 x 460 main window. Then a
# changed file in a monitored folder must reach its disk target.
# Usage: firstrun_test.sh x86_64|i686 SETUP.EXE WORKDIR SOURCEDIR
set -uo pipefail
arch=$1
setup=$2
work=$3
source_dir=$4
here=$(dirname "$0")
source "$here/lib.sh"

if [ -z "${DISPLAY:-}" ]; then
  echo "No X display: run through scripts/test, which starts one" >&2
  exit 1
fi
mkdir -p "$work"
work=$(cd "$work" && pwd)
start_private_wine "$arch" "$work/prefix"
cp "$setup" "$(drive_c)/setup.exe" || exit 1
run_wine "$work/setup.log" 'C:\setup.exe' /S || { echo "setup failed" >&2; exit 1; }

product='HKLM\Software\Tandemkeep'
install_win="$(program_files)\Tandemkeep"
program="$install_win\tandemkeep.exe"
install_dir=$(unix_path "$install_win")
program_pid=""

start_program() {
  wine "$program" </dev/null >>"$work/program.log" 2>&1 &
  program_pid=$!
}

# Kills every process of the prefix (the program among them) and starts a
# fresh wineserver for the next step.
stop_program() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  wineserver -w </dev/null >/dev/null 2>&1 || true
  [ -n "$program_pid" ] && wait "$program_pid" 2>/dev/null
  program_pid=""
  wineserver -p </dev/null >/dev/null 2>&1
}

# window_line PATTERN: the xwininfo line of the first mapped top-level window
# whose title matches the (extended, case-blind) pattern.
window_line() {
  xwininfo -root -tree 2>/dev/null | grep -iE "^ +0x[0-9a-f]+ \"$1\"" | head -n1
}

wait_for_window() {
  for _ in $(seq $(($2 * 10))); do
    [ -n "$(window_line "$1")" ] && return 0
    sleep 0.1
  done
  return 1
}

# window_size PATTERN: "WxH" of that window.
window_size() {
  window_line "$1" | grep -oE '[0-9]+x[0-9]+\+-?[0-9]+\+-?[0-9]+' | head -n1 | cut -d+ -f1
}

screenshot() {
  [ -n "${TK_SCREENSHOT_DIR_UNIX:-}" ] || return 0
  mkdir -p "$TK_SCREENSHOT_DIR_UNIX"
  import -window root "$TK_SCREENSHOT_DIR_UNIX/$1.png" 2>/dev/null || true
}

begin_group "first start after installation"
start_program
check "main window appears" wait_for_window 'Tandemkeep v1\.21' 90
check "tutorial appears" wait_for_window '[^"]*tutorial[^"]*' 10
sleep 1
check_eq "main window size" 620x460 "$(window_size 'Tandemkeep v1\.21')"
check_eq "no tips window" "" "$(window_line 'Tandemkeep Tip #[0-9]+')"
check_eq "splash switched off for later starts" 'REG_DWORD 0x0' "$(reg_value "$product" splash)"
check "first-run mark kept while the tutorial is open" test -n "$(reg_value "$product" firsttime)"
screenshot firstrun

begin_group "setup and uninstaller leave a running program alone"
run_wine "$work/setup-again.log" 'C:\setup.exe' /S
check_eq "setup ends with code 2" 2 $?
run_wine "$work/uninstall.log" "$install_win\\uninstall.exe" /S
check "uninstaller finished" wait_for_uninstaller
check "program still installed" test -s "$install_dir/tandemkeep.exe"
check "settings still there" test -n "$(reg_value "$product" installdir)"
stop_program

begin_group "a changed file reaches its disk target"
mkdir -p "$(drive_c)/watched/sub" "$(drive_c)/copies"
/usr/bin/python3 "$source_dir/scripts/item-reg.py" 'C:\watched' 'C:\copies' >"$(drive_c)/item.reg"
reg_import 'C:\item.reg'
reg_set "$product" tip REG_DWORD 65535
reg_set "$product" enabled REG_BINARY ''
reg_delete_value "$product" firsttime
start_program
check "main window appears" wait_for_window 'Tandemkeep v1\.21' 90
check_eq "no tutorial on a later start" "" "$(window_line '[^"]*tutorial[^"]*')"
# The monitor starts watching a moment after the window appears: write the
# first file again until the backup log shows that it was seen.
seen() { grep -qF 'watched\report.txt' "$install_dir/backuplog.txt" 2>/dev/null; }
for _ in $(seq 30); do
  printf 'first version\r\n' >"$(drive_c)/watched/report.txt"
  for _ in $(seq 10); do
    seen && break 2
    sleep 0.1
  done
done
check "the change is seen" seen
printf 'deep\r\n' >"$(drive_c)/watched/sub/deep.txt"
arrived() {
  cmp -s "$(drive_c)/watched/report.txt" "$(drive_c)/copies/report.txt" &&
    cmp -s "$(drive_c)/watched/sub/deep.txt" "$(drive_c)/copies/sub/deep.txt"
}
for _ in $(seq 300); do
  arrived && break
  sleep 0.1
done
check "copies arrived" arrived
check "restore record written" \
  test -n "$(reg_value "$product"'\Files\C:*watched*\HD' 'C:\watched\report.txt*C:\copies\report.txt')"
check "backup log written in the installation folder" test -s "$install_dir/backuplog.txt"
screenshot after-copy
stop_program

finish
