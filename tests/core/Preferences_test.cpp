#include "core/session/Preferences.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>
#include <memory>
#include <set>

#include "Widgets_helpers.h"
#include "core/FormPref.h"
#include "core/session/Prompts.h"
#include "core/session/Reg.h"
#include "core/session/Session.h"
#include "platform/TempHome.h"

namespace {

using testing_support::ReadFile;

struct YesPrompts : TPrompts {
  bool AskYesNo(const std::string&, const std::string&, bool) override { return true; }
};

// Contrast of two colours as the usual readability rules measure it (1 to 21).
double Contrast(const QColor& a, const QColor& b) {
  auto lum = [](const QColor& c) {
    auto ch = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * ch(c.redF()) + 0.7152 * ch(c.greenF()) + 0.0722 * ch(c.blueF()) + 0.05;
  };
  return std::max(lum(a), lum(b)) / std::min(lum(a), lum(b));
}

struct PrefsFixture {
  testing_support::TempHome home;
  YesPrompts prompts;
  std::unique_ptr<TSession> session;

  PrefsFixture() {
    testing_support::WidgetApp();
    session = std::make_unique<TSession>(prompts);
    session->LoadCurrentSelections();
    session->CreateLocalStores();
  }
};

// What the dialog read is written back only where the user changed it, and the
// session takes exactly those values: an account id that registration stored
// while the dialog was open, and the status chosen meanwhile, stay.
TEST(Preferences, ApplyWritesWhatChangedAndTheSessionTakesIt) {
  PrefsFixture f;
  TReg::WriteString(TReg::SettingsSection, "UserPass", "secret1");
  const TPreferenceValues shown = TPreferences::Read();
  EXPECT_EQ(shown.UserPass, "secret1");  // remembered by default
  EXPECT_TRUE(shown.WindowsStart);       // as stored, by default on, with no entry written yet

  TReg::WriteString(TReg::SettingsSection, "UserID", "12345678");
  f.session->SetUserID("12345678");
  f.session->Settings.StatusMode = 3;
  TReg::WriteInteger(TReg::SettingsSection, "StatusMode", 0);
  // Stored by someone else: the session reloads it with the rest.
  TReg::WriteString(TReg::SettingsSection, "ServerIP", "10.9.9.9");

  TPreferenceValues edited = shown;
  edited.BusyTimer = 45;
  edited.NoSound = true;
  edited.Sounds[2] = "none";
  edited.ServerPort = "9970";
  edited.RemUserPass = false;
  edited.UserPass = "";
  edited.ChatLimitCount = 5;
  edited.HideAppStart = true;
  edited.WindowsStart = false;
  EXPECT_TRUE(TPreferences::SavePreferences(*f.session, shown, edited).empty());

  TPreferenceValues stored = TPreferences::Read();
  EXPECT_EQ(stored.UserID, "12345678");
  EXPECT_EQ(stored.ServerIP, "10.9.9.9");
  stored.UserID = edited.UserID;
  stored.ServerIP = edited.ServerIP;
  EXPECT_EQ(stored, edited);
  EXPECT_EQ(TReg::ReadSettingString("UserPass"), "");
  const TSettings& live = f.session->Settings;
  EXPECT_EQ(live.BusyTimer, 45);
  EXPECT_EQ(live.ServerPort, "9970");
  EXPECT_FALSE(live.RemUserPass);
  EXPECT_EQ(live.UserPass, "");
  EXPECT_EQ(live.ChatLimitCount, 5);
  EXPECT_TRUE(live.HideAppStart);
  EXPECT_EQ(live.UserID, "12345678");
  EXPECT_EQ(live.ServerIP, "10.9.9.9");
  EXPECT_EQ(live.StatusMode, 3);
  EXPECT_TRUE(f.session->Paths().NoSound);
  EXPECT_EQ(f.session->Paths().EventSounds[2], "none");
  EXPECT_FALSE(std::filesystem::exists(f.home.Config() / "autostart"));

  // Starting with the desktop cannot be set up: said so, and the rest is saved.
  testing_support::WriteFile(f.home.Config() / "autostart", "not a folder");
  TPreferenceValues again = edited;
  again.WindowsStart = true;
  again.WaitTimer = 99;
  const auto problems = TPreferences::SavePreferences(*f.session, edited, again);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("Starting Parlo with the desktop"), std::string::npos);
  EXPECT_EQ(TReg::ReadSettingInteger("WaitTimer"), 99);
  EXPECT_TRUE(TReg::ReadSettingBool("WindowsStart"));
  EXPECT_NE(ReadFile(f.home.Home() / "errorlog.txt").find("Starting Parlo with the desktop"), std::string::npos);
}

TEST(Preferences, PasswordRuleAppliesOnlyToARememberedAccountPassword) {
  struct Case {
    const char* id;
    bool remember;
    std::string pass;
    bool ok;
  };
  const Case cases[] = {
      {"", true, "", true},
      {"12345678", false, "x", true},
      {"12345678", true, "abc12", false},
      {"12345678", true, "abc123", true},
      {"12345678", true, std::string(20, 'Z'), true},
      {"12345678", true, std::string(21, 'Z'), false},
      // Pasted past the key filter: what cannot break the log-on frame passes.
      {"12345678", true, "abc_1#3 !", true},
      {"12345678", true, "abc,123", false},
      {"12345678", true, "abc<123", true},
      {"12345678", true, "abc>123", false},
      {"12345678", true, "abc\t123", true},
      {"12345678", true, "abc\n123", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pass);
    TPreferenceValues v;
    v.UserID = c.id;
    v.RemUserPass = c.remember;
    v.UserPass = c.pass;
    const auto problem = TPreferences::Validate(v);
    EXPECT_EQ(!problem, c.ok);
    if (problem) {
      EXPECT_EQ(problem->Caption, "Invalid Password");
    }
  }
}

// The dialog on the session's blocked list: a removal goes by id at once and
// never drops a block added while the dialog was open; typed symbols are kept
// out of the password; an untouched dialog writes nothing back.
TEST(FormPref, RemovesBlocksByIdAndWritesBackOnlyEdits) {
  PrefsFixture f;
  for (const auto* name : {"ShowMsg", "MinMsg"}) TReg::WriteBool(TReg::SettingsSection, name, true);
  f.session->BlockUser("111", "Ann");
  f.session->BlockUser("222", "Bob");
  // The page shows the file as it is when the dialog opens.
  const auto blockedFile = f.home.Home() / "Data" / "blocked.parlo";
  testing_support::WriteFile(blockedFile, ReadFile(blockedFile) + "444,Dee\r\n");
  auto* form = new TFormPref(*f.session);
  std::vector<std::string> shown;
  form->ShowMessage = [&](const std::string& text, const std::string& caption) { shown.push_back(caption + ": " + text); };
  EXPECT_TRUE(form->CheckMinMsg->isChecked());
  EXPECT_TRUE(form->CheckMinMsg->isEnabled());
  EXPECT_FALSE(form->CheckAutoPChatOnly->isEnabled());
  ASSERT_EQ(form->ListBlocked->topLevelItemCount(), 3);

  f.session->BlockUser("333", "Cy");
  form->ListBlocked->setCurrentItem(form->ListBlocked->topLevelItem(0));
  form->SpeedBlockedClick();
  EXPECT_EQ(f.session->BlockedList.Text(), "222,Bob\r\n333,Cy\r\n");
  EXPECT_EQ(ReadFile(f.home.Home() / "Data" / "blocked.parlo"), "222,Bob\r\n333,Cy\r\n");
  // The page is the file as it was read, less the row removed.
  ASSERT_EQ(form->ListBlocked->topLevelItemCount(), 2);
  EXPECT_EQ(form->ListBlocked->topLevelItem(1)->text(0), "444");
  EXPECT_FALSE(form->SpeedBlocked->isEnabled());

  const struct {
    QString text;
    Qt::KeyboardModifiers modifiers;
  } keys[] = {{"a", Qt::NoModifier}, {"b", Qt::NoModifier}, {"#", Qt::NoModifier},
              {QString(QChar(22)), Qt::ControlModifier}, {"1", Qt::NoModifier}};
  for (const auto& k : keys) {
    QKeyEvent press(QEvent::KeyPress, 0, k.modifiers, k.text);
    QApplication::sendEvent(form->EditUserPass, &press);
  }
  EXPECT_EQ(form->EditUserPass->text(), "ab1");
  const std::string refused =
      "Invalid Character: Invalid character, password characters must be either letters or numbers.";
  EXPECT_EQ(shown, (std::vector<std::string>{refused, refused}));

  // Registration stores an id while the dialog is open; Apply keeps it.
  form->EditUserPass->setText("");
  TReg::WriteString(TReg::SettingsSection, "UserID", "87654321");
  form->UpDownBusy->setValue(30);
  EXPECT_TRUE(form->Button1Click());
  EXPECT_EQ(TReg::ReadSettingString("UserID"), "87654321");
  EXPECT_EQ(TReg::ReadSettingInteger("BusyTimer"), 30);
  EXPECT_EQ(f.session->Settings.BusyTimer, 30);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Greyed-out options stay readable: the clearest pixel of their drawn
// caption stands at least 3:1 against the panel behind it.
TEST(FormPref, DisabledOptionsStayReadable) {
  PrefsFixture f;
  auto* form = new TFormPref(*f.session);
  form->Tree->setCurrentItem(form->Tree->topLevelItem(3));  // Auto-Accept
  form->show();
  for (QCheckBox* option : {form->CheckAutoPChatOnly, form->CheckAutoOutCamOnly}) {
    ASSERT_FALSE(option->isEnabled());
    QStyleOptionButton look;
    look.initFrom(option);
    look.text = option->text();
    const QRect caption = option->style()->subElementRect(QStyle::SE_CheckBoxContents, &look, option);
    const QImage drawn = form->grab(caption.translated(option->mapTo(form, QPoint()))).toImage();
    double clearest = 1;
    for (int y = 0; y < drawn.height(); ++y)
      for (int x = 0; x < drawn.width(); ++x)
        clearest = std::max(clearest, Contrast(drawn.pixelColor(x, y), drawn.pixelColor(drawn.width() - 1, 0)));
    EXPECT_GE(clearest, 3.0);
  }
  delete form;
}

// Opened and closed again and again, the dialog leaves nothing behind: its
// widgets go, and every one of its windows draws with one shared palette, so
// the style's cached drawings are made once rather than once per window.
TEST(FormPref, OpenedAndClosedOftenLeavesNothingBehind) {
  PrefsFixture f;
  const auto before = QApplication::allWidgets().size();
  std::set<qint64> palettes;
  for (int i = 0; i < 30; ++i) {
    TFormPref* form = TFormPref::ActionPrefExecute(*f.session);
    QApplication::processEvents();
    for (const QWidget* w : {static_cast<QWidget*>(form), static_cast<QWidget*>(form->UpDownBusy)})
      palettes.insert(w->palette().cacheKey());
    form->Button2->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(QApplication::allWidgets().size(), before);
  }
  EXPECT_EQ(palettes.size(), 1u);
}

}  // namespace
