#include "core/ContactList.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>

#include <string>
#include <vector>

#include "Widgets_helpers.h"

namespace {

// What the view shows, top to bottom, as "name=status/image".
std::vector<std::string> Shown(const TContactList& view) {
  std::vector<std::string> out;
  for (int i = 0; i < view.Count(); ++i) {
    const QModelIndex row = view.Row(i);
    out.push_back(view.Text(row, TContactList::ColUser) + "=" + view.Text(row, TContactList::ColStatus) + "/" +
                  std::to_string(view.Image(row)));
  }
  return out;
}

TEST(ContactList, FollowsItsModelSortedByNameAndHoldsABatchBack) {
  testing_support::WidgetApp();
  TContacts model(TContactListKind::Online);
  model.Add({"Zoe", 0, "Available", "", "", "1", "1"});
  TContactList view(model);  // a view made late shows what is there
  EXPECT_EQ(Shown(view), (std::vector<std::string>{"Zoe=Available/0"}));

  model.BeginUpdate();
  const auto adam = model.Add({"Adam", 1, "Busy", "", "", "2", "1"});
  model.Add({"mia", -1, "Offline", "", "", "3", "0"});
  EXPECT_EQ(view.Count(), 1);  // held back until the batch ends
  EXPECT_FALSE(view.updatesEnabled());
  model.EndUpdate();
  EXPECT_TRUE(view.updatesEnabled());
  EXPECT_EQ(Shown(view), (std::vector<std::string>{"Adam=Busy/1", "mia=Offline/-1", "Zoe=Available/0"}));

  TContact renamed = model.At(adam);
  renamed.UserName = "Tom";
  renamed.Status = "Away";
  renamed.Image = 3;
  model.Change(adam, renamed);
  EXPECT_EQ(Shown(view), (std::vector<std::string>{"mia=Offline/-1", "Tom=Away/3", "Zoe=Available/0"}));
  EXPECT_EQ(view.ContactOf(view.FindById("2"))->UserName, "Tom");

  model.Remove(model.FindById("3"));
  EXPECT_FALSE(view.FindById("3").isValid());
  EXPECT_EQ(Shown(view), (std::vector<std::string>{"Tom=Away/3", "Zoe=Available/0"}));

  // A listing cleared and refilled in one batch: the user selected before
  // is selected again.
  view.Select(view.FindById("2"));
  model.BeginUpdate();
  model.Clear();
  model.Add({"Bea", 4, "Unavailable", "", "", "4", "1"});
  model.Add({"Tom", 3, "Away", "", "", "2", "1"});
  model.EndUpdate();
  EXPECT_EQ(Shown(view), (std::vector<std::string>{"Bea=Unavailable/4", "Tom=Away/3"}));
  EXPECT_EQ(view.ContactOf(view.SelectedRow())->UserID, "2");

  // A long name shows whole (the column cuts what it cannot hold); only the
  // left button's double click calls the contact.
  const std::string longName(100, 'n');
  model.Add({longName, 0, "Available", "", "", "5", "1"});
  EXPECT_EQ(view.Text(view.FindById("5"), TContactList::ColUser), longName);
  int calls = 0;
  view.OnDblClick = [&] { ++calls; };
  for (const Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton, Qt::LeftButton}) {
    QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), button, button, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &twice);
  }
  EXPECT_EQ(calls, 1);
}

}  // namespace
