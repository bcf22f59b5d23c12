#pragma once

// An editor view made of plain fields, for the painter, property-object and
// page tests: a real document, painter, pages and property objects, a
// recording canvas by default, and a stream selection kept as two points.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/QuillBackground.h"
#include "editor/QuillEditorColors.h"
#include "editor/QuillGutter.h"
#include "editor/QuillLineStyles.h"
#include "editor/QuillPages.h"
#include "editor/QuillPainter.h"
#include "editor/QuillWrapList.h"
#include "platform/RecordingCanvas.h"

namespace viewtest {

using namespace quill;

class FakeView : public TQuillEditorView, public TQuillBackgroundOwner {
 public:
  FakeView();
  ~FakeView() override;

  // ---- the test's knobs ----
  TCustomQuillEditSource source;
  TQuillEditorColors colors{this};
  TQuillLineDivider divider{this};
  TQuillControlBackground background{this};
  TQuillEditorGutter gutter{this};
  TQuillLineNumbers numbers{this};
  TQuillLineStyles styles{this};
  TQuillWrapList wrap;
  TQuillPages pages{this};
  std::unique_ptr<TQuillPainter> painter;
  platform::TRecordingCanvas recorder{{0, 0, 400, 300}};
  TCanvas* canvas = &recorder;
  TQuillFont font;
  TColor color = clWindow;
  TQuillEditorOptions options = DefaultEditorOptions;
  bool wordWrap = false;
  TQuillPageType pageType = TQuillPageType::ptNormal;
  bool focused = true;
  bool hideSelection = false;
  TQuillSelType selType = TQuillSelType::slNone;
  TPoint selStart, selEnd;       // stream selection, end exclusive
  TPoint searchStart, searchEnd;  // search match, end exclusive
  TPoint caret;
  int width = 400, height = 300;
  int left = 0;  // where the text area starts (the gutter lies before it)
  int invalidations = 0;
  int lineNumberWidth = 0;
  int rebuildingFrom = -1;  // the line from which rows are being rebuilt

  void SetText(const std::vector<std::string>& lines);
  // Rows for every line, at most Columns characters each.
  void WrapAll(int columns);
  // Paints lines from the top into a fresh record of the whole client area.
  // With Marks, blanks show as formatting marks.
  void PaintAll(int firstLine = 0, bool marks = false);

  // ---- TQuillEditorView ----
  TCustomQuillEditSource& GetEditSource() override { return source; }
  TCustomQuillPainter& Painter() override { return *painter; }
  TQuillEditorColors& Colors() override { return colors; }
  TQuillLineDivider& LineDivider() override { return divider; }
  TQuillControlBackground& Background() override { return background; }
  TQuillEditorGutter& Gutter() override { return gutter; }
  TQuillLineNumbers& LineNumbers() override { return numbers; }
  TQuillLineStyles& LineStyles() override { return styles; }
  TQuillWrapList& WrapList() override { return wrap; }
  TQuillPages& Pages() override { return pages; }
  TQuillFont Font() const override { return font; }
  TColor Color() const override { return color; }
  TColor GetEditorColor() const override { return color; }
  TQuillEditorOptions Options() const override { return options; }
  bool WordWrap() const override { return wordWrap; }
  TQuillPageType PageType() const override { return pageType; }
  bool Focused() const override { return focused; }
  bool HideSelection() const override { return hideSelection; }
  bool Overwrite() const override { return false; }
  bool Monochrome() const override { return false; }
  void GetColorFromStyle(int index, TColor& c, TColor& bk) override { styles.GetColors(index, options, c, bk); }
  // The draw-style event: counted, and passed to drawStyle when one is set.
  void DoGetDrawStyle(int line, int ch, uint16_t& style) override {
    ++drawStyleCalls;
    if (drawStyle) drawStyle(line, ch, style);
  }
  std::function<void(int line, int ch, uint16_t& style)> drawStyle;
  int drawStyleCalls = 0;
  bool CheckBrackets(int, int) override { return false; }
  TQuillSelType SelType() const override { return selType; }
  bool GetSelBounds(int line, int row, int& left, int& right, bool inPixels) override;
  bool InsideBlock(int x, int y) override;
  bool InsideSearchRect(int x, int y) override;
  bool SearchRectEmpty() const override { return searchStart == searchEnd; }
  TPoint GetCurrentPosition() const override { return caret; }
  int VisibleLineOf(int line) override { return line; }
  int RealLineOf(int line) override { return line; }
  TCanvas& Canvas() override { return *canvas; }
  QWidget* Widget() override { return nullptr; }
  bool HandleAllocated() const override { return true; }
  bool Destroying() const override { return false; }
  int ClientWidth() const override { return width; }
  int ClientHeight() const override { return height; }
  int WindowLine() const override { return 0; }
  int WindowChar() const override { return 0; }
  void Invalidate() override { ++invalidations; }
  void InvalidateRect(const TRect&) override { ++invalidations; }
  void InvalidateSelection() override { ++invalidations; }
  void InvalidateSearchRect() override { ++invalidations; }
  void PaintBackground() override {}
  int GetLineNumberWidth() override { return lineNumberWidth; }
  void UpdateLineNumbers(bool) override {}
  int GetLeftIndent() override { return 0; }
  int GetTopIndent() override { return 0; }
  int GetLeftRulerIndent() override { return 0; }
  int GetTopRulerIndent() override { return 0; }
  void UpdateRulers() override {}
  void RulerChanged(TQuillRuler&, TQuillRulerIndentation*) override {}
  TColor BorderColor() const override { return clBtnShadow; }
  TQuillFont PageNumFont() const override { return font; }
  void PaintGutter(TCanvas&, const TRect&) override {}
  void PageChanged(TQuillPage&) override {}
  void UpdateAllPages() override { pages.SetMeasuredCount(0); }
  void UpdateDefaultPage() override {}
  int RebuildingFromLine() const override { return rebuildingFrom; }
  void ResetScrollCache() override {}
  void UpdateScrollBars() override {}
  int GetPageTop(const TQuillPage& page) override { return page.Top; }
  int ScrolledWidth() override { return 0; }

  // ---- TQuillBackgroundOwner ----
  TRect BackgroundRect() const override { return {0, 0, width, height}; }
  TBrush BackgroundBrush() const override { return {color, platform::TBrushStyle::bsSolid}; }
  void InvalidateBackground() override { ++invalidations; }
};

// The recorded calls that start with Prefix.
std::vector<std::string> CallsStarting(const platform::TRecordingCanvas& canvas, const std::string& prefix);

}  // namespace viewtest

namespace viewtest {
// An application object for tests that draw text or make widgets; made by
// the first test that asks, gone when the tests end.
void EnsureApp();
}  // namespace viewtest
