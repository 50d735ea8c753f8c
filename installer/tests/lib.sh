# Shared by the installer test scripts (sourced). They run under ctest in
# the throw-away Wine prefix named by WINEPREFIX, with lumarest_installer_probe
# ($probe) as their Windows-side hands.

: "${WINEPREFIX:?WINEPREFIX must name the throw-away prefix}"

. "$(dirname "$0")/report.sh"
# Every Wine program through the tools' launcher: each exe by the loader of
# its own bitness, built-in programs (msiexec, reg, taskkill, winepath) by
# the 64-bit one, never through a 32-bit loader that may run only emulated.
launcher="$(dirname "$0")/../../tools/wine-bin/wine"
wine() { "$launcher" "$@"; }
winepath() { "$launcher" winepath.exe "$@"; }
work=$(mktemp -d "${TMPDIR:-/tmp}/lumarest-installer.XXXXXX")
finish() {
  # A controller left running by a failed step would hold the single-instance
  # guard against the next test.
  if ! probe gone lumarest.exe 0 >/dev/null; then
    wine taskkill /f /im lumarest.exe >/dev/null 2>&1
    fail "a controller was still running at the end (now ended)"
  fi
  echo "$passed passed, $failed failed"
  rm -rf "$work"
  [ "$failed" -eq 0 ]
}
# Stops the script at once: what follows would only repeat the failure.
abort() {
  fail "$*"
  finish
  exit 1
}

drive_c="$WINEPREFIX/drive_c"
kelvane_unix="$drive_c/Program Files (x86)/Kelvane"
folder_unix="$kelvane_unix/Lumarest"
folder_win='C:\Program Files (x86)\Kelvane\Lumarest'
exe_win="$folder_win\\lumarest.exe"
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
upgrade_code='{A50662D1-2CD5-4C3E-89B4-D3F13AEB4497}'

# probe COMMAND ARGUMENT...: the probe's output, without Windows line ends,
# and its exit status. The output goes through a file, not a pipe: a
# controller the probe starts inherits the probe's Unix output, and would
# keep a pipe (and ctest reading it) open for as long as it runs.
probe() {
  wine "$probe" "$@" > "$work/probe.out" 2>&1 </dev/null
  probe_rc=$?
  tr -d '\r' < "$work/probe.out"
  return $probe_rc
}

# msiexec NAME ARGUMENT...: runs msiexec with a verbose log in $work/NAME.log
# and leaves its exit code in $msi_rc. (Its output may hold taskkill's
# "Could not find process": the package's controller stop, where none runs.) Wine's msiexec can return while its
# custom-action processes still run, so this waits for them all to end.
msiexec() {
  log="$work/$1.log"
  shift
  wine msiexec "$@" /l*v "$log" > "$work/msiexec.out" 2>&1 </dev/null
  msi_rc=$?
  tr -d '\r' < "$work/msiexec.out"
  probe gone msiexec.exe 120 > "$work/gone.out" || fail "msiexec processes still running (probe status $probe_rc: $(cat "$work/gone.out"))"
}

# run_value VIEW: the Run value's data in the 32- or 64-bit registry view,
# or nothing when it is absent.
run_value() {
  wine reg query "$run_key" /v Lumarest "/reg:$1" 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *Lumarest  *REG_SZ  *//p'
}
run_value_type() {
  wine reg query "$run_key" /v Lumarest "/reg:$1" 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *Lumarest  *\(REG_[A-Z_]*\).*/\1/p'
}

# The products installed under Lumarest's upgrade code: "{code} version" lines.
products() { probe products "$upgrade_code"; }

# Snapshots of the prefix, to show that install then removal leaves it as it
# was. The registry is read from the files the Wine server saves when it
# ends, so every process must have ended first (the server then exits).
settle() {
  timeout 60 wineserver -w || abort "the Wine server did not settle: a process is still running"
}
# Key lines lose their timestamps. Dropped, because they change on their own
# or belong to Windows Installer rather than to the package:
#  - the display adapter's and monitor's device keys, which the display
#    driver rewrites (dates, counters) whenever the Wine server starts again;
#  - empty keys under Windows Installer's own registration roots, which it
#    creates on first use and keeps (a value under them is still compared);
#  - the 32-bit Run key when it is empty: removing the package's Run value
#    removes the key once nothing is left in it (Windows Installer deletes
#    registry keys it empties), and a missing Run key is read as an empty one;
#  - the 32-bit Uninstall key when it is empty: the first registration of a
#    32-bit product creates it where a prefix has none (one booted without
#    Wine's 32-bit half), and the removal leaves it empty.
normalise_registry() {
  sed -e 's/^\(\[.*\]\) [0-9]*$/\1/' -e '/^#time=/d' "$1" |
    awk '
      function flush() {
        if (header != "" && !display(header) && !(body == "" && droppable(header)))
          printf "%s\n%s", header, body
        header = ""; body = ""
      }
      function display(h) {
        return index(h, "[System\\\\CurrentControlSet\\\\Enum\\\\DISPLAY\\\\") == 1 ||
               index(h, "[System\\\\CurrentControlSet\\\\Control\\\\Class\\\\{4D36E968-E325-11CE-BFC1-08002BE10318}") == 1
      }
      function droppable(h) {
        return h ~ /^\[Software\\\\Classes\\\\Installer(\\\\[^\\]*)?\]$/ ||
               h ~ /^\[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Installer(\\\\.*)?\]$/ ||
               h == "[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run]" ||
               h == "[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall]"
      }
      /^\[/ { flush(); header = $0; next }
      header == "" { print; next }
      /^[ \t]*$/ { next }
      { body = body $0 "\n" }
      END { flush() }'
}
# Files: the whole of drive C:, less the Windows Installer cache folder
# itself (created on first use, like the keys above; what is in it counts).
snapshot() {
  settle
  (cd "$drive_c" && find . | sort | grep -v -x './windows/Installer') > "$work/$1.files"
  for hive in system user userdef; do
    normalise_registry "$WINEPREFIX/$hive.reg" > "$work/$1.$hive.reg"
  done
}
# same_snapshot A B: reports every difference between two snapshots.
same_snapshot() {
  for part in files system.reg user.reg userdef.reg; do
    if diff -u "$work/$1.$part" "$work/$2.$part" > "$work/diff.$part"; then
      pass "the prefix's $part are as they were"
    else
      fail "the prefix's $part changed:"
      head -n 60 "$work/diff.$part"
    fi
  done
}

# check_started WHAT LOG: WHAT (an install, upgrade or repair, whose msiexec
# log is $work/LOG.log) left the installed controller running, its window
# answering; it is ended here. The probe finds any controller's window: a
# second one started beside a running controller would have ended at once
# (single instance), so the window found is the one that was running, and
# the package's own log says how many it started: under Wine there is one
# session with a user, the console session 1.
check_started() {
  stopped=$(probe stop 30)
  check "$1 started the installed controller" test -n "$(echo "$stopped" | grep -xF "image $exe_win")"
  check "... which ends with code 0" test -n "$(echo "$stopped" | grep -x 'exit code 0')"
  started_pid=$(echo "$stopped" | sed -n 's/^pid //p')
  line=$(tr -d '\r' < "$work/$2.log" | grep -a '^Lumarest: session ')
  same "... started by StartControllers, in session 1, as process $started_pid" \
    "Lumarest: session 1: controller started (process $started_pid; token elevation type " "${line%%type *}type "
  check "... the log line names the token's elevation type ($(echo "$line" | sed -n 's/.*elevation type \([a-z]*\).*/\1/p'))" \
    test -n "$(echo "$line" | grep -E 'token elevation type (default|full|limited)')"
  check "... one controller, and no session failed" \
    grep -aq '^Lumarest: controllers started 1, turned off by the user 0, sessions without a user 0, failed 0' "$work/$2.log"
}
# check_none_started WHAT LOG: StartControllers did not run, and no
# controller runs.
check_none_started() {
  same "$1: StartControllers did not run" "" "$(tr -d '\r' < "$work/$2.log" | grep -a '^Lumarest: ')"
  check "$1: no controller runs" probe gone lumarest.exe 0
}
# check_marks WHEN ACDC DCREFRESH: both state files hold exactly those marks.
check_marks() {
  printf %s "$2" > "$work/mark"
  check "$1: lasttimeACDC.txt holds exactly \"$2\"" cmp -s "$work/mark" "$folder_unix/lasttimeACDC.txt"
  printf %s "$3" > "$work/mark"
  check "$1: lasttimeDCRefresh.txt holds exactly \"$3\"" cmp -s "$work/mark" "$folder_unix/lasttimeDCRefresh.txt"
}

# Nothing of the package is left: folder, files, Run value, registration.
check_removed() {
  check "$1: the Lumarest folder is gone" test ! -e "$folder_unix"
  check "$1: the Kelvane folder is gone" test ! -e "$kelvane_unix"
  same "$1: no Run value (32-bit view)" "" "$(run_value 32)"
  same "$1: no Run value (64-bit view)" "" "$(run_value 64)"
  same "$1: no product registered under the upgrade code" "" "$(products)"
}
