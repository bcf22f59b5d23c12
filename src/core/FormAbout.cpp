#include "core/FormAbout.h"

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/DialogLook.h"
#include "core/OpenForms.h"
#include "core/session/Paths.h"
#include "core/session/ProgramVersion.h"
#include "core/session/Session.h"
#include "platform/Charset.h"

namespace {

// A link that opens its page through the session (which tells the user when
// the page cannot be reached), not through the label's own opener.
QLabel* Link(const std::string& address, QWidget* parent) {
  auto* label = new QLabel(QString("<a href=\"%1\">%1</a>").arg(platform::ToQString(address).toHtmlEscaped()), parent);
  label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  label->setAlignment(Qt::AlignCenter);
  return label;
}

}  // namespace

TFormAbout* TFormAbout::ActionAboutExecute(TSession& session) {
  return ShowSingleForm<TFormAbout>("FormAbout", [&session] { return new TFormAbout(session); });
}

TFormAbout::TFormAbout(TSession& session, QWidget* parent) : QWidget(parent, Qt::Window), session_(session) {
  setObjectName("FormAbout");
  setAttribute(Qt::WA_DeleteOnClose);
  const QString title = QApplication::applicationName().isEmpty() ? "Parlo" : QApplication::applicationName();
  setWindowTitle("About " + title);
  dialoglook::ColourForm(this);

  auto* panel = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* inner = new QVBoxLayout(panel);
  inner->setContentsMargins(16, 16, 16, 16);
  ImgLogo = new QLabel(panel);
  ImgLogo->setAlignment(Qt::AlignCenter);
  const QPixmap logo(QString::fromStdString(platform::PathFromName(session.Paths().AppPath + "chatlogo.jpg").string()));
  if (!logo.isNull()) ImgLogo->setPixmap(logo.scaledToWidth(std::min(logo.width(), 260), Qt::SmoothTransformation));
  Label2 = new QLabel(title, panel);
  QFont big = Label2->font();
  big.setPointSize(big.pointSize() + 6);
  big.setBold(true);
  Label2->setFont(big);
  LabVersion = new QLabel(QString::fromStdString("Version: " + OwnVersion().Text()), panel);
  Label5 = Link(HomePage(), panel);
  Label7 = Link(SupportPage(), panel);
  QPalette names = Label2->palette();
  names.setColor(QPalette::WindowText, dialoglook::FormColour());
  for (QLabel* l : {Label2, LabVersion}) {
    l->setPalette(names);
    l->setAlignment(Qt::AlignCenter);
  }
  for (QWidget* w : std::initializer_list<QWidget*>{ImgLogo, Label2, LabVersion, Label5, Label7}) inner->addWidget(w);

  SpeedButton1 = new QPushButton("OK", this);
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(panel);
  outer->addWidget(SpeedButton1, 0, Qt::AlignRight);

  connect(SpeedButton1, &QPushButton::clicked, this, &QWidget::close);
  connect(Label5, &QLabel::linkActivated, this, &TFormAbout::Label5Click);
  connect(Label7, &QLabel::linkActivated, this, &TFormAbout::Label7Click);
}

void TFormAbout::Label5Click() { session_.OpenURL(HomePage()); }

void TFormAbout::Label7Click() { session_.OpenURL(SupportPage()); }
