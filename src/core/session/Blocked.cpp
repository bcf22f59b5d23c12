#include "core/session/Blocked.h"

#include <filesystem>

#include "platform/ErrorSink.h"
#include "platform/FileNames.h"
#include "platform/StringList.h"

namespace {

// A line without a comma blocks nobody.
bool LineBlocks(const std::string& line, const std::string& userId) {
  const auto comma = line.find(',');
  return comma != std::string::npos && comma == userId.size() && line.compare(0, comma, userId) == 0;
}

}  // namespace

bool TBlockedUsers::IsIdBlocked(const TStrings& list, const std::string& userId) {
  for (int i = 0; i < list.Count(); ++i)
    if (LineBlocks(list[i], userId)) return true;
  return false;
}

bool TBlockedUsers::IsUserBlocked(const TStrings& list, const std::string& record) {
  if (record.empty()) return false;
  // The first field ends at the first separator of either kind or line break.
  std::size_t end = record.size();
  for (const char* stop : {"{$}", "||", "\r", "\n"}) end = std::min(end, record.find(stop));
  return IsIdBlocked(list, record.substr(0, end));
}

void TBlockedUsers::Load(TStrings& list, const std::string& fileName) {
  list.Clear();
  if (!platform::FileExists(fileName)) return;
  try {
    list.LoadFromFile(fileName);
    return;
  } catch (const std::exception& e) {
    list.Clear();
    const auto path = platform::PathFromName(fileName);
    std::filesystem::path aside = path.string() + ".unreadable";
    std::error_code ec;
    for (int n = 1; std::filesystem::exists(aside, ec); ++n) aside = path.string() + ".unreadable-" + std::to_string(n);
    std::filesystem::rename(path, aside, ec);
    platform::ReportError("None", "None",
                          "The blocked-users file " + fileName + " could not be read (" + e.what() + "); " +
                              (ec ? "it could not be moved aside either" : "kept as " + aside.string()) +
                              "; starting with an empty list");
  }
}

bool TBlockedUsers::Add(TStrings& list, const std::string& fileName, const std::string& userId,
                        const std::string& userName) {
  if (IsIdBlocked(list, userId)) return false;
  if (userId.empty() || userName.empty()) return false;
  // The key is read back as the text before the first comma, one entry per line:
  // an id with a comma would block someone else, a line break would split it.
  if (userId.find_first_of(",\r\n") != std::string::npos) return false;
  std::string name = userName;
  for (char& c : name)
    if (c == '\r' || c == '\n') c = ' ';
  list.Add(userId + "," + name);
  list.SaveToFile(fileName);
  return true;
}

bool TBlockedUsers::Remove(TStrings& list, const std::string& fileName, const std::string& userId) {
  TStringList kept;
  for (int i = 0; i < list.Count(); ++i)
    if (!LineBlocks(list[i], userId)) kept.Add(list[i]);
  if (kept.Count() == list.Count()) return false;
  kept.SaveToFile(fileName);
  list.Assign(kept);
  return true;
}

std::string TBlockedUsers::ConfirmationText(const std::string& userName) {
  return "Blocking this user will block all communications completely,\nare you sure you want to block " + userName +
         "?";
}

bool TBlockedUsers::BlockUser(TStrings& list, const std::string& fileName, const std::string& userId,
                              const std::string& userName, const std::function<bool(const std::string&)>& ask) {
  if (!ask || !ask(userName)) return false;
  return Add(list, fileName, userId, userName);
}
