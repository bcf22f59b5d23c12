#include "conversations/ConversationParts.h"

#include <QAction>
#include <QBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>

#include "conversations/ChatFonts.h"
#include "conversations/ChatInput.h"
#include "conversations/ChatPickers.h"
#include "conversations/Emoticons.h"
#include "conversations/Transcript.h"
#include "conversations/TranscriptWriter.h"
#include "core/DialogLook.h"
#include "core/session/PeerBounds.h"
#include "platform/Charset.h"

TTranscriptControl MakeTranscript(QWidget* window, QObject* filter, const TPopupFn& popup) {
  // The one place the transcript control comes from: the factory the program
  // installed hands over the widget and its transcript operations.
  const TTranscriptControl control = MakeTranscriptControl(window);
  control.Widget->setObjectName("Memo");
  control.Widget->installEventFilter(filter);
  control.Widget->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(control.Widget, &QWidget::customContextMenuRequested, window, popup);
  return control;
}

QPlainTextEdit* MakeInput(QWidget* window, QObject* filter, const platform::TFont& font, const TPopupFn& popup) {
  auto* input = new QPlainTextEdit(window);
  input->setObjectName("MemoGo");
  input->setFixedHeight(60);
  input->setTabChangesFocus(false);
  input->installEventFilter(filter);
  input->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(input, &QWidget::customContextMenuRequested, window, popup);
  ApplyFont(input, font);
  KeepInputGlyphs(input);
  return input;
}

void WriteTranscriptMessage(TTranscript& transcript, platform::TFont& font, const std::string& icons,
                            const std::string& name, const std::string& time, const std::string& text) {
  transcript.BeginUpdate();
  try {
    using peerbounds::kShownName;
    TTranscriptWriter(transcript, font, icons)
        .WriteMessage(CutPeerText(name, kShownName), CutPeerText(time, kShownName), text);
  } catch (...) {
    transcript.EndUpdate();
    throw;
  }
  transcript.EndUpdate();
}

QTimer* MakeFlashTimer(QWidget* window) {
  auto* timer = new QTimer(window);
  timer->setInterval(1000);
  QObject::connect(timer, &QTimer::timeout, window, [window, timer] { FlashTick(window, timer); });
  return timer;
}

void StartFlashing(QTimer* timer) {
  if (!timer->isActive()) timer->start();
}

void InsertEmoticon(QPlainTextEdit* input, QWidget* picker, int entry) {
  picker->hide();
  if (entry < 0 || entry >= EmoticonCount) return;
  input->insertPlainText(platform::ToQString(Emoticon[entry]));
  input->setFocus();
}

void PopEmoticons(QWidget* window, QWidget* button, TPickerPanel* picker, TPickerPanel* other, bool focus) {
  const QPoint at = button->mapTo(window, QPoint(0, 0));
  picker->Popup(QPoint(at.x(), std::max(0, at.y() - 100)), other, focus);
}

void PopSounds(QWidget* window, QWidget* button, QWidget* top, int gap, TPickerPanel* picker, TPickerPanel* other) {
  const QPoint at = button->mapTo(window, QPoint(0, 0));
  const int y = top->mapTo(window, QPoint(0, 0)).y();
  picker->resize(picker->width(), std::max(120, at.y() - y - gap));
  picker->Popup(QPoint(at.x(), y), other);
}

QPushButton* MakeButton(const char* caption, QWidget* parent, std::function<void()> onClick) {
  auto* button = new QPushButton(caption, parent);
  QObject::connect(button, &QPushButton::clicked, parent, std::move(onClick));
  return button;
}

QMenu* MakeFontsMenu(QWidget* window, const std::function<void()>& mine, const std::function<void()>& peer) {
  auto* menu = new QMenu(window);
  menu->addAction("Adjust My Font", window, mine);
  menu->addAction("Adjust Peer Font", window, peer);
  return menu;
}

void LayOutConversation(QWidget* window, std::initializer_list<QWidget*> above, QWidget* memo, QWidget* buttons,
                        QPlainTextEdit* input, QWidget* send, QWidget* side, QWidget* status,
                        std::function<void(const QString&)> inputChanged) {
  auto* left = new QVBoxLayout;
  for (QWidget* w : above) left->addWidget(w);
  left->addWidget(memo, 1);
  left->addWidget(buttons);
  auto* row = new QHBoxLayout;
  row->addWidget(input, 1);
  row->addWidget(send);
  left->addLayout(row);
  QLabel* note = dialoglook::NewCharsetNote(window);
  left->addWidget(note);
  // The note and the count read one text per change between them; an emptied
  // input (each send) is not read at all.
  QObject::connect(input, &QPlainTextEdit::textChanged, window, [input, note, inputChanged = std::move(inputChanged)] {
    const QString text = input->document()->isEmpty() ? QString() : input->toPlainText();
    dialoglook::ShowCharsetNote(note, text);
    if (inputChanged) inputChanged(text);
  });
  auto* body = new QHBoxLayout;
  body->addLayout(left, 1);
  body->addWidget(side);
  auto* outer = new QVBoxLayout(window);
  outer->setContentsMargins(6, 6, 6, 0);
  outer->addLayout(body, 1);
  outer->addWidget(status);
}

void AddHelpKey(QWidget* window, const std::function<void()>& help) {
  auto* action = new QAction("Help", window);
  action->setShortcut(QKeySequence(Qt::Key_F1));
  action->setShortcutContext(Qt::WindowShortcut);
  QObject::connect(action, &QAction::triggered, window, help);
  window->addAction(action);
}
