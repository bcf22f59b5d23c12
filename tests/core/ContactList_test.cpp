#include "core/ContactList.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "Widgets_helpers.h"

namespace {

// Each item as "id=status/online/image", in list order, for comparing whole lists.
std::vector<std::string> Items(TContactList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.topLevelItemCount(); ++i) {
    auto* item = list.topLevelItem(i);
    out.push_back(list.Text(item, TContactList::ColID) + "=" + list.Text(item, TContactList::ColStatus) + "/" +
                  list.Text(item, TContactList::ColOnline) + "/" + std::to_string(list.Image(item)));
  }
  return out;
}

TEST(ContactList, MergeAddsEachRecordOnceAndRoutesKnownIdsToUpdate) {
  testing_support::WidgetApp();
  struct Case {
    const char* name;
    std::string listing;
    std::vector<std::string> items;
    std::vector<std::string> updates;
  };
  const std::vector<Case> cases = {
      {"empty listing", "", {}, {}},
      {"status texts and pictures by mode",
       "1{$}Ann{$}1{$}0{$}a{$}1||2{$}Bob{$}1{$}1{$}b{$}2||3{$}Cy{$}1{$}3{$}c{$}3||4{$}Di{$}1{$}4{$}d{$}4",
       {"1=Available/1/0", "2=Busy/1/1", "3=Away/1/3", "4=Unavailable/1/4"},
       {}},
      {"offline and invisible look the same", "5{$}Eve{$}0{$}1{$}e{$}5||6{$}Fay{$}1{$}2{$}f{$}6",
       {"5=Offline/0/-1", "6=Offline/1/-1"}, {}},
      {"unknown or damaged status: no picture, no text", "7{$}Gus{$}1{$}9{$}g{$}7||8{$}Hal{$}1{$}{$}h{$}8",
       {"7=/1/-1", "8=/1/-1"}, {}},
      {"short records skipped, extra fields and trailing separators ignored",
       "9{$}Ida{$}1||10{$}Jo{$}1{$}0{$}j{$}10{$}more{$}fields||||",
       {"10=Available/1/0"}, {}},
      {"an id listed twice is added once and then updated", "11{$}Kim{$}1{$}0{$}k{$}11||11{$}Kim{$}1{$}3{$}k{$}11",
       {"11=Available/1/0"}, {"11{$}Kim{$}1{$}3{$}k{$}11"}},
      {"ids match whole, never by prefix", "12{$}Lu{$}1{$}0{$}l{$}12||123{$}Max{$}1{$}1{$}m{$}123",
       {"12=Available/1/0", "123=Busy/1/1"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TContactList list;
    std::vector<std::string> updates;
    MergeUserList(list, c.listing, [&](const std::string& r) { updates.push_back(r); });
    auto items = Items(list);
    std::sort(items.begin(), items.end());
    auto expected = c.items;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(items, expected);
    EXPECT_EQ(updates, c.updates);
    EXPECT_TRUE(list.updatesEnabled());
  }
}

TEST(ContactList, RedrawComesBackWhenAnUpdateRaises) {
  testing_support::WidgetApp();
  TContactList list;
  list.AddItem("Ann", 0, "Available", "", "", "1", "1");
  EXPECT_THROW(MergeUserList(list, "2{$}Bob{$}1{$}0{$}b{$}2||1{$}Ann{$}1{$}1{$}a{$}1",
                             [](const std::string&) { throw std::runtime_error("bad record"); }),
               std::runtime_error);
  EXPECT_TRUE(list.updatesEnabled());
  // The record handled before the failure stays.
  EXPECT_NE(list.FindById("2"), nullptr);
  EXPECT_EQ(list.Count(), 2);
}

TEST(ContactList, IndexFollowsIdChangesRemovalAndClearing) {
  testing_support::WidgetApp();
  TContactList list;
  auto* ann = list.AddItem("Ann", 0, "Available", "", "", "1", "1");
  auto* dup = list.AddItem("Ann again", 1, "Busy", "", "", "1", "1");
  EXPECT_EQ(list.FindById("1"), ann);  // the first item with an id wins
  list.RemoveItem(ann);
  EXPECT_EQ(list.FindById("1"), dup);
  list.SetText(dup, TContactList::ColID, "2");
  EXPECT_EQ(list.FindById("1"), nullptr);
  EXPECT_EQ(list.FindById("2"), dup);
  list.BeginUpdate();
  list.AddItem("Pending", -1, "Offline", "", "", "3", "0");
  EXPECT_NE(list.FindById("3"), nullptr);  // found while the batch is still held back
  list.Clear();
  list.EndUpdate();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.FindById("2"), nullptr);
  EXPECT_EQ(list.FindById("3"), nullptr);
}

TEST(ContactList, ItemsSortByUserName) {
  testing_support::WidgetApp();
  TContactList list;
  MergeUserList(list, "1{$}Zoe{$}1{$}0{$}a{$}1||2{$}Adam{$}1{$}0{$}b{$}2||3{$}Mia{$}1{$}0{$}c{$}3",
                [](const std::string&) {});
  ASSERT_EQ(list.topLevelItemCount(), 3);
  EXPECT_EQ(list.Text(list.topLevelItem(0), TContactList::ColUser), "Adam");
  EXPECT_EQ(list.Text(list.topLevelItem(2), TContactList::ColUser), "Zoe");
}

}  // namespace
