#include "core/DialogPrompts.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "core/DialogLook.h"
#include "core/DialogQuestion.h"
#include "core/FormGreet.h"
#include "core/FormPReq.h"
#include "core/FormProg.h"
#include "core/FormPass.h"
#include "core/FormReg.h"
#include "platform/Charset.h"
#include "platform/DesktopPrompts.h"
#include "platform/QuestionBoxes.h"
#include "platform/UrlOpener.h"

using platform::ShownQString;

TDialogPrompts::~TDialogPrompts() {
  HideProgress();
  delete progress_.data();
}

void TDialogPrompts::ShowInformation(const std::string& text, const std::string& caption) {
  platform::RunMessageBox(QMessageBox::Information, ShownQString(caption), ShownQString(text), QMessageBox::Ok, owner_);
}

void TDialogPrompts::ShowError(const std::string& text, const std::string& caption) {
  platform::RunMessageBox(QMessageBox::Critical, ShownQString(caption), ShownQString(text), QMessageBox::Ok, owner_);
}

bool TDialogPrompts::AskYesNo(const std::string& text, const std::string& caption, bool noIsDefault) {
  return platform::RunMessageBox(QMessageBox::Question, ShownQString(caption), ShownQString(text),
                                 QMessageBox::Yes | QMessageBox::No, owner_,
                                 noIsDefault ? QMessageBox::No : QMessageBox::NoButton) == QMessageBox::Yes;
}

bool TDialogPrompts::AskPassword(TPasswordQuestion& question) {
  TFormPass prompt(owner_);
  prompt.SetPrompt(question.Prompt);
  prompt.SetRemember(question.Remember);
  prompt.SetCheckMode(question.CheckMode, question.Expected);
  prompt.SetPassword(question.Password);
  platform::CentreOn(&prompt, owner_);
  prompt.exec();
  if (prompt.Cancelled) return false;
  question.Password = prompt.Password;
  question.Remember = prompt.Remember;
  return true;
}

bool TDialogPrompts::AskRegistration(TDBStuff& db, TRegistrationHost host) {
  return TFormReg::Run(owner_, db, std::move(host));
}

TQuestion TDialogPrompts::AskChatRequest(const TChatRequestQuestion& question, std::function<void(int)> answered) {
  auto* dialog = new TFormPReq(owner_);
  dialog->BusyTimer = question.BusyTimer;
  dialog->PlayEventSound = question.PlayEventSound;
  dialog->BlockUser = question.BlockUser;
  dialog->ShowRequestProfile(question.Record);
  return ShowQuestion(dialog, [answered = std::move(answered)](QDialog* finished) {
    answered(finished != nullptr ? static_cast<TFormPReq*>(finished)->Decision : DecisionReject);
  });
}

TQuestion TDialogPrompts::AskYesNoLater(const std::string& text, const std::string& caption, int timeoutMs,
                                        std::function<void(bool)> answered) {
  auto* box = new QMessageBox(QMessageBox::Question, ShownQString(caption),
                              dialoglook::BreakableText(ShownQString(text)), QMessageBox::Yes | QMessageBox::No,
                              owner_);
  box->setDefaultButton(QMessageBox::No);
  QTimer::singleShot(timeoutMs, box, [box] { box->done(QMessageBox::No); });
  // The main window's all the same: closing the window it is about does not answer it.
  return ShowQuestion(
      box,
      [box, answered = std::move(answered)](QDialog* finished) {
        answered(finished != nullptr && box->clickedButton() == box->button(QMessageBox::Yes));
      },
      platform::QuestionWindow(owner_));
}

bool TDialogPrompts::AskGreeting(const std::string& userName, std::string& greeting) {
  QPointer<TFormGreet> greet = new TFormGreet(owner_);
  greet->UserName = userName;
  greet->SetGreeting(greeting);
  platform::CentreOn(greet, owner_);
  greet->exec();
  // The owner may have been closed while the editor was open.
  if (greet.isNull()) return false;
  const bool cancelled = greet->Cancelled;
  if (!cancelled) greeting = greet->Greeting;
  delete greet;
  return !cancelled;
}

void TDialogPrompts::OpenURL(const std::string& address, std::function<void(bool)> done) {
  platform::OpenUrl(address, std::move(done));
}

void TDialogPrompts::ShowProgress(const std::string& caption, const std::string& text, int maximum) {
  if (progress_.isNull()) progress_ = new TFormProg;
  progress_->Start(caption, text, maximum);
  if (!waitCursor_) QApplication::setOverrideCursor(Qt::WaitCursor);
  waitCursor_ = true;
}

void TDialogPrompts::SetProgress(int position) {
  if (progress_) progress_->SetPosition(position);
}

void TDialogPrompts::ShowBusyCursor(bool busy) {
  if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
  else QApplication::restoreOverrideCursor();
}

void TDialogPrompts::HideProgress() {
  if (progress_) progress_->hide();
  if (waitCursor_) QApplication::restoreOverrideCursor();
  waitCursor_ = false;
}
