// Text and pixel coordinates, indents, rulers, line and row counts, pages.

#include <algorithm>

#include "editor/QuillEdit.h"

namespace quill {

// ---------------------------------------------------------------------------
// Indents

int TCustomQuillEdit::GetGutterIndent(bool withCollapseRoom) {
  int width = gutter_.GetWidth();
  if (lineNumbers_.Visible() && !(lineNumbers_.Options() & lnPaintOnGutter)) width += lineNumberWidth_;
  width += gutter_.Indent();
  if (withCollapseRoom && InvisibleLines() && !(options_ & eoCollapseButtonOnGutter)) width += gutter_.Images().Width();
  return width;
}

int TCustomQuillEdit::GetLeftRulerIndent() {
  return ruler_.VertRulerVisible() ? ruler_.VertRuler()->width() : 0;
}

int TCustomQuillEdit::GetTopRulerIndent() {
  return ruler_.HorzRulerVisible() ? ruler_.HorzRuler()->height() : 0;
}

int TCustomQuillEdit::GetLeftIndent() { return GetGutterIndent(true) + (PageLayout() ? 0 : GetLeftRulerIndent()); }

int TCustomQuillEdit::GetTopIndent() { return PageLayout() ? 0 : GetTopRulerIndent(); }

int TCustomQuillEdit::ScrolledWidth() { return PageLayout() ? windowChar_ : painter_->GetOffsetFromChar(windowChar_); }

// ---------------------------------------------------------------------------
// Rows

int TCustomQuillEdit::GetVisibleLineIndex(int& index) {
  if (!InvisibleLines()) return 0;
  index = GetLines().RealToVisibleLineIndex(index);
  return index;
}

int TCustomQuillEdit::GetRealLineIndex(int& index) {
  if (!InvisibleLines()) return 0;
  index = GetLines().VisibleToRealLineIndex(index);
  return index;
}

int TCustomQuillEdit::VisibleLineOf(int line) {
  GetVisibleLineIndex(line);
  return line;
}

int TCustomQuillEdit::RealLineOf(int visibleLine) {
  GetRealLineIndex(visibleLine);
  return visibleLine;
}

int TCustomQuillEdit::RowOfPoint(TPoint p, bool atRowEnd) {
  if (wordWrap_) return wrapList_->PointToWrapPoint(p, atRowEnd).Y;
  return VisibleLineOf(p.Y);
}

TPoint TCustomQuillEdit::RowStart(int row) {
  row = std::max(row, 0);
  if (!wordWrap_) return {0, RealLineOf(row)};
  wrapList_->CheckWrapUpdated(row, true);
  return wrapList_->WrapPointToPoint({0, row});
}

TPoint TCustomQuillEdit::TopLeftPoint() { return RowStart(PageLayout() ? 0 : windowLine_); }

int TCustomQuillEdit::WrapLineCount() {
  if (!wordWrap_) return LineCount();
  return std::max(LineCount(), wrapList_->Count());
}

int TCustomQuillEdit::VisibleLineCount() {
  int count = WrapLineCount();
  if (InvisibleLines()) count -= GetLines().GetHiddenCount();
  if ((options_ & eoPaintFormattingMarks) && GetFmtMark(TQuillFormattingMark::fmEof) != 0) ++count;
  return std::max(count, 0);
}

// ---------------------------------------------------------------------------
// Text points and pixels

TPoint TCustomQuillEdit::TextToPixelPoint(TPoint p, bool atRowEnd) {
  TPoint r;
  if (!PageLayout()) {
    r = painter_->TextToPixelPoint(p, TopLeftPoint(), atRowEnd);
    if (r.X != MaxInt) r.X += GetLeftIndent() - ScrolledWidth();
  } else {
    TQuillPage* page = pages_.GetPageAt(p, true);
    if (page == nullptr) return {};
    r = painter_->TextToPixelPoint(p, {page->FirstChar, page->FirstLine}, atRowEnd);
    const TRect text = page->PageRect();
    if (r.X != MaxInt) r.X += text.Left;
    if (r.Y != MaxInt) r.Y += text.Top;
  }
  if (r.Y != MaxInt) r.Y += GetTopIndent();
  return r;
}

TPoint TCustomQuillEdit::PixelToTextPoint(TPoint pixel, bool atRowEnd) {
  pixel.Y -= GetTopIndent();
  if (!PageLayout()) {
    if (pixel.X != MaxInt) pixel.X += ScrolledWidth() - GetLeftIndent();
    return painter_->PixelToTextPoint(pixel, TopLeftPoint(), nullptr, atRowEnd);
  }
  TQuillPage* page = pages_.GetPageAt({0, pixel.Y + windowLine_}, false);
  if (page == nullptr) return {};
  const TRect text = page->PageRect();
  const int height = std::max(text.Height(), 1);
  const int y = std::clamp(pixel.Y - text.Top, 0, height - 1);
  int x = pixel.X == MaxInt ? MaxInt : std::min(pixel.X - text.Left, text.Width());
  TPoint p = painter_->PixelToTextPoint({x, y}, {page->FirstChar, page->FirstLine}, &height, atRowEnd);
  // Below the page's text (the last page's empty lower part): its last line.
  if (page->LastLine != MaxInt && p.Y > page->LastLine) p = {page->LastChar == MaxInt ? p.X : page->LastChar, page->LastLine};
  return p;
}

TPoint TCustomQuillEdit::PixelToTextChar(int row, int x, bool limitToRow) {
  if (PageLayout()) {
    TQuillPage* page = pages_.GetPageAt(RowStart(row), true);
    if (page != nullptr) x -= page->PageRect().Left;
  } else {
    x += ScrolledWidth() - GetLeftIndent();
  }
  return painter_->PixelToTextChar(wordWrap_ ? row : RealLineOf(row), x, limitToRow);
}

TRect TCustomQuillEdit::RectFromTextPoint(TRect text) {
  const TPoint topLeft = TextToPixelPoint({text.Left, text.Top}, false);
  TQuillPage* page = PageLayout() ? pages_.GetPageAt({text.Left, text.Top}, true) : nullptr;
  TCustomQuillEditSource& doc = GetEditSource();
  const bool numbersOnGutter = lineNumbers_.Visible() && (lineNumbers_.Options() & lnPaintOnGutter);
  // A gutter that shows something per line repaints with its line.
  const bool gutterPerLine =
      (options_ & eoPaintGutter) && (lineStyles_.Count() > 0 || doc.BookMarks().Count() > 0 || InvisibleLines() ||
                                     ((options_ & eoPaintWrapBookmark) && wordWrap_) || numbersOnGutter);
  TRect r;
  if (gutterPerLine) r.Left = page != nullptr ? page->PageOuterRect(false).Left : 0;
  else if (page != nullptr) r.Left = page->PageRect().Left;
  else r.Left = GetLeftIndent() - (lineNumbers_.Visible() && !numbersOnGutter ? lineNumberWidth_ : 0);
  r.Top = topLeft.Y;
  if (text.Bottom == MaxInt) {
    r.Right = ClientWidth();
    r.Bottom = ClientHeight();
  } else {
    const TPoint bottomRight = TextToPixelPoint({text.Right, text.Bottom}, false);
    r.Right = bottomRight.X == MaxInt ? ClientWidth() : bottomRight.X;
    r.Bottom = bottomRight.Y + painter_->GetLineHeight(text.Bottom, text.Right);
  }
  if (page != nullptr) r = platform::IntersectRect(r, page->PageOuterRect(false));
  r.Right = std::min(r.Right, ClientWidth());
  r.Bottom = std::min(r.Bottom, ClientHeight());
  return r;
}

// ---------------------------------------------------------------------------
// Line numbers and the longest line

int TCustomQuillEdit::GetLineNumberLength() {
  const bool beyond = (lineNumbers_.Options() & lnPaintBeyondEof) != 0;
  int64_t largest = int64_t{LineCount()} + lineNumbers_.StartFrom() - 1 + (beyond ? 1 : 0);
  if (beyond && !countingDigits_ && !wrapping_) {
    // Numbers go on below the text: the last one shown may be larger.
    countingDigits_ = true;
    if (PageLayout() && pages_.Count() > 0) {
      const TQuillPage& last = pages_.GetItem(pages_.Count() - 1);
      if (last.LastLine != MaxInt) largest = std::max<int64_t>(largest, last.LastLine + lineNumbers_.StartFrom());
    }
    const int bottom = PixelToTextPoint({0, ClientHeight()}, false).Y;
    largest = std::max<int64_t>(largest, int64_t{bottom} + lineNumbers_.StartFrom());
    countingDigits_ = false;
  }
  int digits = 1;
  for (int64_t n = std::max<int64_t>(largest, 0); n >= 10; n /= 10) ++digits;
  return digits;
}

void TCustomQuillEdit::UpdateLineNumbers(bool force) {
  if (!lineNumbers_.Visible()) {
    if (force && lineNumberWidth_ != 0) {
      lineNumberWidth_ = lineNumberDigits_ = 0;
      RewrapKeepingTop();
      UpdateCaret();
    }
    return;
  }
  const int digits = GetLineNumberLength();
  if (digits == lineNumberDigits_ && !force) return;
  lineNumberDigits_ = digits;
  lineNumberWidth_ = digits * painter_->GetDefaultCharWidth() + lineNumbers_.Indent();
  RewrapKeepingTop();
  PaintBackground();
  UpdateCaret();
  Invalidate();
}

void TCustomQuillEdit::UpdateLines(int first, int last) {
  if (first < 0) return;
  changedFirst_ = changedFirst_ < 0 ? first : std::min(changedFirst_, first);
  changedLast_ = std::max(changedLast_, last);
}

void TCustomQuillEdit::UpdateMaxLine() {
  maxLineWidth_ = 0;
  maxLineIndex_ = -1;
  for (int line = 0; line < LineCount(); ++line) {
    const int width = LineWidth(line);
    // On equal lengths the later line wins.
    if (width >= maxLineWidth_) {
      maxLineWidth_ = width;
      maxLineIndex_ = line;
    }
  }
}

int TCustomQuillEdit::GetMaxLineWidth() {
  if (changedFirst_ >= 0) {
    const bool single = changedFirst_ == changedLast_;
    if (!single || changedFirst_ == maxLineIndex_ || maxLineIndex_ < 0 || maxLineIndex_ >= LineCount() ||
        LineWidth(changedFirst_) > maxLineWidth_)
      UpdateMaxLine();
    changedFirst_ = changedLast_ = -1;
  }
  return maxLineWidth_;
}

// ---------------------------------------------------------------------------
// Pages

TQuillPage* TCustomQuillEdit::GetCurrentPage() {
  if (!NeedPages() || pages_.Count() == 0) return GetDefaultPage();
  return &pages_.GetItem(GetPageIndexAt(GetCurrentPosition(), true));
}

int TCustomQuillEdit::GetPageIndexAt(TPoint p, bool byText) {
  if (!NeedPages() || pages_.Count() == 0) return 0;
  return std::max(pages_.GetPageIndexAt(p, byText), 0);
}

void TCustomQuillEdit::SetDefaultPage(const TQuillPage& page) {
  if (TQuillPage* first = GetDefaultPage()) first->Assign(page);
}

void TCustomQuillEdit::UpdateAllPages() {
  pages_.BeginUpdate();
  for (int i = 1; i < pages_.Count(); ++i) pages_.GetItem(i).Assign(pages_.GetItem(0));
  pages_.SetMeasuredCount(0);
  pages_.EndUpdate();
  ResetScrollCache();
  Invalidate();
}

void TCustomQuillEdit::UpdateDefaultPage() {
  if (NeedPages()) UpdateAllPages();
}

int TCustomQuillEdit::GetPageTop(const TQuillPage& page) {
  return TextToPixelPoint({page.FirstChar, page.FirstLine}, false).Y;
}

void TCustomQuillEdit::PageTypeChanged() {
  UpdateAllPages();
  UpdateWordWrap(0, MaxInt);
  PaintBackground();
  if (GetEditSource().OwnerView() == this) EnsureCaretVisible();
  UpdateScrollBars();
  UpdateScrollPos();
  UpdateRulers();
  Invalidate();
}

void TCustomQuillEdit::PageChanged(TQuillPage& page) {
  ResetScrollCache();
  if (NeedPages()) pages_.SetMeasuredCount(std::min(pages_.MeasuredCount(), std::max(page.Index(), 0)));
  UpdateRulers();
  Invalidate();
}

// ---------------------------------------------------------------------------
// Rulers

void TCustomQuillEdit::UpdateRulers() {
  TQuillRuler* horz = ruler_.HorzRulerVisible() ? ruler_.HorzRuler() : nullptr;
  TQuillRuler* vert = ruler_.VertRulerVisible() ? ruler_.VertRuler() : nullptr;
  if (horz == nullptr && vert == nullptr) return;
  TQuillPage* page = GetCurrentPage();
  const bool pages = NeedPages() && page != nullptr;
  const TRect r = !pages ? TRect{0, 0, ClientWidth(), ClientHeight()}
                         : (PageLayout() ? page->PageOuterRect(false) : page->PageRect());
  if (horz != nullptr) {
    horz->SetPageStart(r.Left);
    horz->SetPageEnd(pages ? r.Right : ClientWidth());
    TQuillRulerOptions options = horz->Options();
    options = NeedStoreInfo() ? (options | roShowSliders) : (options & ~roShowSliders);
    options = PageLayout() ? (options & ~roFixedIndents) : (options | roFixedIndents);
    horz->SetOptions(options);
    horz->SetLeftPageIndent(PageLayout() ? GetGutterIndent(false) + page->LeftIndent() : 0);
    horz->SetRightPageIndent(PageLayout() ? page->RightIndent() : 0);
  }
  if (vert != nullptr) {
    const int offset = GetTopRulerIndent();
    vert->SetPageStart(pages ? r.Top - offset : 0);
    vert->SetPageEnd(pages ? r.Bottom - offset : ClientHeight());
    vert->SetLeftPageIndent(PageLayout() ? page->TopIndent() : 0);
    vert->SetRightPageIndent(PageLayout() ? page->BottomIndent() : 0);
  }
}

void TCustomQuillEdit::RulerChanged(TQuillRuler& ruler, TQuillRulerIndentation* indentation) {
  TQuillPage* page = GetCurrentPage();
  if (indentation == nullptr || page == nullptr) return;
  const int indent = indentation->Indent();
  if (ruler.Orientation() == TQuillRulerOrientation::roHorizontal) {
    if (indentation->RightSide) page->SetRightIndent(indent);
    else page->SetLeftIndent(indent - (PageLayout() ? GetGutterIndent(false) : 0));
  } else {
    if (indentation->RightSide) page->SetBottomIndent(indent);
    else page->SetTopIndent(indent);
  }
  RewrapKeepingTop();
}

// ---------------------------------------------------------------------------

void TCustomQuillEdit::AssignContent(TCustomQuillEdit& other, bool selectionOnly) {
  if (!selectionOnly) {
    GetLines().Assign(other.GetLines());
    return;
  }
  TQuillStrings lines;
  for (int i = 0; i < other.SelStrings().Count(); ++i) lines.Add(other.SelStrings().Get(i));
  GetLines().Assign(lines);
}

}  // namespace quill
