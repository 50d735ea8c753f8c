#!/bin/sh
# The controller's main job on Linux: the simulated laptop plays a scenario
# (by default sim/scenarios/typical-day.txt) through the real controller,
# under Wine and a virtual X server, and prints the timeline.
#   tools/run.sh [--calls] [SCENARIO]
# The first run installs the packages and builds the simulated laptop (about
# a minute with the packages there, a few more to download them); that
# progress goes to stderr, the timeline alone to stdout.
set -e
cd "$(dirname "$0")/.."
start=$(date +%s)
tools/install-deps.sh >&2
tools/build.sh --target lumarest-sim x86_64 >&2
export WINEPREFIX="${LUMAREST_WINEPREFIX:-$PWD/build/wineprefix-run}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The simulated laptop is a 64-bit exe: Wine's 64-bit loader, directly.
PATH="$PWD/tools/wine-bin:$PATH"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== making the Wine prefix $WINEPREFIX (once)" >&2
  tools/wine-prefix.sh new 64
fi
echo "== ready after $(( $(date +%s) - start )) s; the simulated laptop runs" >&2
exec xvfb-run -a wine build/x86_64/bin/lumarest-sim.exe "$@"
