#include <gtest/gtest.h>

#include "QuillView_helpers.h"

using namespace quill;
using viewtest::FakeView;

// The property objects: limits they keep, widths they report, colours they
// give, and repaints only when what changed can show.
TEST(QuillEditorProps, KeepLimitsAndReportWidths) {
  FakeView v;
  const TPen wide{clRed, 5, TPenStyle::psSolid, TPenMode::pmCopy};
  v.gutter.SetPen(wide);
  TQuillEditorMargin margin(&v);
  margin.SetPen(wide);
  v.divider.SetPen(wide);
  EXPECT_EQ(v.gutter.Pen().Width, 2);
  EXPECT_EQ(margin.Pen().Width, 2);
  EXPECT_EQ(v.divider.Pen().Width, 2);

  // A copy is told of as each owned object and the position are set.
  FakeView other;
  int gutterChanges = 0, marginChanges = 0;
  other.gutter.OnChange = [&](TQuillObject*) { ++gutterChanges; };
  other.gutter.Assign(v.gutter);
  EXPECT_EQ(gutterChanges, 3);  // brush, images, pen
  TQuillEditorMargin copy(&other);
  copy.OnChange = [&](TQuillObject*) { ++marginChanges; };
  margin.SetPosition(72);
  copy.Assign(margin);
  EXPECT_EQ(marginChanges, 2);  // position, pen
  EXPECT_EQ(copy.Position(), 72);

  EXPECT_EQ(v.gutter.GetWidth(), 32);
  v.lineNumberWidth = 40;
  v.numbers.SetVisible(true);
  EXPECT_EQ(v.gutter.GetWidth(), 32);  // numbers beside the gutter
  v.numbers.SetOptions(lnPaintOnGutter);
  EXPECT_EQ(v.gutter.GetWidth(), 40);
  v.options &= ~eoPaintGutter;
  EXPECT_EQ(v.gutter.GetWidth(), 0);
  v.numbers.SetStartFrom(-3);
  EXPECT_EQ(v.numbers.StartFrom(), 0);
  EXPECT_EQ(v.gutter.Images().Count(), 14);

  v.styles.Add().SetName("Error");
  TQuillLineStyle& ignored = v.styles.Add();
  ignored.SetName("Plain");
  ignored.SetIgnoreColors(true);
  EXPECT_EQ(v.styles.IndexOfName("error"), 0);
  EXPECT_EQ(v.styles.IndexOfName("Warning"), -1);
  struct Case {
    int index;
    TQuillEditorOptions options;
    TColor color, back;
  };
  const Case cases[] = {{0, eoInvertLineStyle, clWindow, clHighlight},
                        {0, 0, clNone, clHighlight},
                        {1, eoInvertLineStyle, clNone, clNone},
                        {5, eoInvertLineStyle, clNone, clNone},
                        {-1, eoInvertLineStyle, clNone, clNone}};
  for (const Case& c : cases) {
    TColor color = 0, back = 0;
    v.styles.GetColors(c.index, c.options, color, back);
    EXPECT_EQ(color, c.color) << c.index;
    EXPECT_EQ(back, c.back) << c.index;
  }
}

TEST(QuillEditorProps, SelectionColoursFollowTheFocusUnlessBothPairsAgree) {
  FakeView v;
  TQuillEditorColors& colors = v.colors;
  int changes = 0;
  colors.OnChange = [&](TQuillObject*) { ++changes; };
  v.focused = false;
  EXPECT_EQ(colors.GetSelColor(), clWindowText);
  EXPECT_EQ(colors.GetSelBackColor(), clBtnFace);
  v.focused = true;
  EXPECT_EQ(colors.GetSelColor(), clHighlightText);
  colors.SetInActiveSelColor(clHighlightText);
  v.focused = false;
  EXPECT_EQ(colors.GetSelColor(), clHighlightText);
  EXPECT_EQ(changes, 1);

  // A colour repaints only where it can be seen.
  v.invalidations = 0;
  colors.SetFmtMarkColor(clRed);
  colors.SetSelColor(clRed);  // no selection
  colors.SetSearchMatchColor(clRed);  // no match
  EXPECT_EQ(v.invalidations, 0);
  v.options |= eoPaintFormattingMarks;
  v.selType = TQuillSelType::slStream;
  colors.SetFmtMarkColor(clBlue);
  colors.SetSelColor(clBlue);
  colors.SetSelColor(clBlue);  // unchanged
  EXPECT_EQ(v.invalidations, 2);

  TQuillEditorColors copy;
  copy.Assign(colors);
  EXPECT_EQ(copy.SelColor(), clBlue);
  EXPECT_EQ(copy.FmtMarkColor(), clBlue);
  copy.InitDefaultValues();
  EXPECT_EQ(copy.SelColor(), clHighlightText);
}

TEST(QuillEditorProps, BackgroundsPaintOnlyWhatTheyNeed) {
  viewtest::EnsureApp();
  FakeView v;
  v.width = 5;
  v.height = 3;
  TQuillControlBackground& b = v.background;
  EXPECT_FALSE(b.NeedPaint());
  b.SetOption(TQuillBackgroundOption::bgTile);
  EXPECT_FALSE(b.NeedPaint());  // no picture yet
  QImage picture(2, 2, QImage::Format_RGB32);
  picture.fill(Qt::white);
  picture.setPixel(0, 0, qRgb(255, 0, 0));
  b.Bitmap().SetImage(picture);
  ASSERT_TRUE(b.NeedPaint());
  const QImage& tiled = b.PaintBitmap().Image();
  ASSERT_EQ(tiled.size(), QSize(5, 3));
  EXPECT_EQ(tiled.pixel(2, 2), qRgb(255, 0, 0));
  EXPECT_EQ(tiled.pixel(4, 0), qRgb(255, 0, 0));
  EXPECT_EQ(tiled.pixel(3, 1), qRgb(255, 255, 255));

  b.SetOption(TQuillBackgroundOption::bgHorzGradient);
  b.SetGradientStartColor(clBlack);
  b.SetGradientEndColor(clWhite);
  EXPECT_EQ(b.PaintBitmap().Image().pixel(0, 0), qRgb(0, 0, 0));
  EXPECT_GT(qRed(b.PaintBitmap().Image().pixel(4, 0)), 150);

  // The gutter's picture carries the gutter's edge.
  v.height = 10;
  v.gutter.Background().SetOption(TQuillBackgroundOption::bgVertGradient);
  const QImage& gutter = v.gutter.Background().PaintBitmap().Image();
  ASSERT_EQ(gutter.width(), 32);
  EXPECT_EQ(gutter.pixel(31, 5), qRgb(0, 0, 0));  // the pen, at width - 1
  EXPECT_EQ(gutter.pixel(30, 5), qRgb(255, 255, 255));  // the gutter's back colour
}
