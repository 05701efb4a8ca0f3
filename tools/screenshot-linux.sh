#!/usr/bin/env bash
# Takes the pictures of the Linux window on a virtual X display:
#   docs/screenshot-linux.png     the Qt window after a command-line run over
#                                 the demo textures (which include broken ones,
#                                 so the window stays open with their errors in
#                                 the log), cropped to the window;
#   docs/notice-parameters.png    "Invalid parameters!" for a folder that does
#                                 not exist;
#   docs/notice-folder-map.png    "Error on reading INI file!" for a program
#                                 without its folder map;
#   docs/notice-no-textures.png   "No textures found." for a _compiled folder
#                                 given as the base directory;
# each notice with what it says beside its text (and the window behind it).
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
# The notices: each run waits for its box to be answered; the picture is
# taken and the program ended.
mkdir -p "$work/Tools"
cp "$program" "$(dirname "$program")/OskeltZtexQt.so" "$work/Tools/"
cat >"$work/notices.sh" <<'EOF'
set -eu
program=$1; tools=$2; work=$3; shoot=$4
unset QT_QPA_PLATFORM
notice() { # notice OUT.png WINDOWS PROGRAM ARGS...
  local out=$1 windows=$2; shift 2
  "$@" >/dev/null 2>&1 &
  local pid=$!
  bash "$shoot" "$out" 100 1 "$windows"
  kill "$pid"
}
cd "$work/_work"
notice "$work/notice-parameters.png" 1 "$program" -C data/Texturs
notice "$work/notice-folder-map.png" 1 "$tools/OskeltZTEX" -C data/Textures
notice "$work/notice-no-textures.png" 2 "$program" -C data/Textures/_compiled
EOF
mkdir -p docs
# A home of its own: no folder map of the user's, no settings written.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/shoot.sh" "$program" "$work/_work/data/Textures" "$work/shot.png" "$root/tools/shoot-window.sh"
cp "$work/shot.png" "$root/docs/screenshot-linux.png"
echo "docs/screenshot-linux.png: $(identify -format '%wx%h' docs/screenshot-linux.png)"
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/notices.sh" "$program" "$work/Tools" "$work" "$root/tools/shoot-windows.sh"
for notice in parameters folder-map no-textures; do
  cp "$work/notice-$notice.png" "$root/docs/notice-$notice.png"
  echo "docs/notice-$notice.png: $(identify -format '%wx%h' "docs/notice-$notice.png")"
done
