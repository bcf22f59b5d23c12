// Word wrap and tabs: how lines become rows, and how tabs and indents are
// inserted.

#include <QMetaObject>

#include <algorithm>

#include "editor/QuillDocParser.h"
#include "editor/QuillEdit.h"

namespace quill {

namespace {

constexpr char kObjectChar = '\x01';

int FirstNonBlank(const std::string& s) {
  const size_t at = s.find_first_not_of(" \t");
  return at == std::string::npos ? 0 : static_cast<int>(at);
}

}  // namespace

// ---------------------------------------------------------------------------
// Word wrap

int TCustomQuillEdit::WrapWidth() {
  if (options_ & eoBreakWordsAtMargin) return std::max(margin_.Position(), 1) * painter_->GetDefaultCharWidth();
  if (NeedPages())
    if (TQuillPage* page = GetDefaultPage()) return std::max(page->PageRect().Width() - 2, 0);
  return std::max(ClientWidth() - GetLeftIndent(), 0);
}

void TCustomQuillEdit::OnUpdateWordWrap(TQuillObject*, int first, int last) {
  if (first < LineCount()) UpdateWordWrap(first, last);
}

void TCustomQuillEdit::UpdateWordWrap(int first, int last) {
  first = std::max(first, 0);
  // A wrap asked for while wrapping (a measure that looked at rows) waits
  // for the one under way.
  if (wrapping_) return;
  if (first >= LineCount()) {
    // The lines are gone: so are their rows.
    if (wrapList_->LastLine() >= first) wrapList_->ClearLines(first, MaxInt);
    AfterWrapping();
    return;
  }
  TCustomQuillEditSource& doc = GetEditSource();
  if (doc.Parser() != nullptr || doc.NeedSpell() || doc.NeedUrls()) ParseStrings(first, last);
  if (!wordWrap_ && !NeedStoreInfo()) {
    wrapList_->ClearList();
    AfterWrapping();
    return;
  }
  // Rows are numbered by their place in the list: a line may only get rows
  // when every line before it has them.
  if (first > wrapList_->LastLine() + 1) return;

  wrapping_ = true;
  rebuildingFrom_ = first;
  if (NeedPages()) pages_.BeginUpdate();
  if (first == 0 && last == MaxInt) wrapList_->ClearList();
  else wrapList_->ClearLines(first, last);
  painter_->InitWordWrap(WrapWidth(), doc.Delimiters());
  // Wrapping to the end stops a fixed distance past the first row shown, or
  // with pages once a page holds more than the window shows; later rows are
  // wrapped when something reaches for them.
  const bool toEnd = last == MaxInt;
  const bool pages = NeedPages();
  const int64_t stopRow = toEnd && !pages ? int64_t{windowLine_} + TQuillWrapList::cDefaultWrapDelta : INT64_MAX;
  int pageText = 0;
  if (TQuillPage* page = GetDefaultPage(); page != nullptr && pages)
    pageText = page->GetRealPageSize().Y - page->TopIndent() - page->BottomIndent();
  int pageHeight = 0;
  auto addRow = [&](const std::string& s, int line, int start, int end) {
    AddToWrapList(s, line, start, end);
    if (!toEnd || !pages) return;
    const int height = painter_->GetLineHeight(line, start);
    // A row that does not fit on the page starts the next one.
    pageHeight = pageHeight + height > pageText && pageHeight > 0 ? height : pageHeight + height;
  };
  const int lastLine = std::min(last, LineCount() - 1);
  for (int line = first; line <= lastLine; ++line) {
    BeforeWrapString(line);
    const std::string s = GetLines().Get(line);
    if (wordWrap_ && !s.empty()) {
      int pos = 1;
      while (pos != MaxInt) {
        const int start = pos;
        WordBreakProc(line, s, pos);
        addRow(s, line, start - 1, pos == MaxInt ? MaxInt : pos - 1);
      }
    } else {
      addRow(s, line, 0, MaxInt);
    }
    rebuildingFrom_ = line + 1;
    if (wrapList_->Count() > stopRow || pageHeight > ClientHeight()) break;
  }
  if (NeedPages()) {
    PagesStaleFrom(first);
    pages_.EndUpdate();
  }
  rebuildingFrom_ = -1;
  wrapping_ = false;
  AfterWrapping();
}

void TCustomQuillEdit::ShiftRows(int line, int delta) {
  if (linesBeforeShift_ < 0) linesBeforeShift_ = LineCount() - delta;
  rowsShifted_ += delta;
  wrapList_->ShiftLines(line, delta);
}

bool TCustomQuillEdit::RowsFollowedLines() {
  // A line added without a shift (the document's last, made for the caret)
  // leaves the count of lines and the shifts apart.
  return linesBeforeShift_ >= 0 && LineCount() - linesBeforeShift_ == rowsShifted_;
}

void TCustomQuillEdit::AfterWrapping() { WordWrapUpdated(false); }

void TCustomQuillEdit::PagesStaleFrom(int line) {
  // The page that ended just before the line may take more of the text now:
  // it is measured again, and every page after it.
  int stale = 0;
  while (stale < pages_.MeasuredCount() && pages_.GetItem(stale).LastLine < line - 1) ++stale;
  if (stale < pages_.MeasuredCount()) {
    pages_.SetMeasuredCount(stale);
    ResetScrollCache();
  }
}

void TCustomQuillEdit::WordBreakProc(int line, const std::string& s, int& pos) {
  const int length = static_cast<int>(s.size());
  // However narrow the row, it takes at least one character: wrapping must
  // always get on.
  const int fit = std::max(painter_->GetWrapLenForLine(line, s, pos), 1);
  if (length - pos + 1 <= fit) {
    pos = MaxInt;
    return;
  }
  const TCustomQuillEditSource& doc = GetEditSource();
  int at = 0;
  for (int i = pos + fit; i >= pos; --i) {
    // An embedded object starts a row of its own (unless it already does).
    if (i - 1 > pos && s[static_cast<size_t>(i - 2)] == kObjectChar) {
      at = i - 2;
      break;
    }
    if (IsDelimiter(doc, s, i)) {
      at = i;
      break;
    }
  }
  if (at == 0) at = pos + std::max(fit - 1, 1) - 1;
  pos = at + 1 > length ? MaxInt : at + 1;
}

void TCustomQuillEdit::AddToWrapList(const std::string&, int line, int start, int end) {
  wrapList_->Add(line, start, end);
}

void TCustomQuillEdit::WordWrapUpdated(bool repaint) {
  if (painting_) {
    UpdateBarsAfterPaint();
    return;
  }
  if (repaint) Invalidate();
  UpdateScrollBars();
  UpdateScrollPos();
}

void TCustomQuillEdit::UpdateBarsAfterPaint() {
  // Rows wrapped and pages measured while painting change the scroll range;
  // the bars wait until the paint is over, so painting never resizes the
  // window or starts another paint.
  if (wrapUpdatePending_) return;
  wrapUpdatePending_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        wrapUpdatePending_ = false;
        WordWrapUpdated(false);
      },
      Qt::QueuedConnection);
}

void TCustomQuillEdit::InvalidateEditor(int first, int last) {
  if (painting_ || first > last) return;
  if (RedrawHeld()) {
    held_.FirstLine = std::min(held_.FirstLine, first);
    return;
  }
  // Only what is on screen: lines far off need no measuring (nor wrapping).
  const TPoint top = PageLayout() ? PixelToTextPoint({0, 0}, false) : TopLeftPoint();
  const TPoint bottom = PixelToTextPoint({0, ClientHeight()}, false);
  if (first > bottom.Y || last < top.Y) return;
  const int y1 = first <= top.Y ? GetTopIndent() : TextToPixelPoint({0, first}, false).Y;
  const int y2 = last >= bottom.Y || last >= LineCount() - 1 ? ClientHeight()
                                                             : TextToPixelPoint({0, last + 1}, false).Y;
  InvalidateRect({0, std::max(y1, GetTopIndent()), ClientWidth(), std::min(y2, ClientHeight())});
}

std::vector<std::string> TCustomQuillEdit::GetWrapLines() {
  std::vector<std::string> out;
  TQuillStrings& lines = GetLines();
  if (!wordWrap_) {
    for (int i = 0; i < lines.Count(); ++i) out.push_back(lines.Get(i));
    return out;
  }
  wrapList_->CheckWrapUpdated(lines.Count() - 1, false);
  for (int row = 0; row < wrapList_->Count(); ++row) {
    const TQuillWrapRecord& r = wrapList_->Items(row);
    const std::string s = lines.Get(r.Line);
    const size_t start = std::min(static_cast<size_t>(r.Start), s.size());
    out.push_back(s.substr(start, r.End == MaxInt ? std::string::npos : static_cast<size_t>(r.End - r.Start)));
  }
  return out;
}

// ---------------------------------------------------------------------------
// Tabs and indentation

int TCustomQuillEdit::GetTabIndent(bool useTabStops) {
  TCustomQuillEditSource& doc = GetEditSource();
  const TPoint caret = doc.CurrentPosition();
  const TQuillSourceOptions options = doc.Options();
  int result = useTabStops ? doc.TabStops().Get(caret.X) : 0;
  const bool autoIndent = caret.X != 0 && (options & srAutoIndent) && !useTabStops;
  const bool smartTab = (options & srSmartTab) && useTabStops;
  if (!autoIndent && !smartTab) return result;
  TQuillStrings& lines = GetLines();
  // From the caret's own line up: a new line's indent comes from the line it
  // was broken off, and a smart tab finds nothing on its own line when the
  // caret is at its end.
  for (int y = std::min(caret.Y, lines.Count() - 1); y >= 0; --y) {
    const std::string s = lines.Get(y);
    if (s.empty()) continue;
    const int indent = FirstNonBlank(s);
    if (smartTab) {
      const int length = static_cast<int>(s.size());
      if (length <= caret.X) continue;
      if (indent > caret.X) return indent;
      return WordRightFrom(s, caret.X);
    }
    if (indent <= caret.X) return indent;
  }
  return result;
}

void TCustomQuillEdit::InsertTab() {
  TCustomQuillEditSource& doc = GetEditSource();
  keepColumn_ = false;
  if (doc.Options() & srUseTab) {
    doc.InsertString("\t");
    if (hideCaret_) Navigate(ecRight);
    else doc.MoveRightEx(true);
    return;
  }
  const TPoint caret = doc.CurrentPosition();
  const int target = GetTabIndent(true);
  if (target <= caret.X) return;
  doc.InsertString(std::string(static_cast<size_t>(target - caret.X), ' '));
  doc.JumpTo(target, caret.Y);
}

namespace {
// The indent the block tab commands use: one tab, or blanks to the next stop.
std::string TabIndentText(TCustomQuillEditSource& doc, int target) {
  if (doc.Options() & srUseTab) return "\t";
  return std::string(static_cast<size_t>(std::max(target - doc.CurrentPosition().X, 1)), ' ');
}
}  // namespace

void TCustomQuillEdit::EnTabBlock() {
  IndentText = TabIndentText(GetEditSource(), GetTabIndent(true));
  ProcessBlock(ecIndentBlock);
  IndentText.clear();
}

void TCustomQuillEdit::DeTabBlock() {
  IndentText = TabIndentText(GetEditSource(), GetTabIndent(true));
  ProcessBlock(ecOutdentBlock);
  IndentText.clear();
}

void TCustomQuillEdit::EnTabLine() {
  ProcessBlock(ecSelectLine);
  ProcessBlock(ecEnTabBlock);
}

void TCustomQuillEdit::DeTabLine() {
  ProcessBlock(ecSelectLine);
  ProcessBlock(ecDeTabBlock);
}

}  // namespace quill
