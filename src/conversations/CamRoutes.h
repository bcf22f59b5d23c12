#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TFormCam;
class TFormCamView;
class TParloSocket;
class TPeerRequest;
class TSession;
struct TContact;

// Where webcams start: the broadcast window from the menu, a view request
// (1030) or a broadcast offer (1037) that the peer listener let through, and
// the contact commands "Request to View Cam" and "Send Cam Broadcast". Made
// once, after the session, by the code that wires the program together.
//
// An offer the user sends admits the offered peer's view request without a
// question: that admission belongs to the peer's address and listen port,
// lasts GrantLifetimeMs, and is given only while a broadcast window is open.
class TCamRoutes {
 public:
  explicit TCamRoutes(TSession& session);
  ~TCamRoutes();
  TCamRoutes(const TCamRoutes&) = delete;
  TCamRoutes& operator=(const TCamRoutes&) = delete;

  // "Start Cam Broadcaster": the open broadcast window to the front, or a new
  // one. Null, with the user told why, when the camera is known not to work.
  TFormCam* ActionCamBroadcastExecute();
  void HandleCamViewRequest(TPeerRequest& request);
  void HandleCamOffer(TPeerRequest& request);
  // "View Cam?": a TFormCamDecide decision.
  int AskCamDecision(const std::string& user, bool chatOpen);
  // A viewer window connecting to user's cam at ip:port.
  TFormCamView* OpenCamViewer(const std::string& user, const std::string& ip, const std::string& port);
  // Offers the own cam to the listener at ip:port (1037 on a link of its
  // own) and admits that peer's view request. False, with nothing sent,
  // while no broadcast window is open.
  bool SendCamInvitation(const std::string& ip, const std::string& port);
  // Admits the next view request from that address and listen port without
  // a question, for GrantLifetimeMs.
  void GrantAdmission(const std::string& addr, const std::string& listenPort);
  // "Send Cam Broadcast" on a contact: the broadcast window, then the offer.
  void OfferCam(const TContact& contact);

  int GrantLifetimeMs = 120000;
  // The questions, asked modally; tests and the test hooks answer instead.
  std::function<int(const std::string& user, bool chatOpen)> AskDecision;
  std::function<bool(const std::string& question)> AskAllow;

  // Invitation links still open.
  int InvitationCount() const { return static_cast<int>(invitations_.size()); }

 private:
  struct TGrant {
    std::string addr, port;
    std::chrono::steady_clock::time_point until;
  };
  bool TakeGrant(const std::string& addr, const std::string& listenPort);
  void DropInvitation(TParloSocket& socket);

  TSession& session_;
  std::vector<TGrant> grants_;
  // Each offer's link lives until the peer closes it (after deciding).
  std::vector<std::unique_ptr<TParloSocket>> invitations_, closedInvitations_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
