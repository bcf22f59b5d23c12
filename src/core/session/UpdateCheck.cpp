#include "core/session/UpdateCheck.h"

#include "core/session/DirectoryLink.h"
#include "core/session/ErrorLog.h"
#include "core/session/Paths.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"
#include "platform/IniStore.h"
#include "platform/StringList.h"
#include "platform/Strings.h"
#include "transport/CommandCodes.h"

namespace {

// The text as the class library reads a number, or nothing.
std::optional<int> Part(const std::string& text) {
  int value = 0;
  if (!platform::TryStrToInt(text, value)) return std::nullopt;
  return value;
}

}  // namespace

TUpdateCheck::TUpdateCheck(TSession& session)
    : session_(session),
      store_(std::make_unique<platform::IniStore>(
          session.Paths().UpdateFile, [](const std::string& message) { LogError("None", "None", message); })) {
  info_ = session.Link().UpdateInformation.Connect([this](const std::string& params) { HandleUpdateInfo(params); });
}

TUpdateCheck::~TUpdateCheck() = default;

void TUpdateCheck::CheckForUpdates() {
  try {
    if (!session_.Link().Connected()) {
      session_.Prompts().ShowInformation("You must be connected to the server to check for updates.",
                                         "No Server Connection");
      return;
    }
    session_.Link().Send(cmd::UpdateRequest, "");
    session_.Settings.UpdateCheck = true;
  } catch (const std::exception&) {
    LogError("None", "None", "Error Checking Updates");
  }
}

std::optional<bool> TUpdateCheck::NeedUpdate(const std::string& build, const TProgramVersion& own) {
  if (build.size() < 7) return std::nullopt;
  const auto major = Part(build.substr(0, 1)), minor = Part(build.substr(2, 1)), release = Part(build.substr(4, 1));
  const auto number = Part(build.substr(6));
  if (!major || !minor || !release || !number) return std::nullopt;
  const int server[] = {*major, *minor, *release, *number};
  const int ours[] = {own.Major, own.Minor, own.Release, own.Build};
  for (int i = 0; i < 4; ++i)
    if (server[i] != ours[i]) return server[i] > ours[i];
  return false;
}

void TUpdateCheck::HandleUpdateInfo(const std::string& params) {
  // The parameters arrive with each comma turned into a line break, so an
  // address ends at its first comma. An answer without an address raises here,
  // before anything is kept or announced, and ends as any command the
  // directory link cannot read.
  TStringList items;
  items.SetText(platform::StringReplace(params, "{$}", "\r\n"));
  const std::string build = items[0];
  const std::string url = items[1];
  try {
    store_->WriteString("Version", "Build", build);
    store_->WriteString("Url", "UpdateUrl", url);
    store_->Save();
  } catch (const std::exception& e) {
    LogError("None", "None", std::string("Saving the update information: ") + e.what());
  }
  const auto need = NeedUpdate(build, OwnVersion());
  if (!need) LogError("None", "None", "Error Checking Need Update");
  if (need.value_or(false)) {
    UpdateAvailable(build, url);
  } else if (session_.Settings.UpdateCheck) {
    session_.Settings.UpdateCheck = false;
    NoUpdateAvailable();
  }
}
