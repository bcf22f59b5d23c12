#include <gtest/gtest.h>

#include "QuillView_helpers.h"
#include "editor/QuillListBox.h"
#include "editor/QuillRtfPainter.h"
#include "platform/RecordingCanvas.h"

using namespace quill;
using platform::TRecordingCanvas;

namespace {
TQuillFont Verdana9() {
  TQuillFont f;
  f.Name = "Verdana";
  f.Size = 9;  // 12 pixels at 96 dots per inch: runs 6 pixels a character
  return f;
}
}  // namespace

// Runs are measured in their own style; column stops line the columns up
// across items; painting skips the stops and keeps the selection's colour.
TEST(QuillRtfPainter, ColumnsLineUpAcrossItems) {
  TRecordingCanvas measure;
  TQuillRtfPainter painter(measure);
  painter.AssignFont(Verdana9());
  TQuillRtfInfo* first = painter.AddRtfString("a|bb");
  TQuillRtfInfo* second = painter.AddRtfString("ccc|{\\b d}");
  ASSERT_EQ(painter.Count(), 2);
  EXPECT_EQ(first->Width, 18);
  EXPECT_EQ(second->Width, 18 + 7);  // bold is a pixel wider
  EXPECT_EQ(second->Height, 15);
  EXPECT_EQ(second->Next->Next->Next->FontStyle, fsBold);

  EXPECT_EQ(AdjustColumns({first, second}), 18 + 12);
  TRecordingCanvas canvas;
  canvas.SetBkMode(platform::TBkMode::bkTransparent);
  canvas.SetTextColor(clHighlightText);
  painter.PaintToCanvas(canvas, {0, 0, 100, 15}, first, true, false);
  canvas.SetTextColor(clWindowText);
  painter.PaintToCanvas(canvas, {0, 15, 100, 30}, second, false, false);
  EXPECT_EQ(canvas.Calls(), (std::vector<std::string>{
                                "ExtTextOut 0,0 \"a\" font=MS Sans Serif,-11 color=clHighlightText",
                                "ExtTextOut 18,0 \"bb\" font=MS Sans Serif,-11 color=clHighlightText",
                                "ExtTextOut 0,15 \"ccc\" font=MS Sans Serif,-11 color=clWindowText",
                                "ExtTextOut 18,15 \"d\" font=MS Sans Serif,-11,B color=clWindowText"}));
  // The canvas keeps the colour and style it had.
  EXPECT_EQ(canvas.TextColor(), clWindowText);
  EXPECT_EQ(canvas.Font().Style, 0);
}

TEST(QuillRtfPainter, ListBoxItemsShareColumns) {
  viewtest::EnsureApp();
  TQuillListBox list;
  list.SetListFont(Verdana9());
  list.AddRtfString("if|{\\b keyword}");
  list.AddRtfString("function|{\\b f}");
  ASSERT_EQ(list.count(), 2);
  // An item's text is its entry as given: a chosen completion inserts just that.
  EXPECT_EQ(list.item(0)->text().toStdString(), "if|{\\b keyword}");
  const int total = list.AdjustColumns();
  const TQuillRtfInfo* a = list.ItemLine(0);
  const TQuillRtfInfo* b = list.ItemLine(1);
  // The second column starts at the same x in both items.
  EXPECT_EQ(a->Next->Width + a->Next->Next->Width, b->Next->Width + b->Next->Next->Width);
  EXPECT_GT(total, b->Next->Width);
  EXPECT_GT(list.ItemHeight(), 0);
  list.ClearItems();
  EXPECT_EQ(list.count(), 0);
  EXPECT_EQ(list.Painter().Count(), 0);
}
