#include "editor/QuillRichPainter.h"

#include <algorithm>
#include <string_view>
#include <typeinfo>

#include "editor/QuillBackground.h"
#include "editor/QuillDrawing.h"
#include "editor/QuillEditorColors.h"

namespace quill {

namespace {

// The number of a numbered or bulleted line stands in this much of its indent.
constexpr int kNumberArea = 24;
// PaintLine's mark for a line that has no rows yet.
constexpr int kUnwrapped = -2;

std::string_view Part(std::string_view s, int from, int count) {
  const auto size = static_cast<int>(s.size());
  from = std::clamp(from, 0, size);
  count = std::clamp(count, 0, size - from);
  return s.substr(static_cast<size_t>(from), static_cast<size_t>(count));
}

}  // namespace

TQuillRichView* TQuillRichPainter::View() {
  if (view_ == nullptr && !detached_) view_ = dynamic_cast<TQuillRichView*>(Owner());
  return view_;
}

// Characters go to the canvas at the advances of their font's own table.
int* TQuillRichPainter::GetBuffer(int) { return nullptr; }

int TQuillRichPainter::GetStringWidth(const TCanvasFont* font, const std::string& text) {
  if (font != nullptr) return GetWidth(TQuillFontManager::GetFont(*font), text);
  return View() != nullptr ? GetWidth(View()->EditorFontRecord(), text) : TQuillPainter::GetStringWidth(font, text);
}

int TQuillRichPainter::EditorBlank() { return View() != nullptr ? View()->EditorFontRecord().BlankWidth() : CharWidth(); }

int TQuillRichPainter::GetSpaceWidth(const TCanvasFont& font) { return TQuillFontManager::GetFont(font).BlankWidth(); }

const TQuillRichWrapRecord* TQuillRichPainter::RichRow(int row) {
  TQuillWrapList& rows = Owner()->WrapList();
  if (row < 0 || row >= rows.Count()) return nullptr;
  // Measuring a view asks for every row shown, several times an edit: the
  // two kinds a list holds are told apart without a search of the classes.
  const TQuillWrapRecord& item = rows.Items(row);
  if (typeid(item) == typeid(TQuillRichWrapRecord)) return static_cast<const TQuillRichWrapRecord*>(&item);
  if (typeid(item) == typeid(TQuillWrapRecord)) return nullptr;
  return dynamic_cast<const TQuillRichWrapRecord*>(&item);
}

int TQuillRichPainter::RowHeight(int row) {
  if (row >= 0) Owner()->WrapList().CheckWrapUpdated(row, true);
  return HeightOf(RichRow(row));
}

int TQuillRichPainter::HeightOf(const TQuillRichWrapRecord* row) {
  return row != nullptr ? std::max(row->Info.Height, 1) : GetDefaultLineHeight();
}

int TQuillRichPainter::RowsHeight(int from, int to) {
  if (from >= to) return 0;
  // The caret's and the view's places add up every row in view several times
  // a message: one look at what is wrapped serves the whole range, as rows
  // are only ever wrapped on at the end.
  TQuillWrapList& rows = Owner()->WrapList();
  if (to - 1 >= 0) rows.CheckWrapUpdated(to - 1, true);
  int height = 0;
  for (int r = from; r < to; ++r) height += HeightOf(RichRow(r));
  return height;
}

int TQuillRichPainter::GetWrapLineHeight(int row) {
  return paintRow_ == kUnwrapped ? GetDefaultLineHeight() : RowHeight(row);
}

const TQuillRichWrapRecord* TQuillRichPainter::RowOfPoint(TPoint p, bool atEnd) {
  return RichRow(Owner()->WrapList().IndexFromPoint(p, atEnd));
}

int TQuillRichPainter::GetLineHeight(int line, int ch) {
  const TQuillRichWrapRecord* row = RowOfPoint({ch, line}, false);
  return row != nullptr ? std::max(row->Info.Height, 1) : LineHeight();
}

int TQuillRichPainter::GetWholeLineHeight(int line) {
  TQuillWrapList& rows = Owner()->WrapList();
  int row = rows.FirstRowOfLine(line);
  if (row < 0) return GetDefaultLineHeight();
  int height = 0;
  for (; row < rows.Count() && rows.Items(row).Line == line; ++row) height += RowHeight(row);
  return height;
}

const TQuillLineInfo* TQuillRichPainter::GetLineInfo(const TQuillRichWrapRecord& row, int column) {
  if (row.Runs.empty()) return nullptr;
  const int ch = column > row.Start ? column - 1 : column;
  for (const TQuillLineInfo& run : row.Runs)
    if (ch < run.End) return &run;
  return &row.Runs.back();
}

int TQuillRichPainter::GetCharWidth(int line, int ch) {
  const TQuillRichWrapRecord* row = RowOfPoint({ch, line}, false);
  if (row == nullptr) return CharWidth();
  for (const TQuillLineInfo& run : row->Runs) {
    if (ch >= run.End) continue;
    if (run.Object >= 0) return run.Width;
    std::string buffer;
    const std::string& s = Owner()->GetEditSource().ShownText(line, buffer);
    return ch < static_cast<int>(s.size()) ? run.Font->CharWidth(s[static_cast<size_t>(ch)]) : run.Font->BlankWidth();
  }
  const TQuillFontRecord* font = row->Runs.empty() ? row->Info.Font : row->Runs.back().Font;
  return font != nullptr ? font->BlankWidth() : CharWidth();
}

int TQuillRichPainter::GetCharHeight(int line, int ch) {
  const TQuillRichWrapRecord* row = RowOfPoint({ch, line}, false);
  if (row == nullptr) return LineHeight();
  const TQuillLineInfo* run = GetLineInfo(*row, ch + 1);
  return run == nullptr ? row->Info.Height : run->Height;
}

// ---------------------------------------------------------------------------
// Coordinates

int TQuillRichPainter::ColumnX(const TQuillRichWrapRecord& row, const std::string& s, int column) {
  int x = row.Info.Left;
  int c = row.Start;
  const TQuillFontRecord* last = row.Info.Font;
  for (const TQuillLineInfo& run : row.Runs) {
    if (column <= c) return x;
    if (run.Object >= 0 || column >= run.End) {
      // A picture counts whole once the column is past its start.
      x += run.Width + run.Left;
      c = run.End;
      if (run.Font != nullptr) last = run.Font;
      continue;
    }
    return x + GetWidth(*run.Font, Part(s, c, column - c));
  }
  if (column > c) {
    const int blank = last != nullptr ? last->BlankWidth() : EditorBlank();
    x += (column - c) * blank;
  }
  return x;
}

int TQuillRichPainter::RowY(const TPoint& textPt, int row, TPoint topLeft) {
  const int top = Owner()->WrapList().PointToWrapPoint(topLeft, false).Y;
  if (textPt.Y == MaxInt) return MaxInt;
  return row >= top ? RowsHeight(top, row) : -RowsHeight(row, top);
}

int TQuillRichPainter::TextToPixelY(TPoint textPt, TPoint topLeft, bool atEnd) {
  return RowY(textPt, Owner()->WrapList().PointToWrapPoint(textPt, atEnd).Y, topLeft);
}

TPoint TQuillRichPainter::TextToPixelPoint(TPoint textPt, TPoint topLeft, bool atEnd) {
  const TPoint rowPoint = Owner()->WrapList().PointToWrapPoint(textPt, atEnd);
  const int y = RowY(textPt, rowPoint.Y, topLeft);
  int x = 0;
  if (textPt.X == MaxInt) {
    x = MaxInt;
  } else if (const TQuillRichWrapRecord* row = RichRow(rowPoint.Y); row != nullptr && row->Line == textPt.Y) {
    std::string buffer;
    x = ColumnX(*row, Owner()->GetEditSource().ShownText(textPt.Y, buffer), row->Start + rowPoint.X);
  } else {
    x = rowPoint.X * EditorBlank();
  }
  return {x, y};
}

int TQuillRichPainter::LinesInHeight(int row, int height, int& rest) {
  TQuillWrapList& rows = Owner()->WrapList();
  int passed = 0;
  if (height >= 0) {
    for (;;) {
      const int at = row + passed;
      if (at >= 0) rows.CheckWrapUpdated(at, true);
      if (at >= 0 && at >= rows.Count()) {
        // Below the text every row has the default height.
        const int h = GetDefaultLineHeight();
        passed += height / h;
        height %= h;
        break;
      }
      const int h = HeightOf(RichRow(at));
      if (height < h) break;
      height -= h;
      ++passed;
    }
  } else {
    while (height < 0) {
      --passed;
      height += RowHeight(row + passed);
    }
  }
  rest = height;
  return passed;
}

int TQuillRichPainter::CharsInWidth(int row, int width) {
  if (row < 0) return 0;
  const TQuillRichWrapRecord* r = RichRow(row);
  if (r == nullptr) return std::max(width, 0) / EditorBlank();
  int w = width - r->Info.Left;
  if (w <= 0) return 0;
  std::string buffer;
  const std::string& s = Owner()->GetEditSource().ShownText(r->Line, buffer);
  int c = r->Start;
  const TQuillFontRecord* last = r->Info.Font;
  for (const TQuillLineInfo& run : r->Runs) {
    const int advance = run.Width + run.Left;
    if (w >= advance) {
      w -= advance;
      c = run.End;
      if (run.Font != nullptr) last = run.Font;
      continue;
    }
    if (run.Object >= 0) return (w > run.Width / 2 ? run.End : c) - r->Start;
    int fitted = 0;
    return c + GetCharsInWidth(*run.Font, Part(s, c, run.End - c), fitted, false, w) - r->Start;
  }
  // Past the end of a line every blank's width is one more column.
  if (r->End == MaxInt) c += w / (last != nullptr ? last->BlankWidth() : EditorBlank());
  return c - r->Start;
}

TPoint TQuillRichPainter::PixelToTextChar(int row, int x, bool limitToRow) {
  TQuillWrapList& rows = Owner()->WrapList();
  if (row >= 0) rows.CheckWrapUpdated(row, true);
  const int column = x == MaxInt ? MaxInt : CharsInWidth(row, x);
  // While the painter converts for itself a column past the row stays put.
  return rows.WrapPointToPointEx({column, row}, limitToRow && BusyCount() == 0);
}

TPoint TQuillRichPainter::PixelToTextPoint(TPoint pixel, TPoint topLeft, const int* yLimit, bool limitToRow) {
  const int top = Owner()->WrapList().PointToWrapPoint(topLeft, false).Y;
  const int y = yLimit != nullptr ? std::min(pixel.Y, *yLimit) : pixel.Y;
  int rest = 0;
  int row = top + LinesInHeight(top, y, rest);
  // Only rows that fit whole above the limit count.
  if (yLimit != nullptr && y - rest + RowHeight(row) > *yLimit) --row;
  return PixelToTextChar(row, pixel.X, limitToRow);
}

int TQuillRichPainter::GetWrapLenForLine(int line, const std::string& text, int start) {
  if (View() == nullptr) return TQuillPainter::GetWrapLenForLine(line, text, start);
  TQuillRichView& view = *View();
  int room = WrapWidth();
  if (const TQuillParagraph* p = view.FindParagraph(line)) {
    room -= p->LeftIndent() + p->RightIndent();
    if (start == 1) room -= p->FirstIndent();
  }
  const int length = static_cast<int>(text.size());
  measured_.clear();
  measuredLine_ = line;
  measuredStart_ = start - 1;
  measuredText_ = &text;
  int count = 0;
  for (int c = start - 1; c < length;) {
    const TQuillLineInfo run = view.ParseString(line, text, c, length, false, false, room);
    if (run.End <= c) break;
    if (run.Object >= 0) {
      // A picture is never cut: it is whole even when it does not fit.
      measured_.push_back(run);
      room -= run.Width;
      if (room < 0) break;
      ++count;
    } else if (run.Width <= room) {
      // Within the room the margin did not end the run: it is whole.
      measured_.push_back(run);
      room -= run.Width;
      count += run.End - c;
    } else {
      int fitted = 0;
      count += GetCharsInWidth(*run.Font, Part(text, c, run.End - c), fitted, false, room) - 1;
      break;
    }
    c = run.End;
  }
  // However narrow the row, it takes a character.
  return std::max(count, 1);
}

int TQuillRichPainter::TakeMeasuredRuns(int line, const std::string& s, int start, int stop,
                                        std::vector<TQuillLineInfo>& runs) {
  int end = start;
  if (line == measuredLine_ && start == measuredStart_ && &s == measuredText_) {
    // A run parsed to the line's end is the same run parsed to Stop when it
    // ends there or before.
    for (const TQuillLineInfo& run : measured_) {
      if (run.End > stop) break;
      runs.push_back(run);
      end = run.End;
    }
  }
  measured_.clear();
  measuredLine_ = -1;
  measuredText_ = nullptr;
  return end;
}

TPoint TQuillRichPainter::GetCaretSize() {
  if (View() == nullptr) return TQuillPainter::GetCaretSize();
  const TPoint caret = Owner()->GetCurrentPosition();
  const TQuillRichWrapRecord* row = RowOfPoint(caret, View()->CaretAtRowEnd());
  int height = LineHeight();
  if (row != nullptr) {
    const TQuillLineInfo* run = GetLineInfo(*row, caret.X);
    height = run == nullptr ? row->Info.Height : run->Height;
  }
  const bool wide = Owner()->Overwrite() && (Owner()->Options() & eoOverwriteCaret);
  return {wide ? GetCharWidth(caret.Y, caret.X) : 2, std::max(height, 1)};
}

int TQuillRichPainter::GetCaretBaseLine() {
  if (View() == nullptr) return 0;
  const TPoint caret = Owner()->GetCurrentPosition();
  const TQuillRichWrapRecord* row = RowOfPoint(caret, View()->CaretAtRowEnd());
  if (row == nullptr) return 0;
  const TQuillLineInfo* run = GetLineInfo(*row, caret.X);
  return run == nullptr ? 0 : std::max(row->Info.BaseLine - run->BaseLine, 0);
}

TPoint TQuillRichPainter::ScrollPageSize(const TRect& rect) {
  const int width = rect.Width(), height = rect.Height();
  int columns = width / GetDefaultCharWidth();
  if (Owner()->WordWrap()) {
    const TPoint caret = Owner()->GetCurrentPosition();
    const bool atEnd = View() != nullptr && View()->CaretAtRowEnd();
    columns = CharsInWidth(Owner()->WrapList().PointToWrapPoint(caret, atEnd).Y, width);
  }
  // The rows in view, then what is left below them in rows of the default
  // height: the rest is known only once the rows are counted.
  int rest = 0;
  const int whole = LinesInHeight(Owner()->WindowLine(), height, rest);
  const int rows = whole + rest / GetDefaultLineHeight();
  return {width < 1 ? -1 : columns, height < 1 ? -1 : rows};
}

void TQuillRichPainter::InitPainterRecord(TCustomPainterRecord& record) {
  auto& r = static_cast<TSimplePainterRecord&>(record);
  // Rows are painted whole from the left, clipped to the area.
  r.FirstColumn = 0;
  r.LastColumn = MaxInt;
  TQuillWrapList& rows = Owner()->WrapList();
  const int top = rows.PointToWrapPoint(r.TopLeft, false).Y;
  int rest = 0;
  const int row = top + LinesInHeight(top, r.Rect.Top - r.Origin.Y, rest);
  r.Rect.Top -= rest;
  if (row >= 0) rows.CheckWrapUpdated(row, true);
  const TPoint first = rows.WrapPointToPoint({0, row});
  r.FirstLine = first.Y;
  r.FirstChar = first.X;
}

// ---------------------------------------------------------------------------
// Painting

int TQuillRichPainter::PaintLine(int line, int firstChar, const std::string& text, const std::string& display,
                                 TRect rect, bool extendLast) {
  if (View() == nullptr) return TQuillPainter::PaintLine(line, firstChar, text, display, rect, extendLast);
  TColor styleColor = clNone, styleBk = clNone;
  const int style = Owner()->GetEditSource().GetLineStyle(line);
  if (style >= 0) Owner()->GetColorFromStyle(style, styleColor, styleBk);
  const int row = Owner()->WrapList().IndexFromPoint({firstChar, line}, false);
  if (row >= 0 && RichRow(row) != nullptr) return PaintRows(line, row, text, display, rect, styleColor, styleBk);
  // Not wrapped yet: plain text in the editor font, one row.
  paintRow_ = kUnwrapped;
  const int height = PaintWrapLine(line, -1, 0, MaxInt, text, display, rect, styleColor, styleBk);
  paintRow_ = -1;
  return height;
}

int TQuillRichPainter::PaintString(const TRect& rect, int line, int start, const std::string& text,
                                   const std::string& display, TColor styleColor, TColor styleBkColor) {
  if (View() == nullptr) return TQuillPainter::PaintString(rect, line, start, text, display, styleColor, styleBkColor);
  const TCustomPainterRecord* area = CurrentRecord();
  const int origin = area != nullptr ? area->Origin.X : rect.Left;
  TQuillRichWrapRecord plain;
  const TQuillRichWrapRecord* row = paintRow_ >= 0 ? RichRow(paintRow_) : nullptr;
  if (row == nullptr) {
    TQuillLineInfo run;
    run.Font = &View()->EditorFontRecord();
    run.Width = GetWidth(*run.Font, text);
    run.Height = run.Font->Info.Height;
    run.BaseLine = run.Font->Info.Ascent;
    run.End = start + static_cast<int>(text.size());
    run.Color = Owner()->Font().Color;
    plain.Start = start;
    plain.Info.Height = rect.Height();
    plain.Info.BaseLine = run.BaseLine;
    plain.Runs.push_back(run);
    row = &plain;
  }
  int x = origin + row->Info.Left;
  if (row->Info.Left > 0) {
    if (!Transparent()) DoFillRect({rect.Left, rect.Top, std::max(x, rect.Left), rect.Bottom}, clNone);
    const TQuillParagraph* paragraph = start == 0 ? View()->FindParagraph(line) : nullptr;
    if (paragraph != nullptr && paragraph->Numbering() != TQuillNumberingStyle::nbsNone) {
      const TQuillLineInfo* first = nullptr;
      for (const TQuillLineInfo& run : row->Runs)
        if (run.Object < 0) {
          first = &run;
          break;
        }
      PaintNumbering({x - kNumberArea, rect.Top, x, rect.Bottom}, row->Info.BaseLine, *paragraph, first);
    }
  }
  int column = start;
  for (const TQuillLineInfo& run : row->Runs) {
    if (x >= rect.Right) break;
    const int from = column - start, count = run.End - column;
    // Views into the row's text: a run is painted without copying it.
    PaintRun(rect, row->Info.BaseLine, x, run, Part(text, from, count), Part(display, from, count), line, column,
             styleColor, styleBkColor);
    x += run.Width + run.Left;
    column = run.End;
  }
  return x;
}

void TQuillRichPainter::PaintRun(const TRect& rowRect, int baseLine, int x, const TQuillLineInfo& run,
                                 std::string_view text, std::string_view display, int line, int column,
                                 TColor styleColor, TColor styleBkColor) {
  TQuillEditorView& owner = *Owner();
  TQuillEditorColors& colors = owner.Colors();
  const int top = rowRect.Top + baseLine - run.BaseLine;
  if (run.Object >= 0) {
    const bool selected = owner.SelType() != TQuillSelType::slNone && SelectionShown() && owner.InsideBlock(column, line);
    const TRect cell{x, rowRect.Top, x + run.Width + run.Left, rowRect.Bottom};
    if (selected) DoFillRect(cell, colors.GetSelBackColor());
    else if (!Transparent()) DoFillRect(cell, owner.GetEditorColor());
    if (TQuillEditorObject* object = View()->FindObject(run.Object))
      object->PaintRect(Canvas(), {x, top, x + run.Width, top + run.Height}, {x, top}, selected, true,
                        owner.GetEditorColor(), colors.GetSelBackColor());
    return;
  }
  const TQuillFontRecord& font = *run.Font;
  const TColor back = run.Background != clNone ? run.Background : owner.GetEditorColor();
  const bool spell = run.Misspelled && (owner.GetEditSource().Options() & srLiveSpell);
  int px = x;
  ForEachPiece(text, !display.empty(), line, column, [&](int from, int count, const TPieceLook& look) {
    const std::string_view piece = Part(text, from, count);
    // Cells are as wide as the text, whatever a formatting mark's glyph is.
    const int width = GetWidth(font, piece);
    const std::string_view shown = look.Mark ? Part(display, from, count) : piece;
    const TRect cell{px, top, px + width, top + font.Info.Height};
    DoTextOut(cell, &rowRect, shown, &font.Font, font.Font.Style, run.Color, back, look.Selected, look.Search,
              look.Mark, styleColor, styleBkColor);
    if (spell)
      DrawLiveSpell(Canvas(), {cell.Left, cell.Top, cell.Right, std::min(rowRect.Bottom, top + font.Info.Ascent + 4)},
                    colors.LiveSpellColor());
    px += width;
  });
  if (run.Left > 0 && !Transparent()) DoFillRect({px, rowRect.Top, px + run.Left, rowRect.Bottom}, back);
}

void TQuillRichPainter::PaintNumbering(const TRect& rect, int baseLine, const TQuillParagraph& paragraph,
                                       const TQuillLineInfo* run) {
  const std::string number = paragraph.GetNumberString();
  if (number.empty()) return;
  TCanvas& canvas = Canvas();
  platform::TCanvasStateSaver saved(canvas);
  TCanvasFont font;
  const bool bullet = paragraph.Numbering() == TQuillNumberingStyle::nbsBullet;
  font.Name = bullet ? "Symbol" : (run != nullptr ? run->Font->Font.Name : Owner()->Font().Name);
  // A cell height: as tall as the text, at most 16 pixels.
  font.Height = std::min(run != nullptr ? run->Height : GetDefaultLineHeight(), 16);
  font.Style = 0;
  canvas.SetFont(font);
  canvas.SetTextColor(run != nullptr ? run->Color : Owner()->Font().Color);
  canvas.SetBkMode(platform::TBkMode::bkTransparent);
  const int top = rect.Top + baseLine - canvas.TextMetrics().Ascent;
  canvas.ExtTextOut(rect.Left, top, platform::etoClipped, &rect, number, nullptr);
}

}  // namespace quill
