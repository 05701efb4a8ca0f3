#!/usr/bin/python3
"""Draws the program's icon and writes it for both systems, from one drawing:
res/OskeltZTEX.ico for the Windows program and res/OskeltZTEX-N.png for the
Linux desktop.

The .ico holds five images, as the executable, the dialog and the About box
use them:
16x16 and 32x32 in 16 colours (4 bits per pixel), 16x16, 32x32 and 48x48 at
24 bits. Each image is a plain DIB (header, palette, colour bits bottom up,
1-bit transparency mask), not PNG, so that every icon reader takes it.

The PNG files are the sizes of the desktop's hicolor theme (16, 32, 48 and
256 pixels), in full colour with the drawing's own alpha (smooth edges), as
the Linux package installs them.

The picture: a texture tile of four coloured blocks with a dark frame, and a
white arrow running out of it to the lower right (a texture being turned into
an image). Drawn four times larger and reduced, so the small sizes stay clean.

Usage: tools/make-icon.py [DIR]   (default res; writes DIR/OskeltZTEX.ico
and DIR/OskeltZTEX-16.png ... DIR/OskeltZTEX-256.png)
Needs Pillow. The files are committed: the build needs no Python.
"""
import os
import struct
import sys

from PIL import Image, ImageDraw

SCALE = 4

# The 16 colours of the standard 4-bit palette, in palette order.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def draw(size, sixteen):
    """RGBA picture of size x size pixels; sixteen picks colours of VGA16."""
    s = size * SCALE
    img = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    u = s / 16.0  # one sixteenth of the icon
    if sixteen:
        blocks = [(255, 0, 0), (0, 128, 0), (0, 0, 255), (255, 255, 0)]
        frame, arrow, edge = (0, 0, 0), (255, 255, 255), (0, 0, 0)
    else:
        blocks = [(214, 64, 52), (58, 160, 84), (52, 104, 206), (240, 196, 48)]
        frame, arrow, edge = (30, 34, 44), (255, 255, 255), (30, 34, 44)
    # The tile: upper left 12 x 12 sixteenths, four blocks in a frame.
    x0, y0, x1, y1 = 0.5 * u, 0.5 * u, 12.0 * u, 12.0 * u
    d.rectangle([x0, y0, x1, y1], fill=frame)
    inset = 1.2 * u
    mid_x, mid_y = (x0 + x1) / 2, (y0 + y1) / 2
    gap = 0.35 * u
    cells = [
        (x0 + inset, y0 + inset, mid_x - gap, mid_y - gap),
        (mid_x + gap, y0 + inset, x1 - inset, mid_y - gap),
        (x0 + inset, mid_y + gap, mid_x - gap, y1 - inset),
        (mid_x + gap, mid_y + gap, x1 - inset, y1 - inset),
    ]
    for cell, colour in zip(cells, blocks):
        d.rectangle(cell, fill=colour)
    # The arrow from the tile's centre to the lower right corner: a shaft and
    # a head, outlined so it reads on the blocks and on any background.
    head = [(15.6 * u, 15.6 * u), (8.6 * u, 14.4 * u), (14.4 * u, 8.6 * u)]
    shaft = [(6.2 * u, 7.8 * u), (7.8 * u, 6.2 * u), (13.0 * u, 11.4 * u), (11.4 * u, 13.0 * u)]
    for poly in (shaft, head):
        d.polygon(poly, fill=edge, outline=edge)
        d.line(poly + [poly[0]], fill=edge, width=max(1, int(1.4 * u)))
    shrink = 0.55 * u
    cx, cy = 12.2 * u, 12.2 * u
    d.polygon([(cx + (x - cx) * (1 - shrink / (4 * u)), cy + (y - cy) * (1 - shrink / (4 * u)))
               for x, y in head], fill=arrow)
    d.polygon([(6.9 * u, 7.8 * u), (7.8 * u, 6.9 * u), (12.6 * u, 11.7 * u), (11.7 * u, 12.6 * u)],
              fill=arrow)
    return img.resize((size, size), Image.LANCZOS)


def nearest(rgb):
    return min(range(16), key=lambda i: sum((a - b) ** 2 for a, b in zip(rgb, VGA16[i])))


def mask_rows(img):
    """The AND mask, bottom row first: 1 where the picture is transparent."""
    w, h = img.size
    stride = ((w + 31) // 32) * 4
    out = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            if img.getpixel((x, y))[3] < 128:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def dib(img, bits):
    w, h = img.size
    palette = b""
    pixels = bytearray()
    if bits == 4:
        palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in VGA16)
        stride = ((w * 4 + 31) // 32) * 4
        for y in range(h - 1, -1, -1):
            row = bytearray(stride)
            for x in range(w):
                r, g, b, a = img.getpixel((x, y))
                index = nearest((r, g, b)) if a >= 128 else 0
                row[x // 2] |= index << (4 if x % 2 == 0 else 0)
            pixels += row
    else:
        stride = ((w * 24 + 31) // 32) * 4
        for y in range(h - 1, -1, -1):
            row = bytearray(stride)
            for x in range(w):
                r, g, b, a = img.getpixel((x, y))
                if a < 128:
                    r = g = b = 0
                row[3 * x:3 * x + 3] = bytes((b, g, r))
            pixels += row
    mask = mask_rows(img)
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, bits, 0, len(pixels) + len(mask),
                         0, 0, 16 if bits == 4 else 0, 0)
    return header + palette + bytes(pixels) + mask


# The sizes of the PNG files for the desktop's hicolor icon theme.
PNG_SIZES = [16, 32, 48, 256]


def write_ico(output):
    images = [(16, 4), (16, 24), (32, 4), (32, 24), (48, 24)]
    blobs = [dib(draw(size, bits == 4), bits) for size, bits in images]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for (size, bits), blob in zip(images, blobs):
        entries += struct.pack("<BBBBHHII", size, size, 16 if bits == 4 else 0, 0, 1, bits,
                               len(blob), offset)
        offset += len(blob)
    with open(output, "wb") as f:
        f.write(directory + entries + b"".join(blobs))
    print("%s: %d images" % (output, len(images)))


def write_pngs(folder):
    for size in PNG_SIZES:
        output = os.path.join(folder, "OskeltZTEX-%d.png" % size)
        draw(size, False).save(output, "PNG")
        print("%s: %dx%d" % (output, size, size))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "res")
    write_ico(os.path.join(folder, "OskeltZTEX.ico"))
    write_pngs(folder)


if __name__ == "__main__":
    main()
