"""Running the real parlo binary headless against the local directory server.

Shared by the end-to-end tests and the start-up bench: a prepared home, the
program as a child process with its trace lines collected, and helpers that
wait for frames and trace lines.
"""

import os
import random
import resource
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

SOURCE_DIR = os.environ.get("PARLO_SOURCE_DIR") or os.path.abspath(
    os.path.join(os.path.dirname(__file__), "..", ".."))
BINARY_DIR = os.environ.get("PARLO_BINARY_DIR") or os.path.join(SOURCE_DIR, "build")
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "support"))

import directory_server  # noqa: E402

PARLO = os.path.join(BINARY_DIR, "parlo")


def machine_load():
    """How busy the machine is: its load, and the share of the last ten
    seconds that some task waited for a processor (where the kernel says)."""
    one, five, _ = os.getloadavg()
    text = "load %.2f (1 min) %.2f (5 min) on %d processors" % (one, five, os.cpu_count())
    try:
        with open("/proc/pressure/cpu") as f:
            text += ", tasks waiting for a processor %s%% of the last 10 s" % f.readline().split()[1].split("=")[1]
    except (OSError, IndexError):
        pass
    return text


def _telling_the_load(add):
    """A failing test (or subtest) says how busy the machine was as it failed,
    so that a failure on a busy machine shows it."""
    def wrapped(self, test, *rest):
        if rest[-1] is not None:
            sys.stderr.write("\n%s failed; the machine: %s\n" % (test.id(), machine_load()))
        return add(self, test, *rest)
    return wrapped


for _name in ("addFailure", "addError", "addSubTest"):
    setattr(unittest.TestResult, _name, _telling_the_load(getattr(unittest.TestResult, _name)))


def _ephemeral_range():
    try:
        with open("/proc/sys/net/ipv4/ip_local_port_range") as f:
            low, high = (int(x) for x in f.read().split())
            return low, high
    except (OSError, ValueError):
        return 32768, 60999


def free_port():
    """A port for the program to listen on, free now and outside the range the
    system hands out for outgoing connections: between this call and the
    program's bind, another test's callers (the storm opens hundreds) could
    otherwise take it as their own local port."""
    low, high = _ephemeral_range()
    candidates = list(range(20000, low)) if low > 21000 else list(range(high + 1, 65536))
    rng = random.Random(os.getpid() ^ time.monotonic_ns())
    for port in rng.sample(candidates, min(200, len(candidates))):
        with socket.socket() as s:
            try:
                s.bind(("", port))
            except OSError:
                continue
            return port
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def settings_text(values):
    """A settings file as the program reads it (docs/settings-format.md)."""
    lines = ["[Software\\Vantorel\\Parlo\\Settings]"]
    for name, value in values.items():
        if isinstance(value, bool):
            lines.append("%s = int:%d" % (name, int(value)))
        elif isinstance(value, int):
            lines.append("%s = int:%d" % (name, value))
        else:
            escaped = value.replace("\\", "\\\\")
            lines.append("%s = str:%s" % (name, escaped))
    return "\n".join(lines) + "\n"


def dataset_text(fields, rows):
    """A local table file: header, field list, then each value as len:bytes."""
    out = ["PARLO-DATASET 1\n", "%d\n" % len(fields)]
    out += ["%s %d\n" % (name, size) for name, size in fields]
    out.append("%d\n" % len(rows))
    for row in rows:
        for value in row:
            out.append("%d:%s\n" % (len(value.encode("latin-1")), value))
    return "".join(out)


FRIEND_FIELDS = [("UserID", 20), ("UserName", 128), ("ListenIP", 20), ("ListenPort", 20)]


class Home:
    """A temporary home folder with hand-written settings."""

    def __init__(self, settings, friends=None):
        self.path = tempfile.mkdtemp(prefix="parlo-home-")
        with open(os.path.join(self.path, "settings.txt"), "w", encoding="latin-1") as f:
            f.write(settings_text(settings))
        if friends is not None:
            os.makedirs(os.path.join(self.path, "Data"), exist_ok=True)
            with open(os.path.join(self.path, "Data", "friends.cds"), "w", encoding="latin-1") as f:
                f.write(dataset_text(FRIEND_FIELDS, friends))

    def file(self, *parts):
        return os.path.join(self.path, *parts)

    def read(self, *parts):
        try:
            with open(self.file(*parts), encoding="latin-1") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)


class Parlo:
    """The program running on a home; its "parlo: ..." trace lines are kept."""

    def __init__(self, home, env=None, program=None, descriptors=None, cpus=None):
        e = dict(os.environ)
        e.update({"PARLO_HOME": home.path, "PARLO_TEST_HOOKS": "1", "QT_QPA_PLATFORM": "offscreen",
                  "XDG_RUNTIME_DIR": home.path})
        e.update(env or {})
        self.started = time.monotonic()

        def limit():
            # The descriptor limit most desktops give a program.
            if descriptors:
                resource.setrlimit(resource.RLIMIT_NOFILE, (descriptors, descriptors))
            # Before the program starts, so that every thread it makes stays there too.
            if cpus:
                os.sched_setaffinity(0, cpus)
        # Kept aside, and shown when the program ends badly: a sanitizer's report goes there.
        self.err = tempfile.TemporaryFile()
        self.proc = subprocess.Popen([program or PARLO], env=e, stdout=subprocess.PIPE, stderr=self.err,
                                     preexec_fn=limit if descriptors or cpus else None)
        self.lines = []
        self.cond = threading.Condition()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for raw in self.proc.stdout:
            line = raw.decode("latin-1").rstrip("\n")
            if not line.startswith("parlo: "):
                continue
            with self.cond:
                self.lines.append((time.monotonic(), line[len("parlo: "):]))
                self.cond.notify_all()

    def wait_trace(self, predicate, timeout=10.0, since=0):
        """The first trace line at or after index `since` for which predicate
        (or equality with a text) holds; returns its index and text."""
        if isinstance(predicate, str):
            text = predicate
            predicate = lambda line: line == text  # noqa: E731
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                for i in range(since, len(self.lines)):
                    if predicate(self.lines[i][1]):
                        return i, self.lines[i][1]
                left = deadline - time.monotonic()
                if left <= 0 or (self.proc.poll() is not None and not self.reader.is_alive()):
                    raise AssertionError("no trace line matched; got %r" % [l for _, l in self.lines])
                self.cond.wait(min(left, 0.2))

    def trace_time(self, text, timeout=10.0):
        i, _ = self.wait_trace(text, timeout)
        return self.lines[i][0]

    def stop(self, timeout=10.0):
        """Ends the program the way the desktop session's end does; its exit status."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        try:
            status = self.proc.wait(timeout)
            # Ended by the signal itself (before it was listening for it) is no fault.
            if status not in (0, -signal.SIGTERM):
                self.err.seek(0)
                tail = self.err.read().decode("latin-1").splitlines()[-80:]
                sys.stderr.write("parlo ended with %d; the end of its standard error:\n%s\n" % (status, "\n".join(tail)))
            return status
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise AssertionError("parlo did not end within %s s" % timeout)
        finally:
            # The reader ends at the pipe's end; then the pipe can go.
            self.reader.join(5)
            if not self.reader.is_alive():
                self.proc.stdout.close()


def start_server():
    data = tempfile.mkdtemp(prefix="parlo-dir-")
    server = directory_server.DirectoryServer(data, port=0, record=True).start()
    server.data_dir = data
    return server


def stop_server(server):
    server.stop()
    shutil.rmtree(server.data_dir, ignore_errors=True)


def base_settings(server, uid, password, **extra):
    values = {"UserID": uid, "UserPass": password, "RemUserPass": True, "ServerIP": "127.0.0.1",
              "ServerPort": str(server.port), "AutoLogon": True, "AutoUpdate": False,
              "AutoListen": False, "ListenPort": str(free_port())}
    values.update(extra)
    return values


class ServerCase(unittest.TestCase):
    """A local directory server with one account (UID, PASSWORD), and the homes and
    programs a test made, all removed when the test ends."""

    UID, PASSWORD = "12345678", "secret1"

    def setUp(self):
        self.server = start_server()
        self.server.add_account(self.PASSWORD, self.UID)
        self.homes, self.programs = [], []

    def tearDown(self):
        for p in self.programs:
            if p.proc.poll() is None:
                p.proc.kill()
                p.proc.wait()
        stop_server(self.server)
        for h in self.homes:
            h.remove()

    def stop(self, program):
        self.assertEqual(program.stop(), 0)
