#include <gtest/gtest.h>

#include "editor/QuillEdit.h"

using namespace quill;

TEST(QuillKeyList, StateBindingsWinOverEveryStateOnesAndReplaceTheirTwins) {
  TQuillKeyList list;
  const uint16_t F = 'F';
  list.RegisterKey(F, ssCtrl, &TCustomQuillEdit::Navigate, ecUp, 2, 0);
  list.RegisterAllKey(F, ssCtrl, &TCustomQuillEdit::Navigate, ecDown);
  list.RegisterKey(F, ssCtrl, &TCustomQuillEdit::Navigate, ecLeft, 2, 0);  // replaces the first
  list.RegisterSimpleKey(F, ssCtrl | ssShift, nullptr, 0);
  ASSERT_EQ(list.Count(), 3);
  struct Case {
    int state;
    int command;  // -1: none found
  } cases[] = {{2, ecLeft}, {0, ecDown}, {5, ecDown}, {-1, ecDown}};
  for (const auto& c : cases) {
    const TQuillKeyData* d = list.FindKeyData(F, ssCtrl, c.state);
    ASSERT_NE(d, nullptr) << c.state;
    EXPECT_EQ(d->Command, c.command) << c.state;
  }
  EXPECT_EQ(list.FindKeyData(F, ssShift, 0), nullptr);
  EXPECT_EQ(list.FindKeyData(F, ssCtrl | ssShift, -1), nullptr);
  // Unregistering state 2 removes that binding only, then the every-state one.
  list.UnregisterKey(F, ssCtrl, 2);
  EXPECT_EQ(list.FindKeyData(F, ssCtrl, 2)->Command, ecDown);
  list.UnregisterKey(F, ssCtrl, 2);
  EXPECT_EQ(list.FindKeyData(F, ssCtrl, 2), nullptr);
  EXPECT_EQ(list.Count(), 1);
}
