#include "editor/QuillBookmarks.h"

namespace quill {

int TQuillBookMarkList::Compare(const TQuillBookMark& a, const TQuillBookMark& b) const {
  if (a.Y != b.Y) return a.Y < b.Y ? -1 : 1;
  if (a.X != b.X) return a.X < b.X ? -1 : 1;
  if (a.Number != b.Number) return a.Number < b.Number ? -1 : 1;
  return 0;
}

int TQuillBookMarkList::CompareByKey(const TQuillBookMark& item, const int& line) const {
  return item.Y < line ? -1 : (item.Y > line ? 1 : 0);
}

bool TQuillBookMarkList::SetBookMark(TPoint p, int number) {
  TQuillBookMark mark{p.X, p.Y, number};
  int index = 0;
  if (Find(mark, index)) return true;
  return Add(mark) != 0;
}

int TQuillBookMarkList::GetLineBookMark(int line) const {
  int index = 0;
  return FindByKey(line, index) ? items_[static_cast<size_t>(index)].Number : -1;
}

bool TQuillBookMarkList::FindBookMark(int number, int& index) const {
  for (int i = Count() - 1; i >= 0; --i) {
    if (items_[static_cast<size_t>(i)].Number == number) {
      index = i;
      return true;
    }
  }
  index = -1;
  return false;
}

bool TQuillBookMarkList::ClearBookMark(int number, int& line) {
  int index = -1;
  if (!FindBookMark(number, index)) return false;
  line = items_[static_cast<size_t>(index)].Y;
  Delete(index);
  return true;
}

bool TQuillBookMarkList::UpdatePosition(int x, int y, int dx, int dy) {
  if (items_.empty() || (dx == 0 && dy == 0)) return false;
  bool moved = false;
  if (dy < 0 && onePerLine_) {
    // Of the lines joined into line Y, the entry of the uppermost that has
    // one stays; the others give way to it.
    int kept = MaxInt;
    for (const auto& m : items_)
      if (m.Y >= y && m.Y <= y - dy) kept = std::min(kept, m.Y);
    const size_t before = items_.size();
    std::erase_if(items_, [&](const TQuillBookMark& m) { return m.Y > kept && m.Y <= y - dy; });
    moved = items_.size() != before;
  }
  for (auto& m : items_) {
    if (dy == 0) {
      if (m.Y != y) continue;
      if (dx > 0 && m.X >= x) {
        m.X += dx;
        moved = true;
      } else if (dx < 0 && m.X > x) {
        // Entries inside the deleted range collapse to its start.
        m.X = std::max(x, m.X + dx);
        moved = true;
      }
    } else if (dy > 0) {
      if (m.Y > y) {
        m.Y += dy;
        moved = true;
      } else if (m.Y == y && m.X >= x) {
        m.X = std::max(0, m.X + dx);
        m.Y += dy;
        moved = true;
      }
    } else {
      // Entries of line Y itself stay; the joined line's entries move onto
      // its end, and those of lines that went between the two to where the
      // joined line begins.
      if (m.Y > y) {
        if (m.Y < y - dy) m.X = std::max(0, dx);
        else if (m.Y + dy == y) m.X = std::max(0, m.X + dx);
        m.Y = std::max(y, m.Y + dy);
        moved = true;
      }
    }
  }
  if (moved) Sort();
  return moved;
}

}  // namespace quill
