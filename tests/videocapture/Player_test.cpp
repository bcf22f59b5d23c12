// The player on files that ffmpeg made, in several containers and codecs:
// the pictures it shows and the sound it plays are held against ffmpeg's own
// decoding of the same file.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "Capture_helpers.h"
#include "platform/EventLoop.h"
#include "platform/TempHome.h"
#include "videocapture/VideoWindow.h"
#include "videocapture/engine/CaptureGraph.h"
#include "videocapture/engine/MediaModule.h"

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

// Whether a file whose name holds `name` is mapped into this process.
bool Mapped(const std::string& name) {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);)
    if (line.find(name) != std::string::npos) return true;
  return false;
}

// The media module looked for at `file` alone, and the log kept, while it lasts.
struct ModuleElsewhere {
  explicit ModuleElsewhere(const std::filesystem::path& file) {
    engine::SetMediaModuleFile(file);
    platform::SetLogSink([this](const std::string& line) { logged.push_back(line); });
  }
  ~ModuleElsewhere() {
    platform::SetLogSink(nullptr);
    engine::SetMediaModuleFile({});
  }
  Strings logged;
};

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
    EXPECT_EQ(w.vc->MediaDuration(), 0.0);  // no file open
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

// A file of sound alone plays its sound, and has no video stream to tell a length of.
TEST(Player, PlaysAFileOfSoundAlone) {
  testing_support::TempHome home;
  std::filesystem::create_directories(home.Home());
  const std::string tone = home.Home().string() + "/tone.wav";
  ASSERT_EQ(Shell("ffmpeg -v error -f lavfi -i 'aevalsrc=0.5*sin(440*2*PI*t)|0.5*sin(660*2*PI*t):s=48000:d=0.5' '" +
                  tone + "' && echo ok"),
            "ok\n");
  SyntheticWorld world(0, false);
  Watched w;
  w.Tick();
  bool ended = false;
  w.vc->OnPlayerEndOfStream = [&](TVideoCapture*) { ended = true; };
  w.vc->PlayerFileName = tone;
  w.vc->OpenPlayer();
  ASSERT_EQ(w.vc->CurrentState(), cs_Player);
  EXPECT_EQ(w.vc->MediaDuration(), 0.0);
  world.StepFrames(14, 25);
  ASSERT_TRUE(WaitFor([&] { return ended; }));
  w.vc->ClosePlayer();  // the output has written all once it is closed
  EXPECT_GT(SignalToNoise(DecodedSound(tone), testing_support::ReadFile(world.PlayedFile())), 60.0);
  EXPECT_EQ(w.errors, Strings{});
}

// FFmpeg's libraries are loaded with the first file opened, not with the
// component; without them a file is refused as one that cannot be read is,
// and the log says why.
TEST(Player, FfmpegComesWithTheFirstFileAndItsAbsenceRefusesFilesCleanly) {
  testing_support::TempHome home;
  std::filesystem::create_directories(home.Home());
  const std::string file = home.Home().string() + "/clip.avi", copy = home.Home().string() + "/copy.avi";
  ASSERT_EQ(Shell("ffmpeg -v error -y -f lavfi -i testsrc=s=160x120:r=25:d=0.2 -c:v mjpeg '" + file + "' && echo ok"),
            "ok\n");
  SyntheticWorld world(0, false);
  Watched w;
  w.Tick();
  w.vc->PlayerAutoStart = false;
  // Only a process that has run nothing else can tell (ctest runs each test
  // in one of its own).
  const bool alone = testing::UnitTest::GetInstance()->test_to_run_count() == 1;
  if (alone) {
    EXPECT_FALSE(Mapped("libavformat") || Mapped("parlo_media"));
  }

  const std::string notLibrary = home.Home().string() + "/parlo_media.so";
  testing_support::WriteFile(notLibrary, "not a library\n");
  const std::string missing = home.Home().string() + "/nowhere/parlo_media.so";
  for (const std::string& module : {missing, notLibrary}) {
    SCOPED_TRACE(module);
    ModuleElsewhere elsewhere(module);
    w.errors.clear();
    w.vc->PlayerFileName = file;
    w.vc->OpenPlayer();
    EXPECT_NE(w.vc->CurrentState(), cs_Player);
    w.vc->Recompress(file, copy);
    EXPECT_FALSE(std::filesystem::exists(copy));
    EXPECT_EQ(w.errors, (Strings{"42 Error: no media info available", "10 Error: cannot play " + file,
                                 "2 Error: adding source filter " + file}));
    ASSERT_EQ(elsewhere.logged.size(), 2u);
    EXPECT_EQ(elsewhere.logged[0].rfind("Media files cannot be read: ", 0), 0u) << elsewhere.logged[0];
    EXPECT_NE(elsewhere.logged[0].find(module), std::string::npos) << elsewhere.logged[0];
  }

  w.errors.clear();
  w.vc->OpenPlayer();
  EXPECT_EQ(w.vc->CurrentState(), cs_Player);
  if (alone) {
    EXPECT_TRUE(Mapped("libavformat"));
  }
  w.vc->ClosePlayer();
  EXPECT_EQ(w.errors, Strings{});
}

namespace {

// A file source that only notes when the graph runs or pauses its clock.
struct ClockWatchedFile : engine::TCaptureSource, engine::TMediaSeeking {
  std::vector<bool> running;
  engine::TDeviceInfo info;
  const engine::TDeviceInfo& Info() const override { return info; }
  engine::TPinFacts Pins() const override { return {}; }
  int CapabilityCount() override { return 0; }
  bool GetCapability(int, engine::TVideoFormat&, engine::TStreamCaps&) override { return false; }
  bool QueryAccept(const engine::TVideoFormat&) override { return false; }
  bool GetFormat(engine::TVideoFormat&) override { return false; }
  bool SetFormat(const engine::TVideoFormat&) override { return false; }
  engine::TProcAmp* ProcAmp() override { return nullptr; }
  engine::TDroppedFrames* DroppedFrames() override { return nullptr; }
  engine::TCrossbar* Crossbar() override { return nullptr; }
  engine::TMediaSeeking* Seeking() override { return this; }
  bool Start(engine::TFrameSink, engine::TEventSink) override { return true; }
  void Stop() override {}
  engine::TRefTime Duration() override { return 0; }
  engine::TRefTime Position() override { return 0; }
  bool SetPosition(engine::TRefTime) override { return true; }
  bool SetRate(double) override { return true; }
  void SetRunning(bool on) override { running.push_back(on); }
};

}  // namespace

// A file opened paused starts streaming paused: its clock is never run, not
// even for the moment a pause takes to follow (it played a picture and a
// slice of sound there, and the sound then began again from a seek).
TEST(Player, AFileOpenedPausedNeverRunsUntilItIsRun) {
  engine::TCaptureGraph graph;
  auto file = std::make_unique<ClockWatchedFile>();
  const ClockWatchedFile* seen = file.get();
  ASSERT_GE(graph.AddVideoSource(std::move(file), "File"), 0);
  ASSERT_TRUE(graph.Pause());
  EXPECT_EQ(seen->running, std::vector<bool>{false});
  ASSERT_TRUE(graph.Run());
  EXPECT_EQ(seen->running, (std::vector<bool>{false, true}));
  graph.Stop();
}
