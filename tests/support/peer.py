#!/usr/bin/env python3
"""A scripted Parlo peer: connects to a program's listener and speaks the peer
protocol from a script, for end-to-end tests.

Written from the wire protocol alone. A frame is two blanks, the decimal
command code, "<", the parameters, ">", the text and CR LF; bytes are
Windows-1252 and are carried here as latin-1 strings, so every byte maps to
one character and back unchanged. A listener greets a new connection with
1000 and then reads one line per frame.

Use it from Python:

    with Peer("127.0.0.1", 2960) as p:
        p.expect(1000)
        p.send(1001, record)                 # one write
        p.send(1001, record, split=[2, 9])   # three writes, cut at bytes 2 and 9
        p.send_frames([(1006, "", "hi"), (1007, "", "")])  # two frames, one write
        p.send_raw(b"  1006<>x", split=[4])  # bytes as they stand
        reply = p.expect(1004, timeout=3)
        p.expect_close()

or take the place of a listener, for a program that calls out:

    with Peer.listen("127.0.0.1", 0) as p:    # p.port is the port taken
        ...                                    # let the program connect
        p.accept()
        p.send(1000)                           # the greeting is the script's
        p.expect(1001)

or run a script of JSON steps from the command line, as the caller or as
the listener (which prints "listening PORT" once it listens, PORT 0 taking
any free port, and waits for one caller):

    python3 peer.py HOST PORT SCRIPT.json
    python3 peer.py --listen HOST PORT SCRIPT.json

where the script is a list of steps, each an object with "op" and its
arguments:

    {"op": "expect", "code": 1000, "params": "...", "text": "...", "timeout": 5}
    {"op": "send", "code": 1001, "params": "...", "text": "", "split": [3]}
    {"op": "send_frames", "frames": [[1006, "", "a"], [1006, "", "b"]]}
    {"op": "raw", "data": "  1006<>x\\r\\n", "split": [1, 2]}
    {"op": "expect_close", "timeout": 5}
    {"op": "expect_silence", "seconds": 0.5}
    {"op": "sleep", "seconds": 0.2}
    {"op": "close"}

"params" and "text" of an expect step are optional; when given they must
match exactly. Every step is printed as it runs; the exit status is 0 when
the whole script passed and 1 at the first failure.
"""

import json
import socket
import sys
import time

# A peer's line is far shorter than this; a listener that sends more without a
# line end is broken, and the test should fail rather than buffer forever.
MAX_LINE = 1 << 20
# The pause between the pieces of a split write: long enough for the
# receiver's read to return the first piece on its own.
SPLIT_PAUSE = 0.1


class PeerError(AssertionError):
    """The listener did not do what the script expected."""


class Frame:
    """One received frame: code, raw parameters (commas kept), text."""

    def __init__(self, code, params, text, line):
        self.code = code
        self.params = params
        self.text = text
        self.line = line

    def param_list(self):
        """The parameters as the receiver splits them, one item per comma."""
        return self.params.split(",") if self.params else []

    def __repr__(self):
        return "Frame(%d, %r, %r)" % (self.code, self.params, self.text)


def frame_bytes(code, params="", text=""):
    """The bytes of one frame, CR LF included."""
    return ("  %d<%s>%s\r\n" % (code, params, text)).encode("latin-1")


def parse_frame(line):
    """Reads one line (without its CR LF) as a receiver does.

    Characters below 33 at the start are dropped; the code is the first four
    characters (9999 when they are no number); the parameters run from the
    first "<" to the first ">"; the text is what follows that ">" (the whole
    line when there is none).
    """
    if isinstance(line, bytes):
        line = line.decode("latin-1")
    stripped = line.lstrip("".join(chr(c) for c in range(33)))
    head = stripped[:4]
    code = int(head) if len(head) == 4 and head.isdigit() else 9999
    lt, gt = stripped.find("<"), stripped.find(">")
    params = stripped[lt + 1:gt] if lt >= 0 and gt > lt else ""
    text = stripped[gt + 1:] if gt >= 0 else stripped
    return Frame(code, params, text, line)


def cut(data, split):
    """`data` cut at the given byte offsets (out-of-range offsets ignored)."""
    points = sorted({p for p in (split or []) if 0 < p < len(data)})
    pieces, start = [], 0
    for p in points:
        pieces.append(data[start:p])
        start = p
    pieces.append(data[start:])
    return pieces


class Peer:
    """One connection to a listener, driven step by step."""

    def __init__(self, host, port, timeout=5.0, connect=True):
        self.host, self.port = host, port
        self.timeout = timeout
        self.sock = None
        self.buf = b""
        self.log = []
        self.server = None
        if connect:
            self.connect()

    @classmethod
    def listen(cls, host, port, timeout=5.0):
        """A peer that waits for one caller on (host, port); port 0 takes any."""
        p = cls(host, port, timeout, connect=False)
        p.server = socket.socket()
        p.server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        p.server.bind((host, port))
        p.server.listen(1)
        p.port = p.server.getsockname()[1]
        return p

    def accept(self, timeout=None):
        """Takes the one caller; the listening socket closes."""
        self.server.settimeout(self.timeout if timeout is None else timeout)
        try:
            self.sock, _ = self.server.accept()
        except socket.timeout:
            raise PeerError("nobody called within the time limit") from None
        finally:
            self.server.close()
            self.server = None
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.buf = b""

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def connect(self):
        self.sock = socket.create_connection((self.host, self.port), timeout=self.timeout)
        # Each write leaves as its own segment, so a split write really arrives
        # in pieces and a coalesced one in one piece.
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.buf = b""

    def close(self):
        if self.server is not None:
            self.server.close()
            self.server = None
        if self.sock is not None:
            try:
                self.sock.close()
            finally:
                self.sock = None

    # ----- writing ---------------------------------------------------------

    def _write(self, data, split=None, pause=SPLIT_PAUSE):
        pieces = cut(data, split)
        for i, piece in enumerate(pieces):
            if i:
                time.sleep(pause)
            self.sock.sendall(piece)
        self.log.append(("sent", data, len(pieces)))

    def send(self, code, params="", text="", split=None):
        """One frame; `split` lists byte offsets at which the write is cut."""
        self._write(frame_bytes(code, params, text), split)

    def send_frames(self, frames, split=None):
        """Several frames in one write (or cut at `split` across them)."""
        self._write(b"".join(frame_bytes(*f) for f in frames), split)

    def send_raw(self, data, split=None):
        if isinstance(data, str):
            data = data.encode("latin-1")
        self._write(data, split)

    # ----- reading ---------------------------------------------------------

    def _fill(self, deadline):
        """One more read into the buffer; b"" at the end of the connection."""
        left = deadline - time.monotonic()
        if left <= 0:
            raise socket.timeout()
        self.sock.settimeout(left)
        chunk = self.sock.recv(65536)
        self.buf += chunk
        return chunk

    def read_line(self, timeout=None):
        """The next whole line without its CR LF."""
        deadline = time.monotonic() + (self.timeout if timeout is None else timeout)
        while b"\r\n" not in self.buf:
            if len(self.buf) > MAX_LINE:
                raise PeerError("line longer than %d bytes" % MAX_LINE)
            try:
                chunk = self._fill(deadline)
            except socket.timeout:
                raise PeerError("no whole line within the time limit; have %r" % self.buf[:200]) from None
            except ConnectionResetError:
                raise PeerError("connection reset; have %r" % self.buf[:200]) from None
            if not chunk:
                raise PeerError("connection closed; have %r" % self.buf[:200])
        line, self.buf = self.buf.split(b"\r\n", 1)
        self.log.append(("received", line))
        return line

    def expect(self, code, params=None, text=None, timeout=None):
        """The next frame must carry `code` (and the given parameters and text)."""
        got = parse_frame(self.read_line(timeout))
        if got.code != code:
            raise PeerError("expected %d, got %r" % (code, got.line))
        if params is not None and got.params != params:
            raise PeerError("expected %d with parameters %r, got %r" % (code, params, got.params))
        if text is not None and got.text != text:
            raise PeerError("expected %d with text %r, got %r" % (code, text, got.text))
        return got

    def expect_close(self, timeout=None):
        """The listener must end the connection with nothing more sent.

        Returns "fin" for an orderly close and "reset" for a reset.
        """
        deadline = time.monotonic() + (self.timeout if timeout is None else timeout)
        if self.buf:
            raise PeerError("expected the close, have %r" % self.buf[:200])
        while True:
            try:
                chunk = self._fill(deadline)
            except socket.timeout:
                raise PeerError("connection still open after the time limit") from None
            except ConnectionResetError:
                return "reset"
            if not chunk:
                return "fin"
            raise PeerError("expected the close, received %r" % self.buf[:200])

    def expect_silence(self, seconds):
        """Nothing may arrive for `seconds`, and the connection stays open."""
        deadline = time.monotonic() + seconds
        try:
            chunk = self._fill(deadline)
        except socket.timeout:
            return
        except ConnectionResetError:
            raise PeerError("connection reset while silence was expected") from None
        if not chunk:
            raise PeerError("connection closed while silence was expected")
        raise PeerError("expected silence, received %r" % self.buf[:200])


def run_script(peer, steps, out=None):
    """Runs JSON-style steps on a connected peer; raises PeerError on a failure."""
    for n, step in enumerate(steps, 1):
        op = step.get("op")
        if out is not None:
            print("step %d: %s" % (n, json.dumps(step)), file=out)
        if op == "send":
            peer.send(step["code"], step.get("params", ""), step.get("text", ""), step.get("split"))
        elif op == "send_frames":
            peer.send_frames([tuple(f) for f in step["frames"]], step.get("split"))
        elif op == "raw":
            peer.send_raw(step["data"], step.get("split"))
        elif op == "expect":
            got = peer.expect(step["code"], step.get("params"), step.get("text"), step.get("timeout"))
            if out is not None:
                print("  got %r" % got, file=out)
        elif op == "expect_close":
            how = peer.expect_close(step.get("timeout"))
            if out is not None:
                print("  closed (%s)" % how, file=out)
        elif op == "expect_silence":
            peer.expect_silence(step.get("seconds", 0.5))
        elif op == "sleep":
            time.sleep(step.get("seconds", 0.1))
        elif op == "close":
            peer.close()
        else:
            raise PeerError("step %d: unknown op %r" % (n, op))


def read_json(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def report(play, *args):
    """Runs play(*args), then prints PASSED, or FAILED with the reason; the exit status."""
    try:
        play(*args)
    except (PeerError, OSError) as e:
        print("FAILED: %s" % e, flush=True)
        return 1
    print("PASSED", flush=True)
    return 0


def main(argv):
    listening = len(argv) == 5 and argv[1] == "--listen"
    if listening:
        argv = argv[1:]
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    host, port, steps = argv[1], int(argv[2]), read_json(argv[3])

    def play():
        if listening:
            peer = Peer.listen(host, port)
            print("listening %d" % peer.port, flush=True)
            peer.accept()
        else:
            peer = Peer(host, port)
        with peer:
            run_script(peer, steps, sys.stdout)

    return report(play)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
