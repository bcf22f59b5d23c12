#include "conversations/CamRoutes.h"

#include <QApplication>
#include <QPointer>
#include <algorithm>

#include "conversations/CamProtocol.h"
#include "conversations/FormCam.h"
#include "conversations/FormCamDecide.h"
#include "conversations/FormCamView.h"
#include "core/OpenForms.h"
#include "core/session/DBStuff.h"
#include "core/session/ErrorLog.h"
#include "core/session/PeerListener.h"
#include "core/session/Prompts.h"
#include "core/session/Router.h"
#include "core/session/Session.h"
#include "core/session/TestHooks.h"
#include "platform/DesktopPrompts.h"
#include "transport/CommandCodes.h"

namespace {

void Refuse(TParloSocket& socket, int code) {
  socket.SendCommand(code, "", "");
  socket.Close();
}

// Closes a held link; the object goes once the current event is over (it
// may be that link's own).
void LetGo(std::unique_ptr<TParloSocket> socket) {
  socket->DropHandlers();
  socket->Close();
  socket.release()->Release();
}

std::string Shown(const std::string& user) { return CutPeerText(user, peerbounds::kShownName); }

// A question with the place it holds: the place is free again once the
// question is answered or withdrawn.
class TPlacedQuestion final : public TOpenQuestion {
 public:
  TPlacedQuestion(TQuestion question, std::shared_ptr<TWaitingPlaces::TPlace> place)
      : question_(std::move(question)), place_(std::move(place)) {}
  ~TPlacedQuestion() override {
    question_.reset();
    *place_ = {};
  }
  void LinkClosed(std::function<void()> withdraw) { place_->LinkClosed(std::move(withdraw)); }

 private:
  TQuestion question_;
  std::shared_ptr<TWaitingPlaces::TPlace> place_;
};

}  // namespace

TCamRoutes::TCamRoutes(TSession& session) : session_(session) {
  QuestionMs = testhooks::IntervalMs("PARLO_TEST_CAM_QUESTION_MS", peerbounds::kCamQuestionMs);
  AskDecision = [this](const std::string& user, bool chatOpen, std::function<void(int)> answered) {
    return TFormCamDecide::Open(user, chatOpen, QuestionMs, std::move(answered));
  };
  AskAllow = [this, &session](const std::string& question, std::function<void(bool)> answered) {
    const platform::TQuestionsAbout about(TFormCam::Find());
    return session.Prompts().AskYesNoLater(question, "Allow Viewer?", QuestionMs, std::move(answered));
  };
  TRouter& router = session.Router();
  router.SetPeerHandler(cmd::CamViewRequest, [this](TPeerRequest& r) { HandleCamViewRequest(r); });
  router.SetPeerHandler(cmd::CamInvite, [this](TPeerRequest& r) { HandleCamOffer(r); });
  router.SetContactHandler(TContactCommand::CamView, [this](const TContactCall& call) {
    OpenCamViewer(call.Contact.UserName, call.Contact.ListenIP, call.Contact.ListenPort);
  });
  router.SetContactHandler(TContactCommand::CamBroadcast, [this](const TContactCall& call) { OfferCam(call.Contact); });
  router.SetWindowHandler(TWindowCommand::CamBroadcaster, [this] { ActionCamBroadcastExecute(); });
}

TCamRoutes::~TCamRoutes() {
  *alive_ = false;
  TRouter& router = session_.Router();
  router.SetPeerHandler(cmd::CamViewRequest, nullptr);
  router.SetPeerHandler(cmd::CamInvite, nullptr);
  router.SetContactHandler(TContactCommand::CamView, nullptr);
  router.SetContactHandler(TContactCommand::CamBroadcast, nullptr);
  router.SetWindowHandler(TWindowCommand::CamBroadcaster, nullptr);
  for (auto& s : invitations_) {
    s->OnSessionConnected = nullptr;
    s->OnChangeState = nullptr;
    s->OnError = nullptr;
    s->Abort();
  }
  for (auto& w : waiting_) {
    w->question.reset();
    if (!w->socket) continue;
    w->socket->DropHandlers();
    w->socket->Abort();
  }
  // A cam window the user did not close (the program ends) goes now, while
  // the session it reads is still there.
  std::vector<QPointer<QWidget>> open;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "FormCam" || w->objectName() == "FormCamView") open.emplace_back(w);
  for (const QPointer<QWidget>& w : open) delete w.data();
}

// ----- the broadcast window ---------------------------------------------------------

TFormCam* TCamRoutes::ActionCamBroadcastExecute() {
  TPrompts& prompts = session_.Prompts();
  if (session_.Settings.DirectXMissing) {
    prompts.ShowInformation(cam::kDirectXText, cam::kDirectXCaption);
    return nullptr;
  }
  if (session_.Settings.NoVideoDevice) {
    prompts.ShowInformation(cam::kNoDeviceText, cam::kNoDeviceCaption);
    return nullptr;
  }
  TFormCam* form = ShowSingleForm<TFormCam>("FormCam", [this] { return new TFormCam(session_); });
  testhooks::Trace("cam broadcaster open");
  return form;
}

// ----- admission ---------------------------------------------------------------------

void TCamRoutes::GrantAdmission(const std::string& addr, const std::string& listenPort) {
  const auto now = std::chrono::steady_clock::now();
  std::erase_if(grants_, [&](const TGrant& g) { return g.until <= now || (g.addr == addr && g.port == listenPort); });
  grants_.push_back({addr, listenPort, now + std::chrono::milliseconds(GrantLifetimeMs)});
}

bool TCamRoutes::TakeGrant(const std::string& addr, const std::string& listenPort) {
  const auto now = std::chrono::steady_clock::now();
  std::erase_if(grants_, [&](const TGrant& g) { return g.until <= now; });
  const auto it = std::find_if(grants_.begin(), grants_.end(),
                               [&](const TGrant& g) { return g.addr == addr && g.port == listenPort; });
  if (it == grants_.end()) return false;
  grants_.erase(it);
  return true;
}

void TCamRoutes::HandleCamViewRequest(TPeerRequest& request) {
  TParloSocket& socket = request.Socket();
  const cam::TViewRequest asked = cam::TViewRequest::Parse(request.Params());
  if (TFormCam::Find() == nullptr) {
    Refuse(socket, cmd::CamOff);
    return;
  }
  try {
    if (TakeGrant(socket.PeerAddr(), asked.ListenPort)) {
      if (std::unique_ptr<TParloSocket> adopted = request.Adopt())
        Admit(std::move(adopted), request.Params(), asked.UserName);
      return;
    }
    TWaitingPlaces::TPlace place = allowPlaces_.Take(socket.PeerAddr());
    if (!place) {
      testhooks::Trace("cam viewer refused: a question is open");
      Refuse(socket, cmd::CamRefused);
      return;
    }
    std::unique_ptr<TParloSocket> adopted = request.Adopt();
    if (!adopted) return;
    const TWaiting* key = &Hold(std::move(adopted), std::move(place));
    testhooks::Trace("cam allow viewer? " + Shown(asked.UserName));
    const std::weak_ptr<bool> alive = alive_;
    auto answered = [this, alive, key, params = request.Params(), user = asked.UserName](bool allowed) {
      if (!alive.expired()) ViewerAnswered(key, allowed, params, user);
    };
    const std::string question =
        Shown(asked.UserName) + " is requesting you view your cam, would you like to allow them to view?";
    if (!AskAllow) {
      answered(false);
      return;
    }
    KeepQuestion(key, AskAllow(question, answered));
  } catch (const std::exception&) {
    socket.Close();
  }
}

void TCamRoutes::ViewerAnswered(const TWaiting* key, bool allowed, const std::string& params,
                                const std::string& user) {
  std::unique_ptr<TParloSocket> socket = TakeWaiting(key);
  // The viewer may have hung up, the program may be ending.
  if (!socket) return;
  if (session_.Closing() || socket->State() != wsConnected) {
    LetGo(std::move(socket));
    return;
  }
  const int refusal = !allowed ? cmd::CamRefused : TFormCam::Find() == nullptr ? cmd::CamOff : 0;
  if (refusal != 0) {
    socket->SendCommand(refusal, "", "");
    LetGo(std::move(socket));
    return;
  }
  try {
    Admit(std::move(socket), params, user);
  } catch (const std::exception&) {
    // A link not yet handed over goes with the failure.
  }
}

void TCamRoutes::Admit(std::unique_ptr<TParloSocket> socket, const std::string& params, const std::string& user) {
  TFormCam* form = TFormCam::Find();
  if (form == nullptr) {
    socket->SendCommand(cmd::CamOff, "", "");
    LetGo(std::move(socket));
    return;
  }
  form->showNormal();
  form->raise();
  form->AddViewer(std::move(socket), params);
  testhooks::Trace("cam viewer admitted " + Shown(user));
}

// ----- offers ---------------------------------------------------------------------------

void TCamRoutes::HandleCamOffer(TPeerRequest& request) {
  TParloSocket& socket = request.Socket();
  const cam::TInvite invite = cam::TInvite::Parse(request.Params());
  // Taken before the question: the link may be gone when it is answered.
  const std::string addr = socket.PeerAddr();
  testhooks::Trace("cam offer from " + Shown(invite.UserName));
  std::unique_ptr<TParloSocket> adopted = request.Adopt();
  if (!adopted) return;
  // The question is the user's: it stays when the offer's link goes, and
  // its answer still opens the viewer.
  const TWaiting* key = &Hold(std::move(adopted), {}, true);
  const std::weak_ptr<bool> alive = alive_;
  std::optional<TQuestion> question =
      AskCamDecision(invite.UserName, addr, invite.ListenPort, false, [this, alive, key, invite, addr](int decision) {
        if (!alive.expired()) OfferAnswered(key, decision, invite.UserName, addr, invite.ListenPort);
      });
  if (alive.expired()) return;
  if (!question) {
    testhooks::Trace("cam offer refused: questions are open");
    OfferAnswered(key, TFormCamDecide::Reject, invite.UserName, addr, invite.ListenPort);
    return;
  }
  KeepQuestion(key, std::move(*question));
}

void TCamRoutes::OfferAnswered(const TWaiting* key, int decision, const std::string& user, const std::string& addr,
                               const std::string& port) {
  if (!Holds(key)) return;
  std::unique_ptr<TParloSocket> socket = TakeWaiting(key);
  if (!session_.Closing()) {
    if (decision != TFormCamDecide::Reject) OpenCamViewer(user, addr, port);
    else if (socket && socket->State() == wsConnected) socket->SendCommand(cmd::CamRefused, "", "");
  }
  if (socket) LetGo(std::move(socket));
}

bool TCamRoutes::IsFriendsCam(const std::string& addr, const std::string& listenPort) {
  if (addr.empty()) return false;
  platform::Dataset& friends = session_.DB().Friends;
  for (friends.First(); !friends.Eof(); friends.Next())
    if (friends.FieldValue("ListenIP") == addr && friends.FieldValue("ListenPort") == listenPort) return true;
  return false;
}

std::optional<TQuestion> TCamRoutes::AskCamDecision(const std::string& user, const std::string& address,
                                                    const std::string& listenPort, bool chatOpen,
                                                    std::function<void(int)> answered) {
  // Strangers who keep offering must not shut friends out.
  TWaitingPlaces& places = IsFriendsCam(address, listenPort) ? friendOfferPlaces_ : offerPlaces_;
  TWaitingPlaces::TPlace place = places.Take(address);
  if (!place) return std::nullopt;
  auto held = std::make_shared<TWaitingPlaces::TPlace>(std::move(place));
  auto answer = [held, answered = std::move(answered)](int decision) {
    *held = {};
    answered(decision);
  };
  TQuestion question;
  if (AskDecision) question = AskDecision(user, chatOpen, answer);
  else answer(TFormCamDecide::Reject);
  return TQuestion(std::make_unique<TPlacedQuestion>(std::move(question), held));
}

void TCamRoutes::QuestionLinkClosed(TQuestion& question, std::function<void()> withdraw) {
  if (auto* placed = dynamic_cast<TPlacedQuestion*>(question.get())) {
    placed->LinkClosed([withdraw = std::move(withdraw)] {
      testhooks::Trace("cam offer withdrawn for a new one");
      withdraw();
    });
  }
}

// ----- requests held while their question is open ------------------------------------------

TCamRoutes::TWaiting& TCamRoutes::Hold(std::unique_ptr<TParloSocket> socket, TWaitingPlaces::TPlace place,
                                        bool questionStays) {
  auto waiting = std::make_unique<TWaiting>();
  const TWaiting* key = waiting.get();
  TParloSocket& s = *socket;
  waiting->socket = std::move(socket);
  waiting->place = std::move(place);
  // Nothing the caller says before the answer is a command.
  s.OnDataAvailable = [&s](TCustomNetSocket*, int) { s.ReceiveStr(); };
  s.OnError = [](TCustomNetSocket* x) { x->CloseDelayed(); };
  // A caller who hangs up needs no answer: its question goes at once,
  // unless it stays for the user (then only the link goes).
  s.OnSessionClosed = [this, key, questionStays](TCustomNetSocket*, int) {
    if (!questionStays) {
      if (std::unique_ptr<TParloSocket> gone = TakeWaiting(key)) LetGo(std::move(gone));
      return;
    }
    for (auto& w : waiting_)
      if (w.get() == key && w->socket) {
        LetGo(std::move(w->socket));
        QuestionLinkClosed(w->question, [this, key] { TakeWaiting(key); });
      }
  };
  waiting_.push_back(std::move(waiting));
  return *waiting_.back();
}

void TCamRoutes::KeepQuestion(const TWaiting* key, TQuestion question) {
  for (auto& w : waiting_)
    if (w.get() == key) w->question = std::move(question);
}

bool TCamRoutes::Holds(const TWaiting* key) const {
  return std::any_of(waiting_.begin(), waiting_.end(), [key](const auto& w) { return w.get() == key; });
}

std::unique_ptr<TParloSocket> TCamRoutes::TakeWaiting(const TWaiting* key) {
  const auto it = std::find_if(waiting_.begin(), waiting_.end(), [key](const auto& w) { return w.get() == key; });
  if (it == waiting_.end()) return nullptr;
  // Taken out first: dropping its question may be the end of the answer
  // that runs now.
  std::unique_ptr<TWaiting> waiting = std::move(*it);
  waiting_.erase(it);
  if (waiting->socket) waiting->socket->DropHandlers();
  return std::move(waiting->socket);
}

TFormCamView* TCamRoutes::OpenCamViewer(const std::string& user, const std::string& ip, const std::string& port) {
  const TSettings& own = session_.Settings;
  auto* view = new TFormCamView(session_);
  view->SetViewerInfo(own.UserID, own.UserName, own.ListenIP, own.ListenPort);
  try {
    view->ConnectToCam(user, ip, port);
  } catch (const std::exception& e) {
    LogError(ip, port, e.what());
  }
  return view;
}

bool TCamRoutes::SendCamInvitation(const std::string& ip, const std::string& port) {
  // An offer of a cam that is not there would admit a viewer to nothing.
  if (TFormCam::Find() == nullptr) return false;
  closedInvitations_.clear();
  GrantAdmission(ip, port);
  const TSettings& own = session_.Settings;
  const std::string offer = cam::TInvite{own.UserName, own.ListenPort}.Join();
  auto socket = std::make_unique<TParloSocket>();
  TParloSocket& s = *socket;
  invitations_.push_back(std::move(socket));
  s.OnSessionConnected = [&s, offer](TCustomNetSocket*, int error) { CamSessionConnected(s, offer, error); };
  s.OnError = [&s](TCustomNetSocket*) { CamError(s); };
  s.OnChangeState = [this, &s](TCustomNetSocket*, TSocketState, TSocketState state) {
    if (state == wsClosed) DropInvitation(s);
  };
  try {
    s.ConnectTcp(ip, port);
  } catch (const std::exception& e) {
    LogError(ip, port, std::string("Sending the cam offer: ") + e.what());
    DropInvitation(s);
    closedInvitations_.clear();
    return false;
  }
  return true;
}

void TCamRoutes::CamSessionConnected(TParloSocket& socket, const std::string& offer, int error) {
  if (error == 0) socket.SendCommand(cmd::CamInvite, offer, "");
  else socket.CloseDelayed();
}

void TCamRoutes::CamError(TParloSocket& socket) { socket.CloseDelayed(); }

void TCamRoutes::DropInvitation(TParloSocket& socket) {
  const auto it = std::find_if(invitations_.begin(), invitations_.end(),
                               [&](const auto& held) { return held.get() == &socket; });
  if (it == invitations_.end()) return;
  socket.OnSessionConnected = nullptr;
  socket.OnChangeState = nullptr;
  socket.OnError = nullptr;
  // Inside the socket's own close: freed with the next offer, or at the end.
  closedInvitations_.push_back(std::move(*it));
  invitations_.erase(it);
}

void TCamRoutes::OfferCam(const TContact& contact) {
  // The offer goes out only with a broadcast to watch.
  if (ActionCamBroadcastExecute() == nullptr) return;
  SendCamInvitation(contact.ListenIP, contact.ListenPort);
}
