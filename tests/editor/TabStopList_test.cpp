#include "editor/TabStopList.h"

#include <gtest/gtest.h>

#include "platform/Exception.h"

using namespace quill;

namespace {

TEST(TabStopList, StopsRepeatAtTheLastInterval) {
  TTabStopList tabs;
  tabs.SetTabStops("4,10");
  EXPECT_EQ(tabs.GetRealString("\tx"), "    x");
  EXPECT_EQ(tabs.GetRealString("abcde\tx"), "abcde     x");
  EXPECT_EQ(tabs.GetRealString("abcdefghijkl\tx"), "abcdefghijkl    x");
  EXPECT_EQ(tabs.Get(2000000000), 2000000002) << "a far column needs no huge cache";
  EXPECT_EQ(tabs.GetPrev(12), 10);
  EXPECT_EQ(tabs.GetPrev(4), 0);
  EXPECT_EQ(tabs.GetPrev(23), 22);

  EXPECT_THROW(tabs.SetTabStops("8,4"), platform::Exception);
  EXPECT_THROW(tabs.SetTabStops("x"), platform::EConvertError);
  EXPECT_THROW(tabs.SetTabStops("4,,10"), platform::EConvertError) << "an empty item is no number";
  EXPECT_EQ(tabs.TabStops(), "4,10") << "a refused list keeps the old stops";
  tabs.SetTabStops("");
  EXPECT_EQ(tabs.Get(0), 8);
}

TEST(TabStopList, ColumnsAndCharacterIndexes) {
  TTabStopList tabs;  // every 8 columns
  const std::string line = "ab\tc";
  EXPECT_EQ(tabs.RealPosToPos(line, 3), 8);
  EXPECT_EQ(tabs.RealPosToPos(line, 6), 11) << "past the end each character is one column";
  int pad = -1;
  EXPECT_EQ(tabs.PosToRealPos(line, 5, &pad), 2);
  EXPECT_EQ(pad, 3);
  EXPECT_EQ(tabs.PosToRealPos(line, 8, &pad), 3);
  EXPECT_EQ(pad, 0);
  EXPECT_EQ(tabs.PosToRealPos(line, 12, &pad), 7);
}

}  // namespace
