#!/bin/sh
# Installs lumarest.msi silently into the throw-away Wine prefix, checks what
# it put there, runs the installed controller (directly and as a log-on
# would), removes the package while a controller is running, and checks that
# the prefix is as it was before. (The start after an install is upgrade.sh's;
# here it is switched off, so the files are seen as the package wrote them;
# at the end, an install with rollback disabled must still start one.)
#   install-cycle.sh PACKAGE PROBE PACKAGED_EXE PACKAGED_CHECK_EXE
msi=$1
probe=$2
packaged_exe=$3
packaged_check_exe=$4
. "$(dirname "$0")/lib.sh"

[ -f "$msi" ] || abort "no package at $msi"
msi_win=$(winepath -w "$msi" | tr -d '\r')
product_code=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
[ -n "$product_code" ] || abort "no ProductCode in $msi"

# A controller left over from another test would hold the single-instance
# guard and make this one end at once.
probe gone lumarest.exe 30 || abort "a controller was already running"
check "before: nothing of Lumarest in the prefix" test ! -e "$kelvane_unix"
same "before: no Run value" "" "$(run_value 32)"
snapshot before

# The folder cannot be moved: not by TARGETDIR (where an unanchored folder
# tree would go), nor by naming the package's own folders.
msiexec install /i "$msi_win" /qn 'TARGETDIR=C:\elsewhere\' 'KELVANEFOLDER=C:\elsewhere\Kelvane\' \
  'INSTALLFOLDER=C:\elsewhere\Lumarest\' LUMAREST_START=0
same "msiexec /i /qn exits 0" 0 "$msi_rc"
[ "$msi_rc" -eq 0 ] || { tail -n 40 "$work/install.log"; abort "the install failed"; }
check "nothing went to C:\\elsewhere" test ! -e "$drive_c/elsewhere"

check_none_started "LUMAREST_START=0" install
check "the exe is the packaged one" cmp -s "$packaged_exe" "$folder_unix/lumarest.exe"
check "lumarest-check.exe is installed beside it" cmp -s "$packaged_check_exe" "$folder_unix/lumarest-check.exe"
printf 2 > "$work/mark2"
check "lasttimeACDC.txt holds exactly \"2\"" cmp -s "$work/mark2" "$folder_unix/lasttimeACDC.txt"
check "lasttimeDCRefresh.txt holds exactly \"2\"" cmp -s "$work/mark2" "$folder_unix/lasttimeDCRefresh.txt"
same "the folder holds those four files and nothing else" \
  "lasttimeACDC.txt lasttimeDCRefresh.txt lumarest-check.exe lumarest.exe" \
  "$(ls "$folder_unix" | sort | tr '\n' ' ' | sed 's/ $//')"
same "the Kelvane folder holds only Lumarest" "Lumarest" "$(ls "$kelvane_unix")"

# A 32-bit package writes to the 32-bit view of HKLM\Software, which the
# shell runs at log-on as well; the 64-bit view stays untouched.
run_command=$(run_value 32)
same "the Run value (32-bit view) starts the installed exe, quoted" "\"$exe_win\"" "$run_command"
same "the Run value is a plain string" REG_SZ "$(run_value_type 32)"
same "no Run value in the 64-bit view" "" "$(run_value 64)"
same "one product registered, this package's" "$product_code" "$(products | cut -d' ' -f1)"

# The installed controller, started the way the Run value says.
if [ -n "$run_command" ]; then
  check "the installed controller starts from the Run value, shows its window and ends with code 0" \
    probe run "$run_command"
fi
check "both state files are still there after a run" \
  test -f "$folder_unix/lasttimeACDC.txt" -a -f "$folder_unix/lasttimeDCRefresh.txt"

# A log-on: Wine's wineboot runs the machine's Run values, as the shell does
# at log-on; the controller must come up from the 32-bit view.
wine wineboot > "$work/wineboot.out" 2>&1 </dev/null
stopped=$(probe stop 30)
check "a log-on starts the installed controller" test -n "$(echo "$stopped" | grep -F "image $exe_win")"
check "the controller started at log-on ends with code 0" test -n "$(echo "$stopped" | grep -x 'exit code 0')"
echo "$stopped"

# Removal while a controller runs, as on any machine where a user is logged
# on: the package ends it so that the exe is not left behind in use.
check "a controller is running before the removal" probe start "$run_command"
msiexec remove /x "$product_code" /qn
same "msiexec /x /qn exits 0" 0 "$msi_rc"
check "the removal ended the running controller" probe gone lumarest.exe 30
check_none_started "the removal" remove
check_removed "after removal"

snapshot after
same_snapshot before after

# Rollback disabled: commit actions do not run, so the deferred twin starts
# the controllers instead. Wine's installer ignores the DisableRollback
# policy, but honours the DisableRollback action: a copy of the package with
# that action early in its sequence sets RollbackDisabled, as the policy
# does on Windows.
no_rollback="$work/no-rollback.msi"
cp "$msi" "$no_rollback"
msibuild "$no_rollback" -q \
  "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('DisableRollback', '', 1450)" ||
  abort "msibuild could not add DisableRollback to a copy of the package"
msiexec no-rollback /i "$(winepath -w "$no_rollback" | tr -d '\r')" /qn
same "an install with rollback disabled exits 0" 0 "$msi_rc"
check "... where the installer set RollbackDisabled" grep -aq '^Property(S): RollbackDisabled = 1' "$work/no-rollback.log"
started_by=$(tr -d '\r' < "$work/no-rollback.log" | sed -n 's/^Action start [0-9:]*: \(StartControllers[A-Za-z]*\)\.$/\1/p' | sort -u)
same "... the twin started the controllers, and the commit action did not run" StartControllersWithoutRollback "$started_by"
check_started "an install with rollback disabled" no-rollback
msiexec no-rollback-remove /x "$product_code" /qn
same "... and its removal exits 0" 0 "$msi_rc"
check_removed "after the removal of the install with rollback disabled"

finish
