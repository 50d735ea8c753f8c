# The tests' reporting (sourced): one line per check, "ok" or "FAIL",
# counted in $passed and $failed for the script to report at its end.

passed=0
failed=0

pass() { passed=$((passed + 1)); printf 'ok   %s\n' "$*"; }
fail() { failed=$((failed + 1)); printf 'FAIL %s\n' "$*"; }
# check DESCRIPTION COMMAND...: passes when the command succeeds.
check() {
  what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
# same DESCRIPTION EXPECTED ACTUAL
same() {
  if [ "$2" = "$3" ]; then pass "$1"; else fail "$1: expected [$2], got [$3]"; fi
}
