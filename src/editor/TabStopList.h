#pragma once

// Tab stops of a document: where a tab character at a column ends, and the
// conversion between character indexes and display columns of a line with tabs.

#include <string>
#include <vector>

namespace quill {

class TTabStopList {
 public:
  TTabStopList();

  const std::string& TabStops() const { return text_; }
  // A comma-separated list of ascending columns >= 1; an empty list means "8".
  // Raises "Invalid Tab Stop" (or a conversion error) and keeps the old stops.
  void SetTabStops(const std::string& s);

  int GetStop(int column) const;  // the first stop after the column
  int Get(int column) const;      // the same, cached
  int GetPrev(int column) const;  // the last stop before the column, 0 when none

  // Display column of character Index (0-based) of S.
  int RealPosToPos(const std::string& s, int index) const;
  // Character index of display column Pos of S; a column inside a tab gives the
  // tab's index and, in *pad, how many columns Pos lies past the tab's start.
  // Past the end each column is one character.
  int PosToRealPos(const std::string& s, int pos, int* pad = nullptr) const;
  // S with every tab replaced by the blanks up to its stop.
  std::string GetRealString(const std::string& s) const;

 private:
  std::string text_;
  std::vector<int> stops_;
  mutable std::vector<int> cache_;
};

}  // namespace quill
