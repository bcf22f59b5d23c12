#pragma once

#include <functional>
#include <string>
#include <vector>

#include "conversations/TransferRecords.h"

class TPrompts;

// What a transfer asks the user. The program's dialogs answer; tests and the
// end-to-end hooks answer in their place.
class TTransferPrompts {
 public:
  virtual ~TTransferPrompts() = default;

  // Sending several files: the package's name, proposed in `name`. False
  // when cancelled.
  virtual bool AskPackageName(std::string& name) = 0;
  // Sending: the files to pack (8-bit names; one for an image or a sound).
  // False when cancelled.
  virtual bool ChooseFiles(TTransferKind kind, std::vector<std::string>& files) = 0;
  // Receiving: the offer is on the screen. `answer` takes a decision known
  // now or later; otherwise the user gives it with the window's buttons.
  virtual void OfferShown(const TFileOffer& offer, std::function<void(bool accept)> answer) = 0;
  // Receiving: an unpacked file would replace one of the same name.
  virtual bool AskOverwrite(const std::string& fileName) = 0;
};

// The program's own dialogs: an input box, the open dialogs and the
// session's question box.
class TTransferDialogs : public TTransferPrompts {
 public:
  explicit TTransferDialogs(TPrompts& prompts) : prompts_(prompts) {}

  bool AskPackageName(std::string& name) override;
  bool ChooseFiles(TTransferKind kind, std::vector<std::string>& files) override;
  void OfferShown(const TFileOffer&, std::function<void(bool)>) override {}
  bool AskOverwrite(const std::string& fileName) override;

 private:
  TPrompts& prompts_;
};
