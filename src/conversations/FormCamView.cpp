#include "conversations/FormCamView.h"

#include <QCloseEvent>
#include <QPixmap>
#include <QPointer>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "conversations/CamTestHooks.h"
#include "core/DialogLook.h"
#include "core/session/PeerBounds.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"
#include "platform/Charset.h"
#include "platform/DesktopPrompts.h"
#include "transport/NetSocketFunctions.h"

namespace {

// Connect failures that mean the broadcaster cannot be reached at all.
bool CannotConnect(int error) { return error == 10051 || error == 10053 || error == 10060; }

constexpr int kHelpTopic = 7;

}  // namespace

void TCamPictureLabel::mouseDoubleClickEvent(QMouseEvent* e) {
  QLabel::mouseDoubleClickEvent(e);
  if (DoubleClicked) DoubleClicked();
}

TFormCamView::TFormCamView(TSession& session, QWidget* parent)
    : QWidget(parent, Qt::Window),
      session_(session),
      receiver_(
          TCamReceiverHost{
              [this](const std::string& text) { SetStatus(text); },
              [this](const QImage& picture) { ShowPicture(picture); },
              [this] { ShowRefusal(TRefusal::CamNotOnline); },
              [this](int error) {
                Image->clear();
                if (!refused_) SetStatus(error != 0 ? "Cam Connection lost..." : "Cam Closed...");
              },
              [this](int error) { SocketError(error); },
              nullptr},
          session.Paths()) {
  setObjectName("FormCamView");
  setAttribute(Qt::WA_DeleteOnClose);
  dialoglook::ColourForm(this);
  Image = new TCamPictureLabel(this);
  Image->setAlignment(Qt::AlignCenter);
  Image->DoubleClicked = [this] { SaveImages1Click(); };
  Stat = new QStatusBar(this);
  Stat->setSizeGripEnabled(false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(5, 5, 5, 0);
  layout->setSpacing(5);
  layout->addWidget(Image, 1);
  layout->addWidget(Stat);
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(help, &QShortcut::activated, this, [this] { session_.ShowHelpTopic(kHelpTopic); });
  resize(250, 160);
}

void TFormCamView::SetViewerInfo(const std::string& userId, const std::string& userName,
                                 const std::string& listenIp, const std::string& listenPort) {
  own_ = cam::TViewRequest{userId, userName, listenIp, listenPort};
}

void TFormCamView::ConnectToCam(const std::string& user, const std::string& ip, const std::string& port) {
  user_ = user;
  setWindowTitle(platform::ToQString("Cam-" + CutPeerText(user, peerbounds::kShownName)));
  show();
  receiver_.Connect(ip, port, own_);
  if (TParloSocket* s = receiver_.Socket()) s->user = user;
}

void TFormCamView::SetStatus(const std::string& text) {
  status_ = text;
  Stat->showMessage(platform::ShownQString(text));
}

void TFormCamView::SaveImages1Click() { receiver_.ToggleSaveMode(user_); }

void TFormCamView::ShowPicture(const QImage& picture) {
  TraceCamPicture(*this, picture);
  if (picture.isNull()) {
    Image->clear();
    return;
  }
  Image->setPixmap(QPixmap::fromImage(picture));
  // The window fits the picture, with the margins and the status line.
  resize(picture.width() + 10, picture.height() + 10 + Stat->sizeHint().height());
}

void TFormCamView::SocketError(int error) {
  if (CannotConnect(error)) {
    ShowRefusal(TRefusal::ConnectionFailed);
    return;
  }
  const std::string desc = error == 0 ? "Winsock Error" : NetSocketErrorDesc(error);
  SetStatus("Error " + std::to_string(error) + " : " + desc);
  receiver_.CloseDelayed();
  platform::Beep();
}

void TFormCamView::ShowRefusal(TRefusal reason) {
  if (refused_) return;
  refused_ = true;
  receiver_.Close();
  const bool offline = reason == TRefusal::CamNotOnline;
  SetStatus(offline ? "Cam not online..." : "Could not connect...");
  const std::string user = CutPeerText(user_, peerbounds::kShownName);
  const std::string text = offline ? user + " does not have their cam turned on."
                                   : "Could not create a connection to " + user + " cam.";
  // The box waits for the user: never inside the socket's own event.
  QPointer<TFormCamView> self(this);
  TPrompts& prompts = session_.Prompts();
  QTimer::singleShot(0, this, [self, &prompts, text] {
    prompts.ShowInformation(text, "No Cam Connection");
    // The user may have closed the window while the box was open.
    if (self) self->close();
  });
}

void TFormCamView::closeEvent(QCloseEvent* e) {
  receiver_.Close();
  e->accept();
}
