#!/usr/bin/env python3
"""What atshost decides, pinned: for the demo, every example in scenarios/ and
every route in host/tests/routes/, the drive's (or replay's) terminal output
and exit status, its trace as one short digest per line (the
examples' and the demo's), and for routes the check's
report and exit status. Compared byte for byte with tests/golden/runs/; a trace that
differs is named by its first differing line.

  golden.py ATSHOST OUTDIR            compare (the test)
  golden.py ATSHOST OUTDIR --update   write tests/golden/runs/ anew (make golden)
"""
import hashlib
import os
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
GOLDEN = ROOT / "tests" / "golden" / "runs"


def inputs():
    """(name, command, file, whether its trace is kept)"""
    yield "demo", "drive", None, True
    for p in sorted((ROOT / "scenarios").glob("*.txt")):
        yield p.stem, "replay", p, True
    for folder in (ROOT / "scenarios", ROOT / "host" / "tests" / "routes"):
        # The test routes' traces would be megabytes: their timelines and
        # verdicts pin them.
        examples = folder.name == "scenarios"
        for p in sorted(folder.glob("*.route")):
            yield p.stem, "drive", p, examples
            yield p.stem, "check", p, False


def run(atshost, out, command, path):
    args = [atshost, command] + ([str(path)] if path else []) + ["--out", str(out)]
    r = subprocess.run(args, capture_output=True, text=True, env=dict(os.environ, LC_ALL="C"))
    text = (r.stdout + r.stderr).replace(str(out) + os.sep, "OUT/").replace(str(ROOT) + os.sep, "")
    return f"exit {r.returncode}\n{text}"


def digests(csv):
    if not csv.exists():
        return "no trace\n"
    lines = csv.read_bytes().split(b"\n")
    return "".join(hashlib.sha256(line).hexdigest()[:4] + "\n" for line in lines)


def outputs(atshost, out):
    for name, command, path, trace in inputs():
        folder = out / f"{name}.{command}"
        folder.mkdir(parents=True, exist_ok=True)
        text = run(atshost, folder, command, path)
        yield f"{name}.{command}.txt", text
        if trace:
            yield f"{name}.{command}.trace", digests(folder / f"{name}.csv")


def first_difference(want, got):
    w, g = want.splitlines(), got.splitlines()
    for i, (a, b) in enumerate(zip(w, g)):
        if a != b:
            return i + 1, a, b
    return min(len(w), len(g)) + 1, "(end)" if len(w) < len(g) else w[len(g)], "(end)"


def main():
    atshost, out = sys.argv[1], pathlib.Path(sys.argv[2]).resolve()
    update = "--update" in sys.argv[3:]
    failures = 0
    made = set()
    for name, text in outputs(atshost, out):
        made.add(name)
        golden = GOLDEN / name
        if update:
            golden.write_text(text)
            continue
        want = golden.read_text() if golden.exists() else ""
        if want != text:
            failures += 1
            line, a, b = first_difference(want, text)
            what = "trace line" if name.endswith(".trace") else "line"
            print(f"{name}: differs first at {what} {line}:\n  golden: {a}\n  now:    {b}")
    for stale in sorted(p.name for p in GOLDEN.iterdir() if p.name not in made):
        if update:
            (GOLDEN / stale).unlink()
        else:
            failures += 1
            print(f"{stale}: golden output of no input (make golden removes it)")
    if failures:
        print(f"{failures} outputs differ from tests/golden/runs/: if on purpose, run make golden "
              "and say in the commit which outputs changed and why")
        return 1
    print("all outputs as in tests/golden/runs/" if not update else "tests/golden/runs/ written")
    return 0


if __name__ == "__main__":
    sys.exit(main())
