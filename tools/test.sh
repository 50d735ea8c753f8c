#!/bin/sh
# Runs every test: installs what is missing, builds both architectures,
# then runs ctest (unit, integration, end-to-end, scenarios) through Wine
# under a virtual X server, in a throw-away Wine prefix.
set -e
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh
cd build/x86_64
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j 2 "$@"
