#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/session/ProgramVersion.h"
#include "platform/Signal.h"

namespace platform {
class IniStore;
}

class TSession;

// The update check: the directory server names the current build and where to
// fetch it (9026, asked for with 9025 by "Check for Updates" and, with
// AutoUpdate, after each log-on). The answer is kept in "update.ini"; a build
// newer than the running program is announced, and after the user's own
// request so is the absence of one.
class TUpdateCheck {
 public:
  explicit TUpdateCheck(TSession& session);
  ~TUpdateCheck();
  TUpdateCheck(const TUpdateCheck&) = delete;
  TUpdateCheck& operator=(const TUpdateCheck&) = delete;

  // "Check for Updates": 9025 while connected (and the request is marked),
  // else the user is told to connect first.
  void CheckForUpdates();
  // 9026's parameters: build "{$}" URL. Raises when the URL is missing.
  void HandleUpdateInfo(const std::string& params);

  // Whether the build text "d.d.d.n" (one digit each at characters 1, 3 and 5,
  // the build number from character 7 on) is newer than `own`, part by part
  // from major to build. Empty when the text cannot be read as a build.
  static std::optional<bool> NeedUpdate(const std::string& build, const TProgramVersion& own);

  // A newer build: its text and its address.
  platform::TSignal<std::string, std::string> UpdateAvailable;
  // The user asked, and there is nothing newer.
  platform::TSignal<> NoUpdateAvailable;

 private:
  TSession& session_;
  std::unique_ptr<platform::IniStore> store_;  // "update.ini"
  platform::TConnection info_;
};
