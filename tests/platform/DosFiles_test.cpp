#include "platform/DosFiles.h"

#include <gtest/gtest.h>

namespace {

TEST(DosFiles, CodePagesRoundTripAndKeepLength) {
  // Every Windows-1252 letter that code page 437 or 850 can hold comes back unchanged.
  std::string all;
  for (int c = 32; c < 256; ++c) all += static_cast<char>(c);
  for (auto page : {platform::TOemCodePage::cp437, platform::TOemCodePage::cp850}) {
    const std::string oem = platform::AnsiToOem(all, page);
    ASSERT_EQ(oem.size(), all.size());
    const std::string back = platform::OemToAnsi(oem, page);
    int kept = 0;
    for (size_t i = 0; i < all.size(); ++i) kept += back[i] == all[i];
    EXPECT_GE(kept, page == platform::TOemCodePage::cp850 ? 190 : 150);
  }
  struct Case {
    const char* ansi;
    const char* cp437;
    const char* cp850;
  };
  const Case cases[] = {{"\xFC\xE9", "\x81\x82", "\x81\x82"},  // u-umlaut, e-acute
                        {"\xF8", "_", "\x9B"},                  // o-slash: only in 850
                        {"\x80", "_", "_"}};                    // euro sign: in neither
  for (const Case& c : cases) {
    EXPECT_EQ(platform::AnsiToOem(c.ansi, platform::TOemCodePage::cp437), c.cp437);
    EXPECT_EQ(platform::AnsiToOem(c.ansi, platform::TOemCodePage::cp850), c.cp850);
  }
  std::string bytes;
  for (int c = 1; c < 256; ++c) bytes += static_cast<char>(c);
  EXPECT_EQ(platform::Utf8ToAnsi(platform::AnsiToUtf8(bytes)), bytes);
}

TEST(DosFiles, DosDatesConvertBothWays) {
  const platform::TDosFields f{2024, 2, 29, 13, 45, 58};
  const uint32_t dos = platform::JoinDosDateTime(f);
  platform::TDateTime dt = 0;
  ASSERT_TRUE(platform::DosDateTimeToDateTime(dos, dt));
  EXPECT_EQ(platform::DateTimeToDosDateTime(dt), dos);
  platform::TDateTime epoch = 0;
  ASSERT_TRUE(platform::EncodeDateTime({1899, 12, 30, 0, 0, 0}, epoch));
  EXPECT_EQ(epoch, 0.0);
  ASSERT_TRUE(platform::EncodeDateTime({1970, 1, 1, 0, 0, 0}, epoch));
  EXPECT_EQ(epoch, 25569.0);
  EXPECT_FALSE(platform::DosDateTimeToDateTime(platform::JoinDosDateTime({2023, 2, 29, 0, 0, 0}), dt));
  EXPECT_FALSE(platform::DosDateTimeToDateTime(platform::JoinDosDateTime({2023, 13, 1, 0, 0, 0}), dt));
}

}  // namespace
