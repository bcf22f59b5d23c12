#include "editor/QuillStrings.h"

#include "editor/QuillUtils.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace quill {

// ---- hidden-lines index ----

int TQuillVisibleLinesList::FindNear(int index, bool byVisible, bool strict) const {
  // The value of an entry (the line, or the visible lines before it) never
  // decreases along the list, so the answer is the end of a prefix.
  const auto& v = items_;
  int lo = 0, hi = static_cast<int>(v.size());
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    int value = byVisible ? v[static_cast<size_t>(mid)] - mid : v[static_cast<size_t>(mid)];
    bool inPrefix = strict ? value < index : value <= index;
    if (inPrefix)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo - 1;
}

void TQuillVisibleLinesList::LineChanged(int index, int delta) {
  for (auto& line : items_) {
    if (delta > 0 ? line >= index : line > index) line += delta;
  }
  lastHit_ = -1;
}

void TQuillVisibleLinesList::LinesDeleted(int index, int count) {
  std::erase_if(items_, [&](int line) { return line >= index && line < index + count; });
  for (auto& line : items_)
    if (line >= index + count) line -= count;
  lastHit_ = -1;
}

// ---- line list ----

TQuillStrings::TQuillStrings() { hidden_.Duplicates = TDuplicates::dupIgnore; }

TQuillStrings::~TQuillStrings() = default;

void TQuillStrings::Changed() {
  if (updateCount_ == 0 && OnChange) OnChange(this);
}

void TQuillStrings::Changing() {
  if (updateCount_ == 0 && OnChanging) OnChanging(this);
}

void TQuillStrings::SetUpdateState(bool updating) {
  if (updating) {
    ResetUpdateRange();
    Changing();
  } else {
    Changed();
  }
}

void TQuillStrings::BeginUpdate() {
  if (updateCount_ == 0) SetUpdateState(true);
  ++updateCount_;
}

void TQuillStrings::EndUpdate() {
  if (updateCount_ <= 0) return;
  if (--updateCount_ == 0) SetUpdateState(false);
}

void TQuillStrings::LinesUpdated(int first, int last) {
  updateFirst_ = updateFirst_ == -1 ? first : std::min(updateFirst_, first);
  updateLast_ = std::max(updateLast_, last);
}

void TQuillStrings::TextUpdated(int index) {
  textFirst_ = textFirst_ == -1 ? index : std::min(textFirst_, index);
  textLast_ = std::max(textLast_, index);
}

TQuillStringItem* TQuillStrings::Item(int index) const {
  return InRange(index) ? items_[static_cast<size_t>(index)].get() : nullptr;
}

std::string TQuillStrings::Get(int index) const {
  if (!InRange(index)) return "";
  std::string s = items_[static_cast<size_t>(index)]->Text;
  if (OnGetString) OnGetString(const_cast<TQuillStrings*>(this), s, false);
  return s;
}

void TQuillStrings::Put(int index, const std::string& s) {
  if (!InRange(index)) return;
  Changing();
  auto& text = items_[static_cast<size_t>(index)]->Text;
  textSize_ -= static_cast<int64_t>(text.size());
  text = s;
  if (OnGetString) OnGetString(this, text, true);
  textSize_ += static_cast<int64_t>(text.size());
  LinesUpdated(index, index);
  TextUpdated(index);
  Changed();
}

void* TQuillStrings::GetObject(int index) const { return InRange(index) ? items_[static_cast<size_t>(index)]->Object : nullptr; }

void TQuillStrings::PutObject(int index, void* object) {
  if (!InRange(index)) return;
  Changing();
  items_[static_cast<size_t>(index)]->Object = object;
  LinesUpdated(index, index);
  Changed();
}

void TQuillStrings::Grow() {
  int delta = capacity_ > 64 ? capacity_ / 4 : (capacity_ > 8 ? 16 : 4);
  SetCapacity(capacity_ + delta);
}

void TQuillStrings::SetCapacity(int capacity) {
  // Lowering the capacity below the count would drop lines: refused.
  if (capacity < GetCount()) return;
  if (capacity < capacity_) items_.shrink_to_fit();
  capacity_ = capacity;
  UpdateVisibleLines();
}

void TQuillStrings::InsertItem(int index, const std::string& s) {
  Changing();
  if (GetCount() == capacity_) Grow();
  auto item = std::make_unique<TQuillStringItem>();
  item->Text = s;
  if (OnGetString) OnGetString(this, item->Text, true);
  textSize_ += static_cast<int64_t>(item->Text.size());
  items_.insert(items_.begin() + index, std::move(item));
  if (hideLines_) hidden_.LineChanged(index, +1);
  if (textLast_ >= index) ++textLast_;
  if (textFirst_ >= index) ++textFirst_;
  LinesUpdated(index, MaxInt);
  TextUpdated(index);
  Changed();
}

int TQuillStrings::Add(const std::string& s) {
  int index = GetCount();
  InsertItem(index, s);
  return index;
}

void TQuillStrings::Insert(int index, const std::string& s) {
  if (index < 0 || index > GetCount()) return;
  InsertItem(index, s);
}

void TQuillStrings::Delete(int index) { Delete(index, 1); }

void TQuillStrings::Delete(int index, int count) {
  count = std::min(count, GetCount() - index);
  if (index < 0 || count <= 0) return;
  Changing();
  if (hideLines_) hidden_.LinesDeleted(index, count);
  const auto from = items_.begin() + index, to = from + count;
  for (auto item = from; item != to; ++item) textSize_ -= static_cast<int64_t>((*item)->Text.size());
  items_.erase(from, to);
  // A written line inside the range counts as the line the range closes up
  // on, as when the lines go one at a time.
  auto shift = [&](int& mark) {
    if (mark >= index + count) mark -= count;
    else if (mark > index) mark = index;
  };
  shift(textFirst_);
  shift(textLast_);
  if (textFirst_ > textLast_) textFirst_ = textLast_ = -1;
  LinesUpdated(index, MaxInt);
  Changed();
}

void TQuillStrings::Clear() {
  if (GetCount() == 0) return;
  Changing();
  std::deque<std::unique_ptr<TQuillStringItem>>().swap(items_);
  textSize_ = 0;
  capacity_ = 0;
  LinesUpdated(0, MaxInt);
  UpdateVisibleLines();
  Changed();
}

void TQuillStrings::ExchangeItems(int i, int j) {
  auto& a = *items_[static_cast<size_t>(i)];
  auto& b = *items_[static_cast<size_t>(j)];
  std::swap(a.Text, b.Text);
  std::swap(a.Data, b.Data);
  std::swap(a.Object, b.Object);
}

void TQuillStrings::Exchange(int i, int j) {
  if (!InRange(i) || !InRange(j)) return;
  Changing();
  ExchangeItems(i, j);
  LinesUpdated(std::min(i, j), std::max(i, j));
  TextUpdated(i);
  TextUpdated(j);
  Changed();
}

std::string TQuillStrings::Text() const {
  std::string r;
  for (int i = 0; i < GetCount(); ++i) {
    r += Get(i);
    r += "\r\n";
  }
  return r;
}

void TQuillStrings::SetText(const std::string& text) {
  BeginUpdate();
  try {
    Clear();
    for (std::string& line : SplitTextLines(text)) Add(std::move(line));
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::vector<std::string> SplitTextLines(const std::string& text) {
  // Room for every line at once, and for the empty line a caller adds after
  // a text that ends in a break.
  std::size_t breaks = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    breaks += text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'));
  std::vector<std::string> lines;
  lines.reserve(breaks + 1);
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text, start, i - start);
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text, start);
  return lines;
}

void TQuillStrings::Assign(const TQuillStrings& source) {
  if (&source == this) return;
  BeginUpdate();
  try {
    Clear();
    for (int i = 0; i < source.GetCount(); ++i) {
      Add(source.Get(i));
      items_.back()->Object = source.GetObject(i);
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TQuillStrings::LoadFromStream(std::istream& stream) {
  std::string all((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  SetText(all);
}

void TQuillStrings::SaveToStream(std::ostream& stream) const {
  if (GetCount() == 0) return;
  const char* lineBreak = LineBreak == TQuillLineBreak::lbCRLF ? "\r\n" : (LineBreak == TQuillLineBreak::lbCR ? "\r" : "\n");
  std::string buffer;
  size_t total = 0;
  for (const auto& item : items_) total += item->Text.size() + 2;
  buffer.reserve(total);
  for (int i = 0; i < GetCount(); ++i) {
    buffer += GetStr(i);
    buffer += lineBreak;
  }
  stream.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
}

void TQuillStrings::LoadFromFile(const platform::FileName& fileName) {
  std::ifstream in(fileName.Path(), std::ios::binary);
  if (!in) throw platform::EStreamError("Cannot open file \"" + fileName.Display() + "\"");
  LoadFromStream(in);
}

void TQuillStrings::SaveToFile(const platform::FileName& fileName) const {
  SaveFileWhole(fileName, [this](std::ostream& out) { SaveToStream(out); });
}

std::string TQuillStrings::GetStr(int index) const { return InRange(index) ? items_[static_cast<size_t>(index)]->Text : ""; }

const std::string& TQuillStrings::StoredText(int index) const {
  static const std::string none;
  return InRange(index) ? items_[static_cast<size_t>(index)]->Text : none;
}

void TQuillStrings::InsertText(int index, int at, const std::string& text) {
  if (!InRange(index)) return;
  Changing();
  auto& line = items_[static_cast<size_t>(index)]->Text;
  line.insert(std::min(static_cast<size_t>(std::max(at, 0)), line.size()), text);
  textSize_ += static_cast<int64_t>(text.size());
  LinesUpdated(index, index);
  TextUpdated(index);
  Changed();
}

TQuillData TQuillStrings::GetStrData(int index) const {
  return InRange(index) ? items_[static_cast<size_t>(index)]->Data : TQuillData();
}

void TQuillStrings::SetStrData(int index, const TQuillData& data) {
  if (InRange(index)) items_[static_cast<size_t>(index)]->Data = data;
}

uint16_t TQuillStrings::GetData(int line, int pos) const {
  if (!InRange(line) || pos < 1) return NoData;
  const auto& data = items_[static_cast<size_t>(line)]->Data;
  return static_cast<size_t>(pos - 1) < data.size() ? data[static_cast<size_t>(pos - 1)] : NoData;
}

void TQuillStrings::PutData(int line, int pos, int count, uint16_t value) {
  if (!InRange(line) || pos < 1 || count <= 0) return;
  auto& data = items_[static_cast<size_t>(line)]->Data;
  // Only words that exist are written: the caller sizes the data string.
  size_t from = static_cast<size_t>(pos - 1);
  if (from >= data.size()) return;
  size_t n = std::min(static_cast<size_t>(count), data.size() - from);
  std::fill_n(data.begin() + static_cast<std::ptrdiff_t>(from), n, static_cast<char16_t>(value));
}

uint16_t TQuillStrings::GetState(int line) const { return InRange(line) ? items_[static_cast<size_t>(line)]->EndState : 0; }

void TQuillStrings::SetState(int line, uint16_t state) {
  if (InRange(line)) items_[static_cast<size_t>(line)]->EndState = state;
}

TQuillItemStates TQuillStrings::GetItemStates(int line) const {
  return InRange(line) ? items_[static_cast<size_t>(line)]->States : 0;
}

void TQuillStrings::SetItemState(int line, TQuillItemState state, bool on) {
  if (!InRange(line)) return;
  auto& s = items_[static_cast<size_t>(line)]->States;
  s = on ? static_cast<TQuillItemStates>(s | state) : static_cast<TQuillItemStates>(s & ~state);
}

uint8_t TQuillStrings::GetLevel(int line) const { return InRange(line) ? items_[static_cast<size_t>(line)]->Level : 0; }

void TQuillStrings::SetLevel(int line, uint8_t level) {
  if (InRange(line)) items_[static_cast<size_t>(line)]->Level = level;
}

// ---- folding ----

bool TQuillStrings::GetVisible(int line) const { return (GetItemStates(line) & istHidden) == 0; }

bool TQuillStrings::GetLineVisible(int line) const {
  if (!hideLines_ || !InRange(line)) return true;
  return !items_[static_cast<size_t>(line)]->Invisible;
}

void TQuillStrings::SetLineVisible(int line, bool visible) {
  if (!InRange(line)) return;
  items_[static_cast<size_t>(line)]->Invisible = !visible;
  if (hideLines_) {
    if (visible)
      hidden_.Remove(line);
    else
      hidden_.Add(line);
  }
}

void TQuillStrings::SetVisible(int line, bool visible) {
  if (!InRange(line)) return;
  SetItemState(line, istHidden, !visible);
  const bool viewChanges =
      visible || line == 0 || items_[static_cast<size_t>(line - 1)]->Invisible || GetCollapsed(line - 1);
  if (!viewChanges) return;
  changingVisibility_ = true;
  Changing();
  SetLineVisible(line, visible);
  LinesUpdated(line, MaxInt);
  Changed();
  changingVisibility_ = false;
}

bool TQuillStrings::GetExpanded(int line) const { return (GetItemStates(line) & istExpanded) != 0; }
bool TQuillStrings::GetCollapsed(int line) const { return (GetItemStates(line) & istCollapsed) != 0; }

void TQuillStrings::SetExpandedOrCollapsed(int line, bool expanded, bool collapsed) {
  if (!InRange(line)) return;
  changingVisibility_ = true;
  Changing();
  auto& s = items_[static_cast<size_t>(line)]->States;
  s = static_cast<TQuillItemStates>(s & ~(istExpanded | istCollapsed));
  if (expanded)
    s |= istExpanded;
  else if (collapsed)
    s |= istCollapsed;
  UpdateVisible(line);
  LinesUpdated(line, MaxInt);
  Changed();
  changingVisibility_ = false;
}

void TQuillStrings::UpdateVisible(int line) {
  bool show = GetExpanded(line);
  int blockLevel = -1;
  for (int i = line + 1; i < GetCount(); ++i) {
    auto& item = *items_[static_cast<size_t>(i)];
    if ((item.States & istHidden) == 0) break;
    if (blockLevel < 0) blockLevel = item.Level;
    if (item.Level < blockLevel) break;
    SetLineVisible(i, show);
    if (show && (item.States & istCollapsed) != 0)
      item.States = static_cast<TQuillItemStates>((item.States & ~istCollapsed) | istExpanded);
  }
}

void TQuillStrings::ExpandPrev(int line) {
  for (int i = std::min(line, GetCount()) - 1; i >= 0; --i) {
    if (GetCollapsed(i)) {
      SetExpanded(i, true);
      return;
    }
  }
}

void TQuillStrings::UpdateVisibleLines() {
  hidden_.Clear();
  if (!hideLines_) return;
  for (int i = 0; i < GetCount(); ++i)
    if (items_[static_cast<size_t>(i)]->Invisible) hidden_.Add(i);
}

void TQuillStrings::SetHideLines(bool value) {
  hideLines_ = value;
  UpdateVisibleLines();
}

int TQuillStrings::GetHiddenCount() const { return hideLines_ ? hidden_.Count() : 0; }

int TQuillStrings::GetVisibleCount() const { return std::max(GetCount() - GetHiddenCount(), 0); }

int TQuillStrings::RealToVisibleLineIndex(int line) const {
  if (!hideLines_ || GetCount() < 1 || hidden_.Count() == 0) return line;
  int k = hidden_.FindNear(line, false, false);
  int v = (k >= 0 && k < GetCount()) ? line - (k + 1) : line;
  return GetLineVisible(line) ? v : v + 1;
}

int TQuillStrings::VisibleToRealLineIndex(int visibleLine) const {
  if (!hideLines_ || GetCount() < 1 || hidden_.Count() == 0) return visibleLine;
  int k = hidden_.FindNear(visibleLine, true, false);
  return (k >= 0 && k < GetCount()) ? visibleLine + (k + 1) : visibleLine;
}

// ---- search ----

namespace {

struct WordBounds {
  int start;  // 1-based first character
  int end;    // 1-based last character
};

WordBounds WordAround(const std::string& line, int pos, const TQuillCharSet& delimiters) {
  int n = static_cast<int>(line.size());
  int ws = pos, we = pos;
  while (ws > 1 && !delimiters.Contains(line[static_cast<size_t>(ws - 2)])) --ws;
  while (we < n && !delimiters.Contains(line[static_cast<size_t>(we)])) ++we;
  return {ws, we};
}

}  // namespace

bool SearchInStrings(const std::string& s, const TQuillStrings& strings, TQuillSearchParams params,
                     const TQuillCharSet& delimiters, TPoint& pos, int& len, const TQuillSearchProc& searchProc) {
  len = static_cast<int>(s.size());
  if (s.empty() || strings.Count() == 0) return false;
  const bool upper = (params & srpCaseSensitive) == 0 && !searchProc;
  const std::string text = upper ? UpperCase(s) : s;
  const bool wholeWords = (params & srpWholeWords) != 0;
  bool found = false;

  if (params & srpForward) {
    while (pos.Y < strings.Count()) {
      if (pos.Y < 0) pos.Y = 0;
      std::string line = TrimRightEx(strings.Get(pos.Y));
      int n = static_cast<int>(line.size());
      bool offerEmpty = n == 0 && pos.X == 1 && searchProc;
      if (n < pos.X && !offerEmpty) {
        ++pos.Y;
        pos.X = 1;
        continue;
      }
      if (pos.X < 1) pos.X = 1;
      if (upper) line = UpperCase(line);
      const int from = pos.X;
      if (!searchProc) {
        pos.X = FindPos(text, line, pos.X);
        found = pos.X > 0;
      } else {
        found = searchProc(line, pos.X, len, true);
      }
      if (found && pos.X > 0 && n > 0 && wholeWords) {
        WordBounds w = WordAround(line, std::min(pos.X, n), delimiters);
        if (pos.X != w.start || len != w.end - w.start + 1) {
          found = false;
          int next = pos.X == w.end ? pos.X + 1 : w.end;
          pos.X = std::max(next, from + 1);  // always make progress
          if (!searchProc) len = static_cast<int>(s.size());
          continue;
        }
      }
      if (found) break;
      ++pos.Y;
      pos.X = 1;
    }
  } else {
    while (pos.Y >= 0) {
      if (pos.Y >= strings.Count()) {
        pos.Y = strings.Count() - 1;
        pos.X = static_cast<int>(strings.Get(pos.Y).size());
      }
      std::string line = TrimRightEx(strings.Get(pos.Y));
      int n = static_cast<int>(line.size());
      bool offerEmpty = n == 0 && pos.X == 0 && searchProc;
      if (pos.X <= 0 && !offerEmpty) {
        if (--pos.Y >= 0) pos.X = static_cast<int>(strings.Get(pos.Y).size());
        continue;
      }
      pos.X = std::min(pos.X, n);
      if (upper) line = UpperCase(line);
      const int from = pos.X;
      if (!searchProc) {
        pos.X = FindBackPos(text, line, pos.X);
        found = pos.X > 0;
      } else {
        found = searchProc(line, pos.X, len, false);
      }
      if (found && pos.X > 0 && n > 0 && wholeWords) {
        WordBounds w = WordAround(line, std::min(pos.X, n), delimiters);
        if (pos.X != w.start || len != w.end - w.start + 1) {
          found = false;
          int next = pos.X == w.start ? pos.X - 1 : w.start - 1;
          pos.X = std::min(next, from - 1);  // always make progress
          if (!searchProc) len = static_cast<int>(s.size());
          if (pos.X > 0) continue;
        }
      }
      if (found) break;
      if (--pos.Y >= 0) pos.X = static_cast<int>(strings.Get(pos.Y).size());
    }
  }
  return found;
}

}  // namespace quill
