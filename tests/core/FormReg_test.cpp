#include "core/FormReg.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "Dialogs_helpers.h"
#include "core/DialogPrompts.h"
#include "core/session/DBStuff.h"
#include "core/session/DirectoryLink.h"
#include "core/session/Reg.h"
#include "core/session/Session.h"
#include "platform/Charset.h"
#include "platform/TempHome.h"

namespace {

namespace fs = std::filesystem;

TRegistrationInput Good() {
  TRegistrationInput in;
  in.ProfileName = "Home";
  in.UserName = "walter";
  in.FirstName = "Walter";
  in.Description = "Likes chess\r\nand tea";
  in.Pass1 = in.Pass2 = "abc123";
  return in;
}

TEST(Registration, ValidationRefusesInOrderAndChecksWhatPastingGetsPast) {
  struct Case {
    const char* what;
    std::function<void(TRegistrationInput&)> change;
    const char* caption;  // "" = accepted
    const char* focus;
  };
  const Case cases[] = {
      {"good", [](auto&) {}, "", ""},
      {"password of 20", [](auto& in) { in.Pass1 = in.Pass2 = std::string(20, 'Z'); }, "", ""},
      {"password of 5", [](auto& in) { in.Pass1 = in.Pass2 = "abcde"; }, "Invalid Password", "Pass1"},
      {"password of 21", [](auto& in) { in.Pass1 = in.Pass2 = std::string(21, '1'); }, "Invalid Password", "Pass1"},
      // Pasted past the key filter: refused only when it would break the log-on frame.
      {"pasted symbol", [](auto& in) { in.Pass1 = in.Pass2 = "abc12!"; }, "", ""},
      {"8-bit letter", [](auto& in) { in.Pass1 = in.Pass2 = "abc\xe9" "12"; }, "", ""},
      {"pasted comma", [](auto& in) { in.Pass1 = in.Pass2 = "abc,12"; }, "Invalid Password", "Pass1"},
      {"pasted tab", [](auto& in) { in.Pass1 = in.Pass2 = "abc\t12"; }, "", ""},
      {"pasted >", [](auto& in) { in.Pass1 = in.Pass2 = "abc>12"; }, "Invalid Password", "Pass1"},
      {"mismatch", [](auto& in) { in.Pass2 = "abc124"; }, "Passwords Dont Match", "Pass1"},
      {"both bad: first rule wins", [](auto& in) { in.Pass1 = "x"; in.ProfileName = ""; }, "Invalid Password", "Pass1"},
      {"no profile name", [](auto& in) { in.ProfileName = ""; }, "No Profile Name", "ProfileName"},
      {"profile name with line break", [](auto& in) { in.ProfileName = "a\r\nb"; }, "Invalid Profile Name", "ProfileName"},
      {"user of 5", [](auto& in) { in.UserName = "abcde"; }, "Invalid User Name", "UserName"},
      {"user with separator", [](auto& in) { in.UserName = "ab||cdef"; }, "Invalid User Name", "UserName"},
      {"user with LF", [](auto& in) { in.UserName = "abc\ndef"; }, "Invalid User Name", "UserName"},
      {"user with comma is fine", [](auto& in) { in.UserName = "Smith, J"; }, "", ""},
      {"id of 8 digits", [](auto& in) { in.UseExistingAccount = true; in.ExistingID = "12345678"; }, "", ""},
      {"id of 7", [](auto& in) { in.UseExistingAccount = true; in.ExistingID = "1234567"; }, "Invalid User ID", "ID"},
      {"id of 8 letters", [](auto& in) { in.UseExistingAccount = true; in.ExistingID = "ABCDefgh"; }, "", ""},
      {"id of 9", [](auto& in) { in.UseExistingAccount = true; in.ExistingID = "123456789"; }, "Invalid User ID", "ID"},
      {"id with a comma", [](auto& in) { in.UseExistingAccount = true; in.ExistingID = "1234,678"; }, "Invalid User ID", "ID"},
      {"id with {$}", [](auto& in) { in.UseExistingAccount = true; in.ExistingID = "12{$}678"; }, "Invalid User ID", "ID"},
      // Stored as typed; the record for the wire leaves out what would break it.
      {"first name with >", [](auto& in) { in.FirstName = "a>b"; }, "", ""},
      {"description with {$}", [](auto& in) { in.Description = "a{$}b"; }, "", ""},
      {"profile name with ||", [](auto& in) { in.ProfileName = "a||b"; }, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto in = Good();
    c.change(in);
    const auto problem = TRegistration::Validate(in);
    if (std::string(c.caption).empty()) {
      EXPECT_FALSE(problem) << problem->Text;
    } else {
      ASSERT_TRUE(problem);
      EXPECT_EQ(problem->Caption, c.caption);
      EXPECT_EQ(problem->Focus, c.focus);
    }
  }
}

class RegistrationFlow : public ::testing::Test {
 protected:
  RegistrationFlow() {
    hooks.SetCurrentProfile = [this](const std::string& n) { currentProfile = n; };
    host.SetAccountPassword = [this](const std::string& p) { password = p; };
    host.SetUserID = [this](const std::string& id) { userId = id; };
  }
  fs::path Data() const { return home.Home() / "Data"; }
  testing_support::TempHome home;
  TDBStuffHooks hooks;
  TRegistrationHost host;
  std::string currentProfile, password, userId = "<none>";
};

TEST_F(RegistrationFlow, CancelOnFirstRunRemovesOnlyTheProfileItAdded) {
  {
    TDBStuff db(Data(), hooks);
    TRegistration reg(db, host);
    const auto shown = reg.Begin();
    EXPECT_EQ(shown.ProfileName, "New Profile");
    EXPECT_EQ(db.Profiles.RecordCount(), 1);
    reg.Cancel();
    EXPECT_EQ(db.Profiles.RecordCount(), 0);
  }
  {
    TDBStuff db(Data(), hooks);
    EXPECT_EQ(db.Profiles.RecordCount(), 0);  // nothing written at exit either
    db.NewProfile("Older");
    db.SaveProfiles();
  }
  TDBStuff db(Data(), hooks);
  TRegistration reg(db, host);
  EXPECT_EQ(reg.Begin().ProfileName, "Older");
  EXPECT_FALSE(reg.AddedProfile());
  reg.Cancel();
  EXPECT_EQ(db.ListProfileNames(), "Older");
  EXPECT_EQ(password, "");
}

TEST_F(RegistrationFlow, RegisterStoresProfileAndPasswordAndTheIdOnlyWhenGiven) {
  {
    TDBStuff db(Data(), hooks);
    TRegistration reg(db, host);
    reg.Begin();
    TRegistrationProblem problem;
    auto bad = Good();
    bad.Pass2 = "other1";
    EXPECT_EQ(reg.Register(bad, problem), TRegistration::Outcome::Refused);
    EXPECT_EQ(problem.Caption, "Passwords Dont Match");
    EXPECT_EQ(password, "");

    ASSERT_EQ(reg.Register(Good(), problem), TRegistration::Outcome::Registered);
    EXPECT_EQ(password, "abc123");
    EXPECT_EQ(userId, "<none>");  // a new account: the server hands out the id
    EXPECT_EQ(currentProfile, "Home");
    reg.Cancel();  // after success the profile is the user's: nothing deleted
    EXPECT_EQ(db.Profiles.RecordCount(), 1);
  }
  EXPECT_TRUE(TReg::ReadBool(TReg::SettingsSection, "RemUserPass", false));
  EXPECT_EQ(TReg::ReadString(TReg::SettingsSection, "UserPass", ""), "abc123");
  EXPECT_EQ(TReg::ReadString(TReg::SettingsSection, "UserID", "unset"), "unset");
  TDBStuff db(Data(), hooks);
  ASSERT_TRUE(db.Profiles.Locate("Name", "Home"));
  EXPECT_EQ(db.Profiles.FieldValue("UserName"), "walter");
  EXPECT_EQ(db.Profiles.FieldValue("Description"), "Likes chess\r\nand tea");
  EXPECT_EQ(db.Profiles.FieldValue("Greeting"), "Hello");  // defaults of a new profile kept
}

TEST_F(RegistrationFlow, WindowKeyFilterAndClosingByTheFrame) {
  testing_support::DialogApp();
  TDBStuff db(Data(), hooks);
  TFormReg form(db, host);
  std::vector<std::string> shown;
  form.show();
  EXPECT_EQ(db.Profiles.RecordCount(), 1);
  EXPECT_EQ(form.EditProfileName->text(), "New Profile");

  // What the fields cannot carry (not the euro sign) is named before it is
  // taken; a user name that cannot is refused before anything is kept.
  std::vector<std::string> texts;
  form.ShowMessage = [&](const std::string& text, const std::string& caption) {
    shown.push_back(caption);
    texts.push_back(text);
  };
  const auto* note = form.findChild<QLabel*>("CharsetNote");
  const auto* nameNote = form.findChildren<QLabel*>("NameNote").at(1);
  const QString ivan = QString::fromUtf8("\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD");
  const QString refusal = QString::fromUtf8(
      "A user name cannot use these characters: \xD0\x98 \xD0\xB2 \xD0\xB0 \xD0\xBD. Please use Latin letters (with "
      "or without accents), digits and common signs only.");
  form.EditUser->setText(ivan);
  form.EditPass1->setText("abc123");
  form.EditPass2->setText("abc123");
  form.MemoDesc->setPlainText(QString::fromUtf8("\xE2\x82\xAC \xE6\x97\xA5"));
  EXPECT_EQ(note->isVisibleTo(&form) ? note->text() : QString(),
            QString::fromUtf8("These characters cannot be sent and will arrive as \"?\": \xE6\x97\xA5"));
  EXPECT_EQ(nameNote->isVisibleTo(&form) ? nameNote->text() : QString(), refusal);
  const std::string before = db.Profiles.FieldValue("UserName");
  form.SpeedButton1Click();
  EXPECT_EQ(shown, std::vector<std::string>{"Invalid User Name"});
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(platform::ShownQString(texts[0]), refusal);
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(db.Profiles.FieldValue("UserName"), before);
  shown.clear();
  form.EditPass1->clear();
  form.EditPass2->clear();

  form.EditPass1->setText("abc");
  auto type = [](QWidget* w, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
  };
  type(form.EditPass1, Qt::Key_1, "1");
  EXPECT_EQ(form.EditPass1->text(), "abc1");
  type(form.EditPass1, Qt::Key_Exclam, "!");
  EXPECT_EQ(form.EditPass1->text(), "");
  EXPECT_EQ(shown, (std::vector<std::string>{"Invalid Character"}));

  form.close();
  EXPECT_TRUE(form.Cancelled);
  EXPECT_EQ(db.Profiles.RecordCount(), 0);
}

// The session's registration opens the real window through the dialog prompts
// and takes the password, and the id of an existing account, into its settings.
TEST_F(RegistrationFlow, SessionRegistrationFillsTheAccountFields) {
  testing_support::DialogApp();
  TDialogPrompts prompts;
  TSession session(prompts);
  // Whatever the registration connects to afterwards is nobody.
  session.Settings.ServerIP = "127.0.0.1";
  session.Settings.ServerPort = "1";
  int captions = 0, ends = 0;
  auto caption = session.IdentityChanged.Connect([&] { ++captions; });
  auto end = session.EndRequested.Connect([&] { ++ends; });
  auto fillAndRegister = [](bool existing) {
    return [existing] {
      auto* form = qobject_cast<TFormReg*>(QApplication::activeModalWidget());
      ASSERT_NE(form, nullptr);
      form->EditPass1->setText("secret7");
      form->EditPass2->setText("secret7");
      form->EditUser->setText("walter");
      form->CheckAccount->setChecked(existing);
      form->EditID->setText("10000042");
      form->SpeedButton1->click();
    };
  };
  testing_support::WhenModal(fillAndRegister(false));
  session.Link().ShowRegistration();
  EXPECT_EQ(session.Settings.UserPass, "secret7");
  EXPECT_TRUE(session.Settings.RemUserPass);
  EXPECT_FALSE(session.Settings.HasUserID);
  EXPECT_EQ(session.Caption(), "Parlo - Unregistered");

  testing_support::WhenModal(fillAndRegister(true));
  session.Link().ShowRegistration();
  EXPECT_TRUE(session.Settings.HasUserID);
  EXPECT_EQ(session.Settings.UserID, "10000042");
  EXPECT_EQ(session.Caption(), "Parlo - 10000042");
  EXPECT_EQ(captions, 1);
  EXPECT_EQ(TReg::ReadString(TReg::SettingsSection, "UserID", ""), "10000042");
  EXPECT_EQ(ends, 0);

  // Cancelled, the program ends.
  testing_support::WhenModal([] { QApplication::activeModalWidget()->close(); });
  session.Link().ShowRegistration();
  EXPECT_EQ(ends, 1);
  EXPECT_TRUE(session.Closing());
}

}  // namespace
