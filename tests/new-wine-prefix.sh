#!/bin/sh
# Boots a fresh, throw-away Wine prefix for one test run.
set -e
: "${WINEPREFIX:?WINEPREFIX must name the throw-away prefix}"
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
wineboot -i
wineserver -w
# Wine's services and desktop, started by the first program of each test
# that finds none, take that program's standard handles with them: a test
# may then show the run time of the tests beside it. Harmless, and the
# installer tests need the server to settle between their steps.
