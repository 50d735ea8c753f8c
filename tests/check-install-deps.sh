#!/bin/sh
# tools/install-deps.sh against stand-ins for sudo, apt-get, dpkg-query,
# dpkg, id and mount on PATH, and for the kernel, in the cases a fresh
# machine meets: an apt-get update that reports a failed index every time, a
# wine32:i386 that apt refuses, a package apt cannot install at all, a
# kernel that refuses 32-bit programs (as root, and not); then
# tools/i386-mode.sh's answer for each state of binfmt_misc.
#   check-install-deps.sh TOOLS_DIR
tools=$1
failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A copy of the scripts beside a stand-in for the kernel's 32-bit probe
# (runs-i386.sh): it runs 32-bit programs natively unless STATE/kernel says
# "refuses"; then only once qemu-i386 is registered in the stand-in
# binfmt_misc folder (BINFMT), whose entry it then makes, as the kernel
# would. BINFMT starts unmounted (no register file).
setup() {
  rm -rf "$work/case"; mkdir -p "$work/case/tools" "$work/case/bin" "$work/case/state" "$work/case/binfmt"
  cp "$tools/install-deps.sh" "$tools/i386-mode.sh" "$work/case/tools/"
  cat > "$work/case/tools/runs-i386.sh" <<'S'
#!/bin/sh
[ "$(cat "$STATE/kernel" 2>/dev/null)" = refuses ] || exit 0
grep -q '^:qemu-i386:' "$LUMAREST_BINFMT_MISC/register" 2>/dev/null || exit 1
[ -e "$LUMAREST_BINFMT_MISC/qemu-i386" ] ||
  printf 'enabled\ninterpreter /usr/bin/qemu-i386-static\nflags: F\n' > "$LUMAREST_BINFMT_MISC/qemu-i386"
S
  : > "$work/case/state/installed"
  : > "$work/case/state/log"
  bin=$work/case/bin; state=$work/case/state; binfmt=$work/case/binfmt
  cat > "$bin/id" <<'S'
#!/bin/sh
cat "$STATE/uid" 2>/dev/null || echo 1000
S
  cat > "$bin/mount" <<'S'
#!/bin/sh
echo "mount $*" >> "$STATE/log"
[ ! -f "$STATE/mount-fails" ] || { echo "mount: unknown filesystem type 'binfmt_misc'" >&2; exit 32; }
eval "dir=\${$#}"
: > "$dir/register"; echo enabled > "$dir/status"
S
  cat > "$bin/sudo" <<'S'
#!/bin/sh
echo "sudo $*" >> "$STATE/log"
exec "$@"
S
  cat > "$bin/sleep" <<'S'
#!/bin/sh
S
  cat > "$bin/dpkg-query" <<'S'
#!/bin/sh
eval "p=\${$#}"
grep -qx "$p" "$STATE/installed" && printf 'install ok installed'
exit 0
S
  cat > "$bin/dpkg" <<'S'
#!/bin/sh
echo "dpkg $*" >> "$STATE/log"
case "$1" in
  --print-foreign-architectures) cat "$STATE/arch" 2>/dev/null ;;
  --add-architecture) echo "$2" > "$STATE/arch" ;;
  --remove-architecture) rm -f "$STATE/arch" ;;
esac
S
  # update fails while STATE/update-fails holds a count above 0; a dry run
  # (-s) refuses the packages listed in STATE/refuse; a real install adds
  # its packages to STATE/installed.
  cat > "$bin/apt-get" <<'S'
#!/bin/sh
echo "apt-get DEBIAN_FRONTEND=$DEBIAN_FRONTEND $*" >> "$STATE/log"
case " $* " in
  *" update "*)
    n=$(cat "$STATE/update-fails" 2>/dev/null || echo 0)
    [ "$n" -gt 0 ] || exit 0
    echo $((n - 1)) > "$STATE/update-fails"
    echo "E: Some index files failed to download." >&2; exit 100 ;;
esac
dry=""; pkgs=""
for a in "$@"; do
  case "$a" in -s) dry=yes ;; -*|install) ;; *) pkgs="$pkgs $a" ;; esac
done
for p in $pkgs; do
  if grep -qx "$p" "$STATE/refuse" 2>/dev/null; then echo "E: cannot install $p" >&2; exit 100; fi
done
[ -n "$dry" ] || for p in $pkgs; do echo "$p" >> "$STATE/installed"; done
exit 0
S
  # npm install --prefix DIR ...: leaves what the script looks for.
  cat > "$bin/npm" <<'S'
#!/bin/sh
echo "npm $*" >> "$STATE/log"
dir=$3
mkdir -p "$dir/node_modules/tree-sitter-powershell" "$dir/node_modules/web-tree-sitter"
: > "$dir/node_modules/tree-sitter-powershell/tree-sitter-powershell.wasm"
: > "$dir/node_modules/web-tree-sitter/tree-sitter.cjs"
S
  chmod +x "$bin"/* "$work/case/tools/"*
}

run() {
  out=$(PATH="$bin:$PATH" STATE=$state LUMAREST_BINFMT_MISC=$binfmt sh "$work/case/tools/install-deps.sh" 2>&1)
  rc=$?
}

expect() {  # expect DESCRIPTION COMMAND...
  if "$@" 2>/dev/null; then :; else
    echo "FAIL: $description: $*"; printf '%s\n' "$out" | sed 's/^/    /'; failed=1
  fi
}
says() { printf '%s\n' "$out" | grep -qF -- "$1"; }
logged() { grep -q -- "$1" "$state/log"; }

description="an update that fails twice, wine32 refused"
setup
echo 2 > "$state/update-fails"
echo "wine32:i386" > "$state/refuse"
run
expect [ "$rc" -eq 0 ]
expect says "trying once more"
expect says "going on with the indexes apt has"
expect grep -qx wixl "$state/installed"
expect grep -qx googletest "$state/installed"
expect says "the 32-bit tests will not run"
expect [ ! -s "$state/arch" ]
expect [ -f "$work/case/build/wine32-not-installable" ]
expect logged "sudo env DEBIAN_FRONTEND=noninteractive apt-get"
expect logged "apt-get DEBIAN_FRONTEND=noninteractive install -y"
expect logged "npm install --prefix $work/case/build/powershell-parser --ignore-scripts"
# Run again within the day: everything is there (the parser too) and wine32
# is not retried.
: > "$state/log"
run
expect [ "$rc" -eq 0 ]
expect [ ! -s "$state/log" ]

description="a package apt cannot install"
setup
echo "wixl" > "$state/refuse"
run
expect [ "$rc" -eq 1 ]
expect says "apt cannot install: wixl"
expect [ ! -s "$state/installed" ]

description="an update that recovers, wine32 installed"
setup
echo 1 > "$state/update-fails"
run
expect [ "$rc" -eq 0 ]
expect says "installed wine32:i386"
expect grep -qx "wine32:i386" "$state/installed"
expect grep -qx i386 "$state/arch"

# The 32-bit steps alone: every other package is there already, and the
# fleet scripts' parser too.
setup_32bit() {  # setup_32bit KERNEL UID
  setup
  sed -n '/^packages="/,/"$/p' "$tools/install-deps.sh" | tr -d '"' | sed 's/^packages=//' |
    tr ' ' '\n' | sed '/^$/d' > "$state/installed"
  parser="$work/case/build/powershell-parser/node_modules"
  mkdir -p "$parser/tree-sitter-powershell" "$parser/web-tree-sitter"
  : > "$parser/tree-sitter-powershell/tree-sitter-powershell.wasm"
  : > "$parser/web-tree-sitter/tree-sitter.cjs"
  echo "$1" > "$state/kernel"
  echo "$2" > "$state/uid"
}
entry=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F'

description="a kernel that refuses 32-bit programs, as root, binfmt_misc not mounted"
setup_32bit refuses 0
run
expect [ "$rc" -eq 0 ]
expect grep -qx qemu-user-static "$state/installed"
expect logged "mount -t binfmt_misc binfmt_misc $binfmt"
expect [ "$(cat "$binfmt/register")" = "$entry" ]
expect grep -qx "wine32:i386" "$state/installed"
expect says "32-bit programs now run under qemu (installed qemu-user-static, mounted binfmt_misc at $binfmt, registered /usr/bin/qemu-i386-static"
expect says "about 50 s"
expect [ "$(PATH="$bin:$PATH" STATE=$state LUMAREST_BINFMT_MISC=$binfmt sh "$work/case/tools/i386-mode.sh")" = emulated ]
expect sh -c "! grep -q '^sudo' '$state/log'"
# Run again: everything is there, nothing is done or said.
: > "$state/log"
run
expect [ "$rc" -eq 0 ]
expect [ ! -s "$state/log" ]
expect [ -z "$out" ]

description="a kernel that refuses 32-bit programs, as root, binfmt_misc mounted with a disabled qemu-i386 entry"
setup_32bit refuses 0
: > "$binfmt/register"; echo enabled > "$binfmt/status"
printf 'disabled\ninterpreter /usr/local/bin/qemu-i386\n' > "$binfmt/qemu-i386"
run
expect [ "$rc" -eq 0 ]
expect sh -c "! grep -q '^mount' '$state/log'"
expect [ ! -s "$binfmt/register" ]
expect [ "$(sed -n 1p "$binfmt/qemu-i386")" = disabled ]
expect says "qemu-i386 entry already, left as it is (disabled, /usr/local/bin/qemu-i386)"
expect says "32-bit programs still do not run"
expect sh -c "! grep -qx 'wine32:i386' '$state/installed'"
expect [ ! -s "$state/arch" ]

description="a kernel that refuses 32-bit programs, not as root"
setup_32bit refuses 1000
run
expect [ "$rc" -eq 0 ]
expect says "As root:"
expect says "apt-get install qemu-user-static"
expect says "mount -t binfmt_misc binfmt_misc $binfmt"
expect says "printf '%s\\n' '$entry' > $binfmt/register"
expect [ ! -s "$state/log" ]
expect [ ! -e "$binfmt/register" ]
expect sh -c "! grep -qx 'wine32:i386' '$state/installed'"

description="a kernel that refuses 32-bit programs, as root, binfmt_misc cannot be mounted"
setup_32bit refuses 0
: > "$state/mount-fails"
run
expect [ "$rc" -eq 0 ]
expect says "binfmt_misc could not be mounted at $binfmt"
expect [ ! -e "$binfmt/register" ]
expect sh -c "! grep -qx 'wine32:i386' '$state/installed'"

description="a kernel that runs 32-bit programs, as root"
setup_32bit native 0
run
expect [ "$rc" -eq 0 ]
expect sh -c "! grep -qx qemu-user-static '$state/installed'"
expect [ ! -e "$binfmt/register" ]
expect grep -qx "wine32:i386" "$state/installed"

# i386-mode.sh: how this machine runs 32-bit programs, for each answer of the
# kernel's probe and state of binfmt_misc (status, and one entry: its first
# line and interpreter). An empty entry column means no entry at all.
mode_case() {  # mode_case EXPECTED PROBE STATUS ENTRY INTERPRETER
  description="i386-mode.sh: probe $2, binfmt_misc $3, entry '$4 $5'"
  rm -rf "$work/mode"; mkdir -p "$work/mode/tools" "$work/mode/binfmt"
  cp "$tools/i386-mode.sh" "$work/mode/tools/"
  if [ "$2" = runs ]; then echo 'exit 0' > "$work/mode/tools/runs-i386.sh"; else echo 'exit 1' > "$work/mode/tools/runs-i386.sh"; fi
  [ "$3" = unmounted ] || { : > "$work/mode/binfmt/register"; echo "$3" > "$work/mode/binfmt/status"; }
  [ -z "$4" ] || printf '%s\ninterpreter %s\nflags: F\n' "$4" "$5" > "$work/mode/binfmt/i386"
  out=$(LUMAREST_BINFMT_MISC="$work/mode/binfmt" sh "$work/mode/tools/i386-mode.sh")
  expect [ "$out" = "$1" ]
}
mode_case native   runs  unmounted "" ""
mode_case native   runs  enabled   "" ""
mode_case emulated runs  enabled   enabled  /usr/bin/qemu-i386-static
mode_case emulated runs  enabled   enabled  /opt/qemu/bin/qemu-i386
mode_case native   runs  enabled   disabled /usr/bin/qemu-i386-static
mode_case native   runs  disabled  enabled  /usr/bin/qemu-i386-static
mode_case native   runs  enabled   enabled  /usr/bin/qemu-x86_64-static
mode_case native   runs  enabled   enabled  /usr/lib/qemu-i386/box86
mode_case none     fails enabled   enabled  /usr/bin/qemu-i386-static
mode_case none     fails unmounted "" ""

[ "$failed" -eq 0 ] && echo "install-deps: every case as expected"
exit $failed
