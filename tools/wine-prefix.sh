#!/bin/sh
# The Wine prefixes of the tools and the tests, each booted the quickest way
# this machine allows (tools/i386-mode.sh):
#   tools/wine-prefix.sh new 64|32
#       WINEPREFIX becomes a freshly booted prefix for the programs of a
#       64-bit or a 32-bit build (what was there is removed first).
#   tools/wine-prefix.sh kept32
#       prints the path of the kept prefix with Wine's 32-bit half,
#       build/wineprefix-32bit, booting it first when it is missing or was
#       booted by another Wine.
#
# Booting a 64-bit prefix also sets up its 32-bit half when wine32:i386 is
# installed, and that half runs 32-bit programs (rundll32, iexplore). Where
# those run only under qemu the boot takes minutes instead of seconds, so
# there:
# - a prefix for 64-bit programs is booted through a copy of Wine's 64-bit
#   loader in a folder of its own (build/wine64-only), beside which there is
#   no 32-bit loader: Wine finds the loader of the other bitness next to its
#   own, so the 32-bit steps fail at once and the boot skips them. That
#   prefix then runs 64-bit programs only, which is all its build has;
# - a prefix for 32-bit programs is a copy of the kept one, booted once
#   (without iexplore, see kept32).
# Everywhere else every prefix is booted in full, as on any Wine machine.
set -e
tools=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$tools")
wine="$tools/wine-bin/wine"
kept="$root/build/wineprefix-32bit"
# No Mono or Gecko installer prompts; and no winemenubuilder, which would
# write menu entries under $HOME (the launcher adds that too, but the
# 64-bit-only boot goes around the launcher).
export WINEDEBUG="${WINEDEBUG--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES-mscoree,mshtml=};winemenubuilder.exe=d"

say() { echo "wine-prefix: $*" >&2; }

# remove DIR: stops DIR's wineserver and removes DIR, when it is a prefix.
remove() {
  [ -e "$1" ] || return 0
  if [ -n "$(ls -A "$1" 2>/dev/null)" ] && [ ! -f "$1/system.reg" ] && [ ! -d "$1/drive_c" ]; then
    say "$1 is not a Wine prefix (no system.reg, no drive_c): not removing it"
    exit 2
  fi
  WINEPREFIX=$1 wineserver -k 2>/dev/null || true
  rm -rf "$1"
}

# booted DIR: DIR's boot went through (its registry and system32 exist).
booted() { [ -f "$1/system.reg" ] && [ -f "$1/drive_c/windows/system32/kernel32.dll" ]; }
# with_32bit_half DIR: and its 32-bit half too, which only 32-bit Wine
# processes set up (a boot without them leaves syswow64 empty).
with_32bit_half() { booted "$1" && [ -f "$1/drive_c/windows/syswow64/kernel32.dll" ]; }

# boot DIR [LOADER]: a full boot of DIR by Wine's 64-bit loader, or LOADER.
# What Wine said goes to stderr only when the boot failed.
boot() {
  loader=${2:-$wine}
  out=$(WINEPREFIX=$1 "$loader" wineboot.exe -i 2>&1) || true
  WINEPREFIX=$1 wineserver -w
  booted "$1" && return 0
  printf '%s\n' "$out" >&2
  return 1
}

# A copy of the path from / to Wine's loader folder, every entry a link to
# the real one except the loaders: the 64-bit one copied (Wine takes its own
# folder from its executable's real path, and finds its libraries and data
# from there), the 32-bit one left out. Prints the copied loader's path.
loader64_alone() {
  real=$(readlink -f "$(sh "$tools/wine-loader.sh" "")")
  bindir=$(dirname "$real")
  tree="$root/build/wine64-only"
  here="$tree$bindir"
  if [ -x "$here/${real##*/}" ] && cmp -s "$real" "$here/${real##*/}"; then
    echo "$here/${real##*/}"
    return
  fi
  rm -rf "$tree" "$tree.new"
  parent=/
  rest=${bindir#/}
  here="$tree.new"
  mkdir -p "$here"
  while [ -n "$rest" ]; do
    first=${rest%%/*}
    for entry in "$parent".[!.]* "$parent"*; do
      [ -e "$entry" ] || [ -L "$entry" ] || continue
      [ "${entry##*/}" = "$first" ] || ln -s "$entry" "$here/${entry##*/}"
    done
    mkdir "$here/$first"
    here="$here/$first"
    parent="$parent$first/"
    case $rest in */*) rest=${rest#*/} ;; *) rest="" ;; esac
  done
  for entry in "$bindir"/*; do
    case ${entry##*/} in
      wine|wine-preloader) ;;
      "${real##*/}"|"${real##*/}"-preloader) cp "$entry" "$here/" ;;
      *) ln -s "$entry" "$here/${entry##*/}" ;;
    esac
  done
  mv "$tree.new" "$tree"
  echo "$tree$bindir/${real##*/}"
}

# The kept prefix is current while the Wine that booted it is installed.
wine_version() { "$(sh "$tools/wine-loader.sh" "")" --version 2>/dev/null; }

kept32() {
  mkdir -p "$root/build"
  exec 9>"$root/build/wineprefix-32bit.lock"
  flock 9
  if with_32bit_half "$kept" && [ "$(cat "$kept/.lumarest-wine" 2>/dev/null)" = "$(wine_version)" ]; then
    echo "$kept"
    return
  fi
  mode=$(sh "$tools/i386-mode.sh")
  start=$(date +%s)
  say "booting $kept, with Wine's 32-bit half (once; $mode 32-bit programs$([ "$mode" = emulated ] && echo ', about 2 min'))"
  remove "$kept"
  # The boot's 32-bit half starts two 32-bit programs: rundll32, which sets
  # up the half, and iexplore, which registers Internet Explorer's classes.
  # No 32-bit test uses Internet Explorer, and under emulation each start
  # costs about a minute: measured, 93 s for the boot without iexplore, 198 s with it.
  overrides=$WINEDLLOVERRIDES
  [ "$mode" != emulated ] || overrides="$overrides;iexplore.exe=d"
  if ! WINEDLLOVERRIDES=$overrides boot "$kept" || ! with_32bit_half "$kept"; then
    say "Wine could not boot $kept with its 32-bit half"
    exit 1
  fi
  wine_version > "$kept/.lumarest-wine"
  say "$kept booted in $(( $(date +%s) - start )) s"
  echo "$kept"
}

case "${1:-}" in
  new)
    : "${WINEPREFIX:?WINEPREFIX must name the prefix to make}"
    bits=${2:-64}
    case $bits in 32|64) ;; *) say "new: 32 or 64, not $bits"; exit 2 ;; esac
    remove "$WINEPREFIX"
    mode=$(sh "$tools/i386-mode.sh")
    if [ "$mode" = emulated ] && [ "$bits" = 32 ]; then
      from=$(kept32)
      (exec 9>"$root/build/wineprefix-32bit.lock"; flock 9; cp -a "$from" "$WINEPREFIX")
    elif [ "$mode" = emulated ]; then
      if ! boot "$WINEPREFIX" "$(loader64_alone)"; then
        say "the 64-bit-only boot of $WINEPREFIX failed; booting it in full (minutes under emulation)"
        remove "$WINEPREFIX"
        boot "$WINEPREFIX" || { say "Wine could not boot $WINEPREFIX"; exit 1; }
      fi
    else
      boot "$WINEPREFIX" || { say "Wine could not boot $WINEPREFIX"; exit 1; }
    fi
    ;;
  kept32) kept32 ;;
  *)
    echo "usage: tools/wine-prefix.sh new 64|32   (WINEPREFIX names the prefix)" >&2
    echo "       tools/wine-prefix.sh kept32" >&2
    exit 2 ;;
esac
