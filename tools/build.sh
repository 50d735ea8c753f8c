#!/bin/sh
# Builds the controller, each build with its tests, the test double and the
# simulated laptop, and says how long each took:
#   i686          mingw-w64 GCC, 32-bit: the release build (the exe and the
#                 package the installer ships)
#   x86_64        mingw-w64 GCC, 64-bit (also runs the installer tests on the
#                 release build's package)
#   clang-x86_64  clang and lld, 64-bit, warnings as errors
#   clang-i686    clang and lld, 32-bit, warnings as errors
#   tools/build.sh [--target TARGET] [BUILD...]
# Without BUILD: i686 and x86_64. --target builds one target only (for
# example lumarest-sim, or lumarest_unit_tests) instead of everything.
set -e
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
target=""
if [ "${1:-}" = --target ]; then
  [ -n "${2:-}" ] || { echo "tools/build.sh: --target needs a target name" >&2; exit 2; }
  target="--target $2"
  shift 2
fi
[ $# -gt 0 ] || set -- i686 x86_64

for build in "$@"; do
  case "$build" in
    i686) configure="-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake" ;;
    x86_64) configure="-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DLUMAREST_RELEASE_DIR=$PWD/build/i686" ;;
    clang-x86_64|clang-i686)
      configure="-DCMAKE_TOOLCHAIN_FILE=cmake/$(echo "$build" | sed 's/^clang-/clang-mingw-/').cmake -DLUMAREST_WARNINGS_AS_ERRORS=ON" ;;
    *) echo "tools/build.sh: no build named $build (i686, x86_64, clang-x86_64, clang-i686)" >&2; exit 2 ;;
  esac
  start=$(date +%s)
  echo "== building build/$build${target:+ (${target#--target })}" >&2
  cmake -S . -B "build/$build" $configure -DCMAKE_BUILD_TYPE=Release -DLUMAREST_BUILD_TESTS=ON >/dev/null
  cmake --build "build/$build" -j "$jobs" $target
  echo "== build/$build built in $(( $(date +%s) - start )) s" >&2
done
