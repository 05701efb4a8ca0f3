#!/usr/bin/python3
"""The committed icons are what tools/make-icon.py draws now.

Draws the icon afresh into a temporary folder and compares: the .ico byte
for byte (the script writes it itself), each PNG by its size, mode and
pixels (its compressed bytes may differ with the zlib at hand).

Usage: check_icons.py SOURCE_DIR
"""
import os
import subprocess
import sys
import tempfile

from PIL import Image

SIZES = [16, 32, 48, 256]


def main():
    source = sys.argv[1]
    res = os.path.join(source, "res")
    failures = []
    with tempfile.TemporaryDirectory() as fresh:
        subprocess.run([sys.executable, os.path.join(source, "tools", "make-icon.py"), fresh],
                       check=True, stdout=subprocess.DEVNULL)
        with open(os.path.join(res, "OskeltZTEX.ico"), "rb") as a, \
                open(os.path.join(fresh, "OskeltZTEX.ico"), "rb") as b:
            if a.read() != b.read():
                failures.append("res/OskeltZTEX.ico differs from the drawing")
        for size in SIZES:
            name = "OskeltZTEX-%d.png" % size
            committed = Image.open(os.path.join(res, name))
            drawn = Image.open(os.path.join(fresh, name))
            if committed.size != (size, size) or committed.mode != "RGBA":
                failures.append("res/%s is %s %dx%d, not RGBA %dx%d"
                                % (name, committed.mode, *committed.size, size, size))
            elif committed.tobytes() != drawn.convert("RGBA").tobytes():
                failures.append("res/%s differs from the drawing" % name)
            else:
                # A picture, not an empty square: opaque and transparent pixels both.
                alpha = committed.getchannel("A").getextrema()
                if alpha != (0, 255):
                    failures.append("res/%s: alpha spans %s, not 0..255" % (name, alpha))
    for failure in failures:
        print("FAIL:", failure)
    if failures:
        print("Run tools/make-icon.py and commit res/ again.")
        return 1
    print("icons: res/OskeltZTEX.ico and %d PNG files are the current drawing" % len(SIZES))
    return 0


if __name__ == "__main__":
    sys.exit(main())
