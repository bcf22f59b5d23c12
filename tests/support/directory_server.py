#!/usr/bin/env python3
"""A local Parlo directory server, for development and end-to-end tests.

Written from the wire protocol alone. It keeps accounts, knows who is online,
hands out group listings and friends' states, relays instant messages (keeping
them for users who are offline), answers random-contact and update requests and
takes profile photos.

For tests it can also act as a hostile server: answer a code with bytes of
the test's choosing (reply_once), write bytes over and over for a while
(flood), and stop reading what a client sends (pause_reading).

Run it as a program:

    python3 directory_server.py --data DIR [--host 127.0.0.1] [--port 9961]
                                [--control-port N] [--update-build 1.0.0.0]
                                [--update-url URL]

It prints one line "READY <port> <control port>" on stdout once it listens
(port 0 picks a free port). The control port speaks JSON lines; see
ControlHandler below.

Or import it and use DirectoryServer directly; it runs its loop on a thread of
its own and every public method may be called from any thread.

Frames on the wire: two blanks, a four-digit code, "<", parameters (joined by
","), ">", text, CR LF. Bytes are Windows-1252; this module carries them as
latin-1 strings so that every byte maps to one character and back unchanged.
"""

import argparse
import asyncio
import json
import logging
import os
import random
import signal
import socket
import sys
import tempfile
import threading
import time

LOG = logging.getLogger("directory_server")

FIELD_SEP = "{$}"
RECORD_SEP = "||"

# A listing of ten thousand users is far below this; anything longer is a
# broken or hostile client, and the connection is dropped rather than buffered.
MAX_LINE = 1 << 20
# The client refuses photos above 20480 bytes; allow some slack, no more.
MAX_PHOTO = 256 * 1024

STATUS_AVAILABLE = 0
STATUS_INVISIBLE = 2

# Write modes for frames the server sends on its own:
#   "normal": one write per frame;
#   "batch":  every frame produced while handling one received frame goes out
#             in a single write (so replies arrive together);
#   "split":  every frame is written in two pieces with a pause between them.
WRITE_MODES = ("normal", "batch", "split")
SPLIT_PAUSE = 0.05


def frame(code, params="", text=""):
    """The bytes of one frame as a latin-1 string, without its CR LF."""
    return "  %d<%s>%s" % (code, params, text)


def relayed_messages(first_id, senders, each=1, text="hello"):
    """A hostile server's relayed messages (9012), CR LF ended: `each` from
    every one of `senders` made-up sender ids counted up from `first_id`."""
    return "".join(frame(9012, "{$}".join(["%08d" % (first_id + n), "S%d" % n, "1", "0", "10.0.0.9", "2960",
                                           "1/2/26 9:00:00", text])) + "\r\n"
                   for n in range(senders) for _ in range(each))


def group_listing(users, first_id=100000):
    """A listing (9010) of `users` made-up users in records as short as they
    come (no address), CR LF ended: 150,000 of them fill 4 MB."""
    return frame(9010, "||".join("%d{$}u{$}1{$}0{$}{$}1" % (first_id + n) for n in range(users))) + "\r\n"


def parse_line(line):
    """Split one received line into (code, parameters, text).

    Leading characters up to the blank are dropped; the code is the first four
    characters (9999 when they are no number); the parameters run from the
    first "<" to the first ">" and are split at ","; the text follows that ">".
    """
    line = line.lstrip("".join(chr(c) for c in range(33)))
    head = line[:4]
    code = int(head) if head.isdigit() else 9999
    lt = line.find("<")
    gt = line.find(">")
    start = lt + 1
    params = line[start:gt] if gt >= start else ""
    if gt < 0:
        params = ""
    text = line[gt + 1:] if gt >= 0 else line
    return code, (params.split(",") if params else []), text


def clean(value):
    """A value made safe to place inside a record that travels in a parameter.

    Profile fields come from clients; one that held a separator, a comma, a
    ">" or a line end would break the records and frames built from it.
    """
    for bad in (FIELD_SEP, RECORD_SEP, "\r", "\n", ",", ">"):
        value = value.replace(bad, "")
    return value


# ProfileRecord field positions.
PROFILE_FIELDS = ("UserID", "CurrentGroup", "ListenPort", "UserName", "FirstName", "LastName",
                  "Age", "Dob", "Gender", "Country", "Hobbies", "Description", "HomeUrl",
                  "BizUrl", "HomeEmail", "BizEmail", "Greeting", "BusyMsg", "Banner", "WebCam",
                  "StatusMode")


class Store:
    """Accounts and waiting messages, kept in one JSON file in the data folder."""

    FILE = "directory.json"

    def __init__(self, folder):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.path = os.path.join(folder, self.FILE)
        self.accounts = {}   # user id -> dict(password, profile, friends, group, ip, port)
        self.waiting = {}    # user id -> [relayed record, ...]
        self._load()

    def _load(self):
        if not os.path.exists(self.path):
            return
        try:
            with open(self.path, "r", encoding="utf-8") as f:
                data = json.load(f)
            accounts = data["accounts"]
            waiting = data.get("waiting", {})
            if not isinstance(accounts, dict) or not isinstance(waiting, dict):
                raise ValueError("unexpected layout")
            self.accounts, self.waiting = accounts, waiting
        except (OSError, ValueError, KeyError, TypeError) as e:
            aside = "%s.unreadable-%d" % (self.path, int(time.time()))
            LOG.error("cannot read %s (%s); kept aside as %s, starting empty", self.path, e, aside)
            os.replace(self.path, aside)

    def save(self):
        data = {"accounts": self.accounts, "waiting": self.waiting}
        fd, tmp = tempfile.mkstemp(prefix=".directory-", suffix=".tmp", dir=self.folder)
        try:
            with os.fdopen(fd, "w", encoding="utf-8") as f:
                json.dump(data, f, indent=1, sort_keys=True)
                f.flush()
                os.fsync(f.fileno())
            os.replace(tmp, self.path)
        except BaseException:
            try:
                os.unlink(tmp)
            except OSError:
                pass
            raise

    def new_account(self, password, uid=None):
        while uid is None or uid in self.accounts:
            uid = str(random.randint(10000000, 99999999))
        self.accounts[uid] = {"password": password, "profile": {}, "friends": [],
                              "group": "General", "ip": "", "port": ""}
        self.save()
        return uid

    def photo_path(self, uid):
        return os.path.join(self.folder, "photos", uid + ".jpg")


class Session:
    """One client connection."""

    _next_id = 1

    def __init__(self, reader, writer):
        self.id = Session._next_id
        Session._next_id += 1
        self.reader = reader
        self.writer = writer
        peer = writer.get_extra_info("peername") or ("", 0)
        self.ip = peer[0]
        self.uid = None          # set by a good log-on
        self.announced = False   # has sent its status: visible to others
        self.status = STATUS_AVAILABLE
        self.group = "General"
        self.pending = []        # frames held back in batch mode
        # Writes of one frame in pieces must not interleave with another
        # task's frame to the same client.
        self.write_lock = asyncio.Lock()
        self.closed = False

    def name(self):
        return self.uid or "#%d" % self.id


class DirectoryServer:
    def __init__(self, data, host="127.0.0.1", port=9961, control_port=None,
                 update_build="1.0.0.0", update_url="http://127.0.0.1/parlo/update.exe",
                 record=True):
        self.store = Store(data)
        # Recording is for tests; a server left running for development keeps
        # no history of frames, so its memory stays flat.
        self.record = record
        self.host = host
        self.port = port
        self.control_port = control_port
        self.update_build = update_build
        self.update_url = update_url
        self.write_mode = "normal"
        self._replies = {}          # code -> raw chunks that answer its next frame
        self.sessions = {}          # session id -> Session
        self.online = {}            # user id -> Session (logged on)
        self._frames = []           # every frame in both directions
        self._frames_cond = threading.Condition()
        self._loop = None
        self._thread = None
        self._servers = []
        self._ready = threading.Event()
        self._error = None

    # ----- running -------------------------------------------------------

    def start(self):
        """Start listening on a thread of its own; returns once it listens."""
        self._thread = threading.Thread(target=self._run, name="directory-server", daemon=True)
        self._thread.start()
        self._ready.wait(10)
        if self._error:
            raise self._error
        return self

    def stop(self):
        if self._loop is None:
            return
        fut = asyncio.run_coroutine_threadsafe(self._shutdown(), self._loop)
        fut.result(10)
        self._loop.call_soon_threadsafe(self._loop.stop)
        self._thread.join(10)
        self._loop = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def serve_forever(self, on_ready=None):
        """Run in the calling thread until interrupted; on_ready() is called
        once the ports are known."""
        self._loop = asyncio.new_event_loop()
        asyncio.set_event_loop(self._loop)
        self._thread = threading.current_thread()
        self._loop.run_until_complete(self._listen())
        self._loop.add_signal_handler(signal.SIGTERM, self._loop.stop)
        if on_ready:
            on_ready()
        try:
            self._loop.run_forever()
        except KeyboardInterrupt:
            pass
        finally:
            self._loop.run_until_complete(self._shutdown())
            self._loop.close()

    def _run(self):
        self._loop = asyncio.new_event_loop()
        asyncio.set_event_loop(self._loop)
        try:
            self._loop.run_until_complete(self._listen())
        except Exception as e:  # reported to start()
            self._error = e
            self._ready.set()
            return
        self._loop.run_forever()
        self._loop.close()

    async def _listen(self):
        server = await asyncio.start_server(self._serve_client, self.host, self.port,
                                            limit=MAX_LINE + 2)
        self._servers.append(server)
        self.port = server.sockets[0].getsockname()[1]
        if self.control_port is not None:
            control = await asyncio.start_server(ControlHandler(self).serve, self.host,
                                                 self.control_port, limit=MAX_LINE)
            self._servers.append(control)
            self.control_port = control.sockets[0].getsockname()[1]
        self._ready.set()

    async def _shutdown(self):
        for server in self._servers:
            server.close()
        for session in list(self.sessions.values()):
            session.writer.close()
        self._servers = []

    def _call(self, fn, *args):
        """Run fn on the server's loop and return its result (any thread)."""
        if threading.current_thread() is self._thread or self._thread is None:
            return fn(*args)

        async def run():
            return fn(*args)
        return asyncio.run_coroutine_threadsafe(run(), self._loop).result(10)

    # ----- test control --------------------------------------------------

    def frames(self, since=0):
        """Recorded frames from index `since` on: dicts with dir ("in" from a
        client, "out" to it), session, user, code, params, text, raw."""
        with self._frames_cond:
            return list(self._frames[since:])

    def wait_frame(self, code, direction="in", user=None, since=0, timeout=5.0):
        """The first recorded frame at or after `since` that matches; raises
        TimeoutError when none comes in time."""
        deadline = time.monotonic() + timeout
        with self._frames_cond:
            while True:
                for f in self._frames[since:]:
                    if f["code"] == code and f["dir"] == direction and (user is None or f["user"] == user):
                        return f
                left = deadline - time.monotonic()
                if left <= 0:
                    raise TimeoutError("no %s frame %d for %s" % (direction, code, user))
                self._frames_cond.wait(left)

    def inject(self, target, chunks, pause=SPLIT_PAUSE):
        """Write raw bytes to a connected client: `chunks` is a list of
        latin-1 strings (or bytes), each written with one write, with a pause
        between writes. Two frames in one chunk arrive in one write; one frame
        spread over two chunks arrives split. `target` is a user id or a
        session number."""
        data = [c.encode("latin-1") if isinstance(c, str) else bytes(c) for c in chunks]

        async def run():
            session = self._find(target)
            if session is None:
                raise KeyError("no connection for %r" % (target,))
            async with session.write_lock:
                for i, chunk in enumerate(data):
                    if i:
                        await asyncio.sleep(pause)
                    self._record_out_raw(session, chunk)
                    session.writer.write(chunk)
                    await session.writer.drain()
        asyncio.run_coroutine_threadsafe(run(), self._loop).result(10)

    def reply_once(self, code, chunks):
        """The next frame with this code from any client is not handled: the
        chunks (latin-1 strings or bytes) are written to that client instead."""
        data = [c.encode("latin-1") if isinstance(c, str) else bytes(c) for c in chunks]
        self._call(self._replies.__setitem__, code, data)

    def flood(self, target, chunks, seconds):
        """Writes the chunks to a client over and over, as fast as it takes
        them, for `seconds` or until it goes; nothing is recorded. Returns the
        number of bytes written."""
        data = b"".join(c.encode("latin-1") if isinstance(c, str) else bytes(c) for c in chunks)

        async def run():
            session = self._find(target)
            if session is None:
                raise KeyError("no connection for %r" % (target,))
            written, stop = 0, time.monotonic() + seconds
            async with session.write_lock:
                try:
                    while time.monotonic() < stop and not session.writer.is_closing():
                        session.writer.write(data)
                        await asyncio.wait_for(session.writer.drain(), max(0.01, stop - time.monotonic()))
                        written += len(data)
                except (ConnectionError, OSError, asyncio.TimeoutError):
                    pass
            return written
        return asyncio.run_coroutine_threadsafe(run(), self._loop).result(seconds + 10)

    def pause_reading(self, target):
        """Stops reading from a client: what it sends piles up on its side."""
        def run():
            session = self._find(target)
            if session is None:
                raise KeyError("no connection for %r" % (target,))
            session.writer.transport.pause_reading()
        self._call(run)

    def send(self, target, code, params="", text=""):
        """Send one well-formed frame to a connected client."""
        self.inject(target, [frame(code, params, text) + "\r\n"])

    def set_write_mode(self, mode):
        if mode not in WRITE_MODES:
            raise ValueError("write mode must be one of %s" % (WRITE_MODES,))
        self._call(setattr, self, "write_mode", mode)

    def set_update(self, build, url):
        def apply():
            self.update_build, self.update_url = build, url
        self._call(apply)

    def disconnect(self, target):
        def run():
            session = self._find(target)
            if session:
                session.writer.close()
        self._call(run)

    def add_account(self, password, uid=None):
        """Create an account as 9001 would (with a chosen id when it is free);
        returns its id. Lets a test prepare a home that is already registered."""
        return self._call(self.store.new_account, password, uid)

    def refresh_friends(self, target):
        """Push 9032 with the user's friends' states, as the server may at will."""
        async def run():
            session = self._find(target)
            if session is None or session.uid is None:
                raise KeyError("no logged-on connection for %r" % (target,))
            await self._send(session, 9032, self._friends_states(session.uid))
        asyncio.run_coroutine_threadsafe(run(), self._loop).result(10)

    def online_users(self):
        return self._call(lambda: sorted(self.online))

    def account(self, uid):
        return self._call(lambda: json.loads(json.dumps(self.store.accounts.get(uid))))

    def waiting_messages(self, uid):
        return self._call(lambda: list(self.store.waiting.get(uid, [])))

    def _find(self, target):
        if isinstance(target, int):
            return self.sessions.get(target)
        return self.online.get(str(target))

    # ----- recording -----------------------------------------------------

    def _record(self, direction, session, line):
        LOG.debug("%s %s %s", "<-" if direction == "in" else "->", session.name(), line)
        if not self.record:
            return
        code, params, text = parse_line(line)
        entry = {"dir": direction, "session": session.id, "user": session.uid, "code": code,
                 "params": params, "text": text, "raw": line, "time": time.time()}
        with self._frames_cond:
            self._frames.append(entry)
            self._frames_cond.notify_all()

    def _record_out_raw(self, session, chunk):
        # Injected bytes may hold several frames or part of one; record each
        # complete line, and a partial one as it stands.
        text = chunk.decode("latin-1")
        for piece in text.split("\r\n"):
            if piece:
                self._record("out", session, piece)

    def _record_photo(self, session, size):
        if not self.record:
            return
        entry = {"dir": "in", "session": session.id, "user": session.uid, "code": None,
                 "params": [], "text": "", "raw": "<%d raw bytes>" % size, "time": time.time()}
        with self._frames_cond:
            self._frames.append(entry)
            self._frames_cond.notify_all()

    # ----- connection ----------------------------------------------------

    async def _serve_client(self, reader, writer):
        sock = writer.get_extra_info("socket")
        if sock is not None:
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        session = Session(reader, writer)
        self.sessions[session.id] = session
        LOG.info("connection %d from %s", session.id, session.ip)
        try:
            await self._send(session, 9000, session.ip)
            while not session.closed:
                try:
                    raw = await reader.readuntil(b"\r\n")
                except asyncio.IncompleteReadError:
                    break
                except asyncio.LimitOverrunError:
                    LOG.error("%s: line longer than %d bytes, closing", session.name(), MAX_LINE)
                    break
                line = raw[:-2].decode("latin-1")
                self._record("in", session, line)
                await self._handle(session, line)
                await self._flush(session)
        except (ConnectionError, OSError) as e:
            LOG.info("%s: %s", session.name(), e)
        finally:
            await self._drop(session)

    async def _drop(self, session):
        session.closed = True
        self.sessions.pop(session.id, None)
        if session.uid and self.online.get(session.uid) is session:
            del self.online[session.uid]
            if session.announced:
                await self._tell_friends(session.uid)
        try:
            session.writer.close()
        except (ConnectionError, OSError):
            pass
        LOG.info("connection %d (%s) closed", session.id, session.name())

    async def _send(self, session, code, params="", text=""):
        if session.closed:
            return
        line = frame(code, params, text)
        self._record("out", session, line)
        data = (line + "\r\n").encode("latin-1", "replace")
        if self.write_mode == "batch":
            session.pending.append(data)
            return
        try:
            async with session.write_lock:
                if self.write_mode == "split" and len(data) > 1:
                    half = len(data) // 2
                    session.writer.write(data[:half])
                    await session.writer.drain()
                    await asyncio.sleep(SPLIT_PAUSE)
                    data = data[half:]
                session.writer.write(data)
                await session.writer.drain()
        except (ConnectionError, OSError):
            session.closed = True

    async def _flush(self, session):
        if not session.pending or session.closed:
            return
        data, session.pending = b"".join(session.pending), []
        try:
            async with session.write_lock:
                session.writer.write(data)
                await session.writer.drain()
        except (ConnectionError, OSError):
            session.closed = True

    def _close(self, session, why):
        LOG.info("%s: closing: %s", session.name(), why)
        session.closed = True

    # ----- records -------------------------------------------------------

    def _user_record(self, uid):
        """UserRecord of an account as others see it: an invisible user looks offline."""
        acc = self.store.accounts[uid]
        profile = acc.get("profile", {})
        live = self.online.get(uid)
        shown = live is not None and live.announced and live.status != STATUS_INVISIBLE
        fields = [uid, clean(profile.get("UserName", "")), "1" if shown else "0",
                  str(live.status) if shown else "0", clean(acc.get("ip", "")),
                  clean(acc.get("port", ""))]
        return FIELD_SEP.join(fields)

    def _friends_states(self, uid):
        friends = self.store.accounts[uid].get("friends", [])
        return RECORD_SEP.join(self._user_record(f) for f in friends if f in self.store.accounts)

    def _listing(self, session, group):
        records = [self._user_record(s.uid) for s in self.online.values()
                   if s is not session and s.announced and s.status != STATUS_INVISIBLE
                   and s.group == group]
        return RECORD_SEP.join(records)

    def _random_record(self, session, group):
        candidates = [s for s in self.online.values()
                      if s is not session and s.announced and s.status != STATUS_INVISIBLE
                      and (not group or s.group == group)]
        if not candidates:
            return None
        s = random.choice(candidates)
        p = self.store.accounts[s.uid].get("profile", {})
        items = self._user_record(s.uid).split(FIELD_SEP) + [s.group]
        items += [clean(p.get(k, "")) for k in ("FirstName", "LastName", "Gender", "Age",
                                                "Country", "Hobbies", "Description")]
        return FIELD_SEP.join(items)

    async def _tell_friends(self, uid):
        """Send a user's state as 9016 to every online user who lists them as a friend."""
        record = self._user_record(uid)
        for other in list(self.online.values()):
            if other.uid != uid and uid in self.store.accounts[other.uid].get("friends", []):
                await self._send(other, 9016, record)
                await self._flush(other)

    # ----- dispatch ------------------------------------------------------

    async def _handle(self, session, line):
        code, params, text = parse_line(line)
        reply = self._replies.pop(code, None)
        if reply is not None:
            async with session.write_lock:
                for chunk in reply:
                    self._record_out_raw(session, chunk)
                    session.writer.write(chunk)
                await session.writer.drain()
            return
        if code == 9001:
            password = params[0] if params else ""
            uid = self.store.new_account(password)
            LOG.info("new account %s", uid)
            await self._send(session, 9002, uid + "," + password)
            return
        if code == 9003:
            await self._log_on(session, params)
            return
        if code == 9100:
            await self._photo(session, params)
            return
        if session.uid is None:
            self._close(session, "code %d before log-on" % code)
            return
        handler = {
            9005: self._profile, 9007: self._friend_ids, 9009: self._group_listing,
            9011: self._relay, 9013: self._ack, 9015: self._status, 9017: self._ack,
            9019: self._random, 9025: self._update, 9027: self._ack, 9031: self._keep_alive,
        }.get(code)
        if handler is None:
            self._close(session, "unknown code %d" % code)
            return
        await handler(session, params)

    async def _log_on(self, session, params):
        uid = params[0] if params else ""
        password = params[1] if len(params) > 1 else ""
        acc = self.store.accounts.get(uid)
        if acc is None or acc["password"] != password:
            LOG.info("%s: invalid log-on for %r", session.name(), uid)
            await self._send(session, 9030)
            return
        old = self.online.get(uid)
        if old is not None and old is not session:
            # A second log-on takes the place of the first; the old link goes
            # without telling friends, since the user stays online.
            old.uid = None
            old.closed = True
            old.writer.close()
        session.uid = uid
        session.group = acc.get("group", "General")
        self.online[uid] = session
        acc["ip"] = session.ip
        await self._send(session, 9004)

    async def _profile(self, session, params):
        record = ",".join(params).split(RECORD_SEP)
        acc = self.store.accounts[session.uid]
        profile = {name: record[i] if i < len(record) else "" for i, name in enumerate(PROFILE_FIELDS)}
        acc["profile"] = profile
        if profile["CurrentGroup"]:
            session.group = acc["group"] = profile["CurrentGroup"]
        acc["port"] = profile["ListenPort"]
        if profile["StatusMode"].isdigit() and int(profile["StatusMode"]) <= 4:
            session.status = int(profile["StatusMode"])
        self.store.save()
        if session.announced:
            await self._tell_friends(session.uid)
        await self._send(session, 9006)

    async def _friend_ids(self, session, params):
        self._set_friends(session, params)
        await self._send(session, 9008, self._friends_states(session.uid))

    def _set_friends(self, session, params):
        ids = []
        for p in params:
            p = p.strip()
            if p and p != session.uid and p not in ids:
                ids.append(p)
        self.store.accounts[session.uid]["friends"] = ids
        self.store.save()

    async def _group_listing(self, session, params):
        group = params[0] if params and params[0] else session.group
        session.group = group
        self.store.accounts[session.uid]["group"] = group
        await self._send(session, 9010, self._listing(session, group))

    async def _status(self, session, params):
        value = params[0] if params else ""
        if not (value.isdigit() and int(value) <= 4):
            self._close(session, "bad status %r" % value)
            return
        first = not session.announced
        session.status = int(value)
        session.announced = True
        await self._tell_friends(session.uid)
        if first:
            await self._deliver_waiting(session)
            await self._send(session, 9014)

    async def _deliver_waiting(self, session):
        waiting = self.store.waiting.pop(session.uid, [])
        for record in waiting:
            await self._send(session, 9012, record)
        if waiting:
            self.store.save()

    async def _relay(self, session, params):
        fields = ",".join(params).split(FIELD_SEP)
        if len(fields) < 9:
            LOG.info("%s: message record with %d fields ignored", session.name(), len(fields))
            return
        recipient = fields[0]
        if recipient not in self.store.accounts:
            LOG.info("%s: message for unknown user %r dropped", session.name(), recipient)
            return
        # The sender's id is taken from the link, not from the record. The
        # message is relayed as sent, whatever separators it holds; only what
        # would end the frame early goes.
        fields[1] = session.uid
        message = FIELD_SEP.join(fields[8:])
        for bad in ("\r", "\n", ">"):
            message = message.replace(bad, "")
        relayed = FIELD_SEP.join([clean(f) for f in fields[1:8]] + [message])
        target = self.online.get(recipient)
        if target is not None and target.announced:
            await self._send(target, 9012, relayed)
            await self._flush(target)
        else:
            self.store.waiting.setdefault(recipient, []).append(relayed)
            self.store.save()

    async def _random(self, session, params):
        group = params[0] if params else ""
        if group:
            session.group = group
        record = self._random_record(session, group)
        if record is None:
            await self._send(session, 9020)
        else:
            await self._send(session, 9018, record)

    async def _update(self, session, params):
        await self._send(session, 9026, clean(self.update_build) + FIELD_SEP + self.update_url)

    async def _keep_alive(self, session, params):
        self._set_friends(session, params)
        await self._send(session, 9032, self._friends_states(session.uid))
        await self._send(session, 9010, self._listing(session, session.group))

    async def _ack(self, session, params):
        pass

    async def _photo(self, session, params):
        size = params[0] if params else ""
        if session.uid is None or not size.isdigit() or int(size) > MAX_PHOTO:
            self._close(session, "photo upload refused (size %r)" % size)
            return
        try:
            data = await session.reader.readexactly(int(size))
        except asyncio.IncompleteReadError:
            self._close(session, "photo cut short")
            return
        self._record_photo(session, len(data))
        path = self.store.photo_path(session.uid)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        tmp = path + ".tmp"
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, path)
        await self._send(session, 9101)


class ControlHandler:
    """JSON-lines control link for tests that run the server as a process.

    Each request is one JSON object on a line; each answer one JSON object
    with "ok" true and a "result", or "ok" false and an "error". Requests:
      {"cmd": "frames", "since": 0}
      {"cmd": "wait", "code": 9005, "dir": "in", "user": null, "since": 0, "timeout": 5}
      {"cmd": "inject", "target": "12345678" | 3, "chunks": ["  9010<", ">\\r\\n"]}
      {"cmd": "send", "target": ..., "code": 9028, "params": "", "text": ""}
      {"cmd": "write_mode", "mode": "normal" | "batch" | "split"}
      {"cmd": "update", "build": "1.0.0.1", "url": "http://..."}
      {"cmd": "disconnect", "target": ...}
      {"cmd": "online"}
      {"cmd": "account", "password": "secret1", "uid": "12345678" | null}
      {"cmd": "refresh_friends", "target": ...}
      {"cmd": "reply", "code": 9001, "chunks": ["  9002<x>\\r\\n"]}
    Frame texts are latin-1 strings: each character is one byte of the wire.
    """

    def __init__(self, server):
        self.server = server

    async def serve(self, reader, writer):
        loop = asyncio.get_running_loop()
        try:
            while True:
                line = await reader.readline()
                if not line:
                    break
                try:
                    request = json.loads(line)
                    # Blocking calls run off the loop: they wait on it.
                    result = await loop.run_in_executor(None, self._run, request)
                    answer = {"ok": True, "result": result}
                except Exception as e:  # reported to the test, never fatal here
                    answer = {"ok": False, "error": "%s: %s" % (type(e).__name__, e)}
                writer.write((json.dumps(answer) + "\n").encode("utf-8"))
                await writer.drain()
        except (ConnectionError, asyncio.LimitOverrunError, ValueError):
            pass
        finally:
            writer.close()

    def _run(self, r):
        s = self.server
        cmd = r.get("cmd")
        if cmd == "frames":
            return s.frames(r.get("since", 0))
        if cmd == "wait":
            return s.wait_frame(r["code"], r.get("dir", "in"), r.get("user"), r.get("since", 0),
                                r.get("timeout", 5.0))
        if cmd == "inject":
            s.inject(r["target"], r["chunks"], r.get("pause", SPLIT_PAUSE))
            return None
        if cmd == "send":
            s.send(r["target"], r["code"], r.get("params", ""), r.get("text", ""))
            return None
        if cmd == "write_mode":
            s.set_write_mode(r["mode"])
            return None
        if cmd == "update":
            s.set_update(r["build"], r["url"])
            return None
        if cmd == "disconnect":
            s.disconnect(r["target"])
            return None
        if cmd == "online":
            return s.online_users()
        if cmd == "account":
            return s.add_account(r["password"], r.get("uid"))
        if cmd == "refresh_friends":
            s.refresh_friends(r["target"])
            return None
        if cmd == "reply":
            s.reply_once(r["code"], r["chunks"])
            return None
        raise ValueError("unknown command %r" % (cmd,))


def main(argv=None):
    ap = argparse.ArgumentParser(description="Local Parlo directory server")
    ap.add_argument("--data", required=True, help="folder for accounts, messages and photos")
    ap.add_argument("--host", default="127.0.0.1")
    ap.add_argument("--port", type=int, default=9961)
    ap.add_argument("--control-port", type=int, default=None,
                    help="also listen for JSON-lines test control on this port (0: any)")
    ap.add_argument("--update-build", default="1.0.0.0", help="build text sent in 9026")
    ap.add_argument("--update-url", default="http://127.0.0.1/parlo/update.exe")
    ap.add_argument("--verbose", action="store_true", help="log every frame")
    args = ap.parse_args(argv)
    logging.basicConfig(level=logging.DEBUG if args.verbose else logging.INFO,
                        format="%(asctime)s %(levelname)s %(message)s", stream=sys.stderr)
    server = DirectoryServer(args.data, args.host, args.port, args.control_port,
                             args.update_build, args.update_url,
                             record=args.control_port is not None)

    server.serve_forever(lambda: print(
        "READY %d %s" % (server.port, server.control_port if server.control_port else "-"),
        flush=True))

if __name__ == "__main__":
    main()
