#!/usr/bin/env bash
# Runs the Windows installer silently under Wine, in a Wine prefix of its
# own, and checks what Windows would see: the saver in the system folder,
# its help page among the system's help, the entry under Add/Remove Programs, the saver made
# the current one; then the uninstaller, started the way Windows starts it
# for a quiet removal, takes all of it away again, and leaves a current
# saver the person has changed since alone.
#   installer_test.sh WINE SETUP.EXE MARIVELLE.SCR HELP.HTML VERSION
set -uo pipefail

wine=${1:?usage: installer_test.sh WINE SETUP.EXE MARIVELLE.SCR HELP.HTML VERSION}
setup=$2 saver=$3 help=$4 version=$5
scratch=$(mktemp -d)
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver=$(dirname "$(readlink -f "$wine")")/wineserver
# shellcheck disable=SC2064
trap "WINEPREFIX='$WINEPREFIX' '$wineserver' -k 2>/dev/null; rm -rf '$scratch'" EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The uninstaller hands over to a copy of itself and returns at once, and a
# fresh prefix takes a while: conditions are waited on, never slept out.
DEADLINE=180
wait_for() {  # description, command...
  local what=$1; shift
  local until=$((SECONDS + DEADLINE))
  until "$@"; do
    [ $SECONDS -lt $until ] || { fail "$what (not within ${DEADLINE}s)"; return 1; }
    sleep 0.5
  done
}

# One value of a registry key as `reg query` prints it, or nothing.
reg_value() {  # key, name
  "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '{ line = $0; sub(/^ +/, "", line) }
      index(line, name " ") == 1 { sub(/^[^ ]+ +REG_[A-Z_]+ +/, "", line); print line }'
}
reg_key_exists() { "$wine" reg query "$1" >/dev/null 2>&1; }
reg_key_gone() { ! reg_key_exists "$1"; }
gone() { [ ! -e "$1" ]; }

expect_value() {  # key, name, expected
  local got
  got=$(reg_value "$1" "$2")
  [ "$got" = "$3" ] || fail "$2 under $1 is '$got', expected '$3'"
}

"$wine" wineboot -i >/dev/null 2>&1
wait_for "the Wine prefix is made" test -d "$WINEPREFIX/drive_c/windows/system32"

system32="$WINEPREFIX/drive_c/windows/system32"
program_folder="$WINEPREFIX/drive_c/Program Files/3D Marivelle"
# Wine's prefix spells the system's help folder in lower case.
help_page="$WINEPREFIX/drive_c/windows/help/3D Marivelle/Help.html"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Marivelle'
desktop_key='HKCU\Control Panel\Desktop'
installed_saver='C:\windows\system32\marivelle.scr'

install() {
  "$wine" "$setup" /S
  local status=$?
  [ $status -eq 0 ] || fail "the installer ended with $status"
}

# Starts the quiet removal the entry registers, as Windows would, and waits
# for every trace of the installation to go.
uninstall() {
  local command
  command=$(reg_value "$uninstall_key" QuietUninstallString)
  [ -n "$command" ] || { fail "no QuietUninstallString to run"; return; }
  eval "set -- $command"  # the program path is quoted in the value
  "$wine" "$@"
  wait_for "the saver is removed" gone "$system32/marivelle.scr"
  wait_for "the help page is removed" gone "$help_page"
  wait_for "the help folder is removed" gone "$(dirname "$help_page")"
  wait_for "the program folder is removed" gone "$program_folder"
  wait_for "the uninstall entry is removed" reg_key_gone "$uninstall_key"
}

# Install: the files byte for byte, the uninstall entry, the current saver.
install
cmp -s "$saver" "$system32/marivelle.scr" || fail "the installed saver differs from $saver"
cmp -s "$help" "$help_page" || fail "the installed help page differs from $help"
[ -f "$program_folder/Uninstall.exe" ] || fail "no uninstaller in $program_folder"

expect_value "$uninstall_key" DisplayName "3D Marivelle"
expect_value "$uninstall_key" DisplayVersion "$version"
expect_value "$uninstall_key" Publisher "Tarnwick Software"
expect_value "$uninstall_key" DisplayIcon "$installed_saver,0"
expect_value "$uninstall_key" UninstallString '"C:\Program Files\3D Marivelle\Uninstall.exe"'
expect_value "$uninstall_key" QuietUninstallString '"C:\Program Files\3D Marivelle\Uninstall.exe" /S'
size=$(reg_value "$uninstall_key" EstimatedSize)
saver_kb=$(( $(stat -c %s "$saver") / 1024 ))
[[ $size == 0x* ]] && [ $((size)) -ge $saver_kb ] ||
  fail "EstimatedSize is '$size', expected at least the saver's ${saver_kb} KB"
expect_value "$desktop_key" SCRNSAVE.EXE "$installed_saver"
expect_value "$desktop_key" ScreenSaveActive 1

uninstall
[ -z "$(reg_value "$desktop_key" SCRNSAVE.EXE)" ] || fail "the uninstaller left SCRNSAVE.EXE pointing at the removed saver"

# A current saver chosen after the installation is not the uninstaller's.
install
other='C:\windows\system32\other.scr'
"$wine" reg add "$desktop_key" /v SCRNSAVE.EXE /d "$other" /f >/dev/null 2>&1
expect_value "$desktop_key" SCRNSAVE.EXE "$other"
uninstall
expect_value "$desktop_key" SCRNSAVE.EXE "$other"

[ $failures -eq 0 ] && echo "installer: all checks passed"
exit $((failures > 0))
