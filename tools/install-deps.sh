#!/bin/sh
# Installs what the build and the tests need on Debian 12: the mingw-w64
# cross compilers (posix thread model), Wine with its 32-bit half, Xvfb,
# GoogleTest's sources, CMake, and wixl/msitools for the installer.
# Does nothing when everything is there already.
set -e

packages="cmake make g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine64 wine32:i386
xvfb xauth googletest wixl msitools"

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
echo "installing:$missing"
# wine32 comes from the i386 half of the archive.
$sudo dpkg --add-architecture i386
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
