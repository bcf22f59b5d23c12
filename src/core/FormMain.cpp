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
#include <QPixmap>
#include <QShowEvent>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdlib>
#include <cxxabi.h>
#include <typeinfo>

#include "core/ContactList.h"
#include "core/ContactMenus.h"
#include "core/FormMsgs.h"
#include "core/FormPos.h"
#include "core/MainPanels.h"
#include "core/session/DBStuff.h"
#include "core/session/DirectoryLink.h"
#include "core/session/ErrorLog.h"
#include "core/session/Paths.h"
#include "core/session/PeerListener.h"
#include "core/session/Reg.h"
#include "core/session/Session.h"
#include "core/session/StatusControls.h"
#include "core/session/TestHooks.h"
#include "platform/Charset.h"
#include "platform/FileNames.h"
#include "platform/StringList.h"
#include "resources/Resources.h"

namespace {

constexpr const char* kCrashReport =
    "Please report this error to the Parlo developers at support@parlo.invalid, with what you were doing when "
    "it happened.\r\nWe are sorry for the trouble.";

QString Q(const std::string& s) { return platform::ToQString(s); }

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
  ImgLogo->setGeometry(14, 0, 172, 40);
  PaintList = new TFrameBox(palette().base().color(), body_);
  Panel1 = new QWidget(body_);
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
  FollowSession();

  setFixedWidth(200);
  setMinimumHeight(400);
  resize(200, 420);
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
  links_.push_back(Session.ProfilesChanged.Connect([this] { FillProfiles(); }));
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

void TFormMain::FillProfiles() {
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
  connect(ActionStartListen, &QAction::triggered, this, [this] { Session.StartListening(); });
  connect(ActionStopListen, &QAction::triggered, this, [this] { Session.StopListening(); });
  connect(ActionNewGroup, &QAction::triggered, this, [this] { ActionNewGroupExecute(); });
  connect(ActionServerConnect, &QAction::triggered, this, [this] { Session.Link().ActionServerConnectExecute(); });
  connect(ActionFullListing, &QAction::triggered, this, [this] { Session.Link().ActionFullListingExecute(); });
  connect(ActionServerDisconnect, &QAction::triggered, this,
          [this] { Session.Link().ActionServerDisconnectExecute(); });
  connect(ActionHelp, &QAction::triggered, this, [this] { ActionHelpTopicsExecute(); });
  connect(ActionShow, &QAction::triggered, this, [this] { ApplicationEventsRestore(); });
  // The windows these open come from the subsystems that register with the router.
  const std::pair<QAction*, TWindowCommand> windows[] = {
      {ActionCamBroadcast, TWindowCommand::CamBroadcaster}, {ActionHostChat, TWindowCommand::HostChat},
      {ActionPref, TWindowCommand::Preferences},           {ActionCheckUpdates, TWindowCommand::CheckUpdates},
      {ActionNewPChat, TWindowCommand::FriendChat},        {ActionRandom, TWindowCommand::RandomContact},
      {ActionCheckMessages, TWindowCommand::CheckMessages}, {ActionViewProfile, TWindowCommand::ViewMyProfile},
      {ActionProMan, TWindowCommand::ProfileManager},      {ActionImgUpload, TWindowCommand::PhotoUpload},
      {ActionManageFriends, TWindowCommand::ManageFriends}, {ActionAbout, TWindowCommand::About},
      {ActionWeb, TWindowCommand::Web},                    {ActionSupport, TWindowCommand::Support}};
  for (const auto& [action, command] : windows)
    connect(action, &QAction::triggered, this, [this, command = command] { Session.RunWindowCommand(command); });
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
  BindContactCommands(PopFriend, ListF);
  BindContactCommands(PopOnline, ListO);
  BindContactCommands(PopIncoming, ListIn);
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

// A list's popup menu and double click; each command runs on a copy of the
// selected contact.
void TFormMain::BindContactCommands(TContactPopup* popup, TContactList* list) {
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list, &QWidget::customContextMenuRequested, this, [this, popup, list](const QPoint& at) {
    ContactPopupOpening(popup, list);
    popup->Menu->popup(list->viewport()->mapToGlobal(at));
  });
  connect(list, &QTreeWidget::itemDoubleClicked, this, [this, popup, list] { ContactListDblClick(popup, list); });
  const TContactListKind kind = list->Model().Kind();
  const bool friends = kind == TContactListKind::Friends;
  const std::pair<QAction*, TContactCommand> commands[] = {
      {popup->PChat, TContactCommand::PrivateChat},
      {popup->NewMessage, TContactCommand::Message},
      {popup->Profile, TContactCommand::Profile},
      {popup->CamIn, TContactCommand::CamView},
      {popup->MultiRequest, TContactCommand::InviteToChat},
      {popup->FileOut, TContactCommand::SendFile},
      {popup->ImgOut, TContactCommand::SendImage},
      {popup->SoundOut, TContactCommand::SendSound},
      {popup->CamOut, TContactCommand::CamBroadcast},
      {popup->FriendEdit, friends ? TContactCommand::DeleteFriend : TContactCommand::AddFriend},
      {popup->Block, TContactCommand::Block},
      {popup->History, TContactCommand::History}};
  for (const auto& [action, command] : commands)
    connect(action, &QAction::triggered, this, [this, list, kind, command = command] {
      if (const auto contact = SelectedContact(*list)) Session.RunContactCommand(command, *contact, kind);
    });
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
    Session.SetStatusText("Online-Listening Port: " + Session.Settings.ListenPort);
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

void TFormMain::HandleSessionEnd() { ActionExitExecute(); }

void TFormMain::EndProgram() {
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

bool TFormMain::FormCloseQuery() {
  if (exitDone_) return true;
  exitDone_ = true;
  Session.BeginExit();
  CloseOtherWindows();
  Session.FinishExit();
  try {
    SaveMainFormPos(this);
  } catch (const std::exception& e) {
    LogError("None", "None", std::string("Saving the settings: ") + e.what());
  }
  RemoveTrayIcon();
  return true;
}

void TFormMain::FormClose() {
  Session.CloseLinks();
  testhooks::Trace("exit");
  QApplication::quit();
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
  QMessageBox::critical(this, "Application Error",
                        Q("There was an error in the application, Parlo will now shutdown\r\nError:\n" + message +
                          "\r\n\r\n" + kCrashReport));
  RemoveTrayIcon();
  QApplication::exit(1);
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

void TFormMain::ContactPopupOpening(TContactPopup* popup, TContactList* list) {
  bool roomOpen = false;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "FormChat") roomOpen = true;
  popup->Apply(TPopupEnabling::Compute(HasSelectedContact(*list), IsSelectedContactOnline(*list), roomOpen,
                                       Session.Link().Connected()));
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

// ----- status, group and profile -----------------------------------------------------------

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
  if (Session.AddGroup(ok ? platform::FromQString(typed) : std::string()) == TNewGroupOutcome::Invalid)
    QMessageBox::warning(this, "Invalid Group Name",
                         "A group name cannot hold line breaks or the characters < > , and cannot hold || or {$}.");
}

void TFormMain::ComboProfilesChange() {
  if (!isVisible() || ComboProfiles->currentIndex() < 0) return;
  Session.SelectProfile(platform::FromQString(ComboProfiles->currentText()));
}
