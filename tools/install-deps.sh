#!/bin/sh
# Installs what the build and the tests need on Debian 12: the mingw-w64
# cross compilers (posix thread model), clang, lld and llvm (the second
# compiler and llvm-rc), Wine, Xvfb, GoogleTest's sources, CMake,
# wixl/msitools for the installer, osslsigncode and openssl for signing a
# release, Node.js; Wine's 32-bit half too, where this machine can run 32-bit
# programs and Debian can install it. Does nothing when everything is there
# already. Changes the machine: installs packages with apt-get, through sudo
# when not run as root, and adds dpkg's i386 architecture while it tries
# wine32 (taken away again when wine32 cannot be installed). Where the
# kernel runs no 32-bit programs and this runs as root (CI), it makes qemu
# run them: installs qemu-user-static, mounts binfmt_misc where it is not
# mounted, and registers qemu-i386 for i386 ELF there, until the next boot;
# without root it says what to run instead.
# From the npm registry, into build/powershell-parser only (nothing global):
# the PowerShell parser of the fleet scripts' test (web-tree-sitter and
# tree-sitter's PowerShell grammar, as WebAssembly, at fixed versions).
#
# What a fresh machine meets, and what this script does about it:
# - apt-get update exits 100 when one index failed to download (a mirror in
#   the middle of a sync), although apt kept or ignored that index. It is
#   tried once more, then accepted when apt can install every package
#   needed; a package apt cannot install stops the script with its name.
# - wine32:i386 cannot always be installed (its i386 and amd64 halves at
#   different versions while a mirror catches up). Only the 32-bit tests
#   need it, so that is said once and the script goes on; the attempt is not
#   repeated for a day (build/wine32-not-installable).
set -e
root=$(cd "$(dirname "$0")/.." && pwd)

packages="cmake make g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine64
xvfb xauth googletest wixl msitools clang-14 lld-14 llvm-14 osslsigncode openssl nodejs"

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing_of() {
  missing=""
  for p in "$@"; do installed "$p" || missing="$missing $p"; done
  echo $missing
}

if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
# sudo's default env_reset drops variables set before it, so they go through env.
apt() { $sudo env DEBIAN_FRONTEND=noninteractive apt-get "$@"; }

# apt-get update, once more when an index failed; true when apt ended clean.
update() {
  apt update -qq && return 0
  echo "install-deps: apt-get update reported indexes it could not fetch; trying once more in 10 s" >&2
  sleep 10
  apt update -qq && return 0
  echo "install-deps: apt-get update failed again; going on with the indexes apt has" >&2
  return 1
}

# Names the packages of "$@" that apt would refuse to install now.
refused_of() {
  refused=""
  apt install -s -qq --no-install-recommends "$@" >/dev/null 2>&1 && { echo ""; return; }
  for p in "$@"; do
    apt install -s -qq --no-install-recommends "$p" >/dev/null 2>&1 || refused="$refused $p"
  done
  # Each alone installs, only not all together: name them all.
  [ -n "$refused" ] || refused="$*"
  echo $refused
}

missing=$(missing_of $packages)
if [ -n "$missing" ]; then
  echo "install-deps: installing $missing"
  update || true
  refused=$(refused_of $missing)
  if [ -n "$refused" ]; then
    echo "install-deps: apt cannot install: $refused" >&2
    echo "install-deps: try 'sudo apt-get update' and 'sudo apt-get install $refused' to read apt's reason; a mirror in sync usually clears within the hour" >&2
    exit 1
  fi
  apt install -y -qq --no-install-recommends $missing >/dev/null
  echo "install-deps: installed"
fi

# The PowerShell parser for the fleet scripts' test (installer/tests/
# parse-fleet-scripts.mjs). Debian's nodejs comes without npm; a Node.js
# that brings its own npm needs no Debian npm (which would clash with it).
parser="$root/build/powershell-parser"
if [ ! -f "$parser/node_modules/tree-sitter-powershell/tree-sitter-powershell.wasm" ] ||
   [ ! -f "$parser/node_modules/web-tree-sitter/tree-sitter.cjs" ]; then
  if ! command -v npm >/dev/null 2>&1; then
    update || true
    apt install -y -qq --no-install-recommends npm >/dev/null || echo "install-deps: apt cannot install npm" >&2
  fi
  echo "install-deps: installing the PowerShell parser into build/powershell-parser (npm)"
  mkdir -p "$parser"
  npm install --prefix "$parser" --ignore-scripts --no-audit --no-fund --no-save \
    web-tree-sitter@0.25.10 tree-sitter-powershell@0.26.4 >/dev/null ||
    echo "install-deps: npm could not install the PowerShell parser; the fleet_scripts test fails until it can" >&2
fi

# 32-bit programs, for the 32-bit tests only. Some kernels are booted with
# their 32-bit emulation switched off (dmesg: "32-bit emulation disabled"):
# a 32-bit ELF then fails with "Exec format error". qemu-i386 registered in
# binfmt_misc runs it instead, about 50 s per start of a 32-bit Wine
# process, which tools/test.sh takes into account (tools/i386-mode.sh).
binfmt=${LUMAREST_BINFMT_MISC:-/proc/sys/fs/binfmt_misc}
# The entry qemu's own qemu-binfmt-conf.sh writes for i386 ELF (Debian's
# package registers no i386 entry on amd64). F opens the interpreter at
# registration, so that it also serves containers and other namespaces.
i386_entry=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F'

# Sets up qemu for 32-bit programs (as root only), saying what it did; it
# changes nothing the machine had: an entry of its own is left as it is.
emulate_i386() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: this machine's kernel runs no 32-bit programs (dmesg: \"32-bit emulation disabled\"), so the tests of the 32-bit builds will not run. qemu can run them, at about 50 s per 32-bit Wine process; it then runs every 32-bit program of this machine, until the next boot. As root:"
    # printf, not echo: dash's echo would expand the \n of the printed command.
    printf '%s\n' "  apt-get install qemu-user-static" \
      "  [ -e $binfmt/register ] || mount -t binfmt_misc binfmt_misc $binfmt" \
      "  printf '%s\\n' '$i386_entry' > $binfmt/register" \
      "then tools/install-deps.sh again, which installs wine32:i386."
    return
  fi
  did=""
  echo "install-deps: this machine's kernel runs no 32-bit programs (dmesg: \"32-bit emulation disabled\"); setting up qemu to run them, for the 32-bit tests"
  if ! installed qemu-user-static; then
    update || true
    if [ -n "$(refused_of qemu-user-static)" ] ||
       ! apt install -y -qq --no-install-recommends qemu-user-static >/dev/null 2>&1; then
      echo "install-deps: apt cannot install qemu-user-static; the 32-bit tests will not run here"
      return
    fi
    did="installed qemu-user-static"
  fi
  if [ ! -e "$binfmt/register" ]; then
    if ! mount -t binfmt_misc binfmt_misc "$binfmt"; then
      echo "install-deps: binfmt_misc could not be mounted at $binfmt (a kernel without it?); the 32-bit tests will not run here"
      return
    fi
    did="${did:+$did, }mounted binfmt_misc at $binfmt"
  fi
  if [ -e "$binfmt/qemu-i386" ]; then
    echo "install-deps: binfmt_misc has a qemu-i386 entry already, left as it is ($(sed -n 1p "$binfmt/qemu-i386"), $(sed -n 's/^interpreter //p' "$binfmt/qemu-i386")); 'echo 1 > $binfmt/qemu-i386' enables it"
  elif printf '%s\n' "$i386_entry" > "$binfmt/register"; then
    did="${did:+$did, }registered /usr/bin/qemu-i386-static for i386 ELF in $binfmt"
  else
    echo "install-deps: binfmt_misc refused the qemu-i386 entry; the 32-bit tests will not run here"
    return
  fi
  if [ "$(sh "$root/tools/i386-mode.sh")" = emulated ]; then
    echo "install-deps: 32-bit programs now run under qemu ($did), until the next boot; each 32-bit Wine process start costs about 50 s there, so tools/test.sh runs only a few 32-bit tests"
  else
    echo "install-deps: 32-bit programs still do not run${did:+ ($did)}; the 32-bit tests will not run here"
  fi
}

if [ "$(sh "$root/tools/i386-mode.sh")" = none ]; then
  emulate_i386
  # Wine's launcher prefers its 32-bit loader whenever wine32 is installed,
  # so without 32-bit programs wine32 would break every Wine call: it is not
  # even tried.
  [ "$(sh "$root/tools/i386-mode.sh")" != none ] || exit 0
fi

# Wine's 32-bit half, for the 32-bit tests only.
marker="$root/build/wine32-not-installable"
installed wine32:i386 && exit 0
if [ -n "$(find "$marker" -mmin -1440 2>/dev/null)" ]; then exit 0; fi

added_i386=""
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
  added_i386=yes
fi
echo "install-deps: installing wine32:i386 (for the 32-bit tests)"
update || true
if [ -z "$(refused_of wine32:i386)" ] &&
   apt install -y -qq --no-install-recommends wine32:i386 >/dev/null 2>&1; then
  echo "install-deps: installed wine32:i386"
  exit 0
fi
# Left added, the i386 indexes would be fetched by every later update and
# could fail it again for nothing.
[ -z "$added_i386" ] || $sudo dpkg --remove-architecture i386 2>/dev/null || true
mkdir -p "$root/build" && : > "$marker"
echo "install-deps: wine32:i386 cannot be installed here now (apt refuses it); the 32-bit tests will not run on this machine. Not tried again until $(date -d tomorrow '+%F %H:%M' 2>/dev/null || echo tomorrow); delete $marker to try sooner."
exit 0
