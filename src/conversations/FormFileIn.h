#pragma once

#include <memory>
#include <string>

#include "conversations/FileReceiver.h"
#include "conversations/FormTransfer.h"
#include "platform/Signal.h"

class TSession;
class TTransferPrompts;

// "Incoming Transfer Request": shows an offer, takes the user's answer and
// then the package; once it is unpacked, the open button shows the sender's
// folder, the picture, or plays the sound. Nothing received is ever run or
// handed to another program: only the folder goes to the file manager. An
// offer whose link ends before it is answered stays until the user answers
// it, and keeps its place among those that wait. The logic is TFileReceiver.
class TFormFileIn : public TFormTransfer {
 public:
  TFormFileIn(TSession& session, TTransferPrompts& prompts, std::unique_ptr<TParloSocket> socket, TFileOffer offer);

  // Shows the offer and asks the prompts whether they know the answer.
  void ShowOffer();

  TFileReceiver& Receiver() { return *receiver_; }

  QPushButton *ButAccept, *ButReject, *ButCancel, *ButOpen;
  void ButAcceptClick();
  void ButRejectClick();
  void ButCancelClick();
  void ButOpenClick();
  // The open button's caption for the kind of the offer.
  void SetOpenButton(TTransferKind kind);

  // TTransferView
  void StateChanged() override;

 private:
  void PlaySound(const std::string& file);

  TSession& session_;
  TTransferPrompts& prompts_;
  TFileReceiver* receiver_;
};

// Whether the file is a RIFF wave: the one kind of sound the program plays.
bool IsWaveFile(const std::string& file);
