#!/usr/bin/env python3
"""Scripted HTTP/1.0 server for client tests.

Listens on 127.0.0.1 (port 0 = any free one), prints "PORT <n>" on stdout and
serves until stdin closes. The request path picks the behaviour:

  /ok/N               200 with Content-Length N, body of N pattern bytes
  /nolength/N         200 without Content-Length, N bytes, then close
  /short/A/S          Content-Length A but only S bytes, then a clean close
  /long/A/S           Content-Length A but S bytes (more), then a clean close
  /reset/A/S          Content-Length A, S bytes, then a connection reset
  /split/N            like /ok/N, the header written a few bytes at a time
  /chain/K            K redirections (absolute, root-relative, relative) then 200
  /loop               redirects to itself forever
  /https              redirects to an https address
  /error              404 with a body
  /noheader           an HTML page without any status line or header
  /nostatus           a header without its status line, then a body of 4 bytes
  /cuthead            a redirection to /ok/10 whose header the server cuts off
  /fields             206 with Content-Range, Accept-Ranges, two
                      WWW-Authenticate and a Set-Cookie line, 100 bytes
  /longline           a header line of 20000 bytes
  /echo               200, the request (header and body) as the body
  /html/NAME          200, a small page served as text/html
  /hold/N             Content-Length 2N, N bytes, then waits 10 s
  /pause/N/MS         Content-Length 2N, N bytes, a pause of MS ms, N more bytes

Pattern byte i is i % 251, so a download can be checked without a copy.
A request for a whole address (as through a proxy) is served by its path.
"""
import socket
import socketserver
import struct
import sys
import threading
import time


def pattern(n):
    block = bytes(i % 251 for i in range(251))
    return (block * (n // 251 + 1))[:n]


def header(status, fields):
    lines = ["HTTP/1.0 " + status] + ["%s: %s" % kv for kv in fields] + ["", ""]
    return "\r\n".join(lines).encode("latin-1")


class Handler(socketserver.BaseRequestHandler):
    def read_request(self):
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = self.request.recv(4096)
            if not chunk:
                return None
            data += chunk
            if len(data) > 65536:
                return None
        end = data.index(b"\r\n\r\n") + 4
        length = 0
        for line in data[:end].split(b"\r\n"):
            if line.lower().startswith(b"content-length:"):
                length = int(line.split(b":", 1)[1])
        while len(data) < end + length:
            chunk = self.request.recv(4096)
            if not chunk:
                break
            data += chunk
        return data[: end + length]

    def handle(self):
        raw = self.read_request()
        if raw is None:
            return
        first = raw.split(b"\r\n", 1)[0].decode("latin-1")
        parts = first.split(" ")
        path = parts[1] if len(parts) > 1 else "/"
        if path.startswith("http://"):
            path = "/" + path[7:].partition("/")[2]
        items = [p for p in path.split("/") if p]
        name = items[0].split("?")[0] if items else ""
        args = items[1:]
        send = self.request.sendall
        port = self.server.server_address[1]

        if name == "ok":
            n = int(args[0])
            send(header("200 OK", [("Content-Type", "application/octet-stream"), ("Content-Length", n)]) + pattern(n))
        elif name == "nolength":
            n = int(args[0])
            send(header("200 OK", [("Content-Type", "application/octet-stream")]) + pattern(n))
        elif name in ("short", "long", "reset"):
            announced, sent = int(args[0]), int(args[1])
            send(header("200 OK", [("Content-Length", announced)]) + pattern(sent))
            if name == "reset":
                time.sleep(0.05)
                self.request.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        elif name == "split":
            n = int(args[0])
            head = header("200 OK", [("Content-Type", "application/octet-stream"), ("Content-Length", n)])
            self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            for i in range(0, len(head), 3):
                send(head[i : i + 3])
                time.sleep(0.002)
            body = pattern(n)
            for i in range(0, len(body), 1000):
                send(body[i : i + 1000])
                time.sleep(0.001)
        elif name == "chain":
            k = int(args[0])
            if k == 0:
                send(header("200 OK", [("Content-Length", 100)]) + pattern(100))
                return
            if k % 3 == 0:
                target = "http://127.0.0.1:%d/chain/%d" % (port, k - 1)
            elif k % 3 == 2:
                target = "/chain/%d" % (k - 1)
            else:
                target = "%d" % (k - 1)
            body = b"moved"
            send(header("302 Found", [("Location", target), ("Content-Length", len(body))]) + body)
        elif name == "loop":
            send(header("302 Found", [("Location", "/loop")]))
        elif name == "https":
            send(header("301 Moved Permanently", [("Location", "https://127.0.0.1:1/file.exe")]))
        elif name == "error":
            body = b"<html>not found here</html>"
            send(header("404 Not Found", [("Content-Type", "text/html"), ("Content-Length", len(body))]) + body)
        elif name == "noheader":
            send(b"<HTML>\r\n<body>no header at all</body>\r\n</HTML>\r\n")
        elif name == "nostatus":
            send(b"Server: scripted\r\n\r\nbody")
        elif name == "cuthead":
            send(b"HTTP/1.0 302 Found\r\nLocation: /ok/10\r\n")
        elif name == "fields":
            fields = [
                ("Content-Range", "bytes 100-199/1000"),
                ("Accept-Ranges", "bytes"),
                ("WWW-Authenticate", 'Basic realm="a"'),
                ("WWW-Authenticate", 'Digest realm="b"'),
                ("Set-Cookie", "id=1; path=/"),
                ("Content-Length", 100),
            ]
            send(header("206 Partial Content", fields) + pattern(100))
        elif name == "longline":
            send(header("200 OK", [("X-Long", "a" * 20000), ("Content-Length", 5)]) + b"hello")
        elif name == "html":
            body = b"<html>a page</html>"
            send(header("200 OK", [("Content-Type", "text/html; charset=utf-8"), ("Content-Length", len(body))]) + body)
        elif name == "echo":
            send(header("200 OK", [("Content-Length", len(raw))]) + raw)
        elif name == "pause":
            n, pause = int(args[0]), int(args[1])
            send(header("200 OK", [("Content-Length", 2 * n)]) + pattern(n))
            time.sleep(pause / 1000.0)
            send(pattern(2 * n)[n:])
        elif name == "hold":
            n = int(args[0])
            send(header("200 OK", [("Content-Length", 2 * n)]) + pattern(n))
            time.sleep(10)
        else:
            send(header("400 Bad Request", [("Content-Length", 0)]))


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    port = int(sys.argv[1]) if len(sys.argv) > 1 else 0
    server = Server(("127.0.0.1", port), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print("PORT %d" % server.server_address[1], flush=True)
    # Runs until the test closes our stdin (or goes away).
    sys.stdin.read()
    server.shutdown()


if __name__ == "__main__":
    main()
