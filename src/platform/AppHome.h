#pragma once

#include <filesystem>

namespace platform {

// The one folder that holds everything a Parlo installation keeps for its user:
// data files, received files, sounds, pictures, the error log and the settings.
// $PARLO_HOME wins when set; otherwise the user's XDG data folder ("parlo" inside it).
// Two programs with different homes run side by side without touching each other.
std::filesystem::path AppHome();

// True unless $PARLO_HOME names a folder other than the one used without it.
bool AppHomeIsDefault();

// AppHome() as one absolute name, however $PARLO_HOME writes it.
std::filesystem::path AppHomeFolder();

// AppHome() after making sure the folder exists.
std::filesystem::path EnsureAppHome();

}  // namespace platform
