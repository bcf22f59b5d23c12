#include "chatrooms/ChatRoomRoutes.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <memory>
#include <string>
#include <vector>

#include "chatrooms/FormChat.h"
#include "chatrooms/FormChatCli.h"
#include "chatrooms/FormChatInfo.h"
#include "chatrooms/FormChatRequest.h"
#include "common/Settle.h"
#include "Rooms_helpers.h"
#include "conversations/ChatPickers.h"
#include "conversations/Conversations_helpers.h"
#include "core/Loopback_helpers.h"
#include "core/Widgets_helpers.h"
#include "core/session/Prompts.h"
#include "core/session/Router.h"
#include "core/session/Session.h"
#include "platform/Charset.h"
#include "platform/EventLoop.h"
#include "platform/TempHome.h"

namespace {

using testing_support::TRecordingTranscriptWidget;

struct RecordingPrompts : TPrompts {
  std::vector<std::string> Told;
  void ShowInformation(const std::string& text, const std::string& caption) override {
    Told.push_back(caption + ": " + text);
  }
};

// A session listening for peers on a fresh home, with the rooms routed to
// windows whose transcripts record what is written.
struct Fixture {
  testing_support::TempHome home;
  RecordingPrompts prompts;
  testing_support::TRecordingFactory factory;
  std::unique_ptr<TSession> session;
  std::unique_ptr<TChatRoomRoutes> routes;
  std::vector<TFormChatRequest*> requests;

  Fixture() {
    testing_support::WidgetApp();
    session = std::make_unique<TSession>(prompts);
    session->CreateLocalStores();
    TSettings& s = session->Settings;
    s.UserID = "41000001";
    s.UserName = "Ann";
    s.ListenPort = std::to_string(testing_support::FreePort());
    s.ChatPort = std::to_string(testing_support::FreePort());
    session->StartListening();
    routes = std::make_unique<TChatRoomRoutes>(*session);
    routes->RequestShown = [this](TFormChatRequest& dialog) { requests.push_back(&dialog); };
  }
  ~Fixture() {
    routes.reset();
    session.reset();
  }
  void Invite(const std::string& name) {
    TContactCall call;
    call.Command = TContactCommand::InviteToChat;
    call.Contact = TContact{name, 0, "Available", "127.0.0.1", session->Settings.ListenPort, "52000002", "1"};
    session->Router().RunContactCommand(call);
  }
  static std::string Shown(TRoomWindow& w) { return static_cast<TRecordingTranscriptWidget*>(w.Memo)->Marked(); }
  static bool Shows(TRoomWindow& w, const std::string& part) {
    return platform::ProcessMessagesUntil([&] { return Shown(w).find(part) != std::string::npos; }, 5000);
  }
  static bool Says(QPlainTextEdit* memo, const std::string& line) {
    return platform::ProcessMessagesUntil(
        [&] { return memo->toPlainText().contains(platform::ToQString(line)); }, 5000);
  }
};

// The room's dialogs are about no window: they stand in the middle of the desktop.
bool OnDesktopCentre(const QWidget& dialog) {
  return (dialog.geometry().center() - dialog.screen()->availableGeometry().center()).manhattanLength() <= 2;
}

TFormChatInfo* InfoDialog() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "FormChatInfo" && w->isVisible()) return static_cast<TFormChatInfo*>(w);
  return nullptr;
}

// A user hosts a room through the set-up dialog, invites twice through the
// peer listener (its own, standing in for two contacts), both invitations are
// accepted and join; they talk with emoticons and links, the host plays a
// sound from the picker, removes one member and closes the room.
TEST(ChatRoomRoutes, HostsInvitesTalksAndRemoves) {
  Fixture f;
  f.routes->ActionHostChatExecute();
  TFormChatInfo* info = InfoDialog();
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(OnDesktopCentre(*info));
  // Both dialogs keep the size they were laid out with.
  EXPECT_EQ(info->minimumSize(), info->maximumSize());
  EXPECT_EQ(info->StatPort->text().toStdString(), f.session->Settings.ChatPort);
  info->ComboIP->setEditText("127.0.0.1");
  info->OkClick();
  EXPECT_EQ(f.prompts.Told, (std::vector<std::string>{"No Chat Name: You must provide a name for the chat you wish to host."}));
  // A name every member would see with "?" in it is refused, and no room opens.
  info->EditName->setText(QString::fromUtf8("\xD0\x9A\xD0\xBE\xD0\xBC Room 1"));
  info->OkClick();
  EXPECT_EQ(platform::ShownQString(f.prompts.Told.back()),
            QString::fromUtf8("Invalid Chat Name: A chat name cannot use these characters: \xD0\x9A \xD0\xBE \xD0\xBC. "
                              "Please use Latin letters (with or without accents), digits and common signs only."));
  EXPECT_EQ(f.routes->HostWindow(), nullptr);
  info->EditName->setText("Lobby");
  info->OkClick();
  TFormChat* host = f.routes->HostWindow();
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(host->ButtonFonts->text(), "Fonts    ");
  f.routes->ActionHostChatExecute();
  EXPECT_EQ(f.prompts.Told.back(),
            "Already Hosting: You can only host a single multi-chat at a time, you already have one open.");

  f.Invite("Bob");
  f.Invite("Cid");
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return f.requests.size() == 2; }, 5000));
  EXPECT_EQ(f.requests[0]->windowTitle().toStdString(), "Request to join chat: Lobby");
  EXPECT_TRUE(OnDesktopCentre(*f.requests[0]));
  EXPECT_EQ(f.requests[0]->minimumSize(), f.requests[0]->maximumSize());
  // Each joins as a user of its own: a room takes no id twice.
  const std::pair<const char*, const char*> users[] = {{"52000002", "Bob"}, {"63000003", "Cid"}};
  for (int i = 0; i < 2; ++i) {
    f.session->Settings.UserID = users[i].first;
    f.session->Settings.UserName = users[i].second;
    f.requests[static_cast<std::size_t>(i)]->AcceptClick();
    ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return host->Host().ClientCount() == i + 1; }, 5000));
  }
  f.session->Settings.UserID = "41000001";
  f.session->Settings.UserName = "Ann";
  // The invitation connections are gone once the invitee has read them.
  EXPECT_TRUE(platform::ProcessMessagesUntil([&] { return f.routes->Invitations().Pending() == 0; }, 5000));
  EXPECT_TRUE(f.Says(host->MemoSys, "Bob invited to chat..."));
  EXPECT_EQ(host->StatusText(2), "Client Count: 2");
  // Not available for rooms: the invitation is noted but not sent.
  f.session->Settings.ChatYes = false;
  f.Invite("Dee");
  EXPECT_EQ(f.routes->Invitations().Pending(), 0);
  EXPECT_TRUE(f.Says(host->MemoSys, "Dee invited to chat..."));
  f.session->Settings.ChatYes = true;
  const std::vector<TFormChatCli*> members = f.routes->MemberWindows();
  ASSERT_EQ(members.size(), 2u);
  // The first keys typed into a room go into its input.
  EXPECT_EQ(host->focusWidget(), host->MemoGo);
  for (TFormChatCli* m : members) {
    EXPECT_EQ(m->focusWidget(), m->MemoGo);
    ASSERT_TRUE(f.Shows(*m, "*Lobby (t)*\r\nWelcome to my chat"));
    // A member counts every row of its list, the host's and its own among them.
    EXPECT_TRUE(platform::ProcessMessagesUntil([&] { return m->StatusText(2) == "Client Count: 3"; }, 5000));
    EXPECT_EQ(m->windowTitle().toStdString(), "Multi-Chat: Lobby");
  }

  // A marker before a link leaves the link plain; one typed with a number
  // the table lacks is an empty picture.
  members[0]->MemoGo->setPlainText(";)~ see http://example.com/ $->99");
  members[0]->SendText();
  EXPECT_TRUE(members[0]->MemoGo->toPlainText().isEmpty());
  const std::string said = "*Bob (t)*\r\n{6} see http://example.com/ {}\r\n";
  EXPECT_TRUE(f.Shows(*host, said));
  EXPECT_TRUE(f.Shows(*members[1], said));
  EXPECT_TRUE(f.Shows(*members[0], said));
  host->MemoGo->setPlainText("links: http://example.com/ ok");
  host->SendText();
  for (TFormChatCli* m : members) EXPECT_TRUE(f.Shows(*m, "links: _http://example.com/_ ok"));

  // The picker takes the keys at once, and stays open for the next sound.
  host->ShowSounds();
  EXPECT_EQ(host->focusWidget(), host->PSound->TreeSounds);
  QTreeWidgetItem* node = host->PSound->SoundNode(5);
  ASSERT_NE(node, nullptr);
  emit host->PSound->TreeSounds->itemClicked(node, 0);
  EXPECT_TRUE(host->PSound->isVisible());
  for (TFormChatCli* m : members) EXPECT_TRUE(f.Says(m->MemoSys, "Ann sent a sound..."));

  // Bob goes, without a word from the host; his window keeps the list as
  // the room left it, and a text typed now is refused and stays in the input.
  for (int i = 0; i < host->ListC->topLevelItemCount(); ++i)
    host->ListC->topLevelItem(i)->setSelected(host->Host().Members().Rows()[static_cast<std::size_t>(i)].UserName == "Bob");
  host->ActionCloseClientExecute();
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return host->Host().ClientCount() == 1; }, 5000));
  TFormChatCli* bob = members[0];
  EXPECT_TRUE(f.Says(bob->MemoSys, "Connection to chat closed..."));
  EXPECT_TRUE(f.Says(members[1]->MemoSys, "Bob has left the chat"));
  EXPECT_EQ(bob->ListC->topLevelItemCount(), 3);
  EXPECT_EQ(bob->StatusText(2), "Client Count: 3");
  bob->MemoGo->setPlainText("anyone?");
  bob->SendText();
  EXPECT_EQ(bob->MemoGo->toPlainText(), "anyone?");
  EXPECT_EQ(f.prompts.Told.back(), "Connection Closed: The connection is either not established yet, or has been closed.");

  host->close();
  EXPECT_TRUE(testing_support::Settle([&] { return f.routes->HostWindow() == nullptr; }, 5000));
  for (TFormChatCli* m : f.routes->MemberWindows()) EXPECT_TRUE(f.Says(m->MemoSys, "Connection to chat closed..."));
}

// Members come and go a row at a time, the list kept in name order; what
// the list and the system lines show of a name is cut as a label cuts it,
// while the room relays the name whole.
TEST(ChatRoomRoutes, ShowsLongNamesCutAndRelaysThemWhole) {
  Fixture f;
  const std::string wide(65400, 'W'), port = f.session->Settings.ChatPort;
  auto* host = new TFormChat(*f.session, TChatRoomSetup{"41000001", "Ann", 0, "2960", "127.0.0.1", port, "Lobby", "Hi", 0});
  ASSERT_TRUE(host->StartListening());
  const std::string zed = "52000002{$}Zed{$}1{$}0{$}127.0.0.1{$}2961";
  const std::string wid = "63000003{$}" + wide + "{$}1{$}0{$}127.0.0.1{$}2962";
  auto step = [](int m, const std::string& op, int code = 0, const std::string& params = "") {
    return R"({"m": )" + std::to_string(m) + R"(, "op": ")" + op + R"(", "code": )" + std::to_string(code) +
           (params.empty() ? "" : R"(, "params": ")" + params + "\"") + "}";
  };
  // Each text the host shows, the list as it stands then.
  std::vector<std::vector<std::string>> lists;
  const platform::TConnection snapshot = host->Host().PeerTextShown.Connect([&](const std::string&, const std::string&) {
    lists.emplace_back();
    for (int i = 0; i < host->ListC->topLevelItemCount(); ++i)
      lists.back().push_back(platform::FromQString(host->ListC->topLevelItem(i)->text(0)));
  });
  testing_support::TRoomMembersScript members(std::stoi(port), {
      step(0, "connect"), step(0, "expect", 2000), step(0, "send", 2001, "52000002{$}Zed{$}2961{$}0"),
      step(0, "expect", 2006, zed), step(0, "expect", 2002),
      step(1, "connect"), step(1, "expect", 2000), step(1, "send", 2001, "63000003{$}" + wide + "{$}2962{$}0"),
      step(0, "expect", 2006, wid), step(1, "expect", 2006, wid), step(1, "expect", 2002),
      step(1, "send", 2007, "W{$}in"), step(0, "expect", 2010, wide + "{$}in"),
      step(1, "close"), step(0, "expect", 2008, wid), step(0, "send", 2007, "Zed{$}out"),
      step(0, "expect_silence")});
  ASSERT_TRUE(members.Passed()) << members.Output();
  const std::string shown = std::string(64, 'W') + "...";
  EXPECT_EQ(lists, (std::vector<std::vector<std::string>>{{"Ann", shown, "Zed"}, {"Ann", "Zed"}}));
  EXPECT_TRUE(f.Says(host->MemoSys, shown + " has joined the chat\n" + shown + " has left the chat"));
  delete host;
}

}  // namespace
