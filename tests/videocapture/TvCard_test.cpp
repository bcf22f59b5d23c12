// The TV card's tuner and decoder on synthetic cards, what a webcam answers
// to them, DV settings on a source that is no camcorder, and DV time codes.

#include "videocapture/TvCard.h"

#include <gtest/gtest.h>

#include "Capture_helpers.h"

namespace engine = videocapture::engine;
using capture_test::SyntheticWorld;
using capture_test::Watched;
using Strings = std::vector<std::string>;

TEST(TvCard, EveryTunerAndDecoderCallAnswersFalseOnAWebcam) {
  SyntheticWorld world(1);
  Watched w;
  w.Tick();
  w.vc->StartPreview();
  TVideoCapture& vc = *w.vc;
  int a = 7, b = 7, c = 7;
  TTunerInputType type = TunerInputAntenna;
  const bool answers[] = {
      vc.TVPutChannel(4, 0, 0), vc.TVGetChannel(a, b, c), vc.TVChannelMinMax(a, b), vc.TVPutCountryCode(49),
      vc.TVGetCountryCode(a), vc.TVPutTuningSpace(1), vc.TVGetTuningSpace(a), vc.TVLogon(nullptr), vc.TVLogout(),
      vc.TVSignalPresent(a), vc.TVPutMode(1), vc.TVGetMode(a), vc.TVGetAvailableModes(a),
      vc.TVGetAvailableTVFormats(a), vc.TVGetTVFormat(a), vc.TVAutoTune(4, a), vc.TVStoreAutoTune(),
      vc.TVGetNumInputConnections(a), vc.TVPutInputType(0, TunerInputCable), vc.TVGetInputType(0, type),
      vc.TVPutConnectInput(0), vc.TVGetConnectInput(a), vc.TVGetVideoFrequency(a), vc.TVGetAudioFrequency(a),
      vc.VDECPutTVFormat(0x10), vc.VDECGetHorizontalLocked(a), vc.VDECPutVCRHorizontalLocking(1),
      vc.VDECGetVCRHorizontalLocking(a), vc.VDECGetNumberOfLines(a), vc.VDECPutOutputEnable(1),
      vc.VDECGetOutputEnable(a), vc.SendDVCommand(dv_Play), vc.GetTVTunerAvailable(),
      vc.GetAnalogVideoDecoderAvailable(), vc.GetTimeCodeReaderAvailable()};
  for (std::size_t i = 0; i < std::size(answers); ++i) EXPECT_FALSE(answers[i]) << i;
  EXPECT_EQ(std::tie(a, b, c), std::make_tuple(7, 7, 7));
  EXPECT_EQ(type, TunerInputAntenna);
  // DV settings are kept, and the camera is told they do not apply to it.
  vc.SetDVCaptureMode(dv_CaptureType1);
  vc.SetDVReduceFrameRate(true);
  EXPECT_EQ(vc.DVCaptureMode(), dv_CaptureType1);
  EXPECT_EQ(w.errors, (Strings{"76 Warning: applies only to DV", "76 Warning: applies only to DV"}));
}

TEST(TvCard, TheStandardReachesTheDecoderAtOnceOrAtTheNextBuild) {
  SyntheticWorld world(0);
  auto script = engine::TSyntheticCamera::StandardScript("TV Card");
  script.tuner = script.analogDecoder = true;
  auto card = world.Backend().AddCamera(script);
  Watched w;
  w.Tick();
  w.vc->SetAnalogVideoStandard(AnalogVideo_PAL_B);  // no graph yet: only kept
  EXPECT_EQ(card->standard.load(), 0);
  w.vc->StartPreview();
  EXPECT_EQ(card->standard.load(), 0x10);
  w.vc->SetAnalogVideoStandard(AnalogVideo_NTSC_M);
  EXPECT_EQ(card->standard.load(), 0x1);
  int lines = 0, format = 0, formats = 0, strength = -1, hertz = 0, enabled = 0;
  EXPECT_TRUE(w.vc->VDECGetNumberOfLines(lines));
  EXPECT_EQ(lines, 525);
  EXPECT_TRUE(w.vc->VDECGetOutputEnable(enabled));  // always on
  EXPECT_EQ(enabled, 1);
  EXPECT_TRUE(w.vc->VDECPutTVFormat(0x10));
  EXPECT_TRUE(w.vc->VDECGetNumberOfLines(lines));
  EXPECT_EQ(lines, 625);
  EXPECT_TRUE(w.vc->TVGetTVFormat(format));
  EXPECT_EQ(format, 0x10);
  EXPECT_TRUE(w.vc->TVGetAvailableTVFormats(formats));
  EXPECT_EQ(formats, 0x11);
  EXPECT_TRUE(w.vc->TVSignalPresent(strength));
  EXPECT_EQ(strength, 1);
  EXPECT_TRUE(w.vc->TVGetVideoFrequency(hertz));
  EXPECT_EQ(hertz, 175250000);
  EXPECT_TRUE(w.vc->TVPutChannel(4, 0, 0));
  const std::string names = w.vc->GetAnalogVideoStandards();
  EXPECT_EQ(std::count(names.begin(), names.end(), '\n'), 20);
  EXPECT_EQ(names.substr(0, 20), "None\r\nNTSC_M\r\nNTSC_M");
  EXPECT_EQ(w.errors, Strings{});
}

TEST(TvCard, TimeCodesDecodeFromBcd) {
  struct Case {
    std::uint32_t bcd;
    int hh, mm, ss, ff;
  };
  const Case cases[] = {
      {0x12345608, 12, 34, 56, 8},   {0x00000000, 0, 0, 0, 0},      {0x23595929, 23, 59, 59, 29},
      {0x010203FF, -1, -1, -1, -1},  {0x0102FF03, -1, -1, -1, -1},
  };
  for (const Case& c : cases) {
    const TTimeCode t = DecodeTimeCode(c.bcd);
    EXPECT_EQ(std::make_tuple(t.hours, t.minutes, t.seconds, t.frames), std::make_tuple(c.hh, c.mm, c.ss, c.ff))
        << std::hex << c.bcd;
  }
}
