"""The real program under a hostile directory server and hostile callers.

Each attack is a row. While it runs, an ordinary caller keeps knocking at the
peer listener and must be greeted each time, the program's thread held for
less than a second before it greets (SLOWDOWN); after it, the
directory link answers 9028, the program's descriptors come back to their
level, its memory stays bounded, and the stored settings and friends are as
they were. Each class is one CTest entry, so the two run side by side.
"""

import os
import re
import shutil
import socket
import stat
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "conversations"))
import parlo_e2e as e2e  # noqa: E402
import directory_server  # noqa: E402
from PrivateChat_test import write_profile  # noqa: E402

UID, PASSWORD = "12345678", "secret1"
# A friend the server has no account for: its own refreshes never list it,
# so only the attacks below speak of it. It calls from the address stored for
# it; a caller elsewhere claiming its id is a stranger.
FRIEND = ["55500001", "Bea", "127.0.0.20", "2961"]
FRIEND_RECORD = "{$}".join([FRIEND[0], FRIEND[1], "1", "0", FRIEND[2], FRIEND[3]])
CALLER_RECORD = "87654321||Caller||Ann||Lee||30||F||Nowhere||||||||||||||hi||hello||||"
HOSTILE_PEER = os.path.join(e2e.SOURCE_DIR, "tests", "support", "hostile_peer.py")
UNDER_ASAN = "ASAN_OPTIONS" in os.environ
# Memory the program may keep after an attack (lists, caches, the allocator's
# spare room; the sanitizers' allocator keeps more); unbounded, the attacks
# below grew it by hundreds of megabytes.
MEMORY_SLACK_KB = (192 if UNDER_ASAN else 96) * 1024
# What an attack may add at its peak.
PEAK_SLACK_KB = 256 * 1024
# The time bounds below are the normal build's, times this. The same work
# holds the sanitizers' build's thread about 3.5 times as long: on the rows
# that hold it longest (friends lists of 100,000 users, a registration answer
# out of turn), 0.08 to 0.20 s in the normal build and 0.38 to 0.68 s in the
# sanitizers'.
SLOWDOWN = 3.5 if UNDER_ASAN else 1.0
# Holds shorter than this are not traced by the program: well below every
# bound, and the tests only need the long ones.
HOLD_TRACE_MS = 20
# The programs running, by process id, so that a probe given a process finds
# the holds it traces.
PROGRAMS = {}
# Set to a file's name, each row appends what it measured there (the figures
# for comparing runs on a quiet and a busy machine).
FIGURES = os.environ.get("PARLO_HOLD_FIGURES")


def greeted(port, source="127.0.0.1", timeout=10.0):
    """A fresh caller hears the listener's 1000 (is not turned away)."""
    try:
        with socket.socket() as s:
            s.settimeout(timeout)
            s.bind((source, 0))
            s.connect(("127.0.0.1", port))
            data = b""
            while not data.endswith(b"\r\n"):
                chunk = s.recv(64)
                if not chunk:
                    return False
                data += chunk
            return data == b"  1000<>\r\n"
    except OSError:
        return False


class Prober(threading.Thread):
    """An ordinary caller knocking every 100 ms (or `pause` seconds) while an
    attack runs; each must be greeted. How long the program held its thread
    meanwhile is what the program itself measured (its trace "held <ms>": a
    tick of its event loop that came late, less the time its thread stood
    ready while other processes had the processors), so that a busy machine,
    which makes every caller wait longer, does not count as the program's
    doing, while the program's own work, blocking calls and queues do. The
    waits the caller saw are kept too, for the figures. It notes the
    program's memory and the most socket descriptors it held."""

    def __init__(self, port, pid, pause=0.1):
        super().__init__(daemon=True)
        self.port, self.pid, self.pause = port, pid, pause
        self.times, self.holds, self.peak, self.most = [], [], 0, 0
        self.program = PROGRAMS[pid]
        self.mark = len(self.program.lines)
        self.done = threading.Event()

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.finish()

    def run(self):
        while not self.done.is_set():
            started = time.monotonic()
            ok = greeted(self.port)
            self.times.append(time.monotonic() - started if ok else None)
            try:
                self.peak = max(self.peak, resident_kb(self.pid))
                self.most = max(self.most, descriptors(self.pid))
            except OSError:
                break  # the program has ended: the greeting says so
            self.done.wait(self.pause)

    def finish(self):
        self.done.set()
        self.join()
        # A hold that ended as the probe did is traced at the next tick.
        time.sleep(0.05)
        self.holds = [int(line.split()[1]) / 1000 for _, line in self.program.lines[self.mark:]
                      if line.startswith("held ")]
        return self.times

    def longest(self):
        """The longest hold of the program's thread while the probe ran, in seconds."""
        return max(self.holds, default=0.0)

    def slowest(self):
        """The longest wait of a greeted caller, in seconds, as the caller saw it."""
        return max((t for t in self.times if t is not None), default=0.0)

    def late(self, bound=0.1 * SLOWDOWN):
        """The holds longer than `bound` seconds (the normal build's 0.1, as
        every time bound here, times the sanitizers' slowdown), and None for
        each caller not greeted."""
        return [t for t in self.holds if t > bound] + [None for t in self.times if t is None]


def stall_probe(port, pid):
    """A caller every 20 ms: the program's thread counts as held when a tick
    of its loop comes more than 100 ms late (times SLOWDOWN)."""
    return Prober(port, pid, pause=0.02)


def note_figures(row, probe):
    if FIGURES:
        with open(FIGURES, "a") as f:
            f.write("%s\t%s\tslowest greeting %.3f\tlongest hold %.3f\t%s\n"
                    % (row, "asan" if UNDER_ASAN else "normal", probe.slowest(), probe.longest(), e2e.machine_load()))


def thread_cpu_seconds(pid):
    """Seconds the program's main thread (where every link is served) has run
    on a processor, as the kernel counts them."""
    with open("/proc/%d/task/%d/schedstat" % (pid, pid)) as f:
        return int(f.read().split()[0]) / 1e9


def descriptors(pid):
    """The program's socket descriptors: what callers and servers can make it
    hold (its worker threads' own descriptors come and go by themselves)."""
    count = 0
    for fd in os.listdir("/proc/%d/fd" % pid):
        try:
            count += os.readlink("/proc/%d/fd/%s" % (pid, fd)).startswith("socket:")
        except OSError:
            pass  # closed meanwhile
    return count


def resident_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def logged(*patterns):
    """A check that the attack's log entries match each regular expression."""
    def check(case, log):
        for pattern in patterns:
            case.assertRegex(log, pattern)
    return check


def wait_until(predicate, timeout):
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


class AttackCase(unittest.TestCase):
    """A server process with one account, and the program logged on and
    listening, with the usual 1,024 descriptors."""

    # What a class's attacks need beyond the usual settings, environment and friends.
    SETTINGS = {}
    ENV = {}
    FRIENDS = [FRIEND]
    # Memory the program may keep after an attack, where the attack leaves
    # windows open with what they may hold.
    KEPT_SLACK_KB = MEMORY_SLACK_KB

    def setUp(self):
        self.server = e2e.start_server()
        self.server.add_account(PASSWORD, UID)
        self.port = e2e.free_port()
        values = e2e.base_settings(self.server, UID, PASSWORD, AutoListen=True, ListenPort=str(self.port),
                                   **{"BusyTimer": 1, **self.SETTINGS})
        self.home = e2e.Home(values, self.FRIENDS)
        self.prepare_home()
        if "CurrentProfile" in self.SETTINGS:
            write_profile(self.home, "Bea", "")
        env = {"PARLO_TEST_ALIVE_MS": "500", "PARLO_TEST_PEER_IDLE_MS": "1000",
               "PARLO_TEST_HOLD_MS": str(HOLD_TRACE_MS), **self.ENV}
        if UNDER_ASAN:
            # Freed memory must be given back, as the normal build gives it.
            env["ASAN_OPTIONS"] = os.environ["ASAN_OPTIONS"] + ":quarantine_size_mb=8"
        self.program = e2e.Parlo(self.home, env, descriptors=1024)
        self.program.wait_trace("listening")
        self.server.wait_frame(9013, "in", UID, timeout=10)
        self.pid = self.program.proc.pid
        PROGRAMS[self.pid] = self.program
        self.addCleanup(PROGRAMS.pop, self.pid, None)
        time.sleep(0.5)
        self.fds = descriptors(self.pid)
        self.memory = resident_kb(self.pid)
        self.stored = self.snapshot()

    def tearDown(self):
        if self.program.proc.poll() is None:
            self.program.proc.kill()
            self.program.proc.wait()
        e2e.stop_server(self.server)
        self.home.remove()

    def prepare_home(self):
        """What a class's attacks need in the home before the program starts."""

    def snapshot(self):
        return {name: self.home.read(*name) for name in (("settings.txt",), ("Data", "friends.cds"))}

    def log(self):
        try:
            with open(self.home.file("errorlog.txt"), encoding="latin-1", newline="") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def link_answers(self):
        """The directory link answers 9028 within a second, after a reconnect
        where the attack ended the link."""
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            since = len(self.server.frames())
            try:
                self.server.send(UID, 9028)
                self.server.wait_frame(9027, "in", UID, since=since, timeout=1)
                return True
            except (KeyError, TimeoutError, ConnectionError):
                time.sleep(0.1)  # not (or no longer) logged on, or the link just ended
        return False

    def traced(self, text, since):
        return sum(1 for _, line in self.program.lines[since:] if line == text)

    def run_rows(self, rows):
        for name, attack, check in rows:
            with self.subTest(attack=name):
                log_before = len(self.log())
                prober = Prober(self.port, self.pid)
                prober.start()
                attack()
                times = prober.finish()
                note_figures(name, prober)
                self.assertNotIn(None, times, "an ordinary caller was not greeted")
                self.assertLess(prober.longest(), 1.0 * SLOWDOWN, "the program held its thread (s)")
                self.assertLess(prober.peak - self.memory, PEAK_SLACK_KB, "memory at the attack's peak")
                self.assertIsNone(self.program.proc.poll(), "the program ended")
                self.assertTrue(self.link_answers(), "the directory link does not answer")
                self.assertTrue(wait_until(lambda: descriptors(self.pid) <= self.fds + 2, 15),
                                "descriptors %d, at the start %d" % (descriptors(self.pid), self.fds))
                self.assertLess(resident_kb(self.pid) - self.memory, self.KEPT_SLACK_KB)
                self.assertEqual(self.snapshot(), self.stored)
                if check:
                    check(self, self.log()[log_before:])
        self.assertEqual(self.program.stop(), 0)


class HostileServer(AttackCase):
    def test_attacks(self):
        s = self.server
        listing = "  9010<" + "||".join("%08d{$}U%d{$}1{$}0{$}10.0.0.9{$}2960" % (30000000 + i, i)
                                       for i in range(20)) + ">\r\n"
        # Short records: five frames of 2.9 MB each hold half a million users.
        users = ["%08d{$}u{$}1{$}0{$}{$}1" % (40000000 + i) for i in range(500000)]

        def friends_without_end():
            for n in range(5):
                s.send(UID, 9032, "||".join(users[n * 100000:(n + 1) * 100000]))
            self.assertTrue(wait_until(lambda: "list ListF 10000" in [l for _, l in self.program.lines[-50:]], 30))

        def never_reading():
            s.pause_reading(UID)
            s.flood(UID, ["  9004<>\r\n" * 100], 4)

        def registration_out_of_turn():
            for params in ("99999999,stolen", ""):
                self.assertTrue(self.link_answers())
                since = len(s.frames())
                s.send(UID, 9002, params)
                # Only the answer to the program's own 9001 may set the account:
                # this one ends the link, and the program logs on again as it was.
                self.assertEqual(s.wait_frame(9003, "in", since=since)["params"], [UID, PASSWORD])

        parser_entry = r"IP:  - Port: \r\nError Message: "
        rows = [
            # (name, attack, check of what it logged)
            ("listings without a pause", lambda: s.flood(UID, [listing], 2), None),
            ("answers never read", never_reading,
             logged(r"Send queue to 127\.0\.0\.1:%d passed its bound of 8388608 bytes" % s.port)),
            ("twenty thousand copies of a friend", lambda: s.send(UID, 9032, "||".join([FRIEND_RECORD] * 20000)),
             None),
            ("friends without end", friends_without_end,
             logged(r"10000 users; 90001 more listed by the server were left out",
                    r"10000 users; 100000 more listed")),
            ("registration out of turn", registration_out_of_turn, None),
            ("control bytes in a frame", lambda: s.inject(UID, ["  x\x1b[2J\n2001-01-01 00:00:00 Build: forged\r\n"]),
             logged(parser_entry + re.escape(r"Extracting Command: x\x1B[2J\x0A2001-01-01 00:00:00 Build: forged")
                    + "\r\n")),
        ]
        self.run_rows(rows)


class HostileCallers(AttackCase):
    def hostile(self, *args, source="127.0.0.2", seconds=30):
        """One attacker process, which must have ended well; returns the
        numbers of its report (what it did and met), in order."""
        out = subprocess.run([sys.executable, HOSTILE_PEER, args[0], str(self.port), *args[1:], "--from", source],
                             input=b"", stdout=subprocess.PIPE, timeout=seconds)
        report = out.stdout.decode()
        self.assertEqual(out.returncode, 0, report)
        return [int(n) for n in re.findall(r"\b\d+\b", report.splitlines()[0])] if report else []

    def test_attacks(self):
        def flood():
            sent, = self.hostile("flood", "2", "--first", "  1001<%s>\\r\\n" % CALLER_RECORD)
            self.assertGreater(sent, 10000)

        def hold():
            held, greeted, reset = self.hostile("hold", "1000", "--send", "  1020<offer>\\r\\n")
            self.assertEqual((held, greeted + reset), (1000, 1000))
            self.assertGreater(greeted, 0)

        def crowd():
            opened, ended = self.hostile("crowd", "80", "3", source="127.0.0.4")
            # Turned away beyond the cap, and straight back each time.
            self.assertGreater(ended, 80)
            self.assertLessEqual(opened - ended, 80)

        def say():
            # Greeted (10 bytes), then let go without an answer.
            self.assertEqual(self.hostile("say", "x\\n2001-01-01 00:00:00 Build: forged\\r\\n", source="127.0.0.3"),
                             [10])

        rows = [
            # A request dialog reads and drops what follows; it answers busy after a second.
            ("a request, then lines without a pause", flood, None),
            # Offers nothing takes yet: each is answered with a close that waits for the caller's.
            ("a thousand turned-away callers who never hang up", hold, None),
            ("silent callers who come straight back", crowd,
             lambda case, log: case.assertEqual(log.count("Too many waiting connections from one address"), 1)),
            ("a first line that writes log entries", say,
             logged(r"IP:  - Port: \r\nError Message: " +
                    re.escape(r"Extracting Command: x\x0A2001-01-01 00:00:00 Build: forged") + "\r\n")),
        ]
        self.run_rows(rows)
        self.assertNotIn("Server Error", self.log())


class HostileRequests(AttackCase):
    """Requests that open a window each without a question: chats accepted by
    themselves and room invitations. Past a few from one address that wait on
    the user, the next is refused at once (a chat with 1005, an invitation,
    which has no answer, by its link's end); another address is not held back."""

    SETTINGS = {"AutoPChat": True, "ChatYes": True, "CurrentProfile": "Main"}

    def ask(self, frame, count, source):
        out = subprocess.run([sys.executable, HOSTILE_PEER, "ask", str(self.port), str(count), frame, "--from", source],
                             input=b"", stdout=subprocess.PIPE, timeout=60)
        return out.stdout.decode().splitlines()[0]

    def test_requests_waiting_on_the_user_are_capped_per_address(self):
        rows = [
            # (name, frame, what 40 callers from one address met, what one more from another met,
            #  trace of a window shown, trace of a refusal, log entry of a refusal)
            ("chats accepted by themselves", "  1001<%s>\\r\\n" % CALLER_RECORD,
             "ASKED 40 WAITING 8 ANSWERED 32 ENDED 0 CODES " + ",".join(["1002"] * 8 + ["1005"] * 32),
             "ASKED 1 WAITING 1 ANSWERED 0 ENDED 0 CODES 1002",
             "pchat authorized", "private chat refused", "Incoming private chat refused: too many"),
            ("room invitations", "  2020<Mal{$}127.0.0.1{$}4001{$}Lobby>\\r\\n",
             "ASKED 40 WAITING 0 ANSWERED 0 ENDED 40 CODES -", "ASKED 1 WAITING 0 ANSWERED 0 ENDED 1 CODES -",
             "room invitation from Mal", "room invitation refused", "Incoming multi chat request refused: too many"),
        ]

        def attack(frame, flood, other, shown, refused):
            def run():
                mark = len(self.program.lines)
                self.assertEqual(self.ask(frame, 40, "127.0.0.2"), flood)
                self.assertEqual(self.ask(frame, 1, "127.0.0.3"), other)
                self.assertTrue(wait_until(lambda: self.traced(shown, mark) == 9, 5))
                self.assertEqual(self.traced(refused, mark), 32)
            return run

        self.run_rows([(name, attack(frame, flood, other, shown, refused),
                        lambda case, log, entry=entry: case.assertEqual(log.count(entry), 32))
                       for name, frame, flood, other, shown, refused, entry in rows])


class Strangers(AttackCase):
    """Strangers from many addresses at once: past a few places of their own,
    requests that wait on the user are refused at once, the waiting ones
    answer by themselves, and what they show or send is kept to its bounds."""

    SETTINGS = {"AutoPChat": True, "AutoPChatOnly": True, "ChatYes": True, "CurrentProfile": "Main",
                "BusyTimer": 5}
    ENV = {"PARLO_SYNTHETIC_CAMERA": "1", "PARLO_TEST_CAM_BROADCAST": "1", "PARLO_TEST_CAM_QUESTION_MS": "4000",
           "PARLO_TEST_ROOM_HOST": "Lobby"}
    # A friend's record, from the friend's address: accepted without a question.
    FRIEND_CALLER = CALLER_RECORD.replace("87654321", FRIEND[0])

    def setUp(self):
        self.SETTINGS = dict(self.SETTINGS, ChatPort=str(e2e.free_port()))
        super().setUp()
        self.program.wait_trace("cam broadcaster open")
        self.program.wait_trace("room hosting")

    def attacker(self, *args, spread=1, later=None, port=None, source="127.0.0.2"):
        """Runs the attacker from `source` on; what it printed, once it exited with 0."""
        extra = ["--spread", str(spread)] + (["--later", str(later)] if later else [])
        out = subprocess.run([sys.executable, HOSTILE_PEER, args[0], str(port or self.port), *args[1:],
                              "--from", source, *extra], input=b"", stdout=subprocess.PIPE, timeout=100)
        self.assertEqual(out.returncode, 0)
        return [line for line in out.stdout.decode().splitlines() if line != "DONE"]

    def asked(self, frame, count, spread, waiting, refusal, later):
        """Past the few that wait, every request hears `refusal` at once; the
        waiting ones hear it too once their time is out."""
        def run():
            out = self.attacker("ask", str(count), frame, spread=spread, later=later)
            answered = count - waiting
            self.assertEqual(out, ["ASKED %d WAITING %d ANSWERED %d ENDED 0 CODES %s"
                                   % (count, waiting, answered, ",".join([refusal] * answered)),
                                   "LATER %d CODES %s" % (waiting, ",".join([refusal] * waiting))])
        return run


class HostileQuestions(Strangers):
    def test_questions(self):
        self.run_rows([
            # (name, attack, check of what it logged)
            ("cam offers with long names from two addresses",
             self.asked("  1037<%s{$}2960>\\r\\n" % ("W" * 65400), 16, 2, 2, "1032", later=6), None),
            ("cam view requests from eight addresses",
             self.asked("  1030<70000001{$}Vic{$}127.0.0.1{$}2960>\\r\\n", 64, 8, 4, "1032", later=6), None),
            ("chat requests from fifty addresses",
             self.asked("  1001<%s>\\r\\n" % CALLER_RECORD, 300, 50, 8, "1004", later=7),
             logged("Incoming private chat answered busy: too many requests wait")),
        ])


class HostileChats(Strangers):
    # Strangers' chats are accepted without a question too.
    SETTINGS = dict(Strangers.SETTINGS, AutoPChatOnly=False)

    def setUp(self):
        # "Save Chat?" on closing is answered with this file.
        self.saved = os.path.join(tempfile.mkdtemp(prefix="parlo-saved-"), "chat.txt")
        self.addCleanup(shutil.rmtree, os.path.dirname(self.saved))
        self.ENV = dict(self.ENV, PARLO_TEST_PCHAT_SAVE=self.saved)
        super().setUp()

    def test_chats(self):
        def flood():
            mark = len(self.program.lines)
            # Then lines of one word as long as the chat takes: each laid out
            # (and what the bound keeps laid out anew) in time linear in its length.
            self.assertEqual(self.attacker("chat", self.FRIEND_CALLER, "20000", "1000", "--long", "40:60000",
                                           source=FRIEND[2]), ["ACCEPTED 1 SENT 20040"])
            self.assertTrue(wait_until(lambda: self.traced("pchat text: end of flood", mark) == 1, 60))

        def chats_and_invitations():
            mark = len(self.program.lines)
            # The flood's chat, a friend's, is counted apart: sixteen strangers' chats wait.
            self.assertEqual(self.attacker("ask", "300", "  1001<%s>\\r\\n" % CALLER_RECORD, spread=50)[0],
                             "ASKED 300 WAITING 16 ANSWERED 284 ENDED 0 CODES "
                             + ",".join(["1002"] * 16 + ["1005"] * 284))
            self.assertEqual(self.attacker("ask", "300", "  2020<Mal{$}127.0.0.1{$}4001{$}Lobby>\\r\\n", spread=50)[0],
                             "ASKED 300 WAITING 0 ANSWERED 0 ENDED 300 CODES -")
            self.assertEqual((self.traced("room invitation from Mal", mark), self.traced("room invitation refused", mark)),
                             (16, 284))

        self.run_rows([
            # (name, attack, check of what it logged)
            ("a chat that never stops talking, in short lines and long ones", flood, None),
            ("chats and invitations from fifty addresses", chats_and_invitations,
             logged("Incoming private chat refused: too many wait", "Incoming multi chat request refused: too many wait")),
        ])
        # What the flood's window kept, and saved as it closed: the newest
        # messages whole under one line that says how many went.
        with open(self.saved, "rb") as f:
            kept = f.read().split(b"\n")
        self.assertRegex(kept[0], rb"^\[20\d{3} earlier messages are no longer shown here\]$")
        self.assertEqual(kept[-5:], [b"000039" + b"y" * 59994, kept[-4], b"end of flood", b"", b""])


class HostileRoom(Strangers):
    def test_room(self):
        port = int(self.SETTINGS["ChatPort"])

        def silent():
            # Eight from each of 125 addresses, each back a second after the room lets it go.
            with stall_probe(self.port, self.pid) as probe:
                out = self.attacker("idle", "1000", "8", spread=125, port=port)[0]
            self.assertEqual(probe.late(), [])
            self.assertLessEqual(probe.most, self.fds + 256 + 8, "the room's share of the descriptors")
            self.assertGreaterEqual(int(re.findall(r"\d+", out)[1]), 1000 - 256)

        def impostors():
            # The host is UID, named as the profile names it.
            with stall_probe(self.port, self.pid) as probe:
                out = self.attacker("room-impostor", UID, "Bea", "30", port=port)[0]
            self.assertEqual(probe.late(), [])
            self.assertRegex(out, r"^MEMBER 30/30 APART 10/10 LEFT ok LIST ok BACK 3/3 SLOWEST \d+$")
            self.assertLess(int(out.split()[-1]), 1000 * SLOWDOWN, "ms from a return to its greeting")

        self.run_rows([
            # (name, attack, check of what it logged)
            # Fifty silent members from one address, two talkers from another.
            ("room members who never read", lambda: self.assertRegex(
                self.attacker("room", "50", "2", "8000", "500", port=port)[0],
                r"^JOINED 8 TURNED 42 SENT 16000 DROPPED [1-8]$"), logged("the member furthest behind was dropped")),
            ("a thousand silent connections to the room port", silent, None),
            ("strangers logging on first as a member, or as the host, and a member back over a dead link",
             impostors, None),
        ])


class HostileRoomHost(Strangers):
    """The program as a member of a room whose host lists members without end."""

    ENV = dict(Strangers.ENV, PARLO_TEST_ROOM_ACCEPT="1")

    def hosted(self, *args):
        def run():
            mark = len(self.program.lines)
            with stall_probe(self.port, self.pid) as probe:
                self.assertEqual(self.attacker("room-host", *args), ["JOINED 1 SENT " + args[0]])
                self.assertTrue(wait_until(lambda: self.traced("room text: Host: end of rows", mark) == 1, 60))
            self.assertEqual(probe.late(), [])
        return run

    def test_hosts(self):
        bound = logged("Room list of more than 257 members or 4194304 bytes; the rest are not listed")
        self.run_rows([
            # (name, attack, check of what it logged)
            ("joins of members named with 30,000 bytes", self.hosted("2000", "30000"), bound),
            ("joins of members named with 40 bytes", self.hosted("60000", "40"), bound),
            ("whole lists of 2,200 members", self.hosted("200", "0", "--lists"), bound),
        ])


class StrangersAtTheDoor(AttackCase):
    """Callers who hold places without a word, or leave requests behind them,
    and friends among strangers. The attackers come from 127.0.0.2 on."""

    CHAT = "  1001<%s>\\r\\n" % CALLER_RECORD
    FRIEND_CHAT = "  1001<%s>\\r\\n" % CALLER_RECORD.replace("87654321", FRIEND[0])
    OFFER = "  1020<Mal{$}w.zip{$}10{$}binary{$}>\\r\\n"

    def command(self, mode, *args, source):
        return [sys.executable, HOSTILE_PEER, mode, str(self.port), *args, "--from", source]

    def peer(self, mode, *args, source="127.0.0.2"):
        """What an attacker that has ended well said first."""
        out = subprocess.run(self.command(mode, *args, source=source), input=b"", stdout=subprocess.PIPE, timeout=60)
        self.assertEqual(out.returncode, 0)
        return out.stdout.decode().splitlines()[0]

    def holding(self, mode, *args, source="127.0.0.2"):
        """An attacker that holds what it got until the block ends; what it said first."""
        test = self

        class Held:
            def __enter__(self):
                self.proc = subprocess.Popen(test.command(mode, *args, source=source), stdin=subprocess.PIPE,
                                             stdout=subprocess.PIPE)
                return self.proc.stdout.readline().decode().strip()

            def __exit__(self, *exc):
                self.proc.stdin.close()
                test.assertEqual(self.proc.wait(30), 0)
                self.proc.stdout.close()
        return Held()

    def served(self, frame, answer, source="127.0.0.20"):
        """One ordinary request from another address meets `answer` within a
        few seconds (a place is given back once the program has seen its
        holder go)."""
        deadline = time.monotonic() + 3
        while (heard := self.peer("ask", "1", frame, source=source)) != answer and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertEqual(heard, answer)

    @staticmethod
    def answered(count, codes):
        return "ASKED %d WAITING 0 ANSWERED %d ENDED 0 CODES %s" % (count, count, codes)

    @staticmethod
    def waiting(count, codes):
        return "ASKED %d WAITING %d ANSWERED 0 ENDED 0 CODES %s" % (count, count, codes)


class IdleCallers(StrangersAtTheDoor):
    def test_idle_callers(self):
        def idle(count, spread, *extra):
            opened, ended = map(int, re.findall(r"\d+", self.peer("idle", str(count), "4", "--spread", str(spread),
                                                                    *extra)))
            self.assertGreaterEqual(opened, count)
            return ended

        self.run_rows([
            # (name, attack, check of what it logged)
            ("silent callers from eight addresses, back at once", lambda: self.assertGreater(
                idle(64, 8, "--again", "0.5"), 0), logged("Too many waiting connections; the longest waiting")),
            # Past the places, each newcomer lets an older caller go.
            ("callers from fifty addresses trickling lines that never end", lambda: self.assertGreaterEqual(
                idle(200, 50, "--trickle", "0.2"), 200 - 64), logged("Too many waiting connections; the longest")),
        ])


class DeadRequests(StrangersAtTheDoor):
    SETTINGS = {"AutoPChat": True, "ChatYes": True, "CurrentProfile": "Main"}

    def test_dead_requests_and_friends(self):
        def friends():
            with self.holding("ask", "16", self.CHAT, "--spread", "2") as strangers:
                self.assertEqual(strangers, self.waiting(16, ",".join(["1002"] * 16)))
                self.assertEqual(self.peer("ask", "1", self.CHAT, source="127.0.0.20"), self.answered(1, "1005"))
                self.assertEqual(self.peer("ask", "1", self.FRIEND_CHAT, source=FRIEND[2]), self.waiting(1, "1002"))
                # A record can claim any user id: from elsewhere, it is a stranger's.
                self.assertEqual(self.peer("ask", "10", self.FRIEND_CHAT, source="127.0.0.21"),
                                 self.answered(10, ",".join(["1005"] * 10)))

        def chats():
            # Their callers gone, the chats stay open as transcripts until the
            # user closes them, or a newcomer needs a place: then the oldest
            # of those goes, at the caller's own address first.
            self.assertEqual(self.peer("hangup", "4", self.CHAT, "--spread", "2", "--wait", "2"),
                             "ASKED 4 CODES " + ",".join(["1002"] * 4))
            self.served(self.CHAT, self.waiting(1, "1002"))
            # Callers still there keep their places: past its share, one more
            # from their address is refused.
            with self.holding("ask", "8", self.CHAT) as live:
                self.assertEqual(live, self.waiting(8, ",".join(["1002"] * 8)))
                self.assertEqual(self.peer("ask", "1", self.CHAT), self.answered(1, "1005"))
            self.assertEqual(self.peer("hangup", "1", self.FRIEND_CHAT, "--wait", "2", source=FRIEND[2]), "ASKED 1 CODES 1002")

        def offers():
            # Offers whose senders have gone stay on screen until answered, or
            # until a new offer needs the place of the oldest.
            mark = len(self.program.lines)
            for spread in ("2", "3"):
                self.assertEqual(self.peer("hangup", "16", self.OFFER, "--spread", spread, "--wait", "0.1"),
                                 "ASKED 16 CODES -")
            self.assertTrue(wait_until(lambda: self.traced("transfer offer binary w.zip", mark) == 32, 5))
            with self.holding("ask", "8", self.OFFER) as live:
                self.assertEqual(live, self.waiting(8, "-"))
                self.assertEqual(self.peer("ask", "1", self.OFFER), self.answered(1, "1022"))
                self.served(self.OFFER, self.waiting(1, "-"))
            # A cam offer's question stays as its link closes, and makes way
            # the same: a second from one address is asked, not refused (1032).
            self.assertEqual(self.peer("hangup", "3", "  1037<Mal{$}2960>\\r\\n", "--wait", "0.5"), "ASKED 3 CODES -")
            self.assertEqual(self.traced("cam offer withdrawn for a new one", mark), 2)

        self.run_rows([
            # (name, attack, check of what it logged)
            ("strangers' chats waiting for the user while a friend calls", friends,
             logged("Incoming private chat refused: too many")),
            ("chats whose callers have hung up", chats,
             logged("Private chat closed: its caller has gone", "Incoming private chat refused: too many from this")),
            ("offers whose senders hang up at once", offers,
             logged("File offer closed: its sender has gone", "Incoming file offer refused: too many from this")),
        ])


class FriendsAmongStrangers(StrangersAtTheDoor):
    SETTINGS = {"BusyTimer": 5, "CurrentProfile": "Main"}

    def test_friends_ask_past_strangers(self):
        def attack():
            with self.holding("ask", "40", self.CHAT, "--spread", "4") as strangers:
                self.assertEqual(strangers, "ASKED 40 WAITING 8 ANSWERED 32 ENDED 0 CODES " + ",".join(["1004"] * 32))
                self.assertEqual(self.peer("ask", "1", self.FRIEND_CHAT, source=FRIEND[2]), self.waiting(1, "-"))
                self.assertEqual(self.peer("ask", "6", self.FRIEND_CHAT, source="127.0.0.21"),
                                 self.answered(6, ",".join(["1004"] * 6)))

        def claims():
            # The strangers' questions outlive their callers until the dialog
            # answers them busy by itself; then their places are free again.
            def last_count():
                counts = [line for _, line in self.program.lines if line.startswith("peer sockets ")]
                return counts[-1] if counts else None
            self.assertTrue(wait_until(lambda: last_count() == "peer sockets 0", 15), last_count())
            # Callers from four addresses claiming the friend's id wait as the
            # strangers they are; the friend, from its own address, still has
            # its places (two of them).
            with self.holding("ask", "8", self.FRIEND_CHAT, "--spread", "4", source="127.0.0.21") as claimers:
                self.assertEqual(claimers, self.waiting(8, "-"))
                self.assertEqual(self.peer("ask", "3", self.FRIEND_CHAT, source=FRIEND[2]),
                                 "ASKED 3 WAITING 2 ANSWERED 1 ENDED 0 CODES 1004")
                self.assertEqual(self.peer("ask", "1", self.CHAT, source="127.0.0.30"), self.answered(1, "1004"))

        busy = logged("Incoming private chat answered busy: too many requests wait")
        self.run_rows([("strangers who keep asking while friends ask", attack, busy),
                       ("callers from four addresses claiming a friend's id", claims, busy)])


class FriendsPastStrangers(StrangersAtTheDoor):
    """Strangers who fill the message windows and the store, and both "View
    Cam?" places: a friend's message is still kept and its offer still asked."""

    ENV = {"PARLO_TEST_CAM_QUESTION_MS": "4000"}
    KEPT_SLACK_KB = MEMORY_SLACK_KB + 32 * 1024
    CAM_OFFER = "  1037<Mal{$}2960>\\r\\n"
    FRIEND_CAM_OFFER = "  1037<%s{$}%s>\\r\\n" % (FRIEND[1], FRIEND[3])

    def test_friends_past_strangers(self):
        s = self.server

        def from_friend(address):
            record = [FRIEND[0], FRIEND[1], "1", "0", address, FRIEND[3], "1/2/26 9:00:00", "it is Bea"]
            return directory_server.frame(9012, "{$}".join(record)) + "\r\n"

        def messages():
            since = len(self.program.lines)
            s.inject(UID, [directory_server.relayed_messages(70000000, 40)])
            self.assertTrue(wait_until(lambda: self.traced("message announced 70000039", since) == 1, 30))
            lines = directory_server.relayed_messages(71000000, 10, each=200).split("\r\n")[:-1]
            s.inject(UID, ["".join(l + "\r\n" for l in lines[i:i + 100]) for i in range(0, len(lines), 100)],
                     pause=0.02)
            self.assertTrue(wait_until(lambda: self.traced("message not kept 71000009", since) > 0, 30))
            # The friend's id from another address is a stranger's.
            with stall_probe(self.port, self.pid) as probe:
                s.inject(UID, [from_friend("10.0.0.9"), from_friend(FRIEND[2])])
                self.assertTrue(wait_until(lambda: self.traced("message stored %s msg0" % FRIEND[0], since) == 1,
                                           10))
            self.assertEqual(probe.late(), [], "the program's thread was held")
            self.assertEqual(self.traced("message not kept %s" % FRIEND[0], since), 1)
            self.assertEqual(self.traced("message made way 1", since), 1)
            self.assertEqual(self.traced("message announced %s" % FRIEND[0], since), 1)
            stored = self.home.read("Data", "incoming.msg")
            self.assertIn("msg0=%s{$}Bea" % FRIEND[0], stored)
            self.assertEqual(len(re.findall(r"\nmsg\d+=", stored)), 2000)

        def cam_offers():
            # Two strangers' offers wait for the user; a third stranger's, or
            # one naming the friend's port from elsewhere, is refused at once.
            with self.holding("ask", "2", self.CAM_OFFER, "--spread", "2") as strangers:
                self.assertEqual(strangers, self.waiting(2, "-"))
                self.assertEqual(self.peer("ask", "1", self.CAM_OFFER, source="127.0.0.30"), self.answered(1, "1032"))
                self.assertEqual(self.peer("ask", "1", self.FRIEND_CAM_OFFER, source="127.0.0.21"),
                                 self.answered(1, "1032"))
                for _ in range(2):
                    self.assertEqual(self.peer("ask", "1", self.FRIEND_CAM_OFFER, source=FRIEND[2]),
                                     self.waiting(1, "-"))

        self.run_rows([
            ("strangers fill the windows and the store, then a friend's message comes", messages,
             logged("new ones are not kept", "strangers' messages are dropped to keep a friend's")),
            ("strangers hold both cam offer questions while a friend offers", cam_offers, None),
        ])


class LargeMessageStore(AttackCase):
    """A home whose incoming.msg holds 150,000 waiting messages (13.7 MB, within
    what a store may be): the program reads it at a cost in proportion to its
    size, keeps what may wait, and starts listening in time."""

    SETTINGS = {"ShowMsg": False}
    MESSAGES = 150000
    # Seconds of the program's thread from its start to listening: on the
    # normal build 0.2 with this store, 0.1 without; read at a cost growing
    # with the square of the file, minutes.
    STARTUP_S = 2.0

    def prepare_home(self):
        os.makedirs(self.home.file("Data"), exist_ok=True)
        with open(self.home.file("Data", "incoming.msg"), "w", encoding="latin-1", newline="") as f:
            for n in range(self.MESSAGES):
                f.write("[%d]\r\nmsg0=%d{$}S%d{$}1{$}0{$}10.0.0.9{$}2960{$}1/2/26 9:00:00{$}hello!!\r\n\r\n"
                        % (70000000 + n, 70000000 + n, n))

    def setUp(self):
        super().setUp()
        self.started = thread_cpu_seconds(self.pid)

    def test_large_store(self):
        def read():
            self.assertLess(self.started, self.STARTUP_S * SLOWDOWN, "seconds of the program's thread to listen")
            stored = self.home.read("Data", "incoming.msg")
            self.assertEqual(len(re.findall(r"\nmsg0=", stored)), 2000)
            self.assertEqual(self.log().count("more messages than may wait"), 1)
            self.assertIn("held 148000 more messages than may wait", self.log())
            # What was read is the store as any other: full of strangers, it
            # keeps a friend's message in place of one of theirs.
            since = len(self.program.lines)
            record = [FRIEND[0], FRIEND[1], "1", "0", FRIEND[2], FRIEND[3], "1/2/26 9:00:00", "it is Bea"]
            self.server.inject(UID, [directory_server.frame(9012, "{$}".join(record)) + "\r\n"])
            self.program.wait_trace("message stored %s msg0" % FRIEND[0], since=since)
            self.assertEqual(len(re.findall(r"\nmsg0=", self.home.read("Data", "incoming.msg"))), 2000)

        self.run_rows([("a store of 150,000 messages read at start-up", read, None)])


# ----- what a picture or a face costs ---------------------------------------------


class HostilePictures(Strangers):
    """A broadcaster whose pictures would hold the program for seconds each:
    its viewers, in a window of their own and inside a chat, refuse each one
    before it passes what a picture may cost to decode, log it and end the
    link, asking for no more. Pictures are decoded away from the program's
    thread, which goes on meanwhile."""

    ENV = dict(Strangers.ENV, PARLO_TEST_CAM_DECISION="2")

    def test_pictures(self):
        def pictures():
            self.assertEqual(self.attacker("pictures", self.FRIEND_CALLER, "2", source=FRIEND[2]),
                             ["OFFERED 4 VIEWED 4 CLOSED 4 ASKED 0"])

        def arithmetic():
            with stall_probe(self.port, self.pid) as probe:
                out = self.attacker("arithmetic", self.FRIEND_CALLER, "3", source=FRIEND[2])
            offered, viewed, sent, asked, closed = (int(n) for n in re.findall(r"\d+", out[0]))
            # Each link ends on a picture past the bound, refused before it is
            # decoded, after the dear ones within it were shown.
            self.assertEqual((viewed, closed, sent), (offered, offered, asked + closed), out)
            self.assertGreaterEqual(asked, 3 * offered, out)
            self.assertEqual(probe.late(), [], "the program's thread was held")

        def dear():
            with stall_probe(self.port, self.pid) as probe:
                out = self.attacker("dear", "16", "6", source=FRIEND[2])
            viewed, dear, ordinary = (int(n) for n in re.findall(r"\d+", out[0])[:3])
            self.assertEqual(viewed, 17, out)
            self.assertGreaterEqual(dear, 16, out)
            # The links take turns by what their pictures cost: the ordinary
            # broadcaster's cheap pictures go before the dear ones waiting, so
            # its next is asked for far more often than one of theirs is
            # decoded (taken in the order they came, once a round of all, it
            # got one for every sixteen of theirs).
            self.assertGreaterEqual(8 * ordinary, dear, out)
            self.assertEqual(probe.late(), [], "the program's thread was held")

        self.run_rows([("sixteen broadcasters of dear pictures beside an ordinary one", dear, None),
                       ("pictures of thousands of scans or millions of pixels", pictures,
                        logged(r"Cam picture of 1024 x 1024 pixels too dear to decode by scan \d+ refused; closed",
                               r"Cam picture of 4096 x 4096 pixels refused; closed")),
                       ("arithmetic-coded pictures, some thirty steps of the decoder from each bit", arithmetic,
                        logged(r"Cam picture of 1024 x 768 pixels too dear to decode by scan 1 refused; closed"))])


class HostileFaces(Strangers):
    """Sixteen chats accepted by themselves, each sent lines of faces: every
    face costs the window far more than its two characters, and each window
    keeps what its bound counts, so the sixteen stay within the slack. The
    windows stay open, each with up to 8 MB of transcript."""

    KEPT_SLACK_KB = MEMORY_SLACK_KB + 16 * 8 * 1024
    SETTINGS = dict(Strangers.SETTINGS, AutoPChatOnly=False)

    def setUp(self):
        # "Save Chat?" on closing is answered with this file.
        saved = tempfile.mkdtemp(prefix="parlo-saved-")
        self.addCleanup(shutil.rmtree, saved)
        self.ENV = dict(self.ENV, PARLO_TEST_PCHAT_SAVE=os.path.join(saved, "chat.txt"))
        super().setUp()

    def test_faces(self):
        def faces():
            mark = len(self.program.lines)
            # Lines of 4,000 faces in a row, each link's turn taking what it
            # holds (read back over the faces before each one, a line held the
            # program for a third of a second). The sanitizers' build, several
            # times slower, gets fewer lines (each window still past its
            # bound), further apart.
            lines, pause = (24, "1.0") if UNDER_ASAN else (48, "0.2")
            self.assertEqual(self.attacker("faces", CALLER_RECORD, "16", str(lines), "8000", "--pause", pause,
                                           spread=2), ["ACCEPTED 16 SENT %d" % (16 * lines)])
            self.assertTrue(wait_until(lambda: self.traced("pchat text: end of faces", mark) == 16, 120))

        self.run_rows([("sixteen chats of emoticon lines", faces, None)])


# ----- names of 60,000 bytes ------------------------------------------------------


class HostileNames(Strangers):
    """Sixteen chats from callers named with 60,000 bytes, each sent sound
    after sound (each a line naming the caller); the program's own call is
    answered the same way, sounds until the end and asks "Save Chat?" as the
    program stops, with nobody to answer."""

    RECORD = "||".join(f if n != 3 else "N" * 60000 for n, f in enumerate(CALLER_RECORD.split("||")))
    SETTINGS = dict(Strangers.SETTINGS, AutoPChatOnly=False)

    def setUp(self):
        self.answerer = subprocess.Popen([sys.executable, HOSTILE_PEER, "answer", "0", self.RECORD],
                                         stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        for cleanup in (self.answerer.stdout.close, lambda: self.answerer.wait(30), self.answerer.stdin.close):
            self.addCleanup(cleanup)
        self.ENV = dict(self.ENV, PARLO_TEST_PCHAT_CALL="Bea:%s" % self.answerer.stdout.readline().split()[1].decode())
        super().setUp()
        self.program.wait_trace("pchat authorized")
        time.sleep(0.5)
        self.fds, self.memory = descriptors(self.pid), resident_kb(self.pid)

    def test_names(self):
        def sounds():
            # Each line once cost some 400 ms: these held the thread for twenty minutes.
            with stall_probe(self.port, self.pid) as probe:
                self.assertEqual(self.attacker("faces", self.RECORD, "16", "200", "0", "--sounds", spread=2),
                                 ["ACCEPTED 16 SENT 3200"])
            self.assertLess(sum(t or 3.0 for t in probe.late()), 3.0, "seconds held")

        self.run_rows([("chats from callers with names of 60,000 bytes, sounding", sounds, None)])


# ----- packages far smaller than what they claim to hold ---------------------------


class HostilePackages(AttackCase):
    """Accepted packages that would unpack to hundreds of times their size:
    each is refused before anything of it is written, with the window's
    failure line, and stays as it came."""

    ENV = {"PARLO_TEST_TRANSFER_ACCEPT": "yes"}

    def test_packages(self):
        def packages():
            mark = len(self.program.lines)
            out = subprocess.run([sys.executable, HOSTILE_PEER, "packages", str(self.port), "Mal", "--from",
                                  "127.0.0.2"], input=b"", stdout=subprocess.PIPE, timeout=100)
            self.assertEqual(out.returncode, 0)
            self.assertEqual(out.stdout.decode().split("\n")[0], "PACKAGES 2 ACKED 0 CLOSED 2")
            self.assertTrue(wait_until(lambda: sum(1 for _, line in self.program.lines[mark:]
                                                   if line.startswith("transfer failed in")) == 2, 30))
            self.assertEqual(sorted(os.listdir(self.home.file("Files", "Mal"))), ["p0.zip", "p1.zip"])

        self.run_rows([("packages whose entries overlap or claim far more than the package holds", packages,
                        logged(r"Decompressing failed: Not a valid zip file!",
                               r"Decompressing failed: The package would unpack to more than its size allows"))])


class HostileRelays(AttackCase):
    """A server that relays messages from thousands of made-up senders and
    lists a group of 150,000 users. Message windows open up to their bound
    and stay open; past it messages wait in the store, each stored at the
    same cost, up to the store's bound. At the end, the program leaves with
    every store written whole."""

    KEPT_SLACK_KB = MEMORY_SLACK_KB + 32 * 1024

    def test_relays(self):
        s = self.server

        def senders():
            since = len(self.program.lines)
            s.inject(UID, [directory_server.relayed_messages(70000000, 40)])
            self.assertTrue(wait_until(lambda: self.traced("message announced 70000039", since) == 1, 30))
            self.assertEqual(sum(l.startswith("message shown ") for _, l in self.program.lines[since:]), 32)
            # Every further sender waits in the store: a store of thousands
            # costs each message what the first cost.
            flood = directory_server.relayed_messages(71000000, 3000)
            lines = flood.split("\r\n")[:-1]
            with stall_probe(self.port, self.pid) as probe:
                s.inject(UID, ["".join(l + "\r\n" for l in lines[i:i + 100]) for i in range(0, len(lines), 100)],
                         pause=0.02)
                self.assertTrue(wait_until(lambda: self.traced("message not kept 71002999", since) == 1, 30))
            self.assertEqual(probe.late(), [], "the program's thread was held")
            self.assertEqual(self.home.read("Data", "incoming.msg").count("\nmsg0="), 2000)

        def listings():
            since = len(self.program.lines)
            s.inject(UID, [directory_server.group_listing(150000)])
            self.program.wait_trace("list ListO 10000", timeout=30, since=since)
            s.inject(UID, [directory_server.group_listing(20)])
            self.program.wait_trace(lambda l: l.startswith("list ListO 20 "), timeout=30, since=since)

        self.run_rows([
            ("messages from thousands of senders", senders,
             logged(r"Too many message windows open: new messages wait in the alert\r\n",
                    r"2000 messages \(or 200 from one sender\) wait to be read; new ones are not kept")),
            ("a listing of 150,000 users, then one of 20", listings,
             logged(r"The group lists more users than can be shown: the first 10000 are listed\r\n")),
        ])
        # The program ended well (above) with every store whole.
        for name in ("settings.txt", os.path.join("Data", "groups.grp"), os.path.join("Data", "Profiles.cds")):
            self.assertTrue(os.path.exists(self.home.file(name)), name)
        left = [n for folder in (self.home.path, self.home.file("Data")) for n in os.listdir(folder)
                if re.search(r"\.[A-Za-z0-9]{6}$", n)]
        self.assertEqual(left, [], "temporary files left behind")
        log = self.log()
        for once in ("Too many message windows", "new ones are not kept", "The group lists more users"):
            self.assertEqual(log.count(once), 1, once)


class HostileStores(AttackCase):
    """A server repeating a friend's status without end, and stores that are
    no plain files: named pipes, and links to files outside the home. The
    program's thread is never held, the friends file is written a few times,
    nothing is written outside the home, and what stood in a store's place is
    set aside, logged, and a plain file takes its place."""

    # The friend the updates are about, among 1,999 others.
    FRIENDS = [["%08d" % (55600000 + i), "F%d" % i, "127.0.0.%d" % (i % 200 + 1), str(3000 + i)]
               for i in range(1999)] + [FRIEND]
    # Relayed messages wait in the store rather than open windows.
    SETTINGS = {"ShowMsg": False}

    def written(self):
        """Bytes the program has handed to the system to write, anywhere."""
        with open("/proc/%d/io" % self.pid) as f:
            return next(int(line.split()[1]) for line in f if line.startswith("wchar:"))

    def aside(self, name):
        folder, base = os.path.split(self.home.file(*name))
        return [os.path.join(folder, n) for n in os.listdir(folder) if n.startswith(base + ".unreadable-")]

    def kind(self, name):
        try:
            return stat.S_IFMT(os.lstat(self.home.file(*name)).st_mode)
        except FileNotFoundError:
            return None

    def friend_update(self, port, status="0"):
        return directory_server.frame(9016, "{$}".join([FRIEND[0], FRIEND[1], "1", status, FRIEND[2], port])) + "\r\n"

    def touch_stores(self, message_from):
        """A stored relayed message, an entry in the log, and a friend's
        address changed and changed back: each store is opened once."""
        since = len(self.program.lines)
        self.server.inject(UID, [directory_server.relayed_messages(message_from, 1)])
        self.program.wait_trace("message stored %d msg0" % message_from, since=since)
        self.server.inject(UID, [self.friend_update("1") + self.friend_update(FRIEND[3])])
        # A frame that cannot be read is logged, and ends the link.
        self.server.inject(UID, ["  x\r\n"])
        self.assertTrue(self.link_answers())

    def test_stores(self):
        s = self.server
        outside = tempfile.mkdtemp(prefix="parlo-outside-")
        self.addCleanup(shutil.rmtree, outside, True)
        stores = [("Data", "incoming.msg"), ("errorlog.txt",), ("Data", "friends.cds")]

        def status_without_end():
            # Each other update moves the friend to another port and back; the
            # last one leaves it where it was.
            updates = [self.friend_update(FRIEND[3] if n % 2 else "1", status="3" if n % 2 else "0")
                       for n in range(20000)]
            size, before = os.path.getsize(self.home.file("Data", "friends.cds")), self.written()
            with stall_probe(self.port, self.pid) as probe:
                s.inject(UID, ["".join(updates[i:i + 200]) for i in range(0, len(updates), 200)], pause=0.01)
                self.assertTrue(self.link_answers())
                time.sleep(1.5)  # the last changes are written a moment later
            self.assertEqual(probe.late(), [], "the program's thread was held")
            saves = (self.written() - before) / size
            self.assertLess(saves, 20, "friends.cds written about %d times" % saves)

        def pipes():
            for name in stores[:2]:
                os.mkfifo(self.home.file(*name))
            try:
                self.touch_stores(72000000)
                for name in stores[:2]:
                    self.assertTrue(wait_until(lambda: self.kind(name) == stat.S_IFREG, 10), name)
                    aside = self.aside(name)
                    self.assertEqual(len(aside), 1, name)
                    self.assertTrue(stat.S_ISFIFO(os.lstat(aside[0]).st_mode))
            finally:
                # Reading a pipe left here would wait for good for a writer.
                for name in stores[:2]:
                    if self.kind(name) == stat.S_IFIFO:
                        os.remove(self.home.file(*name))
            self.assertIn("\nmsg0=", self.home.read("Data", "incoming.msg"))
            log = self.log()
            for store in ("incoming.msg", "errorlog.txt"):
                self.assertRegex(log, re.escape(store) + r" is not a plain file but a named pipe; kept as .*"
                                 + re.escape(store) + r"\.unreadable-")
            self.assertIn("Extracting Command: x", log)

        def links():
            kept = {}
            for name in stores:
                target = os.path.join(outside, "-".join(name))
                kept[target] = self.home.read(*name)
                with open(target, "w", encoding="latin-1", newline="") as f:
                    f.write(kept[target])
                for old in self.aside(name):
                    os.remove(old)
                os.remove(self.home.file(*name))
                os.symlink(target, self.home.file(*name))
            self.touch_stores(73000000)
            time.sleep(1.0)  # the friend's change is written a moment later
            for name in stores:
                self.assertEqual(self.kind(name), stat.S_IFREG, name)
                aside = self.aside(name)
                self.assertEqual(len(aside), 1, name)
                self.assertTrue(os.readlink(aside[0]).startswith(outside))
            for target, content in kept.items():
                self.assertEqual(open(target, encoding="latin-1", newline="").read(), content, target)
            self.assertRegex(self.log(), r"friends\.cds is not a plain file but a symbolic link; kept as ")

        self.run_rows([
            ("20,000 status updates of one of 2,000 friends", status_without_end, None),
            # The log starts anew in these two: their checks read it whole.
            ("named pipes as incoming.msg and errorlog.txt", pipes, None),
            ("links to files outside the home as stores", links, None),
        ])
        self.assertEqual(sorted(os.listdir(outside)), sorted("-".join(name) for name in stores))


# ----- strangers at a hosted room: list answers and long names ------------------


class HostileRoomMembers(Strangers):
    def test_room_members(self):
        port = int(self.SETTINGS["ChatPort"])

        def lists():
            # Each asks eleven times for a list of half a megabyte and reads none.
            out = self.attacker("room-lists", "200", "25", "2500", "11", port=port, spread=25)[0]
            self.assertRegex(out, r"^JOINED 200 TURNED 0 DROPPED [1-9]\d*$")

        def names():
            # Each join relays the name whole to everyone, and shows it cut.
            out = self.attacker("room-names", "100", "13", "60000", port=port, spread=13)[0]
            # Each logon is greeted (its wait, as the member saw it, is the
            # machine's as much as the program's: the row's probe judges the
            # program's own hold).
            joined, turned, slowest = (int(n) for n in re.findall(r"\d+", out))
            self.assertEqual((joined, turned), (100, 0), out)
            if FIGURES:
                with open(FIGURES, "a") as f:
                    f.write("room logon to greeting\t%s\t%d ms\n" % ("asan" if UNDER_ASAN else "normal", slowest))

        self.run_rows([
            # (name, attack, check of what it logged)
            ("members who ask for the list again and again and never read", lists,
             logged("the member furthest behind was dropped")),
            ("members with names of 60,000 bytes", names, None),
        ])


if __name__ == "__main__":
    unittest.main()
