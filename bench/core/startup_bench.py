#!/usr/bin/env python3
"""Start-up to the main window shown, and resident memory once idle, for parlo
and, in the same run, for the smallest Qt Widgets program as the floor.

    python3 bench/core/startup_bench.py [BUILD_DIR]

parlo runs headless on a temporary home with log-on and the peer listener off;
"first start" is a fresh home (pictures and sounds are made then), "later
start" the same home again.
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

ROUNDS = 5
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
    rows = []
    fresh = [fresh_home(settings) for _ in range(ROUNDS)]
    home = e2e.Home(settings)
    measure(home)
    later = [measure(home) for _ in range(ROUNDS)]
    floor = [measure(home, floor_bin) for _ in range(ROUNDS)]
    home.remove()
    for name, runs in (("parlo, first start", fresh), ("parlo, later start", later),
                       ("minimal Qt Widgets program", floor)):
        rows.append((name, statistics.median(r[0] for r in runs), statistics.median(r[1] for r in runs)))
    print("start-up to main window shown, and resident memory after %.1f s idle (median of %d):"
          % (IDLE_S, ROUNDS))
    for name, ms, kib in rows:
        print("  %-28s %7.1f ms  %7.1f MiB" % (name, ms, kib / 1024))


if __name__ == "__main__":
    main()
