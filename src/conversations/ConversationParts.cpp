#include "conversations/ConversationParts.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>

#include "conversations/ChatFonts.h"
#include "conversations/Emoticons.h"
#include "conversations/Transcript.h"
#include "conversations/TranscriptWriter.h"
#include "platform/Charset.h"

namespace {

bool IsEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

}  // namespace

TInputKey ReadInputKey(QPlainTextEdit* input, QEvent* e) {
  TInputKey k;
  if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease) return k;
  auto* key = static_cast<QKeyEvent*>(e);
  k.Ctrl = key->modifiers().testFlag(Qt::ControlModifier);
  if (e->type() == QEvent::KeyPress) {
    if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::NoModifier) {
      input->insertPlainText("    ");
      k.Consumed = true;
    } else if (IsEnter(key->key())) {
      if (k.Ctrl) input->insertPlainText("\n");
      k.Consumed = true;
    }
    return k;
  }
  if (key->isAutoRepeat()) return k;
  k.Released = true;
  k.Consumed = IsEnter(key->key());
  k.Send = k.Consumed && !k.Ctrl;
  return k;
}

bool IsTranscriptTyping(QEvent* e) {
  if (e->type() != QEvent::KeyPress) return false;
  auto* key = static_cast<QKeyEvent*>(e);
  if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll)) return false;
  return !key->text().isEmpty() || key->key() == Qt::Key_Delete || key->key() == Qt::Key_Backspace;
}

void ShowInputMenu(QPlainTextEdit* input, const QPoint& at, const std::function<void()>& emoticons) {
  const bool selected = input->textCursor().hasSelection();
  QMenu menu(input);
  menu.addAction("Emoticons", input, emoticons);
  menu.addSeparator();
  menu.addAction("Undo", input, &QPlainTextEdit::undo)->setEnabled(input->document()->isUndoAvailable());
  menu.addAction("Cut", input, &QPlainTextEdit::cut)->setEnabled(selected);
  menu.addAction("Copy", input, &QPlainTextEdit::copy)->setEnabled(selected);
  menu.addAction("Paste", input, &QPlainTextEdit::paste)->setEnabled(!QApplication::clipboard()->text().isEmpty());
  menu.addAction("Delete", input, [input] { input->textCursor().removeSelectedText(); })->setEnabled(selected);
  menu.addSeparator();
  menu.addAction("Select All", input, &QPlainTextEdit::selectAll);
  menu.exec(input->mapToGlobal(at));
}

void ShowTranscriptMenu(QWidget* memo, TTranscript& transcript, const QPoint& at,
                        const std::function<void(QMenu&)>& more) {
  const bool canCopy = transcript.CanCopy();
  QMenu menu(memo);
  menu.addAction("Cut", memo, [&transcript] { transcript.CutToClipboard(); })->setEnabled(canCopy);
  menu.addAction("Copy", memo, [&transcript] { transcript.CopyToClipboard(); })->setEnabled(canCopy);
  menu.addAction("Select All", memo, [&transcript] { transcript.SelectAll(); });
  if (more) more(menu);
  menu.exec(memo->mapToGlobal(at));
}

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
  return input;
}

void WriteTranscriptMessage(QWidget* memo, TTranscript& transcript, platform::TFont& font, const std::string& icons,
                            const std::string& name, const std::string& time, const std::string& text) {
  memo->setUpdatesEnabled(false);
  TTranscriptWriter(transcript, font, icons).WriteMessage(name, time, text);
  memo->setUpdatesEnabled(true);
  memo->update();
}

QTimer* MakeFlashTimer(QWidget* window) {
  auto* timer = new QTimer(window);
  timer->setInterval(1000);
  QObject::connect(timer, &QTimer::timeout, window, [window, timer] {
    if (window->isActiveWindow()) timer->stop();
    else QApplication::alert(window, 500);
  });
  return timer;
}

void InsertEmoticon(QPlainTextEdit* input, QWidget* picker, int entry) {
  picker->hide();
  if (entry < 0 || entry >= EmoticonCount) return;
  input->insertPlainText(platform::ToQString(Emoticon[entry]));
  input->setFocus();
}

QMenu* MakeFontsMenu(QWidget* window, const std::function<void()>& mine, const std::function<void()>& peer) {
  auto* menu = new QMenu(window);
  menu->addAction("Adjust My Font", window, mine);
  menu->addAction("Adjust Peer Font", window, peer);
  return menu;
}

void AddHelpKey(QWidget* window, const std::function<void()>& help) {
  auto* action = new QAction("Help", window);
  action->setShortcut(QKeySequence(Qt::Key_F1));
  action->setShortcutContext(Qt::WindowShortcut);
  QObject::connect(action, &QAction::triggered, window, help);
  window->addAction(action);
}
