#!/usr/bin/env bash
# quorvel.exe and quorvel-convert.exe need no DLL beyond the system's: every DLL they import is
# one that Windows itself ships.
set -uo pipefail
objdump=$1
shift
allowed='^(KERNEL32|USER32|GDI32|COMCTL32|COMDLG32|SHELL32|ADVAPI32|MSVCRT|UCRTBASE|API-MS-WIN-CRT-[A-Z0-9-]+)\.DLL$'
status=0
for program in "$@"; do
  imports=$("$objdump" -p "$program" | awk '/DLL Name:/ { print toupper($3) }')
  if [ -z "$imports" ]; then
    echo "FAIL: no imports read from $program"
    status=1
  fi
  for dll in $imports; do
    if [[ "$dll" =~ $allowed ]]; then
      echo "ok: $(basename "$program") imports $dll"
    else
      echo "FAIL: $(basename "$program") imports $dll, which Windows does not ship"
      status=1
    fi
  done
done
exit $status
