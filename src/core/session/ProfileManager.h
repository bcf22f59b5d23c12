#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/session/Registration.h"
#include "platform/Dataset.h"

class TDBStuff;

// The profile manager's logic. It works on a copy of the Profiles table:
// Apply checks it, puts it in place, saves it and makes its current row the
// active profile; Cancel just drops it, so nothing the user did in the window
// remains.
class TProfileManager {
 public:
  static constexpr const char* kUserNameText = "User names must be between 6 and 20 characters long and are required.";

  // The fields the window edits, in the order of its pages.
  static const std::vector<std::string>& EditedFields();

  // Starts on the row named `currentProfile` (the first row when none is).
  TProfileManager(TDBStuff& db, const std::string& currentProfile);

  std::vector<std::string> Names();
  // The current row's Name; "" without a row.
  std::string Current() const;
  void Select(const std::string& name);
  std::string Field(const std::string& field) const;
  // Ignored without a row.
  void SetField(const std::string& field, const std::string& value);

  enum class TCreate { Empty, Created };
  // A new row with the default texts, made current; an empty name adds none.
  TCreate Create(const std::string& name);
  // The current row goes; false when there is none.
  bool Delete();

  // "Apply": the user name must be 6 to 20 characters and no field may hold
  // what would break a record (the first such row becomes current). Then the
  // table is saved and its current row selected; nothing else happens when a
  // check fails. A table that cannot be written stays in memory (saved at exit).
  std::optional<TRegistrationProblem> Apply();

 private:
  TDBStuff& db_;
  platform::Dataset work_;
};
