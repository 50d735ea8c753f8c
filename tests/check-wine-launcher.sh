#!/bin/sh
# The loader tools/wine-loader.sh picks, by the PE machine field of tiny
# files made here (and of this build's own lumarest.exe), and the launcher
# tools/wine-bin/wine refusing to run without a prefix of the tools' own.
#   check-wine-launcher.sh TOOLS_DIR [BUILT_EXE 32|64]
tools=$1
failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# pe FILE OFFSET SIGNATURE MACHINE: "MZ", the PE header's OFFSET at 0x3c,
# then SIGNATURE and MACHINE (octal escapes) at OFFSET.
pe() {
  printf 'MZ' > "$1"
  head -c 58 /dev/zero >> "$1"
  printf "$(printf '\\%03o' $(($2 & 255)) $(($2 >> 8 & 255)) 0 0)" >> "$1"
  head -c $(($2 - 64)) /dev/zero >> "$1"
  printf "$3$4" >> "$1"
  head -c 200 /dev/zero >> "$1"
}
pe "$work/i386.exe" 128 'PE\0\0' '\114\001'
pe "$work/amd64.exe" 128 'PE\0\0' '\144\206'
pe "$work/i386-at-64.exe" 64 'PE\0\0' '\114\001'
pe "$work/arm64.exe" 128 'PE\0\0' '\144\252'
pe "$work/no-signature.exe" 128 'NE\0\0' '\114\001'
printf 'MZ' > "$work/truncated.exe"; head -c 58 /dev/zero >> "$work/truncated.exe"; printf '\377\377\000\000' >> "$work/truncated.exe"
printf '\177ELF\001\001\001' > "$work/elf"
: > "$work/empty.exe"

wine32=/usr/lib/wine/wine
check() {  # check FILE EXPECTED(32|64)
  got=$(sh "$tools/wine-loader.sh" "$1")
  case $2 in 32) ok=$([ "$got" = "$wine32" ] && echo y) ;; 64) ok=$([ "${got##*/}" = wine64 ] && echo y) ;; esac
  if [ -z "$ok" ]; then echo "FAIL: $1 should start through the $2-bit loader; wine-loader.sh said $got"; failed=1; fi
}
check "$work/i386.exe" 32
check "$work/i386-at-64.exe" 32
check "$work/amd64.exe" 64
check "$work/arm64.exe" 64
check "$work/no-signature.exe" 64
check "$work/truncated.exe" 64
check "$work/elf" 64
check "$work/empty.exe" 64
check "$work/no-such.exe" 64
check msiexec 64
check "" 64
[ -z "${2:-}" ] || check "$2" "$3"

# Without WINEPREFIX the launcher starts nothing (Wine would make ~/.wine).
out=$(env -u WINEPREFIX HOME="$work/home" sh "$tools/wine-bin/wine" "$work/amd64.exe" 2>&1)
rc=$?
if [ "$rc" -ne 125 ] || ! printf '%s' "$out" | grep -q "WINEPREFIX is not set" || [ -e "$work/home" ]; then
  echo "FAIL: without WINEPREFIX the launcher should refuse (exit code 125, saying why) and make nothing; exit code $rc: $out"
  failed=1
fi

[ "$failed" -eq 0 ] && echo "wine launcher: every case as expected"
exit $failed
