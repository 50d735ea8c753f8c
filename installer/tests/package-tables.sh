#!/bin/sh
# Reads lumarest.msi's tables (msiinfo, from msitools) and checks what no
# install under Wine can show: the permissions the package puts on the
# folder and the state files (Wine's installer does not apply them), and the
# upgrade rule and folder as the package states them. The SDDL is decoded by
# the Windows security API (through the probe), not by pattern matching.
#   package-tables.sh PACKAGE PROBE RELEASE_EXE VERSION_H
msi=$1
probe=$2
release_exe=$3
version_h=$4
. "$(dirname "$0")/lib.sh"

[ -f "$msi" ] || abort "no package at $msi"

# table NAME: the rows, tab-separated, without the three header lines.
table() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }
# row TABLE KEY: the row whose first column is KEY.
row() { table "$1" | awk -F'\t' -v k="$2" '$1 == k'; }
# col N: column N of the rows on standard input.
col() { awk -F'\t' -v n="$1" '{ print $n }'; }
property() { row Property "$1" | col 2; }
sequence() { row "$1" "$2" | col 3; }

version=$(sed -n 's/^#define LUMAREST_VERSION_TEXT "\(.*\)"$/\1/p' "$version_h")
[ -n "$version" ] || abort "no LUMAREST_VERSION_TEXT in $version_h"

# --- The package itself.
same "ProductVersion is version.h's" "$version" "$(property ProductVersion)"
same "the exe's version resource is version.h's too" "$version" "$(probe version "$(winepath -w "$release_exe" | tr -d '\r')")"
same "the File table records the exe's version" "$version" "$(row File lumarest.exe | col 5)"
same "per-machine (ALLUSERS=1)" 1 "$(property ALLUSERS)"
same "32-bit package (Intel template)" "Template: Intel;1033" "$(msiinfo suminfo "$msi" | tr -d '\r' | grep '^Template:')"
same "Windows Installer 5.0 schema (for MsiLockPermissionsEx)" "Version: 500 (1f4)" \
  "$(msiinfo suminfo "$msi" | tr -d '\r' | grep '^Version:')"

# --- The folder: the controller's own, whatever Program Files is called.
# The controller's state-file path, read out of the release exe itself.
acdc_path=$(LC_ALL=C grep -aoE '[ -~]*lasttimeACDC\.txt' "$release_exe" | head -n 1)
same "the controller keeps its state at the folder the package uses" \
  'C:\Program Files (x86)\Kelvane\Lumarest\lasttimeACDC.txt' "$acdc_path"
same "the Directory table is TARGETDIR > Kelvane > Lumarest, nothing else" \
  "INSTALLFOLDER KELVANEFOLDER Lumarest|KELVANEFOLDER TARGETDIR Kelvane|TARGETDIR  SourceDir" \
  "$(table Directory | sort | tr '\t' ' ' | paste -sd'|')"
for action in SetKelvaneFolder:KELVANEFOLDER:'C:\Program Files (x86)\Kelvane\' \
              SetInstallFolder:INSTALLFOLDER:'C:\Program Files (x86)\Kelvane\Lumarest\'; do
  name=${action%%:*}
  rest=${action#*:}
  folder=${rest%%:*}
  target=${rest#*:}
  ca=$(row CustomAction "$name")
  same "$name sets a property (type 51)" 51 $(( $(echo "$ca" | col 2) & 63 ))
  same "$name sets $folder" "$folder" "$(echo "$ca" | col 3)"
  same "$name's fixed path" "$target" "$(echo "$ca" | col 4)"
  for seq in InstallExecuteSequence InstallUISequence; do
    at=$(sequence "$seq" "$name")
    check "$name runs in $seq before CostFinalize" \
      test -n "$at" -a "${at:-0}" -lt "$(sequence "$seq" CostFinalize)" -a "${at:-0}" -gt "$(sequence "$seq" CostInitialize)"
    same "$name runs unconditionally in $seq" "" "$(row "$seq" "$name" | col 2)"
  done
done
for file in lumarest.exe lasttimeACDC.txt lasttimeDCRefresh.txt; do
  component=$(row File "$file" | col 2)
  same "$file is installed under that name" "$file" "$(row File "$file" | col 3)"
  same "$file goes into INSTALLFOLDER" INSTALLFOLDER "$(row Component "$component" | col 3)"
done
same "lumarest-check.exe is installed beside lumarest.exe, in a component of its own" \
  "lumarest-check.exe INSTALLFOLDER lumarest_check.exe" \
  "$(row File lumarest_check.exe | col 3) $(row Component "$(row File lumarest_check.exe | col 2)" | col 3) $(row Component "$(row File lumarest_check.exe | col 2)" | col 6)"
same "each state file is one byte" "1 1" "$(row File lasttimeACDC.txt | col 4) $(row File lasttimeDCRefresh.txt | col 4)"
# NeverOverwrite (128) keeps what the controller wrote through upgrades and
# repairs; the exes must be replaced by a newer release, so they are not.
for file in lasttimeACDC.txt:128 lasttimeDCRefresh.txt:128 lumarest.exe:0 lumarest_check.exe:0; do
  attributes=$(row Component "$(row File "${file%%:*}" | col 2)" | col 4)
  same "${file%%:*}'s component is NeverOverwrite: ${file#*:}" "${file#*:}" $(( ${attributes:-0} & 128 ))
done

# --- Permissions.
check "no LockPermissions table beside MsiLockPermissionsEx" \
  test -z "$(msiinfo tables "$msi" | tr -d '\r' | grep -x LockPermissions)"
same "MsiLockPermissionsEx locks the folder and the two state files, unconditionally" \
  "INSTALLFOLDER CreateFolder |lasttimeACDC.txt File |lasttimeDCRefresh.txt File " \
  "$(table MsiLockPermissionsEx | awk -F'\t' '{ print $2 " " $3 " " $5 }' | sort | paste -sd'|')"
same "the folder's lock has its CreateFolder row" "INSTALLFOLDER" \
  "$(table CreateFolder | awk -F'\t' '$2 == "Controller" { print $1 }')"

# acl OBJECT: the decoded descriptor of that object's lock, one line each for
# the protection and every ACE ("ace TYPE FLAGS MASK SID").
acl() {
  sddl=$(table MsiLockPermissionsEx | awk -F'\t' -v o="$1" '$2 == o { print $4 }')
  probe sddl "$sddl"
}
system=S-1-5-18
admins=S-1-5-32-544
users=S-1-5-32-545
# Inheritable to files and folders (OICI): lumarest.exe gets it from here.
inherit=0x03
# FILE_ALL_ACCESS; FILE_GENERIC_READ | FILE_GENERIC_EXECUTE (list, traverse,
# read, run); FILE_GENERIC_READ | FILE_GENERIC_WRITE (what fopen "r" and
# fopen "w" ask for).
all=0x001F01FF
read_execute=0x001200A9
read_write=0x0012019F
folder_acl=$(acl INSTALLFOLDER)
same "the folder's ACL: protected; SYSTEM and Administrators full, Users list/read/run, nobody else" \
  "protected 1|dacl 1|ace allow $inherit $all $system|ace allow $inherit $all $admins|ace allow $inherit $read_execute $users" \
  "$(echo "$folder_acl" | paste -sd'|')"
for file in lasttimeACDC.txt lasttimeDCRefresh.txt; do
  same "$file's ACL: protected; SYSTEM and Administrators full, Users read and write, nobody else" \
    "protected 1|dacl 1|ace allow 0x00 $all $system|ace allow 0x00 $all $admins|ace allow 0x00 $read_write $users" \
    "$(acl "$file" | paste -sd'|')"
done
# The same masks, right by right, so a failure names the right at fault.
users_mask() { echo "$1" | awk -v u="$users" '$1 == "ace" && $5 == u { print $4 }'; }
folder_users=$(( $(users_mask "$folder_acl") + 0 ))
file_users=$(( $(users_mask "$(acl lasttimeACDC.txt)") + 0 ))
for right in FILE_ADD_FILE:0x2 FILE_ADD_SUBDIRECTORY:0x4 FILE_DELETE_CHILD:0x40 DELETE:0x10000 \
             WRITE_DAC:0x40000 WRITE_OWNER:0x80000; do
  same "Users lack ${right%%:*} on the folder" 0 $(( folder_users & ${right#*:} ))
done
for right in FILE_READ_DATA:0x1 FILE_WRITE_DATA:0x2 FILE_APPEND_DATA:0x4 FILE_WRITE_EA:0x10 \
             FILE_WRITE_ATTRIBUTES:0x100 READ_CONTROL:0x20000 SYNCHRONIZE:0x100000; do
  same "Users have ${right%%:*} on a state file (fopen needs it)" $(( ${right#*:} )) $(( file_users & ${right#*:} ))
done
for right in FILE_EXECUTE:0x20 DELETE:0x10000 WRITE_DAC:0x40000 WRITE_OWNER:0x80000; do
  same "Users lack ${right%%:*} on a state file" 0 $(( file_users & ${right#*:} ))
done

# --- The upgrade rule.
same "the upgrade code is Lumarest's, fixed for every release" "$upgrade_code" "$(property UpgradeCode)"
older=$(table Upgrade | awk -F'\t' '$7 == "LUMAREST_OLDER_FOUND"')
newer=$(table Upgrade | awk -F'\t' '$7 == "LUMAREST_NEWER_FOUND"')
same "two Upgrade rows" 2 "$(table Upgrade | wc -l | tr -d ' ')"
same "both under the upgrade code" "$upgrade_code" "$(table Upgrade | col 1 | sort -u)"
same "every release up to and including this version is removed" "0.0.0 $version" \
  "$(echo "$older" | col 2) $(echo "$older" | col 3)"
same "... both ends included, not detect-only (VersionMinInclusive|VersionMaxInclusive)" 768 "$(echo "$older" | col 5)"
same "a later release is detected only (OnlyDetect), this version excluded" "$version  2" \
  "$(echo "$newer" | col 2) $(echo "$newer" | col 3) $(echo "$newer" | col 5)"
same "a later release stops the install" "Installed OR NOT LUMAREST_NEWER_FOUND" "$(table LaunchCondition | col 1)"
check "both upgrade properties reach the elevated install (SecureCustomProperties)" \
  test -n "$(property SecureCustomProperties | tr ';' '\n' | grep -x LUMAREST_OLDER_FOUND)" \
  -a -n "$(property SecureCustomProperties | tr ';' '\n' | grep -x LUMAREST_NEWER_FOUND)"
check "FindRelatedProducts runs before LaunchConditions" \
  test "$(sequence InstallExecuteSequence FindRelatedProducts)" -lt "$(sequence InstallExecuteSequence LaunchConditions)"
# The older release goes once this one's files are in place, and before this
# one is registered (Wine's removal takes the upgrade-code registration with
# it): InstallExecuteAgain, then at once RemoveExistingProducts, between
# InstallFiles and the first action after them.
rep=$(sequence InstallExecuteSequence RemoveExistingProducts)
same "InstallExecuteAgain comes right after InstallFiles, RemoveExistingProducts right after it" \
  "InstallFiles InstallExecuteAgain RemoveExistingProducts" \
  "$(table InstallExecuteSequence | sort -t"$(printf '\t')" -k3n | col 1 | grep -A2 -x InstallFiles | paste -sd' ')"
check "RemoveExistingProducts runs before this release registers and publishes itself" \
  test -n "$rep" -a "${rep:-0}" -lt "$(sequence InstallExecuteSequence RegisterProduct)" \
  -a "${rep:-0}" -lt "$(sequence InstallExecuteSequence PublishProduct)"

# --- Log-on start and the controllers' stop.
same "the Run value: HKLM, Run key, Lumarest, the quoted exe path" \
  "2|Software\\Microsoft\\Windows\\CurrentVersion\\Run|Lumarest|\"[#lumarest.exe]\"" \
  "$(table Registry | awk -F'\t' '{ print $2 "|" $3 "|" $4 "|" $5 }')"
stop=$(row CustomAction StopControllers)
# 50 (run the exe a property names) + 64 (ignore its exit code) +
# 1024 (deferred) + 2048 (system context, reaching every session).
same "StopControllers runs taskkill deferred, in the system context, ignoring its exit code" \
  "3186 LUMAREST_TASKKILL /f /im lumarest.exe" "$(echo "$stop" | col 2) $(echo "$stop" | col 3) $(echo "$stop" | col 4)"
at=$(sequence InstallExecuteSequence StopControllers)
check "StopControllers runs inside the script, before any file is removed" \
  test -n "$at" -a "${at:-0}" -gt "$(sequence InstallExecuteSequence InstallInitialize)" \
  -a "${at:-0}" -lt "$(sequence InstallExecuteSequence RemoveFiles)"

# --- The start after an install: StartControllers, from the DLL in the
# Binary table. 1 (a DLL function) + 64 (its return ignored) + 512 (commit:
# only once the script has succeeded) + 1024 (in the script) + 2048 (the
# system context, which alone may ask for another session's user token).
start=$(row CustomAction StartControllers)
same "StartControllers is a commit action in the system context, ignoring its result, calling StartControllers in the starter DLL" \
  "3649 LumarestStarter StartControllers" "$(echo "$start" | col 2) $(echo "$start" | col 3) $(echo "$start" | col 4)"
same "no impersonated StartController any more" "" "$(row CustomAction StartController)$(row InstallExecuteSequence StartController)"
data=$(row CustomAction SetStartControllersData)
same "SetStartControllersData hands it the installed exe's path (type 51)" "51 StartControllers [#lumarest.exe]" \
  "$(( $(echo "$data" | col 2) & 63 )) $(echo "$data" | col 3) $(echo "$data" | col 4)"
check "both are scheduled into the script: after InstallInitialize, data first, before InstallFinalize" \
  test "$(sequence InstallExecuteSequence InstallInitialize)" -lt "$(sequence InstallExecuteSequence SetStartControllersData)" \
  -a "$(sequence InstallExecuteSequence SetStartControllersData)" -lt "$(sequence InstallExecuteSequence StartControllers)" \
  -a "$(sequence InstallExecuteSequence StartControllers)" -lt "$(sequence InstallExecuteSequence InstallFinalize)"
same "StartControllers is in the execute sequence only" "" "$(row InstallUISequence StartControllers)"
# Its twin where rollback is disabled (commit actions do not run then): the
# same entry point with the same data, 1 + 64 + 1024 (deferred, in the
# script) + 2048 (system context) = 3137, the script's last step.
twin=$(row CustomAction StartControllersWithoutRollback)
same "StartControllersWithoutRollback is a deferred action in the system context, ignoring its result, calling StartControllers in the starter DLL" \
  "3137 LumarestStarter StartControllers" "$(echo "$twin" | col 2) $(echo "$twin" | col 3) $(echo "$twin" | col 4)"
twin_data=$(row CustomAction SetStartControllersWithoutRollbackData)
same "SetStartControllersWithoutRollbackData hands it the installed exe's path (type 51)" \
  "51 StartControllersWithoutRollback [#lumarest.exe]" \
  "$(( $(echo "$twin_data" | col 2) & 63 )) $(echo "$twin_data" | col 3) $(echo "$twin_data" | col 4)"
check "the twin is scheduled into the script: data first, after the commit action's, last before InstallFinalize" \
  test "$(sequence InstallExecuteSequence SetStartControllersData)" -lt "$(sequence InstallExecuteSequence SetStartControllersWithoutRollbackData)" \
  -a "$(sequence InstallExecuteSequence SetStartControllersWithoutRollbackData)" -lt "$(sequence InstallExecuteSequence StartControllersWithoutRollback)" \
  -a "$(sequence InstallExecuteSequence StartControllers)" -lt "$(sequence InstallExecuteSequence StartControllersWithoutRollback)" \
  -a "$(sequence InstallExecuteSequence StartControllersWithoutRollback)" -lt "$(sequence InstallExecuteSequence InstallFinalize)"
same "the twin is in the execute sequence only" "" "$(row InstallUISequence StartControllersWithoutRollback)"
same "the four rows and their conditions" \
  "SetStartControllersData|NOT REMOVE~=\"ALL\" AND LUMAREST_START = \"1\" AND NOT RollbackDisabled
SetStartControllersWithoutRollbackData|NOT REMOVE~=\"ALL\" AND LUMAREST_START = \"1\" AND RollbackDisabled
StartControllersWithoutRollback|NOT REMOVE~=\"ALL\" AND LUMAREST_START = \"1\" AND RollbackDisabled
StartControllers|NOT REMOVE~=\"ALL\" AND LUMAREST_START = \"1\" AND NOT RollbackDisabled" \
  "$(table InstallExecuteSequence | awk -F'\t' '$1 ~ /^(Set)?StartControllers/ { print $1 "|" $2 }' | LC_ALL=C sort)"
# The DLL in the package: the one this build made, exporting the entry by
# its plain name (an i686 stdcall function is _StartControllers@4 unless the
# export says otherwise, and Windows Installer would not find it).
(cd "$work" && msiinfo export "$msi" Binary > /dev/null)
check "the Binary table holds this build's lumarest-starter.dll" \
  cmp -s "$work/Binary/Binary.LumarestStarter" "$(dirname "$release_exe")/lumarest-starter.dll"
same "... which exports StartControllers, undecorated" "StartControllers" \
  "$(i686-w64-mingw32-objdump -p "$work/Binary/Binary.LumarestStarter" | sed -n 's/^[[:space:]]*\[ *[0-9]*\] \(.*StartControllers.*\)$/\1/p')"
same "LUMAREST_START is on unless the command line says otherwise, and reaches the elevated install" \
  "1 LUMAREST_START" "$(property LUMAREST_START) $(property SecureCustomProperties | tr ';' '\n' | grep -x LUMAREST_START)"
# What the installer makes of the condition in each situation (its own
# evaluator, in a session of the package): the system account's installs
# cannot be run here, its SID can be set.
msi_win=$(winepath -w "$msi" | tr -d '\r')
# Where rollback is disabled the twins run instead: exactly one of each pair.
for action in SetStartControllersData StartControllers SetStartControllersWithoutRollbackData \
              StartControllersWithoutRollback; do
  case $action in
    *WithoutRollback*) plain=false; without=true ;;
    *) plain=true; without=false ;;
  esac
  for case in "$plain:a person's install:UserSID=S-1-5-21-1004336348-1177238915-682003330-1001" \
              "$plain:the system account's install (Group Policy, Intune, psexec -s):UserSID=S-1-5-18" \
              "$without:an install with rollback disabled:RollbackDisabled=1" \
              "$without:the system account's install with rollback disabled:UserSID=S-1-5-18 RollbackDisabled=1" \
              "false:a removal:REMOVE=ALL" "false:a removal, lower case:REMOVE=all" \
              "false:a removal with rollback disabled:REMOVE=ALL RollbackDisabled=1" \
              "false:LUMAREST_START=0:LUMAREST_START=0" \
              "false:LUMAREST_START=0 with rollback disabled:LUMAREST_START=0 RollbackDisabled=1"; do
    expected=${case%%:*}
    rest=${case#*:}
    # shellcheck disable=SC2086 # several NAME=VALUE words
    same "$action's condition for ${rest%%:*}: $expected" "$expected" \
      "$(probe condition "$msi_win" "$action" ${rest#*:})"
  done
done

finish
