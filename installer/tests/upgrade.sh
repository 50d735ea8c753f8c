#!/bin/sh
# The upgrade rule in action: a rebuild of the same version replaces the
# installed one, the next release replaces that, an older package is refused
# while a newer one is installed, and removing the last leaves the prefix as
# it was. Through all of it the state files keep the marks the controller
# wrote (a repair and a reinstall too; a missing one comes back as "2"), and
# every install, upgrade, repair and reinstall starts a controller in the
# signed-in session (the package's commit action, in the system context),
# while a removal, a refused package, LUMAREST_START=0 and a user's "off"
# in Startup apps start none.
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
check_started "an install" release
# What the controller writes when the machine goes on mains; the package
# itself only ever writes "2".
printf 1 > "$folder_unix/lasttimeACDC.txt"
printf 1 > "$folder_unix/lasttimeDCRefresh.txt"

# With the start switched off, only the package touches the state files.
msiexec rebuild /i "$(win "$rebuild_msi")" /qn LUMAREST_START=0
same "a rebuild of the same version installs" 0 "$msi_rc"
same "the rebuild replaced the release instead of joining it" "$rebuild_code $version" "$(products)"
check_none_started "LUMAREST_START=0" rebuild
check_marks "after the rebuild" 1 1

# A controller is running, as it would be, when the next release arrives.
running=$(probe start "\"$exe_win\"")
check "a controller is running before the upgrade" test -n "$running"
running_pid=$(echo "$running" | sed -n 's/^running //p')
msiexec next /i "$(win "$next_msi")" /qn
same "the next release installs" 0 "$msi_rc"
same "the next release replaced the rebuild" "$next_code $next_version" "$(products)"
check_started "the upgrade" next
# Had the running controller survived, the new one would have ended at once
# and the probe would have found the old one.
check "the upgrade ended the controller that was running (pid $running_pid; found ${started_pid:-none})" \
  test -n "$started_pid" -a "$started_pid" != "$running_pid"
check "the exe is in place after the upgrade" test -f "$folder_unix/lumarest.exe"
# (Under Wine the controller writes no mark of its own: WMI offers no
# refresh-rate range, and the rate gate stops every handling.)
check_marks "after the upgrade" 1 1
same "one Run value, for the installed exe" "\"$exe_win\"" "$(run_value 32)"

# A repair (msiexec /fa, which is REINSTALL=ALL REINSTALLMODE=a: every file
# again, whatever its version; Wine's msiexec runs /f for no product code).
msiexec repair /i "$(win "$next_msi")" REINSTALL=ALL REINSTALLMODE=a /qn
same "a repair (REINSTALLMODE=a) succeeds" 0 "$msi_rc"
check_started "the repair" repair
check_marks "after the repair" 1 1
# A reinstall with a state file missing: that one is installed again.
rm -f "$folder_unix/lasttimeDCRefresh.txt"
msiexec reinstall /i "$(win "$next_msi")" REINSTALL=ALL REINSTALLMODE=vamus /qn
same "a reinstall (REINSTALLMODE=vamus) succeeds" 0 "$msi_rc"
# (The controller it started is ended first, so nothing writes meanwhile.)
check_started "the reinstall" reinstall
check_marks "after a reinstall with lasttimeDCRefresh.txt missing" 1 2

# A user who turned Lumarest off in Startup apps (Task Manager's record of
# the 32-bit Run value: 03, then a time, under StartupApproved\Run32 in the
# user's hive) gets no controller from a repair, as from a sign-in. Under
# Wine the user's hive is reached through the SID of session 1's token.
approved='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved'
wine reg add "$approved\Run32" /v Lumarest /t REG_BINARY /d 03000000a0b1c2d3e4f5a601 /f /reg:64 > /dev/null 2>&1
msiexec turned-off /i "$(win "$next_msi")" REINSTALL=ALL REINSTALLMODE=a /qn
same "a repair for a user who turned Lumarest off succeeds" 0 "$msi_rc"
turned_off=$(tr -d '\r' < "$work/turned-off.log" | grep -a '^Lumarest: session ')
same "... and starts nothing for that user, saying why" \
  "Lumarest: session 1: the user has turned Lumarest off in Startup apps (token elevation type" \
  "${turned_off% [a-z]*)}"
check "... no controller runs" probe gone lumarest.exe 0
wine reg delete "$approved" /f /reg:64 > /dev/null 2>&1

msiexec downgrade /i "$(win "$release_msi")" /qn
# 1603 (fatal error) as seen through an 8-bit exit status: 1603 & 255.
same "an older package is refused while a newer one is installed" 67 "$msi_rc"
same "the newer release is still the one installed" "$next_code $next_version" "$(products)"
check "its exe is still there" test -f "$folder_unix/lumarest.exe"
check_none_started "the refused package" downgrade

msiexec remove /x "$next_code" /qn
same "the next release is removed" 0 "$msi_rc"
check_none_started "the removal" remove
check_removed "after removal"

snapshot after
same_snapshot before after

finish
