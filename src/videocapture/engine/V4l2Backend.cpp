#include "videocapture/engine/V4l2Backend.h"

#include "videocapture/engine/DevWatch.h"

namespace videocapture::engine {

TV4l2Backend::TV4l2Backend(std::shared_ptr<TV4l2Io> io, bool watchDev) : io_(std::move(io)), watchDev_(watchDev) {}

TV4l2Backend::~TV4l2Backend() = default;

std::vector<TDeviceInfo> TV4l2Backend::Enumerate(TCategory category) {
  std::vector<TDeviceInfo> list;
  if (category != TCategory::VideoInput) return list;
  for (const auto& node : io_->ListNodes()) {
    TDeviceInfo info;
    if (ProbeV4l2Node(*io_, node, info)) list.push_back(info);
  }
  return list;
}

std::unique_ptr<TCaptureSource> TV4l2Backend::Open(const std::string& moniker) {
  for (const auto& node : io_->ListNodes()) {
    TDeviceInfo info;
    if (ProbeV4l2Node(*io_, node, info) && info.moniker == moniker) return OpenV4l2Source(io_, node, info);
  }
  return nullptr;
}

void TV4l2Backend::Watch(std::function<void()> notice) {
  if (!watchDev_) return;
  watch_ = std::make_unique<TDevWatch>(
      "/dev", [](const std::string& name) { return name.rfind("video", 0) == 0; }, std::move(notice));
}

std::unique_ptr<TCaptureBackend> MakeV4l2Backend() {
  return std::make_unique<TV4l2Backend>(std::shared_ptr<TV4l2Io>(MakeSystemV4l2Io()), true);
}

}  // namespace videocapture::engine
