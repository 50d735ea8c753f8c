#!/bin/sh
# Installs what the build and the tests need on Debian 12: the mingw-w64
# cross compilers (posix thread model), clang, lld and llvm (the second
# compiler and llvm-rc), Wine, Xvfb, GoogleTest's sources, CMake,
# wixl/msitools for the installer, osslsigncode and openssl for signing a
# release; Wine's 32-bit half too, where this machine can run 32-bit
# programs. Does nothing when everything is there already. Changes the
# machine: adds the i386 architecture to dpkg (for wine32) and installs
# packages with apt-get, through sudo when not run as root.
set -e

packages="cmake make g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine64
xvfb xauth googletest wixl msitools clang-14 lld-14 llvm-14 osslsigncode openssl"

# Some virtual machines run no 32-bit x86 programs at all. Wine's launcher
# prefers its 32-bit loader whenever wine32 is installed, so there wine32
# would break every Wine call; without it the 64-bit loader runs, and only
# 32-bit Windows programs cannot.
if sh "$(dirname "$0")/runs-i386.sh"; then packages="$packages wine32:i386"; fi

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
echo "installing:$missing"
case "$missing" in
  *:i386*) $sudo dpkg --add-architecture i386 ;;  # wine32 comes from the i386 half of the archive
esac
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
