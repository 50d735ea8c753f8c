#!/bin/sh
# One smoke test of a build's real exes, cheap enough where 32-bit programs
# run only under emulation (about 50 s per 32-bit process start there, so
# two starts in all):
#   - lumarest-check.exe --json runs to its end: exit code 0 (every
#     condition holds) or 1 (one fails, as under Wine), and one JSON object
#     on stdout;
#   - lumarest.exe, started by lumarest-smoke.exe (64-bit), opens its window
#     and, sent its menu's Exit command, ends with exit code 0; and it is the
#     bitness the build says.
# Runs under ctest in the build's throw-away prefix (WINEPREFIX), under X.
#   smoke.sh CHECK-EXE CONTROLLER-EXE SMOKE-HELPER-EXE 32|64
check_exe=$1; controller=$2; helper=$3; bits=$4
: "${WINEPREFIX:?WINEPREFIX must name the throw-away prefix}"
. "$(dirname "$0")/../../installer/tests/report.sh"
# Each exe through the loader of its own bitness, in this prefix only.
launcher="$(dirname "$0")/../../tools/wine-bin/wine"
wine() { "$launcher" "$@"; }
work=$(mktemp -d "${TMPDIR:-/tmp}/lumarest-smoke.XXXXXX")
trap 'rm -rf "$work"' EXIT

start=$(date +%s)
# A check that never ends fails here, in 10 minutes, not at ctest's limit.
timeout 600 "$launcher" "$check_exe" --json > "$work/check.out" 2> "$work/check.err" </dev/null
rc=$?
echo "lumarest-check.exe --json: exit code $rc after $(( $(date +%s) - start )) s"
check "lumarest-check --json ends with exit code 0 or 1" test "$rc" -eq 0 -o "$rc" -eq 1
tr -d '\r' < "$work/check.out" > "$work/check.json"
check "... and writes one JSON object: '{' first, '}' last" \
  test "$(tr -d ' \n' < "$work/check.json" | cut -c1)$(tr -d ' \n' < "$work/check.json" | tail -c 1)" = "{}"
check "... naming its conditions" grep -q '"conditions"' "$work/check.json"
[ "$failed" -eq 0 ] || { head -c 2000 "$work/check.json"; head -n 20 "$work/check.err"; }

start=$(date +%s)
# The helper's output goes through a file, not a pipe: Wine's processes
# started meanwhile (its services, or a controller left running) inherit
# the Unix output and would keep a pipe open.
# Wine's drive Z: is the Linux root, so an absolute path needs no winepath.
case $controller in /*) ;; *) controller=$PWD/$controller ;; esac
controller_win="Z:$(printf '%s' "$controller" | tr / '\\')"
wine "$helper" "$controller_win" 600 > "$work/helper.out" 2>&1 </dev/null
rc=$?
tr -d '\r' < "$work/helper.out" > "$work/helper.txt"
cat "$work/helper.txt"
echo "lumarest.exe: started and ended in $(( $(date +%s) - start )) s"
check "lumarest.exe opened its window and ended through Exit with exit code 0" test "$rc" -eq 0
expected=no
[ "$bits" = 32 ] && expected=yes
check "... and it was a $bits-bit process" grep -qx "32-bit: $expected" "$work/helper.txt"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
