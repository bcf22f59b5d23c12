#include "conversations/CamRoutes.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <algorithm>

#include "conversations/CamProtocol.h"
#include "conversations/FormCam.h"
#include "conversations/FormCamDecide.h"
#include "conversations/FormCamView.h"
#include "core/OpenForms.h"
#include "core/session/ErrorLog.h"
#include "core/session/PeerListener.h"
#include "core/session/Prompts.h"
#include "core/session/Router.h"
#include "core/session/Session.h"
#include "core/session/TestHooks.h"
#include "transport/CommandCodes.h"

namespace {

void Refuse(TParloSocket& socket, int code) {
  socket.SendCommand(code, "", "");
  socket.Close();
}

}  // namespace

TCamRoutes::TCamRoutes(TSession& session) : session_(session) {
  AskDecision = [](const std::string& user, bool chatOpen) { return TFormCamDecide::Ask(nullptr, user, chatOpen); };
  AskAllow = [&session](const std::string& question) {
    return session.Prompts().AskYesNo(question, "Allow Viewer?", false);
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
    if (!TakeGrant(socket.PeerAddr(), asked.ListenPort)) {
      testhooks::Trace("cam allow viewer? " + asked.UserName);
      const bool allowed =
          AskAllow && AskAllow(asked.UserName + " is requesting you view your cam, would you like to allow them to view?");
      // The question ran an event loop of its own: the program may be
      // ending, the viewer may have hung up, the broadcast may have closed.
      if (session_.Closing() || socket.State() != wsConnected) return;
      if (!allowed) {
        Refuse(socket, cmd::CamRefused);
        return;
      }
    }
    TFormCam* form = TFormCam::Find();
    if (form == nullptr) {
      Refuse(socket, cmd::CamOff);
      return;
    }
    std::unique_ptr<TParloSocket> adopted = request.Adopt();
    if (!adopted) return;
    form->showNormal();
    form->raise();
    form->AddViewer(std::move(adopted), request.Params());
    testhooks::Trace("cam viewer admitted " + asked.UserName);
  } catch (const std::exception& e) {
    LogError(socket.PeerAddr(), socket.PeerPort(), std::string("Cam view request: ") + e.what());
    socket.Close();
  }
}

// ----- offers ---------------------------------------------------------------------------

void TCamRoutes::HandleCamOffer(TPeerRequest& request) {
  TParloSocket& socket = request.Socket();
  const cam::TInvite invite = cam::TInvite::Parse(request.Params());
  // Taken before the question: the link may be gone when it is answered.
  const std::string addr = socket.PeerAddr();
  testhooks::Trace("cam offer from " + invite.UserName);
  const int decision = AskCamDecision(invite.UserName, false);
  if (session_.Closing()) return;
  if (decision == TFormCamDecide::Reject) {
    Refuse(socket, cmd::CamRefused);
    return;
  }
  OpenCamViewer(invite.UserName, addr, invite.ListenPort);
  socket.Close();
}

int TCamRoutes::AskCamDecision(const std::string& user, bool chatOpen) {
  return AskDecision ? AskDecision(user, chatOpen) : static_cast<int>(TFormCamDecide::Reject);
}

TFormCamView* TCamRoutes::OpenCamViewer(const std::string& user, const std::string& ip, const std::string& port) {
  const TSettings& own = session_.Settings;
  auto* view = new TFormCamView(session_);
  view->SetViewerInfo(own.UserID, own.UserName, own.ListenIP, own.ListenPort);
  try {
    view->ConnectToCam(user, ip, port);
  } catch (const std::exception& e) {
    LogError(ip, port, std::string("Opening the cam viewer: ") + e.what());
    view->SetStatus("Could not connect...");
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
  s.OnSessionConnected = [&s, offer](TCustomNetSocket*, int error) {
    if (error == 0) s.SendCommand(cmd::CamInvite, offer, "");
    else s.CloseDelayed();
  };
  s.OnError = [&s](TCustomNetSocket*) { s.CloseDelayed(); };
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
  // A peer that never decides does not hold the link for ever.
  const std::weak_ptr<bool> alive = alive_;
  TParloSocket* key = &s;
  QTimer::singleShot(GrantLifetimeMs, [this, alive, key] {
    if (alive.expired()) return;
    for (auto& held : invitations_)
      if (held.get() == key) held->Close();
  });
  return true;
}

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
