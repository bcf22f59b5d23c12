#include "zip/Unreduce.h"

#include <gtest/gtest.h>

#include <map>

namespace {

struct Bits {
  std::vector<uint8_t> out;
  uint64_t acc = 0;
  int n = 0;
  void Put(uint32_t v, int bits) {
    acc |= static_cast<uint64_t>(v) << n;
    n += bits;
    while (n >= 8) {
      out.push_back(static_cast<uint8_t>(acc));
      acc >>= 8;
      n -= 8;
    }
  }
  std::vector<uint8_t> Done() {
    if (n) out.push_back(static_cast<uint8_t>(acc));
    return out;
  }
};

// Follower sets are sent for byte 255 down to 0; all empty except the given ones.
void FollowerSets(Bits& b, const std::map<int, std::string>& sets) {
  for (int j = 255; j >= 0; --j) {
    auto it = sets.find(j);
    const std::string s = it == sets.end() ? std::string() : it->second;
    b.Put(static_cast<uint32_t>(s.size()), 6);
    for (char c : s) b.Put(static_cast<uint8_t>(c), 8);
  }
}

std::string Expand(const std::vector<uint8_t>& stream, int factor, size_t size) {
  zip::TMemorySource source(stream.data(), stream.size());
  std::vector<uint8_t> out;
  zip::TVectorSink sink(out);
  EXPECT_TRUE(zip::Unreduce(source, sink, factor, size));
  return std::string(out.begin(), out.end());
}

TEST(Unreduce, HandBuiltVectorsForEachFactor) {
  const uint32_t DLE = 144;
  {
    // Factor 1: literals, an escaped DLE, a copy of length 1 + 3 from distance 3.
    Bits b;
    FollowerSets(b, {});
    for (char c : std::string("abc")) b.Put(static_cast<uint8_t>(c), 8);
    b.Put(DLE, 8), b.Put(0, 8);         // the byte 144 itself
    b.Put(DLE, 8), b.Put(0x01, 8), b.Put(3, 8);  // V = 1: length 4; distance 3 + 1 = 4
    EXPECT_EQ(Expand(b.Done(), 1, 8), std::string("abc\x90" "abc\x90"));
  }
  {
    // Factor 4: length 15 needs an extra length byte; the high distance bits come from V.
    Bits b;
    FollowerSets(b, {});
    for (char c : std::string("xyz")) b.Put(static_cast<uint8_t>(c), 8);
    b.Put(DLE, 8), b.Put(0x0F, 8), b.Put(2, 8), b.Put(2, 8);  // length 15 + 2 + 3 = 20, distance 3
    EXPECT_EQ(Expand(b.Done(), 4, 23), "xyz" + std::string("xyzxyzxyzxyzxyzxyzxy"));
  }
  {
    // Follower sets: after 'a' a 0 bit and a one-bit index pick from "bc"; a 1 bit
    // sends the byte in full.
    Bits b;
    FollowerSets(b, {{'a', "bc"}});
    b.Put('a', 8);
    b.Put(0, 1), b.Put(1, 1);   // 'c'
    b.Put('a', 8);
    b.Put(0, 1), b.Put(0, 1);   // 'b'
    b.Put('a', 8);
    b.Put(1, 1), b.Put('z', 8);
    EXPECT_EQ(Expand(b.Done(), 2, 6), "acabaz");
  }
  {
    // Factor 3: V = 0xE1 gives length 1 (+3) and distance ((0xE1 >> 5) & 7) * 256 + 4 + 1,
    // reaching before the first byte: those positions read as zeros.
    Bits b;
    FollowerSets(b, {});
    b.Put('q', 8);
    b.Put(DLE, 8), b.Put(0xE1, 8), b.Put(4, 8);
    EXPECT_EQ(Expand(b.Done(), 3, 5), std::string("q\0\0\0\0", 5));
  }
}

}  // namespace
