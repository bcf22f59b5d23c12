#include "core/FormAlert.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "Dialogs_helpers.h"
#include "core/session/Prompts.h"
#include "core/session/RelayedMessages.h"
#include "core/session/Session.h"
#include "core/session/UpdateCheck.h"
#include "platform/Charset.h"
#include "platform/EventLoop.h"
#include "platform/TempHome.h"

namespace {

std::vector<std::string> AlertItems(const TFormAlert& alert) {
  std::vector<std::string> items;
  for (int i = 0; i < alert.List->topLevelItemCount(); ++i)
    items.push_back(platform::FromQString(alert.List->topLevelItem(i)->text(0)));
  return items;
}

QTreeWidgetItem* Item(const TFormAlert& alert, const std::string& caption) {
  for (int i = 0; i < alert.List->topLevelItemCount(); ++i)
    if (platform::FromQString(alert.List->topLevelItem(i)->text(0)) == caption) return alert.List->topLevelItem(i);
  return nullptr;
}

// The toast follows the session's announcements: one item per key, the two
// "none" notices never side by side; choosing an item acts on it and takes it
// (and any "none" notice) away; hiding drops the notices and keeps the rest.
TEST(FormAlert, OneItemPerKeyAndChoosingActs) {
  testing_support::DialogApp();
  testing_support::TempHome home;
  TPrompts prompts;
  TSession session(prompts);
  TFormAlert alert(session);
  std::vector<std::string> opened;
  alert.OpenMessages = [&](const std::string& id) { opened.push_back("messages " + id); };
  alert.OpenUpdate = [&](const std::string& url, const std::string& version) {
    opened.push_back("update " + url + " " + version);
  };

  session.Messages().MessageAnnounced("111", "Bea", "t");
  session.Messages().MessageAnnounced("111", "Bea", "t2");
  session.Messages().NoMessagesWaiting();
  session.Updates().NoUpdateAvailable();
  session.Updates().UpdateAvailable("1.2.3.4", "http://h/u.exe");
  EXPECT_EQ(AlertItems(alert), (std::vector<std::string>{"Message(s) from: Bea", "No new Messages", "Update to 1.2.3.4 Available"}));
  ASSERT_TRUE(alert.isVisible());
  EXPECT_TRUE(alert.Timer1->isActive());
  // Inside the screen's free area, at its bottom right.
  const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(free.contains(alert.frameGeometry())) << alert.x() << "," << alert.y();
  EXPECT_EQ(alert.frameGeometry().bottomRight(), free.bottomRight());

  alert.ListSelectItem(Item(alert, "Message(s) from: Bea"));
  EXPECT_EQ(AlertItems(alert), std::vector<std::string>{"Update to 1.2.3.4 Available"});
  // Hidden by its timer: the update waits for the next show.
  session.Messages().NoMessagesWaiting();
  alert.Timer1->setInterval(1);
  alert.Timer1->start();
  EXPECT_TRUE(platform::ProcessMessagesUntil([&] { return !alert.isVisible(); }, 3000));
  EXPECT_EQ(AlertItems(alert), std::vector<std::string>{"Update to 1.2.3.4 Available"});
  alert.ListSelectItem(Item(alert, "Update to 1.2.3.4 Available"));
  EXPECT_EQ(opened, (std::vector<std::string>{"messages 111", "update http://h/u.exe 1.2.3.4"}));
  EXPECT_TRUE(AlertItems(alert).empty());

  // Chosen with the keys, an alert acts as a click does.
  session.Messages().MessageAnnounced("333", "Cy", "t");
  alert.List->setFocus();
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QApplication::sendEvent(alert.List, &down);
  EXPECT_TRUE(platform::ProcessMessagesUntil([&] { return opened.size() == 3; }, 3000));
  EXPECT_EQ(opened.back(), "messages 333");

  // However long, an alert shows whole: its row holds every line it needs.
  session.Updates().UpdateAvailable("1.0.0.1", "http://h/u.exe");
  session.Messages().MessageAnnounced("222", "Bartholomew_Featherstonehaugh_the_Second", "t");
  alert.List->doItemsLayout();
  for (int i = 0; i < alert.List->topLevelItemCount(); ++i) {
    const QRect row = alert.List->visualItemRect(alert.List->topLevelItem(i));
    const QString text = alert.List->topLevelItem(i)->text(0);
    const int needed =
        alert.List->fontMetrics().boundingRect(QRect(0, 0, row.width(), 999), Qt::TextWrapAnywhere, text).height();
    EXPECT_GT(needed, alert.List->fontMetrics().height());
    EXPECT_GE(row.height(), needed) << text.toStdString();
  }
}

}  // namespace
