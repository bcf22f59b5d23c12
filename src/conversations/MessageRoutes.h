#pragma once

#include <QPointer>
#include <string>
#include <vector>

#include "core/session/PeerBounds.h"

class TFormMsg;
class TSession;
struct TContactCall;
struct TRelayedMessage;

// Where message windows open: on the contact command "Send Message" (from a
// list, or from a window that names the contact), and for a relayed message
// whose sender has no window open. Made once, after the session, by the code
// that wires the program together; the windows still open when it goes are
// closed with it.
//
// Without a transcript control nothing is registered: the session keeps every
// relayed message waiting and announces it.
class TMessageRoutes {
 public:
  // Message windows open at once, beyond which relayed messages wait in the
  // alert instead of opening more.
  static constexpr int kMaxWindows = peerbounds::kMessageWindows;

  explicit TMessageRoutes(TSession& session);
  ~TMessageRoutes();
  TMessageRoutes(const TMessageRoutes&) = delete;
  TMessageRoutes& operator=(const TMessageRoutes&) = delete;

  // The message windows open now, oldest first.
  std::vector<TFormMsg*> Windows() const;
  // The oldest open window for the user, or null.
  TFormMsg* FindWindow(const std::string& userId) const;

  // A new window for the contact. From a list the caption names the user and
  // an offline contact shows as offline; named by a window, the caption is the
  // id and the status the contact's own.
  TFormMsg* OpenMessageWindow(const TContactCall& call);
  // The message into its sender's window, opened for it when none is.
  void ShowRelayedMessage(const TRelayedMessage& message);

 private:
  TFormMsg* NewWindow(const std::string& userId, const std::string& userName, const std::string& ip,
                      const std::string& port);

  TSession& session_;
  std::vector<QPointer<TFormMsg>> windows_;
};
