# Sourced by the scripts that run Wine (from the top of the source tree).
# Sets LUMAREST_WINE32 to "yes" when Wine's 32-bit half can start programs
# here, else to "no". Some virtual machines run a kernel without 32-bit
# support: Wine's 32-bit loader then fails with "Exec format error", and
# Debian's `wine` still picks it whenever wine32 is installed, so not even a
# 64-bit program would start. On such a machine the 64-bit loader is put
# first on PATH (tools/wine64) and only 64-bit programs can be run.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  LUMAREST_WINE32=yes
else
  LUMAREST_WINE32=no
  PATH="$PWD/tools/wine64:$PATH"
  export PATH
fi
