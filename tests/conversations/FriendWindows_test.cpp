#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "Cam_helpers.h"
#include "conversations/DatasetGrid.h"
#include "conversations/FormFChat.h"
#include "conversations/FormFriends.h"
#include "conversations/FormHist.h"
#include "conversations/FormImgView.h"
#include "core/Widgets_helpers.h"
#include "core/session/DBStuff.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"
#include "platform/Charset.h"
#include "platform/TempHome.h"

namespace {

struct FriendPrompts : TPrompts {
  bool Yes = false;
  std::vector<std::string> Asked;
  bool AskYesNo(const std::string&, const std::string& caption, bool) override {
    Asked.push_back(caption);
    return Yes;
  }
  bool AskGreeting(const std::string&, std::string&) override { return true; }
  void OpenURL(const std::string& address, std::function<void(bool)>) override { Asked.push_back(address); }
};

std::vector<std::string> Column(const TDatasetGrid& grid, const std::string& field) {
  std::vector<std::string> values;
  for (int r = 0; r < grid.rowCount(); ++r) values.push_back(grid.Value(r, field));
  return values;
}

// The history window shows one contact's rows and turns to another when asked
// again, caption and all; a message changed in its box is stored when the
// user leaves the row or the window; a row goes without a question, the whole
// history only after a yes. The friends window deletes the chosen friend after
// the session's question; the friend-chat picker opens on nobody and calls
// the friend the user chose on the stored address.
TEST(FriendWindows, HistoryFriendsAndFriendChat) {
  testing_support::WidgetApp();
  testing_support::TempHome home;
  FriendPrompts prompts;
  TSession session(prompts);
  session.CreateLocalStores();
  TDBStuff& db = session.DB();
  for (const char* m : {"one", "two", "three"}) db.AddHistory("111", "Bea", "t", m);
  db.AddHistory("222", "Cy", "t", "hello");

  TFormHist* hist = TFormHist::Open(session, "111");
  EXPECT_EQ(hist->windowTitle().toStdString(), "Parlo - 111 - History");
  EXPECT_EQ(Column(*hist->DBGrid1, "Message"), (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_EQ(hist->DBMemo->toPlainText().toStdString(), "one");
  // As the user types it.
  auto retype = [&](const char* text) {
    hist->DBMemo->selectAll();
    hist->DBMemo->insertPlainText(text);
  };
  retype("one, edited");
  hist->Move(1);
  QCoreApplication::processEvents();
  EXPECT_EQ(Column(*hist->DBGrid1, "Message"), (std::vector<std::string>{"one, edited", "two", "three"}));
  EXPECT_EQ(hist->DBMemo->toPlainText().toStdString(), "two");
  hist->Move(2);
  hist->DeleteRow();
  EXPECT_EQ(Column(*hist->DBGrid1, "Message"), (std::vector<std::string>{"one, edited", "two"}));
  EXPECT_EQ(TFormHist::Open(session, "222"), hist);
  EXPECT_EQ(hist->windowTitle().toStdString(), "Parlo - 222 - History");
  EXPECT_EQ(Column(*hist->DBGrid1, "Message"), std::vector<std::string>{"hello"});
  retype("hello\nagain");
  hist->close();
  db.FilterHistory("222");
  EXPECT_EQ(db.History.FieldValue("Message"), "hello\r\nagain");
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  hist = TFormHist::Open(session, "222");
  hist->ClearAll();
  EXPECT_EQ(Column(*hist->DBGrid1, "Message"), std::vector<std::string>{"hello\r\nagain"});
  prompts.Yes = true;
  hist->ClearAll();
  EXPECT_TRUE(Column(*hist->DBGrid1, "Message").empty());
  EXPECT_EQ(prompts.Asked, (std::vector<std::string>{"Clear History?", "Clear History?"}));
  hist->close();

  TFormFriends* friends = TFormFriends::Open(session);
  prompts.Asked.clear();
  friends->DeleteClick();  // no friends: nothing asked
  EXPECT_TRUE(prompts.Asked.empty());
  friends->ProfileClick();  // no friend: the page of nobody in particular
  EXPECT_EQ(prompts.Asked, std::vector<std::string>{"http://" + session.Settings.ServerIP + "/cgi-bin/profiles.exe/user?"});
  prompts.Asked.clear();
  db.AddFriend("111", "Bea", "10.0.0.1", "");
  db.AddFriend("333", "Dee", "10.0.0.3", "2970");
  session.Friends.Add({"Bea", -1, "Offline", "10.0.0.1", "", "111", "0"});
  friends->Refill();
  friends->DeleteClick();
  EXPECT_EQ(Column(*friends->DBGrid1, "UserID"), std::vector<std::string>{"333"});
  // The stored friend goes; the Friends list keeps its row until it is filled again.
  EXPECT_EQ(session.Friends.Count(), 1);
  friends->close();

  std::vector<TContactCall> calls;
  session.Router().SetContactHandler(TContactCommand::PrivateChat, [&](const TContactCall& c) { calls.push_back(c); });
  db.AddFriend("111", "Bea", "10.0.0.1", "");
  // Each time the action runs it offers a picker of its own.
  TFormFChat* other = TFormFChat::ActionNewPChatExecute(session);
  TFormFChat* pick = TFormFChat::ActionNewPChatExecute(session);
  EXPECT_NE(pick, other);
  other->close();
  EXPECT_EQ(pick->DBLookupComboBox1->currentIndex(), -1);
  TFormFChat::ActionNewPChatExecute(session)->ChatNowClick();  // nobody chosen: nobody called
  EXPECT_TRUE(calls.empty());
  pick->DBLookupComboBox1->setCurrentIndex(pick->DBLookupComboBox1->findText("Bea"));
  pick->ChatNowClick();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Contact.UserName, "Bea");
  EXPECT_EQ(calls[0].Contact.ListenIP, "10.0.0.1");
  // No stored port: the private chat's own default applies.
  EXPECT_EQ(calls[0].Contact.ListenPort, "");
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A received picture is named by its whole path as the disk names it,
// whatever its characters.
TEST(FriendWindows, PictureViewerNamesTheFileAsTheDiskDoes) {
  testing_support::WidgetApp();
  QTemporaryDir folder;
  const QString name = QString::fromUtf8("\xE5\x86\x99\xE7\x9C\x9F.jpg");
  QImage picture(8, 8, QImage::Format_RGB32);
  ASSERT_TRUE(picture.save(folder.filePath(name), "JPG"));
  TFormImgView* view = ShowPicture(platform::NameFromPath(folder.filePath(name).toStdString()), "Bob");
  EXPECT_EQ(view->Stat->currentMessage(), folder.filePath(name));
  EXPECT_EQ(view->Img->pixmap().size(), QSize(8, 8));
  view->close();
}

// A received JPEG of thirty thousand scans is refused before the reader
// would decode them one by one.
TEST(FriendWindows, PictureViewerRefusesEndlessScans) {
  testing_support::WidgetApp();
  QTemporaryDir folder;
  const std::string file = folder.filePath("scans.jpg").toStdString();
  testing_support::WriteFile(file, cam_test::RepeatedScanJpeg(64, 64, 30000));
  TFormImgView* view = ShowPicture(platform::NameFromPath(file), "Bob");
  EXPECT_EQ(view->Stat->currentMessage(), "Unrecognized file format");
  EXPECT_TRUE(view->Img->pixmap().isNull());
  view->close();
}

}  // namespace
