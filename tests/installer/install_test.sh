#!/usr/bin/env bash
# Installs and uninstalls a build's setup program silently in a fresh 64-bit
# Wine prefix and checks what a user would find: files, shortcuts, registry
# values in the view of that build's program (the 32-bit view for the i686
# setup, which installs below Program Files (x86)).
# Usage: install_test.sh x86_64|i686 SETUP.EXE WORKDIR
set -uo pipefail
arch=$1
setup=$2
work=$3
here=$(dirname "$0")
source "$here/lib.sh"

mkdir -p "$work"
work=$(cd "$work" && pwd)
start_private_wine "$arch" "$work/prefix"
cp "$setup" "$(drive_c)/setup.exe" || exit 1

product='HKLM\Software\Tandemkeep'
run='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tandemkeep'
default_win="$(program_files)\Tandemkeep"
default_dir=$(unix_path "$default_win")
menu="$(drive_c)/ProgramData/Microsoft/Windows/Start Menu/Programs/Tandemkeep"

begin_group "fresh silent install"
run_wine "$work/setup1.log" 'C:\setup.exe' /S
check_eq "setup exit code" 0 $?
check "program installed" test -s "$default_dir/tandemkeep.exe"
check "help page installed" test -s "$default_dir/help/tandem_help.html"
check "help page filled in" bash -c "grep -q Tandemkeep '$default_dir/help/tandem_help.html' &&
  ! grep -q '@TK_' '$default_dir/help/tandem_help.html'"
check "uninstaller installed" test -s "$default_dir/uninstall.exe"
check_eq "installdir" "REG_SZ $default_win" "$(reg_value "$product" installdir)"
check "settings in the program's registry view only" reg_key_only_in_program_view "$product"
check "firsttime present" test -n "$(reg_value "$product" firsttime)"
check_eq "logging" 'REG_DWORD 0x1' "$(reg_value "$product" logging)"
check_eq "showerrors" 'REG_DWORD 0x1' "$(reg_value "$product" showerrors)"
check_eq "tip" 'REG_DWORD 0x0' "$(reg_value "$product" tip)"
check_eq "splash" 'REG_DWORD 0x1' "$(reg_value "$product" splash)"
check_eq "retrying failed copies" 'REG_BINARY 01' "$(reg_value "$product" retryfailed)"
check_eq "catching up at start" 'REG_BINARY 01' "$(reg_value "$product" catchup)"
check_eq "no monitoring switched on" "" "$(reg_value "$product" enabled)"
check_eq "logon entry starts hidden" \
  "REG_SZ \"$default_win\\tandemkeep.exe\" HIDE" "$(reg_value "$run" Tandemkeep)"
check_eq "Start-menu entries" "Tandemkeep Help.lnk Tandemkeep.lnk Uninstall Tandemkeep.lnk" \
  "$(ls "$menu" 2>/dev/null | sort | tr '\n' ' ' | sed 's/ $//')"
check "listed among installed programs" reg_key_exists "$uninstall_entry"

begin_group "uninstall keeping the settings"
# What a user leaves behind by running the program: a log, a changed setting.
printf 'log line\r\n' >"$default_dir/backuplog.txt"
reg_set "$product" tip REG_DWORD 7
run_wine "$work/uninstall1.log" "$default_win\\uninstall.exe" /S /KEEPSETTINGS
check "uninstaller finished" wait_for_uninstaller
check "program removed" test ! -e "$default_dir/tandemkeep.exe"
check "help removed" test ! -e "$default_dir/help"
check "uninstaller removed" test ! -e "$default_dir/uninstall.exe"
check "shortcuts removed" test ! -e "$menu"
check_eq "logon entry removed" "" "$(reg_value "$run" Tandemkeep)"
check "uninstall entry removed" reg_key_absent "$uninstall_entry"
check_eq "settings kept" 'REG_DWORD 0x7' "$(reg_value "$product" tip)"
check "log kept" test -s "$default_dir/backuplog.txt"

begin_group "reinstall keeps the user's values"
reg_set "$product" logging REG_DWORD 0
reg_set "$product" showerrors REG_DWORD 0
reg_set "$product" tip REG_DWORD 65535
# A value of an unexpected type is the user's too; it is not replaced.
reg_set "$product" splash REG_SZ off
reg_set "$product" retryfailed REG_BINARY 00
# An older version's key lacks the switch: it gets the new installation's.
reg_delete_value "$product" catchup
reg_delete_value "$product" firsttime
reg_set "$product"'\Files\C:*Work*' shortname REG_SZ 'C:\WORK\'
# NSIS takes /D= last and unquoted (so without blanks from Wine's command
# line); a trailing backslash must not reach installdir.
run_wine "$work/setup2.log" 'C:\setup.exe' /S /NOLOGON /NOSTARTMENU '/D=C:\Apps\Tandemkeep\'
check_eq "setup exit code" 0 $?
check "program in the chosen folder" test -s "$(drive_c)/Apps/Tandemkeep/tandemkeep.exe"
check_eq "installdir follows, without trailing backslash" 'REG_SZ C:\Apps\Tandemkeep' "$(reg_value "$product" installdir)"
check "firsttime written again" test -n "$(reg_value "$product" firsttime)"
check_eq "logging kept" 'REG_DWORD 0x0' "$(reg_value "$product" logging)"
check_eq "showerrors kept" 'REG_DWORD 0x0' "$(reg_value "$product" showerrors)"
check_eq "tip kept" 'REG_DWORD 0xffff' "$(reg_value "$product" tip)"
check_eq "splash kept" 'REG_SZ off' "$(reg_value "$product" splash)"
check_eq "retryfailed kept" 'REG_BINARY 00' "$(reg_value "$product" retryfailed)"
check_eq "catchup added" 'REG_BINARY 01' "$(reg_value "$product" catchup)"
check_eq "item kept" 'REG_SZ C:\WORK\' "$(reg_value "$product"'\Files\C:*Work*' shortname)"
check_eq "no logon entry with /NOLOGON" "" "$(reg_value "$run" Tandemkeep)"
check "no shortcuts with /NOSTARTMENU" test ! -e "$menu"

begin_group "a later install without the logon entry removes it"
run_wine "$work/setup3.log" 'C:\setup.exe' /S '/D=C:\Apps\Tandemkeep'
check_eq "logon entry back by default" \
  'REG_SZ "C:\Apps\Tandemkeep\tandemkeep.exe" HIDE' "$(reg_value "$run" Tandemkeep)"
run_wine "$work/setup4.log" 'C:\setup.exe' /S /NOLOGON '/D=C:\Apps\Tandemkeep'
check_eq "logon entry gone" "" "$(reg_value "$run" Tandemkeep)"

begin_group "full silent uninstall"
reg_set "$run" Tandemkeep REG_SZ '"C:\Apps\Tandemkeep\tandemkeep.exe" HIDE'
printf 'error line\r\n' >"$(drive_c)/Apps/Tandemkeep/errorlog.txt"
for f in pendingcopies.dat storedstate.dat storedstate.dat.tmp; do
  printf 'TKJ1' >"$(drive_c)/Apps/Tandemkeep/$f"
done
run_wine "$work/uninstall2.log" 'C:\Apps\Tandemkeep\uninstall.exe' /S
check "uninstaller finished" wait_for_uninstaller
check "installation folder removed with its logs" test ! -e "$(drive_c)/Apps/Tandemkeep"
check "settings key removed" reg_key_absent "$product"
check_eq "logon entry removed" "" "$(reg_value "$run" Tandemkeep)"
check "shortcuts removed" test ! -e "$menu"
check "other programs' logon entries kept" reg_key_exists "$run"

begin_group "folders the program could not use are refused"
long='C:\'$(printf 'x%.0s' $(seq 210))
run_wine "$work/setup5.log" 'C:\setup.exe' /S "/D=$long"
status=$?
check "setup fails" test "$status" -ne 0
check "nothing installed" reg_key_absent "$product"
# The program names its files in the ANSI code page.
run_wine "$work/setup7.log" 'C:\setup.exe' /S '/D=C:\файлы日本'
status=$?
check "a name outside the ANSI code page refused" test "$status" -ne 0
check "nothing installed there" test ! -e "$(drive_c)/файлы日本"
# NSIS itself refuses the top of a drive (and installs into the default folder).
run_wine "$work/setup6.log" 'C:\setup.exe' /S '/D=C:\'
check "no program at the top of C:" test ! -e "$(drive_c)/tandemkeep.exe"

finish
