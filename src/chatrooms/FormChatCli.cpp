#include "chatrooms/FormChatCli.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QTreeWidget>

#include "chatrooms/ChatHost.h"
#include "conversations/ChatInput.h"
#include "core/DialogLook.h"
#include "core/session/ErrorLog.h"
#include "core/session/Paths.h"
#include "core/session/PeerBounds.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"
#include "platform/Charset.h"
#include "platform/DesktopPrompts.h"

namespace {

const TRoomWindow::Role kMemberRole{
    "FormChatCli",
    "Multi-User Chat Client",
    {"Error Chat client adding friend", "Error Chat client viewing Profile", "Error Chat client FileOut",
     "Error Chat client ImageOut", "Error Chat client SoundOut", "Error Chat client CamOut"},
    10,
    true,
    true};

}  // namespace

TFormChatCli::TFormChatCli(TSession& session, std::unique_ptr<TParloSocket> socket)
    : TRoomWindow(session, kMemberRole) {
  TChatMemberHooks hooks;
  hooks.LogError = [](const std::string& addr, const std::string& port, const std::string& message) {
    LogError(addr, port, message);
  };
  hooks.PlayChatSound = [this](int index) { session_.Paths().PlayChatSound(index); };
  hooks.PlayEventSound = [this](int event) { session_.Paths().PlayEventSound(event); };
  hooks.Beep = [] { platform::Beep(); };
  hooks.Identity = [this] {
    const TSettings& s = session_.Settings;
    return TRoomIdentity{s.UserID, s.UserName, s.ListenPort, s.StatusMode};
  };
  member_ = std::make_unique<TChatMember>(*this, std::move(hooks), std::move(socket));
  ListC->headerItem()->setText(0, "Username");
  SetStatusText("Character Count: ", 0);
  SetStatusText("Client Count: ", 2);
}

TFormChatCli::~TFormChatCli() { member_.reset(); }

void TFormChatCli::ConnectToChat(const std::string& ip, const std::string& port, const std::string& chatName) {
  show();
  member_->ConnectToChat(ip, port, chatName);
}

void TFormChatCli::SetCaption(const std::string& caption) {
  setWindowTitle(platform::ToQString(CutPeerText(caption, 2 * peerbounds::kShownName)));
}

void TFormChatCli::ShowInformation(const std::string& text, const std::string& caption) {
  session_.Prompts().ShowInformation(text, caption);
}

void TFormChatCli::SendText() {
  if (member_->SendText(dialoglook::TextFromMemo(MemoGo->toPlainText()))) ClearInput(MemoGo);
}

// Nothing goes to the host: it sees the connection close.
void TFormChatCli::closeEvent(QCloseEvent* e) {
  try {
    SaveFonts();
  } catch (const std::exception&) {
    LogError("", "", "ChatServer Error: Error closing chat client");
  }
  member_->Close();
  e->accept();
}
