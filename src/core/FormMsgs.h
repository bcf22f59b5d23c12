#pragma once

#include <QDialog>
#include <exception>
#include <functional>
#include <string>

#include "core/session/SavedMessages.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The saved-message window: pick or write the text sent to callers while the
// status is Away or Unavailable. Not modal; it frees itself when closed.
class TFormMsgs : public QDialog {
  Q_OBJECT

 public:
  // `store` is the session's "messages.msg", which outlives this window.
  TFormMsgs(platform::IniStore& store, QWidget* parent = nullptr);

  // Called on OK with the mode and the chosen text escaped, which becomes the
  // session's AwayText (mode 0) or UnavText (mode 1).
  std::function<void(int mode, const std::string& escapedText)> OnMessageChosen;
  // A failure box (the store could not be written); tests replace it.
  std::function<void(const std::string& text)> ShowError;

  int Mode = 0;             // 0 Away, 1 Unavailable
  std::string CurrentText;  // escaped, as the session keeps it

  void EditAwayMessages();
  void EditUnavailableMessages();

  QComboBox* ComboList;
  QPlainTextEdit* Memo;
  QLabel* Label3;  // the prompt above the list
  QPushButton *ButtonOK, *ButtonCancel, *ButtonNew;

  void ComboListChange();
  void NewClick();
  void OKClick();

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  void FillList(int kind);
  std::string ShownKey() const;
  void Failed(const std::exception& e);
  TSavedMessages messages_;
};
