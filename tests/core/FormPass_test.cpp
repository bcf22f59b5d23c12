#include "core/FormPass.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
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
      {"Escape", [](TFormPass& f) {
         QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
         QCoreApplication::sendEvent(&f, &esc);
       }, true, "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TFormPass form;
    form.SetRemember(true);
    form.SetPassword("old-pass");
    QTimer::singleShot(0, &form, [&] { c.act(form); });
    form.exec();
    EXPECT_EQ(form.Cancelled, c.cancelled);
    EXPECT_EQ(form.Password, c.password);
    EXPECT_EQ(form.Remember, c.remember);
  }
}

}  // namespace
