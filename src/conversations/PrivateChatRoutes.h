#pragma once

#include <QPointer>
#include <memory>
#include <string>
#include <vector>

class TCamRoutes;
class TFormPChat;
class TParloSocket;
class TPeerRequest;
class TSession;
struct TContactCall;

// Where private chats start: the caller's side on the contact command "Call
// for Private Chat", the callee's side on a request the peer listener let
// through (1001). Made once, after the session, by the code that wires the
// program together; the chats still open when it goes are closed with it.
//
// Without a transcript control nothing is registered, and the session goes on
// answering as it does without a chat window.
class TPrivateChatRoutes {
 public:
  explicit TPrivateChatRoutes(TSession& session);
  ~TPrivateChatRoutes();
  TPrivateChatRoutes(const TPrivateChatRoutes&) = delete;
  TPrivateChatRoutes& operator=(const TPrivateChatRoutes&) = delete;

  // The chat windows open now, oldest first.
  std::vector<TFormPChat*> Windows() const;

  // Side B: takes the accepted connection over and answers the caller; the
  // caller is rejected instead while many chats from its address wait
  // unanswered. Chats a friend asked for are counted apart from strangers'.
  void AcceptPrivateChat(TPeerRequest& request);
  // Side A: a new window calls the contact (port "2960" when it has none).
  void OpenPrivateChat(const TContactCall& call);
  // The webcam channel of the windows opened from now on.
  void SetCamRoutes(TCamRoutes* cams) { cams_ = cams; }

 private:
  TFormPChat* NewWindow(std::unique_ptr<TParloSocket> socket);
  std::string OwnRecord(const std::string& greeting);

  TSession& session_;
  std::vector<QPointer<TFormPChat>> windows_;
  // Those of them that a friend's request opened.
  std::vector<QPointer<TFormPChat>> friendChats_;
  TCamRoutes* cams_ = nullptr;
};
