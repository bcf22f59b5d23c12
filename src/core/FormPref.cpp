#include "core/FormPref.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/DialogLook.h"
#include "core/OpenForms.h"
#include "core/session/ErrorLog.h"
#include "core/session/Paths.h"
#include "core/session/Registration.h"
#include "core/session/Session.h"
#include "platform/Charset.h"
#include "platform/FileNames.h"
#include "platform/QuestionBoxes.h"
#include "platform/StringList.h"

using platform::FromQString;
using platform::ToQString;

namespace {

constexpr const char* kOnlyFriends = "Apply only to users in my friends list.";

QGroupBox* Group(const char* title, QWidget* page) {
  auto* box = new QGroupBox(title, page);
  page->layout()->addWidget(box);
  return box;
}

// A group whose children stand one under another.
QGroupBox* StackGroup(const char* title, QWidget* page) {
  auto* box = Group(title, page);
  new QVBoxLayout(box);
  return box;
}

QCheckBox* Check(const char* caption, QWidget* box) {
  auto* check = new QCheckBox(caption, box);
  box->layout()->addWidget(check);
  return check;
}

QSpinBox* UpDown(int low, int high, QWidget* parent) {
  auto* spin = new QSpinBox(parent);
  spin->setRange(low, high);
  return spin;
}

}  // namespace

TFormPref* TFormPref::ActionPrefExecute(TSession& session) {
  return ShowSingleForm<TFormPref>("FormPref", [&session] { return new TFormPref(session); });
}

QWidget* TFormPref::AddPage(const char* entry) {
  new QTreeWidgetItem(Tree, QStringList{entry});
  auto* page = new QWidget(Page);
  page->setObjectName(QStringLiteral("Tab%1").arg(Page->count()));
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(6, 6, 6, 6);
  Page->addWidget(page);
  return page;
}

// A dialog border: no sizing, no minimise or maximise box.
TFormPref::TFormPref(TSession& session, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      Session(session) {
  setObjectName("FormPref");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Parlo - Preferences");
  dialoglook::ColourForm(this);
  ShowMessage = [this](const std::string& text, const std::string& caption) {
    platform::RunMessageBox(QMessageBox::Information, ToQString(caption), ToQString(text), QMessageBox::Ok, this);
  };

  auto* panel = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* body = new QHBoxLayout(panel);
  body->setContentsMargins(10, 10, 10, 10);
  Tree = new QTreeWidget(panel);
  Tree->setHeaderHidden(true);
  Tree->setRootIsDecorated(false);
  Tree->setFixedWidth(140);
  Page = new QStackedWidget(panel);
  body->addWidget(Tree);
  body->addWidget(Page, 1);

  // Timeout Settings
  QWidget* page = AddPage("Timeout Settings");
  auto* busy = Group("Busy Messages", page);
  auto* busyRow = new QFormLayout(busy);
  UpDownBusy = UpDown(10, 180, busy);
  UpDownBusy->findChild<QLineEdit*>()->setReadOnly(true);
  busyRow->addRow("Seconds before answering busy:", UpDownBusy);
  auto* wait = Group("Wait for Answer", page);
  auto* waitRow = new QFormLayout(wait);
  UpDownWait = UpDown(10, 180, wait);
  waitRow->addRow("Seconds to wait for an answer:", UpDownWait);

  // Application
  page = AddPage("Application");
  auto* startup = StackGroup("Application Startup", page);
  RadioShow = new QRadioButton("Show the main window when application starts.", startup);
  RadioHideApp = new QRadioButton("Hide the main window when application starts.", startup);
  startup->layout()->addWidget(RadioShow);
  startup->layout()->addWidget(RadioHideApp);
  auto* desktop = StackGroup("Windows Startup", page);
  CheckWinStart = Check("Start Parlo when Windows starts.", desktop);

  // Sound Events
  page = AddPage("Sound Events");
  auto* sounds = Group("Sound Event Settings", page);
  auto* soundBox = new QVBoxLayout(sounds);
  CheckNoSound = new QCheckBox("Do not play any sounds for any events.", sounds);
  ListSound = new QTreeWidget(sounds);
  ListSound->setHeaderLabels({"Event", "Sound"});
  ListSound->setColumnWidth(0, 180);
  ListSound->setRootIsDecorated(false);
  ComboSounds = new QComboBox(sounds);
  SpeedPreview = new QToolButton(sounds);
  SpeedPreview->setText("Preview");
  SpeedPreview->setToolTip("Preview Sound");
  SpeedApply = new QToolButton(sounds);
  SpeedApply->setText("Apply");
  SpeedApply->setToolTip("Apply Sound Event");
  SpeedApply->setEnabled(false);
  auto* soundRow = new QHBoxLayout;
  soundRow->addWidget(ComboSounds, 1);
  soundRow->addWidget(SpeedPreview);
  soundRow->addWidget(SpeedApply);
  soundBox->addWidget(CheckNoSound);
  soundBox->addWidget(ListSound);
  soundBox->addLayout(soundRow);

  // Auto-Accept
  page = AddPage("Auto-Accept");
  auto* pchat = StackGroup("Private Chat Auto Accept", page);
  CheckAutoPChat = Check("Automatically accept private chat requests.", pchat);
  CheckAutoPChatOnly = Check(kOnlyFriends, pchat);
  auto* cam = StackGroup("WebCam Auto Accept", page);
  CheckAutoInCam = Check("Automatically accept invitations to view cam.", cam);
  CheckAutoInCamOnly = Check(kOnlyFriends, cam);
  CheckAutoOutCam = Check("Automatically allow other users to view your cam.", cam);
  CheckAutoOutCamOnly = Check(kOnlyFriends, cam);

  // Blocking
  page = AddPage("Blocking");
  auto* blocked = StackGroup("Blocked Users", page);
  ListBlocked = new QTreeWidget(blocked);
  ListBlocked->setHeaderLabels({"User ID Number", "Username"});
  ListBlocked->setColumnWidth(0, 130);
  ListBlocked->setRootIsDecorated(false);
  ListBlocked->setSelectionBehavior(QAbstractItemView::SelectRows);
  SpeedBlocked = new QPushButton("Remove User from Blocked List", blocked);
  SpeedBlocked->setEnabled(false);
  blocked->layout()->addWidget(ListBlocked);
  blocked->layout()->addWidget(SpeedBlocked);

  // Messages
  page = AddPage("Messages");
  auto* history = StackGroup("History Logging", page);
  CheckLogHistory = Check("Log a history of text messages to a viewable file.", history);
  CheckLogHistoryOnly = Check(kOnlyFriends, history);
  auto* received = StackGroup("Received Messages", page);
  CheckShowMsg = Check("Show Message window when a message comes in.", received);
  CheckMinMsg = Check("Minimize window when creating window.", received);

  // Privacy
  page = AddPage("Privacy");
  auto* privacy = Group("Password Protection", page);
  auto* privacyRows = new QFormLayout(privacy);
  EditUserID = new QLineEdit(privacy);
  EditUserPass = new QLineEdit(privacy);
  EditUserPass->setEchoMode(QLineEdit::Password);
  EditUserPass->installEventFilter(this);
  CheckRemUserPass = new QCheckBox("Remember my User Password", privacy);
  CheckRequireStartPass = new QCheckBox("Require Password to startup Parlo", privacy);
  EditStartPass = new QLineEdit(privacy);
  EditStartPass->setEchoMode(QLineEdit::Password);
  CheckRemStartPass = new QCheckBox("Remember my Startup Password", privacy);
  privacyRows->addRow("User ID Number:", EditUserID);
  privacyRows->addRow("User Password:", EditUserPass);
  privacyRows->addRow(CheckRemUserPass);
  privacyRows->addRow(CheckRequireStartPass);
  privacyRows->addRow("Start Password:", EditStartPass);
  privacyRows->addRow(CheckRemStartPass);

  // Hosted Chats
  page = AddPage("Hosted Chats");
  auto* hosting = Group("Multi-User Chat Hosting", page);
  auto* hostingRows = new QFormLayout(hosting);
  CheckChatLimit = new QCheckBox("Limit my hosted chats to", hosting);
  UpDownChat = UpDown(3, 20, hosting);
  UpDownChat->setSuffix(" users");
  EditChatPort = new QLineEdit(hosting);
  hostingRows->addRow(CheckChatLimit, UpDownChat);
  hostingRows->addRow("Default hosting port:", EditChatPort);
  auto* available = StackGroup("Multi-User Chat Availability", page);
  CheckChatYes = Check("Make me available for multi-user chat requests.", available);
  CheckChatYesOnly = Check(kOnlyFriends, available);

  // Advanced
  page = AddPage("Advanced");
  auto* server = Group("Server Settings", page);
  auto* serverRows = new QFormLayout(server);
  auto* warning = new QLabel("Do not change these settings unless you are sure you know what you are doing.", server);
  warning->setWordWrap(true);
  EditServerIP = new QLineEdit(server);
  EditServerPort = new QLineEdit(server);
  CheckAutoLogon = new QCheckBox("Log on to server when program starts.", server);
  CheckAutoUpdate = new QCheckBox("Check for updates when loggin on.", server);
  serverRows->addRow(warning);
  serverRows->addRow("Address:", EditServerIP);
  serverRows->addRow("Port:", EditServerPort);
  serverRows->addRow(CheckAutoLogon);
  serverRows->addRow(CheckAutoUpdate);
  auto* listen = Group("Listen Settings", page);
  auto* listenRows = new QFormLayout(listen);
  EditListenPort = new QLineEdit(listen);
  CheckAutoListen = new QCheckBox("Start listening when program starts.", listen);
  listenRows->addRow("Port:", EditListenPort);
  listenRows->addRow(CheckAutoListen);

  for (int i = 0; i < Page->count(); ++i)
    static_cast<QVBoxLayout*>(Page->widget(i)->layout())->addStretch();

  Button1 = new QPushButton("Apply", this);
  Button2 = new QPushButton("Cancel", this);
  SpeedButton2 = new QPushButton("Help", this);
  dialoglook::PanelOverButtons(this, panel, {SpeedButton2}, {Button1, Button2});
  // Speed buttons: the mouse's alone, never in the keyboard's round.
  for (QWidget* speed : std::initializer_list<QWidget*>{SpeedButton2, SpeedPreview, SpeedApply, SpeedBlocked})
    speed->setFocusPolicy(Qt::NoFocus);
  setFixedSize(600, 420);
  dialoglook::CentreOnScreen(this);

  Tree->setCurrentItem(Tree->topLevelItem(0));
  Page->setCurrentIndex(0);
  connect(Tree, &QTreeWidget::currentItemChanged, this, &TFormPref::TreeChange);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, &QWidget::close);
  connect(SpeedButton2, &QPushButton::clicked, this, [this] { Session.ShowHelpTopic(4); });
  const std::pair<QCheckBox*, void (TFormPref::*)()> masters[] = {
      {CheckAutoPChat, &TFormPref::CheckAutoPChatClick},
      {CheckAutoInCam, &TFormPref::CheckAutoInCamClick},
      {CheckAutoOutCam, &TFormPref::CheckAutoOutCamClick},
      {CheckLogHistory, &TFormPref::CheckLogHistoryClick},
      {CheckShowMsg, &TFormPref::CheckShowMsgClick},
      {CheckChatYes, &TFormPref::CheckChatYesClick},
      {CheckRequireStartPass, &TFormPref::CheckRequireStartPassClick},
      {CheckChatLimit, &TFormPref::CheckChatLimitClick},
      {CheckNoSound, &TFormPref::CheckNoSoundClick}};
  for (const auto& [master, click] : masters) connect(master, &QCheckBox::toggled, this, click);
  connect(ListSound, &QTreeWidget::itemClicked, this, [this] { ListSoundClick(); });
  connect(SpeedApply, &QToolButton::clicked, this, [this] { SpeedApplyClick(); });
  connect(SpeedPreview, &QToolButton::clicked, this, [this] { SpeedPreviewClick(); });
  connect(ListBlocked, &QTreeWidget::itemSelectionChanged, this, &TFormPref::ListBlockedClick);
  connect(SpeedBlocked, &QPushButton::clicked, this, [this] { SpeedBlockedClick(); });

  LoadPreferences();
  LoadBlockedList();
  FillSoundChoices();
  FillSoundEvents();
}

TFormPref::~TFormPref() = default;

void TFormPref::TreeChange() { Page->setCurrentIndex(Tree->indexOfTopLevelItem(Tree->currentItem())); }

void TFormPref::CheckAutoPChatClick() { CheckAutoPChatOnly->setEnabled(CheckAutoPChat->isChecked()); }
void TFormPref::CheckAutoInCamClick() { CheckAutoInCamOnly->setEnabled(CheckAutoInCam->isChecked()); }
void TFormPref::CheckAutoOutCamClick() { CheckAutoOutCamOnly->setEnabled(CheckAutoOutCam->isChecked()); }
void TFormPref::CheckLogHistoryClick() { CheckLogHistoryOnly->setEnabled(CheckLogHistory->isChecked()); }
void TFormPref::CheckShowMsgClick() { CheckMinMsg->setEnabled(CheckShowMsg->isChecked()); }
void TFormPref::CheckChatYesClick() { CheckChatYesOnly->setEnabled(CheckChatYes->isChecked()); }
void TFormPref::CheckChatLimitClick() { UpDownChat->setEnabled(CheckChatLimit->isChecked()); }

void TFormPref::CheckRequireStartPassClick() {
  CheckRemStartPass->setEnabled(CheckRequireStartPass->isChecked());
  EditStartPass->setEnabled(CheckRequireStartPass->isChecked());
}

void TFormPref::CheckNoSoundClick() {
  const bool sound = !CheckNoSound->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{ListSound, ComboSounds, SpeedPreview, SpeedApply})
    w->setEnabled(sound);
}

void TFormPref::LoadPreferences() {
  shown_ = TPreferences::Read();
  const TPreferenceValues& v = shown_;
  UpDownBusy->setValue(v.BusyTimer);
  UpDownWait->setValue(v.WaitTimer);
  (v.HideAppStart ? RadioHideApp : RadioShow)->setChecked(true);
  CheckWinStart->setChecked(v.WindowsStart);
  CheckNoSound->setChecked(v.NoSound);
  CheckAutoPChat->setChecked(v.AutoPChat);
  CheckAutoPChatOnly->setChecked(v.AutoPChatOnly);
  CheckAutoInCam->setChecked(v.AutoInCam);
  CheckAutoInCamOnly->setChecked(v.AutoInCamOnly);
  CheckAutoOutCam->setChecked(v.AutoOutCam);
  CheckAutoOutCamOnly->setChecked(v.AutoOutCamOnly);
  CheckLogHistory->setChecked(v.LogHistory);
  CheckLogHistoryOnly->setChecked(v.LogHistoryOnly);
  CheckShowMsg->setChecked(v.ShowMsg);
  CheckMinMsg->setChecked(v.MinMsg);
  EditUserID->setText(ToQString(v.UserID));
  EditUserPass->setText(ToQString(v.UserPass));
  CheckRemUserPass->setChecked(v.RemUserPass);
  CheckRequireStartPass->setChecked(v.RequireStartPass);
  EditStartPass->setText(ToQString(v.StartupPass));
  CheckRemStartPass->setChecked(v.RemStartPass);
  CheckChatLimit->setChecked(v.ChatLimit);
  UpDownChat->setValue(v.ChatLimitCount);
  EditChatPort->setText(ToQString(v.ChatPort));
  CheckChatYes->setChecked(v.ChatYes);
  CheckChatYesOnly->setChecked(v.ChatYesOnly);
  EditServerIP->setText(ToQString(v.ServerIP));
  EditServerPort->setText(ToQString(v.ServerPort));
  CheckAutoLogon->setChecked(v.AutoLogon);
  CheckAutoUpdate->setChecked(v.AutoUpdate);
  EditListenPort->setText(ToQString(v.ListenPort));
  CheckAutoListen->setChecked(v.AutoListen);
  // A box that kept its state sent no click.
  for (const auto click : {&TFormPref::CheckAutoPChatClick, &TFormPref::CheckAutoInCamClick,
                           &TFormPref::CheckAutoOutCamClick, &TFormPref::CheckLogHistoryClick,
                           &TFormPref::CheckShowMsgClick, &TFormPref::CheckChatYesClick,
                           &TFormPref::CheckRequireStartPassClick, &TFormPref::CheckChatLimitClick})
    (this->*click)();
  // Sound on leaves the sound controls as they are: "Apply" there waits for a row.
  if (v.NoSound) CheckNoSoundClick();
}

void TFormPref::LoadBlockedList() {
  ListBlocked->clear();
  TStringList lines;
  const std::string file = Session.BlockedPath.empty() ? Session.Paths().BlockedFile : Session.BlockedPath;
  try {
    if (platform::FileExists(file)) lines.LoadFromFile(file);
  } catch (const std::exception& e) {
    // The session set an unreadable file aside when it started; one that
    // went bad since shows an empty page, as a missing one does.
    LogError("None", "None", std::string("Reading the blocked users: ") + e.what());
  }
  for (int i = 0; i < lines.Count(); ++i) {
    const std::string line = lines[i];
    const auto comma = line.find(',');
    if (comma == std::string::npos) continue;
    new QTreeWidgetItem(ListBlocked, QStringList{ToQString(line.substr(0, comma)), ToQString(line.substr(comma + 1))});
  }
  SpeedBlocked->setEnabled(false);
}

void TFormPref::FillSoundChoices() {
  ComboSounds->clear();
  ComboSounds->addItem("none", QByteArray("none"));
  const QDir folder(QString::fromStdString(platform::PathFromName(Session.Paths().SoundsPath).string()));
  for (const QString& file : folder.entryList({"*.WAV"}, QDir::Files, QDir::Name | QDir::IgnoreCase))
    AddSoundChoice(platform::NameFromDiskBytes(file.toStdString()));
}

// Shown as the disk names it; the 8-bit name rides along for the setting.
void TFormPref::AddSoundChoice(const std::string& name) {
  ComboSounds->addItem(platform::ShownQString(name), QByteArray::fromStdString(name));
}

void TFormPref::FillSoundEvents() {
  ListSound->clear();
  for (int i = 0; i < SoundEventCount; ++i) {
    auto* item = new QTreeWidgetItem(ListSound, QStringList{SoundEvent[i].Label});
    SetEventSound(item, QByteArray::fromStdString(shown_.Sounds[static_cast<size_t>(i)]));
  }
}

void TFormPref::SetEventSound(QTreeWidgetItem* item, const QByteArray& name) {
  item->setText(1, platform::ShownQString(name.toStdString()));
  item->setData(1, Qt::UserRole, name);
}

TPreferenceValues TFormPref::Edited() const {
  TPreferenceValues v;
  v.BusyTimer = UpDownBusy->value();
  v.WaitTimer = UpDownWait->value();
  v.HideAppStart = RadioHideApp->isChecked();
  v.WindowsStart = CheckWinStart->isChecked();
  v.NoSound = CheckNoSound->isChecked();
  for (int i = 0; i < SoundEventCount && i < ListSound->topLevelItemCount(); ++i)
    v.Sounds[static_cast<size_t>(i)] = ListSound->topLevelItem(i)->data(1, Qt::UserRole).toByteArray().toStdString();
  v.AutoPChat = CheckAutoPChat->isChecked();
  v.AutoPChatOnly = CheckAutoPChatOnly->isChecked();
  v.AutoInCam = CheckAutoInCam->isChecked();
  v.AutoInCamOnly = CheckAutoInCamOnly->isChecked();
  v.AutoOutCam = CheckAutoOutCam->isChecked();
  v.AutoOutCamOnly = CheckAutoOutCamOnly->isChecked();
  v.LogHistory = CheckLogHistory->isChecked();
  v.LogHistoryOnly = CheckLogHistoryOnly->isChecked();
  v.ShowMsg = CheckShowMsg->isChecked();
  v.MinMsg = CheckMinMsg->isChecked();
  v.UserID = FromQString(EditUserID->text());
  v.RemUserPass = CheckRemUserPass->isChecked();
  v.UserPass = v.RemUserPass ? FromQString(EditUserPass->text()) : std::string();
  v.RequireStartPass = CheckRequireStartPass->isChecked();
  v.StartupPass = FromQString(EditStartPass->text());
  v.RemStartPass = CheckRemStartPass->isChecked();
  v.ChatPort = FromQString(EditChatPort->text());
  v.ChatLimit = CheckChatLimit->isChecked();
  v.ChatLimitCount = UpDownChat->value();
  v.ChatYes = CheckChatYes->isChecked();
  v.ChatYesOnly = CheckChatYesOnly->isChecked();
  v.ServerIP = FromQString(EditServerIP->text());
  v.ServerPort = FromQString(EditServerPort->text());
  v.AutoLogon = CheckAutoLogon->isChecked();
  v.AutoUpdate = CheckAutoUpdate->isChecked();
  v.ListenPort = FromQString(EditListenPort->text());
  v.AutoListen = CheckAutoListen->isChecked();
  return v;
}

bool TFormPref::Button1Click() {
  const TPreferenceValues edited = Edited();
  if (const auto problem = TPreferences::Validate(edited)) {
    Tree->setCurrentItem(Tree->topLevelItem(6));
    ShowMessage(problem->Text, problem->Caption);
    EditUserPass->setFocus();
    return false;
  }
  const auto problems = TPreferences::SavePreferences(Session, shown_, edited);
  std::string text;
  for (const auto& p : problems) text += p + "\r\n";
  if (!text.empty()) ShowMessage(text + "The other preferences were saved.", "Preferences");
  close();
  return true;
}

void TFormPref::ListSoundClick() {
  SpeedApply->setEnabled(false);
  const auto rows = ListSound->selectedItems();
  if (rows.isEmpty()) return;
  const int at = ComboSounds->findText(rows.first()->text(1), Qt::MatchFixedString);
  ComboSounds->setCurrentIndex(rows.first()->text(1).isEmpty() || at < 0 ? 0 : at);
  SpeedApply->setEnabled(!CheckNoSound->isChecked());
}

void TFormPref::SpeedApplyClick() {
  // Sound switched on again, the button is usable before any row is chosen.
  const auto rows = ListSound->selectedItems();
  if (!rows.isEmpty()) SetEventSound(rows.first(), ComboSounds->currentData().toByteArray());
}

void TFormPref::SpeedPreviewClick() {
  const std::string file = Session.Paths().SoundsPath + ComboSounds->currentData().toByteArray().toStdString();
  if (platform::FileExists(file)) Session.Paths().PlaySoundFile(file);
}

void TFormPref::ListBlockedClick() { SpeedBlocked->setEnabled(!ListBlocked->selectedItems().isEmpty()); }

void TFormPref::SpeedBlockedClick() {
  const auto rows = ListBlocked->selectedItems();
  if (rows.isEmpty()) return;
  // By id, through the session: a block added since the page was read stays.
  // A list that could not be saved keeps the user blocked, and the row.
  if (Session.UnblockUser(FromQString(rows.first()->text(0)))) delete rows.first();
  SpeedBlocked->setEnabled(false);
}

bool TFormPref::eventFilter(QObject* watched, QEvent* e) {
  if (watched == EditUserPass && e->type() == QEvent::KeyPress) return EditUserPassKeyPress(static_cast<QKeyEvent*>(e));
  return QWidget::eventFilter(watched, e);
}

bool TFormPref::EditUserPassKeyPress(QKeyEvent* key) {
  if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
    CheckRemUserPass->setFocus();
    return true;
  }
  // Keys that type no character (arrows, Delete) and the dialog's own keys
  // pass; a control character (Ctrl+V too) is a character like any other.
  const QString text = key->text();
  if (text.isEmpty()) return false;
  switch (key->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
      return false;
    default:
      break;
  }
  bool plain = true;
  for (const QChar c : text) plain = plain && c.unicode() < 128 && TRegistration::IsPasswordCharacter(c.unicode());
  if (plain) return false;
  ShowMessage("Invalid character, password characters must be either letters or numbers.", "Invalid Character");
  return true;
}
