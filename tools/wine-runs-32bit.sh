#!/bin/sh
# Exit status 0 when Wine runs a 32-bit Windows program here: EXE (a 32-bit
# build's lumarest-check.exe) started with --help exits 0 and prints its
# usage. Otherwise 1, and one line on stdout saying which of the two things
# a 32-bit run needs is missing: a kernel that runs 32-bit programs
# (tools/runs-i386.sh), or Wine's 32-bit half (wine32:i386; without it the
# launcher cannot run the exe at all).
#   wine-runs-32bit.sh EXE
exe=$1
tools=$(dirname "$0")
if ! sh "$tools/runs-i386.sh"; then
  echo "this machine's kernel runs no 32-bit programs (tools/runs-i386.sh), so Wine cannot run a 32-bit exe"
  exit 1
fi
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  echo "Wine's 32-bit half (wine32:i386) is not installed; tools/install-deps.sh says why when it could not install it"
  exit 1
fi
if [ ! -f "$exe" ]; then
  echo "there is no $exe to try"
  exit 1
fi
status=0
out=$(WINEDEBUG=-all wine "$exe" --help 2>&1) || status=$?
if [ "$status" -ne 0 ] || ! printf '%s\n' "$out" | grep -q "lumarest-check"; then
  echo "Wine did not run the 32-bit $exe (exit code $status): $(printf '%s' "$out" | head -n 2 | tr '\n' ' ')"
  exit 1
fi
