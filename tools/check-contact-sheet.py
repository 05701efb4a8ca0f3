#!/usr/bin/python3
"""Checks that each tile of a contact sheet shows its TGA file upright.

    check-contact-sheet.py SHEET COLUMNS TILE BORDER SCALE TGA...

SHEET is the picture that tools/contact-sheet.sh makes with montage: the
TGA files in the given order, COLUMNS to a row, each a TILE x TILE tile
with BORDER pixels around it and a label below, the image enlarged SCALE
times and centred in its tile over a checkerboard.

Pillow, which honours the TGA origin, reads each TGA file independently of
ImageMagick. Wherever the image has alpha a, the sheet's pixel can differ
from the image's colour by at most (1 - a/255) * 255 per channel, whatever
the checkerboard below it (plus a little for rounding): an opaque pixel must
match, a transparent one may be anything. The tile must keep to that bound
as Pillow reads the image, and break it when the image is turned upside
down; a tile that keeps to it both ways (a picture symmetric enough, or
almost transparent) is reported as undecided, which fails too.
"""
import math
import sys

from PIL import Image

ROUNDING = 3  # per channel, for the compositing's rounding


def violations(sheet, left, top, tile, image):
    """Pixels of the tile that break the bound for this image, and the
    number of pixels whose bound says anything (alpha above zero)."""
    w, h = image.size
    x0 = left + (tile - w) // 2
    y0 = top + (tile - h) // 2
    bad = 0
    telling = 0
    src = image.load()
    dst = sheet.load()
    for y in range(h):
        for x in range(w):
            r, g, b, a = src[x, y]
            if a == 0:
                continue
            telling += 1
            slack = (255 - a) + ROUNDING
            sr, sg, sb = dst[x0 + x, y0 + y][:3]
            if abs(sr - r) > slack or abs(sg - g) > slack or abs(sb - b) > slack:
                bad += 1
    return bad, telling


def best(sheet, left, top, tile, image):
    """The fewest violations over the centring's rounding (one pixel either
    way), as montage and -extent may round half a pixel differently."""
    results = []
    for dy in (-1, 0, 1):
        for dx in (-1, 0, 1):
            results.append(violations(sheet, left + dx, top + dy, tile, image))
    return min(results)


def main():
    sheet_path, columns, tile, border, scale = sys.argv[1:6]
    columns, tile, border, scale = int(columns), int(tile), int(border), int(scale)
    tgas = sys.argv[6:]
    sheet = Image.open(sheet_path).convert("RGB")
    rows = math.ceil(len(tgas) / columns)
    cell_w = tile + 2 * border
    if sheet.width != min(columns, len(tgas)) * cell_w or sheet.height % rows != 0:
        print("%s: %dx%d is not a sheet of %d tiles, %d to a row, of %d+%d pixels"
              % (sheet_path, sheet.width, sheet.height, len(tgas), columns, tile, border))
        return 1
    cell_h = sheet.height // rows  # the tile, its border and its label
    failures = 0
    for i, tga in enumerate(tgas):
        image = Image.open(tga).convert("RGBA")
        w, h = image.size
        big = image.resize((w * scale, h * scale), Image.NEAREST)
        # The part of the enlarged image that fits in the tile, centred.
        cut_x = max(0, (big.width - tile) // 2)
        cut_y = max(0, (big.height - tile) // 2)
        big = big.crop((cut_x, cut_y, cut_x + min(tile, big.width), cut_y + min(tile, big.height)))
        left = (i % columns) * cell_w + border
        top = (i // columns) * cell_h + border
        upright, telling = best(sheet, left, top, tile, big)
        flipped, _ = best(sheet, left, top, tile, big.transpose(Image.FLIP_TOP_BOTTOM))
        if upright == 0 and flipped > 0:
            verdict = "upright"
        elif upright == 0:
            verdict = "UNDECIDED (the same upside down)"
            failures += 1
        elif flipped == 0:
            verdict = "UPSIDE DOWN"
            failures += 1
        else:
            verdict = "NOT THIS IMAGE"
            failures += 1
        print("  %-40s %-34s (%d of %d pixels off upright, %d upside down)"
              % (tga, verdict, upright, telling, flipped))
    if failures:
        print("%s: %d of %d tiles are not shown upright" % (sheet_path, failures, len(tgas)))
        return 1
    print("%s: all %d tiles upright, as Pillow reads the TGA files" % (sheet_path, len(tgas)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
