#include <gtest/gtest.h>

#include "editor/QuillDrawing.h"
#include "editor/QuillRtfReader.h"
#include "platform/RecordingCanvas.h"
#include "QuillView_helpers.h"

using namespace quill;
using platform::TRecordingCanvas;

// A gradient has one band per step of the largest colour difference, as
// wide as the width allows, and bands past the width are not drawn.
TEST(QuillDrawing, GradientBandsFollowTheLargestColourStep) {
  struct Case {
    int width, height;
    TColor from, to;
    bool vertical;
    size_t fills;
    const char* first;
    const char* last;
  };
  const Case cases[] = {
      {100, 10, clBlack, clRed, false, 100, "FillRect 0,0,1,10 brush=clBlack", "FillRect 99,0,100,10 brush=$000000FC"},
      {10, 300, clRed, clBlack, true, 150, "FillRect 0,0,10,2 brush=clRed", "FillRect 0,298,10,300 brush=$00000002"},
      {50, 50, 0x0000FF, 0x0000FD, false, 3, "FillRect 0,0,17,50 brush=clRed", "FillRect 34,0,50,50 brush=$000000FE"},
      {0, 10, clBlack, clRed, false, 0, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fills);
    TRecordingCanvas canvas;
    canvas.Brush().Color = clBlue;
    PaintGradient(canvas, c.width, c.height, c.from, c.to, c.vertical);
    ASSERT_EQ(canvas.Calls().size(), c.fills);
    EXPECT_EQ(canvas.Brush().Color, clBlue);
    if (c.fills == 0) continue;
    EXPECT_EQ(canvas.Calls().front(), c.first);
    EXPECT_EQ(canvas.Calls().back(), c.last);
  }
}

TEST(QuillDrawing, WavesAndFramesCoverWhatTheyShould) {
  TRecordingCanvas canvas;
  // Five pixels wide still makes one whole wave of four points; the grid of
  // six keeps neighbouring waves in step.
  DrawLiveSpell(canvas, {1, 0, 6, 10}, clRed);
  DrawLiveSpell(canvas, {13, 0, 20, 10}, clRed);
  PaintBoundingRect(canvas, {0, 0, 10, 10}, {2, 3, 8, 10}, clBlue);
  PaintBoundingRect(canvas, {0, 0, 10, 10}, {-5, -5, 20, 20}, clBlue);
  PaintGutterLine(canvas, {0, 0, 30, 40}, 28, clWindow, {clBlack, 2, TPenStyle::psSolid, TPenMode::pmCopy});
  EXPECT_EQ(canvas.Calls(), (std::vector<std::string>{
                                "PolyBezier pen=clRed 0,7 2,9 4,11 6,7",
                                "PolyBezier pen=clRed 12,7 14,9 16,11 18,7 20,9 22,11 24,7",
                                "FillRect 0,0,2,10 brush=clBlue", "FillRect 8,0,10,10 brush=clBlue",
                                "FillRect 2,0,8,3 brush=clBlue", "Line 29,0-29,41 pen=clBlack,w2",
                                "Line 28,0-28,41 pen=clWindow,w2"}));
}

TEST(QuillDrawing, FontsReachTheCanvasInPixels) {
  viewtest::EnsureApp();
  TQuillFont f;
  f.Name = "Verdana";
  f.Size = 9;
  f.Style = fsBold;
  EXPECT_EQ(CanvasFont(f).Height, -MulDiv(9, DeviceCaps().Y, 72));
  f.Height = -13;
  EXPECT_EQ(CanvasFont(f).Height, -13);
  EXPECT_EQ(CanvasFont(f).Style, fsBold);
  TRecordingCanvas canvas;
  f.Name = "Courier New";
  EXPECT_TRUE(IsMonoFont(canvas, f));
  f.Name = "Verdana";
  EXPECT_FALSE(IsMonoFont(canvas, f));
}
