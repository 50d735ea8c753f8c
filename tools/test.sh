#!/bin/sh
# Runs every test: installs what is missing, builds both architectures with
# GCC (tools/build.sh) and again with clang, warnings as errors
# (build/clang-x86_64 with the tests, build/clang-i686 without), then runs
# ctest through Wine under one virtual X server, each build in its own
# throw-away Wine prefix: in build/x86_64 the unit, integration, end-to-end,
# scenario and installer tests and the llvm-rc check of the resources; in
# build/i686 the same tests but the installer's, against the shipped 32-bit
# exe, where this machine runs 32-bit programs. Arguments go to each ctest
# run: tools/test.sh -R unit.
set -e
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh
jobs=$(nproc 2>/dev/null || echo 2)

for arch in x86_64 i686; do
  [ "$arch" = x86_64 ] && tests=ON || tests=OFF
  cmake -S . -B "build/clang-$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/clang-mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DLUMAREST_BUILD_TESTS=$tests -DLUMAREST_WARNINGS_AS_ERRORS=ON >/dev/null
  cmake --build "build/clang-$arch" -j "$jobs"
done

builds=x86_64
if sh tools/runs-i386.sh; then
  builds="x86_64 i686"
else
  skipped="the tests of build/i686 did not run: this machine runs no 32-bit programs, so Wine cannot run the 32-bit exe (tools/runs-i386.sh)"
  echo "NOT RUN  $skipped"
fi

status=0
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
  status=0
  builds=$1; shift
  for build in $builds; do
    echo "== ctest in build/$build"
    (cd "build/$build" && ctest --output-on-failure -j 2 "$@") || status=1
  done
  exit $status' sh "$builds" "$@" || status=1
[ -z "${skipped:-}" ] || echo "NOT RUN  $skipped"
exit $status
