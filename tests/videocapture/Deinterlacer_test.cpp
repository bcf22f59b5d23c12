// The deinterlacer on a picture made of two fields, and where the component
// leaves it out.

#include "videocapture/engine/Deinterlacer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "Capture_helpers.h"
#include "platform/TempHome.h"

namespace engine = videocapture::engine;
using capture_test::SyntheticWorld;
using capture_test::Watched;

namespace {

constexpr int kWidth = 64, kHeight = 48;

// A scene, top row first: grey bars, two-pixel stripes at the right (detail
// that stood still), and a white box on rows 10 to 28 from column `boxX`.
std::vector<std::uint8_t> Scene(int boxX) {
  std::vector<std::uint8_t> px(engine::Rgb24Stride(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      int v = 40 + (x / 8) * 10;
      if (x >= 48) v = (y / 2) % 2 ? 200 : 30;
      if (y >= 10 && y <= 28 && x >= boxX && x < boxX + 16) v = 255;
      std::fill_n(&px[y * engine::Rgb24Stride(kWidth) + x * 3], 3, static_cast<std::uint8_t>(v));
    }
  return px;
}

}  // namespace

TEST(Deinterlacer, RebuildsWhatMovedBetweenTheFieldsAndKeepsWhatStoodStill) {
  const std::size_t stride = engine::Rgb24Stride(kWidth);
  // The box moved 12 columns between the first field (even rows) and the second.
  const std::vector<std::uint8_t> first = Scene(8), second = Scene(20);
  for (const bool topDown : {true, false}) {
    SCOPED_TRACE(topDown ? "top row first" : "bottom row first");
    std::vector<std::uint8_t> interlaced(first.size());
    for (int y = 0; y < kHeight; ++y) {
      const auto& field = y % 2 ? second : first;
      std::copy_n(&field[y * stride], stride, &interlaced[(topDown ? y : kHeight - 1 - y) * stride]);
    }
    const engine::TFrame in{0, interlaced.data(), interlaced.size(), kWidth, kHeight, stride, topDown};
    std::vector<std::uint8_t> pixels;
    engine::TFrame out;
    engine::Deinterlace(in, pixels, out);
    ASSERT_TRUE(out.topDown);
    ASSERT_EQ(out.stride, stride);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), out.data)) << "the picture of the first field, whole";
  }
}

// A camera's pictures go to the screen and the file as they came, whatever
// side is asked for: the deinterlacer is for a camcorder's split stream (its
// places there are checked with the camcorders).
TEST(Deinterlacer, StaysOutOfACamerasGraph) {
  for (const TStreamType side : {st_Preview, st_Capture, st_Both}) {
    SCOPED_TRACE(side);
    testing_support::TempHome home;
    SyntheticWorld world(1);
    Watched w;
    EXPECT_TRUE(w.vc->GetIsDeinterlacerFilterInstalled());
    w.vc->UseDeinterlacerFilter = side;
    w.vc->StoragePath = home.Home().string();
    w.vc->StartPreview();
    w.vc->StartCapture();
    ASSERT_EQ(w.vc->CurrentState(), cs_Capture);
    for (const auto& link : w.vc->GraphLinks()) EXPECT_EQ(link.find("Deinterlace"), std::string::npos) << link;
    w.vc->StopCapture();
    EXPECT_EQ(w.errors, std::vector<std::string>{});
  }
}
