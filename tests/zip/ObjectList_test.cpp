#include "zip/ObjectList.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <memory>

#include "ZipTest_helpers.h"
#include "platform/EventLoop.h"
#include "zip/ZipStreams.h"

namespace {

struct Item : zip::TPersistent {
  explicit Item(int k = 0) : key(k) { ++alive; }
  ~Item() override { --alive; }
  std::string ClassName() const override { return "TTestItem"; }
  int key;
  static int alive;
};
int Item::alive = 0;

struct Sorted : zip::TSortedObjectList {
  using TSortedObjectList::TSortedObjectList;
  int Compare(const zip::TPersistent* a, const zip::TPersistent* b) const override {
    return static_cast<const Item*>(a)->key - static_cast<const Item*>(b)->key;
  }
};

TEST(ObjectList, GrowthIndexChecksAndOwnership) {
  {
    zip::TObjectList list;
    std::vector<int> capacities;
    for (int i = 0; i < 33; ++i) {
      list.AddObject(new Item(i));
      if (capacities.empty() || capacities.back() != list.Capacity()) capacities.push_back(list.Capacity());
    }
    EXPECT_EQ(capacities, (std::vector<int>{4, 8, 16, 32, 48}));
    // Move checks both indexes before it changes anything.
    EXPECT_THROW(list.Move(0, 33), platform::EListError);
    EXPECT_THROW(list.Move(-1, 0), platform::EListError);
    EXPECT_EQ(static_cast<Item*>(list.Get(0))->key, 0);
    EXPECT_EQ(list.Count(), 33);
    list.Move(0, 32);
    EXPECT_EQ(static_cast<Item*>(list.Last())->key, 0);
    EXPECT_EQ(list.Next(list.Last(), true), nullptr);
    EXPECT_EQ(list.Next(nullptr, false), list.Last());
    Item stranger;
    EXPECT_THROW(list.Next(&stranger, true), platform::EListError);
    EXPECT_THROW(list.Get(33), platform::EListError);
    // The item is freed while it still stands in the list, then taken out.
    struct Watched : Item {
      explicit Watched(zip::TObjectList* l) : list(l) {}
      ~Watched() override { EXPECT_EQ(list->IndexOf(this), 5); }
      zip::TObjectList* list;
    };
    list.Insert(5, new Watched(&list));
    list.FreeAt(5);
    EXPECT_EQ(list.Count(), 33);
  }
  EXPECT_EQ(Item::alive, 0);
  zip::TObjectList empty;
  EXPECT_THROW(empty.Next(nullptr, true), platform::EListError);
  EXPECT_THROW(empty.Last(), platform::EListError);
}

TEST(ObjectList, SortedDuplicatesAndIdentity) {
  Sorted ignore(zip::dupIgnore);
  int index = -1;
  EXPECT_FALSE(ignore.Search(nullptr, index));
  EXPECT_EQ(index, 0);
  ignore.AddObject(new Item(5));
  Item dup(5);
  ignore.AddObject(&dup);  // dropped, still the caller's
  EXPECT_EQ(ignore.Count(), 1);
  EXPECT_EQ(ignore.IndexOf(&dup), 0);  // found by its key

  Sorted accept(zip::dupAccept);
  accept.SetOwnsItems(false);
  Item a(3), b(3), c(3), d(1);
  for (Item* i : {&a, &b, &c, &d}) accept.AddObject(i);
  // Found by key: every object keyed 3 answers the first of the 3s.
  EXPECT_EQ(accept.IndexOf(&d), 0);
  for (Item* i : {&a, &b, &c}) EXPECT_EQ(accept.IndexOf(i), 1);
  Item absent(2);
  EXPECT_EQ(accept.IndexOf(&absent), -1);
  EXPECT_THROW(accept.Put(0, &a), platform::EListError);

  Sorted error(zip::dupError);
  error.SetOwnsItems(false);
  error.AddObject(&a);
  EXPECT_THROW(error.AddObject(&b), platform::EListError);
}

TEST(ObjectList, StreamsRoundTripAndDistrustCounts) {
  zip::DoRegisterClass([](zip::TPersistent* o, zip::TStream& s) { s.ReadBuffer(&static_cast<Item*>(o)->key, 4); },
                       [](zip::TPersistent* o, zip::TStream& s) { s.WriteBuffer(&static_cast<Item*>(o)->key, 4); },
                       "TTestItem", [] { return new Item; });
  Sorted list(zip::dupAccept);
  for (int k : {9, 2, 7}) list.AddObject(new Item(k));
  zip::TMemoryStream mem;
  list.WriteData(mem);
  mem.SetPosition(0);
  Sorted copy;
  copy.ReadData(mem);
  ASSERT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.Capacity(), 3);  // room made once for the count the stream holds
  EXPECT_EQ(copy.Duplicates(), zip::dupAccept);
  EXPECT_EQ(static_cast<Item*>(copy.Get(2))->key, 9);

  // Through a file: a list comes back whole; one cut short raises and keeps
  // nothing, even when it says it does not own its items.
  ziptest::TempDir tmp;
  {
    zip::TObjectList plain;
    for (int k : {1, 2, 3}) plain.AddObject(new Item(k));
    plain.SaveToStream(tmp / "list.dat");
  }
  const int alive = Item::alive;
  EXPECT_EQ(zip::TObjectList(tmp / "list.dat").Count(), 3);
  std::string bytes = ziptest::ReadFile(tmp / "list.dat");
  bytes[0] = 0;
  ziptest::WriteFile(tmp / "cut.dat", bytes.substr(0, bytes.size() - 2));
  EXPECT_THROW(zip::TObjectList(tmp / "cut.dat"), platform::Exception);
  EXPECT_EQ(Item::alive, alive);

  // A count of 500 million followed by nothing: an error, not a huge allocation.
  const uint8_t lie[] = {1, 0x00, 0x65, 0xCD, 0x1D};
  zip::TAbsMemStream in(const_cast<uint8_t*>(lie), sizeof lie);
  zip::TObjectList victim;
  EXPECT_THROW(victim.ReadData(in), platform::Exception);
  EXPECT_LT(victim.Capacity(), 1000);

  std::string name(70, 'N');
  struct Long : zip::TPersistent {
    std::string ClassName() const override { return std::string(70, 'N'); }
  } longOne;
  zip::DoRegisterClass([](zip::TPersistent*, zip::TStream&) {}, [](zip::TPersistent*, zip::TStream&) {}, name,
                       [] { return new Item; });
  zip::TMemoryStream named;
  zip::WriteObjectToStream(&longOne, named);
  EXPECT_EQ(named.Size(), 64);  // one length byte and 63 characters
  EXPECT_THROW(zip::WriteObjectToStream(nullptr, named), zip::EClassNotFound);
}

// Objects go on the clipboard in their stream form and come back as copies;
// what names no class, or no object, says which class it misses.
TEST(ObjectList, ClipboardAndClassMessages) {
  if (QCoreApplication::instance() == nullptr) {
    static int argc = 1;
    static char name[] = "zip_tests";
    static char* argv[] = {name, nullptr};
    platform::TEventLoopChoice loop;
    new QGuiApplication(argc, argv);  // lives as long as the test program
  }
  zip::DoRegisterClass([](zip::TPersistent* o, zip::TStream& s) { s.ReadBuffer(&static_cast<Item*>(o)->key, 4); },
                       [](zip::TPersistent* o, zip::TStream& s) { s.WriteBuffer(&static_cast<Item*>(o)->key, 4); },
                       "TTestItem", [] { return new Item; });
  const unsigned format = zip::RegisterClipBoardType("Parlo test item");
  EXPECT_EQ(zip::RegisterClipBoardType("Parlo test item"), format);
  EXPECT_EQ(zip::PasteObjectFromClipboard(format), nullptr);
  Item item(42);
  ASSERT_TRUE(zip::CopyObjectToClipboard(format, &item));
  std::unique_ptr<zip::TPersistent> copy(zip::PasteObjectFromClipboard(format));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(static_cast<Item*>(copy.get())->key, 42);
  EXPECT_FALSE(zip::CopyObjectToClipboard(format + 1, &item));

  auto message = [](auto&& action) {
    try {
      action();
    } catch (const platform::Exception& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  struct Stranger : zip::TPersistent {
    std::string ClassName() const override { return "TStranger"; }
  } stranger;
  zip::TMemoryStream out;
  EXPECT_EQ(message([&] { zip::WriteObjectToStream(&stranger, out); }), "Source Class <TStranger> not registered");
  const uint8_t unknown[] = {3, 'T', 'N', 'o'};
  zip::TAbsMemStream in(const_cast<uint8_t*>(unknown), sizeof unknown);
  EXPECT_EQ(message([&] { delete zip::ReadObjectFromStream(in); }), "Class <TNo> not registered");
  zip::TObjectList list;
  EXPECT_EQ(message([&] { list.FreeObject(&stranger); }), "tObject TStranger not in item list");
}

TEST(ObjectList, FixedMemoryStreamBounds) {
  uint8_t block[10] = {0};
  zip::TAbsMemStream s(block, 10);
  const uint8_t ten[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  EXPECT_EQ(s.Write(ten, 10), 10);
  s.Seek(0, zip::soFromBeginning);
  EXPECT_THROW(s.Write(ten, 11), platform::EStreamError);
  EXPECT_EQ(s.Seek(0, zip::soFromEnd), 10);
  EXPECT_THROW(s.Seek(-1, zip::soFromBeginning), platform::EStreamError);
}

}  // namespace
