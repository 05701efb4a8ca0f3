#!/usr/bin/env bash
# Installs the program into a fresh prefix and converts a copy of the demo
# with the installed program and the folder map installed beside it, started
# through the link in bin (it finds its map beside its resolved path; the
# home is a temporary one, without a map of the user's own).
set -euo pipefail
build=$1 config=$2 demo=$3
work=$(mktemp -d /tmp/oskelt-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" --config "$config" >/dev/null
test -x "$work/prefix/lib/oskeltztex/OskeltZTEX"
test -f "$work/prefix/lib/oskeltztex/OskeltZTEX.ini"
test "$(readlink "$work/prefix/bin/OskeltZTEX")" = ../lib/oskeltztex/OskeltZTEX
cp -r "$demo" "$work/base"
set +e
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$work" XDG_CONFIG_HOME="$work/.config" \
  "$work/prefix/bin/OskeltZTEX" -C "$work/base" >"$work/log" 2>&1
code=$?
set -e
cat "$work/log"
# The demo holds undecodable textures on purpose: the run ends with 1.
test "$code" = 1
grep -q "Processed: 12" "$work/log"
test -f "$work/base/Armor/Knight_Helmet.tga"
test -f "$work/base/Worlds/Stone/Stone_Wall.tga"
test -f "$work/base/Banner.tga"
echo "installed program converted the demo"
