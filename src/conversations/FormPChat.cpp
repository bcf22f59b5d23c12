#include "conversations/FormPChat.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "conversations/CamTestHooks.h"
#include "conversations/ChatCam.h"
#include "conversations/ChatFonts.h"
#include "conversations/ChatInput.h"
#include "conversations/FormCamView.h"
#include "conversations/ChatPickers.h"
#include "conversations/ChatStatusBar.h"
#include "conversations/ConversationParts.h"
#include "conversations/Transcript.h"
#include "conversations/TranscriptWriter.h"
#include "core/DialogLook.h"
#include "core/session/ErrorLog.h"
#include "core/session/Paths.h"
#include "core/session/PeerBounds.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"
#include "core/session/TestHooks.h"
#include "platform/Charset.h"
#include "platform/DesktopPrompts.h"
#include "platform/FileNames.h"
#include "platform/Stream.h"
#include "transport/ParloSocket.h"

using platform::ToQString;

namespace {

constexpr int kInTextSound = 3;  // text received while the window is not in front
constexpr int kHelpTopic = 3;    // the private-chat page

}  // namespace

TFormPChat::TFormPChat(TSession& session, std::unique_ptr<TParloSocket> socket)
    : QWidget(nullptr, Qt::Window), session_(session) {
  setObjectName("FormPChat");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Private Chat");
  setMinimumSize(594, 430);
  dialoglook::ColourForm(this);
  iconsFolder_ = session_.Paths().AppPath + "Icons\\";
  Client = session_.Paths().LoadWindowFont("Client", platform::clBlack);
  Peer = session_.Paths().LoadWindowFont("Peer", platform::clNavy);

  TPrivateChatHost host;
  host.LogError = [](const std::string& addr, const std::string& port, const std::string& message) {
    LogError(addr, port, message);
  };
  host.PlayEventSound = [this](int event) { session_.Paths().PlayEventSound(event); };
  host.PlayChatSound = [this](int index) { session_.Paths().PlayChatSound(index); };
  host.Beep = [] { platform::Beep(); };
  host.CamOffer = [this](const std::string& params) {
    const platform::TQuestionsAbout about(this);
    if (cam_) cam_->HandleCamOffer(params);
  };
  host.LinkClosed = [this] {
    if (cam_) cam_->CloseCam();
  };
  chat_ = std::make_unique<TPrivateChat>(*this, std::move(host), std::move(socket));

  BuildWindow();
  BuildMenus();
  // The first keys typed into a new chat go into the input.
  MemoGo->setFocus();
  AskSaveChat = [this] {
    return session_.Prompts().AskYesNo("Would you like to save this chat session?", "Save Chat?", false);
  };
  // Begun in the user's own folder; a name typed without an extension is a
  // text file, and one that is there already is replaced only when the user says so.
  AskSaveName = [](std::string& fileName) {
    const std::string home =
        platform::NameFromPath(std::filesystem::path(QFile::encodeName(QDir::homePath()).toStdString()));
    return platform::AskSaveFileName("Save Chat Session?", "Text Files (*.txt)|*.txt", home, fileName, "txt");
  };
}

TFormPChat::~TFormPChat() {
  try {
    // The chat goes first: its link must not call into a half-destroyed window.
    chat_.reset();
  } catch (const std::exception&) {
    LogError("None", "None", "PChat Destruction Error");
  }
}

// ----- the window's parts ------------------------------------------------------------------

void TFormPChat::BuildWindow() {
  ImgLogo_ = new QLabel(this);
  ImgLogo_->setFixedHeight(60);
  MemoSys = new QPlainTextEdit(this);
  MemoSys->setObjectName("MemoSys");
  MemoSys->setReadOnly(true);
  MemoSys->setEnabled(false);
  MemoSys->setFixedHeight(64);
  MemoSys->setMaximumBlockCount(peerbounds::kSystemLines);

  const TTranscriptControl control = MakeTranscript(this, this, [this](const QPoint& at) { PopEdit2Popup(at); });
  Memo = control.Widget;
  Transcript = control.Transcript;
  MemoGo = MakeInput(this, this, Client, [this](const QPoint& at) { PopEditPopup(at); });

  ButtonSend = MakeButton("Send", this, [this] { SendText(); });
  ButtonSend->setFixedHeight(60);

  Stat = new TChatStatusBar(this);
  LayOutConversation(this, {ImgLogo_, MemoSys}, Memo, BuildButtons(), MemoGo, ButtonSend, BuildSideButtons(), Stat,
                     [this](const QString& text) { ShowCharacterCount(text); });

  PEm = new TEmoticonPicker(iconsFolder_, this);
  PEm->OnPick = [this](int entry) { InsertEmoteCode(entry); };
  PSound = new TSoundPicker(this);
  PSound->OnPick = [this](int index) { SendChatSound(index); };

  Timer1 = MakeFlashTimer(this);
}

QWidget* TFormPChat::BuildButtons() {
  auto* row = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* box = new QHBoxLayout(row);
  box->setContentsMargins(6, 4, 6, 4);
  ButtonEmote = MakeButton("Expressicons", row, [this] { ShowEmoticons(); });
  ButtonSounds = MakeButton("Expressounds", row, [this] { ShowSounds(); });
  ButtonFonts = MakeButton("Fonts", row, [this] { PopFonts->popup(QCursor::pos()); });
  ButtonBlock = MakeButton("Block", row, [this] { BlockClick(); });
  for (QPushButton* b : {ButtonEmote, ButtonSounds, ButtonFonts}) box->addWidget(b);
  box->addStretch(1);
  box->addWidget(ButtonBlock);
  return row;
}

QWidget* TFormPChat::BuildSideButtons() {
  auto* column = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* box = new QVBoxLayout(column);
  box->setContentsMargins(8, 8, 8, 8);
  ImgCam = new TCamPictureLabel(column);
  ImgCam->setFixedSize(160, 120);
  ImgCam->setScaledContents(true);
  ImgCam->setStyleSheet("background: black");
  ImgCam->DoubleClicked = [this] {
    if (cam_) cam_->ActionSaveCamExecute();
  };
  StatCam = new QLabel(" Not receiving cam images...", column);
  // The column keeps the width its first text gives it: were it to follow
  // each cam status, the transcript beside it would rewrap and lose the
  // reader's place. A longer status wraps instead.
  StatCam->setMinimumWidth(StatCam->sizeHint().width());
  QSizePolicy statusPolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  statusPolicy.setHeightForWidth(true);
  StatCam->setSizePolicy(statusPolicy);
  StatCam->setWordWrap(true);
  box->addWidget(ImgCam);
  box->addWidget(StatCam);
  box->addSpacing(8);
  box->addWidget(MakeButton("Send Files", column, [this] { SendFileToPeer("binary"); }));
  box->addWidget(MakeButton("Send Image", column, [this] { SendFileToPeer("image"); }));
  box->addWidget(MakeButton("Send Sound", column, [this] { SendFileToPeer("sound"); }));
  ButtonSendCam = MakeButton("Send Cam Broadcast", column, [this] {
    if (cam_) cam_->ActionSendCamExecute();
  });
  ButtonSaveCam = MakeButton("Save Cam Images", column, [this] {
    if (cam_) cam_->ActionSaveCamExecute();
  });
  // Until the program's cam routes are attached there is no cam to offer.
  ButtonSendCam->setEnabled(false);
  ButtonSaveCam->setEnabled(false);
  box->addWidget(ButtonSendCam);
  box->addWidget(ButtonSaveCam);
  box->addSpacing(12);
  box->addWidget(MakeButton("Add Friend", column, [this] { ActionAddFriendExecute(); }));
  box->addWidget(MakeButton("View Profile", column, [this] { ActionViewProfileExecute(); }));
  box->addStretch(1);
  box->addWidget(MakeButton("Help", column, [this] { ActionHelpExecute(); }));
  return column;
}

void TFormPChat::BuildMenus() {
  PopFonts = MakeFontsMenu(this, [this] { ActionMyFontExecute(); }, [this] { ActionPeerFontExecute(); });
  AddHelpKey(this, [this] { ActionHelpExecute(); });
}

void TFormPChat::PopEditPopup(const QPoint& at) {
  PopInputMenu(this, MemoGo, at, [this](QMenu& menu) { menu.addAction("Emoticons", this, [this] { ShowEmoticons(); }); });
}

void TFormPChat::PopEdit2Popup(const QPoint& at) {
  PopTranscriptMenu(this, Memo, *Transcript, at, [this](QMenu& menu) {
    menu.addSeparator();
    menu.addAction("Save Chat Session", this, [this] { SaveChat(); });
  });
}

// ----- the main window's calls --------------------------------------------------------------

void TFormPChat::AttachCam(TCamRoutes& routes) {
  TChatCamHost h;
  h.ChatConnected = [this] { return chat_->Connected(); };
  h.SendOnChat = [this](int code, const std::string& params) { chat_->Socket().SendCommand(code, params, ""); };
  h.PeerAddr = [this] { return chat_->PeerAddr(); };
  h.PeerUserName = [this] { return chat_->Peer().UserName; };
  h.PeerListenPort = [this] { return chat_->Peer().ListenPort; };
  h.Own = [this] { return chat_->Own(); };
  h.Status = [this](const std::string& text) { StatCam->setText(ToQString(" " + text)); };
  h.Picture = [this](const QImage& picture) {
    TraceCamPicture(*this, picture);
    if (picture.isNull()) ImgCam->clear();
    else ImgCam->setPixmap(QPixmap::fromImage(picture));
  };
  h.DisableSendCam = [this] { ButtonSendCam->setEnabled(false); };
  h.Beep = [] { platform::Beep(); };
  cam_ = std::make_unique<TChatCam>(session_, routes, std::move(h));
  ButtonSendCam->setEnabled(true);
  ButtonSaveCam->setEnabled(true);
}

void TFormPChat::SetOwnProfile(const std::string& record) { chat_->SetOwnProfile(record); }

void TFormPChat::ConnectToPeer(const std::string& peerName, const std::string& addr, const std::string& port) {
  chat_->SetPeerUserName(peerName);
  AddSystemLine("Attempting connection to " + chat_->PeerName());
  show();
  chat_->ConnectToPeer(addr, port);
}

void TFormPChat::AcceptIncomingChat(const std::string& peerRecord) {
  show();
  raise();
  activateWindow();
  chat_->AcceptIncomingChat(peerRecord);
}

void TFormPChat::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  if (shown_) return;
  shown_ = true;
  const QPixmap logo(QString::fromStdString(platform::PathFromName(session_.Paths().AppPath + "chatlogo.jpg").string()));
  ImgLogo_->setPixmap(logo);
  chat_->SetWaitTimer(session_.Settings.WaitTimer);
  chat_->SetCountdownInterval(testhooks::IntervalMs("PARLO_TEST_PCHAT_TICK_MS", 1000));
  SetPanel(0, "Character Count: 0");
}

// Closing is never refused: the link goes, the fonts are kept, and a
// transcript with messages may be saved first.
void TFormPChat::closeEvent(QCloseEvent* e) {
  const QPointer<TFormPChat> self(this);
  try {
    chat_->Close();
    if (cam_) cam_->CloseCam();
    session_.Paths().SaveWindowFont("Client", Client);
    session_.Paths().SaveWindowFont("Peer", Peer);
    const platform::TQuestionsAbout about(this);
    if (Transcript->GetModified() && AskSaveChat && AskSaveChat() && self) SaveChat();
  } catch (const std::exception&) {
    LogError("None", "None", "PChat Closing Query");
  }
  e->accept();
}

// ----- what the chat shows ---------------------------------------------------------------------

void TFormPChat::AddSystemLine(const std::string& text) { MemoSys->appendPlainText(dialoglook::MemoFromText(text)); }

void TFormPChat::SetCaption(const std::string& caption) {
  setWindowTitle(ToQString(caption));
}

void TFormPChat::SetPanel(int panel, const std::string& text) {
  Stat->SetPanel(panel, text);
  if (panel == 2) Stat->SetStateImage(chat_->ChatState());
}

void TFormPChat::ShowPeerText(const std::string& text) {
  if (text.empty()) return;
  WriteMessage(chat_->PeerName(), Peer, text);
  if (!isActiveWindow()) {
    session_.Paths().PlayEventSound(kInTextSound);
    StartFlashing(Timer1);
  }
}

void TFormPChat::ShowOwnText(const std::string& text) { WriteMessage(chat_->Own().UserName, Client, text); }

void TFormPChat::WriteMessage(const std::string& name, platform::TFont& font, const std::string& text) {
  WriteTranscriptMessage(*Transcript, font, iconsFolder_, name, HeaderTimeNow(), text);
}

void TFormPChat::ShowInformation(const std::string& text, const std::string& caption) {
  session_.Prompts().ShowInformation(text, caption);
}

// ----- what the user does ------------------------------------------------------------------------

void TFormPChat::SendText() {
  if (!chat_->SendText(dialoglook::TextFromMemo(MemoGo->toPlainText()))) return;
  ClearInput(MemoGo);
}

void TFormPChat::InsertEmoteCode(int entry) { InsertEmoticon(MemoGo, PEm, entry); }

void TFormPChat::SendChatSound(int index) { chat_->SendChatSound(index); }

void TFormPChat::ShowEmoticons() { PopEmoticons(this, ButtonEmote, PEm, PSound); }

void TFormPChat::ShowSounds() { PopSounds(this, ButtonSounds, MemoSys, 4, PSound, PEm); }

bool TFormPChat::SaveChat() {
  std::string fileName;
  if (!AskSaveName || !AskSaveName(fileName)) return false;
  try {
    const std::string text = TranscriptFileText(*Transcript);
    platform::ReplaceFile(fileName, text.data(), text.size());
    Transcript->SetModified(false);
    return true;
  } catch (const std::exception& e) {
    LogError("None", "None", std::string("Saving the chat session: ") + e.what());
    session_.Prompts().ShowError("The chat session could not be saved:\n" + std::string(e.what()), "Save Chat");
    return false;
  }
}

void TFormPChat::ActionMyFontExecute() {
  if (!ChooseFont(this, Client)) return;
  ApplyFont(MemoGo, Client);
}

void TFormPChat::ActionPeerFontExecute() { ChooseFont(this, Peer); }

void TFormPChat::BlockClick() {
  const TChatProfile& peer = chat_->Peer();
  if (!peer.UserID.empty()) session_.BlockUser(peer.UserID, peer.UserName);
}

void TFormPChat::ActionAddFriendExecute() {
  const TChatProfile& peer = chat_->Peer();
  session_.AddFriend(peer.UserID, peer.UserName, chat_->PeerAddr(), peer.ListenPort);
}

void TFormPChat::ActionViewProfileExecute() {
  TContact contact;
  contact.UserID = chat_->Peer().UserID;
  contact.UserName = chat_->Peer().UserName;
  session_.RunContactCommand(TContactCommand::Profile, contact);
}

void TFormPChat::ActionHelpExecute() { session_.ShowHelpTopic(kHelpTopic); }

void TFormPChat::SendFileToPeer(const std::string& kind) {
  if (!chat_->Connected()) return;
  TContact contact;
  contact.UserID = chat_->Peer().UserID;
  contact.UserName = chat_->Peer().UserName;
  contact.ListenIP = chat_->PeerAddr();
  contact.ListenPort = chat_->Peer().ListenPort;
  contact.Online = "1";
  const TContactCommand command = kind == "image"   ? TContactCommand::SendImage
                                  : kind == "sound" ? TContactCommand::SendSound
                                                    : TContactCommand::SendFile;
  session_.RunContactCommand(command, contact);
}

// ----- keys ---------------------------------------------------------------------------------------

bool TFormPChat::eventFilter(QObject* watched, QEvent* e) {
  if (watched == MemoGo && e->type() == QEvent::KeyPress) return MemoGoKeyPress(e);
  if (watched == MemoGo && e->type() == QEvent::KeyRelease) return MemoGoKeyUp(e);
  if (watched == Memo && e->type() == QEvent::KeyPress) return MemoKeyPress(e);
  return QWidget::eventFilter(watched, e);
}

bool TFormPChat::MemoGoKeyPress(QEvent* e) { return ChatInputKey(MemoGo, e).Consumed; }

bool TFormPChat::MemoGoKeyUp(QEvent* e) {
  const TInputKey key = ChatInputKey(MemoGo, e);
  if (key.Send) {
    const QPointer<TFormPChat> self(this);
    SendText();
    // The refusal box ran its own event loop: the window may be gone.
    if (!self) return true;
    chat_->StopTypingNotice();
  } else if (key.Typed && chat_->Authorized()) {
    chat_->NotifyTyping();
  }
  return key.Consumed;
}

bool TFormPChat::MemoKeyPress(QEvent* e) { return TranscriptTypingKey(e); }

void TFormPChat::ShowCharacterCount(const QString& text) {
  SetPanel(0, "Character Count: " + std::to_string(dialoglook::TextFromMemoSize(text)));
}
