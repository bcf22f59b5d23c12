#pragma once

#include <memory>

#include "chatrooms/ChatHost.h"
#include "chatrooms/RoomWindow.h"

// The window of a room hosted on this computer ("FormChat": there is at most
// one, and the main window finds it by that name). The room itself, its
// server and its members, is the TChatHost inside.
class TFormChat : public TRoomWindow, public TChatHostView {
 public:
  TFormChat(TSession& session, TChatRoomSetup setup);
  ~TFormChat() override;

  // Listens and shows the window; a room that cannot listen closes its window.
  bool StartListening();
  TChatHost& Host() { return *host_; }

  // "Remove from Chat" on the selected member.
  void ActionCloseClientExecute();

  // TChatHostView
  void AddInfoText(const std::string& text) override { TRoomWindow::AddInfoText(text); }
  void ShowPeerText(const std::string& name, const std::string& text) override {
    TRoomWindow::ShowPeerText(name, text);
  }
  void ShowOwnText(const std::string& text) override { TRoomWindow::ShowOwnText(text); }
  void MembersChanged() override { FillMemberList(host_->Members()); }
  void MemberAdded(int index) override { InsertMemberRow(host_->Members(), index); }
  void MemberRemoved(int index) override { RemoveMemberRow(index); }
  void ShowInformation(const std::string& text, const std::string& caption) override;

  // TRoomWindow
  void SendText() override;
  void SendSound(int index) override;
  int ClientCount() const override { return host_->ClientCount(); }
  const std::string& OwnName() const override { return host_->Setup().UserName; }

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void AddMemberItems(QMenu& menu) override;

 private:
  std::unique_ptr<TChatHost> host_;
  bool ownRowAdded_ = false;
};
