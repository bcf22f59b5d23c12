// Stream and column selections, the block commands and mouse selection.

#include <QCursor>

#include <algorithm>

#include "editor/QuillCommands.h"
#include "editor/QuillDocParser.h"
#include "editor/QuillEdit.h"
#include "editor/QuillSettings.h"
#include "editor/QuillTimer.h"

namespace quill {

namespace {

bool Before(TPoint a, TPoint b) { return a.Y < b.Y || (a.Y == b.Y && a.X < b.X); }

// A stream from two points, whichever comes first.
TRect Ordered(TPoint a, TPoint b) {
  if (Before(b, a)) std::swap(a, b);
  return {a.X, a.Y, b.X, b.Y};
}

}  // namespace

// ---------------------------------------------------------------------------
// The selection

void TCustomQuillEdit::CheckSelType(TQuillSelType& selType) {
  if (selType == TQuillSelType::slNone) return;
  switch (blockSelMode_) {
    case TQuillBlockSelMode::bsStream: selType = TQuillSelType::slStream; break;
    case TQuillBlockSelMode::bsBlock: selType = AllowBlockSel() ? TQuillSelType::slBlock : TQuillSelType::slNone; break;
    case TQuillBlockSelMode::bsNone: selType = TQuillSelType::slNone; break;
    case TQuillBlockSelMode::bsBoth:
      if (selType == TQuillSelType::slBlock && !AllowBlockSel()) selType = TQuillSelType::slStream;
      break;
  }
}

bool TCustomQuillEdit::IsEmptyBlock(const TRect& r, TQuillSelType selType) const {
  switch (selType) {
    case TQuillSelType::slStream: return r.Top > r.Bottom || (r.Top == r.Bottom && r.Left >= r.Right);
    case TQuillSelType::slBlock:
      return r.Top > r.Bottom || r.Left > r.Right || (r.Left == r.Right && (options_ & eoReduceBlockSel));
    case TQuillSelType::slNone: break;
  }
  return true;
}

void TCustomQuillEdit::SetSelection(TRect rect, TQuillSelType selType) {
  CheckSelType(selType);
  if (selType == selType_ && rect == selRect_) return;
  InvalidateSelection(selRect_, selType_);
  if (!NeedSelection()) {
    selType_ = TQuillSelType::slNone;
  } else {
    selRect_ = rect;
    selType_ = selType;
    if (IsBlockEmpty()) selType_ = TQuillSelType::slNone;
  }
  if (selType_ == TQuillSelType::slNone) {
    selRect_ = {};
    selStartAtEnd_ = selEndAtEnd_ = false;
  }
  InvalidateSelection(selRect_, selType_);
  if (GetEditSource().SourceUpdateCount() == 0) SelectionChanged();
}

TRect TCustomQuillEdit::GetBlockSelRect() {
  const TPoint a = TextToPixelPoint({selRect_.Left, selRect_.Top}, false);
  const TPoint b = TextToPixelPoint({selRect_.Right, selRect_.Bottom}, false);
  return {a.X, a.Y, b.X == MaxInt ? ClientWidth() : b.X, b.Y};
}

bool TCustomQuillEdit::GetSelBounds(int line, int row, int& left, int& right, bool inPixels) {
  const TRect& r = selRect_;
  if (selType_ == TQuillSelType::slNone) return false;
  int rightEdge = ClientWidth(), leftEdge = GetLeftIndent();
  if (inPixels && PageLayout())
    if (TQuillPage* page = pages_.GetPageAt({0, line}, true)) {
      const TRect text = page->PageRect();
      leftEdge = text.Left;
      rightEdge = text.Right;
    }
  if (selType_ == TQuillSelType::slBlock) {
    if (line < r.Top || line > r.Bottom) return false;
    // Blocks stay rectangles on screen: the columns of every row come from
    // the pixels of the first.
    const TRect pixels = GetBlockSelRect();
    const int rightPixel = (options_ & eoReduceBlockSel) ? pixels.Right
                                                          : TextToPixelPoint({r.Right + 1, r.Top}, false).X;
    if (inPixels) {
      left = pixels.Left;
      right = rightPixel;
    } else {
      const int visualRow = wordWrap_ && row >= 0 ? row : VisibleLineOf(line);
      left = PixelToTextChar(visualRow, pixels.Left, false).X;
      right = PixelToTextChar(visualRow, rightPixel, false).X;
    }
    return true;
  }
  bool first = false, last = false;
  if (wordWrap_ && row >= 0) {
    const int startRow = RowOfPoint({r.Left, r.Top}, selStartAtEnd_);
    const int endRow = RowOfPoint({r.Right, r.Bottom}, selEndAtEnd_);
    if (row < startRow || row > endRow) return false;
    first = row == startRow;
    last = row == endRow;
    left = first ? r.Left : wrapList_->Items(row).Start;
  } else {
    if (line < r.Top || line > r.Bottom) return false;
    first = line == r.Top;
    last = line == r.Bottom;
    left = first ? r.Left : 0;
  }
  right = last ? r.Right : MaxInt;
  if (inPixels) {
    left = first ? TextToPixelPoint({r.Left, r.Top}, selStartAtEnd_).X : leftEdge;
    right = last ? TextToPixelPoint({r.Right, r.Bottom}, selEndAtEnd_).X : rightEdge;
  }
  return true;
}

bool TCustomQuillEdit::InsideRect(int x, int y, const TRect& r, TQuillSelType selType) {
  switch (selType) {
    case TQuillSelType::slStream:
      if (y < r.Top || y > r.Bottom) return false;
      if (y == r.Top && x < r.Left) return false;
      return !(y == r.Bottom && x >= r.Right);
    case TQuillSelType::slBlock: {
      if (y < r.Top || y > r.Bottom) return false;
      const TPoint p = TextToPixelPoint({x, y}, false);
      const TPoint a = TextToPixelPoint({r.Left, r.Top}, false);
      const TPoint b = TextToPixelPoint({r.Right, r.Bottom}, false);
      const bool beforeRight = (options_ & eoReduceBlockSel) ? p.X < b.X : p.X <= b.X;
      return a.X <= p.X && beforeRight && a.Y <= p.Y && p.Y <= b.Y;
    }
    case TQuillSelType::slNone: break;
  }
  return false;
}

bool TCustomQuillEdit::IsValidBlockPos(int x, int y) {
  const TRect& r = selRect_;
  switch (selType_) {
    case TQuillSelType::slNone: return true;
    case TQuillSelType::slStream: return (TPoint{x, y} == TPoint{r.Left, r.Top}) || (TPoint{x, y} == TPoint{r.Right, r.Bottom});
    case TQuillSelType::slBlock: return (y == r.Top || y == r.Bottom) && (x == r.Left || x == r.Right);
  }
  return false;
}

void TCustomQuillEdit::SetSearchRect(TRect rect) {
  if (rect == searchRect_) return;
  InvalidateSearchRect();
  searchRect_ = rect;
  InvalidateSearchRect();
}

void TCustomQuillEdit::SelectBlock(TQuillSelType selType, const std::function<void()>& moveProc, int navigateCommand,
                                   TPoint from) {
  CheckSelType(selType);
  TRect r = selRect_;
  bool startAtEnd = selStartAtEnd_, endAtEnd = selEndAtEnd_;
  ++selUpdate_;
  TCustomQuillEditSource& doc = GetEditSource();
  const TPoint caret = doc.CurrentPosition();
  auto move = [&] {
    ++mousePositioning_;
    if (moveProc) moveProc();
    else Navigate(navigateCommand);
    --mousePositioning_;
  };
  if (selType_ != TQuillSelType::slNone && IsValidBlockPos(caret.X, caret.Y)) {
    // Extending: the corner where the caret stood follows it.
    move();
    const TPoint now = doc.CurrentPosition();
    if (selType == TQuillSelType::slStream) {
      if (caret == TPoint{r.Left, r.Top}) {
        r.Left = now.X;
        r.Top = now.Y;
        startAtEnd = caretAtEnd_;
      } else {
        r.Right = now.X;
        r.Bottom = now.Y;
        endAtEnd = caretAtEnd_;
      }
      if (Before({r.Right, r.Bottom}, {r.Left, r.Top})) {
        r = {r.Right, r.Bottom, r.Left, r.Top};
        std::swap(startAtEnd, endAtEnd);
      }
    } else {
      (caret.X == r.Left ? r.Left : r.Right) = now.X;
      (caret.Y == r.Top ? r.Top : r.Bottom) = now.Y;
    }
  } else {
    move();
    const TPoint now = doc.CurrentPosition();
    r = selType == TQuillSelType::slBlock ? TRect{from.X, from.Y, now.X, now.Y} : Ordered(from, now);
    startAtEnd = endAtEnd = false;
  }
  if (selType == TQuillSelType::slBlock) {
    if (r.Left > r.Right) std::swap(r.Left, r.Right);
    if (r.Top > r.Bottom) std::swap(r.Top, r.Bottom);
  }
  SetSelection(r, selType);
  selStartAtEnd_ = startAtEnd;
  selEndAtEnd_ = endAtEnd;
  --selUpdate_;
  if (selType_ != TQuillSelType::slNone) {
    const TPoint now = doc.CurrentPosition();
    if (now == TPoint{selRect_.Left, selRect_.Top}) selStartAtEnd_ = caretAtEnd_;
    if (now == TPoint{selRect_.Right, selRect_.Bottom}) selEndAtEnd_ = caretAtEnd_;
  }
}

void TCustomQuillEdit::SelectStreamBlock(int navigateCommand) {
  SelectBlock(TQuillSelType::slStream, nullptr, navigateCommand, GetCurrentPosition());
}

void TCustomQuillEdit::SelectSquareBlock(int navigateCommand) {
  SelectBlock(TQuillSelType::slBlock, nullptr, navigateCommand, GetCurrentPosition());
}

void TCustomQuillEdit::UpdateBlock(int x, int y, int dx, int dy) {
  auto shift = [&](TPoint& p) {
    if (dy == 0) {
      if (p.Y != y || p.X == MaxInt) return;
      // A point inside deleted text goes to where the deletion began.
      if (dx > 0 && p.X >= x) p.X += dx;
      else if (dx < 0 && p.X > x) p.X = std::max(x, p.X + dx);
    } else if (dy > 0) {
      if (p.Y > y || (p.Y == y && p.X >= x)) {
        if (p.Y == y && p.X != MaxInt) p.X += dx;
        if (p.Y != MaxInt) p.Y += dy;
      }
    } else if (p.Y > y) {
      // A join: the joined line's points move onto the end of line Y; the
      // points of line Y itself stay, and those of lines that went between
      // the two go to where the joined line begins.
      if (p.Y < y - dy) p = {dx, y};
      else if (p.Y + dy == y && p.X != MaxInt) p.X += dx;
      if (p.Y != MaxInt && p.Y != y) p.Y += dy;
    }
    p.X = std::max(p.X, 0);
    p.Y = std::max(p.Y, 0);
  };
  for (TPoint* point : tracked_)
    if (point != nullptr) shift(*point);
  if (selType_ != TQuillSelType::slStream) return;
  TPoint a{selRect_.Left, selRect_.Top}, b{selRect_.Right, selRect_.Bottom};
  shift(a);
  shift(b);
  const TRect moved{a.X, a.Y, b.X, b.Y};
  if (GetEditSource().SourceUpdateCount() == 0) {
    SetSelRect(moved);
  } else {
    // Inside an update the selection follows the text quietly; the update's
    // own repaint shows it.
    selRect_ = moved;
    if (IsBlockEmpty()) {
      selType_ = TQuillSelType::slNone;
      selRect_ = {};
    }
  }
}

void TCustomQuillEdit::DeleteBlock() {
  if (selType_ == TQuillSelType::slNone) return;
  TCustomQuillEditSource& doc = GetEditSource();
  const TRect r = selRect_;
  const TQuillSelType type = selType_;
  // Block columns are taken before anything moves.
  std::vector<std::pair<int, int>> columns;
  if (type == TQuillSelType::slBlock)
    for (int line = r.Top; line <= r.Bottom; ++line) {
      int left = 0, right = 0;
      if (!GetSelBounds(line, -1, left, right, false)) left = right = 0;
      columns.emplace_back(left, right);
    }
  {
    TQuillSourceUpdate update(doc, oprDeleteBlock, true);
    if (type == TQuillSelType::slStream && r.Top == r.Bottom) {
      doc.JumpTo(std::min(r.Left, r.Right), r.Top);
      doc.DeleteString(std::abs(r.Right - r.Left));
    } else if (type == TQuillSelType::slStream) {
      doc.DeleteRange({r.Left, r.Top}, {r.Right, r.Bottom});
    } else {
      for (int line = r.Bottom; line >= r.Top; --line) {
        const auto [left, right] = columns[static_cast<size_t>(line - r.Top)];
        if (right <= left) continue;
        doc.JumpTo(left, line);
        doc.DeleteString(right - left);
      }
    }
    SetSelection({}, TQuillSelType::slNone);
  }
}

void TCustomQuillEdit::SelectLine() {
  const int y = GetCurrentPosition().Y;
  // The last line has no line after it: its selection ends with its text,
  // or the commands on it would copy, or paste back, a line break that is
  // not there.
  if (y >= LineCount() - 1) SetSelection({0, y, LineWidth(y), y}, TQuillSelType::slStream);
  else SetSelection({0, y, 0, y + 1}, TQuillSelType::slStream);
}

void TCustomQuillEdit::SelectWrapLine() {
  const TPoint caret = GetCurrentPosition();
  int start = 0, end = LineWidth(caret.Y);
  if (wordWrap_) {
    const int row = wrapList_->IndexFromPoint(caret, caretAtEnd_);
    if (row >= 0) {
      start = wrapList_->Items(row).Start;
      if (wrapList_->Items(row).End != MaxInt) end = wrapList_->Items(row).End;
    }
  }
  SetSelection({start, caret.Y, end, caret.Y}, TQuillSelType::slStream);
}

void TCustomQuillEdit::MarkWord() {
  TCustomQuillEditSource& doc = GetEditSource();
  const TPoint caret = doc.CurrentPosition();
  int start = 0, end = 0;
  GetWord(doc, caret, start, end, TQuillWordSelType::wsWord);
  if (start == 0 && end == 0) return;
  doc.JumpTo(end, caret.Y);
  SetSelection({start - 1, caret.Y, end, caret.Y}, TQuillSelType::slStream);
}

void TCustomQuillEdit::MarkLineOrWord() {
  selState_ = TQuillSelState::seWord;
  if (options_ & eoDblClickLine) SelectLine();
  else MarkWord();
}

// ---------------------------------------------------------------------------
// Block commands

void TCustomQuillEdit::ProcessBlock(int command) {
  TCustomQuillEditSource& doc = GetEditSource();
  const TPoint caret = doc.CurrentPosition();
  const bool none = selType_ == TQuillSelType::slNone;
  const TPoint unset{-1, -1};
  switch (command) {
    case ecCopy: CopyBlock(); break;
    case ecCut: CutBlock(); break;
    case ecPaste: PasteBlock(); break;
    case ecDeleteBlock:
    case ecDeleteSelection: DeleteBlock(); break;
    case ecMarkBlockBegin:
    case ecMarkBlockEnd: {
      const bool begin = command == ecMarkBlockBegin;
      if (!none) {
        TRect r = selRect_;
        if (begin) r.Left = caret.X, r.Top = caret.Y;
        else r.Right = caret.X, r.Bottom = caret.Y;
        SetSelection(r, selType_);
        break;
      }
      // Begin selects from the caret to the mark, end from the mark to the
      // caret: a stream that would run backwards is no selection.
      if (blockMark_ != unset) {
        const TPoint from = begin ? caret : blockMark_, to = begin ? blockMark_ : caret;
        SetSelection({from.X, from.Y, to.X, to.Y}, TQuillSelType::slStream);
      }
      blockMark_ = caret;
      break;
    }
    case ecCopyToCaret: {
      if (none) break;
      std::vector<std::string> strings;
      for (int i = 0; i < selStrings_.Count(); ++i) strings.push_back(selStrings_.Get(i));
      const TQuillSelType type = selType_;
      SetSelection({}, TQuillSelType::slNone);
      PasteStrings(strings, type);
      break;
    }
    case ecLowerCaseWord: DoProcessBlock(ecMarkWord, -1, true, ecLowerCaseBlock); break;
    case ecUpperCaseWord: DoProcessBlock(ecMarkWord, -1, true, ecUpperCaseBlock); break;
    case ecIndentBlock: DoProcessString(false, [this](std::string& s) { IndentProc(s); }); break;
    case ecOutdentBlock: DoProcessString(false, [this](std::string& s) { OutdentProc(s); }); break;
    case ecSelectLine: SelectLine(); break;
    case ecUpperCaseBlock: DoProcessString(true, UpperCaseProc); break;
    case ecLowerCaseBlock: DoProcessString(true, LowerCaseProc); break;
    case ecMarkWord: MarkWord(); break;
    case ecMoveBlock: MoveBlock(true); break;
    case ecSelectAll: {
      const int last = std::max(LineCount() - 1, 0);
      SetSelection({0, 0, LineWidth(last), last}, TQuillSelType::slStream);
      break;
    }
    case ecToggleCase: DoProcessString(true, ToggleCaseProc); break;
    case ecClearSelection: SetSelection({}, TQuillSelType::slNone); break;
    case ecCapitalize: DoProcessString(true, [this](std::string& s) { CapitalizeProc(s); }); break;
    case ecEnTabBlock: EnTabBlock(); break;
    case ecDeTabBlock: DeTabBlock(); break;
    case ecSelectWrapLine: SelectWrapLine(); break;
    default: break;
  }
}

void TCustomQuillEdit::DoProcessBlock(int before, int navigate, bool restoreCaret, int after) {
  TCustomQuillEditSource& doc = GetEditSource();
  {
    TQuillSourceUpdate update(doc, oprOther);
    const TPoint saved = doc.CurrentPosition();
    if (before >= 0) ProcessBlock(before);
    if (navigate >= 0) {
      Navigate(navigate);
      SetSelection(Ordered(saved, doc.CurrentPosition()), TQuillSelType::slStream);
      if (after >= 0) ProcessBlock(after);
      SetSelection({}, TQuillSelType::slNone);
    } else if (after >= 0) {
      ProcessBlock(after);
    }
    tracked_[0] = tracked_[1] = nullptr;
    if (restoreCaret) doc.JumpTo(saved.X, saved.Y);
  }
}

void TCustomQuillEdit::DoProcessString(bool restoreCaret, const std::function<void(std::string&)>& proc) {
  if (selType_ == TQuillSelType::slNone) return;
  TCustomQuillEditSource& doc = GetEditSource();
  const TPoint saved = doc.CurrentPosition();
  ++selUpdate_;
  try {
    TQuillSourceUpdate update(doc, oprOther);
    std::vector<std::string> strings;
    for (int i = 0; i < selStrings_.Count(); ++i) {
      strings.push_back(selStrings_.Get(i));
      proc(strings.back());
    }
    const TPoint start{selRect_.Left, selRect_.Top};
    const TQuillSelType type = selType_;
    DeleteBlock();
    doc.JumpTo(start.X, start.Y);
    PasteStrings(strings, type);
    if (restoreCaret) doc.JumpTo(saved.X, saved.Y);
  } catch (...) {
    --selUpdate_;
    throw;
  }
  --selUpdate_;
}

void TCustomQuillEdit::IndentProc(std::string& s) {
  if (s.empty()) return;
  s.insert(0, IndentText.empty() ? std::string(static_cast<size_t>(std::max(blockIndent_, 0)), ' ') : IndentText);
}

void TCustomQuillEdit::OutdentProc(std::string& s) {
  if (s.empty()) return;
  // At most the indent's width of leading blanks and tabs goes; text never.
  const size_t width = IndentText.empty() ? static_cast<size_t>(std::max(blockIndent_, 0)) : IndentText.size();
  const std::string front = s.substr(0, width);
  const size_t blanks = std::min(front.find_first_not_of(" \t"), front.size());
  s.erase(0, blanks);
}

void TCustomQuillEdit::UpperCaseProc(std::string& s) { s = UpperCase(s); }

void TCustomQuillEdit::LowerCaseProc(std::string& s) { s = LowerCase(s); }

void TCustomQuillEdit::ToggleCaseProc(std::string& s) {
  for (char& c : s) {
    const char upper = UpperCase(std::string(1, c))[0];
    c = upper != c ? upper : LowerCase(std::string(1, c))[0];
  }
}

void TCustomQuillEdit::CapitalizeProc(std::string& s) {
  s = LowerCase(s);
  const TQuillCharSet& delimiters = GetEditSource().Delimiters();
  for (size_t i = 0; i < s.size(); ++i)
    if (!delimiters.Contains(s[i]) && (i == 0 || delimiters.Contains(s[i - 1]))) s[i] = UpperCase(std::string(1, s[i]))[0];
}

void TCustomQuillEdit::PasteStrings(const std::vector<std::string>& strings, TQuillSelType selType) {
  if (strings.empty()) return;
  TCustomQuillEditSource& doc = GetEditSource();
  const TPoint at = doc.CurrentPosition();
  const int count = static_cast<int>(strings.size());
  const auto length = [](const std::string& s) { return static_cast<int>(s.size()); };
  ++selUpdate_;
  try {
    TQuillSourceUpdate update(doc, oprInsertBlock, true);
    if (count > 1 && selType != TQuillSelType::slBlock) {
      doc.BreakString();
      doc.InsertString(strings.front());
      doc.JumpTo(0, at.Y + 1);
      // A text ending in a break ends with nothing to insert on a line that
      // is there already: the common case of a transcript's every message.
      if (!strings.back().empty() || doc.CurrentPosition().Y >= doc.Strings().Count())
        doc.InsertString(strings.back());
      for (int i = 1; i < count - 1; ++i) {
        doc.JumpTo(0, at.Y + i);
        doc.BreakString();
        doc.InsertString(strings[static_cast<size_t>(i)]);
      }
      const int endX = length(strings.back());
      doc.JumpTo(endX, at.Y + count - 1);
      SetSelection({at.X, at.Y, endX, at.Y + count - 1}, TQuillSelType::slStream);
    } else if (count > 1) {
      // Rows below the last line are reached while the block goes in.
      const TQuillSourceOptions saved = doc.Options();
      doc.SetOptions(saved | srBeyondEof);
      doc.Navigate(0, count - 1);
      for (int i = count - 1; i >= 0; --i) {
        doc.InsertString(strings[static_cast<size_t>(i)]);
        if (i > 0) doc.Navigate(0, -1);
      }
      doc.Navigate(0, count - 1);
      if (!wordWrap_)
        SetSelection({at.X, at.Y, at.X + length(strings.front()) - 1, at.Y + count - 1}, TQuillSelType::slBlock);
      else
        SetSelection({}, TQuillSelType::slNone);
      doc.SetOptions(saved);
    } else {
      const std::string& s = strings.front();
      doc.InsertString(s);
      SetSelection({at.X, at.Y, at.X + length(s), at.Y}, TQuillSelType::slStream);
      if (selType == TQuillSelType::slBlock) {
        doc.Navigate(0, 1);
      } else if (doc.Options() & srUseTab) {
        const std::string line = doc.Strings().GetStr(at.Y);
        const TTabStopList& tabs = doc.TabStops();
        doc.JumpTo(tabs.RealPosToPos(line, tabs.PosToRealPos(line, at.X) + length(s)), at.Y);
      } else {
        doc.JumpTo(at.X + length(s), at.Y);
      }
    }
  } catch (...) {
    --selUpdate_;
    throw;
  }
  --selUpdate_;
}

void TCustomQuillEdit::Toggle(int command) {
  switch (command) {
    case ecToggleOverwrite: SetOverwrite(!GetOverwrite()); break;
    case ecToggleCaseSensitive: SearchSettings().CaseSensitive = !SearchSettings().CaseSensitive; break;
    case ecToggleRegularExpr: SearchSettings().RegularExpr = !SearchSettings().RegularExpr; break;
    default: break;
  }
}

void TCustomQuillEdit::GetColorFromStyle(int styleIndex, TColor& color, TColor& backColor) {
  lineStyles_.GetColors(styleIndex, options_, color, backColor);
}

void TCustomQuillEdit::DoGetDrawStyle(int line, int ch, uint16_t& style) {
  if (OnGetDrawStyle) OnGetDrawStyle(this, line, ch, style);
}

bool TCustomQuillEdit::CheckBrackets(int line, int column) {
  if (!(options_ & eoHighlightBrackets)) return false;
  const TPoint p{column - 1, line};
  return p == brackets_[0] || p == brackets_[1];
}

// ---------------------------------------------------------------------------
// Mouse selection

void TCustomQuillEdit::BeginMouseSelect(TQuillSelState state, TPoint anchor) {
  selState_ = state;
  anchor_ = anchor;
  lastMouse_ = {-1, -1};
  anchorWidened_ = wordExtending_ = false;
  mouseForward_ = true;
  EnableSelTimer();
}

bool TCustomQuillEdit::CheckEndOfLine(TPoint pixel) {
  if (!wordWrap_) return false;
  // The row under the mouse, and whether the mouse is past its soft end.
  const TPoint rowStart = PixelToTextPoint({GetLeftIndent(), pixel.Y}, false);
  const int row = wrapList_->IndexFromPoint(rowStart, false);
  if (row < 0 || wrapList_->Items(row).End == MaxInt) return false;
  const TPoint p = PixelToTextChar(row, pixel.X, false);
  return p.Y == rowStart.Y && p.X >= wrapList_->Items(row).End;
}

namespace {
// A click past a soft row end puts the caret at that end, shown on the row.
TPoint MousePoint(TCustomQuillEdit& edit, TPoint pixel, bool atRowEnd) {
  TPoint p = edit.PixelToTextPoint(pixel, atRowEnd);
  if (atRowEnd) {
    const TPoint rowStart = edit.PixelToTextPoint({edit.GetLeftIndent(), pixel.Y}, false);
    const int row = edit.WrapList().IndexFromPoint(rowStart, false);
    if (row >= 0) p = {edit.WrapList().Items(row).End, rowStart.Y};
  }
  return p;
}
}  // namespace

void TCustomQuillEdit::SetPosByMouse(int x, int y) {
  const bool atEnd = CheckEndOfLine({x, y});
  const TPoint p = MousePoint(*this, {x, y}, atEnd);
  TCustomQuillEditSource& doc = GetEditSource();
  ++mousePositioning_;
  ++selUpdate_;
  caretAtEnd_ = atEnd;
  if (p == doc.CurrentPosition()) UpdateCaret();
  else doc.JumpTo(p.X, p.Y);
  --selUpdate_;
  --mousePositioning_;
}

void TCustomQuillEdit::MouseSelect() {
  if (selState_ != TQuillSelState::seSel && selState_ != TQuillSelState::seDrag) return;
  TPoint pixel;
  if (MousePosition) {
    pixel = MousePosition();
  } else {
    const QPoint local = viewport()->mapFromGlobal(QCursor::pos());
    pixel = {local.x(), local.y()};
  }
  const bool atEnd = CheckEndOfLine(pixel);
  const TPoint p = MousePoint(*this, pixel, atEnd);
  if (p == lastMouse_) return;
  caretAtEnd_ = atEnd;
  TCustomQuillEditSource& doc = GetEditSource();
  if (selState_ == TQuillSelState::seSel) {
    ++selUpdate_;
    ++mousePositioning_;
    {
      TQuillSourceUpdate update(doc, oprOther);
      if (lastMouse_.Y >= 0 && p.Y != lastMouse_.Y) mouseForward_ = p.Y > lastMouse_.Y;
      lastMouse_ = p;
      SelectBlock(IsAltPressed() ? TQuillSelType::slBlock : TQuillSelType::slStream, [this] { MoveProc(); }, -1,
                  anchor_);
      if (wordExtending_ && !anchorWidened_) WidenAnchor();
    }
    --mousePositioning_;
    --selUpdate_;
    return;
  }
  lastMouse_ = p;
  ++selUpdate_;
  doc.JumpTo(p.X, p.Y);
  --selUpdate_;
  viewport()->setCursor(InsideBlock(p.X, p.Y) ? Qt::ForbiddenCursor : dragCursor_);
}

void TCustomQuillEdit::MoveProc() {
  TCustomQuillEditSource& doc = GetEditSource();
  // The way the mouse last went between lines, not where it stands from the
  // anchor: coming back up a line takes the word from its start.
  const bool forward = mouseForward_;
  if ((options_ & eoWordSelection) && selType_ != TQuillSelType::slBlock) {
    int start = 0, end = 0;
    GetWord(doc, lastMouse_, start, end, TQuillWordSelType::wsWord);
    const bool anchorsWord = lastMouse_.Y == anchor_.Y && anchor_.X >= start - 1 && anchor_.X < end;
    if (start > 0 && !anchorsWord) {
      doc.JumpTo(forward ? end : start - 1, lastMouse_.Y);
      wordExtending_ = true;
      return;
    }
  }
  doc.JumpTo(lastMouse_.X, lastMouse_.Y);
}

void TCustomQuillEdit::WidenAnchor() {
  anchorWidened_ = true;
  int start = 0, end = 0;
  GetWord(GetEditSource(), anchor_, start, end, TQuillWordSelType::wsWord);
  if (start == 0 || anchor_.X < start - 1 || anchor_.X >= end) return;
  const TPoint old = anchor_;
  anchor_.X = mouseForward_ ? start - 1 : end;
  TRect r = selRect_;
  if (TPoint{r.Left, r.Top} == old) r.Left = anchor_.X;
  else if (TPoint{r.Right, r.Bottom} == old) r.Right = anchor_.X;
  SetSelRect(r);
}

void TCustomQuillEdit::EnableSelTimer() { selTimer_->SetEnabled(true); }

void TCustomQuillEdit::DisableSelTimer() {
  if (selState_ == TQuillSelState::seSel || selState_ == TQuillSelState::seDrag) {
    if (selTimer_) selTimer_->SetEnabled(false);
    viewport()->setCursor(Qt::IBeamCursor);
    selState_ = TQuillSelState::seNone;
  }
  anchorWidened_ = wordExtending_ = false;
}

}  // namespace quill
