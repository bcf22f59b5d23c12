"""End to end: files, pictures and sounds between real programs, headless,
and the transfer protocol against scripted peers written from the wire.

Each class is one CTest entry, so the classes run in parallel.
"""

import io
import math
import os
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import wave
import zipfile
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "core"))

import parlo_e2e as e2e  # noqa: E402
from peer import Peer, frame_bytes, parse_frame  # noqa: E402

PROFILE_FIELDS = [("Name", 256), ("UserName", 256), ("FirstName", 256), ("LastName", 256), ("Age", 64),
                  ("Dob", 64), ("Gender", 64), ("Country", 256), ("Hobbies", 256), ("Description", 512),
                  ("HomeUrl", 256), ("BizUrl", 256), ("HomeEmail", 256), ("BizEmail", 256), ("Greeting", 256),
                  ("BusyMsg", 512), ("Banner", 512), ("WebCam", 256)]
OTHER_UID, OTHER_PASSWORD = "87654321", "secret2"


def png_bytes(width, height):
    """A real RGB picture, written by hand (zlib is the only help)."""
    rows = b"".join(b"\0" + bytes(v for x in range(width) for v in (x * 4 % 256, y * 5 % 256, (x ^ y) % 256))
                    for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def wave_bytes(seconds=0.2, rate=8000):
    out = io.BytesIO()
    with wave.open(out, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(struct.pack("<h", int(8000 * math.sin(i * 2 * math.pi * 440 / rate)))
                               for i in range(int(seconds * rate))))
    return out.getvalue()


def tree(root):
    """Every file and link under root, relative, with its bytes (None for a link)."""
    found = {}
    for folder, dirs, files in os.walk(root):
        for name in files + [d for d in dirs if os.path.islink(os.path.join(folder, d))]:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, root)
            if os.path.islink(path):
                found[rel] = None
            elif os.path.isfile(path):
                with open(path, "rb") as f:
                    found[rel] = f.read()
    return found


class TransferCase(e2e.ServerCase):
    """Homes with a profile named for their user, programs that listen, and
    source files in a folder of their own."""

    def setUp(self):
        super().setUp()
        self.server.add_account(OTHER_PASSWORD, OTHER_UID)
        self.src = tempfile.mkdtemp(prefix="parlo-src-")
        self.addCleanup(subprocess.run, ["rm", "-rf", self.src])

    def home(self, uid, password, user_name, **settings):
        h = e2e.Home(e2e.base_settings(self.server, uid, password, AutoListen=True, CurrentProfile="Main",
                                       **settings))
        self.homes.append(h)
        row = ["Main", user_name] + [""] * (len(PROFILE_FIELDS) - 2)
        os.makedirs(h.file("Data"), exist_ok=True)
        with open(h.file("Data", "Profiles.cds"), "w", encoding="latin-1") as f:
            f.write(e2e.dataset_text(PROFILE_FIELDS, [row]))
        return h

    def start(self, home, **env):
        p = e2e.Parlo(home, env)
        self.programs.append(p)
        p.wait_trace("listening")
        return p

    @staticmethod
    def port(home):
        return int(home.read("settings.txt").split("ListenPort = str:")[1].split("\n")[0])

    def source(self, name, data):
        path = os.path.join(self.src, name)
        with open(path, "wb") as f:
            f.write(data)
        return path


class TwoPrograms(TransferCase):
    def test_files_image_and_sound_arrive_whole(self):
        files = {"notes.txt": b"line of text\r\n" * 4000, "data.bin": os.urandom(300000), "empty.dat": b"",
                 "snow \u2603 man.txt": b"a name outside the code page"}
        paths = [self.source(n, d) for n, d in files.items()]
        picture, sound = png_bytes(64, 48), wave_bytes()
        pic, snd = self.source("pic.png", picture), self.source("beep.wav", sound)

        home_b = self.home(OTHER_UID, OTHER_PASSWORD, "Bea Jones")
        b = self.start(home_b, PARLO_TEST_TRANSFER_ACCEPT="yes")
        home_a = self.home(self.UID, self.PASSWORD, "Al Smith")
        sends = "binary:holiday:%s;image::%s;sound::%s" % ("|".join(paths), pic, snd)
        a = self.start(home_a, PARLO_TEST_TRANSFER_TO="Bea:%d" % self.port(home_b),
                       PARLO_TEST_TRANSFER_SEND=sends)
        for kind in ("binary", "image", "sound"):
            a.wait_trace("transfer sent " + kind, timeout=30)
        b.wait_trace("transfer received binary 4")
        b.wait_trace("transfer offer image pic.zip")
        b.wait_trace("transfer received sound 1")

        self.assertEqual(tree(home_b.file("Files", "Al Smith")), files)
        self.assertEqual(tree(home_b.file("Images", "Al Smith")), {"pic.png": picture})
        self.assertEqual(tree(home_b.file("Sounds", "Al Smith")), {"beep.wav": sound})
        # No package is left on either side.
        self.assertEqual(tree(home_a.file("TmpFiles")), {})
        self.assertEqual(tree(home_b.file("TmpFiles")), {})
        self.stop(a)
        self.stop(b)


class SenderOnTheWire(TransferCase):
    """Our sender against a listener written from the protocol."""

    def test_offer_start_and_package_bytes(self):
        # Far more than the send queue may hold: the package must go out in
        # pieces as the link drains, while this side waits before reading.
        files = {"a.txt": b"alpha " * 20000, "b.bin": os.urandom(24 << 20)}
        paths = [self.source(n, d) for n, d in files.items()]
        pic = self.source("pic.png", png_bytes(8, 8))
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(2)
        listener.settimeout(15)
        self.addCleanup(listener.close)
        home = self.home(self.UID, self.PASSWORD, "Al,Smith")
        # A package name that would break the frame and the record is sent made safe.
        a = self.start(home, PARLO_TEST_TRANSFER_TO="Bea:%d" % listener.getsockname()[1],
                       PARLO_TEST_TRANSFER_SEND="binary:our,pack>age:%s;image::%s" % ("|".join(paths), pic))

        p = Peer("127.0.0.1", 0, timeout=15, connect=False)
        p.sock, _ = listener.accept()
        p.send(1000)
        offer = p.expect(1020, text="")
        self.assertEqual(offer.params.split("{$}"), ["Al$cSmith", "our_pack_age.zip", offer.params.split("{$}")[2],
                                                     "binary", ""])
        size = int(offer.params.split("{$}")[2])
        p.send(1021)
        p.expect(1023, params="%d{$}our_pack_age.zip{$}binary{$}2" % size, text="")
        time.sleep(1.5)
        package = bytearray(p.buf)
        p.sock.settimeout(10)
        while len(package) < size:
            chunk = p.sock.recv(1 << 20)
            self.assertTrue(chunk, "the package stopped short")
            package += chunk
        self.assertEqual(len(package), size)
        with zipfile.ZipFile(io.BytesIO(bytes(package))) as z:
            self.assertEqual({i.filename: z.read(i) for i in z.infolist()}, files)
            self.assertTrue(all(i.compress_type == zipfile.ZIP_DEFLATED for i in z.infolist()))
        p.buf = b""
        p.send(1024)
        a.wait_trace("transfer sent binary")
        p.close()

        # A rejection, even one that comes after the start, ends the transfer
        # and leaves no package behind.
        p = Peer("127.0.0.1", 0, timeout=15, connect=False)
        p.sock, _ = listener.accept()
        p.send(1000)
        self.assertEqual(p.expect(1020).params.split("{$}")[3], "image")
        p.send(1021)
        p.expect(1023)
        p.send(1022)
        a.wait_trace("transfer failed out: Transfer was rejected...")
        p.close()
        self.assertEqual(tree(home.file("TmpFiles")), {})
        self.stop(a)


class ScriptedOffers(TransferCase):
    """Packages made by Info-ZIP and sent by the scripted peer; the receiver
    accepts each offer a little after it shows, and never overwrites."""

    def setUp(self):
        super().setUp()
        self.b_home = self.home(OTHER_UID, OTHER_PASSWORD, "Bea Jones")
        self.b = self.start(self.b_home, PARLO_TEST_TRANSFER_ACCEPT="yes", PARLO_TEST_TRANSFER_ACCEPT_MS="300")

    def info_zip(self, name, files):
        paths = [self.source(n, d) for n, d in files.items()]
        target = os.path.join(self.src, name)
        subprocess.run(["zip", "-q", "-j", "-9", target] + paths, check=True)
        with open(target, "rb") as f:
            return f.read()

    def offer(self, sender, name, package, kind="binary", split=None):
        p = Peer("127.0.0.1", self.port(self.b_home), timeout=10)
        p.expect(1000)
        p.send(1020, "%s{$}%s{$}%d{$}%s{$}%s" % (sender, name, len(package), kind, "From$ca$nscript"))
        p.expect(1021)
        p.send_raw(frame_bytes(1023, "%d{$}%s{$}%s{$}1" % (len(package), name, kind)) + package, split=split)
        return p

    def test_info_zip_packages_are_unpacked_and_never_overwrite(self):
        first = {"one.txt": b"first\n" * 3000, "two.bin": os.urandom(40000)}
        package = self.info_zip("pkg.zip", first)
        p = self.offer("Zed", "pkg.zip", package, split=[10, 60, 3000])
        p.expect(1024)
        p.expect_close()
        self.assertEqual(tree(self.b_home.file("Files", "Zed")), first)

        # The same names again: nothing may be replaced, so nothing is unpacked;
        # the package was read all the same, so the sender hears 1024 and the
        # package stays beside the files.
        package = self.info_zip("pkg2.zip", {"one.txt": b"second", "two.bin": b"second"})
        p = self.offer("Zed", "pkg.zip", package)
        p.expect(1024)
        p.expect_close()
        self.b.wait_trace("transfer received binary 0")
        self.assertEqual(tree(self.b_home.file("Files", "Zed")), dict(first, **{"pkg.zip": package}))

        # A file the user keeps beside one whose bytes are damaged: that is no
        # package read well, so no 1024. Nothing came out of it, so like an
        # unreadable one it is kept in the sender's folder for the user to look at.
        out = io.BytesIO()
        with zipfile.ZipFile(out, "w", zipfile.ZIP_STORED) as z:
            z.writestr("one.txt", b"third")
            z.writestr("three.txt", b"damaged on the way " * 50)
        damaged = out.getvalue().replace(b"on the way", b"ON the way", 1)
        mark = len(self.b.lines)
        p = self.offer("Zed", "bad.zip", damaged)
        p.expect_close()
        _, line = self.b.wait_trace(lambda l: l.startswith(("transfer received", "transfer failed in")), since=mark)
        self.assertTrue(line.startswith("transfer failed in: Transfer failed"), line)
        self.assertEqual(tree(self.b_home.file("Files", "Zed")),
                         dict(first, **{"pkg.zip": package, "bad.zip": damaged}))

        # A sound made by the same tool; bytes past the announced size are no
        # part of the package.
        sound = wave_bytes(0.1)
        package = self.info_zip("snd.zip", {"ring.wav": sound})
        p = self.offer("Zed", "snd.zip", package + b"\0\0\0", kind="sound")
        p.expect(1024)
        self.assertEqual(tree(self.b_home.file("Sounds", "Zed")), {"ring.wav": sound})
        self.assertEqual(tree(self.b_home.file("TmpFiles")), {})


class HostileOffers(TransferCase):
    """Offers that lie, start early, stop short or aim outside the folder:
    nothing outside the sender's folder changes and no partial file stays."""

    def setUp(self):
        super().setUp()
        self.b_home = self.home(OTHER_UID, OTHER_PASSWORD, "Bea Jones")
        self.b = self.start(self.b_home, PARLO_TEST_TRANSFER_ACCEPT="yes", PARLO_TEST_TRANSFER_ACCEPT_MS="300",
                            PARLO_TEST_TRANSFER_OVERWRITE="yes")
        self.outside = tempfile.mkdtemp(prefix="parlo-outside-")
        self.addCleanup(subprocess.run, ["rm", "-rf", self.outside])
        with open(os.path.join(self.outside, "victim.txt"), "wb") as f:
            f.write(b"keep me")

    def zipped(self, entries):
        out = io.BytesIO()
        with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
            for name, data in entries.items():
                z.writestr(name, data)
        return out.getvalue()

    def connect(self):
        p = Peer("127.0.0.1", self.port(self.b_home), timeout=10)
        p.expect(1000)
        return p

    def test_refused_offers_get_1022_at_once(self):
        for size, kind in (("0", "binary"), ("abc", "binary"), ("-5", "image"), ("4294967296", "sound"),
                           ("99999999999999999999999", "binary"), ("10", "exe"), ("", "binary")):
            with self.subTest(size=size, kind=kind):
                p = self.connect()
                p.send(1020, "Mal{$}x.zip{$}%s{$}%s{$}" % (size, kind))
                p.expect(1022)
                p.expect_close()
        self.assertEqual(tree(self.b_home.file("Files")), {})

    def test_hostile_transfers_change_nothing_outside(self):
        good = self.zipped({"fine.txt": b"fine"})
        dot = self.zipped({"dot.txt": b"dot"})
        escape = self.zipped({"../../../escape1.txt": b"x", "..\\..\\escape2.txt": b"x",
                              os.path.join(self.outside, "escape3.txt"): b"x", "victim.txt": b"replaced"})
        os.makedirs(self.b_home.file("Files", "Mal"))
        os.symlink(os.path.join(self.outside, "victim.txt"), self.b_home.file("Files", "Mal", "victim.txt"))
        os.symlink(self.outside, self.b_home.file("Files", "Linked"))
        controls = self.zipped({"a\nb\u202egpj.exe": b"x", "c\r\u2066d.txt": b"y"})
        home_before = tree(self.b_home.path)
        sent = lambda n, name, k="binary": frame_bytes(1023, "%d{$}%s{$}%s{$}1" % (n, name, k))  # noqa: E731
        junk = os.urandom(4000)
        # (sender, offered name, offered size, what the peer sends after 1021
        # (all at once with the offer when it starts early), whether it then
        # hangs up, whether 1024 comes, and the files expected per folder).
        cases = [
            ("Mal", "x.zip", len(escape), sent(len(escape), "x.zip") + escape, False, False, True,
             {"Mal": {"victim.txt": b"replaced", "escape1.txt": b"x", "escape2.txt": b"x", "escape3.txt": b"x"}}),
            ("../../..", "../y.zip", len(good), sent(len(good), "../y.zip") + good, False, False, True,
             {".._.._..": {"fine.txt": b"fine"}}),
            # Senders named like the folder itself or its parent get a folder of their own.
            ("..", "p.zip", len(good), sent(len(good), "p.zip") + good, False, False, True, {"_": {"fine.txt": b"fine"}}),
            (".", "d.zip", len(dot), sent(len(dot), "d.zip") + dot, False, False, True, {"_": {"dot.txt": b"dot"}}),
            ("Linked", "l.zip", len(good), sent(len(good), "l.zip") + good, False, False, False, {}),
            ("Liar", "s.zip", len(good), sent(len(good) + 1, "s.zip") + good, False, False, False, {}),
            ("Liar", "s.zip", len(good), sent(len(good), "t.zip") + good, False, False, False, {}),
            ("Liar", "s.zip", len(good), sent(len(good), "s.zip", "image") + good, False, False, False, {}),
            ("Early", "e.zip", len(good), sent(len(good), "e.zip") + good, True, False, False, {}),
            ("Short", "c.zip", len(good), sent(len(good), "c.zip") + good[:len(good) // 2], False, True, False, {}),
            ("Gone", "g.zip", len(good), b"", False, True, False, {}),
            # Line breaks and the right-to-left override in a sender's or an
            # entry's name: every control character is made '_'.
            ("Ctl\tName\x1b", "n.zip", len(controls), sent(len(controls), "n.zip") + controls, False, False, True,
             {"Ctl_Name_": {"a_b_gpj.exe": b"x", "c__d.txt": b"y"}}),
            # A package nothing can be read from is kept for the user, unacknowledged.
            ("Junk", "j.zip", 4000, sent(4000, "j.zip") + junk, False, False, False, {"Junk": {"j.zip": junk}}),
        ]
        expected_files = {}
        for sender, name, size, after, early, hang_up, acked, files in cases:
            with self.subTest(sender=sender, name=name):
                mark = len(self.b.lines)
                p = self.connect()
                offer = frame_bytes(1020, "%s{$}%s{$}%d{$}binary{$}" % (sender, name, size))
                if early:
                    p.send_raw(offer + after)
                else:
                    p.send_raw(offer)
                    p.expect(1021)
                    p.send_raw(after)
                if acked:
                    p.expect(1024)
                if hang_up:
                    p.close()
                else:
                    p.expect_close()
                    p.close()
                self.b.wait_trace(lambda l: l.startswith("transfer received" if acked else "transfer failed in"),
                                  since=mark)
                for folder, content in files.items():
                    expected_files.update({os.path.join("Files", folder, n): d for n, d in content.items()})
                self.assertEqual(tree(self.b_home.file("TmpFiles")), {})

        after = tree(self.b_home.path)
        changed = {k for k in after if after[k] != home_before.get(k, "new") and not k.startswith("Data")
                   and k != "errorlog.txt" and k != "settings.txt"}
        self.assertEqual(changed, set(expected_files))
        for k, data in expected_files.items():
            self.assertEqual(after[k], data, k)
        self.assertEqual(tree(self.outside), {"victim.txt": b"keep me"})
        self.assertFalse([n for n in os.listdir(os.path.dirname(self.b_home.path)) if n.startswith("escape")])
        self.stop(self.b)


class UnansweredOffers(TransferCase):
    """A caller who offers faster than anyone answers: each offer would be a
    window and a connection. Past a few from one address that wait on the
    user, the next is rejected at once; an offer whose sender has hung up
    stays on screen until answered, or until a newcomer needs its place (the
    oldest goes); another address is not held back."""

    def test_offers_waiting_on_the_user_are_capped_per_address(self):
        home = self.home(OTHER_UID, OTHER_PASSWORD, "Bea Jones")
        b = self.start(home)  # nobody answers an offer
        port = self.port(home)

        def offer(name, source="127.0.0.1"):
            p = Peer("127.0.0.1", port, timeout=10, connect=False)
            p.sock = socket.create_connection(("127.0.0.1", port), timeout=10, source_address=(source, 0))
            p.expect(1000)
            p.send(1020, "Mal{$}%s{$}10{$}binary{$}" % name)
            return p

        waiting = []
        for i in range(8):
            mark = len(b.lines)
            waiting.append(offer("w%d.zip" % i))
            b.wait_trace("transfer offer binary w%d.zip" % i, since=mark)
        # Offers whose senders hung up give their places to newcomers.
        for p in waiting[:4]:
            mark = len(b.lines)
            p.close()
            b.wait_trace(lambda line: line.startswith("transfer failed in:"), since=mark)
        for i in range(4):
            mark = len(b.lines)
            waiting.append(offer("late%d.zip" % i))
            b.wait_trace("transfer offer binary late%d.zip" % i, since=mark)
        # Every place now held by a sender still there.
        for i in range(30):
            p = offer("flood%d.zip" % i)
            p.expect(1022)
            p.expect_close()
            p.close()
        mark = len(b.lines)
        other = offer("other.zip", source="127.0.0.2")
        b.wait_trace("transfer offer binary other.zip", since=mark)
        self.assertFalse([l for _, l in b.lines if l.startswith("transfer offer binary flood")])
        other.close()
        for p in waiting:
            p.close()
        self.stop(b)


if __name__ == "__main__":
    unittest.main()
