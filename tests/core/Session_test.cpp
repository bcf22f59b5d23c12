#include "core/session/Session.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "Loopback_helpers.h"
#include "Widgets_helpers.h"
#include "common/FailingDisk.h"
#include "core/session/DBStuff.h"
#include "core/session/PeerListener.h"
#include "core/session/ProgramVersion.h"
#include "core/session/Prompts.h"
#include "platform/EventLoop.h"
#include "platform/TempHome.h"
#include "transport/CmdParser.h"
#include "transport/ParloSocket.h"

namespace {

using testing_support::ReadFile;

// Answers every question as told and keeps what it was asked.
struct SessionPrompts : TPrompts {
  bool Yes = true;
  bool GreetingConnects = true;
  std::vector<std::string> Asked;

  bool AskYesNo(const std::string& text, const std::string& caption, bool) override {
    Asked.push_back(caption + ": " + text);
    return Yes;
  }
  bool AskGreeting(const std::string& userName, std::string& greeting) override {
    Asked.push_back("greeting for " + userName + ": " + greeting);
    greeting = "hello";
    return GreetingConnects;
  }
  void ShowBusyCursor(bool busy) override { Asked.push_back(busy ? "hourglass" : "cursor"); }
  void ShowError(const std::string& text, const std::string& caption) override {
    Asked.push_back(caption + ": " + text);
  }
};

struct SessionFixture {
  testing_support::TempHome home;
  SessionPrompts prompts;
  std::unique_ptr<TSession> session;
  std::vector<TContactCall> calls;

  SessionFixture() {
    testing_support::WidgetApp();
    session = std::make_unique<TSession>(prompts);
    session->CreateLocalStores();
  }
  std::string Log() { return ReadFile(home.Home() / "errorlog.txt"); }
};

const TContact kAnn{"Ann", 0, "Available", "10.0.0.1", "2960", "41000001", "1"};

// Each command on a contact reaches the handler registered for it with the
// contact and its list; one without a handler is logged as not there yet.
// The private chat asks for the greeting first and blocking is the session's own.
TEST(Session, ContactCommandsGoToTheirHandlers) {
  struct Case {
    const char* name;
    TContactCommand command;
    TContact contact;
    bool registered, greetingConnects, yes;
    int handled;
    std::vector<std::string> asked;
    const char* logged;  // "" nothing
  };
  TContact noPort = kAnn;
  noPort.ListenPort.clear();
  const std::vector<Case> cases = {
      {"message", TContactCommand::Message, kAnn, true, true, true, 1, {}, ""},
      {"file, nobody there", TContactCommand::SendFile, kAnn, false, true, true, 0, {}, "Send files: not available yet"},
      {"chat", TContactCommand::PrivateChat, kAnn, true, true, true, 1, {"greeting for Ann: "}, ""},
      {"chat, cancelled", TContactCommand::PrivateChat, kAnn, true, false, true, 0, {"greeting for Ann: "}, ""},
      {"chat without a port", TContactCommand::PrivateChat, noPort, true, true, true, 0, {}, ""},
      {"chat, nobody there", TContactCommand::PrivateChat, kAnn, false, true, true, 0, {"greeting for Ann: "},
       "Private chat: not available yet"},
      {"block, no", TContactCommand::Block, kAnn, true, true, false, 0,
       {"Confirm Block: Blocking this user will block all communications completely,\nare you sure you want to "
        "block Ann?"},
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SessionFixture f;
    f.prompts.GreetingConnects = c.greetingConnects;
    f.prompts.Yes = c.yes;
    if (c.registered)
      f.session->Router().SetContactHandler(c.command, [&f](const TContactCall& call) { f.calls.push_back(call); });
    f.session->RunContactCommand(c.command, c.contact, TContactListKind::Online);
    ASSERT_EQ(static_cast<int>(f.calls.size()), c.handled);
    if (c.handled > 0) {
      EXPECT_EQ(f.calls[0].Contact, c.contact);
      EXPECT_EQ(f.calls[0].List, TContactListKind::Online);
      EXPECT_EQ(f.calls[0].Greeting, c.command == TContactCommand::PrivateChat ? "hello" : "");
    }
    EXPECT_EQ(f.prompts.Asked, c.asked);
    if (*c.logged) {
      EXPECT_NE(f.Log().find(c.logged), std::string::npos);
    } else {
      EXPECT_EQ(f.Log().find("not available yet"), std::string::npos);
    }
    EXPECT_FALSE(f.session->IsUserBlocked("41000001{$}Ann"));
  }
  // Yes blocks, and the list is saved.
  SessionFixture f;
  f.session->RunContactCommand(TContactCommand::Block, kAnn);
  EXPECT_TRUE(f.session->IsUserBlocked("41000001{$}Ann"));
  EXPECT_EQ(ReadFile(f.home.Home() / "Data" / "blocked.parlo"), "41000001,Ann\r\n");
}

// A blocked-users list the disk refuses: the user is told, whether blocking
// (which holds until the program ends) or unblocking (which does not happen).
TEST(Session, ABlockedListThatCannotBeSavedIsTold) {
  for (const bool blocking : {true, false}) {
    SCOPED_TRACE(blocking ? "block" : "unblock");
    SessionFixture f;
    const auto file = f.home.Home() / "Data" / "blocked.parlo";
    if (!blocking) f.session->RunContactCommand(TContactCommand::Block, kAnn);
    const std::string before = std::filesystem::exists(file) ? ReadFile(file) : "(none)";
    f.prompts.Asked.clear();
    const std::string told =
        testing_support::WriteUnderFault(testing_support::DiskFault::ReadOnlyFolder, file.parent_path(), [&] {
          if (blocking) f.session->RunContactCommand(TContactCommand::Block, kAnn);
          else f.session->UnblockUser(kAnn.UserID);
          std::string seen = f.session->IsUserBlocked("41000001{$}Ann") ? "blocked|" : "free|";
          for (const std::string& asked : f.prompts.Asked) seen += asked + "|";
          return seen;
        });
    const std::string box = blocking ? "Blocked Users: The blocked-users list could not be saved, so the user is "
                                       "blocked only until Parlo closes.\r\n"
                                     : "Blocked Users: The blocked-users list could not be saved, so the user is "
                                       "still blocked.\r\n";
    EXPECT_EQ(told.rfind("blocked|", 0), 0u) << told;
    EXPECT_NE(told.find(box), std::string::npos) << told;
    EXPECT_EQ(std::filesystem::exists(file) ? ReadFile(file) : "(none)", before);
  }
}

// A page goes to the browser whatever its host; the user hears when no
// browser took it.
TEST(Session, PagesGoToTheBrowserAndAFailureIsTold) {
  struct PagePrompts : TPrompts {
    bool Opens = true;
    std::vector<std::string> Opened, Errors;
    void OpenURL(const std::string& address, std::function<void(bool)> done) override {
      Opened.push_back(address);
      done(Opens);
    }
    void ShowError(const std::string& text, const std::string& caption) override {
      Errors.push_back(caption + ": " + text.substr(0, text.find('\r')));
    }
  };
  struct Case {
    const char* name;
    std::function<void(TSession&)> act;
    bool opens;
    std::string opened;  // "" none
    const char* error;   // "" none
  };
  const std::string profiles = "http://127.0.0.1/cgi-bin/profiles.exe/user?";
  const std::vector<Case> cases = {
      {"own profile", [](TSession& s) { s.RunWindowCommand(TWindowCommand::ViewMyProfile); }, true,
       profiles + "12345678", ""},
      {"contact's profile", [](TSession& s) { s.RunContactCommand(TContactCommand::Profile, kAnn); }, true,
       profiles + "41000001", ""},
      {"no browser", [](TSession& s) { s.RunContactCommand(TContactCommand::Profile, kAnn); }, false,
       profiles + "41000001", "Page Not Opened: No web browser could be started for the page"},
      {"a peer's file link", [](TSession& s) { s.OpenURL("FILE:///usr/bin/xterm"); }, false, "FILE:///usr/bin/xterm",
       "Page Not Opened: Only web, ftp and mail addresses are opened, not this one:"},
      {"unknown host", [](TSession& s) { s.OpenURL("http://no-such-host.invalid/help/index.html"); }, true,
       "http://no-such-host.invalid/help/index.html", ""},
  };
  testing_support::WidgetApp();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::TempHome home;
    PagePrompts prompts;
    prompts.Opens = c.opens;
    TSession session(prompts);
    session.Settings.ServerIP = "127.0.0.1";
    session.Settings.UserID = "12345678";
    c.act(session);
    EXPECT_TRUE(platform::ProcessMessagesUntil(
        [&] { return !prompts.Errors.empty() || (!prompts.Opened.empty() && c.opens); }, 10000));
    EXPECT_EQ(prompts.Opened, c.opened.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.opened});
    EXPECT_EQ(prompts.Errors, *c.error ? std::vector<std::string>{c.error} : std::vector<std::string>{});
  }
  EXPECT_EQ(HelpPage(11), HomePage() + "/help/index.html");
  EXPECT_EQ(HelpPage(4), HomePage() + "/help/prefs.html");
}

using Caller = testing_support::TLoopbackCaller;

// The first command of an accepted connection reaches the handler registered
// for its code, which takes the connection over; an accepted private chat
// goes there after the answer policy; a code nobody handles is closed and logged.
TEST(Session, PeerRequestsReachTheHandlerThatAdoptsThem) {
  SessionFixture f;
  const std::string port = std::to_string(testing_support::FreePort());
  f.session->Settings.ListenPort = port;
  f.session->StartListening();
  ASSERT_EQ(f.session->Listener().State(), wsListening);
  f.session->Settings.AutoPChat = true;
  std::vector<std::unique_ptr<TParloSocket>> adopted;
  std::vector<std::string> seen;
  for (const int code : {1001, 1020}) {
    f.session->Router().SetPeerHandler(code, [&](TPeerRequest& r) {
      seen.push_back(std::to_string(r.Code()) + " " + r.Params());
      adopted.push_back(r.Adopt());
      adopted.back()->SendCommand(r.Code() == 1001 ? 1002 : 1021, "", "");
    });
  }
  struct Case {
    std::string frame;
    std::string reply;  // "" when the connection is closed instead
  };
  const std::vector<Case> cases = {
      {"  1001<41000001||Caller>\r\n", "1002<>"},
      {"  1020<Ann{$}pack.zip{$}10{$}binary>\r\n", "1021<>"},
      {"  1030<x>\r\n", ""},
  };
  std::vector<std::unique_ptr<Caller>> callers;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.frame);
    callers.push_back(std::make_unique<Caller>(port));
    Caller& caller = *callers.back();
    ASSERT_TRUE(caller.WaitLines(1));
    EXPECT_EQ(caller.lines[0], "1000<>");
    caller.socket.SendStr(c.frame);
    if (c.reply.empty()) {
      EXPECT_TRUE(caller.WaitClosed());
    } else {
      ASSERT_TRUE(caller.WaitLines(2));
      EXPECT_EQ(caller.lines[1], c.reply);
      EXPECT_FALSE(caller.closed);
    }
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"1001 41000001||Caller", "1020 Ann{$}pack.zip{$}10{$}binary"}));
  EXPECT_NE(f.Log().find("Peer request 1030: not available yet"), std::string::npos);
  EXPECT_TRUE(platform::ProcessMessagesUntil([&] { return f.session->Listener().LiveSockets() == 0; }, 3000));
}

// A port another program holds: the failed listen raises, so it is logged
// as such before the listener's own error entry, and the listener stays closed.
TEST(Session, AListenThatFailsIsLoggedAndLeavesTheListenerClosed) {
  SessionFixture f;
  const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(holder, 1), 0);
  socklen_t length = sizeof address;
  ::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
  f.session->Settings.ListenPort = std::to_string(ntohs(address.sin_port));
  f.session->StartListening();
  ::close(holder);
  EXPECT_NE(f.session->Listener().State(), wsListening);
  EXPECT_EQ(f.session->StatusText(), "Offline...");
  const std::string log = f.Log();
  const size_t starting = log.find("\r\n IP:  - Port: \r\nError Message: Starting Server Listen\r\n");
  const size_t server = log.find("\r\n IP:  - Port: \r\nError Message: Server Error 10048 : ");
  EXPECT_NE(starting, std::string::npos) << log;
  EXPECT_NE(server, std::string::npos) << log;
  EXPECT_LT(starting, server) << log;
}

// A friend is deleted only after a yes, with the history, from the store and
// from the list: the entry is found again by its id, also when the list was
// filled anew while the question was open.
TEST(Session, DeletingAFriendAsksAndFindsTheEntryAgainById) {
  // A friends refresh arrives while the question is open: Bob first, Ann after him.
  struct Refilling : SessionPrompts {
    TSession* session = nullptr;
    bool AskYesNo(const std::string& text, const std::string& caption, bool noIsDefault) override {
      session->Friends.Clear();
      session->Friends.Add({"Bob", 0, "Available", "10.0.0.2", "2960", "41000002", "1"});
      session->Friends.Add(kAnn);
      return SessionPrompts::AskYesNo(text, caption, noIsDefault);
    }
  };
  for (const bool yes : {false, true}) {
    SCOPED_TRACE(yes ? "yes" : "no");
    testing_support::TempHome home;
    testing_support::WidgetApp();
    Refilling prompts;
    prompts.Yes = yes;
    TSession session(prompts);
    prompts.session = &session;
    session.CreateLocalStores();
    session.DB().AddFriend("41000001", "Ann", "10.0.0.1", "2960");
    session.DB().AddFriend("41000002", "Bob", "10.0.0.2", "2960");
    session.DB().AddHistory("41000001", "Ann", "t", "hello");
    session.Friends.Add(kAnn);
    session.RunContactCommand(TContactCommand::DeleteFriend, kAnn, TContactListKind::Friends);
    std::vector<std::string> asked{"Confirm Delete: This will delete this friend from your list and all history, continue?"};
    if (yes) asked.insert(asked.end(), {"hourglass", "cursor"});
    EXPECT_EQ(prompts.Asked, asked);
    EXPECT_EQ(session.Friends.FindById("41000001") == 0, yes);
    EXPECT_NE(session.Friends.FindById("41000002"), 0u);
    EXPECT_EQ(session.DB().IsFriend("41000001"), !yes);
    session.DB().History.ClearFilter();
    EXPECT_EQ(session.DB().History.Locate("UserID", "41000001"), !yes);
    // The friends file follows at the next save: the end of the run here.
    EXPECT_NE(ReadFile(home.Home() / "Data" / "friends.cds").find("41000001"), std::string::npos);
    session.BeginExit();
    EXPECT_EQ(ReadFile(home.Home() / "Data" / "friends.cds").find("41000001") == std::string::npos, yes);
  }
}

}  // namespace
