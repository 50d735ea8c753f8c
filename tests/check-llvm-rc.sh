#!/bin/sh
# The resource script through llvm-rc, a compiler of Microsoft's rc dialect:
# it must reject exactly the two forms the script keeps on purpose, one
# after the other, and take everything else (README.md, "Visual Studio").
#   1. "?", CMD_ABOUT, ASCII, ALT: llvm-rc allows ALT only on VIRTKEY
#      entries; the accelerators are characters with Alt (flags 0x10).
#   2. the class 0x0082 (0x0080) in CONTROL: llvm-rc wants a class name,
#      which it (like windres) stores as text, not as the system ordinal.
# usage: check-llvm-rc.sh LLVM-RC CLANG SCRIPT
set -e
rc="$1"; clang="$2"; script="$3"
dir=$(dirname "$script")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# llvm-rc would call an unversioned clang to preprocess; this one is named.
"$clang" --target=x86_64-w64-mingw32 -E -xc -DRC_INVOKED -I"$dir" "$script" > "$work/as-is.rc"
sed 's/, ASCII, ALT$//' "$work/as-is.rc" > "$work/no-alt.rc"
sed 's/0x0082/"Static"/; s/0x0080/"Button"/' "$work/no-alt.rc" > "$work/neither.rc"

status=0
expect() {  # FILE TEXT: llvm-rc rejects FILE saying TEXT; no TEXT: it accepts FILE
  out=$("$rc" /no-preprocess /C 65001 /I "$dir" /FO "$work/out.res" "$work/$1" 2>&1) && code=0 || code=$?
  printf '%s: %s\n' "$1" "${out:-accepted}"
  if [ -n "$2" ]; then
    [ "$code" -ne 0 ] && printf '%s' "$out" | grep -F -q -- "$2" && return 0
    echo "NOT OK   expected the rejection: $2"
  else
    [ "$code" -eq 0 ] && return 0
    echo "NOT OK   llvm-rc rejects something else as well"
  fi
  status=1
}
expect as-is.rc "Can only apply ALT, SHIFT or CONTROL to VIRTKEY accelerators"
expect no-alt.rc "expected string, got 0x0082"
expect neither.rc ""
exit $status
