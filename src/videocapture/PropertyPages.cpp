// The component's own property pages: the inputs of a capture card (video
// and sound), its TV tuner and TV sound, the recording controls of the sound
// input, and the video compressor's settings. A page is offered when the
// graph holds what it configures, and applies each change as it is made.

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <cmath>

#include "platform/Charset.h"
#include "videocapture/CaptureImpl.h"
#include "videocapture/PropertyFrames.h"

namespace engine = videocapture::engine;

namespace {

QWidget* CrossbarPage(engine::TCrossbar& crossbar, const std::function<bool(int)>& route) {
  auto* page = new QWidget;
  auto* form = new QFormLayout(page);
  auto* inputs = new QComboBox;
  inputs->setObjectName("input");
  for (int i = 0; i < crossbar.InputCount(); ++i) inputs->addItem(platform::ToQString(crossbar.InputName(i)));
  inputs->setCurrentIndex(std::max(0, crossbar.RoutedTo(0)));
  QObject::connect(inputs, &QComboBox::currentIndexChanged, [route](int i) { route(i); });
  form->addRow("Input", inputs);
  return page;
}

// Cable or antenna is set per jack of the tuner: the page shows the one in use.
int ConnectedTunerInput(TVideoCapture& vc) {
  int input = 0;
  return vc.TVGetConnectInput(input) ? input : 0;
}

QWidget* TunerPage(TVideoCapture& vc) {
  auto* page = new QWidget;
  auto* form = new QFormLayout(page);
  auto* channel = new QSpinBox;
  channel->setObjectName("channel");
  auto* country = new QSpinBox;
  country->setObjectName("country");
  country->setRange(0, 9999);
  auto* inputType = new QComboBox;
  inputType->setObjectName("inputType");
  inputType->addItems({"Cable", "Antenna"});
  auto* fineTune = new QPushButton("Fine Tune");
  fineTune->setObjectName("fineTune");
  auto* frequency = new QLabel;
  frequency->setObjectName("frequency");
  auto* signal = new QLabel;
  signal->setObjectName("signal");

  // Reads everything back from the tuner: a change of country or input
  // type changes the channels there are and where they lie.
  auto refresh = [&vc, channel, country, inputType, frequency, signal] {
    const QSignalBlocker b1(channel), b2(country), b3(inputType);
    int min = 0, max = 0, current = 0, videoSub = 0, audioSub = 0, code = 0, hertz = 0, strength = 0;
    channel->setEnabled(vc.TVChannelMinMax(min, max));
    channel->setRange(std::min(min, max), std::max(min, max));
    if (vc.TVGetChannel(current, videoSub, audioSub)) channel->setValue(current);
    country->setEnabled(vc.TVGetCountryCode(code));
    country->setValue(code);
    TTunerInputType type = TunerInputCable;
    inputType->setEnabled(vc.TVGetInputType(ConnectedTunerInput(vc), type));
    inputType->setCurrentIndex(type == TunerInputAntenna ? 1 : 0);
    frequency->setText(vc.TVGetVideoFrequency(hertz) ? QString("%1 MHz").arg(hertz / 1e6, 0, 'f', 2) : "-");
    signal->setText(!vc.TVSignalPresent(strength) ? "-" : strength > 0 ? "Signal" : "No signal");
  };
  QObject::connect(channel, &QSpinBox::valueChanged, [&vc, refresh](int value) {
    vc.TVPutChannel(value, -1, -1);
    refresh();
  });
  QObject::connect(country, &QSpinBox::valueChanged, [&vc, refresh](int value) {
    vc.TVPutCountryCode(value);
    refresh();
  });
  QObject::connect(inputType, &QComboBox::currentIndexChanged, [&vc, refresh](int index) {
    vc.TVPutInputType(ConnectedTunerInput(vc), index == 1 ? TunerInputAntenna : TunerInputCable);
    refresh();
  });
  QObject::connect(fineTune, &QPushButton::clicked, [&vc, channel, refresh] {
    int found = 0;
    if (vc.TVAutoTune(channel->value(), found)) vc.TVStoreAutoTune();
    refresh();
  });
  refresh();
  form->addRow("Channel", channel);
  form->addRow("Country code", country);
  form->addRow("Input", inputType);
  form->addRow("Frequency", frequency);
  form->addRow("Signal", signal);
  form->addRow("", fineTune);
  return page;
}

QWidget* TvAudioPage(engine::TTvAudio& audio) {
  static const std::pair<int, const char*> kModes[] = {
      {0x1, "Mono"}, {0x2, "Stereo"}, {0x10, "Language A"}, {0x20, "Language B"}, {0x30, "Languages A and B"}};
  auto* page = new QWidget;
  auto* form = new QFormLayout(page);
  auto* modes = new QComboBox;
  modes->setObjectName("mode");
  const int available = audio.AvailableModes();
  int current = 0;
  audio.Mode(current);
  for (const auto& [mode, name] : kModes) {
    if ((available & mode) != mode) continue;
    modes->addItem(name, mode);
    if (mode == current) modes->setCurrentIndex(modes->count() - 1);
  }
  QObject::connect(modes, &QComboBox::currentIndexChanged,
                   [&audio, modes](int i) { audio.SetMode(modes->itemData(i).toInt()); });
  form->addRow("Sound", modes);
  return page;
}

QWidget* MixerPage(engine::TMixer& mixer) {
  auto* page = new QWidget;
  auto* form = new QFormLayout(page);
  const std::vector<engine::TMixerControl> controls = mixer.Controls();
  for (int i = 0; i < static_cast<int>(controls.size()); ++i) {
    const engine::TMixerControl& c = controls[static_cast<std::size_t>(i)];
    auto* row = new QHBoxLayout;
    long volume = 0;
    if (c.hasVolume && mixer.Volume(i, volume)) {
      auto* slider = new QSlider(Qt::Horizontal);
      slider->setObjectName(QString("volume%1").arg(i));
      slider->setRange(static_cast<int>(c.min), static_cast<int>(c.max));
      slider->setValue(static_cast<int>(volume));
      QObject::connect(slider, &QSlider::valueChanged, [&mixer, i](int v) { mixer.SetVolume(i, v); });
      row->addWidget(slider);
    }
    bool on = false;
    if (c.hasSwitch && mixer.Switch(i, on)) {
      auto* box = new QCheckBox("Record");
      box->setObjectName(QString("switch%1").arg(i));
      box->setChecked(on);
      QObject::connect(box, &QCheckBox::toggled, [&mixer, i](bool v) { mixer.SetSwitch(i, v); });
      row->addWidget(box);
    }
    int item = 0;
    if (!c.items.empty() && mixer.Item(i, item)) {
      auto* choice = new QComboBox;
      choice->setObjectName(QString("item%1").arg(i));
      for (const auto& name : c.items) choice->addItem(platform::ToQString(name));
      choice->setCurrentIndex(item);
      QObject::connect(choice, &QComboBox::currentIndexChanged, [&mixer, i](int v) { mixer.SetItem(i, v); });
      row->addWidget(choice);
    }
    form->addRow(platform::ToQString(c.name), row);
  }
  return page;
}

QWidget* CompressorPage(TVideoCapture& vc) {
  auto* page = new QWidget;
  auto* form = new QFormLayout(page);
  auto* quality = new QSlider(Qt::Horizontal);
  quality->setObjectName("quality");
  quality->setRange(0, 100);
  // Unset, the quality is the codec's own default.
  quality->setValue(vc.VCompQuality() < 0 ? 75 : static_cast<int>(std::lround(vc.VCompQuality() * 100)));
  QObject::connect(quality, &QSlider::valueChanged, [&vc](int v) { vc.SetVCompQuality(v / 100.0); });
  // MJPEG makes every frame a key frame; the page says so rather than offer a choice.
  auto* keyFrames = new QSpinBox;
  keyFrames->setObjectName("keyFrames");
  keyFrames->setValue(1);
  keyFrames->setSuffix(" frame");
  keyFrames->setEnabled(false);
  form->addRow("Quality", quality);
  form->addRow("Key frame every", keyFrames);
  return page;
}

}  // namespace

bool TImpl::OwnPageAvailable(TDialog dialog) {
  switch (dialog) {
    case dlg_VideoCrossbar: return source->Crossbar() != nullptr;
    case dlg_AudioCrossbar: return source->AudioCrossbar() != nullptr;
    case dlg_TVTuner: return source->Tuner() != nullptr;
    case dlg_TVAudio: return source->TvAudio() != nullptr;
    case dlg_Audio: {
      engine::TAudioSource* input = graph ? graph->AudioStream() : nullptr;
      return input && input->Mixer() && !input->Mixer()->Controls().empty();
    }
    case dlg_Compressor: {
      TDevices* list = VideoCompressorList();
      return vc.currentState_ != cs_Player && list && vc.videoCompressor_ >= 0 &&
             vc.videoCompressor_ < list->Count();
    }
    default: return false;
  }
}

void TImpl::ShowOwnPage(TDialog dialog) {
  TPropertyFrames& frames = PropertyFrames();
  switch (dialog) {
    case dlg_VideoCrossbar: {
      auto route = [this](int input) {
        return WithStreamStopped([&] { return source && source->Crossbar() && source->Crossbar()->Route(0, input); });
      };
      frames.ShowPage(&vc, "Video Crossbar", CrossbarPage(*source->Crossbar(), route));
      return;
    }
    case dlg_AudioCrossbar: {
      engine::TCrossbar& crossbar = *source->AudioCrossbar();
      frames.ShowPage(&vc, "Audio Crossbar",
                      CrossbarPage(crossbar, [&crossbar](int input) { return crossbar.Route(0, input); }));
      return;
    }
    case dlg_TVTuner: frames.ShowPage(&vc, "TV Tuner", TunerPage(vc)); return;
    case dlg_TVAudio: frames.ShowPage(&vc, "TV Audio", TvAudioPage(*source->TvAudio())); return;
    default: break;
  }
  TVideoCapture::BusyScope busy(vc);
  // The compressor's page needs a compressor in the graph: one is bound for
  // it, and let go again afterwards. Not during a capture, which a new graph
  // would start over, writing over what it captured: there the settings wait
  // for the next capture.
  const bool bindForPage = dialog == dlg_Compressor && videoCompressorNode < 0 && vc.currentState_ != cs_Capture;
  if (bindForPage) {
    compressorDialogRequested = true;
    const bool started = StartGraph(false);
    compressorDialogRequested = false;
    if (!started) return;
  }
  // Devices whose settings apply while they stream are only stopped around
  // the page; others are built anew.
  const bool live = record && record->IsWDM;
  if (live) {
    GraphControl(0);
  } else {
    DestroyGraph();
    if (!BuildGraph()) return DestroyGraph();
  }
  if (dialog == dlg_Compressor) {
    frames.ShowPage(&vc, "Video Compressor", CompressorPage(vc));
  } else if (engine::TAudioSource* input = graph ? graph->AudioStream() : nullptr; input && input->Mixer()) {
    frames.ShowPage(&vc, "Audio Capture", MixerPage(*input->Mixer()));
  }
  if (bindForPage) StartGraph(false);  // without the page's compressor
  else if (live) GraphControl(2);
  else if (!RunGraph()) DestroyGraph();
}
