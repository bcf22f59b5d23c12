#include "core/session/ProfileManager.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <memory>

#include "Widgets_helpers.h"
#include "common/FailingDisk.h"
#include "core/FormProMan.h"
#include "core/session/DBStuff.h"
#include "core/session/Prompts.h"
#include "core/session/Registration.h"
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

// The manager keeps no copy: a registration that saves while it is open
// (the keep-alive's log-on with no id yet) is not written over by Apply, which
// takes in what the user changed, saves, and makes the chosen profile the
// active one. Closing without Apply leaves every change, new and deleted
// profiles too, to the next save.
TEST(ProfileManager, ChangesGoStraightIntoTheProfilesAndApplyOverwritesNothingElse) {
  ProfilesFixture f;
  f.DB().Profiles.Locate("Name", "Home");
  TProfileManager m(f.DB());
  EXPECT_EQ(m.Current(), "Home");
  m.SetField("FirstName", "Ann");
  // The registration edits the table's current row and saves it.
  TRegistration registration(f.DB(), {});
  TRegistrationInput in = registration.Begin();
  in.UserName = "registered";
  in.Country = "Wales";
  in.Pass1 = in.Pass2 = "secret1";
  TRegistrationProblem problem;
  ASSERT_EQ(registration.Register(in, problem), TRegistration::Outcome::Registered);
  // Meanwhile the table's cursor moved on; the manager still edits its own row.
  f.DB().Profiles.Locate("Name", "Work");
  m.SetField("LastName", "Lee");

  for (const std::string& typed : {std::string("abcde"), std::string(21, 'a')}) {
    const auto refused = m.Apply(typed, "Home");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->Caption, "Invalid User Name");
  }
  // A folder that refuses the file: Apply says so, the window stays, the
  // changes stay in memory and the active profile is as it was.
  const std::string unsaved = testing_support::WriteUnderFault(
      testing_support::DiskFault::ReadOnlyFolder, f.home.Home() / "Data", [&] {
        const auto p = m.Apply("Homeuser", "Work");
        return p ? p->Caption + "|" + f.session->Settings.CurrentProfile + "|" + m.Field("LastName") : "saved";
      });
  EXPECT_EQ(unsaved, "Profiles Not Saved|Home|Lee");
  EXPECT_FALSE(m.Apply("Homeuser", "Home"));
  TDBStuff stored(f.home.Home() / "Data");
  ASSERT_TRUE(stored.Profiles.Locate("Name", "Home"));
  EXPECT_EQ(stored.Profiles.FieldValue("UserName") + " " + stored.Profiles.FieldValue("Country") + " " +
                stored.Profiles.FieldValue("FirstName") + " " + stored.Profiles.FieldValue("LastName"),
            "registered Wales Ann Lee");
  ASSERT_TRUE(stored.Profiles.Locate("Name", "Work"));
  EXPECT_EQ(stored.Profiles.FieldValue("LastName"), "");
  EXPECT_EQ(f.session->Settings.UserName, "registered");

  // A second manager, closed without Apply: a new profile of a name already
  // used, a deletion and an edit stay in the table, not yet in the file.
  {
    TProfileManager cancelled(f.DB());
    EXPECT_EQ(cancelled.Create(""), TProfileManager::TCreate::Empty);
    EXPECT_EQ(cancelled.Create("Home"), TProfileManager::TCreate::Created);
    EXPECT_EQ(cancelled.Field("UserName"), "NewUser");
    cancelled.SetField("UserName", "second");
    cancelled.Select("Work");
    EXPECT_EQ(f.session->Settings.CurrentProfile, "Work");
    EXPECT_TRUE(cancelled.Delete());
    EXPECT_EQ(cancelled.Names(), (std::vector<std::string>{"Home", "Home"}));
    // Choosing by name finds the first of that name.
    cancelled.Select("Home");
    EXPECT_EQ(cancelled.Field("UserName"), "registered");
  }
  EXPECT_EQ(f.Stored(), (std::vector<std::string>{"Home:registered", "Work:Workuser"}));
  f.DB().SaveProfiles();
  EXPECT_EQ(f.Stored(), (std::vector<std::string>{"Home:registered", "Home:second"}));

  // The name still listed after its profile was deleted: the profile shown
  // stays the active one rather than one that no longer exists.
  TProfileManager last(f.DB());
  last.Select("Home");
  ASSERT_TRUE(last.Delete());
  EXPECT_EQ(last.Field("UserName"), "second");
  ASSERT_EQ(last.Create("Spare"), TProfileManager::TCreate::Created);
  ASSERT_TRUE(last.Delete());
  EXPECT_FALSE(last.Apply("second", "Spare"));
  EXPECT_EQ(f.Stored(), std::vector<std::string>{"Home:second"});
  EXPECT_EQ(f.session->Settings.CurrentProfile, "Home");
  EXPECT_EQ(f.session->Settings.UserName, "second");
  ASSERT_TRUE(last.Delete());
  EXPECT_FALSE(last.Delete());
  EXPECT_FALSE(last.Apply("second", "Home"));
  EXPECT_EQ(f.session->Settings.CurrentProfile, "");
}

// A character typed into a user name of 21 characters or more empties it:
// Ctrl+V too; Backspace, moving, Delete and a paste by the mouse do not.
// Delete takes the profile shown at once, the list keeps its names (also
// after a refused Apply), and closing without Apply leaves the file as it was.
TEST(FormProMan, OverLongUserNamesDeleteAndClosingWithoutApply) {
  ProfilesFixture f;
  f.DB().Profiles.Locate("Name", "Home");
  auto* form = new TFormProMan(*f.session);
  std::vector<std::string> shown;
  form->ShowMessage = [&](const std::string& text, const std::string&) { shown.push_back(text); };
  auto press = [form](int key, Qt::KeyboardModifiers held, const QString& text) {
    QKeyEvent e(QEvent::KeyPress, key, held, text);
    QApplication::sendEvent(form->EditUser, &e);
  };
  auto pasteByMouse = [form](const QString& text) {
    form->EditUser->setText(text);
    emit form->EditUser->textEdited(text);
  };
  pasteByMouse(QString(21, 'x'));
  EXPECT_EQ(form->Manager().Field("UserName"), std::string(21, 'x'));
  press(Qt::Key_Backspace, Qt::NoModifier, "\b");
  press(Qt::Key_Delete, Qt::NoModifier, "\x7f");
  press(Qt::Key_Left, Qt::NoModifier, "");
  press(Qt::Key_C, Qt::AltModifier, "c");
  EXPECT_TRUE(shown.empty());
  press(Qt::Key_V, Qt::ControlModifier, "\x16");
  EXPECT_EQ(shown, std::vector<std::string>{TProfileManager::kUserNameText});
  EXPECT_TRUE(form->EditUser->text().isEmpty());
  EXPECT_EQ(form->Manager().Field("UserName"), "");
  pasteByMouse(QString(22, 'x'));
  press(Qt::Key_Y, Qt::NoModifier, "y");
  EXPECT_EQ(shown.size(), 2u);
  EXPECT_TRUE(form->EditUser->text().isEmpty());

  const auto* note = form->findChild<QLabel*>("CharsetNote");
  form->MemoGreet->setPlainText(QString::fromUtf8("\xD0\x9F\xD1\x80\xD0\xB8"));
  EXPECT_TRUE(note->isVisibleTo(form) && note->text().endsWith(QString::fromUtf8("\xD0\x9F \xD1\x80 \xD0\xB8")));
  // A user name the wire cannot carry is refused at Apply, and never taken.
  const QString cyrillic = QString::fromUtf8("\xD0\x90\xD0\xBD\xD0\xBD\xD0\xB0 Petrova");
  pasteByMouse(cyrillic);
  EXPECT_EQ(form->Manager().Field("UserName"), "");
  EXPECT_TRUE(form->findChild<QLabel*>("NameNote")->isVisibleTo(form));
  EXPECT_FALSE(form->Button1Click());
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(platform::ShownQString(shown[2]),
            QString::fromUtf8("A user name cannot use these characters: \xD0\x90 \xD0\xBD \xD0\xB0. Please use Latin "
                              "letters (with or without accents), digits and common signs only."));

  shown.clear();
  form->SpeedButton1Click();
  EXPECT_EQ(form->Manager().Names(), std::vector<std::string>{"Work"});
  EXPECT_EQ(form->EditUser->text(), "Workuser");
  pasteByMouse("short");
  EXPECT_FALSE(form->Button1Click());
  EXPECT_EQ(form->ComboProfiles->count(), 2);
  form->SpeedButton1Click();
  EXPECT_TRUE(form->Manager().Names().empty());
  form->SpeedButton1Click();
  EXPECT_EQ(shown, (std::vector<std::string>{TProfileManager::kUserNameText, "No Profiles to delete!"}));
  form->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(f.Stored(), (std::vector<std::string>{"Home:Homeuser", "Work:Workuser"}));
  EXPECT_TRUE(f.DB().Profiles.IsEmpty());
}

}  // namespace
