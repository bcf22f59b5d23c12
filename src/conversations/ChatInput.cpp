#include "conversations/ChatInput.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>

#include "conversations/Transcript.h"

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
