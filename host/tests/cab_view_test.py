#!/usr/bin/env python3
"""The cab view in a real browser: headless Chromium opens the demo's page at
a sample of frames that covers every value each panel, sound and handle
element takes, and every element's data-value must equal the trace's value for
that frame. The page must log no error or warning and make no network
request. The browser is driven through its DevTools protocol over a pipe.

usage: cab_view_test.py ATSHOST WORKDIR
"""
import csv
import fcntl
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

TIMEOUT_S = 60  # for the whole browser session
ROUNDING = 0.0501  # half a tenth, and a little for the float
BROWSER_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--remote-debugging-pipe",
]
# The frame shown, its time, location and speed as written, and every element
# of the contract as a [kind, index, value] triple.
READ_CONTRACT = """JSON.stringify({
  frame: document.body.dataset.frame,
  state: ['time', 'location', 'speed'].map(id => document.getElementById(id).textContent),
  values: Array.from(document.querySelectorAll('[data-panel],[data-sound],[data-handle]'), e => [
    e.dataset.panel !== undefined ? 'panel' : e.dataset.sound !== undefined ? 'sound' : 'handle',
    e.dataset.panel ?? e.dataset.sound ?? e.dataset.handle, e.dataset.value])})"""


class Failure(Exception):
    pass


class Browser:
    """Chromium under its DevTools protocol: JSON messages ended by a NUL,
    read by the browser on its fd 3 and written on its fd 4."""

    def __init__(self, profile):
        to_browser = os.pipe()
        from_browser = os.pipe()
        # Out of the way of 3 and 4 before the child moves them there.
        child_in = fcntl.fcntl(to_browser[0], fcntl.F_DUPFD, 10)
        child_out = fcntl.fcntl(from_browser[1], fcntl.F_DUPFD, 10)
        os.close(to_browser[0])
        os.close(from_browser[1])

        def wire():
            os.dup2(child_in, 3)
            os.dup2(child_out, 4)

        self.process = subprocess.Popen(
            [shutil.which("chromium") or "chromium", *BROWSER_FLAGS,
             "--user-data-dir=" + profile, "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            close_fds=False, preexec_fn=wire)
        os.close(child_in)
        os.close(child_out)
        self.write_fd = to_browser[1]
        self.read_fd = from_browser[0]
        self.buffer = b""
        self.next_id = 0
        self.events = []
        self.deadline = time.monotonic() + TIMEOUT_S

    def _receive(self):
        while b"\0" not in self.buffer:
            left = self.deadline - time.monotonic()
            if left <= 0 or not select.select([self.read_fd], [], [], left)[0]:
                raise Failure("the browser did not answer in time")
            chunk = os.read(self.read_fd, 1 << 16)
            if not chunk:
                raise Failure("the browser closed its pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def send(self, method, session=None, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self.write_fd, json.dumps(message).encode() + b"\0")
        while True:
            reply = self._receive()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise Failure(f"{method}: {reply['error']}")
                return reply.get("result", {})
            self.events.append(reply)

    def wait_for(self, method):
        for i, event in enumerate(self.events):
            if event.get("method") == method:
                return self.events.pop(i)
        while True:
            event = self._receive()
            if event.get("method") == method:
                return event
            self.events.append(event)

    def close(self):
        try:
            self.send("Browser.close")
        except Failure:
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def sample_frames(rows, contract_columns):
    """Frames that show every value of every element at least once, each
    change of the unit's lamps and the frame before it, the first and last."""
    frames = {0, len(rows) - 1}
    seen = set()
    for i, row in enumerate(rows):
        for column in contract_columns:
            if (column, row[column]) not in seen:
                seen.add((column, row[column]))
                frames.add(i)
        if i > 0 and any(row[c] != rows[i - 1][c] for c in contract_columns
                         if c.startswith(("p0_", "p1_", "p2_", "p5_", "p201_"))):
            frames.update({i - 1, i})
    return sorted(frames)


def main():
    atshost, work = sys.argv[1], sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    subprocess.run([atshost, "drive", "--out", work, "-q"], check=True)
    with open(os.path.join(work, "demo.csv"), newline="") as f:
        rows = list(csv.DictReader(f))
    panel = {c.split("_")[0][1:]: c for c in rows[0] if c[0] == "p" and c[1].isdigit()}
    sound = {c.split("_")[0][1:]: c for c in rows[0] if c[0] == "s" and c[1].isdigit()}
    handle = {"brake": "brake", "power": "power", "reverser": "reverser",
              "constant-speed": "constant_speed"}
    columns = {"panel": panel, "sound": sound, "handle": handle}
    contract_columns = [*panel.values(), *sound.values(), *handle.values()]
    frames = sample_frames(rows, contract_columns)
    page = "file://" + os.path.abspath(os.path.join(work, "demo.html"))

    started = time.monotonic()
    profile = tempfile.mkdtemp(prefix="cab-view-profile-")
    browser = Browser(profile)
    problems = []
    try:
        target = next(t for t in browser.send("Target.getTargets")["targetInfos"]
                      if t["type"] == "page")
        session = browser.send("Target.attachToTarget", targetId=target["targetId"],
                               flatten=True)["sessionId"]
        for domain in ("Page", "Runtime", "Log", "Network"):
            browser.send(domain + ".enable", session)

        def evaluate(expression):
            result = browser.send("Runtime.evaluate", session, expression=expression,
                                  returnByValue=True)
            if "exceptionDetails" in result:
                raise Failure(f"{expression}: {result['exceptionDetails']}")
            return result["result"].get("value")

        def shown_frame(expected):
            # The page renders at once on a new address; allow it a moment.
            for _ in range(200):
                shown = evaluate(READ_CONTRACT)
                if json.loads(shown)["frame"] == str(expected):
                    return json.loads(shown)
                time.sleep(0.01)
            raise Failure(f"the page did not show frame {expected}")

        browser.send("Page.navigate", session, url=f"{page}#frame={frames[0]}")
        browser.wait_for("Page.loadEventFired")
        for frame in frames:
            # A new address in the same page: the page follows it.
            browser.send("Page.navigate", session, url=f"{page}#frame={frame}")
            shown = shown_frame(frame)
            row = rows[frame]
            # The train's state is shown rounded: the time to the millisecond,
            # location and speed to a tenth.
            time_s, metres, kmh = shown["state"]
            if (time_s != f"{int(row['time_ms']) / 1000:.3f}"
                    or abs(float(metres) - float(row["location_m"])) > ROUNDING
                    or abs(float(kmh) - float(row["speed_kmh"])) > ROUNDING):
                problems.append(f"frame {frame}: shows {shown['state']}, the trace has "
                                f"{row['time_ms']} ms, {row['location_m']} m, "
                                f"{row['speed_kmh']} km/h")
            counts = {kind: 0 for kind in columns}
            for kind, index, value in shown["values"]:
                counts[kind] += 1
                expected = row.get(columns[kind].get(index))
                if value != expected:
                    problems.append(f"frame {frame}: {kind} {index} shows {value}, "
                                    f"the trace has {expected}")
            for kind, n in counts.items():
                if n != len(columns[kind]):
                    problems.append(f"frame {frame}: {n} {kind} elements, "
                                    f"{len(columns[kind])} expected")
            # Every traced index, and every handle, shown by exactly one element.
            if frame == frames[0]:
                for kind, traced in columns.items():
                    indices = sorted(i for k, i, _ in shown["values"] if k == kind)
                    if indices != sorted(traced):
                        problems.append(f"the cab's {kind} elements are {indices}, "
                                        f"the trace's are {sorted(traced)}, each once")

        # Opened at a host time: the frame shown at that moment.
        trip = next(i for i, r in enumerate(rows) if r["p2_tripped"] == "1")
        seconds = int(rows[trip]["time_ms"]) / 1000
        browser.send("Page.navigate", session, url="about:blank")
        browser.wait_for("Page.loadEventFired")
        browser.send("Page.navigate", session, url=f"{page}#t={seconds}")
        browser.wait_for("Page.loadEventFired")
        shown_frame(trip)
        # At the trip the bell was started in this very frame, and the sound
        # says so; every lamp names its panel index.
        bell = evaluate("(e => e.dataset.command + e.dataset.since)"
                        "(document.querySelector('[data-sound=\"8\"]'))")
        if bell != f"play once · from frame {trip}":
            problems.append(f"frame {trip}: the bell shows '{bell}', not the frame it started")
        unnamed = evaluate("Array.from(document.querySelectorAll('[data-panel]'))"
                           ".filter(e => e.title !== 'panel ' + e.dataset.panel).length")
        if unnamed != 0:
            problems.append(f"{unnamed} lamps do not name their panel index")
        # A key moves one frame on, and the address follows.
        for kind in ("keyDown", "keyUp"):
            browser.send("Input.dispatchKeyEvent", session, type=kind, key="ArrowRight",
                         code="ArrowRight", windowsVirtualKeyCode=39)
        shown_frame(trip + 1)
        for _ in range(100):
            if evaluate("location.hash") == f"#frame={trip + 1}":
                break
            time.sleep(0.02)
        else:
            problems.append("the address does not follow the frame shown")
        # Space plays the run on, and pauses it again.
        def press_space():
            for kind in ("keyDown", "keyUp"):
                browser.send("Input.dispatchKeyEvent", session, type=kind, key=" ",
                             code="Space", windowsVirtualKeyCode=32)
        press_space()
        for _ in range(150):
            if int(json.loads(evaluate(READ_CONTRACT))["frame"]) > trip + 1:
                break
            time.sleep(0.02)
        else:
            problems.append("space does not play the run")
        press_space()

        for event in browser.events:
            method, params = event.get("method"), event.get("params", {})
            if method == "Runtime.exceptionThrown":
                problems.append(f"script error: {params['exceptionDetails']}")
            elif method == "Runtime.consoleAPICalled" and params["type"] in (
                    "error", "warning", "assert"):
                problems.append(f"console {params['type']}: {params['args']}")
            elif method == "Log.entryAdded" and params["entry"]["level"] in ("error", "warning"):
                problems.append(f"browser log: {params['entry']['text']}")
            elif method == "Network.requestWillBeSent":
                url = params["request"]["url"]
                if url.split("#")[0] not in (page, "about:blank"):
                    problems.append(f"network request: {url}")
    finally:
        browser.close()
        shutil.rmtree(profile, ignore_errors=True)

    for p in problems[:40]:
        print(p)
    print(f"cab view: {len(frames)} frames checked in {time.monotonic() - started:.1f} s; "
          f"{len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Failure as e:
        print(f"cab view: {e}")
        sys.exit(1)
