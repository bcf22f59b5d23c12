#pragma once

#include <QImage>
#include <functional>
#include <memory>
#include <string>

#include "conversations/CamReceiver.h"
#include "conversations/ChatProfile.h"
#include "core/session/Prompts.h"

class TCamRoutes;
class TSession;

// What the cam channel needs of the private chat that owns it. Unset hooks
// are skipped (an unset ChatConnected counts as not connected).
struct TChatCamHost {
  std::function<bool()> ChatConnected;
  // Sends one frame on the chat's own link.
  std::function<void(int code, const std::string& params)> SendOnChat;
  // The peer as the chat knows it: the link's address, and from the peer's
  // profile record its user name and listen port.
  std::function<std::string()> PeerAddr;
  std::function<std::string()> PeerUserName;
  std::function<std::string()> PeerListenPort;
  // The own profile record the chat was opened with (user id, name, listen port).
  std::function<TChatProfile()> Own;
  // The cam status label (the chat shows it after one blank) and picture.
  std::function<void(const std::string& text)> Status;
  std::function<void(const QImage& picture)> Picture;
  // "Send Cam Broadcast" can never work in this run: the chat disables it.
  std::function<void()> DisableSendCam;
  std::function<void()> Beep;
};

// The webcam inside a private chat: offering the own cam to the peer over
// the chat's link (1037), and answering the peer's offer, either with a
// viewer window of its own or with a second link, the cam socket, whose
// pictures the chat shows itself. At most one cam socket at a time; after
// it closes, the next offer can open another. Nothing here ends the chat.
class TChatCam {
 public:
  TChatCam(TSession& session, TCamRoutes& routes, TChatCamHost host);
  ~TChatCam();
  TChatCam(const TChatCam&) = delete;
  TChatCam& operator=(const TChatCam&) = delete;

  // "Send Cam Broadcast": the own broadcast window, then the offer; the
  // offered peer's view request is let in without a question.
  void ActionSendCamExecute();
  // The chat's 1037: asks what to do with the peer's offer, without waiting;
  // an offer while the last one's question is open, or while as many wait
  // as may, is declined at once.
  void HandleCamOffer(const std::string& params);
  // "Save Cam Images" (also a double click on the cam picture).
  void ActionSaveCamExecute();
  // The chat's link closed, or its window closes: the cam socket goes. An
  // open question stays, as it was asked of the user: its answer still
  // opens a viewer at the peer's address (with the window, or when a new
  // offer needs its place, it goes).
  void CloseCam();

  bool CamOpen() const { return receiver_.Open(); }
  bool SaveMode() const { return receiver_.SaveMode(); }
  TCamReceiver& Receiver() { return receiver_; }

 private:
  void CamError(int error);
  void Decline();
  void Decided(int decision, const std::string& user, const std::string& addr, const std::string& port);
  void SetCamStatus(const std::string& text);
  bool ChatConnected() const { return host_.ChatConnected && host_.ChatConnected(); }
  std::string Peer(const std::function<std::string()>& field) const { return field ? field() : std::string(); }
  TChatProfile Own() const { return host_.Own ? host_.Own() : TChatProfile(); }

  TSession& session_;
  TCamRoutes& routes_;
  TChatCamHost host_;
  TCamReceiver receiver_;
  TQuestion question_;
  bool deciding_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
