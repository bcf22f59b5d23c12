"""Instant messages between two Parlo programs, each on its own home, through
the local directory server: to a user online, to one offline who gets them at
the next log-on, kept in order until shown, a poisoned store drained and a
blocked sender dropped.
"""

import os
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "core"))
import parlo_e2e as e2e  # noqa: E402

ANN, BOB, CY = ("41000001", "annpass1", "Ann"), ("52000002", "bobpass1", "Bob"), ("63000003", "cypass11", "Cy")
FS = "{$}"
PROFILE_FIELDS = [(name, 512) for name in (
    "Name", "UserName", "FirstName", "LastName", "Age", "Dob", "Gender", "Country", "Hobbies", "Description",
    "HomeUrl", "BizUrl", "HomeEmail", "BizEmail", "Greeting", "BusyMsg", "Banner", "WebCam")]


def decode(field):
    """The message field as a receiver reads it: the two codes of the message
    field, then the free-text escapes, each undone in its order."""
    for code, text in (("$g", ">"), ("$f", FS), ("$r", "\r"), ("$n", "\n"), ("$c", ",")):
        field = field.replace(code, text)
    return field


def stored(home):
    """The waiting messages of "incoming.msg": section -> [(key, text)] in file order."""
    sections, current = {}, None
    for line in home.read("Data", "incoming.msg").splitlines():
        if line.startswith("[") and line.endswith("]"):
            current = sections.setdefault(line[1:-1], [])
        elif "=" in line and current is not None:
            key, value = line.split("=", 1)
            current.append((key, decode(value.split(FS)[7]) if value.count(FS) >= 7 else value))
    return sections


class MessagesCase(e2e.ServerCase):
    """Ann and Bob (and Cy, who never runs) with accounts and homes of their own."""

    def setUp(self):
        super().setUp()
        for account in (ANN, BOB, CY):
            self.server.add_account(account[1], account[0])

    def home(self, account, **settings):
        home = e2e.Home(e2e.base_settings(self.server, account[0], account[1], CurrentProfile="Main", ShowMsg=False,
                                          NoSound=True, **settings))
        os.makedirs(home.file("Data"), exist_ok=True)
        with open(home.file("Data", "Profiles.cds"), "w", encoding="latin-1") as f:
            f.write(e2e.dataset_text(PROFILE_FIELDS, [["Main", account[2]] + [""] * 16]))
        self.homes.append(home)
        return home

    def start_program(self, home, account, env=None):
        since = len(self.server.frames())
        p = e2e.Parlo(home, env)
        self.programs.append(p)
        self.server.wait_frame(9013, "in", account[0], since=since, timeout=20)
        return p

    def send(self, lines, timeout=20):
        """Ann, started to send these and stopped once the server has them all."""
        since = len(self.server.frames())
        sends = "\n".join("%s:%s" % (BOB[0], text) for text in lines)
        ann = self.start_program(self.ann, ANN, {"PARLO_TEST_MSG_SEND": sends})
        deadline = time.monotonic() + timeout
        while sum(f["code"] == 9011 and f["dir"] == "in" for f in self.server.frames(since)) < len(lines):
            self.assertLess(time.monotonic(), deadline, "the messages did not reach the server")
            time.sleep(0.05)
        self.stop(ann)


class Messages(MessagesCase):
    def test_to_an_online_user_then_to_one_offline_in_order(self):
        self.ann, bob_home = self.home(ANN), self.home(BOB)
        bob = self.start_program(bob_home, BOB, {"PARLO_TEST_ALERT_CHOOSE": "1"})
        first = ["Hello Bob, a > b {$} c || d $ e", "second"]
        self.send(first)
        bob.wait_trace("alert Message(s) from: Ann")
        bob.wait_trace("list ListIn 1 %s=Available" % ANN[0])
        for text in first:
            bob.wait_trace("msg text %s: %s" % (ANN[0], text))
        self.stop(bob)

        later = ["third", "fourth"]
        self.send(later)
        self.assertEqual([decode(r.split(FS)[7]) for r in self.server.waiting_messages(BOB[0])], later)
        bob = self.start_program(bob_home, BOB, {"PARLO_TEST_ALERT_CHOOSE": "1"})
        self.assertEqual(self.server.waiting_messages(BOB[0]), [])
        for text in later:
            bob.wait_trace("msg text %s: %s" % (ANN[0], text))
        self.stop(bob)
        # Shown messages leave the store.
        self.assertEqual(stored(bob_home), {})
        self.assertIn("Hello Bob, a > b {$} c || d $ e", self.ann.read("Data", "History.cds"))

    def test_poison_drains_and_a_blocked_sender_is_dropped(self):
        self.ann, bob_home = self.home(ANN), self.home(BOB)
        good = FS.join([CY[0], "Cy", "1", "0", "127.0.0.1", "2960", "1/2/26 9:00:00", "still here"])
        with open(bob_home.file("Data", "incoming.msg"), "w", encoding="latin-1", newline="") as f:
            f.write("[abc]\r\nmsg0=junk\r\n[%s]\r\nmsg0=short{$}record\r\n[%s]\r\nmsg0=%s\r\n" % (ANN[0], CY[0], good))
        with open(bob_home.file("Data", "blocked.parlo"), "w", encoding="latin-1", newline="") as f:
            f.write("%s,Ann\r\n" % ANN[0])
        bob = self.start_program(bob_home, BOB, {"PARLO_TEST_MSG_CHECK": "1"})
        bob.wait_trace("message announced %s" % CY[0])
        self.assertEqual(list(stored(bob_home)), [CY[0]])

        self.send(["let me in"])
        bob.wait_trace("message blocked")
        # A message after it shows the blocked one left nothing behind.
        self.server.send(BOB[0], 9012, good.replace("still here", "after"))
        bob.wait_trace("message stored %s msg1" % CY[0])
        self.stop(bob)
        self.assertEqual(stored(bob_home), {CY[0]: [("msg0", "still here"), ("msg1", "after")]})
        self.assertFalse(any(ANN[0] in line for _, line in bob.lines if line.startswith("list ListIn")))
        log = bob_home.read("errorlog.txt")
        self.assertIn('"abc" is no user id', log)
        self.assertIn("%s msg0 cannot be read" % ANN[0], log)


class MessageWindows(MessagesCase):
    def test_an_open_window_takes_the_message_at_once(self):
        self.ann, bob_home = self.home(ANN), self.home(BOB)
        bob = self.start_program(bob_home, BOB, {"PARLO_TEST_MSG_OPEN": ANN[0]})
        self.send(["knock knock"])
        bob.wait_trace("msg text %s: knock knock" % ANN[0])
        self.stop(bob)
        self.assertEqual(stored(bob_home), {})
        self.assertFalse(any(line.startswith("alert Message") for _, line in bob.lines))


if __name__ == "__main__":
    unittest.main()
