#include "zip/Deflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace zip {

static_assert(std::endian::native == std::endian::little, "the bit writer stores words as they lie in memory");

namespace {

constexpr unsigned kMinMatch = 3;
constexpr unsigned kMaxMatch = 258;
// Enough lookahead that a match of the longest length plus the bytes hashed
// after it never runs past the data read so far.
constexpr unsigned kMinLookahead = kMaxMatch + kMinMatch + 1;
constexpr unsigned kWSize = 32768;
constexpr unsigned kMaxDist = kWSize - kMinLookahead;
// A three-byte match costs more bits than three literals beyond this distance.
constexpr unsigned kTooFar = 4096;
constexpr unsigned kHashMask = 0x7FFF;
constexpr unsigned kHashShift = 5;
// Compares read eight bytes at a time and may look past the last match byte.
constexpr unsigned kWindowSlack = 16;
constexpr size_t kOutBufSize = 65536;

constexpr unsigned kLitCodes = 286;
constexpr unsigned kDistCodes = 30;
constexpr unsigned kBlCodes = 19;
constexpr unsigned kEndBlock = 256;
constexpr unsigned kMaxBits = 15;
constexpr unsigned kMaxBlBits = 7;

constexpr uint8_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kBlOrder[kBlCodes] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct TStaticTables {
  uint8_t lenCode[256];     // match length - 3 -> length code 0..28
  uint16_t lenBase[29];     // first (length - 3) of each code
  uint8_t distCode[512];    // distance - 1 -> code, see DistCode
  uint16_t distBase[30];    // first (distance - 1) of each code
  uint16_t fixedLitCode[288];
  uint8_t fixedLitLen[288];
  uint16_t fixedDistCode[30];
  uint8_t fixedDistLen[30];
};

constexpr uint16_t ReverseBits(unsigned code, unsigned len) {
  unsigned r = 0;
  for (unsigned i = 0; i < len; ++i) {
    r = (r << 1) | (code & 1);
    code >>= 1;
  }
  return static_cast<uint16_t>(r);
}

// Canonical codes, bit-reversed because deflate sends Huffman codes from
// their most significant bit while the bit buffer fills from the bottom.
constexpr void AssignCodes(const uint8_t* lens, unsigned n, uint16_t* codes) {
  unsigned count[kMaxBits + 1] = {};
  for (unsigned i = 0; i < n; ++i) count[lens[i]]++;
  count[0] = 0;
  unsigned next[kMaxBits + 1] = {};
  unsigned code = 0;
  for (unsigned bits = 1; bits <= kMaxBits; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = code;
  }
  for (unsigned i = 0; i < n; ++i) {
    codes[i] = lens[i] ? ReverseBits(next[lens[i]]++, lens[i]) : 0;
  }
}

constexpr TStaticTables MakeStaticTables() {
  TStaticTables t{};
  unsigned length = 0;
  for (unsigned code = 0; code < 28; ++code) {
    t.lenBase[code] = static_cast<uint16_t>(length);
    for (unsigned n = 0; n < (1u << kLenExtra[code]); ++n) t.lenCode[length++] = static_cast<uint8_t>(code);
  }
  // Length 258 has a code of its own, although 284 with all extra bits set
  // would spell it too.
  t.lenBase[28] = 255;
  t.lenCode[255] = 28;

  unsigned dist = 0;
  for (unsigned code = 0; code < 16; ++code) {
    t.distBase[code] = static_cast<uint16_t>(dist);
    for (unsigned n = 0; n < (1u << kDistExtra[code]); ++n) t.distCode[dist++] = static_cast<uint8_t>(code);
  }
  dist >>= 7;  // from here on the table is indexed by (distance - 1) >> 7
  for (unsigned code = 16; code < kDistCodes; ++code) {
    t.distBase[code] = static_cast<uint16_t>(dist << 7);
    for (unsigned n = 0; n < (1u << (kDistExtra[code] - 7)); ++n) t.distCode[256 + dist++] = static_cast<uint8_t>(code);
  }

  for (unsigned i = 0; i < 288; ++i) {
    t.fixedLitLen[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
  }
  AssignCodes(t.fixedLitLen, 288, t.fixedLitCode);
  for (unsigned i = 0; i < kDistCodes; ++i) {
    t.fixedDistLen[i] = 5;
    t.fixedDistCode[i] = ReverseBits(i, 5);
  }
  return t;
}

constexpr TStaticTables kTables = MakeStaticTables();

inline unsigned DistCode(unsigned distMinus1) {
  return distMinus1 < 256 ? kTables.distCode[distMinus1] : kTables.distCode[256 + (distMinus1 >> 7)];
}

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline void Store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

inline uint16_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

// A symbol number fits below the weight in a sort key; a weight, which counts
// symbols of one block at most, fits above it.
constexpr unsigned kSymbolBits = 9;

// Huffman code lengths of at most maxBits for the given frequencies. Every
// tree gets at least two codes, because some inflaters refuse a tree that
// is not complete, and a one-symbol tree cannot be.
void BuildLengths(const uint32_t* freq, unsigned n, unsigned maxBits, uint8_t* lens) {
  std::fill(lens, lens + n, 0);
  struct TNode {
    uint32_t weight;
    int parent;
  };
  // Sorted by weight, then symbol, as one key each: weight above, symbol below.
  std::array<uint32_t, 288> keys{};
  unsigned count = 0;
  for (unsigned i = 0; i < n; ++i) {
    if (freq[i]) keys[count++] = freq[i] << kSymbolBits | i;
  }
  for (unsigned i = 0; count < 2 && i < n; ++i) {
    if (!freq[i]) keys[count++] = 1u << kSymbolBits | i;
  }
  std::sort(keys.begin(), keys.begin() + count);
  std::array<uint16_t, 288> syms{};
  for (unsigned i = 0; i < count; ++i) syms[i] = static_cast<uint16_t>(keys[i] & ((1u << kSymbolBits) - 1));
  auto weightOf = [&](uint16_t s) { return freq[s] ? freq[s] : 1u; };

  // Two-queue construction: leaves in weight order, internal nodes in the
  // order they are made (which is also weight order).
  std::array<TNode, 2 * 288> nodes{};
  for (unsigned i = 0; i < count; ++i) nodes[i] = {weightOf(syms[i]), -1};
  unsigned leaf = 0, inner = count, made = count;
  auto takeSmallest = [&]() -> unsigned {
    if (leaf < count && (inner >= made || nodes[leaf].weight <= nodes[inner].weight)) return leaf++;
    return inner++;
  };
  for (unsigned k = 0; k + 1 < count; ++k) {
    unsigned a = takeSmallest();
    unsigned b = takeSmallest();
    nodes[made] = {nodes[a].weight + nodes[b].weight, -1};
    nodes[a].parent = static_cast<int>(made);
    nodes[b].parent = static_cast<int>(made);
    ++made;
  }
  std::array<uint8_t, 2 * 288> depth{};
  depth[made - 1] = 0;
  for (int i = static_cast<int>(made) - 2; i >= 0; --i) {
    depth[i] = static_cast<uint8_t>(depth[nodes[i].parent] + 1);
  }

  // Too deep: clamp, then restore the Kraft sum by lengthening the rarest
  // short codes and, if that overshoots, shortening the most frequent ones.
  bool tooDeep = false;
  for (unsigned i = 0; i < count; ++i) tooDeep |= depth[i] > maxBits;
  if (tooDeep) {
    const uint32_t full = 1u << maxBits;
    uint32_t kraft = 0;
    for (unsigned i = 0; i < count; ++i) {
      depth[i] = static_cast<uint8_t>(std::min<unsigned>(depth[i], maxBits));
      kraft += 1u << (maxBits - depth[i]);
    }
    while (kraft > full) {
      for (unsigned i = 0; i < count; ++i) {
        if (depth[i] < maxBits) {
          kraft -= 1u << (maxBits - depth[i] - 1);
          ++depth[i];
          break;
        }
      }
    }
    for (int i = static_cast<int>(count) - 1; i >= 0 && kraft < full; --i) {
      while (depth[i] > 1 && kraft + (1u << (maxBits - depth[i])) <= full) {
        kraft += 1u << (maxBits - depth[i]);
        --depth[i];
      }
    }
  }
  for (unsigned i = 0; i < count; ++i) lens[syms[i]] = depth[i];
}

// The code-length alphabet's run-length form of a tree's lengths: codes 16
// (repeat previous 3-6), 17 (zeros 3-10) and 18 (zeros 11-138).
struct TRle {
  uint8_t sym[kLitCodes + kDistCodes];
  uint8_t extra[kLitCodes + kDistCodes];
  unsigned count = 0;
};

void RunLength(const uint8_t* lens, unsigned n, TRle& rle, uint32_t* blFreq) {
  unsigned i = 0;
  while (i < n) {
    uint8_t len = lens[i];
    unsigned run = 1;
    while (i + run < n && lens[i + run] == len) ++run;
    i += run;
    if (len == 0) {
      while (run >= 11) {
        unsigned r = std::min(run, 138u);
        rle.sym[rle.count] = 18, rle.extra[rle.count++] = static_cast<uint8_t>(r - 11);
        run -= r;
      }
      if (run >= 3) {
        rle.sym[rle.count] = 17, rle.extra[rle.count++] = static_cast<uint8_t>(run - 3);
        run = 0;
      }
    } else {
      rle.sym[rle.count] = len, rle.extra[rle.count++] = 0;
      --run;
      while (run >= 3) {
        unsigned r = std::min(run, 6u);
        rle.sym[rle.count] = 16, rle.extra[rle.count++] = static_cast<uint8_t>(r - 3);
        run -= r;
      }
    }
    while (run > 0) {
      rle.sym[rle.count] = len, rle.extra[rle.count++] = 0;
      --run;
    }
  }
  for (unsigned k = 0; k < rle.count; ++k) blFreq[rle.sym[k]]++;
}

constexpr unsigned kBlExtraBits[kBlCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};

}  // namespace

// Everything needed to send a stretch of symbols as one block, and what a fixed
// and a dynamic block would cost.
struct TDeflater::TBlockPlan {
  uint8_t litLen[kLitCodes];
  uint8_t distLen[kDistCodes];
  uint8_t blLen[kBlCodes];
  TRle rle;
  unsigned hlit = 0, hdist = 0, hclen = 0;
  uint64_t dynamicBits = 0, fixedBits = 0;
};

void TDeflater::TSymbolCounts::Add(const TSymbolCounts& other) {
  for (unsigned i = 0; i < kLitCodes; ++i) lit[i] += other.lit[i];
  for (unsigned i = 0; i < kDistCodes; ++i) dist[i] += other.dist[i];
  bytes += other.bytes;
}

namespace {

// A stored block's bits: its chunks of at most 65535 bytes, each with a header and
// the padding to a byte boundary (`pad` before the first).
uint64_t StoredBits(unsigned bytes, unsigned pad) {
  const uint64_t chunks = std::max<uint64_t>(1, (bytes + 65534) / 65535);
  return chunks * (3 + 32) + pad + (chunks - 1) * 5 + 8ull * bytes;
}

// Below this many symbols a half is not worth a block header of its own.
constexpr unsigned kMinSplit = 1024;

// The pending block's symbols as the matchers add them; kept in locals while they
// work, since a byte stored through a pointer could otherwise be any member. (A
// template only because the deflater's count type is private to it.)
template <typename TCounts, unsigned kUnitShift>
struct TTally {
  uint8_t* lits;
  uint16_t* dists;
  TCounts* units;  // counted per unit of symbols
  unsigned syms, litCount, bytes;

  void Literal(uint8_t c) {
    TCounts& unit = units[syms >> kUnitShift];
    ++unit.lit[c];
    ++unit.bytes;
    lits[syms] = c;
    dists[syms] = 0;
    ++syms;
    ++litCount;
    ++bytes;
  }
  void Match(unsigned dist, unsigned len) {
    TCounts& unit = units[syms >> kUnitShift];
    ++unit.lit[kTables.lenCode[len - kMinMatch] + kEndBlock + 1];
    ++unit.dist[DistCode(dist - 1)];
    unit.bytes += len;
    lits[syms] = static_cast<uint8_t>(len - kMinMatch);
    dists[syms] = static_cast<uint16_t>(dist);
    ++syms;
    bytes += len;
  }
};

}  // namespace

TDeflater::TDeflater()
    : window_(2 * kWSize + kWindowSlack),
      prev_(kWSize),
      head_(kHashSize),
      litBuf_(kSymBufSize),
      distBuf_(kSymBufSize),
      out_(kOutBufSize + 16) {
  static_assert((uint64_t(kSymBufSize) << kSymbolBits) < (uint64_t(1) << 32), "weights fit in a sort key");
}

uint16_t TDeflater::FlagBitsForLevel(int level) {
  if (level == 1 || level == 2) return 4;
  if (level == 8 || level == 9) return 2;
  return 0;
}

void TDeflater::Reset(int level) {
  static constexpr TLevel kLevels[10] = {
      {0, 0, 0, 0, false},          {4, 4, 8, 4, false},       {4, 5, 16, 8, false},
      {4, 6, 32, 32, false},        {4, 4, 16, 16, true},      {8, 16, 32, 32, true},
      {8, 16, 128, 128, true},      {8, 32, 128, 256, true},   {32, 128, 258, 1024, true},
      {32, 258, 258, 4096, true},
  };
  cfg_ = kLevels[std::clamp(level, 1, 9)];
  std::fill(head_.begin(), head_.end(), 0);
  strStart_ = lookahead_ = insH_ = matchStart_ = 0;
  matchLength_ = prevLength_ = kMinMatch - 1;
  eof_ = false;
  blockStart_ = 0;
  blockBytes_ = symCount_ = litCount_ = 0;
  std::fill(std::begin(units_), std::end(units_), TSymbolCounts{});
  bitBuf_ = 0;
  bitCount_ = 0;
  outLen_ = 0;
  written_ = 0;
  internalAttributes_ = 2;
  firstBlock_ = true;
}

uint64_t TDeflater::Deflate(int level, TDeflateInput& input, TDeflateOutput& output) {
  input_ = &input;
  output_ = &output;
  Reset(level);
  if (cfg_.lazyEval) {
    CompressLazy();
  } else {
    CompressFast();
  }
  FlushBlock(true);
  AlignToByte();
  DrainOutput();
  input_ = nullptr;
  output_ = nullptr;
  return written_;
}

void TDeflater::FillWindow() {
  do {
    unsigned more = 2 * kWSize - lookahead_ - strStart_;
    if (strStart_ >= kWSize + kMaxDist) {
      // The lower half is about to go. A block that looks incompressible and
      // still has its bytes there is sent now, while storing it is possible.
      if (blockStart_ >= 0 && blockStart_ < static_cast<long>(kWSize) && blockBytes_ > 0 &&
          litCount_ >= blockBytes_ - blockBytes_ / 16) {
        FlushBlock(false);
      }
      std::memcpy(window_.data(), window_.data() + kWSize, kWSize);
      matchStart_ -= kWSize;
      strStart_ -= kWSize;
      blockStart_ -= static_cast<long>(kWSize);
      // Fixed trip counts, so that the compiler turns these into saturating
      // vector subtractions.
      const auto slide = [](uint16_t& link) { link = static_cast<uint16_t>(link >= kWSize ? link - kWSize : 0); };
      uint16_t* const head = head_.data();
      for (unsigned i = 0; i < kHashSize; ++i) slide(head[i]);
      uint16_t* const prev = prev_.data();
      for (unsigned i = 0; i < kWSize; ++i) slide(prev[i]);
      more += kWSize;
    }
    if (eof_) break;
    size_t n = input_->Read(window_.data() + strStart_ + lookahead_, more);
    if (n == 0) {
      eof_ = true;
    }
    lookahead_ += static_cast<unsigned>(n);
  } while (lookahead_ < kMinLookahead && !eof_);
  // The rolling hash needs the two bytes before the first one it adds.
  if (strStart_ == 0 && lookahead_ >= 2) {
    insH_ = ((window_[0] << kHashShift) ^ window_[1]) & kHashMask;
  }
}

unsigned TDeflater::LongestMatch(unsigned curMatch, unsigned str, unsigned prevLength, unsigned lookahead,
                                 unsigned& start) const {
  unsigned chain = cfg_.chain;
  const uint8_t* const win = window_.data();
  const uint8_t* const scan = win + str;
  unsigned bestLen = prevLength;
  unsigned bestStart = start;
  const unsigned nice = std::min<unsigned>(cfg_.nice, lookahead);
  const unsigned limit = str > kMaxDist ? str - kMaxDist : 0;
  if (prevLength >= cfg_.good) chain >>= 2;

  const uint16_t scanStart = Load16(scan);
  uint16_t scanEnd = Load16(scan + bestLen - 1);
  // Where the two bytes that end a better match lie, less the candidate's position:
  // most candidates are turned away by them alone.
  const uint8_t* ends = win + bestLen - 1;
  const uint16_t* const prev = prev_.data();
  size_t cur = curMatch;  // a full register, so addresses need no widening
  do {
    if (Load16(ends + cur) != scanEnd) continue;
    const uint8_t* match = win + cur;
    if (Load16(match) != scanStart) continue;
    unsigned len = 2;
    for (;;) {
      uint64_t diff = Load64(scan + len) ^ Load64(match + len);
      if (diff) {
        len += static_cast<unsigned>(__builtin_ctzll(diff)) >> 3;
        break;
      }
      len += 8;
      if (len >= kMaxMatch) break;
    }
    if (len > kMaxMatch) len = kMaxMatch;
    if (len > bestLen) {
      bestStart = static_cast<unsigned>(cur);
      bestLen = len;
      if (len >= nice) break;
      scanEnd = Load16(scan + bestLen - 1);
      ends = win + bestLen - 1;
    }
  } while ((cur = prev[cur & kWMask]) > limit && --chain != 0);
  start = bestStart;
  return std::min(bestLen, lookahead);
}

// Levels 1-3: take the first match found; strings inside a long match are
// not hashed, which is where most of the speed comes from.
void TDeflater::CompressFast() {
  uint8_t* const win = window_.data();
  uint16_t* const head = head_.data();
  uint16_t* const prev = prev_.data();
  const unsigned hashAll = cfg_.lazy;
  unsigned str, ahead, h, start;
  TTally<TSymbolCounts, kUnitShift> tally{litBuf_.data(), distBuf_.data(), units_, 0, 0, 0};
  const auto load = [&] {
    str = strStart_, ahead = lookahead_, h = insH_, start = matchStart_;
    tally.syms = symCount_, tally.litCount = litCount_, tally.bytes = blockBytes_;
  };
  const auto store = [&] {
    strStart_ = str, lookahead_ = ahead, insH_ = h, matchStart_ = start;
    symCount_ = tally.syms, litCount_ = tally.litCount, blockBytes_ = tally.bytes;
  };
  load();
  for (;;) {
    if (ahead < kMinLookahead) {
      store();
      FillWindow();
      load();
      if (ahead == 0) break;
    }
    unsigned hashHead = 0;
    if (ahead >= kMinMatch) {
      h = ((h << kHashShift) ^ win[str + 2]) & kHashMask;
      hashHead = head[h];
      prev[str & kWMask] = static_cast<uint16_t>(hashHead);
      head[h] = static_cast<uint16_t>(str);
    }
    unsigned len = kMinMatch - 1;
    if (hashHead != 0 && str - hashHead <= kMaxDist) {
      len = LongestMatch(hashHead, str, kMinMatch - 1, ahead, start);
      if (len == kMinMatch && str - start > kTooFar) len = kMinMatch - 1;
    }
    if (len >= kMinMatch) {
      tally.Match(str - start, len);
      ahead -= len;
      if (len <= hashAll && ahead >= kMinMatch) {
        --len;
        do {
          ++str;
          h = ((h << kHashShift) ^ win[str + 2]) & kHashMask;
          prev[str & kWMask] = head[h];
          head[h] = static_cast<uint16_t>(str);
        } while (--len != 0);
        ++str;
      } else {
        str += len;
        h = ((win[str] << kHashShift) ^ win[str + 1]) & kHashMask;
      }
    } else {
      tally.Literal(win[str]);
      --ahead;
      ++str;
    }
    if (tally.syms == kSymBufSize - 1) {
      store();
      FlushBlock(false);
      load();
    }
  }
  store();
}

// Levels 4-9: a match is only taken when the next position does not offer
// a longer one.
void TDeflater::CompressLazy() {
  uint8_t* const win = window_.data();
  uint16_t* const head = head_.data();
  uint16_t* const prev = prev_.data();
  const unsigned lazy = cfg_.lazy;
  bool matchAvailable = false;
  unsigned prevMatch = 0;
  unsigned str, ahead, h, start, matchLen, prevLen;
  TTally<TSymbolCounts, kUnitShift> tally{litBuf_.data(), distBuf_.data(), units_, 0, 0, 0};
  const auto load = [&] {
    str = strStart_, ahead = lookahead_, h = insH_, start = matchStart_;
    matchLen = matchLength_, prevLen = prevLength_;
    tally.syms = symCount_, tally.litCount = litCount_, tally.bytes = blockBytes_;
  };
  const auto store = [&] {
    strStart_ = str, lookahead_ = ahead, insH_ = h, matchStart_ = start;
    matchLength_ = matchLen, prevLength_ = prevLen;
    symCount_ = tally.syms, litCount_ = tally.litCount, blockBytes_ = tally.bytes;
  };
  const auto flushIfFull = [&] {
    if (tally.syms != kSymBufSize - 1) return;
    store();
    FlushBlock(false);
    load();
  };
  load();
  for (;;) {
    if (ahead < kMinLookahead) {
      store();
      FillWindow();
      load();
      if (ahead == 0) break;
    }
    unsigned hashHead = 0;
    if (ahead >= kMinMatch) {
      h = ((h << kHashShift) ^ win[str + 2]) & kHashMask;
      hashHead = head[h];
      prev[str & kWMask] = static_cast<uint16_t>(hashHead);
      head[h] = static_cast<uint16_t>(str);
    }
    prevLen = matchLen;
    prevMatch = start;
    matchLen = kMinMatch - 1;
    if (hashHead != 0 && prevLen < lazy && str - hashHead <= kMaxDist) {
      matchLen = LongestMatch(hashHead, str, prevLen, ahead, start);
      if (matchLen == kMinMatch && str - start > kTooFar) matchLen = kMinMatch - 1;
    }
    if (prevLen >= kMinMatch && matchLen <= prevLen) {
      const unsigned maxInsert = str + ahead - kMinMatch;
      tally.Match(str - 1 - prevMatch, prevLen);
      ahead -= prevLen - 1;
      prevLen -= 2;
      do {
        if (++str <= maxInsert) {
          h = ((h << kHashShift) ^ win[str + 2]) & kHashMask;
          prev[str & kWMask] = head[h];
          head[h] = static_cast<uint16_t>(str);
        }
      } while (--prevLen != 0);
      matchAvailable = false;
      matchLen = kMinMatch - 1;
      ++str;
      flushIfFull();
    } else if (matchAvailable) {
      tally.Literal(win[str - 1]);
      flushIfFull();
      ++str;
      --ahead;
    } else {
      matchAvailable = true;
      ++str;
      --ahead;
    }
  }
  if (matchAvailable) tally.Literal(win[str - 1]);
  prevLen = kMinMatch - 1;
  store();
}

void TDeflater::FlushBlock(bool last) {
  const unsigned units = (symCount_ + (1u << kUnitShift) - 1) >> kUnitShift;
  TSymbolCounts counts{};
  for (unsigned u = 0; u < units; ++u) counts.Add(units_[u]);
  counts.lit[kEndBlock] = 1;
  if (firstBlock_) {
    // Control bytes and high bytes against printable ASCII: a crude guess,
    // but it is what readers of the internal attributes expect.
    uint32_t binary = 0, text = 0;
    for (unsigned c = 0; c < 7; ++c) binary += counts.lit[c];
    for (unsigned c = 128; c < 256; ++c) binary += counts.lit[c];
    for (unsigned c = 7; c < 128; ++c) text += counts.lit[c];
    internalAttributes_ = binary > (text >> 2) ? 0 : 1;
    firstBlock_ = false;
  }
  TBlockPlan plan;
  PlanBlock(counts, plan);
  SendRange(0, std::max(units, 1u), blockStart_, counts, plan, last);

  blockStart_ += blockBytes_;
  blockBytes_ = symCount_ = litCount_ = 0;
  std::fill(units_, units_ + units, TSymbolCounts{});
}

// Sends units [first, end) of the pending block, whose bytes start at `start` in
// the window (negative once slid out). Halves are sent as blocks of their own when
// their codes fit them well enough to pay for the second header; a full buffer may
// so become up to eight blocks.
void TDeflater::SendRange(unsigned first, unsigned end, long start, const TSymbolCounts& counts,
                          const TBlockPlan& plan, bool last) {
  const unsigned from = std::min(symCount_, first << kUnitShift);
  const unsigned to = std::min(symCount_, end << kUnitShift);
  // The stored cost is reckoned with the most padding it could need.
  const auto cost = [&](const TSymbolCounts& c, const TBlockPlan& p, long at) {
    const uint64_t coded = std::min(p.fixedBits, p.dynamicBits);
    return at >= 0 ? std::min(coded, StoredBits(c.bytes, 7)) : coded;
  };
  const unsigned mid = (first + end) / 2;
  const unsigned midSym = std::min(symCount_, mid << kUnitShift);
  if (end - first >= 2 && midSym - from >= kMinSplit && to - midSym >= kMinSplit) {
    TSymbolCounts a = units_[first], b = units_[mid];
    for (unsigned u = first + 1; u < mid; ++u) a.Add(units_[u]);
    for (unsigned u = mid + 1; u < end; ++u) b.Add(units_[u]);
    a.lit[kEndBlock] = b.lit[kEndBlock] = 1;
    const long secondStart = start + static_cast<long>(a.bytes);
    TBlockPlan planA, planB;
    PlanBlock(a, planA);
    PlanBlock(b, planB);
    if (cost(a, planA, start) + cost(b, planB, secondStart) < cost(counts, plan, start)) {
      SendRange(first, mid, start, a, planA, false);
      SendRange(mid, end, secondStart, b, planB, last);
      return;
    }
  }
  SendBlock(from, to, start, counts, plan, last);
}

void TDeflater::PlanBlock(const TSymbolCounts& counts, TBlockPlan& plan) const {
  BuildLengths(counts.lit, kLitCodes, kMaxBits, plan.litLen);
  BuildLengths(counts.dist, kDistCodes, kMaxBits, plan.distLen);

  unsigned hlit = kLitCodes;
  while (hlit > 257 && plan.litLen[hlit - 1] == 0) --hlit;
  unsigned hdist = kDistCodes;
  while (hdist > 1 && plan.distLen[hdist - 1] == 0) --hdist;

  // Literal and distance lengths are run-length coded as one sequence.
  uint8_t allLens[kLitCodes + kDistCodes];
  std::memcpy(allLens, plan.litLen, hlit);
  std::memcpy(allLens + hlit, plan.distLen, hdist);
  uint32_t blFreq[kBlCodes] = {};
  plan.rle.count = 0;
  RunLength(allLens, hlit + hdist, plan.rle, blFreq);
  BuildLengths(blFreq, kBlCodes, kMaxBlBits, plan.blLen);
  unsigned hclen = kBlCodes;
  while (hclen > 4 && plan.blLen[kBlOrder[hclen - 1]] == 0) --hclen;

  uint64_t dataBits = 0, fixedBits = 0;
  for (unsigned i = 0; i < kLitCodes; ++i) {
    dataBits += uint64_t(counts.lit[i]) * plan.litLen[i];
    fixedBits += uint64_t(counts.lit[i]) * kTables.fixedLitLen[i];
  }
  for (unsigned code = 0; code < 29; ++code) {
    uint64_t extra = uint64_t(counts.lit[kEndBlock + 1 + code]) * kLenExtra[code];
    dataBits += extra;
    fixedBits += extra;
  }
  for (unsigned code = 0; code < kDistCodes; ++code) {
    dataBits += uint64_t(counts.dist[code]) * (plan.distLen[code] + kDistExtra[code]);
    fixedBits += uint64_t(counts.dist[code]) * (5 + kDistExtra[code]);
  }
  uint64_t dynamicBits = 3 + 14 + 3 * hclen + dataBits;
  for (unsigned k = 0; k < plan.rle.count; ++k) {
    dynamicBits += plan.blLen[plan.rle.sym[k]] + kBlExtraBits[plan.rle.sym[k]];
  }
  plan.hlit = hlit;
  plan.hdist = hdist;
  plan.hclen = hclen;
  plan.dynamicBits = dynamicBits;
  plan.fixedBits = fixedBits + 3;
}

void TDeflater::SendBlock(unsigned from, unsigned to, long start, const TSymbolCounts& counts,
                          const TBlockPlan& plan, bool last) {
  const uint64_t storedBits = start >= 0 ? StoredBits(counts.bytes, (8 - (bitCount_ + 3) % 8) % 8) : UINT64_MAX;
  if (storedBits <= plan.fixedBits && storedBits <= plan.dynamicBits) {
    SendStoredBlock(window_.data() + start, counts.bytes, last);
  } else if (plan.fixedBits <= plan.dynamicBits) {
    PutBits(2 | (last ? 1 : 0), 3);
    SendCodes(from, to, kTables.fixedLitCode, kTables.fixedLitLen, kTables.fixedDistCode, kTables.fixedDistLen);
  } else {
    uint16_t litCode[kLitCodes], distCode[kDistCodes], blCode[kBlCodes];
    AssignCodes(plan.litLen, kLitCodes, litCode);
    AssignCodes(plan.distLen, kDistCodes, distCode);
    AssignCodes(plan.blLen, kBlCodes, blCode);
    PutBits(4 | (last ? 1 : 0), 3);
    PutBits(plan.hlit - 257, 5);
    PutBits(plan.hdist - 1, 5);
    PutBits(plan.hclen - 4, 4);
    for (unsigned k = 0; k < plan.hclen; ++k) PutBits(plan.blLen[kBlOrder[k]], 3);
    for (unsigned k = 0; k < plan.rle.count; ++k) {
      unsigned s = plan.rle.sym[k];
      PutBits(blCode[s], plan.blLen[s]);
      if (kBlExtraBits[s]) PutBits(plan.rle.extra[k], kBlExtraBits[s]);
    }
    SendCodes(from, to, litCode, plan.litLen, distCode, plan.distLen);
  }
}

void TDeflater::SendStoredBlock(const uint8_t* data, size_t len, bool last) {
  do {
    size_t chunk = std::min<size_t>(len, 65535);
    bool final = last && chunk == len;
    PutBits(final ? 1 : 0, 3);
    AlignToByte();
    PutBits(static_cast<uint32_t>(chunk), 16);
    PutBits(static_cast<uint32_t>(~chunk & 0xFFFF), 16);
    FlushBits();
    while (chunk > 0) {
      size_t n = std::min(chunk, kOutBufSize - outLen_);
      std::memcpy(out_.data() + outLen_, data, n);
      outLen_ += n;
      data += n;
      chunk -= n;
      len -= n;
      if (outLen_ == kOutBufSize) DrainOutput();
    }
  } while (len > 0);
}

void TDeflater::SendCodes(unsigned from, unsigned to, const uint16_t* ltreeCode, const uint8_t* ltreeLen,
                          const uint16_t* dtreeCode, const uint8_t* dtreeLen) {
  // After each symbol the whole bytes go out as one 8-byte store (the output
  // buffer has room past its end for that), which leaves fewer than 8 bits: a
  // match's codes and extra bits, at most 48, fit beside them.
  uint64_t buf = bitBuf_;
  unsigned count = bitCount_;
  uint8_t* const out = out_.data();
  size_t len = outLen_;
  const auto emit = [&] {
    Store64(out + len, buf);
    len += count >> 3;
    buf >>= count & 56;
    count &= 7;
    if (len >= kOutBufSize) {
      outLen_ = len;
      DrainOutput();
      len = 0;
    }
  };
  emit();
  for (unsigned i = from; i < to; ++i) {
    unsigned dist = distBuf_[i];
    const unsigned lc = litBuf_[i];
    if (dist == 0) {
      buf |= uint64_t(ltreeCode[lc]) << count;
      count += ltreeLen[lc];
    } else {
      unsigned code = kTables.lenCode[lc];
      const unsigned sym = code + kEndBlock + 1;
      buf |= uint64_t(ltreeCode[sym] | ((lc - kTables.lenBase[code]) << ltreeLen[sym])) << count;
      count += ltreeLen[sym] + kLenExtra[code];
      --dist;
      code = DistCode(dist);
      buf |= uint64_t(dtreeCode[code] | ((dist - kTables.distBase[code]) << dtreeLen[code])) << count;
      count += dtreeLen[code] + kDistExtra[code];
    }
    emit();
  }
  buf |= uint64_t(ltreeCode[kEndBlock]) << count;
  count += ltreeLen[kEndBlock];
  emit();
  bitBuf_ = buf;
  bitCount_ = count;
  outLen_ = len;
}

inline void TDeflater::PutBits(uint32_t value, unsigned count) {
  bitBuf_ |= uint64_t(value) << bitCount_;
  bitCount_ += count;
  if (bitCount_ >= 32) {
    uint32_t word = static_cast<uint32_t>(bitBuf_);
    std::memcpy(out_.data() + outLen_, &word, 4);  // little-endian hosts only
    outLen_ += 4;
    bitBuf_ >>= 32;
    bitCount_ -= 32;
    if (outLen_ >= kOutBufSize) DrainOutput();
  }
}

// Whole bytes of the bit buffer go to the output; at most seven bits remain.
void TDeflater::FlushBits() {
  while (bitCount_ >= 8) {
    out_[outLen_++] = static_cast<uint8_t>(bitBuf_);
    bitBuf_ >>= 8;
    bitCount_ -= 8;
    if (outLen_ >= kOutBufSize) DrainOutput();
  }
}

void TDeflater::AlignToByte() {
  if (bitCount_ % 8) PutBits(0, 8 - bitCount_ % 8);
  FlushBits();
}

void TDeflater::DrainOutput() {
  if (outLen_ == 0) return;
  size_t n = outLen_;
  outLen_ = 0;
  written_ += n;
  output_->Write(out_.data(), n);
}

}  // namespace zip
