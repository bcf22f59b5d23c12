#include "conversations/FormTransfer.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <ctime>

#include "core/DialogLook.h"
#include "core/session/ErrorLog.h"
#include "core/session/Paths.h"
#include "core/session/Session.h"
#include "platform/Charset.h"
#include "platform/DesktopPrompts.h"

namespace {

// The bar counts in steps of this many; sizes of several gigabytes still fit.
constexpr int kBarSteps = 1000;

// The time as the desktop's locale writes it in full ("%X"), in the
// program's own characters.
QString LongTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  const std::size_t length = std::strftime(text, sizeof text, "%X", &local);
  return QString::fromLocal8Bit(text, static_cast<qsizetype>(length));
}

QLabel* PanelText(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setMinimumWidth(260);
  return label;
}

}  // namespace

TTransferHost SessionTransferHost(TSession& session) {
  TTransferHost host;
  host.LogError = [](const std::string& addr, const std::string& port, const std::string& message) {
    LogError(addr, port, message);
  };
  host.PlayEventSound = [&session](int event) { session.Paths().PlayEventSound(event); };
  host.Beep = [] { platform::Beep(); };
  return host;
}

TFormTransfer::TFormTransfer(const char* objectName, const char* caption) : QWidget(nullptr, Qt::Window) {
  setObjectName(objectName);
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(caption);
  resize(460, 440);
  dialoglook::ColourForm(this);

  auto* top = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* fields = new QFormLayout(top);
  fields->setContentsMargins(12, 10, 12, 10);
  PUser = PanelText(top);
  PFileName = PanelText(top);
  PSize = PanelText(top);
  fields->addRow("User:", PUser);
  fields->addRow("Package:", PFileName);
  fields->addRow("Size:", PSize);

  auto* middle = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* texts = descriptionBox_ = new QVBoxLayout(middle);
  texts->setContentsMargins(12, 10, 12, 10);
  Memo = new QPlainTextEdit(middle);
  Memo->setObjectName("Memo");
  Memo->setMaximumHeight(70);
  MemoLog = new QPlainTextEdit(middle);
  MemoLog->setObjectName("MemoLog");
  MemoLog->setReadOnly(true);
  PStatus = new QLabel(middle);
  PStatus->setObjectName("PStatus");
  texts->addWidget(new QLabel("Description:", middle));
  texts->addWidget(Memo);
  texts->addWidget(MemoLog, 1);
  texts->addWidget(PStatus);

  buttons_ = new QHBoxLayout;
  buttons_->addStretch(1);

  Stat = new QStatusBar(this);
  Stat->setSizeGripEnabled(false);
  PBar = new QProgressBar(Stat);
  PBar->setRange(0, kBarSteps);
  PBar->setValue(0);
  PBar->setTextVisible(false);
  QPalette bar = PBar->palette();
  bar.setColor(QPalette::Highlight, dialoglook::FormColour());
  PBar->setPalette(bar);
  Stat->addWidget(new QLabel("Progress:", Stat));
  Stat->addWidget(PBar, 1);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(6, 6, 6, 0);
  outer->addWidget(top);
  outer->addWidget(middle, 1);
  outer->addLayout(buttons_);
  outer->addWidget(Stat);
}

TFormTransfer::~TFormTransfer() {
  try {
    link_.reset();
  } catch (const std::exception& e) {
    LogError("None", "None", std::string("Transfer Destruction Error: ") + e.what());
  }
}

void TFormTransfer::WatchLink() {
  idle_ = link_->Idle.Connect([this] {
    if (closeWhenIdle_) QTimer::singleShot(0, this, [this] { close(); });
  });
}

void TFormTransfer::AddDescriptionNote() {
  descriptionBox_->insertWidget(descriptionBox_->indexOf(Memo) + 1, dialoglook::MakeCharsetNote(Memo));
}

QPushButton* TFormTransfer::AddButton(const char* caption, std::function<void()> onClick) {
  auto* button = new QPushButton(caption, this);
  connect(button, &QPushButton::clicked, this, std::move(onClick));
  buttons_->addWidget(button);
  return button;
}

void TFormTransfer::AddLog(const std::string& text) {
  SetStatus(text);
  AddLogLine(text);
}

void TFormTransfer::AddLogLine(const std::string& text) {
  MemoLog->appendPlainText(LongTimeNow() + "  " + platform::ShownQString(text));
  // The log is read from its end: each new line is brought into view.
  MemoLog->verticalScrollBar()->setValue(MemoLog->verticalScrollBar()->maximum());
}

void TFormTransfer::SetStatus(const std::string& text) { PStatus->setText(platform::ShownQString(text)); }

void TFormTransfer::SetProgress(std::uint64_t position, std::uint64_t maximum) {
  const int step = maximum == 0 ? 0 : static_cast<int>(std::min(position, maximum) * kBarSteps / maximum);
  if (step == PBar->value()) return;
  PBar->setValue(step);
  PBar->repaint();
}

void TFormTransfer::closeEvent(QCloseEvent* event) {
  if (link_ && link_->Busy()) {
    // The run would go on inside a window that is gone: it is stopped, and
    // the window closes once it has returned.
    closeWhenIdle_ = true;
    link_->CancelRun();
    event->ignore();
    return;
  }
  if (link_) link_->Close();
  event->accept();
}
