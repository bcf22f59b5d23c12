// The component's own property pages: offered exactly when the graph holds
// what they configure, and changing the devices through their widgets; and
// the V4L2 calls behind a TV card's sound.

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <cstring>

#include "Capture_helpers.h"
#include "videocapture/PropertyFrames.h"
#include "videocapture/engine/V4l2Sound.h"

namespace engine = videocapture::engine;
using capture_test::SyntheticWorld;
using capture_test::Watched;
using Strings = std::vector<std::string>;

namespace {

// Stands in for the dialog: runs `act` on the page instead of waiting for a user.
struct Pages : TPropertyFrames {
  Strings titles;
  std::function<void(QWidget&)> act;
  void ShowPage(QWidget*, const std::string& title, QWidget* page) override {
    const std::unique_ptr<QWidget> owned(page);
    titles.push_back(title);
    if (act) act(*page);
  }
};

template <typename Widget>
Widget& Find(QWidget& page, const char* name) {
  auto* widget = page.findChild<Widget*>(name);
  if (!widget) throw std::runtime_error(std::string("no widget ") + name);
  return *widget;
}

engine::TSyntheticScript TvCard() {
  auto script = engine::TSyntheticCamera::StandardScript("TV Card");
  script.crossbar = script.tuner = script.analogDecoder = true;
  return script;
}

std::string Offered(TVideoCapture& vc) {
  static const char* const kNames[] = {"Device",         "Compressor",    "StreamConfig", "VfwFormat",
                                       "vfwSource",      "vfwDisplay",    "vfwCompressor", "VideoCrossbar",
                                       "AudioCrossbar",  "TVTuner",       "TVAudio",      "Audio"};
  std::string offered;
  for (int d = dlg_Device; d <= dlg_Audio; ++d)
    if (vc.IsDialogAvailable(static_cast<TDialog>(d))) offered += std::string(offered.empty() ? "" : ",") + kNames[d];
  return offered;
}

}  // namespace

TEST(PropertyPages, OfferedExactlyWhenTheGraphHoldsWhatTheyConfigure) {
  struct Case {
    const char* name;
    engine::TSyntheticScript script;
    bool microphone;
    std::string offered;
  };
  const Case cases[] = {
      {"webcam", engine::TSyntheticCamera::StandardScript("Webcam"), false, "Device,Compressor,StreamConfig"},
      {"webcam and microphone", engine::TSyntheticCamera::StandardScript("Webcam"), true,
       "Device,Compressor,StreamConfig,Audio"},
      {"TV card and microphone", TvCard(), true, "Device,Compressor,StreamConfig,VideoCrossbar,TVTuner,TVAudio,Audio"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SyntheticWorld world(0, c.microphone);
    world.Backend().AddCamera(c.script);
    world.AddCodecs();
    Watched w;
    w.Tick();
    EXPECT_EQ(Offered(*w.vc), "");
    w.vc->StartPreview();
    EXPECT_EQ(Offered(*w.vc), c.offered);
  }
}

TEST(PropertyPages, ChangeTheDevicesTheyShow) {
  Pages pages;
  SetPropertyFrames(&pages);
  SyntheticWorld world(0, true);
  auto card = world.Backend().AddCamera(TvCard());
  world.AddCodecs();
  Watched w;
  w.Tick();
  w.vc->StartPreview();
  int routed = -1;
  Strings nodesDuringPage;
  std::string frequency;
  bool tunerEnabled = false;
  const std::vector<std::pair<TDialog, std::function<void(QWidget&)>>> steps = {
      {dlg_VideoCrossbar, [](QWidget& p) { Find<QComboBox>(p, "input").setCurrentIndex(1); }},
      {dlg_VideoCrossbar, [&](QWidget& p) { routed = Find<QComboBox>(p, "input").currentIndex(); }},
      {dlg_TVAudio,
       [](QWidget& p) {
         auto& mode = Find<QComboBox>(p, "mode");
         mode.setCurrentIndex(mode.findText("Stereo"));
       }},
      {dlg_Audio,
       [](QWidget& p) {
         Find<QSlider>(p, "volume0").setValue(30);
         Find<QCheckBox>(p, "switch0").setChecked(false);
       }},
      {dlg_Compressor,
       [&](QWidget& p) {
         nodesDuringPage = w.vc->GraphNodes();
         Find<QSlider>(p, "quality").setValue(50);
       }},
      {dlg_TVTuner,
       [&](QWidget& p) {
         Find<QSpinBox>(p, "country").setValue(44);
         auto& channel = Find<QSpinBox>(p, "channel");
         channel.setValue(30);
         tunerEnabled = channel.isEnabled() && Find<QComboBox>(p, "inputType").isEnabled();
         frequency = Find<QLabel>(p, "frequency").text().toStdString();
       }},
  };
  const int starts = card->starts;
  for (const auto& [dialog, act] : steps) {
    pages.act = act;
    w.vc->ShowDialog(dialog);
  }
  SetPropertyFrames(nullptr);
  EXPECT_EQ(pages.titles,
            (Strings{"Video Crossbar", "Video Crossbar", "TV Audio", "Audio Capture", "Video Compressor", "TV Tuner"}));
  EXPECT_EQ(routed, 1);
  EXPECT_EQ(card->tvAudioMode, 0x2);
  EXPECT_EQ(world.Backend().microphoneVolume, 30);
  EXPECT_FALSE(world.Backend().microphoneOn);
  EXPECT_EQ(w.vc->VCompQuality(), 0.5);
  // UHF channel 30 of the British plan.
  EXPECT_TRUE(tunerEnabled);
  EXPECT_EQ(frequency, "543.25 MHz");
  // A compressor was in the graph for its page only.
  EXPECT_EQ(std::count(nodesDuringPage.begin(), nodesDuringPage.end(), "MJPEG Compressor"), 1);
  const Strings nodes = w.vc->GraphNodes();
  EXPECT_EQ(std::count(nodes.begin(), nodes.end(), "MJPEG Compressor"), 0);
  // The input changes while the device does not stream: its stream started again.
  EXPECT_GT(card->starts, starts);
  EXPECT_EQ(w.vc->CurrentState(), cs_Preview);
  EXPECT_EQ(w.errors, Strings{});
}

// The device's own frames open over the panel, and the format dialog shows
// the format in use, also one that no capability names as its own.
TEST(PropertyPages, TheFramesOpenOverThePanelAndShowTheFormatInUse) {
  SyntheticWorld world(1);
  Watched w;
  w.Tick();
  w.vc->SetVideoSize(3);  // 640x360, which YUY2 takes
  w.vc->StartPreview();
  std::vector<std::pair<QPoint, std::string>> seen;
  QTimer looking;  // until the dialog is up: the graph is built first
  QObject::connect(&looking, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    looking.stop();
    auto* format = dialog->findChild<QComboBox*>("format");
    seen.emplace_back(dialog->pos() - w.vc->mapToGlobal(QPoint()), format ? format->currentText().toStdString() : "");
    dialog->reject();
  });
  for (const TDialog dialog : {dlg_StreamConfig, dlg_Device}) looking.start(5), w.vc->ShowDialog(dialog);
  EXPECT_EQ(seen, (std::vector<std::pair<QPoint, std::string>>{{{0, 0}, "YUY2  640 x 360"}, {{30, 30}, ""}}));
}

namespace {

// A TV card's tuner sound and sound inputs, as its driver answers.
class FakeTvSound : public engine::TV4l2Io {
 public:
  std::uint32_t audmode = V4L2_TUNER_MODE_MONO;
  std::uint32_t audioInput = 0;

  std::vector<std::string> ListNodes() override { return {}; }
  int Open(const std::string&) override { return -1; }
  void Close(int) override {}
  void* Map(int, std::size_t, std::int64_t) override { return nullptr; }
  void Unmap(void*, std::size_t) override {}
  int WaitFrame(int, int, int) override { return 0; }
  int Ioctl(int, unsigned long request, void* arg) override {
    switch (request) {
      case VIDIOC_G_TUNER: {
        auto* t = static_cast<v4l2_tuner*>(arg);
        t->type = V4L2_TUNER_ANALOG_TV;
        t->capability = V4L2_TUNER_CAP_STEREO | V4L2_TUNER_CAP_LANG1 | V4L2_TUNER_CAP_LANG2;
        t->audmode = audmode;
        return 0;
      }
      case VIDIOC_S_TUNER: audmode = static_cast<v4l2_tuner*>(arg)->audmode; return 0;
      case VIDIOC_ENUMAUDIO: {
        auto* a = static_cast<v4l2_audio*>(arg);
        if (a->index > 1) return -1;
        std::strcpy(reinterpret_cast<char*>(a->name), a->index == 0 ? "Tuner" : "Line In");
        return 0;
      }
      case VIDIOC_G_AUDIO: static_cast<v4l2_audio*>(arg)->index = audioInput; return 0;
      case VIDIOC_S_AUDIO: audioInput = static_cast<v4l2_audio*>(arg)->index; return 0;
      default: return -1;
    }
  }
};

}  // namespace

TEST(PropertyPages, TvSoundModesAndSoundInputsReachTheV4l2Driver) {
  auto io = std::make_shared<FakeTvSound>();
  auto audio = engine::OpenV4l2TvAudio(io, 3);
  ASSERT_NE(audio, nullptr);
  EXPECT_EQ(audio->AvailableModes(), 0x33);
  const std::pair<int, std::uint32_t> modes[] = {{0x2, V4L2_TUNER_MODE_STEREO},
                                                 {0x20, V4L2_TUNER_MODE_LANG2},
                                                 {0x30, V4L2_TUNER_MODE_LANG1_LANG2},
                                                 {0x1, V4L2_TUNER_MODE_MONO}};
  for (const auto& [mode, audmode] : modes) {
    int read = 0;
    EXPECT_TRUE(audio->SetMode(mode));
    EXPECT_EQ(io->audmode, audmode);
    EXPECT_TRUE(audio->Mode(read));
    EXPECT_EQ(read, mode);
  }
  auto inputs = engine::OpenV4l2AudioInputs(io, 3);
  ASSERT_NE(inputs, nullptr);
  EXPECT_EQ(inputs->InputName(1), "Line In");
  EXPECT_TRUE(inputs->Route(0, 1));
  EXPECT_EQ(inputs->RoutedTo(0), 1);
  EXPECT_FALSE(inputs->Route(0, 2));
}
