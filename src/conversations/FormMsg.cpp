#include "conversations/FormMsg.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "conversations/ChatFonts.h"
#include "conversations/ChatInput.h"
#include "conversations/ChatPickers.h"
#include "conversations/ChatStatusBar.h"
#include "conversations/ConversationParts.h"
#include "conversations/Transcript.h"
#include "conversations/TranscriptWriter.h"
#include "core/DialogLook.h"
#include "core/MainPanels.h"
#include "core/session/ErrorLog.h"
#include "core/session/MessageRecord.h"
#include "core/session/Paths.h"
#include "core/session/PeerBounds.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"

using platform::ToQString;

namespace {

constexpr int kInTextSound = 0;  // "Incoming text message"

}  // namespace

TFormMsg::TFormMsg(TSession& session) : QWidget(nullptr, Qt::Window), session_(session) {
  setObjectName("FormMsg");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Message");
  setMinimumSize(520, 400);
  dialoglook::ColourForm(this);
  iconsFolder_ = session_.Paths().AppPath + "Icons\\";
  Client = session_.Paths().LoadWindowFont("MsgClient", platform::clBlack);
  Peer = session_.Paths().LoadWindowFont("MsgPeer", platform::clNavy);
  conversation_ = std::make_unique<TMessageConversation>(session_, *this);
  BuildWindow();
  if (session_.Settings.MinMsg) setWindowState(Qt::WindowMinimized);
}

TFormMsg::~TFormMsg() = default;

// ----- the window's parts ------------------------------------------------------------------

void TFormMsg::BuildWindow() {
  ImgLogo_ = new QLabel(this);
  ImgLogo_->setFixedHeight(60);
  const TTranscriptControl control = MakeTranscript(
      this, this, [this](const QPoint& at) { PopTranscriptMenu(this, Memo, *Transcript, at, nullptr); });
  Memo = control.Widget;
  Transcript = control.Transcript;
  MemoGo = MakeInput(this, this, Client, [this](const QPoint& at) {
    PopInputMenu(this, MemoGo, at,
                 [this](QMenu& menu) { menu.addAction("Emoticons", this, [this] { ActionEmoteExecute(); }); });
  });
  SpeedButton2 = new QPushButton("Send", this);
  SpeedButton2->setFixedHeight(60);
  connect(SpeedButton2, &QPushButton::clicked, this, [this] { SendMessage(); });

  Stat = new TChatStatusBar(this, {130, 200, 170}, 1, StatusIcon);
  LayOutConversation(this, {ImgLogo_}, Memo, BuildButtons(), MemoGo, SpeedButton2, BuildSideButtons(), Stat,
                     [this](const QString& text) { ShowCharacterCount(text); });

  PEm = new TEmoticonPicker(iconsFolder_, this);
  PEm->OnPick = [this](int entry) { InsertEmoteCode(entry); };
  PopFonts = MakeFontsMenu(this, [this] { ActionMyFontExecute(); }, [this] { ActionPeerFontExecute(); });
  AddHelpKey(this, [this] { ActionHelpExecute(); });
  Timer1 = MakeFlashTimer(this);
  setFocusProxy(MemoGo);
}

QWidget* TFormMsg::BuildButtons() {
  auto* row = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* box = new QHBoxLayout(row);
  box->setContentsMargins(6, 4, 6, 4);
  EmoteButton = new QPushButton("Expressicons", row);
  FontButton = new QPushButton("Fonts", row);
  BlockButton = new QPushButton("Block", row);
  connect(EmoteButton, &QPushButton::clicked, this, [this] { ActionEmoteExecute(); });
  connect(FontButton, &QPushButton::clicked, this, [this] { FontButtonClick(); });
  connect(BlockButton, &QPushButton::clicked, this, [this] { BlockButtonClick(); });
  box->addWidget(EmoteButton);
  box->addWidget(FontButton);
  box->addStretch(1);
  box->addWidget(BlockButton);
  return row;
}

QWidget* TFormMsg::BuildSideButtons() {
  auto* column = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* box = new QVBoxLayout(column);
  box->setContentsMargins(8, 8, 8, 8);
  const std::pair<const char*, void (TFormMsg::*)()> sends[] = {{"SendFiles    ", &TFormMsg::ActionFilesOutExecute},
                                                                {"Send Image", &TFormMsg::ActionImgOutExecute},
                                                                {"Send Sound", &TFormMsg::ActionSoundOutExecute}};
  for (const auto& [caption, handler] : sends) {
    auto* button = new QPushButton(caption, column);
    connect(button, &QPushButton::clicked, this, handler);
    box->addWidget(button);
  }
  box->addSpacing(12);
  FriendButton = new QPushButton("Add Friend", column);
  ProfButton = new QPushButton("View Profile", column);
  SpeedButton1 = new QPushButton("Help", column);
  connect(FriendButton, &QPushButton::clicked, this, [this] { ActionAddFriendExecute(); });
  connect(ProfButton, &QPushButton::clicked, this, [this] { ActionViewProfileExecute(); });
  connect(SpeedButton1, &QPushButton::clicked, this, [this] { ActionHelpExecute(); });
  box->addWidget(FriendButton);
  box->addWidget(ProfButton);
  box->addStretch(1);
  box->addWidget(SpeedButton1);
  return column;
}

void TFormMsg::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  if (shown_) return;
  shown_ = true;
  const QPixmap logo(QString::fromStdString(platform::PathFromName(session_.Paths().AppPath + "chatlogo.jpg").string()));
  ImgLogo_->setPixmap(logo);
  Stat->SetPanel(0, "Character Count: 0");
  Stat->SetPanel(2, "User: " + conversation_->PeerName());
  conversation_->ShowStatus(conversation_->Status());
  MemoGo->setFocus();
}

// Closing is never refused; the fonts are kept, the transcript is not.
void TFormMsg::closeEvent(QCloseEvent* e) {
  try {
    session_.Paths().SaveWindowFont("MsgClient", Client);
    session_.Paths().SaveWindowFont("MsgPeer", Peer);
  } catch (const std::exception& ex) {
    LogError("None", "None", std::string("Message window closing: ") + ex.what());
  }
  e->accept();
}

// ----- what the conversation shows -------------------------------------------------------------

void TFormMsg::ShowPeerText(const std::string& text) {
  WriteMessage(conversation_->PeerName(), conversation_->Sent(), Peer, text);
}

void TFormMsg::PeerTextArrived() {
  if (isActiveWindow()) return;
  session_.Paths().PlayEventSound(kInTextSound);
  StartFlashing(Timer1);
}

void TFormMsg::ShowOwnText(const std::string& text) {
  WriteMessage(conversation_->OwnUserName, LocalDateTimeNow(), Client, text);
}

// Nothing here is ever saved, so no message marks the transcript as changed.
void TFormMsg::WriteMessage(const std::string& name, const std::string& time, platform::TFont& font,
                            const std::string& text) {
  const bool modified = Transcript->GetModified();
  WriteTranscriptMessage(*Transcript, font, iconsFolder_, name, time, text);
  Transcript->SetModified(modified);
}

void TFormMsg::SetCaption(const std::string& caption) {
  setWindowTitle(ToQString(CutPeerText(caption, 2 * peerbounds::kShownName)));
}

void TFormMsg::ShowStatus(const std::string& text, int image) {
  Stat->SetPanel(1, text);
  Stat->SetStateImage(image);
}

void TFormMsg::ShowInformation(const std::string& text, const std::string& caption) {
  session_.Prompts().ShowInformation(text, caption);
}

// ----- what the user does ------------------------------------------------------------------------

void TFormMsg::SendMessage() {
  if (!conversation_->SendMessage(dialoglook::TextFromMemo(MemoGo->toPlainText()))) return;
  ClearInput(MemoGo);
}

void TFormMsg::InsertEmoteCode(int entry) { InsertEmoticon(MemoGo, PEm, entry); }

void TFormMsg::ActionEmoteExecute() { PopEmoticons(this, EmoteButton, PEm, nullptr); }

void TFormMsg::FontButtonClick() { PopFonts->popup(QCursor::pos()); }

void TFormMsg::ActionMyFontExecute() {
  if (ChooseFont(this, Client, TFontDialogStart::WithoutBold)) ApplyFont(MemoGo, Client);
}

void TFormMsg::ActionPeerFontExecute() { ChooseFont(this, Peer, TFontDialogStart::WithoutBold); }

void TFormMsg::ActionHelpExecute() { session_.ShowHelpTopic(kHelpTopic); }

void TFormMsg::BlockButtonClick() { conversation_->Block(); }

void TFormMsg::ActionAddFriendExecute() { conversation_->AddFriend(); }

void TFormMsg::ActionViewProfileExecute() { conversation_->ViewProfile(); }

void TFormMsg::ActionFilesOutExecute() { conversation_->SendFile(TContactCommand::SendFile); }

void TFormMsg::ActionImgOutExecute() { conversation_->SendFile(TContactCommand::SendImage); }

void TFormMsg::ActionSoundOutExecute() { conversation_->SendFile(TContactCommand::SendSound); }

// ----- keys ---------------------------------------------------------------------------------------

bool TFormMsg::eventFilter(QObject* watched, QEvent* e) {
  if (watched == MemoGo && e->type() == QEvent::KeyPress) return MemoGoKeyPress(e);
  if (watched == MemoGo && e->type() == QEvent::KeyRelease) return MemoGoKeyUp(e);
  if (watched == Memo && e->type() == QEvent::KeyPress) return MemoKeyPress(e);
  return QWidget::eventFilter(watched, e);
}

bool TFormMsg::MemoKeyPress(QEvent* e) { return TranscriptTypingKey(e); }

bool TFormMsg::MemoGoKeyPress(QEvent* e) { return ChatInputKey(MemoGo, e).Consumed; }

bool TFormMsg::MemoGoKeyUp(QEvent* e) {
  const TInputKey key = ChatInputKey(MemoGo, e);
  if (key.Send) {
    const QPointer<TFormMsg> self(this);
    SendMessage();
    // The refusal box ran its own event loop: the window may be gone.
    if (!self) return true;
  }
  return key.Consumed;
}

void TFormMsg::ShowCharacterCount(const QString& text) {
  Stat->SetPanel(0, "Character Count: " + std::to_string(dialoglook::TextFromMemoSize(text)));
}
