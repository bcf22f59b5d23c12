#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/session/Paths.h"
#include "core/session/Settings.h"

class TSession;

// Every value the preferences dialog edits, as stored under "Settings";
// UserPass is empty unless RemUserPass.
struct TPreferenceValues : TStoredSettings {
  bool NoSound = false;
  std::array<std::string, SoundEventCount> Sounds;  // SoundEvent order; "none" silences

  bool operator==(const TPreferenceValues&) const = default;
};

// A refused "Apply": the message box and the field that gets the focus.
struct TPreferenceProblem {
  std::string Text, Caption;
};

// The preferences' logic without their window. The dialog reads the stored
// values when it opens; Apply writes back what the user changed since then,
// and only that, and the session takes those values at once. A value that
// changed elsewhere meanwhile (an account id that registration stored, the
// status chosen in the main window) is left as it is.
class TPreferences {
 public:
  static constexpr const char* kInvalidPasswordCaption = "Invalid Password";

  // The stored values with their defaults; the account password only while
  // it is remembered.
  static TPreferenceValues Read();

  // With an account id and a remembered password, the password must be 6 to
  // 20 characters, none of which would break the log-on frame (a line break,
  // "," or ">"); the key filter sees only typed keys.
  static std::optional<TPreferenceProblem> Validate(const TPreferenceValues& values);

  // Writes each value that differs between `shown` (what the dialog read) and
  // `edited`, and gives it to the session; the autostart entry follows
  // WindowsStart every time. Failures are logged and returned as messages for
  // the user; one that fails does not keep the others from being written.
  // Then the session reloads its settings from the store, keeping its status.
  static std::vector<std::string> SavePreferences(TSession& session, const TPreferenceValues& shown,
                                                  const TPreferenceValues& edited);
};
