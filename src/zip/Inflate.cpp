#include "zip/Inflate.h"

#include <algorithm>
#include <cstring>

namespace zip {

namespace {

// Table entry: bits 0-7 bits to drop, 8-15 operation, 16-31 value.
enum : uint32_t {
  kOpLiteral = 0,
  kOpBase = 16,   // + number of extra bits; value is the base length or distance
  kOpEnd = 32,
  kOpLink = 64,   // + index bits of the sub-table; value is its offset
  kOpBad = 96,
};

constexpr uint32_t Entry(uint32_t bits, uint32_t op, uint32_t value) { return bits | op << 8 | value << 16; }
constexpr uint32_t EBits(uint32_t e) { return e & 0xFF; }
constexpr uint32_t EOp(uint32_t e) { return (e >> 8) & 0xFF; }
constexpr uint32_t EVal(uint32_t e) { return e >> 16; }
constexpr uint32_t kBadEntry = Entry(0, kOpBad, 0);

const uint16_t cplens[31] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
                             35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0, 0};
const uint8_t cplext[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 0, 0};
const uint16_t cpdist[32] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193,
                             257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0, 0};
const uint8_t cpdext[32] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
                            7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 0, 0};
// Order in which the code-length code lengths are sent.
const uint8_t border[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr int kLenRoot = 10;
constexpr int kDistRoot = 8;
constexpr int kMaxCodeLen = 15;
// Root table plus one sub-table per code longer than the root, at worst.
constexpr int kLenTableSize = (1 << kLenRoot) + 288 * (1 << (kMaxCodeLen - kLenRoot));
constexpr int kDistTableSize = (1 << kDistRoot) + 32 * (1 << (kMaxCodeLen - kDistRoot));

constexpr size_t kHistory = 32768;
constexpr size_t kMaxMatch = 258;
// Room past the write position for one match plus the 8-byte over-copy of the match loop.
constexpr size_t kOutMargin = kMaxMatch + 16;
constexpr size_t kOutSize = kHistory + 256 * 1024 + kOutMargin;
constexpr size_t kInSize = 64 * 1024;
constexpr size_t kInPad = 32;

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

uint32_t SymbolEntryLit(int sym, uint32_t bits) {
  if (sym < 256) return Entry(bits, kOpLiteral, static_cast<uint32_t>(sym));
  if (sym == 256) return Entry(bits, kOpEnd, 0);
  if (sym <= 285) return Entry(bits, kOpBase + cplext[sym - 257], cplens[sym - 257]);
  return Entry(bits, kOpBad, 0);
}

uint32_t SymbolEntryDist(int sym, uint32_t bits) {
  if (sym < 30) return Entry(bits, kOpBase + cpdext[sym], cpdist[sym]);
  return Entry(bits, kOpBad, 0);
}

uint32_t SymbolEntryPlain(int sym, uint32_t bits) { return Entry(bits, kOpLiteral, static_cast<uint32_t>(sym)); }

inline uint32_t ReverseBits(uint32_t code, int len) {
  uint32_t r = 0;
  for (int i = 0; i < len; ++i) {
    r = (r << 1) | (code & 1);
    code >>= 1;
  }
  return r;
}

// Builds a two-level decoding table for canonical codes of the given lengths. Codes
// longer than `root` bits go through sub-tables of (longest - root) index bits.
// False for an over-subscribed set; unused slots of an incomplete set decode as bad.
bool BuildTable(const uint8_t* lens, int n, int root, uint32_t (*symbol)(int, uint32_t), uint32_t* table,
                int tableSize) {
  int count[kMaxCodeLen + 1] = {0};
  for (int i = 0; i < n; ++i) count[lens[i]]++;
  count[0] = 0;
  int left = 1, maxLen = 0;
  for (int len = 1; len <= kMaxCodeLen; ++len) {
    left <<= 1;
    left -= count[len];
    if (left < 0) return false;
    if (count[len]) maxLen = len;
  }
  const int rootSize = 1 << root;
  for (int i = 0; i < rootSize; ++i) table[i] = kBadEntry;
  if (maxLen == 0) return true;
  uint32_t nextCode[kMaxCodeLen + 2];
  uint32_t code = 0;
  for (int len = 1; len <= kMaxCodeLen; ++len) {
    code = (code + static_cast<uint32_t>(count[len - 1])) << 1;
    nextCode[len] = code;
  }
  const int subBits = maxLen > root ? maxLen - root : 0;
  int nextSub = rootSize;
  for (int sym = 0; sym < n; ++sym) {
    const int len = lens[sym];
    if (len == 0) continue;
    const uint32_t rev = ReverseBits(nextCode[len]++, len);
    if (len <= root) {
      const uint32_t e = symbol(sym, static_cast<uint32_t>(len));
      for (uint32_t k = rev; k < static_cast<uint32_t>(rootSize); k += 1u << len) table[k] = e;
      continue;
    }
    const uint32_t prefix = rev & static_cast<uint32_t>(rootSize - 1);
    if (EOp(table[prefix]) != kOpLink + static_cast<uint32_t>(subBits)) {
      if (nextSub + (1 << subBits) > tableSize) return false;
      table[prefix] = Entry(static_cast<uint32_t>(root), kOpLink + static_cast<uint32_t>(subBits),
                            static_cast<uint32_t>(nextSub));
      for (int i = 0; i < (1 << subBits); ++i) table[nextSub + i] = kBadEntry;
      nextSub += 1 << subBits;
    }
    uint32_t* sub = table + EVal(table[prefix]);
    const int rest = len - root;
    const uint32_t e = symbol(sym, static_cast<uint32_t>(rest));
    for (uint32_t k = rev >> root; k < (1u << subBits); k += 1u << rest) sub[k] = e;
  }
  return true;
}

struct FixedTables {
  uint32_t lit[kLenTableSize];
  uint32_t dist[kDistTableSize];
  FixedTables() {
    uint8_t lens[320];
    for (int i = 0; i < 144; ++i) lens[i] = 8;
    for (int i = 144; i < 256; ++i) lens[i] = 9;
    for (int i = 256; i < 280; ++i) lens[i] = 7;
    for (int i = 280; i < 288; ++i) lens[i] = 8;
    BuildTable(lens, 288, kLenRoot, SymbolEntryLit, lit, kLenTableSize);
    for (int i = 0; i < 32; ++i) lens[i] = 5;
    BuildTable(lens, 32, kDistRoot, SymbolEntryDist, dist, kDistTableSize);
  }
};

const FixedTables& Fixed() {
  static const FixedTables tables;
  return tables;
}

}  // namespace

struct TInflater::State {
  TZipSource* src = nullptr;
  TZipSink* snk = nullptr;
  // Input: real bytes in [in, inEnd); zeros follow once the source is used up.
  uint8_t inBuf[kInSize + kInPad];
  const uint8_t* in = inBuf;
  const uint8_t* inEnd = inBuf;
  const uint8_t* inLimit = inBuf;  // past this, refill before loading 8 bytes
  bool sourceDone = false;
  uint64_t bits = 0;
  unsigned nbits = 0;
  // Output: the last 32 KiB of history, then the bytes not yet written out.
  // Not cleared: a match may only reach bytes this stream wrote (checked per match).
  std::unique_ptr<uint8_t[]> outBuf{new uint8_t[kOutSize]};
  size_t pos = 0, flushed = 0;
  uint64_t* total = nullptr;
  uint32_t lenTable[kLenTableSize];
  uint32_t distTable[kDistTableSize];

  void Reset(TZipSource& source, TZipSink& sink, uint64_t* t) {
    src = &source;
    snk = &sink;
    total = t;
    *total = 0;
    in = inEnd = inLimit = inBuf;
    sourceDone = false;
    bits = 0;
    nbits = 0;
    pos = flushed = 0;
  }

  // Moves the unread input to the front and tops it up. False once the reader has run
  // well past the end of the data: the stream is truncated.
  bool RefillInput() {
    if (sourceDone) return in <= inEnd + 16;
    const size_t keep = static_cast<size_t>(inEnd - in);
    std::memmove(inBuf, in, keep);
    in = inBuf;
    inEnd = inBuf + keep;
    while (!sourceDone && inEnd < inBuf + kInSize - 8) {
      const size_t n = src->ReadChunk(const_cast<uint8_t*>(inEnd), static_cast<size_t>(inBuf + kInSize - inEnd));
      if (n == 0) sourceDone = true;
      inEnd += n;
      if (inEnd - in >= 32768) break;
    }
    if (sourceDone) {
      std::memset(const_cast<uint8_t*>(inEnd), 0, kInPad);
      inLimit = inEnd + kInPad - 8;
    } else {
      inLimit = inEnd - 8;
    }
    return true;
  }

  inline bool NeedBits() {
    if (in > inLimit && !RefillInput()) return false;
    if (in > inLimit) return false;
    bits |= Load64(in) << nbits;
    in += (63 - nbits) >> 3;
    nbits |= 56;
    return true;
  }

  uint32_t Take(unsigned n) {
    const uint32_t v = static_cast<uint32_t>(bits & ((1ull << n) - 1));
    bits >>= n;
    nbits -= n;
    return v;
  }

  void FlushOut(bool slide) {
    if (pos > flushed) {
      snk->Write(outBuf.get() + flushed, pos - flushed);
      *total += pos - flushed;
    }
    flushed = pos;
    if (slide && pos > kHistory) {
      std::memmove(outBuf.get(), outBuf.get() + pos - kHistory, kHistory);
      pos = flushed = kHistory;
    }
  }

  // One whole byte from the bit buffer or the input, for stored blocks.
  bool GetByte(uint8_t& b) {
    if (nbits >= 8) {
      b = static_cast<uint8_t>(Take(8));
      return true;
    }
    // Whole bytes come straight from the input now; read-ahead bits are stale.
    bits = 0;
    nbits = 0;
    if (in >= inEnd && !sourceDone) RefillInput();
    if (in >= inEnd) return false;
    b = *in++;
    return true;
  }

  bool Stored() {
    Take(nbits & 7);
    uint8_t h[4];
    for (auto& b : h)
      if (!GetByte(b)) return false;
    const uint32_t len = h[0] | h[1] << 8, nlen = h[2] | h[3] << 8;
    if (len != (~nlen & 0xFFFF)) return false;
    uint32_t left = len;
    while (left && nbits >= 8) {
      if (pos > kOutSize - kOutMargin) FlushOut(true);
      outBuf[pos++] = static_cast<uint8_t>(Take(8));
      --left;
    }
    // Bits above nbits were read ahead from bytes we now copy directly; drop them.
    if (nbits == 0) bits = 0;
    while (left) {
      if (in >= inEnd) {
        if (sourceDone || (RefillInput(), in >= inEnd)) return false;
      }
      if (pos > kOutSize - kOutMargin) FlushOut(true);
      size_t n = left;
      n = std::min<size_t>(n, static_cast<size_t>(inEnd - in));
      n = std::min<size_t>(n, kOutSize - kOutMargin - pos + 1);
      std::memcpy(outBuf.get() + pos, in, n);
      pos += n;
      in += n;
      left -= static_cast<uint32_t>(n);
    }
    return true;
  }

  bool ReadDynamicTables() {
    if (!NeedBits()) return false;
    const int hlit = static_cast<int>(Take(5)) + 257;
    const int hdist = static_cast<int>(Take(5)) + 1;
    const int hclen = static_cast<int>(Take(4)) + 4;
    if (hlit > 286 || hdist > 30) return false;
    uint8_t clens[19] = {0};
    for (int i = 0; i < hclen; ++i) {
      if (nbits < 3 && !NeedBits()) return false;
      clens[border[i]] = static_cast<uint8_t>(Take(3));
    }
    uint32_t clTable[1 << 7];
    if (!BuildTable(clens, 19, 7, SymbolEntryPlain, clTable, 1 << 7)) return false;
    uint8_t lens[286 + 30];
    int n = 0;
    while (n < hlit + hdist) {
      if (!NeedBits()) return false;
      const uint32_t e = clTable[bits & 127];
      if (EOp(e) == kOpBad) return false;
      Take(EBits(e));
      const uint32_t sym = EVal(e);
      if (sym < 16) {
        lens[n++] = static_cast<uint8_t>(sym);
        continue;
      }
      uint8_t value = 0;
      int repeat;
      if (sym == 16) {
        if (n == 0) return false;
        value = lens[n - 1];
        repeat = 3 + static_cast<int>(Take(2));
      } else if (sym == 17) {
        repeat = 3 + static_cast<int>(Take(3));
      } else {
        repeat = 11 + static_cast<int>(Take(7));
      }
      if (n + repeat > hlit + hdist) return false;
      while (repeat--) lens[n++] = value;
    }
    if (lens[256] == 0) return false;  // a block that cannot end
    if (!BuildTable(lens, hlit, kLenRoot, SymbolEntryLit, lenTable, kLenTableSize)) return false;
    return BuildTable(lens + hlit, hdist, kDistRoot, SymbolEntryDist, distTable, kDistTableSize);
  }

  // Decodes one Huffman-coded block. 0 bad data, 1 block done.
  bool Codes(const uint32_t* lt, const uint32_t* dt) {
    uint8_t* const base = outBuf.get();
    const size_t outLimit = kOutSize - kOutMargin;
    for (;;) {
      if (in > inLimit && !RefillInput()) return false;
      if (in > inLimit) return false;
      bits |= Load64(in) << nbits;
      in += (63 - nbits) >> 3;
      nbits |= 56;
      if (pos > outLimit) FlushOut(true);

      uint32_t e = lt[bits & ((1u << kLenRoot) - 1)];
      uint32_t op = EOp(e);
      if (op >= kOpLink) {
        if (op >= kOpBad) return false;
        bits >>= kLenRoot;
        nbits -= kLenRoot;
        e = lt[EVal(e) + (bits & ((1u << (op - kOpLink)) - 1))];
        op = EOp(e);
        if (op >= kOpBad) return false;
      }
      bits >>= EBits(e);
      nbits -= EBits(e);
      if (op == kOpLiteral) {
        base[pos++] = static_cast<uint8_t>(EVal(e));
        // A second literal often fits in what is left of the bit buffer.
        if (nbits >= kMaxCodeLen) {
          const uint32_t e2 = lt[bits & ((1u << kLenRoot) - 1)];
          if (EOp(e2) == kOpLiteral) {
            bits >>= EBits(e2);
            nbits -= EBits(e2);
            base[pos++] = static_cast<uint8_t>(EVal(e2));
          }
        }
        continue;
      }
      if (op == kOpEnd) return true;
      // Length: base plus extra bits.
      const uint32_t lext = op - kOpBase;
      const uint32_t length = EVal(e) + static_cast<uint32_t>(bits & ((1u << lext) - 1));
      bits >>= lext;
      nbits -= lext;
      // Distance.
      uint32_t d = dt[bits & ((1u << kDistRoot) - 1)];
      uint32_t dop = EOp(d);
      if (dop >= kOpLink) {
        if (dop >= kOpBad) return false;
        bits >>= kDistRoot;
        nbits -= kDistRoot;
        d = dt[EVal(d) + (bits & ((1u << (dop - kOpLink)) - 1))];
        dop = EOp(d);
        if (dop >= kOpBad) return false;
      }
      bits >>= EBits(d);
      nbits -= EBits(d);
      const uint32_t dext = dop - kOpBase;
      const size_t dist = EVal(d) + static_cast<uint32_t>(bits & ((1u << dext) - 1));
      bits >>= dext;
      nbits -= dext;
      if (dist > pos) return false;  // reaches before the start of the data
      uint8_t* to = base + pos;
      const uint8_t* from = to - dist;
      pos += length;
      if (dist >= 8) {
        uint8_t* const end = to + length;
        do {
          std::memcpy(to, from, 8);
          to += 8;
          from += 8;
        } while (to < end);
      } else if (dist == 1) {
        std::memset(to, *from, length);
      } else {
        for (uint32_t i = 0; i < length; ++i) to[i] = from[i];
      }
    }
  }

  bool Run() {
    if (!RefillInput()) return false;
    for (;;) {
      if (!NeedBits()) return false;
      const uint32_t last = Take(1);
      const uint32_t type = Take(2);
      bool ok;
      switch (type) {
        case 0: ok = Stored(); break;
        case 1: ok = Codes(Fixed().lit, Fixed().dist); break;
        case 2: ok = ReadDynamicTables() && Codes(lenTable, distTable); break;
        default: ok = false; break;
      }
      if (!ok) {
        FlushOut(false);
        return false;
      }
      if (last) break;
    }
    FlushOut(false);
    return true;
  }
};

TInflater::TInflater() : s_(new State) {}

TInflater::TInflater(TZipSource& source, TZipSink& sink) : s_(new State), source_(&source), sink_(&sink) {}

TInflater::~TInflater() = default;

bool TInflater::Run(TZipSource& source, TZipSink& sink) {
  s_->Reset(source, sink, &totalOut_);
  return s_->Run();
}

bool TInflater::Run() { return Run(*source_, *sink_); }

bool InflateBuffer(const uint8_t* data, size_t length, std::vector<uint8_t>& out, size_t limit) {
  TMemorySource source(data, length);
  TVectorSink sink(out, limit);
  TInflater inflater(source, sink);
  return inflater.Run();
}

}  // namespace zip
