#include "videocapture/RegKey.h"

#include <cstdio>

#include "platform/StringList.h"
#include "platform/Strings.h"

namespace {

std::string ValueName(const char* prefix, int index) {
  char name[16];
  std::snprintf(name, sizeof name, "%s%.3u", prefix, static_cast<unsigned>(index));
  return name;
}

void ReadList(platform::TRegistry& key, const char* prefix, TStringList& list) {
  for (int i = 0;; ++i) {
    const std::string name = ValueName(prefix, i);
    if (!key.ValueExists(name) || key.GetDataType(name) != platform::RegDataType::String) return;
    const std::string value = key.ReadString(name);
    if (value.empty()) return;
    list.Add(value);
  }
}

// Values past the new end would be read back as part of the list.
void WriteList(platform::TRegistry& key, const char* prefix, const TStringList& list) {
  for (int i = 0; i < list.Count(); ++i) key.WriteString(ValueName(prefix, i), list[i]);
  for (int i = list.Count(); key.DeleteValue(ValueName(prefix, i)); ++i) {
  }
}

std::unique_ptr<TRegKey>& Instance() {
  static std::unique_ptr<TRegKey> key;
  return key;
}

}  // namespace

TRegKey::TRegKey(const std::string& keyPath) : path_(keyPath) {
  user_ = std::make_unique<platform::TRegistry>(platform::RegRoot::CurrentUser);
  try {
    userFailed_ = !user_->OpenKey(path_, true);
  } catch (const platform::Exception&) {
    userFailed_ = true;
  }
  machine_ = std::make_unique<platform::TRegistry>(platform::RegRoot::LocalMachine);
  const std::string probe = path_ + "vcaptest";
  try {
    if (machine_->OpenKey(path_, true)) {
      // Writing is proven by making and removing a scratch key.
      machine_->DeleteKey(probe);
      platform::TRegistry scratch(platform::RegRoot::LocalMachine);
      if (scratch.OpenKey(probe, true)) machineWritable_ = machine_->DeleteKey(probe);
    }
  } catch (const platform::Exception&) {
    machineWritable_ = false;
  }
  // Made in the user's settings when the machine's cannot be written (they
  // take what the machine's refuse), the scratch key must not stay there.
  try {
    platform::TRegistry(platform::RegRoot::CurrentUser).DeleteKey(probe);
  } catch (const platform::Exception&) {
  }
  if (!machineWritable_) machine_.reset();
  key_ = machine_ ? machine_.get() : user_.get();
}

TRegKey::~TRegKey() = default;

std::string TRegKey::DeviceKey(const std::string& registryName) const { return path_ + "Devices\\" + registryName; }

bool TRegKey::LoadDeviceLists(const std::string& registryName, TStringList& sizes, TStringList& subTypes) {
  try {
    if (!key_->OpenKey(DeviceKey(registryName), false)) return false;
    sizes.Clear();
    subTypes.Clear();
    ReadList(*key_, "FMT", sizes);
    ReadList(*key_, "SBT", subTypes);
    key_->CloseKey();
  } catch (const platform::Exception&) {
    return false;
  }
  return sizes.Count() > 0 && subTypes.Count() > 0;
}

void TRegKey::StoreDeviceLists(const std::string& registryName, const TStringList& sizes,
                               const TStringList& subTypes) {
  try {
    if (!key_->OpenKey(DeviceKey(registryName), true)) return;
    WriteList(*key_, "FMT", sizes);
    WriteList(*key_, "SBT", subTypes);
    key_->CloseKey();
  } catch (const platform::Exception&) {
    // A cache that cannot be written only costs a discovery next time.
  }
}

void TRegKey::LoadFineTuning(const std::string& table, std::map<int, long>& offsets) {
  offsets.clear();
  try {
    if (!key_->OpenKey(path_ + "TVTuner\\" + table, false)) return;
    for (const std::string& name : key_->GetValueNames()) {
      int channel;
      if (name.size() > 2 && platform::SameText(name.substr(0, 2), "CH") &&
          platform::TryStrToInt(name.substr(2), channel) && key_->GetDataType(name) == platform::RegDataType::Integer)
        offsets[channel] = key_->ReadInteger(name);
    }
    key_->CloseKey();
  } catch (const platform::Exception&) {
    offsets.clear();  // a table that cannot be read tunes as the plan says
  }
}

bool TRegKey::StoreFineTuning(const std::string& table, const std::map<int, long>& offsets) {
  const std::string path = path_ + "TVTuner\\" + table;
  try {
    key_->DeleteKey(path);
    if (!key_->OpenKey(path, true)) return false;
    for (const auto& [channel, offset] : offsets)
      key_->WriteInteger("CH" + std::to_string(channel), static_cast<std::int32_t>(offset));
    key_->CloseKey();
    return true;
  } catch (const platform::Exception&) {
    return false;
  }
}

TRegKey* VideoCaptureRegKey() { return Instance().get(); }

void CreateVideoCaptureRegKey() {
  if (!Instance()) Instance() = std::make_unique<TRegKey>("\\Software\\VideoCapture\\");
}

void FreeVideoCaptureRegKey() { Instance().reset(); }
