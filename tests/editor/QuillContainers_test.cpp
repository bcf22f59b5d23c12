#include "editor/QuillContainers.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

using namespace quill;

namespace {

TEST(QuillContainers, SortedListAgreesWithStdSet) {
  std::mt19937 rng(11);
  TQuillSortedList<int> list;
  std::set<int> model;
  for (int i = 0; i < 5000; ++i) {
    int v = static_cast<int>(rng() % 200);
    if (rng() % 3 == 0) {
      int at = list.Remove(v);
      ASSERT_EQ(at >= 0, model.erase(v) == 1);
    } else {
      int at = list.Add(v);
      model.insert(v);
      ASSERT_EQ(list.Items(at), v);
    }
    int index = -1;
    int probe = static_cast<int>(rng() % 200);
    bool found = list.Find(probe, index);
    ASSERT_EQ(found, model.count(probe) == 1);
    ASSERT_EQ(index, static_cast<int>(std::distance(model.begin(), model.lower_bound(probe))));
  }
  ASSERT_EQ(std::vector<int>(model.begin(), model.end()), list.List());
  list.Duplicates = quill::TDuplicates::dupError;
  EXPECT_THROW(list.Add(*model.begin()), platform::EListError);
}

TEST(QuillContainers, NearestSearchLandsAtMostOneBeforeTheNeighbour) {
  std::mt19937 rng(12);
  for (int round = 0; round < 500; ++round) {
    TQuillSortedList<int> list;
    int n = static_cast<int>(rng() % 20);
    for (int i = 0; i < n; ++i) list.Add(static_cast<int>(rng() % 50) * 2);
    int key = static_cast<int>(rng() % 101);
    int index = -1;
    bool found = list.FindNearest(key, index);
    const auto& v = list.List();
    int neighbour = static_cast<int>(std::lower_bound(v.begin(), v.end(), key) - v.begin());
    if (found) {
      ASSERT_EQ(v[static_cast<size_t>(index)], key);
    } else if (list.Count() > 0) {
      ASSERT_TRUE(index == neighbour || index == neighbour - 1 || (neighbour == list.Count() && index == neighbour - 2))
          << "key " << key << " index " << index << " neighbour " << neighbour;
    }
  }
}

TEST(QuillContainers, RecordListBounds) {
  TQuillRecordList<int> list;
  int v = 5;
  list.Add(&v);
  list.Add(&v);
  EXPECT_EQ(list.Get(2), list.Get(0) + 2) << "the slot past the last record is addressable";
  try {
    list.Get(3);
    FAIL();
  } catch (const platform::EListError& e) {
    EXPECT_STREQ(e.what(), "List Index out of bounds Index: 3");
  }
  EXPECT_THROW(list.Delete(2), platform::EListError);
  list.SetCapacity(1);
  EXPECT_EQ(list.Capacity(), 4);
  for (int i = 0; i < 20; ++i) list.Add(&v);
  EXPECT_EQ(list.Count(), 22);
  list.Clear();
  EXPECT_EQ(list.Capacity(), 0);
}

struct Listener : TQuillObject {
  std::vector<int>* log;
  int id;
  void Changed(TQuillObject*, intptr_t param) { log->push_back(id * 100 + static_cast<int>(param)); }
};

TEST(QuillContainers, NotifierListOrderAndIdentity) {
  std::vector<int> log;
  Listener a{}, b{};
  a.log = b.log = &log;
  a.id = 1;
  b.id = 2;
  TQuillNotifierList list;
  list.AddItem(NotifyEvent<&Listener::Changed>(&a));
  list.AddItem(NotifyEvent<&Listener::Changed>(&b));
  list.AddItem(NotifyEvent<&Listener::Changed>(&a));  // moves a behind b, once
  list.SendNotification(nullptr, 7);
  EXPECT_EQ(log, (std::vector<int>{207, 107}));
  list.DeleteItem(NotifyEvent<&Listener::Changed>(&b));
  list.SendNotification(nullptr, 1);
  EXPECT_EQ(log.back(), 101);
  EXPECT_EQ(list.Count(), 1);

  // A handler alone in its list may take itself out and put another in while
  // it is told: it ends with what it holds, and the newcomer hears the next
  // notice only.
  TQuillNotifierList alone;
  static const char tag = 0;
  TQuillNotifyEvent self{&a, &tag, nullptr};
  const TQuillNotifyEvent other = NotifyEvent<&Listener::Changed>(&b);
  self.Proc = [&, held = std::string(64, 'x')](TQuillObject*, intptr_t param) {
    alone.DeleteItem(self);
    alone.AddItem(other);
    log.push_back(static_cast<int>(held.size()) * 10 + static_cast<int>(param));
  };
  alone.AddItem(self);
  alone.SendNotification(nullptr, 3);
  alone.SendNotification(nullptr, 4);
  EXPECT_EQ(log, (std::vector<int>{207, 107, 101, 643, 204}));
}

TEST(QuillContainers, FastStringListPrefixSearch) {
  TFastStringList keywords(false);
  for (const char* k : {"begin", "end", "else", "end if", "if"}) keywords.Add(k);
  int index = -1;
  EXPECT_TRUE(keywords.Find("ELSE", index));
  EXPECT_EQ(keywords.Strings(index), "else");
  EXPECT_FALSE(keywords.Find("els", index));
  keywords.HasSpaces = true;
  std::string text = "end if x";
  int len = 3;
  ASSERT_TRUE(keywords.FindEx(text, len, index));
  int last = index;
  EXPECT_TRUE(keywords.FindLastEx(text, last, len));
  EXPECT_EQ(keywords.Strings(last), "end if");
  EXPECT_EQ(len, 6);
  TFastStringList exact(true);
  exact.Add("If");
  EXPECT_FALSE(exact.Find("if", index));
}

TEST(QuillContainers, UniqueNamesAndFreeNotification) {
  TQuillComponent owner;
  TQuillComponent child(&owner);
  child.SetName("Parser1");
  EXPECT_EQ(GetUniqueName(&owner, "Parser"), "Parser2");
  EXPECT_EQ(GetUniqueName(nullptr, "Parser"), "Parser1");

  struct Watcher : TQuillComponent {
    TQuillComponent* gone = nullptr;
    void Notification(TQuillComponent* c, TOperation op) override {
      if (op == TOperation::opRemove) gone = c;
    }
  } watcher;
  auto* other = new TQuillComponent;
  watcher.FreeNotification(other);
  delete other;
  EXPECT_EQ(watcher.gone, other);
}

}  // namespace
