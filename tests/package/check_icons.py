#!/usr/bin/python3
"""The committed icons are what tools/make-icon.py renders now from
res/OskeltZTEX.svg.

Renders the drawing afresh into a temporary folder and compares: the .ico
byte for byte (the script writes it itself), each PNG and the picture in
docs/ by size, mode and pixels (their compressed bytes may differ with the
zlib at hand).

Usage: check_icons.py SOURCE_DIR
"""
import os
import subprocess
import sys
import tempfile

from PIL import Image

SIZES = [16, 24, 32, 48, 64, 128, 256]


def same_pixels(committed_path, drawn_path, size, failures, name):
    committed = Image.open(committed_path)
    drawn = Image.open(drawn_path).convert("RGBA")
    if committed.mode != "RGBA" or (size and committed.size != (size, size)):
        failures.append("%s is %s %dx%d, not RGBA %s" % (name, committed.mode, *committed.size,
                                                        "%dx%d" % (size, size) if size else ""))
        return None
    if committed.size != drawn.size or committed.tobytes() != drawn.tobytes():
        failures.append("%s differs from the drawing" % name)
        return None
    return committed


def main():
    source = sys.argv[1]
    res = os.path.join(source, "res")
    failures = []
    with tempfile.TemporaryDirectory() as fresh:
        subprocess.run([sys.executable, os.path.join(source, "tools", "make-icon.py"), fresh, fresh],
                       check=True, stdout=subprocess.DEVNULL)
        with open(os.path.join(res, "OskeltZTEX.ico"), "rb") as a, \
                open(os.path.join(fresh, "OskeltZTEX.ico"), "rb") as b:
            if a.read() != b.read():
                failures.append("res/OskeltZTEX.ico differs from the drawing")
        for size in SIZES:
            name = "OskeltZTEX-%d.png" % size
            committed = same_pixels(os.path.join(res, name), os.path.join(fresh, name), size,
                                    failures, "res/" + name)
            if committed:
                # A picture inside its margins: opaque and transparent pixels
                # both, and nothing on the outermost rows and columns.
                alpha = committed.getchannel("A")
                if alpha.getextrema() != (0, 255):
                    failures.append("res/%s: alpha spans %s, not 0..255" % (name, alpha.getextrema()))
                left, top, right, bottom = alpha.getbbox()
                if left == 0 or top == 0 or right == size or bottom == size:
                    failures.append("res/%s touches its edges" % name)
        same_pixels(os.path.join(source, "docs", "icon.png"), os.path.join(fresh, "icon.png"), 0,
                    failures, "docs/icon.png")
    for failure in failures:
        print("FAIL:", failure)
    if failures:
        print("Run tools/make-icon.py and commit res/ and docs/icon.png again.")
        return 1
    print("icons: res/OskeltZTEX.ico, %d PNG files and docs/icon.png are the current rendering"
          % len(SIZES))
    return 0


if __name__ == "__main__":
    sys.exit(main())
