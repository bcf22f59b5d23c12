#include "conversations/FormFileOut.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "conversations/TransferPrompts.h"
#include "core/DialogLook.h"
#include "core/session/ErrorLog.h"
#include "core/session/Paths.h"
#include "core/session/PeerBounds.h"
#include "core/session/Session.h"
#include "platform/Charset.h"
#include "platform/DesktopPrompts.h"
#include "platform/FileNames.h"

TFormFileOut::TFormFileOut(TSession& session, TTransferPrompts& prompts, std::unique_ptr<TParloSocket> socket)
    : TFormTransfer("FormFileOut", "File Transfer"), session_(session), prompts_(prompts) {
  ButtonAdd = AddButton("Select Files", [this] { ButtonAddClick(); });
  ButOpen = AddButton("Send", [this] { ButOpenClick(); });
  ButCancel = AddButton("Cancel", [this] { ButCancelClick(); });
  AddDescriptionNote();
  sender_ = &SetLink(std::make_unique<TFileSender>(*this, SessionTransferHost(session), std::move(socket),
                                                   session.Paths().TmpFilesPath));
  // The description goes as it reads when the other side greets: the user
  // may type until then.
  sender_->ReadDescription = [this] { return dialoglook::TextFromMemo(Memo->toPlainText()); };
  StateChanged();
}

void TFormFileOut::SetTransferKind(const std::string& kind) {
  if (const auto k = KindFromWord(kind)) sender_->SetTransferKind(*k);
}

void TFormFileOut::AttachSocket(const std::string& ownUserName, const std::string& user, const std::string& ip,
                                const std::string& port) {
  sender_->SetPeer(ownUserName, user, ip, port);
  PUser->setText(dialoglook::PeerText(user, peerbounds::kShownName) + platform::ToQString(" at IP: " + ip));
  show();
}

void TFormFileOut::StateChanged() {
  using S = TFileSender::TState;
  const S state = sender_->State();
  ButtonAdd->setText(KindInfo(sender_->Kind()).SelectCaption);
  ButtonAdd->setEnabled(state == S::Choosing && !sender_->Busy() &&
                        sender_->Outcome() == TTransferLink::TOutcome::Pending);
  ButOpen->setEnabled(state == S::Packed);
  if (state == S::Packed) {
    PFileName->setText(platform::ToQString(sender_->PackageName()));
    PSize->setText(QString::number(sender_->TotalSize()) + " bytes");
  }
  if (state == S::Done) ButCancel->setText("Close");
}

void TFormFileOut::ButtonAddClick() {
  // The name and the file choice are about this window, whichever has the focus.
  const platform::TQuestionsAbout about(this);
  switch (sender_->Kind()) {
    case TTransferKind::Binary:
      SelectFiles();
      break;
    case TTransferKind::Image:
      SelectImage();
      break;
    case TTransferKind::Sound:
      SelectSound();
      break;
  }
}

void TFormFileOut::SelectFiles() {
  std::string name = sender_->ProposedPackageName();
  if (!prompts_.AskPackageName(name) || name.empty()) return;
  std::vector<std::string> files;
  if (!prompts_.ChooseFiles(TTransferKind::Binary, files)) return;
  sender_->CompressPackage(files, name);
}

void TFormFileOut::SelectImage() { SelectOne(TTransferKind::Image); }

void TFormFileOut::SelectSound() { SelectOne(TTransferKind::Sound); }

void TFormFileOut::SelectOne(TTransferKind kind) {
  std::vector<std::string> files;
  if (!prompts_.ChooseFiles(kind, files) || files.empty()) return;
  files.resize(1);
  sender_->CompressPackage(files, files.front());
}

void TFormFileOut::ButOpenClick() { sender_->Send(); }

void TFormFileOut::ButCancelClick() { close(); }
