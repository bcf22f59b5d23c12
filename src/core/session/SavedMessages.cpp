#include "core/session/SavedMessages.h"

#include <algorithm>

#include "platform/IniStore.h"
#include "platform/Strings.h"
#include "transport/CmdParser.h"

void TSavedMessages::Open(int kind) {
  section_ = kind == Unavailable ? "Unavailable" : "Away";
  keys_ = store_.ReadSection(section_);
  AdvanceNextKey();
}

// The next key is "Message " + the count of keys; a file written by hand (or with
// gaps) may already use that name, and taking it would overwrite a saved
// message, so the number moves on to the first name not in use.
void TSavedMessages::AdvanceNextKey() {
  auto used = [this](const std::string& key) {
    return std::any_of(keys_.begin(), keys_.end(), [&](const std::string& k) { return platform::SameText(k, key); }) ||
           store_.ValueExists(section_, key);
  };
  for (std::size_t n = keys_.size();; ++n) {
    nextKey_ = "Message " + std::to_string(n);
    if (!used(nextKey_)) return;
  }
}

std::string TSavedMessages::Message(const std::string& key) const {
  return TCmdParser::UnescapeText(store_.ReadString(section_, key, ""));
}

void TSavedMessages::Store(const std::string& key, const std::string& text) {
  store_.WriteString(section_, key, TCmdParser::EscapeText(text));
  store_.Save();
}

std::string TSavedMessages::AddNew(const std::string& shownKey, const std::string& text) {
  const std::string key = nextKey_;
  if (!shownKey.empty()) Store(key, text);
  keys_.push_back(key);
  AdvanceNextKey();
  return key;
}

std::string TSavedMessages::Confirm(const std::string& shownKey, const std::string& text) {
  if (!shownKey.empty()) Store(shownKey, text);
  return TCmdParser::EscapeText(text);
}
