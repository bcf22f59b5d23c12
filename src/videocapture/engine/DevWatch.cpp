#include "videocapture/engine/DevWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace videocapture::engine {

TDevWatch::TDevWatch(const std::string& folder, std::function<bool(const std::string&)> wanted,
                     std::function<void()> notice)
    : wanted_(std::move(wanted)), notice_(std::move(notice)) {
  inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_ < 0) return;
  if (::inotify_add_watch(inotify_, folder.c_str(), IN_CREATE | IN_DELETE | IN_ATTRIB) < 0) {
    ::close(inotify_);
    inotify_ = -1;
    return;
  }
  notifier_ = std::make_unique<QSocketNotifier>(inotify_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Drain(); });
}

TDevWatch::~TDevWatch() {
  notifier_.reset();
  if (inotify_ >= 0) ::close(inotify_);
}

void TDevWatch::Drain() {
  alignas(inotify_event) char buffer[4096];
  bool wanted = false;
  for (ssize_t n; (n = ::read(inotify_, buffer, sizeof buffer)) > 0;) {
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      if (e->len > 0 && wanted_(e->name)) wanted = true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
  }
  // One notice for a burst: a device brings several nodes at once.
  if (wanted && notice_) notice_();
}

}  // namespace videocapture::engine
