#pragma once

#include <functional>
#include <string>

class TStrings;

// The blocked-users list: lines "userID,userName" held by the session and
// kept in "blocked.parlo" (CR LF line ends, written whole on every change).
// A line's key is the text before its first comma; ids compare exactly.
class TBlockedUsers {
 public:
  static constexpr const char* kFileName = "blocked.parlo";

  static bool IsIdBlocked(const TStrings& list, const std::string& userId);
  // For a received record whose first field ("{$}" or "||" separated) is the
  // sender's id. An empty record is not blocked.
  static bool IsUserBlocked(const TStrings& list, const std::string& record);

  // Reads the list. A missing file gives an empty list; a file that cannot be
  // read is renamed aside, logged, and the list starts empty.
  static void Load(TStrings& list, const std::string& fileName);

  // Appends "userID,userName" and writes the file, unless the id is already
  // blocked or the entry could not be read back as the same id (an empty id or
  // name, an id holding a comma or a line break). Line breaks in the name are
  // blanked. False when nothing was added. When the file cannot be written the
  // entry stays in the list for this run and EStreamError is raised.
  static bool Add(TStrings& list, const std::string& fileName, const std::string& userId,
                  const std::string& userName);

  // Takes every entry of the id out and writes the file; false when there was
  // none. When the file cannot be written the list stays as it was and
  // EStreamError is raised, so the list never claims what the file does not hold.
  static bool Remove(TStrings& list, const std::string& fileName, const std::string& userId);

  // The question asked before blocking, and its caption.
  static std::string ConfirmationText(const std::string& userName);
  static constexpr const char* kConfirmationCaption = "Confirm Block";

  // The whole block command: ask (Yes blocks), then Add.
  static bool BlockUser(TStrings& list, const std::string& fileName, const std::string& userId,
                        const std::string& userName, const std::function<bool(const std::string& userName)>& ask);
};
