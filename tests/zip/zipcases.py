#!/usr/bin/env python3
"""Archives and listings for the zip tests, written from the zip format itself.

  zipcases.py list ARCHIVE...         one line per entry, tab-separated, from zipfile;
                                      each archive's lines end with a line "--"
  zipcases.py shrink OUT NAME INPUT   an archive holding INPUT shrunk (method 1)
  zipcases.py implode OUT NAME INPUT FLAGS   INPUT imploded with literals only (method 6)
  zipcases.py hostile DIR             hostile archives in DIR
  zipcases.py many OUT N COUNT        N stored entries behind an end record that says COUNT
                                      (modulo 65536, as a 16-bit field without zip64 holds it)
"""
import binascii
import stat
import struct
import sys
import zipfile
import zlib


def listing(path):
    with zipfile.ZipFile(path) as z:
        print("comment\t" + z.comment.hex())
        for i in z.infolist():
            y, mo, d, h, mi, s = i.date_time
            dos = ((y - 1980) << 25) | (mo << 21) | (d << 16) | (h << 11) | (mi << 5) | (s // 2)
            fields = [i.filename, "%08x" % i.CRC, str(i.compress_size), str(i.file_size),
                      str(i.compress_type), str(i.flag_bits), "%08x" % dos, i.comment.hex(),
                      str(len(i.extra)), str(i.create_system), "%08x" % i.external_attr,
                      str(i.header_offset)]
            print("\t".join(fields))


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def put(self, value, bits):
        self.acc |= value << self.n
        self.n += bits
        while self.n >= 8:
            self.out.append(self.acc & 0xFF)
            self.acc >>= 8
            self.n -= 8

    def done(self):
        if self.n:
            self.out.append(self.acc & 0xFF)
        return bytes(self.out)


def shrink(data):
    """LZW with 9-13 bit codes; 256,1 widens the code, 256,2 frees every leaf."""
    bw = BitWriter()
    if not data:
        return b""
    size = 8192
    prefix = {}   # code -> (prefix code, byte)
    table = {}    # (prefix code, byte) -> code
    codesize = 9
    free = 257

    def next_free(start):
        c = start
        while c < size and c in prefix:
            c += 1
        return c

    def add(w, c):
        nonlocal free, codesize
        prefix[free] = (w, c)
        table[(w, c)] = free
        free = next_free(free + 1)
        if free >= (1 << codesize) and codesize < 13:
            bw.put(256, codesize)
            bw.put(1, codesize)
            codesize += 1

    w = data[0]
    for c in data[1:]:
        if (w, c) in table:
            w = table[(w, c)]
            continue
        bw.put(w, codesize)
        if free >= size:
            # Table full: the decoder is one entry behind, so clear before adding (w, c).
            bw.put(256, codesize)
            bw.put(2, codesize)
            parents = {p for (p, _) in prefix.values()}
            for code in [k for k in prefix if k not in parents]:
                del table[prefix.pop(code)]
            free = next_free(257)
        add(w, c)
        w = c
    bw.put(w, codesize)
    return bw.done()


def implode_literals(data, flags):
    """Implode with literal codes only: every code length 8 (or 6 for the unused trees)."""
    bw = BitWriter()
    def tree(n, length):
        runs = []
        left = n
        while left:
            k = min(16, left)
            runs.append(((k - 1) << 4) | (length - 1))
            left -= k
        bw.put(len(runs) - 1, 8)
        for r in runs:
            bw.put(r, 8)
    three = bool(flags & 4)
    if three:
        tree(256, 8)
    tree(64, 6)
    tree(64, 6)
    for b in data:
        bw.put(1, 1)
        if three:
            # Canonical codes of equal length are the symbols themselves, most significant
            # bit first, and the stream carries every code bit inverted.
            for i in range(7, -1, -1):
                bw.put(((b >> i) & 1) ^ 1, 1)
        else:
            bw.put(b, 8)
    return bw.done()


def raw_zip(entries, comment=b"", count=None):
    """entries: (name bytes, method, flags, crc, compressed bytes, size, external attr, version made by)."""
    count = (len(entries) if count is None else count) & 0xFFFF
    out = bytearray()
    central = bytearray()
    for name, method, flags, crc, comp, usize, ext, made in entries:
        off = len(out)
        out += struct.pack("<IHHHIIIIHH", 0x04034B50, 20, flags, method, 0x5A2B6000, crc, len(comp), usize,
                           len(name), 0) + name + comp
        central += struct.pack("<IHHHHIIIIHHHHHII", 0x02014B50, made, 20, flags, method, 0x5A2B6000, crc, len(comp),
                               usize, len(name), 0, 0, 0, 0, ext, off) + name
    cd = len(out)
    out += central
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(central), cd, len(comment))
    return bytes(out + comment)


def deflate_raw(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def hostile(outdir):
    payload = b"owned\n"
    crc = binascii.crc32(payload)
    traversal = [b"../evil1.txt", b"a/../../evil2.txt", b"/tmp/parlo-abs-evil3.txt", b"C:/evil4.txt",
                 b"..\\evil5.txt", b"C:\\evil6.txt", b"a\\..\\..\\evil7.txt", b"./../evil8.txt", b"..",
                 b"", b"good.txt"]
    with open(outdir + "/traversal.zip", "wb") as f:
        f.write(raw_zip([(n, 0, 0, crc, payload, len(payload), 0x20, 20) for n in traversal]))
    # A link entry, then files written "through" it.
    link_attr = (stat.S_IFLNK | 0o777) << 16
    with open(outdir + "/symlink.zip", "wb") as f:
        f.write(raw_zip([(b"link", 0, 0, binascii.crc32(b".."), b"..", 2, link_attr, 0x031E),
                         (b"link/evil9.txt", 0, 0, crc, payload, len(payload), 0x20, 0x031E),
                         (b"abs", 0, 0, binascii.crc32(b"/tmp"), b"/tmp", 4, link_attr, 0x031E),
                         (b"abs/parlo-evil10.txt", 0, 0, crc, payload, len(payload), 0x20, 0x031E)]))
    # Stated size far below what the data inflates to.
    big = b"A" * 1000000
    with open(outdir + "/sizelie.zip", "wb") as f:
        f.write(raw_zip([(b"lie.txt", 8, 0, binascii.crc32(big), deflate_raw(big), 10, 0x20, 20)]))
    # Honest sizes, but far more than anyone should unpack.
    zeros = b"\0" * (64 << 20)
    comp = deflate_raw(zeros)
    with open(outdir + "/bomb.zip", "wb") as f:
        f.write(raw_zip([(b"z%d.bin" % i, 8, 0, binascii.crc32(zeros), comp, len(zeros), 0x20, 20)
                         for i in range(4)]))
    # Entries sharing bytes: a second record pointing at the first entry, and
    # one whose header would lie inside the first entry's data.
    for name, offset in ((b"overlap-same.zip", 0), (b"overlap-inside.zip", 40)):
        data = bytearray(raw_zip([(b"a.txt", 0, 0, crc, payload * 20, len(payload) * 20, 0x20, 20),
                                  (b"b.txt", 0, 0, crc, payload, len(payload), 0x20, 20)]))
        struct.pack_into("<I", data, data.rfind(b"PK\x01\x02") + 42, offset)
        with open(outdir + "/" + name.decode(), "wb") as f:
            f.write(bytes(data))
    # A compressed size that runs past the end of the file, and an encrypted entry shorter
    # than its header.
    with open(outdir + "/truncated.zip", "wb") as f:
        data = raw_zip([(b"tiny.enc", 0, 1, crc, b"abc", 3, 0x20, 20),
                        (b"short.txt", 0, 0, crc, payload, len(payload), 0x20, 20)])
        # Patch the last central record's compressed size to something huge (an
        # entry before it would then overlap it).
        cd = data.rfind(b"PK\x01\x02")
        data = data[:cd + 20] + struct.pack("<I", 0x7FFFFFF0) + data[cd + 24:]
        f.write(data)


def stopshort(outdir):
    """Decoders that end before their stream does, and a stream that ends before its stated size."""
    text = (b"The CRC and the size decide what an entry holds. " * 27)[:1300]
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    synced = c.compress(text) + c.flush(zlib.Z_SYNC_FLUSH)  # ends 00 00 FF FF, no last block
    entries = [(b"synced.txt", 8, 0, binascii.crc32(text), synced, len(text), 0x20, 20)]
    entries += [(b"empty%d.bin" % m, m, 0, 0, b"", 0, 0x20, 20) for m in (0, 1, 2, 5, 6, 8)]
    half = text[:650]
    entries.append((b"short.txt", 8, 0, binascii.crc32(half), deflate_raw(half), len(text), 0x20, 20))
    with open(outdir + "/stopshort.zip", "wb") as f:
        f.write(raw_zip(entries))


def main():
    cmd = sys.argv[1]
    if cmd == "list":
        for path in sys.argv[2:]:
            listing(path)
            print("--")
    elif cmd in ("shrink", "implode"):
        out, name, src = sys.argv[2], sys.argv[3].encode(), sys.argv[4]
        data = open(src, "rb").read()
        if cmd == "shrink":
            comp, method, flags = shrink(data), 1, 0
        else:
            flags = int(sys.argv[5])
            comp, method = implode_literals(data, flags), 6
        with open(out, "wb") as f:
            f.write(raw_zip([(name, method, flags, binascii.crc32(data), comp, len(data), 0x20, 20)]))
    elif cmd == "hostile":
        hostile(sys.argv[2])
    elif cmd == "stopshort":
        stopshort(sys.argv[2])
    elif cmd == "many":
        out, n, count = sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
        entries = []
        for i in range(n):
            data = b"entry %d\n" % i
            entries.append((b"f%05d.txt" % i, 0, 0, binascii.crc32(data), data, len(data), 0x20, 20))
        with open(out, "wb") as f:
            f.write(raw_zip(entries, count=count))
    else:
        sys.exit("unknown command " + cmd)


if __name__ == "__main__":
    main()
