"""Three Parlo programs on one machine, each on its own home: Ann hosts a
room and invites Bob and Cid through their listeners, both accept, and all
three talk and play sounds; a picture of the host window is taken.
"""

import os
import shutil
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "core"))
sys.path.insert(0, os.path.join(HERE, "..", "conversations"))
import parlo_e2e as e2e  # noqa: E402
from PrivateChat_test import write_profile  # noqa: E402

ANN, BOB, CID = ("41000001", "annpass1", "Ann"), ("52000002", "bobpass1", "Bob"), ("63000003", "cidpass1", "Cid")
SAYS = {"Ann": "hello room :-) http://example.com/", "Bob": "hi from Bob, with a > inside", "Cid": "hi from Cid {$} :)"}
SOUNDS = {"Ann": 5, "Bob": 7, "Cid": 47}


class ChatRoom(e2e.ServerCase):
    def start(self, account, env, **settings):
        self.server.add_account(account[1], account[0])
        home = e2e.Home(e2e.base_settings(self.server, account[0], account[1], CurrentProfile="Main", **settings))
        self.homes.append(home)
        write_profile(home, account[2], "")
        env = dict(env, PARLO_TEST_ROOM_SAY=SAYS[account[2]], PARLO_TEST_ROOM_SOUND=str(SOUNDS[account[2]]))
        p = e2e.Parlo(home, env)
        self.programs.append(p)
        return p, home

    def test_a_host_and_two_invited_members_talk(self):
        out = tempfile.mkdtemp(prefix="parlo-room-")
        self.addCleanup(shutil.rmtree, out, ignore_errors=True)
        ports = {name: e2e.free_port() for name in ("Bob", "Cid")}
        members = {}
        for account in (BOB, CID):
            name = account[2]
            members[name] = self.start(account, {"PARLO_TEST_ROOM_ACCEPT": "1", "PARLO_TEST_ROOM_WAIT": "3"},
                                       AutoListen=True, ListenPort=str(ports[name]))
            members[name][0].wait_trace("listening", timeout=30)
        shot = os.environ.get("PARLO_ROOM_SCREENSHOT") or os.path.join(out, "room.png")
        ann, ann_home = self.start(ANN, {
            "PARLO_TEST_ROOM_HOST": "Lobby", "PARLO_TEST_ROOM_WAIT": "2", "PARLO_TEST_ROOM_GRAB": shot,
            "PARLO_TEST_ROOM_INVITE": "Bob:%d,Cid:%d" % (ports["Bob"], ports["Cid"])},
            ChatPort=str(e2e.free_port()))
        ann.wait_trace("room hosting", timeout=30)
        everyone = {"Ann": ann, "Bob": members["Bob"][0], "Cid": members["Cid"][0]}
        for name, program in everyone.items():
            for other in everyone:
                if other == name:
                    continue
                program.wait_trace("room text: %s: %s" % (other, SAYS[other]), timeout=30)
                program.wait_trace("room sound: %s %d" % (other, SOUNDS[other]), timeout=30)
        ann.wait_trace("room grabbed 2", timeout=30)
        self.assertTrue(os.path.getsize(shot) > 0)
        for name, program in everyone.items():
            # No echo: nobody is shown a text of its own as a room text.
            self.assertFalse([l for _, l in program.lines if l.startswith("room text: %s: " % name)])
            self.stop(program)
        for home in [ann_home] + [h for _, h in members.values()]:
            log = home.read("errorlog.txt")
            for failure in ("Winsock", "ChatServer", "ChatClient", "ChatHostedClient"):
                self.assertNotIn(failure, log)


if __name__ == "__main__":
    unittest.main()
