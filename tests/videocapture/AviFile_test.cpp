// AVI files on their own: files past the first RIFF list (with the list
// limit lowered so that no GiB is written), files that ffmpeg made, and the
// player on a stepped clock.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "Capture_helpers.h"
#include "platform/TempHome.h"
#include "videocapture/VideoWindow.h"
#include "videocapture/engine/AviReader.h"
#include "videocapture/engine/AviWriter.h"
#include "videocapture/engine/VideoCodec.h"

namespace engine = videocapture::engine;
using capture_test::PpmFrameNumber;
using capture_test::Shell;
using capture_test::SyntheticWorld;
using capture_test::WaitFor;
using capture_test::Watched;
using Strings = std::vector<std::string>;

namespace {

// Writes `frames` numbered synthetic frames (1, 2, ...) of 160x120 at 15 per
// second, with a block of sound after each; the numbers in `lost` are
// written as the empty chunks of frames a capture lost.
void WriteNumbered(const std::string& file, int frames, bool mjpeg, bool compatibilityIndex, std::int64_t riffLimit,
                   const std::vector<int>& lost = {}) {
  const int w = 160, h = 120;
  std::vector<std::uint8_t> pixels(engine::Rgb24Stride(w) * h);
  auto encoder = mjpeg ? engine::MakeMjpegEncoder(0.9) : engine::MakeDibEncoder();
  engine::TAviWriter writer;
  ASSERT_TRUE(writer.Open(file, {w, h, encoder->Codec(), engine::kUnitsPerSecond / 15},
                          engine::TAviAudioSpec{22050, 16, 1, std::nullopt}, compatibilityIndex, false, riffLimit));
  const std::string sound(1470 * 2, '\x10');  // 1/15 s
  for (int n = 1; n <= frames; ++n) {
    engine::DrawSyntheticFrame(pixels.data(), w, h, engine::Rgb24Stride(w), true, n, 128);
    engine::TFrame frame{0, pixels.data(), pixels.size(), w, h, engine::Rgb24Stride(w), true};
    const bool kept = std::find(lost.begin(), lost.end(), n) == lost.end();
    const std::string bytes = kept ? encoder->Encode(frame, w, h) : std::string();
    ASSERT_TRUE(writer.WriteVideo(bytes.data(), bytes.size()));
    ASSERT_TRUE(writer.WriteAudio(sound.data(), sound.size()));
  }
  ASSERT_TRUE(writer.Close());
}

int DecodedNumber(const std::string& file, int index) {
  return PpmFrameNumber(Shell("ffmpeg -v error -i '" + file + "' -vf 'select=eq(n\\," + std::to_string(index) +
                              ")' -vframes 1 -f image2pipe -vcodec ppm -"));
}

// The top-level lists of a file: "AVI ", "AVIX", ...
Strings RiffForms(const std::string& file) {
  Strings forms;
  FILE* f = std::fopen(file.c_str(), "rb");
  unsigned char head[12];
  for (long at = 0; f && std::fseek(f, at, SEEK_SET) == 0 && std::fread(head, 1, 12, f) == 12;) {
    if (std::string(reinterpret_cast<char*>(head), 4) != "RIFF") break;
    forms.emplace_back(reinterpret_cast<char*>(head) + 8, 4);
    const long size = head[4] | head[5] << 8 | head[6] << 16 | static_cast<long>(head[7]) << 24;
    at += 8 + size + (size & 1);
  }
  if (f) std::fclose(f);
  return forms;
}

}  // namespace

TEST(AviFile, ExtendedIndexesCarryAFilePastItsFirstRiffList) {
  struct Case {
    const char* name;
    bool mjpeg, compatibilityIndex;
  };
  const Case cases[] = {{"DIB rows with idx1", false, true}, {"DIB rows, extended indexes only", false, false},
                        {"MJPEG with idx1", true, true}};
  testing_support::TempHome home;
  std::filesystem::create_directories(home.Home());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = home.Home().string() + "/long.avi";
    const std::int64_t limit = c.mjpeg ? 40000 : 256 * 1024;
    WriteNumbered(file, 40, c.mjpeg, c.compatibilityIndex, limit);
    const Strings forms = RiffForms(file);
    ASSERT_GE(forms.size(), 4u);
    EXPECT_EQ(forms[0], "AVI ");
    EXPECT_EQ(forms.back(), "AVIX");
    EXPECT_EQ(Shell("ffprobe -v error -count_frames -select_streams v -show_entries stream=codec_name,nb_read_frames "
                    "-of csv=p=0 " + file),
              std::string(c.mjpeg ? "mjpeg" : "rawvideo") + ",40\n");
    // Every sample of the sound decodes: 40 blocks of 1470.
    EXPECT_EQ(Shell("ffmpeg -v error -i " + file + " -map 0:a -f s16le - | wc -c"), std::to_string(40 * 1470 * 2) + "\n");
    EXPECT_EQ(Shell("ffmpeg -v error -i " + file + " -f null - 2>&1 && echo ok"), "ok\n");
    for (int index : {0, 20, 39}) EXPECT_EQ(DecodedNumber(file, index), index + 1) << index;
    engine::TAviReader reader;
    ASSERT_TRUE(reader.Open(file));
    EXPECT_EQ(reader.Streams()[0].chunks.size(), 40u);
    EXPECT_EQ(reader.AviLength(), static_cast<std::int64_t>(std::filesystem::file_size(file)));
    EXPECT_DOUBLE_EQ(reader.Duration(1), 40 * 1470 / 22050.0);
  }
}

TEST(AviFile, DurationAndPicturesOfFilesThatFfmpegMade) {
  struct Case {
    const char* name;
    const char* options;
  };
  const Case cases[] = {
      {"MJPEG at 25 per second with sound",
       "-f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i sine=sample_rate=22050 -t 2.4 -c:v mjpeg -c:a pcm_s16le"},
      {"uncompressed at the NTSC rate", "-f lavfi -i testsrc=size=96x64:rate=30000/1001 -t 1.5 -c:v rawvideo -pix_fmt bgr24"},
  };
  SyntheticWorld world(1);
  testing_support::TempHome home;
  std::filesystem::create_directories(home.Home());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = home.Home().string() + "/made.avi";
    ASSERT_EQ(Shell("ffmpeg -v error -y " + std::string(c.options) + " -f avi " + file + " && echo ok"), "ok\n");
    const double probed = std::atof(
        Shell("ffprobe -v error -select_streams v:0 -show_entries stream=duration -of csv=p=0 " + file).c_str());
    engine::TAviReader reader;
    ASSERT_TRUE(reader.Open(file));
    const int v = reader.VideoStream();
    EXPECT_NEAR(reader.Duration(v), probed, 1e-6);
    // Every picture decodes.
    const auto& s = reader.Streams()[static_cast<std::size_t>(v)];
    std::vector<std::uint8_t> pixels;
    std::string chunk;
    for (std::size_t i = 0; i < s.chunks.size(); ++i) {
      engine::TFrame frame;
      ASSERT_TRUE(reader.ReadChunk(v, i, chunk));
      ASSERT_TRUE(engine::DecodeChunk(s.codec, s.bitCount, s.width, s.height, chunk, pixels, frame, s.topDown)) << i;
    }
    Watched w;
    w.Tick();
    w.vc->PlayerFileName = file;
    w.vc->OpenPlayer();
    EXPECT_EQ(w.errors, Strings{});
    EXPECT_EQ(w.vc->CurrentState(), cs_Player);
    EXPECT_NEAR(w.vc->MediaDuration(), probed, 1e-6);
  }
}

namespace {

struct Playing {
  Playing() {
    std::filesystem::create_directories(home.Home());
    file = home.Home().string() + "/ten.avi";
    WriteNumbered(file, 10, true, true, engine::TAviWriter::kRiffLimit);
    w.Tick();
    w.vc->OnPlayerEndOfStream = [this](TVideoCapture*) { w.events.push_back("EndOfStream"); };
    w.vc->OnPlayerStarted = [this](TVideoCapture*) { w.events.push_back("PlayerStarted"); };
    w.vc->OnPlayerFileNotFound = [this](TVideoCapture*, const std::string&) { w.events.push_back("FileNotFound"); };
    w.vc->PlayerFileName = file;
  }
  // The number the player's window shows.
  int Shown() {
    const QImage image = w.vc->VideoWindow()->LatestFrame();
    return engine::ReadSyntheticFrameNumber(image.constBits(), image.width(), image.height(),
                                            static_cast<std::size_t>(image.bytesPerLine()), true);
  }
  bool Shows(int number) { return WaitFor([&] { return Shown() == number; }, 2000); }
  double Position() {
    double at = -1;
    w.vc->OnPlayerProgress = [&](TVideoCapture*, double seconds) { at = seconds; };
    WaitFor([&] { return at >= 0; }, 1000);
    w.vc->OnPlayerProgress = nullptr;
    return at;
  }
  SyntheticWorld world{1};
  testing_support::TempHome home;
  Watched w;
  std::string file;
};

}  // namespace

TEST(AviFile, PlayerRunsPausesSkipsAndStartsAgainAfterTheEnd) {
  Playing p;
  p.w.vc->PlayerAutoStart = false;
  p.w.vc->OpenPlayer();
  ASSERT_EQ(p.w.vc->CurrentState(), cs_Player);
  EXPECT_DOUBLE_EQ(p.w.vc->MediaDuration(), 10 / 15.0);
  EXPECT_TRUE(p.Shows(1));  // paused on the first picture
  p.world.StepFrames(3);
  WaitFor([] { return false; }, 50);
  EXPECT_EQ(p.Shown(), 1);  // and it stays while paused

  p.w.vc->RunPlayer();
  p.world.StepFrames(2);
  EXPECT_TRUE(p.Shows(3));
  p.w.vc->PausePlayer();
  p.w.vc->FastForwardPlayer(150);
  EXPECT_EQ(p.w.errors, Strings{"40 Error: Percent range between 0,0 and 100,0"});
  EXPECT_NEAR(p.Position(), 2 / 15.0, 1e-6);
  p.w.vc->FastForwardPlayer(50);  // five frames on
  EXPECT_TRUE(p.Shows(8));
  p.w.vc->FastReversePlayer(20);
  EXPECT_TRUE(p.Shows(6));
  EXPECT_TRUE(p.w.vc->SetPlayerPosition(0.6));
  EXPECT_TRUE(p.Shows(10));

  p.w.vc->RunPlayer();
  p.world.StepFrames(3);
  ASSERT_TRUE(WaitFor([&] { return !p.w.events.empty() && p.w.events.back() == "EndOfStream"; }));
  p.w.vc->RunPlayer();  // from the beginning again
  EXPECT_TRUE(p.Shows(1));
  p.world.StepFrames(1);
  EXPECT_TRUE(p.Shows(2));
  p.w.vc->SetPlayerRate(2.0);  // the third picture at once, then two per picture's time
  p.world.StepFrames(1);
  EXPECT_TRUE(p.Shows(5));

  p.w.vc->ClosePlayer();
  EXPECT_EQ(p.w.vc->CurrentState(), cs_Down);
  p.w.vc->ClosePlayer();  // only logged
  p.w.vc->RunPlayer();
  EXPECT_EQ(p.w.errors, Strings{"40 Error: Percent range between 0,0 and 100,0"});
}

TEST(AviFile, PlayerRefusesFilesItCannotOpen) {
  struct Case {
    const char* name;
    std::string file;
    Strings errors;
    Strings events;
  };
  const Case cases[] = {
      {"no name", "", {"18 Error: file name not specified"}, {}},
      {"a file that is not there", "/nonexistent/x.avi", {"19 Error: file not found: /nonexistent/x.avi"},
       {"FileNotFound"}},
      {"no AVI", "NOTAVI", {"42 Error: no media info available", "10 Error: cannot play NOTAVI"}, {"PreviewStarted"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Playing p;
    const std::string notAvi = p.home.Home().string() + "/text.avi";
    std::fclose(std::fopen(notAvi.c_str(), "w"));
    p.w.vc->StartPreview();
    p.w.events.clear();
    p.w.vc->PlayerFileName = c.file == "NOTAVI" ? notAvi : c.file;
    p.w.vc->OpenPlayer();
    Strings errors = c.errors;
    for (auto& e : errors)
      if (auto at = e.find("NOTAVI"); at != std::string::npos) e.replace(at, 6, notAvi);
    EXPECT_EQ(p.w.errors, errors);
    EXPECT_EQ(p.w.events, c.events);
    EXPECT_EQ(p.w.vc->CurrentState(), cs_Preview);
  }
}

TEST(AviFile, LostFramesKeepTheirTimeInThePlayerAndInRecompression) {
  SyntheticWorld world(1);
  world.AddCodecs();
  testing_support::TempHome home;
  std::filesystem::create_directories(home.Home());
  const std::string file = home.Home().string() + "/lost.avi", copy = home.Home().string() + "/copy.avi";
  WriteNumbered(file, 10, true, true, engine::TAviWriter::kRiffLimit, {4, 5});
  Watched w;
  w.Tick();
  w.vc->PlayerAutoStart = false;
  w.vc->PlayerFileName = file;
  w.vc->OpenPlayer();
  ASSERT_EQ(w.vc->CurrentState(), cs_Player);
  // Where frames were lost the picture before them stays on show.
  for (const auto& [frame, shown] : {std::pair{6, 6}, {4, 3}, {5, 3}, {10, 10}}) {
    EXPECT_TRUE(w.vc->SetPlayerPosition((frame - 1) / 15.0));
    EXPECT_TRUE(WaitFor([&, shown = shown] {
      const QImage image = w.vc->VideoWindow()->LatestFrame();
      return engine::ReadSyntheticFrameNumber(image.constBits(), image.width(), image.height(),
                                              static_cast<std::size_t>(image.bytesPerLine()), true) == shown;
    })) << frame;
  }
  w.vc->ClosePlayer();
  w.vc->SetCompressionType(ct_Audio);
  w.vc->Recompress(file, copy);
  EXPECT_EQ(w.errors, Strings{});
  EXPECT_EQ(Shell("ffprobe -v error -select_streams v -show_entries packet=pts -of csv=p=0 " + copy), "0\n1\n2\n5\n6\n7\n8\n9\n");
  EXPECT_EQ(DecodedNumber(copy, 3), 6);
}
