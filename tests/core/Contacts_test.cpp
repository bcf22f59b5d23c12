#include "core/session/Contacts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Each entry as "id=status/online/image", sorted, for comparing whole lists.
std::vector<std::string> Items(const TContacts& list) {
  std::vector<std::string> out;
  for (const auto& [key, c] : list.Entries())
    out.push_back(c.UserID + "=" + c.Status + "/" + c.Online + "/" + std::to_string(c.Image));
  std::sort(out.begin(), out.end());
  return out;
}

TEST(Contacts, MergeAddsEachRecordOnceAndRoutesKnownIdsToUpdate) {
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
      {"offline shows no status; an online invisible user is listed as such",
       "5{$}Eve{$}0{$}1{$}e{$}5||6{$}Fay{$}1{$}2{$}f{$}6", {"5=Offline/0/-1", "6=Invisible/1/2"}, {}},
      {"status by its decimal value; an unknown one: no picture, no text",
       "7{$}Gus{$}1{$}9{$}g{$}7||8{$}Hal{$}1{$}03{$}h{$}8", {"7=/1/-1", "8=Away/1/3"}, {}},
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
    TContacts list(TContactListKind::Online);
    int batches = 0;
    auto ended = list.UpdateEnded.Connect([&] { ++batches; });
    std::vector<std::string> updates;
    MergeUserList(list, c.listing, [&](const std::string& r) { updates.push_back(r); });
    auto want = c.items;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(Items(list), want);
    EXPECT_EQ(updates, c.updates);
    EXPECT_EQ(batches, 1);
    EXPECT_FALSE(list.Updating());
  }
}

TEST(Contacts, BatchEndsWhenAnUpdateRaises) {
  TContacts list(TContactListKind::Friends);
  list.Add({"Ann", 0, "Available", "", "", "1", "1"});
  EXPECT_THROW(MergeUserList(list, "2{$}Bob{$}1{$}0{$}b{$}2||1{$}Ann{$}1{$}1{$}a{$}1",
                             [](const std::string&) { throw std::runtime_error("bad record"); }),
               std::runtime_error);
  EXPECT_FALSE(list.Updating());
  // The record handled before the failure stays.
  EXPECT_NE(list.FindById("2"), 0u);
  EXPECT_EQ(list.Count(), 2);
  // A status that is no number raises too (the link then ends), after the
  // records before it; an offline user's status is never read.
  EXPECT_THROW(MergeUserList(list, "3{$}Cy{$}0{$}x{$}c{$}3||4{$}Di{$}1{$}{$}d{$}4||5{$}Ed{$}1{$}0{$}e{$}5",
                             [](const std::string&) {}),
               std::exception);
  EXPECT_FALSE(list.Updating());
  EXPECT_NE(list.FindById("3"), 0u);
  EXPECT_EQ(list.FindById("4"), 0u);
  EXPECT_EQ(list.FindById("5"), 0u);
}

TEST(Contacts, IndexFollowsIdChangesRemovalAndClearing) {
  TContacts list(TContactListKind::Friends);
  std::vector<std::string> events;
  std::vector<platform::TConnection> links;
  links.push_back(list.Added.Connect([&](TContacts::Key, const TContact& c) { events.push_back("+" + c.UserName); }));
  links.push_back(list.Changed.Connect([&](TContacts::Key, const TContact& c) { events.push_back("~" + c.UserName); }));
  links.push_back(list.Removed.Connect([&](TContacts::Key, const TContact& c) { events.push_back("-" + c.UserName); }));
  links.push_back(list.Cleared.Connect([&] { events.push_back("clear"); }));

  const auto ann = list.Add({"Ann", 0, "Available", "", "", "1", "1"});
  const auto dup = list.Add({"Ann again", 1, "Busy", "", "", "1", "1"});
  EXPECT_EQ(list.FindById("1"), ann);  // the first entry with an id wins
  list.Remove(ann);
  EXPECT_EQ(list.Find(ann), nullptr);
  EXPECT_EQ(list.FindById("1"), dup);
  TContact moved = list.At(dup);
  moved.UserID = "2";
  list.Change(dup, moved);
  EXPECT_EQ(list.FindById("1"), 0u);
  EXPECT_EQ(list.FindById("2"), dup);
  // An older entry given the id of a newer one takes the index over.
  const auto later = list.Add({"Cy", -1, "Offline", "", "", "3", "0"});
  const auto first = list.FindById("2");
  TContact renamed = list.At(first);
  renamed.UserID = "3";
  list.Change(first, renamed);
  EXPECT_EQ(list.FindById("3"), first);
  list.Remove(first);
  EXPECT_EQ(list.FindById("3"), later);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.FindById("3"), 0u);
  EXPECT_EQ(events, (std::vector<std::string>{"+Ann", "+Ann again", "-Ann", "~Ann again", "+Cy", "~Ann again",
                                              "-Ann again", "clear"}));
}

TEST(Contacts, StatusTextsTranslateBackToTheirDigitInTheContactRow) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Available", "0"}, {"Busy", "1"}, {"Invisible", "2"}, {"Away", "3"},
      {"Unavailable", "4"}, {"Offline", "0"}, {"", "0"}, {"busy", "0"},
  };
  for (const auto& [text, digit] : cases) {
    EXPECT_EQ(StatusModeFromText(text), digit) << text;
    const TContact c{"Bob", -1, text, "10.0.0.2", "2961", "41000002", "1"};
    EXPECT_EQ(c.Row(), "Bob{$}" + digit + "{$}10.0.0.2{$}2961{$}41000002{$}1") << text;
  }
}

}  // namespace
