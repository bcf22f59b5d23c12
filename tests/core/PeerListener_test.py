"""The real program's peer listener, spoken to by the scripted peer.

Each class is one CTest entry, so the classes run in parallel.
"""

import os
import socket
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import parlo_e2e as e2e  # noqa: E402
from peer import Peer, PeerError  # noqa: E402

UID, PASSWORD = e2e.ServerCase.UID, e2e.ServerCase.PASSWORD
CALLER = "87654321"
# A caller's profile record: its user id first, then the other "||" fields.
RECORD = CALLER + "||Caller||Ann||Lee||30||F||Nowhere||||||||||||||hi||hello||||"


class ListenerCase(e2e.ServerCase):
    def run_listening(self, env=None, blocked=None, **settings):
        port = e2e.free_port()
        values = e2e.base_settings(self.server, UID, PASSWORD, AutoListen=True, ListenPort=str(port), **settings)
        home = e2e.Home(values)
        self.homes.append(home)
        if blocked is not None:
            os.makedirs(home.file("Data"), exist_ok=True)
            with open(home.file("Data", "blocked.parlo"), "w", encoding="latin-1", newline="") as f:
                f.write("".join("%s,%s\r\n" % entry for entry in blocked))
        p = e2e.Parlo(home, env)
        self.programs.append(p)
        p.wait_trace("listening")
        p.port = port
        return p


    def peer(self, program):
        p = Peer("127.0.0.1", program.port)
        p.expect(1000, "", "")
        return p


class Answers(ListenerCase):
    def test_a_chat_request_is_answered_by_the_own_status(self):
        cases = [
            # status, expected reply (None: closed without one)
            (3, ("1004", "gone$c back soon")),
            (4, ("1004", "out today")),
            (1, ("1004", None)),
            (2, None),
        ]
        for status, reply in cases:
            with self.subTest(status=status):
                prog = self.run_listening(StatusMode=status, AwayText="gone$c back soon", UnavText="out today")
                with self.peer(prog) as p:
                    p.send(1001, RECORD)
                    if reply is not None:
                        got = p.expect(int(reply[0]))
                        if reply[1] is not None:
                            self.assertEqual(got.params, reply[1])
                        self.assertEqual(got.text, "")
                    p.expect_close()
                self.stop(prog)

    def test_blocked_unknown_and_handed_over_requests_close(self):
        prog = self.run_listening(env={"PARLO_TEST_CAM_DECISION": "0"}, blocked=[(CALLER, "Caller"), ("8765432", "Prefix")],
                                  AutoPChat=True)
        # A blocked caller hears nothing, not even a refusal.
        with self.peer(prog) as p:
            p.send(1001, RECORD, split=[5])
            p.expect_close()
        # Blocking compares whole ids: a caller whose id merely starts like a
        # blocked one is let through (here to the automatic acceptance).
        mark = len(prog.lines)
        with self.peer(prog) as p:
            p.send(1001, "87654329||Other")
            prog.wait_trace("private chat hand-over", since=mark)
            p.expect(1002)  # a chat window took the caller over
        for first in ([1002, "x"], [1000, ""], [9999, ""]):
            with self.subTest(first=first), self.peer(prog) as p:
                p.send(*first)
                p.expect_close()
        with self.peer(prog) as p:
            p.send_raw("no frame at all\r\n")
            p.expect_close()
        # A file offer that cannot be taken is refused at once.
        with self.peer(prog) as p:
            p.send(1020, "x")
            p.expect(1022)
            p.expect_close()
        # An invitation that cannot be read is closed.
        with self.peer(prog) as p:
            p.send(2020, "x")
            p.expect_close()
        # A view request without a broadcast hears 1038; an offer the user
        # declines (here the test's answer), 1032.
        for code, reply in ((1030, 1038), (1037, 1032)):
            with self.subTest(code=code), self.peer(prog) as p:
                p.send(code, "x")
                p.expect(reply)
                p.expect_close()
        self.stop(prog)


    def test_the_request_dialog_holds_the_caller_and_answers_busy_by_itself(self):
        prog = self.run_listening(BusyTimer=1)
        mark = len(prog.lines)
        with self.peer(prog) as p:
            p.send(1001, RECORD)
            prog.wait_trace("request dialog", since=mark)
            # While the question is open, further lines are not commands.
            p.send(1002, "x")
            p.expect_silence(0.3)
            p.expect(1004, timeout=10)
            p.expect_close()
        # A caller who hangs up leaves the question open until it is answered
        # (here busy, after a second); then its socket goes as well.
        mark = len(prog.lines)
        with self.peer(prog) as p:
            p.send(1001, RECORD)
            prog.wait_trace("request dialog", since=mark)
        prog.wait_trace("peer sockets 0", since=mark, timeout=10)
        self.stop(prog)

class Lifetimes(ListenerCase):
    def test_a_silent_caller_is_closed_after_the_time_out(self):
        prog = self.run_listening(env={"PARLO_TEST_PEER_IDLE_MS": "300"})
        with self.peer(prog) as p:
            started = time.monotonic()
            p.expect_close(timeout=5)
            self.assertGreater(time.monotonic() - started, 0.2)
        self.stop(prog)

    def test_a_storm_of_connections_leaves_no_socket_behind(self):
        # The idle time-out outlasts the storm, so silent callers pile up past the cap.
        prog = self.run_listening(env={"PARLO_TEST_PEER_IDLE_MS": "2000"}, StatusMode=3, AwayText="away")
        mark = len(prog.lines)
        socks, failures, taken, turned_away = [], [], [], []
        # Left open on a failed assertion, hundreds of sockets would bury its message.
        self.addCleanup(lambda: [s.close() for s in socks])

        def open_batch(start, count):
            for i in range(start, start + count):
                s = socket.socket()
                socks.append(s)
                s.settimeout(15)
                # On a loaded machine a caller can be greeted and then let go as the
                # oldest of its address before its thread runs again: its connect
                # call or its first send then fails, yet the greeting waits to be read.
                try:
                    # From many addresses: one address may hold only a few places.
                    s.bind(("127.0.0.%d" % (2 + i % 100), 0))
                    s.connect(("127.0.0.1", prog.port))
                except ConnectionResetError:
                    pass
                except OSError as e:
                    failures.append(e)
                    continue
                kind = i % 4
                try:
                    if kind == 1:
                        s.sendall(b"  1001<" + RECORD.encode("latin-1") + b">\r\n")
                    elif kind == 2:
                        s.sendall(b"  1002<>\r\n")
                    elif kind == 3:
                        s.sendall(b"\x00\xff garbage without a line end")
                except OSError:
                    pass
                # Waiting for the greeting or the turn-away keeps no more callers
                # queued than the listen backlog holds: a full queue drops the
                # next connect, which then waits a second for its retry.
                try:
                    greeted = s.recv(64).startswith(b"  1000<>\r\n")
                except OSError:
                    greeted = False
                (taken if greeted else turned_away).append(i)

        threads = [threading.Thread(target=open_batch, args=(n * 100, 100)) for n in range(5)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        # Every caller was greeted, none found the listener gone: past the
        # places, the longest waiting callers were let go for the newcomers.
        self.assertEqual(failures, [])
        self.assertEqual(turned_away, [])
        self.assertGreater(len(taken), 64)
        log = self.homes[-1].read("errorlog.txt")
        self.assertIn("Too many waiting connections", log)
        self.assertNotIn("new callers are turned away", log)
        prog.wait_trace(lambda l: l.startswith("peer sockets ") and int(l.split()[2]) > 64, since=mark)
        # Half the callers hang up at once; the others are left to the time-out.
        for s in socks[::2]:
            s.close()
        prog.wait_trace(lambda l: l == "peer sockets 0", since=mark, timeout=20)
        for s in socks[1::2]:
            s.close()
        # Still serving afterwards.
        with self.peer(prog) as p:
            p.send(1001, RECORD)
            p.expect(1004, "away")
            p.expect_close()
        prog.wait_trace("peer sockets 0", since=len(prog.lines) - 1, timeout=10)
        self.stop(prog)


if __name__ == "__main__":
    unittest.main()
