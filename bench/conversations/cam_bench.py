#!/usr/bin/env python3
"""One broadcasting program and scripted viewers at 15 pictures a second:
pictures delivered per viewer per second and the broadcaster's CPU, for 20
viewers beside the same broadcast with no viewer and with one, measured in
the same run.

    python3 bench/conversations/cam_bench.py [BUILD_DIR]

The broadcaster is the real program, headless, on a temporary home, with
the synthetic camera (320x240) and its picture interval at 66 ms; the
viewers are tests/support/cam_peer.py's ready viewers on the loopback.
"""

import os
import statistics
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.abspath(os.path.join(HERE, "..", ".."))
BUILD = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else os.path.join(SOURCE, "build")
os.environ.setdefault("PARLO_SOURCE_DIR", SOURCE)
os.environ.setdefault("PARLO_BINARY_DIR", BUILD)
sys.path.insert(0, os.path.join(SOURCE, "tests", "core"))
sys.path.insert(0, os.path.join(SOURCE, "tests", "support"))

import parlo_e2e as e2e  # noqa: E402
from cam_peer import CamViewer  # noqa: E402

SECONDS = 6.0
WARMUP = 1.0
INTERVAL_MS = 66


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def measure(program, port, viewers):
    """CPU share of the broadcaster and each viewer's pictures per second,
    both over the same window after the warm-up."""
    views = [CamViewer("127.0.0.1", port, "V%02d" % i, "ready", "7%07d" % i) for i in range(viewers)]
    threads = [threading.Thread(target=v.run, args=(SECONDS,)) for v in views]
    for t in threads:
        # A little apart: the listener lets only a few callers from one
        # address wait at once.
        t.start()
        time.sleep(0.01)
    time.sleep(WARMUP)
    cpu0, wall0 = cpu_seconds(program.proc.pid), time.monotonic()
    time.sleep(SECONDS - WARMUP - 0.5)
    cpu1, wall1 = cpu_seconds(program.proc.pid), time.monotonic()
    for t in threads:
        t.join()
    window = (wall0 - views[0].started, wall1 - views[0].started) if views else (0, 0)
    rates = []
    for v in views:
        if v.breaches:
            raise SystemExit("viewer %s: %s" % (v.name, v.breaches))
        got = sum(1 for t, code in v.timeline if code == 1034 and window[0] <= t < window[1])
        rates.append(got / (window[1] - window[0]))
    return 100.0 * (cpu1 - cpu0) / (wall1 - wall0), rates


def main():
    port = e2e.free_port()
    home = e2e.Home({"AutoLogon": False, "AutoListen": True, "AutoUpdate": False, "ListenPort": str(port)})
    program = e2e.Parlo(home, {"PARLO_SYNTHETIC_CAMERA": "1", "PARLO_TEST_CAM_BROADCAST": "1",
                               "PARLO_TEST_CAM_ALLOW": "1", "PARLO_TEST_CAM_INTERVAL_MS": str(INTERVAL_MS)})
    try:
        program.wait_trace("cam broadcasting", timeout=30)
        rows = [("no viewer (preview only)",) + measure(program, port, 0),
                ("1 viewer (reference)",) + measure(program, port, 1),
                ("20 viewers",) + measure(program, port, 20)]
    finally:
        program.stop()
        home.remove()
    print("Webcam broadcast, synthetic camera 320x240, quality 50, one picture every %d ms (%.1f a second)"
          % (INTERVAL_MS, 1000.0 / INTERVAL_MS))
    print("%-26s %16s   %s" % ("", "broadcaster CPU", "pictures a viewer a second (min median max)"))
    for name, cpu, rates in rows:
        spread = "%.1f %.1f %.1f" % (min(rates), statistics.median(rates), max(rates)) if rates else "-"
        print("%-26s %15.1f%%   %s" % (name, cpu, spread))


if __name__ == "__main__":
    main()
