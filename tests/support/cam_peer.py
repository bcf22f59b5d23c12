#!/usr/bin/env python3
"""Scripted webcam peers, written from the peer protocol's webcam commands.

Frames are those of peer.py. V is the viewer, B the broadcaster whose peer
listener V connects to: V sends 1030 "uid{$}name{$}listen address{$}listen
port" at once (the listener's 1000 comes anyway); B answers 1031 (admitted),
1032 (refused) or 1038 (no cam); V asks for each picture with 1033; B sends
1034 with a length n followed by exactly n raw JPEG bytes, or 1036 while
paused.

    cam_peer.py viewers HOST PORT SPEC.json

runs viewers side by side and prints a JSON list of reports. SPEC lists
objects with "name", "mode", "seconds", "uid", "listen_port" and "keep" (a
folder for the pictures). Modes: "ready" asks again as soon as a picture is
whole; "slow" takes pictures in small pieces with pauses and asks late;
"stall" never asks again; "reset" resets its link after its first picture.
A report holds the pictures, the timeline of received codes, and the
breaches of the protocol seen (a picture not asked for, a bad length).

    cam_peer.py serve SCRIPT.json

plays a broadcaster for one caller on a free loopback port (printed as
"listening PORT"), running peer.py's steps plus {"op": "picture", "file": F,
"split": [offsets], "then": "bytes after it in the same write"}; prints
PASSED or FAILED: reason.
"""

import json
import os
import socket
import struct
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from peer import Peer, PeerError, frame_bytes, parse_frame, read_json, report, run_script  # noqa: E402

MAX_PICTURE = 1 << 20


class CamViewer:
    def __init__(self, host, port, name="Viewer", mode="ready", uid="70000001", listen_port="2960", keep=None):
        self.host, self.port, self.name, self.mode = host, port, name, mode
        self.request = "{$}".join([uid, name, "127.0.0.1", listen_port])
        self.keep = keep
        self.timeline, self.pictures, self.breaches = [], [], []
        self.refused, self.closed = None, False
        self.started = time.monotonic()

    def picture(self, p, n, deadline):
        slow = self.mode == "slow"
        while len(p.buf) < n:
            if slow:
                time.sleep(0.02)
            p.sock.settimeout(max(0.01, deadline - time.monotonic()))
            data = p.sock.recv(min(1024, n - len(p.buf)) if slow else 65536)
            if not data:
                raise PeerError("closed inside a picture")
            p.buf += data
        data, p.buf = p.buf[:n], p.buf[n:]
        if self.keep:
            os.makedirs(self.keep, exist_ok=True)
            name = os.path.join(self.keep, "%04d.jpg" % (len(self.pictures) + 1))
            with open(name, "wb") as f:
                f.write(data)
            data = name
        self.pictures.append(data if self.keep else len(data))

    def run(self, seconds):
        deadline = time.monotonic() + seconds
        owed = False  # a 1033 is out and its picture has not come
        try:
            with Peer(self.host, self.port) as p:
                p.send(1030, self.request)
                while time.monotonic() < deadline:
                    try:
                        f = parse_frame(p.read_line(timeout=max(0.01, deadline - time.monotonic())))
                    except PeerError as e:
                        self.closed = "time limit" not in str(e)
                        break
                    self.timeline.append((round(time.monotonic() - self.started, 3), f.code))
                    if f.code in (1032, 1038):
                        self.refused = f.code
                        p.expect_close()
                        self.closed = True
                        break
                    if f.code == 1031:
                        p.send(1033)
                        owed = True
                    elif f.code == 1034:
                        self.take(p, f, owed, deadline)
                        owed = False
                        if self.mode == "reset":
                            p.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                            p.close()
                            self.closed = True
                            break
                        if self.mode == "stall":
                            continue
                        if self.mode == "slow":
                            time.sleep(0.3)
                        p.send(1033)
                        owed = True
        except (OSError, PeerError) as e:
            self.closed = True
            self.timeline.append((round(time.monotonic() - self.started, 3), str(e)[:80]))
        return {"name": self.name, "pictures": self.pictures, "breaches": self.breaches,
                "refused": self.refused, "closed": self.closed, "timeline": self.timeline}

    def take(self, p, f, owed, deadline):
        if not owed:
            self.breaches.append("picture %d not asked for" % (len(self.pictures) + 1))
        n = int(f.params) if f.params.isdigit() else 0
        if not 0 < n <= MAX_PICTURE:
            self.breaches.append("length %r" % f.params)
            raise PeerError("bad length")
        self.picture(p, n, deadline + 5)


def scan_bomb(width, height, scans):
    """A grey progressive JPEG, written from the JPEG syntax alone: a first
    scan of zero brightness, then `scans` - 1 refinement scans of the detail
    of every block, each a couple of end-of-band runs that still make a
    decoder visit every block. A few bytes a scan; a megabyte holds tens of
    thousands."""
    def segment(marker, body):
        return struct.pack(">BBH", 0xFF, marker, len(body) + 2) + body

    def coded(bits):
        bits += "1" * (-len(bits) % 8)  # padded with ones
        data = bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))
        return data.replace(b"\xff", b"\xff\x00")

    blocks = ((width + 7) // 8) * ((height + 7) // 8)
    # Brightness: one code, "0", a change of 0. Detail: end-of-band runs of
    # 2^n blocks plus n bits, n = 0..14, each a four-bit code.
    tables = segment(0xC4, b"\x00" + bytes([1] + [0] * 15) + b"\x00") + \
        segment(0xC4, b"\x10" + bytes([0, 0, 0, 15] + [0] * 12) + bytes(n << 4 for n in range(15)))
    runs, left = "", blocks
    while left:
        run = min(left, 32767)
        n = run.bit_length() - 1
        runs, left = runs + format(n, "04b") + (format(run - (1 << n), "0%db" % n) if n else ""), left - run
    refinement = segment(0xDA, bytes([1, 1, 0x00, 1, 63, 0x10])) + coded(runs)
    head = b"\xff\xd8" + segment(0xDB, b"\x00" + b"\x01" * 64) + \
        segment(0xC2, struct.pack(">BHHB", 8, height, width, 1) + b"\x01\x11\x00") + tables + \
        segment(0xDA, bytes([1, 1, 0x00, 0, 0, 0x00])) + coded("0" * blocks)
    return head + refinement * (scans - 1) + b"\xff\xd9"


def serve(steps):
    server = socket.create_server(("127.0.0.1", 0))
    print("listening %d" % server.getsockname()[1], flush=True)
    server.settimeout(10)
    peer = Peer("127.0.0.1", 0, connect=False)
    peer.sock, _ = server.accept()
    server.close()
    peer.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    with peer:
        for step in steps:
            if step["op"] != "picture":
                run_script(peer, [step])
                continue
            with open(step["file"], "rb") as f:
                data = f.read()
            head = frame_bytes(1034, str(len(data)))
            peer.send_raw(head + data + step.get("then", "").encode("latin-1"),
                          [at + len(head) for at in step.get("split", [])])


def main(argv):
    if len(argv) == 5 and argv[1] == "viewers":
        spec = read_json(argv[4])
        viewers = [CamViewer(argv[2], int(argv[3]), v["name"], v.get("mode", "ready"), v.get("uid", "70000001"),
                             v.get("listen_port", "2960"), v.get("keep")) for v in spec]
        reports = [None] * len(viewers)
        threads = [threading.Thread(target=lambda i=i: reports.__setitem__(i, viewers[i].run(spec[i]["seconds"])))
                   for i in range(len(viewers))]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        print(json.dumps(reports))
        return 0
    if len(argv) == 3 and argv[1] == "serve":
        return report(serve, read_json(argv[2]))
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
