#!/usr/bin/env python3
"""Writes the fuzzer's seed corpus (fuzz/corpus/) in the input format that
fuzz_entry_points.cpp reads: a few host sessions that reach the deeper states
(switched on, tripped, warning brake, speed hold, governor, stop window,
blanking) so that the bounded run starts from there instead of from nothing.

Run from anywhere: python3 fuzz/make_seeds.py
"""
import math
import os
import struct

INTS = [0, 1, -1, 2, 3, 4, 8, 9, 10, 11, 12, 13, 15, 30, 45, 50, 150, 200, 240, 241, 246,
        247, 812, 1000, -5, -2, 19, 29, 100, 500, 999, 501, 255, 256, -2**31, 2**31 - 1,
        -2**31 + 1, 2**31 - 2]
NAN, INF = float("nan"), float("inf")
FLOAT_SPECIALS = {"nan": 0, "-nan": 1, "inf": 2, "-inf": 3, "-0": 5, "denorm": 6,
                  "max": 9, "-max": 10}
TIMES = [0, 1, -1, 499, 500, 1000, 1001, -1000, 60000, 86400000, -2**31, 2**31 - 1]

OPS = {"load": 0, "dispose": 1, "version": 2, "spec": 3, "init": 4, "power": 6, "brake": 7,
       "reverser": 8, "keydown": 9, "keyup": 10, "horn": 11, "open": 12, "close": 13,
       "signal": 14, "beacon": 15, "frame": 16}


class Session:
    def __init__(self):
        self.out = bytearray()

    def op(self, name):
        self.out.append(OPS[name])
        return self

    def int(self, v):
        if -3 <= v <= 12:
            self.out.append(v + 3)
        elif v in INTS:
            self.out.append(128 + INTS.index(v))
        else:
            self.out.append(192)
            self.out += struct.pack("<i", v)

    def float(self, v):
        if isinstance(v, str):
            self.out.append(FLOAT_SPECIALS[v])
            return
        steps = v / 0.75
        if steps == int(steps) and -128 <= steps <= 127:
            self.out += bytes([64, int(steps) + 128])
        else:
            self.out.append(192)
            self.out += struct.pack("<f", v)

    def raw32(self, v=0):
        self.out += struct.pack("<I", v)

    # Calls.
    def call(self, name, *args):
        self.op(name)
        for a in args:
            self.int(a)
        return self

    def spec(self, notches):
        self.op("spec")
        self.int(notches)
        for _ in range(4):
            self.raw32(0xFFFFFFFF)
        return self

    def beacon(self, type_, signal, optional):
        self.op("beacon")
        self.int(type_)
        self.int(signal)
        self.raw32(0)
        self.int(optional)
        return self

    def frame(self, speed, dt=100, bc=0.0, mr=780.0, current=0.0, time=None, location=None):
        """One frame; by default dt ms later at a location that matches the speed."""
        self.op("frame")
        self.raw32(0)
        self.float(speed)
        if time is None:
            assert -200 <= dt <= 820 and dt % 4 == 0
            self.out += bytes([0, (dt + 200) // 4])
        else:
            self.out.append(192 + TIMES.index(time))
        if location is None:
            self.out.append(0)
        else:
            self.out.append(192)
            self.out += struct.pack("<d", location)
        self.float(bc)
        self.float(mr)
        self.float(current)
        return self

    def switch_on(self):
        self.call("reverser", 0).call("power", 0).call("brake", 9).op("close")
        return self.call("keydown", 10).call("keyup", 10)


def drive():
    """Switch on, start in notch 1 through the speed hold, trip at a signal
    beacon, reset, governor above 76 km/h, stop in the window in mode 0."""
    s = Session().op("load").spec(8).call("init", 0).switch_on()
    for _ in range(6):
        s.frame(0.0)
    s.call("reverser", 1).call("brake", 0).call("power", 1)
    for v in [3.0, 7.5, 12.0, 15.75, 18.0, 20.25, 21.0, 21.0]:
        s.frame(v, dt=200)
    for v in [30.0, 40.5, 45.0, 45.0]:
        s.frame(v, dt=400)
    s.call("power", 4)
    for v in [60.0, 75.0, 79.5, 79.5, 73.5, 69.75]:
        s.frame(v, dt=400, current=120.0)
    s.beacon(0, 1, 0)  # 28 km/h limit, passed too fast: trip and bell
    s.frame(60.0, bc=350.0).frame(45.0, bc=400.0)
    s.call("power", 0).call("reverser", 0).call("brake", 9)
    s.frame(30.0).frame(0.0)
    s.call("keydown", 3)
    s.beacon(11, 0, 0).beacon(12, 0, 812)
    s.call("reverser", 1).call("brake", 0).call("power", 2)
    s.frame(0.0, time=1000, location=811.0).frame(0.0, location=812.25)
    s.op("open").frame(0.0, dt=16).op("close").frame(0.0, dt=16)
    s.beacon(200, 0, 45).frame(0.0, dt=16, bc=34.0).frame(0.0, dt=600, bc=36.0)
    s.beacon(15, 0, 243).beacon(10, 0, 0).frame(0.0)
    return s.op("dispose").out


def rollback_and_warning():
    """Roll back against the reverser while off, then a warning brake from
    closing the doors with the reverser forward, cancelled by brake 8."""
    s = Session().op("load").spec(8).call("init", 0)
    s.call("reverser", 1)
    for _ in range(3):
        s.frame(-6.0)
    s.switch_on().call("reverser", 1).op("open").op("close")
    for _ in range(3):
        s.frame(0.0)
    s.call("brake", 8).frame(0.0).call("keydown", 11).frame(0.0)
    s.call("keydown", 0).op("close").call("keyup", 0).call("keydown", 10)
    s.op("open").frame(7.5).frame(7.5)
    return s.op("dispose").out


def edges():
    """Calls out of order and values at the edges: calls while not loaded, a
    second load, NaN and infinite speeds, time standing still and running
    backwards, huge locations, INT32_MIN and INT32_MAX."""
    s = Session()
    s.call("power", 1).frame(10.0).call("keydown", 10).op("dispose")
    s.op("load").op("load").frame(0.0, time=0)
    s.spec(-2**31).call("brake", 2**31 - 1).frame("nan", dt=0).frame("inf", dt=0)
    s.frame("-0", dt=-200, location=1e300).frame("denorm", location=-INF)
    s.spec(2**31 - 1).call("keydown", 10).frame(76.5, time=2**31 - 1)
    s.frame(76.5, time=-2**31, bc="max", mr="nan", current="-max")
    s.beacon(9, 0, -1).beacon(200, 0, -2**31).beacon(0, 2**31 - 1, 50)
    s.call("version").call("horn", 3).call("signal", -7).call("init", 2**31 - 1)
    s.op("dispose").op("dispose").frame(0.0).op("load")
    return s.out


def main():
    corpus = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    os.makedirs(corpus, exist_ok=True)
    for name, data in [("drive", drive()), ("rollback_warning", rollback_and_warning()),
                       ("edges", edges())]:
        with open(os.path.join(corpus, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
