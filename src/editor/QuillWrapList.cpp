#include "editor/QuillWrapList.h"

#include <algorithm>

namespace quill {

int TQuillWrapList::Compare(const TQuillWrapRecord& a, int line, int end) const {
  if (a.Line != line) return a.Line < line ? -1 : 1;
  if (a.End != end) return a.End < end ? -1 : 1;
  return 0;
}

int TQuillWrapList::LowerBound(int line, int end) const {
  // Nearly every search is for a row near the end (a transcript appends
  // there and shows its last rows): the bound is closed in from the end by
  // doubling steps, which touches a few rows there rather than a row in
  // every part of a long list.
  int lo = 0, hi = Count();
  for (int step = 1; hi > lo; step *= 2) {
    const int probe = std::max(lo, Count() - step);
    if (Compare(*rows_[static_cast<size_t>(probe)], line, end) < 0) {
      lo = probe + 1;
      break;
    }
    hi = probe;
  }
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (Compare(*rows_[static_cast<size_t>(mid)], line, end) < 0) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

int TQuillWrapList::Add(std::unique_ptr<TQuillWrapRecord> row) {
  const int at = LowerBound(row->Line, row->End);
  rows_.insert(rows_.begin() + at, std::move(row));
  return at;
}

int TQuillWrapList::Add(int line, int start, int end) {
  auto row = std::make_unique<TQuillWrapRecord>();
  row->Line = line;
  row->Start = start;
  row->End = end;
  return Add(std::move(row));
}

void TQuillWrapList::ClearLines(int first, int last) {
  if (first > last) return;
  const int from = LowerBound(first, -1);
  const int to = last == MaxInt ? Count() : LowerBound(last + 1, -1);
  rows_.erase(rows_.begin() + from, rows_.begin() + std::max(from, to));
}

void TQuillWrapList::ShiftLines(int after, int delta) {
  if (delta == 0 || LastLine() <= after) return;
  int from = LowerBound(after + 1, -1);
  if (delta < 0) {
    const int to = LowerBound(after - delta + 1, -1);
    rows_.erase(rows_.begin() + from, rows_.begin() + to);
  }
  for (auto row = rows_.begin() + from; row != rows_.end(); ++row) (*row)->Line += delta;
}

bool TQuillWrapList::NeedWrap(int index, bool byRow, int& count, int& first) const {
  const int wrapped = byRow ? Count() - 1 : LastLine();
  if (index <= wrapped || index == MaxInt) return false;
  first = LastLine() + 1;
  // Rows are at least lines, so wrapping as many lines as rows are missing
  // always reaches the row asked for.
  count = index - wrapped + cDefaultWrapDelta;
  return true;
}

void TQuillWrapList::WrapFor(int index, bool byRow) {
  int count = 0, first = 0;
  if (OnWrap && NeedWrap(index, byRow, count, first)) OnWrap(first, count);
}

int TQuillWrapList::FirstRowOfLine(int line) {
  CheckWrapUpdated(line, false);
  const int at = LowerBound(line, -1);
  return at < Count() && rows_[static_cast<size_t>(at)]->Line == line ? at : -1;
}

int TQuillWrapList::IndexFromPoint(TPoint p, bool atEnd) {
  CheckWrapUpdated(p.Y, false);
  const int at = LowerBound(p.Y, p.X < MaxInt ? p.X + 1 : MaxInt);
  if (at >= Count() || rows_[static_cast<size_t>(at)]->Line != p.Y) return -1;
  const TQuillWrapRecord& row = *rows_[static_cast<size_t>(at)];
  if (atEnd && p.X == row.Start && at > 0 && rows_[static_cast<size_t>(at - 1)]->Line == p.Y) return at - 1;
  return at;
}

TPoint TQuillWrapList::PointToWrapPoint(TPoint p, bool atEnd) {
  const int row = IndexFromPoint(p, atEnd);
  if (row < 0) return {p.X, Count() + std::max(0, p.Y - LastLine() - 1)};
  const int start = rows_[static_cast<size_t>(row)]->Start;
  return {p.X == MaxInt ? MaxInt : p.X - start, row};
}

int TQuillWrapList::IndexFromWrapPoint(TPoint rowPoint) const {
  if (rows_.empty()) return -1;
  return std::clamp(rowPoint.Y, 0, Count() - 1);
}

TPoint TQuillWrapList::WrapPointToPointEx(TPoint rowPoint, bool limitToRow) const {
  if (rowPoint.Y >= Count()) {
    // Below the wrapped rows each row is one more unwrapped line.
    return {rowPoint.X, LastLine() + 1 + rowPoint.Y - Count()};
  }
  const TQuillWrapRecord& row = *rows_.at(static_cast<size_t>(std::max(rowPoint.Y, 0)));
  int x = std::max(rowPoint.X, 0);
  if (x != MaxInt) x = x > MaxInt - row.Start ? MaxInt : x + row.Start;
  if (limitToRow && row.End != MaxInt) x = std::min(x, row.End - 1);
  return {x, row.Line};
}

}  // namespace quill
