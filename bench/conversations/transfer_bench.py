#!/usr/bin/env python3
"""A folder of about 200 MB from one parlo to another on loopback (pack, send,
unpack), and in the same run the same folder through Info-ZIP's `zip -9 -j`,
a raw `socat` copy of that archive and `unzip`.

    python3 bench/conversations/transfer_bench.py [BUILD_DIR] [--mb N]

Both programs run headless against the local directory server; the receiver
accepts at once. Phases come from the programs' trace lines: packing ends with
the offer, sending with the last byte in, unpacking with the files written.
The folder is half text (which packs to about a third) and half random bytes.
"""

import os
import random
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.abspath(os.path.join(HERE, "..", ".."))
args = sys.argv[1:]
MB = 200
if "--mb" in args:
    at = args.index("--mb")
    MB = int(args[at + 1])
    del args[at:at + 2]
BUILD = os.path.abspath(args[0]) if args else os.path.join(SOURCE, "build")
os.environ.setdefault("PARLO_SOURCE_DIR", SOURCE)
os.environ.setdefault("PARLO_BINARY_DIR", BUILD)
sys.path.insert(0, os.path.join(SOURCE, "tests", "core"))

import parlo_e2e as e2e  # noqa: E402

FILE_MB = 5


def make_folder(folder):
    rng = random.Random(7)
    words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
             for _ in range(5000)]
    text = (" ".join(rng.choices(words, k=400000)) + "\n").encode()
    paths = []
    for i in range(MB // FILE_MB):
        path = os.path.join(folder, "file%02d.%s" % (i, "txt" if i % 2 == 0 else "bin"))
        with open(path, "wb") as f:
            if i % 2 == 0:
                start = rng.randrange(len(text))
                data = (text[start:] + text) * (FILE_MB * 2**20 // len(text) + 1)
                f.write(data[:FILE_MB * 2**20])
            else:
                f.write(os.urandom(FILE_MB * 2**20))
        paths.append(path)
    return paths


def peak_rss_mib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return 0.0


def timed(cmd, **kw):
    t = time.monotonic()
    subprocess.run(cmd, check=True, **kw)
    return time.monotonic() - t


def parlo_run(paths, work):
    server = e2e.start_server()
    server.add_account("secret1", "12345678")
    server.add_account("secret2", "87654321")
    homes = [e2e.Home(e2e.base_settings(server, uid, pw, AutoListen=True))
             for uid, pw in (("87654321", "secret2"), ("12345678", "secret1"))]
    programs = []
    try:
        port_b = homes[0].read("settings.txt").split("ListenPort = str:")[1].split("\n")[0]
        b = e2e.Parlo(homes[0], {"PARLO_TEST_TRANSFER_ACCEPT": "yes"})
        programs.append(b)
        b.wait_trace("listening", timeout=30)
        a = e2e.Parlo(homes[1], {"PARLO_TEST_TRANSFER_TO": "Bea:" + port_b,
                                 "PARLO_TEST_TRANSFER_SEND": "binary:bench:" + "|".join(paths)})
        programs.append(a)
        packing = a.trace_time("transfer packing", timeout=30)
        i, packed_line = a.wait_trace(lambda l: l.startswith("transfer packed") or l.startswith("transfer failed"),
                                      timeout=600)
        if not packed_line.startswith("transfer packed"):
            raise SystemExit("parlo could not pack: " + packed_line)
        packed = a.lines[i][0]
        complete = b.trace_time("transfer complete", timeout=600)
        i, got = b.wait_trace(lambda l: l.startswith("transfer received") or l.startswith("transfer failed"),
                              timeout=600)
        received = b.lines[i][0]
        a.wait_trace("transfer sent binary", timeout=30)
        rss = (peak_rss_mib(a.proc.pid), peak_rss_mib(b.proc.pid))
        if got != "transfer received binary %d" % len(paths):
            raise SystemExit("parlo did not receive the folder: " + got)
        out = homes[0].file("Files")
        sender_folder = os.path.join(out, os.listdir(out)[0])
        for p in paths:
            if subprocess.run(["cmp", "-s", p, os.path.join(sender_folder, os.path.basename(p))]).returncode:
                raise SystemExit("parlo's copy of %s differs" % p)
        size = int(packed_line.split()[-1])
        for p in programs:
            p.stop(60)
        return packed - packing, complete - packed, received - complete, size, rss
    finally:
        for p in programs:
            if p.proc.poll() is None:
                p.proc.kill()
        e2e.stop_server(server)
        for h in homes:
            h.remove()


def reference_run(paths, work):
    archive = os.path.join(work, "ref.zip")
    pack = timed(["zip", "-q", "-9", "-j", archive] + paths)
    copy = os.path.join(work, "copy.zip")
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    t = time.monotonic()
    listener = subprocess.Popen(["socat", "-u", "TCP-LISTEN:%d,bind=127.0.0.1,reuseaddr" % port,
                                 "CREATE:" + copy])
    for _ in range(200):
        if subprocess.run(["socat", "-u", "OPEN:" + archive, "TCP:127.0.0.1:%d" % port],
                          stderr=subprocess.DEVNULL).returncode == 0:
            break
        time.sleep(0.01)
    listener.wait(120)
    send = time.monotonic() - t
    out = os.path.join(work, "unzipped")
    unpack = timed(["unzip", "-q", "-o", copy, "-d", out])
    return pack, send, unpack, os.path.getsize(archive)


def main():
    work = tempfile.mkdtemp(prefix="parlo-transfer-bench-")
    try:
        folder = os.path.join(work, "folder")
        os.makedirs(folder)
        paths = make_folder(folder)
        total_mb = sum(os.path.getsize(p) for p in paths) / 2**20
        ref = reference_run(paths, work)
        ours = parlo_run(paths, work)
        print("transfer of %d files, %.0f MiB, on loopback" % (len(paths), total_mb))
        print("%-10s %12s %12s %8s" % ("phase", "parlo s", "reference s", "ratio"))
        names = ("pack", "send", "unpack")
        refs = ("zip -9 -j", "socat", "unzip")
        for n, r, a, b in zip(names, refs, ours[:3], ref[:3]):
            print("%-10s %12.2f %12.2f %8.2f   (reference: %s)" % (n, a, b, a / b, r))
        print("%-10s %12.2f %12.2f %8.2f" % ("total", sum(ours[:3]), sum(ref[:3]), sum(ours[:3]) / sum(ref[:3])))
        print("package    %12d %12d %8.3f   (bytes, parlo / zip -9)" % (ours[3], ref[3], ours[3] / ref[3]))
        print("throughput %12.1f %12.1f          (MiB/s of the folder, whole transfer)" %
              (total_mb / sum(ours[:3]), total_mb / sum(ref[:3])))
        print("peak RSS   sender %.0f MiB, receiver %.0f MiB" % ours[4])
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
