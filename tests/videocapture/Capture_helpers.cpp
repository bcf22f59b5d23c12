#include "Capture_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/EventLoop.h"
#include "videocapture/Devices.h"
#include "videocapture/engine/AudioCodec.h"
#include "videocapture/engine/CaptureSystem.h"
#include "videocapture/engine/VideoCodec.h"

namespace engine = videocapture::engine;

namespace capture_test {

namespace {

QApplication* made = nullptr;

class AppEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    FinalizeVideoDevices();
    delete made;
    made = nullptr;
  }
};

[[maybe_unused]] ::testing::Environment* const env = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace

QApplication& App() {
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
  static int argc = 1;
  static char name[] = "videocapture_tests";
  static char* argv[] = {name, nullptr};
  made = new QApplication(argc, argv);
  return *made;
}

bool WaitFor(const std::function<bool()>& pred, int timeoutMs) {
  return platform::ProcessMessagesUntil(pred, timeoutMs);
}

SyntheticWorld::SyntheticWorld(int cameras, bool microphone) : clock_(engine::TSyntheticClock::Manual()) {
  App();
  FinalizeVideoDevices();
  auto backend = std::make_unique<engine::TSyntheticBackend>(clock_);
  backend_ = backend.get();
  for (int i = 0; i < cameras; ++i)
    backend->AddCamera(engine::TSyntheticCamera::StandardScript("Camera " + std::to_string(i + 1)));
  if (microphone) backend->AddEntry(engine::TCategory::AudioInput, "Microphone");
  auto system = std::make_unique<engine::TCaptureSystem>();
  system->AddBackend(std::move(backend));
  system->SetClock(clock_);
  engine::InstallCaptureSystem(std::move(system));
  const char* alsaConfig = std::getenv("ALSA_CONFIG_PATH");
  hadAlsaConfig_ = alsaConfig != nullptr;
  if (hadAlsaConfig_) savedAlsaConfig_ = alsaConfig;
  UseSoundOutput("asound.conf",
                 "pcm.!default { type file slave.pcm { type null } file \"" + PlayedFile() + "\" format raw }\n");
}

void SyntheticWorld::UseSoundOutput(const std::string& config, const std::string& text) {
  const auto path = home_.Home() / config;
  testing_support::WriteFile(path, text);
  setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
}

// A configuration without a default device, as on a machine without sound.
void SyntheticWorld::BreakSoundOutput() { UseSoundOutput("none.conf", "\n"); }

// Output of a shell command; empty when it failed.
std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  return pclose(pipe) == 0 ? out : std::string();
}

// The frame number in a binary PPM as an outside decoder wrote it.
int PpmFrameNumber(const std::string& ppm) {
  int width = 0, height = 0, max = 0, consumed = 0;
  if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &width, &height, &max, &consumed) != 3) return -2;
  const auto* pixels = reinterpret_cast<const std::uint8_t*>(ppm.data()) + consumed + 1;
  if (ppm.size() < static_cast<std::size_t>(consumed + 1) + std::size_t(width) * height * 3) return -3;
  return engine::ReadSyntheticFrameNumber(pixels, width, height, std::size_t(width) * 3, true);
}

std::string DecodedSound(const std::string& file) {
  return Shell("ffmpeg -v error -i '" + file + "' -map 0:a -f s16le -");
}

namespace {

std::int16_t Sample(const std::string& pcm, std::size_t at) {
  return static_cast<std::int16_t>((pcm[at] & 0xFF) | pcm[at + 1] << 8);
}

}  // namespace

double SignalToNoise(const std::string& original, const std::string& decoded) {
  double signal = 0, noise = 0;
  for (std::size_t i = 0; i + 1 < std::min(original.size(), decoded.size()); i += 2) {
    const double a = Sample(original, i), b = Sample(decoded, i);
    signal += a * a;
    noise += (a - b) * (a - b);
  }
  return 10 * std::log10(signal / std::max(noise, 1.0));
}

// Rises through a band around zero are counted, so that neither silence
// before and after the tone (a coder's delay, its padding) nor noise counts.
double ToneOf(const std::string& pcm, int channel, unsigned rate) {
  constexpr int kBand = 1000;
  std::int64_t first = -1, last = -1, rises = 0;
  bool low = false;
  for (std::size_t at = 2 * channel, frame = 0; at + 1 < pcm.size(); at += 4, ++frame) {
    const int v = Sample(pcm, at);
    if (v < -kBand) low = true;
    if (v <= kBand || !low) continue;
    low = false;
    if (first < 0) first = static_cast<std::int64_t>(frame);
    last = static_cast<std::int64_t>(frame);
    ++rises;
  }
  return last > first ? (rises - 1) * static_cast<double>(rate) / static_cast<double>(last - first) : 0;
}

void SyntheticWorld::AddCodecs() {
  engine::CaptureSystem().AddBackend(engine::MakeCodecBackend());
  engine::CaptureSystem().AddBackend(engine::MakeAudioCodecBackend());
}

SyntheticWorld::~SyntheticWorld() {
  FinalizeVideoDevices();
  engine::InstallCaptureSystem(std::make_unique<engine::TCaptureSystem>());
  if (hadAlsaConfig_) setenv("ALSA_CONFIG_PATH", savedAlsaConfig_.c_str(), 1);
  else unsetenv("ALSA_CONFIG_PATH");
}

void SyntheticWorld::StepFrames(int frames, int fps) {
  clock_->Advance(frames * ((engine::kUnitsPerSecond + fps - 1) / fps));
}

Watched::Watched() : vc(std::make_unique<TVideoCapture>()) {
  vc->AutoStartPreview = false;
  vc->OnErrorLog = [this](TVideoCapture*, int code, const std::string& text) {
    errors.push_back(std::to_string(code) + " " + text);
  };
  vc->OnPreviewStarted = [this](TVideoCapture*) { events.push_back("PreviewStarted"); };
  vc->OnChangeVideoDevice = [this](TVideoCapture*) { events.push_back("ChangeVideoDevice"); };
  vc->OnDeviceLost = [this](TVideoCapture*) { events.push_back("DeviceLost"); };
  vc->OnNoVideoDevices = [this](TVideoCapture*) { events.push_back("NoVideoDevices"); };
}

void Watched::Tick() {
  // The manager's first tick hooks device changes; later ones tick components.
  for (int i = 0; i < 3 && !vc->Initialized(); ++i)
    if (auto* manager = DevicesManager()) manager->Tick();
}

}  // namespace capture_test
