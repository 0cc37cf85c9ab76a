#!/usr/bin/env python3
"""Writes a long seeded random scenario for `atshost replay`: thousands of
frames whose values sit on and just beside the unit's thresholds, with driver
events and beacons of every type between them. Calm stretches (a train
switched on and driven forward, its speed moving between the thresholds) and
wild ones (any value, any event, time running backwards) take turns, so that
both the running unit's rules and its trips are reached. The same seed gives
the same file.

Usage: random_scenario.py --seed N --frames N --out FILE
"""
import argparse
import pathlib
import random

NOTCHES = 8
EMERGENCY = NOTCHES + 1
BASE_LOCATION = 100_000.0
# Speeds that the rules compare against (roll-back and neutral trips, the
# 15 km/h door and stop rules, the signal limits, the governor's 71 and 76).
SPEEDS = [0.0, 5.0, 15.0, 19.0, 28.0, 29.0, 48.0, 68.0, 71.0, 76.0]
NUDGES = [0.0, 0.0, 0.001, -0.001, 0.01, -0.01, 0.5, -0.5]
PRESSURES = [0.0, 100.0, 200.0, 300.0, 400.0]
CURRENTS = [0.0, 25.0, 50.0, 75.0, 100.0, -25.0, -50.0, -75.0, -100.0]
TIME_STEPS = [20, 20, 100, 100, 100, 250, 0, 0, -20, -100, -1000]
BEACON_TYPES = [0, 0, 9, 10, 11, 12, 12, 15, 200, 1, 13, 255]
KEYS = [0, 0, 3, 3, 10, 10, 11, 1, 2, 12]


def number(x):
    """A decimal that atshost reads back to the same value on every run."""
    text = f"{x:.4f}".rstrip("0").rstrip(".")
    return "0" if text in ("", "-0") else text


BLOCK_FRAMES = 200


def frame(rng, state, calm):
    if calm:
        # Toward a threshold and a little past it, a step a frame.
        dt = rng.choice([20, 50, 100])
        target = state["target"]
        state["speed"] += max(-0.8, min(0.8, target - state["speed"])) + rng.choice(NUDGES) / 10
        speed = state["speed"]
        state["location"] += speed * dt / 3600.0
    else:
        dt = rng.choice(TIME_STEPS)
        speed = rng.choice(SPEEDS) + rng.choice(NUDGES)
        if rng.random() < 0.25:
            speed = -speed  # running backwards
        state["location"] += speed * 0.1 / 3.6 * rng.choice([1, 1, 1, 0, -1])
        if rng.random() < 0.02:
            state["location"] = BASE_LOCATION + rng.uniform(-5, 5)
    state["time"] += dt
    return (f"frame time={state['time']} location={number(state['location'])} "
            f"speed={number(speed)} bc={number(rng.choice(PRESSURES) + rng.choice(NUDGES))} "
            f"mr={number(rng.choice(PRESSURES) + rng.choice(NUDGES))} "
            f"current={number(rng.choice(CURRENTS) + rng.choice(NUDGES))}")


def beacon(rng, state):
    kind = rng.choice(BEACON_TYPES)
    signal = rng.choice([0, 1, 2, 3, 4, 5, 6, -1])
    if kind == 12:  # the stop target: a location just ahead
        optional = int(state["location"]) + rng.choice([0, 1, 5, 30, -3])
    else:
        optional = rng.choice([0, 1, 2, 19, 29, 45, 68, 100, -1, 1000])
    return f"beacon type={kind} signal={signal} optional={optional}"


def switch_on_and_go(rng):
    """A driver who secures the handles, switches on or resets, and drives."""
    key = rng.choice([10, 3])
    return ["reverser 0", "power 0", f"brake {EMERGENCY}", "doors close", f"key {key}",
            f"reverser {rng.choice([1, 1, -1])}", "brake 0", f"power {rng.randint(1, 4)}"]


def calm_event(rng):
    pick = rng.random()
    if pick < 0.4:
        return f"power {rng.randint(0, 4)}"
    if pick < 0.7:
        return f"brake {rng.randint(0, NOTCHES)}"
    return rng.choice(["key down 0", "key up 0", f"horn {rng.randint(0, 2)}"])


def event(rng):
    pick = rng.random()
    if pick < 0.15:
        return f"power {rng.randint(-1, 5)}"
    if pick < 0.30:
        return f"brake {rng.randint(0, EMERGENCY + 1)}"
    if pick < 0.40:
        return f"reverser {rng.choice([-1, 0, 1])}"
    if pick < 0.55:
        key = rng.choice(KEYS)
        return rng.choice([f"key {key}", f"key down {key}", f"key up {key}"])
    if pick < 0.70:
        return rng.choice(["doors open", "doors close"])
    if pick < 0.75:
        return rng.choice([f"horn {rng.randint(0, 2)}", f"signal {rng.randint(0, 6)}"])
    if pick < 0.78:
        return f"initialize {rng.randint(0, 9)}"
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seed", type=int, required=True)
    parser.add_argument("--frames", type=int, required=True)
    parser.add_argument("--out", required=True)
    a = parser.parse_args()
    rng = random.Random(a.seed)
    state = {"time": 0, "location": BASE_LOCATION, "speed": 0.0, "target": 0.0}
    lines = [f"# A seeded random run: seed {a.seed}, {a.frames} frames.",
             f"vehicle brake-notches={NOTCHES}", "initialize"]
    for n in range(a.frames):
        calm = (n // BLOCK_FRAMES) % 2 == 0
        if n % BLOCK_FRAMES == 0 and calm:
            state["speed"] = 0.0
            lines += switch_on_and_go(rng)
        if calm and rng.random() < 0.02:
            state["target"] = rng.choice(SPEEDS) + rng.choice(NUDGES)
        if not calm and rng.random() < 0.03:
            lines += switch_on_and_go(rng)
        if rng.random() < (0.02 if calm else 0.08):
            lines.append(beacon(rng, state))
        if rng.random() < (0.05 if calm else 0.3):
            e = calm_event(rng) if calm else event(rng)
            if e:
                lines.append(e)
        lines.append(frame(rng, state, calm))
    pathlib.Path(a.out).parent.mkdir(parents=True, exist_ok=True)
    with open(a.out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
