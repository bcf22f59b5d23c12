#!/usr/bin/env python3
"""Opens several TCP connections to a listener one after the other and reports
what each one received and how it ended.

Written from the protocol alone: a listener greets each caller with one line
ending in CR LF (or nothing), and may end the connection at once.

usage: tcp_callers.py PORT COUNT [--idle-ms MS] [--send TEXT]

For each connection, in order, one output line:
    <index> <end> <hex of the bytes received>
where <end> is "fin" (normal end), "reset" (connection reset) or "open"
(still open after the idle time). All connections are closed at the end.
"""
import argparse
import socket
import sys
import time


def read_until_idle(sock, idle_s):
    data = b""
    sock.settimeout(idle_s)
    while True:
        try:
            chunk = sock.recv(65536)
        except socket.timeout:
            return data, "open"
        except ConnectionResetError:
            return data, "reset"
        if not chunk:
            return data, "fin"
        data += chunk


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("port", type=int)
    ap.add_argument("count", type=int)
    ap.add_argument("--idle-ms", type=int, default=300)
    ap.add_argument("--send", default=None)
    args = ap.parse_args()

    conns = []
    results = []
    for i in range(args.count):
        s = socket.create_connection(("127.0.0.1", args.port), timeout=5)
        conns.append(s)
        if args.send is not None:
            s.sendall(args.send.encode("latin-1"))
        data, end = read_until_idle(s, args.idle_ms / 1000.0)
        results.append((i + 1, end, data))
    for s in conns:
        s.close()
    for index, end, data in results:
        print(index, end, data.hex() or "-")
    sys.stdout.flush()


if __name__ == "__main__":
    main()
