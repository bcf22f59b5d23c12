#include "core/FormMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDesktopServices>
#include <QActionGroup>
#include <QDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QShowEvent>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <cstdlib>
#include <cxxabi.h>
#include <typeinfo>

#include "core/Blocked.h"
#include "core/ContactList.h"
#include "core/ContactMenus.h"
#include "core/FormMsgs.h"
#include "core/FormPReq.h"
#include "core/PeerListener.h"
#include "core/StatusControls.h"
#include "core/DBStuff.h"
#include "core/FormPass.h"
#include "core/MainPanels.h"
#include "core/Paths.h"
#include "core/Reg.h"
#include "core/TestHooks.h"
#include "platform/Charset.h"
#include "platform/EventLoop.h"
#include "platform/FileNames.h"
#include "platform/IniStore.h"
#include "transport/CmdParser.h"
#include "transport/NetSocket.h"
#include "transport/ParloSocket.h"

TFormMain* FormMain = nullptr;
std::function<bool(TFormMain& form)> TFormMain::RegistrationWindow;

namespace {

constexpr int kAliveInterval = 180000;
// A 9010 listing of ten thousand users is well under a megabyte; the limit
// leaves room for long names while still bounding what a server can make us hold.
constexpr int kServerLineLimit = 4 << 20;

#ifdef PARLO_VERSION
constexpr const char* kVersion = PARLO_VERSION;
#else
constexpr const char* kVersion = "1.0.0.0";
#endif

// The product's web host; help pages live under "/help/" there.
constexpr const char* kWebHost = "http://parlo.invalid";

constexpr const char* kCrashReport =
    "Please report this error to the Parlo developers at support@parlo.invalid, with what you were doing when "
    "it happened.\r\nWe are sorry for the trouble.";

QString Q(const std::string& s) { return platform::ToQString(s); }

// Restores a list's redraw when a handler that switched it off leaves early.
class RedrawGuard {
 public:
  explicit RedrawGuard(TContactList* list) : list_(list) {}
  ~RedrawGuard() { list_->EndUpdate(); }
  RedrawGuard(const RedrawGuard&) = delete;
  RedrawGuard& operator=(const RedrawGuard&) = delete;

 private:
  TContactList* list_;
};

class FlagGuard {
 public:
  explicit FlagGuard(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagGuard() { flag_ = false; }
  FlagGuard(const FlagGuard&) = delete;
  FlagGuard& operator=(const FlagGuard&) = delete;

 private:
  bool& flag_;
};

// For the end-to-end tests: what a list holds, as "list <name> <count>" and,
// for short lists, each item's id and status.
void TraceList(const TContactList* list) {
  if (!testhooks::Enabled()) return;
  std::string line = "list " + list->objectName().toStdString() + " " + std::to_string(list->Count());
  if (list->topLevelItemCount() <= 20)
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* item = list->topLevelItem(i);
      line += " " + list->Text(item, TContactList::ColID) + "=" + list->Text(item, TContactList::ColStatus);
    }
  testhooks::Trace(line);
}

}  // namespace

// ----- construction ------------------------------------------------------------

TFormMain::TFormMain(QWidget* parent)
    : QMainWindow(parent), ListServ(std::make_unique<TParloSocket>()) {
  setObjectName("FormMain");
  setWindowTitle("Parlo");
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kFormColor);
  setPalette(pal);
  setAutoFillBackground(true);

  body_ = new QWidget(this);
  body_->installEventFilter(this);
  setCentralWidget(body_);

  ImgLogo = new QLabel(body_);
  ImgLogo->setGeometry(14, 0, 172, 40);
  PaintList = new TFrameBox(palette().base().color(), body_);
  Panel1 = new QWidget(body_);
  Panel1->setAutoFillBackground(true);
  ListF = new TContactList(Panel1);
  ListO = new TContactList(Panel1);
  ListIn = new TContactList(Panel1);
  ListF->setObjectName("ListF");
  ListO->setObjectName("ListO");
  ListIn->setObjectName("ListIn");
  Tab1 = new TTabBox("Friends", body_);
  Tab2 = new TTabBox("Online", body_);
  Tab3 = new TTabBox("Incoming", body_);
  Tab4 = new TTabBox("Profiles", body_);
  Tab5 = new TTabBox("Groups", body_);
  Tab6 = new TTabBox("Status", body_);
  PaintBot = new TFrameBox(kPanelColor, body_);
  Panel2 = new QWidget(body_);
  QPalette p2 = Panel2->palette();
  p2.setColor(QPalette::Window, kPanelColor);
  Panel2->setPalette(p2);
  Panel2->setAutoFillBackground(true);
  LabU = new QLabel(Panel2);
  LabU->setGeometry(5, 2, 172, 16);
  QFont small = LabU->font();
  small.setPixelSize(11);
  LabU->setFont(small);
  ComboProfiles = new QComboBox(Panel2);
  ComboGroup = new QComboBox(Panel2);
  ComboStatus = new QComboBox(Panel2);
  for (QComboBox* c : {ComboProfiles, ComboGroup, ComboStatus}) c->setGeometry(5, 19, 172, 24);
  for (int i = 0; i < 5; ++i) ComboStatus->addItem(StatusIcon(i), StatusText[i]);
  ComboGroup->addItem("General");
  Stat = new TStatusBar(body_);

  const std::array<TTabBox*, 6> tabs = {Tab1, Tab2, Tab3, Tab4, Tab5, Tab6};
  for (int i = 0; i < 6; ++i) tabs[static_cast<size_t>(i)]->OnMouseDown = [this, i] { TabMouseDown(i + 1); };
  Tab1->SetSelected(true);
  Tab6->SetSelected(true);
  ListF->raise();
  LabU->setText("Select your Online Status");
  ComboStatus->raise();

  BuildActions();
  BuildMenus();

  setFixedWidth(200);
  setMinimumHeight(400);
  resize(200, 420);
  TReg::RestoreMainFormPos(this);
  HideAppStart = TReg::ReadSettingBool("HideAppStart");
  BuildText = std::string("Version: ") + kVersion;

  ListServ->SetName("ListServ");
  ListServ->LineLimit = kServerLineLimit;
  ListServ->ComponentOptions.Include(wsoTcpNoDelay);
  ListServ->OnDataAvailable = [this](TCustomNetSocket*, int error) { ListServDataAvailable(error); };
  ListServ->OnChangeState = [this](TCustomNetSocket*, TSocketState, TSocketState s) { ListServChangeState(s); };
  ListServ->OnSessionClosed = [this](TCustomNetSocket*, int) { ListServClosed(); };
  ListServ->OnError = [this](TCustomNetSocket* s) { ReportSocketError(s, s->LastError()); };
  ListServ->OnBgException = [](TCustomNetSocket* s, const std::exception& e, bool&) {
    LogError(s->PeerAddr(), s->PeerPort(), std::string("Winsock Exception ") + e.what());
  };
  ListServ->OnLineLimitExceeded = [](TCustomNetSocket* s, int count, bool& clear) {
    LogError(s->PeerAddr(), s->PeerPort(),
             "Server Data Error: a line of more than " + std::to_string(count) + " bytes was dropped");
    clear = true;
  };

  Server = std::make_unique<TPeerListener>(MakePeerListenerHooks());
  Server->SetIdleTimeout(testhooks::IntervalMs("PARLO_TEST_PEER_IDLE_MS", TPeerListener::kDefaultIdleMs));

  TimerAlive.SetEnabled(false);
  TimerAlive.SetInterval(testhooks::IntervalMs("PARLO_TEST_ALIVE_MS", kAliveInterval));
  TimerAlive.OnTimer = [this](TTimer*) { TimerAliveTimer(); };
}

TFormMain::~TFormMain() {
  TimerAlive.SetEnabled(false);
  // The sockets' handlers point into this window, which is half gone by now.
  ListServ->OnChangeState = nullptr;
  ListServ->OnSessionClosed = nullptr;
  ListServ->OnDataAvailable = nullptr;
  ListServ->OnError = nullptr;
  ListServ->Abort();
  ListServ.reset();
  Server.reset();
  RemoveTrayIcon();
}

TDBStuffHooks TFormMain::MakeDBStuffHooks() {
  TDBStuffHooks hooks;
  hooks.LogError = [](const std::string& message) { LogError("None", "None", message); };
  hooks.SetCurrentProfile = [this](const std::string& name) { CurrentProfile = name; };
  hooks.SetUserName = [this](const std::string& name) { UserName = name; };
  hooks.RefreshProfileList = [this] {
    ComboProfiles->clear();
    TStringList names;
    names.SetText(DBStuff->ListProfileNames());
    for (int i = 0; i < names.Count(); ++i) ComboProfiles->addItem(Q(names[i]));
    ComboProfiles->setCurrentIndex(ComboProfiles->findText(Q(CurrentProfile), Qt::MatchExactly));
  };
  hooks.AddFriendItem = [this](const std::string& caption, const std::vector<std::string>& sub) {
    auto at = [&sub](size_t i) { return i < sub.size() ? sub[i] : std::string(); };
    ListF->AddItem(caption, -1, at(0), at(1), at(2), at(3), at(4));
  };
  hooks.ShowInformation = [this](const std::string& text, const std::string& caption) {
    QMessageBox::information(this, Q(caption), Q(text));
  };
  return hooks;
}

void TFormMain::BuildActions() {
  auto make = [this](const char* caption) {
    auto* a = new QAction(caption, this);
    return a;
  };
  ActionStartListen = make("Start Listening");
  ActionStopListen = make("Stop Listening");
  ActionCamBroadcast = make("Start Cam Broadcaster");
  ActionHostChat = make("Host Multi-Chat");
  ActionPref = make("Application Preferences");
  ActionExit = make("Exit");
  ActionServerConnect = make("Connect to Server");
  ActionFullListing = make("Retrieve Full Online listing");
  ActionServerDisconnect = make("Disconnect from Server");
  ActionCheckUpdates = make("Check for Updates");
  ActionNewPChat = make("Chat with a Friend");
  ActionRandom = make("Find Random Contact");
  ActionCheckMessages = make("Check Messages");
  ActionViewProfile = make("View My Profile");
  ActionProMan = make("Profile Manager");
  ActionImgUpload = make("Upload Profile Photo");
  ActionNewGroup = make("Create New User Group");
  ActionManageFriends = make("Manage Friends List");
  ActionAbout = make("About Parlo");
  ActionWeb = make("Parlo on the Web");
  ActionSupport = make("Parlo Support");
  ActionHelp = make("Help");
  ActionHelp->setShortcut(Qt::Key_F1);
  ActionShow = make("Show Parlo");
  ActionNewMessageO = make("Send Mssage");
  ActionNewMessageF = make("Send Message");
  ActionNewMessageIn = make("SendMessage");
  // One of the two listening commands carries the mark: the listener's state
  // moves it.
  auto* listenGroup = new QActionGroup(this);
  for (QAction* a : {ActionStartListen, ActionStopListen}) {
    a->setCheckable(true);
    listenGroup->addAction(a);
  }
  ActionStopListen->setChecked(true);

  connect(ActionExit, &QAction::triggered, this, [this] { ActionExitExecute(); });
  connect(ActionStartListen, &QAction::triggered, this, [this] { StartListening(); });
  connect(ActionStopListen, &QAction::triggered, this, [this] { Server->Stop(); });
  connect(ActionNewGroup, &QAction::triggered, this, [this] { ActionNewGroupExecute(); });
  connect(ActionServerConnect, &QAction::triggered, this, [this] { ActionServerConnectExecute(); });
  connect(ActionFullListing, &QAction::triggered, this, [this] { ActionFullListingExecute(); });
  connect(ActionServerDisconnect, &QAction::triggered, this, [this] { ActionServerDisconnectExecute(); });
  connect(ActionHelp, &QAction::triggered, this, [this] { ShowHelpTopic(0); });
  connect(ActionShow, &QAction::triggered, this, [this] { ApplicationEventsRestore(); });
}

void TFormMain::BuildMenus() {
  QMenu* general = menuBar()->addMenu("General");
  general->addActions({ActionStartListen, ActionStopListen});
  general->addSeparator();
  general->addAction(ActionCamBroadcast);
  general->addSeparator();
  general->addAction(ActionHostChat);
  general->addSeparator();
  general->addAction(ActionPref);
  general->addSeparator();
  general->addAction(ActionExit);
  QMenu* server = menuBar()->addMenu("Server");
  server->addActions({ActionServerConnect, ActionFullListing});
  server->addSeparator();
  server->addAction(ActionServerDisconnect);
  server->addSeparator();
  server->addAction(ActionCheckUpdates);
  QMenu* friends = menuBar()->addMenu("Friends");
  friends->addActions({ActionNewPChat, ActionRandom});
  friends->addSeparator();
  friends->addAction(ActionCheckMessages);
  friends->addSeparator();
  friends->addActions({ActionViewProfile, ActionProMan, ActionImgUpload});
  friends->addSeparator();
  friends->addAction(ActionNewGroup);
  friends->addSeparator();
  friends->addAction(ActionManageFriends);
  QMenu* help = menuBar()->addMenu("Help");
  help->addAction(ActionAbout);
  help->addSeparator();
  help->addActions({ActionWeb, ActionSupport});
  help->addSeparator();
  help->addAction(ActionHelp);

  PopFriend = new TContactPopup(TContactPopup::Friends, this, ActionNewMessageF);
  PopOnline = new TContactPopup(TContactPopup::Online, this, ActionNewMessageO);
  PopIncoming = new TContactPopup(TContactPopup::Incoming, this, ActionNewMessageIn);
  const std::array<std::pair<TContactPopup*, TContactList*>, 3> lists = {
      {{PopFriend, ListF}, {PopOnline, ListO}, {PopIncoming, ListIn}}};
  for (const auto& [popup, list] : lists) {
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this, [this, popup = popup, list = list](const QPoint& at) {
      ContactPopupOpening(popup, list);
      popup->Menu->popup(list->viewport()->mapToGlobal(at));
    });
    connect(list, &QTreeWidget::itemDoubleClicked, this,
            [this, popup = popup, list = list] { ContactListDblClick(popup, list); });
    connect(popup->Block, &QAction::triggered, this, [this, list = list] {
      const std::string id = SelectedContactID(*list);
      const QTreeWidgetItem* item = SelectedContactItem(*list);
      if (id.empty() || item == nullptr) return;
      const std::string name = list->Text(item, TContactList::ColUser);
      try {
        TBlockedUsers::BlockUser(this, BlockedList, BlockedPath, id, name);
      } catch (const std::exception& e) {
        LogError("None", "None", std::string("Blocking a user: ") + e.what());
      }
    });
    for (auto [action, command] : std::initializer_list<std::pair<QAction*, const char*>>{
             {popup->PChat, "Private chat"},       {popup->Profile, "View profile"},
             {popup->CamIn, "Request to view cam"}, {popup->MultiRequest, "Invite to multi-chat"},
             {popup->FileOut, "Send files"},        {popup->ImgOut, "Send image"},
             {popup->SoundOut, "Send sound file"},  {popup->CamOut, "Send cam broadcast"},
             {popup->FriendEdit, "Friend list"},    {popup->History, "Show history"}})
      connect(action, &QAction::triggered, this, [this, command = command] { NotAvailableYet(command); });
  }
  for (QAction* a : {ActionNewMessageO, ActionNewMessageF, ActionNewMessageIn})
    connect(a, &QAction::triggered, this, [this] { NotAvailableYet("Send message"); });
  connect(ComboStatus, qOverload<int>(&QComboBox::activated), this, [this] { ComboStatusChange(); });
  connect(ComboGroup, qOverload<int>(&QComboBox::activated), this, [this] { ComboGroupChange(); });
  connect(ComboProfiles, qOverload<int>(&QComboBox::activated), this, [this] { ComboProfilesChange(); });

  PopMain = new QMenu(this);
  PopMain->addAction(ActionShow);
  PopMain->addSeparator();
  PopMain->addActions({ActionServerConnect, ActionServerDisconnect});
  PopMain->addSeparator();
  PopMain->addActions({ActionStartListen, ActionStopListen});
  PopMain->addSeparator();
  PopMain->addAction(ActionPref);
  PopMain->addSeparator();
  PopMain->addAction(ActionExit);
}

// The list area stretches with the window; the lower tabs, the selector panel
// and the status bar keep to the bottom.
void TFormMain::LayoutPanels() {
  const int w = body_->width();
  const int h = body_->height();
  const int left = (w - 192) / 2;
  Stat->setGeometry(0, h - Stat->height(), w, Stat->height());
  const int botTop = Stat->y() - 53 - 2;
  PaintBot->setGeometry(left, botTop, 192, 53);
  Panel2->setGeometry(left + 5, botTop, 182, 53);
  const int tabTop = botTop - 17;
  Tab4->move(left + 6, tabTop);
  Tab5->move(left + 66, tabTop);
  Tab6->move(left + 124, tabTop);
  const int listTop = 57;
  const int listHeight = std::max(40, tabTop - 5 - listTop);
  PaintList->setGeometry(left, listTop, 192, listHeight);
  Panel1->setGeometry(left + 5, listTop, 182, listHeight);
  for (TContactList* l : {ListF, ListO, ListIn}) l->setGeometry(0, 3, 182, listHeight - 6);
  ImgLogo->move(left + 10, 0);
  Tab1->move(left + 6, 40);
  Tab2->move(left + 66, 40);
  Tab3->move(left + 126, 40);
  for (TTabBox* t : {Tab1, Tab2, Tab3}) t->raise();
}

bool TFormMain::eventFilter(QObject* watched, QEvent* e) {
  if (watched == body_ && e->type() == QEvent::Resize) LayoutPanels();
  return QMainWindow::eventFilter(watched, e);
}

// ----- start-up ------------------------------------------------------------------

void TFormMain::FormShow() {
  UpdateServerActions();
  if (!FirstShow) return;
  FirstShow = false;
  LoadCurrentSelections();
  CreateLocalStores();
  AddTrayIcon();
  setWindowTitle(UserID.empty() ? QString("Parlo - Unregistered") : Q("Parlo - " + UserID));
  // The banner is decoration: without it the window works all the same.
  const QPixmap logo(QString::fromStdString(platform::PathFromName(Paths->AppPath + "logo.jpg").string()));
  if (logo.isNull()) LogError("None", "None", "The logo picture \"logo.jpg\" is missing or cannot be read");
  else ImgLogo->setPixmap(logo.scaled(172, 40, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));

  DBStuff->SelectProfile(CurrentProfile);
  ComboStatus->setCurrentIndex(StatusMode);
  const int group = ComboGroup->findText(Q(CurrentGroup), Qt::MatchExactly);
  ComboGroup->setCurrentIndex(group >= 0 ? group : 0);

  if (HideAppStart && tray_ != nullptr) {
    // Starts in the tray: the window stays hidden until the tray icon opens it.
  } else if (HideAppStart) {
    showMinimized();
  } else {
    show();
    raise();
    activateWindow();
  }
  testhooks::Trace("shown");

  if (!CheckStartupPassword()) return;
  // Only a user who passed the start-up password may be reached by peers.
  if (AutoListen) StartListening();
  ListF->BeginUpdate();
  {
    RedrawGuard redraw(ListF);
    DBStuff->ShowFriendsOffline();
  }
  TraceList(ListF);
  TimerAlive.SetEnabled(true);
  if (AutoLogon) ActionServerConnectExecute();
  if (!Closing) ListF->setFocus();
}

void TFormMain::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  if (!FirstShow) {
    UpdateServerActions();
    ListF->setFocus();
  }
}

void TFormMain::LoadCurrentSelections() {
  CurrentProfile = TReg::ReadSettingString("CurrentProfile");
  CurrentGroup = TReg::ReadSettingString("CurrentGroup");
  StatusMode = TReg::ReadSettingInteger("StatusMode");
  AwayText = TReg::ReadSettingString("AwayText");
  UnavText = TReg::ReadSettingString("UnavText");
  LoadSettings();
}

void TFormMain::LoadSettings() {
  BusyTimer = TReg::ReadSettingInteger("BusyTimer");
  WaitTimer = TReg::ReadSettingInteger("WaitTimer");
  HideAppStart = TReg::ReadSettingBool("HideAppStart");
  WindowsStart = TReg::ReadSettingBool("WindowsStart");
  Paths->NoSound = TReg::ReadSettingBool("NoSound");
  for (int i = 0; i < SoundEventCount; ++i)
    Paths->EventSounds[static_cast<size_t>(i)] = TReg::ReadSettingString(SoundEvent[i].Value);
  AutoPChat = TReg::ReadSettingBool("AutoPChat");
  AutoPChatOnly = TReg::ReadSettingBool("AutoPChatOnly");
  AutoInCam = TReg::ReadSettingBool("AutoInCam");
  AutoInCamOnly = TReg::ReadSettingBool("AutoInCamOnly");
  AutoOutCam = TReg::ReadSettingBool("AutoOutCam");
  AutoOutCamOnly = TReg::ReadSettingBool("AutoOutCamOnly");
  LogHistory = TReg::ReadSettingBool("LogHistory");
  LogHistoryOnly = TReg::ReadSettingBool("LogHistoryOnly");
  ShowMsg = TReg::ReadSettingBool("ShowMsg");
  MinMsg = TReg::ReadSettingBool("MinMsg");
  UserID = TReg::ReadSettingString("UserID");
  HasUserID = !UserID.empty();
  StatusMode = TReg::ReadSettingInteger("StatusMode");
  UserPass = TReg::ReadSettingString("UserPass");
  RemUserPass = TReg::ReadSettingBool("RemUserPass");
  RequireStartPass = TReg::ReadSettingBool("RequireStartPass");
  StartupPass = TReg::ReadSettingString("StartupPass");
  RemStartPass = TReg::ReadSettingBool("RemStartPass");
  ChatPort = TReg::ReadSettingString("ChatPort");
  ChatLimit = TReg::ReadSettingBool("ChatLimit");
  ChatLimitCount = TReg::ReadSettingInteger("ChatLimitCount");
  ChatYes = TReg::ReadSettingBool("ChatYes");
  ChatYesOnly = TReg::ReadSettingBool("ChatYesOnly");
  ServerIP = TReg::ReadSettingString("ServerIP");
  ServerPort = TReg::ReadSettingString("ServerPort");
  AutoLogon = TReg::ReadSettingBool("AutoLogon");
  AutoUpdate = TReg::ReadSettingBool("AutoUpdate");
  ListenPort = TReg::ReadSettingString("ListenPort");
  AutoListen = TReg::ReadSettingBool("AutoListen");
  // The status travels to the server, which drops a link that sends one it
  // does not know: a damaged value would lock the user out for good.
  if (StatusMode < 0 || StatusMode > 4) {
    LogError("None", "None", "Setting StatusMode " + std::to_string(StatusMode) + " is no status; Available is used");
    StatusMode = 0;
  }
}

void TFormMain::SaveSettings() {
  const auto s = TReg::SettingsSection;
  TReg::WriteString(s, "UserID", UserID);
  if (RemUserPass) TReg::WriteString(s, "UserPass", UserPass);
  TReg::WriteString(s, "CurrentProfile", CurrentProfile);
  TReg::WriteString(s, "CurrentGroup", CurrentGroup);
  TReg::WriteString(s, "ListenPort", ListenPort);
  TReg::WriteString(s, "ListenIP", ListenIP);
  TReg::WriteString(s, "ServerIP", ServerIP);
  TReg::WriteString(s, "ServerPort", ServerPort);
  TReg::WriteInteger(s, "StatusMode", StatusMode);
  TReg::WriteString(s, "AwayText", AwayText);
  TReg::WriteString(s, "UnavText", UnavText);
}

void TFormMain::CreateLocalStores() {
  BlockedPath = Paths->BlockedFile;
  GroupsPath = Paths->GroupsFile;
  // A store that cannot be read must not keep the program from starting.
  auto load = [](TStringList& list, const std::string& file) {
    if (!platform::FileExists(file)) return false;
    try {
      list.LoadFromFile(file);
      return true;
    } catch (const std::exception& e) {
      // Kept aside, so that saving the list at exit cannot overwrite what the
      // user may still recover from it.
      const std::string aside = file + ".bad";
      platform::DeleteFile(aside);
      const bool kept = platform::RenameFile(file, aside);
      LogError("None", "None",
               "Cannot read " + file + ": " + e.what() + (kept ? "; kept as " + aside : "") + "; starting empty");
      list.Clear();
      return false;
    }
  };
  load(BlockedList, BlockedPath);
  SavedMessages = std::make_unique<platform::IniStore>(
      Paths->MessagesFile, [](const std::string& message) { LogError("None", "None", message); });
  if (load(GroupsList, GroupsPath) && GroupsList.Count() > 0) {
    ComboGroup->clear();
    for (int i = 0; i < GroupsList.Count(); ++i) ComboGroup->addItem(Q(GroupsList[i]));
  }
  NoVideoDevice = false;
  DirectXMissing = false;
  SetStatusText("Offline...");
  SetServerStateIcon(0);
  SetListenStateIcon(0);
}

void TFormMain::AddTrayIcon() {
  if (tray_ != nullptr || !QSystemTrayIcon::isSystemTrayAvailable()) return;
  tray_ = new QSystemTrayIcon(windowIcon().isNull() ? StatusIcon(0) : windowIcon(), this);
  tray_->setToolTip("Parlo");
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) {
      if (isVisible() && !isMinimized()) ApplicationEventsMinimize();
      else ApplicationEventsRestore();
    } else if (reason == QSystemTrayIcon::Context) {
      if (!isVisible()) PopMain->popup(QCursor::pos());
      else {
        raise();
        activateWindow();
      }
    }
  });
  tray_->show();
}

void TFormMain::RemoveTrayIcon() {
  if (tray_ == nullptr) return;
  tray_->hide();
  delete tray_;
  tray_ = nullptr;
}

void TFormMain::StartListening() {
  if (Server->State() == wsListening) return;
  try {
    Server->Start(ListenPort);
  } catch (const std::exception& e) {
    LogError("", "", std::string("Starting Server Listen: ") + e.what());
    Server->Stop();
    SetListenStateIcon(0);
    SetStatusText("Offline...");
  }
}

bool TFormMain::CheckStartupPassword() {
  if (!RequireStartPass) return true;
  bool ok = false;
  {
    TFormPass prompt(this);
    prompt.SetRemember(RemStartPass);
    prompt.SetCheckMode(true, StartupPass);
    prompt.SetPassword(RemStartPass ? StartupPass : std::string());
    prompt.SetPrompt("Please enter your startup passowrd...");
    FlagGuard open(linkDialogOpen_);
    prompt.exec();
    ok = !prompt.Cancelled && prompt.Password == StartupPass && !Closing;
    if (ok) {
      RemStartPass = prompt.Remember;
      TReg::WriteString(TReg::SettingsSection, "StartupPass", StartupPass);
      TReg::WriteBool(TReg::SettingsSection, "RemStartPass", RemStartPass);
    }
  }
  if (!ok) EndProgram();
  return ok;
}

void TFormMain::UpdateServerActions() {
  const bool connected = ListServ && ListServ->State() == wsConnected;
  for (QAction* a : {ActionNewPChat, ActionRandom, ActionImgUpload, ActionNewGroup, ActionServerDisconnect,
                     ActionFullListing, ActionCheckUpdates, ActionCheckMessages, ActionNewMessageO,
                     ActionNewMessageF, ActionNewMessageIn})
    a->setEnabled(connected);
  ActionServerConnect->setEnabled(!connected);
}

// ----- tray, minimise, restore ----------------------------------------------------

void TFormMain::changeEvent(QEvent* e) {
  QMainWindow::changeEvent(e);
  if (e->type() == QEvent::WindowStateChange && isMinimized() && tray_ != nullptr)
    QTimer::singleShot(0, this, [this] {
      if (isMinimized()) ApplicationEventsMinimize();
    });
}

void TFormMain::ApplicationEventsMinimize() {
  if (tray_ != nullptr) hide();
  else showMinimized();
  testhooks::Trace("minimised");
}

void TFormMain::ApplicationEventsRestore() {
  showNormal();
  raise();
  activateWindow();
  RestoreStatusBar();
  testhooks::Trace("restored");
}

void TFormMain::RestoreStatusBar() {
  if (Server->State() == wsListening) {
    SetStatusText("Online-Listening Port: " + ListenPort);
    SetListenStateIcon(1);
  } else {
    SetStatusText("Offline...");
    SetListenStateIcon(0);
  }
  SetServerStateIcon(ListServ->State() == wsConnected ? 1 : 0);
}

void TFormMain::ActivateFromOtherInstance() {
  if (Closing) return;
  if (FirstShow) {
    // Still starting: the first show brings the window up anyway.
    testhooks::Trace("activated");
    return;
  }
  if (!isVisible() || isMinimized()) {
    ApplicationEventsRestore();
  } else {
    raise();
    activateWindow();
  }
  testhooks::Trace("activated");
}

// ----- exit ----------------------------------------------------------------------

void TFormMain::ActionExitExecute() {
  Closing = true;
  EndProgram();
}

void TFormMain::HandleSessionEnd() { ActionExitExecute(); }

void TFormMain::EndProgram() {
  Closing = true;
  // Leave the modal loop we may be in first; the close then runs from the
  // main loop.
  CloseOtherWindows();
  QTimer::singleShot(0, this, [this] {
    if (!exitDone_) close();
  });
}

void TFormMain::CloseOtherWindows() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w == this || !w->isVisible()) continue;
    if (auto* dialog = qobject_cast<QDialog*>(w)) dialog->done(QDialog::Rejected);
    else w->close();
  }
}

bool TFormMain::ExitSequence() {
  if (exitDone_) return true;
  exitDone_ = true;
  Closing = true;
  TimerAlive.SetEnabled(false);
  try {
    GroupsList.Clear();
    for (int i = 0; i < ComboGroup->count(); ++i) GroupsList.Add(platform::FromQString(ComboGroup->itemText(i)));
    GroupsList.SaveToFile(GroupsPath.empty() ? Paths->GroupsFile : GroupsPath);
  } catch (const std::exception& e) {
    LogError("None", "None", std::string("Saving the groups: ") + e.what());
  }
  CloseOtherWindows();
  Server->Stop();
  ListServ->Close();
  try {
    if (!FirstShow) SaveSettings();
    TReg::SaveMainFormPos(this);
  } catch (const std::exception& e) {
    LogError("None", "None", std::string("Saving the settings: ") + e.what());
  }
  RemoveTrayIcon();
  return true;
}

void TFormMain::closeEvent(QCloseEvent* e) {
  ExitSequence();
  e->accept();
  Server->Stop();
  ListServ->Abort();
  testhooks::Trace("exit");
  QApplication::quit();
}

void TFormMain::ApplicationEventsException(const std::exception* e, const std::string& message) {
  std::string cls = "unknown";
  if (e != nullptr) {
    int status = 0;
    char* readable = abi::__cxa_demangle(typeid(*e).name(), nullptr, nullptr, &status);
    cls = status == 0 && readable != nullptr ? readable : typeid(*e).name();
    std::free(readable);
  }
  LogError("None", "None", "Class: " + cls + " Error: " + message);
  if (handlingException_ || crashed_) return;
  handlingException_ = true;
  crashed_ = true;
  Closing = true;
  exitDone_ = true;  // the settings are not saved after a failure
  TimerAlive.SetEnabled(false);
  testhooks::Trace("application error");
  QMessageBox::critical(this, "Application Error",
                        Q("There was an error in the application, Parlo will now shutdown\r\nError:\n" + message +
                          "\r\n\r\n" + kCrashReport));
  RemoveTrayIcon();
  QApplication::exit(1);
}

void TFormMain::OpenURL(const std::string& address) {
  const QUrl url = QUrl::fromUserInput(Q(address));
  if (!url.isValid() || !QDesktopServices::openUrl(url))
    LogError("None", "None", "Cannot open \"" + address + "\"");
}

void TFormMain::ShowHelpTopic(int topic) {
  static const char* const pages[] = {"index.html", "profiles.html", "history.html", "pchat.html",
                                      "prefs.html", "viewmsg.html",  "index.html",   "webcam.html",
                                      "profiles.html", "multichat.html", "multichat.html"};
  const char* page = topic >= 0 && topic < static_cast<int>(std::size(pages)) ? pages[topic] : "index.html";
  OpenURL(std::string(kWebHost) + "/help/" + page);
}

void TFormMain::RunUpdateInstaller(const std::string& fileName) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible() && w->objectName().contains("FormPChat")) {
      QMessageBox::information(this, "Close Open Chats",
                               "   You must close all open chats before running the update installer, please close "
                               "all\n   open chat windows and click ok to proceed");
      break;
    }
  }
  if (!platform::FileExists(fileName)) {
    QMessageBox::critical(this, "Invalid Filename", "The update file could not be found or is corrupt.");
    return;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(platform::PathFromName(fileName).string())));
  ActionExitExecute();
}

// ----- tabs and status bar ----------------------------------------------------------

void TFormMain::TabMouseDown(int tab) {
  if (tab <= 3) {
    TabFriends = tab == 1;
    TabOnline = tab == 2;
    TabIncoming = tab == 3;
    Tab1->SetSelected(TabFriends);
    Tab2->SetSelected(TabOnline);
    Tab3->SetSelected(TabIncoming);
    TContactList* front = TabFriends ? ListF : TabOnline ? ListO : ListIn;
    front->raise();
  } else {
    TabProfiles = tab == 4;
    TabGroups = tab == 5;
    TabStatus = tab == 6;
    Tab4->SetSelected(TabProfiles);
    Tab5->SetSelected(TabGroups);
    Tab6->SetSelected(TabStatus);
    if (TabProfiles) {
      LabU->setText("Select your User Profile");
      ComboProfiles->raise();
    } else if (TabGroups) {
      LabU->setText("Select the Group to be listed in");
      ComboGroup->raise();
    } else {
      LabU->setText("Select your Online Status");
      ComboStatus->raise();
    }
  }
}

void TFormMain::SetListenStateIcon(int image) {
  ListenerStateImage = image;
  Stat->SetListenStateIcon(image);
}

void TFormMain::SetServerStateIcon(int image) {
  ServerStateImage = image;
  Stat->SetServerStateIcon(image);
}

void TFormMain::SetStatusText(const std::string& text) { Stat->SetStatusText(text); }

void TFormMain::MarkFriendsOffline() {
  ListF->BeginUpdate();
  for (int i = 0; i < ListF->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = ListF->topLevelItem(i);
    ListF->SetImage(item, -1);
    ListF->SetText(item, TContactList::ColStatus, "Offline");
  }
}

// ----- contact lists -----------------------------------------------------------------

void TFormMain::FillContactList(TContactList* list, const std::string& userList) {
  MergeUserList(*list, userList, [this](const std::string& record) { UpdateOnlineList(record); });
}

void TFormMain::UpdateOnlineList(const std::string& record) {
  TUserRecord r;
  if (!TUserRecord::Parse(record, r)) return;
  DBStuff->UpdateFriend(r.UserID, r.UserName, r.ListenIP, r.ListenPort);
  const int mode = r.Mode();
  const bool offline = r.StatusMode == "2" || r.Online == "0";
  if (ListF->Count() > 0) {
    QTreeWidgetItem* item = ListF->FindById(r.UserID);
    if (item == nullptr) return;
    const std::string before = ListF->Text(item, TContactList::ColStatus);
    if (offline) {
      ListF->SetImage(item, -1);
      ListF->SetText(item, TContactList::ColStatus, "Offline");
    } else if (mode >= 0) {
      ListF->SetImage(item, mode);
      ListF->SetText(item, TContactList::ColStatus, StatusText[mode]);
    }
    ListF->SetText(item, TContactList::ColUser, r.UserName);
    ListF->SetText(item, TContactList::ColIP, r.ListenIP);
    ListF->SetText(item, TContactList::ColPort, r.ListenPort);
    ListF->SetText(item, TContactList::ColID, r.UserID);
    ListF->SetText(item, TContactList::ColOnline, r.Online);
    const std::string after = ListF->Text(item, TContactList::ColStatus);
    if (!KeepAlivePending && before != after) Paths->PlayEventSound(8);
    return;
  }
  int image = -1;
  std::string status;
  if (offline) status = "Offline";
  else if (mode >= 0) image = mode, status = StatusText[mode];
  ListF->AddItem(r.UserName, image, status, r.ListenIP, r.ListenPort, r.UserID, r.Online);
  Paths->PlayEventSound(8);
}

std::string TFormMain::StatusModeFromText(const std::string& text) {
  for (int i = 0; i < 5; ++i)
    if (text == StatusText[i]) return std::to_string(i);
  return "0";
}

// ----- directory server ----------------------------------------------------------------

void TFormMain::ConnectToServer() {
  ListServ->Close();
  KeepAlivePending = false;
  ListingOnly = false;
  try {
    ListServ->SetAddr(ServerIP);
    ListServ->SetPort(ServerPort);
    ListServ->SetProto("tcp");
    // Line mode from the start: frames that arrive together are read one by
    // one and a frame split across reads is joined.
    ListServ->SetLineEnd("\r\n");
    ListServ->SetLineMode(true);
    ListServ->Connect();
  } catch (const std::exception& e) {
    LogError(ServerIP, ServerPort, std::string("Connecting to the server: ") + e.what());
    ListServ->Close();
    SetServerStateIcon(0);
    SetStatusText("Server connection closed");
  }
}

void TFormMain::ActionServerConnectExecute() {
  // The keep-alive may fire while a window of this action is open: never a
  // second one.
  if (inConnectAction_ || linkDialogOpen_ || Closing) return;
  FlagGuard busy(inConnectAction_);
  if (!HasUserID) {
    ShowRegistration();
  } else if (!RemUserPass || UserPass.empty()) {
    AskAccountPassword();
  } else if (ListServ->State() != wsConnected) {
    ConnectToServer();
  }
}

void TFormMain::AskAccountPassword() {
  TFormPass prompt(this);
  prompt.SetPrompt("Please enter the password to be used for your account...");
  prompt.SetRemember(RemUserPass);
  if (RemUserPass) prompt.SetPassword(UserPass);
  {
    FlagGuard open(linkDialogOpen_);
    testhooks::Trace("password prompt");
    prompt.exec();
  }
  if (prompt.Cancelled || Closing) return;
  UserPass = prompt.Password;
  RemUserPass = prompt.Remember;
  TReg::WriteString(TReg::SettingsSection, "UserPass", RemUserPass ? UserPass : std::string());
  TReg::WriteBool(TReg::SettingsSection, "RemUserPass", RemUserPass);
  logonRefused_ = false;
  ConnectToServer();
}

void TFormMain::ShowRegistration() {
  if (!RegistrationWindow) {
    LogError("None", "None", "There is no account yet and this program cannot register one; Parlo ends");
    EndProgram();
    return;
  }
  bool registered = false;
  {
    FlagGuard open(linkDialogOpen_);
    registered = RegistrationWindow(*this);
  }
  if (Closing) return;
  if (!registered) {
    EndProgram();
    return;
  }
  ConnectToServer();
}

void TFormMain::ActionFullListingExecute() {
  if (!HasUserID) {
    ShowRegistration();
  } else if (ListServ->State() == wsConnected) {
    ListServ->SendCommand(9009, CurrentGroup, "");
  } else {
    ConnectToServer();
    ListingOnly = true;
  }
}

void TFormMain::ActionServerDisconnectExecute() { ListServ->Close(); }

void TFormMain::TimerAliveTimer() {
  if (Closing) return;
  if (ListServ->State() == wsConnected) {
    KeepAlivePending = true;
    ListServ->SendCommand(9031, DBStuff->FriendIdList(), "");
    return;
  }
  if (!AutoLogon) return;
  // The server said no to these credentials; asking again would only fail again.
  if (logonRefused_ && UserID == refusedUserID_ && UserPass == refusedUserPass_) return;
  ActionServerConnectExecute();
}

void TFormMain::ListServDataAvailable(int error) {
  if (error != 0) {
    LogError(ListServ->PeerAddr(), ListServ->PeerPort(), "Server Data Error");
    ListServ->CloseDelayed();
    return;
  }
  const std::string received = ListServ->ReceiveStr();
  if (received.empty()) return;
  try {
    ProcessServerData(TCmdParser::CleanLine(received));
  } catch (const std::exception& e) {
    LogError(ListServ->PeerAddr(), ListServ->PeerPort(), "Processing Server Command");
    ListServ->Close();
  }
}

void TFormMain::ProcessServerData(const std::string& line) {
  const int code = TCmdParser::ExtractCommand(line);
  const std::string params = TCmdParser::ExtractParameters(line);
  const std::string text = TCmdParser::ExtractCommandText(line);
  if (ListServ->State() == wsConnected) ProcessServerCommand(code, params, text);
}

void TFormMain::ProcessServerCommand(int code, const std::string& params, const std::string&) {
  switch (code) {
    case 9000:
      SetStatusText("Connected to server...");
      ListenIP = params;
      SetServerStateIcon(1);
      if (HasUserID) {
        SetStatusText("Sending logon info...");
        ListServ->SendCommand(9003, UserID + "," + UserPass, "");
      } else {
        SetStatusText("Sending password...");
        ListServ->SendCommand(9001, UserPass, "");
      }
      break;
    case 9002:
      if (HandleRegistrationReply(params)) {
        SetStatusText("Regsitered Sending logon...");
        ListServ->SendCommand(9003, UserID + "," + UserPass, "");
      } else {
        ListServ->Close();
        TReg::WriteString(TReg::SettingsSection, "UserID", "");
        TReg::WriteString(TReg::SettingsSection, "UserPass", "");
        QMessageBox::critical(this, "Registration Error", "There was an error in the registration process.");
        if (!Closing) ShowRegistration();
      }
      break;
    case 9004:
      SetStatusText("Sending profile data...");
      ListServ->SendCommand(9005, DBStuff->BuildProfileRecord(CurrentProfile, UserID, CurrentGroup, StatusMode,
                                                          ListenPort, ""), "");
      break;
    case 9006:
      SetStatusText("Sending friend list...");
      ListServ->SendCommand(9007, DBStuff->FriendIdList(), "");
      break;
    case 9008: {
      MarkFriendsOffline();
      {
        RedrawGuard redraw(ListF);
        FillContactList(ListF, params);
      }
      TraceList(ListF);
      SetStatusText("Checking messages...");
      ListServ->SendCommand(9009, CurrentGroup, "");
      break;
    }
    case 9010: {
      {
        ListO->BeginUpdate();
        RedrawGuard redraw(ListO);
        ListO->Clear();
        FillContactList(ListO, params);
      }
      TraceList(ListO);
      SetStatusText("");
      if (KeepAlivePending) {
        KeepAlivePending = false;
        ListServ->SendCommand(9013, "", "");
      } else if (ListingOnly) {
        ListServ->Close();
      } else {
        ListServ->SendCommand(9015, std::to_string(StatusMode), "");
      }
      break;
    }
    case 9012:
      // Relayed messages are shown by the message windows, which take them
      // from here once they exist.
      SetStatusText("");
      break;
    case 9014: {
      ListServ->SendCommand(9017, "", "");
      ListServ->SendCommand(9013, "", "");
      if (AutoUpdate) ListServ->SendCommand(9025, "", "");
      int delay = 0, status = 0;
      if (!statusChangeScheduled_ && testhooks::ScheduledStatusChange(delay, status)) {
        statusChangeScheduled_ = true;
        QTimer::singleShot(delay, this, [this, status] {
          ComboStatus->setCurrentIndex(status);
          ComboStatusChange();
        });
      }
      break;
    }
    case 9016:
      UpdateOnlineList(params);
      TraceList(ListF);
      break;
    case 9018:  // random contact found, for the random-contact window
    case 9020:  // no random contact
    case 9026:  // update information, for the update check
    case 9101:  // photo upload result
      break;
    case 9028:
      ListServ->SendCommand(9027, "", "");
      break;
    case 9030:
      ShowInvalidLogon();
      break;
    case 9032: {
      MarkFriendsOffline();
      {
        RedrawGuard redraw(ListF);
        FillContactList(ListF, params);
      }
      TraceList(ListF);
      ListServ->SendCommand(9027, "", "");
      break;
    }
    default:
      ListServ->Close();
      break;
  }
}

bool TFormMain::HandleRegistrationReply(const std::string& params) {
  TStringList lines;
  std::string text = params;
  for (char& c : text)
    if (c == ',') c = '\r';
  lines.SetText(text);
  if (lines.Count() < 2 || lines[0].empty()) {
    TReg::WriteString(TReg::SettingsSection, "UserID", "");
    TReg::WriteString(TReg::SettingsSection, "UserPass", "");
    return false;
  }
  UserID = lines[0];
  UserPass = lines[1];
  TReg::WriteString(TReg::SettingsSection, "UserID", UserID);
  TReg::WriteString(TReg::SettingsSection, "UserPass", UserPass);
  setWindowTitle(Q("Parlo - " + UserID));
  HasUserID = true;
  return true;
}

void TFormMain::ShowInvalidLogon() {
  ListServ->Close();
  logonRefused_ = true;
  refusedUserID_ = UserID;
  refusedUserPass_ = UserPass;
  testhooks::Trace("invalid logon");
  QMessageBox::critical(this, "Invalid Username or Password",
                        "You have tried to logon with an Invalid User ID and Password, please correct this and try "
                        "again.");
}

void TFormMain::ListServChangeState(int newState) {
  switch (newState) {
    case wsInvalidState:
    case wsClosed:
      KeepAlivePending = false;
      ListingOnly = false;
      SetServerStateIcon(0);
      SetStatusText("Server connection closed");
      UpdateServerActions();
      break;
    case wsConnecting:
      SetServerStateIcon(2);
      SetStatusText("Connecting to server...");
      break;
    case wsConnected:
      SetServerStateIcon(1);
      SetStatusText("Retrieving information...");
      UpdateServerActions();
      break;
    default:
      break;
  }
}

void TFormMain::ListServClosed() {
  KeepAlivePending = false;
  ListingOnly = false;
}

void TFormMain::ReportSocketError(TCustomNetSocket* socket, int error) {
  const std::string desc = error == 0 ? "Undetermined Winsock Error" : NetSocketErrorDesc(error);
  LogError(socket->PeerAddr(), socket->PeerPort(), "Winsock Error " + std::to_string(error) + " : " + desc);
  socket->Close();
  QApplication::beep();
}

// ----- contact popups ------------------------------------------------------------------

void TFormMain::ContactPopupOpening(TContactPopup* popup, TContactList* list) {
  bool roomOpen = false;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "FormChat") roomOpen = true;
  popup->Apply(TPopupEnabling::Compute(HasSelectedContact(*list), IsSelectedContactOnline(*list), roomOpen,
                                       ListServ->State() == wsConnected));
  UpdateServerActions();
}

void TFormMain::ContactListDblClick(TContactPopup* popup, TContactList* list) {
  switch (DoubleClickActionFor(HasSelectedContact(*list), IsSelectedContactOnline(*list))) {
    case TDoubleClickAction::DisablePrivateChat:
      popup->PChat->setEnabled(false);
      break;
    case TDoubleClickAction::PrivateChat:
      popup->PChat->setEnabled(true);
      popup->PChat->trigger();
      break;
    case TDoubleClickAction::SendMessage:
      popup->NewMessage->setEnabled(true);
      popup->NewMessage->trigger();
      break;
  }
}

void TFormMain::NotAvailableYet(const char* command) {
  LogError("None", "None", std::string(command) + ": not available yet");
  testhooks::Trace(std::string("not available yet: ") + command);
}

bool TFormMain::IsUserBlocked(const std::string& record) const {
  return TBlockedUsers::IsUserBlocked(BlockedList, record);
}

// ----- status, group and profile -----------------------------------------------------------

void TFormMain::ComboStatusChange() {
  StatusMode = std::clamp(ComboStatus->currentIndex(), 0, 4);
  if (ListServ->State() == wsConnected) ListServ->SendCommand(9015, std::to_string(StatusMode), "");
  testhooks::Trace("status " + std::to_string(StatusMode));
  const int kind = AwayPickerKindForStatus(StatusMode);
  if (kind >= 0) ShowAwayMessagePicker(kind);
}

void TFormMain::ShowAwayMessagePicker(int kind) {
  if (!SavedMessages) return;
  TFormMsgs* picker = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "FormMsgs") picker = qobject_cast<TFormMsgs*>(w);
  const bool open = picker != nullptr;
  if (!open) {
    picker = new TFormMsgs(*SavedMessages, nullptr);
    picker->OnMessageChosen = [this](int mode, const std::string& text) {
      if (mode == 0) AwayText = text;
      else UnavText = text;
    };
  }
  const TAwayPickerText texts = AwayPickerText(kind);
  picker->Mode = kind;
  picker->setWindowTitle(texts.Caption);
  picker->Label3->setText(texts.Prompt);
  picker->CurrentText = kind == 0 ? AwayText : UnavText;
  if (kind == 0) picker->EditAwayMessages();
  else picker->EditUnavailableMessages();
  if (open) {
    picker->raise();
    picker->activateWindow();
  } else {
    picker->show();
  }
}

void TFormMain::ComboGroupChange() {
  CurrentGroup = platform::FromQString(ComboGroup->currentText());
  if (!isVisible() || ListServ->State() != wsConnected) return;
  const auto answer = QMessageBox::question(this, "Download Listing?",
                                            "Would you like to download the full listing for this group?",
                                            QMessageBox::Yes | QMessageBox::No);
  if (Closing) return;
  if (answer == QMessageBox::Yes) ActionFullListingExecute();
  else ListServ->SendCommand(9019, CurrentGroup, "");
}

void TFormMain::ActionNewGroupExecute() {
  bool ok = false;
  const QString typed = QInputDialog::getText(this, "New Group Name", "Please enter a name for the new user group...",
                                              QLineEdit::Normal, QString(), &ok);
  if (Closing) return;
  const std::string name = ok ? platform::FromQString(typed) : std::string();
  std::vector<std::string> existing;
  for (int i = 0; i < ComboGroup->count(); ++i) existing.push_back(platform::FromQString(ComboGroup->itemText(i)));
  switch (CheckNewGroup(name, existing)) {
    case TNewGroupOutcome::Nothing:
      return;
    case TNewGroupOutcome::Invalid:
      QMessageBox::warning(this, "Invalid Group Name",
                           "A group name cannot hold line breaks or the characters < > , and cannot hold || or {$}.");
      return;
    case TNewGroupOutcome::Added:
      break;
  }
  ComboGroup->addItem(Q(name));
  GroupsList.Clear();
  for (int i = 0; i < ComboGroup->count(); ++i) GroupsList.Add(platform::FromQString(ComboGroup->itemText(i)));
  try {
    GroupsList.SaveToFile(GroupsPath.empty() ? Paths->GroupsFile : GroupsPath);
  } catch (const std::exception& e) {
    LogError("None", "None", std::string("Saving the groups: ") + e.what());
  }
  ComboGroup->setCurrentIndex(ComboGroup->count() - 1);
  CurrentGroup = name;
}

void TFormMain::ComboProfilesChange() {
  if (!isVisible() || ComboProfiles->currentIndex() < 0) return;
  DBStuff->SelectProfile(platform::FromQString(ComboProfiles->currentText()));
  if (ListServ->State() == wsConnected) ConnectToServer();
}

// ----- peer listener ------------------------------------------------------------------------

TPeerListenerHooks TFormMain::MakePeerListenerHooks() {
  TPeerListenerHooks h;
  h.LogError = [](const std::string& addr, const std::string& port, const std::string& message) {
    LogError(addr, port, message);
  };
  h.StateChanged = [this](int state, const std::string&) {
    if (state == wsConnecting) {
      SetStatusText("Connecting... ");
      SetListenStateIcon(2);
    } else if (state == wsListening) {
      SetStatusText("Online-Listening Port: " + ListenPort);
      SetListenStateIcon(1);
      ActionStartListen->setChecked(true);
      testhooks::Trace("listening");
    } else if (state == wsClosed) {
      SetStatusText("Offline...");
      SetListenStateIcon(0);
      ActionStopListen->setChecked(true);
    }
  };
  h.Settings = [this] {
    TPeerAnswerSettings s;
    s.StatusMode = StatusMode;
    s.BusyMessage = DBStuff != nullptr ? DBStuff->BusyMessage() : std::string();
    s.AwayText = AwayText;
    s.UnavText = UnavText;
    s.AutoPChat = AutoPChat;
    s.AutoPChatOnly = AutoPChatOnly;
    return s;
  };
  h.IsUserBlocked = [this](const std::string& record) { return IsUserBlocked(record); };
  h.IsFriend = [](const std::string& id) { return DBStuff != nullptr && DBStuff->IsFriend(id); };
  h.PlayEventSound = [](int event) {
    if (Paths != nullptr) Paths->PlayEventSound(event);
  };
  h.AskRequest = [this](const std::string& record) {
    testhooks::Trace("request dialog");
    const TFormPReq::Result result = TFormPReq::Ask(this, record, [this](TFormPReq& dialog) {
      dialog.BusyTimer = BusyTimer;
      dialog.PlayEventSound = [](int event) {
        if (Paths != nullptr) Paths->PlayEventSound(event);
      };
      dialog.BlockUser = [this](const std::string& id, const std::string& name) {
        try {
          TBlockedUsers::BlockUser(this, BlockedList, BlockedPath, id, name);
        } catch (const std::exception& e) {
          LogError("None", "None", std::string("Blocking a user: ") + e.what());
        }
      };
    });
    return result.Decision;
  };
  h.AcceptPrivateChat = [this](const std::string& record, TParloSocket& socket) {
    return AcceptPrivateChat(record, socket);
  };
  h.ShowInformation = [this](const std::string& text, const std::string& caption) {
    QMessageBox::information(this, Q(caption), Q(text));
  };
  h.PeerRequest = [this](int code, const std::string& params, TParloSocket& socket) {
    PeerRequest(code, params, socket);
  };
  return h;
}

bool TFormMain::AcceptPrivateChat(const std::string&, TParloSocket& socket) {
  // HAND-OVER TO THE PRIVATE-CHAT WINDOW. Once it exists, this creates it,
  // gives it the own record (DBStuff->BuildProfileRecord(CurrentProfile, UserID,
  // CurrentGroup, StatusMode, ListenPort, "")), binds the socket's seven events
  // to it, lets it answer the request (1002) and shows it; then returns true.
  LogError(socket.PeerAddr(), socket.PeerPort(), "Private chat: not available yet; the request is closed");
  testhooks::Trace("private chat hand-over");
  return false;
}

void TFormMain::PeerRequest(int code, const std::string&, TParloSocket& socket) {
  // File offers (1020), webcam requests (1030, 1037) and room invitations
  // (2020) are answered by their windows, which come later.
  LogError(socket.PeerAddr(), socket.PeerPort(), "Peer request " + std::to_string(code) + ": not available yet");
  testhooks::Trace("peer request " + std::to_string(code));
  socket.Close();
}
