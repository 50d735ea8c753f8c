#!/bin/sh
# Installs what the build and the tests need on Debian 12: the mingw-w64
# cross compilers (posix thread model), clang, lld and llvm (the second
# compiler and llvm-rc), Wine, Xvfb, GoogleTest's sources, CMake,
# wixl/msitools for the installer, osslsigncode and openssl for signing a
# release, Node.js; Wine's 32-bit half too, where this machine can run 32-bit
# programs and Debian can install it. Does nothing when everything is there
# already. Changes the machine: installs packages with apt-get, through sudo
# when not run as root, and adds dpkg's i386 architecture while it tries
# wine32 (taken away again when wine32 cannot be installed). From the npm
# registry, into build/powershell-parser only (nothing global): the
# PowerShell parser of the fleet scripts' test (web-tree-sitter and
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

# Wine's 32-bit half, for the 32-bit tests only. Where the machine runs no
# 32-bit programs it is not even tried: Wine's launcher prefers its 32-bit
# loader whenever wine32 is installed, so there it would break every Wine call.
marker="$root/build/wine32-not-installable"
installed wine32:i386 && exit 0
sh "$root/tools/runs-i386.sh" || exit 0
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
