#include "core/session/StatusControls.h"

#include <algorithm>

bool IsValidGroupName(const std::string& name) {
  if (name.empty()) return false;
  for (const char c : name)
    if (c == '\r' || c == '\n' || c == '>' || c == ',') return false;
  return name.find("||") == std::string::npos;
}

TNewGroupOutcome CheckNewGroup(const std::string& name, const std::vector<std::string>& existing) {
  if (name.empty()) return TNewGroupOutcome::Nothing;
  if (std::find(existing.begin(), existing.end(), name) != existing.end()) return TNewGroupOutcome::Nothing;
  return IsValidGroupName(name) ? TNewGroupOutcome::Added : TNewGroupOutcome::Invalid;
}

TAwayPickerText AwayPickerText(int kind) {
  if (kind == 1)
    return {"Select Unavailable Message",
            "Select a message to be sent to users trying to chat with you while you are unavaialable, use the New button to create a new one."};
  return {"Select Away Message",
          "Select a message to be sent to users trying to chat with you while you are away, use the New button to create a new one."};
}

int AwayPickerKindForStatus(int statusMode) {
  if (statusMode == 3) return 0;
  if (statusMode == 4) return 1;
  return -1;
}
