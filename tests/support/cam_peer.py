#!/usr/bin/env python3
"""Scripted webcam peers for tests and benches, written from the peer
protocol's webcam commands alone.

Frames are as in peer.py: two blanks, the decimal code, "<", the
parameters, ">", the text, CR LF. The webcam commands, V the viewer and B
the broadcaster, whose peer listener V connects to:

    1030 V->B  view request: uid{$}user name{$}listen address{$}listen port
               (sent at once; the listener's 1000 greeting comes anyway)
    1031 B->V  admitted           1032 B->V  refused
    1033 V->B  ready for the next picture
    1034 B->V  parameter n: exactly n raw JPEG bytes follow the line
    1035 V->B  not ready          1036 B->V  paused
    1038 B->V  no cam is running

A viewer (CamViewer) asks for the cam and takes pictures in one of these
manners:

    ready   asks for the next picture as soon as one is whole
    slow    takes each picture in small pieces with pauses, asks late
    stall   never asks again after its first picture
    reset   resets its link after its first picture

Each keeps a timeline of what it received, the pictures themselves, and
every breach of the protocol it saw (a picture it had not asked for, a
line where picture bytes were due).

From the command line:

    cam_peer.py viewers HOST PORT SPEC.json

runs the viewers of SPEC (a list of objects with "name", "mode", and
optionally "seconds", "keep" a folder for the pictures, "uid",
"listen_port") side by side and prints one JSON report per viewer, a list.

    cam_peer.py serve SCRIPT.json

plays a broadcaster: listens on a free loopback port, prints
"listening PORT", takes one caller and runs the script's steps (those of
peer.py, plus {"op": "picture", "file": F, "split": [...]} which sends
1034 with F's size and then F's bytes, cut at the given offsets, and
{"op": "picture_bytes", "length": "n", "file": F, "split": [...]} which
announces any length text; "then" adds bytes after the picture, in the same
write). Prints PASSED or FAILED: reason.
"""

import json
import os
import socket
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from peer import Peer, PeerError, frame_bytes, parse_frame, run_script  # noqa: E402

# A picture larger than the protocol's bound is a broken broadcaster.
MAX_PICTURE = 1 << 20


class CamViewer:
    def __init__(self, host, port, name="Viewer", mode="ready", uid="70000001", listen_port="2960", keep=None):
        self.host, self.port = host, port
        self.name, self.mode, self.uid, self.listen_port = name, mode, uid, listen_port
        self.keep = keep
        self.timeline = []  # (seconds since start, code, detail)
        self.pictures = []  # file names when keeping, else sizes
        self.breaches = []
        self.refused = None
        self.closed = False
        self.started = time.monotonic()

    def note(self, code, detail=""):
        self.timeline.append((round(time.monotonic() - self.started, 3), code, detail))

    def _read_exact(self, peer, n, deadline):
        chunk = 1024 if self.mode == "slow" else 65536
        while len(peer.buf) < n:
            if self.mode == "slow":
                time.sleep(0.02)
            left = deadline - time.monotonic()
            if left <= 0:
                raise PeerError("picture of %d bytes not whole in time (have %d)" % (n, len(peer.buf)))
            peer.sock.settimeout(left)
            data = peer.sock.recv(min(chunk, n - len(peer.buf)) if self.mode == "slow" else chunk)
            if not data:
                raise PeerError("closed inside a picture")
            peer.buf += data
        picture, peer.buf = peer.buf[:n], peer.buf[n:]
        return picture

    def run(self, seconds):
        deadline = time.monotonic() + seconds
        owed = False  # a 1033 went out and no picture came for it yet
        try:
            with Peer(self.host, self.port) as p:
                p.send(1030, "{$}".join([self.uid, self.name, "127.0.0.1", self.listen_port]))
                while time.monotonic() < deadline:
                    try:
                        line = p.read_line(timeout=max(0.01, deadline - time.monotonic()))
                    except PeerError as e:
                        if "time limit" in str(e):
                            break
                        self.closed = True
                        self.note("closed", str(e)[:60])
                        break
                    f = parse_frame(line)
                    self.note(f.code, f.params)
                    if f.code == 1000:
                        continue
                    if f.code == 1031:
                        p.send(1033)
                        owed = True
                    elif f.code in (1032, 1038):
                        self.refused = f.code
                        p.expect_close()
                        self.closed = True
                        break
                    elif f.code == 1034:
                        if not owed:
                            self.breaches.append("picture %d not asked for" % (len(self.pictures) + 1))
                        owed = False
                        try:
                            n = int(f.params)
                        except ValueError:
                            self.breaches.append("length %r" % f.params)
                            break
                        if not 0 < n <= MAX_PICTURE:
                            self.breaches.append("length %d" % n)
                            break
                        picture = self._read_exact(p, n, deadline + 5)
                        self.keep_picture(picture)
                        if self.mode == "reset":
                            p.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
                            p.close()
                            self.closed = True
                            break
                        if self.mode == "stall":
                            continue
                        if self.mode == "slow":
                            time.sleep(0.3)
                        p.send(1033)
                        owed = True
                    elif f.code == 1036:
                        pass  # paused: the broadcaster keeps this viewer's request
                    else:
                        self.breaches.append("unexpected line %r" % line[:60])
        except (OSError, PeerError) as e:
            self.closed = True
            self.note("error", str(e)[:80])
        return self.report()

    def keep_picture(self, picture):
        if self.keep:
            os.makedirs(self.keep, exist_ok=True)
            name = os.path.join(self.keep, "%s-%04d.jpg" % (self.name, len(self.pictures) + 1))
            with open(name, "wb") as f:
                f.write(picture)
            self.pictures.append(name)
        else:
            self.pictures.append(len(picture))

    def report(self):
        return {"name": self.name, "mode": self.mode, "pictures": self.pictures, "breaches": self.breaches,
                "refused": self.refused, "closed": self.closed, "timeline": self.timeline}


def run_viewers(host, port, spec):
    viewers = [CamViewer(host, port, v["name"], v.get("mode", "ready"), v.get("uid", "700000%02d" % i),
                         v.get("listen_port", "2960"), v.get("keep")) for i, v in enumerate(spec)]
    reports = [None] * len(viewers)

    def go(i):
        reports[i] = viewers[i].run(spec[i].get("seconds", 3.0))

    threads = [threading.Thread(target=go, args=(i,)) for i in range(len(viewers))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return reports


def send_picture(peer, step):
    with open(step["file"], "rb") as f:
        data = f.read()
    length = step.get("length", str(len(data)))
    head = frame_bytes(1034, length)
    # "then": bytes that follow the picture in the same write.
    peer.send_raw(head + data + step.get("then", "").encode("latin-1"), [p + len(head) for p in step.get("split", [])])


def serve(steps, out):
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    print("listening %d" % server.getsockname()[1], file=out, flush=True)
    server.settimeout(10)
    conn, _ = server.accept()
    server.close()
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    peer = Peer("127.0.0.1", 0, connect=False)
    peer.sock = conn
    plain = []
    with peer:
        for step in steps:
            if step.get("op") in ("picture", "picture_bytes"):
                run_script(peer, plain, out)
                plain = []
                print("step: %s" % json.dumps(step), file=out)
                send_picture(peer, step)
            else:
                plain.append(step)
        run_script(peer, plain, out)


def main(argv):
    if len(argv) == 5 and argv[1] == "viewers":
        with open(argv[4], encoding="utf-8") as f:
            spec = json.load(f)
        print(json.dumps(run_viewers(argv[2], int(argv[3]), spec)))
        return 0
    if len(argv) == 3 and argv[1] == "serve":
        with open(argv[2], encoding="utf-8") as f:
            steps = json.load(f)
        try:
            serve(steps, sys.stdout)
        except (PeerError, OSError) as e:
            print("FAILED: %s" % e, flush=True)
            return 1
        print("PASSED", flush=True)
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
