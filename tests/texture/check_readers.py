#!/usr/bin/env python3
"""Converts generated textures of every decodable format and reads the TGA
files with independent readers (Pillow; ImageMagick when installed).

Each texture is written by ztexgen and converted by texture_convert. The TGA
must open as an image of the texture's size and depth, top row first after
the reader has applied the file's orientation, with the pixels that this
script expects: for the 16- and 32-bit formats from its own reading of the
stored pixels, for the DXT formats from its own block decoder. The DXT
blocks are also written into a DDS file for Pillow's DXT decoder, a second
opinion: Pillow replicates the high bits of 5- and 6-bit channels where this
system multiplies, so its colours may only be higher, by at most 7 in red
and blue and 3 in green; alpha and transparency must agree exactly.
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile

from PIL import Image

# format name, code, width, height, mips, pattern
CASES = [
    ("a4r4g4b4", 6, 13, 7, 1, "quadrants"),
    ("a4r4g4b4", 6, 24, 16, 3, "gradient"),
    ("a1r5g5b5", 7, 24, 10, 2, "letter"),
    ("r5g6b5", 8, 17, 9, 1, "gradient"),
    ("r5g6b5", 8, 32, 8, 4, "quadrants"),
    ("a8r8g8b8", 9, 40, 24, 3, "rings"),
    ("a8r8g8b8", 9, 5, 3, 1, "noise"),
    ("dxt1", 10, 64, 48, 3, "quadrants"),
    ("dxt1", 10, 13, 7, 1, "letter"),
    ("dxt1", 10, 36, 20, 1, "noise"),
    ("dxt1a", 11, 32, 20, 2, "letter"),
    ("dxt1a", 11, 18, 18, 1, "noise"),
    ("dxt3", 12, 36, 20, 3, "gradient"),
    ("dxt3", 12, 11, 5, 1, "noise"),
    ("dxt3", 12, 64, 64, 7, "rings"),
]

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def level_size(code, w, h):
    if code in (6, 7, 8):
        return w * h * 2
    if code == 9:
        return w * h * 4
    blocks = ((w + 3) // 4) * ((h + 3) // 4)
    return blocks * (8 if code in (10, 11) else 16)


def level0(data):
    """Format, width, height and the stored bytes of level 0 of a ZTEX file."""
    assert data[:4] == b"ZTEX", "not written by ztexgen"
    code, width, height, mips = struct.unpack_from("<4I", data, 8)
    offset = 36
    for level in range(mips - 1, 0, -1):
        offset += level_size(code, width >> level, height >> level)
    return code, width, height, data[offset:offset + level_size(code, width, height)]


def expand565(c):
    """Red, green, blue of a 5:6:5 word, by shifts."""
    return ((c >> 11) << 3, ((c >> 5) & 0x3F) << 2, (c & 0x1F) << 3)


def decode_uncompressed(code, w, h, data):
    """RGBA tuples, rows from the top."""
    pixels = []
    for i in range(w * h):
        if code == 9:
            b, g, r, a = data[4 * i:4 * i + 4]
            pixels.append((r, g, b, a))
            continue
        v = data[2 * i] | data[2 * i + 1] << 8
        if code == 6:
            pixels.append((((v >> 8) & 15) * 17, ((v >> 4) & 15) * 17, (v & 15) * 17, (v >> 12) * 17))
        elif code == 7:
            pixels.append((((v >> 10) & 31) * 8, ((v >> 5) & 31) * 8, (v & 31) * 8, 255 if v & 0x8000 else 0))
        else:
            pixels.append(expand565(v) + (255,))
    return pixels


def color_palette(block, three_allowed):
    c0, c1 = struct.unpack_from("<2H", block)
    e0, e1 = expand565(c0), expand565(c1)
    if three_allowed and c0 <= c1:
        mid = tuple((a + b) // 2 for a, b in zip(e0, e1))
        return [e0 + (255,), e1 + (255,), mid + (255,), (0, 0, 0, 0)]
    t0 = tuple((2 * a + b) // 3 for a, b in zip(e0, e1))
    t1 = tuple((a + 2 * b) // 3 for a, b in zip(e0, e1))
    return [e0 + (255,), e1 + (255,), t0 + (255,), t1 + (255,)]


def decode_dxt(code, w, h, data):
    """RGBA tuples, rows from the top, by this script's reading of the blocks."""
    size = 8 if code in (10, 11) else 16
    bx_count = (w + 3) // 4
    pixels = [None] * (w * h)
    for index in range(len(data) // size):
        block = data[index * size:(index + 1) * size]
        bx, by = index % bx_count, index // bx_count
        color = block[-8:]
        palette = color_palette(color, code in (10, 11))
        for r in range(4):
            for c in range(4):
                x, y = bx * 4 + c, by * 4 + r
                if x >= w or y >= h:
                    continue
                p = palette[(color[4 + r] >> (2 * c)) & 3]
                if code == 12:
                    word = block[2 * r] | block[2 * r + 1] << 8
                    p = p[:3] + (((word >> (4 * c)) & 15) * 17,)
                pixels[y * w + x] = p
    return pixels


def write_dds(path, code, w, h, blocks):
    four_cc = b"DXT3" if code == 12 else b"DXT1"
    header = struct.pack("<4s7I44x", b"DDS ", 124, 0x81007, h, w, len(blocks), 0, 0)
    header += struct.pack("<2I4s5I", 32, 4, four_cc, 0, 0, 0, 0, 0)
    header += struct.pack("<5I", 0x1000, 0, 0, 0, 0)
    assert len(header) == 128
    with open(path, "wb") as f:
        f.write(header + blocks)


def tga_pixels_pillow(path, w, h, depth, label):
    """The TGA through Pillow as RGBA tuples, or None."""
    with Image.open(path) as image:
        check(image.format == "TGA", f"{label}: Pillow sees {image.format}")
        check(image.size == (w, h), f"{label}: Pillow size {image.size}, expected {(w, h)}")
        mode = "RGBA" if depth == 32 else "RGB"
        if not check(image.mode == mode, f"{label}: Pillow mode {image.mode}, expected {mode}"):
            return None
        return list(image.convert("RGBA").getdata())


def tga_pixels_magick(path, w, h, label):
    """The TGA through ImageMagick (its own binary, not a wrapper) as RGBA tuples.
    ImageMagick keeps the rows in file order and records the orientation
    (BottomLeft); -auto-orient applies it."""
    raw = subprocess.run(["/usr/bin/convert", path, "-auto-orient", "-depth", "8", "rgba:-"],
                         check=True, stdout=subprocess.PIPE).stdout
    if not check(len(raw) == w * h * 4, f"{label}: ImageMagick gave {len(raw)} bytes"):
        return None
    return [tuple(raw[i:i + 4]) for i in range(0, len(raw), 4)]


def compare(label, reader, got, expected, w, depth):
    bad = [i for i, (g, e) in enumerate(zip(got, expected))
           if (g if depth == 32 else g[:3]) != (e if depth == 32 else e[:3])]
    if bad:
        i = bad[0]
        failures.append(f"{label}: {reader}: {len(bad)} pixels differ; first at "
                        f"({i % w}, {i // w}): {got[i]} instead of {expected[i]}")


def compare_with_pillow_dxt(label, ours, theirs, w, depth):
    """Pillow's DXT colours may exceed ours by replicated low bits only."""
    for i, (o, t) in enumerate(zip(ours, theirs)):
        dr, dg, db = t[0] - o[0], t[1] - o[1], t[2] - o[2]
        transparent = depth == 32 and o[3] == 0
        if transparent:
            ok = t[3] == 0
        else:
            ok = 0 <= dr <= 7 and 0 <= dg <= 3 and 0 <= db <= 7 and (depth == 24 or t[3] == o[3])
        if not ok:
            failures.append(f"{label}: Pillow's DXT decoder: pixel ({i % w}, {i // w}) is {t}, "
                            f"ours {o}")
            return


def check_pattern(label, pattern, pixels, w, h):
    """Recognisable features of the picture itself, so that a shared mistake
    of the converter and this script (a flip, a channel swap) still shows."""
    if pattern != "quadrants":
        return
    top_left, top_right = pixels[0], pixels[w - 1]
    bottom_left, bottom_right = pixels[(h - 1) * w], pixels[h * w - 1]
    check(top_left[0] > 150 and top_left[1] < 100 and top_left[2] < 100, f"{label}: top left is not red: {top_left}")
    check(top_right[1] > 150 and top_right[0] < 100, f"{label}: top right is not green: {top_right}")
    check(bottom_left[2] > 150 and bottom_left[0] < 100, f"{label}: bottom left is not blue: {bottom_left}")
    check(bottom_right[0] > 150 and bottom_right[1] > 150 and bottom_right[2] < 100,
          f"{label}: bottom right is not yellow: {bottom_right}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ztexgen", required=True)
    parser.add_argument("--convert", required=True)
    args = parser.parse_args()
    magick = os.path.exists("/usr/bin/convert")
    folder = tempfile.mkdtemp(prefix="oskelt-readers-")
    try:
        for name, code, w, h, mips, pattern in CASES:
            label = f"{name} {w}x{h} {pattern}"
            ztex = os.path.join(folder, f"{name}-{w}x{h}-{pattern}-C.TEX")
            tga = ztex[:-len("-C.TEX")] + ".tga"
            subprocess.run([args.ztexgen, "--format", name, "--size", f"{w}x{h}", "--mips", str(mips),
                            "--pattern", pattern, "--seed", str(w * h), ztex], check=True)
            if not check(subprocess.run([args.convert, ztex, tga]).returncode == 0, f"{label}: not converted"):
                continue
            with open(ztex, "rb") as f:
                fmt, width, height, stored = level0(f.read())
            depth = 24 if code in (8, 10) else 32
            with open(tga, "rb") as f:
                raw = f.read()
            check(len(raw) == 18 + w * h * depth // 8 + 26, f"{label}: TGA of {len(raw)} bytes")
            check(raw[-18:] == b"TRUEVISION-XFILE.\0", f"{label}: no TGA footer")
            expected = decode_dxt(fmt, width, height, stored) if code >= 10 else \
                decode_uncompressed(fmt, width, height, stored)
            pillow = tga_pixels_pillow(tga, w, h, depth, label)
            if pillow is not None:
                compare(label, "Pillow", pillow, expected, w, depth)
                check_pattern(label, pattern, pillow, w, h)
            if magick:
                im = tga_pixels_magick(tga, w, h, label)
                if im is not None:
                    compare(label, "ImageMagick", im, expected, w, depth)
            if code >= 10 and pillow is not None:
                dds = tga[:-4] + ".dds"
                write_dds(dds, code, w, h, stored)
                with Image.open(dds) as image:
                    theirs = list(image.convert("RGBA").getdata())
                compare_with_pillow_dxt(label, pillow, theirs, w, depth)
            print(f"checked {label}: {depth}-bit, {w * h} pixels")
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(CASES) - len({f.split(':')[0] for f in failures})} passed, "
          f"{len({f.split(':')[0] for f in failures})} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
