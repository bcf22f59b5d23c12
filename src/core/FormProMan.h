#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <string>

#include "core/session/ProfileManager.h"

class QComboBox;
class QKeyEvent;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class TSession;

// "Parlo - Profile Manager": choose the active profile, create, delete and
// edit profiles. The edits go straight into the profiles (TProfileManager):
// Apply saves them, Cancel and the close box leave them to the next save.
class TFormProMan : public QWidget {
  Q_OBJECT

 public:
  // The open one to the front, or a new one (not modal; it frees itself when closed).
  static TFormProMan* ActionProManExecute(TSession& session);

  explicit TFormProMan(TSession& session, QWidget* parent = nullptr);

  // Message boxes and the name prompt; tests replace them.
  std::function<void(const std::string& text, const std::string& caption)> ShowMessage;
  std::function<bool(std::string& name)> AskName;

  QComboBox* ComboProfiles;
  QTabWidget* PageControl;
  QPushButton *Button1, *Button2, *Button3, *SpeedButton1, *SpeedButton2;
  QLineEdit *EditUser, *EditFirst, *EditLast, *EditGender, *EditAge, *EditDob, *EditCountry, *EditHobbies;
  QLineEdit *EditHMail, *EditBMail, *EditHurl, *EditBurl, *EditCam;
  QPlainTextEdit *MemoDesc, *MemoGreet, *MemoBusy, *MemoBanner;

  TProfileManager& Manager() { return manager_; }

  void ComboProfilesChange();
  void Button3Click();      // Create
  void SpeedButton1Click();  // Delete
  // Apply: false when a check refused it (the window stays).
  bool Button1Click();
  // A character typed (Backspace aside) into a user name that is over long
  // already empties it, with the message; true when the key is consumed.
  bool EditUserKeyPress(QKeyEvent* key);

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void FillProfiles(const std::string& chosen);
  void ShowProfile();
  void Bind(QLineEdit* edit, const char* field);
  void Bind(QPlainTextEdit* memo, const char* field);

  TSession& session_;
  TProfileManager manager_;
  std::map<std::string, QWidget*> edits_;  // field name -> its edit
  bool loading_ = false;
};
