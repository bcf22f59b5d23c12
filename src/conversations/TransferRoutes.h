#pragma once

#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "conversations/TransferPrompts.h"

class QWidget;
class TFormFileIn;
class TFormFileOut;
class TPeerRequest;
class TSession;
struct TContactCall;

// Where transfers start: the sender's window on the contact commands "Send
// Files", "Send Image" and "Send Sound File", the receiver's on an offer the
// peer listener let through (1020). Made once, after the session, by the code
// that wires the program together; the transfer windows still open when it
// goes are closed with it.
class TTransferRoutes {
 public:
  // Without prompts of its own it asks through the program's dialogs (or,
  // under the test hooks, answers as the environment says).
  explicit TTransferRoutes(TSession& session, std::unique_ptr<TTransferPrompts> prompts = nullptr);
  ~TTransferRoutes();
  TTransferRoutes(const TTransferRoutes&) = delete;
  TTransferRoutes& operator=(const TTransferRoutes&) = delete;

  TSession& Session() { return session_; }
  TTransferPrompts& Prompts() { return *prompts_; }

  // A sending window for the contact, kind "binary", "image" or "sound", on
  // the contact's port as it stands (an empty one stays empty).
  TFormFileOut* SendFileToUser(const std::string& user, const std::string& ip, const std::string& port,
                               const std::string& kind);
  // Takes the offer's connection over and shows the offer. An offer that
  // cannot be taken (an unknown kind, a size that is no number or out of
  // bounds), or one from an address with many offers still unanswered, is
  // rejected without a window.
  TFormFileIn* HandleFileOffer(TPeerRequest& request);

 private:
  void SendFromContact(const TContactCall& call, const char* kind);
  void Keep(QWidget* window);

  TSession& session_;
  std::unique_ptr<TTransferPrompts> prompts_;
  std::vector<QPointer<QWidget>> windows_;
};
