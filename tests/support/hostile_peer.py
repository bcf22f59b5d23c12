#!/usr/bin/env python3
"""Hostile peers for the socket layer's and the peer listener's tests, on
loopback only.

Written from the protocol alone: a link carries frames (two blanks, the
decimal code, "<", parameters, ">", text, CR LF), one per line; a raw phase,
announced by a frame, carries bytes without framing. Every mode ends by
itself: a flood after its time, the others when standard input closes or
after a minute.

  flood PORT SECONDS [--raw] [--first FRAME]  Two connections. One sends
      "  1006<>flood" (or FRAME), then as fast as the network takes them
      "  1006<>N", N counting from 0 and wrapping after 99999 (--raw: a raw
      phase, byte i being i % 251). The other sends "  1006<>tick", then
      "  1006<>tick N" every 50 ms. Both end after SECONDS, or when the other
      side ends them; prints "SENT <frames or raw bytes>".
  mute PORT         Connects and never reads.
  drain PORT        Reads until the other side ends; prints "READ <bytes> fin"
      (or "reset").
  hold PORT COUNT [--send FRAME]  Opens COUNT connections one after the other
      and never ends them, each sending FRAME (when given) and waiting briefly
      for what the listener says; prints "HELD <callers that reached it>
      GREETED <n> RESET <n>", then "DONE" once it has closed them.
  crowd PORT COUNT SECONDS  Keeps COUNT silent callers connected for SECONDS,
      opening a new one as soon as the listener ends one it greeted (a tenth
      of a second later when it turned one away unheard); prints
      "OPENED <n> ENDED <n>".
  ask PORT COUNT FRAME [--wait SECONDS]  Opens COUNT callers one after the
      other; each sends FRAME once greeted and listens for SECONDS (0.2 when
      not given) or until the link ends. Prints "ASKED <n> WAITING <still
      open, unanswered> ANSWERED <answered, then ended> ENDED <ended unanswered>
      CODES <answer codes, comma-separated, or ->", then "DONE" once it has
      closed the callers left open.
      --spread N: from N addresses in turn, up from --from. --later SECONDS:
      the waiting callers then listen that long; prints "LATER <answered>
      CODES <...>".
  say PORT TEXT     Sends TEXT (with \\r, \\n and \\xHH escapes) as one
      caller, then reads until the other side ends; prints "READ <bytes>
      fin" (or "reset").
  chat PORT RECORD COUNT BYTES [--long N:BYTES]  Asks for a chat as RECORD
      (1001), confirms the accept (1003) and sends COUNT texts of BYTES bytes
      (--long: then N texts of that many bytes, each one word without a
      blank), then "end of flood"; prints "ACCEPTED <0 or 1> SENT <texts>",
      then "DONE".
  room PORT SILENT TALKERS COUNT BYTES  SILENT members log on to a hosted
      room one after the other and never read; TALKERS from the next address each send COUNT
      texts of BYTES bytes and read the relays until the others' are all in.
      Prints "JOINED <silent> TURNED <silent turned away> SENT <texts>
      DROPPED <silent members reset>".
  idle PORT COUNT SECONDS [--trickle SECONDS] [--again SECONDS]  Keeps COUNT
      callers connected for SECONDS without a request, from --spread N
      addresses in turn; each one the program ends (or turns away) comes back
      --again seconds later (1 when not given), at most 16 every hundredth
      of a second. --trickle: each sends one byte
      of a line that never ends that often. Prints "OPENED <n> ENDED <n>".
  hangup PORT COUNT FRAME [--wait SECONDS]  Opens COUNT callers one after the
      other, from --spread N addresses in turn; each sends FRAME once greeted,
      reads the first line of the answer (for at most --wait seconds, 0 when
      not given) and hangs up. Prints "ASKED <n> CODES <answer codes, or ->".

  pictures PORT RECORD ROUNDS  Offers a cam (1037) ROUNDS times at the
      listener, then asks for a chat as RECORD and offers it ROUNDS times in
      the chat. Each viewer the program sends to its own listener (on the
      --from address) is admitted and sent one picture far too dear to
      decode, in turn one of thousands of scans and one of 4096 x 4096
      pixels, then watched: does it end the link, or ask for more (1033)?
      Prints "OFFERED <n> VIEWED <n> CLOSED <n> ASKED <n>".
  arithmetic PORT RECORD ROUNDS  Offers a cam as pictures does; each viewer
      is sent arithmetic-coded pictures whose every coefficient makes the
      decoder take some thirty steps from a bit, one on every 1033 until the
      link ends: three of 320 x 240 (10 KB), three of 640 x 480 (38 KB), one
      of 1024 x 768 (97 KB). Prints "OFFERED <n> VIEWED <n> SENT <n> ASKED
      <n> CLOSED <n>".
  dear PORT COUNT SECONDS  Offers a cam (1037) COUNT + 1 times at the
      listener, each on a link of its own, and lets each viewer in. For
      SECONDS, the first viewer is sent a small picture on every 1033, the
      other COUNT a picture as dear to decode as a picture may be (a
      progressive 1024 x 768 of 100 scans). Prints "VIEWED <n> DEAR <pictures
      asked for again> ORDINARY <n> SLOWEST <the ordinary's longest wait for
      its 1033, in seconds>".
  faces PORT RECORD CHATS COUNT BYTES [--spread N] [--pause SECONDS]  CHATS
      chats side by side (from N addresses in turn), each asked for as RECORD
      and sent COUNT texts of BYTES bytes of ":)" (SECONDS apart), then "end
      of faces"; prints "ACCEPTED <chats accepted> SENT <texts>". --sounds:
      sound effects (1008) instead, and no last text.
  answer PORT RECORD  Listens on PORT (0: any) and prints "LISTENING <port>";
      answers the program's own call as RECORD and sends a sound effect every
      10 ms until the link or standard input ends.
  room-lists PORT MEMBERS SPREAD NAME_BYTES REQUESTS  MEMBERS members from
      SPREAD addresses in turn log on one after the other as members do, named
      with NAME_BYTES bytes, reading what the room sends; once all are in,
      each asks for the member list REQUESTS times and reads no more; then
      they leave. Prints "JOINED <n> TURNED <n> DROPPED <members reset>".
  room-names PORT MEMBERS SPREAD NAME_BYTES  The same crowd, reading all the
      room sends until its members leave one after the other. Prints
      "JOINED <n> TURNED <n> SLOWEST <ms from a logon to its greeting>".
  room-impostor PORT HOST_ID HOST_NAME COUNT  A stranger logs on to a hosted
      room first with Bob's id and name; Bob then logs on and leaves COUNT
      times. Bob stays; ten strangers, each from an address of its own, log on
      with ids and names that read as the host's or Bob's and speak and play a
      sound as the host; then they leave. Bob's link then goes dead three
      times while the first stranger talks, and Bob comes back each time.
      Prints "MEMBER <tries Bob was greeted, named apart from the first>/COUNT
      APART <strangers whose join, text and sound came under one name that
      reads as no other present>/10 LEFT <ok: each leave carried the
      leaver's record> LIST <ok: the list then holds Bob once and no stranger
      gone> BACK <returns greeted>/3 SLOWEST <ms from a return to its
      greeting>".
  room-host PORT FRAMES NAME_BYTES [--lists]  Invites the program (2020) to a
      room hosted on the --from address; once it has logged on, sends FRAMES
      joins (2006) of members named with NAME_BYTES bytes (--lists: FRAMES
      whole lists (2004) of as many short records as 64 KB hold), the text
      "end of rows" (2010), and ends the room. Prints "JOINED <0 or 1> SENT <n>".
  packages PORT SENDER  Offers (1020) and, once accepted, sends as SENDER
      two packages far smaller than they claim to unpack to, each on a link of
      its own: one whose 200 directory records all point at one deflated
      entry of 4 MiB, one whose single entry says it holds 64 MiB. Prints
      "PACKAGES <sent> ACKED <answered 1024> CLOSED <links the program ended>".

Every mode takes --from ADDR: the callers' own address (127.0.0.1 when not
given), so that a test can tell an attacker from an ordinary caller. Every
mode exits with 0 once it has done what it was asked.
"""
import codecs
import os
import resource
import selectors
import socket
import struct
import sys
import threading
import time
import unicodedata
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cam_peer import scan_bomb  # noqa: E402


def drain_and_count_resets(socks, timeout):
    """Reads what each socket still has; returns how many the program reset."""
    dropped = 0
    for s in socks:
        s.settimeout(timeout)
        try:
            while s.recv(1 << 20):
                pass
        except ConnectionResetError:
            dropped += 1
        except OSError:
            pass
    return dropped


def option(name, default=None):
    return sys.argv[sys.argv.index(name) + 1] if name in sys.argv[:-1] else default


SOURCE = option("--from", "127.0.0.1")


def address(n):
    head, last = SOURCE.rsplit(".", 1)
    return "%s.%d" % (head, int(last) + n)


def connect(port, rcvbuf=None, source=None):
    s = socket.socket()
    if rcvbuf:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
    s.settimeout(5)
    s.bind((source or SOURCE, 0))
    s.connect(("127.0.0.1", port))
    return s


def unescape(text):
    return codecs.escape_decode(text.encode("latin-1"))[0]


def flood(port, seconds, raw, first):
    stop = time.monotonic() + seconds
    sent = 0

    def flooder():
        nonlocal sent
        s = connect(port)
        # One ready block repeats: 251 divides its length, and with --raw off
        # it holds exactly one round of the numbers.
        block = bytes(i % 251 for i in range(251 * 4096)) if raw else \
            b"".join(b"  1006<>%d\r\n" % i for i in range(100000))
        try:
            s.sendall(first)
            while time.monotonic() < stop:
                s.sendall(block)
                sent += len(block) if raw else 100000
        except OSError:
            pass  # the listener ended it
        s.close()

    def ticker():
        s = connect(port)
        n = 0
        try:
            s.sendall(b"  1006<>tick\r\n")
            while time.monotonic() < stop:
                s.sendall(b"  1006<>tick %d\r\n" % n)
                n += 1
                time.sleep(0.05)
        except OSError:
            pass
        s.close()

    threads = [threading.Thread(target=flooder), threading.Thread(target=ticker)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    print("SENT", sent, flush=True)


def wait_for_stdin():
    done = threading.Event()
    threading.Thread(target=lambda: (sys.stdin.read(), done.set()), daemon=True).start()
    done.wait(60)


def read_to_end(s):
    total, end = 0, "fin"
    try:
        while chunk := s.recv(1 << 16):
            total += len(chunk)
    except ConnectionResetError:
        end = "reset"
    print("READ", total, end, flush=True)


def drain(port):
    s = connect(port)
    s.settimeout(60)
    read_to_end(s)


def raise_descriptor_limit():
    # The caller's own descriptors are not the listener's limit.
    hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))


def hold(port, count, send):
    raise_descriptor_limit()
    conns, reached, greeted, reset = [], 0, 0, 0
    for i in range(count):
        try:
            s = connect(port)
            if send:
                s.sendall(send)
        except ConnectionResetError:
            reached, reset = reached + 1, reset + 1  # turned away at once
            continue
        except OSError as e:
            print("connection", i, "failed:", e, file=sys.stderr, flush=True)
            continue
        reached += 1
        conns.append(s)
        s.settimeout(0.5)
        try:
            greeted += bool(s.recv(4096))
        except socket.timeout:
            pass
        except OSError:
            reset += 1
    print("HELD", reached, "GREETED", greeted, "RESET", reset, flush=True)
    wait_for_stdin()
    for s in conns:
        s.close()
    print("DONE", flush=True)


def crowd(port, count, seconds):
    raise_descriptor_limit()
    stop = time.monotonic() + seconds
    opened = ended = 0
    conns = {}  # socket -> greeted
    pause = 0.0
    while time.monotonic() < stop:
        # Connects run side by side: one the listener's queue has no room for
        # yet waits for the system's retry without holding up the others.
        time.sleep(pause)
        while len(conns) < count:
            s = socket.socket()
            s.setblocking(False)
            s.bind((SOURCE, 0))
            s.connect_ex(("127.0.0.1", port))
            conns[s] = False
            opened += 1
        time.sleep(0.01)
        # A caller the time-out ended comes straight back; one turned away
        # before it was greeted tries again a little later.
        pause = 0.0
        for s in list(conns):
            try:
                while data := s.recv(4096):
                    conns[s] = True
            except BlockingIOError:
                continue
            except OSError:
                pass
            if not conns.pop(s):
                pause = 0.1
            ended += 1
            s.close()
    for s in conns:
        s.close()
    print("OPENED", opened, "ENDED", ended, flush=True)


def codes_of(data):
    return [line[2:6].decode("latin-1") for line in data.split(b"\r\n") if line]


def read_all(s):
    data = b""
    try:
        while chunk := s.recv(1 << 16):
            data += chunk
    except OSError:
        pass
    return data


def ask_once(port, frame, wait, source):
    """One caller: its socket when the request still waits after the greeting
    (None when the link ended), and the codes of the frames that answered it."""
    greeting = b"  1000<>\r\n"
    data = b""
    try:
        s = connect(port, source=source)
    except OSError:
        return None, []
    try:
        while not data.startswith(greeting):
            chunk = s.recv(4096)
            if not chunk:
                break
            data += chunk
        if data.startswith(greeting):
            data = data[len(greeting):]
            s.sendall(frame)
            s.settimeout(wait)
            while chunk := s.recv(4096):
                data += chunk
    except socket.timeout:
        pass  # nothing more within the wait: the request waits on someone
    except OSError:
        s.close()
        s = None  # turned away
    else:
        s.close()
        s = None
    return s, codes_of(data)


def ask(port, count, frame, wait, spread, later):
    raise_descriptor_limit()
    waiting, answered, ended, codes = [], 0, 0, []
    for n in range(count):
        s, replies = ask_once(port, frame, wait, address(n % spread))
        codes += replies
        if s is not None:
            waiting.append(s)
        elif replies:
            answered += 1
        else:
            ended += 1
    print("ASKED", count, "WAITING", len(waiting), "ANSWERED", answered, "ENDED", ended,
          "CODES", ",".join(codes) or "-", flush=True)
    if later is not None:
        stop, heard = time.monotonic() + later, []
        for s in waiting:
            s.settimeout(max(0.01, stop - time.monotonic()))
            heard.append(read_all(s))
        print("LATER", sum(map(bool, heard)), "CODES", ",".join(sum(map(codes_of, heard), [])) or "-", flush=True)
    wait_for_stdin()
    for s in waiting:
        s.close()
    print("DONE", flush=True)


def chat(port, record, count, size, long_count=0, long_size=0):
    s = connect(port)
    s.settimeout(60)
    s.sendall(b"  1001<%s>\r\n" % record)
    while (line := read_line(s)) and not line.startswith(b"  1002<"):
        pass
    if line:
        s.sendall(b"  1003<>\r\n" + b"".join(b"  1006<>%s %06d\r\n" % (b"x" * (size - 7), n) for n in range(count)))
        for n in range(long_count):
            s.sendall(b"  1006<>%06d%s\r\n" % (n, b"y" * (long_size - 6)))
        s.sendall(b"  1006<>end of flood\r\n")
    print("ACCEPTED", int(bool(line)), "SENT", count + long_count if line else 0, flush=True)
    wait_for_stdin()
    s.close()
    print("DONE", flush=True)


def room(port, silent, talkers, count, size):
    raise_descriptor_limit()
    joined = []
    # One after the other: one that waits to log on is let go for a newcomer.
    for n in range(silent):
        try:
            s = connect(port, rcvbuf=4096)
            greeted = read_line(s).startswith(b"  2000<")
        except ConnectionResetError:
            greeted = False  # turned away
        if greeted:
            s.sendall(b"  2001<%d{$}Mute%d{$}2960{$}0>\r\n" % (30000000 + n, n))
            joined.append(s)
    ready, sent = threading.Barrier(talkers), []

    def talk(n):
        s = connect(port, source=address(1))
        s.settimeout(60)
        s.sendall(b"  2001<%d{$}Talk%d{$}2960{$}0>\r\n" % (31000000 + n, n))
        while not read_line(s).startswith(b"  2002<"):
            pass  # logged on once greeted
        ready.wait()  # no text goes before every talker is there to hear it

        def hear():  # what the room relays, until the others' texts are all in
            heard, tail = 0, b""
            while heard < (talkers - 1) * count and (chunk := s.recv(1 << 16)):
                heard, tail = heard + (tail + chunk).count(b"  2010<"), chunk[-6:]

        reader = threading.Thread(target=hear)
        reader.start()
        s.sendall(b"  2007<Talk%d{$}%s>\r\n" % (n, b"y" * size) * count)
        sent.append(count)
        reader.join()
        s.close()

    threads = [threading.Thread(target=talk, args=(n,)) for n in range(talkers)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    dropped = drain_and_count_resets(joined, 0.2)
    print("JOINED", len(joined), "TURNED", silent - len(joined), "SENT", sum(sent), "DROPPED", dropped, flush=True)


def lines_until(s, code):
    """Reads lines until one with `code`; False when the link ended first."""
    try:
        while line := read_line(s):
            if line[2:6] == b"%d" % code:
                return True
    except OSError:
        pass
    return False


def offer_cam(port, record, rounds, feed):
    """Offers a cam `rounds` times on its own and `rounds` times inside a
    chat; each viewer let in (1030 answered 1031, then its first 1033) is
    handed to feed(viewer, n). Answers how many asked to view."""
    server = socket.create_server((SOURCE, 0))
    server.settimeout(10)
    offer = b"  1037<Mal{$}%d>\r\n" % server.getsockname()[1]
    viewed = 0

    def serve(n):
        nonlocal viewed
        viewer, _ = server.accept()
        viewer.settimeout(10)
        with viewer:
            if not lines_until(viewer, 1030):
                return
            viewed += 1
            viewer.sendall(b"  1031<>\r\n")
            if lines_until(viewer, 1033):
                feed(viewer, n)

    for n in range(rounds):
        with connect(port) as s:
            read_line(s)
            s.sendall(offer)
            serve(n)
    with connect(port) as chat:
        chat.settimeout(10)
        chat.sendall(b"  1001<%s>\r\n" % record)
        if lines_until(chat, 1002):
            chat.sendall(b"  1003<>\r\n")
            for n in range(rounds):
                chat.sendall(offer)
                serve(n)
    server.close()
    return viewed


def pictures(port, record, rounds):
    bombs = [scan_bomb(1024, 1024, 4000), scan_bomb(4096, 4096, 2)]
    seen = {"closed": 0, "asked": 0}

    def feed(viewer, n):
        bomb = bombs[n % len(bombs)]
        viewer.sendall(b"  1034<%d>\r\n" % len(bomb) + bomb)
        seen["asked" if lines_until(viewer, 1033) else "closed"] += 1

    viewed = offer_cam(port, record, rounds, feed)
    print("OFFERED", 2 * rounds, "VIEWED", viewed, "CLOSED", seen["closed"], "ASKED", seen["asked"], flush=True)


# ----- arithmetic-coded pictures ------------------------------------------------

# The arithmetic coder's probability estimates (the JPEG standard's table of
# Qe values) as far as these pictures need them: every context codes one
# decision over and over, so it climbs states 0..13, and a context whose
# decision is 1 meets one less probable decision, in state 0, which swaps
# its more probable one. The coder is the standard's encoder, its register
# C of 28 bits with three spacer bits, bytes stuffed once done.
QE = [0x5A1D, 0x2586, 0x1114, 0x080B, 0x03D8, 0x01DA, 0x00E5, 0x006F, 0x0036, 0x001A, 0x000D, 0x0006, 0x0003,
      0x0001]
FIXED = "fixed"  # the sign's context: Qe 0x5A1D, 0 more probable, never adapts


class ArithmeticCoder:
    def __init__(self):
        self.a, self.c, self.ct, self.out, self.states = 0x10000, 0, 11, bytearray(), {}

    def code(self, context, bit):
        index, more = (-1, 0) if context == FIXED else self.states.get(context, (0, 0))
        qe = QE[index] if index >= 0 else 0x5A1D
        self.a -= qe
        if bit == more and self.a >= 0x8000:
            return
        # The less probable decision takes the interval's top, unless that
        # part is the larger: then the two are exchanged.
        if (bit != more) == (self.a >= qe):
            self.c, self.a = self.c + self.a, qe
        if index >= 0:
            self.states[context] = (min(index + 1, 13), more) if bit == more else (1, 1 - more)
        while self.a < 0x8000:
            self.a, self.c, self.ct = self.a << 1, self.c << 1, self.ct - 1
            if self.ct == 0:
                self.byte_out()

    def byte_out(self):
        byte, self.c, self.ct = self.c >> 19, self.c & 0x7FFFF, 8
        if byte > 0xFF:  # a carry into the bytes already out
            at = len(self.out) - 1
            while self.out[at] == 0xFF:
                self.out[at], at = 0, at - 1
            self.out[at] += 1
        self.out.append(byte & 0xFF)

    def finish(self):
        """The coded bytes, stuffed; trailing zeros are left to the decoder."""
        end = (self.c + self.a - 1) & ~0xFFFF
        self.c = end + 0x8000 if end < self.c else end
        self.c <<= self.ct
        self.byte_out()
        self.c <<= 8
        self.byte_out()
        return bytes(self.out).rstrip(b"\0").replace(b"\xff", b"\xff\x00")


def arithmetic_bomb(width, height):
    """A grey arithmetic-coded sequential JPEG whose every coefficient but
    the first of each block is 16384: some thirty decisions of the decoder
    for each, from a bit (its sign)."""
    def segment(marker, body):
        return struct.pack(">BBH", 0xFF, marker, len(body) + 2) + body

    block = [("dc", 0)]
    for k in range(1, 64):
        low = k <= 5  # the contexts of the magnitude split there
        block += [(("end", k), 0), (("zero", k), 1), (FIXED, 0), (("more", k), 1), (("more", k), 1)]
        block += [(("size", low, i), 1) for i in range(12)] + [(("size", low, 12), 0)] + [(("bits", low), 1)] * 13
    coder = ArithmeticCoder()
    for _ in range(((width + 7) // 8) * ((height + 7) // 8)):
        for context, bit in block:
            coder.code(context, bit)
    return b"\xff\xd8" + segment(0xDB, b"\x00" + b"\x01" * 64) + \
        segment(0xC9, struct.pack(">BHHB", 8, height, width, 1) + b"\x01\x11\x00") + \
        segment(0xDA, bytes([1, 1, 0x00, 0, 63, 0])) + coder.finish() + b"\xff\xd9"


def arithmetic(port, record, rounds):
    """Offers a cam as `pictures` does; each viewer is sent ever larger
    arithmetic bombs, one on every 1033, until its link ends."""
    sizes = [(320, 240)] * 3 + [(640, 480)] * 3 + [(1024, 768)]
    bombs = {size: arithmetic_bomb(*size) for size in set(sizes)}
    seen = {"sent": 0, "asked": 0, "closed": 0}

    def feed(viewer, _):
        for bomb in (bombs[size] for size in sizes):
            viewer.sendall(b"  1034<%d>\r\n" % len(bomb) + bomb)
            seen["sent"] += 1
            if not lines_until(viewer, 1033):
                seen["closed"] += 1
                return
            seen["asked"] += 1

    viewed = offer_cam(port, record, rounds, feed)
    print("OFFERED", 2 * rounds, "VIEWED", viewed, "SENT", seen["sent"], "ASKED", seen["asked"],
          "CLOSED", seen["closed"], flush=True)


def dear(port, count, seconds):
    server = socket.create_server((SOURCE, 0), backlog=count + 8)
    server.settimeout(10)
    offer = b"  1037<Mal{$}%d>\r\n" % server.getsockname()[1]
    viewers = []
    for _ in range(count + 1):
        with connect(port) as s:
            read_line(s)
            s.sendall(offer)
            viewer, _ = server.accept()
        viewer.settimeout(10)
        if lines_until(viewer, 1030):
            viewer.sendall(b"  1031<>\r\n")
            if lines_until(viewer, 1033):
                viewers.append(viewer)
    server.close()
    end = time.monotonic() + seconds
    seen = {"dear": 0, "ordinary": 0, "slowest": 0.0}
    lock = threading.Lock()

    def feed(viewer, picture, kind):
        with viewer:
            while time.monotonic() < end:
                sent = time.monotonic()
                viewer.sendall(b"  1034<%d>\r\n" % len(picture) + picture)
                if not lines_until(viewer, 1033):
                    return
                with lock:
                    seen[kind] += 1
                    if kind == "ordinary":
                        seen["slowest"] = max(seen["slowest"], time.monotonic() - sent)

    dear_picture, plain = scan_bomb(1024, 768, 100), scan_bomb(320, 240, 2)
    feeders = [threading.Thread(target=feed, args=(v, dear_picture, "dear")) for v in viewers[1:]]
    feeders += [threading.Thread(target=feed, args=(v, plain, "ordinary")) for v in viewers[:1]]
    for t in feeders:
        t.start()
    for t in feeders:
        t.join()
    print("VIEWED", len(viewers), "DEAR", seen["dear"], "ORDINARY", seen["ordinary"],
          "SLOWEST %.3f" % seen["slowest"], flush=True)


SOUND = b"  1008<0>\r\n"


def faces(port, record, chats, count, size, spread, pause, sounds):
    accepted, sent = [], []
    text = SOUND if sounds else b"  1006<>" + b":)" * (size // 2) + b"\r\n"

    def chat(n):
        with connect(port, source=address(n % spread)) as s:
            s.settimeout(60)
            s.sendall(b"  1001<%s>\r\n" % record)
            if not lines_until(s, 1002):
                return
            accepted.append(n)
            s.sendall(b"  1003<>\r\n")
            for _ in range(count):
                s.sendall(text)
                time.sleep(pause)
            s.sendall(b"" if sounds else b"  1006<>end of faces\r\n")
            sent.append(count)
            # Held open until every text is read: a close would end the chat first.
            s.shutdown(socket.SHUT_WR)
            read_all(s)

    threads = [threading.Thread(target=chat, args=(n,)) for n in range(chats)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    print("ACCEPTED", len(accepted), "SENT", sum(sent), flush=True)


def answer(port, record):
    server = socket.create_server((SOURCE, port))
    print("LISTENING", server.getsockname()[1], flush=True)
    ended = threading.Event()
    threading.Thread(target=lambda: (sys.stdin.read(), ended.set()), daemon=True).start()
    server.settimeout(30)
    try:
        s, _ = server.accept()
        with s:
            s.sendall(b"  1000<>\r\n")
            if lines_until(s, 1001):
                s.sendall(b"  1002<%s>\r\n" % record)
                while not ended.wait(0.01):
                    s.sendall(SOUND)
    except OSError:
        pass  # the link ended


def package_bytes(kind):
    """A zip package written by hand: the records say what `kind` makes them say."""
    if kind == "overlap":
        data = bytes(range(256)) * (16 << 10)  # 4 MiB
        names = [b"f%03d.bin" % i for i in range(200)]
        size = len(data)
    else:
        data, names, size = b"\0" * 1000, [b"lie.bin"], 64 << 20
    crc = zlib.crc32(data)
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    packed = packer.compress(data) + packer.flush()
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0x21, crc, len(packed), size, len(names[0]), 0)
    body = local + names[0] + packed
    central = b"".join(struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0x21, crc, len(packed), size,
                                   len(n), 0, 0, 0, 0, 0x20, 0) + n for n in names)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(names), len(names), len(central), len(body), 0)
    return body + central + end


def packages(port, sender):
    sent = acked = closed = 0
    for n, kind in enumerate(("overlap", "lie")):
        package, name = package_bytes(kind), b"p%d.zip" % n
        s = connect(port)
        s.settimeout(30)
        try:
            if not lines_until(s, 1000):
                continue
            s.sendall(b"  1020<%s{$}%s{$}%d{$}binary{$}>\r\n" % (sender, name, len(package)))
            if not lines_until(s, 1021):
                continue
            s.sendall(b"  1023<%d{$}%s{$}binary{$}1>\r\n" % (len(package), name) + package)
            sent += 1
            codes = codes_of(read_all(s))
            acked += "1024" in codes
            closed += 1
        finally:
            s.close()
    print("PACKAGES", sent, "ACKED", acked, "CLOSED", closed, flush=True)


def read_line(s):
    line = b""
    while not line.endswith(b"\n") and (byte := s.recv(1)):
        line += byte
    return line


def say(port, text):
    s = connect(port)
    s.settimeout(30)
    s.sendall(text)
    read_to_end(s)


def idle(port, count, seconds, spread, trickle, again):
    raise_descriptor_limit()
    stop = time.monotonic() + seconds
    opened = ended = 0
    slots = [None] * count  # the caller in each place, or when it comes back
    back = [0.0] * count
    due = [0.0] * count  # when it sends its next byte
    poller = selectors.DefaultSelector()
    while (now := time.monotonic()) < stop:
        # A few at a time: a burst of connects would overflow the system's
        # queue of callers not yet taken, which is no test of the program.
        fresh = 16
        for n, s in enumerate(slots):
            if s is None and now >= back[n] and fresh > 0:
                fresh -= 1
                # Connects run side by side: the system retries one the
                # listener's queue has no room for without holding up the others.
                s = socket.socket()
                s.setblocking(False)
                s.bind((address(n % spread), 0))
                s.connect_ex(("127.0.0.1", port))
                slots[n], due[n] = s, now + (trickle or 0)
                poller.register(s, selectors.EVENT_READ, n)
                opened += 1
            elif s is not None and trickle and now >= due[n]:
                due[n] = now + trickle
                try:
                    s.send(b"x")
                except OSError:
                    pass  # not connected yet, or ended: the read below sees it
        for key, _ in poller.select(0.01):
            s, n = key.fileobj, key.data
            try:
                if s.recv(4096):
                    continue  # the greeting
            except BlockingIOError:
                continue
            except OSError:
                pass
            poller.unregister(s)
            s.close()
            slots[n], back[n] = None, time.monotonic() + again
            ended += 1
    for s in slots:
        if s is not None:
            s.close()
    print("OPENED", opened, "ENDED", ended, flush=True)


def hangup(port, count, frame, wait, spread):
    raise_descriptor_limit()
    codes = []
    for n in range(count):
        try:
            s = connect(port, source=address(n % spread))
        except OSError:
            continue
        try:
            if read_line(s) == b"  1000<>\r\n":
                s.sendall(frame)
                if wait > 0:
                    s.settimeout(wait)
                    codes += codes_of(read_line(s))
        except OSError:
            pass  # nothing within the wait, or turned away
        s.close()
    print("ASKED", count, "CODES", ",".join(codes) or "-", flush=True)


# ----- strangers at a hosted room: list requests never read, long names -----

class Crowd:
    """Members that log on one after the other, each as a member does (the
    logon, the greeting, then the list), with names of `size` bytes and
    without a blank; while the crowd reads, a thread takes whatever the room
    sends to those already in."""

    def __init__(self, port, members, spread, size, rcvbuf=None):
        import selectors
        raise_descriptor_limit()
        self.readers, self.lock, self.reading = selectors.DefaultSelector(), threading.Lock(), threading.Event()
        self.reading.set()
        self.joined, self.slowest = [], 0.0
        self.reader = threading.Thread(target=self.drain, daemon=True)
        self.reader.start()
        for n in range(members):
            self.join(port, n, size, address(n % spread), rcvbuf)

    def drain(self):
        while self.reading.wait():
            with self.lock:
                for key, _ in self.readers.select(0.01) if self.readers.get_map() else []:
                    try:
                        if not key.fileobj.recv(1 << 20):
                            self.readers.unregister(key.fileobj)
                    except BlockingIOError:
                        pass
                    except OSError:
                        self.readers.unregister(key.fileobj)
            time.sleep(0.001)

    def join(self, port, n, size, source, rcvbuf):
        # Unlike at the front, so that rows go in all over a sorted list.
        name = b"%05d" % (n * 7919 % 100000) + b"n" * max(0, size - 5)
        try:
            s = connect(port, rcvbuf=rcvbuf, source=source)
            s.settimeout(30)
            if not read_line(s).startswith(b"  2000<"):
                s.close()
                return
            started, seen = time.monotonic(), b""
            s.sendall(b"  2001<%d{$}%s{$}2960{$}0>\r\n" % (32000000 + n, name))
            while b"\n  2002<" not in seen and (chunk := s.recv(1 << 16)):
                seen = seen[-8:] + chunk
            if b"\n  2002<" not in seen:
                s.close()
                return
            self.slowest = max(self.slowest, time.monotonic() - started)
            s.sendall(b"  2005<>\r\n")
        except OSError:
            return
        s.setblocking(False)
        with self.lock:
            self.readers.register(s, 1)  # EVENT_READ
        self.joined.append(s)

    def stop_reading(self):
        self.reading.clear()
        with self.lock:
            pass  # the reader is out of its pass

    def leave(self, pause=0.0):
        for s in self.joined:
            with self.lock:
                if self.readers.get_map().get(s.fileno()) is not None:
                    self.readers.unregister(s)
                s.close()
            time.sleep(pause)


def room_lists(port, members, spread, size, requests):
    crowd = Crowd(port, members, spread, size, rcvbuf=4096)
    crowd.stop_reading()
    # Each answer is now the whole room's, and no one reads it.
    for s in crowd.joined:
        try:
            s.sendall(b"  2005<>\r\n" * requests)
        except OSError:
            pass  # already dropped
    time.sleep(3)  # the room answers meanwhile
    dropped = drain_and_count_resets(crowd.joined, 0.05)
    crowd.leave()
    print("JOINED", len(crowd.joined), "TURNED", members - len(crowd.joined), "DROPPED", dropped, flush=True)


def room_names(port, members, spread, size):
    crowd = Crowd(port, members, spread, size)
    crowd.leave(pause=0.01)
    print("JOINED", len(crowd.joined), "TURNED", members - len(crowd.joined), "SLOWEST",
          int(crowd.slowest * 1000), flush=True)


def room_host(port, frames, size, lists):
    server = socket.create_server((SOURCE, 0))
    server.settimeout(30)
    with connect(port) as s:
        read_line(s)
        s.sendall(b"  2020<Mal{$}%s{$}%d{$}Lobby>\r\n" % (SOURCE.encode(), server.getsockname()[1]))
        member = server.accept()[0]
    member.settimeout(60)
    member.sendall(b"  2000<127.0.0.1>\r\n")
    joined = lines_until(member, 2001)
    if joined:
        member.sendall(b"  2002<Lobby{$}hello>\r\n")
        lines_until(member, 2005)
        users = (b"%d{$}%05d%s{$}1{$}0{$}{$}1" % (n, n * 7919 % 100000, b"n" * (size - 5)) for n in range(10**9))
        if lists:
            records = [next(users) for _ in range(2200)]
            frames_of = lambda: [b"  2004<%s>\r\n" % b"||".join(records)] * frames  # noqa: E731
        else:
            frames_of = lambda: (b"  2006<%s>\r\n" % next(users) for _ in range(frames))  # noqa: E731
        chunk = b""
        for frame in frames_of():
            chunk += frame
            if len(chunk) >= 1 << 20:
                member.sendall(chunk)
                chunk = b""
        member.sendall(chunk + b"  2010<Host{$}end of rows>\r\n")
    member.close()
    print("JOINED", int(joined), "SENT", frames if joined else 0, flush=True)


def looks(name):
    """A name as a reader of a room's list tells it apart: case, blanks and
    characters that do not show aside."""
    text = name.decode("cp1252", errors="ignore")
    shown = "".join(c for c in text if unicodedata.category(c) not in ("Cc", "Cf"))
    return " ".join(shown.split()).casefold()


def room_impostor(port, host_id, host_name, count):
    host_id, host_name = host_id.encode("latin-1"), host_name.encode("latin-1")
    bob_id = b"33000001"

    def logon(source, uid, name):
        s = connect(port, source=source)
        s.settimeout(10)
        if not read_line(s).startswith(b"  2000<"):
            raise OSError("no hello")
        s.sendall(b"  2001<%s{$}%s{$}2960{$}0>\r\n" % (uid, name))
        return s

    def next_frame(s, code):
        """The parameter of the next frame with `code`; None once the link ended."""
        try:
            while line := read_line(s):
                if line[2:6] == b"%d" % code:
                    return line[7:].rstrip(b"\r\n")[:-1]
        except OSError:
            pass
        return None

    def send(s, data):
        try:
            s.sendall(data)
        except OSError:
            pass  # the room has ended the link; what it said shows that

    def name(record):  # of a room user record
        fields = (record or b"").split(b"{$}")
        return fields[1] if len(fields) > 1 else b""

    # One who knows Bob's id logs on first, under Bob's name.
    first = logon(address(1), bob_id, b"Bob")
    next_frame(first, 2002)
    # Bob gets in on every try, under a name that is not the first's.
    member = 0
    for _ in range(count):
        bob = logon(address(0), bob_id, b"Bob")
        greeted = next_frame(bob, 2002) is not None
        bob.close()
        if greeted:
            record = next_frame(first, 2006)
            while (left := next_frame(first, 2008)) not in (record, None):
                pass  # callers of earlier attacks that never logged on
            member += looks(name(record)) != looks(b"Bob")

    # Bob stays; strangers log on with what reads as the host's or Bob's id
    # or name, each from an address of its own, and speak as the host.
    bob = logon(address(0), bob_id, b"Bob")
    next_frame(bob, 2002)
    send(bob, b"  2005<>\r\n")
    present = (next_frame(bob, 2004) or b"").split(b"||")
    own = [r for r in present if r.split(b"{$}")[0] == bob_id and r.split(b"{$}")[4:5] == [address(0).encode()]]
    imitations = [(host_id, host_name), (b" " + host_id, b"Eve"), (b"0" + host_id, host_name.upper()),
                  (b"+" + host_id, b" " + host_name), (host_id + b"\t", host_name + b"\t"),
                  (host_id + b"\xa0", b"\xa0" + host_name.lower()), (b"33000002", host_name),
                  (b"33000003", b"Bob"), (b"0" + bob_id, b"bob "), (bob_id, b"B\x01ob")]
    apart, strangers = 0, []
    for n, (uid, claimed) in enumerate(imitations):
        s = logon(address(2 + n), uid, claimed)
        if next_frame(s, 2002) is None:
            s.close()  # turned away
            continue
        send(s, b"  2007<%s{$}I am your host. Send me your password.>\r\n  2011<%s{$}5>\r\n" % (claimed, claimed))
        record, text, sound = next_frame(bob, 2006), next_frame(bob, 2010), next_frame(bob, 2012)
        others = [looks(name(r)) for r in present]
        said = {(m or b"").split(b"{$}")[0] for m in (text, sound)}
        apart += said == {name(record)} and looks(name(record)) not in others
        present.append(record)
        strangers.append((s, record))
    # Each leave takes out the leaver's row, and nobody else's.
    left_ok = True
    for s, record in strangers:
        s.close()
        while (left := next_frame(bob, 2008)) == b"":
            pass
        left_ok &= left == record
    send(bob, b"  2005<>\r\n")
    rows = (next_frame(bob, 2004) or b"").split(b"||")
    list_ok = len(own) == 1 and own[0] in rows and not any(r in rows for _, r in strangers)

    # Bob's link goes dead while the first talks; Bob comes back at once.
    dead, back, slowest = [bob], 0, 0.0
    for n in range(3):
        for _ in range(5):
            send(first, b"  2007<Bob{$}still talking>\r\n")
            time.sleep(0.05)
        started = time.monotonic()
        again = logon(address(0), bob_id, b"Bob")
        back += next_frame(again, 2002) is not None
        dead.append(again)
        slowest = max(slowest, time.monotonic() - started)
    for s in dead + [first]:
        s.close()
    print("MEMBER %d/%d APART %d/%d LEFT %s LIST %s BACK %d/3 SLOWEST %d" % (
        member, count, apart, len(imitations), "ok" if left_ok else "wrong", "ok" if list_ok else "wrong", back,
        slowest * 1000), flush=True)


if __name__ == "__main__":
    mode, port = sys.argv[1], int(sys.argv[2])
    if mode == "flood":
        flood(port, float(sys.argv[3]), "--raw" in sys.argv[4:],
              unescape(option("--first", "  1006<>flood\\r\\n")))
    elif mode == "mute":
        mute = connect(port, rcvbuf=4096)
        wait_for_stdin()
    elif mode == "drain":
        drain(port)
    elif mode == "crowd":
        crowd(port, int(sys.argv[3]), float(sys.argv[4]))
    elif mode == "ask":
        later = option("--later")
        ask(port, int(sys.argv[3]), unescape(sys.argv[4]), float(option("--wait", "0.2")),
            int(option("--spread", "1")), float(later) if later else None)
    elif mode == "chat":
        long_count, long_size = (int(n) for n in option("--long", "0:0").split(":"))
        chat(port, sys.argv[3].encode("latin-1"), int(sys.argv[4]), int(sys.argv[5]), long_count, long_size)
    elif mode == "room":
        room(port, *(int(a) for a in sys.argv[3:7]))
    elif mode == "pictures":
        pictures(port, sys.argv[3].encode("latin-1"), int(sys.argv[4]))
    elif mode == "arithmetic":
        arithmetic(port, sys.argv[3].encode("latin-1"), int(sys.argv[4]))
    elif mode == "dear":
        dear(port, int(sys.argv[3]), float(sys.argv[4]))
    elif mode == "faces":
        faces(port, sys.argv[3].encode("latin-1"), *(int(a) for a in sys.argv[4:7]), int(option("--spread", "1")),
              float(option("--pause", "0")), "--sounds" in sys.argv)
    elif mode == "answer":
        answer(port, sys.argv[3].encode("latin-1"))
    elif mode == "room-lists":
        room_lists(port, *(int(a) for a in sys.argv[3:7]))
    elif mode == "room-names":
        room_names(port, *(int(a) for a in sys.argv[3:6]))
    elif mode == "room-impostor":
        room_impostor(port, sys.argv[3], sys.argv[4], int(sys.argv[5]))
    elif mode == "room-host":
        room_host(port, int(sys.argv[3]), int(sys.argv[4]), "--lists" in sys.argv)
    elif mode == "say":
        say(port, unescape(sys.argv[3]))
    elif mode == "packages":
        packages(port, sys.argv[3].encode("latin-1"))
    elif mode == "idle":
        trickle = option("--trickle")
        idle(port, int(sys.argv[3]), float(sys.argv[4]), int(option("--spread", "1")),
             float(trickle) if trickle else None, float(option("--again", "1")))
    elif mode == "hangup":
        hangup(port, int(sys.argv[3]), unescape(sys.argv[4]), float(option("--wait", "0")),
               int(option("--spread", "1")))
    else:
        send = option("--send")
        hold(port, int(sys.argv[3]), unescape(send) if send else b"")
