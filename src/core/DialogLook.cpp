#include "core/DialogLook.h"

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPalette>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>
#include <vector>

#include "core/session/PeerBounds.h"
#include "platform/Charset.h"
#include "platform/QuestionBoxes.h"

namespace dialoglook {

TFramePanel::TFramePanel(QColor colour, QWidget* parent) : QWidget(parent), colour_(colour) {}

void TFramePanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(colour_);
  p.setBrush(colour_);
  p.drawRoundedRect(rect().adjusted(3, 3, -3, -3), 4, 4);
}

namespace {

// The class a window was declared as when it is one of its own (Q_OBJECT), else null.
const char* OwnClassName(const QWidget* form) {
  const QMetaObject* meta = form->metaObject();
  return meta == &QWidget::staticMetaObject || meta == &QDialog::staticMetaObject ? nullptr : meta->className();
}

}  // namespace

// The style keeps what it draws (frames, buttons, spin boxes) in the process's
// pixmap cache, named after the palette it was drawn with. A palette set on one
// window is a palette of its own, and its children's too, so every window
// opened would add its own drawings until the cache is full, and their names
// for good. All windows of a class therefore share one palette: the
// application's for that class, taken over as it is.
void ColourForm(QWidget* form, const QColor& colour) {
  QPalette pal = QGuiApplication::palette();
  pal.setColor(QPalette::Window, colour);
  for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    pal.setColor(QPalette::Disabled, role, DisabledTextColour());
  form->setAutoFillBackground(true);
  const char* look = OwnClassName(form);
  if (look == nullptr) {
    form->setPalette(pal);
    return;
  }
  if (QApplication::palette(look) != pal) {
    // Nothing set, nothing to resolve: a window copies it without making it its own.
    pal.setResolveMask(0);
    QApplication::setPalette(pal, look);
  }
  form->setPalette(QPalette());
}

void DialogBorder(QWidget* form, const char* fontFamily) {
  form->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  QFont font = form->font();
  font.setFamily(fontFamily);
  form->setFont(font);
}

void ColourLabel(QLabel* label, const QColor& colour) {
  QPalette pal = label->palette();
  pal.setColor(QPalette::Window, colour);
  label->setPalette(pal);
  label->setAutoFillBackground(true);
}

void PanelOverButtons(QWidget* form, QWidget* panel, std::initializer_list<QWidget*> left,
                      std::initializer_list<QWidget*> right) {
  auto* buttons = new QHBoxLayout;
  for (auto* button : left) buttons->addWidget(button);
  buttons->addStretch();
  for (auto* button : right) buttons->addWidget(button);
  auto* outer = new QVBoxLayout(form);
  outer->addWidget(panel);
  outer->addLayout(buttons);
}

void CentreOnScreen(QWidget* form) {
  const QScreen* screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
  if (screen) form->move(screen->availableGeometry().center() - form->rect().center());
}

QString PeerText(const std::string& text, std::size_t limit) {
  return BreakableText(platform::ToQString(CutPeerText(text, limit)));
}

QString BreakableText(const QString& text) {
  // A zero-width space: invisible, but a line may end there.
  constexpr QChar kBreak(0x200B);
  constexpr int kRun = 16;
  QString out;
  out.reserve(text.size() + text.size() / kRun);
  int run = 0;
  for (const QChar c : text) {
    run = c.isSpace() ? 0 : run + 1;
    if (run > kRun) {
      out += kBreak;
      run = 1;
    }
    out += c;
  }
  return out;
}

QString MemoFromText(const std::string& text) {
  std::string lf;
  lf.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      lf += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      lf += text[i];
    }
  }
  return platform::ToQString(lf);
}

std::string TextFromMemo(const QString& memo) {
  const std::string ansi = platform::FromQString(memo);
  std::string out;
  out.reserve(ansi.size());
  for (char c : ansi) {
    if (c == '\n') out += "\r\n";
    else if (c != '\r') out += c;
  }
  return out;
}

std::size_t TextFromMemoSize(const QString& memo) {
  std::size_t size = 0;
  for (qsizetype i = 0; i < memo.size(); ++i) {
    const char16_t u = memo.at(i).unicode();
    if (u == '\r') continue;
    size += u == '\n' ? 2 : 1;
    if (QChar::isHighSurrogate(u) && i + 1 < memo.size() && QChar::isLowSurrogate(memo.at(i + 1).unicode())) ++i;
  }
  return size;
}

namespace {

constexpr qsizetype kNotedCharacters = 12;  // one line's worth; the rest is "..."

}  // namespace

QLabel* NewCharsetNote(QWidget* parent) {
  auto* note = new QLabel(parent);
  note->setObjectName("CharsetNote");
  note->setAutoFillBackground(true);
  QPalette pal = note->palette();
  pal.setColor(QPalette::Window, QColor(0xFF, 0xF4, 0xC0));
  pal.setColor(QPalette::WindowText, Qt::black);
  note->setPalette(pal);
  note->setContentsMargins(4, 1, 4, 1);
  note->setWordWrap(true);
  note->hide();
  return note;
}

namespace {

// The characters of `text` that cannot be carried, one line's worth, spaced
// so that each reads on its own; empty when there are none.
QString LostCharacters(const QString& text) {
  const QString lost = platform::CharactersWithoutAnsi(text);
  QString listed;
  qsizetype count = 0;
  for (qsizetype i = 0; i < lost.size(); ++i, ++count) {
    if (count == kNotedCharacters) return listed + QChar(0x2026);
    if (!listed.isEmpty()) listed += ' ';
    listed += lost.at(i);
    if (lost.at(i).isHighSurrogate() && i + 1 < lost.size()) listed += lost.at(++i);
  }
  return listed;
}

}  // namespace

void ShowCharsetNote(QLabel* note, const QString& text) {
  const QString lost = LostCharacters(text);
  note->setVisible(!lost.isEmpty());
  if (!lost.isEmpty())
    note->setText("These characters cannot be sent and will arrive as \"?\": " + lost);
}

QString NameRefusal(const QString& what, const QString& name) {
  const QString lost = LostCharacters(name);
  if (lost.isEmpty()) return {};
  return "A " + what + " cannot use these characters: " + lost +
         ". Please use Latin letters (with or without accents), digits and common signs only.";
}

std::string NameRefusalText(const QString& what, const QString& name) {
  return platform::NameFromDiskBytes(NameRefusal(what, name).toStdString());
}

bool RefuseName(QWidget* asker, const QString& caption, const QString& what, const QString& name, QWidget* input) {
  const QString refusal = NameRefusal(what, name);
  if (refusal.isEmpty()) return false;
  platform::RunMessageBox(QMessageBox::Warning, caption, refusal, QMessageBox::Ok, asker);
  if (input != nullptr) input->setFocus();
  return true;
}

QLabel* MakeNameNote(QLineEdit* input, const QString& what) {
  auto* note = NewCharsetNote(input->parentWidget());
  note->setObjectName("NameNote");
  auto show = [note, input, what] {
    const QString refusal = NameRefusal(what, input->text());
    note->setVisible(!refusal.isEmpty());
    note->setText(refusal);
  };
  QObject::connect(input, &QLineEdit::textChanged, note, show);
  show();
  return note;
}

QLabel* MakeCharsetNote(QPlainTextEdit* input) { return MakeCharsetNote(input->parentWidget(), {input}); }

QLabel* MakeCharsetNote(QLineEdit* input) { return MakeCharsetNote(input->parentWidget(), {input}); }

QLabel* MakeCharsetNote(QWidget* parent, std::initializer_list<QWidget*> inputs) {
  auto* note = NewCharsetNote(parent);
  std::vector<QPointer<QWidget>> watched(inputs.begin(), inputs.end());
  auto show = [note, watched] {
    QString text;
    for (QWidget* w : watched) {
      if (auto* line = qobject_cast<QLineEdit*>(w)) text += line->text();
      else if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) text += memo->toPlainText();
    }
    ShowCharsetNote(note, text);
  };
  for (QWidget* w : inputs) {
    if (auto* line = qobject_cast<QLineEdit*>(w)) QObject::connect(line, &QLineEdit::textChanged, note, show);
    else if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) QObject::connect(memo, &QPlainTextEdit::textChanged, note, show);
  }
  show();
  return note;
}

}  // namespace dialoglook
