#pragma once

// The rows of wrapped lines, in row order: a row's position in the list is its
// visual row number. The control fills it as it wraps (lazily, a fixed number
// of lines ahead of what is asked for); the painter reads rows to paint and to
// turn text points into row points and back.
//
// A row holds the characters Start .. End - 1 of its line (0-based); End is
// MaxInt on the row that ends its line. A text point at a soft row end (a
// column equal to End) belongs to the next row, unless asked for "at end":
// then it shows at the end of the upper row, where the caret stands after
// typing up to the wrap.

#include <functional>
#include <memory>
#include <vector>

#include "editor/QuillUtils.h"

namespace quill {

struct TQuillWrapRecord {
  virtual ~TQuillWrapRecord() = default;
  int Line = 0;
  int End = MaxInt;
  int Start = 0;
};

class TQuillWrapList {
 public:
  // Rows are wrapped this many lines beyond what a caller asks for.
  static constexpr int cDefaultWrapDelta = 256;

  virtual ~TQuillWrapList() = default;

  int Count() const { return static_cast<int>(rows_.size()); }
  const TQuillWrapRecord& Items(int row) const { return *rows_.at(static_cast<size_t>(row)); }
  // Inserts the row where (Line, End) sorts; returns its row number.
  int Add(std::unique_ptr<TQuillWrapRecord> row);
  int Add(int line, int start, int end);
  void ClearList() { rows_.clear(); }
  // Removes the rows of lines First .. Last.
  void ClearLines(int first, int last);
  // Lines came (Delta > 0) or went (Delta < 0) just after line After: the
  // rows of the lines that went go, and those below are renumbered, so that
  // they need not be wrapped again.
  void ShiftLines(int after, int delta);
  // The last line that has rows, -1 when none.
  int LastLine() const { return rows_.empty() ? -1 : rows_.back()->Line; }

  // Asked to wrap Count lines from line First when a caller needs rows that
  // are not there yet.
  std::function<void(int first, int count)> OnWrap;
  // Whether the line (or row, ByRow) Index lies beyond what is wrapped, and
  // which lines to wrap to reach it.
  bool NeedWrap(int index, bool byRow, int& count, int& first) const;
  // Asked for every row a view measures, several times a message: a row
  // already wrapped is answered here.
  void CheckWrapUpdated(int index, bool byRow) {
    if (index <= (byRow ? Count() - 1 : LastLine())) return;
    WrapFor(index, byRow);
  }

  // The first row of a line, and the row holding (Char, Line); -1 when the
  // line has no rows.
  int FirstRowOfLine(int line);
  int IndexFromPoint(TPoint p, bool atEnd);
  // (column within the row, row). A line without rows maps to a row counted
  // past the last one, so that positions below the text stay ordered.
  TPoint PointToWrapPoint(TPoint p, bool atEnd);
  // The row a row point lies on, at most the last row; -1 when empty.
  int IndexFromWrapPoint(TPoint rowPoint) const;
  // The text point of a row point; with LimitToRow the column stops at the
  // row's end (the last character before a soft end).
  TPoint WrapPointToPoint(TPoint rowPoint) const { return WrapPointToPointEx(rowPoint, false); }
  TPoint WrapPointToPointEx(TPoint rowPoint, bool limitToRow) const;

 protected:
  virtual int Compare(const TQuillWrapRecord& a, int line, int end) const;

 private:
  // The first row not sorting before (Line, End).
  int LowerBound(int line, int end) const;
  void WrapFor(int index, bool byRow);

  std::vector<std::unique_ptr<TQuillWrapRecord>> rows_;
};

}  // namespace quill
