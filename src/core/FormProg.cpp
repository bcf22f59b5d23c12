#include "core/FormProg.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "core/DialogLook.h"
#include "platform/Charset.h"

TFormProg::TFormProg() : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint) {
  setObjectName("FormProg");
  setWindowTitle("Progress");
  dialoglook::ColourForm(this);
  auto* panel = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* inner = new QVBoxLayout(panel);
  inner->setContentsMargins(12, 12, 12, 12);
  Label = new QLabel(panel);
  Label->setWordWrap(true);
  ProgressBar = new QProgressBar(panel);
  ProgressBar->setRange(0, 100);
  ProgressBar->setTextVisible(false);
  inner->addWidget(Label);
  inner->addWidget(ProgressBar);
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(panel);
  resize(320, 110);
}

void TFormProg::Start(const std::string& caption, const std::string& text, int maximum) {
  setWindowTitle(platform::ToQString(caption));
  Label->setText(platform::ToQString(text));
  ProgressBar->setRange(0, std::max(1, maximum));
  ProgressBar->setValue(0);
  if (!isVisible()) {
    dialoglook::CentreOnScreen(this);
    show();
  }
  repaint();
}

void TFormProg::SetPosition(int position) {
  ProgressBar->setValue(position);
  ProgressBar->repaint();
}

void TFormProg::closeEvent(QCloseEvent* e) {
  e->ignore();
  hide();
}
