#include "zip/Inflate.h"

#include "platform/Exception.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>

#include "ZipTest_helpers.h"

namespace {

std::vector<uint8_t> ZlibDeflate(const std::string& in, int level, int strategy, int memLevel = 8) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, memLevel, strategy);
  std::vector<uint8_t> out(deflateBound(&z, in.size()) + 64);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Streams whose bytes arrive a few at a time, to cross every refill boundary.
class DribbleSource : public zip::TZipSource {
 public:
  DribbleSource(const std::vector<uint8_t>& data, size_t step) : data_(data), step_(step) {}
  size_t ReadChunk(uint8_t* buffer, size_t max) override {
    const size_t n = std::min({max, step_, data_.size() - pos_});
    std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(pos_), n, buffer);
    pos_ += n;
    return n;
  }

 private:
  const std::vector<uint8_t>& data_;
  size_t step_;
  size_t pos_ = 0;
};

TEST(Inflate, DecodesWhatZlibEncodesAcrossSizesLevelsAndStrategies) {
  struct Case {
    size_t size;
    bool text;
  };
  const Case cases[] = {{0, true}, {1, false}, {257, true}, {32767, false}, {32768, true}, {32769, false},
                        {65536 + 3, true}, {300000, false}, {1 << 20, true}};
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY, Z_RLE, Z_FILTERED};
  unsigned seed = 0;
  for (const Case& c : cases) {
    const std::string data = c.text ? ziptest::TextPayload(c.size, ++seed) : ziptest::BinaryPayload(c.size, ++seed);
    for (int level : {0, 1, 6, 9}) {
      for (int strategy : strategies) {
        if (c.size > 100000 && (strategy != Z_DEFAULT_STRATEGY || level == 9)) continue;
        const auto packed = ZlibDeflate(data, level, strategy, level == 1 ? 1 : 8);
        std::vector<uint8_t> out;
        ASSERT_TRUE(zip::InflateBuffer(packed.data(), packed.size(), out))
            << "size " << c.size << " level " << level << " strategy " << strategy;
        ASSERT_EQ(std::string(out.begin(), out.end()), data)
            << "size " << c.size << " level " << level << " strategy " << strategy;
      }
    }
  }
}

// Matches at every short distance and at lengths that end anywhere in a word: each
// distance below 16 is copied its own way.
TEST(Inflate, RepeatsAtEveryShortDistance) {
  std::mt19937 rng(5);
  std::string data;
  for (int period = 1; period <= 40; ++period) {
    std::string unit;
    for (int i = 0; i < period; ++i) unit += static_cast<char>(rng());
    for (int i = 0; i < 700 + period * 13; ++i) data += unit[i % period];
  }
  for (int strategy : {Z_DEFAULT_STRATEGY, Z_RLE}) {
    const auto packed = ZlibDeflate(data, 9, strategy);
    std::vector<uint8_t> out;
    ASSERT_TRUE(zip::InflateBuffer(packed.data(), packed.size(), out)) << strategy;
    EXPECT_EQ(std::string(out.begin(), out.end()), data) << strategy;
  }
}

TEST(Inflate, SameBytesWhateverTheInputChunking) {
  const std::string data = ziptest::TextPayload(200000, 7) + ziptest::BinaryPayload(100000, 8);
  for (int level : {0, 9}) {
    const auto packed = ZlibDeflate(data, level, Z_DEFAULT_STRATEGY);
    for (size_t step : {1u, 3u, 4096u}) {
      DribbleSource source(packed, step);
      std::vector<uint8_t> out;
      zip::TVectorSink sink(out);
      zip::TInflater inflater(source, sink);
      ASSERT_TRUE(inflater.Run()) << "step " << step;
      EXPECT_EQ(std::string(out.begin(), out.end()), data) << "step " << step;
      EXPECT_EQ(inflater.TotalOut(), data.size());
    }
  }
}

// Past the end of the data the decoder reads zeros. A stream cut short gives
// the whole of what was packed only when all it lost was zeros it read anyway.
TEST(Inflate, ACutShortStreamGivesTheDataOnlyWhenItLostZeros) {
  const std::string data = ziptest::TextPayload(3000, 12) + std::string(500, 'x') + ziptest::BinaryPayload(3000, 13);
  for (int level : {0, 1, 9}) {
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
      const auto packed = ZlibDeflate(data, level, strategy);
      for (size_t cut = 0; cut < packed.size(); ++cut) {
        std::vector<uint8_t> out;
        if (!zip::InflateBuffer(packed.data(), cut, out) || std::string(out.begin(), out.end()) != data) continue;
        EXPECT_TRUE(std::all_of(packed.begin() + static_cast<long>(cut), packed.end(), [](uint8_t b) { return b == 0; }))
            << level << " " << strategy << " " << cut;
      }
    }
  }
}

TEST(Inflate, DamagedStreamsEndWithoutCrashOrEndlessOutput) {
  const std::string data = ziptest::TextPayload(100000, 9);
  const auto packed = ZlibDeflate(data, 9, Z_DEFAULT_STRATEGY);
  std::mt19937 rng(11);
  int failures = 0;
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bad = packed;
    if (round % 3 == 0) {
      bad.resize(rng() % bad.size());  // truncated
    } else {
      for (int k = 0; k < 1 + round % 5; ++k) bad[rng() % bad.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
    }
    std::vector<uint8_t> out;
    // A stated size bounds the output; a corrupt stream may not run past it.
    try {
      if (!zip::InflateBuffer(bad.data(), bad.size(), out, data.size() * 2)) ++failures;
    } catch (const platform::Exception&) {
      ++failures;
    }
    EXPECT_LE(out.size(), data.size() * 2);
  }
  EXPECT_GT(failures, 100);
  // Hand-made faults: reserved block type, stored length check, distance before the start.
  const std::vector<std::vector<uint8_t>> invalid = {
      {0x07},                                // final block of type 3
      {0x01, 0x05, 0x00, 0x00, 0x00},        // stored, LEN 5 but NLEN not its complement
      {0x03, 0x02, 0x00, 0x00},              // fixed block whose first match reaches back past the start
  };
  for (const auto& v : invalid) {
    std::vector<uint8_t> out;
    EXPECT_FALSE(zip::InflateBuffer(v.data(), v.size(), out));
  }
}

}  // namespace
