#include "core/session/ProfileManager.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <memory>

#include "Widgets_helpers.h"
#include "core/FormProMan.h"
#include "core/session/DBStuff.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"
#include "platform/Charset.h"
#include "platform/TempHome.h"

namespace {

struct ProfilesFixture {
  testing_support::TempHome home;
  TPrompts prompts;
  std::unique_ptr<TSession> session;

  ProfilesFixture() {
    testing_support::WidgetApp();
    session = std::make_unique<TSession>(prompts);
    for (const char* name : {"Home", "Work"}) {
      DB().NewProfile(name);
      DB().Profiles.Edit();
      DB().Profiles.SetFieldValue("UserName", std::string(name) + "user");
      DB().Profiles.Post();
    }
    DB().SaveProfiles();
    session->Settings.CurrentProfile = "Home";
  }
  TDBStuff& DB() { return session->DB(); }
  // Name:UserName of every stored profile, as a fresh load of the file sees them.
  std::vector<std::string> Stored() {
    TDBStuff fresh(home.Home() / "Data");
    std::vector<std::string> rows;
    for (fresh.Profiles.First(); !fresh.Profiles.Eof(); fresh.Profiles.Next())
      rows.push_back(fresh.Profiles.FieldValue("Name") + ":" + fresh.Profiles.FieldValue("UserName"));
    return rows;
  }
};

// Nothing the user does in the manager stays unless Apply passes its checks:
// Cancel drops edits, new and deleted profiles alike. A second profile of one
// name is made; choosing by name finds the first.
TEST(ProfileManager, CancelDropsEverythingAndApplyChecksFirst) {
  ProfilesFixture f;
  {
    TProfileManager cancelled(f.DB(), "Home");
    EXPECT_EQ(cancelled.Current(), "Home");
    cancelled.SetField("UserName", "changed");
    EXPECT_EQ(cancelled.Create("Play"), TProfileManager::TCreate::Created);
    cancelled.Select("Work");
    EXPECT_TRUE(cancelled.Delete());
    EXPECT_EQ(cancelled.Create("Home"), TProfileManager::TCreate::Created);
    cancelled.Select("Home");
    EXPECT_EQ(cancelled.Field("UserName"), "changed");
    EXPECT_EQ(cancelled.Names(), (std::vector<std::string>{"Home", "Play", "Home"}));
  }
  f.DB().Profiles.First();
  EXPECT_EQ(f.DB().ListProfileNames(), "Home\nWork");
  EXPECT_EQ(f.DB().ProfileField("Home", "UserName"), "Homeuser");

  TProfileManager m(f.DB(), "Work");
  EXPECT_EQ(m.Create(""), TProfileManager::TCreate::Empty);
  EXPECT_EQ(m.Names(), (std::vector<std::string>{"Home", "Work"}));
  struct Step {
    const char* field;
    std::string value;
    const char* refusal;  // "" accepted
  };
  const Step steps[] = {
      {"UserName", "abcde", "Invalid User Name"},
      {"UserName", std::string(21, 'a'), "Invalid User Name"},
      {"UserName", "abcdef", ""},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.value);
    m.Select("Work");
    m.SetField(step.field, step.value);
    // A field that could not travel as typed is kept as typed: only the
    // record built for the wire leaves it out.
    m.Select("Home");
    m.SetField("Hobbies", "chess||go");
    m.Select("Work");
    const auto problem = m.Apply();
    if (*step.refusal == '\0') {
      EXPECT_FALSE(problem);
    } else {
      ASSERT_TRUE(problem);
      EXPECT_EQ(problem->Caption, step.refusal);
      EXPECT_EQ(f.Stored(), (std::vector<std::string>{"Home:Homeuser", "Work:Workuser"}));
    }
  }
  EXPECT_EQ(f.DB().ProfileField("Home", "Hobbies"), "chessgo");
  ASSERT_TRUE(f.DB().Profiles.Locate("Name", "Home"));
  EXPECT_EQ(f.DB().Profiles.FieldValue("Hobbies"), "chess||go");
  EXPECT_EQ(f.Stored(), (std::vector<std::string>{"Home:Homeuser", "Work:abcdef"}));
  EXPECT_EQ(f.session->Settings.CurrentProfile, "Work");
  EXPECT_EQ(f.session->Settings.UserName, "abcdef");
}

// Delete takes the current profile at once; closing without Apply keeps them
// all. An over-long user name is emptied at the next character typed.
TEST(FormProMan, DeleteAndOverLongUserNamesAndClosingWithoutApplyKeepsTheProfiles) {
  ProfilesFixture f;
  auto* form = new TFormProMan(*f.session);
  std::vector<std::string> shown;
  form->ShowMessage = [&](const std::string& text, const std::string&) { shown.push_back(text); };
  auto type = [form](const QString& text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, text);
    QApplication::sendEvent(form->EditUser, &press);
  };
  form->EditUser->setText(QString(21, 'x'));
  type("\b");
  EXPECT_TRUE(shown.empty());
  type("y");
  EXPECT_EQ(shown, std::vector<std::string>{TProfileManager::kUserNameText});
  EXPECT_TRUE(form->EditUser->text().isEmpty());
  EXPECT_EQ(form->Manager().Field("UserName"), "");
  const auto* note = form->findChild<QLabel*>("CharsetNote");
  form->MemoGreet->setPlainText(QString::fromUtf8("\xD0\x9F\xD1\x80\xD0\xB8"));
  EXPECT_TRUE(note->isVisibleTo(form) && note->text().endsWith(QString::fromUtf8("\xD0\x9F \xD1\x80 \xD0\xB8")));
  // A user name the wire cannot carry is refused at Apply, and never taken.
  const QString cyrillic = QString::fromUtf8("\xD0\x90\xD0\xBD\xD0\xBD\xD0\xB0 Petrova");
  form->EditUser->setText(cyrillic);
  emit form->EditUser->textEdited(cyrillic);
  EXPECT_EQ(form->Manager().Field("UserName"), "");
  EXPECT_TRUE(form->findChild<QLabel*>("NameNote")->isVisibleTo(form));
  EXPECT_FALSE(form->Button1Click());
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(platform::ShownQString(shown[1]),
            QString::fromUtf8("A user name cannot use these characters: \xD0\x90 \xD0\xBD \xD0\xB0. Please use Latin "
                              "letters (with or without accents), digits and common signs only."));

  shown.clear();
  form->SpeedButton1Click();
  EXPECT_EQ(form->Manager().Names(), std::vector<std::string>{"Work"});
  form->SpeedButton1Click();
  EXPECT_TRUE(form->Manager().Names().empty());
  form->SpeedButton1Click();
  EXPECT_EQ(shown, std::vector<std::string>{"No Profiles to delete!"});
  form->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(f.Stored(), (std::vector<std::string>{"Home:Homeuser", "Work:Workuser"}));
}

}  // namespace
