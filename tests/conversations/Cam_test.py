"""Two real programs on one machine, each on a home of its own, logged on to
the local directory server: one broadcasts the synthetic camera, the other
views it. Each class is one CTest entry."""

import os
import shutil
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "core"))
import parlo_e2e as e2e  # noqa: E402

PROFILE_FIELDS = [(name, 256) for name in ("Name", "UserName", "FirstName", "LastName", "Age", "Dob", "Gender",
                                            "Country", "Hobbies")] + [("Description", 512)] + \
                 [(name, 256) for name in ("HomeUrl", "BizUrl", "HomeEmail", "BizEmail", "Greeting")] + \
                 [("BusyMsg", 512), ("Banner", 512), ("WebCam", 256)]

SECOND = "12345679"


class CamCase(e2e.ServerCase):
    def setUp(self):
        super().setUp()
        self.server.add_account(self.PASSWORD, SECOND)

    def start(self, uid, name, env, **settings):
        port = e2e.free_port()
        values = e2e.base_settings(self.server, uid, self.PASSWORD, AutoListen=True, ListenPort=str(port),
                                   CurrentProfile="Home", **settings)
        home = e2e.Home(values)
        self.homes.append(home)
        os.makedirs(home.file("Data"), exist_ok=True)
        row = ["Home", name] + [""] * (len(PROFILE_FIELDS) - 2)
        with open(home.file("Data", "Profiles.cds"), "w", encoding="latin-1") as f:
            f.write(e2e.dataset_text(PROFILE_FIELDS, [row]))
        program = e2e.Parlo(home, env)
        self.programs.append(program)
        program.wait_trace("listening", timeout=20)
        program.port = port
        return program

    def pictures(self, program, count, timeout=30.0):
        """The frame numbers of the first `count` pictures the program showed."""
        numbers, since = [], 0
        while len(numbers) < count:
            i, line = program.wait_trace(lambda l: l.startswith("cam picture "), timeout=timeout, since=since)
            numbers.append(int(line.split()[-1]))
            since = i + 1
        return numbers


class CamView(CamCase):
    def test_one_program_broadcasts_and_another_views_it(self):
        ann = self.start(self.UID, "Ann", {"PARLO_SYNTHETIC_CAMERA": "1", "PARLO_TEST_CAM_BROADCAST": "1",
                                           "PARLO_TEST_CAM_ALLOW": "1", "PARLO_TEST_CAM_INTERVAL_MS": "150"})
        ann.wait_trace("cam broadcasting", timeout=20)
        grab = os.path.join(tempfile.mkdtemp(prefix="parlo-cam-"), "viewer.png")
        bea = self.start(SECOND, "Bea", {"PARLO_TEST_CAM_VIEW": "Ann:%d" % ann.port, "PARLO_TEST_CAM_GRAB": grab})
        ann.wait_trace("cam allow viewer? Bea")
        ann.wait_trace("cam viewer admitted Bea")
        numbers = self.pictures(bea, 5)
        # The camera's own numbers, read back from the decoded pictures: every
        # picture whole, each a later frame than the one before.
        self.assertTrue(all(n >= 0 for n in numbers), numbers)
        self.assertEqual(numbers, sorted(set(numbers)), numbers)
        bea.wait_trace("cam grabbed")
        with open(grab, "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
        self.stop(bea)
        self.stop(ann)


class CamOffer(CamCase):
    def test_an_offered_cam_is_viewed_without_a_question(self):
        bea = self.start(SECOND, "Bea", {"PARLO_TEST_CAM_DECISION": "1"})
        # No answer to "Allow Viewer?" here: only the offer admits Bea.
        ann = self.start(self.UID, "Ann", {"PARLO_SYNTHETIC_CAMERA": "1", "PARLO_TEST_CAM_BROADCAST": "1",
                                           "PARLO_TEST_CAM_INVITE": str(bea.port),
                                           "PARLO_TEST_CAM_INTERVAL_MS": "150"})
        bea.wait_trace("cam offer from Ann", timeout=20)
        ann.wait_trace("cam viewer admitted Bea", timeout=20)
        self.assertTrue(all(n >= 0 for n in self.pictures(bea, 3)))
        self.assertFalse(any(line.startswith("cam allow viewer?") for _, line in ann.lines))
        self.stop(bea)
        self.stop(ann)


class CamInChat(CamCase):
    def test_a_cam_offered_in_a_private_chat_shows_in_the_peers_chat(self):
        # Bea takes chats by herself and views an offered cam inside the chat.
        out = tempfile.mkdtemp(prefix="parlo-cam-")
        self.addCleanup(shutil.rmtree, out, ignore_errors=True)
        grab = os.environ.get("PARLO_CAM_CHAT_SCREENSHOT") or os.path.join(out, "chat.png")
        bea = self.start(SECOND, "Bea", {"PARLO_TEST_CAM_DECISION": "2", "PARLO_TEST_CAM_GRAB": grab}, AutoPChat=True)
        ann = self.start(self.UID, "Ann", {"PARLO_SYNTHETIC_CAMERA": "1", "PARLO_TEST_CAM_BROADCAST": "1",
                                           "PARLO_TEST_CAM_INTERVAL_MS": "150",
                                           "PARLO_TEST_PCHAT_CALL": "Bea:%d" % bea.port,
                                           "PARLO_TEST_PCHAT_SENDCAM": "1",
                                           # Bea's empty banner is a message: closing asks to save.
                                           "PARLO_TEST_PCHAT_SAVE": os.path.join(out, "ann.txt")})
        ann.wait_trace("pchat authorized", timeout=20)
        bea.wait_trace("cam offer in chat from Ann", timeout=20)
        # The offer admitted Bea: nobody was asked.
        ann.wait_trace("cam viewer admitted Bea", timeout=20)
        numbers = self.pictures(bea, 3)
        self.assertTrue(all(n >= 0 for n in numbers), numbers)
        self.assertEqual(numbers, sorted(set(numbers)), numbers)
        bea.wait_trace("cam grabbed")
        self.assertFalse(any(line.startswith("cam allow viewer?") for _, line in ann.lines))
        self.stop(ann)
        self.stop(bea)


if __name__ == "__main__":
    unittest.main()
