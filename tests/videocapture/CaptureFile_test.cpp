// Capture to AVI files, checked by outside tools: what ffprobe and mediainfo
// say of the files, whether ffmpeg decodes them whole, and whether the
// pictures in them are the camera's frames in order.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "Capture_helpers.h"
#include "platform/TempHome.h"

namespace engine = videocapture::engine;
using capture_test::DecodedSound;
using capture_test::PpmFrameNumber;
using capture_test::Shell;
using capture_test::SignalToNoise;
using capture_test::SyntheticWorld;
using capture_test::ToneOf;
using capture_test::WaitFor;
using capture_test::Watched;
using Strings = std::vector<std::string>;

namespace {

std::string Probe(const std::string& file, const std::string& stream, const std::string& entries) {
  return Shell("ffprobe -v error -count_frames -select_streams " + stream + " -show_entries stream=" + entries +
               " -of csv=p=0 '" + file + "'");
}

// The camera's number on frame `index` (from 0) as ffmpeg decodes it.
int FileDecodedNumber(const std::string& file, int index) {
  return PpmFrameNumber(Shell("ffmpeg -v error -i '" + file + "' -vf 'select=eq(n\\," + std::to_string(index) +
                              ")' -vframes 1 -f image2pipe -vcodec ppm -"));
}

bool DecodesWhole(const std::string& file) {
  return Shell("ffmpeg -v error -i '" + file + "' -f null - 2>&1 && echo ok") == "ok\n";
}

// A component on a synthetic camera and microphone, recording what it says.
struct Capturing {
  Capturing() {
    world.AddCodecs();
    w = std::make_unique<Watched>();
    dir = home.Home().string() + "/captures";
    vc().StoragePath = dir;
    // One event per sample; the one before the start says -1.
    vc().OnCaptureProgress = [this](TVideoCapture*, double, int delivered, int) {
      if (delivered >= 0) ++samples;
    };
    auto note = [this](const char* name) { return [this, name](TVideoCapture*) { w->events.push_back(name); }; };
    auto noteResult = [this](const char* name) {
      return [this, name](TVideoCapture*, bool ok) { w->events.push_back(std::string(name) + (ok ? "" : " failed")); };
    };
    vc().OnCaptureStarted = note("CaptureStarted");
    vc().OnDiskFull = note("DiskFull");
    vc().OnCreatePreallocFileStarted = note("CreatePreallocStarted");
    vc().OnCreatePreallocFileCompleted = noteResult("CreatePreallocCompleted");
    vc().OnCopyPreallocDataStarted = note("CopyStarted");
    vc().OnCopyPreallocDataCompleted = noteResult("CopyCompleted");
    vc().OnRecompressStarted = note("RecompressStarted");
    vc().OnRecompressCompleted = noteResult("RecompressCompleted");
    vc().OnCaptureCompleted = [this](TVideoCapture* vc, const std::string& name, bool ok) {
      EXPECT_FALSE(vc->Busy());  // the completion may start what comes next
      completedName = name;
      w->events.push_back(ok ? "CaptureCompleted" : "CaptureCompleted failed");
    };
    w->Tick();
  }
  TVideoCapture& vc() { return *w->vc; }
  // Frames of the camera at 15 per second, each written before its progress event.
  void Frames(int n) {
    for (int i = 0; i < n; ++i) {
      const int before = samples;
      world.StepFrames(1);
      ASSERT_TRUE(WaitFor([&] { return samples > before; }));
    }
    WaitFor([] { return false; }, 20);  // the microphone's last block
  }
  void Capture(int frames) {
    vc().StartPreview();
    vc().StartCapture();
    ASSERT_EQ(vc().CurrentState(), cs_Capture);
    Frames(frames);
    vc().StopCapture();
  }

  testing_support::TempHome home;
  SyntheticWorld world{1, true};
  std::unique_ptr<Watched> w;
  std::string dir;
  int samples = 0;
  std::string completedName;
};

}  // namespace

TEST(CaptureFile, SyntheticCameraBecomesAnAviThatOutsideToolsRead) {
  struct Case {
    const char* name;
    std::function<void(TVideoCapture&)> setup;
    const char* codec;  // as ffprobe names it
    const char* mediainfoFormat;
    bool sound;
    Strings events;
  };
  const Case cases[] = {
      {"uncompressed, with sound", [](TVideoCapture&) {}, "rawvideo", "RGB", true,
       {"ChangeVideoDevice", "PreviewStarted", "CaptureStarted", "PreviewStarted", "CaptureCompleted"}},
      {"MJPEG on the fly, no sound",
       [](TVideoCapture& vc) {
         vc.CaptureAudio = false;
         vc.SetCompressionMode(cm_CompressOnTheFly);
         vc.SetVCompQuality(0.9);
       },
       "mjpeg", "JPEG", false,
       {"ChangeVideoDevice", "PreviewStarted", "CaptureStarted", "PreviewStarted", "CaptureCompleted"}},
      {"MJPEG after the capture, from a preallocated file",
       [](TVideoCapture& vc) {
         vc.SetCompressionMode(cm_CompressAfterCapture);
         vc.PreallocCapFileEnabled = true;
         vc.PreallocCapFileSizeInMB = 3;
       },
       "mjpeg", "JPEG", true,
       {"ChangeVideoDevice", "PreviewStarted", "CreatePreallocStarted", "CreatePreallocCompleted", "CaptureStarted",
        "RecompressStarted", "RecompressCompleted", "PreviewStarted", "CaptureCompleted"}},
      {"uncompressed, and not deinterlaced: the deinterlacer is a camcorder's",
       [](TVideoCapture& vc) { vc.UseDeinterlacerFilter = st_Both; }, "rawvideo", "RGB", true,
       {"ChangeVideoDevice", "PreviewStarted", "CaptureStarted", "PreviewStarted", "CaptureCompleted"}},
      {"uncompressed into a preallocated file, then copied out",
       [](TVideoCapture& vc) {
         vc.PreallocCapFileEnabled = true;
         vc.PreallocCapFileSizeInMB = 5;
         vc.PreallocCapRecreate = true;
       },
       "rawvideo", "RGB", true,
       {"ChangeVideoDevice", "PreviewStarted", "CreatePreallocStarted", "CreatePreallocCompleted", "CaptureStarted",
        "CopyStarted", "CopyCompleted", "PreviewStarted", "CaptureCompleted"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Capturing cap;
    c.setup(cap.vc());
    cap.vc().CaptureFileName = cap.dir + "/take.avi";
    cap.Capture(12);
    EXPECT_EQ(cap.w->errors, Strings{});
    EXPECT_EQ(cap.w->events, c.events);
    EXPECT_EQ(cap.completedName, cap.dir + "/take.avi");
    EXPECT_EQ(cap.vc().CurrentState(), cs_Preview);
    const std::string file = cap.dir + "/take.avi";
    EXPECT_EQ(Probe(file, "v:0", "codec_name,width,height,r_frame_rate,nb_read_frames"),
              std::string(c.codec) + ",320,240,15/1,12\n");
    EXPECT_EQ(Shell("mediainfo --Inform='Video;%Format%,%Width%,%Height%,%FrameRate%,%FrameCount%' '" + file + "'"),
              std::string(c.mediainfoFormat) + ",320,240,15.000,12\n");
    if (c.sound) {
      EXPECT_EQ(Probe(file, "a:0", "codec_name,sample_rate,channels"), "pcm_s16le,22050,2\n");
      const int samples = std::atoi(Shell("mediainfo --Inform='Audio;%SamplingCount%' '" + file + "'").c_str());
      EXPECT_GT(samples, 0);
      EXPECT_EQ(samples % 2205, 0);  // whole blocks of the microphone
    } else {
      EXPECT_EQ(Probe(file, "a", "codec_name"), "");
    }
    EXPECT_TRUE(DecodesWhole(file));
    for (int index : {0, 5, 11}) EXPECT_EQ(FileDecodedNumber(file, index), index + 1) << index;
    // The scratch file of a preallocated capture stays unless it is to be made anew.
    const bool scratchKept = cap.vc().PreallocCapFileEnabled && !cap.vc().PreallocCapRecreate;
    EXPECT_EQ(std::filesystem::exists(cap.dir + "/prealloc.avi"), scratchKept);
  }
}

TEST(CaptureFile, RefusesWhatCannotBeDoneAndKeepsWhatItHas) {
  struct Case {
    const char* name;
    std::function<void(Capturing&)> act;
    Strings errors;
    TCurrentState state;
  };
  const Case cases[] = {
      {"stop outside a capture", [](Capturing& c) { c.vc().StopCapture(); }, {"89 Error: not capturing"}, cs_Preview},
      {"start during a capture",
       [](Capturing& c) {
         c.vc().StartCapture();
         c.vc().StartCapture();
       },
       {"65 Error: already capturing"}, cs_Capture},
      {"recompress during a capture",
       [](Capturing& c) {
         c.vc().StartCapture();
         c.vc().Recompress(c.dir + "/a.avi", c.dir + "/b.avi");
       },
       {"65 Error: stop capture first"}, cs_Capture},
      {"quality above 1",
       [](Capturing& c) {
         c.vc().SetVCompQuality(1.5);
         EXPECT_EQ(c.vc().VCompQuality(), -1.0);
       },
       {"67 Error: video quality range between 0.0 and 1.0"}, cs_Preview},
      {"negative compressor",
       [](Capturing& c) {
         c.vc().SetVideoCompressor(-1);
         EXPECT_EQ(c.vc().VideoCompressor(), 0);
       },
       {"40 Error: VideoCompressor index out of range"}, cs_Preview},
      {"a compressor that is not there is replaced by the first",
       [](Capturing& c) {
         c.vc().SetCompressionMode(cm_CompressOnTheFly);
         c.vc().SetVideoCompressor(3);
         c.vc().StartCapture();
         EXPECT_EQ(c.vc().VideoCompressor(), 0);
       },
       {"40 Warning: Video Compressor index out of range, index 0 used instead"}, cs_Capture},
      {"a start the handler cancels",
       [](Capturing& c) {
         c.vc().OnCaptureReadyToStart = [](TVideoCapture*, bool& ok) { ok = false; };
         c.vc().StartCapture();
       },
       {}, cs_Preview},
      {"recompress a missing file",
       [](Capturing& c) { c.vc().Recompress(c.dir + "/none.avi", c.dir + "/b.avi"); },
       {"2 Error: adding source filter " + std::string("DIR/none.avi")}, cs_Preview},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Capturing cap;
    cap.vc().CaptureFileName = cap.dir + "/take.avi";
    std::filesystem::create_directories(cap.dir);
    std::ofstream(cap.dir + "/take.avi") << "an earlier take";
    cap.vc().StartPreview();
    c.act(cap);
    Strings expected = c.errors;
    for (auto& e : expected) {
      const auto at = e.find("DIR");
      if (at != std::string::npos) e.replace(at, 3, cap.dir);
    }
    EXPECT_EQ(cap.w->errors, expected);
    EXPECT_EQ(cap.vc().CurrentState(), c.state);
    if (c.state != cs_Capture) {  // a capture that never started leaves the folder as it was
      EXPECT_EQ(Shell("cat '" + cap.dir + "/take.avi'"), "an earlier take");
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(cap.dir), {}), 1);
    }
  }
}

TEST(CaptureFile, RecompressionWritesMjpegAndNeverOverwritesItsSource) {
  Capturing cap;
  const std::string raw = cap.dir + "/raw.avi", mjpg = cap.dir + "/small.avi";
  cap.vc().CaptureFileName = raw;
  cap.Capture(12);
  const auto rawSize = std::filesystem::file_size(raw);
  cap.w->events.clear();
  cap.vc().Recompress(raw, raw);
  EXPECT_EQ(cap.w->errors, Strings{"62 Error: set outputfilename (mux/sink"});
  EXPECT_EQ(std::filesystem::file_size(raw), rawSize);
  cap.vc().Recompress(raw, mjpg);
  // The preview is back before the completion is told.
  EXPECT_EQ(cap.w->events, (Strings{"RecompressStarted", "PreviewStarted", "RecompressCompleted failed",
                                    "RecompressStarted", "PreviewStarted", "RecompressCompleted"}));
  EXPECT_EQ(cap.vc().CompressionMode(), cm_NoCompression);
  EXPECT_EQ(cap.vc().CurrentState(), cs_Preview);
  EXPECT_EQ(Probe(mjpg, "v:0", "codec_name,r_frame_rate,nb_read_frames"), "mjpeg,15/1,12\n");
  EXPECT_EQ(Probe(mjpg, "a:0", "codec_name,sample_rate,channels"), "pcm_s16le,22050,2\n");
  EXPECT_LT(std::filesystem::file_size(mjpg), rawSize / 4);
  EXPECT_TRUE(DecodesWhole(mjpg));
  for (int index : {0, 11}) EXPECT_EQ(FileDecodedNumber(mjpg, index), index + 1);
}

TEST(CaptureFile, RecompressionReadsCompressedSoundAndFilesFfmpegMade) {
  struct Case {
    const char* name;
    int capturedWith;  // the sound compressor of the source capture; -1: ffmpeg made the source
    TCompressionType type;
    int compressor;  // IMA ADPCM, MPEG Layer-3
    const char* result;  // ffprobe: video codec, frames, sound codec
  };
  const Case cases[] = {
      {"MP3 captured, to MJPEG and PCM", 1, ct_Video, 0, "mjpeg,13 pcm_s16le"},
      {"IMA ADPCM captured, to MJPEG and MP3", 0, ct_AudioVideo, 1, "mjpeg,13 mp3"},
      {"MP3 captured, to IMA ADPCM beside DIB rows", 1, ct_Audio, 0, "rawvideo,13 adpcm_ima_wav"},
      {"MPEG-4 and MP3 from ffmpeg, to MJPEG and IMA ADPCM", -1, ct_AudioVideo, 0, "mjpeg,25 adpcm_ima_wav"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Capturing cap;
    const std::string source = cap.dir + "/source.avi", result = cap.dir + "/result.avi";
    if (c.capturedWith >= 0) {
      cap.vc().SetAudioCompressor(c.capturedWith);
      cap.vc().SetCompressionMode(cm_CompressOnTheFly);
      cap.vc().SetCompressionType(ct_Audio);
      cap.vc().CaptureFileName = source;
      cap.Capture(13);
    } else {
      std::filesystem::create_directories(cap.dir);
      ASSERT_EQ(Shell("ffmpeg -v error -f lavfi -i testsrc=s=320x240:r=25:d=1 -f lavfi -i "
                      "'aevalsrc=0.5*sin(440*2*PI*t)|0.5*sin(660*2*PI*t):s=22050:d=1' -c:v mpeg4 -c:a libmp3lame "
                      "-f avi '" + source + "' && echo ok"),
                "ok\n");
    }
    cap.vc().SetCompressionType(c.type);
    cap.vc().SetAudioCompressor(c.compressor);
    cap.vc().Recompress(source, result);
    EXPECT_EQ(cap.w->errors, Strings{});
    EXPECT_EQ(Probe(result, "v:0", "codec_name,nb_read_frames") + Probe(result, "a:0", "codec_name"),
              std::string(c.result).replace(std::string(c.result).find(' '), 1, "\n") + "\n");
    EXPECT_TRUE(DecodesWhole(result));
    const std::string sound = DecodedSound(result);
    for (int channel : {0, 1})
      EXPECT_NEAR(ToneOf(sound, channel, 22050), engine::kMicrophoneTones[channel], 10) << channel;
    if (c.type == ct_Video) {
      EXPECT_GT(SignalToNoise(DecodedSound(source), sound), 60.0);
    }
    if (c.capturedWith >= 0) {
      for (int index : {0, 12}) EXPECT_EQ(FileDecodedNumber(result, index), index + 1);
    }
  }
}

// The graph goes back to the preview, with no completion of the capture:
// what it wrote stays as it is.
TEST(CaptureFile, AFullDiskReturnsToThePreviewAndKeepsWhatWasWritten) {
  struct Case {
    const char* name;
    TCompressionMode mode;
  };
  const Case cases[] = {
      {"plain capture", cm_NoCompression},
      {"compression after the capture: the scratch file is kept, nothing recompressed", cm_CompressAfterCapture},
  };
  // The file-size limit stands in for a full disk; the signal it raises would end the test.
  signal(SIGXFSZ, SIG_IGN);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Capturing cap;
    cap.vc().CaptureFileName = cap.dir + "/take.avi";
    cap.vc().SetCompressionMode(c.mode);
    cap.vc().StartPreview();
    cap.vc().StartCapture();
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 600000;
    setrlimit(RLIMIT_FSIZE, &small);
    for (int i = 0; i < 8; ++i) cap.world.StepFrames(1);
    const bool ended = WaitFor([&] { return !cap.w->events.empty() && cap.w->events.back() == "DiskFull"; });
    setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_TRUE(ended);
    EXPECT_EQ(cap.w->events,
              (Strings{"ChangeVideoDevice", "PreviewStarted", "CaptureStarted", "PreviewStarted", "DiskFull"}));
    EXPECT_EQ(cap.vc().CurrentState(), cs_Preview);
    const std::string scratch = cap.dir + "/prealloc.avi";
    EXPECT_EQ(std::filesystem::exists(scratch), c.mode == cm_CompressAfterCapture);
    EXPECT_EQ(std::filesystem::exists(cap.dir + "/take.avi"), c.mode == cm_NoCompression);
  }
}

TEST(CaptureFile, TheSoundPlayedIsTheSoundCapturedAndTheSoundOfTheFile) {
  Capturing cap;
  const std::string file = cap.dir + "/take.avi", played = cap.world.PlayedFile();
  const std::size_t eightBlocks = 8u * 2205 * 4;  // of the microphone, in 12 frames' time
  cap.vc().SetRenderAudio(true);
  cap.vc().StartPreview();
  cap.world.StepFrames(12);
  WaitFor([] { return false; }, 100);  // the microphone's blocks
  // The output has written everything once it is closed. The capture starts
  // from the down state, so that no preview opens the output after it.
  cap.vc().StopPreview();
  const std::string preview = testing_support::ReadFile(played);
  cap.vc().CaptureFileName = file;
  cap.vc().StartCapture();
  cap.Frames(12);
  cap.vc().StopCapture();
  const std::string pcm = DecodedSound(file);
  ASSERT_EQ(pcm.size(), eightBlocks);
  for (int channel : {0, 1}) EXPECT_NEAR(ToneOf(pcm, channel, 22050), engine::kMicrophoneTones[channel], 10);
  EXPECT_TRUE(testing_support::ReadFile(played) == pcm);
  EXPECT_TRUE(preview == pcm);  // the microphone starts its tone anew with each graph

  cap.vc().PlayerFileName = file;
  cap.vc().OpenPlayer();
  ASSERT_EQ(cap.vc().CurrentState(), cs_Player);
  cap.vc().OnPlayerEndOfStream = [&](TVideoCapture*) { cap.w->events.push_back("EndOfStream"); };
  cap.world.StepFrames(12);
  ASSERT_TRUE(WaitFor([&] { return cap.w->events.back() == "EndOfStream"; }));
  cap.vc().ClosePlayer();
  EXPECT_TRUE(testing_support::ReadFile(played) == pcm);

  // Without a sound output the preview goes on, silent, and says why.
  cap.world.BreakSoundOutput();
  cap.vc().StartPreview();
  EXPECT_EQ(cap.w->errors, Strings{"52 Warning: cannot render audio"});
  EXPECT_EQ(cap.vc().CurrentState(), cs_Preview);
  const Strings nodes = cap.vc().GraphNodes();
  EXPECT_EQ(std::count(nodes.begin(), nodes.end(), "Audio Renderer"), 0);
}

TEST(CaptureFile, SoundCompressedToMp3OrImaAdpcmPlaysWholeAndLeadsTheVideo) {
  struct Case {
    const char* name;
    int compressor;  // IMA ADPCM, MPEG Layer-3
    TCompressionMode mode;
    TCompressionType type;
    const char* video;  // as ffprobe names them
    const char* sound;
  };
  const Case cases[] = {
      {"MP3 while capturing", 1, cm_CompressOnTheFly, ct_Audio, "rawvideo", "mp3"},
      {"IMA ADPCM while capturing", 0, cm_CompressOnTheFly, ct_Audio, "rawvideo", "adpcm_ima_wav"},
      {"IMA ADPCM and MJPEG after the capture", 0, cm_CompressAfterCapture, ct_AudioVideo, "mjpeg", "adpcm_ima_wav"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Capturing cap;
    ASSERT_EQ(cap.vc().GetAudioCompressors(), "IMA ADPCM\r\nMPEG Layer-3\r\n");
    const std::string file = cap.dir + "/take.avi";
    cap.vc().SetAudioCompressor(c.compressor);
    cap.vc().SetCompressionMode(c.mode);
    cap.vc().SetCompressionType(c.type);
    cap.vc().SetRenderAudio(true);
    cap.vc().CaptureFileName = file;
    cap.vc().StartCapture();
    // 13 frames of 1/15 s hold eight blocks of 1/10 s of sound: the sound is
    // the master stream, and the video is spread over its 0.8 s.
    cap.Frames(13);
    cap.vc().StopCapture();
    EXPECT_EQ(cap.w->errors, Strings{});
    EXPECT_EQ(Probe(file, "a:0", "codec_name,sample_rate,channels"), std::string(c.sound) + ",22050,2\n");
    EXPECT_EQ(Probe(file, "v:0", "codec_name,nb_read_frames"), std::string(c.video) + ",13\n");
    EXPECT_NEAR(std::atof(Probe(file, "v:0", "duration").c_str()), 0.8, 1e-4);
    EXPECT_TRUE(DecodesWhole(file));
    const std::string played = testing_support::ReadFile(cap.world.PlayedFile());
    const std::string decoded = DecodedSound(file);
    ASSERT_EQ(played.size(), 8u * 2205 * 4);
    EXPECT_GE(decoded.size(), played.size());
    // ADPCM keeps the samples in their places; MP3 moves them by its coder's delay.
    if (c.sound == std::string("adpcm_ima_wav")) {
      EXPECT_GT(SignalToNoise(played, decoded), 25.0);
    }
    for (int channel : {0, 1})
      EXPECT_NEAR(ToneOf(decoded, channel, 22050), engine::kMicrophoneTones[channel], 10) << channel;

    // The player plays the file's sound as ffmpeg decodes it.
    bool ended = false;
    cap.vc().OnPlayerEndOfStream = [&](TVideoCapture*) { ended = true; };
    cap.vc().PlayerFileName = file;
    cap.vc().OpenPlayer();
    cap.world.StepFrames(14);
    ASSERT_TRUE(WaitFor([&] { return ended; }));
    cap.vc().ClosePlayer();
    const std::string replayed = testing_support::ReadFile(cap.world.PlayedFile());
    EXPECT_GE(replayed.size(), played.size());
    EXPECT_GT(SignalToNoise(decoded, replayed), 60.0);
  }
}
