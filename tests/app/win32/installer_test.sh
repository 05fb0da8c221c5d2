#!/usr/bin/env bash
# The installer under Wine: a silent install puts kivo.exe in Program Files\KIVO with a
# Start-menu shortcut and the Add/Remove Programs entry; the installed program keeps its
# channel file in %APPDATA%\KIVO, switches the receiver on and tunes the channel given on
# its command line (bytes checked on COM1's far end), and a second start closes it; a
# silent uninstall takes everything away again. Run by ctest inside scripts/wine-prefix.sh.
# Usage: installer_test.sh SETUP.EXE VERSION
set -euo pipefail
setup=$1
version=$2
ports="$WINEPREFIX/../ports"
work=$(mktemp -d "$WINEPREFIX/../installer-test.XXXXXX")
pids=()
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KIVO'
folder="$WINEPREFIX/drive_c/Program Files/KIVO"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/KIVO"
uninstall() { [ -e "$folder/uninstall.exe" ] && wine "C:\\Program Files\\KIVO\\uninstall.exe" /S </dev/null >/dev/null 2>&1; true; }
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  uninstall
  rm -rf "$work"
}
trap cleanup EXIT
. "$(dirname "$0")/lineend.sh"

wine "$setup" /S </dev/null >/dev/null 2>&1 || fail "the silent install failed"
[ -f "$folder/kivo.exe" ] || fail "no $folder/kivo.exe"
[ -f "$menu/KIVO.lnk" ] || fail "no Start-menu shortcut in $menu"
entry=$(wine reg query "$key" </dev/null 2>/dev/null | tr -d '\r')
for want in "DisplayVersion.*$version" 'Publisher.*KIVO developers' 'UninstallString.*uninstall.exe' \
  'InstallLocation.*C:\\Program Files\\KIVO'; do
  grep -q "$want" <<<"$entry" || fail "the uninstall entry lacks $want: $entry"
done

# The installed copy's channel file is the user's, not one beside the program.
appdata=$(wine cmd /c echo %APPDATA% </dev/null 2>/dev/null | tr -d '\r')
mkdir -p "$(winepath -u "$appdata" 2>/dev/null)/KIVO"
printf 'Radio1,AM,954,80,COM1\r\n' >"$(winepath -u "$appdata" 2>/dev/null)/KIVO/KIVO.ini"
installed='C:\Program Files\KIVO\kivo.exe'
(exec wine "$installed" Radio1 </dev/null >/dev/null 2>&1) &
copy=$!
pids+=($copy)
expect_line 'H101\r\nJ4000\r\nJ4101\r\nK00000954000020100\r\nK00000954000020100\r\nJ4050\r\n'
(exec wine "$installed" </dev/null >/dev/null 2>&1) &
closer=$!
pids+=($closer)
expect_line 'H100\r\n'
wait_end "$copy" || fail "the installed copy ended with status $?"
wait_end "$closer" || fail "the closing start ended with status $?"
rm -rf "$(winepath -u "$appdata" 2>/dev/null)/KIVO"

# The uninstaller runs a copy of itself and returns at once: its work is waited for.
uninstall
for _ in $(seq 200); do [ -e "$folder" ] || break; sleep 0.1; done
[ ! -e "$folder" ] || fail "$folder is still there: $(ls "$folder")"
[ ! -e "$menu" ] || fail "the Start-menu folder is still there"
wine reg query "$key" </dev/null >/dev/null 2>&1 && fail "the uninstall entry is still there"
echo "passed: installer"
