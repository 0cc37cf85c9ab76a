#!/usr/bin/env python3
"""Checks that a built library holds the keyboard watch's warning box as the
wide Windows API takes it: the exact UTF-16LE code units of the caption and of
the text, each ending in a NUL code unit.

The expected texts are written as code points here, so that no editor, source
encoding or compiler option can change them on both sides at once.

Usage: check_warning_text.py LIBRARY
"""
import sys

CAPTION = "Halvaren Sorceress"
TEXT = "\n".join([
    "\u3042\u3044\u305f\u3063\uff01",
    "\u3046" + "\u304e\u3085" * 4 + "...",
    "\u6b21\u3084\u3063\u305f\u3089\u9b54\u6cd5\u3067\u6b62\u3081\u3061\u3083\u3044\u307e"
    "\u3059\u304b\u3089\u306d\uff01",
])


def main(path):
    data = open(path, "rb").read()
    ok = True
    for name, s in (("caption", CAPTION), ("text", TEXT)):
        units = s.encode("utf-16-le") + b"\0\0"
        at = data.find(units)
        if at < 0:
            print(f"FAIL: the warning box {name} is not in {path} as UTF-16LE", file=sys.stderr)
            ok = False
        else:
            print(f"ok: warning box {name}, {len(s)} code units, at file offset {at:#x}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
