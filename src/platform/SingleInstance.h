#pragma once

#include <filesystem>
#include <functional>
#include <memory>

namespace platform {

// One running program per home folder. The first program takes a lock file in
// the home and listens on a local socket next to it; a later program started
// on the same home finds the lock taken, asks the running one over the socket
// to show itself, and ends. The lock goes with the process, so a crash never
// leaves a home that cannot be opened again.
class TSingleInstance {
 public:
  explicit TSingleInstance(std::filesystem::path home);
  ~TSingleInstance();
  TSingleInstance(const TSingleInstance&) = delete;
  TSingleInstance& operator=(const TSingleInstance&) = delete;

  // True when this process now holds the home. Needs no application object.
  bool Acquire();
  // Starts answering later programs; each request runs OnActivate on the GUI
  // thread. Call after Acquire succeeded, once the application object exists.
  void Listen();
  // Asks the program holding the home to show itself, retrying while it is
  // still starting; true when it confirmed within timeoutMs.
  bool ActivateRunning(int timeoutMs);

  std::function<void()> OnActivate;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
