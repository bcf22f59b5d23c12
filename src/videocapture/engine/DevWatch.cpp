#include "videocapture/engine/DevWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <filesystem>

namespace videocapture::engine {

namespace {

constexpr std::uint32_t kNodeEvents = IN_CREATE | IN_DELETE | IN_ATTRIB;
constexpr std::uint32_t kWayEvents = IN_CREATE | IN_MOVED_TO;
// Folders that come and go while the folder is being reached; past this many
// the watch gives up until the next event.
constexpr int kMaxArmTries = 16;

std::filesystem::path Normal(const std::string& folder) {
  std::filesystem::path path = std::filesystem::path(folder).lexically_normal();
  if (path.filename().empty() && path.has_parent_path() && path != path.root_path()) path = path.parent_path();
  return path;
}

}  // namespace

TDevWatch::TDevWatch(const std::string& folder, std::function<bool(const std::string&)> wanted,
                     std::function<void()> notice)
    : folder_(Normal(folder).string()), wanted_(std::move(wanted)), notice_(std::move(notice)) {
  inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_ < 0) return;
  Arm();
  notifier_ = std::make_unique<QSocketNotifier>(inotify_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Drain(); });
}

TDevWatch::~TDevWatch() {
  notifier_.reset();
  if (inotify_ >= 0) ::close(inotify_);
}

bool TDevWatch::Arm() {
  if (watch_ >= 0) ::inotify_rm_watch(inotify_, watch_);
  watch_ = -1;
  atFolder_ = false;
  awaited_.clear();
  const std::filesystem::path target(folder_);
  for (int tries = 0; tries < kMaxArmTries; ++tries) {
    std::filesystem::path at = target;
    std::string next;
    while (!at.empty()) {
      const bool folder = at == target;
      const int watch = ::inotify_add_watch(inotify_, at.c_str(), folder ? kNodeEvents : kWayEvents);
      if (watch >= 0) {
        watch_ = watch;
        break;
      }
      if ((errno != ENOENT && errno != ENOTDIR) || at == at.parent_path()) return false;
      next = at.filename().string();
      at = at.parent_path();
    }
    if (watch_ < 0) return false;
    if (at == target) {
      atFolder_ = true;
      return HoldsWanted();
    }
    // The way on may have appeared before the watch was in place.
    std::error_code ec;
    if (!std::filesystem::exists(at / next, ec)) {
      awaited_ = next;
      return false;
    }
    ::inotify_rm_watch(inotify_, watch_);
    watch_ = -1;
  }
  return false;
}

bool TDevWatch::HoldsWanted() const {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder_, ec))
    if (wanted_(entry.path().filename().string())) return true;
  return false;
}

void TDevWatch::Drain() {
  alignas(inotify_event) char buffer[4096];
  bool wanted = false, rearm = false;
  for (ssize_t n; (n = ::read(inotify_, buffer, sizeof buffer)) > 0;) {
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      if (e->wd != watch_) continue;
      const std::string name = e->len > 0 ? e->name : "";
      if (e->mask & IN_IGNORED) rearm = true;  // the watched folder went
      else if (atFolder_ && !name.empty() && wanted_(name)) wanted = true;
      else if (!atFolder_ && name == awaited_) rearm = true;
    }
  }
  if (rearm && Arm()) wanted = true;
  // One notice for a burst: a device brings several nodes at once.
  if (wanted && notice_) notice_();
}

}  // namespace videocapture::engine
