#!/bin/sh
# Exit status 0 when this machine runs 32-bit x86 programs, 1 when it does
# not (some virtual machines have no 32-bit mode at all). Wine runs 32-bit
# Windows programs only where it can run its own 32-bit half, so the tools
# and the tests that start a 32-bit exe ask here first. Probed with a
# 96-byte 32-bit program that exits with 42.
probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\273\052\000\000\000\315\200' > "$probe"
chmod +x "$probe"
status=0
"$probe" 2>/dev/null || status=$?
[ "$status" -eq 42 ]
