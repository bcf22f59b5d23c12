#include "videocapture/PropertyFrames.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/Charset.h"

namespace engine = videocapture::engine;

namespace {

TPropertyFrames*& Installed() {
  static TPropertyFrames* frames = nullptr;
  return frames;
}

// Property frames open at a point of their owner, as the owner shows on the screen.
void PlaceOver(QDialog& dialog, QWidget* owner, int x, int y) {
  dialog.move(owner ? owner->mapToGlobal(QPoint(x, y)) : QPoint(x, y));
}

const char* const kControlNames[engine::kProcAmpCount] = {
    "Brightness", "Contrast", "Hue", "Saturation", "Sharpness", "Gamma", "Color Enable",
    "White Balance", "Backlight Compensation", "Gain"};

}  // namespace

bool TPropertyFrames::HasDevicePages(engine::TCaptureSource& source) {
  if (source.Crossbar()) return true;
  engine::TProcAmp* amp = source.ProcAmp();
  if (!amp) return false;
  for (int p = 0; p < engine::kProcAmpCount; ++p) {
    engine::TControlRange range;
    if (amp->GetRange(p, range) && range.available) return true;
  }
  return false;
}

void TPropertyFrames::ShowDevicePages(QWidget* parent, engine::TCaptureSource& source) {
  QDialog dialog(parent);
  dialog.setWindowTitle(platform::ToQString(source.Info().friendlyName + " Properties"));
  PlaceOver(dialog, parent, 30, 30);
  auto* form = new QFormLayout;
  if (engine::TProcAmp* amp = source.ProcAmp()) {
    for (int p = 0; p < engine::kProcAmpCount; ++p) {
      engine::TControlRange range;
      int value;
      if (!amp->GetRange(p, range) || !range.available || !amp->Get(p, value)) continue;
      auto* slider = new QSlider(Qt::Horizontal);
      slider->setRange(range.min, range.max);
      slider->setSingleStep(std::max(1, range.step));
      slider->setValue(value);
      QObject::connect(slider, &QSlider::valueChanged, [amp, p](int v) { amp->Set(p, v); });
      form->addRow(kControlNames[p], slider);
    }
  }
  if (engine::TCrossbar* crossbar = source.Crossbar()) {
    auto* inputs = new QComboBox;
    for (int i = 0; i < crossbar->InputCount(); ++i) inputs->addItem(platform::ToQString(crossbar->InputName(i)));
    inputs->setCurrentIndex(std::max(0, crossbar->RoutedTo(0)));
    QObject::connect(inputs, &QComboBox::currentIndexChanged, [crossbar](int i) { crossbar->Route(0, i); });
    form->addRow("Input", inputs);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addWidget(buttons);
  dialog.exec();
}

bool TPropertyFrames::ShowStreamConfig(QWidget* parent, engine::TCaptureSource& source,
                                       engine::TVideoFormat& format) {
  QDialog dialog(parent);
  dialog.setWindowTitle("Stream Format");
  PlaceOver(dialog, parent, 0, 0);
  auto* choices = new QComboBox;
  choices->setObjectName("format");
  std::vector<engine::TVideoFormat> formats;
  engine::TVideoFormat current;
  const bool haveCurrent = source.GetFormat(current);
  auto add = [&](const engine::TVideoFormat& f) {
    formats.push_back(f);
    choices->addItem(QString("%1  %2 x %3")
                         .arg(platform::ToQString(engine::SubTypeName(f.subtype)))
                         .arg(f.width)
                         .arg(f.height));
  };
  auto same = [&](const engine::TVideoFormat& f) {
    return f.subtype == current.subtype && f.width == current.width && f.height == current.height;
  };
  for (int i = 0; i < source.CapabilityCount(); ++i) {
    engine::TVideoFormat f;
    engine::TStreamCaps caps;
    if (!source.GetCapability(i, f, caps)) continue;
    add(f);
    if (haveCurrent && same(f)) choices->setCurrentIndex(choices->count() - 1);
  }
  // A size chosen elsewhere (the component's VideoSize) that no capability
  // names as its own is still what the device sends: the dialog shows it.
  if (haveCurrent && !formats.empty() && std::none_of(formats.begin(), formats.end(), same)) {
    add(current);
    choices->setCurrentIndex(choices->count() - 1);
  }
  auto* rate = new QDoubleSpinBox;
  rate->setRange(1, 120);
  rate->setDecimals(2);
  rate->setValue(current.avgTimePerFrame > 0 ? double(engine::kUnitsPerSecond) / current.avgTimePerFrame : 15.0);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* form = new QFormLayout;
  form->addRow("Format", choices);
  form->addRow("Frames per second", rate);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addWidget(buttons);
  if (formats.empty() || dialog.exec() != QDialog::Accepted) return false;
  format = formats[static_cast<std::size_t>(std::max(0, choices->currentIndex()))];
  format.avgTimePerFrame = static_cast<engine::TRefTime>(engine::kUnitsPerSecond / rate->value() + 0.5);
  return true;
}

void TPropertyFrames::ShowPage(QWidget* parent, const std::string& title, QWidget* page) {
  QDialog dialog(parent);
  dialog.setWindowTitle(platform::ToQString(title));
  PlaceOver(dialog, parent, 30, 30);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(page);
  layout->addWidget(buttons);
  dialog.exec();
}

TPropertyFrames& PropertyFrames() {
  static TPropertyFrames standard;
  return Installed() ? *Installed() : standard;
}

void SetPropertyFrames(TPropertyFrames* frames) { Installed() = frames; }
