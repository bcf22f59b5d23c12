#include "zip/Explode.h"

#include <gtest/gtest.h>

#include "ZipTest_helpers.h"
#include "zip/ZipReader.h"

using namespace ziptest;

namespace {

TEST(Explode, DecodesImplodedEntriesOfEveryTreeAndDictionaryChoice) {
  TempDir tmp;
  const std::string data = TextPayload(8000, 31) + BinaryPayload(2000, 32);
  WriteFile(tmp / "in.bin", data);
  // Flag bit 1: 8 KiB dictionary; bit 2: a third tree for literals.
  for (int flags : {0, 2, 4, 6}) {
    const std::string archive = tmp / ("imp" + std::to_string(flags) + ".zip");
    ASSERT_EQ(Shell("python3 " + Quote(SupportScript("zipcases.py")) + " implode " + Quote(archive) + " in.bin " +
                    Quote(tmp / "in.bin") + " " + std::to_string(flags)),
              0);
    ASSERT_EQ(Shell("unzip -tqq " + Quote(archive)), 0) << "flags " << flags;
    zip::TZipReader reader;
    reader.SetZipName(archive);
    std::vector<uint8_t> out;
    EXPECT_EQ(reader.UnZipToBufferByIndex(out, 0), 1) << "flags " << flags;
    EXPECT_EQ(std::string(out.begin(), out.end()), data) << "flags " << flags;
  }
}

TEST(Explode, MatchesCopyFromHistoryAndTreesMustAddUp) {
  // Two trees (raw literals), 4 KiB dictionary. Every length and distance code is 6
  // bits long, so symbol s has the code s, sent inverted, most significant bit first.
  struct Bits {
    std::vector<uint8_t> out;
    uint32_t acc = 0;
    int n = 0;
    void Put(uint32_t v, int bits) {
      acc |= v << n;
      n += bits;
      while (n >= 8) {
        out.push_back(static_cast<uint8_t>(acc));
        acc >>= 8;
        n -= 8;
      }
    }
    void Code6(int s) {
      for (int i = 5; i >= 0; --i) Put(((s >> i) & 1) ^ 1, 1);
    }
    std::vector<uint8_t> Done() {
      if (n) out.push_back(static_cast<uint8_t>(acc));
      return out;
    }
  } b;
  for (int t = 0; t < 2; ++t) {
    b.Put(3, 8);  // four bytes follow
    for (int k = 0; k < 4; ++k) b.Put(0xF5, 8);  // 16 codes of 6 bits each
  }
  for (char c : std::string("abc")) {
    b.Put(1, 1);
    b.Put(static_cast<uint8_t>(c), 8);
  }
  b.Put(0, 1);   // match
  b.Put(2, 6);   // distance low bits: distance 3
  b.Code6(0);    // distance high bits 0
  b.Code6(4);    // length 4 + 2
  const auto stream = b.Done();
  zip::TMemorySource source(stream.data(), stream.size());
  std::vector<uint8_t> out;
  zip::TVectorSink sink(out);
  ASSERT_TRUE(zip::Explode(source, sink, 0, 9));
  EXPECT_EQ(std::string(out.begin(), out.end()), "abcabcabc");

  // A tree whose runs do not add up to 64 codes is refused.
  const uint8_t badTree[] = {0x00, 0xF5};
  zip::TMemorySource bad(badTree, sizeof badTree);
  std::vector<uint8_t> none;
  zip::TVectorSink sink2(none);
  EXPECT_FALSE(zip::Explode(bad, sink2, 0, 10));
}

}  // namespace
