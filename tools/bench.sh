#!/bin/sh
# The benchmark: prints what each handling costs beyond its waits, the
# controller's start-up beside an empty program's, the CPU time the idle
# controller uses over 30 s, and the exes' sizes and imports.
#   tools/bench.sh [--quick]     (--quick: fewer runs, 5 s of idling)
set -e
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh >/dev/null
idle=30; runs="--runs 21 --startups 11"
[ "${1:-}" = "--quick" ] && { idle=5; runs="--runs 5 --startups 3"; }

export WINEPREFIX="$PWD/build/wineprefix-bench" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then wineboot -i >/dev/null 2>&1; wineserver -w; fi

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

echo
echo "Executables"
for arch in i686 x86_64; do
  exe=build/$arch/bin/lumarest.exe
  dlls=$($arch-w64-mingw32-objdump -p "$exe" | sed -n "s/^[[:space:]]*DLL Name: //p" | tr "\n" " ")
  printf "  %-28s %8d bytes  imports: %s\n" "$exe" "$(stat -c %s "$exe")" "$dlls"
done
