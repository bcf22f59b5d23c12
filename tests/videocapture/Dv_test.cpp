// DV camcorders through the IEEE 1394 seam: a scripted AV/C unit that
// records the commands it gets and answers with a time code, and a receiver
// that hands on DV frames ffmpeg made. Pictures are checked against ffmpeg's
// own decoding, capture files against ffprobe.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "Capture_helpers.h"
#include "platform/TempHome.h"
#include "videocapture/Devices.h"
#include "videocapture/engine/CaptureSystem.h"
#include "videocapture/engine/DvSource.h"

namespace engine = videocapture::engine;
using capture_test::Shell;
using capture_test::SyntheticWorld;
using capture_test::WaitFor;
using capture_test::Watched;
using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

namespace {

// Ten camcorder frames with their sound, encoded on the fly, take seconds under
// ThreadSanitizer on busy processors: the waits for them bound no speed.
constexpr int kFramesPassMs = 60000;

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A camcorder on the bus: its AV/C unit and its stream share one script.
struct FakeCamcorder : engine::TIeee1394Bus {
  std::mutex mutex;
  std::vector<Bytes> commands;
  bool reject = false;
  bool pal = true;
  std::vector<std::string> frames;  // sent in turn, over and over
  std::condition_variable wake;
  int toSend = 0;
  bool endless = false;
  std::atomic<int> sent{0};

  // Frames go out on the receiver's thread: `n` of them, or on and on.
  void Send(int n) {
    std::lock_guard lock(mutex);
    toSend += n;
    wake.notify_all();
  }
  void Endless(bool on) {
    std::lock_guard lock(mutex);
    endless = on;
    wake.notify_all();
  }

  struct Avc : engine::TAvcUnit {
    FakeCamcorder& cam;
    explicit Avc(FakeCamcorder& c) : cam(c) {}
    bool Transact(const Bytes& command, Bytes& response) override {
      std::lock_guard lock(cam.mutex);
      cam.commands.push_back(command);
      const std::uint8_t opcode = command.at(2);
      response = {0x0C, command[1], opcode};
      if (command[0] == 0x00) response[0] = cam.reject ? 0x0A : 0x09;  // rejected, accepted
      else if (opcode == 0x51) response.insert(response.end(), {0x71, 0x12, 0x45, 0x23, 0x01});  // 01:23:45:12
      else if (opcode == 0x52) response.insert(response.end(), {0x71, 0x00, 0x01, 0x2C});  // track 300
      else if (opcode == 0x18) response.insert(response.end(), {0x00, 0x80, std::uint8_t(cam.pal ? 0x80 : 0x00)});
      else response[0] = 0x08;  // not implemented
      return true;
    }
  };

  struct Receiver : engine::TDvReceiver {
    FakeCamcorder& cam;
    std::thread thread;
    bool stop = false;
    explicit Receiver(FakeCamcorder& c) : cam(c) {}
    ~Receiver() override { Stop(); }
    bool Start(engine::TDvFrameSink sink, std::function<void()>) override {
      stop = false;
      thread = std::thread([this, sink] {
        for (std::size_t i = 0;; ++i) {
          std::unique_lock lock(cam.mutex);
          cam.wake.wait_for(lock, std::chrono::milliseconds(cam.endless ? 5 : 1000),
                            [&] { return stop || cam.toSend > 0; });
          if (stop) return;
          if (cam.toSend == 0 && !cam.endless) continue;
          if (cam.toSend > 0) --cam.toSend;
          const std::string frame = cam.frames[i % cam.frames.size()];
          lock.unlock();
          sink(reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size(), true);
          ++cam.sent;
        }
      });
      return true;
    }
    void Stop() override {
      if (!thread.joinable()) return;
      {
        std::lock_guard lock(cam.mutex);
        stop = true;
        cam.wake.notify_all();
      }
      thread.join();
    }
  };

  std::vector<engine::TDvUnit> Units() override { return {{"0800460102A3B4C5", "Fake Camcorder"}}; }
  std::unique_ptr<engine::TAvcUnit> OpenAvc(const engine::TDvUnit&) override { return std::make_unique<Avc>(*this); }
  std::unique_ptr<engine::TDvReceiver> OpenReceiver(const engine::TDvUnit&) override {
    return std::make_unique<Receiver>(*this);
  }
};

// A camcorder sending what ffmpeg made of its test pattern and a tone.
struct DvWorld {
  DvWorld() : world(0, true), cam(std::make_shared<FakeCamcorder>()) {
    std::filesystem::create_directories(home.Home());
    const std::string file = home.Home().string() + "/tape.dv";
    Shell("ffmpeg -v error -f lavfi -i testsrc=s=720x576:r=25:d=0.4 -f lavfi -i sine=f=1000:r=48000:d=0.5 "
          "-pix_fmt yuv420p -ac 2 -f dv -y '" + file + "' && echo ok");
    const std::string tape = ReadFile(file);
    for (std::size_t at = 0; at + 144000 <= tape.size(); at += 144000) cam->frames.push_back(tape.substr(at, 144000));
    engine::CaptureSystem().AddBackend(engine::MakeDvBackend(cam, home.Home().string()));
  }
  // DV settings made before the first graph are only kept: made later, on
  // anything but a camcorder's graph, they would be refused.
  std::unique_ptr<Watched> Component(const std::function<void(TVideoCapture&)>& setup = {}) {
    auto w = std::make_unique<Watched>();
    w->vc->StoragePath = home.Home().string();
    if (setup) setup(*w->vc);
    w->Tick();
    return w;
  }
  testing_support::TempHome home;
  SyntheticWorld world;
  std::shared_ptr<FakeCamcorder> cam;
};

}  // namespace

TEST(Dv, TransportAndTimeCodeGoThroughAvc) {
  DvWorld dv;
  auto w = dv.Component();
  TVideoCapture& vc = *w->vc;
  vc.StartPreview();
  ASSERT_TRUE(vc.SourceIsDV());
  EXPECT_TRUE(vc.GetTimeCodeReaderAvailable());
  // The tape subunit's opcode and operand for each command.
  const std::pair<TDVCommand, Bytes> commands[] = {
      {dv_Play, {0xC3, 0x75}},           {dv_Stop, {0xC4, 0x60}},           {dv_Freeze, {0xC3, 0x7D}},
      {dv_FF, {0xC4, 0x75}},             {dv_Rew, {0xC4, 0x65}},            {dv_Record, {0xC2, 0x75}},
      {dv_RecordFreeze, {0xC2, 0x7D}},   {dv_StepFwd, {0xC3, 0x30}},        {dv_StepRev, {0xC3, 0x40}},
      {dv_PlayFastestFwd, {0xC3, 0x3F}}, {dv_PlaySlowestFwd, {0xC3, 0x31}}, {dv_PlayFastestRev, {0xC3, 0x4F}},
      {dv_PlaySlowestRev, {0xC3, 0x41}},
  };
  for (const auto& [command, sent] : commands) {
    dv.cam->commands.clear();
    EXPECT_TRUE(vc.SendDVCommand(command)) << command;
    EXPECT_EQ(dv.cam->commands, (std::vector<Bytes>{{0x00, 0x20, sent[0], sent[1]}})) << command;
  }
  dv.cam->reject = true;
  EXPECT_FALSE(vc.SendDVCommand(dv_Play));

  std::vector<int> read;
  vc.OnTimeCodeReader = [&](TVideoCapture*, int track, int hh, int mm, int ss, int ff) {
    read = {track, hh, mm, ss, ff};
  };
  DevicesManager()->Tick();
  EXPECT_EQ(read, (std::vector<int>{300, 1, 23, 45, 12}));

  // Formats are the tape's: a size asked for is kept but the tape has only
  // its own, so the rebuild that DV settings make falls back to it.
  vc.SetVideoSize(1);
  vc.SetDVCaptureMode(dv_CaptureType1);
  EXPECT_EQ(w->errors, (Strings{"80 Warning: does not apply to DV",
                                "40 Warning: VideoSize index out of range, index 0 used instead"}));
  EXPECT_EQ(vc.VideoSize(), 0);
  EXPECT_EQ(vc.GraphLinks(), (Strings{"Fake Camcorder.DV A/V Out -> Smart Tee.Input",
                                      "Smart Tee.Preview -> DV Splitter.Input",
                                      "DV Splitter.DVVidOut0 -> DV Video Decoder.Input",
                                      "DV Video Decoder.Output -> Sample Grabber.Input",
                                      "Sample Grabber.Output -> Video Renderer.Input"}));
}

TEST(Dv, PreviewShowsWhatFfmpegDecodesAtEachResolution) {
  struct Case {
    TDVCaptureMode mode;
    TDVResolution resolution;
    int width, height;
    const char* filter;  // ffmpeg's picture made comparable: shrunk as RGB
  };
  const Case cases[] = {
      {dv_CaptureType2, dvr_Default, 720, 576, "null"},
      {dv_CaptureType1, dvr_Half, 360, 288, "format=bgr24,scale=360:288:flags=area"},
      {dv_CaptureType2, dvr_Quarter, 180, 144, "format=bgr24,scale=180:144:flags=area"},
      {dv_CaptureType2, dvr_Dc, 88, 72, "format=bgr24,crop=704:576:8:0,scale=88:72:flags=area"},
  };
  DvWorld dv;
  ASSERT_FALSE(dv.cam->frames.empty()) << "ffmpeg made no DV frames";
  dv.cam->frames.resize(1);
  const std::string frame = dv.home.Home().string() + "/frame.dv";
  std::ofstream(frame, std::ios::binary) << dv.cam->frames[0];
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter);
    auto w = dv.Component([&](TVideoCapture& vc) {
      vc.SetDVCaptureMode(c.mode);
      vc.SetDVPreviewResolution(c.resolution);
    });
    TVideoCapture& vc = *w->vc;
    std::vector<std::uint8_t> grabbed;
    vc.OnFrameCaptureCompleted = [&](TVideoCapture*, const TBitmap* b, TFrameCaptureDest, const std::string&, bool) {
      for (int y = 0; y < b->Height(); ++y)
        grabbed.insert(grabbed.end(), b->ScanLine(y), b->ScanLine(y) + b->Width() * 3);
    };
    vc.StartPreview();
    EXPECT_EQ(std::make_pair(vc.VideoWidth(), vc.VideoHeight()), std::make_pair(c.width, c.height));
    dv.cam->Endless(true);
    vc.CaptureFrameTo(fc_TBitmap, "");
    EXPECT_TRUE(WaitFor([&] { return !grabbed.empty(); }));
    dv.cam->Endless(false);
    const std::string oracle = Shell("ffmpeg -v error -f dv -i '" + frame + "' -vf " + c.filter +
                                     " -f rawvideo -pix_fmt bgr24 -");
    ASSERT_EQ(grabbed.size(), oracle.size());
    double difference = 0;
    for (std::size_t i = 0; i < oracle.size(); ++i) difference += std::abs(grabbed[i] - std::uint8_t(oracle[i]));
    EXPECT_LT(difference / oracle.size(), 2.0);
  }
}

TEST(Dv, BothCaptureTypesMakeFilesThatFfmpegPlays) {
  struct Case {
    TDVCaptureMode mode;
    bool reduce, externalAudio;
    const char* video;  // ffprobe: codec, width, height, frames
    const char* audio;  // ffprobe: codec, rate, channels
  };
  // Type 1 keeps the sound inside the DV frames, type 2 writes it beside the
  // decoded pictures, unless the microphone's is wanted instead.
  const Case cases[] = {
      {dv_CaptureType1, false, false, "dvvideo,720,576,10", "pcm_s16le,48000,2"},
      {dv_CaptureType2, true, false, "rawvideo,360,288,5", "pcm_s16le,48000,2"},
      {dv_CaptureType2, false, true, "rawvideo,360,288,10", "pcm_s16le,22050,2"},
  };
  DvWorld dv;
  ASSERT_EQ(dv.cam->frames.size(), 10u) << "ffmpeg made no DV frames";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.video);
    auto w = dv.Component([&](TVideoCapture& vc) {
      vc.SetDVCaptureMode(c.mode);
      vc.SetDVCaptureResolution(dvr_Half);
      vc.SetDVReduceFrameRate(c.reduce);
      vc.SetDVUseExternalAudio(c.externalAudio);
    });
    TVideoCapture& vc = *w->vc;
    vc.CaptureFileName = dv.home.Home().string() + "/take.avi";
    vc.StartPreview();
    vc.StartCapture();
    ASSERT_EQ(vc.CurrentState(), cs_Capture);
    dv.cam->sent = 0;
    dv.cam->Send(10);
    ASSERT_TRUE(WaitFor([&] { return dv.cam->sent == 10; }, kFramesPassMs));
    vc.StopCapture();
    auto probe = [&](const char* stream, const char* entries) {
      return Shell("ffprobe -v error -count_frames -select_streams " + std::string(stream) + " -show_entries stream=" +
                   entries + " -of csv=p=0 '" + vc.CaptureFileName + "'");
    };
    EXPECT_EQ(probe("v", "codec_name,width,height,nb_read_frames"), c.video + std::string("\n"));
    EXPECT_EQ(probe("a", "codec_name,sample_rate,channels"), c.audio + std::string("\n"));
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + vc.CaptureFileName + "' -f null - 2>&1 && echo ok"), "ok\n");
    EXPECT_EQ(w->errors, Strings{});
  }
}

TEST(Dv, TheDeinterlacerTheSoundOutputAndTheSoundCompressorsWorkOnCamcorders) {
  struct Case {
    TDVCaptureMode mode;
    int compressor;  // -1 none, 1 MPEG Layer-3
    const char* audio;  // ffprobe: codec, rate, channels
    Strings deinterlaced;  // the links into the deinterlacers
  };
  // The whole DV stream of type 1 goes into the file untouched, and to the
  // screen undeinterlaced; the split stream of type 2 is deinterlaced.
  const Case cases[] = {
      {dv_CaptureType1, -1, "pcm_s16le,48000,2", {}},
      {dv_CaptureType2, 1, "mp3,48000,2",
       {"DV Codec Cap.Output -> DeinterlaceCapr Filter.Input",
        "DV Video Decoder.Output -> DeinterlacePrer Filter.Input"}},
  };
  DvWorld dv;
  dv.world.AddCodecs();
  const std::string tapeSound = Shell("ffmpeg -v error -f dv -i '" + dv.home.Home().string() + "/tape.dv' -f s16le -");
  ASSERT_EQ(tapeSound.size(), 10u * 1920 * 4) << "ffmpeg made no DV frames";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.audio);
    auto w = dv.Component([&](TVideoCapture& vc) { vc.SetDVCaptureMode(c.mode); });
    TVideoCapture& vc = *w->vc;
    vc.UseDeinterlacerFilter = st_Both;
    vc.SetRenderAudio(true);
    if (c.compressor >= 0) {
      vc.SetAudioCompressor(c.compressor);
      vc.SetCompressionMode(cm_CompressOnTheFly);
      vc.SetCompressionType(ct_Audio);
    }
    vc.CaptureFileName = dv.home.Home().string() + "/take.avi";
    // From the down state: no preview after the capture opens the sound output anew.
    vc.StartCapture();
    ASSERT_EQ(vc.CurrentState(), cs_Capture);
    Strings deinterlaced;
    for (const auto& link : vc.GraphLinks())
      if (link.find("-> Deinterlace") != std::string::npos) deinterlaced.push_back(link);
    EXPECT_EQ(deinterlaced, c.deinterlaced);
    dv.cam->sent = 0;
    dv.cam->Send(10);
    ASSERT_TRUE(WaitFor([&] { return dv.cam->sent == 10; }, kFramesPassMs));
    vc.StopCapture();
    EXPECT_EQ(Shell("ffprobe -v error -select_streams a -show_entries stream=codec_name,sample_rate,channels -of "
                    "csv=p=0 '" + vc.CaptureFileName + "'"),
              c.audio + std::string("\n"));
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + vc.CaptureFileName + "' -f null - 2>&1 && echo ok"), "ok\n");
    EXPECT_TRUE(ReadFile(dv.world.PlayedFile()) == tapeSound) << "the camcorder's sound, played";
    EXPECT_EQ(w->errors, Strings{});
  }
}

TEST(Dv, SoundRecordedAt32kHzIsResampledWithoutASeamBetweenFrames) {
  DvWorld dv;
  const std::string tape = dv.home.Home().string() + "/tape32.dv";
  Shell("ffmpeg -v error -f lavfi -i testsrc=s=720x576:r=25:d=0.4 -f lavfi -i "
        "'aevalsrc=0.5*sin(1000*2*PI*t)|0.5*sin(1500*2*PI*t):s=32000:d=0.4' -pix_fmt yuv420p -f dv -y '" + tape + "'");
  const std::string frames = ReadFile(tape);
  ASSERT_EQ(frames.size(), 10u * 144000) << "ffmpeg made no DV frames";
  dv.cam->frames.clear();
  for (std::size_t at = 0; at < frames.size(); at += 144000) dv.cam->frames.push_back(frames.substr(at, 144000));
  auto w = dv.Component([](TVideoCapture& vc) { vc.SetDVCaptureMode(dv_CaptureType2); });
  TVideoCapture& vc = *w->vc;
  vc.SetRenderAudio(true);
  vc.CaptureFileName = dv.home.Home().string() + "/take.avi";
  vc.StartCapture();
  dv.cam->Send(10);
  ASSERT_TRUE(WaitFor([&] { return dv.cam->sent == 10; }, kFramesPassMs));
  vc.StopCapture();
  // ffmpeg's resampling is the reference; a seam at each frame would shift
  // or break the tones there.
  const std::string oracle = Shell("ffmpeg -v error -f dv -i '" + tape + "' -af aresample=48000 -f s16le -");
  const std::string captured = capture_test::DecodedSound(vc.CaptureFileName);
  const std::string played = ReadFile(dv.world.PlayedFile());
  EXPECT_NEAR(static_cast<double>(captured.size()), static_cast<double>(oracle.size()), 4 * 4);
  EXPECT_GT(capture_test::SignalToNoise(oracle, captured), 30.0);
  EXPECT_TRUE(played == captured);
  EXPECT_EQ(w->errors, Strings{});
}
