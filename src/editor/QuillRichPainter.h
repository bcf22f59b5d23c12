#pragma once

// The painter of the rich editor. A rich line is a chain of runs (text in
// one font and colour, or one picture), and every row has its own height and
// base line, so this painter measures and paints run by run from the rows
// the control wrapped (each row keeps its runs), and maps text points to
// pixels and back by adding up the runs' widths and the rows' heights.
// Character widths come from the process-wide font table, the one the canvas
// draws with, so carets and clicks land exactly on what was drawn.

#include <string>
#include <string_view>

#include "editor/QuillAttributes.h"
#include "editor/QuillPainter.h"
#include "editor/QuillWrapInfoList.h"

namespace quill {

// What the painter needs of the rich editor it paints.
class TQuillRichView {
 public:
  virtual ~TQuillRichView() = default;
  // The run that starts at column Start of the line's text S and ends at
  // End at the latest: one picture, or characters of one attribute.
  // SplitBlanks also ends a run where blanks meet other characters,
  // SplitWords where word delimiters meet other characters. A text run ends
  // too after its first character that takes its width past MaxWidth:
  // wrapping a row needs no more of a run than what crosses the margin.
  virtual TQuillLineInfo ParseString(int line, const std::string& s, int start, int end, bool splitBlanks,
                                     bool splitWords, int maxWidth) = 0;
  // The line's paragraph; null for a line without one.
  virtual const TQuillParagraph* FindParagraph(int line) = 0;
  // The picture of an object number; null when it names none.
  virtual TQuillEditorObject* FindObject(int number) = 0;
  virtual const TQuillFontRecord& EditorFontRecord() = 0;
  // Whether the caret shows at the end of the upper of two rows.
  virtual bool CaretAtRowEnd() const = 0;
};

class TQuillRichPainter : public TQuillPainter {
 public:
  using TQuillPainter::TQuillPainter;

  int* GetBuffer(int count) override;
  int GetStringWidth(const TCanvasFont* font, const std::string& text) override;
  int GetSpaceWidth(const TCanvasFont& font);
  int GetDefaultBaseLine() { return GetBaseLine(); }
  int GetTopLineHeight() override { return GetDefaultLineHeight(); }
  int GetLineHeight(int line, int ch) override;
  int GetWholeLineHeight(int line);
  int GetWrapLineHeight(int row) override;
  int GetCharWidth(int line, int ch) override;
  int GetCharHeight(int line, int ch);
  TPoint TextToPixelPoint(TPoint textPt, TPoint topLeft, bool atEnd) override;
  // The y of TextToPixelPoint alone, without measuring across the row.
  int TextToPixelY(TPoint textPt, TPoint topLeft, bool atEnd);
  TPoint PixelToTextPoint(TPoint pixel, TPoint topLeft, const int* yLimit, bool limitToRow) override;
  TPoint PixelToTextChar(int row, int x, bool limitToRow) override;
  // The column within the row under X pixels from the row's left edge.
  int CharsInWidth(int row, int width);
  // Rows from Row down (up, for a negative height) that fit in Height;
  // Rest is the height left in the row reached.
  int LinesInHeight(int row, int height, int& rest);
  int GetWrapLenForLine(int line, const std::string& text, int start) override;
  TPoint GetCaretSize() override;
  int GetCaretBaseLine() override;
  TPoint ScrollPageSize(const TRect& rect) override;
  void InitPainterRecord(TCustomPainterRecord& record) override;
  int PaintLine(int line, int firstChar, const std::string& text, const std::string& display, TRect rect,
                bool extendLast) override;
  int PaintString(const TRect& rect, int line, int start, const std::string& text, const std::string& display,
                  TColor styleColor, TColor styleBkColor) override;

  // The row with its runs; null for a row not wrapped yet (or past the text).
  const TQuillRichWrapRecord* RichRow(int row);
  // Hands over the whole runs the last GetWrapLenForLine measured from
  // Start of the line's text S, ending at Stop at the latest, so that
  // wrapping does not parse them a second time; answers where they end
  // (Start when none serve). Runs parsed to split blanks or words are not
  // the ones measured: the caller asks only for plain ones.
  int TakeMeasuredRuns(int line, const std::string& s, int start, int stop, std::vector<TQuillLineInfo>& runs);
  // The editor going away: from now on the painter paints plain text.
  void Detach() {
    view_ = nullptr;
    detached_ = true;
  }

 private:
  // The rich editor; null while it is being made or destroyed, when the
  // painter measures and paints as the plain one does.
  TQuillRichView* View();
  int EditorBlank();
  int RowHeight(int row);
  // The top of a row holding TextPt, from the row of TopLeft.
  int RowY(const TPoint& textPt, int row, TPoint topLeft);
  // A row's height; the default one for a row not wrapped (null).
  int HeightOf(const TQuillRichWrapRecord* row);
  // The heights of rows From .. To - 1 added up.
  int RowsHeight(int from, int to);
  // The pixel of a column (of the line) on a row, from the row's left edge.
  int ColumnX(const TQuillRichWrapRecord& row, const std::string& s, int column);
  // The run that holds the character before a point (the one at it at the
  // row's start); null when the row has no runs.
  const TQuillLineInfo* GetLineInfo(const TQuillRichWrapRecord& row, int column);
  const TQuillRichWrapRecord* RowOfPoint(TPoint p, bool atEnd);
  void PaintRun(const TRect& rowRect, int baseLine, int x, const TQuillLineInfo& run, std::string_view text,
                std::string_view display, int line, int column, TColor styleColor, TColor styleBkColor);
  void PaintNumbering(const TRect& rect, int baseLine, const TQuillParagraph& paragraph, const TQuillLineInfo* run);

  TQuillRichView* view_ = nullptr;
  bool detached_ = false;
  // The runs of the last row measured for wrapping, each parsed whole (not
  // cut at the margin), and the text they were parsed from.
  std::vector<TQuillLineInfo> measured_;
  int measuredLine_ = -1;
  int measuredStart_ = -1;
  const std::string* measuredText_ = nullptr;
};

}  // namespace quill
