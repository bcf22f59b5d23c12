#pragma once

// The process-wide device lists (video and audio capture devices, video and
// audio compressors) shared by every capture component, and the manager that
// ticks every component every 100 ms and re-reads the capture devices about a
// second after the system last reported a change.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/StringList.h"
#include "platform/Timer.h"
#include "videocapture/engine/CaptureDevice.h"

class TVideoCapture;

struct TDeviceRecord {
  std::string RegistryName;  // the moniker with each "\" made a blank: the device's settings key
  std::string DisplayName;
  bool IsWDM = false;  // settings from the device dialog apply while it streams
  std::string Moniker;
  std::string DeviceId;
  std::string InstanceId;
  // Filled when a graph is first built for the device, then kept.
  std::unique_ptr<TStringList> Sizes;
  std::unique_ptr<TStringList> SubTypes;
};

enum TDeviceChange { dc_None = 0, dc_Arrived = 1, dc_Removed = 2 };

class TDevices {
 public:
  // Enumerates at once. The exclusion list holds "!"-separated upper-case
  // fragments of names that are not listed.
  TDevices(std::string name, std::string exclusionList, videocapture::engine::TCategory category);

  // Adds the devices that are new since the last enumeration; a device that
  // has gone keeps its entry, so every index held elsewhere stays valid.
  void Enumerate();

  const std::string& Name() const { return name_; }
  int Count() const { return static_cast<int>(records_.size()); }
  TDeviceRecord& Record(int index) { return *records_.at(static_cast<std::size_t>(index)); }
  // The display names, each followed by CR LF.
  std::string NamesText() const { return names_.Text(); }
  // Empty when the index is outside 0 .. Count-1 or above 255.
  std::string DisplayName(int index) const;
  TDeviceChange Change() const { return change_; }
  void ResetChange() { change_ = dc_None; }
  int MonikerCount() const { return monikerCount_; }

 private:
  std::string name_;
  videocapture::engine::TCategory category_;
  std::vector<std::unique_ptr<TDeviceRecord>> records_;
  TStringList names_;
  int monikerCount_ = 0;
  int previousMonikerCount_ = -1;
  TDeviceChange change_ = dc_None;
  std::string exclusionList_;
};

class TDevicesManager {
 public:
  TDevicesManager();

  void Add(TVideoCapture* grabber);
  void Remove(TVideoCapture* grabber);
  const std::vector<TVideoCapture*>& Grabbers() const { return grabbers_; }

  // What the timer runs: the first tick once, then the regular tick.
  void Tick();
  // A device came or went: re-read the lists a second after the last notice.
  void DeviceChangeNotice();
  std::int64_t RescanDue() const { return rescanDue_; }

  // Milliseconds; tests put a clock of their own in place of the tick count.
  void SetClock(std::function<std::int64_t()> clock) { clock_ = std::move(clock); }
  TTimer& Timer() { return timer_; }

 private:
  void FirstTick();
  void RegularTick();

  std::int64_t rescanDue_ = 0;
  TTimer timer_;
  std::vector<TVideoCapture*> grabbers_;
  bool firstTickDone_ = false;
  bool ticking_ = false;
  std::function<std::int64_t()> clock_;
};

// The shared lists and the manager, made by the first component and freed
// when the application object goes (or by FinalizeVideoDevices).
TDevices* AudioDeviceList();
TDevices* VideoDeviceList();
TDevices* VideoCompressorList();
TDevices* AudioCompressorList();
TDevicesManager* DevicesManager();
void InitializeVideoDevices();
// Frees the lists, the manager and the settings cache. Components still alive
// keep working without lists (they see no devices).
void FinalizeVideoDevices();
