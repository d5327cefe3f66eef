#!/usr/bin/env bash
# Fails when the exe needs a DLL that Windows does not ship: the runtime must be linked in.
# Usage: check_imports.sh OBJDUMP EXE
set -euo pipefail
objdump=$1
exe=$2
allowed='^(advapi32|comctl32|comdlg32|gdi32|kernel32|msvcrt|ole32|shell32|user32|winmm)\.dll$'
mapfile -t dlls < <("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
[ "${#dlls[@]}" -gt 0 ] || { echo "no imports read from $exe" >&2; exit 1; }
status=0
for dll in "${dlls[@]}"; do
  if [[ $dll =~ $allowed ]]; then echo "ok: $dll"; else echo "not a system DLL: $dll" >&2; status=1; fi
done
exit $status
