#pragma once

#include <string>
#include <vector>

namespace platform {
class IniStore;
}

// The saved away and unavailable messages in "messages.msg": one section per
// kind, keys "Message 0", "Message 1", ..., values escaped as they travel. This
// is the logic of the saved-message window, callable without a window.
class TSavedMessages {
 public:
  static constexpr const char* kFileName = "messages.msg";
  enum Kind { Away = 0, Unavailable = 1 };

  explicit TSavedMessages(platform::IniStore& store) : store_(store) {}

  // Reads the kind's keys (in file order) and works out the next free key.
  void Open(int kind);
  const std::string& Section() const { return section_; }
  // The keys the window lists: those in the file, then those added by New.
  const std::vector<std::string>& Keys() const { return keys_; }
  const std::string& NextKey() const { return nextKey_; }

  // The stored message of a key, unescaped; "" for a key with nothing stored.
  std::string Message(const std::string& key) const;

  // New: when a key is shown, the typed text is stored under the next key; the
  // next key joins the list either way and is returned for the window to show.
  // Raises when the file cannot be written.
  std::string AddNew(const std::string& shownKey, const std::string& text);
  // OK: stores the text under the shown key (nothing when none is shown) and
  // returns the text escaped, as the caller keeps it for the status replies.
  std::string Confirm(const std::string& shownKey, const std::string& text);

 private:
  void Store(const std::string& key, const std::string& text);
  void AdvanceNextKey();

  platform::IniStore& store_;
  std::string section_;
  std::vector<std::string> keys_;
  std::string nextKey_;
};
