#include "core/FormMain.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <vector>

#include "../platform/TempHome.h"
#include "Dialogs_helpers.h"
#include "core/ContactList.h"
#include "core/ContactMenus.h"
#include "core/DialogPrompts.h"
#include "core/FormAlert.h"
#include "core/FormGreet.h"
#include "core/MainPanels.h"
#include "core/session/DBStuff.h"
#include "core/session/Session.h"
#include "platform/DesktopPrompts.h"
#include "platform/EventLoop.h"
#include "platform/WindowPlacement.h"

namespace {

// The private chat from a list's popup: the greeting editor opens on the
// current profile's greeting, named for the user called; only Connect goes on
// to the handler the conversations register, with the contact and the greeting.
TEST(FormMain, PrivateChatFromAListAsksForTheGreetingThenRoutesTheContact) {
  testing_support::DialogApp();
  testing_support::TempHome home;
  TDialogPrompts prompts;
  TSession session(prompts);
  TFormMain form(session);
  prompts.SetOwner(&form);
  session.DB().NewProfile("Home");
  session.DB().Profiles.Edit();
  session.DB().Profiles.SetFieldValue("Greeting", "Hi$c there$r$nit's me");
  session.DB().Profiles.Post();
  std::vector<TContactCall> calls;
  session.Router().SetContactHandler(TContactCommand::PrivateChat,
                                     [&](const TContactCall& call) { calls.push_back(call); });
  session.Friends.Add({"Ann", 0, "Available", "10.0.0.1", "2960", "41000001", "1"});
  form.ListF->Select(form.ListF->FindById("41000001"));

  for (const bool connect : {false, true}) {
    SCOPED_TRACE(connect ? "Connect" : "Cancel");
    std::string shownText, shownTitle;
    testing_support::WhenModal([&] {
      auto* greet = qobject_cast<TFormGreet*>(QApplication::activeModalWidget());
      ASSERT_NE(greet, nullptr);
      shownText = greet->Memo->toPlainText().toStdString();
      shownTitle = greet->windowTitle().toStdString();
      greet->Memo->setPlainText("Hello Ann");
      connect ? greet->ConnectClick() : greet->CancelClick();
    });
    form.ListFDblClick();
    EXPECT_EQ(shownText, "Hi, there\nit's me");
    EXPECT_EQ(shownTitle, "Greeting for Ann");
    ASSERT_EQ(calls.size(), connect ? 1u : 0u);
  }
  EXPECT_EQ(calls[0].Contact.ListenIP, "10.0.0.1");
  EXPECT_EQ(calls[0].Contact.ListenPort, "2960");
  EXPECT_EQ(calls[0].List, TContactListKind::Friends);
  EXPECT_EQ(calls[0].Greeting, "Hello Ann");
  EXPECT_TRUE(form.findChildren<TFormGreet*>().isEmpty());

  // An offline contact's double click is a message; with no message window
  // registered it is logged as not there yet.
  session.Friends.Add({"Bob", -1, "Offline", "", "", "41000002", "0"});
  form.ListF->clearSelection();
  form.ListF->Select(form.ListF->FindById("41000002"));
  form.ListFDblClick();
  EXPECT_NE(testing_support::ReadFile(home.Home() / "errorlog.txt").find("Send message: not available yet"),
            std::string::npos);
}

// Each list's menu holds its own family members, with their captions as the
// users know them; opening it sets what they may do.
TEST(FormMain, PopupsCarryTheirListsCommands) {
  testing_support::DialogApp();
  testing_support::TempHome home;
  TPrompts prompts;
  TSession session(prompts);
  TFormMain form(session);
  auto captions = [](const TContactPopup* popup) {
    QStringList shown;
    for (const QAction* a : popup->Menu->actions()) shown << (a->isSeparator() ? "-" : a->text());
    return shown.join("|").toStdString();
  };
  const std::string tail = "|-|View Profile|-|Request to View Cam|-|Invite to Multi-Chat|-|Send Files|Send Image|"
                           "Send Sound File|Send Cam Broadcast|-|";
  EXPECT_EQ(captions(form.PopFriend), "Call for Private Chat|Send Message" + tail +
                                          "Delete from Friend List|Block this User|Show History");
  EXPECT_EQ(captions(form.PopOnline), "Call for Private Chat|Send Mssage" + tail +
                                          "Add to Friend List|Block this User|Show History");
  EXPECT_EQ(captions(form.PopIncoming), "Call for Private Chat|SendMessage" + tail +
                                            "Add to Friend List|Block this User|Show History");

  for (const TContactPopup* popup : {form.PopFriend, form.PopOnline, form.PopIncoming})
    for (const QAction* a : popup->Menu->actions())
      EXPECT_TRUE(a->isSeparator() || !a->icon().isNull()) << a->text().toStdString();

  session.Online.Add({"Bob", -1, "Offline", "10.0.0.2", "2961", "41000002", "0"});
  form.ListO->Select(form.ListO->FindById("41000002"));
  form.PopOnlinePopup();
  EXPECT_FALSE(form.ActionPChatOnline->isEnabled());
  EXPECT_TRUE(form.ActionAddFriendOnline->isEnabled());
  EXPECT_FALSE(form.ActionNewMessageO->isEnabled());  // not connected
  EXPECT_FALSE(form.ActionMultiRequestOnline->isEnabled());
  form.PopFriendPopup();
  EXPECT_FALSE(form.ActionBlockFriend->isEnabled());
}

// What the window shows follows the session: the status bar, the caption, the
// group selector and the commands that need the directory link.
TEST(FormMain, ShowsWhatTheSessionSays) {
  testing_support::DialogApp();
  testing_support::TempHome home;
  TPrompts prompts;
  TSession session(prompts);
  TFormMain form(session);
  session.SetStatusText("Sending logon info...");
  session.SetServerImage(2);
  session.SetListenerImage(1);
  EXPECT_EQ(form.Stat->StatusText(), "Sending logon info...");
  EXPECT_EQ(form.Stat->ServerStateIcon(), 2);
  EXPECT_EQ(form.Stat->ListenStateIcon(), 1);

  // The lists and selectors fill the window's fixed 192 pixels; a tab
  // answers any mouse button.
  form.show();
  EXPECT_EQ(form.centralWidget()->width(), 192);
  EXPECT_EQ(form.PaintList->geometry(), QRect(0, 57, 192, form.PaintList->height()));
  EXPECT_EQ(form.Panel2->geometry().left(), 5);
  EXPECT_LE(form.menuBar()->sizeHint().width(), 192);  // no menu behind a "more" button
  QMouseEvent right(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::RightButton, Qt::RightButton,
                    Qt::NoModifier);
  QApplication::sendEvent(form.Tab5, &right);
  EXPECT_TRUE(form.TabGroups && !form.TabStatus);
  EXPECT_EQ(form.LabU->text(), "Select the Group to be listed in");

  session.SetUserID("41000009");
  EXPECT_EQ(form.windowTitle().toStdString(), "Parlo - 41000009");
  // The program's own picture, at the sizes window managers and trays ask
  // for, on every window; the alert is left alone by the window manager, so
  // that no taskbar lists it.
  for (const int size : {16, 32, 48}) EXPECT_FALSE(form.windowIcon().pixmap(size).isNull()) << size;
  QWidget other(nullptr, Qt::Window);
  TFormAlert alert(session);
  for (const QWidget* w : {&other, static_cast<QWidget*>(&alert)})
    EXPECT_EQ(w->windowIcon().cacheKey(), form.windowIcon().cacheKey());
  EXPECT_TRUE(alert.windowFlags().testFlag(Qt::BypassWindowManagerHint));

  // Without a groups file no group is offered until the user makes one.
  session.CreateLocalStores();
  EXPECT_EQ(form.ComboGroup->count(), 0);
  ASSERT_EQ(session.AddGroup("Chess"), TNewGroupOutcome::Added);
  ASSERT_EQ(form.ComboGroup->count(), 1);
  EXPECT_EQ(form.ComboGroup->currentText().toStdString(), "Chess");
  // A group name the wire cannot carry is refused, saying which characters,
  // and never saved as "?".
  QString told;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* input = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
      input->setTextValue(QString::fromUtf8("\xD0\x94\xD1\x80\xD1\x83\xD0\xB7\xD1\x8C\xD1\x8F"));
      input->accept();
    } else if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      told = box->windowTitle() + ": " + box->text();
      box->close();
    }
  });
  answer.start(10);
  form.ActionNewGroupExecute();
  answer.stop();
  EXPECT_EQ(told, QString::fromUtf8("Invalid Group Name: A group name cannot use these characters: \xD0\x94 \xD1\x80 "
                                    "\xD1\x83 \xD0\xB7 \xD1\x8C \xD1\x8F. Please use Latin letters (with or without "
                                    "accents), digits and common signs only."));
  EXPECT_EQ(form.ComboGroup->count(), 1);
  EXPECT_EQ(session.Settings.CurrentGroup, "Chess");

  form.UpdateServerActions();
  EXPECT_FALSE(form.ActionNewMessageF->isEnabled());
  EXPECT_TRUE(form.ActionServerConnect->isEnabled());
}

// A question is centred on the window it is about, not on the narrow main
// window at the screen's edge: the one the user works in, or the one that
// says so while it asks (a chat closed as the program ends). A chat request
// is about no window: it stands in the middle of the desktop.
TEST(FormMain, QuestionsAreCentredOnTheirWindow) {
  testing_support::DialogApp();
  testing_support::TempHome home;
  TDialogPrompts prompts;
  TSession session(prompts);
  TFormMain form(session);
  prompts.SetOwner(&form);
  QWidget chat(nullptr, Qt::Window), other(nullptr, Qt::Window);
  chat.setGeometry(300, 150, 400, 300);
  other.setGeometry(50, 400, 200, 150);
  form.move(0, 0);
  form.show(), other.show(), chat.show();
  chat.activateWindow();
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return chat.isActiveWindow(); }, 3000));
  auto offCentre = [&](const QWidget& window) {
    QPoint centre;
    bool above = false;
    testing_support::WhenModal([&centre, &above, &window] {
      const QWidget* box = QApplication::activeModalWidget();
      centre = box->geometry().center();
      // Above its window: a window manager stacks it there.
      above = box->windowHandle()->transientParent() == window.windowHandle();
      QApplication::activeModalWidget()->close();
    });
    prompts.AskYesNo("Delete Bob?", "Confirm Delete", true);
    EXPECT_TRUE(above);
    return (centre - window.geometry().center()).manhattanLength();
  };
  EXPECT_LE(offCentre(chat), 2);
  const platform::TQuestionsAbout about(&other);
  EXPECT_LE(offCentre(other), 2);
  // So is one that nobody waits for ("Allow Viewer?"), though the main window owns it.
  const TQuestion later = prompts.AskYesNoLater("Bob is requesting", "Allow Viewer?", 60000, [](bool) {});
  QApplication::processEvents();
  const QWidget* box = QApplication::activeWindow();
  ASSERT_TRUE(box != nullptr && box->windowTitle() == "Allow Viewer?");
  EXPECT_LE((box->geometry().center() - other.geometry().center()).manhattanLength(), 2);
  EXPECT_EQ(box->windowHandle()->transientParent(), other.windowHandle());
  TChatRequestQuestion bob;
  bob.Record = "41000002||General||2961||Bob";
  const TQuestion request = prompts.AskChatRequest(bob, [](int) {});
  QApplication::processEvents();
  const QWidget* dialog = QApplication::activeWindow();
  ASSERT_TRUE(dialog != nullptr && dialog->objectName() == "FormPReq");
  EXPECT_LE((dialog->geometry().center() - dialog->screen()->availableGeometry().center()).manhattanLength(), 2);
  // The window may go while its question waits (a chat its peer ended): the
  // question goes with it, answered No.
  auto* going = new QWidget(nullptr, Qt::Window);
  going->show();
  const platform::TQuestionsAbout aboutGoing(going);
  testing_support::WhenModal([going] { delete going; });
  EXPECT_FALSE(prompts.AskYesNo("Save the chat?", "Save Chat?", false));
}

// Every window opens inside the screen's free area, however it was placed or
// sized; a question nobody owns stays above the window the user works in.
TEST(FormMain, WindowsOpenInsideTheFreeAreaAndQuestionsAboveTheirWindow) {
  testing_support::DialogApp();
  platform::KeepWindowsOnScreen();
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  const QRect asked[] = {
      {area.right() - 100, area.bottom() - 50, 300, 200},  // mostly below and right
      {area.left() - 80, area.top() - 40, 200, 150},       // above and left
      {area.left() + 10, area.top() + 10, 300, area.height() + 200},  // taller than the screen
      {area.left() + 40, area.top() + 40, 250, 150},       // inside: left as it is
  };
  for (const QRect& rect : asked) {
    QWidget window(nullptr, Qt::Window);
    window.setGeometry(rect);
    window.show();
    EXPECT_TRUE(area.contains(window.frameGeometry())) << rect.x() << "," << rect.y();
    if (area.contains(rect)) EXPECT_EQ(window.geometry(), rect);
    // Grown by the program once shown, it stays inside.
    window.resize(window.width(), window.height() + area.height() / 2);
    EXPECT_TRUE(area.contains(window.frameGeometry())) << rect.x() << "," << rect.y() << " grown";
  }
  QWidget asker(nullptr, Qt::Window);
  asker.show();
  asker.activateWindow();
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return asker.isActiveWindow(); }, 3000));
  QMessageBox box(QMessageBox::Information, "Search", "Not found", QMessageBox::Ok);
  box.show();
  EXPECT_EQ(box.windowHandle()->transientParent(), asker.windowHandle());
}

}  // namespace
