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
  say PORT TEXT     Sends TEXT (with \\r, \\n and \\xHH escapes) as one
      caller, then reads until the other side ends; prints "READ <bytes>
      fin" (or "reset").

Every mode takes --from ADDR: the callers' own address (127.0.0.1 when not
given), so that a test can tell an attacker from an ordinary caller.
"""
import codecs
import resource
import socket
import sys
import threading
import time


def option(name, default=None):
    return sys.argv[sys.argv.index(name) + 1] if name in sys.argv[:-1] else default


SOURCE = option("--from", "127.0.0.1")


def connect(port, rcvbuf=None):
    s = socket.socket()
    if rcvbuf:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
    s.settimeout(5)
    s.bind((SOURCE, 0))
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


def ask_once(port, frame, wait):
    """One caller: its socket when the request still waits after the greeting
    (None when the link ended), and the codes of the frames that answered it."""
    greeting = b"  1000<>\r\n"
    data = b""
    try:
        s = connect(port)
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
    codes = [line[2:6].decode("latin-1") for line in data.split(b"\r\n") if line]
    return s, codes


def ask(port, count, frame, wait):
    raise_descriptor_limit()
    waiting, answered, ended, codes = [], 0, 0, []
    for _ in range(count):
        s, replies = ask_once(port, frame, wait)
        codes += replies
        if s is not None:
            waiting.append(s)
        elif replies:
            answered += 1
        else:
            ended += 1
    print("ASKED", count, "WAITING", len(waiting), "ANSWERED", answered, "ENDED", ended,
          "CODES", ",".join(codes) or "-", flush=True)
    wait_for_stdin()
    for s in waiting:
        s.close()
    print("DONE", flush=True)


def say(port, text):
    s = connect(port)
    s.settimeout(30)
    s.sendall(text)
    read_to_end(s)


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
        ask(port, int(sys.argv[3]), unescape(sys.argv[4]), float(option("--wait", "0.2")))
    elif mode == "say":
        say(port, unescape(sys.argv[3]))
    else:
        send = option("--send")
        hold(port, int(sys.argv[3]), unescape(send) if send else b"")
