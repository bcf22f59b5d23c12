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
  // `wanted` picks the node names that count. A folder that does not exist
  // (/dev/snd before the first sound card) is waited for: the nodes it holds
  // once it appears count as arrivals, and when it goes it is waited for again.
  TDevWatch(const std::string& folder, std::function<bool(const std::string& name)> wanted,
            std::function<void()> notice);
  ~TDevWatch();
  TDevWatch(const TDevWatch&) = delete;
  TDevWatch& operator=(const TDevWatch&) = delete;

 private:
  // Watches the folder, or else the nearest folder above it that exists, for
  // the next part of the way; true when the folder is watched and already
  // holds nodes that count.
  bool Arm();
  bool HoldsWanted() const;
  void Drain();

  std::string folder_;
  int inotify_ = -1;
  int watch_ = -1;
  bool atFolder_ = false;
  std::string awaited_;  // while not at the folder: the name that leads there
  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<bool(const std::string&)> wanted_;
  std::function<void()> notice_;
};

}  // namespace videocapture::engine
