#include "core/FormPass.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <vector>

#include "Widgets_helpers.h"

namespace {

using Outcome = TPasswordCheck::Outcome;

TEST(PasswordCheck, TriesInEntryAndCheckMode) {
  struct Case {
    const char* name;
    bool checkMode;
    std::vector<std::string> typed;
    std::vector<Outcome> outcomes;
  };
  const std::vector<Case> cases = {
      {"entry mode takes anything, the empty text too", false, {""}, {Outcome::Accepted}},
      {"right at once", true, {"s3cret"}, {Outcome::Accepted}},
      {"two wrong, then right", true, {"a", "b", "s3cret"}, {Outcome::TryAgain, Outcome::TryAgain, Outcome::Accepted}},
      {"three wrong", true, {"a", "b", "c"}, {Outcome::TryAgain, Outcome::TryAgain, Outcome::GiveUp}},
      {"case matters", true, {"S3CRET"}, {Outcome::TryAgain}},
      {"no trimming", true, {"s3cret "}, {Outcome::TryAgain}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TPasswordCheck check(c.checkMode, "s3cret");
    for (size_t i = 0; i < c.typed.size(); ++i) EXPECT_EQ(check.Submit(c.typed[i]), c.outcomes[i]) << i;
  }
}

// A key pressed with the focus on `to`.
void Press(QWidget* to, int key) {
  to->setFocus();
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(to, &press);
}

// Escape cancels only from the form itself: a key a control passes on does
// nothing, and the prompt still open then takes "stayed" with OK.
TEST(FormPass, OkEnterAndEscapeSetTheResultFields) {
  testing_support::WidgetApp();
  struct Case {
    const char* name;
    std::function<void(TFormPass&)> act;
    bool cancelled;
    std::string password;
    bool remember;
  };
  const std::vector<Case> cases = {
      {"OK with a remembered password", [](TFormPass& f) { f.SpeedButton1Click(); }, false, "old-pass", true},
      {"Enter in the edit", [](TFormPass& f) {
         f.EditPass->setText("typed");
         QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
         QCoreApplication::sendEvent(f.EditPass, &enter);
       }, false, "typed", true},
      {"Cancel", [](TFormPass& f) { f.SpeedButton2Click(); }, true, "", false},
      {"Escape on the form", [](TFormPass& f) { Press(&f, Qt::Key_Escape); }, true, "", false},
      {"Enter on the check box, Escape in the edit", [](TFormPass& f) {
         Press(f.CheckRem, Qt::Key_Return);
         Press(f.EditPass, Qt::Key_Escape);
       }, false, "stayed", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TFormPass form;
    form.SetRemember(true);
    form.SetPassword("old-pass");
    QTimer::singleShot(0, &form, [&] {
      c.act(form);
      if (!form.isVisible()) return;
      form.EditPass->setText("stayed");
      form.SpeedButton1Click();
    });
    form.exec();
    EXPECT_EQ(form.Cancelled, c.cancelled);
    EXPECT_EQ(form.Password, c.password);
    EXPECT_EQ(form.Remember, c.remember);
  }
}

// One key press is one try, as one click on OK is: Enter in the edit used
// to count twice, so two wrong entries ended the program.
TEST(FormPass, EachEnterInTheEditIsOneTry) {
  testing_support::WidgetApp();
  TFormPass form;
  form.SetCheckMode(true, "s3cret");
  std::vector<std::string> boxes;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      boxes.push_back(box->text().toStdString());
      box->done(QMessageBox::Ok);
    }
  });
  answer.start(5);
  QTimer::singleShot(0, &form, [&] {
    for (int i = 0; i < 3 && form.isVisible(); ++i) {
      form.EditPass->setText("wrong");
      QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
      QCoreApplication::sendEvent(form.EditPass, &enter);
    }
  });
  form.exec();
  EXPECT_EQ(form.Tries(), 3);
  EXPECT_TRUE(form.Cancelled);
  const std::string again = "Incorrect Password, please try again...";
  EXPECT_EQ(boxes, (std::vector<std::string>{again, again,
                                             "So sorry, invalid password, you only get three tries......bye!"}));
}

// Both prompts and the box's caption show whole at the default font, in the
// dialog's fixed width.
TEST(FormPass, ShowsItsWholeText) {
  testing_support::WidgetApp();
  for (const char* prompt : {"Please enter the password to be used for your account...",
                             "Please enter your startup passowrd..."}) {
    SCOPED_TRACE(prompt);
    TFormPass form;
    form.SetPrompt(prompt);
    form.show();
    QCoreApplication::processEvents();
    EXPECT_GE(form.Label1->height(), form.Label1->heightForWidth(form.Label1->width()));
    EXPECT_GE(form.CheckRem->width(), form.CheckRem->sizeHint().width());
    EXPECT_EQ(form.width(), TFormPass::kWidth);
  }
}

}  // namespace
