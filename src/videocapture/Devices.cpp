#include "videocapture/Devices.h"

#include <QCoreApplication>
#include <algorithm>

#include "platform/EventLoop.h"
#include "platform/Strings.h"
#include "videocapture/RegKey.h"
#include "videocapture/VideoCapture.h"
#include "videocapture/engine/CaptureSystem.h"

namespace engine = videocapture::engine;

namespace {

// The part of a moniker between its n-th and (n+1)-th "#"; empty when it has fewer.
std::string MonikerField(const std::string& moniker, int n) {
  std::size_t start = 0;
  for (int i = 0; i < n; ++i) {
    start = moniker.find('#', start);
    if (start == std::string::npos) return {};
    ++start;
  }
  const std::size_t end = moniker.find('#', start);
  if (end == std::string::npos) return {};
  return moniker.substr(start, end - start);
}

bool Excluded(const std::string& exclusionList, const std::string& friendlyName) {
  const std::string upper = platform::UpperCase(friendlyName);
  std::size_t start = 0;
  while (start <= exclusionList.size()) {
    std::size_t end = exclusionList.find('!', start);
    if (end == std::string::npos) end = exclusionList.size();
    const std::string fragment = exclusionList.substr(start, end - start);
    if (!fragment.empty() && upper.find(fragment) != std::string::npos) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

TDevices::TDevices(std::string name, std::string exclusionList, engine::TCategory category)
    : name_(std::move(name)), category_(category), exclusionList_(std::move(exclusionList)) {
  Enumerate();
}

void TDevices::Enumerate() {
  if (previousMonikerCount_ != -1) previousMonikerCount_ = monikerCount_;
  monikerCount_ = 0;
  for (const engine::TDeviceInfo& info : engine::CaptureSystem().Enumerate(category_)) {
    ++monikerCount_;
    if (info.friendlyName.empty()) continue;
    const bool listed = std::any_of(records_.begin(), records_.end(),
                                    [&](const auto& r) { return r->Moniker == info.moniker; });
    if (listed || Excluded(exclusionList_, info.friendlyName)) continue;
    auto record = std::make_unique<TDeviceRecord>();
    record->Moniker = info.moniker;
    record->DisplayName = info.friendlyName;
    if (info.driver == engine::TDriverKind::Legacy) record->DisplayName += " (vfw)";
    if (info.driver == engine::TDriverKind::KernelStreaming) record->DisplayName += " (WDM)";
    record->IsWDM = info.driver == engine::TDriverKind::KernelStreaming || info.liveSettings;
    const bool global = info.moniker.find("\\GLOBAL") != std::string::npos;
    if (!global) {
      record->DeviceId = platform::StringReplace(platform::UpperCase(MonikerField(info.moniker, 1)), "&", " ");
      record->InstanceId = MonikerField(info.moniker, 2);
      if (record->DeviceId.empty()) record->DeviceId = info.friendlyName;
    }
    // Camcorders of one make share a friendly name; their identifier tells them apart.
    if (info.friendlyName.rfind("Microsoft DV Camera", 0) == 0 && !record->DeviceId.empty())
      record->DisplayName = record->DeviceId;
    record->RegistryName = platform::StringReplace(info.moniker, "\\", " ");
    records_.push_back(std::move(record));
  }
  names_.Clear();
  for (const auto& r : records_) names_.Add(r->DisplayName);
  if (previousMonikerCount_ == -1) previousMonikerCount_ = monikerCount_;
  change_ = monikerCount_ < previousMonikerCount_   ? dc_Removed
            : monikerCount_ > previousMonikerCount_ ? dc_Arrived
                                                    : dc_None;
}

std::string TDevices::DisplayName(int index) const {
  if (index < 0 || index >= Count() || index > 255) return {};
  return records_[static_cast<std::size_t>(index)]->DisplayName;
}

// ---------------------------------------------------------------- manager

TDevicesManager::TDevicesManager() : clock_(platform::TickCount) {
  timer_.SetEnabled(false);
  timer_.SetInterval(100);
  timer_.OnTimer = [this](TTimer*) { Tick(); };
}

void TDevicesManager::Add(TVideoCapture* grabber) { grabbers_.push_back(grabber); }

void TDevicesManager::Remove(TVideoCapture* grabber) { std::erase(grabbers_, grabber); }

void TDevicesManager::DeviceChangeNotice() { rescanDue_ = clock_() + 1000; }

void TDevicesManager::Tick() {
  if (!firstTickDone_) FirstTick();
  else RegularTick();
}

void TDevicesManager::FirstTick() {
  timer_.SetEnabled(false);
  firstTickDone_ = true;
  // Our own grabber is always there, so the check for it cannot fail; the
  // event stays for callers that handle it.
  engine::CaptureSystem().SetChangeHandler([this] { DeviceChangeNotice(); });
  timer_.SetEnabled(true);
}

void TDevicesManager::RegularTick() {
  if (ticking_) return;
  ticking_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{ticking_};
  // A copy: a tick may free a component, which leaves the list.
  const std::vector<TVideoCapture*> grabbers = grabbers_;
  bool allInitialized = true;
  for (TVideoCapture* g : grabbers) {
    if (std::find(grabbers_.begin(), grabbers_.end(), g) == grabbers_.end()) continue;
    g->TickHandler();
    if (std::find(grabbers_.begin(), grabbers_.end(), g) != grabbers_.end() && !g->Initialized())
      allInitialized = false;
  }
  if (rescanDue_ != 0 && allInitialized && clock_() > rescanDue_) {
    for (TVideoCapture* g : std::vector<TVideoCapture*>(grabbers_))
      if (std::find(grabbers_.begin(), grabbers_.end(), g) != grabbers_.end()) g->TickHandler();
    rescanDue_ = 0;
    TDevices* video = VideoDeviceList();
    TDevices* audio = AudioDeviceList();
    if (!video || !audio) return;
    video->Enumerate();
    audio->Enumerate();
    const bool arrived = video->Change() == dc_Arrived || audio->Change() == dc_Arrived;
    const bool removed = video->Change() == dc_Removed || audio->Change() == dc_Removed;
    video->ResetChange();
    audio->ResetChange();
    for (TVideoCapture* g : std::vector<TVideoCapture*>(grabbers_))
      if (arrived && std::find(grabbers_.begin(), grabbers_.end(), g) != grabbers_.end() && g->OnDeviceArrival)
        g->OnDeviceArrival(g);
    for (TVideoCapture* g : std::vector<TVideoCapture*>(grabbers_))
      if (removed && std::find(grabbers_.begin(), grabbers_.end(), g) != grabbers_.end() && g->OnDeviceRemoval)
        g->OnDeviceRemoval(g);
  }
}

// ---------------------------------------------------------------- process-wide

namespace {

struct Shared {
  std::unique_ptr<TDevicesManager> manager;
  std::unique_ptr<TDevices> audio, video, videoCompressors, audioCompressors;
};

Shared& Lists() {
  static Shared shared;
  return shared;
}

}  // namespace

TDevices* AudioDeviceList() { return Lists().audio.get(); }
TDevices* VideoDeviceList() { return Lists().video.get(); }
TDevices* VideoCompressorList() { return Lists().videoCompressors.get(); }
TDevices* AudioCompressorList() { return Lists().audioCompressors.get(); }
TDevicesManager* DevicesManager() { return Lists().manager.get(); }

void InitializeVideoDevices() {
  CreateVideoCaptureRegKey();
  Shared& s = Lists();
  if (s.manager) return;
  s.manager = std::make_unique<TDevicesManager>();
  s.audio = std::make_unique<TDevices>("Audio Device", "", engine::TCategory::AudioInput);
  s.video = std::make_unique<TDevices>("Video Device", "", engine::TCategory::VideoInput);
  s.videoCompressors = std::make_unique<TDevices>(
      "Video Compressor", "ENCODER DMO!XLDECOMPRESS!MICROSOFT H.261!MICROSOFT H.263!PCLEPIM1",
      engine::TCategory::VideoCompressor);
  s.audioCompressors = std::make_unique<TDevices>(
      "Audio Compressor", "ENCODER DMO!IAC2!ACELP.NET!WINDOWS MEDIA AUDIO V1!VOXWARE",
      engine::TCategory::AudioCompressor);
  s.manager->Timer().SetEnabled(true);
  // The timer and its Qt object must go before the application object does.
  qAddPostRoutine(FinalizeVideoDevices);
}

void FinalizeVideoDevices() {
  Shared& s = Lists();
  if (s.manager) engine::CaptureSystem().SetChangeHandler(nullptr);
  s.manager.reset();
  s.audio.reset();
  s.video.reset();
  s.videoCompressors.reset();
  s.audioCompressors.reset();
  FreeVideoCaptureRegKey();
}
