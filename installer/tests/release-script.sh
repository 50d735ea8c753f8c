#!/bin/sh
# tools/release.sh end to end, in folders of its own (the tree's dist/ and
# build/ are left alone): a tree with changes is refused; an unsigned run and
# a run signed with a throw-away certificate each write a dist/ that
# sha256sum -c accepts, whose package holds the exes and the DLL beside it;
# the two runs' binaries are byte for byte the same once the signature is
# taken off; the
# signatures verify; a wrong password, an unreadable file and a signing that
# fails after the build each end the script with a message and leave the
# dist/ there was as it was.
#   release-script.sh SOURCE_DIR
top=$1
release=$top/tools/release.sh
. "$(dirname "$0")/report.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/lumarest-release.XXXXXX")
has() { grep -qF -- "$2" "$1"; }
version=$(sed -n 's/^#define LUMAREST_VERSION_TEXT "\(.*\)"$/\1/p' "$top/app/resources/version.h")
msi=lumarest-$version.msi
unset LUMAREST_SIGN_PKCS12 LUMAREST_SIGN_PASSWORD LUMAREST_SIGN_TIMESTAMP_URL

# run NAME [VARIABLE=VALUE]...: tools/release.sh --dirty into $work/NAME
# (dist) and $work/build-NAME; its output in $work/NAME.out, status in $rc.
# One compiler job: the other tests run beside this one.
run() {
  name=$1
  shift
  env "$@" "$release" --dirty --jobs 1 --out "$work/$name" --build "$work/build-$name" > "$work/$name.out" 2>&1
  rc=$?
}
# a_dist NAME: what a complete dist/ is.
a_dist() {
  d=$work/$1
  check "$1: exit code 0" test "$rc" -eq 0
  [ "$rc" -eq 0 ] || tail -n 20 "$work/$1.out"
  check "$1: dist holds the package, both exes, the DLL, the fleet scripts and SHA256SUMS, nothing else" \
    test "$(ls "$d" 2>/dev/null | LC_ALL=C sort | paste -sd' ')" = "SHA256SUMS fleet $msi lumarest-check.exe lumarest-starter.dll lumarest.exe"
  check "$1: dist/fleet holds the scripts of installer/fleet, byte for byte, and nothing else" \
    diff -r "$top/installer/fleet" "$d/fleet"
  check "$1: sha256sum -c SHA256SUMS passes, for the four files and every fleet script" \
    sh -c "cd '$d' && sha256sum -c --strict --quiet SHA256SUMS && test \$(wc -l < SHA256SUMS) -eq \$((4 + \$(ls fleet | wc -l)))"
  mkdir -p "$work/x-$1"
  (cd "$work/x-$1" && msiextract "$d/$msi" > /dev/null)
  for exe in lumarest.exe lumarest-check.exe; do
    check "$1: the package holds dist's $exe" cmp -s "$d/$exe" "$work/x-$1/Kelvane/Lumarest/$exe"
  done
  (cd "$work/x-$1" && msiinfo export "$d/$msi" Binary > /dev/null)
  check "$1: the package's Binary table holds dist's lumarest-starter.dll" \
    cmp -s "$d/lumarest-starter.dll" "$work/x-$1/Binary/Binary.LumarestStarter"
  check "$1: the exes and the DLL are the 32-bit ones" \
    test "$(i686-w64-mingw32-objdump -f "$d/lumarest.exe" "$d/lumarest-check.exe" "$d/lumarest-starter.dll" | grep -c 'format pei-i386')" -eq 3
}

# --- Refused: a tree with uncommitted changes (a repository of its own,
# holding the script).
repo=$work/repo
mkdir -p "$repo/tools"
cp "$release" "$repo/tools/"
git -C "$repo" init -q
git -C "$repo" add tools
git -C "$repo" -c user.name=test -c user.email=test@example.invalid commit -q -m test
echo change > "$repo/untracked.txt"
"$repo/tools/release.sh" > "$work/refused.out" 2>&1
refused_rc=$?
check "a tree with changes is refused (exit code 1)" test "$refused_rc" -eq 1
check "... saying what is uncommitted and about --dirty" \
  sh -c "grep -qF 'untracked.txt' '$work/refused.out' && grep -qF -- '--dirty' '$work/refused.out'"
check "... before writing a dist/ or a build folder" test ! -e "$repo/dist" -a ! -e "$repo/build"

# --- Unsigned.
run unsigned
a_dist unsigned
check "unsigned: the script says nothing is signed" has "$work/unsigned.out" "nothing is signed"
for exe in lumarest.exe lumarest-check.exe lumarest-starter.dll; do
  check "unsigned: $exe carries no signature" sh -c "! osslsigncode verify -in '$work/unsigned/$exe' > /dev/null 2>&1"
  check "unsigned: $exe has no link time stamp" \
    sh -c "i686-w64-mingw32-objdump -p '$work/unsigned/$exe' | grep -q '^Time/Date.*1970'"
  check "unsigned: $exe names no folder of this machine (source, build)" \
    sh -c "! strings -a '$work/unsigned/$exe' | grep -q -e '$top' -e '$work'"
done

# --- Signed, with a certificate made here.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj "/CN=Lumarest release test" -addext "extendedKeyUsage=codeSigning" > /dev/null 2>&1
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/test.p12" \
  -passout pass:release-test > /dev/null 2>&1
[ -s "$work/test.p12" ] || fail "openssl made no PKCS#12 file"
run signed LUMAREST_SIGN_PKCS12="$work/test.p12" LUMAREST_SIGN_PASSWORD=release-test
a_dist signed
for file in lumarest.exe lumarest-check.exe lumarest-starter.dll "$msi"; do
  check "signed: $file verifies against the test certificate (osslsigncode verify)" \
    sh -c "osslsigncode verify -CAfile '$work/cert.pem' -in '$work/signed/$file' > '$work/verify.out' 2>&1"
  check "signed: ... with SHA-256" has "$work/verify.out" "SHA256"
done
# Two runs from the same tree, in other folders: the same exes and DLL.
for exe in lumarest.exe lumarest-check.exe lumarest-starter.dll; do
  osslsigncode remove-signature -in "$work/signed/$exe" -out "$work/bare-$exe" > /dev/null 2>&1
  check "the two runs' $exe are byte-identical (signature taken off the signed one)" \
    cmp "$work/unsigned/$exe" "$work/bare-$exe"
done

# --- Failures leave the dist/ that is there as it was.
cp -r "$work/signed" "$work/signed.before"
unchanged() { diff -r "$work/signed.before" "$work/signed" > /dev/null; }
run signed LUMAREST_SIGN_PKCS12="$work/test.p12" LUMAREST_SIGN_PASSWORD=wrong
check "a wrong password ends the script (exit code 1)" test "$rc" -eq 1
check "... saying so" has "$work/signed.out" "wrong password"
check "... before anything is built" sh -c "! grep -q 'Built target' '$work/signed.out'"
check "... and dist/ is as it was" unchanged
run signed LUMAREST_SIGN_PKCS12="$work/no-such.p12"
check "an unreadable PKCS#12 file ends the script (exit code 1), saying so" \
  sh -c "test $rc -eq 1 && grep -qF 'cannot read the file $work/no-such.p12' '$work/signed.out'"
check "... and dist/ is as it was" unchanged
# Signing that fails once everything is built: a time-stamp server that
# refuses the connection.
run signed LUMAREST_SIGN_PKCS12="$work/test.p12" LUMAREST_SIGN_PASSWORD=release-test \
  LUMAREST_SIGN_TIMESTAMP_URL=http://127.0.0.1:9/
check "a failed signing after the build ends the script (exit code 1), naming the file" \
  sh -c "test $rc -eq 1 && grep -qF 'signing lumarest.exe failed' '$work/signed.out'"
check "... and dist/ is as it was" unchanged
check "... and no password file is left in the build folder" test ! -e "$work/build-signed/sign-password"

echo "$passed passed, $failed failed"
rm -rf "$work"
[ "$failed" -eq 0 ]
