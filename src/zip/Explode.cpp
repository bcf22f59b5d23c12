#include "zip/Explode.h"

#include <vector>

namespace zip {

namespace {

constexpr int kMaxLen = 16;

// A Shannon-Fano tree as stored: canonical codes over the bit lengths, with every
// bit of the stream inverted.
struct TSfTree {
  int count[kMaxLen + 1] = {0};
  std::vector<int> symbols;

  // Reads the tree's run-length form: a byte count, then bytes of (count - 1, length - 1).
  bool Read(TBitReader& in, int n) {
    std::vector<int> lens;
    const int bytes = static_cast<int>(in.Get(8)) + 1;
    for (int i = 0; i < bytes; ++i) {
      const int b = static_cast<int>(in.Get(8));
      const int len = (b & 15) + 1, reps = (b >> 4) + 1;
      for (int k = 0; k < reps; ++k) lens.push_back(len);
    }
    if (static_cast<int>(lens.size()) != n || in.Overrun()) return false;
    for (int len : lens) count[len]++;
    int left = 1;
    for (int len = 1; len <= kMaxLen; ++len) {
      left = (left << 1) - count[len];
      if (left < 0) return false;
    }
    for (int len = 1; len <= kMaxLen; ++len)
      for (int s = 0; s < n; ++s)
        if (lens[s] == len) symbols.push_back(s);
    return true;
  }

  int Decode(TBitReader& in) const {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= kMaxLen; ++len) {
      code |= static_cast<int>(in.Get(1) ^ 1);
      const int c = count[len];
      if (code - first < c) return symbols[static_cast<size_t>(index + code - first)];
      index += c;
      first = (first + c) << 1;
      code <<= 1;
    }
    return -1;
  }
};

}  // namespace

bool Explode(TZipSource& source, TZipSink& sink, uint16_t flags, uint64_t uncompressedSize) {
  TBitReader in(source);
  THistoryWindow out(sink);
  const bool bigDictionary = (flags & 2) != 0;
  const bool literalTree = (flags & 4) != 0;
  TSfTree literals, lengths, distances;
  if (literalTree && !literals.Read(in, 256)) return false;
  if (!lengths.Read(in, 64) || !distances.Read(in, 64)) return false;
  const int lowBits = bigDictionary ? 7 : 6;
  const unsigned minMatch = literalTree ? 3 : 2;
  while (out.Total() < uncompressedSize) {
    if (in.Overrun()) {
      out.Flush();
      return false;
    }
    if (in.Get(1)) {
      const int c = literalTree ? literals.Decode(in) : static_cast<int>(in.Get(8));
      if (c < 0) return out.Flush(), false;
      out.Put(static_cast<uint8_t>(c));
      continue;
    }
    const unsigned low = in.Get(lowBits);
    const int high = distances.Decode(in);
    if (high < 0) return out.Flush(), false;
    const size_t dist = ((static_cast<size_t>(high) << lowBits) | low) + 1;
    const int sym = lengths.Decode(in);
    if (sym < 0) return out.Flush(), false;
    uint64_t len = static_cast<unsigned>(sym) + minMatch;
    if (sym == 63) len += in.Get(8);
    if (len > uncompressedSize - out.Total()) len = uncompressedSize - out.Total();
    out.Copy(dist, static_cast<size_t>(len));
  }
  out.Flush();
  return true;
}

}  // namespace zip
