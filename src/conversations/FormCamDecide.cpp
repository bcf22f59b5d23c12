#include "conversations/FormCamDecide.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/DialogLook.h"
#include "core/DialogQuestion.h"
#include "core/session/PeerBounds.h"
#include "platform/DesktopPrompts.h"

TFormCamDecide::TFormCamDecide(QWidget* parent) : QDialog(parent) {
  setObjectName("FormCamDecide");
  setWindowTitle("View Cam?");
  dialoglook::ColourForm(this);
  auto* panel = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* choices = new QVBoxLayout(panel);
  choices->setContentsMargins(12, 12, 12, 12);
  LabQuestion = new QLabel(panel);
  LabQuestion->setWordWrap(true);
  LabQuestion->setTextFormat(Qt::PlainText);
  RadioChat = new QRadioButton("View cam in the open chat window...", panel);
  RadioCam = new QRadioButton("View cam in a separate cam viewer...", panel);
  RadioReject = new QRadioButton("Reject the request for cam broadcast.", panel);
  choices->addWidget(LabQuestion);
  for (QRadioButton* radio : {RadioChat, RadioCam, RadioReject}) choices->addWidget(radio);
  SpeedButton1 = new QPushButton("OK", this);
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(panel);
  outer->addWidget(SpeedButton1, 0, Qt::AlignRight);
  resize(360, 180);

  Timer1 = new QTimer(this);
  Timer1->setSingleShot(true);
  Timer1->setInterval(30000);
  connect(Timer1, &QTimer::timeout, this, [this] {
    Decision = Reject;
    reject();
  });
  connect(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
}

void TFormCamDecide::SetQuestion(const std::string& user, bool chatOpen) {
  LabQuestion->setText(dialoglook::PeerText(user, peerbounds::kShownName) +
                       " is sending a cam broadcast, what would you like to do?");
  RadioChat->setVisible(chatOpen);
  (chatOpen ? RadioChat : RadioCam)->setChecked(true);
  // A long name wraps onto more lines: the height follows, the width stays.
  const int needed = heightForWidth(width());
  if (needed > height()) resize(width(), needed);
}

void TFormCamDecide::SpeedButton1Click() {
  if (RadioReject->isChecked()) Decision = Reject;
  else if (RadioCam->isChecked()) Decision = SeparateViewer;
  else if (RadioChat->isChecked()) Decision = InChat;
  accept();
}

TQuestion TFormCamDecide::Open(const std::string& user, bool chatOpen, int timeoutMs,
                               std::function<void(int)> answered) {
  auto* dialog = new TFormCamDecide;
  dialog->SetQuestion(user, chatOpen);
  dialog->Timer1->setInterval(timeoutMs);
  dialog->Timer1->start();
  return ShowQuestion(
      dialog,
      [answered = std::move(answered)](QDialog* finished) {
        answered(finished != nullptr ? static_cast<TFormCamDecide*>(finished)->Decision : static_cast<int>(Reject));
      },
      platform::QuestionWindow());
}
