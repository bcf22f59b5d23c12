#include "platform/Component.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/Exception.h"

namespace {

struct Log {
  std::vector<std::string> events;
};

// Records its own destruction and every notification it hears.
class Probe : public TComponent {
 public:
  Probe(TComponent* owner, const std::string& name, Log& log) : TComponent(owner), log_(log) { SetName(name); }
  ~Probe() override { log_.events.push_back("free " + Name()); }
  TComponent* watched = nullptr;

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation == opRemove && component == watched) watched = nullptr;
    log_.events.push_back(Name() + (operation == opInsert ? " +" : " -") + (component == this ? "self" : "other"));
  }

 private:
  Log& log_;
};

}  // namespace

TEST(Component, OwnerFreesItsComponentsLastToFirst) {
  Log log;
  auto* root = new Probe(nullptr, "root", log);
  auto* a = new Probe(root, "a", log);
  new Probe(a, "a1", log);
  new Probe(root, "b", log);
  log.events.clear();
  delete root;
  // A destructor's own body runs before its components go (as with any
  // member), then the components, newest first.
  EXPECT_EQ(log.events, (std::vector<std::string>{"free root", "free b", "free a", "free a1"}));
}

TEST(Component, AComponentFreedFirstLeavesItsOwner) {
  Log log;
  Probe owner(nullptr, "owner", log);
  auto* a = new Probe(&owner, "a", log);
  auto* b = new Probe(&owner, "b", log);
  owner.watched = a;
  b->watched = a;  // a sibling hears of it through the owner
  ASSERT_EQ(owner.ComponentCount(), 2);
  delete a;
  EXPECT_EQ(owner.ComponentCount(), 1);
  EXPECT_EQ(owner.Components(0), b);
  EXPECT_EQ(owner.watched, nullptr);
  EXPECT_EQ(b->watched, nullptr);
  EXPECT_THROW(owner.Components(1), platform::EListError);
}

TEST(Component, FreeNotificationReachesObjectsOutsideTheOwnerTree) {
  Log log;
  Probe server(nullptr, "server", log);
  auto* window = new Probe(nullptr, "window", log);
  auto* socket = new Probe(&server, "socket", log);
  window->watched = socket;
  window->FreeNotification(socket);
  delete socket;
  EXPECT_EQ(window->watched, nullptr);

  // The tie works both ways: freeing the watcher first must not leave the
  // watched object calling into freed memory later (ASan would say so).
  auto* other = new Probe(&server, "other", log);
  window->FreeNotification(other);
  delete window;
  delete other;

  auto* c = new Probe(&server, "c", log);
  Probe d(nullptr, "d", log);
  d.watched = c;
  d.FreeNotification(c);
  d.RemoveFreeNotification(c);
  delete c;
  EXPECT_EQ(d.watched, c);  // no longer told
}

TEST(Component, NamesAndOwnershipTransfer) {
  Log log;
  Probe app(nullptr, "Application", log);
  Probe main(nullptr, "FormMain", log);
  auto* chat = new Probe(&app, "FormChat", log);
  auto* pref = new Probe(&app, "FormPref", log);
  EXPECT_EQ(app.FindComponent("formchat"), chat);
  EXPECT_EQ(app.FindComponent("FormAbout"), nullptr);
  EXPECT_EQ(app.FindComponent(""), nullptr);

  main.InsertComponent(pref);
  EXPECT_EQ(pref->Owner(), &main);
  EXPECT_EQ(app.FindComponent("FormPref"), nullptr);
  EXPECT_EQ(main.FindComponent("FormPref"), pref);

  app.RemoveComponent(chat);  // not freed, just unowned
  EXPECT_EQ(chat->Owner(), nullptr);
  EXPECT_EQ(app.ComponentCount(), 0);
  delete chat;
}

TEST(Component, OwnerHearsOnceWhenASubtreeIsFreed) {
  struct Counter : TComponent {
    using TComponent::TComponent;
    int removals = 0;
    void Notification(TComponent* c, TOperation op) override {
      TComponent::Notification(c, op);
      if (op == opRemove) ++removals;
    }
  };
  Counter owner;
  auto* child = new TComponent(&owner);
  new TComponent(child);
  delete child;
  EXPECT_EQ(owner.removals, 1);  // the grandchild went with its owner, silently
  EXPECT_EQ(owner.ComponentCount(), 0);
}
