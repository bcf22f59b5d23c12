// The webcam inside a private chat, with the chat's link stood in for by a
// recorder and the peer's broadcast by the scripted broadcaster.

#include "conversations/ChatCam.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <QApplication>
#include <QLabel>
#include <QStatusBar>
#include <QLayout>

#include "Cam_helpers.h"
#include "Conversations_helpers.h"
#include "conversations/CamRoutes.h"
#include "conversations/FormCam.h"
#include "conversations/FormCamDecide.h"
#include "conversations/FormCamView.h"
#include "conversations/FormPChat.h"
#include "conversations/PrivateChatRoutes.h"
#include "platform/Charset.h"
#include "platform/DesktopPrompts.h"
#include "core/session/Session.h"
#include "platform/EventLoop.h"
#include "platform/TempHome.h"
#include "transport/CommandCodes.h"
#include "common/Settle.h"

namespace {

// What the chat around the channel sees and sends.
struct Chat {
  bool connected = true;
  std::vector<std::pair<int, std::string>> sent;
  std::vector<std::string> statuses;
  int pictures = 0, disabled = 0;
  TChatProfile own;
  TChatCamHost Host() {
    TChatCamHost h;
    h.ChatConnected = [this] { return connected; };
    h.SendOnChat = [this](int code, const std::string& params) { sent.emplace_back(code, params); };
    h.PeerAddr = [] { return std::string("127.0.0.1"); };
    h.PeerUserName = [] { return std::string("Ann"); };
    h.PeerListenPort = [] { return std::string("2999"); };
    h.Status = [this](const std::string& s) { statuses.push_back(s); };
    h.Picture = [this](const QImage& p) { pictures += !p.isNull(); };
    h.DisableSendCam = [this] { ++disabled; };
    h.Own = [this] { return own; };
    return h;
  }
  bool Saw(const std::string& status) const {
    return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
  }
};

}  // namespace

// The peer's offer: declined with 1032 on the chat's link, or watched in the
// chat over a cam socket of its own (the viewer window is the end-to-end
// test's); a second offer while that socket is open opens nothing, and once
// it closed (here on 1038) the next offer opens another.
TEST(ChatCam, AnswersThePeersOfferThreeWays) {
  cam_test::TCamUser bea;
  bea.session->Settings.ListenIP = "127.0.0.1";
  int decision = TFormCamDecide::Reject;
  bool chatOffered = false;
  bea.routes->AskDecision = [&](const std::string& user, bool chatOpen, std::function<void(int)> answered) {
    EXPECT_EQ(user, "Ann");
    chatOffered = chatOpen;
    answered(decision);
    return TQuestion();
  };
  Chat chat;
  // The chat's own record names the viewer, whatever profile is current now.
  chat.own = TChatProfile::FromRecord("41000002||General||" + std::to_string(bea.port) + "||Bea");
  bea.session->Settings.UserName = "Cy";
  TChatCam cam(*bea.session, *bea.routes, chat.Host());

  cam.HandleCamOffer("Ann{$}1");
  EXPECT_TRUE(chatOffered);
  EXPECT_EQ(chat.sent, (std::vector<std::pair<int, std::string>>{{1032, ""}}));
  EXPECT_FALSE(cam.CamOpen());

  QTemporaryDir files;
  const std::string picture = files.filePath("p.jpg").toStdString();
  testing_support::WriteFile(picture, cam_test::SyntheticJpeg(9, 0));
  const std::string opening = R"([{"op": "expect", "code": 1030, "params": "41000002{$}Bea{$}127.0.0.1{$})" +
                              std::to_string(bea.port) +
                              R"("}, {"op": "send", "code": 1000}, {"op": "send", "code": 1031},
                                  {"op": "expect", "code": 1033}, )";
  decision = TFormCamDecide::InChat;
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    chat.statuses.clear();
    cam_test::TScriptedBroadcaster ann(opening + R"({"op": "picture", "file": ")" + picture +
                                       R"("}, {"op": "expect", "code": 1033}, {"op": "send", "code": 1038},
                                           {"op": "expect_close"}])");
    cam.HandleCamOffer("Ann{$}" + std::to_string(ann.Port()));
    ASSERT_TRUE(cam.CamOpen());
    TParloSocket* socket = cam.Receiver().Socket();
    cam.HandleCamOffer("Ann{$}" + std::to_string(ann.Port()));
    EXPECT_EQ(cam.Receiver().Socket(), socket);
    EXPECT_EQ(ann.Wait(), "PASSED");
    EXPECT_TRUE(platform::ProcessMessagesUntil([&] { return !cam.CamOpen(); }, 2000));
    EXPECT_EQ(chat.pictures, round);
    EXPECT_TRUE(chat.Saw("Waiting for images..."));
    EXPECT_EQ(chat.statuses.back(), "Cam is not turned on...");
  }
  EXPECT_EQ(chat.sent.size(), 1u);
}

// "View Cam?" is the user's: when the offer's link closes before the answer,
// in the main window or in a chat, the question stays, and its answer opens
// a viewer at the offering peer's address and the offered port.
TEST(ChatCam, OffersQuestionOutlivesItsLink) {
  cam_test::TCamUser bea;
  // A question withdrawn can no longer be answered.
  struct TAsked : TOpenQuestion {
    std::function<void(int)>* answer;
    explicit TAsked(std::function<void(int)>* a) : answer(a) {}
    ~TAsked() override { *answer = nullptr; }
  };
  std::function<void(int)> answer;
  bea.routes->AskDecision = [&](const std::string&, bool, std::function<void(int)> answered) {
    answer = std::move(answered);
    return TQuestion(std::make_unique<TAsked>(&answer));
  };
  // A picture smaller than the window's first size: the window fits it.
  QTemporaryDir files;
  const std::string small = files.filePath("small.jpg").toStdString();
  testing_support::WriteFile(small, cam_test::CameraJpeg(40, 30, 50, false));
  const std::string script = R"([{"op": "expect", "code": 1030}, {"op": "send", "code": 1031},
                                  {"op": "expect", "code": 1033}, {"op": "picture", "file": ")" +
                             small + R"("}, {"op": "expect", "code": 1033}, {"op": "sleep", "seconds": 0.3},
                                  {"op": "send", "code": 1038}, {"op": "expect_close"}])";
  auto shownSize = [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* view = qobject_cast<TFormCamView*>(w); view && view->StatusText().rfind("Last Image ", 0) == 0)
        return view->size() - QSize(0, view->Stat->height());
    return QSize();
  };
  for (const bool inChat : {false, true}) {
    SCOPED_TRACE(inChat ? "in a chat" : "on a link of its own");
    answer = nullptr;
    cam_test::TScriptedBroadcaster ann(script);
    const std::string offer = "Ann{$}" + std::to_string(ann.Port());
    Chat chat;
    TChatCam cam(*bea.session, *bea.routes, chat.Host());
    TParloSocket link;
    if (inChat) {
      cam.HandleCamOffer(offer);
      chat.connected = false;
      cam.CloseCam();
    } else {
      link.OnSessionConnected = [&](TCustomNetSocket*, int) { link.SendCommand(cmd::CamInvite, offer, ""); };
      link.ConnectTcp("127.0.0.1", std::to_string(bea.port));
      ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return answer != nullptr; }, 5000));
      link.Close();
      testing_support::Settle(300);
      EXPECT_EQ(bea.routes->WaitingCount(), 1);
    }
    ASSERT_TRUE(answer);
    const int informed = bea.prompts.informed;
    const std::function<void(int)> answering = answer;
    answering(TFormCamDecide::SeparateViewer);
    QSize shown;
    EXPECT_TRUE(platform::ProcessMessagesUntil([&] { return (shown = shownSize()).isValid(); }, 5000));
    EXPECT_EQ(shown, QSize(50, 40));
    EXPECT_EQ(ann.Wait(), "PASSED");
    EXPECT_TRUE(platform::ProcessMessagesUntil([&] { return bea.prompts.informed == informed + 1; }, 5000));
    EXPECT_EQ(bea.routes->WaitingCount(), 0);
    EXPECT_TRUE(chat.sent.empty());
  }
  // Until a new offer needs its place: then it is withdrawn, unanswered, and
  // the new one asked rather than declined.
  Chat left, next;
  TChatCam gone(*bea.session, *bea.routes, left.Host()), asking(*bea.session, *bea.routes, next.Host());
  gone.HandleCamOffer("Ann{$}2999");
  left.connected = false;
  gone.CloseCam();
  asking.HandleCamOffer("Ann{$}2999");
  EXPECT_TRUE(answer);
  EXPECT_TRUE(left.sent.empty() && next.sent.empty());
}

// Offering the own cam: nothing while the chat is not connected, and without
// a camera no offer at all; with one the broadcast
// window opens, 1037 goes over the chat's link, and the peer, known by its
// address and listen port, is let in without a question.
TEST(ChatCam, OffersTheOwnCamOnlyWithABroadcast) {
  cam_test::TCamUser bea;
  Chat chat;
  chat.own = TChatProfile::FromRecord("41000002||General||" + std::to_string(bea.port) + "||Bea");
  TChatCam cam(*bea.session, *bea.routes, chat.Host());

  chat.connected = false;
  cam.ActionSendCamExecute();
  EXPECT_EQ(TFormCam::Find(), nullptr);

  chat.connected = true;
  // Without a camera no offer; the command is disabled once both the
  // device and DirectX are known to be missing.
  bea.session->Settings.NoVideoDevice = true;
  cam.ActionSendCamExecute();
  EXPECT_EQ(chat.disabled, 0);
  bea.session->Settings.DirectXMissing = true;
  cam.ActionSendCamExecute();
  EXPECT_EQ(TFormCam::Find(), nullptr);
  EXPECT_TRUE(chat.sent.empty());
  EXPECT_EQ(chat.disabled, 1);

  bea.session->Settings.NoVideoDevice = bea.session->Settings.DirectXMissing = false;
  cam.ActionSendCamExecute();
  ASSERT_NE(TFormCam::Find(), nullptr);
  EXPECT_EQ(chat.sent, (std::vector<std::pair<int, std::string>>{{1037, "Bea{$}" + std::to_string(bea.port)}}));
  const auto reports = cam_test::RunViewers(bea.port, "[" + cam_test::Viewer("Ann", "stall", 1.0, "41000001", "2999") + "]");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].Count(1031), 1);
  EXPECT_EQ(bea.prompts.asked, 0);
}

// The chat window's own channel: the peer offers its cam over the chat's
// link, the question stands over the chat, the user watches in the chat, and
// the pictures show in ImgCam. The cam's status never moves the transcript's
// edge: a rewrap there would lose the reader's place.
TEST(ChatCam, ShowsThePeersCamInTheChatWindow) {
  cam_test::TCamUser bea;
  testing_support::TRecordingFactory transcripts;
  bea.session->Settings.AutoPChat = true;
  TPrivateChatRoutes chats(*bea.session);
  chats.SetCamRoutes(bea.routes.get());
  QWidget* askedAbout = nullptr;
  bea.routes->AskDecision = [&](const std::string&, bool chatOpen, std::function<void(int)> answered) {
    askedAbout = platform::QuestionWindow();
    answered(chatOpen ? TFormCamDecide::InChat : TFormCamDecide::Reject);
    return TQuestion();
  };
  QTemporaryDir files;
  const std::string picture = files.filePath("p.jpg").toStdString(), bad = files.filePath("bad.jpg").toStdString();
  testing_support::WriteFile(picture, cam_test::SyntheticJpeg(12, 0));
  testing_support::WriteFile(bad, std::string(3000, 'x'));
  cam_test::TScriptedBroadcaster ann(R"([{"op": "expect", "code": 1030}, {"op": "send", "code": 1031},
                                         {"op": "expect", "code": 1033}, {"op": "picture", "file": ")" +
                                     picture + R"("}, {"op": "expect", "code": 1033}, {"op": "picture", "file": ")" +
                                     bad + R"("}, {"op": "expect", "code": 1033},
                                         {"op": "expect_silence", "seconds": 1.0}])");
  testing_support::TScriptedPeer chat(testing_support::TScriptedPeer::Call, bea.port,
                                      R"([{"op": "expect", "code": 1000},
                                          {"op": "send", "code": 1001, "params": "41000009||General||2999||Ann"},
                                          {"op": "expect", "code": 1002}, {"op": "send", "code": 1003},
                                          {"op": "sleep", "seconds": 0.5},
                                          {"op": "send", "code": 1037, "params": "Ann{$})" +
                                          std::to_string(ann.Port()) + R"("},
                                          {"op": "expect_silence", "seconds": 2.5}])");
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return !chats.Windows().empty(); }, 5000));
  TFormPChat* window = chats.Windows().front();
  auto transcriptWidth = [window] {
    window->layout()->activate();
    return window->Memo->width();
  };
  const int width = transcriptWidth();
  QWidget elsewhere(nullptr, Qt::Window);  // where the user works as the offer comes
  elsewhere.show();
  elsewhere.activateWindow();
  // A picture that cannot be shown leaves the last one there.
  EXPECT_TRUE(platform::ProcessMessagesUntil(
      [&] { return platform::FromQString(window->StatCam->text()) == " Invalid Image"; }, 5000));
  EXPECT_FALSE(window->ImgCam->pixmap().isNull());
  EXPECT_EQ(askedAbout, window);
  EXPECT_EQ(transcriptWidth(), width);
  EXPECT_EQ(ann.Wait(), "PASSED");
  EXPECT_TRUE(window->Chat().Connected());
  // The broadcast's end takes the picture away; the chat goes on. The link's
  // state is told after its close, and stays on show.
  EXPECT_TRUE(window->ImgCam->pixmap().isNull());
  EXPECT_EQ(platform::FromQString(window->StatCam->text()), " Connection Closed...");
  EXPECT_EQ(transcriptWidth(), width);
  EXPECT_TRUE(chat.Passed()) << chat.Output();
}
