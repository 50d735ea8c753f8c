#!/bin/sh
# Builds a release from a clean tree and writes dist/:
#   lumarest-VERSION.msi   the package
#   lumarest.exe           the 32-bit controller the package holds
#   lumarest-check.exe     the 32-bit diagnostic the package holds
#   lumarest-starter.dll   the package's action that starts the controllers
#                          after an install (in its Binary table)
#   SHA256SUMS             sha256sum's format: sha256sum -c SHA256SUMS
# With LUMAREST_SIGN_PKCS12 naming a PKCS#12 file (its password in
# LUMAREST_SIGN_PASSWORD, a time-stamp server in LUMAREST_SIGN_TIMESTAMP_URL
# if wanted) both exes and the DLL are signed (Authenticode, SHA-256,
# osslsigncode) before they go into the package, and then the package is
# signed too.
#
#   tools/release.sh [--dirty] [--out DIR] [--build DIR] [--jobs N]
#     --dirty      build even though the tree has uncommitted changes
#     --out DIR    write there instead of dist/
#     --build DIR  build there instead of build/release (emptied first)
#
# Everything is made in the build folder and moves into dist/ only once it
# is complete: a failed run (a wrong password included) leaves dist/ as it
# was. The exes and the DLL are byte-identical from one run to the next on
# the same commit; see the README's "Release" section for what is not.
set -eu
cd "$(dirname "$0")/.."
top=$PWD

usage() {
  echo "usage: tools/release.sh [--dirty] [--out DIR] [--build DIR] [--jobs N]"
}
fail() {
  echo "release: $*" >&2
  exit 1
}

dirty=no
out=$top/dist
build=$top/build/release
jobs=$(nproc 2>/dev/null || echo 2)
while [ $# -gt 0 ]; do
  case $1 in
    --dirty) dirty=yes ;;
    --out) [ $# -ge 2 ] || { usage >&2; exit 2; }; out=$2; shift ;;
    --build) [ $# -ge 2 ] || { usage >&2; exit 2; }; build=$2; shift ;;
    --jobs) [ $# -ge 2 ] || { usage >&2; exit 2; }; jobs=$2; shift ;;
    -h|--help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
  shift
done
case $out in /*) ;; *) out=$top/$out ;; esac
case $build in /*) ;; *) build=$top/$build ;; esac
case $out in /|"$top"|"$top"/|"$build"|"$build"/*) fail "--out $out would be emptied or inside the build folder" ;; esac
case $build in /|"$top"|"$top"/) fail "--build $build would empty the tree" ;; esac

# A release is a commit: what is built must be what anyone can check out.
changes=$(git status --porcelain --untracked-files=normal)
if [ -n "$changes" ]; then
  if [ "$dirty" = no ]; then
    echo "release: the tree has uncommitted changes:" >&2
    echo "$changes" >&2
    fail "commit them first, or run with --dirty (the result is then not the commit's)"
  fi
  echo "release: --dirty: building the tree as it is, uncommitted changes included"
fi
commit=$(git rev-parse HEAD)
# Dates that tools write into what they make come from the commit.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct HEAD)
export SOURCE_DATE_EPOCH
version=$(sed -n 's/^#define LUMAREST_VERSION_TEXT "\(.*\)"$/\1/p' app/resources/version.h)
[ -n "$version" ] || fail "no LUMAREST_VERSION_TEXT in app/resources/version.h"

tools/install-deps.sh

# The signing set-up is checked before anything is built, so that a wrong
# password costs seconds, not a build.
sign=no
if [ -n "${LUMAREST_SIGN_PKCS12:-}" ]; then
  p12=$LUMAREST_SIGN_PKCS12
  [ -f "$p12" ] && [ -r "$p12" ] || fail "LUMAREST_SIGN_PKCS12: cannot read the file $p12"
  command -v osslsigncode >/dev/null || fail "signing needs osslsigncode (Debian package osslsigncode)"
  LUMAREST_SIGN_PASSWORD=${LUMAREST_SIGN_PASSWORD:-}
  export LUMAREST_SIGN_PASSWORD
  # OpenSSL 3 reads PKCS#12 files made with older ciphers (RC2, as older
  # Windows exports use) only through its legacy provider.
  if ! openssl pkcs12 -in "$p12" -passin env:LUMAREST_SIGN_PASSWORD -noout 2>/dev/null &&
     ! openssl pkcs12 -legacy -in "$p12" -passin env:LUMAREST_SIGN_PASSWORD -noout 2>/dev/null; then
    fail "LUMAREST_SIGN_PKCS12: cannot open $p12 with the password in LUMAREST_SIGN_PASSWORD (wrong password, or not a PKCS#12 file); nothing was built or signed"
  fi
  sign=yes
  echo "release: signing with $p12 (Authenticode, SHA-256${LUMAREST_SIGN_TIMESTAMP_URL:+, time stamp from $LUMAREST_SIGN_TIMESTAMP_URL})"
else
  echo "release: LUMAREST_SIGN_PKCS12 is not set: nothing is signed"
fi

rm -rf "$build"
mkdir -p "$build"
stage=$build/dist
mkdir "$stage"
passfile=$build/sign-password
trap 'rm -f "$passfile"' EXIT

# Reproducible binaries: no link time stamp in the PE header, and no path of
# this machine (source or build folder) in anything the compiler records.
maps="-ffile-prefix-map=$top=. -ffile-prefix-map=$build=build"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=Release -DLUMAREST_BUILD_TESTS=OFF \
  "-DCMAKE_C_FLAGS=$maps" "-DCMAKE_CXX_FLAGS=$maps" \
  "-DCMAKE_EXE_LINKER_FLAGS=-Wl,--no-insert-timestamp" \
  "-DCMAKE_SHARED_LINKER_FLAGS=-Wl,--no-insert-timestamp" >/dev/null
cmake --build "$build" -j "$jobs" --target lumarest lumarest-check lumarest-starter
cp "$build/bin/lumarest.exe" "$build/bin/lumarest-check.exe" "$build/bin/lumarest-starter.dll" "$stage/"

# sign FILE DESCRIPTION: signs FILE in place (through a copy beside it).
# The password goes through a file only this user can read, not the
# command line; -ts asks an RFC 3161 time-stamp server.
sign() {
  rm -f "$1.signed"
  osslsigncode sign -pkcs12 "$p12" -readpass "$passfile" -h sha256 -n "$2" \
    ${LUMAREST_SIGN_TIMESTAMP_URL:+-ts "$LUMAREST_SIGN_TIMESTAMP_URL"} \
    -in "$1" -out "$1.signed" >/dev/null ||
    fail "signing $(basename "$1") failed (see osslsigncode's message above); $out is unchanged"
  mv "$1.signed" "$1"
}
if [ "$sign" = yes ]; then
  (umask 077 && printf '%s' "$LUMAREST_SIGN_PASSWORD" > "$passfile")
  sign "$stage/lumarest.exe" "Lumarest"
  sign "$stage/lumarest-check.exe" "Lumarest check"
  sign "$stage/lumarest-starter.dll" "Lumarest starter"
fi

msi=lumarest-$version.msi
cmake -DWIXL="$(command -v wixl)" -DMSIBUILD="$(command -v msibuild)" \
  -DWXS="$top/installer/lumarest.wxs" -DEXE="$stage/lumarest.exe" \
  -DCHECK_EXE="$stage/lumarest-check.exe" -DSTARTER_DLL="$stage/lumarest-starter.dll" -DVERSION="$version" \
  -DSTAGE="$build/package" -DOUTPUT="$stage/$msi" -DSOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH" \
  -P installer/build-package.cmake
[ "$sign" = yes ] && sign "$stage/$msi" "Lumarest $version"
rm -f "$passfile"

# The fleet scripts the administrator's page describes, as they are in the
# tree (PowerShell reads them as UTF-8 text; they are not signed here).
mkdir "$stage/fleet"
cp installer/fleet/*.ps1 "$stage/fleet/"

(cd "$stage" && sha256sum "$msi" lumarest.exe lumarest-check.exe lumarest-starter.dll fleet/*.ps1 > SHA256SUMS)

# Into place: the old dist/ goes only when the new one is complete.
rm -rf "$out.partial"
mv "$stage" "$out.partial"
rm -rf "$out"
mv "$out.partial" "$out"
echo "release: $version from $commit$( [ -n "$changes" ] && echo ' with uncommitted changes') in $out:"
(cd "$out" && cat SHA256SUMS)
[ "$sign" = yes ] || echo "release: not signed"
