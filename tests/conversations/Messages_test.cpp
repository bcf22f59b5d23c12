#include "conversations/FormMsg.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <memory>
#include <string>
#include <vector>

#include "Conversations_helpers.h"
#include "conversations/ChatPickers.h"
#include "conversations/ChatStatusBar.h"
#include "conversations/Transcript.h"
#include "conversations/MessageRoutes.h"
#include "core/DialogLook.h"
#include "core/DirectoryServer_helpers.h"
#include "core/Widgets_helpers.h"
#include "core/session/DBStuff.h"
#include "core/session/DirectoryLink.h"
#include "core/session/IncomingMessages.h"
#include "core/session/MessageRecord.h"
#include "core/session/Prompts.h"
#include "core/session/Reg.h"
#include "core/session/RelayedMessages.h"
#include "core/session/Session.h"
#include "platform/EventLoop.h"
#include "platform/TempHome.h"
#include "transport/CmdParser.h"

namespace {

using testing_support::TRecordingTranscriptWidget;

struct TellingPrompts : TPrompts {
  std::vector<std::string> Shown;
  void ShowInformation(const std::string& text, const std::string& caption) override {
    Shown.push_back(caption + ": " + text);
  }
};

// A session on a fresh home (logged on to the local directory server when one
// is given) with message windows whose transcripts record what is written.
struct MessagesFixture {
  testing_support::TempHome home;
  TellingPrompts prompts;
  testing_support::TRecordingFactory factory;
  std::unique_ptr<TSession> session;
  std::unique_ptr<TMessageRoutes> routes;

  explicit MessagesFixture(testing_support::TDirectoryServer* server = nullptr, const std::string& uid = "") {
    testing_support::WidgetApp();
    const auto s = TReg::SettingsSection;
    TReg::WriteBool(s, "NoSound", true);
    if (server != nullptr) {
      TReg::WriteString(s, "ServerIP", "127.0.0.1");
      TReg::WriteString(s, "ServerPort", std::to_string(server->Port()));
      TReg::WriteString(s, "UserID", uid);
      TReg::WriteString(s, "UserPass", "secret1");
      TReg::WriteBool(s, "AutoUpdate", false);
      TReg::WriteBool(s, "AutoListen", false);
    }
    session = std::make_unique<TSession>(prompts);
    session->LoadCurrentSelections();
    session->CreateLocalStores();
    session->Settings.UserName = "Ann";
    routes = std::make_unique<TMessageRoutes>(*session);
  }
  ~MessagesFixture() {
    routes.reset();  // the windows go first
    session.reset();
  }
  // A 9012 record from the server, as the link hands it on.
  void Receive(const std::string& id, const std::string& name, const std::string& text,
               const std::string& state = "1{$}0") {
    session->Messages().StoreRelayedMessage(id + "{$}" + name + "{$}" + state + "{$}10.0.0.7{$}2960{$}9:00{$}" +
                                            EscapeMessageText(text));
  }
  static std::string Shown(TFormMsg& w) { return static_cast<TRecordingTranscriptWidget*>(w.Memo)->Marked(); }
  static std::string Plain(TFormMsg& w) { return static_cast<TRecordingTranscriptWidget*>(w.Memo)->Plain; }
};

std::vector<std::string> Fields(const std::string& record) { return TFields::Record(record).Items(); }

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Typed into a message window, sent through the local directory server to
// the user's own account and shown again in the same window (the sender's
// id finds it): text that would break the frame or the record arrives whole,
// the record on the wire is what the server's own parser reads as nine
// fields, and both directions reach the history.
TEST(Messages, TravelThroughTheServerWholeAndFindTheirWindow) {
  testing_support::TDirectoryServer server;
  const std::string uid = "12345678";
  server.AddAccount("secret1", uid);
  MessagesFixture f(&server, uid);
  ASSERT_TRUE(f.session->StartAfterShow());
  server.WaitFrame(9013, "in");
  f.session->Settings.StatusMode = 3;
  const TContact ann{"Ann", 0, "Busy", "127.0.0.1", "2960", uid, "1"};
  f.session->RunContactCommand(TContactCommand::Message, ann, TContactListKind::Online);
  ASSERT_EQ(f.routes->Windows().size(), 1u);
  TFormMsg& w = *f.routes->Windows().front();
  EXPECT_EQ(w.windowTitle().toStdString(), "Ann - 12345678  Message");
  EXPECT_EQ(w.Stat->Panel(1), "Current Status: Busy");

  const std::vector<std::string> texts = {"a > b, c {$} d || e\r\nline two $ end", "plain"};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    const size_t since = server.Frames().size();
    w.MemoGo->setPlainText(dialoglook::MemoFromText(text));
    w.SendMessage();
    EXPECT_TRUE(w.MemoGo->toPlainText().isEmpty());
    const auto frame = server.WaitFrame(9011, "in", since);
    ASSERT_EQ(frame.Params.size(), 1u) << frame.Raw;
    const auto fields = Fields(frame.Params[0]);
    ASSERT_EQ(fields.size(), 9u) << frame.Raw;
    EXPECT_EQ(std::vector<std::string>(fields.begin(), fields.begin() + 7),
              (std::vector<std::string>{uid, uid, "Ann", "1", "3", "127.0.0.1", f.session->Settings.ListenPort}));
    // Own text, then the same text as the peer's, under the time the record carried.
    const std::string entry = "Ann (" + fields[7] + ")\r\n" + text + "\r\n";
    ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return Count(MessagesFixture::Plain(w), ")\r\n" + text) == 2; }, 5000))
        << MessagesFixture::Plain(w);
    EXPECT_TRUE(MessagesFixture::Plain(w).ends_with(entry)) << MessagesFixture::Plain(w);
  }
  EXPECT_EQ(f.routes->Windows().size(), 1u);
  EXPECT_TRUE(f.session->Messages().Store().Senders().empty());
  platform::Dataset& history = f.session->DB().History;
  history.ClearFilter();
  std::vector<std::string> rows;
  for (history.First(); !history.Eof(); history.Next()) rows.push_back(history.FieldValue("Message"));
  EXPECT_EQ(rows, (std::vector<std::string>{texts[0], texts[0], texts[1], texts[1]}));

  // Without the server the window says so, and the text stays for later.
  const size_t since = server.Frames().size();
  f.session->Link().ActionServerDisconnectExecute();
  w.MemoGo->setPlainText("later");
  w.SendMessage();
  EXPECT_EQ(f.prompts.Shown, std::vector<std::string>{
                                 "Not connected: You must be connected to the server to send a message to another user."});
  EXPECT_EQ(w.MemoGo->toPlainText().toStdString(), "later");
  EXPECT_TRUE(server.Codes("in", since).empty());
}

// Each sender has a window of its own, found again by the sender's id; with
// ShowMsg off messages wait, except for a sender whose window is open, and
// the waiting ones open in the order they came. A closed window is gone: the
// next message opens a new one.
TEST(Messages, EachSenderHasItsWindowAndWaitingMessagesOpenInOrder) {
  MessagesFixture f;
  f.Receive("111", "Bea", "one :-)");
  ASSERT_EQ(f.routes->Windows().size(), 1u);
  TFormMsg& bea = *f.routes->Windows().front();
  EXPECT_EQ(bea.windowTitle().toStdString(), "Bea - 111  Message");
  EXPECT_EQ(MessagesFixture::Shown(bea), "*Bea (9:00)*\r\none {4}\r\n");
  f.Receive("111", "Bea", "two", "0{$}1");
  EXPECT_EQ(bea.Stat->Panel(1), "Current Status: Offline");
  EXPECT_EQ(bea.Stat->StateImage(), 4);
  // Nothing marks the transcript changed; the emoticon picker goes with the
  // focus, not the pointer.
  EXPECT_FALSE(bea.Transcript->GetModified());
  bea.activateWindow();
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return bea.isActiveWindow(); }, 3000));
  bea.ActionEmoteExecute();
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(bea.PEm, &leave);
  EXPECT_TRUE(bea.PEm->isVisible());
  bea.MemoGo->setFocus();
  EXPECT_FALSE(bea.PEm->isVisible());
  f.session->Settings.MinMsg = true;
  f.Receive("222", "Cy", "hi");
  ASSERT_EQ(f.routes->Windows().size(), 2u);
  EXPECT_TRUE(f.routes->Windows().back()->windowState() & Qt::WindowMinimized);

  f.session->Settings.ShowMsg = false;
  f.Receive("333", "Dee", "first");
  f.Receive("333", "Dee", "second");
  f.Receive("111", "Bea", "three", "1{$}03");
  EXPECT_EQ(bea.Stat->Panel(1), "Current Status: Away");  // the status read as a number
  EXPECT_EQ(f.routes->Windows().size(), 2u);
  EXPECT_EQ(MessagesFixture::Plain(bea), "Bea (9:00)\r\none \r\nBea (9:00)\r\ntwo\r\nBea (9:00)\r\nthree\r\n");
  EXPECT_EQ(f.session->Messages().Store().Keys("333"), (std::vector<std::string>{"msg0", "msg1"}));
  f.session->Messages().OpenMessagesFrom("333");
  ASSERT_EQ(f.routes->Windows().size(), 3u);
  EXPECT_EQ(MessagesFixture::Plain(*f.routes->Windows().back()), "Dee (9:00)\r\nfirst\r\nDee (9:00)\r\nsecond\r\n");
  EXPECT_TRUE(f.session->Messages().Store().Senders().empty());

  // "Send Message" on an offline contact of a list shows it offline; named by
  // another window, the contact is shown with the status it came with.
  const TContact dee{"Dee", -1, "Offline", "", "", "333", "0"};
  f.session->RunContactCommand(TContactCommand::Message, dee, TContactListKind::Friends);
  f.session->RunContactCommand(TContactCommand::Message, dee);
  ASSERT_EQ(f.routes->Windows().size(), 5u);
  EXPECT_EQ(f.routes->Windows()[3]->Stat->Panel(1), "Current Status: Offline");
  EXPECT_EQ(f.routes->Windows()[4]->windowTitle().toStdString(), "333");
  EXPECT_EQ(f.routes->Windows()[4]->Stat->Panel(1), "Current Status: Available");

  bea.close();
  platform::ProcessMessagesUntil([&] { return f.routes->Windows().size() == 4; }, 3000);
  f.session->Settings.ShowMsg = true;
  f.Receive("111", "Bea", "back");
  ASSERT_EQ(f.routes->Windows().size(), 5u);
  EXPECT_EQ(MessagesFixture::Plain(*f.routes->Windows().back()), "Bea (9:00)\r\nback\r\n");
}

// What a conversation asks of its window, in order.
struct RecordingView : TMessageView {
  std::vector<std::string> calls;
  void ShowPeerText(const std::string& text) override { calls.push_back(text); }
  void PeerTextArrived() override { calls.push_back("told"); }
  void ShowOwnText(const std::string&) override {}
  void SetCaption(const std::string& caption) override { calls.push_back(caption); }
  void ShowStatus(const std::string& text, int image) override { calls.push_back(text + std::to_string(image)); }
  void ShowInformation(const std::string&, const std::string&) override {}
};

// A message is shown, the caption and status follow it, and only then is the
// user told.
TEST(Messages, ShownThenCaptionAndStatusThenTheUserIsTold) {
  MessagesFixture f;
  RecordingView view;
  TMessageConversation conversation(*f.session, view);
  conversation.SetPeer({"111", "Bea", "", ""});
  conversation.ShowIncomingMessage(*TRelayedMessage::Parse("111{$}Bea{$}1{$}5{$}a{$}1{$}9:00{$}hi"));
  EXPECT_EQ(view.calls, (std::vector<std::string>{"hi\r\n", "Bea - 111  Message", "Current Status: Offline4", "told"}));
}

}  // namespace
