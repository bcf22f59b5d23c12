// Grabbing frames: single frames and bursts with the right numbers, files that
// outside tools read, automatic names, the copy's bounds, and teardown while
// frames are in flight.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <thread>

#include "Capture_helpers.h"
#include "platform/TempHome.h"
#include "videocapture/SampleGrabberCB.h"

namespace engine = videocapture::engine;
using capture_test::PpmFrameNumber;
using capture_test::Shell;
using capture_test::SyntheticWorld;
using capture_test::WaitFor;
using capture_test::Watched;

namespace {

int FrameNumber(const TBitmap& b) {
  return engine::ReadSyntheticFrameNumber(b.Bits(), b.Width(), b.Height(), b.Stride(), false);
}

struct Grabbing {
  explicit Grabbing(int cameras = 1) : world(cameras) {
    w.Tick();
    w.vc->OnFrameCaptureCompleted = [this](TVideoCapture*, const TBitmap* b, TFrameCaptureDest, const std::string& name,
                                           bool ok) {
      numbers.push_back(b ? FrameNumber(*b) : -1);
      names.push_back(name);
      success.push_back(ok);
    };
    w.vc->OnCaptureProgress = [this](TVideoCapture*, double, int, int) { ++samples; };
    w.vc->StartPreview();
  }
  // One frame of the camera, and everything it causes on the GUI thread.
  void Step() {
    const int before = samples;
    world.StepFrames(1);
    EXPECT_TRUE(WaitFor([&] { return samples > before; }));
    WaitFor([] { return false; }, 5);
  }
  SyntheticWorld world;
  Watched w;
  int samples = 0;
  std::vector<int> numbers;
  std::vector<std::string> names;
  std::vector<bool> success;
};

}  // namespace

TEST(FrameGrabber, DeliversRequestedFramesAndBursts) {
  struct Case {
    const char* name;
    std::function<void(Grabbing&)> request;
    int steps;
    std::vector<int> numbers;
  };
  const Case cases[] = {
      {"one request, one frame", [](Grabbing& g) { g.w.vc->CaptureFrameTo(fc_TBitmap, ""); }, 3, {1}},
      {"a second request before the frame only renews it",
       [](Grabbing& g) {
         g.w.vc->CaptureFrameTo(fc_TBitmap, "");
         g.w.vc->CaptureFrameTo(fc_TBitmap, "");
       },
       3, {1}},
      {"burst of three, every sample",
       [](Grabbing& g) {
         g.w.vc->SetBurstMode(true);
         g.w.vc->CaptureFrameTo(fc_TBitmap, "");
       },
       6, {1, 2, 3}},
      {"burst of three, every second sample",
       [](Grabbing& g) {
         g.w.vc->SetBurstMode(true);
         g.w.vc->SetBurstInterval(2);
         g.w.vc->CaptureFrameTo(fc_TBitmap, "");
       },
       8, {1, 3, 5}},
      {"a sample without a buffer ends the request, passing no bitmap",
       [](Grabbing& g) {
         g.world.Camera(0)->Faults().nullBuffer = true;
         g.w.vc->CaptureFrameTo(fc_TBitmap, "");
         g.Step();
         g.world.Camera(0)->Faults().nullBuffer = false;
       },
       2, {-1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Grabbing g;
    c.request(g);
    for (int i = 0; i < c.steps; ++i) g.Step();
    EXPECT_EQ(g.numbers, c.numbers);
    for (std::size_t i = 0; i < g.numbers.size(); ++i) EXPECT_EQ(g.success[i], g.numbers[i] >= 0) << i;
  }
}

TEST(FrameGrabber, WritesFilesThatOutsideToolsRead) {
  testing_support::TempHome folder;
  const std::string dir = folder.Home().string();
  std::filesystem::create_directories(dir);
  for (const char* name : {"vc000007.bmp", "vcabc.bmp", "other000050.bmp"})
    std::fclose(std::fopen((dir + "/" + name).c_str(), "w"));
  Grabbing g;
  g.w.vc->StoragePath = dir;
  g.w.vc->JPEGQuality = 40;
  auto grab = [&](TFrameCaptureDest dest, const std::string& name) {
    g.w.vc->CaptureFrameTo(dest, name);
    const std::size_t before = g.numbers.size();
    for (int i = 0; i < 3 && g.numbers.size() == before; ++i) g.Step();
    ASSERT_EQ(g.numbers.size(), before + 1);
  };
  grab(fc_BmpFile, "");
  std::fclose(std::fopen((dir + "/vc000009.bmp").c_str(), "w"));  // another program takes the next name
  grab(fc_BmpFile, "");
  grab(fc_JpegFile, "");
  grab(fc_JpegFile, dir + "/chosen.jpg");
  grab(fc_JpegFile, dir + "/missing/x.jpg");
  g.w.vc->AutoFileName = fn_DateTime;
  g.w.vc->StoragePath = dir + "\\";  // the program's own separator
  grab(fc_JpegFile, "");
  ASSERT_EQ(g.names.size(), 6u);
  const std::string stamped = g.names.back();
  EXPECT_TRUE(std::filesystem::is_regular_file(stamped)) << stamped;  // the name reported is the file's own
  EXPECT_EQ(stamped.substr(0, dir.size() + 3), dir + "/vc");
  g.names.pop_back();
  EXPECT_EQ(g.names, (std::vector<std::string>{dir + "/vc000008.bmp", dir + "/vc000010.bmp", dir + "/vc000001.jpg",
                                               dir + "/chosen.jpg", dir + "/missing/x.jpg"}));
  EXPECT_EQ(g.success, (std::vector<bool>{true, true, true, true, false, true}));
  EXPECT_EQ(g.numbers, (std::vector<int>{1, 2, 3, 4, 5, 6}));  // the bitmap arrives even when saving failed

  EXPECT_EQ(Shell("identify -format '%m %w %h' " + dir + "/vc000010.bmp"), "BMP3 320 240");
  EXPECT_EQ(Shell("identify -format '%m %w %h' " + dir + "/vc000001.jpg"), "JPEG 320 240");
  EXPECT_EQ(PpmFrameNumber(Shell("convert " + dir + "/vc000010.bmp ppm:-")), 2);
  EXPECT_EQ(PpmFrameNumber(Shell("djpeg -pnm " + dir + "/vc000001.jpg")), 3);
  EXPECT_EQ(PpmFrameNumber(Shell("djpeg -pnm " + dir + "/chosen.jpg")), 4);
}

TEST(FrameGrabber, CopiesFramesWithinTheirBounds) {
  struct Case {
    const char* name;
    bool topDown;
    int padding;
    bool halfBuffer;
    bool null;
    int number;  // expected reading; -1 when the copy cannot hold it
  };
  const Case cases[] = {
      {"top-down, padded rows", true, 7, false, false, 42},
      {"bottom-up, packed rows", false, 0, false, false, 42},
      {"buffer short by half", true, 3, true, false, 42},
      {"no buffer", true, 0, false, true, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int w = 162, h = 120;  // 162 * 3 is not a multiple of 4
    const std::size_t stride = engine::Rgb24Stride(w) + c.padding;
    std::vector<std::uint8_t> pixels(stride * h);
    engine::DrawSyntheticFrame(pixels.data(), w, h, stride, c.topDown, 42, 128);
    engine::TFrame frame{0, c.null ? nullptr : pixels.data(), c.halfBuffer ? pixels.size() / 2 : pixels.size(),
                         w, h, stride, c.topDown};
    TBitmap bitmap(w, h);
    CopyFrameToBitmap(frame, bitmap);
    if (c.halfBuffer) {
      // The rows the buffer holds are there; the others stay black.
      const int held = c.topDown ? h / 2 - 1 : 0;
      EXPECT_NE(bitmap.ScanLine(held)[0], 0);
      EXPECT_EQ(bitmap.ScanLine(h - 1)[0], 0);
      continue;
    }
    EXPECT_EQ(FrameNumber(bitmap), c.number);
  }
}

TEST(FrameGrabber, DestroyingTheComponentWhileFramesFlowDropsTheirNotices) {
  Grabbing g;
  bool late = false;
  g.w.vc->CaptureFrameTo(fc_TBitmap, "");
  g.world.StepFrames(5);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  g.w.vc->OnFrameCaptureCompleted = [&](TVideoCapture*, const TBitmap*, TFrameCaptureDest, const std::string&,
                                        bool) { late = true; };
  g.w.vc.reset();
  WaitFor([] { return false; }, 50);
  EXPECT_FALSE(late);
}
