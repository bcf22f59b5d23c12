"""Two Parlo programs on one machine, each on its own home, hold a private
chat over their direct link: the real windows on both sides, the caller
started by the test hooks, the callee accepting by itself and sending every
message back."""

import os
import re
import shutil
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "core"))
import parlo_e2e as e2e  # noqa: E402

ANN, BOB = ("41000001", "annpass1", "Ann"), ("52000002", "bobpass1", "Bob")
MESSAGE = "hello, Bob :-) see you"
# Bob's banner is his first message in Ann's transcript.
BANNER = "Welcome$c visit http://example.com/ today"
PROFILE_FIELDS = [(name, 512) for name in (
    "Name", "UserName", "FirstName", "LastName", "Age", "Dob", "Gender", "Country", "Hobbies", "Description",
    "HomeUrl", "BizUrl", "HomeEmail", "BizEmail", "Greeting", "BusyMsg", "Banner", "WebCam")]


def write_profile(home, user_name, banner):
    os.makedirs(home.file("Data"), exist_ok=True)
    row = ["Main", user_name] + [""] * 14 + [banner, ""]
    with open(home.file("Data", "Profiles.cds"), "w", encoding="latin-1") as f:
        f.write(e2e.dataset_text(PROFILE_FIELDS, [row]))


class PrivateChat(e2e.ServerCase):
    def start(self, account, port, env, **settings):
        self.server.add_account(account[1], account[0])
        home = e2e.Home(e2e.base_settings(self.server, account[0], account[1], ListenPort=str(port),
                                          CurrentProfile="Main", **settings))
        self.homes.append(home)
        write_profile(home, account[2], BANNER if account is BOB else "")
        p = e2e.Parlo(home, env)
        self.programs.append(p)
        return p, home

    def test_two_programs_chat_end_to_end(self):
        out = tempfile.mkdtemp(prefix="parlo-chat-")
        self.addCleanup(shutil.rmtree, out, ignore_errors=True)
        bob_port = e2e.free_port()
        bob, bob_home = self.start(BOB, bob_port, {"PARLO_TEST_PCHAT_ECHO": "1",
                                                    "PARLO_TEST_PCHAT_SAVE": os.path.join(out, "bob.txt")},
                                   AutoListen=True, AutoPChat=True)
        bob.wait_trace("listening", timeout=30)
        shot = os.environ.get("PARLO_CHAT_SCREENSHOT") or os.path.join(out, "chat.png")
        ann, ann_home = self.start(ANN, e2e.free_port(), {
            "PARLO_TEST_PCHAT_CALL": "Bob:%d" % bob_port, "PARLO_TEST_PCHAT_SAY": MESSAGE,
            "PARLO_TEST_PCHAT_GRAB": shot, "PARLO_TEST_PCHAT_SAVE": os.path.join(out, "ann.txt")})
        ann.wait_trace("pchat authorized", timeout=30)
        bob.wait_trace("pchat text: " + MESSAGE)
        ann.wait_trace("pchat text: " + MESSAGE)
        # The banner was the first peer message, the echo the second.
        ann.wait_trace("pchat grabbed 2")
        self.assertTrue(os.path.getsize(shot) > 0)
        self.stop(ann)
        self.stop(bob)
        # Each side saved its transcript on closing as UTF-8 text: both
        # messages under their headers, the smiley as its code again; Ann's
        # opens with the banner.
        plain = re.escape(MESSAGE.replace(":-)", "")) + "\n"  # saved without its picture
        for name in ("bob.txt", "ann.txt"):
            with open(os.path.join(out, name), encoding="utf-8", newline="") as f:
                text = f.read()
            for who in ("Ann", "Bob"):
                self.assertRegex(text, who + r" \(\d{1,2}:\d\d [AP]M\)\n" + plain)
        self.assertIn("Welcome, visit http://example.com/ today", text)
        for home in (ann_home, bob_home):
            log = home.read("errorlog.txt")
            for failure in ("Winsock", "ProcessClientCommand", "PChat"):
                self.assertNotIn(failure, log)


if __name__ == "__main__":
    unittest.main()
