#pragma once

#include <filesystem>
#include <string>

namespace platform {

// Starting a program with the user's desktop session: an autostart entry in
// $XDG_CONFIG_HOME/autostart (~/.config/autostart when unset), named
// <id>.desktop. The entry runs `program` with no arguments, and with
// $PARLO_HOME set to `home` when one is given.
std::filesystem::path AutostartFile(const std::string& id);
// Writes (on) or removes (off) the entry; raises platform::EStreamError when the
// entry cannot be written. Removing an absent entry is no error.
void SetAutostart(const std::string& id, const std::string& name, const std::filesystem::path& program, bool on,
                  const std::filesystem::path& home = {});

// The running program file, for entries that must start it again.
std::filesystem::path ProgramFile();

}  // namespace platform
