#!/bin/sh
# Prints the Wine loader that should start PROGRAM: Wine's 32-bit loader
# for a PE file whose machine field says i386 (0x14c), its 64-bit loader
# for everything else (an x86-64 exe, 0x8664, or a built-in program named
# without a path, such as msiexec or reg, which a 64-bit prefix runs from
# system32).
#   wine-loader.sh PROGRAM
# Debian's /usr/bin/wine starts every program through the 32-bit loader
# once wine32:i386 is installed, and that loader hands 64-bit programs on to
# the 64-bit one. Natively that costs little; where the kernel runs 32-bit
# programs only under qemu (tools/i386-mode.sh) it costs about 50 s per
# program, for a 64-bit one too. Asking the 64-bit loader directly keeps
# 64-bit programs at native speed everywhere.
dir=/usr/lib/wine
wine32=$dir/wine
wine64=$dir/wine64
[ -x "$wine64" ] || wine64=$(command -v wine64 2>/dev/null || echo "$wine64")

# byte FILE OFFSET: one byte of FILE as two hex digits (nothing past its end).
byte() { od -An -v -tx1 -j "$2" -N 1 "$1" 2>/dev/null | tr -d ' \n'; }

# machine FILE: the PE machine field as four hex digits, or nothing when
# FILE is not a PE image ("MZ", the PE offset at 0x3c, "PE\0\0" there, the
# machine field right after it, little-endian).
machine() {
  [ -f "$1" ] && [ -r "$1" ] || return 0
  [ "$(byte "$1" 0)$(byte "$1" 1)" = 4d5a ] || return 0
  pe=$(od -An -v -tu1 -j 60 -N 4 "$1" 2>/dev/null) || return 0
  set -- "$1" $pe
  [ $# -eq 5 ] || return 0
  pe=$(( $2 + ($3 << 8) + ($4 << 16) + ($5 << 24) ))
  [ "$(byte "$1" $pe)$(byte "$1" $((pe + 1)))$(byte "$1" $((pe + 2)))$(byte "$1" $((pe + 3)))" = 50450000 ] || return 0
  echo "$(byte "$1" $((pe + 5)))$(byte "$1" $((pe + 4)))"
}

case $(machine "${1:-}") in
  014c) echo "$wine32" ;;
  *) echo "$wine64" ;;
esac
