#pragma once

// The editor control as the view-side parts see it: the line painter, the
// property objects (gutter, colours, line numbers, divider, rulers) and the
// pages. The control implements it; tests implement it with plain fields.
// Each part asks only through this, so none of them depends on the widget.

#include <cstdint>

#include "editor/QuillAttributes.h"
#include "editor/QuillEditSource.h"
#include "platform/Canvas.h"

class QWidget;

namespace quill {

enum TQuillEditorOption : uint32_t {
  eoPaintGutter = 1u << 0,
  eoPaintMargin = 1u << 1,
  eoPaintWrapBookmark = 1u << 2,
  eoPersistentBlocks = 1u << 3,
  eoOverwriteBlocks = 1u << 4,
  eoEnableDragging = 1u << 5,
  eoEnableSearchHighlight = 1u << 6,
  eoEnableSelection = 1u << 7,
  eoSelectBeyondEol = 1u << 8,
  eoColorSelection = 1u << 9,
  eoWordSelection = 1u << 10,
  eoSelectFoundText = 1u << 11,
  eoDblClickLine = 1u << 12,
  eoForceCutCopy = 1u << 13,
  eoLineStyleBeyondEol = 1u << 14,
  eoInvertLineStyle = 1u << 15,
  eoUseReadOnlyColor = 1u << 16,
  eoUseDisabledColor = 1u << 17,
  eoThumbTracking = 1u << 18,
  eoOverwriteCaret = 1u << 19,
  eoBreakWordsAtMargin = 1u << 20,
  eoMoveOnRightClick = 1u << 21,
  eoKeepColumn = 1u << 22,
  eoCenterOnBookmark = 1u << 23,
  eoShowScrollHint = 1u << 24,
  eoFindTextAtCursor = 1u << 25,
  eoCollapseButtonOnGutter = 1u << 26,
  eoHighlightBrackets = 1u << 27,
  eoReduceBlockSel = 1u << 28,
  eoEnTabBlock = 1u << 29,
  eoPaintFormattingMarks = 1u << 30,
};
using TQuillEditorOptions = uint32_t;
constexpr TQuillEditorOptions DefaultEditorOptions = 0xE1F3;

enum class TQuillSelType : uint8_t { slNone, slStream, slBlock };
enum class TQuillPageType : uint8_t { ptNormal, ptPageBreaks, ptPageLayout };

class TCustomQuillPainter;
class TQuillControlBackground;
class TQuillEditorColors;
class TQuillEditorGutter;
class TQuillLineDivider;
class TQuillLineNumbers;
class TQuillLineStyles;
class TQuillPage;
class TQuillPages;
class TQuillRuler;
class TQuillRulerIndentation;
class TQuillRulerSlider;
class TQuillWrapList;

class TQuillEditorView {
 public:
  virtual ~TQuillEditorView() = default;

  // ---- document ----
  virtual TCustomQuillEditSource& GetEditSource() = 0;
  TQuillStrings& GetLines() { return GetEditSource().Strings(); }
  TCustomQuillParser* GetParser() { return GetEditSource().Parser(); }

  // ---- companions ----
  virtual TCustomQuillPainter& Painter() = 0;
  virtual TQuillEditorColors& Colors() = 0;
  virtual TQuillLineDivider& LineDivider() = 0;
  virtual TQuillControlBackground& Background() = 0;
  virtual TQuillEditorGutter& Gutter() = 0;
  virtual TQuillLineNumbers& LineNumbers() = 0;
  virtual TQuillLineStyles& LineStyles() = 0;
  virtual TQuillWrapList& WrapList() = 0;
  virtual TQuillPages& Pages() = 0;

  // ---- look ----
  virtual TQuillFont Font() const = 0;
  // The Color property, and the colour the text area shows (read-only and
  // disabled colours applied).
  virtual TColor Color() const = 0;
  virtual TColor GetEditorColor() const = 0;
  virtual TQuillEditorOptions Options() const = 0;
  virtual bool WordWrap() const = 0;
  virtual TQuillPageType PageType() const = 0;
  bool PageLayout() const { return PageType() == TQuillPageType::ptPageLayout; }
  bool NeedPages() const { return PageType() != TQuillPageType::ptNormal; }
  virtual bool Focused() const = 0;
  virtual bool HideSelection() const = 0;
  // Overwrite mode (shared by every editor).
  virtual bool Overwrite() const = 0;
  // Raised while printing: the painter then draws black on white.
  virtual bool Monochrome() const = 0;
  // Line-style colours for painting: both -1 unless the index names a style.
  virtual void GetColorFromStyle(int styleIndex, TColor& color, TColor& backColor) = 0;
  // Lets the OnGetDrawStyle handler change a character's style word.
  virtual void DoGetDrawStyle(int line, int ch, uint16_t& style) = 0;
  // Whether the character (column counted from 1) is a highlighted bracket.
  virtual bool CheckBrackets(int line, int column) = 0;

  // ---- selection, search, caret ----
  virtual TQuillSelType SelType() const = 0;
  // The columns (or, InPixels, pixels) of the selection on a line (Row is the
  // row with word wrap, else -1); false when the line is outside it.
  virtual bool GetSelBounds(int line, int row, int& left, int& right, bool inPixels) = 0;
  virtual bool InsideBlock(int x, int y) = 0;
  virtual bool InsideSearchRect(int x, int y) = 0;
  virtual bool SearchRectEmpty() const = 0;
  virtual TPoint GetCurrentPosition() const = 0;

  // ---- lines shown ----
  virtual int VisibleLineOf(int line) = 0;
  virtual int RealLineOf(int visibleLine) = 0;

  // ---- window ----
  // The control's canvas: the one being painted on during a paint, else one
  // that measures like it.
  virtual TCanvas& Canvas() = 0;
  virtual QWidget* Widget() = 0;
  virtual bool HandleAllocated() const = 0;
  virtual bool Destroying() const = 0;
  virtual int ClientWidth() const = 0;
  virtual int ClientHeight() const = 0;
  // The first shown row and column (in page layout, pixel offsets).
  virtual int WindowLine() const = 0;
  virtual int WindowChar() const = 0;
  virtual void Invalidate() = 0;
  virtual void InvalidateRect(const TRect& rect) = 0;
  // Repaints the selection, the search-match rectangle.
  virtual void InvalidateSelection() = 0;
  virtual void InvalidateSearchRect() = 0;
  // Both backgrounds (text area and gutter) paint their pictures afresh.
  virtual void PaintBackground() = 0;

  // ---- indents and rulers ----
  virtual int GetLineNumberWidth() = 0;
  // Recomputes the line-number width, re-measuring pages when they are used.
  virtual void UpdateLineNumbers(bool force) = 0;
  virtual int GetLeftIndent() = 0;
  virtual int GetTopIndent() = 0;
  virtual int GetLeftRulerIndent() = 0;
  virtual int GetTopRulerIndent() = 0;
  virtual void UpdateRulers() = 0;
  virtual void RulerChanged(TQuillRuler& ruler, TQuillRulerIndentation* indentation) = 0;
  // A paragraph slider was moved; only editors with paragraphs take it.
  virtual void SliderChanged(TQuillRuler& ruler, TQuillRulerSlider& slider) {
    (void)ruler;
    (void)slider;
  }

  // ---- pages ----
  // The desk around pages in page layout, and the font of page numbers.
  virtual TColor BorderColor() const = 0;
  virtual TQuillFont PageNumFont() const = 0;
  // The gutter (with line numbers beside it) over a band of the control.
  virtual void PaintGutter(TCanvas& canvas, const TRect& rect) = 0;
  virtual void PageChanged(TQuillPage& page) = 0;
  // Marks every page for measuring again (text or page settings changed).
  virtual void UpdateAllPages() = 0;
  virtual void UpdateDefaultPage() = 0;
  // While the control rewraps from a line onwards, the first line not yet
  // redone; -1 otherwise.
  virtual int RebuildingFromLine() const = 0;
  virtual void ResetScrollCache() = 0;
  virtual void UpdateScrollBars() = 0;
  // The screen y of a page's first text position, for the current WindowLine.
  virtual int GetPageTop(const TQuillPage& page) = 0;
  // The width in pixels of the columns scrolled out of view on the left.
  virtual int ScrolledWidth() = 0;
};

}  // namespace quill
