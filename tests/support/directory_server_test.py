"""Talks to the local directory server over plain sockets, frame by frame."""

import os
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import directory_server as ds  # noqa: E402

FS = "{$}"


class Client:
    """A bare client: sends lines, reads whole CR LF lines with a time limit."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
        self.buf = b""

    def send_raw(self, data):
        self.sock.sendall(data if isinstance(data, bytes) else data.encode("latin-1"))

    def send(self, code, params="", text=""):
        self.send_raw("  %d<%s>%s\r\n" % (code, params, text))

    def line(self, timeout=5.0):
        deadline = time.monotonic() + timeout
        while b"\r\n" not in self.buf:
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError("no line; have %r" % self.buf)
            self.sock.settimeout(left)
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ConnectionError("closed; have %r" % self.buf)
            self.buf += chunk
        line, self.buf = self.buf.split(b"\r\n", 1)
        return line.decode("latin-1")

    def expect(self, code, timeout=5.0):
        """Next frame must carry `code`; returns its parameters (split) and text."""
        line = self.line(timeout)
        got, params, text = ds.parse_line(line)
        if got != code:
            raise AssertionError("expected %d, got %r" % (code, line))
        return params

    def expect_closed(self, timeout=5.0):
        self.sock.settimeout(timeout)
        while True:
            chunk = self.sock.recv(65536)
            if not chunk:
                return
            self.buf += chunk

    def close(self):
        self.sock.close()


def profile_record(uid, name, group="General", port="2960", status=0, description=""):
    fields = [uid, group, port, name, "First", "Last", "30", "1990", "Male", "Nowhere",
              "reading", description, "", "", "", "", "Hello", "busy", "Welcome", "No WebCam",
              str(status)]
    return "||".join(fields)


class ServerCase(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.server = ds.DirectoryServer(self.tmp.name, port=0).start()
        self.clients = []

    def tearDown(self):
        for c in self.clients:
            c.close()
        self.server.stop()
        self.tmp.cleanup()

    def connect(self):
        c = Client(self.server.port)
        self.clients.append(c)
        self.assertEqual(c.expect(9000), ["127.0.0.1"])
        return c

    def register(self, password="secret1"):
        c = self.connect()
        c.send(9001, password)
        uid, pw = c.expect(9002)
        self.assertRegex(uid, r"^[1-9]\d{7}$")
        self.assertEqual(pw, password)
        return c, uid

    def log_on(self, uid, name, friends=(), password="secret1", status=0, client=None,
               group="General"):
        """The whole log-on conversation; returns the client, the friends' states
        and the listing."""
        c = client or self.connect()
        c.send(9003, uid + "," + password)
        c.expect(9004)
        c.send(9005, profile_record(uid, name, group=group, status=status))
        c.expect(9006)
        c.send(9007, ",".join(friends))
        states = c.expect(9008)
        c.send(9009, group)
        listing = c.expect(9010)
        c.send(9015, str(status))
        return c, states, listing


def records(params):
    joined = ",".join(params)
    return [r.split(FS) for r in joined.split("||")] if joined else []


class AccountsAndLogOn(ServerCase):
    def test_register_then_log_on_walks_the_whole_conversation(self):
        c, uid = self.register()
        c, states, listing = self.log_on(uid, "Alice1", client=c)
        self.assertEqual(states, [])
        self.assertEqual(listing, [])
        c.expect(9014)
        c.send(9017)
        c.send(9013)
        c.send(9025)
        build, url = c.expect(9026)[0].split(FS)
        self.assertEqual(build, "1.0.0.0")
        self.assertTrue(url.startswith("http://"))
        self.assertEqual(self.server.online_users(), [uid])

    def test_wrong_password_or_unknown_id_gets_9030(self):
        _, uid = self.register()
        for creds in (uid + ",wrong00", "00000000,secret1", uid, ""):
            c = self.connect()
            c.send(9003, creds)
            c.expect(9030)

    def test_commands_before_log_on_and_unknown_codes_close_the_link(self):
        for line in ("  9009<General>\r\n", "  9011<x>\r\n", "hello\r\n"):
            c = self.connect()
            c.send_raw(line)
            c.expect_closed()
        c, uid = self.register()
        c, _, _ = self.log_on(uid, "Alice1", client=c)
        c.expect(9014)
        c.send(9021)
        c.expect_closed()

    def test_accounts_and_waiting_messages_survive_a_restart(self):
        _, uid = self.register()
        _, bob = self.register()
        c, _, _ = self.log_on(uid, "Alice1")
        c.expect(9014)
        c.send(9011, FS.join([bob, uid, "Alice1", "1", "0", "127.0.0.1", "2960", "now", "hi"]))
        self.server.wait_frame(9011, user=uid)
        time.sleep(0.1)
        for old in self.clients:
            old.close()
        self.clients = []
        self.server.stop()
        self.server = ds.DirectoryServer(self.tmp.name, port=0).start()
        c, _, _ = self.log_on(uid, "Alice1")
        c.expect(9014)
        self.assertEqual(self.server.waiting_messages(bob)[0].split(FS)[-1], "hi")

    def test_unreadable_store_is_kept_aside_and_replaced(self):
        self.server.stop()
        path = os.path.join(self.tmp.name, ds.Store.FILE)
        with open(path, "w") as f:
            f.write("{not json")
        self.server = ds.DirectoryServer(self.tmp.name, port=0).start()
        self.register()
        aside = [n for n in os.listdir(self.tmp.name) if ".unreadable-" in n]
        self.assertEqual(len(aside), 1)
        with open(os.path.join(self.tmp.name, aside[0])) as f:
            self.assertEqual(f.read(), "{not json")


class Presence(ServerCase):
    def test_friends_see_each_other_come_change_and_go(self):
        _, a = self.register()
        _, b = self.register()
        ca, states, _ = self.log_on(a, "Alice1", friends=[b])
        ca.expect(9014)
        self.assertEqual(records(states), [[b, "", "0", "0", "", ""]])

        cb, states, listing = self.log_on(b, "Bobby1", friends=[a], status=0)
        # Alice is online and listed in the same group.
        self.assertEqual(records(states)[0][:4], [a, "Alice1", "1", "0"])
        self.assertEqual([r[0] for r in records(listing)], [a])
        cb.expect(9014)
        rec = records(ca.expect(9016))[0]
        self.assertEqual(rec, [b, "Bobby1", "1", "0", "127.0.0.1", "2960"])

        cb.send(9015, "1")
        self.assertEqual(records(ca.expect(9016))[0][2:4], ["1", "1"])
        # Invisible looks offline to friends.
        cb.send(9015, "2")
        self.assertEqual(records(ca.expect(9016))[0][2:4], ["0", "0"])
        cb.send(9015, "0")
        ca.expect(9016)
        cb.close()
        self.assertEqual(records(ca.expect(9016))[0][2], "0")

    def test_keep_alive_refreshes_friends_then_the_listing(self):
        _, a = self.register()
        _, b = self.register()
        cb, _, _ = self.log_on(b, "Bobby1", group="Chess")
        cb.expect(9014)
        ca, _, listing = self.log_on(a, "Alice1", group="General")
        ca.expect(9014)
        self.assertEqual(listing, [])
        ca.send(9031, b)
        self.assertEqual(records(ca.expect(9032))[0][:3], [b, "Bobby1", "1"])
        self.assertEqual(ca.expect(9010), [])
        ca.send(9009, "Chess")
        self.assertEqual([r[0] for r in records(ca.expect(9010))], [b])

    def test_prepared_account_logs_on_and_a_pushed_refresh_brings_friends(self):
        a = self.server.add_account("secret1", uid="12345678")
        self.assertEqual(a, "12345678")
        self.assertNotEqual(self.server.add_account("other00", uid=a), a)
        _, b = self.register()
        ca, _, _ = self.log_on(a, "Alice1", friends=[b])
        ca.expect(9014)
        cb, _, _ = self.log_on(b, "Bobby1")
        cb.expect(9014)
        ca.expect(9016)
        self.server.refresh_friends(a)
        self.assertEqual(records(ca.expect(9032))[0][:3], [b, "Bobby1", "1"])

    def test_random_contact_finds_someone_else_or_nobody(self):
        _, a = self.register()
        ca, _, _ = self.log_on(a, "Alice1")
        ca.expect(9014)
        ca.send(9019)
        ca.expect(9020)
        _, b = self.register()
        cb, _, _ = self.log_on(b, "Bobby1")
        cb.expect(9014)
        ca.send(9019)
        items = ca.expect(9018)[0].split(FS)
        self.assertEqual(len(items), 14)
        self.assertEqual((items[0], items[1], items[7], items[12]), (b, "Bobby1", "First", "reading"))


class Messages(ServerCase):
    def message(self, to, frm, text):
        return FS.join([to, frm, "Sender", "1", "0", "127.0.0.1", "2960", "1/1/2026 10:00:00", text])

    def test_message_to_online_user_is_relayed_at_once(self):
        _, a = self.register()
        _, b = self.register()
        cb, _, _ = self.log_on(b, "Bobby1")
        cb.expect(9014)
        ca, _, _ = self.log_on(a, "Alice1")
        ca.expect(9014)
        # The message goes on as sent, record separators and all.
        ca.send(9011, self.message(b, a, "hi$cthere || $g"))
        got = cb.expect(9012)[0].split(FS)
        self.assertEqual(got, [a, "Sender", "1", "0", "127.0.0.1", "2960", "1/1/2026 10:00:00",
                               "hi$cthere || $g"])

    def test_messages_for_offline_user_wait_and_arrive_in_order_at_log_on(self):
        _, a = self.register()
        _, b = self.register()
        ca, _, _ = self.log_on(a, "Alice1")
        ca.expect(9014)
        for text in ("one", "two"):
            ca.send(9011, self.message(b, a, text))
        # A forged sender id is replaced by the sender's own.
        ca.send(9011, self.message(b, "99999999", "three"))
        self.server.wait_frame(9011, user=a, since=len(self.server.frames()) - 1)
        time.sleep(0.1)
        self.assertEqual(len(self.server.waiting_messages(b)), 3)
        cb, _, _ = self.log_on(b, "Bobby1")
        got = [cb.expect(9012)[0].split(FS) for _ in range(3)]
        self.assertEqual([g[-1] for g in got], ["one", "two", "three"])
        self.assertEqual({g[0] for g in got}, {a})
        cb.expect(9014)
        self.assertEqual(self.server.waiting_messages(b), [])


class Framing(ServerCase):
    def test_two_frames_in_one_write_and_one_frame_in_pieces(self):
        c, uid = self.register()
        c.send_raw("  9003<%s,secret1>\r\n" % uid)
        c.expect(9004)
        rec = profile_record(uid, "Alice1")
        c.send_raw("  9005<" + rec[:10])
        time.sleep(0.05)
        c.send_raw(rec[10:] + ">\r\n  9007<>\r\n")
        c.expect(9006)
        c.expect(9008)
        self.assertEqual(self.server.account(uid)["profile"]["UserName"], "Alice1")

    def test_over_long_line_closes_the_link(self):
        c = self.connect()
        c.send_raw(b"  9001<" + b"x" * (ds.MAX_LINE + 10))
        c.expect_closed()

    def test_photo_bytes_follow_9100_and_lines_resume_after_them(self):
        c, uid = self.register()
        c, _, _ = self.log_on(uid, "Alice1", client=c)
        c.expect(9014)
        photo = bytes(range(256)) * 4 + b"\r\n  9019<>\r\n"
        c.send_raw(b"  9100<%d>\r\n" % len(photo) + photo + b"  9025<>\r\n")
        c.expect(9101)
        c.expect(9026)
        with open(self.server.store.photo_path(uid), "rb") as f:
            self.assertEqual(f.read(), photo)

    def test_injected_writes_arrive_as_asked(self):
        c, uid = self.register()
        c, _, _ = self.log_on(uid, "Alice1", client=c)
        c.expect(9014)
        c.sock.settimeout(2)
        self.server.inject(uid, ["  9028<>\r\n  9016<x>\r\n"])
        self.assertEqual(c.sock.recv(100), b"  9028<>\r\n  9016<x>\r\n")
        writer = threading.Thread(target=self.server.inject, args=(uid, ["  90", "28<>\r\n"], 0.3))
        writer.start()
        self.assertEqual(c.sock.recv(100), b"  90")
        writer.join()
        self.assertEqual(c.sock.recv(100), b"28<>\r\n")
        # Batch mode puts the keep-alive's two answers in one write.
        self.server.set_write_mode("batch")
        c.send(9031)
        time.sleep(0.2)
        self.assertEqual(c.sock.recv(100), b"  9032<>\r\n  9010<>\r\n")
        out = [f["code"] for f in self.server.frames() if f["dir"] == "out"]
        self.assertEqual(out[-2:], [9032, 9010])
        # Split mode sends each frame in two writes; the pieces still join up.
        self.server.set_write_mode("split")
        c.send(9025)
        first = c.sock.recv(1000)
        self.assertFalse(first.endswith(b"\r\n"))
        c.buf = first
        c.expect(9026)


class AsAProgram(unittest.TestCase):
    def test_control_port_drives_a_server_process(self):
        import json
        with tempfile.TemporaryDirectory() as tmp:
            proc = subprocess.Popen(
                [sys.executable, ds.__file__, "--data", tmp, "--port", "0", "--control-port", "0",
                 "--update-build", "1.2.3.4"],
                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            try:
                ready = proc.stdout.readline().split()
                self.assertEqual(ready[0], "READY")
                port, control = int(ready[1]), int(ready[2])
                ctl = socket.create_connection(("127.0.0.1", control), timeout=5)
                ctl_file = ctl.makefile("rw", encoding="utf-8")

                def ask(**req):
                    ctl_file.write(json.dumps(req) + "\n")
                    ctl_file.flush()
                    return json.loads(ctl_file.readline())

                c = Client(port)
                c.expect(9000)
                c.send(9001, "secret1")
                uid = c.expect(9002)[0]
                self.assertEqual(ask(cmd="wait", code=9001)["result"]["params"], ["secret1"])
                c.send(9003, uid + ",secret1")
                c.expect(9004)
                self.assertTrue(ask(cmd="send", target=uid, code=9028)["ok"])
                c.expect(9028)
                self.assertFalse(ask(cmd="nonsense")["ok"])
                codes = [(f["dir"], f["code"]) for f in ask(cmd="frames")["result"]]
                self.assertEqual(codes[:4], [("out", 9000), ("in", 9001), ("out", 9002), ("in", 9003)])
                c.close()
                ctl.close()
            finally:
                proc.terminate()
                proc.wait(5)
                proc.stdout.close()


if __name__ == "__main__":
    unittest.main()
