#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/session/PeerBounds.h"
#include "core/session/Prompts.h"

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
// The offer's own link stays open until the peer closes it.
//
// The questions are not waited for. While one is open its request's link is
// held here, not at the listener; a view request whose caller hangs up takes
// its question with it, while an offer's question stays for the user (the
// offered cam is elsewhere, and the answer opens a viewer there) until a new
// offer needs its place; past the few questions that may be open at once
// (PeerBounds.h) a request is refused at once with 1032; and each question
// answers "no" by itself after QuestionMs.
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
  // "View Cam?" for an offer from `address` of a cam at `listenPort`:
  // `answered` hears a TFormCamDecide decision. Nothing, with nothing asked,
  // while as many offers wait for an answer as may: the offer is to be
  // refused at once. A friend's offer waits in places of its own.
  std::optional<TQuestion> AskCamDecision(const std::string& user, const std::string& address,
                                          const std::string& listenPort, bool chatOpen,
                                          std::function<void(int decision)> answered);
  // The link of the offer that `question` (from AskCamDecision) answers has
  // closed and the question stays: `withdraw` drops it when a newcomer needs
  // its place.
  static void QuestionLinkClosed(TQuestion& question, std::function<void()> withdraw);
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
  int QuestionMs = peerbounds::kCamQuestionMs;
  // The questions (see TQuestion); tests and the test hooks answer instead.
  std::function<TQuestion(const std::string& user, bool chatOpen, std::function<void(int)> answered)> AskDecision;
  std::function<TQuestion(const std::string& question, std::function<void(bool)> answered)> AskAllow;

  // Invitation links still open.
  int InvitationCount() const { return static_cast<int>(invitations_.size()); }
  // Requests whose question is open.
  int WaitingCount() const { return static_cast<int>(waiting_.size()); }

 private:
  struct TGrant {
    std::string addr, port;
    std::chrono::steady_clock::time_point until;
  };
  // A request held while its question is open.
  struct TWaiting {
    std::unique_ptr<TParloSocket> socket;
    TQuestion question;
    TWaitingPlaces::TPlace place;
  };
  bool TakeGrant(const std::string& addr, const std::string& listenPort);
  // A friend's cam: at the address and listen port the directory server last
  // gave for a friend.
  bool IsFriendsCam(const std::string& addr, const std::string& listenPort);
  // The offer's link is up: the CamInvite goes out; a failed connect closes it.
  static void CamSessionConnected(TParloSocket& socket, const std::string& offer, int error);
  static void CamError(TParloSocket& socket);
  void DropInvitation(TParloSocket& socket);
  void Admit(std::unique_ptr<TParloSocket> socket, const std::string& params, const std::string& user);
  TWaiting& Hold(std::unique_ptr<TParloSocket> socket, TWaitingPlaces::TPlace place, bool questionStays = false);
  bool Holds(const TWaiting* key) const;
  // The request's link, out of the waiting ones; null once it has gone.
  std::unique_ptr<TParloSocket> TakeWaiting(const TWaiting* key);
  // The question of the request held as `key`, unless it was answered at once.
  void KeepQuestion(const TWaiting* key, TQuestion question);
  void ViewerAnswered(const TWaiting* key, bool allowed, const std::string& params, const std::string& user);
  void OfferAnswered(const TWaiting* key, int decision, const std::string& user, const std::string& addr,
                     const std::string& port);

  TSession& session_;
  std::vector<TGrant> grants_;
  // Each offer's link lives until the peer closes it (after deciding).
  std::vector<std::unique_ptr<TParloSocket>> invitations_, closedInvitations_;
  std::vector<std::unique_ptr<TWaiting>> waiting_;
  TWaitingPlaces allowPlaces_{peerbounds::kAllowViewerQuestions, peerbounds::kAllowViewerQuestionsPerAddress};
  TWaitingPlaces offerPlaces_{peerbounds::kCamOfferQuestions, peerbounds::kCamOfferQuestionsPerAddress};
  TWaitingPlaces friendOfferPlaces_{peerbounds::kFriendCamOfferQuestions,
                                    peerbounds::kFriendCamOfferQuestionsPerAddress};
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
