#pragma once

#include <functional>
#include <string>

// The desktop's opener for web pages and folders. No shell reads the address
// and nothing downloaded is ever run: only web and mail addresses and folders
// are handed on, as one argument of the desktop's opener program.
namespace platform {

// Whether the desktop took the address: called once, later, from the event
// loop. An opener still busy after a few seconds (a browser started in the
// foreground) counts as having taken it.
using TOpenDone = std::function<void(bool opened)>;

// An "http:", "https:", "ftp:" or "mailto:" address for the user's browser or mail
// program. An address of another kind is refused.
void OpenUrl(const std::string& address, TOpenDone done);

// Whether a folder was shown: "" once it was, else why not in a few words for
// the user (no file manager found, the file manager's failure ...).
using TShowFolderDone = std::function<void(const std::string& failure)>;

// A folder (8-bit name) in the desktop's file manager.
void ShowFolder(const std::string& folder, TShowFolderDone done);

}  // namespace platform
