#!/usr/bin/env bash
# The Windows installer under Wine, in a prefix of its own: a silent install puts both
# programs under Program Files with a Start-menu entry and "Open with" for .csv; the installed
# quorvel-convert.exe converts the fixture log byte for byte; the silent uninstall removes all
# of it again.
# Usage: installer_test.sh SETUP.exe TEST_DATA_FOLDER
set -uo pipefail
setup=$1
data=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-installer-XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
failures=0
passes=0
check() {  # what, then a command that must succeed
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then
    echo "ok: $what"
    passes=$((passes + 1))
  else
    echo "FAIL: $what"
    failures=$((failures + 1))
  fi
}

wineboot --init >/dev/null 2>&1
installed="$WINEPREFIX/drive_c/Program Files/Quorvel"
check "the silent install ends with 0" wine "$setup" /S
check "quorvel.exe installed" test -f "$installed/quorvel.exe"
check "quorvel-convert.exe installed" test -f "$installed/quorvel-convert.exe"
check "the sample log installed" test -f "$installed/track_day.csv"
check "the uninstaller installed" test -f "$installed/uninstall.exe"
check "a Start-menu entry" test -f \
  "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quorvel/Quorvel.lnk"
check "\"Open with\" for .csv" sh -c \
  "wine reg query 'HKLM\\Software\\Classes\\Applications\\quorvel.exe\\shell\\open\\command' /reg:64 | grep -q 'quorvel.exe'"

# The installed converter on the fixture: the same bytes as on Linux.
mkdir -p "$work/logs"
cp "$data/three_channels.csv" "$data/three_channels.ini" "$work/logs/"
wine "C:\\Program Files\\Quorvel\\quorvel-convert.exe" -q --settings \
  "Z:${work//\//\\}\\logs\\three_channels.ini" "Z:${work//\//\\}\\logs\\three_channels.csv"
check "the installed converter writes the fixture's export byte for byte" \
  cmp "$work/logs/three_channels.dif" "$data/three_channels.dif"

check "the silent uninstall ends with 0" wine "$installed/uninstall.exe" /S
# The uninstaller copies itself away and finishes in the background: wait for it.
for _ in $(seq 100); do [ -e "$installed/quorvel.exe" ] || break; sleep 0.2; done
wineserver -w 2>/dev/null
check "the uninstall removed the programs" test ! -e "$installed/quorvel.exe"
check "the uninstall removed the Start-menu entry" test ! -e \
  "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quorvel"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
