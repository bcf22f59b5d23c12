#!/usr/bin/env python3
"""Start-up to the main window shown, and resident memory once idle, for parlo
and, in the same run, for a small Qt Widgets program that shows a menu bar, a
label and a one-row tree (core_startup_floor), as the floor.

    taskset -c 2,3 python3 bench/core/startup_bench.py [BUILD_DIR]

parlo runs headless on a temporary home with log-on and the peer listener off;
"first start" is a fresh home (pictures and sounds are made then), "later
start" the same home again. The later start and the floor take turns, the
first to go alternating; each round gives a ratio of times and one of memory,
and the median ratios are the figures, against the goal of at most 1.5 for
both. On a loaded machine one start can wait for a core far longer than it
works, so the spread of the rounds is printed beside the median.
"""

import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.abspath(os.path.join(HERE, "..", ".."))
BUILD = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else os.path.join(SOURCE, "build")
os.environ.setdefault("PARLO_SOURCE_DIR", SOURCE)
os.environ.setdefault("PARLO_BINARY_DIR", BUILD)
sys.path.insert(0, os.path.join(SOURCE, "tests", "core"))

import parlo_e2e as e2e  # noqa: E402

ROUNDS = 9
GOAL = 1.5
IDLE_S = 1.5


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def measure(home, program=None):
    p = e2e.Parlo(home, program=program)
    shown = p.trace_time("shown", timeout=30) - p.started
    time.sleep(IDLE_S)
    rss = rss_kib(p.proc.pid)
    p.stop()
    return shown * 1000, rss


def fresh_home(settings):
    home = e2e.Home(settings)
    try:
        return measure(home)
    finally:
        home.remove()


def main():
    settings = {"AutoLogon": False, "AutoListen": False, "AutoUpdate": False}
    floor_bin = os.path.join(BUILD, "bench", "core", "core_startup_floor")
    fresh = [fresh_home(settings) for _ in range(ROUNDS)]
    home = e2e.Home(settings)
    measure(home)
    later, floor = [], []
    for r in range(ROUNDS):
        if r % 2 == 0:
            later.append(measure(home))
            floor.append(measure(home, floor_bin))
        else:
            floor.append(measure(home, floor_bin))
            later.append(measure(home))
    home.remove()
    med = statistics.median
    print("start-up to main window shown, and resident memory after %.1f s idle (medians of %d rounds, the later"
          " start and the floor taking turns):" % (IDLE_S, ROUNDS))
    for name, runs in (("parlo, first start", fresh), ("parlo, later start", later),
                       ("floor: menu bar, label, tree", floor)):
        print("  %-28s %7.1f ms  %7.1f MiB" % (name, med(r[0] for r in runs), med(r[1] for r in runs) / 1024))
    for what, i in (("time", 0), ("memory", 1)):
        ratios = sorted(l[i] / f[i] for l, f in zip(later, floor))
        ratio = med(ratios)
        print("  later start / floor, %-6s median ratio %.2f (spread %.2f to %.2f); goal <= %.1f: %s"
              % (what, ratio, ratios[0], ratios[-1], GOAL, "met" if ratio <= GOAL else "NOT met"))


if __name__ == "__main__":
    main()
