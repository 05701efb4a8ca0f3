#!/usr/bin/env bash
# Takes docs/screenshot-wine.png: the Windows program (the shipped 32-bit
# build, or the one given) under Wine after a command-line run over the demo textures,
# which include broken ones, so the window stays open with their errors in
# the log. Cropped to the window; Wine draws its frame itself.
# Usage: tools/screenshot-wine.sh [PROGRAM.exe]   (default: builds it in build/win32)
# Needs Wine (wine32:i386 for the 32-bit build), Xvfb, xwininfo (x11-utils)
# and ImageMagick's import and convert.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
program=${1:-}
if [ -z "$program" ]; then
  cmake --preset win32 >/dev/null
  cmake --build build/win32 --target OskeltZTEX >/dev/null
  program=build/win32/src/host/win32/OskeltZTEX.exe
fi
program=$(realpath "$program")
loader=$(tools/wine-loader.sh "$program")

work=$(mktemp -d /tmp/oskelt-shot.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/_work/data/Textures"
cp -r demo/_compiled "$work/_work/data/Textures/"

cat >"$work/shoot.sh" <<'SHOOT'
set -eu
loader=$1; program=$2; base=$3; out=$4; shoot=$5
"$loader" "$program" -C "Z:${base//\//\\}" >"$out.wine.log" 2>&1 &
bash "$shoot" "OskeltZTEX 2.6" "$out" 200 3
SHOOT
mkdir -p docs
tools/wine-gui.sh bash "$work/shoot.sh" "$loader" "$program" "$work/_work/data/Textures" "$work/shot.png" "$root/tools/shoot-window.sh"
cp "$work/shot.png" "$root/docs/screenshot-wine.png"
echo "docs/screenshot-wine.png: $(identify -format '%wx%h' docs/screenshot-wine.png)"
