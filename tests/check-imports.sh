#!/bin/sh
# Checks that an exe imports only DLLs the loader always takes from System32
# (the KnownDLLs), so that no copy planted beside the exe is ever loaded.
# wtsapi32.dll in particular is not one of them and must not be imported.
# Further DLL names after the file are allowed too, for a DLL whose host
# process has them loaded already (msi.dll for the package's action).
# usage: check-imports.sh OBJDUMP FILE [DLL...]
set -e
objdump="$1"
exe="$2"
shift 2
[ -f "$exe" ] || { echo "no such file: $exe"; exit 1; }
known="kernel32.dll user32.dll advapi32.dll ole32.dll oleaut32.dll msvcrt.dll gdi32.dll $*"
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$imports" ] || { echo "$exe: no import table found"; exit 1; }
status=0
for dll in $imports; do
  case " $known " in
    *" $dll "*) echo "ok       $dll" ;;
    *) echo "NOT OK   $dll is not a known system DLL"; status=1 ;;
  esac
done
exit $status
