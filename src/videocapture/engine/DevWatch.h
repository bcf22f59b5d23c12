#pragma once

// Follows a folder of device nodes (/dev, /dev/snd) and tells, on the GUI
// thread, when a node of interest appears, goes, or changes its permissions:
// a new node first belongs to root, and the device is usable only once they
// change.

#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace videocapture::engine {

class TDevWatch {
 public:
  // `wanted` picks the node names that count. Watching nothing (a folder
  // that does not exist) is no error: there is simply never a notice.
  TDevWatch(const std::string& folder, std::function<bool(const std::string& name)> wanted,
            std::function<void()> notice);
  ~TDevWatch();
  TDevWatch(const TDevWatch&) = delete;
  TDevWatch& operator=(const TDevWatch&) = delete;

 private:
  void Drain();

  int inotify_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<bool(const std::string&)> wanted_;
  std::function<void()> notice_;
};

}  // namespace videocapture::engine
