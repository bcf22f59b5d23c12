#include "conversations/FormPChat.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "Conversations_helpers.h"
#include "common/Settle.h"
#include "conversations/ChatPickers.h"
#include "conversations/ChatStatusBar.h"
#include "conversations/Emoticons.h"
#include "conversations/PrivateChatRoutes.h"
#include "core/Loopback_helpers.h"
#include "core/Widgets_helpers.h"
#include "core/session/DBStuff.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"
#include "platform/EventLoop.h"
#include "platform/TempHome.h"

namespace {

using testing_support::TRecordingTranscriptWidget;
using testing_support::TScriptedPeer;

struct AnsweringPrompts : TPrompts {
  bool Yes = true;
  std::vector<std::string> Asked;
  bool AskYesNo(const std::string& text, const std::string& caption, bool) override {
    Asked.push_back(caption + ": " + text);
    return Yes;
  }
  bool AskGreeting(const std::string&, std::string& greeting) override {
    greeting = "hi, there\r\nBob";
    return true;
  }
};

// A session on a fresh home with the private chat routed to windows whose
// transcript records what is written.
struct Fixture {
  testing_support::TempHome home;
  AnsweringPrompts prompts;
  testing_support::TRecordingFactory factory;
  std::unique_ptr<TSession> session;
  std::unique_ptr<TPrivateChatRoutes> routes;

  Fixture() {
    testing_support::WidgetApp();
    session = std::make_unique<TSession>(prompts);
    session->CreateLocalStores();
    session->DB().NewProfile("Me");
    session->Settings.CurrentProfile = "Me";
    session->Settings.UserID = "41000001";
    routes = std::make_unique<TPrivateChatRoutes>(*session);
  }
  ~Fixture() {
    routes.reset();  // the windows go first
    session.reset();
  }
  std::string OwnRecord(const std::string& greeting) {
    const TSettings& s = session->Settings;
    return session->DB().BuildProfileRecord(s.CurrentProfile, s.UserID, s.CurrentGroup, s.StatusMode, s.ListenPort,
                                            greeting);
  }
  TFormPChat* Window() {
    platform::ProcessMessagesUntil([&] { return !routes->Windows().empty(); }, 5000);
    return routes->Windows().empty() ? nullptr : routes->Windows().front();
  }
  static std::string Shown(TFormPChat& w) { return static_cast<TRecordingTranscriptWidget*>(w.Memo)->Marked(); }
  static bool Shows(TFormPChat& w, const std::string& part) {
    return platform::ProcessMessagesUntil([&] { return Shown(w).find(part) != std::string::npos; }, 5000);
  }
};

std::string Lines(QPlainTextEdit* memo) { return memo->toPlainText().toStdString(); }

void Key(QWidget* target, QEvent::Type type, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
         const QString& text = {}) {
  QKeyEvent e(type, key, mods, text);
  QCoreApplication::sendEvent(target, &e);
}

// The callee's side, from the listener's accepted request through the router
// to a window: the answer carries the own record, text both ways, the sound
// picker's nodes, and saving the transcript when the window closes.
TEST(FormPChat, AnswersAnAcceptedRequestAndSavesTheChat) {
  Fixture f;
  f.session->Settings.AutoPChat = true;
  f.session->Settings.ListenPort = std::to_string(testing_support::FreePort());
  f.session->StartListening();
  const std::string caller = "87654321||General||2970||Ann||Ann||Lee||30||||F||Here||||||||||||hello||||Hi||||0";
  const std::string own = f.OwnRecord("");
  TScriptedPeer peer(TScriptedPeer::Call, std::stoi(f.session->Settings.ListenPort),
                     R"j([{"op": "expect", "code": 1000},
                         {"op": "send", "code": 1001, "params": ")j" + caller + R"j("},
                         {"op": "expect", "code": 1002, "params": ")j" + own + R"j(", "text": ""},
                         {"op": "send", "code": 1003},
                         {"op": "send", "code": 1006, "text": "hello :-) http://x.org ok"},
                         {"op": "expect", "code": 1006, "params": "", "text": "hi$c you"},
                         {"op": "expect", "code": 1008, "params": "44", "text": ""},
                         {"op": "expect", "code": 1008, "params": "17", "text": ""},
                         {"op": "expect_close"}])j");
  TFormPChat* w = f.Window();
  ASSERT_NE(w, nullptr) << peer.Output();
  // The first keys typed go into the input.
  EXPECT_EQ(w->focusWidget(), w->MemoGo);
  ASSERT_TRUE(Fixture::Shows(*w, "hello")) << peer.Output();
  EXPECT_TRUE(w->Chat().Authorized());
  EXPECT_EQ(w->windowTitle().toStdString(), "Ann - 87654321  Private Chat");
  EXPECT_EQ(Lines(w->MemoSys), "Accepted Connection to: Ann");
  EXPECT_EQ(w->Stat->Panel(2), "Connected...");

  w->MemoGo->setPlainText("hi, you");
  w->SendText();
  EXPECT_TRUE(w->MemoGo->toPlainText().isEmpty());
  w->InsertEmoteCode(18);
  EXPECT_EQ(w->MemoGo->toPlainText().toStdString(), ":&");
  // A group node picks nothing; "Yada Yada Yada" is sound 44.
  emit w->PSound->TreeSounds->itemClicked(w->PSound->TreeSounds->topLevelItem(0), 0);
  QTreeWidgetItem* yada = w->PSound->SoundNode(44);
  ASSERT_NE(yada, nullptr);
  EXPECT_EQ(yada->text(0).toStdString(), "Yada Yada Yada");
  emit w->PSound->TreeSounds->itemClicked(yada, 0);
  // A sound selected from the keyboard is picked as well, once.
  w->PSound->TreeSounds->setCurrentItem(w->PSound->SoundNode(17));

  // The transcript is saved under the name as typed.
  const std::string saved = (f.home.Home() / "chat").string();
  w->AskSaveName = [&](std::string& name) {
    name = (f.home.Home() / "chat").string();
    return true;
  };
  EXPECT_EQ(Fixture::Shown(*w),
            "*Ann (t)*\r\nhello {4} http://x.org ok\r\n*NewUser (t)*\r\nhi, you\r\n");
  w->close();
  EXPECT_TRUE(peer.Passed()) << peer.Output();
  EXPECT_EQ(f.prompts.Asked, std::vector<std::string>{"Save Chat?: Would you like to save this chat session?"});
  static const std::regex clock(R"(\(\d{1,2}:\d\d [AP]M\))");
  EXPECT_EQ(std::regex_replace(testing_support::ReadFile(saved), clock, "(t)"),
            "Ann (t)\nhello  http://x.org ok\nNewUser (t)\nhi, you\n");
  EXPECT_TRUE(platform::ProcessMessagesUntil([&] { return f.routes->Windows().empty(); }, 3000));

  // A caller who leaves before a word is said leaves the window open as a transcript.
  TScriptedPeer gone(TScriptedPeer::Call, std::stoi(f.session->Settings.ListenPort),
                     R"j([{"op": "expect", "code": 1000},
                         {"op": "send", "code": 1001, "params": ")j" + caller + R"j("},
                         {"op": "expect", "code": 1002}, {"op": "close"}])j");
  TFormPChat* left = f.Window();
  ASSERT_NE(left, nullptr) << gone.Output();
  EXPECT_TRUE(gone.Passed()) << gone.Output();
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return left->Stat->Panel(2) == "Closed..."; }, 5000));
  testing_support::Settle(100);
  ASSERT_EQ(f.routes->Windows().size(), 1u);
  EXPECT_TRUE(left->isVisible());
  EXPECT_EQ(Lines(left->MemoSys), "Accepted Connection to: Ann\nConnection Closed");
  left->close();
}

// The caller's side from the contact command: the greeting the user confirmed
// travels in the own record, the callee's banner opens the transcript, and
// the input's keys type, notify and send.
TEST(FormPChat, CallsAContactAndSendsFromTheKeyboard) {
  Fixture f;
  const std::string bob = "52000002||General||2962||Bob||||||||||||||||||||||||||||||Welcome||||0";
  const std::string own = f.OwnRecord("hi, there\r\nBob");
  TScriptedPeer peer(TScriptedPeer::Listen, 0,
                     R"j([{"op": "send", "code": 1000},
                         {"op": "expect", "code": 1001, "params": ")j" + own + R"j(", "text": ""},
                         {"op": "send", "code": 1002, "params": ")j" + bob + R"j("},
                         {"op": "expect", "code": 1003},
                         {"op": "expect", "code": 1007},
                         {"op": "expect", "code": 1006, "params": "", "text": "typed$r$nline"},
                         {"op": "send", "code": 1006, "text": "bye"},
                         {"op": "close"}])j");
  TContact contact;
  contact.UserName = "Bob";
  contact.ListenIP = "127.0.0.1";
  contact.ListenPort = std::to_string(peer.Port());
  f.session->RunContactCommand(TContactCommand::PrivateChat, contact);
  TFormPChat* w = f.Window();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->focusWidget(), w->MemoGo);
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return w->Chat().Authorized(); }, 5000)) << peer.Output();

  Key(w->MemoGo, QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, "a");
  // Characters the chat cannot carry are named under the input before sending.
  const auto* note = w->findChild<QLabel*>("CharsetNote");
  w->MemoGo->setPlainText(QString::fromUtf8("caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC"));
  EXPECT_TRUE(note->isVisibleTo(w) && note->text().endsWith(QString::fromUtf8("\xE6\x97\xA5 \xE6\x9C\xAC")));
  EXPECT_EQ(w->Stat->Panel(0), "Character Count: 7");
  // Emptied, the input is not read, yet the note and the count follow it.
  w->MemoGo->clear();
  EXPECT_FALSE(note->isVisibleTo(w));
  EXPECT_EQ(w->Stat->Panel(0), "Character Count: 0");
  w->MemoGo->setPlainText("typed");
  EXPECT_FALSE(note->isVisibleTo(w));
  w->MemoGo->moveCursor(QTextCursor::End);
  Key(w->MemoGo, QEvent::KeyPress, Qt::Key_Return, Qt::ControlModifier);
  w->MemoGo->insertPlainText("line");
  Key(w->MemoGo, QEvent::KeyPress, Qt::Key_Tab);
  EXPECT_EQ(w->MemoGo->toPlainText().toStdString(), "typed\nline    ");
  w->MemoGo->setPlainText("typed\nline");
  Key(w->MemoGo, QEvent::KeyPress, Qt::Key_Return);
  Key(w->MemoGo, QEvent::KeyRelease, Qt::Key_Return);
  EXPECT_TRUE(w->MemoGo->toPlainText().isEmpty());
  EXPECT_EQ(w->Stat->Panel(0), "Character Count: 0");
  // The count follows the input however it changes, not only on keys.
  w->PEm->OnPick(0);
  EXPECT_EQ(w->Stat->Panel(0), "Character Count: " + std::to_string(std::string(Emoticon[0]).size()));
  w->MemoGo->clear();

  EXPECT_TRUE(peer.Passed()) << peer.Output();
  ASSERT_TRUE(Fixture::Shows(*w, "bye"));
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return w->Stat->Panel(2) == "Closed..."; }, 5000));
  EXPECT_EQ(Fixture::Shown(*w),
            "*Bob (t)*\r\nWelcome\r\n*NewUser (t)*\r\ntyped\r\nline\r\n*Bob (t)*\r\nbye\r\n");
  EXPECT_EQ(Lines(w->MemoSys),
            "Attempting connection to Bob\nConnected to Bob waiting for authorization...\nNow Chatting with: "
            "Bob\nConnection Closed");
  EXPECT_EQ(w->Stat->StateImage(), 0);

  // Behind another window, the first message starts the flash; the next, come
  // before its first tick, must not put the tick off again.
  QWidget front;
  front.show();
  front.activateWindow();
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return QApplication::activeWindow() == &front; }, 3000));
  w->ShowPeerText("one\r\n");
  ASSERT_TRUE(w->Timer1->isActive());
  QElapsedTimer since;
  since.start();
  platform::ProcessMessagesUntil([&] { return since.elapsed() >= 200; }, 1000);
  w->ShowPeerText("two\r\n");
  EXPECT_LE(w->Timer1->remainingTime(), w->Timer1->interval() - 150);

  f.prompts.Yes = false;
  w->close();
  EXPECT_EQ(f.prompts.Asked.size(), 1u);
}

}  // namespace
