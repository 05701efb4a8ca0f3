#!/usr/bin/env bash
# Saves a picture of one X window of the current display, cropped from the
# whole screen (so a frame drawn by the program itself is kept).
# Usage: tools/shoot-window.sh TITLE OUT.png TRIES SETTLE
#   waits up to TRIES × 0.1 s for a window of that title to appear, then
#   SETTLE seconds more for it to draw what it is to show.
# Needs xwininfo (x11-utils) and ImageMagick's import and convert.
set -eu
title=$1; out=$2; tries=$3; settle=$4
for _ in $(seq "$tries"); do
  xwininfo -name "$title" >/dev/null 2>&1 && break
  sleep 0.1
done
sleep "$settle"
geometry=$(xwininfo -name "$title")
x=$(echo "$geometry" | awk '/Absolute upper-left X/ {print $4}')
y=$(echo "$geometry" | awk '/Absolute upper-left Y/ {print $4}')
w=$(echo "$geometry" | awk '/Width:/ {print $2}')
h=$(echo "$geometry" | awk '/Height:/ {print $2}')
import -window root "$out.full.png"
convert "$out.full.png" -crop "${w}x${h}+${x}+${y}" +repage "$out"
