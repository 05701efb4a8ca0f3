#!/usr/bin/python3
"""Renders the program's icon from its one drawing, res/OskeltZTEX.svg, into
every image the programs and the packages use:

- res/OskeltZTEX.ico, the Windows program's icon group: 16x16 and 32x32 in
  16 colours (4 bits per pixel), 16x16, 32x32 and 48x48 at 24 bits. Each
  image is a plain DIB (header, palette, colour bits bottom up, 1-bit
  transparency mask), not PNG, so that every icon reader takes it.
- res/OskeltZTEX-N.png for N = 16, 24, 32, 48, 64, 128 and 256: the Linux
  desktop's hicolor sizes, in full colour with smooth edges; the Qt window
  and its About box take their icon from them too.
- docs/icon.png: a picture of all of them, for people to look at.

The drawing sits on a grid of sixteenths, so the sizes that are multiples of
16 come out pixel-exact. At 24 pixels a sixteenth is a pixel and a half:
that size is rendered with crisp edges and square corners instead of edges
smeared over two pixels. The 16-colour images use the drawing's own colours
as their palette (the drawing has fewer than 16), each pixel the nearest of
them, so they show the same picture with hard edges rather than a dithered
approximation.

Usage: tools/make-icon.py [RES_DIR [DOCS_DIR]]   (default res and docs)
Needs rsvg-convert (librsvg2-bin) and Pillow (python3-pil). Everything it
writes is committed, so the build needs neither; the test icons_current
checks that the committed files are the drawing's current rendering.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, "..", "res", "OskeltZTEX.svg")

PNG_SIZES = [16, 24, 32, 48, 64, 128, 256]
ICO_IMAGES = [(16, 4), (16, 24), (32, 4), (32, 24), (48, 24)]

# Sizes at which a sixteenth is not a whole number of pixels.
CRISP_STYLE = "svg { shape-rendering: crispEdges; }\nrect { rx: 0; ry: 0; }\n"


def render(size, folder):
    """The drawing at size x size pixels, as RGBA with straight alpha."""
    out = os.path.join(folder, "render-%d.png" % size)
    command = ["rsvg-convert", "-w", str(size), "-h", str(size), "-o", out]
    if size % 16:
        style = os.path.join(folder, "crisp.css")
        with open(style, "w") as f:
            f.write(CRISP_STYLE)
        command += ["-s", style]
    subprocess.run(command + [SOURCE], check=True)
    with Image.open(out) as image:
        return image.convert("RGBA")


def drawing_colours():
    """The fill colours of the drawing, in the order they first appear."""
    with open(SOURCE) as f:
        text = f.read()
    colours = []
    for hex_colour in re.findall(r'fill="#([0-9a-fA-F]{6})"', text):
        rgb = tuple(int(hex_colour[i:i + 2], 16) for i in (0, 2, 4))
        if rgb not in colours:
            colours.append(rgb)
    return colours


def palette16():
    """Black (for transparent pixels) and the drawing's colours, padded to 16."""
    colours = [(0, 0, 0)] + [c for c in drawing_colours() if c != (0, 0, 0)]
    if len(colours) > 16:
        raise SystemExit("the drawing has more than 15 colours: no 16-colour image")
    return colours + [(0, 0, 0)] * (16 - len(colours))


def nearest(rgb, palette, used):
    # Index 0 stands for transparent pixels; the drawing's colours follow it.
    return min(range(1, used), key=lambda i: sum((a - b) ** 2 for a, b in zip(rgb, palette[i])))


def opaque(pixel):
    return pixel[3] >= 128


def posterised(image, palette, used):
    """Palette indices of each pixel, rows top down; 0 where transparent."""
    w, h = image.size
    return [[nearest(image.getpixel((x, y))[:3], palette, used) if opaque(image.getpixel((x, y))) else 0
             for x in range(w)] for y in range(h)]


def mask_rows(image):
    """The AND mask, bottom row first: 1 where the picture is transparent."""
    w, h = image.size
    stride = ((w + 31) // 32) * 4
    out = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            if not opaque(image.getpixel((x, y))):
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def dib(image, bits, palette, used):
    w, h = image.size
    colour_table = b""
    pixels = bytearray()
    if bits == 4:
        colour_table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
        indices = posterised(image, palette, used)
        stride = ((w * 4 + 31) // 32) * 4
        for y in range(h - 1, -1, -1):
            row = bytearray(stride)
            for x in range(w):
                row[x // 2] |= indices[y][x] << (4 if x % 2 == 0 else 0)
            pixels += row
    else:
        stride = ((w * 24 + 31) // 32) * 4
        for y in range(h - 1, -1, -1):
            row = bytearray(stride)
            for x in range(w):
                r, g, b, a = image.getpixel((x, y))
                if a < 128:
                    r = g = b = 0
                row[3 * x:3 * x + 3] = bytes((b, g, r))
            pixels += row
    mask = mask_rows(image)
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, bits, 0, len(pixels) + len(mask),
                         0, 0, 16 if bits == 4 else 0, 0)
    return header + colour_table + bytes(pixels) + mask


def as_shown(image, bits, palette, used):
    """What an icon image looks like once read back: hard mask, and the
    palette's colours for 16-colour images."""
    w, h = image.size
    shown = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    indices = posterised(image, palette, used) if bits == 4 else None
    for y in range(h):
        for x in range(w):
            pixel = image.getpixel((x, y))
            if opaque(pixel):
                rgb = palette[indices[y][x]] if indices else pixel[:3]
                shown.putpixel((x, y), rgb + (255,))
    return shown


def write_ico(output, renders, palette, used):
    blobs = [dib(renders[size], bits, palette, used) for size, bits in ICO_IMAGES]
    directory = struct.pack("<HHH", 0, 1, len(ICO_IMAGES))
    offset = 6 + 16 * len(ICO_IMAGES)
    entries = b""
    for (size, bits), blob in zip(ICO_IMAGES, blobs):
        entries += struct.pack("<BBBBHHII", size, size, 16 if bits == 4 else 0, 0, 1, bits,
                               len(blob), offset)
        offset += len(blob)
    with open(output, "wb") as f:
        f.write(directory + entries + b"".join(blobs))
    print("%s: %d images" % (output, len(ICO_IMAGES)))


def write_sheet(output, renders, palette, used):
    """Every size at 1:1 on a light and a dark ground, then the .ico's images
    and the 24-pixel image enlarged, pixel for pixel."""
    font = ImageFont.load_default()
    gap, label = 24, 16
    width = gap + sum(size + gap for size in PNG_SIZES)
    enlarged = [("%dx%d, 16 colours" % (s, s), as_shown(renders[s], b, palette, used)) if b == 4
                else ("%dx%d, 24 bits" % (s, s), as_shown(renders[s], b, palette, used))
                for s, b in ICO_IMAGES]
    enlarged.append(("24x24 PNG", renders[24]))
    zoom_box = 96
    height = gap + 256 + label + gap + 64 + label + gap + zoom_box + label + gap
    sheet = Image.new("RGBA", (width, height), (232, 232, 232, 255))
    draw = ImageDraw.Draw(sheet)
    x, y = gap, gap
    for size in PNG_SIZES:
        sheet.alpha_composite(renders[size], (x, y + 256 - size))
        draw.text((x, y + 256 + 2), "%d" % size, fill=(40, 40, 40), font=font)
        x += size + gap
    y += 256 + label + gap
    draw.rectangle([0, y - gap // 2, width, y + 64 + label + gap // 2], fill=(43, 45, 52))
    x = gap
    for size in PNG_SIZES[:5]:
        sheet.alpha_composite(renders[size], (x, y + 64 - size))
        draw.text((x, y + 64 + 2), "%d" % size, fill=(220, 220, 220), font=font)
        x += size + gap
    y += 64 + label + gap
    x = gap
    for name, image in enlarged:
        zoomed = image.resize((zoom_box, zoom_box), Image.NEAREST)
        sheet.alpha_composite(zoomed, (x, y))
        draw.text((x, y + zoom_box + 2), name, fill=(40, 40, 40), font=font)
        x += zoom_box + gap
    sheet.save(output, "PNG")
    print("%s: %dx%d" % (output, width, height))


def main():
    res = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "res")
    docs = sys.argv[2] if len(sys.argv) > 2 else os.path.join(HERE, "..", "docs")
    palette = palette16()
    used = 1 + len([c for c in drawing_colours() if c != (0, 0, 0)])
    with tempfile.TemporaryDirectory() as scratch:
        renders = {size: render(size, scratch) for size in PNG_SIZES}
    write_ico(os.path.join(res, "OskeltZTEX.ico"), renders, palette, used)
    for size in PNG_SIZES:
        output = os.path.join(res, "OskeltZTEX-%d.png" % size)
        renders[size].save(output, "PNG")
        print("%s: %dx%d" % (output, size, size))
    write_sheet(os.path.join(docs, "icon.png"), renders, palette, used)


if __name__ == "__main__":
    main()
