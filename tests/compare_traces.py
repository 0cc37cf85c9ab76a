#!/usr/bin/env python3
"""Runs atshost twice on the same input, once with the native library and once
with a Windows DLL, and requires the two CSV traces and exit statuses to be
identical. A difference names the first differing row (with its frame number)
and column.

Usage: compare_traces.py [--host COMMAND] [--label NAME] ATSHOST DLL OUTDIR ARGS...
  ARGS are atshost's subcommand and its arguments, e.g. `replay FILE` or
  `drive [ROUTE]`.
  Without --host, the native ATSHOST runs the DLL too (a 32-bit DLL under
  emulation). With --host, COMMAND (split as a shell would, e.g. a Wine runner
  followed by atshost.exe) runs the DLL instead: the Windows host in a Windows
  process, loading the DLL with the system's own loader, or a host that runs
  the WebAssembly module. NAME (default: DLL) names that side in messages.
"""
import csv
import io
import pathlib
import shlex
import subprocess
import sys

# The Wine runner's status when Windows programs cannot run here: CTest's skip.
SKIP = 77

# A trace without a frame proves nothing.
MIN_FRAMES = 1


def run(host, out, plugin, args):
    cmd = host + ["--quiet", "--out", str(out)]
    if plugin:
        cmd += ["--plugin", plugin]
    proc = subprocess.run(cmd + args, capture_output=True, text=True)
    csvs = sorted(out.glob("*.csv"))
    if proc.returncode == SKIP and "SKIPPED" in proc.stderr:
        return proc, b""
    if len(csvs) != 1:
        sys.exit(f"{' '.join(cmd + args)} exited {proc.returncode} and wrote "
                 f"{len(csvs)} traces\n{proc.stderr}")
    return proc, csvs[0].read_bytes()


def first_difference(native, dll, label):
    a = list(csv.reader(io.StringIO(native.decode())))
    b = list(csv.reader(io.StringIO(dll.decode())))
    header = a[0] if a else []
    for row, (ra, rb) in enumerate(zip(a, b)):
        if ra == rb:
            continue
        frame = ra[0] if ra else "?"
        for col in range(max(len(ra), len(rb))):
            va = ra[col] if col < len(ra) else "(missing)"
            vb = rb[col] if col < len(rb) else "(missing)"
            if va != vb:
                name = header[col] if col < len(header) else f"#{col}"
                return (f"frame {frame} (line {row + 1} of the trace), column {name}: "
                        f"native {va!r}, {label} {vb!r}")
        return f"frame {frame} (line {row + 1} of the trace): differs in its quoting"
    return f"the traces have {len(a)} and {len(b)} rows"


def main():
    argv = sys.argv[1:]
    windows_host = None
    if argv[:1] == ["--host"] and len(argv) > 1:
        windows_host = shlex.split(argv[1])
        argv = argv[2:]
    label = "DLL"
    if argv[:1] == ["--label"] and len(argv) > 1:
        label = argv[1]
        argv = argv[2:]
    if len(argv) < 4:
        sys.exit(__doc__)
    atshost, dll, outdir, args = argv[0], argv[1], pathlib.Path(argv[2]), argv[3:]
    results = {}
    for side, host, plugin in (("native", [atshost], None),
                               ("dll", windows_host or [atshost], dll)):
        out = outdir / side
        out.mkdir(parents=True, exist_ok=True)
        for old in out.glob("*.csv"):
            old.unlink()
        results[side] = run(host, out, plugin, args)
    (pn, native), (pd, emulated) = results["native"], results["dll"]
    if windows_host and pd.returncode == SKIP and "SKIPPED" in pd.stderr:
        print(pd.stderr.strip())  # the Windows host cannot run on this machine
        sys.exit(SKIP)
    if pn.returncode != pd.returncode:
        sys.exit(f"exit status: native {pn.returncode}, {label} {pd.returncode}\n"
                 f"native: {pn.stderr}\n{label}: {pd.stderr}")
    if native != emulated:
        sys.exit("traces differ at " + first_difference(native, emulated, label))
    frames = native.count(b"\n") - 1
    if frames < MIN_FRAMES:
        sys.exit(f"only {frames} frames: nothing was compared")
    print(f"{' '.join(args)}: {frames} frames identical, exit status {pn.returncode}")


if __name__ == "__main__":
    main()
