#!/usr/bin/env python3
"""Prints a PE image's export directory name and its exports as "NAME RVA" lines.

Reads the file directly (PE/COFF layout), so that the check does not depend on
how a particular objdump prints the table.
"""
import sys

from pe_image import Image


def main(path):
    dll_name, exports = Image(open(path, "rb").read()).exports()
    print("DLLNAME", dll_name)
    for name, rva in exports.items():
        print(name, "%x" % rva)


if __name__ == "__main__":
    main(sys.argv[1])
