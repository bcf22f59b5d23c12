#include "zip/Inflate.h"

#include <algorithm>
#include <cstring>

namespace zip {

namespace {

// Table entry: bits 0-7 the bits it uses up (its code, plus the extra bits of a
// length or distance), 8-11 where the extra bits start (or a sub-table's index
// bits), 12-15 its kind, 16-31 its value.
enum : uint32_t {
  kBase = 0,          // a length or distance: the value is its base
  kLiteral = 0x8000,  // the value is the byte (or a code-length symbol)
  kLink = 0x4000,     // the value is the offset of a sub-table
  kEnd = 0x2000,
  kBad = 0x1000,
  kSpecial = kLink | kEnd | kBad,
};

constexpr uint32_t Entry(uint32_t kind, uint32_t used, uint32_t aux, uint32_t value) {
  return used | aux << 8 | kind | value << 16;
}
constexpr uint32_t EUsed(uint32_t e) { return e & 0xFF; }
constexpr uint32_t EAux(uint32_t e) { return (e >> 8) & 0xF; }
constexpr uint32_t EVal(uint32_t e) { return e >> 16; }
constexpr uint32_t kBadEntry = Entry(kBad, 0, 0, 0);

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
constexpr int kMaxRoot = std::max(kLenRoot, kDistRoot);
// Root table plus one sub-table per code longer than the root, at worst.
constexpr int kLenTableSize = (1 << kLenRoot) + 288 * (1 << (kMaxCodeLen - kLenRoot));
constexpr int kDistTableSize = (1 << kDistRoot) + 32 * (1 << (kMaxCodeLen - kDistRoot));

constexpr size_t kHistory = 32768;
constexpr size_t kMaxMatch = 258;
// Room past the write position for what one pass of the decoding loop writes: three
// literals, then a match with the up to 31 bytes its copy loop writes beyond it.
constexpr size_t kOutMargin = kMaxMatch + 48;
constexpr size_t kOutSize = kHistory + 256 * 1024 + kOutMargin;
constexpr size_t kOutLimit = kOutSize - kOutMargin;
constexpr size_t kInSize = 64 * 1024;
// Input the decoding loop needs before a pass: three refills of at most 7 bytes each,
// each loading 8.
constexpr std::ptrdiff_t kFastIn = 24;
// Zeros after the end of the data. The loop may run on into them until the bits it
// has loaded reach 8 bytes past the end: by then it has used bits beyond the end, so
// the stream is cut short.
constexpr size_t kInPad = kFastIn + 24;

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline void Store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

inline void Copy16(uint8_t* to, const uint8_t* from) {
  uint8_t v[16];
  std::memcpy(v, from, 16);
  std::memcpy(to, v, 16);
}

// Copies a match of `length` bytes from `dist` bytes back, a word at a time. Writes
// up to 31 bytes past the match, which the next symbols overwrite.
inline void CopyMatch(uint8_t* to, size_t dist, uint32_t length) {
  const uint8_t* from = to - dist;
  uint8_t* const end = to + length;
  // Each piece is read only once the pieces before it are written, so a copy whose
  // pieces are no longer than the distance repeats overlapping data correctly.
  if (dist >= 16) {
    do {
      Copy16(to, from);
      Copy16(to + 16, from + 16);
      to += 32;
      from += 32;
    } while (to < end);
    return;
  }
  if (dist >= 8) {
    do {
      Store64(to, Load64(from));
      Store64(to + 8, Load64(from + 8));
      to += 16;
      from += 16;
    } while (to < end);
    return;
  }
  if (dist == 1) {
    const uint64_t v = *from * 0x0101010101010101ull;
    do {
      Store64(to, v);
      Store64(to + 8, v);
      to += 16;
    } while (to < end);
    return;
  }
  // The first eight bytes one by one; after them the pattern also repeats at the
  // first multiple of the distance that is at least 8, so words can take over.
  for (int i = 0; i < 8; ++i) to[i] = from[i];
  static constexpr uint8_t kStride[8] = {0, 0, 8, 9, 8, 10, 12, 14};
  to += 8;
  from = to - kStride[dist];
  while (to < end) {
    Store64(to, Load64(from));
    to += 8;
    from += 8;
  }
}

uint32_t SymbolEntryLit(int sym, uint32_t bits) {
  if (sym < 256) return Entry(kLiteral, bits, 0, static_cast<uint32_t>(sym));
  if (sym == 256) return Entry(kEnd, bits, 0, 0);
  if (sym <= 285) return Entry(kBase, bits + cplext[sym - 257], bits, cplens[sym - 257]);
  return kBadEntry;
}

uint32_t SymbolEntryDist(int sym, uint32_t bits) {
  if (sym < 30) return Entry(kBase, bits + cpdext[sym], bits, cpdist[sym]);
  return kBadEntry;
}

uint32_t SymbolEntryPlain(int sym, uint32_t bits) { return Entry(kLiteral, bits, 0, static_cast<uint32_t>(sym)); }

struct TByteReversal {
  uint8_t r[256];
  constexpr TByteReversal() : r() {
    for (int i = 0; i < 256; ++i)
      for (int k = 0; k < 8; ++k)
        if (i & (1 << k)) r[i] = static_cast<uint8_t>(r[i] | (0x80 >> k));
  }
};
constexpr TByteReversal kReversed;

// Huffman codes are sent from their first bit, which the bit buffer holds lowest.
inline uint32_t ReverseBits(uint32_t code, int len) {
  return static_cast<uint32_t>(kReversed.r[code & 0xFF] << 8 | kReversed.r[code >> 8]) >> (16 - len);
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
  // A complete set fills every slot; only an incomplete one leaves slots to mark bad.
  const bool complete = left == 0;
  if (!complete) std::fill(table, table + rootSize, kBadEntry);
  if (maxLen == 0) return true;
  uint32_t nextCode[kMaxCodeLen + 2];
  uint32_t code = 0;
  for (int len = 1; len <= kMaxCodeLen; ++len) {
    code = (code + static_cast<uint32_t>(count[len - 1])) << 1;
    nextCode[len] = code;
  }
  const int subBits = maxLen > root ? maxLen - root : 0;
  int nextSub = rootSize;
  // Root slots that already lead to a sub-table made by this call (the table still
  // holds the links of the previous one).
  uint64_t linked[(1 << kMaxRoot) / 64] = {};
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
    if (!(linked[prefix / 64] >> (prefix % 64) & 1)) {
      if (nextSub + (1 << subBits) > tableSize) return false;
      linked[prefix / 64] |= uint64_t(1) << (prefix % 64);
      table[prefix] = Entry(kLink, static_cast<uint32_t>(root), static_cast<uint32_t>(subBits),
                            static_cast<uint32_t>(nextSub));
      if (!complete) std::fill(table + nextSub, table + nextSub + (1 << subBits), kBadEntry);
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
      if (!(e & kLiteral)) return false;
      Take(EUsed(e));
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

  // Decodes one Huffman-coded block. False for bad data.
  bool Codes(const uint32_t* lt, const uint32_t* dt) {
    uint8_t* const base = outBuf.get();
    constexpr uint32_t kLenMask = (1u << kLenRoot) - 1;
    constexpr uint32_t kDistMask = (1u << kDistRoot) - 1;
    // The loop works on copies: stores of output bytes could alias the members, which
    // would have them reloaded after every byte.
    uint64_t b = bits;
    unsigned n = nbits;
    const uint8_t* p = in;
    size_t at = pos;
    const auto save = [&] {
      bits = b;
      nbits = n;
      in = p;
      pos = at;
    };
    // What was decoded before the fault is still written out.
    const auto fail = [&] {
      save();
      return false;
    };
    // Tops the bit buffer up to at least 56 bits. Bits above the count are stream
    // bits too, so OR-ing them in again changes nothing.
    const auto refill = [&] {
      b |= Load64(p) << n;
      p += (63 - n) >> 3;
      n |= 56;
    };
    const auto drop = [&](unsigned k) {
      b >>= k;
      n -= k;
    };
    for (;;) {
      if (inLimit - p < kFastIn) {
        save();
        if (!sourceDone) RefillInput();
        p = in;
        // Only the zero padding is left: whatever comes next lies past the data's end.
        if (inLimit - p < kFastIn) return fail();
      }
      // From here on every pass refills at most three times, so the input needs no more
      // checks until the margin is used up; the output keeps room for the pass. Each
      // symbol's table entry is looked up as soon as the bits before it are gone, so
      // that the lookup overlaps with writing out what came before.
      const uint8_t* const fastEnd = inLimit - kFastIn;
      refill();
      uint32_t e = lt[b & kLenMask];
      do {
        if (at > kOutLimit) {
          pos = at;
          FlushOut(true);
          at = pos;
        }
        // The entry was looked up with at least kLenRoot bits; the rest of the pass
        // may need up to 56.
        refill();
        if (e & kLiteral) {
          // A root code is at most kLenRoot bits: three of them fit in one refill,
          // with enough left to look up the symbol after them.
          drop(EUsed(e));
          base[at++] = static_cast<uint8_t>(EVal(e));
          e = lt[b & kLenMask];
          if (e & kLiteral) {
            drop(EUsed(e));
            base[at++] = static_cast<uint8_t>(EVal(e));
            e = lt[b & kLenMask];
            if (e & kLiteral) {
              drop(EUsed(e));
              base[at++] = static_cast<uint8_t>(EVal(e));
              e = lt[b & kLenMask];
              continue;
            }
          }
          refill();
        }
        if (e & kSpecial) {
          if (e & kLink) {
            drop(EUsed(e));
            e = lt[EVal(e) + (b & ((1u << EAux(e)) - 1))];
            if (e & kLiteral) {
              drop(EUsed(e));
              base[at++] = static_cast<uint8_t>(EVal(e));
              e = lt[b & kLenMask];
              continue;
            }
          }
          if (e & kEnd) {
            drop(EUsed(e));
            save();
            return true;
          }
          if (e & kSpecial) return fail();
        }
        // A length and its distance take at most 15 + 5 + 15 + 13 bits: one refill's
        // worth. The extra bits follow the code, in the bits the entry uses up.
        uint64_t used = b;
        drop(EUsed(e));
        const uint32_t length = EVal(e) + static_cast<uint32_t>((used & ((1ull << EUsed(e)) - 1)) >> EAux(e));
        uint32_t d = dt[b & kDistMask];
        if (d & kSpecial) {
          if (d & kLink) {
            drop(EUsed(d));
            d = dt[EVal(d) + (b & ((1u << EAux(d)) - 1))];
          }
          if (d & kSpecial) return fail();
        }
        used = b;
        drop(EUsed(d));
        const size_t dist = EVal(d) + static_cast<uint32_t>((used & ((1ull << EUsed(d)) - 1)) >> EAux(d));
        if (dist > at) return fail();  // reaches before the start of the data
        // Usually enough bits are left to look the next symbol up at once.
        if (n < kLenRoot) refill();
        e = lt[b & kLenMask];
        CopyMatch(base + at, dist, length);
        at += length;
      } while (p <= fastEnd);
      // The entry looked up last is looked up again once the input is topped up.
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
    // A stream that ends only in the zeros read past its data is taken as it
    // decodes: the entry's CRC and size judge what came out.
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
