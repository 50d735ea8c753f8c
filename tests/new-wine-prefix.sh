#!/bin/sh
# Boots a fresh, throw-away Wine prefix for one test run: WINEPREFIX, for
# the programs of a 64-bit (the default) or a 32-bit build. How it is booted
# depends on how this machine runs 32-bit programs (tools/wine-prefix.sh).
#   new-wine-prefix.sh [64|32]
set -e
: "${WINEPREFIX:?WINEPREFIX must name the throw-away prefix}"
sh "$(dirname "$0")/../tools/wine-prefix.sh" new "${1:-64}"
# Wine's services and desktop, started by the first program of each test
# that finds none, take that program's standard handles with them: a test
# may then show the run time of the tests beside it. Harmless, and the
# installer tests need the server to settle between their steps.
