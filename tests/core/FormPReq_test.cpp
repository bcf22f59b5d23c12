#include "core/FormPReq.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "Dialogs_helpers.h"

namespace {

using testing_support::DialogApp;
using testing_support::WhenModal;

std::string Record(const std::string& greeting) {
  // UserID, group, port, UserName, First, Last, Age, Dob, Gender, Country,
  // Hobbies, Description, HomeUrl, BizUrl, HomeEmail, BizEmail, Greeting,
  // BusyMsg, Banner, WebCam, status
  return "10000007||General||2960||<b>mallory</b>||Mal||Lory||33||1990||Female||Wales||knots||"
         "Sails$c ropes$r$nand knots||h||b||e||f||" + greeting + "||busy||Ahoy||No WebCam||0";
}

TEST(ChatRequest, RecordIsShownUnescapedAndAsPlainText) {
  DialogApp();
  TFormPReq form;
  form.ShowRequestProfile(Record("Hi there$r$nit is me"));
  EXPECT_EQ(form.windowTitle(), "Private Chat Request - 10000007");
  EXPECT_EQ(form.MemoG->toPlainText(), "Hi there\nit is me");
  EXPECT_EQ(form.MemoD->toPlainText(), "Sails, ropes\nand knots");
  // A name is never read as markup.
  EXPECT_EQ(form.LabelDescription->text(), "<b>mallory</b> Description:");
  EXPECT_EQ(form.LabelDescription->textFormat(), Qt::PlainText);
  // A short record leaves the missing fields empty.
  const auto shortOne = TChatRequestProfile::FromRecord("42||g||1||bob");
  EXPECT_EQ(shortOne.UserName, "bob");
  EXPECT_EQ(shortOne.Greeting, "");
}

TEST(ChatRequest, DecisionsBecomeRepliesOnlyWhileConnected) {
  struct Case {
    int decision;
    bool connected;
    bool accept;
    int reply;
    bool busyText, release;
  };
  const Case cases[] = {
      {0, true, true, 0, false, false},     {0, false, true, 0, false, false},
      {1, true, false, 1005, false, true},  {1, false, false, 0, false, true},
      {2, true, false, 1004, true, true},   {2, false, false, 0, false, true},
      {7, true, false, 0, false, false},    {-1, false, false, 0, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.decision) + (c.connected ? " connected" : " gone"));
    const auto a = TChatRequestAnswer::ForDecision(c.decision, c.connected);
    EXPECT_EQ(a.Accept, c.accept);
    EXPECT_EQ(a.ReplyCode, c.reply);
    EXPECT_EQ(a.SendBusyMessage, c.busyText);
    EXPECT_EQ(a.CloseAndRelease, c.release);
  }
}

TEST(ChatRequest, UnansweredRequestRingsThenAnswersBusy) {
  DialogApp();
  int rings = 0;
  QElapsedTimer clock;
  clock.start();
  const auto result = TFormPReq::Ask(nullptr, Record("x"), [&](TFormPReq& f) {
    f.PlayEventSound = [&](int event) {
      EXPECT_EQ(event, 2);
      ++rings;
    };
    f.SetTimerIntervals(300, 40);
  });
  EXPECT_EQ(result.Decision, TFormPReq::DecisionBusy);
  EXPECT_EQ(result.UserID, "10000007");
  EXPECT_GE(clock.elapsed(), 250);
  EXPECT_GE(rings, 3);  // once on show, then every ring interval
}

TEST(ChatRequest, ButtonsDecideAndBlockAlwaysRejects) {
  DialogApp();
  struct Case {
    const char* what;
    std::function<void(TFormPReq&)> press;
    int decision;
  };
  const Case cases[] = {
      {"accept", [](TFormPReq& f) { f.Button1->click(); }, 0},
      {"reject", [](TFormPReq& f) { f.Button2->click(); }, 1},
      {"busy", [](TFormPReq& f) { f.Button3->click(); }, 2},
      {"frame", [](TFormPReq& f) { f.close(); }, 1},
      {"block answered no", [](TFormPReq& f) { f.BlockButton->click(); }, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> blocked;
    const auto result = TFormPReq::Ask(nullptr, Record("x"), [&](TFormPReq& f) {
      f.BlockUser = [&](const std::string& id, const std::string& name) { blocked.push_back(id + "," + name); };
      TFormPReq* form = &f;
      WhenModal([form, &c] { c.press(*form); });
    });
    EXPECT_EQ(result.Decision, c.decision);
    EXPECT_EQ(blocked.size(), std::string(c.what).rfind("block", 0) == 0 ? 1u : 0u);
    if (!blocked.empty()) {
      EXPECT_EQ(blocked[0], "10000007,<b>mallory</b>");
    }
  }
}

TEST(ChatRequest, OwnerGoingAwayDuringTheDialogRejects) {
  DialogApp();
  auto* owner = new QWidget;
  const auto result = TFormPReq::Ask(owner, Record("x"), [&](TFormPReq&) { WhenModal([owner] { delete owner; }); });
  EXPECT_EQ(result.Decision, TFormPReq::DecisionReject);
  EXPECT_EQ(result.UserName, "<b>mallory</b>");
}

}  // namespace
