#!/usr/bin/env python3
"""Scripted members of a chat room: several connections to a room host's chat
port, driven from one script in a fixed order, for the host's tests.

Written from the room protocol alone. Every frame is two blanks, the decimal
code, "<", the parameter, ">" and CR LF: a room frame's text after the ">" is
always empty, so the parameter is everything between the first "<" and the
">" that ends the line. Bytes are Windows-1252, carried as latin-1.

    python3 room_members.py HOST PORT SCRIPT.json

The script is a list of steps, each naming the member ("m", from 0) it
belongs to:

    {"m": 0, "op": "connect"}
    {"m": 0, "op": "expect", "code": 2000, "params": "127.0.0.1", "timeout": 5}
    {"m": 0, "op": "send", "code": 2001, "params": "11{$}Bob{$}2961{$}0"}
    {"m": 0, "op": "raw", "data": "  2007<...>\\r\\n"}
    {"m": 0, "op": "long_line", "bytes": 70000}
    {"m": 0, "op": "expect_silence", "seconds": 0.3}
    {"m": 0, "op": "expect_close", "timeout": 5}
    {"m": 0, "op": "close"}
    {"op": "sleep", "seconds": 0.2}

An expected frame must end with ">" (no text), and its parameter must match
"params" exactly when given. Every step is printed; the exit status is 0 when
the whole script passed.
"""

import json
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from peer import Peer, PeerError, read_json, report  # noqa: E402


def room_frame(line):
    """(code, parameter) of a received room line; raises on a frame with text."""
    text = line.decode("latin-1").lstrip("".join(chr(c) for c in range(33)))
    head = text[:4]
    code = int(head) if len(head) == 4 and head.isdigit() else 9999
    lt = text.find("<")
    if lt < 0 or not text.endswith(">"):
        raise PeerError("not a room frame: %r" % text[:200])
    return code, text[lt + 1:-1]


def run(host, port, steps, out):
    members = {}
    try:
        for n, step in enumerate(steps, 1):
            print("step %d: %s" % (n, json.dumps(step)[:300]), file=out, flush=True)
            op, m = step["op"], step.get("m", 0)
            if op == "connect":
                members[m] = Peer(host, port)
            elif op == "send":
                members[m].send(step["code"], step.get("params", ""))
            elif op == "raw":
                members[m].send_raw(step["data"])
            elif op == "long_line":
                members[m].send_raw("  2007<" + "x" * step["bytes"] + ">\r\n")
            elif op == "expect":
                code, params = room_frame(members[m].read_line(step.get("timeout")))
                print("  got %d %r" % (code, params[:200]), file=out)
                if code != step["code"] or ("params" in step and params != step["params"]):
                    raise PeerError("expected %d %r" % (step["code"], step.get("params")))
            elif op == "expect_silence":
                members[m].expect_silence(step.get("seconds", 0.3))
            elif op == "expect_close":
                members[m].expect_close(step.get("timeout"))
            elif op == "close":
                members.pop(m).close()
            elif op == "sleep":
                time.sleep(step.get("seconds", 0.1))
            else:
                raise PeerError("unknown op %r" % op)
    finally:
        for member in members.values():
            member.close()


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    return report(run, argv[1], int(argv[2]), read_json(argv[3]), sys.stdout)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
