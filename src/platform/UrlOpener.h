#pragma once

#include <string>

// The desktop's opener for web pages and folders. No shell takes part and
// nothing is ever run: only web and mail addresses are handed on, and a folder
// opens in the file manager.
namespace platform {

// An "http:", "https:" or "mailto:" address, shown by the user's browser or
// mail program. False when the address is of another kind or no opener took it.
bool OpenUrl(const std::string& address);

// A folder (8-bit name) in the desktop's file manager. False when it is no
// folder or no file manager took it.
bool ShowFolder(const std::string& folder);

}  // namespace platform
