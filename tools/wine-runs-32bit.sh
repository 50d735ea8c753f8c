#!/bin/sh
# Exit status 0 when Wine runs a 32-bit Windows program here: EXE (a 32-bit
# build's lumarest-check.exe) started with --help exits 0 and prints its
# usage. Otherwise 1, and one line on stdout saying which of the two things
# a 32-bit run needs is missing: a kernel that runs 32-bit programs, itself
# or through qemu (tools/i386-mode.sh), or Wine's 32-bit half (wine32:i386;
# without it the launcher cannot run the exe at all).
# The exe runs in the kept prefix with Wine's 32-bit half
# (build/wineprefix-32bit, tools/wine-prefix.sh), booted on first use. Where
# 32-bit programs run only under emulation the boot of that prefix is the
# proof: its 32-bit half is set up by 32-bit Wine processes, and starting
# EXE as well would cost another minute.
#   wine-runs-32bit.sh EXE
exe=$1
tools=$(dirname "$0")
mode=$(sh "$tools/i386-mode.sh")
if [ "$mode" = none ]; then
  echo "this machine's kernel runs no 32-bit programs (tools/i386-mode.sh; dmesg may say \"32-bit emulation disabled\"), so Wine cannot run a 32-bit exe; tools/install-deps.sh says how to run them through qemu"
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
if ! prefix=$(sh "$tools/wine-prefix.sh" kept32); then
  echo "Wine could not boot a prefix with its 32-bit half (tools/wine-prefix.sh kept32)"
  exit 1
fi
[ "$mode" = emulated ] && exit 0
status=0
out=$(WINEPREFIX=$prefix WINEDEBUG=-all "$tools/wine-bin/wine" "$exe" --help 2>&1 </dev/null) || status=$?
WINEPREFIX=$prefix wineserver -w
if [ "$status" -ne 0 ] || ! printf '%s\n' "$out" | grep -q "lumarest-check"; then
  echo "Wine did not run the 32-bit $exe (exit code $status): $(printf '%s' "$out" | head -n 2 | tr '\n' ' ')"
  exit 1
fi
