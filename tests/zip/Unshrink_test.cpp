#include "zip/Unshrink.h"

#include <gtest/gtest.h>

#include "ZipTest_helpers.h"
#include "zip/ZipReader.h"

using namespace ziptest;

namespace {

// Unpacks the single entry of an archive into memory through the reader.
std::string UnpackOnly(const std::string& archive) {
  zip::TZipReader reader;
  reader.SetZipName(archive);
  std::vector<uint8_t> out;
  reader.DoAll = true;
  bool bad = false;
  reader.OnBadCRC = [&](zip::TZipReader*, uint32_t, uint32_t, int) { bad = true; };
  EXPECT_EQ(reader.UnZipToBufferByIndex(out, 0), 1);
  EXPECT_FALSE(bad);
  return std::string(out.begin(), out.end());
}

// Shrunk archives come from an encoder written from the format; Info-ZIP's unzip
// must accept each before our decoder's output means anything.
TEST(Unshrink, DecodesShrunkDataIncludingWidthChangesAndPartialClears) {
  TempDir tmp;
  std::string tokens;
  for (int i = 0; tokens.size() < 200000; ++i) tokens += "w" + std::to_string((i * 7919) % 20011) + " ";
  const std::pair<std::string, std::string> cases[] = {
      {"one.txt", "x"},
      {"repeat.txt", std::string(5000, 'a')},          // the code being defined, used at once
      {"text.txt", TextPayload(60000, 21)},             // widens the code up to 13 bits
      {"tokens.txt", tokens},                           // fills the table: partial clears
      {"binary.bin", BinaryPayload(150000, 22)},
  };
  for (const auto& [name, bytes] : cases) {
    WriteFile(tmp / name, bytes);
    const std::string archive = tmp / (name + ".zip");
    ASSERT_EQ(Shell("python3 " + Quote(SupportScript("zipcases.py")) + " shrink " + Quote(archive) + " " + name + " " +
                    Quote(tmp / name)),
              0);
    ASSERT_EQ(Shell("unzip -tqq " + Quote(archive)), 0) << name << ": the encoder's archive is not valid";
    EXPECT_EQ(UnpackOnly(archive), bytes) << name;
  }
}

TEST(Unshrink, CodeThatRefersToNothingFails) {
  // 9-bit codes: 'a', then 300 (never defined, and not the next free code 257).
  const uint8_t stream[] = {0x61, 0x58, 0x02, 0x00};
  zip::TMemorySource source(stream, sizeof stream);
  std::vector<uint8_t> out;
  zip::TVectorSink sink(out);
  EXPECT_FALSE(zip::Unshrink(source, sink, 10));
}

}  // namespace
