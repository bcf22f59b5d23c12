#include "editor/QuillBookmarks.h"

#include <gtest/gtest.h>

#include "editor/QuillEditSource.h"

using namespace quill;

namespace {

using Marks = std::vector<TQuillBookMark>;

TEST(QuillBookmarks, FollowEditsOfTheList) {
  struct Case {
    const char* name;
    Marks before;
    int x, y, dx, dy;
    Marks after;
  };
  const Case cases[] = {
      {"insert at the mark moves it", {{5, 2, 1}}, 5, 2, 3, 0, {{8, 2, 1}}},
      {"insert after the mark leaves it", {{4, 2, 1}}, 5, 2, 3, 0, {{4, 2, 1}}},
      {"delete at the mark leaves it", {{5, 2, 1}}, 5, 2, -3, 0, {{5, 2, 1}}},
      {"delete over the mark pulls it to the start", {{6, 2, 1}}, 5, 2, -3, 0, {{5, 2, 1}}},
      {"delete before the mark shifts it", {{9, 2, 1}}, 5, 2, -3, 0, {{6, 2, 1}}},
      {"edit on another line leaves it", {{9, 3, 1}}, 5, 2, -3, 0, {{9, 3, 1}}},
      {"break moves the rest of the line down", {{6, 4, 1}, {2, 4, 2}, {0, 7, 3}}, 4, 4, -4, 1,
       {{2, 4, 2}, {2, 5, 1}, {0, 8, 3}}},
      {"join moves the joined line onto the end", {{3, 5, 1}, {0, 6, 2}, {1, 9, 3}}, 7, 5, 7, -1,
       {{3, 5, 1}, {7, 5, 2}, {1, 8, 3}}},
      {"join keeps marks of the line itself", {{7, 5, 1}, {0, 6, 2}}, 7, 5, 7, -1, {{7, 5, 1}, {7, 5, 2}}},
  };
  for (const auto& c : cases) {
    TQuillBookMarkList list;
    for (const auto& m : c.before) list.Add(m);
    list.UpdatePosition(c.x, c.y, c.dx, c.dy);
    EXPECT_EQ(list.List(), c.after) << c.name;
  }
}

TEST(QuillBookmarks, LineStylesKeepOnePerLineOnJoin) {
  TQuillBookMarkList styles(true);
  EXPECT_FALSE(styles.SetBookMark({0, 1}, 4)) << "added at index 0";
  EXPECT_TRUE(styles.SetBookMark({0, 2}, 9)) << "added at index 1";
  EXPECT_TRUE(styles.SetBookMark({0, 2}, 9)) << "there already";
  styles.Add({0, 3, 5});
  styles.UpdatePosition(6, 1, 0, -1);
  EXPECT_EQ(styles.List(), (Marks{{0, 1, 4}, {0, 2, 5}}));
  TQuillBookMarkList lonely(true);
  lonely.Add({0, 2, 9});
  lonely.UpdatePosition(6, 1, 0, -1);
  EXPECT_EQ(lonely.List(), (Marks{{0, 1, 9}})) << "a line without a style takes the joined line's";
}

TEST(QuillBookmarks, DocumentBookmarks) {
  TQuillEditSource doc;
  doc.Strings().SetText("first line\r\nsecond\r\nthird\r\n");
  doc.SetBookMark(3, {2, 0});
  doc.SetBookMark(3, {1, 2});
  TPoint p;
  ASSERT_TRUE(doc.FindBookMark(3, p));
  EXPECT_EQ(p, (TPoint{1, 2})) << "a number lives at one place only";
  EXPECT_EQ(doc.GetLineBookMark(0), -1);
  EXPECT_EQ(doc.GetLineBookMark(2), 3);

  doc.SetBookMark(0, {4, 1});
  EXPECT_FALSE(doc.FindBookMark(0, p));
  EXPECT_EQ(p, (TPoint{-1, -1}));
  doc.GoToBookmark(0);
  EXPECT_EQ(doc.CurrentPosition(), (TPoint{4, 1}));
  EXPECT_EQ(doc.MaxBookMarkNumber(), 3);

  doc.ToggleBookMark(3, {0, 2});
  EXPECT_FALSE(doc.FindBookMark(3, p)) << "toggling on its line clears it";
  doc.ToggleBookMark(3, {0, 1});
  EXPECT_TRUE(doc.FindBookMark(3, p));

  doc.SetLineStyle(1, 7);
  doc.ToggleLineStyle(1, 7);
  EXPECT_EQ(doc.GetLineStyle(1), -1);
  doc.SetLineStyle(1, 2);
  doc.SetLineStyle(2, 5);
  doc.JumpTo(6, 1);
  doc.JoinStrings();
  EXPECT_EQ(doc.GetLineStyle(1), 2);
  EXPECT_EQ(doc.LineStyles().Count(), 1);
}

TEST(QuillBookmarks, DeleteShiftsByWhatWasReallyDeleted) {
  TQuillEditSource doc;
  doc.Strings().SetText("abcdef\r\n");
  doc.SetBookMark(1, {6, 0});
  doc.JumpTo(4, 0);
  doc.DeleteString(50);  // only two characters exist
  TPoint p;
  ASSERT_TRUE(doc.FindBookMark(1, p));
  EXPECT_EQ(p, (TPoint{4, 0}));
}

// Text typed past the end of a line: the blanks that carry it out to its
// column are no typed text, so bookmarks and selections move by the text
// alone, and its undo takes the blanks away without moving anything.
TEST(QuillBookmarks, TextTypedPastTheEndMovesMarksByItsOwnLength) {
  TQuillEditSource doc;
  doc.SetOptions(doc.Options() | srLeaveTrailSpaces);
  doc.Strings().SetText("abcd\r\n");
  doc.SetBookMark(1, {10, 0});
  doc.SetBookMark(2, {12, 0});
  doc.SetBookMark(3, {6, 0});
  std::vector<TRect> shifts;
  int listener = 0;
  doc.RegisterNotifier(TQuillNotifyEvent{nullptr, &listener, [&](TQuillObject*, intptr_t param) {
    const auto* record = reinterpret_cast<const TNotifyRecord*>(param);
    if (record != nullptr && record->Operation == oprUpdateBlock)
      shifts.push_back(*reinterpret_cast<const TRect*>(record->Param));
  }});
  auto marks = [&] {
    std::vector<int> x;
    for (int n = 1; n <= 3; ++n) {
      TPoint p;
      doc.FindBookMark(n, p);
      x.push_back(p.X);
    }
    return x;
  };
  doc.JumpTo(10, 0);
  doc.BeginSourceUpdate(oprInsert);
  doc.InsertString("x");
  doc.Navigate(1, 0);
  doc.EndSourceUpdate();
  EXPECT_EQ(doc.Strings().Get(0), "abcd      x");
  EXPECT_EQ(marks(), (std::vector<int>{11, 13, 6}));
  ASSERT_EQ(shifts.size(), 1u);
  EXPECT_EQ(shifts[0], (TRect{10, 0, 1, 0})) << "what the views move their selections by";

  doc.Undo();
  EXPECT_EQ(doc.Strings().Get(0), "abcd");
  EXPECT_EQ(marks(), (std::vector<int>{10, 12, 6}));
  doc.Redo();
  EXPECT_EQ(doc.Strings().Get(0), "abcd      x");
  EXPECT_EQ(marks(), (std::vector<int>{11, 13, 6}));
  doc.Undo();
  EXPECT_EQ(doc.Strings().Get(0), "abcd");
  EXPECT_EQ(marks(), (std::vector<int>{10, 12, 6}));
}

}  // namespace
