#include "core/FormMain.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QShowEvent>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdlib>
#include <cxxabi.h>
#include <typeinfo>

#include "core/ContactList.h"
#include "core/ContactMenus.h"
#include "core/DialogLook.h"
#include "core/FormMsgs.h"
#include "core/FormPos.h"
#include "core/MainPanels.h"
#include "core/OpenForms.h"
#include "core/session/DBStuff.h"
#include "core/session/DirectoryLink.h"
#include "core/session/ErrorLog.h"
#include "core/session/Router.h"
#include "core/session/Paths.h"
#include "core/session/PeerListener.h"
#include "core/session/Reg.h"
#include "core/session/Session.h"
#include "core/session/StatusControls.h"
#include "core/session/TestHooks.h"
#include "platform/Charset.h"
#include "platform/EventLoop.h"
#include "platform/FileNames.h"
#include "platform/StringList.h"
#include "resources/Resources.h"
#include "platform/QuestionBoxes.h"

namespace {

constexpr const char* kCrashReport =
    "Please report this error to the Parlo developers at support@parlo.invalid, with what you were doing when "
    "it happened.\r\nWe are sorry for the trouble.";

QString Q(const std::string& s) { return platform::ToQString(s); }

// The window's fixed inner width, that of its lists and selectors.
constexpr int kInnerWidth = 192;

// Only a change repaints the panel.
void SetPanelColour(QWidget* panel, const QColor& colour) {
  if (panel->palette().color(QPalette::Window) == colour) return;
  QPalette pal = panel->palette();
  pal.setColor(QPalette::Window, colour);
  panel->setPalette(pal);
}

}  // namespace

// ----- construction ------------------------------------------------------------

TFormMain::TFormMain(TSession& session, QWidget* parent) : QMainWindow(parent), Session(session) {
  setObjectName("FormMain");
  setWindowTitle("Parlo");
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kFormColor);
  setPalette(pal);
  setAutoFillBackground(true);
  // The program's icon is every window's: the chat, transfer, cam, room and
  // dialog windows take it from the application.
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64}) icon.addPixmap(QPixmap::fromImage(resources::AppIcon(size)));
  QApplication::setWindowIcon(icon);

  body_ = new QWidget(this);
  body_->installEventFilter(this);
  setCentralWidget(body_);

  ImgLogo = new QLabel(body_);
  ImgLogo->setGeometry(10, 0, 172, 40);
  PaintList = new TPaintBox(body_);
  PaintList->OnPaint = [this](QPainter& p) { PaintListPaint(p); };
  Panel1 = new QWidget(body_);
  SetPanelColour(Panel1, palette().base().color());
  Panel1->setAutoFillBackground(true);
  ListF = new TContactList(Session.Friends, Panel1);
  ListO = new TContactList(Session.Online, Panel1);
  ListIn = new TContactList(Session.Incoming, Panel1);
  ListF->setObjectName("ListF");
  ListO->setObjectName("ListO");
  ListIn->setObjectName("ListIn");
  Tab1 = new TTabBox("Friends", body_);
  Tab2 = new TTabBox("Online", body_);
  Tab3 = new TTabBox("Incoming", body_);
  Tab1->move(6, 40);
  Tab2->move(66, 40);
  Tab3->move(126, 40);
  Tab4 = new TTabBox("Profiles", body_);
  Tab5 = new TTabBox("Groups", body_);
  Tab6 = new TTabBox("Status", body_);
  PaintBot = new TPaintBox(body_);
  PaintBot->OnPaint = [this](QPainter& p) { PaintBotPaint(p); };
  Panel2 = new QWidget(body_);
  SetPanelColour(Panel2, kPanelColor);
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
  FillGroups();
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
  // The four menus' titles were laid out for a small 8-point face and little
  // room around each: in the desktop's usual ones the last goes behind a
  // "more" button.
  menuBar()->setStyleSheet(
      "QMenuBar { font-size: 11px; background: palette(button); } QMenuBar::item { padding: 3px 2px; background: transparent; }"
      " QMenuBar::item:selected { background: palette(highlight); color: palette(highlighted-text); }");
  FollowSession();

  setFixedWidth(kInnerWidth);
  setMinimumHeight(400);
  resize(kInnerWidth, 420);
  RestoreMainFormPos(this);
  Session.Settings.HideAppStart = TReg::ReadSettingBool("HideAppStart");
}

TFormMain::~TFormMain() {
  links_.clear();
  RemoveTrayIcon();
}

// What the window shows of the session follows it.
void TFormMain::FollowSession() {
  links_.push_back(Session.StatusTextChanged.Connect([this](const std::string& text) { Stat->SetStatusText(text); }));
  links_.push_back(Session.ServerImageChanged.Connect([this](int image) { Stat->SetServerStateIcon(image); }));
  links_.push_back(Session.ListenerImageChanged.Connect([this](int image) { Stat->SetListenStateIcon(image); }));
  links_.push_back(Session.ListenerStateChanged.Connect([this](TSocketState state) {
    if (state == wsListening) ActionStartListen->setChecked(true);
    else if (state == wsClosed) ActionStopListen->setChecked(true);
  }));
  links_.push_back(Session.Link().StateChanged.Connect([this](TSocketState state) {
    if (state == wsConnected || state == wsClosed || state == wsInvalidState) UpdateServerActions();
  }));
  links_.push_back(Session.IdentityChanged.Connect([this] { setWindowTitle(Q(Session.Caption())); }));
  links_.push_back(Session.GroupsChanged.Connect([this] { FillGroups(); }));
  links_.push_back(Session.ProfilesChanged.Connect([this] { RefreshProfileList(); }));
  links_.push_back(Session.EndRequested.Connect([this] { EndProgram(); }));
  // For the end-to-end tests: a status chosen as if by the user, once the
  // log-on is through.
  links_.push_back(Session.Link().LoggedOn.Connect([this] {
    int delay = 0, status = 0;
    if (statusChangeScheduled_ || !testhooks::ScheduledStatusChange(delay, status)) return;
    statusChangeScheduled_ = true;
    QTimer::singleShot(delay, this, [this, status] {
      ComboStatus->setCurrentIndex(status);
      ComboStatusChange();
    });
  }));
}

void TFormMain::FillGroups() {
  ComboGroup->clear();
  for (int i = 0; i < Session.GroupsList.Count(); ++i) ComboGroup->addItem(Q(Session.GroupsList[i]));
  const int group = ComboGroup->findText(Q(Session.Settings.CurrentGroup), Qt::MatchExactly);
  ComboGroup->setCurrentIndex(group >= 0 ? group : 0);
}

void TFormMain::RefreshProfileList() {
  ComboProfiles->clear();
  TStringList names;
  names.SetText(Session.DB().ListProfileNames());
  for (int i = 0; i < names.Count(); ++i) ComboProfiles->addItem(Q(names[i]));
  ComboProfiles->setCurrentIndex(ComboProfiles->findText(Q(Session.Settings.CurrentProfile), Qt::MatchExactly));
}

void TFormMain::BuildActions() {
  auto make = [this](const char* caption) { return new QAction(caption, this); };
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
  ActionViewMyProfile = make("View My Profile");
  ActionProMan = make("Profile Manager");
  ActionImgUpload = make("Upload Profile Photo");
  ActionNewGroup = make("Create New User Group");
  ActionShowFriends = make("Manage Friends List");
  ActionAbout = make("About Parlo");
  ActionVantorelWeb = make("Parlo on the Web");
  ActionVantorelSupport = make("Parlo Support");
  ActionHelpTopics = make("Help");
  ActionHelpTopics->setShortcut(Qt::Key_F1);
  ActionShow = make("Show Parlo");
  // One of the two listening commands carries the mark: the listener's state
  // moves it.
  auto* listenGroup = new QActionGroup(this);
  for (QAction* a : {ActionStartListen, ActionStopListen}) {
    a->setCheckable(true);
    listenGroup->addAction(a);
  }
  ActionStopListen->setChecked(true);

  connect(ActionExit, &QAction::triggered, this, &TFormMain::ActionExitExecute);
  connect(ActionStartListen, &QAction::triggered, this, &TFormMain::ActionStartListenExecute);
  connect(ActionStopListen, &QAction::triggered, this, &TFormMain::ActionStopListenExecute);
  connect(ActionNewGroup, &QAction::triggered, this, &TFormMain::ActionNewGroupExecute);
  connect(ActionServerConnect, &QAction::triggered, this, [this] { Session.Link().ActionServerConnectExecute(); });
  connect(ActionFullListing, &QAction::triggered, this, [this] { Session.Link().ActionFullListingExecute(); });
  connect(ActionServerDisconnect, &QAction::triggered, this, [this] { Session.Link().ActionServerDisconnectExecute(); });
  connect(ActionCheckUpdates, &QAction::triggered, this, &TFormMain::ActionCheckUpdatesExecute);
  connect(ActionCheckMessages, &QAction::triggered, this, &TFormMain::ActionCheckMessagesExecute);
  connect(ActionHelpTopics, &QAction::triggered, this, &TFormMain::ActionHelpTopicsExecute);
  connect(ActionShow, &QAction::triggered, this, &TFormMain::ActionShowExecute);
  // The windows these open come from the subsystems that register with the router.
  const std::pair<QAction*, TWindowCommand> windows[] = {
      {ActionCamBroadcast, TWindowCommand::CamBroadcaster}, {ActionHostChat, TWindowCommand::HostChat},
      {ActionPref, TWindowCommand::Preferences},           {ActionNewPChat, TWindowCommand::FriendChat},
      {ActionRandom, TWindowCommand::RandomContact},        {ActionViewMyProfile, TWindowCommand::ViewMyProfile},
      {ActionProMan, TWindowCommand::ProfileManager},      {ActionImgUpload, TWindowCommand::PhotoUpload},
      {ActionShowFriends, TWindowCommand::ManageFriends},  {ActionAbout, TWindowCommand::About},
      {ActionVantorelWeb, TWindowCommand::Web},            {ActionVantorelSupport, TWindowCommand::Support}};
  for (const auto& [action, command] : windows)
    connect(action, &QAction::triggered, this, [this, command = command] { Session.RunWindowCommand(command); });
  BuildContactActions();
}

// Every contact command exists once per list, with the list's handler.
void TFormMain::BuildContactActions() {
  using P = TCommandPicture;
  const struct {
    QAction** action;
    const char* caption;
    void (TFormMain::*execute)();
    TCommandPicture picture;
  } members[] = {
      {&ActionPChatFriend, "Call for Private Chat", &TFormMain::ActionPChatFriendExecute, P::Chat},
      {&ActionPChatOnline, "Call for Private Chat", &TFormMain::ActionPChatOnlineExecute, P::Chat},
      {&ActionPChatIncoming, "Call for Private Chat", &TFormMain::ActionPChatIncomingExecute, P::Chat},
      {&ActionNewMessageF, "Send Message", &TFormMain::ActionNewMessageFExecute, P::Message},
      {&ActionNewMessageO, "Send Mssage", &TFormMain::ActionNewMessageOExecute, P::Message},
      {&ActionNewMessageIn, "SendMessage", &TFormMain::ActionNewMessageInExecute, P::Message},
      {&ActionProfileFriend, "View Profile", &TFormMain::ActionProfileFriendExecute, P::Profile},
      {&ActionProfileOnline, "View Profile", &TFormMain::ActionProfileOnlineExecute, P::Profile},
      {&ActionProfileIncoming, "View Profile", &TFormMain::ActionProfileIncomingExecute, P::Profile},
      {&ActionCamInFriend, "Request to View Cam", &TFormMain::ActionCamInFriendExecute, P::CamView},
      {&ActionCamInOnline, "Request to View Cam", &TFormMain::ActionCamInOnlineExecute, P::CamView},
      {&ActionCamInIncoming, "Request to View Cam", &TFormMain::ActionCamInIncomingExecute, P::CamView},
      {&ActionMultiRequestFriend, "Invite to Multi-Chat", &TFormMain::ActionMultiRequestFriendExecute, P::Invite},
      {&ActionMultiRequestOnline, "Invite to Multi-Chat", &TFormMain::ActionMultiRequestOnlineExecute, P::Invite},
      {&ActionMultiRequestIncoming, "Invite to Multi-Chat", &TFormMain::ActionMultiRequestIncomingExecute, P::Invite},
      {&ActionFileOutFriend, "Send Files", &TFormMain::ActionFileOutFriendExecute, P::Files},
      {&ActionFileOutOnline, "Send Files", &TFormMain::ActionFileOutOnlineExecute, P::Files},
      {&ActionFileOutIncoming, "Send Files", &TFormMain::ActionFileOutIncomingExecute, P::Files},
      {&ActionImgOutFriend, "Send Image", &TFormMain::ActionImgOutFriendExecute, P::Image},
      {&ActionImgOutOnline, "Send Image", &TFormMain::ActionImgOutOnlineExecute, P::Image},
      {&ActionImgOutIncoming, "Send Image", &TFormMain::ActionImgOutIncomingExecute, P::Image},
      {&ActionSoundOutFriend, "Send Sound File", &TFormMain::ActionSoundOutFriendExecute, P::Sound},
      {&ActionSoundOutOnline, "Send Sound File", &TFormMain::ActionSoundOutOnlineExecute, P::Sound},
      {&ActionSoundOutIncoming, "Send Sound File", &TFormMain::ActionSoundOutIncomingExecute, P::Sound},
      {&ActionCamOutFriend, "Send Cam Broadcast", &TFormMain::ActionCamOutFriendExecute, P::CamSend},
      {&ActionCamOutOnline, "Send Cam Broadcast", &TFormMain::ActionCamOutOnlineExecute, P::CamSend},
      {&ActionCamOutIncoming, "Send Cam Broadcast", &TFormMain::ActionCamOutIncomingExecute, P::CamSend},
      {&ActionDeleteFriend, "Delete from Friend List", &TFormMain::ActionDeleteFriendExecute, P::RemoveFriend},
      {&ActionAddFriendOnline, "Add to Friend List", &TFormMain::ActionAddFriendOnlineExecute, P::AddFriend},
      {&ActionAddFriendIncoming, "Add to Friend List", &TFormMain::ActionAddFriendIncomingExecute, P::AddFriend},
      {&ActionBlockFriend, "Block this User", &TFormMain::ActionBlockFriendExecute, P::Block},
      {&ActionBlockOnline, "Block this User", &TFormMain::ActionBlockOnlineExecute, P::Block},
      {&ActionBlockIncoming, "Block this User", &TFormMain::ActionBlockIncomingExecute, P::Block},
      {&ActionHistoryFriends, "Show History", &TFormMain::ActionHistoryFriendsExecute, P::History},
      {&ActionHistoryOnline, "Show History", &TFormMain::ActionHistoryOnlineExecute, P::History},
      {&ActionHistoryIn, "Show History", &TFormMain::ActionHistoryInExecute, P::History}};
  for (const auto& m : members) {
    *m.action = new QAction(CommandPicture(m.picture), m.caption, this);
    connect(*m.action, &QAction::triggered, this, m.execute);
  }
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
  friends->addActions({ActionViewMyProfile, ActionProMan, ActionImgUpload});
  friends->addSeparator();
  friends->addAction(ActionNewGroup);
  friends->addSeparator();
  friends->addAction(ActionShowFriends);
  QMenu* help = menuBar()->addMenu("Help");
  help->addAction(ActionAbout);
  help->addSeparator();
  help->addActions({ActionVantorelWeb, ActionVantorelSupport});
  help->addSeparator();
  help->addAction(ActionHelpTopics);

  PopFriend = new TContactPopup(
      this, {ActionPChatFriend, ActionNewMessageF, ActionProfileFriend, ActionCamInFriend, ActionMultiRequestFriend,
             ActionFileOutFriend, ActionImgOutFriend, ActionSoundOutFriend, ActionCamOutFriend, ActionDeleteFriend,
             ActionBlockFriend, ActionHistoryFriends});
  PopOnline = new TContactPopup(
      this, {ActionPChatOnline, ActionNewMessageO, ActionProfileOnline, ActionCamInOnline, ActionMultiRequestOnline,
             ActionFileOutOnline, ActionImgOutOnline, ActionSoundOutOnline, ActionCamOutOnline, ActionAddFriendOnline,
             ActionBlockOnline, ActionHistoryOnline});
  PopIncoming = new TContactPopup(
      this, {ActionPChatIncoming, ActionNewMessageIn, ActionProfileIncoming, ActionCamInIncoming,
             ActionMultiRequestIncoming, ActionFileOutIncoming, ActionImgOutIncoming, ActionSoundOutIncoming,
             ActionCamOutIncoming, ActionAddFriendIncoming, ActionBlockIncoming, ActionHistoryIn});
  BindContactList(ListF, &TFormMain::PopFriendPopup, &TFormMain::ListFDblClick);
  BindContactList(ListO, &TFormMain::PopOnlinePopup, &TFormMain::ListODblClick);
  BindContactList(ListIn, &TFormMain::PopIncomingPopup, &TFormMain::ListInDblClick);
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

// A list's popup menu opens where it was asked for, once its handler has set
// what it offers.
void TFormMain::BindContactList(TContactList* list, void (TFormMain::*popup)(), void (TFormMain::*dblClick)()) {
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list, &QWidget::customContextMenuRequested, this, [this, list, popup](const QPoint& at) {
    (this->*popup)();
    TContactPopup* menu = list == ListF ? PopFriend : list == ListO ? PopOnline : PopIncoming;
    menu->Menu->popup(list->viewport()->mapToGlobal(at));
  });
  list->OnDblClick = [this, dblClick] { (this->*dblClick)(); };
}

// The list area stretches with the window; the lower tabs, the selector panel
// and the status bar keep to the bottom.
void TFormMain::LayoutPanels() {
  const int w = body_->width();
  const int h = body_->height();
  Stat->setGeometry(0, h - Stat->height(), w, Stat->height());
  const int botTop = Stat->y() - 53 - 2;
  PaintBot->setGeometry(0, botTop, kInnerWidth, 53);
  Panel2->setGeometry(5, botTop, 182, 53);
  const int tabTop = botTop - 17;
  Tab4->move(6, tabTop);
  Tab5->move(66, tabTop);
  Tab6->move(124, tabTop);
  const int listTop = 57;
  const int listHeight = std::max(40, tabTop - 5 - listTop);
  PaintList->setGeometry(0, listTop, kInnerWidth, listHeight);
  Panel1->setGeometry(5, listTop, 182, listHeight);
  for (TContactList* l : {ListF, ListO, ListIn}) l->setGeometry(0, 3, 182, listHeight - 6);
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
  Session.LoadCurrentSelections();
  Session.CreateLocalStores();
  AddTrayIcon();
  setWindowTitle(Q(Session.Caption()));
  // The banner is decoration: without it the window works all the same.
  const QPixmap logo(QString::fromStdString(platform::PathFromName(Session.Paths().AppPath + "logo.jpg").string()));
  if (logo.isNull()) LogError("None", "None", "The logo picture \"logo.jpg\" is missing or cannot be read");
  else ImgLogo->setPixmap(logo.scaled(172, 40, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));

  Session.DB().SelectProfile(Session.Settings.CurrentProfile);
  ComboStatus->setCurrentIndex(Session.Settings.StatusMode);
  FillGroups();

  if (Session.Settings.HideAppStart && tray_ != nullptr) {
    // Starts in the tray: the window stays hidden until the tray icon opens it.
  } else if (Session.Settings.HideAppStart) {
    showMinimized();
  } else {
    show();
    raise();
    activateWindow();
  }
  testhooks::Trace("shown");

  if (Session.StartAfterShow()) ListF->setFocus();
}

void TFormMain::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  if (!FirstShow) {
    UpdateServerActions();
    ListF->setFocus();
  }
}

void TFormMain::AddTrayIcon() {
  if (tray_ != nullptr || !QSystemTrayIcon::isSystemTrayAvailable()) return;
  tray_ = new QSystemTrayIcon(windowIcon(), this);
  tray_->setToolTip("Parlo");
  connect(tray_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) { TrayIconMessage(static_cast<int>(reason)); });
  tray_->show();
}

void TFormMain::TrayIconMessage(int reason) {
  if (reason == QSystemTrayIcon::DoubleClick) {
    if (isVisible() && !isMinimized()) ApplicationEventsMinimize();
    else ApplicationEventsRestore();
  } else if (reason == QSystemTrayIcon::Context) {
    if (!isVisible()) {
      PopMain->popup(QCursor::pos());
    } else {
      raise();
      activateWindow();
    }
  }
}

void TFormMain::RemoveTrayIcon() {
  if (tray_ == nullptr) return;
  tray_->hide();
  delete tray_;
  tray_ = nullptr;
}

void TFormMain::UpdateServerActions() {
  const bool connected = Session.Link().Connected();
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
  if (Session.Listener().State() == wsListening) {
    Session.SetStatusText("Online-Listening Port: " + Session.Listener().Socket().Port());
    Session.SetListenerImage(1);
  } else {
    Session.SetStatusText("Offline...");
    Session.SetListenerImage(0);
  }
  Session.SetServerImage(Session.Link().Connected() ? 1 : 0);
}

void TFormMain::ActivateFromOtherInstance() {
  if (Session.Closing()) return;
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

// The session asks for the end (EndRequested), and the window ends the program.
void TFormMain::ActionExitExecute() { Session.RequestEnd(); }

void TFormMain::ActionHelpTopicsExecute() { Session.ShowHelpTopic(0); }

void TFormMain::ActionStartListenExecute() { Session.StartListening(); }

void TFormMain::ActionStopListenExecute() { Session.StopListening(); }

void TFormMain::ActionShowExecute() { ApplicationEventsRestore(); }

void TFormMain::ActionCheckUpdatesExecute() { Session.RunWindowCommand(TWindowCommand::CheckUpdates); }

void TFormMain::ActionCheckMessagesExecute() { Session.RunWindowCommand(TWindowCommand::CheckMessages); }

void TFormMain::HandleSessionEnd() { ActionExitExecute(); }

void TFormMain::EndProgram() {
  // The stores first: closing the other windows may take long.
  SaveBeforeExit();
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

void TFormMain::SaveBeforeExit() {
  if (exitDone_) return;  // after a failure nothing is saved
  Session.BeginExit();
  if (formPosSaved_) return;
  formPosSaved_ = true;
  try {
    SaveMainFormPos(this);
  } catch (const std::exception& e) {
    LogError("None", "None", std::string("Saving the settings: ") + e.what());
  }
}

bool TFormMain::FormCloseQuery() {
  if (exitDone_) return true;
  SaveBeforeExit();
  exitDone_ = true;
  CloseOtherWindows();
  Session.FinishExit();
  RemoveTrayIcon();
  return true;
}

void TFormMain::FormClose() {
  Session.CloseLinks();
  testhooks::Trace("exit");
  platform::QuitApplication();
}

void TFormMain::closeEvent(QCloseEvent* e) {
  FormCloseQuery();
  e->accept();
  FormClose();
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
  exitDone_ = true;  // the settings are not saved after a failure
  Session.Abandon();
  testhooks::Trace("application error");
  platform::RunMessageBox(QMessageBox::Critical, "Application Error",
                          Q("There was an error in the application, Parlo will now shutdown\r\nError:\n" + message +
                            "\r\n\r\n" + kCrashReport),
                          QMessageBox::Ok, this);
  RemoveTrayIcon();
  platform::QuitApplication(1);
}

// ----- tabs ----------------------------------------------------------------------------

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

// ----- contact popups ------------------------------------------------------------------

void TFormMain::PopFriendPopup() { ContactPopupOpening(PopFriend, ListF); }
void TFormMain::PopOnlinePopup() { ContactPopupOpening(PopOnline, ListO); }
void TFormMain::PopIncomingPopup() { ContactPopupOpening(PopIncoming, ListIn); }
void TFormMain::ListFDblClick() { ContactListDblClick(PopFriend, ListF); }
void TFormMain::ListODblClick() { ContactListDblClick(PopOnline, ListO); }
void TFormMain::ListInDblClick() { ContactListDblClick(PopIncoming, ListIn); }

bool TFormMain::IsHostingChat() const { return FindOpenForm("FormChat") != nullptr; }

void TFormMain::ContactPopupOpening(TContactPopup* popup, TContactList* list) {
  popup->Apply(TPopupEnabling::Compute(HasSelectedContact(*list), IsSelectedContactOnline(*list), IsHostingChat(),
                                       Session.Link().Connected()));
  UpdateServerActions();
}

void TFormMain::ContactListDblClick(TContactPopup* popup, TContactList* list) {
  switch (DoubleClickActionFor(HasSelectedContact(*list), IsSelectedContactOnline(*list))) {
    case TDoubleClickAction::DisablePrivateChat:
      popup->Actions.PChat->setEnabled(false);
      break;
    case TDoubleClickAction::PrivateChat:
      popup->Actions.PChat->setEnabled(true);
      popup->Actions.PChat->trigger();
      break;
    case TDoubleClickAction::SendMessage:
      popup->Actions.NewMessage->setEnabled(true);
      popup->Actions.NewMessage->trigger();
      break;
  }
}

// ----- contact commands --------------------------------------------------------------------

// The command runs on a copy of the selected contact: its dialogs may change
// the list meanwhile. Nothing is selected: nothing happens.
void TFormMain::RunContactCommand(TContactCommand command, TContactList* list) {
  if (const auto contact = SelectedContact(*list)) Session.RunContactCommand(command, *contact, list->Model().Kind());
}

void TFormMain::NewMessageToSelected(TContactList* list) { RunContactCommand(TContactCommand::Message, list); }

void TFormMain::ActionPChatFriendExecute() { RunContactCommand(TContactCommand::PrivateChat, ListF); }
void TFormMain::ActionPChatOnlineExecute() { RunContactCommand(TContactCommand::PrivateChat, ListO); }
void TFormMain::ActionPChatIncomingExecute() { RunContactCommand(TContactCommand::PrivateChat, ListIn); }
void TFormMain::ActionNewMessageFExecute() { NewMessageToSelected(ListF); }
void TFormMain::ActionNewMessageOExecute() { NewMessageToSelected(ListO); }
void TFormMain::ActionNewMessageInExecute() { NewMessageToSelected(ListIn); }
void TFormMain::ActionProfileFriendExecute() { RunContactCommand(TContactCommand::Profile, ListF); }
void TFormMain::ActionProfileOnlineExecute() { RunContactCommand(TContactCommand::Profile, ListO); }
void TFormMain::ActionProfileIncomingExecute() { RunContactCommand(TContactCommand::Profile, ListIn); }
void TFormMain::ActionCamInFriendExecute() { RunContactCommand(TContactCommand::CamView, ListF); }
void TFormMain::ActionCamInOnlineExecute() { RunContactCommand(TContactCommand::CamView, ListO); }
void TFormMain::ActionCamInIncomingExecute() { RunContactCommand(TContactCommand::CamView, ListIn); }
void TFormMain::ActionMultiRequestFriendExecute() { RunContactCommand(TContactCommand::InviteToChat, ListF); }
void TFormMain::ActionMultiRequestOnlineExecute() { RunContactCommand(TContactCommand::InviteToChat, ListO); }
void TFormMain::ActionMultiRequestIncomingExecute() { RunContactCommand(TContactCommand::InviteToChat, ListIn); }
void TFormMain::ActionFileOutFriendExecute() { RunContactCommand(TContactCommand::SendFile, ListF); }
void TFormMain::ActionFileOutOnlineExecute() { RunContactCommand(TContactCommand::SendFile, ListO); }
void TFormMain::ActionFileOutIncomingExecute() { RunContactCommand(TContactCommand::SendFile, ListIn); }
void TFormMain::ActionImgOutFriendExecute() { RunContactCommand(TContactCommand::SendImage, ListF); }
void TFormMain::ActionImgOutOnlineExecute() { RunContactCommand(TContactCommand::SendImage, ListO); }
void TFormMain::ActionImgOutIncomingExecute() { RunContactCommand(TContactCommand::SendImage, ListIn); }
void TFormMain::ActionSoundOutFriendExecute() { RunContactCommand(TContactCommand::SendSound, ListF); }
void TFormMain::ActionSoundOutOnlineExecute() { RunContactCommand(TContactCommand::SendSound, ListO); }
void TFormMain::ActionSoundOutIncomingExecute() { RunContactCommand(TContactCommand::SendSound, ListIn); }
void TFormMain::ActionCamOutFriendExecute() { RunContactCommand(TContactCommand::CamBroadcast, ListF); }
void TFormMain::ActionCamOutOnlineExecute() { RunContactCommand(TContactCommand::CamBroadcast, ListO); }
void TFormMain::ActionCamOutIncomingExecute() { RunContactCommand(TContactCommand::CamBroadcast, ListIn); }
void TFormMain::ActionDeleteFriendExecute() { RunContactCommand(TContactCommand::DeleteFriend, ListF); }
void TFormMain::ActionAddFriendOnlineExecute() { RunContactCommand(TContactCommand::AddFriend, ListO); }
void TFormMain::ActionAddFriendIncomingExecute() { RunContactCommand(TContactCommand::AddFriend, ListIn); }
void TFormMain::ActionBlockFriendExecute() { RunContactCommand(TContactCommand::Block, ListF); }
void TFormMain::ActionBlockOnlineExecute() { RunContactCommand(TContactCommand::Block, ListO); }
void TFormMain::ActionBlockIncomingExecute() { RunContactCommand(TContactCommand::Block, ListIn); }
void TFormMain::ActionHistoryFriendsExecute() { RunContactCommand(TContactCommand::History, ListF); }
void TFormMain::ActionHistoryOnlineExecute() { RunContactCommand(TContactCommand::History, ListO); }
void TFormMain::ActionHistoryInExecute() { RunContactCommand(TContactCommand::History, ListIn); }

// ----- status, group and profile -----------------------------------------------------------

// The frames behind the lists (in the window colour) and behind the
// selectors; each panel on a frame takes the frame's colour.
void TFormMain::PaintListPaint(QPainter& p) {
  const QColor window = palette().base().color();
  PaintRoundedFrame(p, PaintList->size(), window);
  SetPanelColour(Panel1, window);
}

void TFormMain::PaintBotPaint(QPainter& p) {
  PaintRoundedFrame(p, PaintBot->size(), kPanelColor);
  SetPanelColour(Panel2, kPanelColor);
}

void TFormMain::ComboStatusChange() {
  Session.SetStatusMode(ComboStatus->currentIndex());
  const int kind = AwayPickerKindForStatus(Session.Settings.StatusMode);
  if (kind >= 0) ShowAwayMessagePicker(kind);
}

void TFormMain::ShowAwayMessagePicker(int kind) {
  if (!Session.SavedMessages) return;
  TFormMsgs* picker = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "FormMsgs") picker = qobject_cast<TFormMsgs*>(w);
  const bool open = picker != nullptr;
  if (!open) {
    picker = new TFormMsgs(*Session.SavedMessages, nullptr);
    picker->OnMessageChosen = [this](int mode, const std::string& text) {
      if (mode == 0) Session.Settings.AwayText = text;
      else Session.Settings.UnavText = text;
    };
  }
  const TAwayPickerText texts = AwayPickerText(kind);
  picker->Mode = kind;
  picker->setWindowTitle(texts.Caption);
  picker->Label3->setText(texts.Prompt);
  picker->CurrentText = kind == 0 ? Session.Settings.AwayText : Session.Settings.UnavText;
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
  Session.Settings.CurrentGroup = platform::FromQString(ComboGroup->currentText());
  if (isVisible()) Session.OfferGroupListing();
}

void TFormMain::ActionNewGroupExecute() {
  bool ok = false;
  const QString typed = QInputDialog::getText(this, "New Group Name", "Please enter a name for the new user group...",
                                              QLineEdit::Normal, QString(), &ok);
  if (Session.Closing()) return;
  // A group name with "?" for what it cannot carry would be saved and shown so.
  if (ok && dialoglook::RefuseName(this, "Invalid Group Name", "group name", typed)) return;
  if (Session.AddGroup(ok ? platform::FromQString(typed) : std::string()) == TNewGroupOutcome::Invalid)
    platform::RunMessageBox(QMessageBox::Warning, "Invalid Group Name",
                            "A group name cannot hold line breaks, the characters > and , or the text ||.",
                            QMessageBox::Ok, this);
}

void TFormMain::ComboProfilesChange() {
  if (!isVisible() || ComboProfiles->currentIndex() < 0) return;
  Session.SelectProfile(platform::FromQString(ComboProfiles->currentText()));
}
