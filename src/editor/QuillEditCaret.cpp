// The caret, the scroll position with its scroll bars, and the commands
// that move the caret or edit at it.

#include <QCursor>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "editor/QuillCommands.h"
#include "editor/QuillDocParser.h"
#include "editor/QuillEdit.h"
#include "editor/QuillHint.h"
#include "platform/Caret.h"

namespace quill {

namespace {

constexpr char kObjectChar = '\x01';

bool ScrollsVertically(TScrollStyle s) { return s == TScrollStyle::ssVertical || s == TScrollStyle::ssBoth; }
bool ScrollsHorizontally(TScrollStyle s) { return s == TScrollStyle::ssHorizontal || s == TScrollStyle::ssBoth; }

std::string TrimTrailingBlanks(const std::string& s) {
  const size_t keep = s.find_last_not_of(' ');
  return keep == std::string::npos ? std::string() : s.substr(0, keep + 1);
}

}  // namespace

// ---------------------------------------------------------------------------
// Scroll position

void TCustomQuillEdit::CheckWindowLine(bool scroll) {
  if (!hideScrollBars_ || PageLayout()) return;
  const int highest = std::max(MaxVisibleLine() - std::max(ScrollPageSize().Y, 1) + 1, 0);
  if (windowLine_ < highest) return;
  if (scroll) SetWindowLine(highest);
  else windowLine_ = highest;
}

void TCustomQuillEdit::SetWindowLine(int line) {
  line = std::max(line, 0);
  if (line == windowLine_) return;
  const int old = windowLine_;
  windowLine_ = line;
  CheckWindowLine(false);
  ParseStrings(PageLayout() ? PixelToTextPoint({0, 0}, false).Y : TopLeftPoint().Y, MaxInt);
  UpdateRulers();
  RepaintControl(windowChar_, old);
  UpdateScrollPos();
  UpdateCaret();
}

void TCustomQuillEdit::SetWindowChar(int column) {
  column = std::max(column, 0);
  if (column == windowChar_) return;
  const int old = windowChar_;
  windowChar_ = column;
  RepaintControl(old, windowLine_);
  UpdateScrollPos();
  UpdateCaret();
  UpdateRulers();
}

int TCustomQuillEdit::ScrollLimit(bool vertical) {
  if (vertical) {
    if (maxScrollHeight_ < 0) maxScrollHeight_ = pages_.GetMaxScrollHeight();
    return std::max(maxScrollHeight_ - ClientHeight(), 0);
  }
  return std::max(pages_.GetMaxScrollWidth(maxScrollPos_) - ClientWidth(), 0);
}

TPoint TCustomQuillEdit::ScrollPageSize() {
  return painter_->ScrollPageSize({GetLeftIndent(), GetTopIndent(), ClientWidth(), ClientHeight()});
}

namespace {

// Where a scroll-bar command takes a scroll position; nothing for no move.
std::optional<int> ScrollTarget(int code, int pos, int current, int step, int page, int limit) {
  switch (code) {
    case scLineUp: return current - step;
    case scLineDown: return current + step;
    case scPageUp: return current - page;
    case scPageDown: return current + page;
    case scPosition:
    case scTrack: return pos;
    case scTop: return 0;
    case scBottom: return limit;
    default: return std::nullopt;
  }
}

}  // namespace

void TCustomQuillEdit::DoVScroll(int code, int pos) {
  if (settingScroll_) return;
  ScrollVertically(code, pos);
  // After the move: a tracked thumb's hint names the row now at the top.
  ProcessVScroll(code, pos);
}

void TCustomQuillEdit::ScrollVertically(int code, int pos) {
  if (code == scEndScroll) return;
  // A thumb dragged without tracking moves nothing yet, but is still told;
  // the bar keeps the thumb where the user holds it.
  if (code == scTrack && !(options_ & eoThumbTracking)) {
    DoScroll(true, code);
    return;
  }
  const bool layout = PageLayout();
  const int limit = layout ? ScrollLimit(true) : MaxVisibleLine();
  const std::optional<int> line = ScrollTarget(code, pos, windowLine_, layout ? painter_->GetDefaultLineHeight() : 1,
                                               layout ? ClientHeight() : std::max(ScrollPageSize().Y, 1), limit);
  if (!line) return;
  SetWindowLine(std::clamp(*line, 0, std::max(limit, 0)));
  UpdateScrollPos();
  DoScroll(true, code);
}

void TCustomQuillEdit::DoHScroll(int code, int pos) {
  if (settingScroll_) return;
  if (code == scEndScroll) return;
  if (code == scTrack && !(options_ & eoThumbTracking)) {
    UpdateRulers();
    DoScroll(false, code);
    return;
  }
  const bool layout = PageLayout();
  const int columns = std::max(ScrollPageSize().X, 1);
  // The widest scroll less what the window shows, both in the layout's unit:
  // pixels on pages, columns in the normal layout (where the widest scroll
  // is a count of columns, and less the window's pixels would be nothing).
  const int limit = layout ? ScrollLimit(false) : std::max(pages_.GetMaxScrollWidth(maxScrollPos_) - columns, 0);
  const std::optional<int> target = ScrollTarget(code, pos, windowChar_, layout ? painter_->GetDefaultCharWidth() : 1,
                                                 layout ? ClientWidth() : columns, limit);
  if (!target) return;
  int column = *target;
  if (layout && (code == scLineDown || code == scPageDown)) column = std::min(column, std::max(limit, windowChar_));
  SetWindowChar(std::max(column, 0));
  UpdateScrollPos();
  UpdateRulers();
  DoScroll(false, code);
}

void TCustomQuillEdit::DoScroll(bool vertical, int code) {
  if (OnScroll) OnScroll(this, vertical, code);
}

void TCustomQuillEdit::DoScrollHint(int line, int page, std::string& hint) {
  if (OnScrollHint) OnScrollHint(this, line, page, hint);
}

void TCustomQuillEdit::ProcessVScroll(int code, int pos) {
  if (!(options_ & eoShowScrollHint)) return;
  if (code == scEndScroll) {
    if (scrollHint_) scrollHint_->hide();
    return;
  }
  if (code != scTrack) return;
  const int row = (options_ & eoThumbTracking) ? windowLine_ : pos;
  const int line = PageLayout() ? PixelToTextPoint({0, row - windowLine_}, false).Y : RowStart(row).Y;
  char text[96];
  int page = 0;
  if (NeedPages()) {
    page = GetPageIndexAt({0, line}, true) + 1;
    std::snprintf(text, sizeof text, "\\rtf\\b Page : \\b0 %d, \\b Line : \\b0 %d ", page, line + 1);
  } else {
    std::snprintf(text, sizeof text, "\\rtf\\b Line : \\b0 %d ", line + 1);
  }
  std::string hint = text;
  DoScrollHint(line + 1, page, hint);
  if (!scrollHint_) scrollHint_ = std::make_unique<TQuillHintWindow>();
  const TPoint size = scrollHint_->CalcHintSize(hint);
  const QPoint mouse = viewport()->mapFromGlobal(QCursor::pos());
  const int x = std::max(ClientWidth() - size.X - 2, 0);
  const int y = std::clamp(mouse.y(), 0, std::max(ClientHeight() - size.Y, 0));
  const QPoint at = viewport()->mapToGlobal(QPoint(x, y));
  scrollHint_->ActivateHint({at.x(), at.y(), at.x() + size.X, at.y() + size.Y}, hint);
}

void TCustomQuillEdit::SetScrollBarInfo(int range, int page, bool vertical) {
  SetScrollSize(vertical, 0, std::max(range, 0), page);
}

void TCustomQuillEdit::UpdateScrollBars() {
  if (destroying_) return;
  if (painting_) {
    UpdateBarsAfterPaint();
    return;
  }
  if (RedrawHeld()) {
    held_.Bars = true;
    return;
  }
  if (updatingBars_) {
    // The bars changed the window's size while being set: set them again.
    barsAgain_ = true;
    return;
  }
  updatingBars_ = true;
  for (int pass = 0; pass < 3; ++pass) {
    barsAgain_ = false;
    const TPoint page = ScrollPageSize();
    if (!ScrollsVertically(scrollBars_)) {
      SetScrollBarInfo(0, -1, true);
    } else if (PageLayout()) {
      SetScrollBarInfo(pages_.GetEstimatedHeight(), ClientHeight(), true);
    } else {
      const int range = MaxVisibleLine();
      int rows = std::max(page.Y, 1);
      if (hideScrollBars_ && rows > range) rows = -1;
      SetScrollBarInfo(range, rows, true);
    }
    if (!ScrollsHorizontally(scrollBars_)) {
      SetScrollBarInfo(0, -1, false);
    } else if (PageLayout()) {
      SetScrollBarInfo(pages_.GetMaxScrollWidth(maxScrollPos_), ClientWidth(), false);
    } else {
      int range = pages_.GetMaxScrollWidth(maxScrollPos_);
      int columns = std::max(page.X, 1);
      if (hideScrollBars_ && wordWrap_) {
        const int margin = std::max(margin_.Position(), 1) * painter_->GetDefaultCharWidth();
        if ((options_ & eoBreakWordsAtMargin) && margin > ClientWidth()) {
          range = margin;
          columns = ClientWidth();
        } else {
          range = 0;
          columns = -1;
        }
      } else if (hideScrollBars_) {
        range = GetMaxLineWidth();
        if (columns > range) columns = -1;
      }
      SetScrollBarInfo(range, columns, false);
    }
    if (!barsAgain_) break;
  }
  updatingBars_ = false;
}

void TCustomQuillEdit::UpdateScrollPos() {
  const bool saved = settingScroll_;
  settingScroll_ = true;
  if (RedrawHeld()) {
    held_.ScrollPos = true;
  } else {
    if (ScrollsVertically(scrollBars_)) SetScrollPos(true, windowLine_);
    if (ScrollsHorizontally(scrollBars_)) SetScrollPos(false, windowChar_);
  }
  if (!wrapping_) UpdateCaret();
  settingScroll_ = saved;
}

// ---------------------------------------------------------------------------
// Caret

TPoint TCustomQuillEdit::GetCaretSize() { return hideCaret_ ? TPoint{0, 0} : painter_->GetCaretSize(); }

void TCustomQuillEdit::CreateCaret() {
  caretSize_ = GetCaretSize();
  caret_->Create(caretSize_.X, caretSize_.Y);
  caret_->Show();
}

void TCustomQuillEdit::UpdateCaretMode() {
  if (hideCaret_ || !Focused() || GetCaretSize() == caretSize_) return;
  caret_->Hide();
  CreateCaret();
  UpdateCaret();
}

void TCustomQuillEdit::UpdateCaret() {
  if (hideCaret_ || !Focused() || wrapping_ || destroying_) return;
  if (RedrawHeld()) {
    held_.Caret = true;
    return;
  }
  const TPoint p = TextToPixelPoint(GetCurrentPosition(), caretAtEnd_);
  UpdateCaretEx(p.X, p.Y == MaxInt ? p.Y : p.Y + painter_->GetCaretBaseLine());
}

void TCustomQuillEdit::UpdateCaretEx(int x, int y) {
  const int left = PageLayout() ? GetLeftRulerIndent() : GetLeftIndent();
  if (y >= GetTopRulerIndent() && x >= left && x != MaxInt && y != MaxInt) {
    caret_->SetPos(x, y);
  } else {
    // Never over the gutter or a ruler: parked out of sight.
    const int h = painter_->GetDefaultLineHeight();
    caret_->SetPos(-2 * h, -2 * h);
  }
}

TPoint TCustomQuillEdit::GetCurrentPosition() const {
  return const_cast<TCustomQuillEdit*>(this)->GetEditSource().CurrentPosition();
}

void TCustomQuillEdit::SetCurrentPosition(TPoint p) { GetEditSource().SetCurrentPosition(p); }

TPoint TCustomQuillEdit::GetCharacterPos() const {
  return const_cast<TCustomQuillEdit*>(this)->GetEditSource().GetCharacterPos();
}

TPoint TCustomQuillEdit::GetCaretPos() {
  const TPoint caret = GetCurrentPosition();
  return wordWrap_ ? wrapList_->PointToWrapPoint(caret, caretAtEnd_) : caret;
}

void TCustomQuillEdit::EnsureVisible(TPoint p) {
  pagePointSet_ = false;
  // Out of the way of moving pixels; a held redraw moves none until its end.
  const bool hide = !RedrawHeld();
  if (hide) caret_->Hide();
  const bool atEnd = p == GetCurrentPosition() && caretAtEnd_;
  if (!PageLayout()) {
    // The point's row and column are looked up once: finding the row wraps
    // the lines up to it, so scrolling leaves both as they are.
    const TPoint wrapped = wordWrap_ ? wrapList_->PointToWrapPoint(p, atEnd) : TPoint{p.X, RowOfPoint(p, atEnd)};
    const int row = wrapped.Y;
    // One measure of the page for both ways: the rich painter finds the rows
    // by adding up the heights of those in view.
    const TPoint page = painter_->ScrollPageSize({GetLeftIndent(), GetTopIndent(), ClientWidth() - 2, ClientHeight()});
    const int rows = std::max(page.Y, 1);
    if (row < windowLine_) SetWindowLine(row);
    else if (row > windowLine_ + rows - 1) SetWindowLine(row - rows + 1);
    const int column = wrapped.X;
    const int columns = std::max(page.X, 0);
    if (column != MaxInt) {
      if (column < windowChar_) SetWindowChar(column);
      else if (column > windowChar_ + columns) SetWindowChar(column - columns);
    }
  } else {
    const TPoint pixel = TextToPixelPoint(p, atEnd);
    const int caretHeight = painter_->GetCaretSize().Y;
    if (pixel.Y < GetTopRulerIndent()) SetWindowLine(windowLine_ + pixel.Y - GetTopRulerIndent());
    else if (pixel.Y > ClientHeight() - caretHeight) SetWindowLine(windowLine_ + pixel.Y - (ClientHeight() - caretHeight));
    if (pixel.X < 0) SetWindowChar(windowChar_ + pixel.X);
    else if (pixel.X != MaxInt && pixel.X > ClientWidth() - 2) SetWindowChar(windowChar_ + pixel.X - (ClientWidth() - 2));
  }
  if (hide) caret_->Show();
}

bool TCustomQuillEdit::IsCurrentLineVisble() {
  const TPoint caret = GetCurrentPosition();
  if (PageLayout()) {
    const int y = TextToPixelPoint(caret, caretAtEnd_).Y;
    return y >= 0 && y <= ClientHeight() - painter_->GetCaretSize().Y;
  }
  const int row = RowOfPoint(caret, caretAtEnd_);
  return row >= windowLine_ && row <= windowLine_ + std::max(ScrollPageSize().Y, 1) - 1;
}

void TCustomQuillEdit::CenterCurrentLine(bool onlyWhenHidden) {
  const bool wasVisible = IsCurrentLineVisble();
  EnsureCaretVisible();
  if (onlyWhenHidden && wasVisible) return;
  const TPoint caret = GetCurrentPosition();
  if (PageLayout()) {
    const int y = TextToPixelPoint(caret, caretAtEnd_).Y;
    SetWindowLine(windowLine_ + y - (ClientHeight() - painter_->GetCaretSize().Y) / 2);
  } else {
    const int rows = std::max(ScrollPageSize().Y, 1);
    SetWindowLine(std::max(RowOfPoint(caret, caretAtEnd_) - (rows - 1) / 2, 0));
  }
}

// ---------------------------------------------------------------------------
// Navigation

void TCustomQuillEdit::Navigate(int command) {
  CheckIncrementalSearch();
  TCustomQuillEditSource& doc = GetEditSource();
  const TPoint caret = doc.CurrentPosition();
  const bool viewer = hideCaret_;
  switch (command) {
    case ecLeft:
    case ecRight:
    case ecWordLeft:
    case ecWordRight:
    case ecLineStart:
    case ecLineEnd:
    case ecDocStart:
    case ecDocEnd:
    case ecWordEnd: keepColumn_ = false; break;
    default: break;
  }
  switch (command) {
    case ecUp:
    case ecDown: {
      const int dy = command == ecUp ? -1 : 1;
      if (viewer) ScrollByLines(dy);
      else WrapNavigate(0, dy);
      break;
    }
    case ecLeft:
    case ecWordLeft:
      if (viewer) SetWindowChar(windowChar_ - 1);
      else if (command == ecLeft) doc.MoveLeft();
      else WordLeft();
      break;
    case ecRight:
    case ecWordRight:
      if (viewer) SetWindowChar(windowChar_ + 1);
      else if (command == ecRight) doc.MoveRight();
      else WordRight();
      break;
    case ecPageUp: PageUpOrDown(true); break;
    case ecPageDown: PageUpOrDown(false); break;
    case ecLineStart: {
      int x = 0;
      if (wordWrap_) {
        const int row = wrapList_->IndexFromPoint(caret, caretAtEnd_);
        if (row >= 0) x = wrapList_->Items(row).Start;
      }
      const bool atEnd = caretAtEnd_ && x == caret.X;
      doc.JumpTo(x, caret.Y);
      caretAtEnd_ = atEnd;
      if (viewer) SetWindowChar(0);
      break;
    }
    case ecLineEnd: LineEnd(); break;
    case ecDocStart: doc.JumpTo(0, 0); break;
    case ecDocEnd: {
      const int last = std::max(LineCount() - 1, 0);
      doc.JumpTo(LineWidth(last), last);
      break;
    }
    case ecWindowTop:
    case ecWindowBottom: {
      const bool top = command == ecWindowTop;
      if (PageLayout()) {
        const TPoint p = PixelToTextPoint({0, top ? 0 : ClientHeight()}, false);
        doc.JumpTo(p.X, p.Y);
        break;
      }
      const int row = std::min(top ? windowLine_ : windowLine_ + std::max(ScrollPageSize().Y, 1) - 1, MaxVisibleLine());
      if (wordWrap_) {
        const int column = wrapList_->PointToWrapPoint(caret, caretAtEnd_).X;
        RowStart(row);
        const TPoint p = wrapList_->WrapPointToPointEx({column, row}, true);
        doc.JumpTo(p.X, p.Y);
      } else {
        doc.JumpToLine(RealLineOf(row));
      }
      break;
    }
    case ecSelectionStart:
      if (selType_ != TQuillSelType::slNone) doc.JumpTo(selRect_.Left, selRect_.Top);
      break;
    case ecSelectionEnd:
      if (selType_ != TQuillSelType::slNone) doc.JumpTo(selRect_.Right, selRect_.Bottom);
      break;
    case ecScrollUp:
    case ecScrollDown: ScrollByLines(command == ecScrollUp ? -1 : 1); break;
    case ecCenterLine: CenterCurrentLine(false); break;
    case ecWordEnd: WordEnd(); break;
    default: break;
  }
}

void TCustomQuillEdit::ScrollByLines(int dy) {
  // In page layout the scroll position is in pixels: a line is a line's height.
  if (PageLayout()) SetWindowLine(std::min(windowLine_ + dy * painter_->GetDefaultLineHeight(), ScrollLimit(true)));
  else SetWindowLine(std::min(windowLine_ + dy, MaxVisibleLine()));
}

void TCustomQuillEdit::WordLeft() {
  TCustomQuillEditSource& doc = GetEditSource();
  TQuillSourceUpdate update(doc, oprNavigate);
  const TPoint caret = doc.CurrentPosition();
  const std::string s = GetLines().Get(caret.Y);
  int x = std::min(caret.X, static_cast<int>(s.size()));
  while (x > 0 && IsDelimiter(doc, s, x)) --x;
  if (x == 0) {
    if (caret.Y > 0) {
      doc.JumpTo(0, caret.Y - 1);
      LineEnd();
    } else {
      doc.JumpTo(0, 0);
    }
    return;
  }
  if (s[static_cast<size_t>(x - 1)] == kObjectChar) {
    --x;
  } else {
    while (x > 0 && !IsDelimiter(doc, s, x) && s[static_cast<size_t>(x - 1)] != kObjectChar) --x;
  }
  doc.JumpTo(x, caret.Y);
}

int TCustomQuillEdit::WordRightFrom(const std::string& s, int x) {
  TCustomQuillEditSource& doc = GetEditSource();
  const int length = static_cast<int>(s.size());
  // A picture is a word of its own.
  if (s[static_cast<size_t>(x)] == kObjectChar) {
    ++x;
  } else {
    while (x < length && !IsDelimiter(doc, s, x + 1) && s[static_cast<size_t>(x)] != kObjectChar) ++x;
  }
  while (x < length && IsDelimiter(doc, s, x + 1)) ++x;
  return x;
}

void TCustomQuillEdit::WordRight() {
  TCustomQuillEditSource& doc = GetEditSource();
  TQuillSourceUpdate update(doc, oprNavigate);
  const TPoint caret = doc.CurrentPosition();
  const std::string s = GetLines().Get(caret.Y);
  if (caret.X < static_cast<int>(s.size())) {
    doc.JumpTo(WordRightFrom(s, caret.X), caret.Y);
  } else if (caret.Y + 1 < LineCount()) {
    doc.JumpTo(0, caret.Y + 1);
  }
}

void TCustomQuillEdit::LineEnd() {
  TCustomQuillEditSource& doc = GetEditSource();
  const TPoint caret = doc.CurrentPosition();
  std::string s = GetLines().Get(caret.Y);
  if (!(doc.Options() & srLeaveTrailSpaces)) s = TrimTrailingBlanks(s);
  int x = static_cast<int>(s.size());
  bool atEnd = false;
  if (wordWrap_) {
    const int row = wrapList_->IndexFromPoint(caret, caretAtEnd_);
    if (row >= 0) {
      const TQuillWrapRecord& r = wrapList_->Items(row);
      if (r.End != MaxInt) {
        x = std::clamp(x, r.Start, r.End);
        atEnd = x == r.End;
      } else {
        x = std::max(x, r.Start);
      }
    }
  }
  doc.JumpTo(x, caret.Y);
  // The caret shows at the end of its row, not at the start of the next.
  caretAtEnd_ = atEnd;
  UpdateCaret();
}

void TCustomQuillEdit::WordEnd() {
  TCustomQuillEditSource& doc = GetEditSource();
  TQuillSourceUpdate update(doc, oprNavigate);
  const TQuillCharSet saved = doc.Delimiters();
  doc.SetDelimiters(DelimSet());
  const TPoint caret = doc.CurrentPosition();
  const std::string s = GetLines().Get(caret.Y);
  const int length = static_cast<int>(s.size());
  int x = caret.X;
  if (x < length && DelimSet().Contains(s[static_cast<size_t>(x)])) ++x;
  while (x < length && WordDelimSet().Contains(s[static_cast<size_t>(x)])) ++x;
  int start = 0, end = 0;
  GetWord(doc, {x, caret.Y}, start, end, TQuillWordSelType::wsWord);
  if (end >= x) x = end;
  doc.SetDelimiters(saved);
  doc.JumpTo(x, caret.Y);
}

void TCustomQuillEdit::WrapNavigate(int dx, int dy) {
  CheckIncrementalSearch();
  TCustomQuillEditSource& doc = GetEditSource();
  if (!wordWrap_ && !(options_ & eoKeepColumn) && !InvisibleLines()) {
    doc.Navigate(dx, dy);
    return;
  }
  const TPoint caret = doc.CurrentPosition();
  if (dx != 0) {
    keepColumn_ = false;
    TPoint wp = wordWrap_ ? wrapList_->PointToWrapPoint(caret, caretAtEnd_) : caret;
    wp = {std::max(wp.X + dx, 0), std::max(wp.Y + dy, 0)};
    const TPoint p = wordWrap_ ? wrapList_->WrapPointToPoint(wp) : wp;
    doc.JumpTo(p.X, p.Y);
    return;
  }
  if (!keepColumn_) {
    keepColumn_ = true;
    keepX_ = TextToPixelPoint(caret, caretAtEnd_).X;
    keepWindowChar_ = windowChar_;
  }
  const int row = RowOfPoint(caret, caretAtEnd_);
  int target = std::max(row + dy, 0);
  const bool beyondEof = (doc.Options() & srBeyondEof) && !NeedPages();
  const int lastRow = std::max(wordWrap_ ? WrapLineCount() - 1 : VisibleLineOf(LineCount() - 1), 0);
  if (!beyondEof) {
    // Hidden lines at the end of the text are no place for the caret.
    if (target > lastRow) target = row;
    target = std::min(target, lastRow);
  }
  if (wordWrap_) RowStart(target);
  // The remembered x was measured at the scroll position of that moment.
  const int x = keepX_ + painter_->GetOffsetFromChar(keepWindowChar_) - painter_->GetOffsetFromChar(windowChar_);
  const TPoint p = PixelToTextChar(target, x, true);
  verticalMove_ = true;
  doc.JumpTo(p.X, p.Y);
  verticalMove_ = false;
}

void TCustomQuillEdit::PageUpOrDown(bool up) {
  TCustomQuillEditSource& doc = GetEditSource();
  if (!pagePointSet_) {
    pagePoint_ = TextToPixelPoint(doc.CurrentPosition(), caretAtEnd_);
    pagePointSet_ = true;
  }
  const TPoint point = pagePoint_;
  const int page = PageLayout() ? ClientHeight() : std::max(ScrollPageSize().Y, 1);
  const int target = windowLine_ + (up ? -page : page);
  {
    TQuillSourceUpdate update(doc, oprNavigate);
    partialRepaint_ = false;
    SetWindowLine(std::min(target, PageLayout() ? ScrollLimit(true) : MaxVisibleLine()));
    if (target < 0) {
      if (wordWrap_) doc.JumpTo(PixelToTextChar(0, point.X, true).X, 0);
      else doc.JumpToLine(0);
    } else {
      const TPoint p = PixelToTextPoint(point, false);
      doc.JumpTo(p.X, p.Y);
    }
    partialRepaint_ = true;
  }
  EnsureCaretVisible();
  Invalidate();
  if (target >= 0) {
    pagePoint_ = point;
    pagePointSet_ = true;
  }
}

void TCustomQuillEdit::BeforeNavigate(TNotifyRecord& record) {
  const TPoint caret = GetCurrentPosition();
  const int dx = record.Point.X, dy = record.Point.Y;
  TQuillStrings& lines = GetLines();
  if (dx == 0 && dy != 0) {
    // A vertical step goes across rows, not lines.
    TPoint wp = wrapList_->PointToWrapPoint(caret, caretAtEnd_);
    wp.Y = std::clamp(wp.Y + dy, 0, std::max(WrapLineCount() - 1, 0));
    RowStart(wp.Y);
    const TPoint p = wrapList_->WrapPointToPointEx(wp, true);
    record.Point = {p.X - caret.X, p.Y - caret.Y};
  } else if (dy == 0 && caret.X >= static_cast<int>(lines.Get(caret.Y).size()) && caret.Y + 1 < lines.Count()) {
    // Past the end of the last row: on to the start of the next line.
    record.Point = {-caret.X, 1};
  } else {
    // Wrapped rows have nothing past the end of a line.
    const int y = caret.Y + dy;
    record.Point.X = static_cast<int>(lines.Get(y).size()) - caret.X;
  }
}

// ---------------------------------------------------------------------------
// Editing at the caret

void TCustomQuillEdit::ProcessKey(int command) {
  if (command == ecEscape) DoneIncrementalSearch();
  TCustomQuillEditSource& doc = GetEditSource();
  const TPoint caret = doc.CurrentPosition();
  const bool multiLine = selType_ != TQuillSelType::slNone && selRect_.Bottom > selRect_.Top;
  switch (command) {
    case ecNewLine: {
      TQuillSourceUpdate update(doc, oprBreak);
      if (!GetOverwrite()) doc.BreakString();
      const int indent = GetTabIndent(false);
      doc.JumpTo(0, caret.Y + 1);
      if (doc.Options() & srAutoIndent) doc.AutoIndentLine(!GetOverwrite(), indent);
      doc.TranslateToSource(static_cast<char>(command));
      break;
    }
    case ecEscape: doc.TranslateToSource(static_cast<char>(command)); break;
    case ecTab:
      if ((options_ & eoEnTabBlock) && multiLine) {
        EnTabBlock();
      } else {
        TQuillSourceUpdate update(doc, oprInsert);
        if (NeedDeleteBlock()) DeleteBlock();
        InsertTab();
      }
      break;
    case ecBackTab:
      if ((options_ & eoEnTabBlock) && multiLine) DeTabBlock();
      else doc.JumpTo(doc.TabStops().GetPrev(caret.X), caret.Y);
      break;
    default: break;
  }
}

void TCustomQuillEdit::UndoOrRedo(int command) {
  if (command == ecUndo) GetEditSource().Undo();
  else if (command == ecRedo) GetEditSource().Redo();
}

void TCustomQuillEdit::DeleteStr(int command) {
  if (command == ecLeft && incSearch_ && !incSearchText_.empty()) {
    IncrementalSearch("", true);
    return;
  }
  if (selType_ != TQuillSelType::slNone && !(options_ & eoPersistentBlocks)) {
    DeleteBlock();
    return;
  }
  TCustomQuillEditSource& doc = GetEditSource();
  TQuillSourceUpdate update(doc, oprDelete);
  const TPoint caret = doc.CurrentPosition();
  const int length = LineWidth(caret.Y);
  switch (command) {
    case ecRight:
      if (caret.X < length) doc.DeleteString(1);
      else doc.JoinStrings();
      break;
    case ecLeft:
      if (caret.X == 0) {
        if (caret.Y == 0) break;
        std::string above = GetLines().Get(caret.Y - 1);
        if (!(doc.Options() & srLeaveTrailSpaces)) above = TrimTrailingBlanks(above);
        doc.JumpTo(static_cast<int>(above.size()), caret.Y - 1);
        doc.JoinStrings();
      } else if (caret.X <= length) {
        doc.DeleteLeft();
      } else {
        doc.MoveLeft();
      }
      break;
    case ecWordLeft:
    case ecWordRight:
    case ecLineStart:
    case ecLineEnd: DoProcessBlock(-1, command, false, ecDeleteBlock); break;
    case ecDeleteLine: DoProcessBlock(ecSelectLine, -1, false, ecDeleteBlock); break;
    case ecDeleteAll: DoProcessBlock(ecSelectAll, -1, false, ecDeleteBlock); break;
    default: break;
  }
}

void TCustomQuillEdit::InsertStr(int command) {
  if (command == ecBreakLine) GetEditSource().BreakString();
}

}  // namespace quill
