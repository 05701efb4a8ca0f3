#!/usr/bin/env bash
# Takes docs/screenshot-linux.png: the Qt window after a command-line run
# over the demo textures (which include broken ones, so the window stays open
# with their errors in the log), on a virtual X display, cropped to the window.
# Usage: tools/screenshot-linux.sh [PROGRAM]   (default: builds it in build/linux)
# Needs xvfb-run, xwininfo (x11-utils) and ImageMagick's import and convert.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
program=${1:-}
if [ -z "$program" ]; then
  cmake --preset linux >/dev/null
  cmake --build build/linux --config Release --target OskeltZTEX >/dev/null
  program=build/linux/src/host/linux/Release/OskeltZTEX
fi
program=$(realpath "$program")
[ -f "$program.ini" ] || { echo "no folder map beside $program" >&2; exit 1; }

work=$(mktemp -d /tmp/oskelt-shot.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/_work/data/Textures"
cp -r demo/_compiled "$work/_work/data/Textures/"

cat >"$work/shoot.sh" <<'EOF'
set -eu
program=$1; base=$2; out=$3; shoot=$4
unset QT_QPA_PLATFORM
"$program" -C "$base" >/dev/null &
pid=$!
# The window appears once the program has started; the run itself takes
# a moment more.
bash "$shoot" "OskeltZTEX 2.6" "$out" 100 1.5
kill "$pid"
EOF
mkdir -p docs
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/shoot.sh" "$program" "$work/_work/data/Textures" "$work/shot.png" "$root/tools/shoot-window.sh"
cp "$work/shot.png" "$root/docs/screenshot-linux.png"
echo "docs/screenshot-linux.png: $(identify -format '%wx%h' docs/screenshot-linux.png)"
