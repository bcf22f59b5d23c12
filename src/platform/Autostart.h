#pragma once

#include <filesystem>
#include <string>

namespace platform {

// Starting a program with the user's desktop session: an autostart entry in
// $XDG_CONFIG_HOME/autostart (~/.config/autostart when unset), named
// <id>.desktop. The entry runs `program` with no arguments, and with
// $PARLO_HOME set to `home` when one is given.
std::filesystem::path AutostartFile(const std::string& id);
// Every home has an entry of its own, so that one home's choice neither
// replaces nor removes another's: `base` for the default home (`home` empty),
// `base`-<folder>-<hash of the whole name> for any other.
std::string AutostartId(const std::string& base, const std::filesystem::path& home);
// True when the entry exists and starts `home` (the default home when empty),
// whatever program file it names.
bool AutostartStarts(const std::string& id, const std::filesystem::path& home);
// Writes (on) or removes (off) the entry; raises platform::EStreamError when the
// entry cannot be written. Removing an absent entry is no error.
void SetAutostart(const std::string& id, const std::string& name, const std::filesystem::path& program, bool on,
                  const std::filesystem::path& home = {});

// The running program file: for entries that must start it again, and to
// find what was installed beside it.
std::filesystem::path ProgramFile();

}  // namespace platform
