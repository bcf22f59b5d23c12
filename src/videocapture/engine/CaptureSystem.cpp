#include "videocapture/engine/CaptureSystem.h"

#include <cstdlib>

#include "platform/Strings.h"
#include "videocapture/engine/AlsaBackend.h"
#include "videocapture/engine/AudioCodec.h"
#include "videocapture/engine/DvSource.h"
#include "videocapture/engine/SyntheticCamera.h"
#include "videocapture/engine/V4l2Backend.h"
#include "videocapture/engine/VideoCodec.h"

namespace videocapture::engine {

void TCaptureSystem::AddBackend(std::unique_ptr<TCaptureBackend> backend) {
  backend->Watch([this] {
    if (changed_) changed_();
  });
  backends_.push_back(std::move(backend));
}

std::vector<TDeviceInfo> TCaptureSystem::Enumerate(TCategory category) {
  std::vector<TDeviceInfo> all;
  for (auto& b : backends_) {
    auto some = b->Enumerate(category);
    all.insert(all.end(), some.begin(), some.end());
  }
  return all;
}

std::unique_ptr<TCaptureSource> TCaptureSystem::Open(const std::string& moniker) {
  for (auto& b : backends_)
    if (auto source = b->Open(moniker)) return source;
  return nullptr;
}

bool TCaptureSystem::CanBind(TCategory category, const std::string& moniker) {
  for (auto& b : backends_)
    if (b->CanBind(category, moniker)) return true;
  return false;
}

std::unique_ptr<TAudioSource> TCaptureBackend::OpenAudio(const std::string&) { return nullptr; }

std::unique_ptr<TVideoEncoder> TCaptureBackend::OpenVideoEncoder(const std::string&, double) { return nullptr; }

std::unique_ptr<TAudioEncoder> TCaptureBackend::OpenAudioEncoder(const std::string&) { return nullptr; }

std::unique_ptr<TAudioEncoder> TCaptureSystem::OpenAudioEncoder(const std::string& moniker) {
  for (auto& b : backends_)
    if (auto encoder = b->OpenAudioEncoder(moniker)) return encoder;
  return nullptr;
}

std::unique_ptr<TAudioSource> TCaptureSystem::OpenAudio(const std::string& moniker) {
  for (auto& b : backends_)
    if (auto source = b->OpenAudio(moniker)) return source;
  return nullptr;
}

std::unique_ptr<TVideoEncoder> TCaptureSystem::OpenVideoEncoder(const std::string& moniker, double quality) {
  for (auto& b : backends_)
    if (auto encoder = b->OpenVideoEncoder(moniker, quality)) return encoder;
  return nullptr;
}

std::shared_ptr<TSyntheticClock> TCaptureSystem::Clock() {
  if (!clock_) clock_ = TSyntheticClock::Real();
  return clock_;
}

void TCaptureSystem::SetChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }

namespace {

std::unique_ptr<TCaptureSystem>& Installed() {
  static std::unique_ptr<TCaptureSystem> system;
  return system;
}

std::unique_ptr<TCaptureSystem> MakeDefaultSystem() {
  auto system = std::make_unique<TCaptureSystem>();
  system->AddBackend(MakeV4l2Backend());
  system->AddBackend(MakeDvBackend(MakeSystemIeee1394Bus()));
  system->AddBackend(MakeAlsaBackend());
  system->AddBackend(MakeCodecBackend());
  system->AddBackend(MakeAudioCodecBackend());
  const char* wanted = std::getenv("PARLO_SYNTHETIC_CAMERA");
  int cameras = wanted ? platform::StrToIntDef(wanted, 0) : 0;
  if (cameras > 4) cameras = 4;
  if (cameras > 0) {
    auto synthetic = std::make_unique<TSyntheticBackend>();
    for (int i = 0; i < cameras; ++i)
      synthetic->AddCamera(TSyntheticCamera::StandardScript(i == 0 ? "Synthetic Camera"
                                                                   : "Synthetic Camera " + std::to_string(i + 1)));
    synthetic->AddEntry(TCategory::AudioInput, "Synthetic Microphone");
    system->AddBackend(std::move(synthetic));
  }
  return system;
}

}  // namespace

TCaptureSystem& CaptureSystem() {
  auto& system = Installed();
  if (!system) system = MakeDefaultSystem();
  return *system;
}

void InstallCaptureSystem(std::unique_ptr<TCaptureSystem> system) { Installed() = std::move(system); }

}  // namespace videocapture::engine
