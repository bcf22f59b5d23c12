#include "zip/Deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>

namespace {

// Hands the input out in pieces of a chosen size, to reach the window
// refill paths that a large read would skip.
class TPieceInput : public zip::TDeflateInput {
 public:
  TPieceInput(const std::string& data, size_t piece) : data_(data), piece_(piece) {}
  size_t Read(uint8_t* buffer, size_t size) override {
    size_t n = std::min({size, piece_, data_.size() - pos_});
    std::copy_n(data_.data() + pos_, n, buffer);
    pos_ += n;
    return n;
  }

 private:
  const std::string& data_;
  size_t piece_;
  size_t pos_ = 0;
};

class TStringOutput : public zip::TDeflateOutput {
 public:
  void Write(const uint8_t* data, size_t size) override { bytes.append(reinterpret_cast<const char*>(data), size); }
  std::string bytes;
};

std::string Compress(zip::TDeflater& deflater, int level, const std::string& data, size_t piece = SIZE_MAX) {
  TPieceInput in(data, piece);
  TStringOutput out;
  uint64_t n = deflater.Deflate(level, in, out);
  EXPECT_EQ(n, out.bytes.size());
  return out.bytes;
}

// zlib's raw inflate is the judge; it must also consume the stream exactly.
std::string Inflate(const std::string& stream, size_t expected) {
  z_stream zs{};
  if (inflateInit2(&zs, -15) != Z_OK) throw std::runtime_error("inflateInit2");
  std::string out(expected + 1, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  zs.avail_in = static_cast<uInt>(stream.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  int rc = inflate(&zs, Z_FINISH);
  size_t produced = zs.total_out;
  unsigned leftover = zs.avail_in;
  inflateEnd(&zs);
  if (rc != Z_STREAM_END) throw std::runtime_error("inflate failed: " + std::to_string(rc));
  if (leftover != 0) throw std::runtime_error("bytes after the final block");
  out.resize(produced);
  return out;
}

std::string RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

// Words drawn from a small vocabulary: matches at every distance and length.
std::string Text(size_t n, uint32_t seed) {
  static const char* words[] = {"the ",   "message ", "arrived ", "from ",     "a ",      "peer ",    "while ",
                                "chat ",  "room ",    "host ",    "relayed ",  "it\r\n",  "quickly ", "and ",
                                "file ",  "zip ",     "window ",  "transfer ", "status ", "online. "};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) s += words[rng() % 20];
  s.resize(n);
  return s;
}

// Long runs, short repeats and noise side by side, so that one stream mixes
// stored, fixed and dynamic blocks and matches of 258 bytes.
std::string Mixed(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) {
    switch (rng() % 4) {
      case 0: s.append(1000 + rng() % 5000, static_cast<char>(rng())); break;
      case 1: s += Text(2000 + rng() % 30000, rng()); break;
      case 2: s += RandomBytes(1000 + rng() % 70000, rng()); break;
      default: {
        std::string unit = RandomBytes(1 + rng() % 40, rng());
        for (int i = rng() % 300; i > 0; --i) s += unit;
      }
    }
  }
  s.resize(n);
  return s;
}

TEST(Deflate, ZlibInflatesEveryLevelOverTheCorpus) {
  struct TCase {
    const char* name;
    std::string data;
  };
  std::vector<TCase> corpus = {
      {"empty", ""},
      {"one byte", "x"},
      {"two bytes", "xy"},
      {"three equal bytes", "aaa"},
      {"short text", "Hello, hello, hello world"},
      {"text", Text(100000, 1)},
      {"random", RandomBytes(200000, 2)},
      {"zeros", std::string(300000, '\0')},
      {"window - 1", Mixed(32767, 3)},
      {"window", Mixed(32768, 4)},
      {"window + 1", Mixed(32769, 5)},
      {"window minus lookahead", Text(32768 - 262, 6)},
      {"two windows - 1", Mixed(65535, 7)},
      {"two windows", RandomBytes(65536, 8)},
      {"two windows + 1", Text(65537, 9)},
      {"stored block limit", RandomBytes(65535 + 65536, 10)},
  };
  zip::TDeflater deflater;  // reused on purpose: no state may leak between streams
  for (const auto& c : corpus) {
    for (int level = 1; level <= 9; ++level) {
      SCOPED_TRACE(std::string(c.name) + " level " + std::to_string(level));
      std::string z = Compress(deflater, level, c.data);
      EXPECT_EQ(Inflate(z, c.data.size()), c.data);
    }
  }
}

TEST(Deflate, SeveralMegabytesRoundTripNoLargerThanZlibMakesThem) {
  std::string data = Mixed(3 << 20, 11);
  zip::TDeflater deflater;
  for (int level : {1, 6, 9}) {
    SCOPED_TRACE(level);
    std::string z = Compress(deflater, level, data);
    EXPECT_EQ(Inflate(z, data.size()), data);
    uLongf zlen = compressBound(static_cast<uLong>(data.size()));
    std::string ref(zlen, '\0');
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(ref.data()), &zlen, reinterpret_cast<const Bytef*>(data.data()),
                        static_cast<uLong>(data.size()), level),
              Z_OK);
    // zlib adds 6 bytes of header and checksum around the same kind of stream.
    EXPECT_LE(z.size(), zlen - 6);
  }
}

TEST(Deflate, InputInTinyPiecesGivesTheSameStream) {
  std::string data = Mixed(150000, 12);
  zip::TDeflater deflater;
  for (int level : {1, 4, 9}) {
    SCOPED_TRACE(level);
    std::string whole = Compress(deflater, level, data);
    for (size_t piece : {size_t(1), size_t(7), size_t(4096)}) {
      EXPECT_EQ(Compress(deflater, level, data, piece), whole) << "piece " << piece;
    }
  }
}

TEST(Deflate, IncompressibleDataCostsAlmostNothingExtra) {
  std::string data = RandomBytes(1 << 20, 13);
  zip::TDeflater deflater;
  for (int level : {1, 6, 9}) {
    std::string z = Compress(deflater, level, data);
    // Stored blocks: five bytes of framing per 16 KiB at most.
    EXPECT_LE(z.size(), data.size() + data.size() / 16384 * 5 + 16) << level;
  }
}

TEST(Deflate, FlagBitsFollowTheLevel) {
  const uint16_t expected[10] = {0, 4, 4, 0, 0, 0, 0, 0, 2, 2};
  for (int level = 0; level <= 9; ++level) EXPECT_EQ(zip::TDeflater::FlagBitsForLevel(level), expected[level]) << level;
}

TEST(Deflate, FirstBlockDecidesTextOrBinary) {
  struct TCase {
    std::string data;
    uint16_t attr;
  };
  // The rule counts literals, not bytes, so the samples barely repeat.
  auto printable = [](size_t n, uint32_t seed) {
    std::string s = RandomBytes(n, seed);
    for (auto& c : s) c = static_cast<char>(' ' + static_cast<uint8_t>(c) % 95);
    return s;
  };
  auto highBytes = [](size_t n, uint32_t seed) {
    std::string s = RandomBytes(n, seed);
    for (auto& c : s) c = static_cast<char>(0x80 | static_cast<uint8_t>(c));
    return s;
  };
  const TCase cases[] = {
      {"", 1},  // nothing but the end of block: no binary literals
      {printable(5000, 14), 1},
      {printable(4000, 15) + RandomBytes(300, 16), 1},  // about 170 binary literals: under a quarter
      {printable(2000, 17) + highBytes(2000, 18), 0},
      {RandomBytes(5000, 19), 0},
  };
  zip::TDeflater deflater;
  for (const auto& c : cases) {
    Compress(deflater, 6, c.data);
    EXPECT_EQ(deflater.InternalAttributes(), c.attr) << c.data.size();
  }
}

TEST(Deflate, FailingOutputStopsTheRun) {
  class TFullDisk : public zip::TDeflateOutput {
   public:
    void Write(const uint8_t*, size_t) override { throw std::runtime_error("full"); }
  };
  std::string data = RandomBytes(300000, 18);
  TPieceInput in(data, SIZE_MAX);
  TFullDisk out;
  zip::TDeflater deflater;
  EXPECT_THROW(deflater.Deflate(6, in, out), std::runtime_error);
  // The object is still usable for the next stream.
  EXPECT_EQ(Inflate(Compress(deflater, 6, data), data.size()), data);
}

}  // namespace
