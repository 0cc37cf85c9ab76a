#!/usr/bin/env python3
"""Prints a PE image's export directory name and its exports as "NAME RVA" lines.

Reads the file directly (PE/COFF layout), so that the check does not depend on
how a particular objdump prints the table.
"""
import struct
import sys


def main(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0", "not a PE image"
    nsections = struct.unpack_from("<H", data, pe + 6)[0]
    opt_size = struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    dirs = opt + (96 if magic == 0x10B else 112)
    export_rva = struct.unpack_from("<I", data, dirs)[0]
    sections = []
    for i in range(nsections):
        s = opt + opt_size + 40 * i
        vsize, vaddr, rsize, raddr = struct.unpack_from("<IIII", data, s + 8)
        sections.append((vaddr, max(vsize, rsize), raddr))

    def off(rva):
        for vaddr, size, raddr in sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raddr
        raise ValueError("RVA %x outside every section" % rva)

    def cstr(rva):
        o = off(rva)
        return data[o:data.index(b"\0", o)].decode("ascii")

    e = off(export_rva)
    name_rva, base, nfuncs, nnames, funcs, names, ords = struct.unpack_from("<IIIIIII", data, e + 12)
    print("DLLNAME", cstr(name_rva))
    for i in range(nnames):
        n = cstr(struct.unpack_from("<I", data, off(names) + 4 * i)[0])
        ordinal = struct.unpack_from("<H", data, off(ords) + 2 * i)[0]
        rva = struct.unpack_from("<I", data, off(funcs) + 4 * ordinal)[0]
        print(n, "%x" % rva)


if __name__ == "__main__":
    main(sys.argv[1])
