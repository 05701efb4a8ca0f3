#!/usr/bin/env bash
# The README's example log is what the program writes: a copy of the demo is
# converted twice, and the second run's standard output must be the block
# that follows the marker "log of a second run over the demo" in README.md.
set -euo pipefail
program=$1 source=$2
work=$(mktemp -d /tmp/oskelt-docs.XXXXXX)
trap 'rm -rf "$work"' EXIT
cp -r "$source/demo/_compiled" "$work/"
run() {
  env -u DISPLAY -u WAYLAND_DISPLAY HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
    "$program" -C "$work" >"$1" 2>"$1.err" || true
}
run "$work/first.log"
run "$work/second.log"
awk '/<!-- log of a second run over the demo -->/ { marked = 1; next }
     marked && /^```$/ { if (inside) exit; inside = 1; next }
     inside { print }' "$source/README.md" >"$work/readme.log"
[ -s "$work/readme.log" ] || { echo "README.md has no example log after its marker"; exit 1; }
if ! diff -u "$work/readme.log" "$work/second.log"; then
  echo "README.md's example log (-) differs from the program's second run over the demo (+)"
  exit 1
fi
[ ! -s "$work/second.log.err" ] || { echo "standard error:"; cat "$work/second.log.err"; exit 1; }
echo "README.md's example log is the program's"
