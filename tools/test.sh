#!/bin/sh
# Runs every test and says how long each phase took:
#   packages  tools/install-deps.sh
#   build     tools/build.sh: both GCC builds, then both clang builds
#             (warnings as errors)
#   tests     ctest through Wine under one virtual X server, each build in
#             its own throw-away Wine prefix: build/x86_64 runs the unit,
#             integration, end-to-end, smoke, scenario and installer tests,
#             the release script's and the llvm-rc check of the resources;
#             build/i686 the same but the installer's and the release
#             script's, against the shipped 32-bit exes; the clang builds
#             their unit and starter tests.
# How much of the 32-bit builds runs depends on how this machine runs
# 32-bit programs (tools/i386-mode.sh):
#   native    everything above;
#   emulated  (qemu through binfmt_misc, about 50 s per 32-bit process
#             start) only build/i686's tests labelled "emulated": the unit
#             and starter tests, the smoke test of the shipped exes and the
#             checks that start no Windows program; none of build/clang-i686
#             (built all the same); an EMULATED line at the start and at the
#             end says what ran and what did not;
#   none      nothing; a NOT RUN line at the start and at the end says
#             which of the kernel or wine32 was missing.
#   tools/test.sh [--quick] [CTEST-ARGS...]
# CTEST-ARGS go to each GCC build's ctest run and, when given, to the clang
# builds' too: tools/test.sh -R unit. --quick is the developer's loop: the
# 64-bit GCC build alone, built and tested, without the tests that need the
# 32-bit release build it does not make (label release_build: the installer
# tests, the release script's, the 32-bit exes' imports).
set -e
cd "$(dirname "$0")/.."
# Every Wine program the tests start by name goes through the launcher.
PATH="$PWD/tools/wine-bin:$PATH"
export PATH
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

# The tests each build's ctest runs, as ctest options: "-LE release_build"
# in the quick loop, "-L emulated" for the 32-bit builds under emulation.
filter_x86_64=""; filter_i686=""
note=""
if [ -n "$quick" ]; then
  filter_x86_64="-LE release_build"
  left=$(cd build/x86_64 && ctest -N -L release_build "$@" | sed -n 's/^ *Test *#[0-9]*: //p' |
    grep -v -x -e wine_prefix -e wine_shutdown | paste -sd' ' -)
  [ -z "$left" ] || note="QUICK    build/x86_64 alone; not run, as they need the 32-bit release build: $left"
else
  mode=$(sh tools/i386-mode.sh)
  if reason=$(sh tools/wine-runs-32bit.sh build/i686/bin/lumarest-check.exe); then
    if [ "$mode" = emulated ]; then
      filter_i686="-L emulated"
      # names BUILD CTEST-ARGS...: the tests ctest would run, scenario_* and
      # sim_exit_* each as one name, without the prefix's fixtures (which
      # every selection brings along).
      names() {
        (cd "build/$1" && shift && ctest -N "$@") | sed -n 's/^ *Test *#[0-9]*: //p' |
          grep -v -x -e wine_prefix -e wine_shutdown |
          sed -e 's/^scenario_.*/scenario_*/' -e 's/^sim_exit_.*/sim_exit_*/' | uniq | paste -sd' ' -
      }
      # The shipped build's tests are the ones worth each minute; the clang
      # build's 32-bit code is the same source, and is built all the same.
      clang_builds=clang-x86_64
      note="EMULATED 32-bit programs run here only under qemu (binfmt_misc), about 50 s per 32-bit Wine process start, so of the 32-bit builds only build/i686 runs, and only its tests labelled \"emulated\": $(names i686 -L emulated "$@"). Not run: build/i686's $(names i686 -LE emulated "$@") (build/x86_64 runs all of these, and the installer tests carry its 64-bit exes); build/clang-i686's unit and starter tests (build/clang-x86_64 runs them)."
    fi
  else
    gcc_builds=x86_64
    clang_builds=clang-x86_64
    note="NOT RUN  the tests of build/i686 and build/clang-i686 did not run: $reason"
  fi
fi
[ -z "$note" ] || echo "$note"

phase "tests"
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
  status=0
  gcc_builds=$1; clang_builds=$2; filter_x86_64=$3; filter_i686=$4; shift 4
  filter() { case $1 in *i686) echo "$filter_i686" ;; *) echo "$filter_x86_64" ;; esac; }
  for build in $gcc_builds; do
    echo "== ctest in build/$build $(filter $build) $*"
    (cd "build/$build" && ctest --output-on-failure -j 2 $(filter $build) "$@") || status=1
  done
  [ $# -gt 0 ] || set -- -R "^(unit|starter)\$"
  for build in $clang_builds; do
    echo "== ctest in build/$build $(filter $build) $*"
    (cd "build/$build" && ctest --output-on-failure -j 2 $(filter $build) "$@") || status=1
  done
  exit $status' sh "$gcc_builds" "$clang_builds" "$filter_x86_64" "$filter_i686" "$@" || status=1
took tests
[ -z "$note" ] || echo "$note"
s=$(( $(date +%s) - total_start ))
echo "== tools/test.sh took $(( s / 60 )) min $(( s % 60 )) s in all" >&2
exit $status
