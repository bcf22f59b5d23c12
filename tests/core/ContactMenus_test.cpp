#include "core/ContactMenus.h"

#include <gtest/gtest.h>

#include "Widgets_helpers.h"
#include "core/ContactList.h"

namespace {

TEST(ContactMenus, PopupEnablingFollowsSelectionOnlineStateRoomAndServerLink) {
  struct Case {
    bool selected, online, room, connected;
    TPopupEnabling want;
  };
  auto e = [](bool pchat, bool msg, bool profile, bool camIn, bool multi, bool transfers, bool edit) {
    TPopupEnabling r;
    r.PChat = pchat;
    r.NewMessage = msg;
    r.Profile = profile;
    r.CamIn = camIn;
    r.MultiRequest = multi;
    r.FileOut = r.ImgOut = r.SoundOut = r.CamOut = transfers;
    r.FriendEdit = r.Block = r.History = edit;
    return r;
  };
  const std::vector<Case> cases = {
      // nothing selected: everything off, but "Send Message" follows the link
      {false, false, false, false, e(false, false, false, false, false, false, false)},
      {false, true, true, true, e(false, true, false, false, false, false, false)},
      // an offline contact: no direct-link commands
      {true, false, false, false, e(false, false, true, false, false, false, true)},
      {true, false, true, true, e(false, true, true, false, true, false, true)},
      // an online contact
      {true, true, false, false, e(true, false, true, true, false, true, true)},
      {true, true, true, true, e(true, true, true, true, true, true, true)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.selected << c.online << c.room << c.connected);
    EXPECT_EQ(TPopupEnabling::Compute(c.selected, c.online, c.room, c.connected), c.want);
  }
  EXPECT_EQ(DoubleClickActionFor(false, true), TDoubleClickAction::DisablePrivateChat);
  EXPECT_EQ(DoubleClickActionFor(true, true), TDoubleClickAction::PrivateChat);
  EXPECT_EQ(DoubleClickActionFor(true, false), TDoubleClickAction::SendMessage);
}

TEST(ContactMenus, SelectedContactIsReadFromTheFirstSelectedItem) {
  testing_support::WidgetApp();
  TContacts model(TContactListKind::Friends);
  TContactList list(model);
  EXPECT_EQ(SelectedContactRecord(list), "");
  EXPECT_EQ(SelectedContactID(list), "");
  EXPECT_FALSE(IsSelectedContactOnline(list));
  EXPECT_FALSE(SelectedContact(list).has_value());

  model.Add({"Ann", 3, "Away", "10.0.0.1", "2960", "41000001", "1"});
  // Online flag set but shown as offline: still online for the commands.
  model.Add({"Bob", -1, "Offline", "10.0.0.2", "2961", "41000002", "1"});
  model.Add({"Cy", -1, "Offline", "", "", "41000003", "0"});
  EXPECT_FALSE(HasSelectedContact(list));

  list.Select(list.FindById("41000002"));
  EXPECT_EQ(SelectedContactRecord(list), "Bob{$}0{$}10.0.0.2{$}2961{$}41000002{$}1");
  EXPECT_TRUE(IsSelectedContactOnline(list));
  list.Select(list.FindById("41000003"));
  EXPECT_EQ(SelectedContactID(list), "41000003");
  EXPECT_FALSE(IsSelectedContactOnline(list));
  // What a command gets is a copy: the list may change while it runs.
  const auto chosen = SelectedContact(list);
  model.Remove(model.FindById("41000003"));
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(chosen->UserName, "Cy");
  EXPECT_FALSE(HasSelectedContact(list));
}

}  // namespace
