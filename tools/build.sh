#!/bin/sh
# Builds the controller twice with mingw-w64 GCC, each with its tests, the
# test double and the simulated laptop: the 32-bit release build (build/i686,
# the exe and the package the installer ships) and the 64-bit build
# (build/x86_64, which also runs the installer tests on the release build's
# package).
set -e
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build/i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=Release -DLUMAREST_BUILD_TESTS=ON >/dev/null
cmake --build build/i686 -j "$jobs"

cmake -S . -B build/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DLUMAREST_BUILD_TESTS=ON -DLUMAREST_RELEASE_DIR="$PWD/build/i686" >/dev/null
cmake --build build/x86_64 -j "$jobs"
