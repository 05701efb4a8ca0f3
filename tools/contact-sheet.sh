#!/usr/bin/env bash
# A contact sheet of the converted demo textures (run tools/demo.sh first):
# each TGA enlarged 3x without smoothing, over a checkerboard so that alpha
# shows, labelled with its path. Writes docs/demo-contact-sheet.png, then
# checks that every tile shows its image upright as Pillow reads it
# (tools/check-contact-sheet.py).
#
# The TGA files are stored bottom row first (origin bottom left, as the
# format's default says); ImageMagick reads the origin but turns the picture
# upright only when told to, with -auto-orient.
# Needs ImageMagick, the DejaVu fonts and Pillow.
set -euo pipefail
cd "$(dirname "$0")/.."
columns=4 tile=200 border=8 scale=3
tgas=()
while IFS= read -r tga; do tgas+=("$tga"); done < <(find demo/out -name '*.tga' | LC_ALL=C sort)
[ ${#tgas[@]} -gt 0 ] || { echo "no TGA files in demo/out: run tools/demo.sh first" >&2; exit 1; }
tiles=()
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
i=0
for tga in "${tgas[@]}"; do
  name=${tga#demo/out/}
  w=$(identify -format '%w' "$tga"); h=$(identify -format '%h' "$tga")
  convert -size $((w*scale))x$((h*scale)) pattern:checkerboard \
    \( "$tga" -auto-orient -filter point -resize $((scale*100))% \) -compose over -composite \
    -background white -gravity center -extent ${tile}x${tile} "$tmp/$i.png"
  tiles+=(-label "$name ${w}x${h}" "$tmp/$i.png")
  i=$((i+1))
done
montage "${tiles[@]}" -font DejaVu-Sans -pointsize 10 -tile ${columns}x \
  -geometry ${tile}x${tile}+${border}+${border} -background '#f0f0f0' "$tmp/sheet.png"
/usr/bin/python3 tools/check-contact-sheet.py "$tmp/sheet.png" $columns $tile $border $scale "${tgas[@]}"
cp "$tmp/sheet.png" docs/demo-contact-sheet.png
echo "docs/demo-contact-sheet.png"
