#include "editor/QuillEditSource.h"

#include <algorithm>
#include <exception>
#include <fstream>

#include "editor/QuillSettings.h"
#include "editor/QuillUtils.h"

namespace quill {

std::vector<TCustomQuillEditSource*>& EditSourceList() {
  static std::vector<TCustomQuillEditSource*> list;
  return list;
}

const TQuillCharSet& DefaultDelimSet() {
  static const TQuillCharSet s = TQuillCharSet::Range(0, 32) - TQuillCharSet(std::string_view("\x01", 1));
  return s;
}

// Balances BeginSourceUpdate/EndSourceUpdate; when an exception unwinds through
// it the count is restored without notifying, so no handler runs mid-failure.
class TCustomQuillEditSource::UpdateScope {
 public:
  UpdateScope(TCustomQuillEditSource& doc, TQuillOperation op) : doc_(doc), exceptions_(std::uncaught_exceptions()) {
    doc_.BeginSourceUpdate(op);
  }
  // A view's handler may raise from the closing notification; that reaches the
  // caller like any other failure of the operation.
  ~UpdateScope() noexcept(false) {
    if (std::uncaught_exceptions() > exceptions_)
      --doc_.sourceUpdate_;
    else
      doc_.EndSourceUpdate();
  }
  UpdateScope(const UpdateScope&) = delete;
  UpdateScope& operator=(const UpdateScope&) = delete;

 private:
  TCustomQuillEditSource& doc_;
  int exceptions_;
};

class TCustomQuillEditSource::InternalScope {
 public:
  explicit InternalScope(TCustomQuillEditSource& doc) : doc_(doc) { ++doc_.internalChange_; }
  ~InternalScope() { --doc_.internalChange_; }
  InternalScope(const InternalScope&) = delete;
  InternalScope& operator=(const InternalScope&) = delete;

 private:
  TCustomQuillEditSource& doc_;
};

TQuillSourceUpdate::TQuillSourceUpdate(TCustomQuillEditSource& doc, TQuillOperation operation, bool block)
    : doc_(doc), block_(block), exceptions_(std::uncaught_exceptions()) {
  doc_.BeginSourceUpdate(operation);
  if (block_) doc_.BeginBlockUpdate();
}

TQuillSourceUpdate::~TQuillSourceUpdate() noexcept(false) {
  if (std::uncaught_exceptions() > exceptions_) {
    // Unwinding: the views hear of the failed change later, if at all.
    try {
      if (block_) doc_.EndBlockUpdate();
      doc_.EndSourceUpdate();
    } catch (...) {
    }
    return;
  }
  if (block_) doc_.EndBlockUpdate();
  doc_.EndSourceUpdate();
}

TCustomQuillEditSource::TCustomQuillEditSource(TQuillComponent* owner)
    : TQuillComponent(owner), delimiters_(DefaultDelimSet()) {
  strings_.OnChange = [this](TQuillObject* sender) { StringsChanged(sender); };
  strings_.OnGetString = [this](TQuillObject* sender, std::string& s, bool changeTabs) { GetString(sender, s, changeTabs); };
  spellTokens_ = {{"tstring", -1}, {"tcomment", -1}};
  UpdateInternalStyles();
  EditSourceList().push_back(this);
}

TCustomQuillEditSource::~TCustomQuillEditSource() {
  auto& list = EditSourceList();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  if (parser_ != nullptr) {
    parser_->UnRegisterNotifier(NotifyEvent<&TCustomQuillEditSource::ParserChanged>(this));
    RemoveFreeNotification(parser_);
  }
  strings_.OnChange = nullptr;
  strings_.OnGetString = nullptr;
}

// ---------------------------------------------------------------- notifications

void TCustomQuillEditSource::Notify() { notifiers_.SendNotification(this, 0); }

void TCustomQuillEditSource::NotifyChanges(int x, int y, TQuillOperation operation) {
  TNotifyRecord record{operation, 0, {x, y}};
  notifiers_.SendNotification(this, reinterpret_cast<intptr_t>(&record));
}

void TCustomQuillEditSource::LinesUpdated(int firstChar, int lastChar, int firstLine, int lastLine, bool edit) {
  auto widenMin = [](int& v, int n) {
    if (n != -1) v = v == -1 ? n : std::min(v, n);
  };
  widenMin(firstLine_, firstLine);
  widenMin(firstChar_, firstChar);
  if (lastLine >= 0) AddChangedLines(std::max(firstLine, 0), std::max(firstLine, lastLine));
  lastLine_ = std::max(lastLine_, lastLine);
  lastChar_ = std::max(lastChar_, lastChar);
  if (edit) state_ |= csEdit;
}

void TCustomQuillEditSource::LinesMoved(int line) {
  // Every line below a break or a join stands elsewhere now, so the changed
  // range runs to the end; the ranges keep only the lines whose text
  // changed, for views that move the rows of the others along.
  lastLine_ = MaxInt;
  if (firstLine_ < 0 || line < firstLine_) firstLine_ = line;
}

void TCustomQuillEditSource::AddChangedLines(int first, int last) {
  // Nearly always the line of the last change, or the one after it.
  if (!changedRanges_.empty()) {
    auto& tail = changedRanges_.back();
    if (first >= tail.first && (tail.second == MaxInt || first <= tail.second + 1)) {
      tail.second = std::max(tail.second, last);
      return;
    }
  }
  changedRanges_.emplace_back(first, last);
  MergeChangedLines();
}

void TCustomQuillEditSource::MergeChangedLines() {
  // A message appended under a cut at the top changes two places far apart:
  // the lines between need not be laid out again. A few ranges are kept;
  // past them the nearest two become one.
  constexpr size_t kRanges = 4;
  auto& ranges = changedRanges_;
  std::sort(ranges.begin(), ranges.end());
  size_t kept = 0;
  for (size_t i = 1; i < ranges.size(); ++i) {
    auto& last = ranges[kept];
    if (last.second == MaxInt || ranges[i].first <= last.second + 1) last.second = std::max(last.second, ranges[i].second);
    else ranges[++kept] = ranges[i];
  }
  ranges.resize(std::min(ranges.size(), kept + 1));
  while (ranges.size() > kRanges) {
    size_t nearest = 0;
    for (size_t i = 1; i + 1 < ranges.size(); ++i)
      if (ranges[i + 1].first - ranges[i].second < ranges[nearest + 1].first - ranges[nearest].second) nearest = i;
    ranges[nearest].second = ranges[nearest + 1].second;
    ranges.erase(ranges.begin() + static_cast<std::ptrdiff_t>(nearest) + 1);
  }
}

void TCustomQuillEditSource::UpdateString(int line) {
  LinesUpdated(0, MaxInt, line, line, false);
  state_ |= csBlockChanged;
}

void TCustomQuillEditSource::UpdateBlock(int x, int y, int dx, int dy) {
  TRect shift{x, y, dx, dy};
  TNotifyRecord record{oprUpdateBlock, reinterpret_cast<intptr_t>(&shift), {-1, -1}};
  notifiers_.SendNotification(this, reinterpret_cast<intptr_t>(&record));
}

// ---------------------------------------------------------------- update brackets

void TCustomQuillEditSource::BeginSourceUpdate(TQuillOperation operation) {
  if (sourceUpdate_ == 0) {
    state_ = 0;
    firstLine_ = lastLine_ = firstChar_ = lastChar_ = -1;
    changedRanges_.clear();
    updateStartPos_ = pos_;
    startCount_ = strings_.Count();
    currentOperation_ = operation;
    newUndoGroup_ = true;
  }
  ++sourceUpdate_;
}

void TCustomQuillEditSource::EndSourceUpdate() {
  if (sourceUpdate_ <= 0) return;
  if (--sourceUpdate_ > 0) return;
  if (!(pos_ == updateStartPos_)) state_ |= csPositionChanged;
  if (state_ & (csEdit | csParagraphChanged)) {
    modified_ = true;
    if (firstLine_ >= 0 && firstLine_ < firstUnparsed_) firstUnparsed_ = firstLine_;
  }
  if (strings_.Count() != startCount_) state_ |= csCountChanged;
  if ((state_ & (csPositionChanged | csEdit)) && !(state_ & csUndo)) RedoList().Clear();
  if (state_ != 0) Notify();
}

void TCustomQuillEditSource::BeginBlockUpdate() {
  if (blockUpdate_ == 0) strings_.ResetUpdateRange();
  ++blockUpdate_;
}

void TCustomQuillEditSource::EndBlockUpdate() {
  if (blockUpdate_ <= 0) return;
  if (--blockUpdate_ > 0) return;
  int first = strings_.UpdateFirst(), last = strings_.UpdateLast();
  SetParsedState(strings_.TextFirst(), strings_.TextLast());
  if (first >= 0) LinesChanged(first, last);
}

void TCustomQuillEditSource::StringsChanged(TQuillObject*) {
  int first = strings_.UpdateFirst(), last = strings_.UpdateLast();
  if (blockUpdate_ == 0 && first >= 0) LinesChanged(first, last);
  if (strings_.ChangingVisibility()) {
    UpdateScope update(*this, oprOther);
    state_ |= csVisibleChanged;
    LinesUpdated(0, MaxInt, first, last, true);
    if (blockUpdate_ == 0) strings_.ResetUpdateRange();
  } else if (internalChange_ == 0) {
    // Lines changed from outside (a load, or lines added through the list): the
    // undo history no longer fits the text.
    {
      UpdateScope update(*this, oprOther);
      LinesUpdated(0, MaxInt, first, last, true);
      state_ |= csPositionChanged | csEdit;
      {
        InternalScope internal(*this);
        JumpTo(0, std::max(first, 0));
      }
      undoLists_[0].Clear();
      undoLists_[1].Clear();
      int tf = strings_.TextFirst(), tl = strings_.TextLast();
      strings_.ResetUpdateRange();
      SetParsedState(tf, tl);
      firstUnparsed_ = std::min(firstUnparsed_, std::max(first, 0));
    }
    modified_ = false;
  } else if (blockUpdate_ == 0) {
    SetParsedState(strings_.TextFirst(), strings_.TextLast());
  }
}

void TCustomQuillEditSource::GetString(TQuillObject*, std::string& s, bool changeTabs) {
  if (!(options_ & srUseTab)) {
    if (changeTabs && internalChange_ == 0) s = tabStops_.GetRealString(s);
  } else if (!changeTabs) {
    s = tabStops_.GetRealString(s);
  }
}

// ---------------------------------------------------------------- helpers

int TCustomQuillEditSource::LineIndex(const std::string& line, int x, int* tabPad) const {
  if (tabPad != nullptr) *tabPad = 0;
  if (options_ & srUseTab) return tabStops_.PosToRealPos(line, x, tabPad);
  return x;
}

const std::string& TCustomQuillEditSource::ShownText(int line, std::string& buffer) const {
  // GetString, the hook of Get, changes only lines with tabs while tabs are kept.
  const std::string& stored = strings_.StoredText(line);
  if (!(options_ & srUseTab) || stored.find('\t') == std::string::npos) return stored;
  buffer = strings_.Get(line);
  return buffer;
}

int TCustomQuillEditSource::DisplayLength(int line) const {
  const std::string& raw = strings_.StoredText(line);
  if (options_ & srUseTab) return tabStops_.RealPosToPos(raw, static_cast<int>(raw.size()));
  return static_cast<int>(raw.size());
}

void TCustomQuillEditSource::ReportLine(int x, int y) {
  // The update counts as an edit before the line is parsed again: the spell check
  // run by that parse leaves the word at the position alone only during edits.
  state_ |= csEdit;
  bool toEnd = NeedUpdate(y);
  LinesUpdated(x, MaxInt, y, toEnd ? MaxInt : y, true);
}

void TCustomQuillEditSource::BeforeTextChanged(int, int, TQuillOperation, int, const TQuillData*) {}
void TCustomQuillEditSource::BeforeRangeDeleted(int, int, int, int) {}
void TCustomQuillEditSource::AfterTextChanged(int, int, TQuillOperation) {}

void TCustomQuillEditSource::UpdatePosition(TPoint at, int dx, int dy) {
  // Lines came or went below line Y: the changed lines already counted
  // there are where they now stand. The lines that moved as they were are
  // told by the change in the count (csCountChanged), not as changed lines.
  auto follow = [&](int& line) {
    if (line > at.Y && line != MaxInt) line = std::max(at.Y, line + dy);
  };
  if (dy != 0) {
    follow(firstLine_);
    follow(lastLine_);
    for (auto& range : changedRanges_) {
      follow(range.first);
      follow(range.second);
    }
    MergeChangedLines();
  }
  UpdateBlock(at.X, at.Y, dx, dy);
  if (bookmarks_.UpdatePosition(at.X, at.Y, dx, dy)) state_ |= csBookMarkChanged;
  if (dy != 0 && lineStyles_.UpdatePosition(at.X, at.Y, 0, dy)) state_ |= csLineStyleChanged;
}

void TCustomQuillEditSource::CheckLastLine() {
  InternalScope internal(*this);
  while (strings_.Count() <= pos_.Y) strings_.Add("");
}

bool TCustomQuillEditSource::OutOfText() const { return pos_.Y >= strings_.Count(); }

// ---------------------------------------------------------------- text operations

void TCustomQuillEditSource::InsertStringWithData(const std::string& s, const TQuillData& data) {
  if (GetReadOnly()) return;
  InternalScope internal(*this);
  UpdateScope update(*this, oprInsert);
  CheckLastLine();
  const int y = pos_.Y;
  const std::string& line = strings_.StoredText(y);
  int tabPad = 0;
  int index = LineIndex(line, pos_.X, &tabPad);
  std::string text = std::string(static_cast<size_t>(tabPad), ' ') + s;
  // Text typed past the end of the line starts at its column. The blanks that
  // reach it go in with it, but they are no text the user typed: bookmarks
  // and selections move by the text alone, and the undo takes the blanks
  // away again without moving anything over them (TrimPadding).
  const int beyond = std::max(index - static_cast<int>(line.size()), 0);
  const int count = static_cast<int>(text.size());
  if (beyond > 0) {
    text.insert(0, static_cast<size_t>(beyond), ' ');
    index -= beyond;
  }
  const int pad = tabPad + beyond;
  TQuillData textData;
  if (!data.empty()) textData = TQuillData(static_cast<size_t>(pad), static_cast<char16_t>(NoData)) + data;
  BeforeTextChanged(index, y, oprInsert, static_cast<int>(text.size()), data.empty() ? nullptr : &textData);
  // In place: appending to a long line costs what is appended. The hook
  // leaves text that goes in inside an internal change as it stands.
  strings_.InsertText(y, index, text);
  AfterTextChanged(index, y, oprInsert);
  ReportLine(pos_.X - pad, y);
  if (options_ & srAllowUndo) {
    auto insertRecord = [&] {
      TQuillUndoRecord r;
      r.Operation = oprInsert;
      r.Value = count;
      r.Point = {beyond, 0};
      if (options_ & srUndoOnlyChanges) {
        r.Store = std::make_unique<TStoreStringRec>();
        r.Store->X = pos_.X - tabPad;
        r.Store->Y = y;
        r.Store->Value = count;
      }
      AddUndoRecord(std::move(r));
    };
    if (tabPad > 0) {
      LockUndo();
      TQuillUndoRecord back;
      back.Operation = oprNavigate;
      back.Point = {-tabPad, 0};
      AddUndoRecord(std::move(back));
      insertRecord();
      TQuillUndoRecord forth;
      forth.Operation = oprNavigate;
      forth.Point = {tabPad, 0};
      AddUndoRecord(std::move(forth));
      UnlockUndo();
    } else {
      insertRecord();
    }
  }
  UpdatePosition({index + beyond, y}, count, 0);
  UpdateSpelling(y);
}

void TCustomQuillEditSource::TrimPadding(int blanks) {
  const int y = pos_.Y;
  if (blanks <= 0 || y >= strings_.Count()) return;
  const std::string line = strings_.GetStr(y);
  const int index = LineIndex(line, pos_.X, nullptr);
  if (index != static_cast<int>(line.size()) || index < blanks ||
      line.find_first_not_of(' ', static_cast<size_t>(index - blanks)) != std::string::npos)
    return;
  {
    InternalScope internal(*this);
    strings_.Put(y, line.substr(0, static_cast<size_t>(index - blanks)));
  }
  ReportLine(index - blanks, y);
  // Replayed, an empty insertion here pads the line out to the position
  // again, as the text that follows it expects.
  if (options_ & srAllowUndo) {
    TQuillUndoRecord r;
    r.Operation = oprDelete;
    r.Store = std::make_unique<TStoreStringRec>();
    r.Store->X = pos_.X;
    r.Store->Y = y;
    AddUndoRecord(std::move(r));
  }
}

void TCustomQuillEditSource::DeleteString(int count) {
  if (GetReadOnly() || count <= 0) return;
  if ((options_ & srUseTab) && !Undoing() && pos_.Y < strings_.Count()) {
    std::string raw = strings_.GetStr(pos_.Y);
    int tabPad = 0;
    int index = tabStops_.PosToRealPos(raw, pos_.X, &tabPad);
    if (tabPad > 0 && index < static_cast<int>(raw.size())) {
      // Deleting inside a tab: the tab becomes blanks first, in one undo step.
      const int oldX = pos_.X;
      const int tabStart = pos_.X - tabPad;
      const int width = tabStops_.Get(tabStart) - tabStart;
      LockUndo();
      JumpTo(tabStart, pos_.Y);
      DeleteString(1);
      InsertString(std::string(static_cast<size_t>(width), ' '));
      JumpTo(oldX, pos_.Y);
      UnlockUndo();
    }
  }
  InternalScope internal(*this);
  UpdateScope update(*this, oprDelete);
  const int y = pos_.Y;
  if (y >= strings_.Count()) return;
  std::string line = strings_.GetStr(y);
  int index = LineIndex(line, pos_.X, nullptr);
  if ((options_ & srUseTab) && !Undoing()) {
    int pad = 0;
    int end = tabStops_.PosToRealPos(line, static_cast<int>(std::min<int64_t>(int64_t{pos_.X} + count, MaxInt)), &pad);
    if (pad > 0) ++end;
    count = std::max(end - index, 0);
  }
  if (index >= static_cast<int>(line.size())) return;
  const int n = std::min(count, static_cast<int>(line.size()) - index);
  std::string deleted = line.substr(static_cast<size_t>(index), static_cast<size_t>(n));
  if (options_ & srAllowUndo) {
    auto store = std::make_unique<TStoreStringRec>();
    store->S = deleted;
    const auto* item = strings_.Item(y);
    store->Data.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      size_t at = static_cast<size_t>(index + i);
      store->Data += at < item->Data.size() ? item->Data[at] : static_cast<char16_t>(NoData);
    }
    store->X = pos_.X;
    store->Y = y;
    for (const auto& m : bookmarks_.List())
      if (m.Y == y && m.X >= index && m.X < index + n) store->Marks.push_back(m);
    TQuillUndoRecord r;
    r.Operation = oprDelete;
    r.Store = std::move(store);
    AddUndoRecord(std::move(r));
  }
  line.erase(static_cast<size_t>(index), static_cast<size_t>(n));
  BeforeTextChanged(index, y, oprDelete, n, nullptr);
  strings_.Put(y, line);
  AfterTextChanged(index, y, oprDelete);
  ReportLine(pos_.X, y);
  // Bookmarks shift by what was really deleted, not by what was asked for.
  UpdatePosition({index, y}, -n, 0);
  UpdateSpelling(y);
}

void TCustomQuillEditSource::BreakString() {
  if (GetReadOnly()) return;
  if (strings_.Count() == 0) {
    InternalScope internal(*this);
    strings_.Add("");
  }
  if (pos_.Y >= strings_.Count()) return;
  InternalScope internal(*this);
  UpdateScope update(*this, oprBreak);
  const int y = pos_.Y;
  strings_.Insert(y + 1, "");
  if (strings_.GetItemStates(y) & (istHidden | istExpanded | istCollapsed)) {
    strings_.SetVisible(y + 1, false);
    strings_.SetLevel(y + 1, strings_.GetLevel(y));
  }
  std::string line = strings_.GetStr(y);
  int tabPad = 0;
  int index = LineIndex(line, pos_.X, &tabPad);
  if (tabPad > 0) ++index;
  BeforeTextChanged(index, y, oprBreak, 0, nullptr);
  if (static_cast<int>(line.size()) > index) {
    strings_.Put(y + 1, line.substr(static_cast<size_t>(index)));
    strings_.Put(y, line.substr(0, static_cast<size_t>(index)));
  }
  if (options_ & srAllowUndo) AddUndoRecordEx(oprBreak, 0);
  AfterTextChanged(index, y, oprBreak);
  UpdatePosition({index, y}, -index, 1);
  LinesUpdated(0, MaxInt, y, y + 1, true);
  LinesMoved(y);
  if (!Undoing()) RemoveTrailSpaces(true);
}

void TCustomQuillEditSource::JoinStrings() {
  if (GetReadOnly()) return;
  const int y = pos_.Y;
  if (y < 0 || y >= strings_.Count()) return;
  std::string line = strings_.GetStr(y);
  int index = LineIndex(line, pos_.X, nullptr);
  if (Undoing() && static_cast<int>(line.size()) > index + 1) {
    size_t trimmed = line.find_last_not_of(' ');
    trimmed = trimmed == std::string::npos ? 0 : trimmed + 1;
    if (static_cast<int>(trimmed) <= index + 1) {
      InternalScope internal(*this);
      line.resize(static_cast<size_t>(index));
      strings_.Put(y, line);
    }
  }
  const int length = static_cast<int>(line.size());
  if (y >= strings_.Count() - 1 || length > index + 1 || strings_.Count() <= 1) return;
  InternalScope internal(*this);
  UpdateScope update(*this, oprJoin);
  // Joining past the end first fills the gap with blanks as an insertion of its
  // own, so undoing the join leaves no blanks behind. A join that undoes a break
  // restores the line as it was: no blanks at all.
  if (!Undoing() && index > length) {
    InsertString(std::string());
    line = strings_.GetStr(y);
  }
  const int joinColumn = std::max(index, length);
  BeforeTextChanged(index, y, oprJoin, 0, nullptr);
  const int paragraph = strings_.Item(y + 1)->ParagraphIndex;
  strings_.Put(y, line + strings_.GetStr(y + 1));
  strings_.Delete(y + 1);
  if (options_ & srAllowUndo) {
    TQuillUndoRecord r;
    r.Operation = oprJoin;
    r.Value = paragraph;
    // Where the line was really joined, relative to the position, so the undo
    // breaks it there even when the position stood one character before.
    const int joinX = (options_ & srUseTab) ? tabStops_.RealPosToPos(line, joinColumn) : joinColumn;
    r.Point = {joinX - pos_.X, 0};
    std::vector<TQuillBookMark> staying;
    for (const auto& m : bookmarks_.List())
      if (m.Y == y && m.X >= joinColumn) staying.push_back(m);
    if ((options_ & srUndoOnlyChanges) || !staying.empty()) {
      r.Store = std::make_unique<TStoreStringRec>();
      r.Store->X = joinX;
      r.Store->Y = y;
      r.Store->Value = paragraph;
      // Bookmarks at the end of the line would go down with the joined text
      // when the join is undone; they are put back.
      r.Store->Marks = std::move(staying);
    }
    AddUndoRecord(std::move(r));
  }
  AfterTextChanged(index, y, oprJoin);
  UpdatePosition({index, y}, joinColumn, -1);
  LinesUpdated(0, MaxInt, y, y, true);
  LinesMoved(y);
}

void TCustomQuillEditSource::DeleteRange(TPoint from, TPoint to) {
  if (GetReadOnly() || from.Y < 0 || to.Y <= from.Y) return;
  UpdateScope update(*this, oprDeleteBlock);
  const std::string& top = strings_.StoredText(from.Y);
  if (KeepsUndo() || (options_ & srUseTab) || to.Y >= strings_.Count() || from.X < 0 ||
      from.X > static_cast<int>(top.size())) {
    // Line by line, each step its own undo record.
    JumpTo(0, to.Y);
    DeleteString(to.X);
    for (int line = to.Y - 1; line >= from.Y; --line) {
      const int column = line == from.Y ? from.X : 0;
      JumpTo(column, line);
      DeleteString(std::max(DisplayLength(line) - column, 0));
      JoinStrings();
    }
    return;
  }
  InternalScope internal(*this);
  // Undo would replay the records kept before over text they did not see.
  undoLists_[0].Clear();
  undoLists_[1].Clear();
  JumpTo(from.X, from.Y);
  const int left = from.X, y = from.Y, bottom = to.Y;
  const int topLength = static_cast<int>(top.size());
  const std::string& last = strings_.StoredText(bottom);
  const int right = std::clamp(to.X, 0, static_cast<int>(last.size()));
  std::string tail = last.substr(static_cast<size_t>(right));
  // The last line is left by the position on its way up, which trims it.
  if (!(options_ & srLeaveTrailSpaces)) tail.erase(tail.find_last_not_of(' ') + 1);
  BeforeRangeDeleted(left, y, right, bottom);
  strings_.Put(y, top.substr(0, static_cast<size_t>(left)) + tail);
  strings_.Delete(y + 1, bottom - y);
  AfterTextChanged(left, y, oprJoin);
  ReportLine(left, y);
  UpdatePosition({0, bottom}, -right, 0);
  UpdatePosition({left, y}, left - topLength, 0);
  UpdatePosition({left, y}, left, y - bottom);
  LinesUpdated(0, MaxInt, y, y, true);
  UpdateSpelling(y);
}

void TCustomQuillEditSource::AddString(int index, const std::string& s) {
  UpdateScope update(*this, oprInsert);
  if (index <= 0)
    JumpTo(0, 0);
  else
    JumpTo(DisplayLength(index - 1), index - 1);
  BreakString();
  JumpTo(0, std::max(index, 0));
  InsertString(s);
}

void TCustomQuillEditSource::RemoveTrailSpaces(bool withUndo) {
  if (options_ & srLeaveTrailSpaces) return;
  const int y = pos_.Y;
  std::string line = strings_.GetStr(y);
  size_t keep = line.find_last_not_of(' ');
  keep = keep == std::string::npos ? 0 : keep + 1;
  if (keep == line.size()) return;
  UpdateScope update(*this, oprDelete);
  if (withUndo) {
    const int oldX = pos_.X;
    int endColumn = static_cast<int>(keep);
    if (options_ & srUseTab) endColumn = tabStops_.RealPosToPos(line, static_cast<int>(keep));
    JumpTo(endColumn, y);
    DeleteString(static_cast<int>(line.size() - keep));
    JumpTo(oldX, y);
  } else {
    InternalScope internal(*this);
    strings_.Put(y, line.substr(0, keep));
  }
  ReportLine(0, y);
}

void TCustomQuillEditSource::Clear() { strings_.Clear(); }

void TCustomQuillEditSource::StringDataChanged(int x, int y, const TQuillData& oldData, int count) {
  if (!(options_ & srAllowUndo) || y < 0 || y >= strings_.Count()) return;
  auto store = std::make_unique<TStoreStringRec>();
  store->X = x;
  store->Y = y;
  store->Data = oldData.substr(0, static_cast<size_t>(std::max(count, 0)));
  TQuillUndoRecord r;
  r.Operation = oprUpdateData;
  r.Store = std::move(store);
  AddUndoRecord(std::move(r));
  LinesUpdated(x, MaxInt, y, y, true);
}

void TCustomQuillEditSource::UpdateStringData(TPoint p, const TQuillData& data) {
  auto* item = strings_.Item(p.Y);
  if (item == nullptr || p.X < 0) return;
  const size_t textLength = item->Text.size();
  if (item->Data.size() < textLength) item->Data.resize(textLength, static_cast<char16_t>(NoData));
  const size_t from = static_cast<size_t>(p.X);
  if (from >= item->Data.size()) return;
  const size_t n = std::min(data.size(), item->Data.size() - from);
  TQuillData old = item->Data.substr(from, n);
  std::copy_n(data.begin(), n, item->Data.begin() + static_cast<std::ptrdiff_t>(from));
  StringDataChanged(p.X, p.Y, old, static_cast<int>(n));
}

void TCustomQuillEditSource::DeleteLeft() {
  std::string line = strings_.Get(pos_.Y);
  if ((options_ & srBackUnindents) && pos_.X == GetFirstValidChar(line) - 1) {
    const int x = pos_.X;
    const int newX = GetPrevIndent();
    JumpTo(newX, pos_.Y);
    DeleteString(x - newX);
    if (options_ & srUseTab) {
      int first = GetFirstValidChar(strings_.Get(pos_.Y)) - 1;
      if (first < newX) InsertString(std::string(static_cast<size_t>(newX - first), ' '));
    }
    JumpTo(newX, pos_.Y);
  } else {
    MoveLeft();
    DeleteString(1);
  }
}

int TCustomQuillEditSource::GetPrevIndent() {
  const int x = pos_.X;
  for (int y = std::min(pos_.Y, strings_.Count()) - 1; y >= 0; --y) {
    std::string line = strings_.Get(y);
    int first = GetFirstValidChar(line) - 1;
    if (first >= static_cast<int>(line.size()) || first > x) continue;
    int p = std::min(x, static_cast<int>(line.size()));
    while (p > 0 && line[static_cast<size_t>(p - 1)] == ' ') --p;
    while (p > 0 && line[static_cast<size_t>(p - 1)] != ' ') --p;
    return std::max(p, 0);
  }
  return 0;
}

void TCustomQuillEditSource::AutoIndentLine(bool insert, int indent) {
  if (!(options_ & srAutoIndent)) return;
  if (insert) {
    if ((options_ & srUseTab) && (options_ & srOptimalFill)) {
      std::string fill;
      int col = 0;
      for (int next = tabStops_.Get(col); next <= indent; next = tabStops_.Get(col)) {
        fill += '\t';
        col = next;
      }
      fill.append(static_cast<size_t>(std::max(indent - col, 0)), ' ');
      InsertString(fill);
    } else {
      InsertString(std::string(static_cast<size_t>(std::max(indent, 0)), ' '));
    }
  }
  JumpTo(indent, pos_.Y);
}

// ---------------------------------------------------------------- position

void TCustomQuillEditSource::Navigate(int dx, int dy) {
  if (sourceUpdate_ == 0) updateStartPos_ = pos_;
  // Targets stay within 0..MaxInt, so "to the end" (MaxInt) never overflows.
  dx = static_cast<int>(std::clamp<int64_t>(dx, -pos_.X, int64_t{MaxInt} - pos_.X));
  dy = static_cast<int>(std::clamp<int64_t>(dy, -pos_.Y, int64_t{MaxInt} - pos_.Y));
  int ty = pos_.Y + dy;
  if (!(options_ & srBeyondEof) || usePages_) {
    int last = std::max(strings_.Count() - 1, 0);
    if (ty > last) ty = last;
    dy = ty - pos_.Y;
  }
  int tx = pos_.X + dx;
  int length = DisplayLength(ty);
  if (tx > length) {
    if (!(options_ & srBeyondEol)) {
      tx = std::max(length, 0);
      dx = tx - pos_.X;
    } else {
      TNotifyRecord record{oprNavigate, 0, {dx, dy}};
      notifiers_.SendNotification(this, reinterpret_cast<intptr_t>(&record));
      dx = static_cast<int>(std::clamp<int64_t>(record.Point.X, -pos_.X, int64_t{MaxInt} - pos_.X));
      dy = static_cast<int>(std::clamp<int64_t>(record.Point.Y, -pos_.Y, int64_t{MaxInt} - pos_.Y));
      tx = pos_.X + dx;
      ty = pos_.Y + dy;
    }
  }
  if ((options_ & srAlwaysOnTabs) && (options_ & srUseTab)) {
    int pad = 0;
    tabStops_.PosToRealPos(strings_.GetStr(ty), tx, &pad);
    if (pad > 0) {
      int start = tx - pad;
      int end = tabStops_.Get(start);
      tx = pad > (end - start) / 2 ? end : start;
      dx = tx - pos_.X;
    }
  }
  if (dx == 0 && dy == 0) return;
  UpdateScope update(*this, oprNavigate);
  if (dy != 0) RemoveTrailSpaces(false);
  pos_ = {pos_.X + dx, pos_.Y + dy};
  if ((options_ & srAllowUndo) && !((options_ & srUndoOnlyChanges) && currentOperation_ != oprInsert)) {
    TQuillUndoRecord r;
    r.Operation = oprNavigate;
    r.Point = {dx, dy};
    AddUndoRecord(std::move(r));
  }
  if (byJump_ && !strings_.GetLineVisible(pos_.Y)) strings_.ExpandPrev(pos_.Y);
}

void TCustomQuillEditSource::JumpTo(int x, int y) {
  byJump_ = true;
  try {
    auto delta = [](int to, int from) {
      return static_cast<int>(std::clamp<int64_t>(int64_t{to} - from, -int64_t{MaxInt}, int64_t{MaxInt}));
    };
    Navigate(delta(x, pos_.X), delta(y, pos_.Y));
  } catch (...) {
    byJump_ = false;
    throw;
  }
  byJump_ = false;
}

TPoint TCustomQuillEditSource::GetCharacterPos() const {
  TPoint p = pos_;
  if (options_ & srUseTab) p.X = tabStops_.PosToRealPos(strings_.GetStr(p.Y), p.X);
  return p;
}

void TCustomQuillEditSource::MoveLeft() {
  if ((options_ & srUseTab) && (!(options_ & srCursorThroughTabs) || (options_ & srAlwaysOnTabs)) && pos_.X > 0) {
    int pad = 0;
    tabStops_.PosToRealPos(strings_.GetStr(pos_.Y), pos_.X - 1, &pad);
    if (pad > 0) {
      JumpTo(pos_.X - 1 - pad, pos_.Y);
      return;
    }
  }
  if (pos_.X > 0 || !(options_ & srMoveUpAtLineBegin))
    Navigate(-1, 0);
  else if (pos_.Y > 0)
    JumpTo(DisplayLength(pos_.Y - 1), pos_.Y - 1);
}

void TCustomQuillEditSource::MoveRightEx(bool force) {
  if ((options_ & srUseTab) && (force || !(options_ & srCursorThroughTabs) || (options_ & srAlwaysOnTabs))) {
    int pad = 0;
    std::string raw = strings_.GetStr(pos_.Y);
    tabStops_.PosToRealPos(raw, pos_.X + 1, &pad);
    if (pad > 0) {
      JumpTo(tabStops_.Get(pos_.X + 1 - pad), pos_.Y);
      return;
    }
  }
  if ((options_ & srMoveDownAtLineEnd) && pos_.X >= DisplayLength(pos_.Y))
    JumpTo(0, pos_.Y + 1);
  else
    Navigate(1, 0);
}

// ---------------------------------------------------------------- undo and redo

void TCustomQuillEditSource::AddUndoRecord(TQuillUndoRecord record) {
  record.GroupOperation = currentOperation_;
  record.Locked = undoLock_ > 0;
  record.GroupStart = newUndoGroup_;
  UndoList().Add(std::move(record));
  newUndoGroup_ = false;
}

void TCustomQuillEditSource::AddUndoRecord(TQuillOperation operation, int value) {
  TQuillUndoRecord r;
  r.Operation = operation;
  r.Value = value;
  AddUndoRecord(std::move(r));
}

void TCustomQuillEditSource::AddUndoRecordEx(TQuillOperation operation, int value) {
  if (!(options_ & srUndoOnlyChanges)) {
    AddUndoRecord(operation, value);
    return;
  }
  TQuillUndoRecord r;
  r.Operation = operation;
  r.Store = std::make_unique<TStoreStringRec>();
  r.Store->X = pos_.X;
  r.Store->Y = pos_.Y;
  r.Store->Value = value;
  AddUndoRecord(std::move(r));
}

void TCustomQuillEditSource::UnlockUndo() {
  if (undoLock_ <= 0) return;
  if (--undoLock_ == 0 && (options_ & srAllowUndo)) AddUndoRecord(oprBlockUndo, 0);
}

void TCustomQuillEditSource::ProcessUndo(TQuillUndoRecord& r) {
  const bool changesOnly = (options_ & srUndoOnlyChanges) != 0;
  if (changesOnly && r.Store &&
      (r.Operation == oprInsert || r.Operation == oprDelete || r.Operation == oprJoin || r.Operation == oprBreak))
    pos_ = {r.Store->X, r.Store->Y};
  switch (r.Operation) {
    case oprNavigate:
      Navigate(-r.Point.X, -r.Point.Y);
      break;
    case oprInsert:
      DeleteString(r.Store ? r.Store->Value : r.Value);
      TrimPadding(r.Point.X);
      break;
    case oprDelete:
      if (r.Store) {
        InsertStringWithData(r.Store->S, r.Store->Data);
        RestoreMarks(r.Store->Marks);  // the delete pulled these to its start
      }
      break;
    case oprJoin: {
      const int shift = changesOnly ? 0 : r.Point.X;
      pos_.X += shift;
      BreakString();
      pos_.X -= shift;
      if (auto* item = strings_.Item(pos_.Y + 1)) item->ParagraphIndex = static_cast<int16_t>(r.Value);
      if (r.Store) RestoreMarks(r.Store->Marks);
      break;
    }
    case oprBreak:
      JoinStrings();
      break;
    case oprUpdateData:
      if (r.Store) {
        UpdateStringData({r.Store->X, r.Store->Y}, r.Store->Data);
        LinesUpdated(0, MaxInt, r.Store->Y, r.Store->Y, true);
      }
      break;
    default:
      break;
  }
}

void TCustomQuillEditSource::RestoreMarks(const std::vector<TQuillBookMark>& marks) {
  if (marks.empty()) return;
  for (const auto& saved : marks) {
    int index = -1;
    if (bookmarks_.FindBookMark(saved.Number, index)) bookmarks_.Items(index) = saved;
  }
  bookmarks_.Sort();
  state_ |= csBookMarkChanged;
}

void TCustomQuillEditSource::Undo() {
  if (!(options_ & srAllowUndo) || UndoList().Count() == 0 || GetReadOnly()) return;
  undoFlipped_ = !undoFlipped_;
  try {
    const TQuillOperation group = RedoList().Last()->GroupOperation;
    UpdateScope update(*this, group);
    BeginBlockUpdate();
    try {
      // One replay makes one group in the opposite list, so the opposite
      // replay takes it back as one step.
      newUndoGroup_ = true;
      while (RedoList().Count() > 0) {
        state_ |= csUndo;
        TQuillUndoRecord* last = RedoList().Last();
        if (last->GroupOperation != group && !last->Locked) break;
        TQuillUndoRecord r = std::move(*last);
        RedoList().DeleteLast();
        ProcessUndo(r);
        const TQuillUndoRecord* next = RedoList().Last();
        const bool lockedRunGoesOn = r.Locked && next != nullptr && next->Locked;
        if (r.GroupStart && !(options_ & srGroupUndo) && !lockedRunGoesOn) break;
      }
    } catch (...) {
      EndBlockUpdate();
      throw;
    }
    EndBlockUpdate();
  } catch (...) {
    undoFlipped_ = !undoFlipped_;
    throw;
  }
  undoFlipped_ = !undoFlipped_;
}

void TCustomQuillEditSource::Redo() {
  undoFlipped_ = !undoFlipped_;
  try {
    Undo();
  } catch (...) {
    undoFlipped_ = !undoFlipped_;
    throw;
  }
  undoFlipped_ = !undoFlipped_;
}

// ---------------------------------------------------------------- bookmarks and line styles

void TCustomQuillEditSource::SetBookMark(int number, TPoint p) {
  UpdateScope update(*this, oprOther);
  ClearBookmark(number);
  bookmarks_.SetBookMark(p, number);
  UpdateBookMark(p.Y);
}

void TCustomQuillEditSource::ClearBookmark(int number) {
  if (number < 0) return;
  UpdateScope update(*this, oprOther);
  int line = -1;
  if (bookmarks_.ClearBookMark(number, line)) UpdateBookMark(line);
}

void TCustomQuillEditSource::GoToBookmark(int number) {
  int index = -1;
  if (number < 0 || !bookmarks_.FindBookMark(number, index)) return;
  TQuillBookMark m = bookmarks_.Items(index);
  goingToBookmark_ = true;
  try {
    JumpTo(m.X, m.Y);
  } catch (...) {
    goingToBookmark_ = false;
    throw;
  }
  goingToBookmark_ = false;
}

void TCustomQuillEditSource::ToggleBookMark(int number, TPoint p) {
  int index = -1;
  if (bookmarks_.FindBookMark(number, index) && bookmarks_.Items(index).Y == p.Y)
    ClearBookmark(number);
  else if (number >= 0)
    SetBookMark(number, p);
}

bool TCustomQuillEditSource::FindBookMark(int number, TPoint& p) const {
  int index = -1;
  if (number == 0 || !bookmarks_.FindBookMark(number, index)) {
    p = {-1, -1};
    return false;
  }
  p = {bookmarks_.Items(index).X, bookmarks_.Items(index).Y};
  return true;
}

int TCustomQuillEditSource::MaxBookMarkNumber() const {
  int best = -1;
  for (const auto& m : bookmarks_.List()) best = std::max(best, m.Number);
  return best;
}

void TCustomQuillEditSource::SetLineBookMark(int line, int number) {
  if (number < 0) return;
  UpdateScope update(*this, oprOther);
  ClearBookmark(number);
  bookmarks_.SetBookMark({0, line}, number);
  UpdateBookMark(line);
}

void TCustomQuillEditSource::UpdateBookMark(int line) {
  if (line < 0 || line >= strings_.Count()) return;
  LinesUpdated(0, MaxInt, line, line, false);
  state_ |= csBookMarkChanged;
}

void TCustomQuillEditSource::SetLineStyle(int line, int style) {
  UpdateScope update(*this, oprOther);
  int index = -1;
  if (lineStyles_.FindByKey(line, index)) {
    if (style < 0)
      lineStyles_.Delete(index);
    else
      lineStyles_.Items(index).Number = style;
  } else if (style >= 0) {
    lineStyles_.Add({0, line, style});
  }
  state_ |= csLineStyleChanged;
  LinesUpdated(0, MaxInt, line, line, false);
}

void TCustomQuillEditSource::ToggleLineStyle(int line, int style) { SetLineStyle(line, GetLineStyle(line) == style ? -1 : style); }

// ---------------------------------------------------------------- parsing

void TCustomQuillEditSource::SetParser(TCustomQuillParser* parser) {
  if (parser != parser_) {
    UpdateScope update(*this, oprOther);
    if (parser_ != nullptr) {
      parser_->UnRegisterNotifier(NotifyEvent<&TCustomQuillEditSource::ParserChanged>(this));
      RemoveFreeNotification(parser_);
    }
    parser_ = parser;
    if (parser_ != nullptr) {
      parser_->RegisterNotifier(NotifyEvent<&TCustomQuillEditSource::ParserChanged>(this));
      FreeNotification(parser_);
    }
    LinesUpdated(0, MaxInt, 0, MaxInt, false);
    state_ |= csParserChanged;
    // Styles of the old parser must not stay on screen.
    firstUnparsed_ = 0;
    SetParsedState(0, MaxInt);
    UpdateDelimiters();
  }
  UpdateInternalStyles();
}

void TCustomQuillEditSource::Notification(TQuillComponent* component, TOperation operation) {
  TQuillComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && component != nullptr && component == parser_) {
    // As SetParser (nil), without calling into the parser, which is going.
    parser_ = nullptr;
    UpdateScope update(*this, oprOther);
    LinesUpdated(0, MaxInt, 0, MaxInt, false);
    ParserChanged(this, 0);
  }
}

void TCustomQuillEditSource::ParserChanged(TQuillObject*, intptr_t) {
  UpdateScope update(*this, oprOther);
  firstUnparsed_ = 0;
  state_ |= csParserChanged;
  SetParsedState(0, MaxInt);
  UpdateDelimiters();
  UpdateInternalStyles();
}

void TCustomQuillEditSource::UpdateDelimiters() {
  if (parser_ != nullptr && !parser_->Delimiters().empty())
    delimiters_ = DefaultDelimSet() | TQuillCharSet(parser_->Delimiters());
}

void TCustomQuillEditSource::UpdateInternalStyles() {
  updatingStyles_ = true;
  if (parser_ != nullptr) {
    urlStyle_ = parser_->GetStyleByName("turl");
    if (options_ & srLiveSpell)
      for (auto& t : spellTokens_) t.Style = parser_->GetStyleByName(t.Name);
  } else {
    urlStyle_ = -1;
    if (options_ & srLiveSpell)
      for (auto& t : spellTokens_) t.Style = -1;
  }
  updatingStyles_ = false;
}

void TCustomQuillEditSource::SetParsedState(int first, int last) {
  if (parser_ != nullptr || NeedSpell() || (options_ & srHighlightUrls)) {
    int to = std::min(last, strings_.Count() - 1);
    for (int i = std::max(first, 0); i <= to; ++i) strings_.SetItemState(i, istParsed, false);
  }
  strings_.ResetUpdateRange();
}

void TCustomQuillEditSource::ParseToString(int line) {
  line = std::min(line, strings_.Count() - 1);
  if (line >= firstUnparsed_) {
    ParseStrings(firstUnparsed_, line, false);
    firstUnparsed_ = line + 1;
  }
}

void TCustomQuillEditSource::ParseStrings(int first, int last, bool force) {
  const bool spell = NeedSpell();
  const bool urls = NeedUrls();
  if (parser_ == nullptr && !spell && !urls) return;
  if (spell) spellDelimiters_ = delimiters_ | WordDelimSet();
  last = std::min(last, strings_.Count() - 1);
  int state = first > 0 ? strings_.GetState(first - 1) : (parser_ != nullptr ? parser_->InitialState : 0);
  for (int line = std::max(first, 0); line <= last; ++line) {
    TQuillStringItem* item = strings_.Item(line);
    if (!force && (item->States & istParsed) && item->StartState == state) {
      state = item->EndState;
      continue;
    }
    item->StartState = static_cast<uint16_t>(state);
    const std::string& text = item->Text;
    const int length = static_cast<int>(text.size());
    item->Data.assign(text.size(), static_cast<char16_t>(NoData));
    if (parser_ != nullptr) {
      parser_->LineIndex = line;
      int pos = 1;
      while (pos <= length) {
        const int from = pos;
        int style = parser_->ParseString(state, text, pos);
        if (pos <= from) pos = from + 1;  // a parser that does not advance cannot hang the editor
        const int to = std::min(pos - 1, length);
        std::fill(item->Data.begin() + (from - 1), item->Data.begin() + to, static_cast<char16_t>(style & 0xFFFF));
      }
      state &= 0xFFFF;
    }
    item->States |= istParsed;
    item->EndState = static_cast<uint16_t>(state);
    if (urls) DoCheckUrl(text, item->Data);
    if (spell) DoCheckSpelling(line, text, item->Data);
  }
}

bool TCustomQuillEditSource::NeedUpdate(int line) {
  if ((parser_ == nullptr && !NeedSpell()) || line < 0 || line >= strings_.Count()) return false;
  uint16_t before = strings_.GetState(line);
  ParseString(line, true);
  return strings_.GetState(line) != before;
}

bool TCustomQuillEditSource::NeedSpell() const { return AllowParsing() && (options_ & srLiveSpell) && OnWordSpell; }
bool TCustomQuillEditSource::NeedUrls() const { return AllowParsing() && (options_ & srHighlightUrls); }

void TCustomQuillEditSource::UpdateSpelling(int line) {
  // Forced: the line is parsed already, but the view calls this after moving the
  // caret, and which word counts as being typed depends on where the caret is now.
  if (NeedSpell()) ParseString(line, true);
}

bool TCustomQuillEditSource::CheckWordSpelling(const std::string& word) {
  bool correct = true;
  if (OnWordSpell) {
    std::string trimmed = TrimWord(word);
    if (!trimmed.empty()) OnWordSpell(this, trimmed, correct);
  }
  return correct;
}

void TCustomQuillEditSource::SpellTokensChanged(TQuillObject*) {
  if (!updatingStyles_) ParserChanged(this, 0);
}

void TCustomQuillEditSource::SetSpellTokens(const std::vector<std::string>& names) {
  spellTokens_.clear();
  for (const auto& n : names) spellTokens_.push_back({n, -1});
  UpdateInternalStyles();
  SpellTokensChanged(this);
}

int TCustomQuillEditSource::GetUrlStyle() const {
  if (parser_ != nullptr) return urlStyle_ >= 0 ? urlStyle_ : 32759;
  return 8;
}

void TCustomQuillEditSource::DoCheckUrl(const std::string& s, TQuillData& data) {
  if (data.size() != s.size()) return;
  const TQuillCharSet linkChars = ValueSet() | UrlSet();
  const char16_t style = static_cast<char16_t>(GetUrlStyle());
  size_t i = 0;
  while (i < s.size()) {
    if (!linkChars.Contains(s[i])) {
      ++i;
      continue;
    }
    size_t start = i;
    while (i < s.size() && linkChars.Contains(s[i])) ++i;
    if (IsHyperString(s.substr(start, i - start + 1)))
      std::fill(data.begin() + static_cast<std::ptrdiff_t>(start), data.begin() + static_cast<std::ptrdiff_t>(i), style);
  }
}

void TCustomQuillEditSource::DoCheckSpelling(int line, const std::string& s, TQuillData& data) {
  if (s.empty() || data.size() != s.size()) return;
  // A caret move that trims the blanks of the line it leaves is an edit too, but the
  // caret is leaving its word then, so that word is checked like the others.
  const bool typing = (state_ & csEdit) && currentOperation_ != oprNavigate && pos_.Y == line;
  size_t i = 0;
  while (i < s.size()) {
    if (spellDelimiters_.Contains(s[i])) {
      ++i;
      continue;
    }
    size_t start = i;
    while (i < s.size() && !spellDelimiters_.Contains(s[i])) ++i;
    const int first = static_cast<int>(start) + 1, last = static_cast<int>(i);
    if (typing && first <= pos_.X && pos_.X <= last) continue;  // the word being typed
    const uint16_t style = data[start];
    if (parser_ != nullptr && style < NoData) {
      bool token = std::any_of(spellTokens_.begin(), spellTokens_.end(), [&](const TQuillSpellToken& t) { return t.Style == style; });
      if (!token) continue;
    }
    if (!CheckWordSpelling(s.substr(start, i - start))) {
      const char16_t marked = style == NoData ? static_cast<char16_t>(65534) : static_cast<char16_t>(style + MisspelledBase);
      std::fill(data.begin() + static_cast<std::ptrdiff_t>(start), data.begin() + static_cast<std::ptrdiff_t>(i), marked);
    }
  }
}

// ---------------------------------------------------------------- properties

void TCustomQuillEditSource::SetOptions(TQuillSourceOptions options) {
  if (options == options_) return;
  const TQuillSourceOptions old = options_;
  // Real tabs and smart tabs exclude each other; the one just turned on wins.
  if ((options & srUseTab) && (options & srSmartTab)) {
    if (!(old & srSmartTab))
      options &= ~srUseTab;
    else
      options &= ~srSmartTab;
  }
  options_ = options;
  if ((old & srBeyondEof) && !(options & srBeyondEof) && pos_.Y > strings_.Count() - 1 && strings_.Count() > 0) {
    int last = strings_.Count() - 1;
    JumpTo(DisplayLength(last), last);
  }
  if ((old ^ options) & srUndoOnlyChanges) {
    undoLists_[0].Clear();
    undoLists_[1].Clear();
    undoLists_[0].ChangesOnly = undoLists_[1].ChangesOnly = (options & srUndoOnlyChanges) != 0;
  }
  strings_.SetHideLines((options & srAllowHiddenLines) != 0);
  if ((old ^ options) & (srLiveSpell | srAllowHiddenLines)) ParserChanged(this, 0);
}

void TCustomQuillEditSource::SetReadOnly(bool value) {
  if (value == readOnly_) return;
  UpdateScope update(*this, oprOther);
  readOnly_ = value;
  state_ |= csReadOnlyChanged;
}

void TCustomQuillEditSource::SetUsePages(bool value) {
  usePages_ = value;
  if (value && strings_.Count() > 0 && pos_.Y > strings_.Count() - 1) {
    int last = strings_.Count() - 1;
    JumpTo(DisplayLength(last), last);
  }
}

void TCustomQuillEditSource::SetUseGlobalSettings(bool value) {
  useGlobalSettings_ = value;
  if (value) {
    if (TQuillSettings* settings = GlobalSettings(this)) settings->ApplySettings(this);
  }
}

// ---------------------------------------------------------------- files

void TCustomQuillEditSource::LoadFromStream(std::istream& stream) { strings_.LoadFromStream(stream); }

void TCustomQuillEditSource::SaveToStream(std::ostream& stream) { strings_.SaveToStream(stream); }

void TCustomQuillEditSource::LoadFromFile(const platform::FileName& fileName) {
  fileName_ = fileName.Display();
  std::ifstream in(fileName.Path(), std::ios::binary);
  if (!in) throw platform::EStreamError("Cannot open file \"" + fileName_ + "\"");
  LoadFromStream(in);
}

void TCustomQuillEditSource::SaveToFile(const platform::FileName& fileName) {
  fileName_ = fileName.Display();
  SaveFileWhole(fileName, [this](std::ostream& out) { SaveToStream(out); });
}

}  // namespace quill
