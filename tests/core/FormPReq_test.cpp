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

#include <memory>
#include <optional>

#include "Dialogs_helpers.h"
#include "common/Settle.h"
#include "core/DialogQuestion.h"
#include "platform/EventLoop.h"

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

// The dialog as the program puts it (ShowQuestion: nobody waits for it), run
// until it answers.
struct Asked {
  QPointer<TFormPReq> dialog;
  TQuestion question;
  std::optional<int> decision;
};

std::unique_ptr<Asked> Ask(QWidget* owner, const std::function<void(TFormPReq&)>& setup) {
  auto asked = std::make_unique<Asked>();
  auto* dialog = new TFormPReq(owner);
  asked->dialog = dialog;
  setup(*dialog);
  dialog->ShowRequestProfile(Record("x"));
  Asked* a = asked.get();
  asked->question = ShowQuestion(dialog, [a](QDialog* finished) {
    a->decision = finished != nullptr ? static_cast<TFormPReq*>(finished)->Decision : -1;
  });
  platform::ProcessMessagesUntil([a] { return a->decision.has_value(); }, 5000);
  return asked;
}

TEST(ChatRequest, UnansweredRequestRingsThenAnswersBusy) {
  DialogApp();
  int rings = 0;
  QElapsedTimer clock;
  clock.start();
  const auto result = Ask(nullptr, [&](TFormPReq& f) {
    f.PlayEventSound = [&](int event) {
      EXPECT_EQ(event, 2);
      ++rings;
    };
    f.SetTimerIntervals(300, 40);
  });
  EXPECT_EQ(result->decision, TFormPReq::DecisionBusy);
  EXPECT_GE(clock.elapsed(), 250);
  EXPECT_GE(rings, 3);  // once on show, then every ring interval

  // A period of no seconds leaves the request to the user.
  TFormPReq waiting;
  waiting.BusyTimer = 0;
  waiting.show();
  EXPECT_FALSE(waiting.TimerBusy->isActive());
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
    const auto result = Ask(nullptr, [&](TFormPReq& f) {
      f.BlockUser = [&](const std::string& id, const std::string& name) { blocked.push_back(id + "," + name); };
      TFormPReq* form = &f;
      WhenModal([form, &c] { c.press(*form); });
    });
    EXPECT_EQ(result->decision, c.decision);
    EXPECT_EQ(blocked.size(), std::string(c.what).rfind("block", 0) == 0 ? 1u : 0u);
    if (!blocked.empty()) {
      EXPECT_EQ(blocked[0], "10000007,<b>mallory</b>");
    }
    // The dialog frees itself once it has answered.
    EXPECT_TRUE(platform::ProcessMessagesUntil([&] { return result->dialog.isNull(); }, 1000));
  }
}

// A question whose owner goes away answers as a rejection would, rather than
// never; one that is withdrawn closes without an answer.
TEST(ChatRequest, OwnerGoingAwayRejectsAndAWithdrawnQuestionNeverAnswers) {
  DialogApp();
  auto* owner = new QWidget;
  const auto gone = Ask(owner, [owner](TFormPReq&) { WhenModal([owner] { delete owner; }); });
  EXPECT_EQ(gone->decision, -1);  // no dialog to read: the prompts answer DecisionReject

  bool answered = false;
  QPointer<TFormPReq> dialog = new TFormPReq;
  TQuestion question = ShowQuestion(dialog, [&answered](QDialog*) { answered = true; });
  question.reset();
  EXPECT_FALSE(dialog->isVisible());
  // The dialog goes, and going is no answer.
  EXPECT_TRUE(testing_support::Settle([&] { return dialog.isNull(); }, 1000));
  testing_support::Settle(50);
  EXPECT_FALSE(answered);
}

}  // namespace
