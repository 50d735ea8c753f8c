#!/bin/sh
# Prints how this machine runs 32-bit x86 programs, one word:
#   native    the kernel runs them itself;
#   emulated  binfmt_misc hands them to qemu-i386 (the way a kernel booted
#             with its 32-bit emulation switched off, dmesg "32-bit
#             emulation disabled", can run them at all); every start of a
#             32-bit Wine process then costs about 50 s;
#   none      they do not run.
# An enabled binfmt_misc entry for i386 ELF takes precedence over the
# kernel's own loader, so such an entry means "emulated" even on a kernel
# that could run them natively. LUMAREST_BINFMT_MISC names another
# binfmt_misc folder (the tests' stand-in).
tools=$(dirname "$0")
binfmt=${LUMAREST_BINFMT_MISC:-/proc/sys/fs/binfmt_misc}

if ! sh "$tools/runs-i386.sh"; then
  echo none
  exit 0
fi
# An entry file reads "enabled" or "disabled", then "interpreter PATH"; the
# status file says whether binfmt_misc as a whole is enabled.
if [ "$(cat "$binfmt/status" 2>/dev/null)" = enabled ]; then
  for entry in "$binfmt"/*; do
    case ${entry##*/} in register|status) continue ;; esac
    [ -f "$entry" ] || continue
    if [ "$(sed -n 1p "$entry" 2>/dev/null)" = enabled ] &&
       sed -n 's/^interpreter //p' "$entry" 2>/dev/null | grep -q '/qemu-i386[^/]*$'; then
      echo emulated
      exit 0
    fi
  done
fi
echo native
