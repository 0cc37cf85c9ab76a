#!/usr/bin/env python3
"""Reads a DLL's version resource straight from its PE image and checks it.

Usage: pe_version.py DLL VERSION

Walks the resource directory to the version record, decodes its fixed part and
its strings, prints them, and fails unless both versions are VERSION, the file
names the product, and the description names the build (x86 or x64) that the
image's machine field says it is.
"""
import struct
import sys

from pe_image import Image

RT_VERSION = 16
MACHINE_ARCH = {0x14C: "x86", 0x8664: "x64"}
FIXED_SIGNATURE = 0xFEEF04BD


def align4(n):
    return (n + 3) & ~3


def node(block, at):
    """One record of the version tree: (key, value, children, end)."""
    length, value_length, is_text = struct.unpack_from("<HHH", block, at)
    end = at + length
    key_end = at + 6
    while block[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = block[at + 6:key_end].decode("utf-16-le")
    pos = align4(key_end + 2)
    if is_text:
        value = block[pos:pos + 2 * value_length].decode("utf-16-le").rstrip("\0")
        pos += 2 * value_length
    else:
        value = block[pos:pos + value_length]
        pos += value_length
    children = []
    pos = align4(pos)
    while pos < end:
        child = node(block, pos)
        children.append(child)
        pos = align4(child[3])
    return key, value, children, end


def main(path, version):
    image = Image(open(path, "rb").read())
    key, fixed, children, _ = node(image.resource(RT_VERSION), 0)
    assert key == "VS_VERSION_INFO", key
    signature, _, ms, ls, pms, pls = struct.unpack_from("<IIIIII", fixed, 0)
    assert signature == FIXED_SIGNATURE, "bad fixed version record"
    numbers = lambda hi, lo: "%d.%d.%d.%d" % (hi >> 16, hi & 0xFFFF, lo >> 16, lo & 0xFFFF)
    strings = {}
    for child in children:
        if child[0] == "StringFileInfo":
            for table in child[2]:
                strings.update({k: v for k, v, _, _ in table[2]})
    print("FileVersion (fixed) %s, ProductVersion (fixed) %s" % (numbers(ms, ls), numbers(pms, pls)))
    for name in sorted(strings):
        print("%s: %s" % (name, strings[name]))

    arch = MACHINE_ARCH.get(image.machine, "machine %#x" % image.machine)
    want = {
        "FileVersion": version,
        "ProductVersion": version,
        "ProductName": "ATSVorlan800",
        "OriginalFilename": "ATSVorlan800.dll",
    }
    problems = ["%s is %r, wanted %r" % (k, strings.get(k), v)
                for k, v in want.items() if strings.get(k) != v]
    fixed_wanted = version + ".0"
    for label, got in (("fixed file", numbers(ms, ls)), ("fixed product", numbers(pms, pls))):
        if got != fixed_wanted:
            problems.append("%s version is %s, wanted %s" % (label, got, fixed_wanted))
    if "(%s)" % arch not in strings.get("FileDescription", ""):
        problems.append("FileDescription does not name the %s build" % arch)
    for p in problems:
        print("FAIL: " + p, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
