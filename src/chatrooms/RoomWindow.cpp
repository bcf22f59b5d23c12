#include "chatrooms/RoomWindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "chatrooms/RoomFrames.h"
#include "conversations/ChatFonts.h"
#include "conversations/ChatInput.h"
#include "conversations/ChatPickers.h"
#include "conversations/ConversationParts.h"
#include "conversations/Emoticons.h"
#include "conversations/Transcript.h"
#include "conversations/TranscriptControl.h"
#include "conversations/TranscriptWriter.h"
#include "core/DialogLook.h"
#include "core/MainPanels.h"
#include "core/session/DBStuff.h"
#include "core/session/ErrorLog.h"
#include "core/session/Paths.h"
#include "core/session/PeerBounds.h"
#include "core/session/Session.h"
#include "platform/Charset.h"

using platform::ToQString;

namespace {

constexpr int kInTextSound = 3;

}  // namespace

TRoomWindow::TRoomWindow(TSession& session, const Role& role)
    : QWidget(nullptr, Qt::Window), session_(session), role_(role) {
  setObjectName(role.ObjectName);
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(role.Caption);
  setMinimumSize(574, 430);
  dialoglook::ColourForm(this);
  iconsFolder_ = session_.Paths().AppPath + "Icons\\";
  Client = session_.Paths().LoadWindowFont("Client", platform::clBlack);
  Peer = session_.Paths().LoadWindowFont("Peer", platform::clNavy);
  BuildWindow();
}

// ----- the window's parts ------------------------------------------------------------------

void TRoomWindow::BuildWindow() {
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

  ListC = new QTreeWidget(this);
  ListC->setObjectName("ListC");
  ListC->setColumnCount(7);
  ListC->setHeaderLabels({"UserName", "Status", "Address", "Port", "UserID", "Online", "Listing"});
  ListC->setHeaderHidden(true);
  for (int column = 1; column < 7; ++column) ListC->setColumnHidden(column, true);
  ListC->setRootIsDecorated(false);
  ListC->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListC->setFixedWidth(150);
  ListC->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ListC, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) { PopListPopup(at); });

  MemoGo = MakeInput(this, this, Client, [this](const QPoint& at) { PopEditPopup(at); });
  // Whatever changes the input (keys, a picked emoticon, the menu, a send) changes the count.
  connect(MemoGo, &QPlainTextEdit::textChanged, this, [this] { ShowCharacterCount(); });
  ButtonSend = MakeButton("Send", this, [this] { SendText(); });
  ButtonSend->setFixedHeight(60);

  // The frames behind the parts: the light ones hold what is typed and
  // read, the blue ones the list's column and the buttons.
  const QColor window = QApplication::palette().color(QPalette::Base);
  auto* talk = new QHBoxLayout;
  talk->addWidget(Framed(Memo, window), 1);
  talk->addWidget(Framed(Framed(ListC, window), dialoglook::SkyColour()));
  auto* input = new QHBoxLayout;
  input->addWidget(Framed(MemoGo, window), 1);
  input->addWidget(Framed(ButtonSend, dialoglook::PanelColour()));
  auto* statusRow = new QHBoxLayout;
  for (int panel = 0; panel < 3; ++panel) {
    Stat[panel] = new QLabel(this);
    Stat[panel]->setObjectName(QString("Stat%1").arg(panel));
    // A room's name is the host's choice: it never widens the window.
    Stat[panel]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusRow->addWidget(Stat[panel], panel == 1 ? 2 : 1);
  }
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(6, 6, 6, 2);
  outer->addWidget(ImgLogo_);
  outer->addWidget(MemoSys);
  outer->addLayout(talk, 1);
  outer->addWidget(BuildButtons());
  outer->addLayout(input);
  outer->addWidget(dialoglook::MakeCharsetNote(MemoGo));
  outer->addLayout(statusRow);

  PEm = new TEmoticonPicker(iconsFolder_, this);
  PEm->OnPick = [this](int entry) { InsertEmoteCode(entry); };
  PSound = new TSoundPicker(this);
  PSound->HideOnPick = false;
  PSound->OnPick = [this](int index) { SendSound(index); };

  PopFonts_ = MakeFontsMenu(this, [this] { ActionMyFontExecute(); }, [this] { ActionPeerFontExecute(); });
  AddHelpKey(this, [this] { ActionHelpExecute(); });
  Timer1 = MakeFlashTimer(this);
  // The first keys typed into a room go into the input, not the read-only transcript.
  MemoGo->setFocus();
}

QWidget* TRoomWindow::Framed(QWidget* inner, const QColor& colour) {
  auto* frame = new dialoglook::TFramePanel(colour, this);
  auto* box = new QVBoxLayout(frame);
  box->setContentsMargins(5, 5, 5, 5);
  box->addWidget(inner);
  return frame;
}

QWidget* TRoomWindow::BuildButtons() {
  auto* row = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* box = new QHBoxLayout(row);
  box->setContentsMargins(6, 4, 6, 4);
  ButtonEmote = MakeButton("Expressicons", row, [this] { ShowEmoticons(); });
  ButtonSounds = MakeButton("Expressounds", row, [this] { ShowSounds(); });
  ButtonFonts = MakeButton("Fonts    ", row, [this] { PopFonts_->popup(QCursor::pos()); });
  ButtonHelp = MakeButton("Help", row, [this] { ActionHelpExecute(); });
  for (QPushButton* b : {ButtonEmote, ButtonSounds, ButtonFonts}) box->addWidget(b);
  box->addStretch(1);
  box->addWidget(ButtonHelp);
  return row;
}

void TRoomWindow::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  if (shown_) return;
  shown_ = true;
  ImgLogo_->setPixmap(
      QPixmap(QString::fromStdString(platform::PathFromName(session_.Paths().AppPath + "chatlogo.jpg").string())));
}

void TRoomWindow::SaveFonts() {
  session_.Paths().SaveWindowFont("Client", Client);
  session_.Paths().SaveWindowFont("Peer", Peer);
}

// ----- menus ----------------------------------------------------------------------------------

void TRoomWindow::PopEditPopup(const QPoint& at) {
  PopInputMenu(this, MemoGo, at, [this](QMenu& menu) {
    if (!role_.EmoticonSubmenu) {
      menu.addAction("Emoticons", this, [this] { ShowEmoticons(); });
      return;
    }
    QMenu* codes = menu.addMenu("Emoticons");
    for (int i = 0; i < EmoticonCount; ++i)
      // A menu reads "&" as the mark of a shortcut key: ":&" is written ":&&".
      codes->addAction(ToQString(Emoticon[i]).replace('&', "&&"), this, [this, i] { InsertEmoteCode(i); });
  });
}

void TRoomWindow::PopEdit2Popup(const QPoint& at) { PopTranscriptMenu(this, Memo, *Transcript, at, nullptr); }

void TRoomWindow::PopListPopup(const QPoint& at) {
  QMenu menu(this);
  menu.addAction("Add Friend", this, [this] { ActionAddFriendExecute(); });
  menu.addAction("View Profile", this, [this] { ActionViewProfileExecute(); });
  menu.addSeparator();
  menu.addAction("Send Files    ", this, [this] { SendFileToMember("binary"); });
  menu.addAction("Send Image", this, [this] { SendFileToMember("image"); });
  menu.addAction("Send Sound", this, [this] { SendFileToMember("sound"); });
  menu.addAction("Send Cam Broadcast", this, [this] { ActionSendCamExecute(); });
  AddMemberItems(menu);
  const bool selected = SelectedRow().has_value();
  for (QAction* action : menu.actions()) action->setEnabled(selected);
  menu.exec(ListC->viewport()->mapToGlobal(at));
}

// ----- texts --------------------------------------------------------------------------------------

void TRoomWindow::SetStatusText(const std::string& text, int panel) {
  if (panel >= 0 && panel < 3) Stat[panel]->setText(ToQString(CutPeerText(text, 2 * peerbounds::kShownName)));
}

std::string TRoomWindow::StatusText(int panel) const {
  return panel >= 0 && panel < 3 ? platform::FromQString(Stat[panel]->text()) : std::string();
}

void TRoomWindow::AddInfoText(const std::string& text) { MemoSys->appendPlainText(dialoglook::MemoFromText(text)); }

void TRoomWindow::ShowPeerText(const std::string& name, const std::string& text) {
  WriteMessage(name, Peer, text);
  if (!isActiveWindow()) {
    session_.Paths().PlayEventSound(kInTextSound);
    StartFlashing(Timer1);
  }
}

void TRoomWindow::ShowOwnText(const std::string& text) { WriteMessage(OwnName(), Client, text); }

// The sender's name is the sender's choice: its header shows as much of it as a label would.
void TRoomWindow::WriteMessage(const std::string& name, platform::TFont& font, const std::string& text) {
  WriteTranscriptMessage(*Transcript, font, iconsFolder_, CutPeerText(name, peerbounds::kShownName), HeaderTimeNow(),
                         text);
}

// ----- the member list ------------------------------------------------------------------------------

void TRoomWindow::SetMemberItem(QTreeWidgetItem& item, const TRoomMembers::Row& r) {
  using peerbounds::kShownName;
  item.setText(0, ToQString(CutPeerText(r.UserName, kShownName)));
  item.setText(1, ToQString(r.Status));
  item.setText(2, ToQString(CutPeerText(r.IP, kShownName)));
  item.setText(3, ToQString(CutPeerText(r.ListenPort, kShownName)));
  item.setText(4, ToQString(CutPeerText(r.UserID, kShownName)));
  item.setText(5, ToQString(CutPeerText(r.Online, kShownName)));
  item.setText(6, ToQString(CutPeerText(r.Record, peerbounds::kShownText)));
  item.setIcon(0, StatusIcon(r.Image));
}

void TRoomWindow::FillMemberList(const TRoomMembers& members) {
  const std::optional<TRoomMembers::Row> selected = SelectedRow();
  ListC->setUpdatesEnabled(false);
  ListC->clear();
  members_ = &members;
  for (const TRoomMembers::Row& r : members.Rows()) {
    auto* item = new QTreeWidgetItem(ListC);
    SetMemberItem(*item, r);
    if (selected && r.Owner == selected->Owner && r.Record == selected->Record) item->setSelected(true);
  }
  ListC->setUpdatesEnabled(true);
  ShowClientCount();
}

// A join or a leave touches one item: filling the whole list anew for each
// made a crowd's joins cost the square of its size.
void TRoomWindow::InsertMemberRow(const TRoomMembers& members, int index) {
  members_ = &members;
  auto* item = new QTreeWidgetItem;
  SetMemberItem(*item, members.Rows()[static_cast<std::size_t>(index)]);
  ListC->insertTopLevelItem(index, item);
  ShowClientCount();
}

void TRoomWindow::RemoveMemberRow(int index) {
  delete ListC->takeTopLevelItem(index);
  ShowClientCount();
}

void TRoomWindow::ShowClientCount() { SetStatusText("Client Count: " + std::to_string(ClientCount()), 2); }

std::optional<TRoomMembers::Row> TRoomWindow::SelectedRow() const {
  for (int i = 0; i < ListC->topLevelItemCount(); ++i) {
    if (!ListC->topLevelItem(i)->isSelected()) continue;
    if (members_ == nullptr || i >= members_->Count()) return std::nullopt;
    return members_->Rows()[static_cast<std::size_t>(i)];
  }
  return std::nullopt;
}

void TRoomWindow::LogMenuError(const char* failure) { LogError("", "", std::string("ChatServer Error: ") + failure); }

void TRoomWindow::ActionAddFriendExecute() {
  const std::optional<TRoomMembers::Row> row = SelectedRow();
  if (!row) return;
  try {
    session_.DB().AddFriend(row->UserID, row->UserName, row->IP, row->ListenPort);
  } catch (const std::exception&) {
    LogMenuError(role_.Failures.AddFriend);
  }
}

void TRoomWindow::ActionViewProfileExecute() {
  const std::optional<TRoomMembers::Row> row = SelectedRow();
  if (!row) return;
  try {
    session_.ShowUserProfilePage(row->UserID, row->UserName);
  } catch (const std::exception&) {
    LogMenuError(role_.Failures.ViewProfile);
  }
}

void TRoomWindow::SendFileToMember(const std::string& kind) {
  const std::optional<TRoomMembers::Row> row = SelectedRow();
  if (!row) return;
  TContact contact{row->UserName, row->Image, row->Status, row->IP, row->ListenPort, row->UserID, "1"};
  const TContactCommand command = kind == "image"   ? TContactCommand::SendImage
                                  : kind == "sound" ? TContactCommand::SendSound
                                                    : TContactCommand::SendFile;
  try {
    session_.RunContactCommand(command, contact);
  } catch (const std::exception&) {
    LogMenuError(kind == "image"   ? role_.Failures.ImageOut
                 : kind == "sound" ? role_.Failures.SoundOut
                                   : role_.Failures.FileOut);
  }
}

void TRoomWindow::ActionSendCamExecute() {
  const std::optional<TRoomMembers::Row> row = SelectedRow();
  if (!row) return;
  TContact contact{row->UserName, row->Image, row->Status, row->IP, row->ListenPort, row->UserID, "1"};
  try {
    session_.RunContactCommand(TContactCommand::CamBroadcast, contact);
  } catch (const std::exception&) {
    LogMenuError(role_.Failures.CamOut);
  }
}

// ----- what the user does ------------------------------------------------------------------------------

void TRoomWindow::InsertEmoteCode(int entry) { InsertEmoticon(MemoGo, PEm, entry); }

void TRoomWindow::ShowEmoticons() { PopEmoticons(this, ButtonEmote, PEm, PSound, role_.FocusesEmoticons); }

// The arrow keys pick from the tree as soon as it shows.
void TRoomWindow::ShowSounds() {
  PopSounds(this, ButtonSounds, MemoSys, 30, PSound, PEm);
  PSound->TreeSounds->setFocus();
}

void TRoomWindow::ActionMyFontExecute() {
  if (!ChooseFont(this, Client)) return;
  ApplyFont(MemoGo, Client);
}

void TRoomWindow::ActionPeerFontExecute() { ChooseFont(this, Peer); }

void TRoomWindow::ActionHelpExecute() { session_.ShowHelpTopic(role_.HelpTopic); }

// ----- keys ------------------------------------------------------------------------------------------------

bool TRoomWindow::eventFilter(QObject* watched, QEvent* e) {
  if (watched == MemoGo) return InputKey(e);
  if (watched == Memo) return TranscriptKey(e);
  return QWidget::eventFilter(watched, e);
}

bool TRoomWindow::InputKey(QEvent* e) {
  const TInputKey key = ChatInputKey(MemoGo, e);
  if (key.Send) {
    const QPointer<TRoomWindow> self(this);
    SendText();
    // A refusal box ran its own event loop: the window may be gone.
    if (!self) return true;
  }
  return key.Consumed;
}

bool TRoomWindow::TranscriptKey(QEvent* e) { return TranscriptTypingKey(e); }

void TRoomWindow::ShowCharacterCount() {
  SetStatusText("Character Count: " + std::to_string(dialoglook::TextFromMemoSize(MemoGo->toPlainText())), 0);
}
