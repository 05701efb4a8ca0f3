#!/usr/bin/python3
"""Reads the resources back out of a built OskeltZTEX.exe and checks them.

    check_resources.py WINDRES EXE ARCH      (ARCH: X86 or amd64)

The executable's resource section is turned into a .res file by windres
and parsed here byte by byte: dialog 101 (style, size, font, every control
with its class, id, text, position, size and styles), icon group 1 and its
five images, the manifest, and the version record.
"""
import os
import struct
import subprocess
import sys
import tempfile

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def read_id(data, at):
    """A resource or class name: 0xFFFF and a number, or a UTF-16 string."""
    (first,) = struct.unpack_from("<H", data, at)
    if first == 0xFFFF:
        (number,) = struct.unpack_from("<H", data, at + 2)
        return number, at + 4
    end = at
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def align4(at):
    return (at + 3) & ~3


def read_res(path):
    data = open(path, "rb").read()
    resources = {}
    at = 0
    while at + 8 <= len(data):
        size, header = struct.unpack_from("<II", data, at)
        kind, p = read_id(data, at + 8)
        name, p = read_id(data, p)
        p = align4(p)
        _, _, language = struct.unpack_from("<IHH", data, p)
        body = data[at + header:at + header + size]
        if size:
            resources[(kind, name)] = (language, body)
        at = align4(at + header + size)
    return resources


RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24

CONTROLS = [
    # class, id, text, x, y, cx, cy, style, extended style
    (0x0082, 0xFFFFFFFF, "&Path :", 10, 10, 20, 12, 0x50020000, 0),
    (0x0081, 1001, "", 33, 8, 260, 14, 0x50000800, 0x00020000),
    (0x0080, 1002, "...", 293, 8, 30, 14, 0x50010000, 0),
    ("RICHEDIT", 1003, "", 8, 30, 315, 163, 0x503318C4, 0x00020000),
    (0x0080, 1004, "&Info...", 166, 201, 50, 14, 0x50030000, 0),
    (0x0080, 1005, "&Convert", 216, 201, 50, 14, 0x50010001, 0),
    (0x0080, 1006, "E&xit", 273, 201, 50, 14, 0x50010000, 0),
    ("MSCTLS_PROGRESS32", 1008, "", 8, 201, 150, 14, 0x50020001, 0),
]


def check_dialog(body):
    version, signature, _, ex_style, style, count, x, y, cx, cy = struct.unpack_from(
        "<HHIIIHhhhh", body, 0)
    check((version, signature) == (1, 0xFFFF), "dialog 101 is an extended template")
    check(style == 0x80CA0848, "dialog style 0x%08X" % style)
    check(ex_style == 0, "dialog extended style 0x%X" % ex_style)
    check((x, y, cx, cy) == (0, 0, 331, 222), "dialog position and size %r" % ((x, y, cx, cy),))
    check(count == len(CONTROLS), "dialog has %d controls" % count)
    p = 26
    menu, p = read_id(body, p)
    window_class, p = read_id(body, p)
    caption, p = read_id(body, p)
    check(menu == "" and window_class == "", "no menu, the default dialog class")
    check(caption == "OskeltZTEX 2.6", "caption %r" % caption)
    points, weight, italic, charset = struct.unpack_from("<HHBB", body, p)
    face, p = read_id(body, p + 6)
    check((points, weight, italic, charset, face) == (8, 0, 0, 1, "MS Shell Dlg"),
          "font %r" % ((points, weight, italic, charset, face),))
    for expected in CONTROLS[:count]:
        p = align4(p)
        _, ex, st, cx_, cy_, w, h, ident = struct.unpack_from("<IIIhhhhI", body, p)
        p += 24
        cls, p = read_id(body, p)
        text, p = read_id(body, p)
        (extra,) = struct.unpack_from("<H", body, p)
        p += 2 + extra
        if isinstance(cls, str):
            cls = cls.upper()
        got = (cls, ident, text, cx_, cy_, w, h, st, ex)
        check(got == expected, "control %r, expected %r" % (got, expected))


def check_icons(resources):
    group = resources.get((RT_GROUP_ICON, 1))
    check(group is not None, "icon group 1")
    if not group:
        return
    body = group[1]
    _, kind, count = struct.unpack_from("<HHH", body, 0)
    check(kind == 1 and count == 5, "icon group 1 holds five icons")
    wanted = [(16, 16, 4), (16, 16, 24), (32, 32, 4), (32, 32, 24), (48, 48, 24)]
    for i in range(count):
        w, h, colours, _, planes, bits, size, ident = struct.unpack_from("<BBBBHHIH", body, 6 + 14 * i)
        check((w, h, bits) == wanted[i], "icon %d is %dx%d at %d bits" % (i + 1, w, h, bits))
        image = resources.get((RT_ICON, ident))
        check(image is not None and len(image[1]) == size, "image %d of the group is present" % ident)
        if image:
            _, iw, ih, _, ibits = struct.unpack_from("<IiiHH", image[1], 0)
            check((iw, ih // 2, ibits) == wanted[i], "image %d holds %dx%d at %d bits" % (ident, iw, ih // 2, ibits))


def check_manifest(resources, arch):
    found = resources.get((RT_MANIFEST, 1))
    check(found is not None, "manifest 1")
    if not found:
        return
    text = found[1].decode("utf-8")
    check('type="win32"' in text and 'version="2.6.0.0"' in text, "manifest identity")
    check('processorArchitecture="%s"' % arch in text, "manifest names %s" % arch)
    check("<description>OskeltZTEX</description>" in text, "manifest description")
    check('name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="%s" '
          'publicKeyToken="6595b64144ccf1df" language="*"' % arch in text,
          "manifest asks for common controls 6")


def version_strings(body):
    """All String entries of the version record as {table: {key: value}}."""
    def node(at):
        length, value_length, kind = struct.unpack_from("<HHH", body, at)
        key, p = read_id(body, at + 6)
        p = align4(p)
        value_end = p + (value_length * 2 if kind == 1 else value_length)
        return length, key, p, value_end

    tables = {}
    length, key, p, value_end = node(0)
    fixed = struct.unpack_from("<13I", body, p)
    p = align4(value_end)
    end = length
    translation = None
    while p < end:
        child_length, child_key, cp, cv = node(p)
        if child_key == "StringFileInfo":
            q = align4(cv)
            while q < p + child_length:
                table_length, table_key, tp, tv = node(q)
                strings = {}
                r = align4(tv)
                while r < q + table_length:
                    s_length, s_key, sp, sv = node(r)
                    strings[s_key] = body[sp:sv].decode("utf-16-le").rstrip("\0")
                    r = align4(r + s_length)
                tables[table_key] = strings
                q = align4(q + table_length)
        elif child_key == "VarFileInfo":
            _, _, vp, vv = node(align4(cv))
            translation = struct.unpack_from("<HH", body, vp)
        p = align4(p + child_length)
    return fixed, tables, translation


def check_version(resources):
    found = resources.get((RT_VERSION, 1))
    check(found is not None, "version record 1")
    if not found:
        return
    fixed, tables, translation = version_strings(found[1])
    check(fixed[0] == 0xFEEF04BD, "fixed version block")
    check((fixed[2], fixed[3], fixed[4], fixed[5]) == (0x00020006, 0, 0x00020006, 0),
          "file and product version 2.6.0.0")
    check(list(tables) == ["00000000"], "one string table 00000000: %r" % list(tables))
    strings = tables.get("00000000", {})
    check(strings.get("FileDescription") == "OskeltZTEX - Brannoc TEXture Converter", "FileDescription")
    check(strings.get("FileVersion") == "2.6", "FileVersion")
    check(len(strings) == 4, "two further strings: %r" % strings)
    check(translation == (0, 0), "translation 0, 0")


def main():
    windres, exe, arch = sys.argv[1:4]
    with tempfile.TemporaryDirectory() as folder:
        res = os.path.join(folder, "back.res")
        subprocess.run([windres, "-J", "coff", "-i", exe, "-O", "res", "-o", res], check=True)
        resources = read_res(res)
    dialog = resources.get((RT_DIALOG, 101))
    check(dialog is not None, "dialog 101")
    if dialog:
        check_dialog(dialog[1])
    check_icons(resources)
    check_manifest(resources, arch)
    check_version(resources)
    for failure in failures:
        print("FAILED: " + failure)
    print("%s: %d resources, %s" % (os.path.basename(exe), len(resources),
                                    "all as built" if not failures else "%d failures" % len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
