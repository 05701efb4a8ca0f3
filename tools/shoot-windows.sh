#!/usr/bin/env bash
# Saves a picture of the part of the current display that its mapped
# top-level windows cover together (a window and the message box in front
# of it), cropped from the whole screen.
# Usage: tools/shoot-windows.sh OUT.png TRIES SETTLE COUNT
#   waits up to TRIES × 0.1 s for COUNT windows to be mapped, then SETTLE
#   seconds more for them to draw what they are to show.
# Needs xwininfo (x11-utils) and ImageMagick's import and convert.
set -eu
out=$1; tries=$2; settle=$3; count=$4
# The mapped top-level windows larger than a few pixels, as "x y w h".
mapped() {
  # A window may go between the listing and the look at it.
  xwininfo -root -children 2>/dev/null | awk '/^ +0x[0-9a-f]+ /{print $1}' | while read -r id; do
    info=$(xwininfo -id "$id" 2>/dev/null) || continue
    grep -q 'Map State: IsViewable' <<<"$info" || continue
    awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
         /Width:/ {w=$2} /Height:/ {h=$2}
         END { if (w > 8 && h > 8) print x, y, w, h }' <<<"$info"
  done
}
for _ in $(seq "$tries"); do
  [ "$(mapped | wc -l)" -ge "$count" ] && break
  sleep 0.1
done
sleep "$settle"
box=$(mapped | awk 'NR == 1 || $1 < x0 {x0 = $1} NR == 1 || $2 < y0 {y0 = $2}
  NR == 1 || $1 + $3 > x1 {x1 = $1 + $3} NR == 1 || $2 + $4 > y1 {y1 = $2 + $4}
  END { if (NR) print x1 - x0 "x" y1 - y0 "+" x0 "+" y0 }')
[ -n "$box" ] || { echo "shoot-windows: no window on the display" >&2; exit 1; }
import -window root "$out.full.png"
convert "$out.full.png" -crop "$box" +repage "$out"
rm -f "$out.full.png"
