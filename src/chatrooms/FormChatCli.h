#pragma once

#include <memory>

#include "chatrooms/ChatMember.h"
#include "chatrooms/RoomWindow.h"

// The window of a member of a room hosted elsewhere, around the TChatMember
// that holds the connection. It stays open after the connection has closed.
class TFormChatCli : public TRoomWindow, public TChatMemberView {
 public:
  TFormChatCli(TSession& session, std::unique_ptr<TParloSocket> socket);
  ~TFormChatCli() override;

  // Shows the window and connects to the host.
  void ConnectToChat(const std::string& ip, const std::string& port, const std::string& chatName);
  TChatMember& Member() { return *member_; }

  // TChatMemberView
  void AddInfoText(const std::string& text) override { TRoomWindow::AddInfoText(text); }
  void SetCaption(const std::string& caption) override;
  void SetPanel(int panel, const std::string& text) override { SetStatusText(text, panel); }
  void ShowPeerText(const std::string& name, const std::string& text) override {
    TRoomWindow::ShowPeerText(name, text);
  }
  void ShowOwnText(const std::string& text) override { TRoomWindow::ShowOwnText(text); }
  void MembersChanged() override { FillMemberList(member_->Members()); }
  void MemberAdded(int index) override { InsertMemberRow(member_->Members(), index); }
  void MemberRemoved(int index) override { RemoveMemberRow(index); }
  void ShowInformation(const std::string& text, const std::string& caption) override;

  // TRoomWindow
  void SendText() override;
  void SendSound(int index) override { member_->SendSound(index); }
  int ClientCount() const override { return member_->ClientCount(); }
  const std::string& OwnName() const override { return member_->UserName(); }

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  std::unique_ptr<TChatMember> member_;
};
