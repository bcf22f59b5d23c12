#pragma once

#include <string>
#include <vector>

// The logic behind the status, group and profile selectors of the main window.

// A group name travels bare in frames (ended by the first ">", commas
// splitting parameters), inside profile records ("||" fields) and one per line in the groups file: none of those separators may be part of it.
bool IsValidGroupName(const std::string& name);

enum class TNewGroupOutcome { Nothing, Invalid, Added };
// What a name typed into the new-group box does: an empty answer or a name
// already listed does nothing; a name that would break a frame is refused.
TNewGroupOutcome CheckNewGroup(const std::string& name, const std::vector<std::string>& existing);

// Caption and prompt of the saved-message picker: kind 0 Away, 1 Unavailable.
struct TAwayPickerText {
  const char* Caption;
  const char* Prompt;
};
TAwayPickerText AwayPickerText(int kind);

// The picker a status opens: 0 for Away, 1 for Unavailable, -1 for none.
int AwayPickerKindForStatus(int statusMode);
