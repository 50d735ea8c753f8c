#!/bin/sh
# Checks that an exe imports only DLLs the loader always takes from System32
# (the KnownDLLs), so that no copy planted beside the exe is ever loaded.
# wtsapi32.dll in particular is not one of them and must not be imported.
# Further DLL names after the file are allowed too, for a DLL whose host
# process has them loaded already (msi.dll for the package's action).
# Then every function imported must be on tests/windows7-imports.txt, the
# list of those Windows 7 SP1 with KB2533623 exports (each newer than
# Windows XP named there with the Windows that brought it): an import the
# oldest Windows we promise lacks would stop the exe from loading there.
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
allowed="$(dirname "$0")/windows7-imports.txt"
[ -f "$allowed" ] || { echo "no list of allowed imports at $allowed"; exit 1; }
# "dll function" for every function imported by name.
functions=$("$objdump" -p "$exe" | awk '
  /DLL Name:/ { dll = tolower($3) }
  /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll " " $3 }')
[ -n "$functions" ] || { echo "$exe: no imported function found"; exit 1; }
listed=$(sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$allowed" | awk '{ print $1 " " $2 }')
unlisted=$(printf '%s\n' "$functions" | sort -u | while read -r dll function; do
  printf '%s\n' "$listed" | grep -qxF "$dll $function" || echo "$dll $function"
done)
if [ -n "$unlisted" ]; then
  printf '%s\n' "$unlisted" | sed 's/^/NOT OK   not on tests\/windows7-imports.txt (is it in Windows 7 SP1?): /'
  status=1
else
  echo "ok       all $(printf '%s\n' "$functions" | sort -u | wc -l) imported functions are on tests/windows7-imports.txt"
fi
exit $status
