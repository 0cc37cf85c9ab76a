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

RT_VERSION = 16
MACHINE_ARCH = {0x14C: "x86", 0x8664: "x64"}
FIXED_SIGNATURE = 0xFEEF04BD


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0", "not a PE image"
        self.machine, nsections = struct.unpack_from("<HH", data, pe + 4)
        opt_size = struct.unpack_from("<H", data, pe + 20)[0]
        opt = pe + 24
        magic = struct.unpack_from("<H", data, opt)[0]
        dirs = opt + (96 if magic == 0x10B else 112)
        self.resource_rva, self.resource_size = struct.unpack_from("<II", data, dirs + 8 * 2)
        self.sections = []
        for i in range(nsections):
            s = opt + opt_size + 40 * i
            vsize, vaddr, rsize, raddr = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((vaddr, max(vsize, rsize), raddr))

    def offset(self, rva):
        for vaddr, size, raddr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raddr
        raise ValueError("RVA %x outside every section" % rva)

    def resource(self, type_id):
        """The data of the first resource of a type (first name, first language)."""
        base = self.offset(self.resource_rva)
        entry = self._entry(base, base, type_id)
        for _ in range(2):  # name, then language: the first of each
            entry = self._entry(base, base + (entry & 0x7FFFFFFF), None)
        rva, size = struct.unpack_from("<II", self.data, base + entry)
        return self.data[self.offset(rva):self.offset(rva) + size]

    def _entry(self, base, table, wanted):
        named, ids = struct.unpack_from("<HH", self.data, table + 12)
        for i in range(named + ids):
            ident, target = struct.unpack_from("<II", self.data, table + 16 + 8 * i)
            if wanted is None or ident == wanted:
                return target
        raise ValueError("no resource of type %s" % wanted)


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
