"""Self-test of the scripted peer against a tiny listener written here."""

import json
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import peer  # noqa: E402


class TinyListener:
    """Greets with 1000, then answers line by line: 1001 -> 1004 "away" and
    close; 1006 is only recorded; any other code closes. Records every line and
    every read's bytes."""

    def __init__(self):
        self.srv = socket.socket()
        self.srv.bind(("127.0.0.1", 0))
        self.srv.listen(8)
        self.port = self.srv.getsockname()[1]
        self.lines, self.chunks = [], []
        self.done = threading.Event()
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        conn, _ = self.srv.accept()
        with conn:
            conn.sendall(b"  1000<>\r\n")
            buf = b""
            while True:
                chunk = conn.recv(4096)
                if not chunk:
                    break
                self.chunks.append(chunk)
                buf += chunk
                while b"\r\n" in buf:
                    line, buf = buf.split(b"\r\n", 1)
                    self.lines.append(line)
                    code = line.strip()[:4]
                    if code == b"1001":
                        conn.sendall(b"  1004<away>\r\n")
                        self.done.set()
                        return
                    if code != b"1006":
                        self.done.set()
                        return
        self.done.set()

    def close(self):
        self.srv.close()


class PeerTest(unittest.TestCase):
    def setUp(self):
        self.listener = TinyListener()
        self.addCleanup(self.listener.close)

    def test_request_answered_then_closed(self):
        with peer.Peer("127.0.0.1", self.listener.port) as p:
            p.expect(1000, params="", text="")
            p.send(1001, "123||General||2960")
            reply = p.expect(1004)
            self.assertEqual(reply.params, "away")
            self.assertIn(p.expect_close(timeout=3), ("fin", "reset"))
        self.assertEqual(self.listener.lines, [b"  1001<123||General||2960>"])

    def test_split_write_arrives_in_pieces_and_coalesced_frames_together(self):
        with peer.Peer("127.0.0.1", self.listener.port) as p:
            p.expect(1000)
            p.send(1006, "", "hello", split=[2, 7])
            p.send_frames([(1006, "", "a,b"), (1006, "", "c")])
            p.send(1001)
            p.expect(1004)
        self.listener.done.wait(3)
        self.assertEqual(self.listener.lines,
                         [b"  1006<>hello", b"  1006<>a,b", b"  1006<>c", b"  1001<>"])
        # The split frame's first pieces came in reads of their own; the two
        # coalesced frames came in one read (possibly behind the last piece).
        self.assertEqual(self.listener.chunks[:2], [b"  ", b"1006<"])
        self.assertTrue(any(b"  1006<>a,b\r\n  1006<>c\r\n" in c for c in self.listener.chunks),
                        self.listener.chunks)

    def test_failures_are_reported(self):
        with peer.Peer("127.0.0.1", self.listener.port) as p:
            with self.assertRaisesRegex(peer.PeerError, "expected 1002"):
                p.expect(1002)
            with self.assertRaisesRegex(peer.PeerError, "time limit"):
                p.expect(1004, timeout=0.2)
            with self.assertRaisesRegex(peer.PeerError, "still open"):
                p.expect_close(timeout=0.2)
            p.expect_silence(0.2)
            p.send(1002)  # unknown to the listener: it hangs up
            with self.assertRaisesRegex(peer.PeerError, "closed"):
                p.expect(1004)

    def test_parse_frame(self):
        cases = [
            (b"\x01\t1006<>a>b", 1006, "", "a>b"),
            (b"  12a4<x>y", 9999, "x", "y"),
            (b"  1001", 1001, "", "1001"),
        ]
        for line, code, params, text in cases:
            f = peer.parse_frame(line)
            self.assertEqual((f.code, f.params, f.text), (code, params, text), line)
        self.assertEqual(peer.parse_frame(b"  2020<a,b>").param_list(), ["a", "b"])
        self.assertEqual(peer.cut(b"abcdef", [4, 0, 2, 99, 2]), [b"ab", b"cd", b"ef"])

    def test_command_line_script(self):
        script = [
            {"op": "expect", "code": 1000},
            {"op": "raw", "data": "  1006<>x\r\n", "split": [3]},
            {"op": "send", "code": 1001, "params": "9", "split": [1]},
            {"op": "expect", "code": 1004, "params": "away"},
            {"op": "expect_close", "timeout": 3},
        ]
        with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as f:
            json.dump(script, f)
        self.addCleanup(os.unlink, f.name)
        run = subprocess.run([sys.executable, os.path.join(HERE, "peer.py"), "127.0.0.1",
                              str(self.listener.port), f.name], capture_output=True, text=True, timeout=20)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        self.assertIn("PASSED", run.stdout)

        bad = TinyListener()
        self.addCleanup(bad.close)
        with open(f.name, "w") as g:
            json.dump([{"op": "expect", "code": 1002, "timeout": 1}], g)
        run = subprocess.run([sys.executable, os.path.join(HERE, "peer.py"), "127.0.0.1",
                              str(bad.port), f.name], capture_output=True, text=True, timeout=20)
        self.assertEqual(run.returncode, 1, run.stdout)
        self.assertIn("FAILED", run.stdout)


if __name__ == "__main__":
    unittest.main()
