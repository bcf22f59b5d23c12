#include "conversations/CamProtocol.h"

#include <gtest/gtest.h>

#include "Cam_helpers.h"
#include "core/session/PeerBounds.h"
#include "platform/Jpeg.h"

// Lengths a 1034 may announce: a picture's size, never a bound's worth more.
TEST(CamProtocol, PictureLengthsWithinBounds) {
  const std::pair<const char*, int> cases[] = {
      {"5000", 5000},  {" 17 ", 17},   {"1048576", 1 << 20}, {"1048577", -1}, {"0", -1},       {"-5", -1},
      {"+5", -1},      {"5x", -1},     {"", -1},             {"  ", -1},      {"1 2", -1},     {"0000001", 1},
      {"4294967297", -1},
  };
  for (const auto& [text, want] : cases) {
    const std::optional<int> got = cam::ParsePictureLength(text);
    EXPECT_EQ(got.value_or(-1), want) << '"' << text << '"';
  }
}

// Whatever a peer calls itself, its pictures' folder is one name inside
// "CamImages": no separator, no climbing out, no hidden or empty name.
TEST(CamProtocol, SaveFolderIsOneNameComponent) {
  const std::pair<std::string, std::string> cases[] = {
      {"Bea", "Bea"},
      {"../../etc", "_.._etc"},
      {"..\\..\\Windows", "_.._Windows"},
      {"C:evil", "C_evil"},
      {".hidden", "hidden"},
      {"...", "_"},
      {"", "_"},
      {"trailing. . ", "trailing"},
      {std::string("a\x01\nb\x7f", 5), "a__b_"},
      {std::string(100, 'x'), std::string(64, 'x')},
      {"caf\xe9", "caf\xe9"},
  };
  for (const auto& [name, want] : cases) EXPECT_EQ(cam::SaveFolderName(name), want) << name;
}

// A picture is decoded only when whole and of a sane size: a damaged one, or
// a small file that declares an enormous picture, gives no image.
TEST(CamProtocol, DecodesOnlySanePictures) {
  const std::string good = cam_test::SyntheticJpeg(5, 0);
  EXPECT_EQ(cam::DecodePicture(good).size(), QSize(160, 120));
  EXPECT_TRUE(cam::DecodePicture(good.substr(0, 100)).isNull());
  EXPECT_TRUE(cam::DecodePicture("not a picture").isNull());
  // The frame header's height and width (after the 0xFFC0 marker, its length
  // and precision) rewritten to 4200 x 4200: a picture the decoder would
  // fill in, at 50 MB, from a file of a few kilobytes.
  std::string huge = good;
  const std::size_t sof = huge.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  for (std::size_t at : {sof + 5, sof + 7}) {
    huge[at] = static_cast<char>(4200 >> 8);
    huge[at + 1] = static_cast<char>(4200 & 0xFF);
  }
  EXPECT_TRUE(cam::DecodePicture(huge).isNull());
}

// What a broadcaster's picture may cost before any row of it is made: its
// pixels, and its scans (fewer as the picture grows). An ordinary camera
// picture, baseline or progressive, shows as before. The scans counted by
// markers (for pictures another decoder shows) agree with the library's count.
TEST(CamProtocol, RefusesPicturesDearerThanACamerasBeforeDecoding) {
  std::string wide = cam_test::SyntheticJpeg(5, 0);
  const std::size_t sof = wide.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  wide[sof + 5] = static_cast<char>(1536 >> 8), wide[sof + 6] = static_cast<char>(1536 & 0xFF);
  wide[sof + 7] = static_cast<char>(2049 >> 8), wide[sof + 8] = static_cast<char>(2049 & 0xFF);
  const struct {
    const char* name;
    std::string jpeg;
    QSize shown;
    std::string refused;
  } cases[] = {
      {"camera picture", cam_test::SyntheticJpeg(5, 0), {160, 120}, ""},
      {"progressive", cam_test::RepeatedScanJpeg(640, 480, 10), {640, 480}, ""},
      {"scans at the bound", cam_test::RepeatedScanJpeg(640, 480, 100), {640, 480}, ""},
      {"one scan more", cam_test::RepeatedScanJpeg(640, 480, 101), {0, 0}, "more than 100 scans"},
      {"scans of a big picture", cam_test::RepeatedScanJpeg(2048, 1536, 13), {0, 0}, "more than 12 scans"},
      {"thirty thousand scans", cam_test::RepeatedScanJpeg(64, 64, 30000), {0, 0}, "more than 100 scans"},
      {"a pixel too wide", wide, {0, 0}, "2049 x 1536 pixels"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const cam::TReceivedPicture picture = cam::DecodeReceivedPicture(c.jpeg);
    EXPECT_EQ(picture.Image.size(), c.shown);
    EXPECT_EQ(picture.Refused, c.refused);
    const auto* data = reinterpret_cast<const std::uint8_t*>(c.jpeg.data());
    int width = 0, height = 0;
    ASSERT_TRUE(platform::ReadJpegSize(data, c.jpeg.size(), width, height));
    EXPECT_EQ(platform::JpegScansWithin(data, c.jpeg.size(), peerbounds::PictureScans(std::int64_t{width} * height)),
              c.refused.find("scans") == std::string::npos);
  }
}
