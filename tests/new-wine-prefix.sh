#!/bin/sh
# Boots a fresh, throw-away Wine prefix for one test run.
set -e
: "${WINEPREFIX:?WINEPREFIX must name the throw-away prefix}"
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
wineboot -i
wineserver -w
