#include "editor/QuillPages.h"

#include <algorithm>
#include <climits>

#include "editor/QuillDrawing.h"
#include "editor/QuillPainter.h"

namespace quill {

namespace {

struct PaperSize {
  int width, height;
};
constexpr PaperSize kPaper[] = {
    {216, 279}, {216, 357}, {184, 267}, {297, 420}, {210, 297}, {148, 210},
    {105, 241}, {110, 220}, {162, 229}, {98, 191},  {210, 297},
};

// (line, character) order; MaxInt as a character is the end of the line.
int ComparePoints(int lineA, int charA, int lineB, int charB) {
  if (lineA != lineB) return lineA < lineB ? -1 : 1;
  if (charA != charB) return charA < charB ? -1 : 1;
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// TQuillPage

TQuillPage::TQuillPage(TQuillPages* collection) : collection_(collection) {
  pageWidth_ = kPaper[0].width;
  pageHeight_ = kPaper[0].height;
}

TQuillEditorView* TQuillPage::GetEdit() const { return collection_ != nullptr ? collection_->Editor() : nullptr; }

int TQuillPage::Index() const { return collection_ != nullptr ? collection_->IndexOf(this) : 0; }

void TQuillPage::SetPageWidth(int value) {
  value = std::max(value, 0);
  if (value == pageWidth_) return;
  pageWidth_ = value;
  UpdatePageSize(false);
}

void TQuillPage::SetPageHeight(int value) {
  value = std::max(value, 0);
  if (value == pageHeight_) return;
  pageHeight_ = value;
  UpdatePageSize(false);
}

void TQuillPage::SetPageSize(TQuillPageSize value) {
  if (value == pageSize_) return;
  pageSize_ = value;
  UpdatePageSize(true);
}

void TQuillPage::UpdatePageSize(bool fromSize) {
  if (!fromSize) {
    pageSize_ = TQuillPageSize::psOther;
  } else if (pageSize_ != TQuillPageSize::psOther) {
    pageWidth_ = kPaper[static_cast<int>(pageSize_)].width;
    pageHeight_ = kPaper[static_cast<int>(pageSize_)].height;
  }
  UpdatePage();
}

void TQuillPage::SetOrientation(TQuillPageOrientation value) {
  if (value == orientation_) return;
  orientation_ = value;
  UpdatePage();
}

void TQuillPage::SetMeasure(int& field, int value) {
  value = std::max(value, 0);
  if (value == field) return;
  field = value;
  UpdatePage();
}

void TQuillPage::SetLeftIndent(int value) { SetMeasure(leftIndent_, value); }
void TQuillPage::SetTopIndent(int value) { SetMeasure(topIndent_, value); }
void TQuillPage::SetRightIndent(int value) { SetMeasure(rightIndent_, value); }
void TQuillPage::SetBottomIndent(int value) { SetMeasure(bottomIndent_, value); }
void TQuillPage::SetLeftGutterWidth(int value) { SetMeasure(leftGutterWidth_, value); }
void TQuillPage::SetTopGutterHeight(int value) { SetMeasure(topGutterHeight_, value); }

void TQuillPage::SetNumAlignment(TQuillNumAlignment value) {
  if (value == numAlignment_) return;
  numAlignment_ = value;
  if (paintPageNumber_ && collection_ != nullptr) collection_->InvalidatePage(Index());
}

void TQuillPage::SetPaintPageNumber(bool value) {
  if (value == paintPageNumber_) return;
  paintPageNumber_ = value;
  if (value && collection_ != nullptr) collection_->InvalidatePage(Index());
}

void TQuillPage::Assign(const TQuillPage& source) {
  BeginUpdate();
  pageSize_ = source.pageSize_;
  pageWidth_ = source.pageWidth_;
  pageHeight_ = source.pageHeight_;
  orientation_ = source.orientation_;
  leftIndent_ = source.leftIndent_;
  topIndent_ = source.topIndent_;
  rightIndent_ = source.rightIndent_;
  bottomIndent_ = source.bottomIndent_;
  leftGutterWidth_ = source.leftGutterWidth_;
  topGutterHeight_ = source.topGutterHeight_;
  numAlignment_ = source.numAlignment_;
  paintPageNumber_ = source.paintPageNumber_;
  EndUpdate();
}

void TQuillPage::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) UpdatePage();
}

void TQuillPage::UpdatePage() {
  screenTopLine_ = -1;
  if (updateCount_ > 0) return;
  if (TQuillEditorView* edit = GetEdit()) edit->PageChanged(*this);
}

TPoint TQuillPage::GetRealPageSize() const {
  const TDeviceCaps caps = DeviceCaps();
  TPoint size{static_cast<int>(int64_t{pageWidth_} * 10 * caps.X / 254),
              static_cast<int>(int64_t{pageHeight_} * 10 * caps.Y / 254)};
  if (orientation_ == TQuillPageOrientation::pgLandscape) std::swap(size.X, size.Y);
  return size;
}

TRect TQuillPage::GetRealPageRect() const {
  const TPoint size = GetRealPageSize();
  return {0, 0, size.X, size.Y};
}

int TQuillPage::GetRealPageHeight() {
  TQuillEditorView* edit = GetEdit();
  if (edit == nullptr) return Height;
  TCustomQuillPainter& painter = edit->Painter();
  const TPoint first{FirstChar, FirstLine};
  const int lastLine = std::min(LastLine, std::max(edit->GetLines().Count() - 1, FirstLine));
  const TPoint last{lastLine == LastLine ? LastChar : MaxInt, lastLine};
  return painter.TextToPixelPoint(last, first, false).Y + painter.GetLineHeight(lastLine, last.X);
}

int TQuillPage::LinesOnPage(int& lastChar) {
  lastChar = MaxInt;
  TQuillEditorView* edit = GetEdit();
  if (edit == nullptr) return 0;
  const TPoint size = GetRealPageSize();
  const TRect text{0, 0, size.X - leftIndent_ - rightIndent_, size.Y - topIndent_ - bottomIndent_};
  return edit->Painter().LinesOnPage({FirstChar, FirstLine}, text, lastChar);
}

void TQuillPage::InitPage() {
  Top = Height = 0;
  FirstLine = FirstChar = 0;
  LastLine = LastChar = MaxInt;
  measured_ = false;
}

int TQuillPage::GetTopGutterHeight() const {
  TQuillEditorView* edit = GetEdit();
  return topGutterHeight_ + (edit != nullptr && Index() == 0 ? edit->GetTopRulerIndent() : 0);
}

int TQuillPage::GetLeftGutterWidth() const {
  TQuillEditorView* edit = GetEdit();
  return leftGutterWidth_ + (edit != nullptr ? edit->GetLeftRulerIndent() : 0);
}

int TQuillPage::GetPageTop() {
  TQuillEditorView* edit = GetEdit();
  if (edit == nullptr) return Top;
  if (screenTopLine_ != edit->WindowLine()) {
    screenTop_ = edit->GetPageTop(*this);
    screenTopLine_ = edit->WindowLine();
  }
  return screenTop_;
}

TRect TQuillPage::PageOuterRect(bool extend) {
  TQuillEditorView* edit = GetEdit();
  if (edit != nullptr && !edit->PageLayout()) {
    const int top = GetPageTop();
    return {0, top, edit->ClientWidth(), top + Height};
  }
  TRect r{0, Top, GetRealPageSize().X, Top + Height};
  if (edit != nullptr) r = platform::OffsetRect(r, GetLeftGutterWidth() - edit->WindowChar(), -edit->WindowLine());
  if (extend) r = {r.Left - 1, r.Top - 1, r.Right + 1, r.Bottom + 1};
  return r;
}

TRect TQuillPage::GetPageRect(bool scrolled) {
  TQuillEditorView* edit = GetEdit();
  if (edit == nullptr) return {leftIndent_, Top + topIndent_, GetRealPageSize().X - rightIndent_, Top + Height - bottomIndent_};
  if (edit->PageLayout()) {
    const int gutter = GetLeftGutterWidth();
    TRect r{gutter + leftIndent_, Top + topIndent_, gutter + GetRealPageSize().X - rightIndent_, Top + Height - bottomIndent_};
    if (scrolled) r = platform::OffsetRect(r, -edit->WindowChar(), -edit->WindowLine());
    r.Top += edit->GetTopIndent();
    // The editor's gutter stands on the paper, left of the text.
    r.Left += edit->GetLeftIndent();
    return r;
  }
  const int top = GetPageTop();
  TRect r{-edit->ScrolledWidth(), top, edit->ClientWidth(), edit->NeedPages() ? top + Height : MaxInt};
  r.Left += edit->GetLeftIndent();
  return r;
}

// ---------------------------------------------------------------------------
// TQuillPages

int TQuillPages::IndexOf(const TQuillPage* page) const {
  for (int i = 0; i < Count(); ++i)
    if (items_[static_cast<size_t>(i)].get() == page) return i;
  return -1;
}

TQuillPage& TQuillPages::Add() {
  items_.push_back(std::make_unique<TQuillPage>(this));
  TQuillPage& page = *items_.back();
  if (Count() > 1) {
    // A page being made is no change to tell the editor of.
    ++page.updateCount_;
    page.Assign(GetItem(0));
    --page.updateCount_;
  }
  if (editor_ != nullptr && editor_->NeedPages()) {
    for (int i = measured_; i < Count(); ++i) CalcPageInternalSize(i, true);
    if (editor_->RebuildingFromLine() >= 0) editor_->Invalidate();
    else InvalidatePage(Count() - 1);
  }
  UpdatePages();
  return page;
}

void TQuillPages::Assign(const TQuillPages& source) {
  if (&source == this) return;
  BeginUpdate();
  items_.clear();
  for (int i = 0; i < std::max(source.Count(), 1); ++i) {
    items_.push_back(std::make_unique<TQuillPage>(this));
    if (i >= source.Count()) break;
    TQuillPage& page = *items_.back();
    // Told to the editor once, below.
    ++page.updateCount_;
    page.Assign(*source.items_[static_cast<size_t>(i)]);
    --page.updateCount_;
  }
  measured_ = 0;
  hint_ = 0;
  EndUpdate();
  if (editor_ != nullptr) editor_->PageChanged(GetItem(0));
}

void TQuillPages::Clear() {
  items_.clear();
  measured_ = 0;
  hint_ = 0;
}

void TQuillPages::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) UpdatePages();
}

void TQuillPages::UpdatePages() {
  if (updateCount_ > 0 || editor_ == nullptr || !editor_->PageLayout() || editor_->Destroying()) return;
  if (editor_->GetEditSource().SourceUpdateCount() > 0) return;
  editor_->ResetScrollCache();
  editor_->UpdateScrollBars();
}

void TQuillPages::InvalidatePage(int index) {
  if (editor_ == nullptr || !editor_->HandleAllocated() || index < 0 || index >= Count()) return;
  editor_->InvalidateRect(GetItem(index).PageOuterRect(true));
}

void TQuillPages::SetMeasuredCount(int count) { measured_ = std::clamp(count, 0, Count()); }

void TQuillPages::UpdateEndLine(int index) {
  TQuillPage& page = GetItem(index);
  if (index == 0) {
    page.FirstLine = page.FirstChar = 0;
    return;
  }
  const TQuillPage& prev = GetItem(index - 1);
  if (prev.LastChar == MaxInt) {
    page.FirstLine = prev.LastLine == MaxInt ? MaxInt : prev.LastLine + 1;
    page.FirstChar = 0;
  } else {
    page.FirstLine = prev.LastLine;
    page.FirstChar = prev.LastChar + 1;
  }
}

void TQuillPages::CalcPageInternalSize(int index, bool full) {
  TQuillPage& page = GetItem(index);
  if (editor_ == nullptr || !editor_->NeedPages()) {
    page.InitPage();
    return;
  }
  const bool layout = editor_->PageLayout();
  page.Height = page.GetRealPageSize().Y - (layout ? 0 : page.TopIndent() + page.BottomIndent());
  if (index == 0) {
    page.Top = layout ? page.GetTopGutterHeight() : 0;
  } else {
    const TQuillPage& prev = GetItem(index - 1);
    page.Top = prev.Top + prev.Height + (layout ? page.GetTopGutterHeight() : 0);
  }
  if (full) {
    UpdateEndLine(index);
    int lastChar = MaxInt;
    const int lines = page.LinesOnPage(lastChar);
    page.LastLine = page.FirstLine + lines - 1;
    page.LastChar = lastChar;
    if (!layout) page.Height = page.GetRealPageHeight();
    measured_ = std::max(measured_, index + 1);
  }
  // A page sized without counting its lines knows nothing of where its text
  // ends: it stays stale, or it would hold every line there is.
  page.measured_ = true;
}

bool TQuillPages::TextEndsOn(const TQuillPage& page) {
  const int lastLine = editor_->GetLines().Count() - 1;
  return page.LastLine > lastLine || (page.LastLine == lastLine && page.LastChar == MaxInt);
}

void TQuillPages::RemoveExtraPages() {
  if (editor_ == nullptr || Count() == 0) return;
  const int lastLine = editor_->GetLines().Count() - 1;
  if (GetItem(Count() - 1).LastLine < lastLine) return;
  while (Count() > 1 && GetItem(Count() - 1).FirstLine > std::max(lastLine, 0)) {
    InvalidatePage(Count() - 1);
    items_.pop_back();
  }
  measured_ = std::min(measured_, Count());
  hint_ = std::min(hint_, Count() - 1);
}

int TQuillPages::ComparePage(TPoint point, bool byText, int index) {
  TQuillPage& page = GetItem(index);
  int result = 0;
  if (byText) {
    if (ComparePoints(point.Y, point.X, page.FirstLine, page.FirstChar) < 0) result = 1;
    else if (ComparePoints(point.Y, point.X, page.LastLine, page.LastChar) > 0) result = -1;
  } else {
    if (point.Y <= page.Top - page.GetTopGutterHeight()) result = 1;
    else if (point.Y > page.Top + page.Height) result = -1;
  }
  if (result == 0) hint_ = index;
  return result;
}

bool TQuillPages::Find(TPoint point, bool byText, int& index, int count) {
  int lo = 0, hi = std::min(count, Count()) - 1;
  bool found = false;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const int c = ComparePage(point, byText, mid);
    if (c < 0) {
      lo = mid + 1;
    } else {
      if (c == 0) found = true;
      hi = mid - 1;
    }
  }
  index = lo;
  if (found) hint_ = lo;
  return found;
}

bool TQuillPages::HoldsNothingNew(int index) {
  if (index == 0) return false;
  const TQuillPage& page = GetItem(index);
  const TQuillPage& prev = GetItem(index - 1);
  return page.FirstLine < prev.FirstLine || (page.FirstLine == prev.FirstLine && page.FirstChar <= prev.FirstChar);
}

int TQuillPages::GetPageIndexAt(TPoint point, bool byText) {
  point.X = std::max(point.X, 0);
  point.Y = std::max(point.Y, 0);
  if (Count() == 0) return -1;
  // 1. While pages are rebuilt, a text point at or after the first stale page
  // belongs to that page until it is measured.
  if (byText && editor_ != nullptr && editor_->RebuildingFromLine() >= 0 && measured_ < Count()) {
    UpdateEndLine(measured_);
    const TQuillPage& stale = GetItem(measured_);
    if (ComparePoints(point.Y, point.X, stale.FirstLine, stale.FirstChar) >= 0) return measured_;
  }
  // 2. The very start.
  if (point.Y == 0 && point.X == 0) {
    if (measured_ == 0) CalcPageInternalSize(0, true);
    return -1;
  }
  // 3. The page found last time, or one beside it.
  if (hint_ >= 0 && hint_ < measured_ - 1) {
    for (int i : {hint_, hint_ - 1, hint_ + 1})
      if (i >= 0 && i < measured_ && ComparePage(point, byText, i) == 0) return i;
  } else {
    hint_ = -1;
  }
  // 4. The measured pages, then the stale ones measured one by one.
  if (const int found = SearchInUpdatedPages(point, byText); found >= 0) return found;
  // 5. Past the last page: add pages while the text goes on.
  if (ComparePage(point, byText, Count() - 1) < 0) {
    bool added = false;
    int answer = Count() - 1;
    BeginUpdate();
    while (editor_ != nullptr && !TextEndsOn(GetItem(Count() - 1))) {
      Add();
      added = true;
      if (HoldsNothingNew(Count() - 1)) {
        // No progress (a page too small for anything): never page on forever.
        items_.pop_back();
        measured_ = std::min(measured_, Count());
        break;
      }
      answer = Count() - 1;
      if (ComparePage(point, byText, answer) >= 0) break;
    }
    --updateCount_;
    if (updateCount_ == 0 && added) UpdatePages();
    return answer;
  }
  int index = 0;
  if (Find(point, byText, index, Count())) return index;
  return std::min(index, Count() - 1);
}

int TQuillPages::SearchInUpdatedPages(TPoint point, bool byText) {
  int index = 0;
  if (measured_ > 0 && Find(point, byText, index, measured_)) return index;
  while (measured_ < Count()) {
    CalcPageInternalSize(measured_, true);
    if (ComparePage(point, byText, measured_ - 1) == 0) return measured_ - 1;
  }
  return -1;
}

TQuillPage* TQuillPages::GetPageAt(TPoint point, bool byText) {
  if (Count() == 0) return nullptr;
  return &GetItem(std::max(GetPageIndexAt(point, byText), 0));
}

TQuillPage* TQuillPages::GetLastPage() { return Count() > 0 ? items_.back().get() : nullptr; }

int TQuillPages::GetMaxScrollHeight() {
  TQuillPage* last = GetLastPage();
  if (last == nullptr) return -1;
  if (last->Height == 0) CalcPageInternalSize(Count() - 1, false);
  int height = last->Top + last->Height;
  if (editor_ != nullptr && editor_->PageLayout()) height += last->GetTopGutterHeight();
  return height;
}

int TQuillPages::GetEstimatedHeight() {
  // The last page measured so far, before the maximum may measure the last page.
  TQuillPage* page = measured_ > 0 && editor_ != nullptr ? &GetItem(measured_ - 1) : nullptr;
  const int max = GetMaxScrollHeight();
  if (page == nullptr || TextEndsOn(*page) || page->LastLine <= 0) return max;
  const int64_t lines = editor_->GetLines().Count() - 1;
  const int64_t estimate = int64_t{page->Top + page->Height} * lines / page->LastLine;
  return static_cast<int>(std::clamp<int64_t>(estimate, max, INT_MAX));
}

int TQuillPages::GetMaxScrollWidth(int maxScrollPos) {
  if (editor_ == nullptr || !editor_->PageLayout()) return maxScrollPos;
  int width = 0;
  for (const auto& page : items_) width = std::max(width, page->GetRealPageSize().X + 2 * page->LeftGutterWidth());
  return width;
}

// ---------------------------------------------------------------------------
// Painting

void PaintPages(TQuillEditorView& view, TCanvas& canvas, const TRect& rect, int first, int last, bool singlePage) {
  TQuillPages& pages = view.Pages();
  if (pages.Count() == 0) return;
  first = std::clamp(first, 0, pages.Count() - 1);
  last = std::clamp(last, first, pages.Count() - 1);
  for (int i = first; i <= last; ++i) PaintPage(view, canvas, i, rect, singlePage);
  const TRect outer = pages.GetItem(last).PageOuterRect(false);
  const bool layout = view.PageLayout();
  const TRect below{rect.Left, std::max(rect.Top, outer.Bottom + (layout ? 2 : 0)), rect.Right, rect.Bottom};
  if (below.IsEmpty()) return;
  const TBrush saved = canvas.Brush();
  canvas.Brush() = TBrush{layout ? view.BorderColor() : view.GetEditorColor(), TBrushStyle::bsSolid};
  canvas.FillRect(below);
  canvas.Brush() = saved;
  if (view.PageType() == TQuillPageType::ptPageBreaks) view.PaintGutter(canvas, {0, below.Top, view.GetLeftIndent(), below.Bottom});
}

void PaintPage(TQuillEditorView& view, TCanvas& canvas, int index, const TRect& clip, bool singlePage) {
  TQuillPage& page = view.Pages().GetItem(index);
  const TBrush saved = canvas.Brush();
  if (view.PageLayout()) {
    const TRect outer = page.PageOuterRect(false);
    // The paper, and the desk either side of it down to the shadow.
    canvas.Brush() = TBrush{view.GetEditorColor(), TBrushStyle::bsSolid};
    canvas.FillRect(platform::IntersectRect(outer, clip));
    PaintBoundingRect(canvas, {clip.Left, outer.Top, clip.Right, outer.Bottom + 2},
                      {outer.Left - 1, outer.Top, outer.Right + 2, outer.Bottom + 2}, view.BorderColor());
    if (view.GetLeftIndent() > 0)
      view.PaintGutter(canvas, {outer.Left, outer.Top, outer.Left + view.GetLeftIndent(), outer.Bottom});
    if (!singlePage) {
      // The desk above the page, short of the shadow of the page above.
      const int band = page.TopGutterHeight() - (index > 0 ? 2 : 0);
      canvas.Brush() = TBrush{view.BorderColor(), TBrushStyle::bsSolid};
      canvas.FillRect(platform::IntersectRect({clip.Left, outer.Top - 1 - band, clip.Right, outer.Top - 1}, clip));
    }
    // A black frame, and a shadow one pixel off along the right and bottom.
    canvas.Brush().Style = TBrushStyle::bsClear;
    const TPen savedPen = canvas.Pen();
    canvas.Pen() = TPen{clBlack, 1, TPenStyle::psSolid, TPenMode::pmCopy};
    canvas.Rectangle({outer.Left - 1, outer.Top - 1, outer.Right + 1, outer.Bottom + 1});
    canvas.MoveTo(outer.Right + 1, outer.Top);
    canvas.LineTo(outer.Right + 1, outer.Bottom + 2);
    canvas.MoveTo(outer.Left, outer.Bottom + 1);
    canvas.LineTo(outer.Right + 1, outer.Bottom + 1);
    canvas.Pen() = savedPen;
  } else if (view.PageType() == TQuillPageType::ptPageBreaks) {
    const TRect text = page.PageRect();
    canvas.Brush() = TBrush{view.GetEditorColor(), TBrushStyle::bsSolid};
    canvas.FillRect(platform::IntersectRect(text, clip));
    view.PaintGutter(canvas, {0, text.Top, view.GetLeftIndent(), text.Bottom});
  }
  canvas.Brush() = saved;
}

void PaintPageBreak(TQuillEditorView& view, TCanvas& canvas, int index, int y) {
  TQuillPages& pages = view.Pages();
  if (view.PageType() != TQuillPageType::ptPageBreaks || index >= pages.Count() - 1) return;
  if (pages.GetItem(index + 1).FirstLine > view.GetLines().Count() - 1) return;
  const TPen saved = canvas.Pen();
  canvas.Pen() = TPen{clBlack, 1, TPenStyle::psDot, TPenMode::pmCopy};
  canvas.MoveTo(0, y);
  canvas.LineTo(view.ClientWidth(), y);
  canvas.Pen() = saved;
}

void PaintPageNumber(TQuillEditorView& view, TCanvas& canvas, int index, const TRect& rect) {
  TQuillPage& page = view.Pages().GetItem(index);
  if (!page.PaintPageNumber()) return;
  platform::TCanvasStateSaver saved(canvas);
  canvas.SetFont(CanvasFont(view.PageNumFont()));
  canvas.SetBkMode(platform::TBkMode::bkTransparent);
  const std::string number = std::to_string(index + 1);
  const int width = canvas.TextWidth(number);
  const int y = rect.Bottom - canvas.TextHeight() - 1;
  int x = rect.Left + 2;
  if (page.NumAlignment() == TQuillNumAlignment::taRightJustify) x = rect.Right - width - 2;
  else if (page.NumAlignment() == TQuillNumAlignment::taCenter) x = (rect.Left + rect.Right - width) / 2;
  canvas.TextOut(x, y, number);
}

}  // namespace quill
