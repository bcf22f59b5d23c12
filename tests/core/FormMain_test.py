"""End to end: the real program, headless, against the local directory server.

Each class is one CTest entry, so the classes run in parallel.
"""

import os
import socket
import subprocess
import time
import unittest

import parlo_e2e as e2e

UID, PASSWORD = e2e.ServerCase.UID, e2e.ServerCase.PASSWORD


def codes_in(server, user=None, since=0):
    return [f["code"] for f in server.frames(since) if f["dir"] == "in" and (user is None or f["user"] == user)]


class ProgramCase(e2e.ServerCase):
    """A server with one account, and helpers to run programs against it."""

    def home(self, friends=None, **settings):
        values = e2e.base_settings(self.server, UID, PASSWORD, **settings)
        h = e2e.Home(values, friends)
        self.homes.append(h)
        return h

    def run_parlo(self, home, env=None):
        since = len(self.server.frames())
        p = e2e.Parlo(home, env)
        p.since = since
        self.programs.append(p)
        return p

    def logged_on(self, program, timeout=10):
        """Waits until the log-on conversation is through (the program's 9013 after 9014)."""
        self.server.wait_frame(9014, "out", UID, since=program.since, timeout=timeout)
        return self.server.wait_frame(9013, "in", UID, since=program.since, timeout=timeout)



class LogOn(ProgramCase):
    def test_conversation_frame_by_frame(self):
        for auto_update in (False, True):
            with self.subTest(AutoUpdate=auto_update):
                since = len(self.server.frames())
                # A damaged stored status is sent as Available, never as it stands.
                home = self.home(AutoUpdate=auto_update, CurrentGroup="Chess", StatusMode=7,
                                 friends=[["87654321", "Bea", "10.0.0.2", "2961"]])
                listen_port = home.read("settings.txt").split("ListenPort = str:")[1].split("\n")[0]
                # A picture that cannot be read never stops the start.
                with open(home.file("logo.jpg"), "wb") as f:
                    f.write(b"not a picture")
                p = self.run_parlo(home)
                self.logged_on(p)
                if auto_update:
                    self.server.wait_frame(9025, "in", UID, since=since)
                else:
                    time.sleep(0.3)
                frames = [f for f in self.server.frames(since) if f["dir"] == "in"]
                expected = [9003, 9005, 9007, 9009, 9015, 9017, 9013] + ([9025] if auto_update else [])
                self.assertEqual([f["code"] for f in frames], expected)
                by_code = {f["code"]: f for f in frames}
                self.assertEqual(by_code[9003]["params"], [UID, PASSWORD])
                record = ",".join(by_code[9005]["params"]).split("||")
                self.assertEqual(len(record), 21)
                self.assertEqual((record[0], record[1], record[2], record[20]), (UID, "Chess", listen_port, "0"))
                self.assertEqual(by_code[9007]["params"], ["87654321"])
                self.assertEqual(by_code[9009]["params"], ["Chess"])
                self.assertEqual(by_code[9015]["params"], ["0"])
                for f in frames:
                    self.assertTrue(f["raw"].startswith("  %d<" % f["code"]), f["raw"])
                    self.assertEqual(f["text"], "")
                # The friend is listed as offline before the server says anything.
                p.wait_trace("list ListF 1 87654321=Offline")
                self.assertIn("logo.jpg", home.read("errorlog.txt"))
                self.stop(p)
                # Settings written on the way out.
                self.assertIn("ListenIP = str:127.0.0.1", home.read("settings.txt"))

    def test_server_requests_are_answered(self):
        p = self.run_parlo(self.home())
        self.logged_on(p)
        cases = [
            # (what the server writes, in how many writes, codes the program answers)
            (["  9028<>\r\n"], [9027]),
            (["  9028<>\r\n  9028<>\r\n"], [9027, 9027]),   # two frames in one write
            (["  90", "28<>\r\n"], [9027]),                    # one frame split across writes
            (["  9014<>\r\n"], [9017, 9013]),
            (["  9010<", "", ">\r\n  9028<>", "\r\n"], [9015, 9027]),
        ]
        for chunks, answers in cases:
            with self.subTest(chunks=chunks):
                since = len(self.server.frames())
                self.server.inject(UID, chunks)
                for code in answers:
                    self.server.wait_frame(code, "in", UID, since=since)
                time.sleep(0.2)
                self.assertEqual(codes_in(self.server, UID, since), answers)
        self.stop(p)

    def test_unknown_and_server_only_codes_close_the_link(self):
        for code in (9999, 9001, 9005, 4711):
            with self.subTest(code=code):
                p = self.run_parlo(self.home())
                self.logged_on(p)
                self.server.send(UID, code)
                deadline = time.monotonic() + 5
                while UID in self.server.online_users() and time.monotonic() < deadline:
                    time.sleep(0.05)
                self.assertNotIn(UID, self.server.online_users())
                self.stop(p)


class Lists(ProgramCase):
    def test_friends_and_listing(self):
        other = self.server.add_account("secret2", "87654321")
        p = self.run_parlo(self.home(friends=[[other, "Bea", "", ""]]))
        self.logged_on(p)
        # The friend's states as the server pushes them, then single changes.
        steps = [
            (9032, other + "{$}Bea{$}1{$}3{$}10.0.0.2{$}2961", "list ListF 1 87654321=Away"),
            (9016, other + "{$}Bea{$}1{$}2{$}10.0.0.2{$}2961", "list ListF 1 87654321=Offline"),
            (9016, other + "{$}Bea{$}1{$}1{$}10.0.0.2{$}2961||", "list ListF 1 87654321=Busy"),
            (9016, "55555555{$}Zed{$}1{$}0{$}10.0.0.3{$}2962", "list ListF 1 87654321=Busy"),
            (9032, "", "list ListF 1 87654321=Offline"),
        ]
        for code, params, trace in steps:
            with self.subTest(code=code, params=params):
                mark = len(p.lines)
                self.server.send(UID, code, params)
                # Trace lines of the log-on may still be on their way: wait for this one.
                p.wait_trace(trace, since=mark)
        # Listings: statuses as listed, Invisible too; short records are skipped, unknown statuses show none.
        listing = "||".join([
            "11111111{$}Ann{$}1{$}0{$}10.0.0.4{$}2960",
            "22222222{$}Bob{$}1{$}2{$}10.0.0.5{$}2960",
            "33333333{$}Cy{$}1",
            "44444444{$}Di{$}1{$}9{$}10.0.0.6{$}2960{$}extra",
        ])
        mark = len(p.lines)
        self.server.send(UID, 9010, listing)
        _, line = p.wait_trace(lambda l: l.startswith("list ListO 3 "), since=mark)
        self.assertEqual(sorted(line.split()[3:]), ["11111111=Available", "22222222=Invisible", "44444444="])
        # A status that is no number ends the link.
        self.server.send(UID, 9010, "55555555{$}Ed{$}1{$}x{$}10.0.0.6{$}2960")
        deadline = time.monotonic() + 5
        while UID in self.server.online_users() and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertNotIn(UID, self.server.online_users())
        self.stop(p)

    def test_listing_of_ten_thousand_users_split_across_writes(self):
        p = self.run_parlo(self.home())
        self.logged_on(p)
        records = ["%08d{$}User%05d{$}1{$}%d{$}10.%d.%d.%d{$}2960" % (
            20000000 + i, i, i % 5 if i % 5 != 2 else 0, i // 65536, (i // 256) % 256, i % 256)
            for i in range(10000)]
        wire = "  9010<" + "||".join(records) + ">\r\n"
        third = len(wire) // 3
        since = len(self.server.frames())
        mark = len(p.lines)
        self.server.inject(UID, [wire[:third], wire[third:2 * third], wire[2 * third:]])
        p.wait_trace("list ListO 10000", since=mark)
        self.server.wait_frame(9015, "in", UID, since=since)
        self.stop(p)


class KeepAlive(ProgramCase):
    def test_keep_alive_is_answered_13_not_15(self):
        p = self.run_parlo(self.home(friends=[["87654321", "Bea", "", ""]]), {"PARLO_TEST_ALIVE_MS": "400"})
        self.logged_on(p)
        since = len(self.server.frames())
        alive = self.server.wait_frame(9031, "in", UID, since=since)
        self.assertEqual(alive["params"], ["87654321"])
        # The server answers 9031 with 9032 and 9010: 9027 and 9013, never 9015.
        self.server.wait_frame(9013, "in", UID, since=since)
        time.sleep(0.3)
        after = codes_in(self.server, UID, since)
        self.assertEqual(after[:3], [9031, 9027, 9013])
        self.assertNotIn(9015, after)
        # The next listing that is not a keep-alive's answer gets 9015 again.
        mark = len(self.server.frames())
        self.server.send(UID, 9010)
        self.server.wait_frame(9015, "in", UID, since=mark)
        self.stop(p)

    def test_reconnects_after_a_drop(self):
        p = self.run_parlo(self.home(), {"PARLO_TEST_ALIVE_MS": "300"})
        self.logged_on(p)
        since = len(self.server.frames())
        self.server.disconnect(UID)
        self.server.wait_frame(9003, "in", since=since, timeout=5)
        self.stop(p)


class PasswordPrompt(ProgramCase):
    def test_keep_alive_opens_no_second_prompt(self):
        p = self.run_parlo(self.home(RemUserPass=False), {"PARLO_TEST_ALIVE_MS": "100"})
        p.wait_trace("password prompt")
        time.sleep(1.0)  # ten keep-alive periods with the prompt open
        self.assertEqual([l for _, l in p.lines].count("password prompt"), 1)
        self.assertEqual(self.server.frames(), [])
        self.stop(p)


class InvalidLogOn(ProgramCase):
    def test_the_refusal_box_holds_the_keep_alive(self):
        # While the box says the log-on was refused, no keep-alive tries again
        # (the box stays open here: nobody answers it).
        p = self.run_parlo(self.home(UserPass="wrong1"), {"PARLO_TEST_ALIVE_MS": "200"})
        self.server.wait_frame(9030, "out", timeout=10)
        p.wait_trace("invalid logon")
        time.sleep(1.5)  # several keep-alive periods
        self.assertEqual(codes_in(self.server).count(9003), 1)
        self.assertEqual(self.server.online_users(), [])
        self.stop(p)


class StartUp(ProgramCase):
    def test_second_start_raises_the_first_and_exits_0(self):
        # Started minimised, so that the second start has something to restore.
        home = self.home(HideAppStart=True)
        first = self.run_parlo(home)
        first.wait_trace("shown")
        self.logged_on(first)
        mark = len(first.lines)
        second = subprocess.run([e2e.PARLO], env=dict(os.environ, PARLO_HOME=home.path, QT_QPA_PLATFORM="offscreen"),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20)
        self.assertEqual(second.returncode, 0)
        first.wait_trace("restored", since=mark, timeout=5)
        first.wait_trace("activated", since=mark, timeout=5)
        # Only the first program ever logged on.
        self.assertEqual(codes_in(self.server).count(9003), 1)
        self.stop(first)

    def test_peer_listener_waits_for_the_startup_password(self):
        port = e2e.free_port()
        for require in (True, False):
            with self.subTest(RequireStartPass=require):
                since = len(self.server.frames())
                p = self.run_parlo(self.home(RequireStartPass=require, StartupPass="letmein", AutoListen=True,
                                             ListenPort=str(port)))
                p.wait_trace("shown")
                if require:
                    time.sleep(1.0)
                else:
                    self.logged_on(p)
                with socket.socket() as s:
                    s.settimeout(2)
                    listening = s.connect_ex(("127.0.0.1", port)) == 0
                self.assertEqual(listening, not require)
                # Nor does it log on before the password.
                self.assertEqual(9003 in codes_in(self.server, since=since), not require)
                self.stop(p)

    def test_hidden_start_still_logs_on_and_listens(self):
        port = e2e.free_port()
        p = self.run_parlo(self.home(HideAppStart=True, AutoListen=True, ListenPort=str(port)))
        self.logged_on(p)
        with socket.create_connection(("127.0.0.1", port), timeout=2):
            pass
        self.stop(p)

    def test_home_without_account_asks_to_register_first(self):
        home = self.home(UserID="")
        p = self.run_parlo(home)
        p.wait_trace("registration window")
        # Nothing reaches the server before the user has filled in the window.
        self.assertEqual(codes_in(self.server), [])
        self.stop(p)


class Presence(ProgramCase):
    def test_two_programs_see_each_other_and_a_status_change(self):
        other = self.server.add_account("secret2", "87654321")
        a = self.run_parlo(self.home(friends=[[other, "Bea", "", ""]]))
        self.logged_on(a)
        mark_a = len(a.lines)
        values = e2e.base_settings(self.server, other, "secret2", StatusMode=3)
        home_b = e2e.Home(values, [[UID, "Al", "", ""]])
        self.homes.append(home_b)
        b = self.run_parlo(home_b, env={"PARLO_TEST_STATUS_CHANGE": "800:1"})
        # Each sees the other among its friends and in the group listing.
        b.wait_trace(lambda l: l.startswith("list ListF 1 ") and UID + "=Available" in l)
        b.wait_trace(lambda l: l.startswith("list ListO ") and UID + "=Available" in l)
        i, _ = a.wait_trace("list ListF 1 %s=Away" % other, since=mark_a)
        # The status B chooses reaches A.
        a.wait_trace("list ListF 1 %s=Busy" % other, since=i + 1)
        self.stop(b)
        self.stop(a)


if __name__ == "__main__":
    unittest.main()
