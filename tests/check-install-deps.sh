#!/bin/sh
# tools/install-deps.sh against stand-ins for sudo, apt-get, dpkg-query and
# dpkg on PATH, in the cases a fresh machine meets: an apt-get update that
# reports a failed index every time, a wine32:i386 that apt refuses, a
# package apt cannot install at all.
#   check-install-deps.sh TOOLS_DIR
tools=$1
failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A copy of the script beside a runs-i386.sh that says yes, so the wine32
# step is tried whatever this machine's kernel is.
setup() {
  rm -rf "$work/case"; mkdir -p "$work/case/tools" "$work/case/bin" "$work/case/state"
  cp "$tools/install-deps.sh" "$work/case/tools/"
  printf 'exit 0\n' > "$work/case/tools/runs-i386.sh"
  : > "$work/case/state/installed"
  : > "$work/case/state/log"
  bin=$work/case/bin; state=$work/case/state
  cat > "$bin/id" <<'S'
#!/bin/sh
echo 1000
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
  out=$(PATH="$bin:$PATH" STATE=$state sh "$work/case/tools/install-deps.sh" 2>&1)
  rc=$?
}

expect() {  # expect DESCRIPTION COMMAND...
  if "$@" 2>/dev/null; then :; else
    echo "FAIL: $description: $*"; printf '%s\n' "$out" | sed 's/^/    /'; failed=1
  fi
}
says() { printf '%s\n' "$out" | grep -q -- "$1"; }
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

[ "$failed" -eq 0 ] && echo "install-deps: every case as expected"
exit $failed
