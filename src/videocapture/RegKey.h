#pragma once

// The settings the capture component keeps across runs: each device's list of
// video sizes and sub-types, so that the slow format discovery runs once per
// device and machine, and the fine tuning that TV auto-tuning found. The
// cache lives with the installation's settings when they can be written,
// otherwise with the user's.

#include <map>
#include <memory>
#include <string>

#include "platform/Registry.h"

class TStringList;

class TRegKey {
 public:
  explicit TRegKey(const std::string& keyPath);
  ~TRegKey();
  TRegKey(const TRegKey&) = delete;
  TRegKey& operator=(const TRegKey&) = delete;

  // Fills both lists from the device's key; false when the key is missing or
  // either list would be empty (the formats are then discovered again).
  bool LoadDeviceLists(const std::string& registryName, TStringList& sizes, TStringList& subTypes);
  void StoreDeviceLists(const std::string& registryName, const TStringList& sizes, const TStringList& subTypes);
  // A tuner's fine tuning, Hz per channel, under the name of its table
  // (values "CH<channel>" of the key "TVTuner\<table>"). Storing replaces
  // the whole table; false when it could not be written.
  void LoadFineTuning(const std::string& table, std::map<int, long>& offsets);
  bool StoreFineTuning(const std::string& table, const std::map<int, long>& offsets);

  bool MachineWritable() const { return machineWritable_; }
  bool UserFailed() const { return userFailed_; }
  platform::RegRoot Root() const { return key_->Root(); }

 private:
  std::string DeviceKey(const std::string& registryName) const;

  std::string path_;
  std::unique_ptr<platform::TRegistry> machine_;  // null when the machine root is not writable
  std::unique_ptr<platform::TRegistry> user_;
  platform::TRegistry* key_ = nullptr;
  bool machineWritable_ = false;
  bool userFailed_ = false;
};

// The process's cache, made by the first component ("\Software\VideoCapture\").
TRegKey* VideoCaptureRegKey();
void CreateVideoCaptureRegKey();
void FreeVideoCaptureRegKey();
