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

// What a broadcaster's picture may cost, counted before each scan is decoded:
// every picture a camera or an ordinary encoder makes at the largest size
// shows; one whose scans, or whose arithmetic coding, would hold the decoder
// past the bound is refused at the scan that passes it, and one too wide
// before anything is decoded.
TEST(CamProtocol, RefusesPicturesDearerThanACamerasBeforeDecoding) {
  std::string wide = cam_test::SyntheticJpeg(5, 0);
  const std::size_t sof = wide.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  wide[sof + 5] = static_cast<char>(1536 >> 8), wide[sof + 6] = static_cast<char>(1536 & 0xFF);
  wide[sof + 7] = static_cast<char>(2049 >> 8), wide[sof + 8] = static_cast<char>(2049 & 0xFF);
  const QSize none(0, 0), largest(2048, 1536);
  const std::string dear = "2048 x 1536 pixels too dear to decode by scan ";
  const struct {
    const char* name;
    std::string jpeg;
    QSize shown;
    std::string refused;  // its start
  } cases[] = {
      {"camera picture", cam_test::SyntheticJpeg(5, 0), {160, 120}, ""},
      {"largest, quality 30", cam_test::CameraJpeg(2048, 1536, 30, false), largest, ""},
      {"largest, quality 70", cam_test::CameraJpeg(2048, 1536, 70, false), largest, ""},
      {"largest, progressive", cam_test::CameraJpeg(2048, 1536, 70, true), largest, ""},
      {"a hundred scans of a small picture", cam_test::RepeatedScanJpeg(640, 480, 100), {640, 480}, ""},
      {"scans of the largest", cam_test::RepeatedScanJpeg(2048, 1536, 100), none, dear},
      {"thirty thousand scans", cam_test::RepeatedScanJpeg(64, 64, 30000), none, "64 x 64 pixels too dear"},
      {"arithmetic-coded, small", cam_test::ArithmeticJpeg(320, 240, 4), {320, 240}, ""},
      {"arithmetic-coded, largest", cam_test::ArithmeticJpeg(2048, 1536, 4), none, dear},
      {"a pixel too wide", wide, none, "2049 x 1536 pixels"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const cam::TReceivedPicture picture = cam::DecodeReceivedPicture(c.jpeg);
    EXPECT_EQ(picture.Image.size(), c.shown);
    EXPECT_EQ(picture.Refused.substr(0, c.refused.size()), c.refused);
    EXPECT_EQ(picture.Refused.empty(), c.refused.empty()) << picture.Refused;
  }
}
