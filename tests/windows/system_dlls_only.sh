#!/usr/bin/env bash
# Each Windows program is one file: it may import only DLLs that every Windows 10 has.
# Usage: system_dlls_only.sh OBJDUMP PROGRAM.exe...
set -uo pipefail
objdump=$1
shift
allowed=' advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll '
allowed+='oleaut32.dll shell32.dll shlwapi.dll user32.dll uxtheme.dll ws2_32.dll '
status=0
for program in "$@"; do
  dlls=$("$objdump" -p "$program" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
  [ -n "$dlls" ] || { echo "FAIL: $program lists no DLL (not a program?)"; status=1; }
  for dll in $dlls; do
    if [[ "$allowed" != *" $dll "* ]]; then
      echo "FAIL: $program needs $dll, which is not part of Windows"
      status=1
    fi
  done
  echo "$(basename "$program"): $(echo $dlls)"
done
exit $status
