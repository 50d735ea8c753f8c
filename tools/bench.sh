#!/bin/sh
# The benchmark: prints what each handling costs beyond its waits, the
# controller's start-up beside an empty program's, the CPU time the idle
# controller uses over 30 s, lumarest-check's run time beside the WMI query
# alone, and the exes' sizes and imports.
#   tools/bench.sh [--quick]     (--quick: fewer runs, 5 s of idling)
set -e
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh >/dev/null
idle=30; runs="--runs 21 --startups 11"; checks=7
[ "${1:-}" = "--quick" ] && { idle=5; runs="--runs 5 --startups 3"; checks=3; }

export WINEPREFIX="$PWD/build/wineprefix-bench" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Everything measured is a 64-bit exe: Wine's 64-bit loader, directly.
PATH="$PWD/tools/wine-bin:$PATH"
if [ ! -f "$WINEPREFIX/system.reg" ]; then tools/wine-prefix.sh new 64; fi

echo "Machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1); $(wine --version)"
echo
# shellcheck disable=SC2086
xvfb-run -a sh -c "wine build/x86_64/bin/lumarest-bench.exe $runs 2>/dev/null" | tr -d '\r'

# CPU time of the idle controller: started, left to finish its start-up,
# then watched for $idle seconds through /proc (Wine cannot tell another
# process's times).
xvfb-run -a sh -c '
  wine build/x86_64/bin/lumarest.exe >/dev/null 2>&1 &
  sleep 8
  pid=$(pgrep -x lumarest.exe | head -n 1)
  if [ -z "$pid" ]; then echo "  the controller did not start"; exit 0; fi
  ticks() { awk "{ print \$14 + \$15 }" /proc/$pid/stat; }
  hz=$(getconf CLK_TCK)
  before=$(ticks); sleep '"$idle"'; after=$(ticks)
  echo
  echo "Idle controller (x86_64 build under Wine), '"$idle"' s after its start-up"
  echo "  CPU time used: $(( (after - before) * 1000 / hz )) ms (clock ticks of 1/$hz s: $before -> $after)"
  wineserver -k
'

# lumarest-check beside the controller's WMI query alone, alternating, in
# one warm wineserver (the first WMI query of a prefix costs far more).
xvfb-run -a sh -c '
  cd build/x86_64/bin
  wineserver -p; wine lumarest-wmi-query.exe >/dev/null 2>&1
  ms() { a=$(date +%s%N); wine "$@" >/dev/null 2>&1; b=$(date +%s%N); echo $(( (b - a) / 1000000 )); }
  median() { tr " " "\n" | sort -n | sed -n "$(( ('"$checks"' + 1) / 2 ))p"; }
  q=""; c=""
  for i in $(seq '"$checks"'); do q="$q $(ms lumarest-wmi-query.exe)"; c="$c $(ms lumarest-check.exe --json)"; done
  echo
  echo "lumarest-check under Wine (median of '"$checks"' runs each, alternating)"
  echo "  the WMI query alone (DiscoverRefreshRange):   $(echo $q | median) ms   ($q )"
  echo "  lumarest-check --json:                         $(echo $c | median) ms   ($c )"
  wineserver -k
'

echo
echo "Executables"
for exe in build/i686/bin/lumarest.exe build/x86_64/bin/lumarest.exe build/i686/bin/lumarest-check.exe \
  build/x86_64/bin/lumarest-check.exe; do
  arch=${exe#build/}; arch=${arch%%/*}
  dlls=$($arch-w64-mingw32-objdump -p "$exe" | sed -n "s/^[[:space:]]*DLL Name: //p" | tr "\n" " ")
  printf "  %-36s %8d bytes  imports: %s\n" "$exe" "$(stat -c %s "$exe")" "$dlls"
done
