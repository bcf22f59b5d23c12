#!/usr/bin/env python3
"""Peers for SOCKS client tests, on 127.0.0.1 only.

  socks_test_peer.py echo
      An echo server: every byte received is sent back.
  socks_test_peer.py proxy [options]
      A scripted SOCKS 4 / 4A / 5 proxy (CONNECT only, no authentication) that
      relays to the requested destination. Options bend its replies:
        --split        replies go out one byte at a time
        --longname     SOCKS 5 replies carry a 255-byte domain name as bound address
        --badversion   replies carry a wrong version byte
        --banner TEXT  TEXT + CR LF follows the reply in the same write, before
                       anything the destination sends
        --refuse N     SOCKS 5 replies with status N (SOCKS 4: 91)
        --authextra    SOCKS 5 asks for user code and password and answers
                       them with one byte too many

Each mode prints "PORT <n>" on stdout and runs until stdin closes.
"""
import socket
import struct
import sys
import threading
import time


def recv_exact(conn, n):
    data = b""
    while len(data) < n:
        chunk = conn.recv(n - len(data))
        if not chunk:
            raise EOFError
        data += chunk
    return data


def recv_until_zero(conn):
    data = b""
    while True:
        c = recv_exact(conn, 1)
        if c == b"\0":
            return data
        data += c
        if len(data) > 1024:
            raise EOFError


def pump(src, dst):
    try:
        while True:
            data = src.recv(65536)
            if not data:
                break
            dst.sendall(data)
    except OSError:
        pass
    try:
        dst.shutdown(socket.SHUT_WR)
    except OSError:
        pass


def serve(listener, handler):
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=handler, args=(conn,), daemon=True).start()


def echo_client(conn):
    with conn:
        pump(conn, conn)


class Proxy:
    def __init__(self, args):
        self.split = "--split" in args
        self.longname = "--longname" in args
        self.badversion = "--badversion" in args
        self.authextra = "--authextra" in args
        self.banner = None
        self.refuse = 0
        if "--banner" in args:
            self.banner = args[args.index("--banner") + 1].encode("latin-1") + b"\r\n"
        if "--refuse" in args:
            self.refuse = int(args[args.index("--refuse") + 1])

    def reply(self, conn, data):
        if self.banner is not None and not self.refuse:
            data += self.banner
        if self.split:
            conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            for i in range(len(data)):
                conn.sendall(data[i : i + 1])
                time.sleep(0.002)
        else:
            conn.sendall(data)

    def handle(self, conn):
        with conn:
            try:
                version = recv_exact(conn, 1)[0]
                if version == 4:
                    target = self.socks4(conn)
                elif version == 5:
                    target = self.socks5(conn)
                else:
                    return
            except (EOFError, OSError):
                return
            if target is None:
                return
            upstream, _ = target
            with upstream:
                t = threading.Thread(target=pump, args=(upstream, conn), daemon=True)
                t.start()
                pump(conn, upstream)
                t.join()

    def socks4(self, conn):
        command, port = struct.unpack("!BH", recv_exact(conn, 3))
        ip = recv_exact(conn, 4)
        recv_until_zero(conn)  # user id
        host = socket.inet_ntoa(ip)
        if ip[:3] == b"\0\0\0" and ip[3] != 0:
            host = recv_until_zero(conn).decode("latin-1")
        version = 1 if self.badversion else 0
        if self.refuse or command != 1:
            self.reply(conn, struct.pack("!BBH4s", version, 91, 0, b"\0\0\0\0"))
            return None
        upstream = self.open(host, port)
        if upstream is None:
            self.reply(conn, struct.pack("!BBH4s", version, 91, 0, b"\0\0\0\0"))
            return None
        self.reply(conn, struct.pack("!BBH4s", version, 90, port, ip))
        return upstream, None

    def socks5(self, conn):
        count = recv_exact(conn, 1)[0]
        methods = recv_exact(conn, count)
        version = 4 if self.badversion else 5
        if self.authextra and 2 in methods:
            conn.sendall(bytes([5, 2]))
            recv_exact(conn, 1)
            recv_exact(conn, recv_exact(conn, 1)[0])
            recv_exact(conn, recv_exact(conn, 1)[0])
            conn.sendall(bytes([1, 0, 0]))
            recv_exact(conn, 1)  # the client gives up instead of asking
            return None
        if 0 not in methods:
            conn.sendall(bytes([version, 0xFF]))
            return None
        conn.sendall(bytes([version, 0]))
        if self.badversion:
            return None
        ver, command, _, atyp = recv_exact(conn, 4)
        if atyp == 1:
            host = socket.inet_ntoa(recv_exact(conn, 4))
        elif atyp == 3:
            host = recv_exact(conn, recv_exact(conn, 1)[0]).decode("latin-1")
        else:
            return None
        port = struct.unpack("!H", recv_exact(conn, 2))[0]
        if self.longname:
            bound = bytes([3, 255]) + b"n" * 255 + struct.pack("!H", 4242)
        else:
            bound = bytes([1]) + socket.inet_aton("127.0.0.1") + struct.pack("!H", 4242)
        if self.refuse or command != 1:
            self.reply(conn, bytes([5, self.refuse or 7, 0]) + bound)
            return None
        upstream = self.open(host, port)
        if upstream is None:
            self.reply(conn, bytes([5, 5, 0]) + bound)
            return None
        self.reply(conn, bytes([5, 0, 0]) + bound)
        return upstream, None

    @staticmethod
    def open(host, port):
        try:
            addr = socket.gethostbyname(host)
        except OSError:
            return None
        if not addr.startswith("127."):
            return None  # loopback only
        try:
            upstream = socket.create_connection((addr, port), timeout=5)
            upstream.settimeout(None)
            return upstream
        except OSError:
            return None


def main():
    mode = sys.argv[1] if len(sys.argv) > 1 else "echo"
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    handler = echo_client if mode == "echo" else Proxy(sys.argv[2:]).handle
    threading.Thread(target=serve, args=(listener, handler), daemon=True).start()
    print("PORT %d" % listener.getsockname()[1], flush=True)
    sys.stdin.read()


if __name__ == "__main__":
    main()
