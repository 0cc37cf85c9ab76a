#!/usr/bin/env python3
"""The driving page in a real browser (headless Chromium over its DevTools
protocol, as the cab view's test drives it), in frames of exactly 20 ms
through the page's test hook:

  autopilot  the demo route on autopilot writes atshost drive's CSV, byte
             for byte;
  keys       a drive by key events: the unit switched on with the handles
             secured, power past a limit beacon, the trip (lamp and bell), the
             reset, a stop in the window, the cab's elements checked against
             the trace along the way; the saved scenario, replayed by atshost,
             writes the page's CSV;
  f7         F7 twice: the warning box with the unit's exact caption and text,
             then the session ended, and started again;
  route      a route file with an error shows atshost's FILE:LINE message;
  cab        a drive that reads only the page (the line ahead, the stop gauge,
             the speed and the unit's words) reaches the demo's station in the
             window without a trip; no sound loops before the unit asks;
  careful    the autopilot, the careful driver, keeps every limit of the demo
             and stops in the window;
  takeover   a saved run opened on the page and taken over at a frame keeps
             the run's frames up to there byte for byte;
  phone      at 390 x 844, touch only, in English and in Japanese, every
             region of the cab lies within the screen and the page needs no
             scrolling.

Every part also checks that the page logs no error or warning and makes no
network request.

usage: drive_page_test.py ATSHOST PAGE WORKDIR [PART...]
"""
import csv
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cab_view_test import READ_CONTRACT, Browser, Failure  # noqa: E402

SKIP = 77  # CTest's skip status
BOX_CAPTION = "Halvaren Sorceress"
BOX_TEXT = "あいたっ！\nうぎゅぎゅぎゅぎゅ...\n次やったら魔法で止めちゃいますからね！"
FRAMES_PER_CALL = 500
LIMIT_BEACON_M = 560  # the demo's signal beacon: 28 km/h
STOP_TARGET_M = 1150  # the demo's station stop
STOP_WINDOW_M = 0.25  # the unit's window is 0.3 m either side of it
FIVE_NOTCH_ROUTE = "vehicle brake-notches=6 power-notches=5\nstart brake=0 reverser=1\nat 1 s power 2\n"
PHONE = (390, 844)
# Routes atshost refuses, each with its message: the page must give the same.
BAD_ROUTES = [
    ("unknown.route", b"vehicle brake-notches=8 power-notches=4\nstart\nbeacon 100 type=0\nteleport 12\n"),
    ("bytes.route", b"vehicle brake-notches=8\nstart\ngradient 10 \xff\xfe\n"),
    ("number.route", b"vehicle brake-notches=8\nstart\nbeacon 1e999 type=0\n"),
]

# The page's keys (its legend), as the DevTools protocol types them.
KEYS = {name: (key, code, vk) for name, key, code, vk in [
    ("power-up", "q", "KeyQ", 81), ("power-down", "a", "KeyA", 65),
    ("brake-up", "w", "KeyW", 87), ("brake-down", "s", "KeyS", 83), ("emergency", "e", "KeyE", 69),
    ("forward", "f", "KeyF", 70), ("neutral", "n", "KeyN", 78), ("back", "b", "KeyB", 66),
    ("reset", "3", "Digit3", 51), ("unit-on", "i", "KeyI", 73), ("autopilot", "p", "KeyP", 80),
    ("f7", "F7", "F7", 118), ("key-0", "0", "Digit0", 48), ("sound", "m", "KeyM", 77),
]}


class Page:
    """One tab with the driving page open."""

    def __init__(self, browser, url, phone=False):
        self.browser = browser
        self.url = url
        target = browser.send("Target.createTarget", url="about:blank")["targetId"]
        self.session = browser.send("Target.attachToTarget", targetId=target,
                                    flatten=True)["sessionId"]
        for domain in ("Page", "Runtime", "Log", "Network", "DOM"):
            self.send(domain + ".enable")
        if phone:  # a phone held upright, touch only
            self.send("Emulation.setDeviceMetricsOverride", width=PHONE[0], height=PHONE[1],
                      deviceScaleFactor=1, mobile=True)
            self.send("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=5)
        self.send("Page.navigate", url=url)
        for _ in range(500):
            if self.evaluate("Boolean(window.drivePage) && document.getElementById('status')"
                             ".textContent !== Words.say('status.loading')"):
                break
            time.sleep(0.01)
        else:
            raise Failure("the page did not start")
        # From here on, frames only when the test asks for them, from a fresh
        # session of the demo route.
        self.evaluate("drivePage.fixedStep(true); document.getElementById('demo').click()")

    def send(self, method, **params):
        return self.browser.send(method, self.session, **params)

    def evaluate(self, expression):
        result = self.send("Runtime.evaluate", expression=expression, returnByValue=True)
        if "exceptionDetails" in result:
            raise Failure(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def text(self, element_id):
        return self.evaluate(f"document.getElementById('{element_id}').textContent")

    def key(self, name, down=True, up=True):
        key, code, vk = KEYS[name]
        for kind in (["keyDown"] if down else []) + (["keyUp"] if up else []):
            self.send("Input.dispatchKeyEvent", type=kind, key=key, code=code,
                      windowsVirtualKeyCode=vk)

    def advance(self, frames):
        return self.evaluate(f"drivePage.advance({frames})")

    def state(self):
        """The frame shown and the cab's contract, as the cab view's test
        reads them."""
        return json.loads(self.evaluate(READ_CONTRACT))

    def last_row(self):
        rows = list(csv.DictReader(io.StringIO(self.evaluate("drivePage.csv()"))))
        return rows[-1] if rows else None


def contract_problems(page, when):
    """The cab's elements against the trace's last row: each must show the
    value the trace has, and each traced index must have one element."""
    shown, row = page.state(), page.last_row()
    if row is None or shown["frame"] != row["frame"]:
        return [f"{when}: the page shows frame {shown['frame']}, the trace ends at "
                f"{row and row['frame']}"]
    handle_columns = {"brake": "brake", "power": "power", "reverser": "reverser",
                      "constant-speed": "constant_speed"}
    problems = []
    for kind, index, value in shown["values"]:
        if kind == "handle":
            column = handle_columns[index]
        else:
            prefix = ("p" if kind == "panel" else "s") + index + "_"
            column = next((c for c in row if c.startswith(prefix)), None)
        if column is None or row[column] != value:
            problems.append(f"{when}: {kind} {index} shows {value}, the trace has "
                            f"{column and row[column]}")
    # Every traced panel and sound index shown by exactly one element.
    for kind, prefix in (("panel", "p"), ("sound", "s")):
        traced = sorted(c.split("_")[0][1:] for c in row if c[0] == prefix and c[1].isdigit())
        indices = sorted(i for k, i, _ in shown["values"] if k == kind)
        if indices != traced:
            problems.append(f"{when}: the cab's {kind} elements are {indices}, "
                            f"the trace's are {traced}, each once")
    return problems


def run_until(page, done, limit_frames, step=1):
    """Frames until done(page) holds."""
    for _ in range(0, limit_frames, step):
        page.advance(step)
        if done(page):
            return
    raise Failure(f"not reached within {limit_frames} frames")


def lamp(page, index):
    """A panel element's value as the cab shows it."""
    return page.evaluate(f"document.querySelector('[data-panel=\"{index}\"]').dataset.value")


def choose_driver(page, driver):
    """The autopilot's driver, for the runs opened from now on, and the demo
    opened afresh with it."""
    page.evaluate(f"(() => {{ const s = document.getElementById('autopilot-driver'); "
                  f"s.value = '{driver}'; s.dispatchEvent(new Event('change')); "
                  f"document.getElementById('demo').click(); }})()")


def part_autopilot(page, work, atshost):
    # The route's own driver, the second choice, is atshost drive's.
    choose_driver(page, "route")
    expected = open(os.path.join(work, "demo.csv"), newline="").read()
    page.key("autopilot")
    while page.advance(FRAMES_PER_CALL)["status"] == 0:
        pass
    got = page.evaluate("drivePage.csv()")
    if got == expected:
        return []
    got_lines, expected_lines = got.split("\n"), expected.split("\n")
    first = next((i for i, (a, b) in enumerate(zip(got_lines, expected_lines)) if a != b),
                 min(len(got_lines), len(expected_lines)))
    return [f"autopilot: the page's CSV differs from atshost drive's at line {first + 1} "
            f"({len(got_lines)} lines, {len(expected_lines)} expected):\n"
            f"  page:    {got_lines[first][:160] if first < len(got_lines) else '(end)'}\n"
            f"  atshost: {expected_lines[first][:160] if first < len(expected_lines) else '(end)'}"]


def train(page):
    """The last frame's time (ms), location (m), speed (km/h) and brake
    cylinder pressure, exactly."""
    return page.evaluate("drivePage.train()")[:4]


def set_notch(page, name, current, wanted):
    for _ in range(abs(wanted - current)):
        page.key(name + ("-up" if wanted > current else "-down"))
    return wanted


# The demo vehicle's brake as the train model has it: the cylinder follows
# the emergency pressure with a lag, and decelerates in proportion to it.
EMERGENCY_BC, EMERGENCY_DECEL, BC_LAG_S, FRAME_S = 440.0, 4.5 / 3.6, 0.6, 0.02


def emergency_stop_distance(v, bc):
    """Where the emergency brake stops a train at `v` m/s, its cylinder at
    `bc`: the driver's judgement of the moment to brake."""
    s = 0.0
    while v > 0:
        bc += (EMERGENCY_BC - bc) * FRAME_S / BC_LAG_S
        v -= bc / EMERGENCY_BC * EMERGENCY_DECEL * FRAME_S
        s += max(v, 0.0) * FRAME_S
    return s


def stop_at(page, target_m, window_m):
    """A driver's stop by key events: braked to a stand a little short of
    the target, then crept up to it and stopped with the emergency brake."""
    brake = 0
    for _ in range(3000):  # the approach, notch by notch
        page.advance(5)
        _, metres, kmh, _ = train(page)
        left = target_m - 4.0 - metres
        if kmh <= 0.0:
            break
        gentle = 3.6 * (2 * 0.3 * max(left, 0.0)) ** 0.5 + 1.0
        brake = set_notch(page, "brake", brake, 8 if kmh > gentle + 3 or left < 0 else
                          4 if kmh > gentle else 0)
    else:
        raise Failure("the train did not stop before the station")
    for _ in range(20):  # the creep
        _, metres, kmh, bc = train(page)
        if abs(target_m - metres) <= window_m or metres > target_m:
            return metres
        brake = set_notch(page, "brake", brake, 0)
        page.key("power-up")
        while train(page)[2] < 1.0:
            page.advance(1)
        page.key("power-down")
        while True:
            _, metres, kmh, bc = train(page)
            if target_m - metres <= emergency_stop_distance(kmh / 3.6, bc) or kmh <= 0:
                break
            page.advance(1)
        page.key("emergency")
        brake = 9
        while train(page)[2] > 0:
            page.advance(1)
    raise Failure("the train did not creep up to the stop")


def part_keys(page, work, atshost):
    problems = []
    check = lambda when: problems.extend(contract_problems(page, when))  # noqa: E731

    # Sound on, as a driver's key allows it: the sounds are made from here on.
    page.key("sound")
    if not page.evaluate("document.getElementById('sound').checked"):
        problems.append("M did not turn sound on")
    # A key held while the page loses the keyboard is let go, not held for ever.
    page.key("key-0", up=False)
    page.evaluate("window.dispatchEvent(new Event('blur'))")
    page.advance(10)
    if "key 0 down, key 0 up" not in page.evaluate("document.getElementById('timeline').textContent"):
        problems.append("key 0 was not let go when the page lost the keyboard")
    row = page.last_row()
    if (row["p0_unit_on"], row["driver_brake"], row["driver_reverser"]) != ("0", "9", "0"):
        problems.append(f"start: unit on {row['p0_unit_on']}, brake {row['driver_brake']}, "
                        f"reverser {row['driver_reverser']}: not off with the handles secured")
    page.key("unit-on")
    page.advance(10)
    check("unit switched on")
    if page.last_row()["p0_unit_on"] != "1":
        problems.append("key 10 with the handles secured did not switch the unit on")

    # Away in full power, past the 28 km/h beacon.
    page.key("forward")
    for _ in range(9):
        page.key("brake-down")
    for _ in range(4):
        page.key("power-up")
    run_until(page, lambda p: lamp(p, 2) == "1", 6000, 10)
    check("tripped")
    row = page.last_row()
    if float(row["location_m"]) < LIMIT_BEACON_M - 30 or float(row["speed_kmh"]) <= 28:
        problems.append(f"tripped at {row['location_m']} m, {row['speed_kmh']} km/h: "
                        f"not at the beacon, above its limit")
    if page.evaluate("drivePage.sounds()[9]") != "looping":
        problems.append(f"the bell does not ring after the trip: {page.evaluate('drivePage.sounds()')}")

    # Stand, secure the handles, reset.
    run_until(page, lambda p: train(p)[2] == 0.0, 6000, 10)
    for _ in range(4):
        page.key("power-down")
    page.key("neutral")
    page.key("emergency")
    page.advance(5)
    page.key("reset")
    page.advance(5)
    check("reset")
    if page.last_row()["p2_tripped"] != "0" or page.evaluate("drivePage.sounds()[9]") != "stopped":
        problems.append("key 3 with the handles secured did not reset the trip and stop the bell")

    # On to the station, and a stop in its window.
    page.key("forward")
    for _ in range(9):
        page.key("brake-down")
    for _ in range(2):
        page.key("power-up")
    run_until(page, lambda p: train(p)[2] >= 35, 6000, 10)
    for _ in range(2):
        page.key("power-down")
    metres = stop_at(page, STOP_TARGET_M, STOP_WINDOW_M)
    page.advance(5)
    check("stopped")
    if page.last_row()["p11_stop_window"] != "1":
        problems.append(f"stopped at {metres} m: the WINDOW lamp is not lit")

    # Saved, and replayed by atshost.
    downloads = os.path.join(work, "downloads")
    os.makedirs(downloads, exist_ok=True)
    page.browser.send("Browser.setDownloadBehavior", behavior="allow", downloadPath=downloads)
    page.evaluate("document.getElementById('save').click()")
    saved = os.path.join(downloads, "drive-scenario.txt")
    for _ in range(500):
        if os.path.exists(saved) and page.evaluate("!document.getElementById('csv').hidden"):
            break
        time.sleep(0.01)
    else:
        return problems + ["save: no scenario was downloaded, or the CSV not offered"]
    replayed = os.path.join(work, "replayed")
    subprocess.run([atshost, "--out", replayed, "-q", "replay", saved], check=True)
    expected = page.evaluate("drivePage.csv()")
    got = open(os.path.join(replayed, "drive-scenario.csv"), newline="").read()
    if got != expected:
        problems.append("the saved scenario, replayed by atshost, does not give the page's CSV")
    return problems


def part_f7(page, work, atshost):
    problems = []
    page.advance(5)
    # The key is the unit's: the browser's own use of F7 is held off.
    page.evaluate("window.addEventListener('keydown', (e) => { window.f7Held = e.defaultPrevented; })")
    page.key("f7", up=False)
    if page.evaluate("window.f7Held") is not True:
        problems.append("F7 is left to the browser as well")
    if page.text("f7") != "down":
        problems.append(f"F7 held shows as {page.text('f7')!r}")
    answer = page.advance(5)
    caption, text = page.text("warning-caption"), page.text("warning-text")
    if not answer["box"] or not page.evaluate("document.getElementById('warning').open"):
        problems.append("F7: no warning box")
    if (caption, text) != (BOX_CAPTION, BOX_TEXT):
        problems.append(f"the warning box says {caption!r}, {text!r}")
    # The run stands still while the box is open.
    frame = page.state()["frame"]
    page.advance(5)
    if page.state()["frame"] != frame:
        problems.append("frames ran while the warning box was open")
    page.key("f7", down=False)
    page.evaluate("document.getElementById('warning-ok').click()")
    for _ in range(200):
        if page.text("status") != "warning box shown":
            break
        time.sleep(0.01)
    if page.advance(20)["status"] != 0 or page.advance(1)["box"]:
        problems.append("the session did not go on after the box")
    page.key("f7", up=False)
    if page.advance(5)["status"] != 2 or page.evaluate("document.getElementById('ended').hidden"):
        problems.append("F7 a second time did not end the session")
    if "ended the simulator's process" not in page.text("ended-text"):
        problems.append(f"the end says {page.text('ended-text')!r}")
    # The run up to here can still be saved, with the pointer too.
    if not page.evaluate("""(() => { const b = document.getElementById('ended-save');
        const r = b.getBoundingClientRect();
        return document.elementFromPoint(r.x + r.width / 2, r.y + r.height / 2) === b; })()"""):
        problems.append("after the session ended, no save button is reachable by the pointer")
    page.key("f7", down=False)
    page.evaluate("document.getElementById('again').click()")
    for _ in range(200):
        if page.evaluate("document.getElementById('ended').hidden"):
            break
        time.sleep(0.01)
    page.evaluate("drivePage.fixedStep(true)")
    if page.advance(5)["status"] != 0 or page.state()["frame"] != "4":
        problems.append("start again did not start a fresh session")
    return problems


def part_route(page, work, atshost):
    problems = []
    document = page.send("DOM.getDocument")["root"]["nodeId"]
    picker = page.send("DOM.querySelector", nodeId=document, selector="#open")["nodeId"]
    for name, text in BAD_ROUTES:
        bad = os.path.join(work, name)
        with open(bad, "wb") as f:
            f.write(text)
        refused = subprocess.run([atshost, "drive", name], cwd=work, capture_output=True)
        expected = refused.stderr.decode().strip().removeprefix("atshost: ")
        if refused.returncode != 2 or not expected.startswith(name + ":"):
            raise Failure(f"atshost accepted {name}, or said {refused.stderr!r}")
        page.evaluate("document.getElementById('message').hidden = true")
        page.send("DOM.setFileInputFiles", nodeId=picker, files=[bad])
        for _ in range(200):
            if not page.evaluate("document.getElementById('message').hidden"):
                break
            time.sleep(0.01)
        shown = page.text("message")
        if shown != expected:
            problems.append(f"{name} shows {shown!r}, atshost says {expected!r}")
    # The session that ran goes on.
    if page.advance(5)["status"] != 0 or page.text("route") != "demo route":
        problems.append("a refused route stopped the session that ran")

    # A good route dropped on the page: a fresh session of it, its vehicle's
    # notches the handles' range. Its autopilot is the route's own driver.
    choose_driver(page, "route")
    route = os.path.join(work, "five.route")
    with open(route, "w") as f:
        f.write(FIVE_NOTCH_ROUTE)
    data = {"items": [], "files": [route], "dragOperationsMask": 1}
    for kind in ("dragEnter", "dragOver", "drop"):
        page.send("Input.dispatchDragEvent", type=kind, x=300, y=300, data=data)
    for _ in range(200):
        if page.text("route") == "five.route":
            break
        time.sleep(0.01)
    else:
        return problems + ["a route dropped on the page was not opened"]
    page.advance(2)
    for _ in range(7):
        page.key("power-up")
    page.advance(2)
    if page.last_row()["driver_power"] != "5" or page.state()["frame"] != "3":
        problems.append(f"the dropped route's run: power {page.last_row()['driver_power']} "
                        f"(5 notches), frame {page.state()['frame']}")

    # The autopilot takes the train and gives it back where its driver left
    # the handles: the route's own driver sets power 2 at 1 s.
    page.key("autopilot")
    page.advance(60)
    page.key("autopilot")
    page.key("power-down")
    page.advance(2)
    if page.last_row()["driver_power"] != "1":
        problems.append(f"after the autopilot, power down gave {page.last_row()['driver_power']}, "
                        f"not 1 (one below the autopilot's 2)")
    return problems


# What a driver reads on the page, and nothing else: the speed readout, the
# brake cylinder, the items ahead, the stop gauge and the unit's words.
READ_CAB = """JSON.stringify({
  speed: Number(document.getElementById('speed').textContent),
  bc: Number(document.getElementById('bc').textContent),
  checks: [...document.querySelectorAll('[data-ahead-kind="check"]')].map(
    (e) => [Number(e.dataset.aheadDistance), Number(e.dataset.aheadLimit)]),
  stop: document.getElementById('stop').dataset.stopMetres,
  say: document.getElementById('say').textContent,
})"""
SERVICE_DECEL = 0.5  # m/s2 the driver counts on from brake notch 6


def cab(page):
    return json.loads(page.evaluate(READ_CAB))


def part_cab(page, work, atshost):
    problems = []
    # Every sound stopped before the first frame; none loops until the unit
    # asks (the door sound after the start's door close plays once).
    playing = [i for i, m in page.evaluate("drivePage.sounds()").items() if m != "stopped"]
    page.advance(20)
    looping = [i for i, m in page.evaluate("drivePage.sounds()").items() if m == "looping"]
    if playing or looping:
        problems.append(f"sounds {playing} before the first frame, {looping} loop unasked")
    if "switch on" not in cab(page)["say"]:
        problems.append(f"at rest the page says {cab(page)['say']!r}, not to switch on")
    page.key("unit-on")
    page.advance(10)
    if "reverser" not in cab(page)["say"]:
        problems.append(f"switched on, the page says {cab(page)['say']!r}")
    page.key("forward")
    brake = set_notch(page, "brake", 9, 0)
    power = 0
    for _ in range(4000):  # on to the station, keeping the limits ahead
        page.advance(5)
        seen = cab(page)
        v = seen["speed"] / 3.6
        if seen["stop"] != "":
            break
        want = 40.0
        for distance, limit in seen["checks"]:
            target = (limit - 5) / 3.6
            if distance < (v * v - target * target) / (2 * SERVICE_DECEL) + 40:
                want = min(want, limit - 5)
        slow = seen["speed"] > want
        power = set_notch(page, "power", power, 0 if slow or seen["speed"] > want - 3 else 3)
        brake = set_notch(page, "brake", brake, 6 if seen["speed"] > want + 1 else 0)
    else:
        return problems + ["the stop gauge never showed the station"]
    power = set_notch(page, "power", power, 0)
    for _ in range(6000):  # the stop, by the gauge alone
        page.advance(2)
        seen = cab(page)
        d, v = float(seen["stop"]), seen["speed"] / 3.6
        if v == 0 and abs(d) <= STOP_WINDOW_M:
            break
        if v == 0:  # short of the mark: creep up to it
            brake = set_notch(page, "brake", brake, 0)
            power = set_notch(page, "power", power, 1)
            continue
        if d <= emergency_stop_distance(v, seen["bc"]) + 0.05:
            power = set_notch(page, "power", power, 0)
            brake = set_notch(page, "brake", brake, 9)
            continue
        gentle = (2 * 0.35 * max(d - 3, 0.0)) ** 0.5
        if d < 3:
            power = set_notch(page, "power", power, 0 if v > 0.8 else 1)
            brake = set_notch(page, "brake", brake, 0)
        else:
            power = set_notch(page, "power", power, 0)
            brake = set_notch(page, "brake", brake, 5 if v > gentle + 0.5 else 2 if v > gentle else 0)
    else:
        return problems + [f"the train did not stop at the mark (gauge {cab(page)['stop']} m)"]
    page.advance(5)
    row = page.last_row()
    if any(r["p2_tripped"] == "1" for r in csv.DictReader(io.StringIO(page.evaluate("drivePage.csv()")))):
        problems.append("the drive by the page alone tripped the unit")
    if row["p11_stop_window"] != "1":
        problems.append(f"stopped {cab(page)['stop']} m short by the gauge: the WINDOW lamp is dark")
    result = page.text("stop-result")
    if "in the window" not in result:
        problems.append(f"the gauge's result says {result!r}")
    return problems


def part_careful(page, work, atshost):
    page.key("autopilot")
    while page.advance(FRAMES_PER_CALL)["status"] == 0:
        pass
    rows = list(csv.DictReader(io.StringIO(page.evaluate("drivePage.csv()"))))
    problems = []
    if any(r["p2_tripped"] == "1" for r in rows):
        problems.append("the careful autopilot tripped the unit")
    if not any(r["p11_stop_window"] == "1" for r in rows):
        problems.append("the careful autopilot did not stop in the window")
    # Where the beacon is passed, the speed is below its limit.
    passing = next(r for r in rows if float(r["location_m"]) >= LIMIT_BEACON_M)
    if float(passing["speed_kmh"]) >= 28:
        problems.append(f"the careful autopilot passed the beacon at {passing['speed_kmh']} km/h")
    return problems


def frames_upto(scenario, n):
    """The scenario's text up to and including frame n."""
    lines, seen = [], 0
    for line in scenario.split("\n"):
        lines.append(line)
        if line.startswith("frame "):
            seen += 1
            if seen > n:
                break
    return "\n".join(lines)


def part_takeover(page, work, atshost):
    problems = []
    page.key("unit-on")
    page.advance(150)
    page.key("autopilot")
    page.advance(400)
    page.key("autopilot")
    page.advance(50)
    saved = page.evaluate("drivePage.scenario()")
    if page.evaluate(f"drivePage.openRun({json.dumps(saved)})") != "run":
        return [f"the page's own saved run is refused: {page.text('message')!r}"]
    at = 420
    page.evaluate(f"drivePage.seek({at})")
    if page.state()["frame"] != str(at):
        problems.append(f"seek({at}) shows frame {page.state()['frame']}")
    answer = page.send("Runtime.evaluate", expression="drivePage.takeOver()", awaitPromise=True,
                       returnByValue=True)["result"].get("value")
    if answer != "":
        return problems + [f"take over refused: {answer!r}"]
    page.evaluate("drivePage.fixedStep(true)")
    page.key("emergency")
    page.advance(20)
    again = page.evaluate("drivePage.scenario()")
    if frames_upto(again, at) != frames_upto(saved, at):
        problems.append(f"the run taken over at frame {at} differs from the saved one before it")
    if page.state()["frame"] != str(at + 20):
        problems.append(f"taken over at {at} and run 20 frames: frame {page.state()['frame']}")
    return problems


def part_phone(page, work, atshost):
    problems = []
    for lang in ("en", "ja"):
        phone = Page(page.browser, page.url + "?lang=" + lang, phone=True)
        phone.advance(200)
        regions = json.loads(phone.evaluate("""JSON.stringify([...document.querySelectorAll(
            '[data-region]')].map((e) => { const r = e.getBoundingClientRect();
            return [e.dataset.region, r.left, r.top, r.right, r.bottom]; }))"""))
        if sorted(r[0] for r in regions) != ["ahead", "levers", "speed", "stop", "unit"]:
            problems.append(f"{lang}: the regions are {[r[0] for r in regions]}")
        for name, left, top, right, bottom in regions:
            if left < 0 or top < 0 or right > PHONE[0] + 0.5 or bottom > PHONE[1] + 0.5:
                problems.append(f"{lang}: on a phone the {name} region lies at {left:.0f},"
                                f"{top:.0f} to {right:.0f},{bottom:.0f}, outside "
                                f"{PHONE[0]} x {PHONE[1]}")
        height = phone.evaluate("document.scrollingElement.scrollHeight")
        if height > PHONE[1]:
            problems.append(f"{lang}: on a phone the page is {height} px tall: it scrolls")
        if phone.evaluate("[...document.querySelectorAll('kbd')].some((k) => k.offsetParent)"):
            problems.append(f"{lang}: keyboard hints are shown on a touch screen")
    return problems


PARTS = {"autopilot": part_autopilot, "keys": part_keys, "f7": part_f7, "route": part_route,
         "cab": part_cab, "careful": part_careful, "takeover": part_takeover, "phone": part_phone}


def browser_problems(browser, url):
    problems = []
    for event in browser.events:
        method, params = event.get("method"), event.get("params", {})
        if method == "Runtime.exceptionThrown":
            problems.append(f"script error: {params['exceptionDetails']}")
        elif method == "Runtime.consoleAPICalled" and params["type"] in ("error", "warning", "assert"):
            problems.append(f"console {params['type']}: {params['args']}")
        elif method == "Log.entryAdded" and params["entry"]["level"] in ("error", "warning"):
            problems.append(f"browser log: {params['entry']['text']}")
        elif method == "Network.requestWillBeSent":
            address = params["request"]["url"]
            if re.split(r"[?#]", address)[0] not in (url, "about:blank") and not address.startswith("blob:"):
                problems.append(f"network request: {address}")
    return problems


def main():
    atshost, page_file, work = (os.path.abspath(a) for a in sys.argv[1:4])
    parts = sys.argv[4:] or list(PARTS)
    if not os.path.exists(page_file):
        print(f"drive page: {page_file} was not built (the wasm32 build's packages are missing?)")
        return SKIP
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    subprocess.run([atshost, "drive", "--out", work, "-q"], check=True)
    url = "file://" + os.path.abspath(page_file)

    problems = []
    profile = tempfile.mkdtemp(prefix="drive-page-profile-")
    browser = Browser(profile)
    try:
        for name in parts:
            started = time.monotonic()
            browser.deadline = started + 120
            found = PARTS[name](Page(browser, url), work, atshost)
            found += browser_problems(browser, url)
            browser.events.clear()
            print(f"drive page, {name}: {time.monotonic() - started:.1f} s, {len(found)} problems")
            problems += found
    finally:
        browser.close()
        shutil.rmtree(profile, ignore_errors=True)
    for p in problems[:40]:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Failure as e:
        print(f"drive page: {e}")
        sys.exit(1)
