#!/usr/bin/env bash
# A contact sheet of the converted demo textures (run tools/demo.sh first):
# each TGA enlarged 3x without smoothing, over a checkerboard so that alpha
# shows, labelled with its path. Writes docs/demo-contact-sheet.png.
set -euo pipefail
cd "$(dirname "$0")/.."
tiles=()
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
i=0
while IFS= read -r tga; do
  name=${tga#demo/out/}
  w=$(identify -format '%w' "$tga"); h=$(identify -format '%h' "$tga")
  convert -size $((w*3))x$((h*3)) pattern:checkerboard \
    \( "$tga" -filter point -resize 300% \) -compose over -composite \
    -background white -gravity center -extent 200x200 "$tmp/$i.png"
  tiles+=(-label "$name ${w}x${h}" "$tmp/$i.png")
  i=$((i+1))
done < <(find demo/out -name '*.tga' | sort)
montage "${tiles[@]}" -font DejaVu-Sans -pointsize 10 -tile 4x -geometry 200x200+8+8 \
  -background '#f0f0f0' docs/demo-contact-sheet.png
echo "docs/demo-contact-sheet.png"
