#!/bin/sh
# Runs every test and says how long each phase took:
#   packages  tools/install-deps.sh
#   build     tools/build.sh: both GCC builds, then both clang builds
#             (warnings as errors)
#   tests     ctest through Wine under one virtual X server, each build in
#             its own throw-away Wine prefix: build/x86_64 runs the unit,
#             integration, end-to-end, scenario and installer tests and the
#             llvm-rc check of the resources; build/i686 the same but the
#             installer's, against the shipped 32-bit exe; the clang builds
#             their unit and starter tests. The 32-bit builds' tests run
#             where Wine runs a 32-bit exe (tools/wine-runs-32bit.sh);
#             otherwise a NOT RUN line says which of the kernel or wine32
#             was missing.
#   tools/test.sh [--quick] [CTEST-ARGS...]
# CTEST-ARGS go to each GCC build's ctest run and, when given, to the clang
# builds' too: tools/test.sh -R unit. --quick is the developer's loop: the
# 64-bit GCC build alone, built and tested (tools/test.sh --quick -R unit).
set -e
cd "$(dirname "$0")/.."
quick=""
if [ "${1:-}" = --quick ]; then quick=yes; shift; fi

phase_start=0
phase() { phase_start=$(date +%s); echo "== $1" >&2; }
took() {
  s=$(( $(date +%s) - phase_start ))
  echo "== $1 took $(( s / 60 )) min $(( s % 60 )) s" >&2
}
total_start=$(date +%s)

phase "packages (tools/install-deps.sh)"
tools/install-deps.sh
took packages

if [ -n "$quick" ]; then
  gcc_builds=x86_64
  clang_builds=""
else
  gcc_builds="i686 x86_64"
  clang_builds="clang-x86_64 clang-i686"
fi
phase "build ($gcc_builds $clang_builds)"
tools/build.sh $gcc_builds $clang_builds
took build

skipped=""
if [ -z "$quick" ]; then
  if reason=$(sh tools/wine-runs-32bit.sh build/i686/bin/lumarest-check.exe); then
    gcc_builds="i686 x86_64"
  else
    gcc_builds=x86_64
    clang_builds=clang-x86_64
    skipped="the tests of build/i686 and build/clang-i686 did not run: $reason"
    echo "NOT RUN  $skipped"
  fi
fi

phase "tests"
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
  status=0
  gcc_builds=$1; clang_builds=$2; shift 2
  for build in $gcc_builds; do
    echo "== ctest in build/$build"
    (cd "build/$build" && ctest --output-on-failure -j 2 "$@") || status=1
  done
  [ $# -gt 0 ] || set -- -R "^(unit|starter)\$"
  for build in $clang_builds; do
    echo "== ctest in build/$build $*"
    (cd "build/$build" && ctest --output-on-failure -j 2 "$@") || status=1
  done
  exit $status' sh "$gcc_builds" "$clang_builds" "$@" || status=1
took tests
[ -z "$skipped" ] || echo "NOT RUN  $skipped"
s=$(( $(date +%s) - total_start ))
echo "== tools/test.sh took $(( s / 60 )) min $(( s % 60 )) s in all" >&2
exit $status
