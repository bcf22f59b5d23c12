#pragma once

#include <memory>
#include <string>

#include "conversations/FileSender.h"
#include "conversations/FormTransfer.h"

class TSession;
class TTransferPrompts;

// "File Transfer": the user types a description, chooses what to send (the
// kind decides: several files, one picture or one sound), and sends the
// package to the contact. The logic is TFileSender.
class TFormFileOut : public TFormTransfer {
 public:
  TFormFileOut(TSession& session, TTransferPrompts& prompts, std::unique_ptr<TParloSocket> socket);

  // "binary", "image" or "sound"; another word leaves the kind as it was.
  void SetTransferKind(const std::string& kind);
  // The peer, and the own name the offer carries; shows the window.
  void AttachSocket(const std::string& ownUserName, const std::string& user, const std::string& ip,
                    const std::string& port);

  TFileSender& Sender() { return *sender_; }

  QPushButton *ButtonAdd, *ButOpen, *ButCancel;
  void ButtonAddClick();
  void ButOpenClick();
  void ButCancelClick();

  // TTransferView
  void StateChanged() override;

 private:
  void SelectFiles();
  void SelectImage();
  void SelectSound();
  // One picture or one sound, packed under its own name.
  void SelectOne(TTransferKind kind);

  TSession& session_;
  TTransferPrompts& prompts_;
  TFileSender* sender_;
};
