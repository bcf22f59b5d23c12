#pragma once

// Numbered bookmarks and per-line styles of a document; both follow the text
// as characters and lines are inserted, deleted, broken and joined.

#include "editor/QuillContainers.h"

namespace quill {

struct TQuillBookMark {
  int X = 0;       // 0-based character
  int Y = 0;       // 0-based line
  int Number = 0;  // bookmark number, or for line styles the style index
  bool operator==(const TQuillBookMark&) const = default;
};

// Kept sorted by line, then character, then number; the key is a line.
class TQuillBookMarkList : public TQuillSortedList<TQuillBookMark, int> {
 public:
  // OnePerLine: a join never leaves two entries on one line (line styles).
  explicit TQuillBookMarkList(bool onePerLine = false) : onePerLine_(onePerLine) {}

  // True when an equal entry was there already; after adding, the new
  // entry's index taken as a truth value (false when it went first).
  bool SetBookMark(TPoint p, int number);
  int GetLineBookMark(int line) const;
  bool FindBookMark(int number, int& index) const;
  bool ClearBookMark(int number, int& line);
  // Moves the entries after an edit at (X, Y): DY = 0 inserts (DX > 0) or deletes
  // (DX < 0) characters, DY > 0 breaks the line at X (DX = -X), DY < 0 joins the
  // next line onto line Y at column DX. True when anything moved.
  bool UpdatePosition(int x, int y, int dx, int dy);

 protected:
  int Compare(const TQuillBookMark& a, const TQuillBookMark& b) const override;
  int CompareByKey(const TQuillBookMark& item, const int& line) const override;

 private:
  bool onePerLine_;
};

}  // namespace quill
