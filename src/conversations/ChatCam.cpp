#include "conversations/ChatCam.h"

#include "conversations/CamRoutes.h"
#include "conversations/FormCamDecide.h"
#include "core/session/PeerBounds.h"
#include "core/session/Session.h"
#include "core/session/TestHooks.h"
#include "transport/CommandCodes.h"
#include "transport/NetSocketFunctions.h"

TChatCam::TChatCam(TSession& session, TCamRoutes& routes, TChatCamHost host)
    : session_(session),
      routes_(routes),
      host_(std::move(host)),
      receiver_(
          TCamReceiverHost{
              [this](const std::string& text) { SetCamStatus(text); },
              // A picture that cannot be shown leaves the last one there.
              [this](const QImage& picture) {
                if (host_.Picture && !picture.isNull()) host_.Picture(picture);
              },
              [this] { SetCamStatus("Cam is not turned on..."); },
              [this](int error) {
                if (error != 0) {
                  CamError(error);
                  return;
                }
                SetCamStatus("Cam Closed...");
                if (host_.Picture) host_.Picture(QImage());
              },
              [this](int error) { CamError(error); },
              nullptr,
              "Cam Error..."},
          session.Paths()) {}

TChatCam::~TChatCam() { *alive_ = false; }

void TChatCam::SetCamStatus(const std::string& text) {
  if (host_.Status) host_.Status(text);
}

void TChatCam::ActionSendCamExecute() {
  if (!ChatConnected()) return;
  const std::weak_ptr<bool> alive = alive_;
  const bool open = routes_.ActionCamBroadcastExecute() != nullptr;
  if (alive.expired()) return;
  if (!open) {
    // No broadcast, no offer: the peer would be asked to watch a cam that is not there.
    const TSettings& s = session_.Settings;
    if (s.DirectXMissing && s.NoVideoDevice && host_.DisableSendCam) host_.DisableSendCam();
    return;
  }
  if (!ChatConnected()) return;
  routes_.GrantAdmission(Peer(host_.PeerAddr), Peer(host_.PeerListenPort));
  const TChatProfile own = Own();
  if (host_.SendOnChat) host_.SendOnChat(cmd::CamInvite, cam::TInvite{own.UserName, own.ListenPort}.Join());
}

void TChatCam::HandleCamOffer(const std::string& params) {
  const cam::TInvite invite = cam::TInvite::Parse(params);
  // Taken before the question: the chat's link may be gone when it is answered.
  const std::string addr = Peer(host_.PeerAddr);
  testhooks::Trace("cam offer in chat from " + CutPeerText(invite.UserName, peerbounds::kShownName));
  if (deciding_) {
    Decline();
    return;
  }
  const std::weak_ptr<bool> alive = alive_;
  deciding_ = true;
  std::optional<TQuestion> question = routes_.AskCamDecision(
      Peer(host_.PeerUserName), addr, invite.ListenPort, true, [this, alive, invite, addr](int decision) {
        if (!alive.expired()) Decided(decision, invite.UserName, addr, invite.ListenPort);
      });
  if (alive.expired()) return;
  if (!question) {
    deciding_ = false;
    Decline();
    return;
  }
  if (deciding_) question_ = std::move(*question);
}

void TChatCam::Decided(int decision, const std::string& user, const std::string& addr, const std::string& port) {
  deciding_ = false;
  // Dropped once this answer is over.
  const TQuestion done = std::move(question_);
  if (session_.Closing()) return;
  const std::weak_ptr<bool> alive = alive_;
  try {
    switch (decision) {
      case TFormCamDecide::SeparateViewer:
        routes_.OpenCamViewer(user, addr, port);
        break;
      case TFormCamDecide::InChat: {
        if (receiver_.Open()) break;
        const TChatProfile own = Own();
        receiver_.Connect(addr, port,
                          cam::TViewRequest{own.UserID, own.UserName, session_.Settings.ListenIP, own.ListenPort});
        break;
      }
      default:
        Decline();
        break;
    }
  } catch (const std::exception&) {
    if (!alive.expired()) SetCamStatus("Could not open Cam connection");
  }
}

void TChatCam::Decline() {
  if (ChatConnected() && host_.SendOnChat) host_.SendOnChat(cmd::CamRefused, "");
}

void TChatCam::ActionSaveCamExecute() { receiver_.ToggleSaveMode(Peer(host_.PeerUserName)); }

void TChatCam::CloseCam() {
  receiver_.Close();
  if (!question_) return;
  TCamRoutes::QuestionLinkClosed(question_, [this] {
    deciding_ = false;
    question_.reset();
  });
}

void TChatCam::CamError(int error) {
  if (error == 10051 || error == 10053 || error == 10060) {
    SetCamStatus("Could not establish connection");
    return;
  }
  SetCamStatus(error == 0 ? "Error 0 : Winsock Error"
                    : "Cam Socket Error " + std::to_string(error) + " : " + NetSocketErrorDesc(error));
  receiver_.CloseDelayed();
  if (host_.Beep) host_.Beep();
}
