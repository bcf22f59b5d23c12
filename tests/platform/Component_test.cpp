#include "platform/Component.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Logs its destruction and forgets the one component it watches when told
// that it goes.
class Probe : public TComponent {
 public:
  Probe(TComponent* owner, const std::string& name, std::vector<std::string>& log)
      : TComponent(owner), log_(log) {
    SetName(name);
  }
  ~Probe() override { log_.push_back(Name()); }
  TComponent* watched = nullptr;

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation == opRemove && component == watched) watched = nullptr;
  }

 private:
  std::vector<std::string>& log_;
};

}  // namespace

TEST(Component, OwnerFreesItsComponentsNewestFirst) {
  std::vector<std::string> log;
  auto* root = new Probe(nullptr, "root", log);
  auto* a = new Probe(root, "a", log);
  new Probe(a, "a1", log);
  new Probe(root, "b", log);
  delete root;
  // A destructor's own body runs before its components go, as with members.
  EXPECT_EQ(log, (std::vector<std::string>{"root", "b", "a", "a1"}));
}

TEST(Component, AComponentFreedFirstLeavesItsOwnerAndEveryWatcherForgetsIt) {
  std::vector<std::string> log;
  Probe owner(nullptr, "owner", log);
  auto* a = new Probe(&owner, "a", log);
  new Probe(a, "a1", log);
  auto* b = new Probe(&owner, "b", log);
  Probe window(nullptr, "window", log);  // outside the owner's tree
  owner.watched = a;
  b->watched = a;  // a sibling hears of it through the owner
  window.watched = a;
  window.FreeNotification(a);
  delete a;
  EXPECT_EQ(owner.ComponentCount(), 1);
  EXPECT_EQ(owner.Components(0), b);
  EXPECT_EQ(owner.watched, nullptr);
  EXPECT_EQ(b->watched, nullptr);
  EXPECT_EQ(window.watched, nullptr);
}

TEST(Component, FreeNotificationTiesEndWithEitherSide) {
  std::vector<std::string> log;
  Probe server(nullptr, "server", log);
  // Freeing the watcher first must leave the watched object nothing to call
  // into later (ASan would catch it).
  auto* window = new Probe(nullptr, "window", log);
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

TEST(Component, FindComponentFollowsOwnershipTransfer) {
  std::vector<std::string> log;
  Probe app(nullptr, "Application", log);
  Probe main(nullptr, "FormMain", log);
  auto* pref = new Probe(&app, "FormPref", log);
  EXPECT_EQ(app.FindComponent("formpref"), pref);
  main.InsertComponent(pref);
  EXPECT_EQ(app.FindComponent("FormPref"), nullptr);
  EXPECT_EQ(main.FindComponent("FormPref"), pref);
  main.RemoveComponent(pref);  // not freed, just unowned
  EXPECT_EQ(pref->Owner(), nullptr);
  delete pref;
}
