#!/bin/sh
# Runs the simulated laptop on a scenario and checks its exit code and that
# its output says what it should (a fixed text, e.g. the failing line).
# usage: check-sim-exit.sh SIM SCENARIO EXPECTED-CODE TEXT
sim="$1"; scenario="$2"; expected="$3"; text="$4"
# Through the tools' launcher: the simulated laptop's own loader, directly.
out=$("$(dirname "$0")/../tools/wine-bin/wine" "$sim" "$scenario" 2>&1)
code=$?
printf '%s\n' "$out"
if [ "$code" -ne "$expected" ]; then
  echo "exit code $code, expected $expected"
  exit 1
fi
if ! printf '%s\n' "$out" | grep -F -q -- "$text"; then
  echo "the output does not say: $text"
  exit 1
fi
echo "exit code $code and the message, as expected"
