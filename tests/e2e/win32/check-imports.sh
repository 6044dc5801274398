#!/usr/bin/env bash
# Checks that a Windows executable imports only DLLs of Windows itself.
# Usage: check-imports.sh OBJDUMP PROGRAM.exe
set -euo pipefail
objdump="$1"
program="$2"
system_dlls="kernel32.dll user32.dll gdi32.dll advapi32.dll comctl32.dll msvcrt.dll shell32.dll"

imports="$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')"
if [ -z "$imports" ]; then
    echo "no imports found in $program" >&2
    exit 1
fi
status=0
for dll in $imports; do
    case " $system_dlls " in
        *" $dll "*) echo "imports $dll" ;;
        *) echo "imports $dll, which is not part of Windows" >&2; status=1 ;;
    esac
done
exit "$status"
