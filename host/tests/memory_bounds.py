#!/usr/bin/env python3
"""What a run costs follows its frames, not its events: a scenario of 4
million events over 4,000 frames (1,000 a frame) runs in at most 256 MB and
writes a cab-view page of at most 10 MB, which shows each frame's first
events and counts the rest; the trace keeps every event.
  memory_bounds.py ATSHOST WORK_DIR"""
import os
import resource
import shutil
import subprocess
import sys

FRAMES, EVENTS_PER_FRAME = 4000, 1000
MAX_RSS_MB, MAX_PAGE_MB = 256, 10

atshost, work = sys.argv[1], sys.argv[2]
os.makedirs(work, exist_ok=True)
scenario = os.path.join(work, "events.txt")
with open(scenario, "w") as f:
    f.write("vehicle brake-notches=8\ninitialize\n")
    for i in range(FRAMES):
        f.write("horn 1\n" * EVENTS_PER_FRAME + "frame time=%d\n" % (i * 20))

run = subprocess.run([atshost, "replay", scenario, "--quiet", "--out", work],
                     capture_output=True, text=True)
rss_mb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024
page = os.path.join(work, "events.html")
failures = []
if run.returncode != 0:
    failures.append("atshost failed: " + run.stderr[:500])
else:
    page_mb = os.path.getsize(page) / 2**20
    if rss_mb > MAX_RSS_MB:
        failures.append("peak memory %.0f MB, more than %d MB" % (rss_mb, MAX_RSS_MB))
    if page_mb > MAX_PAGE_MB:
        failures.append("the page is %.1f MB, more than %d MB" % (page_mb, MAX_PAGE_MB))
    more = "and %d more events" % (EVENTS_PER_FRAME - 8)
    if more not in open(page, encoding="utf-8").read():
        failures.append("the page does not count the events it leaves out ('%s')" % more)
    with open(os.path.join(work, "events.csv"), encoding="utf-8") as trace:
        horns = sum(row.count("horn 1") for row in trace)
    if horns != FRAMES * EVENTS_PER_FRAME:
        failures.append("the trace holds %d of the %d events" % (horns, FRAMES * EVENTS_PER_FRAME))
shutil.rmtree(work)  # 60 MB of scenario and trace
for f in failures:
    print("FAIL:", f)
if not failures:
    print("4M events over 4000 frames: peak %.0f MB, page %.2f MB" % (rss_mb, page_mb))
sys.exit(1 if failures else 0)
