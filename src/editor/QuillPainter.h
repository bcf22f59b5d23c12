#pragma once

// The line painter: draws an editor's lines on a canvas and answers every
// geometric question the control asks (line height, character width, which
// pixel a text position lands on and back, lines per page, caret size). The
// control owns one painter and calls it only through the virtual operations,
// so the rich editor can put a painter of its own in its place.
//
// Coordinates. A paint area (a painter record) names the text point at its
// top-left (TopLeft: the first shown line, or a character inside a wrapped
// line) and the pixel at which column 0 of that row stands (Origin). Pixel
// points given to and returned by the conversions are relative to Origin.
// Columns and characters count from 0 here; 1-based columns appear only
// where the editor's own interface says so (CheckBrackets).
//
// The plain painter gives every character one cell of the editor font's
// average width, so positions and pixels convert by multiplication, and the
// text goes to the canvas with an advance array that keeps each character in
// its cell whatever its glyph's width.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/QuillEditorView.h"
#include "platform/QtCanvas.h"

namespace quill {

using platform::TBitmap;
using platform::TCanvasFont;

struct TCustomPainterRecord {
  virtual ~TCustomPainterRecord() = default;
  TRect Rect;      // the area to paint, in the control's pixels
  TPoint Origin;   // where column 0 of the TopLeft row stands
  TPoint TopLeft;  // (character, line) shown at the area's top-left
  int PageIndex = 0;
  int FirstLine = 0;  // found by InitPainterRecord: the first line painted,
  int FirstChar = 0;  // and with word wrap the first character of its row
};

struct TSimplePainterRecord : TCustomPainterRecord {
  int FirstColumn = 0;
  int LastColumn = MaxInt;
};

class TCustomQuillPainter : public TQuillObject {
 public:
  explicit TCustomQuillPainter(TQuillEditorView* owner);
  ~TCustomQuillPainter() override;
  TCustomQuillPainter(const TCustomQuillPainter&) = delete;
  TCustomQuillPainter& operator=(const TCustomQuillPainter&) = delete;

  // The second half of construction, which may call overrides: makes the
  // width buffer. Create runs both halves.
  virtual void AfterConstruction();
  template <class P>
  static std::unique_ptr<P> Create(TQuillEditorView* owner) {
    auto painter = std::make_unique<P>(owner);
    painter->AfterConstruction();
    return painter;
  }

  TQuillEditorView* Owner() const { return owner_; }

  // ---- the paint under way ----
  // One record per paint area; the control clears them at the start of a
  // paint and adds one per page or area.
  std::vector<std::unique_ptr<TCustomPainterRecord>>& PainterRecords() { return records_; }
  TCustomPainterRecord* AddPainterRecord();
  TCustomPainterRecord* CurrentRecord() const { return current_; }
  void SetCurrentRecord(TCustomPainterRecord* record) { current_ = record; }
  // Off screen: the painter draws into Work and copies each finished row to
  // the control's canvas over the background picture; null draws straight
  // onto the control's canvas.
  void SetOffscreen(TBitmap* work) { work_ = work; }
  bool Transparent() const { return work_ != nullptr || transparentText_; }
  TCanvas& Canvas() const;
  bool NeedSpell = false;
  bool HighlightUrls = false;
  // Whether the screen shows more than 256 colours: asked once a paint, not
  // once a run.
  bool HiColor = true;
  int WrapWidth() const { return wrapWidth_; }

  // ---- virtual operations ----
  virtual int* GetBuffer(int count);
  virtual void FreeBuffer();
  virtual void GetFontAndColor(int index, TColor& bkColor, TColor& color, TFontStyles& style) = 0;
  virtual std::unique_ptr<TCustomPainterRecord> NewPainterRecord() const;
  // Lines (or, with word wrap, parts of lines) from TopLeft that fit in Rect;
  // LastChar is where the last one is cut (MaxInt when it is not).
  virtual int LinesOnPage(TPoint topLeft, const TRect& rect, int& lastChar) = 0;
  // Whole columns and lines in Rect; -1 for a dimension under one pixel.
  virtual TPoint ScrollPageSize(const TRect& rect) = 0;
  virtual void InitWordWrap(int width, const TQuillCharSet& delimiters);
  virtual void InitPainterRecord(TCustomPainterRecord& record) = 0;
  // Paints a line (from the row holding FirstChar with word wrap) into Rect;
  // returns the height painted. Display is Text with formatting marks in
  // place of blanks (empty without marks). ExtendLast asks the last run to
  // paint the text past its row too.
  virtual int PaintLine(int line, int firstChar, const std::string& text, const std::string& display, TRect rect,
                        bool extendLast) = 0;
  virtual int GetTopLineHeight() = 0;
  virtual int GetDefaultCharWidth() = 0;
  virtual int GetDefaultLineHeight() = 0;
  virtual int GetLineHeight(int line, int ch) = 0;
  virtual int GetCharWidth(int line, int ch) = 0;
  virtual int GetOffsetFromChar(int ch) = 0;
  // Width and height of the caret.
  virtual TPoint GetCaretSize() = 0;
  // How far below the top of its row the caret stands (rows of several
  // fonts put it on the base line of the text it is in).
  virtual int GetCaretBaseLine() { return 0; }
  virtual void FontChanged() {}
  virtual int GetWrapLenForLine(int line, const std::string& text, int start) = 0;
  virtual TPoint TextToPixelPoint(TPoint textPt, TPoint topLeft, bool atEnd) = 0;
  // YLimit, when not null, caps the pixel's y to the rows that fit above it.
  virtual TPoint PixelToTextPoint(TPoint pixel, TPoint topLeft, const int* yLimit, bool limitToRow) = 0;
  // The text point at X on a row (a line without word wrap).
  virtual TPoint PixelToTextChar(int row, int x, bool limitToRow) = 0;

 protected:
  // Text output of one run with the painter's colour rules: search match
  // over selection over line style over the run's own colours. Rect is the
  // run's cell; Clip, when given, limits it vertically.
  void DoTextOut(const TRect& rect, const TRect* clip, std::string_view text, const TCanvasFont* font,
                 TFontStyles style, TColor color, TColor bkColor, bool selected, bool searchMatch, bool fmtMark,
                 TColor styleColor, TColor styleBkColor);
  // Rect cut at the selection's pixels: the selected part in SelBkColor (the
  // selection colour when -1), the rest in BkColor (the canvas brush when -1,
  // untouched when transparent).
  void DoFillSelRect(const TRect& rect, int selStart, int selEnd, TColor bkColor, TColor selBkColor);
  void DoFillRect(const TRect& rect, TColor color);

  TBitmap* Offscreen() const { return work_; }
  int BusyCount() const { return busy_; }
  void Busy(int delta) { busy_ += delta; }
  // The measures of the editor font in a style.
  platform::TTextMetrics FontMetrics(TFontStyles style);

  std::vector<int> buffer_;
  int wrapWidth_ = 0;
  bool transparentText_ = false;

 private:
  TQuillEditorView* owner_;
  std::vector<std::unique_ptr<TCustomPainterRecord>> records_;
  TCustomPainterRecord* current_ = nullptr;
  TBitmap* work_ = nullptr;
  int busy_ = 0;
};

class TQuillPainter : public TCustomQuillPainter {
 public:
  using TCustomQuillPainter::TCustomQuillPainter;

  int* GetBuffer(int count) override;
  void GetFontAndColor(int index, TColor& bkColor, TColor& color, TFontStyles& style) override;
  std::unique_ptr<TCustomPainterRecord> NewPainterRecord() const override;
  int LinesOnPage(TPoint topLeft, const TRect& rect, int& lastChar) override;
  TPoint ScrollPageSize(const TRect& rect) override;
  void InitWordWrap(int width, const TQuillCharSet& delimiters) override;
  void InitPainterRecord(TCustomPainterRecord& record) override;
  int PaintLine(int line, int firstChar, const std::string& text, const std::string& display, TRect rect,
                bool extendLast) override;
  int GetTopLineHeight() override { return LineHeight(); }
  int GetDefaultCharWidth() override { return CharWidth(); }
  int GetDefaultLineHeight() override { return LineHeight(); }
  int GetLineHeight(int, int) override { return LineHeight(); }
  int GetCharWidth(int, int) override { return CharWidth(); }
  int GetOffsetFromChar(int ch) override;
  TPoint GetCaretSize() override;
  void FontChanged() override;
  int GetWrapLenForLine(int, const std::string&, int) override { return wrapColumn_; }
  TPoint TextToPixelPoint(TPoint textPt, TPoint topLeft, bool atEnd) override;
  TPoint PixelToTextPoint(TPoint pixel, TPoint topLeft, const int* yLimit, bool limitToRow) override;
  TPoint PixelToTextChar(int row, int x, bool limitToRow) override;

  virtual int GetStringWidth(const TCanvasFont* font, const std::string& text);
  // Paints the visible columns of a row's text from Rect's left; returns the
  // x where the text ends.
  virtual int PaintString(const TRect& rect, int line, int start, const std::string& text, const std::string& display,
                          TColor styleColor, TColor styleBkColor);
  virtual int GetWrapLineHeight(int row) { (void)row; return LineHeight(); }

  int LineHeight();
  int CharWidth();
  int GetBaseLine();

 protected:
  // One row: its background, text, the fill past its end and its divider.
  int PaintWrapLine(int line, int row, int start, int end, const std::string& text, const std::string& display,
                    const TRect& rect, TColor styleColor, TColor styleBkColor);
  // A line's wrap rows from Row on, each through PaintWrapLine with paintRow_
  // set to it; returns the height painted.
  int PaintRows(int line, int row, const std::string& text, const std::string& display, TRect rect,
                TColor styleColor, TColor styleBkColor);
  // Runs of equal style word and bracket highlight.
  int SyntaxPaint(const TRect& rect, int line, int column, const std::string& text, const std::string& display,
                  TColor styleColor, TColor styleBkColor);
  // How a piece of a run shows, besides its colours.
  struct TPieceLook {
    bool Selected = false;
    bool Search = false;
    bool Mark = false;  // a blank shown as its formatting mark
    bool operator==(const TPieceLook&) const = default;
  };
  // Cuts a run's text (from Column of a line) where selection, search match
  // or formatting marks begin or end, in pieces at most 512 characters
  // long, and hands each to Output (from, count, look).
  void ForEachPiece(std::string_view text, bool marks, int line, int column,
                    const std::function<void(int from, int count, const TPieceLook& look)>& output);
  bool SelectionShown();
  // A run cut where selection, search match or formatting marks begin or
  // end, and at most 512 characters long; returns the x after it.
  int InternalTextOut(const TRect& rect, int x, const std::string& text, const std::string& display,
                      const TCanvasFont& font, TFontStyles style, TColor color, TColor bkColor, int line, int column,
                      bool misspelled, TColor styleColor, TColor styleBkColor);

  // The row PaintRows hands to PaintString, for painters that lay rows out
  // their own way; -1 outside PaintRows.
  int paintRow_ = -1;

 private:
  int AdjustFontHeight(int height);

  int lineHeight_ = 0;
  int charWidth_ = 0;
  int baseLine_ = 0;
  int wrapColumn_ = 1;
};

}  // namespace quill
