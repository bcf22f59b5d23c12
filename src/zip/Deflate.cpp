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

uint16_t ReverseBits(unsigned code, unsigned len) {
  unsigned r = 0;
  for (unsigned i = 0; i < len; ++i) {
    r = (r << 1) | (code & 1);
    code >>= 1;
  }
  return static_cast<uint16_t>(r);
}

// Canonical codes, bit-reversed because deflate sends Huffman codes from
// their most significant bit while the bit buffer fills from the bottom.
void AssignCodes(const uint8_t* lens, unsigned n, uint16_t* codes) {
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

TStaticTables MakeStaticTables() {
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

const TStaticTables& Tables() {
  static const TStaticTables tables = MakeStaticTables();
  return tables;
}

inline unsigned DistCode(unsigned distMinus1) {
  const auto& t = Tables();
  return distMinus1 < 256 ? t.distCode[distMinus1] : t.distCode[256 + (distMinus1 >> 7)];
}

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline uint16_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

// Huffman code lengths of at most maxBits for the given frequencies. Every
// tree gets at least two codes, because some inflaters refuse a tree that
// is not complete, and a one-symbol tree cannot be.
void BuildLengths(const uint32_t* freq, unsigned n, unsigned maxBits, uint8_t* lens) {
  std::fill(lens, lens + n, 0);
  struct TNode {
    uint32_t weight;
    int parent;
  };
  std::array<uint16_t, 288> syms{};
  unsigned count = 0;
  for (unsigned i = 0; i < n; ++i) {
    if (freq[i]) syms[count++] = static_cast<uint16_t>(i);
  }
  for (unsigned i = 0; count < 2 && i < n; ++i) {
    if (!freq[i]) syms[count++] = static_cast<uint16_t>(i);
  }
  auto weightOf = [&](uint16_t s) { return freq[s] ? freq[s] : 1u; };
  std::sort(syms.begin(), syms.begin() + count, [&](uint16_t a, uint16_t b) {
    uint32_t wa = weightOf(a), wb = weightOf(b);
    return wa != wb ? wa < wb : a < b;
  });

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

TDeflater::TDeflater()
    : window_(2 * kWSize + kWindowSlack),
      prev_(kWSize),
      head_(kHashSize),
      litBuf_(kSymBufSize),
      distBuf_(kSymBufSize),
      out_(kOutBufSize + 16) {
  Tables();
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
  std::fill(std::begin(litFreq_), std::end(litFreq_), 0);
  std::fill(std::begin(distFreq_), std::end(distFreq_), 0);
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
      for (auto& h : head_) h = static_cast<uint16_t>(h >= kWSize ? h - kWSize : 0);
      for (auto& p : prev_) p = static_cast<uint16_t>(p >= kWSize ? p - kWSize : 0);
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

unsigned TDeflater::LongestMatch(unsigned curMatch) {
  unsigned chain = cfg_.chain;
  const uint8_t* win = window_.data();
  const uint8_t* scan = win + strStart_;
  unsigned bestLen = prevLength_;
  unsigned nice = std::min<unsigned>(cfg_.nice, lookahead_);
  const unsigned limit = strStart_ > kMaxDist ? strStart_ - kMaxDist : 0;
  if (prevLength_ >= cfg_.good) chain >>= 2;

  const uint16_t scanStart = Load16(scan);
  uint16_t scanEnd = Load16(scan + bestLen - 1);
  const uint16_t* prev = prev_.data();
  do {
    const uint8_t* match = win + curMatch;
    if (Load16(match + bestLen - 1) != scanEnd || Load16(match) != scanStart) continue;
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
      matchStart_ = curMatch;
      bestLen = len;
      if (len >= nice) break;
      scanEnd = Load16(scan + bestLen - 1);
    }
  } while ((curMatch = prev[curMatch & kWMask]) > limit && --chain != 0);
  return std::min(bestLen, lookahead_);
}

void TDeflater::TallyLiteral(uint8_t c) {
  litBuf_[symCount_] = c;
  distBuf_[symCount_] = 0;
  ++symCount_;
  ++litCount_;
  ++litFreq_[c];
  ++blockBytes_;
}

void TDeflater::TallyMatch(unsigned dist, unsigned len) {
  const auto& t = Tables();
  litBuf_[symCount_] = static_cast<uint8_t>(len - kMinMatch);
  distBuf_[symCount_] = static_cast<uint16_t>(dist);
  ++symCount_;
  ++litFreq_[t.lenCode[len - kMinMatch] + kEndBlock + 1];
  ++distFreq_[DistCode(dist - 1)];
  blockBytes_ += len;
}

// Levels 1-3: take the first match found; strings inside a long match are
// not hashed, which is where most of the speed comes from.
void TDeflater::CompressFast() {
  uint8_t* win = window_.data();
  for (;;) {
    if (lookahead_ < kMinLookahead) {
      FillWindow();
      if (lookahead_ == 0) break;
    }
    unsigned hashHead = 0;
    if (lookahead_ >= kMinMatch) {
      insH_ = ((insH_ << kHashShift) ^ win[strStart_ + 2]) & kHashMask;
      hashHead = head_[insH_];
      prev_[strStart_ & kWMask] = static_cast<uint16_t>(hashHead);
      head_[insH_] = static_cast<uint16_t>(strStart_);
    }
    matchLength_ = kMinMatch - 1;
    if (hashHead != 0 && strStart_ - hashHead <= kMaxDist) {
      matchLength_ = LongestMatch(hashHead);
      if (matchLength_ == kMinMatch && strStart_ - matchStart_ > kTooFar) matchLength_ = kMinMatch - 1;
    }
    if (matchLength_ >= kMinMatch) {
      TallyMatch(strStart_ - matchStart_, matchLength_);
      lookahead_ -= matchLength_;
      if (matchLength_ <= cfg_.lazy && lookahead_ >= kMinMatch) {
        --matchLength_;
        do {
          ++strStart_;
          insH_ = ((insH_ << kHashShift) ^ win[strStart_ + 2]) & kHashMask;
          prev_[strStart_ & kWMask] = head_[insH_];
          head_[insH_] = static_cast<uint16_t>(strStart_);
        } while (--matchLength_ != 0);
        ++strStart_;
      } else {
        strStart_ += matchLength_;
        matchLength_ = 0;
        insH_ = ((win[strStart_] << kHashShift) ^ win[strStart_ + 1]) & kHashMask;
      }
    } else {
      TallyLiteral(win[strStart_]);
      --lookahead_;
      ++strStart_;
    }
    if (BufferFull()) FlushBlock(false);
  }
}

// Levels 4-9: a match is only taken when the next position does not offer
// a longer one.
void TDeflater::CompressLazy() {
  uint8_t* win = window_.data();
  bool matchAvailable = false;
  unsigned prevMatch = 0;
  for (;;) {
    if (lookahead_ < kMinLookahead) {
      FillWindow();
      if (lookahead_ == 0) break;
    }
    unsigned hashHead = 0;
    if (lookahead_ >= kMinMatch) {
      insH_ = ((insH_ << kHashShift) ^ win[strStart_ + 2]) & kHashMask;
      hashHead = head_[insH_];
      prev_[strStart_ & kWMask] = static_cast<uint16_t>(hashHead);
      head_[insH_] = static_cast<uint16_t>(strStart_);
    }
    prevLength_ = matchLength_;
    prevMatch = matchStart_;
    matchLength_ = kMinMatch - 1;
    if (hashHead != 0 && prevLength_ < cfg_.lazy && strStart_ - hashHead <= kMaxDist) {
      matchLength_ = LongestMatch(hashHead);
      if (matchLength_ == kMinMatch && strStart_ - matchStart_ > kTooFar) matchLength_ = kMinMatch - 1;
    }
    if (prevLength_ >= kMinMatch && matchLength_ <= prevLength_) {
      const unsigned maxInsert = strStart_ + lookahead_ - kMinMatch;
      TallyMatch(strStart_ - 1 - prevMatch, prevLength_);
      lookahead_ -= prevLength_ - 1;
      prevLength_ -= 2;
      do {
        if (++strStart_ <= maxInsert) {
          insH_ = ((insH_ << kHashShift) ^ win[strStart_ + 2]) & kHashMask;
          prev_[strStart_ & kWMask] = head_[insH_];
          head_[insH_] = static_cast<uint16_t>(strStart_);
        }
      } while (--prevLength_ != 0);
      matchAvailable = false;
      matchLength_ = kMinMatch - 1;
      ++strStart_;
      if (BufferFull()) FlushBlock(false);
    } else if (matchAvailable) {
      TallyLiteral(win[strStart_ - 1]);
      if (BufferFull()) FlushBlock(false);
      ++strStart_;
      --lookahead_;
    } else {
      matchAvailable = true;
      ++strStart_;
      --lookahead_;
    }
  }
  if (matchAvailable) TallyLiteral(win[strStart_ - 1]);
  prevLength_ = kMinMatch - 1;
}

void TDeflater::FlushBlock(bool last) {
  const auto& t = Tables();
  if (firstBlock_) {
    // Control bytes and high bytes against printable ASCII: a crude guess,
    // but it is what readers of the internal attributes expect.
    uint32_t binary = 0, text = 0;
    for (unsigned c = 0; c < 7; ++c) binary += litFreq_[c];
    for (unsigned c = 128; c < 256; ++c) binary += litFreq_[c];
    for (unsigned c = 7; c < 128; ++c) text += litFreq_[c];
    internalAttributes_ = binary > (text >> 2) ? 0 : 1;
    firstBlock_ = false;
  }

  litFreq_[kEndBlock] = 1;
  uint8_t litLen[kLitCodes], distLen[kDistCodes], blLen[kBlCodes];
  BuildLengths(litFreq_, kLitCodes, kMaxBits, litLen);
  BuildLengths(distFreq_, kDistCodes, kMaxBits, distLen);

  unsigned hlit = kLitCodes;
  while (hlit > 257 && litLen[hlit - 1] == 0) --hlit;
  unsigned hdist = kDistCodes;
  while (hdist > 1 && distLen[hdist - 1] == 0) --hdist;

  // Literal and distance lengths are run-length coded as one sequence.
  uint8_t allLens[kLitCodes + kDistCodes];
  std::memcpy(allLens, litLen, hlit);
  std::memcpy(allLens + hlit, distLen, hdist);
  TRle rle;
  uint32_t blFreq[kBlCodes] = {};
  RunLength(allLens, hlit + hdist, rle, blFreq);
  BuildLengths(blFreq, kBlCodes, kMaxBlBits, blLen);
  unsigned hclen = kBlCodes;
  while (hclen > 4 && blLen[kBlOrder[hclen - 1]] == 0) --hclen;

  uint64_t dataBits = 0, fixedBits = 0;
  for (unsigned i = 0; i < kLitCodes; ++i) {
    dataBits += uint64_t(litFreq_[i]) * litLen[i];
    fixedBits += uint64_t(litFreq_[i]) * t.fixedLitLen[i];
  }
  for (unsigned code = 0; code < 29; ++code) {
    uint64_t extra = uint64_t(litFreq_[kEndBlock + 1 + code]) * kLenExtra[code];
    dataBits += extra;
    fixedBits += extra;
  }
  for (unsigned code = 0; code < kDistCodes; ++code) {
    dataBits += uint64_t(distFreq_[code]) * (distLen[code] + kDistExtra[code]);
    fixedBits += uint64_t(distFreq_[code]) * (5 + kDistExtra[code]);
  }
  uint64_t dynamicBits = 3 + 14 + 3 * hclen + dataBits;
  for (unsigned k = 0; k < rle.count; ++k) dynamicBits += blLen[rle.sym[k]] + kBlExtraBits[rle.sym[k]];
  fixedBits += 3;

  uint64_t storedBits = UINT64_MAX;
  if (blockStart_ >= 0) {
    uint64_t chunks = std::max<uint64_t>(1, (blockBytes_ + 65534) / 65535);
    unsigned firstPad = (8 - (bitCount_ + 3) % 8) % 8;
    storedBits = chunks * (3 + 32) + firstPad + (chunks - 1) * 5 + 8ull * blockBytes_;
  }

  if (storedBits <= fixedBits && storedBits <= dynamicBits) {
    SendStoredBlock(window_.data() + blockStart_, blockBytes_, last);
  } else if (fixedBits <= dynamicBits) {
    PutBits(2 | (last ? 1 : 0), 3);
    SendCodes(t.fixedLitCode, t.fixedLitLen, t.fixedDistCode, t.fixedDistLen);
  } else {
    uint16_t litCode[kLitCodes], distCode[kDistCodes], blCode[kBlCodes];
    AssignCodes(litLen, kLitCodes, litCode);
    AssignCodes(distLen, kDistCodes, distCode);
    AssignCodes(blLen, kBlCodes, blCode);
    PutBits(4 | (last ? 1 : 0), 3);
    PutBits(hlit - 257, 5);
    PutBits(hdist - 1, 5);
    PutBits(hclen - 4, 4);
    for (unsigned k = 0; k < hclen; ++k) PutBits(blLen[kBlOrder[k]], 3);
    for (unsigned k = 0; k < rle.count; ++k) {
      unsigned s = rle.sym[k];
      PutBits(blCode[s], blLen[s]);
      if (kBlExtraBits[s]) PutBits(rle.extra[k], kBlExtraBits[s]);
    }
    SendCodes(litCode, litLen, distCode, distLen);
  }

  blockStart_ += blockBytes_;
  blockBytes_ = symCount_ = litCount_ = 0;
  std::fill(std::begin(litFreq_), std::end(litFreq_), 0);
  std::fill(std::begin(distFreq_), std::end(distFreq_), 0);
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

void TDeflater::SendCodes(const uint16_t* ltreeCode, const uint8_t* ltreeLen, const uint16_t* dtreeCode,
                          const uint8_t* dtreeLen) {
  const auto& t = Tables();
  for (unsigned i = 0; i < symCount_; ++i) {
    unsigned dist = distBuf_[i];
    unsigned lc = litBuf_[i];
    if (dist == 0) {
      PutBits(ltreeCode[lc], ltreeLen[lc]);
    } else {
      unsigned code = t.lenCode[lc];
      unsigned sym = code + kEndBlock + 1;
      PutBits(ltreeCode[sym] | ((lc - t.lenBase[code]) << ltreeLen[sym]), ltreeLen[sym] + kLenExtra[code]);
      --dist;
      code = DistCode(dist);
      PutBits(dtreeCode[code] | ((dist - t.distBase[code]) << dtreeLen[code]), dtreeLen[code] + kDistExtra[code]);
    }
  }
  PutBits(ltreeCode[kEndBlock], ltreeLen[kEndBlock]);
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
