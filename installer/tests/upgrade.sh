#!/bin/sh
# The upgrade rule in action: a rebuild of the same version replaces the
# installed one, the next release replaces that, an older package is refused
# while a newer one is installed, and removing the last leaves the prefix as
# it was.
#   upgrade.sh RELEASE_PACKAGE REBUILD_PACKAGE NEXT_PACKAGE PROBE VERSION NEXT_VERSION
release_msi=$1
rebuild_msi=$2
next_msi=$3
probe=$4
version=$5
next_version=$6
. "$(dirname "$0")/lib.sh"

for package in "$release_msi" "$rebuild_msi" "$next_msi"; do
  [ -f "$package" ] || abort "no package at $package"
done
code_of() { msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'; }
win() { winepath -w "$1" | tr -d '\r'; }
release_code=$(code_of "$release_msi")
rebuild_code=$(code_of "$rebuild_msi")
next_code=$(code_of "$next_msi")
[ "$release_code" != "$rebuild_code" ] || abort "the rebuild has the release's product code"

probe gone lumarest.exe 30 || abort "a controller was already running"
check "before: nothing of Lumarest in the prefix" test ! -e "$kelvane_unix"
snapshot before

msiexec release /i "$(win "$release_msi")" /qn
same "the release installs" 0 "$msi_rc"
same "the release is registered" "$release_code $version" "$(products)"

msiexec rebuild /i "$(win "$rebuild_msi")" /qn
same "a rebuild of the same version installs" 0 "$msi_rc"
same "the rebuild replaced the release instead of joining it" "$rebuild_code $version" "$(products)"

# A controller is running, as it would be, when the next release arrives.
check "a controller is running before the upgrade" probe start "\"$exe_win\""
msiexec next /i "$(win "$next_msi")" /qn
same "the next release installs" 0 "$msi_rc"
same "the next release replaced the rebuild" "$next_code $next_version" "$(products)"
check "the upgrade ended the running controller" probe gone lumarest.exe 30
check "the exe is in place after the upgrade" test -f "$folder_unix/lumarest.exe"
printf 2 > "$work/mark2"
check "lasttimeACDC.txt is in place, holding \"2\"" cmp -s "$work/mark2" "$folder_unix/lasttimeACDC.txt"
check "lasttimeDCRefresh.txt is in place, holding \"2\"" cmp -s "$work/mark2" "$folder_unix/lasttimeDCRefresh.txt"
same "one Run value, for the installed exe" "\"$exe_win\"" "$(run_value 32)"

msiexec downgrade /i "$(win "$release_msi")" /qn
# 1603 (fatal error) as seen through an 8-bit exit status: 1603 & 255.
same "an older package is refused while a newer one is installed" 67 "$msi_rc"
same "the newer release is still the one installed" "$next_code $next_version" "$(products)"
check "its exe is still there" test -f "$folder_unix/lumarest.exe"

msiexec remove /x "$next_code" /qn
same "the next release is removed" 0 "$msi_rc"
check_removed "after removal"

snapshot after
same_snapshot before after

finish
