#include "core/session/Reg.h"

#include "core/session/ErrorLog.h"
#include "platform/AppHome.h"
#include "platform/Autostart.h"
#include "platform/Registry.h"

namespace {

constexpr const char* kApplicationTitle = "Parlo";
constexpr const char* kAutostartId = "parlo";

template <class Read, class T>
T ReadValue(const std::string& section, const std::string& name, T def, Read read) {
  try {
    platform::TRegistry reg(platform::RegRoot::CurrentUser);
    reg.OpenKey(TReg::KeyPath() + section, false);
    if (reg.HasCurrentKey() && reg.ValueExists(name)) return read(reg);
  } catch (const platform::Exception& e) {
    LogError("None", "None", "Setting " + section + "\\" + name + ": " + e.what() + "; the default is used");
  }
  return def;
}

template <class Write>
void WriteValue(const std::string& section, Write write) {
  platform::TRegistry reg(platform::RegRoot::CurrentUser);
  reg.OpenKey(TReg::KeyPath() + section, true);
  write(reg);
}

}  // namespace

std::string TReg::KeyPath() { return std::string("\\Software\\Vantorel\\") + kApplicationTitle + "\\"; }

std::string TReg::ReadString(const std::string& section, const std::string& name, const std::string& def) {
  return ReadValue(section, name, def, [&](const platform::TRegistry& reg) { return reg.ReadString(name); });
}

int TReg::ReadInteger(const std::string& section, const std::string& name, int def) {
  return ReadValue(section, name, def, [&](const platform::TRegistry& reg) { return int{reg.ReadInteger(name)}; });
}

bool TReg::ReadBool(const std::string& section, const std::string& name, bool def) {
  return ReadValue(section, name, def, [&](const platform::TRegistry& reg) { return reg.ReadBool(name); });
}

void TReg::WriteString(const std::string& section, const std::string& name, const std::string& value) {
  WriteValue(section, [&](platform::TRegistry& reg) { reg.WriteString(name, value); });
}

void TReg::WriteInteger(const std::string& section, const std::string& name, int value) {
  WriteValue(section, [&](platform::TRegistry& reg) { reg.WriteInteger(name, value); });
}

void TReg::WriteBool(const std::string& section, const std::string& name, bool value) {
  WriteValue(section, [&](platform::TRegistry& reg) { reg.WriteBool(name, value); });
}

const TSettingDefault& TReg::SettingDefault(const std::string& name) {
  for (const auto& setting : SettingDefaults)
    if (name == setting.Name) return setting;
  throw platform::Exception("No setting named \"" + name + "\"");
}

std::string TReg::ReadSettingString(const std::string& name) {
  return ReadString(SettingsSection, name, SettingDefault(name).Value);
}

int TReg::ReadSettingInteger(const std::string& name) {
  return ReadInteger(SettingsSection, name, std::stoi(SettingDefault(name).Value));
}

bool TReg::ReadSettingBool(const std::string& name) {
  return ReadBool(SettingsSection, name, SettingDefault(name).Value[0] == '1');
}

namespace {

// Started from its entry, the program must find the home it was set up in;
// the default home's entry names none, so that it follows $XDG_DATA_HOME.
std::filesystem::path StartedHome() {
  return platform::AppHomeIsDefault() ? std::filesystem::path() : platform::AppHomeFolder();
}

}  // namespace

void TReg::SetRunAtStartup(bool on) {
  const std::filesystem::path home = StartedHome();
  const std::string name =
      home.empty() ? kApplicationTitle : std::string(kApplicationTitle) + " (" + home.filename().string() + ")";
  platform::SetAutostart(platform::AutostartId(kAutostartId, home), name, platform::ProgramFile(), on, home);
}

bool TReg::RunsAtStartup() {
  const std::filesystem::path home = StartedHome();
  return platform::AutostartStarts(platform::AutostartId(kAutostartId, home), home);
}
