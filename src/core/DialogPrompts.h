#pragma once

#include <QPointer>
#include <QWidget>

#include "core/session/Prompts.h"

class TFormProg;

// The session's questions as the program's real dialogs: message boxes, the
// password window, the registration window, the private-chat request dialog
// and the greeting editor, each owned by the main window once it exists; and
// the progress window with the wait cursor while a long operation runs. The
// questions about requests from other programs are not waited for.
class TDialogPrompts : public TPrompts {
 public:
  ~TDialogPrompts() override;
  void SetOwner(QWidget* owner) { owner_ = owner; }

  void ShowInformation(const std::string& text, const std::string& caption) override;
  void ShowError(const std::string& text, const std::string& caption) override;
  bool AskYesNo(const std::string& text, const std::string& caption, bool noIsDefault) override;
  bool AskPassword(TPasswordQuestion& question) override;
  bool AskRegistration(TDBStuff& db, TRegistrationHost host) override;
  TQuestion AskChatRequest(const TChatRequestQuestion& question, std::function<void(int decision)> answered) override;
  TQuestion AskYesNoLater(const std::string& text, const std::string& caption, int timeoutMs,
                          std::function<void(bool yes)> answered) override;
  bool AskGreeting(const std::string& userName, std::string& greeting) override;
  void OpenURL(const std::string& address, std::function<void(bool opened)> done) override;
  void ShowProgress(const std::string& caption, const std::string& text, int maximum) override;
  void SetProgress(int position) override;
  void HideProgress() override;
  void ShowBusyCursor(bool busy) override;

 private:
  QPointer<QWidget> owner_;
  QPointer<TFormProg> progress_;
  bool waitCursor_ = false;
};
