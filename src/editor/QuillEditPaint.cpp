// Painting of the editor control: background, pages, gutter with line
// numbers and images, the lines through the painter, formatting marks and
// the margin; scrolling by moving pixels; repainting exactly what a
// selection change touches.

#include <QCoreApplication>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <vector>

#include "editor/QuillDrawing.h"
#include "editor/QuillEdit.h"
#include "editor/QuillUtils.h"

namespace quill {

namespace {

// Painting state that must be undone however the paint ends.
class PaintScope {
 public:
  PaintScope(bool& painting, TCanvas*& canvas, TCanvas& now) : painting_(painting), canvas_(canvas) {
    painting_ = true;
    canvas_ = &now;
  }
  ~PaintScope() {
    painting_ = false;
    canvas_ = nullptr;
  }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;

 private:
  bool& painting_;
  TCanvas*& canvas_;
};

}  // namespace

void TCustomQuillEdit::paintEvent(QPaintEvent* event) {
  // Pixels painted now in the new rows' places must not be moved with the
  // old ones.
  if (RedrawHeld()) held_.Whole = true;
  QPainter painter(viewport());
  platform::TQtCanvas canvas(painter);
  const QRect r = event->rect();
  canvas.IntersectClipRect({r.left(), r.top(), r.right() + 1, r.bottom() + 1});
  PaintTo(canvas);
}

void TCustomQuillEdit::PaintTo(TCanvas& canvas) {
  PaintScope scope(painting_, paintCanvas_, canvas);
  Paint();
}

void TCustomQuillEdit::Paint() {
  if (paintLock_ > 0) return;
  TCanvas& canvas = Canvas();
  const TRect rect = canvas.ClipRect();
  canvas.SetFont(CanvasFont(font_));
  if (background_.NeedPaint()) {
    if (workBitmap_.Width() != ClientWidth() || workBitmap_.Height() != ClientHeight())
      workBitmap_.SetSize(ClientWidth(), ClientHeight());
    TCanvas& work = workBitmap_.Canvas();
    work.SetFont(CanvasFont(font_));
    work.SetBkMode(platform::TBkMode::bkTransparent);
    painter_->SetOffscreen(&workBitmap_);
  } else {
    painter_->SetOffscreen(nullptr);
  }
  PaintRect(rect);
  painter_->SetOffscreen(nullptr);
}

void TCustomQuillEdit::InitPainter(const TRect& rect) {
  TCustomQuillEditSource& doc = GetEditSource();
  painter_->NeedSpell = doc.NeedSpell();
  painter_->HighlightUrls = (doc.Options() & srHighlightUrls) != 0;
  painter_->HiColor = UseHiColor();
  painter_->PainterRecords().clear();
  painter_->SetCurrentRecord(nullptr);
  firstPagePainted_ = lastPagePainted_ = 0;
  if (!NeedPages()) {
    TCustomPainterRecord* record = painter_->AddPainterRecord();
    const int left = GetLeftIndent(), top = GetTopIndent();
    // Kept even when it has no width: the gutter pass reads its rows.
    record->Rect = {std::max(rect.Left, left), std::max(rect.Top, top), rect.Right, rect.Bottom};
    record->Origin = {left - ScrolledWidth(), top};
    record->TopLeft = TopLeftPoint();
    painter_->InitPainterRecord(*record);
    return;
  }
  int index = PageLayout() ? GetPageIndexAt({0, windowLine_ + rect.Top}, false) : GetPageIndexAt(TopLeftPoint(), true);
  firstPagePainted_ = index;
  const int lastLine = LineCount() - 1;
  while (index < pages_.Count()) {
    if (index >= pages_.MeasuredCount()) pages_.CalcPageInternalSize(index, true);
    TQuillPage& page = pages_.GetItem(index);
    const TRect text = page.PageRect();
    TCustomPainterRecord* record = painter_->AddPainterRecord();
    record->Rect = {std::max(rect.Left, text.Left), std::max({rect.Top, text.Top, GetTopIndent()}),
                    std::min(rect.Right, text.Right), std::min(rect.Bottom, text.Bottom)};
    record->Origin = {text.Left, text.Top};
    record->TopLeft = {page.FirstChar, page.FirstLine};
    record->PageIndex = index;
    painter_->InitPainterRecord(*record);
    lastPagePainted_ = index;
    const bool textEnds = page.LastLine > lastLine || (page.LastLine == lastLine && page.LastChar == MaxInt);
    if (rect.Bottom <= text.Bottom || textEnds) break;
    if (index + 1 >= pages_.Count()) {
      pages_.Add();
      // A page that took nothing from the text would never end the walk.
      if (pages_.GetItem(index + 1).FirstLine == page.FirstLine && pages_.GetItem(index + 1).FirstChar <= page.FirstChar)
        break;
    }
    ++index;
  }
  lastPagePainted_ = std::min(lastPagePainted_, pages_.Count() - 1);
}

void TCustomQuillEdit::PaintRect(const TRect& rect) {
  TCanvas& canvas = Canvas();
  auto restoreClip = [&] {
    canvas.ResetClip();
    canvas.IntersectClipRect(rect);
  };
  canvas.Brush() = TBrush{GetEditorColor(), TBrushStyle::bsSolid};
  InitPainter(rect);
  const int leftRuler = GetLeftRulerIndent(), topRuler = GetTopRulerIndent();
  if (leftRuler > 0) canvas.ExcludeClipRect({0, 0, leftRuler, ClientHeight()});
  if (topRuler > 0) canvas.ExcludeClipRect({0, 0, ClientWidth(), topRuler});
  if (NeedPages()) PaintPages(*this, canvas, rect, firstPagePainted_, lastPagePainted_, false);
  if (!PageLayout() && GetLeftIndent() > 0) PaintGutter(canvas, {leftRuler, rect.Top, GetLeftIndent(), rect.Bottom});
  for (auto& record : painter_->PainterRecords()) {
    TQuillPage* page = NeedPages() ? &pages_.GetItem(record->PageIndex) : nullptr;
    const int x = PageLayout() ? page->PageOuterRect(false).Left : leftRuler;
    PaintGutterContent({x, record->Rect.Top, x + GetLeftIndent(), record->Rect.Bottom}, page, record->FirstLine,
                       record->FirstChar, x);
  }
  restoreClip();
  for (auto& record : painter_->PainterRecords()) PaintRecord(*record, rect);
  painter_->SetCurrentRecord(nullptr);
}

void TCustomQuillEdit::PaintRecord(TCustomPainterRecord& record, const TRect& paintRect) {
  TCanvas& canvas = Canvas();
  const int pageIndex = record.PageIndex;
  TQuillPage* page = NeedPages() ? &pages_.GetItem(pageIndex) : nullptr;
  const TRect pageText = page != nullptr ? page->PageRect() : TRect{};
  if (options_ & eoPaintMargin) {
    const int textLeft = PageLayout() ? pageText.Left : GetLeftIndent() - ScrolledWidth();
    marginX_ = margin_.Position() * painter_->GetDefaultCharWidth() + textLeft;
  }
  const TRect& area = record.Rect;
  int y = area.Top;
  if (!area.IsEmpty()) {
    canvas.IntersectClipRect(area);
    painter_->SetCurrentRecord(&record);
    const bool marks = (options_ & eoPaintFormattingMarks) != 0;
    const char eol = marks ? GetFmtMark(TQuillFormattingMark::fmEol) : 0;
    const int count = LineCount();
    bool lastPainted = false;
    for (int line = record.FirstLine; line < count && y < area.Bottom; ++line) {
      if (page != nullptr && PageLayout() && line > page->LastLine) break;
      if (InvisibleLines() && !GetLines().GetLineVisible(line)) continue;
      // The stored line serves as it is unless marks add to it.
      std::string buffer;
      const std::string* text = &GetEditSource().ShownText(line, buffer);
      std::string display;
      if (marks) {
        display = GetFmtString(line);
        if (eol != 0) {
          if (text != &buffer) buffer = *text;
          buffer += ' ';
          text = &buffer;
        }
      }
      const int height =
          painter_->PaintLine(line, line == record.FirstLine ? record.FirstChar : 0, *text, display,
                              {area.Left, y, area.Right, area.Bottom}, false);
      if (height <= 0) break;
      y += height;
      lastPainted = line == count - 1;
    }
    const char eof = marks && lastPainted ? GetFmtMark(TQuillFormattingMark::fmEof) : 0;
    if (eof != 0 && y < area.Bottom) {
      platform::TCanvasStateSaver saved(canvas);
      const int height = painter_->GetDefaultLineHeight();
      canvas.SetFont(CanvasFont(font_));
      canvas.SetTextColor(colors_.FmtMarkColor());
      canvas.SetBkColor(GetEditorColor());
      canvas.SetBkMode(platform::TBkMode::bkOpaque);
      const int x = record.Origin.X;
      const int width = painter_->GetDefaultCharWidth();
      const TRect cell{std::max(x, area.Left), y, area.Right, y + height};
      canvas.ExtTextOut(x, y, platform::etoOpaque | platform::etoClipped, &cell, std::string(1, eof), &width);
      y += height;
    }
    DoFillRect({area.Left, y, area.Right, area.Bottom});
    canvas.ResetClip();
    canvas.IntersectClipRect(paintRect);
  }
  if (page != nullptr) {
    // On the page's last pixel row: the next page paints from the row below.
    PaintPageBreak(*this, canvas, pageIndex, pageText.Bottom - 1);
    if (PageLayout()) PaintPageNumber(*this, canvas, pageIndex, page->PageOuterRect(false));
  }
  if (options_ & eoPaintMargin) {
    if (PageLayout()) {
      if (marginX_ > pageText.Left && marginX_ < pageText.Right) PaintMargin(pageText.Top, pageText.Bottom);
    } else if (marginX_ > GetLeftIndent()) {
      PaintMargin(GetTopIndent(), ClientHeight());
    }
  }
}

void TCustomQuillEdit::DoFillRect(const TRect& rect) {
  if (rect.IsEmpty()) return;
  TCanvas& canvas = Canvas();
  if (background_.NeedPaint()) {
    const TRect origin = background_.GetPaintRect();
    canvas.CopyRect(rect, background_.PaintBitmap().Image(), platform::OffsetRect(rect, -origin.Left, -origin.Top));
  } else {
    canvas.FillRect(rect);
  }
}

void TCustomQuillEdit::PaintBackground() {
  background_.BackgroundChanged();
  gutter_.Background().BackgroundChanged();
}

// ---------------------------------------------------------------------------
// Gutter

bool TCustomQuillEdit::NeedPaintGutterBrush() {
  if (!lineNumbers_.Visible() || !(lineNumbers_.Options() & lnPaintOnGutter)) return true;
  return gutter_.Brush().Style != TBrushStyle::bsSolid || gutter_.Background().NeedPaint();
}

void TCustomQuillEdit::PaintGutter(TCanvas& canvas, const TRect& rect) {
  TRect r = rect;
  if (options_ & eoPaintGutter) {
    const int right = r.Left + gutter_.GetWidth() - 2;
    if (!NeedPaintGutterBrush()) {
      PaintGutterLine(canvas, r, right, gutter_.BackColor(), gutter_.Pen());
    } else if (gutter_.Background().NeedPaint()) {
      const TRect band{r.Left, r.Top, right + 2, r.Bottom};
      canvas.CopyRect(band, gutter_.Background().PaintBitmap().Image(), platform::OffsetRect(band, -rect.Left, 0));
    } else {
      const TBrush saved = canvas.Brush();
      canvas.Brush() = gutter_.Brush();
      canvas.FillRect({r.Left, r.Top, right, r.Bottom});
      canvas.Brush() = saved;
      PaintGutterLine(canvas, r, right, gutter_.BackColor(), gutter_.Pen());
    }
    r.Left = right + 2;
  }
  if (lineNumbers_.Visible() && !(lineNumbers_.Options() & lnPaintOnGutter)) r.Left += lineNumberWidth_;
  if (gutter_.Indent() > 0) {
    const TBrush saved = canvas.Brush();
    canvas.Brush() = TBrush{GetEditorColor(), TBrushStyle::bsSolid};
    canvas.FillRect({r.Left, r.Top, r.Left + gutter_.Indent(), r.Bottom});
    canvas.Brush() = saved;
  }
}

void TCustomQuillEdit::PaintBoundsRect(const TRect& outer, const TRect& inner, TColor color) {
  PaintBoundingRect(Canvas(), outer, inner, color);
}

void TCustomQuillEdit::PaintGutterContent(const TRect& rect, TQuillPage* page, int fromLine, int fromChar, int x) {
  if (rect.IsEmpty()) return;
  TCanvas& canvas = Canvas();
  const bool onGutter = (lineNumbers_.Options() & lnPaintOnGutter) != 0;
  const int gutterWidth = gutter_.GetWidth();
  if (PageLayout() && (!NeedPaintGutterBrush() || (lineNumbers_.Visible() && !onGutter)))
    PaintBoundsRect(rect, {x, rect.Top, x + gutterWidth + (onGutter ? 0 : lineNumberWidth_), rect.Bottom},
                    onGutter ? gutter_.Brush().Color : GetEditorColor());
  const int numbersLeft = onGutter ? x : x + gutterWidth;
  const int numbersRight = onGutter ? x + gutterWidth : numbersLeft + lineNumberWidth_;
  const bool collapseStrip = InvisibleLines() && !(options_ & eoCollapseButtonOnGutter);
  const int count = LineCount();
  int y = TextToPixelPoint({fromChar, fromLine}, false).Y;
  for (int line = fromLine; y < rect.Bottom; ++line) {
    if (line < count && InvisibleLines() && !GetLines().GetLineVisible(line)) continue;
    if (page != nullptr && PageLayout() && line > page->LastLine) break;
    // The rows of the line: wrapped rows, or the line as one row.
    int row = -1;
    if (wordWrap_ && line < count)
      row = line == fromLine ? wrapList_->IndexFromPoint({fromChar, line}, false) : wrapList_->FirstRowOfLine(line);
    do {
      int start = 0, end = MaxInt;
      if (row >= 0) {
        start = wrapList_->Items(row).Start;
        end = wrapList_->Items(row).End;
      }
      const int height = painter_->GetLineHeight(line, start);
      if (lineNumbers_.Visible()) PaintLineNumber({numbersLeft, y, numbersRight, y + height}, start != 0, line, x);
      if (collapseStrip) {
        const TBrush saved = canvas.Brush();
        canvas.Brush() = TBrush{GetEditorColor(), TBrushStyle::bsSolid};
        canvas.FillRect({x + GetGutterIndent(false), y, x + GetGutterIndent(true), y + height});
        canvas.Brush() = saved;
      }
      if (line < count) PaintGutterImage(&canvas, {x, y, x + GetGutterIndent(true), y + height}, line, start, end, -1);
      y += std::max(height, 1);
      if (row < 0 || ++row >= wrapList_->Count() || wrapList_->Items(row).Line != line) break;
    } while (y < rect.Bottom);
  }
}

int TCustomQuillEdit::PaintGutterImage(TCanvas* canvas, const TRect& row, int line, int start, int end, int mouseX) {
  TQuillImageList& images = gutter_.Images();
  TCustomQuillEditSource& doc = GetEditSource();
  const int w = images.Width(), h = images.Height();
  int slot = row.Left;
  int hit = -1;
  auto place = [&](int index, int limit) {
    if (index < 0) return;
    const int x = slot + 2;
    if (x + w > limit) return;
    if (canvas != nullptr) images.Draw(*canvas, x, row.Top + std::max((row.Height() - h) / 2, 0), index);
    if (hit < 0 && mouseX >= slot && mouseX < x + w) hit = index;
    slot += w;
  };
  const bool firstRow = start == 0;
  TQuillStrings& lines = GetLines();
  if (firstRow && InvisibleLines()) {
    if (lines.GetExpanded(line)) place(13, row.Right);
    else if (lines.GetCollapsed(line)) place(12, row.Right);
  }
  if (!(options_ & eoPaintGutter)) return hit;
  const int limit = row.Left + gutter_.GetWidth();
  if (firstRow) {
    const int style = doc.GetLineStyle(line);
    if (style >= 0 && style < lineStyles_.Count()) place(lineStyles_.GetItem(style).ImageIndex(), limit);
  }
  const int mark = doc.GetLineBookMark(line);
  if (mark >= 0) {
    TPoint at;
    const bool here = !wordWrap_ || (doc.FindBookMark(mark, at) && at.X >= start && (end == MaxInt || at.X < end));
    if (here) place(mark, limit);
  }
  const bool numbersOnGutter = lineNumbers_.Visible() && (lineNumbers_.Options() & lnPaintOnGutter);
  if (wordWrap_ && (options_ & eoPaintWrapBookmark) && end != MaxInt && !(firstRow && numbersOnGutter)) place(10, limit);
  return hit;
}

int TCustomQuillEdit::GutterImageAt(int line, int ch, int x) {
  int start = 0, end = MaxInt;
  if (wordWrap_) {
    const int row = wrapList_->IndexFromPoint({ch, line}, false);
    if (row >= 0) {
      start = wrapList_->Items(row).Start;
      end = wrapList_->Items(row).End;
    }
  }
  const int left = PageLayout() ? 0 : GetLeftRulerIndent();
  return PaintGutterImage(nullptr, {left, 0, left + GetGutterIndent(true), painter_->GetLineHeight(line, ch)}, line,
                          start, end, x);
}

void TCustomQuillEdit::PaintLineNumber(const TRect& rect, bool continuationRow, int line, int gutterLeft) {
  if (rect.IsEmpty()) return;
  const bool onGutter = (lineNumbers_.Options() & lnPaintOnGutter) != 0;
  if (onGutter && !(options_ & eoPaintGutter)) return;
  const int right = onGutter ? gutterLeft + gutter_.GetWidth() - 4 : rect.Left + lineNumberWidth_;
  std::string text;
  if (!continuationRow && (line < LineCount() || (lineNumbers_.Options() & lnPaintBeyondEof))) {
    text = std::to_string(int64_t{lineNumbers_.StartFrom()} + line);
    const size_t width = static_cast<size_t>(std::max(lineNumberDigits_, 0));
    if (text.size() < width) {
      const std::string pad(width - text.size(), ' ');
      text = lineNumbers_.Alignment() == TQuillLineNumbersAlign::lnRight ? pad + text : text + pad;
    }
  }
  TCanvas& canvas = Canvas();
  platform::TCanvasStateSaver saved(canvas);
  canvas.SetFont(CanvasFont(font_));
  canvas.SetTextColor(lineNumbers_.Color());
  canvas.SetBkColor(onGutter ? gutter_.Brush().Color : lineNumbers_.BackColor());
  const bool transparent = onGutter && NeedPaintGutterBrush();
  canvas.SetBkMode(transparent ? platform::TBkMode::bkTransparent : platform::TBkMode::bkOpaque);
  const TRect clip{rect.Left, rect.Top, std::max(right, rect.Left), rect.Bottom};
  if (!transparent) {
    canvas.Brush() = TBrush{canvas.BkColor(), TBrushStyle::bsSolid};
    canvas.FillRect(rect);
  }
  if (text.empty()) return;
  // Digits in the editor's cells, so the columns of numbers line up.
  const std::vector<int> advances(text.size(), painter_->GetDefaultCharWidth());
  canvas.ExtTextOut(rect.Left, rect.Top, (transparent ? 0 : platform::etoOpaque) | platform::etoClipped, &clip, text,
                    advances.data());
}

void TCustomQuillEdit::PaintMargin(int y1, int y2) {
  TCanvas& canvas = Canvas();
  const TPen saved = canvas.Pen();
  canvas.Pen() = margin_.Pen();
  canvas.MoveTo(marginX_, y1);
  canvas.LineTo(marginX_, y2);
  canvas.Pen() = saved;
}

// ---------------------------------------------------------------------------
// Formatting marks

char TCustomQuillEdit::GetFmtMark(TQuillFormattingMark mark) {
  char ch = 0;
  switch (mark) {
    case TQuillFormattingMark::fmSpace: ch = '\xB7'; break;
    case TQuillFormattingMark::fmTab: ch = '\xBB'; break;
    case TQuillFormattingMark::fmEol: ch = '\xB6'; break;
    case TQuillFormattingMark::fmEof: ch = '_'; break;
  }
  if (OnGetFormattingMark) OnGetFormattingMark(this, mark, ch);
  return ch;
}

std::string TCustomQuillEdit::GetFmtString(int line) {
  const char space = GetFmtMark(TQuillFormattingMark::fmSpace);
  const char tab = GetFmtMark(TQuillFormattingMark::fmTab);
  const char eol = GetFmtMark(TQuillFormattingMark::fmEol);
  TCustomQuillEditSource& doc = GetEditSource();
  std::string out;
  if (doc.Options() & srUseTab) {
    const std::string raw = GetLines().GetStr(line);
    const TTabStopList& tabs = doc.TabStops();
    for (const char c : raw) {
      if (c != '\t') {
        out += c;
        continue;
      }
      const int column = static_cast<int>(out.size());
      const int run = tabs.Get(column) - column;
      std::string blanks(static_cast<size_t>(std::max(run, 1)), ' ');
      if (tab != 0) blanks[static_cast<size_t>(std::max(run / 2 - 1, 0))] = tab;
      out += blanks;
    }
  } else {
    out = GetLines().Get(line);
  }
  if (space != 0) std::replace(out.begin(), out.end(), ' ', space);
  if (eol != 0) out += eol;
  return out;
}

// ---------------------------------------------------------------------------
// Scrolling and invalidating

void TCustomQuillEdit::RepaintControl(int oldColumn, int oldLine) {
  // With redrawing off the whole text is drawn once it is back on, and a
  // held redraw moves the pixels once at its end: moving them now would be
  // work for nothing.
  if (paintLock_ > 0 || painting_ || RedrawHeld() || !viewport()->updatesEnabled()) return;
  const bool column = oldColumn != windowChar_, line = oldLine != windowLine_;
  if (!column && !line) return;
  // While the window paints nothing (a message being written in runs) the
  // pixels are not worth moving: all of it is painted when it paints again.
  if (background_.NeedPaint() || (column && line) || !partialRepaint_ || !viewport()->updatesEnabled()) {
    Invalidate();
    return;
  }
  if (column) {
    const int dx = PageLayout() ? oldColumn - windowChar_
                                : painter_->GetOffsetFromChar(oldColumn) - painter_->GetOffsetFromChar(windowChar_);
    if (std::abs(dx) >= ClientWidth() / 2 || !ScrollText(dx, 0)) Invalidate();
    return;
  }
  int dy = oldLine - windowLine_;
  if (!PageLayout()) {
    // How far the old top row now stands from the new one.
    dy = painter_->TextToPixelPoint(RowStart(oldLine), RowStart(windowLine_), false).Y;
  }
  if (std::abs(dy) >= ClientHeight() / 2 || !ScrollText(0, dy)) Invalidate();
}

namespace {

QEvent::Type HeldRedrawEvent() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

}  // namespace

void TCustomQuillEdit::HoldRedraw() noexcept {
  if (held_.Depth++ > 0 || held_.Pending) return;
  held_ = {.Depth = 1, .TopRow = windowLine_, .Column = windowChar_, .Size = clientSize_};
}

void TCustomQuillEdit::ReleaseRedraw() {
  if (held_.Depth == 0 || --held_.Depth > 0 || held_.Pending) return;
  held_.Pending = true;
  // Behind the turn's other work and ahead of its painting, which is posted
  // with the same low priority once something asks for it.
  QCoreApplication::postEvent(this, new QEvent(HeldRedrawEvent()), Qt::LowEventPriority);
  // A paint the window asked for earlier (for the last message's moved rows,
  // when the next is written before they are painted) would come first and
  // find the redraw pending: the view would be painted twice, the second
  // time whole. The window's paint request brings the redraw forward.
  QWidget* top = window();
  if (top != this && top != heldPaintWindow_) {
    if (heldPaintWindow_) heldPaintWindow_->removeEventFilter(this);
    top->installEventFilter(this);
    heldPaintWindow_ = top;
  }
}

bool TCustomQuillEdit::HeldRedrawDue(QEvent* event) {
  if (event->type() != HeldRedrawEvent()) return false;
  RedrawHeldEdits();
  return true;
}

bool TCustomQuillEdit::HeldRedrawBeforePaint(QObject* window, QEvent* event) {
  if (event->type() != QEvent::UpdateRequest || !held_.Pending || held_.Depth > 0) return false;
  // Posted first, so that the window paints again whatever the redraw does.
  // It still comes behind what the redraw leaves for the end of the turn
  // (the caret's and the scroll bar's new looks), which is posted with a
  // higher priority.
  QCoreApplication::postEvent(window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
  RedrawHeldEdits();
  return true;
}

void TCustomQuillEdit::RedrawHeldEdits() {
  if (!held_.Pending) return;
  held_.Pending = false;
  // A hold begun since (events handled inside it) posts again at its end.
  if (held_.Depth > 0) return;
  if (held_.Bars) UpdateScrollBars();
  // Setting the scroll position places the caret too: placing it again
  // would add up the heights of the rows in view once more for nothing.
  if (held_.Bars || held_.ScrollPos) UpdateScrollPos();
  else if (held_.Caret) UpdateCaret();
  // Only rows moved up or down as whole lines of unchanged text keep their
  // pixels; pages, hidden lines, a background picture and a resized or
  // sideways-moved view are painted anew.
  if (held_.Whole || painting_ || paintLock_ > 0 || windowChar_ != held_.Column || clientSize_ != held_.Size ||
      NeedPages() || InvisibleLines() || background_.NeedPaint() || !partialRepaint_) {
    Invalidate();
    return;
  }
  if (windowLine_ != held_.TopRow) {
    // The old top row keeps its place among the rows only when every line
    // above the change, the top row's included, is as it was.
    const TPoint oldTop = RowStart(held_.TopRow);
    if (held_.FirstLine <= oldTop.Y) {
      Invalidate();
      return;
    }
    const int dy = painter_->TextToPixelPoint(oldTop, RowStart(windowLine_), false).Y;
    if (std::abs(dy) >= ClientHeight() / 2 || !ScrollText(0, dy)) {
      Invalidate();
      return;
    }
  }
  if (held_.FirstLine != MaxInt) InvalidateEditor(held_.FirstLine, MaxInt);
}

bool TCustomQuillEdit::ScrollText(int dx, int dy) {
  // Sideways only the text moves under a fixed gutter; up and down the
  // gutter's numbers and marks move with their lines.
  const int left = dx != 0 && !PageLayout() ? GetLeftIndent() : GetLeftRulerIndent();
  const int top = GetTopRulerIndent();
  const QRect area(left, top, ClientWidth() - left, ClientHeight() - top);
  if (area.isEmpty()) return false;
  viewport()->scroll(dx, dy, area);
  if (dy != 0 && !PageLayout() && gutter_.GetWidth() > 0 &&
      (gutter_.Background().NeedPaint() || gutter_.Brush().Style != TBrushStyle::bsSolid))
    InvalidateRect({GetLeftRulerIndent(), top, GetLeftRulerIndent() + gutter_.GetWidth(), ClientHeight()});
  return true;
}

void TCustomQuillEdit::InvalidateSelection(const TRect& rect, TQuillSelType selType) {
  if (selType == TQuillSelType::slNone || IsEmptyBlock(rect, selType) || painting_) return;
  if (RedrawHeld()) {
    held_.FirstLine = std::min(held_.FirstLine, rect.Top);
    return;
  }
  // Nothing is invalidated while the window paints nothing: it is painted
  // whole when it paints again.
  if (!viewport()->updatesEnabled()) return;
  int left = GetLeftIndent(), right = ClientWidth();
  bool firstShown = true, lastShown = true;
  if (PageLayout()) {
    // Between the page's text edges; rows off screen fall outside the window.
    if (TQuillPage* page = pages_.GetPageAt({rect.Left, rect.Top}, true)) {
      const TRect text = page->PageRect();
      left = text.Left;
      right = text.Right;
    }
  } else {
    const TPoint top = TopLeftPoint();
    const TPoint bottom = PixelToTextPoint({0, ClientHeight()}, false);
    if (rect.Top > bottom.Y || rect.Bottom < top.Y) return;
    // Rows off screen are not measured: their band reaches the window's edge.
    firstShown = rect.Top >= top.Y;
    lastShown = rect.Bottom <= bottom.Y;
  }
  if (selType == TQuillSelType::slBlock) {
    const TPoint a = TextToPixelPoint({rect.Left, rect.Top}, false);
    const TPoint b = TextToPixelPoint({rect.Right, rect.Bottom}, false);
    TRect r{a.X, a.Y, b.X == MaxInt ? right : b.X, b.Y};
    r.Bottom += painter_->GetLineHeight(rect.Bottom, rect.Right);
    if (rect.Right != MaxInt) r.Right += painter_->GetCharWidth(rect.Bottom, rect.Right);
    InvalidateRect(platform::IntersectRect(r, {left, GetTopIndent(), right, ClientHeight()}));
    return;
  }
  const TPoint p1 = firstShown ? TextToPixelPoint({rect.Left, rect.Top}, selStartAtEnd_) : TPoint{left, GetTopIndent()};
  const TPoint p2 = lastShown ? TextToPixelPoint({rect.Right, rect.Bottom}, selEndAtEnd_) : TPoint{right, ClientHeight()};
  const int h1 = firstShown ? painter_->GetLineHeight(rect.Top, rect.Left) : 0;
  const int h2 = lastShown ? painter_->GetLineHeight(rect.Bottom, rect.Right) : 0;
  if (firstShown) InvalidateRect({std::max(p1.X, left), p1.Y, right, p1.Y + h1});
  if (p2.Y > p1.Y + h1) InvalidateRect({left, p1.Y + h1, right, p2.Y});
  if (lastShown) InvalidateRect({left, p2.Y, std::min(p2.X, right), p2.Y + h2});
}

}  // namespace quill
