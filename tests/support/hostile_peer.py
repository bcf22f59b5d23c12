#!/usr/bin/env python3
"""Hostile peers for the socket layer's tests, on 127.0.0.1 only.

Written from the protocol alone: a link carries frames (two blanks, the
decimal command code, "<", the parameters, ">", the text, CR LF), one per
line; during a raw phase, announced by a frame, bytes flow without framing.
Every mode ends by itself (a flood after its time, the others after a minute
at most or when standard input closes).

  hostile_peer.py flood PORT SECONDS [--raw]
      Opens two connections to PORT. The first sends the frame "  1006<>flood"
      and then, as fast as the network takes them, the frames "  1006<>N" with
      N counting up from 0 and wrapping after 99999 (with --raw: a raw phase,
      byte i of it being i % 251). The second sends "  1006<>tick" and then
      "  1006<>tick N" every 50 ms. After SECONDS both end and the script
      prints "SENT <frames or raw bytes>".
  hostile_peer.py mute PORT
      Connects and never reads; prints "CONNECTED".
  hostile_peer.py drain PORT
      Connects and reads until the other side ends; prints "READ <bytes>
      fin" after a normal end, "READ <bytes> reset" after a reset.
  hostile_peer.py hold PORT COUNT
      Opens COUNT connections one after the other and never ends them: each
      waits briefly for what the listener says (a greeting, its end, or a
      reset). Prints "HELD <connections made> GREETED <n> RESET <n>", and
      closes them all once standard input closes, then prints "DONE".
"""
import resource
import socket
import sys
import threading
import time

WRAP = 100000
LIMIT_S = 60


def connect(port, rcvbuf=None):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    if rcvbuf is not None:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
    s.settimeout(5)
    s.connect(("127.0.0.1", port))
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s


def flood_block(start, count):
    return b"".join(b"  1006<>%d\r\n" % ((start + i) % WRAP) for i in range(count))


def flood(port, seconds, raw):
    stop = time.monotonic() + seconds
    sent = [0]

    def flooder():
        s = connect(port)
        s.sendall(b"  1006<>flood\r\n")
        if raw:
            # A multiple of 251, so that the pattern runs on across blocks.
            block = bytes(i % 251 for i in range(251 * 4096))
        else:
            # The numbers wrap, so one ready block of WRAP frames repeats.
            block = flood_block(0, WRAP)
        try:
            while time.monotonic() < stop:
                s.sendall(block)
                sent[0] += len(block) if raw else WRAP
        except OSError:
            pass
        s.close()

    def ticker():
        s = connect(port)
        s.sendall(b"  1006<>tick\r\n")
        n = 0
        while time.monotonic() < stop:
            s.sendall(b"  1006<>tick %d\r\n" % n)
            n += 1
            time.sleep(0.05)
        s.close()

    threads = [threading.Thread(target=flooder), threading.Thread(target=ticker)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    print("SENT", sent[0], flush=True)


def wait_for_stdin(limit_s):
    done = threading.Event()
    threading.Thread(target=lambda: (sys.stdin.read(), done.set()), daemon=True).start()
    done.wait(limit_s)


def mute(port):
    s = connect(port, rcvbuf=4096)
    print("CONNECTED", flush=True)
    wait_for_stdin(LIMIT_S)
    s.close()


def drain(port):
    s = connect(port)
    s.settimeout(LIMIT_S)
    total, end = 0, "fin"
    while True:
        try:
            chunk = s.recv(1 << 16)
        except ConnectionResetError:
            end = "reset"
            break
        if not chunk:
            break
        total += len(chunk)
    s.close()
    print("READ", total, end, flush=True)


def hold(port, count):
    # The caller's own descriptors are not the listener's limit.
    _, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    conns, greeted, reset = [], 0, 0
    for i in range(count):
        try:
            s = connect(port)
        except OSError as e:
            print("connection", i, "failed:", e, file=sys.stderr, flush=True)
            continue
        conns.append(s)
        s.settimeout(0.5)
        try:
            if s.recv(4096):
                greeted += 1
        except socket.timeout:
            pass
        except OSError:
            reset += 1
    print("HELD", len(conns), "GREETED", greeted, "RESET", reset, flush=True)
    wait_for_stdin(LIMIT_S)
    for s in conns:
        s.close()
    print("DONE", flush=True)


def main():
    mode, port = sys.argv[1], int(sys.argv[2])
    if mode == "flood":
        flood(port, float(sys.argv[3]), "--raw" in sys.argv[4:])
    elif mode == "mute":
        mute(port)
    elif mode == "drain":
        drain(port)
    elif mode == "hold":
        hold(port, int(sys.argv[3]))
    else:
        sys.exit("unknown mode " + mode)


if __name__ == "__main__":
    main()
