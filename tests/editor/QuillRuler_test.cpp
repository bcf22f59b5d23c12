#include <gtest/gtest.h>

#include "QuillView_helpers.h"
#include "editor/QuillRuler.h"
#include "platform/RecordingCanvas.h"

using namespace quill;

namespace {
// Sliders and margins of a fresh ruler: 400 pixels long, margins of 36, so
// the text runs from 36 to 364.
struct App {
  App() { viewtest::EnsureApp(); }
};
struct Fresh {
  App app;
  TQuillRuler ruler;
  std::vector<TQuillRulerItem*> changed;
  void Watch() {
    // The item is told while it still counts as dragged.
    ruler.OnChange = [this](TQuillRuler&, TQuillRulerItem& item) {
      if (item.Dragging) changed.push_back(&item);
    };
  }
  void Drag(int x0, int y0, int x1, int y1) {
    ruler.MouseDown(x0, y0);
    ruler.MouseMove(x1, y1, true);
    ruler.MouseUp(x1, y1);
  }
};
}  // namespace

TEST(QuillRuler, SnapsToTheScale) {
  ASSERT_EQ(DeviceCaps().X, 96);
  struct Case {
    TQuillRulerUnits units;
    int value, snapped;
  };
  const Case cases[] = {{TQuillRulerUnits::erMilimeters, 50, 47},  // 12.5 mm
                        {TQuillRulerUnits::erMilimeters, 288, 283},
                        {TQuillRulerUnits::erInches, 50, 48},
                        {TQuillRulerUnits::erInches, 59, 48},
                        {TQuillRulerUnits::erPixels, 50, 48},
                        {TQuillRulerUnits::erCharacters, 7, 0}};
  Fresh f;
  for (const Case& c : cases) {
    f.ruler.SetUnits(c.units);
    EXPECT_EQ(f.ruler.GetDiscreteInterval(c.value), c.snapped) << c.value;
  }
  f.ruler.SetOptions(roShowSliders);
  EXPECT_EQ(f.ruler.GetDiscreteInterval(50), 50);
}

TEST(QuillRuler, SlidersKeepTheirDistanceAndMoveTogether) {
  Fresh f;
  f.Watch();
  TQuillRulerSlider& first = *f.ruler.Sliders().Find(TQuillSliderType::rtFirst);
  TQuillRulerSlider& left = *f.ruler.Sliders().Find(TQuillSliderType::rtLeft);
  TQuillRulerSlider& bottom = *f.ruler.Sliders().Find(TQuillSliderType::rtBottom);
  TQuillRulerSlider& right = *f.ruler.Sliders().Find(TQuillSliderType::rtRight);
  ASSERT_EQ(f.ruler.SliderPos(left), 36);
  ASSERT_EQ(f.ruler.SliderPos(right), 364);

  // The box under the left indent carries the left and first-line indents.
  f.Drag(36, 22, 36 + 47, 22);
  EXPECT_EQ(bottom.Indent(), 47);
  EXPECT_EQ(left.Indent(), 47);
  EXPECT_EQ(first.Indent(), 47);
  EXPECT_EQ(f.changed, (std::vector<TQuillRulerItem*>{&bottom}));
  EXPECT_EQ(f.ruler.MoveLinePos(), -1);

  // The left indent stops 40 pixels before the right one, then snaps.
  f.changed.clear();
  f.Drag(36 + 47, 14, 399, 14);
  EXPECT_EQ(left.Indent(), 283);
  EXPECT_EQ(bottom.Indent(), 283);
  EXPECT_EQ(first.Indent(), 47);
  EXPECT_LE(f.ruler.SliderPos(left), f.ruler.SliderPos(right) - 40);
  EXPECT_EQ(f.changed, (std::vector<TQuillRulerItem*>{&left}));

  // The right indent stops 40 pixels after the rightmost left-side slider
  // (x 359, 323 into the text, 85 mm), measured from the text's end.
  f.Drag(364, 14, 0, 14);
  EXPECT_EQ(right.Indent(), 328 - 321);
}

TEST(QuillRuler, MarginsDragUnlessFixed) {
  Fresh f;
  f.Watch();
  EXPECT_EQ(f.ruler.CursorAt(36, 1), Qt::SizeHorCursor);
  f.Drag(36, 1, 100, 1);
  EXPECT_EQ(f.ruler.LeftPageIndent(), 104);  // 27.5 mm
  ASSERT_EQ(f.changed.size(), 1u);
  EXPECT_EQ(f.changed[0], &f.ruler.Indentations().Items(0));
  // The right margin keeps 40 pixels from the left one: 256 from the end,
  // snapped to 67.5 mm.
  f.Drag(364, 1, 10, 1);
  EXPECT_EQ(f.ruler.RightPageIndent(), 255);

  f.changed.clear();
  f.ruler.SetOptions(f.ruler.Options() | roFixedIndents);
  EXPECT_EQ(f.ruler.CursorAt(104, 1), Qt::ArrowCursor);
  f.Drag(104, 1, 200, 1);
  EXPECT_EQ(f.ruler.LeftPageIndent(), 104);

  // Whole collections are copied in: what another ruler is given stays its own.
  Fresh g;
  g.ruler.SetIndentations(f.ruler.Indentations());
  g.ruler.SetSliders(f.ruler.Sliders());
  EXPECT_EQ(g.ruler.LeftPageIndent(), 104);
  EXPECT_EQ(g.ruler.RightPageIndent(), 255);
  EXPECT_NE(&g.ruler.Indentations().Items(0), &f.ruler.Indentations().Items(0));
  EXPECT_EQ(g.ruler.Sliders().Count(), 4);
}

TEST(QuillRuler, PaintsTheScaleAndOnlyHorizontalSliders) {
  Fresh f;
  platform::TRecordingCanvas canvas;
  f.ruler.PaintTo(canvas);
  // Millimetres from the left margin at 36: 38 marks to the right, 3 to the
  // left, a number on every fourth.
  const auto texts = viewtest::CallsStarting(canvas, "ExtTextOut");
  EXPECT_EQ(texts.size(), 41u);
  EXPECT_NE(std::find_if(texts.begin(), texts.end(), [](const std::string& s) { return s.find("\"9\"") != std::string::npos; }),
            texts.end());
  EXPECT_EQ(viewtest::CallsStarting(canvas, "Polygon").size(), 3u);
  EXPECT_EQ(viewtest::CallsStarting(canvas, "Rectangle").size(), 1u);

  f.ruler.SetOrientation(TQuillRulerOrientation::roVertical);
  EXPECT_EQ(f.ruler.Sliders().Count(), 0);
  EXPECT_EQ(f.ruler.width(), 26);
  canvas.Clear();
  f.ruler.PaintTo(canvas);
  const auto turned = viewtest::CallsStarting(canvas, "ExtTextOut");
  ASSERT_FALSE(turned.empty());
  EXPECT_NE(turned[0].find("esc=900"), std::string::npos);
  EXPECT_TRUE(viewtest::CallsStarting(canvas, "Polygon").empty());
}
