#include "conversations/FormFileIn.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <cstring>

#include "conversations/FormImgView.h"
#include "conversations/TransferPrompts.h"
#include "core/DialogLook.h"
#include "core/session/ErrorLog.h"
#include "core/session/Paths.h"
#include "core/session/PeerBounds.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"
#include "platform/Charset.h"
#include "platform/DesktopPrompts.h"
#include "platform/DosFiles.h"
#include "platform/FileNames.h"
#include "platform/UrlOpener.h"
#include "transport/CmdParser.h"

bool IsWaveFile(const std::string& file) {
  platform::TOsFile in;
  char head[12] = {};
  if (!in.Open(file, platform::fmOpenRead) || in.Read(head, sizeof head) != sizeof head) return false;
  return std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0;
}

TFormFileIn::TFormFileIn(TSession& session, TTransferPrompts& prompts, std::unique_ptr<TParloSocket> socket,
                         TFileOffer offer)
    : TFormTransfer("FormFileIn", "Incoming Transfer Request"), session_(session), prompts_(prompts) {
  ButAccept = AddButton("Accept", [this] { ButAcceptClick(); });
  ButReject = AddButton("Reject", [this] { ButRejectClick(); });
  ButOpen = AddButton("Open", [this] { ButOpenClick(); });
  ButCancel = AddButton("Cancel", [this] { ButCancelClick(); });
  Memo->setReadOnly(true);
  const TPaths& paths = session.Paths();
  const TReceiveFolders folders{paths.FilesPath, paths.ImagesPath, paths.SoundsPath, paths.TmpFilesPath};
  receiver_ = &SetLink(std::make_unique<TFileReceiver>(*this, SessionTransferHost(session), std::move(socket),
                                                       std::move(offer), folders));
  // Asked as the package arrives, whatever window the user works in then.
  receiver_->AskOverwrite = [this](const std::string& name) {
    const platform::TQuestionsAbout about(this);
    return prompts_.AskOverwrite(name);
  };
  StateChanged();
}

void TFormFileIn::ShowOffer() {
  const TFileOffer& offer = receiver_->Offer();
  PUser->setText(dialoglook::PeerText(platform::ControlsMapped(offer.Sender), peerbounds::kShownName) +
                 platform::ToQString(" at IP: " + receiver_->PeerIp()));
  PFileName->setText(dialoglook::PeerText(platform::ControlsMapped(offer.PackageName), peerbounds::kShownName));
  PSize->setText(QString::number(offer.Size) + " bytes");
  Memo->setPlainText(dialoglook::MemoFromText(TCmdParser::UnescapeText(offer.Description)));
  SetOpenButton(receiver_->Kind());
  show();
  receiver_->Start();
  QPointer<TFormFileIn> self(this);
  prompts_.OfferShown(offer, [self](bool accept) {
    if (!self) return;
    if (accept)
      self->ButAcceptClick();
    else
      self->ButRejectClick();
  });
}

void TFormFileIn::StateChanged() {
  using S = TFileReceiver::TState;
  // An offer whose sender has gone stays until the user answers it.
  const bool offered = receiver_->State() == S::Offered;
  ButAccept->setEnabled(offered);
  ButReject->setEnabled(offered);
  ButOpen->setEnabled(receiver_->State() == S::Done);
  if (receiver_->State() == S::Done) ButCancel->setText("Close");
}

void TFormFileIn::SetOpenButton(TTransferKind kind) { ButOpen->setText(KindInfo(kind).OpenCaption); }

void TFormFileIn::ButAcceptClick() { receiver_->SendAuthorization(); }

void TFormFileIn::ButRejectClick() {
  if (receiver_->State() != TFileReceiver::TState::Offered) return;
  receiver_->Reject();
  close();
}

void TFormFileIn::ButCancelClick() { close(); }

void TFormFileIn::ButOpenClick() {
  const std::vector<std::string>& files = receiver_->Unpacked();
  switch (receiver_->Kind()) {
    case TTransferKind::Binary: {
      QPointer<TFormFileIn> self(this);
      platform::ShowFolder(receiver_->TargetFolder(), [self](const std::string& failure) {
        if (self && !failure.empty())
          self->session_.Prompts().ShowInformation("The folder " + ShownName(self->receiver_->TargetFolder()) +
                                                       " could not be opened: " + failure + ".",
                                                   "Open Folder");
      });
      break;
    }
    case TTransferKind::Image:
      if (!files.empty()) ShowPicture(files.back(),
                    platform::ControlsMapped(CutPeerText(receiver_->Offer().Sender, peerbounds::kShownName)));
      break;
    case TTransferKind::Sound:
      if (!files.empty()) PlaySound(files.back());
      break;
  }
}

// Only a wave goes to the sound layer; anything else that came as a sound
// stays where it is, for the user to look at.
void TFormFileIn::PlaySound(const std::string& file) {
  if (IsWaveFile(file)) {
    session_.Paths().PlaySoundFile(file);
    return;
  }
  session_.Prompts().ShowInformation("Only wave sounds can be played here. " +
                                         ShownName(platform::ExtractFileName(file)) + " was saved in " +
                                         ShownName(receiver_->TargetFolder()) + ".",
                                     "Play Sound");
}
