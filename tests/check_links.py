#!/usr/bin/env python3
"""Every link in the READMEs (README.md, README.ja.md) and the pages in docs/
leads somewhere: a relative link to a file that exists, and an anchor (#part)
to a heading of that file, spelled as GitHub spells its anchors (Japanese
headings included). Web addresses are left alone (the tests reach no network).
  check_links.py SOURCE_DIR"""
import pathlib
import re
import sys

LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")
HEADING = re.compile(r"^#{1,6}\s+(.*?)\s*#*\s*$")
FENCE = re.compile(r"^\s*```")


def prose(path):
    """The lines of a Markdown file outside its code blocks."""
    inside = False
    for line in path.read_text(encoding="utf-8").splitlines():
        if FENCE.match(line):
            inside = not inside
        elif not inside:
            yield line


def anchor(heading):
    text = re.sub(r"[`*_]|\[([^\]]*)\]\([^)]*\)", r"\1", heading).strip().lower()
    return re.sub(r"[^\w\- ]", "", text).replace(" ", "-")


def anchors(path):
    return {anchor(m.group(1)) for line in prose(path) if (m := HEADING.match(line))}


root = pathlib.Path(sys.argv[1])
pages = sorted(root.glob("README*.md")) + sorted((root / "docs").glob("*.md"))
broken = []
for page in pages:
    for number, line in enumerate(prose(page), 1):
        for target in LINK.findall(line):
            if re.match(r"[a-z]+:", target):
                continue
            file, _, part = target.partition("#")
            dest = (page.parent / file).resolve() if file else page
            where = f"{page.relative_to(root)}: ({target})"
            if not dest.exists():
                broken.append(f"{where}: no file {file}")
            elif part and dest.suffix == ".md" and part not in anchors(dest):
                broken.append(f"{where}: no heading #{part} in {file or page.name}")
for b in broken:
    print("broken link:", b)
print(f"{len(pages)} pages, {len(broken)} broken links")
sys.exit(1 if broken else 0)
