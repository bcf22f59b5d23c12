#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/session/Registration.h"

class TDBStuff;

// The profile manager's logic. It keeps no copy: every change goes straight
// into the Profiles table, into the row the window shows, so what other
// windows store meanwhile (a registration, a profile chosen in the main
// window) is never written over. Apply saves the table and makes the chosen
// profile the active one; closing without Apply leaves the changes in the
// table, which is saved with them next time.
class TProfileManager {
 public:
  static constexpr const char* kUserNameText = "User names must be between 6 and 20 characters long and are required.";

  // Shows the table's current row.
  explicit TProfileManager(TDBStuff& db);

  std::vector<std::string> Names();
  // The shown row's Name; "" without a row.
  std::string Current();
  // The profile of that name is shown and becomes the active one. A name that
  // no profile has any more (one deleted while still listed) leaves the
  // shown profile the active one.
  void Select(const std::string& name);
  std::string Field(const std::string& field);
  // Ignored without a row.
  void SetField(const std::string& field, const std::string& value);

  enum class TCreate { Empty, Created };
  // A new row with the default texts, then shown; an empty name adds none.
  TCreate Create(const std::string& name);
  // The shown row goes, the next one is shown; false when there is none.
  bool Delete();

  // "Apply": the user name typed must be 6 to 20 characters; then the table
  // is saved and the profile chosen in the list (`chosen`) selected. Nothing
  // happens when the check fails. A table that cannot be written stays in
  // memory (saved at exit) and the problem says so.
  std::optional<TRegistrationProblem> Apply(const std::string& userName, const std::string& chosen);

 private:
  // The table's cursor to the shown row (others move it meanwhile); false
  // when the table is empty.
  bool ToShownRow();

  TDBStuff& db_;
  int row_ = 0;  // record number of the row shown
};
