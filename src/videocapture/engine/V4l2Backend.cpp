#include "videocapture/engine/V4l2Backend.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace videocapture::engine {

TV4l2Backend::TV4l2Backend(std::shared_ptr<TV4l2Io> io, bool watchDev) : io_(std::move(io)), watchDev_(watchDev) {}

TV4l2Backend::~TV4l2Backend() {
  notifier_.reset();
  if (inotify_ >= 0) ::close(inotify_);
}

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
  notice_ = std::move(notice);
  if (!watchDev_ || inotify_ >= 0) return;
  inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_ < 0) return;
  // A new node first appears owned by root; the camera is usable once its
  // permissions change, so attribute changes count as well.
  if (::inotify_add_watch(inotify_, "/dev", IN_CREATE | IN_DELETE | IN_ATTRIB) < 0) {
    ::close(inotify_);
    inotify_ = -1;
    return;
  }
  notifier_ = std::make_unique<QSocketNotifier>(inotify_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
    alignas(inotify_event) char buffer[4096];
    bool video = false;
    for (ssize_t n; (n = ::read(inotify_, buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
        if (e->len > 0 && std::string(e->name).rfind("video", 0) == 0) video = true;
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
    if (video && notice_) notice_();
  });
}

std::unique_ptr<TCaptureBackend> MakeV4l2Backend() {
  return std::make_unique<TV4l2Backend>(std::shared_ptr<TV4l2Io>(MakeSystemV4l2Io()), true);
}

}  // namespace videocapture::engine
