#include "editor/QuillPainter.h"

#include <algorithm>

#include "editor/QuillBackground.h"
#include "editor/QuillDrawing.h"
#include "editor/QuillEditorColors.h"
#include "editor/QuillLineStyles.h"
#include "editor/QuillWrapList.h"

namespace quill {

namespace {

// Runs go to the device in pieces of at most this many characters, the
// length the width buffer is first made for.
constexpr int kMaxRun = 512;
constexpr uint16_t kHyperlinkStyle = 32759;
constexpr uint16_t kUrlStyle = 8;

int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

// ---------------------------------------------------------------------------
// TCustomQuillPainter

TCustomQuillPainter::TCustomQuillPainter(TQuillEditorView* owner) : owner_(owner) {}

TCustomQuillPainter::~TCustomQuillPainter() { FreeBuffer(); }

void TCustomQuillPainter::AfterConstruction() { GetBuffer(kMaxRun); }

TCustomPainterRecord* TCustomQuillPainter::AddPainterRecord() {
  records_.push_back(NewPainterRecord());
  return records_.back().get();
}

TCanvas& TCustomQuillPainter::Canvas() const { return work_ != nullptr ? work_->Canvas() : owner_->Canvas(); }

int* TCustomQuillPainter::GetBuffer(int) { return nullptr; }

void TCustomQuillPainter::FreeBuffer() { std::vector<int>().swap(buffer_); }

std::unique_ptr<TCustomPainterRecord> TCustomQuillPainter::NewPainterRecord() const {
  return std::make_unique<TCustomPainterRecord>();
}

void TCustomQuillPainter::InitWordWrap(int width, const TQuillCharSet&) { wrapWidth_ = width; }

platform::TTextMetrics TCustomQuillPainter::FontMetrics(TFontStyles style) {
  // Measuring may happen in the middle of a paint: the canvas keeps its font.
  TCanvas& canvas = owner_->Canvas();
  const TCanvasFont savedFont = canvas.Font();
  const TColor savedColor = canvas.TextColor();
  TCanvasFont font = CanvasFont(owner_->Font());
  font.Style = style;
  canvas.SetFont(font);
  const platform::TTextMetrics metrics = canvas.TextMetrics();
  canvas.SetFont(savedFont);
  canvas.SetTextColor(savedColor);
  return metrics;
}

void TCustomQuillPainter::DoTextOut(const TRect& rect, const TRect* clip, std::string_view text,
                                    const TCanvasFont* font, TFontStyles style, TColor color, TColor bkColor,
                                    bool selected, bool searchMatch, bool fmtMark, TColor styleColor,
                                    TColor styleBkColor) {
  if (text.empty()) return;
  TCanvas& canvas = Canvas();
  TQuillEditorColors& colors = owner_->Colors();
  const TQuillEditorOptions options = owner_->Options();
  const TFontStyles savedStyle = canvas.Font().Style;
  const platform::TBkMode savedMode = canvas.BkMode();
  const TColor savedText = canvas.TextColor();
  const TColor savedBk = canvas.BkColor();

  if (font != nullptr) canvas.SetFont(*font);
  if (fmtMark && styleColor == clNone && styleBkColor == clNone) color = colors.FmtMarkColor();
  if (color != clNone) {
    canvas.SetTextColor(color);
    canvas.SetFontStyle(style);
  }

  TColor textColor = color, back = bkColor;
  if (searchMatch) {
    textColor = colors.SearchMatchColor();
    back = colors.SearchMatchBackColor();
  } else if (selected && styleColor != clNone && styleBkColor != clNone) {
    // A styled line shows its selection as the style's colours exchanged.
    back = styleColor;
    textColor = styleBkColor;
  } else if (selected) {
    // With coloured selections a run keeps its own text colour.
    if (!(options & eoColorSelection)) textColor = colors.GetSelColor();
    back = colors.GetSelBackColor();
  } else {
    if (styleBkColor != clNone) back = styleBkColor;
    if (styleColor != clNone) textColor = styleColor;
  }
  if (textColor != clNone) canvas.SetTextColor(textColor);

  const bool transparent = Transparent();
  // Over a background picture only a colour other than the editor's own is
  // worth covering the picture for.
  const bool opaque = !transparent || (back != clNone && back != owner_->GetEditorColor());
  if (back != clNone) canvas.SetBkColor(back);
  const TRect clipRect{rect.Left, clip != nullptr ? clip->Top : rect.Top, rect.Right,
                       clip != nullptr ? clip->Bottom : rect.Bottom};
  int flags = platform::etoClipped;
  if (!HiColor && !transparent) {
    const TBrush savedBrush = canvas.Brush();
    canvas.Brush() = TBrush{owner_->GetEditorColor(), TBrushStyle::bsSolid};
    canvas.FillRect(clipRect);
    canvas.Brush() = savedBrush;
    canvas.SetBkMode(platform::TBkMode::bkTransparent);
  } else {
    canvas.SetBkMode(opaque ? platform::TBkMode::bkOpaque : platform::TBkMode::bkTransparent);
    if (opaque) flags |= platform::etoOpaque;
  }
  canvas.ExtTextOut(rect.Left, rect.Top, flags, &clipRect, text, GetBuffer(static_cast<int>(text.size())));

  canvas.SetFontStyle(savedStyle);
  canvas.SetBkMode(savedMode);
  canvas.SetTextColor(savedText);
  canvas.SetBkColor(savedBk);
}

void TCustomQuillPainter::DoFillSelRect(const TRect& rect, int selStart, int selEnd, TColor bkColor,
                                        TColor selBkColor) {
  if (rect.IsEmpty()) return;
  const int from = std::clamp(selStart, rect.Left, rect.Right);
  const int to = std::clamp(selEnd, from, rect.Right);
  if (selBkColor == clNone) selBkColor = owner_->Colors().GetSelBackColor();
  auto fillOutside = [&](const TRect& part) {
    if (bkColor == clNone && Transparent()) return;
    DoFillRect(part, bkColor);
  };
  fillOutside({rect.Left, rect.Top, from, rect.Bottom});
  DoFillRect({from, rect.Top, to, rect.Bottom}, selBkColor);
  fillOutside({to, rect.Top, rect.Right, rect.Bottom});
}

void TCustomQuillPainter::DoFillRect(const TRect& rect, TColor color) {
  if (rect.IsEmpty()) return;
  TCanvas& canvas = Canvas();
  if (color == clNone) {
    canvas.FillRect(rect);
    return;
  }
  const TBrush saved = canvas.Brush();
  canvas.Brush() = TBrush{color, TBrushStyle::bsSolid};
  canvas.FillRect(rect);
  canvas.Brush() = saved;
}

// ---------------------------------------------------------------------------
// TQuillPainter: metrics

int TQuillPainter::LineHeight() {
  if (lineHeight_ == 0) lineHeight_ = std::max(1, AdjustFontHeight(FontMetrics(Owner()->Font().Style).Height));
  return lineHeight_;
}

int TQuillPainter::CharWidth() {
  if (charWidth_ == 0) charWidth_ = std::max(1, FontMetrics(Owner()->Font().Style).AveCharWidth);
  return charWidth_;
}

int TQuillPainter::GetBaseLine() {
  if (baseLine_ == 0) baseLine_ = FontMetrics(Owner()->Font().Style).Ascent;
  return baseLine_;
}

int TQuillPainter::AdjustFontHeight(int height) {
  TCustomQuillParser* parser = Owner()->GetParser();
  if (parser == nullptr) return height;
  const TFontStyles editorStyle = Owner()->Font().Style;
  for (int i = 0; i < parser->GetStyleCount(); ++i) {
    TColor color = clNone;
    TFontStyles style = 0;
    parser->GetFont(i, color, style);
    if (style != editorStyle) height = std::max(height, FontMetrics(style).Height);
  }
  return height;
}

int* TQuillPainter::GetBuffer(int count) {
  if (count > static_cast<int>(buffer_.size())) {
    const int width = CharWidth();
    FreeBuffer();
    buffer_.assign(static_cast<size_t>(count), width);
  }
  return buffer_.data();
}

void TQuillPainter::FontChanged() {
  lineHeight_ = charWidth_ = baseLine_ = 0;
  FreeBuffer();
  GetBuffer(kMaxRun);
}

int TQuillPainter::GetOffsetFromChar(int ch) { return ch == MaxInt ? MaxInt : ch * CharWidth(); }

TPoint TQuillPainter::GetCaretSize() {
  if (Owner()->Overwrite() && (Owner()->Options() & eoOverwriteCaret)) return {CharWidth(), LineHeight()};
  return {2, LineHeight()};
}

TPoint TQuillPainter::ScrollPageSize(const TRect& rect) {
  const int w = rect.Width(), h = rect.Height();
  return {w < 1 ? -1 : w / GetDefaultCharWidth(), h < 1 ? -1 : h / GetDefaultLineHeight()};
}

void TQuillPainter::InitWordWrap(int width, const TQuillCharSet& delimiters) {
  TCustomQuillPainter::InitWordWrap(width, delimiters);
  wrapColumn_ = std::max(1, width / CharWidth());
}

int TQuillPainter::GetStringWidth(const TCanvasFont*, const std::string& text) {
  return static_cast<int>(text.size()) * CharWidth();
}

std::unique_ptr<TCustomPainterRecord> TQuillPainter::NewPainterRecord() const {
  return std::make_unique<TSimplePainterRecord>();
}

void TQuillPainter::GetFontAndColor(int index, TColor& bkColor, TColor& color, TFontStyles& style) {
  TCustomQuillParser* parser = Owner()->GetParser();
  const TQuillFont font = Owner()->Font();
  if (index == kHyperlinkStyle || (parser == nullptr && index == kUrlStyle && HighlightUrls)) {
    bkColor = Owner()->GetEditorColor();
    color = Owner()->Colors().HyperStringColor();
    style = fsUnderline;
  } else if (parser != nullptr && index >= 0) {
    bkColor = parser->GetColor(index);
    if (bkColor == Owner()->Color()) bkColor = Owner()->GetEditorColor();
    parser->GetFont(index, color, style);
  } else {
    bkColor = Owner()->GetEditorColor();
    color = font.Color;
    style = font.Style;
  }
  if (Owner()->Monochrome()) {
    bkColor = clWhite;
    color = clBlack;
  }
}

// ---------------------------------------------------------------------------
// TQuillPainter: coordinates

void TQuillPainter::InitPainterRecord(TCustomPainterRecord& record) {
  auto& r = static_cast<TSimplePainterRecord&>(record);
  const int cw = CharWidth(), lh = LineHeight();
  r.FirstColumn = std::max(0, (r.Rect.Left - r.Origin.X) / cw);
  r.LastColumn = (r.Rect.Right - r.Origin.X) / cw + 1;
  r.Rect.Left = r.Origin.X + r.FirstColumn * cw;
  r.Rect.Top = FloorDiv(r.Rect.Top - r.Origin.Y, lh) * lh + r.Origin.Y;
  const TPoint first = PixelToTextPoint({0, r.Rect.Top - r.Origin.Y}, r.TopLeft, nullptr, false);
  r.FirstLine = first.Y;
  r.FirstChar = 0;
  if (Owner()->WordWrap()) {
    TQuillWrapList& rows = Owner()->WrapList();
    const int row = rows.IndexFromPoint(first, false);
    if (row >= 0) r.FirstChar = rows.Items(row).Start;
  }
}

TPoint TQuillPainter::TextToPixelPoint(TPoint textPt, TPoint topLeft, bool atEnd) {
  int row = 0, top = 0;
  if (Owner()->WordWrap()) {
    TQuillWrapList& rows = Owner()->WrapList();
    const TPoint p = rows.PointToWrapPoint(textPt, atEnd);
    textPt.X = p.X;
    row = p.Y;
    top = rows.PointToWrapPoint(topLeft, false).Y;
  } else {
    row = Owner()->VisibleLineOf(textPt.Y);
    top = Owner()->VisibleLineOf(topLeft.Y);
  }
  return {textPt.X == MaxInt ? MaxInt : textPt.X * CharWidth(), textPt.Y == MaxInt ? MaxInt : (row - top) * LineHeight()};
}

TPoint TQuillPainter::PixelToTextPoint(TPoint pixel, TPoint topLeft, const int* yLimit, bool limitToRow) {
  const int lh = LineHeight();
  const bool wrap = Owner()->WordWrap();
  const int top = wrap ? Owner()->WrapList().PointToWrapPoint(topLeft, false).Y : Owner()->VisibleLineOf(topLeft.Y);
  int y = pixel.Y;
  int row = 0;
  if (yLimit != nullptr) {
    y = std::min(y, *yLimit);
    row = FloorDiv(y, lh);
    // Only rows that fit whole above the limit count.
    if ((row + 1) * lh > *yLimit) --row;
  } else {
    row = FloorDiv(y, lh);
  }
  row += top;
  if (!wrap) row = Owner()->RealLineOf(row);
  return PixelToTextChar(row, pixel.X, limitToRow);
}

TPoint TQuillPainter::PixelToTextChar(int row, int x, bool limitToRow) {
  int column = x == MaxInt ? MaxInt : x / CharWidth();
  if (!Owner()->WordWrap()) return {column, row};
  if (x < 0) column = 0;
  // A row past the wrapped ones is wrapped first: counted as an unwrapped
  // line it would name the wrong line once wrapping reaches it.
  TQuillWrapList& rows = Owner()->WrapList();
  rows.CheckWrapUpdated(row, true);
  // While the painter converts for itself a column past the row stays put,
  // so a page can be measured across a row's end.
  return rows.WrapPointToPointEx({column, row}, limitToRow && BusyCount() == 0);
}

int TQuillPainter::LinesOnPage(TPoint topLeft, const TRect& rect, int& lastChar) {
  const int height = rect.Height();
  Busy(1);
  TPoint last = PixelToTextPoint({0, height}, topLeft, &height, false);
  Busy(-1);
  // A page lower than one row still takes one, or paging would never get
  // past this place.
  if (last.Y < topLeft.Y || (last.Y == topLeft.Y && last.X < topLeft.X)) last = topLeft;
  lastChar = MaxInt;
  if (Owner()->WordWrap()) {
    TQuillWrapList& rows = Owner()->WrapList();
    const int row = rows.IndexFromPoint(last, false);
    if (row >= 0 && rows.Items(row).End != MaxInt) lastChar = rows.Items(row).End - 1;
  }
  const int count = Owner()->GetLines().Count();
  if (count > 0 && last.Y >= count - 1) return count - topLeft.Y;
  return last.Y + 1 - topLeft.Y;
}

// ---------------------------------------------------------------------------
// TQuillPainter: painting

bool TQuillPainter::SelectionShown() { return !Owner()->HideSelection() || Owner()->Focused(); }

int TQuillPainter::PaintLine(int line, int firstChar, const std::string& text, const std::string& display, TRect rect,
                             bool) {
  TColor styleColor = clNone, styleBk = clNone;
  const int style = Owner()->GetEditSource().GetLineStyle(line);
  if (style >= 0) Owner()->GetColorFromStyle(style, styleColor, styleBk);
  const int row = Owner()->WordWrap() ? Owner()->WrapList().IndexFromPoint({firstChar, line}, false) : -1;
  if (row < 0) return PaintWrapLine(line, -1, 0, MaxInt, text, display, rect, styleColor, styleBk);
  return PaintRows(line, row, text, display, rect, styleColor, styleBk);
}

int TQuillPainter::PaintRows(int line, int row, const std::string& text, const std::string& display, TRect rect,
                             TColor styleColor, TColor styleBk) {
  TQuillWrapList& rows = Owner()->WrapList();
  int total = 0;
  for (; row < rows.Count() && rows.Items(row).Line == line; ++row) {
    const TQuillWrapRecord& r = rows.Items(row);
    const size_t start = std::min(static_cast<size_t>(r.Start), text.size());
    const size_t length = r.End == MaxInt ? std::string::npos : static_cast<size_t>(r.End - r.Start);
    // A row that is its whole line (most are) is painted from the line.
    const bool whole = start == 0 && length == std::string::npos;
    std::string part, displayPart;
    if (!whole) {
      part = text.substr(start, length);
      if (!display.empty()) displayPart = display.substr(std::min(start, display.size()), length);
    }
    paintRow_ = row;
    const int height = PaintWrapLine(line, row, r.Start, r.End, whole ? text : part, whole ? display : displayPart,
                                     rect, styleColor, styleBk);
    paintRow_ = -1;
    if (height == 0) break;
    rect.Top += height;
    total += height;
  }
  return total;
}

int TQuillPainter::PaintWrapLine(int line, int row, int start, int end, const std::string& text,
                                 const std::string& display, const TRect& rect, TColor styleColor, TColor styleBk) {
  TCustomPainterRecord* area = CurrentRecord();
  if (area != nullptr && rect.Top >= area->Rect.Bottom) return 0;
  const int height = GetWrapLineHeight(row < 0 ? line : row);
  const TRect seg{rect.Left, rect.Top, rect.Right, rect.Top + height};
  TCanvas& canvas = Canvas();
  const bool offscreen = Offscreen() != nullptr;
  if (offscreen) {
    TQuillControlBackground& background = Owner()->Background();
    const TRect origin = background.GetPaintRect();
    canvas.CopyRect(seg, background.PaintBitmap().Image(), platform::OffsetRect(seg, -origin.Left, -origin.Top));
  }

  const TQuillEditorOptions options = Owner()->Options();
  int selLeft = 0, selRight = 0;
  const bool selBeyond =
      (options & eoSelectBeyondEol) && SelectionShown() && Owner()->GetSelBounds(line, row, selLeft, selRight, true);
  TQuillLineDivider& divider = Owner()->LineDivider();
  const bool current = (divider.Options() & ldHighlightCurrentLine) && Owner()->GetCurrentPosition().Y == line &&
                       Owner()->Focused();
  const bool savedTransparent = transparentText_;
  if (current) {
    const TBrush saved = canvas.Brush();
    canvas.Brush() = divider.Brush();
    canvas.FillRect(seg);
    canvas.Brush() = saved;
    if (divider.Brush().Style != TBrushStyle::bsClear) transparentText_ = true;
  }

  const int x = PaintString(seg, line, start, text, display, styleColor, styleBk);
  const TRect rest{x, seg.Top, seg.Right, seg.Bottom};
  const bool styleBeyond = (options & eoLineStyleBeyondEol) != 0;
  if (selBeyond && selRight > x) {
    if (styleBeyond && styleColor != clNone) DoFillSelRect(rest, selLeft, selRight, styleBk, styleColor);
    else DoFillSelRect(rest, selLeft, selRight, clNone, clNone);
  } else if (styleBeyond) {
    if (styleBk != clNone) DoFillRect(rest, styleBk);
    else if (!Transparent()) DoFillRect(rest, clNone);
  } else if (!Transparent()) {
    DoFillRect(rest, clNone);
  }
  transparentText_ = savedTransparent;

  const bool firstRow = start == 0;
  const bool lastRow = end == MaxInt;
  const TPen pen = divider.Pen();
  const int topY = seg.Top + (pen.Width > 1 ? 1 : 0);
  auto rule = [&](int y) {
    const TPen saved = canvas.Pen();
    canvas.Pen() = pen;
    canvas.MoveTo(seg.Left, y);
    canvas.LineTo(seg.Right, y);
    canvas.Pen() = saved;
  };
  const TQuillLineDividerOptions dividers = divider.Options();
  if (dividers == ldHighlightCurrentLine && current) {
    if (firstRow) rule(topY);
    if (lastRow) rule(seg.Bottom - 1);
  }
  if ((dividers & ldSeparateLines) && firstRow) rule(topY);
  if (dividers & ldSeparateWrapLines) rule(topY);

  if (offscreen) Owner()->Canvas().CopyRect(seg, Offscreen()->Image(), seg);
  return height;
}

int TQuillPainter::PaintString(const TRect& rect, int line, int start, const std::string& text,
                               const std::string& display, TColor styleColor, TColor styleBk) {
  int first = 0, last = MaxInt;
  if (auto* area = dynamic_cast<TSimplePainterRecord*>(CurrentRecord())) {
    first = area->FirstColumn;
    last = area->LastColumn;
  }
  const int length = static_cast<int>(text.size());
  const int from = std::min(first, length);
  const int to = last == MaxInt ? length : std::clamp(last, from, length);
  const std::string visible = text.substr(static_cast<size_t>(from), static_cast<size_t>(to - from));
  const std::string visibleDisplay =
      display.empty() ? std::string() : display.substr(std::min(static_cast<size_t>(from), display.size()), visible.size());
  const int column = start + from;
  if (Owner()->GetParser() != nullptr || NeedSpell || HighlightUrls)
    return SyntaxPaint(rect, line, column, visible, visibleDisplay, styleColor, styleBk);
  TColor bk = clNone, color = clNone;
  TFontStyles style = 0;
  GetFontAndColor(-1, bk, color, style);
  return InternalTextOut(rect, rect.Left, visible, visibleDisplay, CanvasFont(Owner()->Font()), style, color, bk, line,
                         column, false, styleColor, styleBk);
}

int TQuillPainter::SyntaxPaint(const TRect& rect, int line, int column, const std::string& text,
                               const std::string& display, TColor styleColor, TColor styleBk) {
  TCustomQuillEditSource& source = Owner()->GetEditSource();
  const TQuillStrings& lines = source.Strings();
  const bool realTabs = (source.Options() & srUseTab) != 0;
  const std::string raw = realTabs ? lines.GetStr(line) : std::string();
  const TCanvasFont font = CanvasFont(Owner()->Font());
  auto lookStyle = [&](int i, uint16_t& word, bool& bracket) {
    const int col = column + i;
    const int stored = realTabs ? source.TabStops().PosToRealPos(raw, col) : col;
    word = lines.GetData(line, stored + 1);
    Owner()->DoGetDrawStyle(line, col, word);
    bracket = Owner()->CheckBrackets(line, col + 1);
  };
  int x = rect.Left;
  const int length = static_cast<int>(text.size());
  int i = 0;
  // Each character's look is fetched once: the one that ends a run begins the next.
  uint16_t word = 0, next = 0;
  bool bracket = false, nextBracket = false;
  if (length > 0) lookStyle(0, word, bracket);
  while (i < length) {
    int j = i + 1;
    for (; j < length; ++j) {
      lookStyle(j, next, nextBracket);
      if (next != word || nextBracket != bracket) break;
    }
    bool misspelled = false;
    int index = word;
    if (word == NoData) {
      index = -1;
    } else if (word == NoData - 1) {
      misspelled = true;
      index = -1;
    } else if (word >= MisspelledBase) {
      misspelled = true;
      index = word - MisspelledBase;
    }
    TColor bk = clNone, color = clNone;
    TFontStyles style = 0;
    GetFontAndColor(index, bk, color, style);
    if (bracket) style |= fsBold;
    const auto n = static_cast<size_t>(j - i);
    x = InternalTextOut(rect, x, text.substr(static_cast<size_t>(i), n),
                        display.empty() ? std::string() : display.substr(static_cast<size_t>(i), n), font, style, color, bk,
                        line, column + i, misspelled, styleColor, styleBk);
    i = j;
    word = next;
    bracket = nextBracket;
  }
  return x;
}

void TQuillPainter::ForEachPiece(std::string_view text, bool marks, int line, int column,
                                 const std::function<void(int from, int count, const TPieceLook& look)>& output) {
  const TQuillEditorOptions options = Owner()->Options();
  const bool canSelect = Owner()->SelType() != TQuillSelType::slNone && SelectionShown();
  const bool canSearch = (options & eoEnableSearchHighlight) && !Owner()->SearchRectEmpty();
  const bool canMark = (options & eoPaintFormattingMarks) && marks;
  const int length = static_cast<int>(text.size());
  if (!canSelect && !canSearch && !canMark && length <= kMaxRun) {
    output(0, length, TPieceLook());
    return;
  }
  auto look = [&](int i) {
    return TPieceLook{canSelect && Owner()->InsideBlock(column + i, line),
                      canSearch && Owner()->InsideSearchRect(column + i, line),
                      canMark && text[static_cast<size_t>(i)] == ' '};
  };
  for (int from = 0; from < length;) {
    const TPieceLook first = look(from);
    int to = from + 1;
    while (to < length && to - from < kMaxRun && look(to) == first) ++to;
    output(from, to - from, first);
    from = to;
  }
}

int TQuillPainter::InternalTextOut(const TRect& rect, int x, const std::string& text, const std::string& display,
                                   const TCanvasFont& font, TFontStyles style, TColor color, TColor bkColor, int line,
                                   int column, bool misspelled, TColor styleColor, TColor styleBk) {
  const bool spell = misspelled && (Owner()->GetEditSource().Options() & srLiveSpell);
  ForEachPiece(text, !display.empty(), line, column, [&](int from, int count, const TPieceLook& look) {
    const auto at = static_cast<size_t>(from), n = static_cast<size_t>(count);
    const std::string piece = look.Mark ? display.substr(at, n) : text.substr(at, n);
    const int width = GetStringWidth(&font, piece);
    const TRect cell{x, rect.Top, x + width, rect.Bottom};
    DoTextOut(cell, &rect, piece, &font, style, color, bkColor, look.Selected, look.Search, look.Mark, styleColor,
              styleBk);
    if (spell)
      DrawLiveSpell(Canvas(), {cell.Left, cell.Top, cell.Right, std::min(cell.Bottom, cell.Top + GetBaseLine() + 4)},
                    Owner()->Colors().LiveSpellColor());
    x += width;
  });
  return x;
}

}  // namespace quill
