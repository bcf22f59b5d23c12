#include "chatrooms/FormChat.h"

#include <QCloseEvent>
#include <QMenu>
#include <QPlainTextEdit>

#include "chatrooms/ChatClient.h"
#include "conversations/ChatInput.h"
#include "core/DialogLook.h"
#include "core/session/ErrorLog.h"
#include "core/session/Paths.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"
#include "core/session/TestHooks.h"
#include "platform/DesktopPrompts.h"

namespace {

const TRoomWindow::Role kHostRole{"FormChat",
                                  "Multi-User Chat Host",
                                  {"Error Host adding friend", "Error Host viewing Profile", "Error Host FileOut",
                                   "Error Host ImageOut", "Error Host SoundOut", "Error Host CamOut"},
                                  9,
                                  false,
                                  false};

}  // namespace

TFormChat::TFormChat(TSession& session, TChatRoomSetup setup) : TRoomWindow(session, kHostRole) {
  TChatHostHooks hooks;
  hooks.LogError = [](const std::string& addr, const std::string& port, const std::string& message) {
    LogError(addr, port, message);
  };
  hooks.PlayChatSound = [this](int index) { session_.Paths().PlayChatSound(index); };
  hooks.PlayEventSound = [this](int event) { session_.Paths().PlayEventSound(event); };
  hooks.Beep = [] { platform::Beep(); };
  host_ = std::make_unique<TChatHost>(*this, std::move(hooks), std::move(setup));
  host_->SetIdleInterval(testhooks::IntervalMs("PARLO_TEST_ROOM_IDLE_MS", TChatClient::kIdleMs));
  SetStatusText("Character Count:", 0);
  SetStatusText("Host:", 1);
  SetStatusText("Client Count: 0", 2);
}

// The room goes first: its connections must not call into a half-destroyed window.
TFormChat::~TFormChat() { host_.reset(); }

bool TFormChat::StartListening() {
  if (!host_->StartListening()) {
    close();
    return false;
  }
  show();
  return true;
}

void TFormChat::showEvent(QShowEvent* e) {
  TRoomWindow::showEvent(e);
  if (ownRowAdded_) return;
  ownRowAdded_ = true;
  host_->AddOwnRow();
  SetStatusText("Character Count: 0", 0);
  SetStatusText("Hosted Chat: " + host_->Setup().ChatName, 1);
}

// Closing is never refused: the fonts are kept and the room ends, telling
// the members nothing.
void TFormChat::closeEvent(QCloseEvent* e) {
  try {
    SaveFonts();
  } catch (const std::exception&) {
    host_->LogChatError("Error closing chat host");
  }
  host_->Close();
  e->accept();
}

void TFormChat::ShowInformation(const std::string& text, const std::string& caption) {
  session_.Prompts().ShowInformation(text, caption);
}

void TFormChat::SendText() {
  if (host_->SendText(dialoglook::TextFromMemo(MemoGo->toPlainText()))) ClearInput(MemoGo);
}

void TFormChat::SendSound(int index) { host_->SendSound(index); }

void TFormChat::AddMemberItems(QMenu& menu) {
  menu.addSeparator();
  menu.addAction("Remove from Chat", this, [this] { ActionCloseClientExecute(); });
}

void TFormChat::ActionCloseClientExecute() {
  try {
    if (const std::optional<TRoomMembers::Row> row = SelectedRow()) host_->RemoveFromChat(*row);
  } catch (const std::exception&) {
    host_->LogChatError("Error Host removing client");
  }
}
