#!/usr/bin/env python3
"""The authors' guide in English and in Japanese says the same figures: every
table and the example carry, row by row, the same numbers (in whatever order
the sentence wants them). And each plain-text guide is UTF-8 that fits a
78-column terminal, wide characters counted as two columns (Python's own
Unicode tables, not the generator's), with no character of ambiguous width.
  guide_languages.py DOCS_DIR"""
import pathlib
import re
import sys
import unicodedata

NUMBER = re.compile(r"(?:(?<!\w)-)?\d+(?:\.\d+)?")  # "type-10" is 10, "-25" is -25
WIDTH = 78


def rows(markdown):
    """The guide's table rows and example lines, in order: each a list of
    its cells' numbers, sorted (a cell is one row of a table; the table's
    rule lines are left out)."""
    out, inside = [], False
    for line in markdown.splitlines():
        if line.startswith("```"):
            inside = not inside
        elif inside or (line.startswith("|") and not line.startswith("|---")):
            out.append(sorted(NUMBER.findall(line)))
    return out


def width(line, where):
    total = 0
    for ch in line:
        kind = unicodedata.east_asian_width(ch)
        if kind == "A":
            raise SystemExit(f"{where}: {ch!r} has an ambiguous width")
        total += 2 if kind in ("W", "F") else 1
    return total


docs = pathlib.Path(sys.argv[1])
faults = []
english = rows((docs / "authors-guide.md").read_text(encoding="utf-8"))
japanese = rows((docs / "authors-guide.ja.md").read_text(encoding="utf-8"))
if len(english) != len(japanese):
    faults.append(f"{len(english)} table rows in English, {len(japanese)} in Japanese")
for number, (en, ja) in enumerate(zip(english, japanese), 1):
    if en != ja:
        faults.append(f"table row {number}: English {en}, Japanese {ja}")

for name in ("authors-guide.txt", "authors-guide.ja.txt"):
    text = (docs / name).read_bytes().decode("utf-8")  # fails on a cut character
    for number, line in enumerate(text.splitlines(), 1):
        columns = width(line, f"{name}:{number}")
        if columns > WIDTH:
            faults.append(f"{name}:{number}: {columns} columns")

for fault in faults:
    print(fault)
print(f"{len(english)} table rows compared, {len(faults)} faults")
sys.exit(1 if faults else 0)
