// The player on files that ffmpeg made, in several containers and codecs:
// the pictures it shows and the sound it plays are held against ffmpeg's own
// decoding of the same file.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "Capture_helpers.h"
#include "platform/TempHome.h"
#include "videocapture/VideoWindow.h"

namespace engine = videocapture::engine;
using capture_test::DecodedSound;
using capture_test::Shell;
using capture_test::SignalToNoise;
using capture_test::SyntheticWorld;
using capture_test::ToneOf;
using capture_test::WaitFor;
using capture_test::Watched;
using Strings = std::vector<std::string>;

namespace {

// Mean difference per byte between the player's window and ffmpeg's picture.
double Difference(const QImage& shown, const std::string& bgr) {
  const auto row = static_cast<std::size_t>(shown.width()) * 3;
  if (shown.isNull() || bgr.size() != row * static_cast<std::size_t>(shown.height())) return 255;
  double sum = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (std::size_t x = 0; x < row; ++x)
      sum += std::abs(shown.constScanLine(y)[x] - static_cast<std::uint8_t>(bgr[y * row + x]));
  return sum / static_cast<double>(bgr.size());
}

}  // namespace

TEST(Player, PlaysFilesFfmpegMadeWithTheirPicturesAndSound) {
  struct Case {
    const char* name;
    const char* size;
    const char* codecs;  // ffmpeg's options
    const char* file;
  };
  const Case cases[] = {
      {"DV and PCM in AVI", "720x576", "-c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le", "dv.avi"},
      {"MPEG-4 and MP3 in AVI", "320x240", "-c:v mpeg4 -c:a libmp3lame", "mpeg4.avi"},
      {"MJPEG and IMA ADPCM in AVI", "320x240", "-c:v mjpeg -c:a adpcm_ima_wav", "mjpeg.avi"},
      {"MPEG-4 and AAC in MP4", "320x240", "-c:v mpeg4 -c:a aac", "mpeg4.mp4"},
  };
  testing_support::TempHome home;
  std::filesystem::create_directories(home.Home());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SyntheticWorld world(0, false);
    const std::string file = home.Home().string() + "/" + c.file;
    ASSERT_EQ(Shell("ffmpeg -v error -y -f lavfi -i testsrc=s=" + std::string(c.size) +
                    ":r=25:d=1 -f lavfi -i 'aevalsrc=0.5*sin(440*2*PI*t)|0.5*sin(660*2*PI*t):s=48000:d=1' " +
                    c.codecs + " '" + file + "' && echo ok"),
              "ok\n");
    Watched w;
    w.Tick();
    bool ended = false;
    w.vc->OnPlayerEndOfStream = [&](TVideoCapture*) { ended = true; };
    w.vc->PlayerAutoStart = false;
    w.vc->PlayerFileName = file;
    w.vc->OpenPlayer();
    ASSERT_EQ(w.vc->CurrentState(), cs_Player);
    EXPECT_NEAR(w.vc->MediaDuration(), 1.0, 0.05);
    // Pictures a seek lands on, key frames or not.
    for (int index : {0, 13, 24}) {
      const std::string oracle = Shell("ffmpeg -v error -i '" + file + "' -vf 'select=eq(n\\," +
                                       std::to_string(index) + ")' -vframes 1 -f rawvideo -pix_fmt bgr24 -");
      EXPECT_TRUE(w.vc->SetPlayerPosition(index / 25.0));
      EXPECT_TRUE(WaitFor([&] { return Difference(w.vc->VideoWindow()->LatestFrame(), oracle) < 2; }, 2000))
          << index << ": " << Difference(w.vc->VideoWindow()->LatestFrame(), oracle);
    }
    w.vc->SetPlayerPosition(0);
    w.vc->RunPlayer();
    world.StepFrames(26, 25);
    ASSERT_TRUE(WaitFor([&] { return ended; }));
    w.vc->ClosePlayer();
    EXPECT_EQ(w.errors, Strings{});
    const std::string played = testing_support::ReadFile(world.PlayedFile()), decoded = DecodedSound(file);
    EXPECT_GE(played.size(), decoded.size());
    EXPECT_GT(SignalToNoise(decoded, played), 60.0);
    for (int channel : {0, 1})
      EXPECT_NEAR(ToneOf(played, channel, 48000), engine::kMicrophoneTones[channel], 10) << channel;

    // What FFmpeg cannot read closes the file before, and its length with it.
    const std::string text = home.Home().string() + "/text.avi";
    testing_support::WriteFile(text, "no media\n");
    w.vc->PlayerFileName = text;
    w.vc->OpenPlayer();
    EXPECT_EQ(w.errors, (Strings{"42 Error: no media info available", "10 Error: cannot play " + text}));
    EXPECT_EQ(w.vc->MediaDuration(), 0.0);
  }
}
