#!/usr/bin/env python3
"""Round trip of a private-chat text (1006) between two parlo programs on
loopback, beside a plain TCP echo of the same frame between two processes
(conversations_tcp_echo). The two take turns over several rounds, each round
giving one ratio of the medians; the median ratio is the figure, against the
goal of at most 3 times the echo.

    taskset -c 2,3 python3 bench/conversations/pchat_bench.py [BUILD_DIR] [N per round, default 2000]

Bob listens and accepts by himself and sends every message back; Ann calls
him and sends the next message once the last came back, timing from the send
to the echo shown in her transcript (her typing of the next message comes
before the send; his typing of the echo is part of the round trip). Both
render every message as the user sees it. A program built without the
transcript control has no chat window: the bench then says so and stops.
"""

import os
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.abspath(os.path.join(HERE, "..", ".."))
BUILD = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else os.path.join(SOURCE, "build")
MESSAGES = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
ROUNDS = 5
GOAL = 3.0
os.environ.setdefault("PARLO_SOURCE_DIR", SOURCE)
os.environ.setdefault("PARLO_BINARY_DIR", BUILD)
sys.path.insert(0, os.path.join(SOURCE, "tests", "core"))

import parlo_e2e as e2e  # noqa: E402


class NoChatWindow(Exception):
    pass


def figures(line):
    words = line.split()
    return float(words[words.index("median") + 1]), float(words[words.index("p99") + 1])


def echo_round():
    out = subprocess.run([os.path.join(BUILD, "bench", "conversations", "conversations_tcp_echo"), str(MESSAGES)],
                         capture_output=True, text=True, check=True).stdout
    return figures(out)


def chat_round():
    out = tempfile.mkdtemp(prefix="parlo-bench-")
    common = {"AutoLogon": False, "AutoUpdate": False}
    bob_port = e2e.free_port()
    bob_home = e2e.Home(dict(common, UserID="52000002", AutoListen=True, ListenPort=str(bob_port), AutoPChat=True))
    ann_home = e2e.Home(dict(common, UserID="41000001", AutoListen=False, ListenPort=str(e2e.free_port())))
    quiet = {"PARLO_TEST_PCHAT_QUIET": "1"}
    bob = e2e.Parlo(bob_home, dict(quiet, PARLO_TEST_PCHAT_ECHO="1",
                                   PARLO_TEST_PCHAT_SAVE=os.path.join(out, "bob.txt")))
    ann = None
    try:
        bob.wait_trace("listening", timeout=30)
        if any(line == "private chat unavailable" for _, line in bob.lines):
            raise NoChatWindow()
        ann = e2e.Parlo(ann_home, dict(quiet, PARLO_TEST_PCHAT_CALL="Bob:%d" % bob_port,
                                       PARLO_TEST_PCHAT_PINGS=str(MESSAGES),
                                       PARLO_TEST_PCHAT_SAVE=os.path.join(out, "ann.txt")))
        _, done = ann.wait_trace(lambda l: l.startswith("pchat round trips"), timeout=600)
    finally:
        for p in (ann, bob):
            if p is not None:
                p.stop(timeout=120)
        bob_home.remove()
        ann_home.remove()
    return figures(done)


def main():
    chats, echoes, ratios = [], [], []
    try:
        for r in range(ROUNDS):
            if r % 2 == 0:
                echo = echo_round()
                chat = chat_round()
            else:
                chat = chat_round()
                echo = echo_round()
            chats.append(chat)
            echoes.append(echo)
            ratios.append(chat[0] / echo[0])
    except NoChatWindow:
        print("private chat round trip: skipped, this build has no transcript control")
        return
    med = statistics.median
    print("round trip of a chat text over loopback, %d messages a round, medians of %d alternating rounds"
          " (microseconds):" % (MESSAGES, ROUNDS))
    print("  %-40s median %8.1f   p99 %8.1f" % ("two parlo programs, 1006 shown and echoed",
                                                 med(c[0] for c in chats), med(c[1] for c in chats)))
    print("  %-40s median %8.1f   p99 %8.1f" % ("plain TCP echo, two processes",
                                                 med(e[0] for e in echoes), med(e[1] for e in echoes)))
    ratio = med(ratios)
    print("  ratio to the echo %.2f (rounds: %s); goal <= %.1f: %s"
          % (ratio, " ".join("%.1f" % x for x in ratios), GOAL, "met" if ratio <= GOAL else "NOT met"))


if __name__ == "__main__":
    main()
