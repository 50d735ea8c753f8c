#!/bin/sh
# The controller's main job on Linux: the simulated laptop plays a scenario
# (by default sim/scenarios/typical-day.txt) through the real controller,
# under Wine and a virtual X server, and prints the timeline.
#   tools/run.sh [--calls] [SCENARIO]
set -e
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh >/dev/null
export WINEPREFIX="${LUMAREST_WINEPREFIX:-$PWD/build/wineprefix-run}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi
exec xvfb-run -a wine build/x86_64/bin/lumarest-sim.exe "$@"
