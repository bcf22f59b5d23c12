#include "conversations/ChatInput.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QTextDocument>
#include <QTimer>

#include "conversations/Transcript.h"

namespace {

bool IsEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

}  // namespace

TInputKey ChatInputKey(QPlainTextEdit* input, QEvent* e) {
  TInputKey result;
  if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease) return result;
  auto* key = static_cast<QKeyEvent*>(e);
  const bool ctrl = key->modifiers().testFlag(Qt::ControlModifier);
  const bool enter = IsEnter(key->key());
  if (e->type() == QEvent::KeyPress) {
    if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::NoModifier) {
      input->insertPlainText("    ");
      result.Consumed = true;
    } else if (enter) {
      // Enter sends on its release; Ctrl+Enter breaks the line.
      if (ctrl) input->insertPlainText("\n");
      result.Consumed = true;
    }
    return result;
  }
  if (key->isAutoRepeat()) return result;
  result.Consumed = enter;
  result.Send = enter && !ctrl;
  result.Typed = !enter && !ctrl;
  return result;
}

// Each change of the input lays out the line it falls in, then finds the
// caret's place on that line, then paints it. A line's layout throws its
// shaped glyphs away once laid out, unless told to keep them, so each of the
// three shaped the whole line anew: kept, it is shaped once per change. Only
// the lines where a change begins and ends keep theirs (a paste of many lines
// gets no layout made for each), and they go with the line's next layout.
void KeepInputGlyphs(QPlainTextEdit* input) {
  QTextDocument* doc = input->document();
  QObject::connect(doc, &QTextDocument::contentsChange, input, [doc](int from, int, int added) {
    for (const int at : {from, from + added})
      if (const QTextBlock b = doc->findBlock(at); b.isValid()) b.layout()->setCacheEnabled(true);
  });
}

// Clearing the whole input rebuilds its document and layout; taking out the
// text alone, with undo off so that nothing is recorded, is a fraction of it
// for each message sent. Inside an edit block the cursor does not work out
// its place on the screen at each step: the input does so once, at the end.
void ClearInput(QPlainTextEdit* input) {
  QTextDocument* doc = input->document();
  const bool undo = doc->isUndoRedoEnabled();
  doc->setUndoRedoEnabled(false);
  QTextCursor all(doc);
  all.beginEditBlock();
  all.setPosition(doc->characterCount() - 1, QTextCursor::KeepAnchor);
  all.removeSelectedText();
  all.endEditBlock();
  doc->setUndoRedoEnabled(undo);
  doc->setModified(false);
}

bool TranscriptTypingKey(QEvent* e) {
  if (e->type() != QEvent::KeyPress) return false;
  auto* key = static_cast<QKeyEvent*>(e);
  if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll)) return false;
  return !key->text().isEmpty() || key->key() == Qt::Key_Delete || key->key() == Qt::Key_Backspace;
}

void PopInputMenu(QWidget* owner, QPlainTextEdit* input, const QPoint& at, const std::function<void(QMenu&)>& head) {
  const bool selected = input->textCursor().hasSelection();
  QMenu menu(owner);
  if (head) head(menu);
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

void PopTranscriptMenu(QWidget* owner, QWidget* memo, TTranscript& transcript, const QPoint& at,
                       const std::function<void(QMenu&)>& tail) {
  const bool canCopy = transcript.CanCopy();
  QMenu menu(owner);
  menu.addAction("Cut", owner, [&transcript] { transcript.CutToClipboard(); })->setEnabled(canCopy);
  menu.addAction("Copy", owner, [&transcript] { transcript.CopyToClipboard(); })->setEnabled(canCopy);
  menu.addAction("Select All", owner, [&transcript] { transcript.SelectAll(); });
  if (tail) tail(menu);
  menu.exec(memo->mapToGlobal(at));
}

void FlashTick(QWidget* window, QTimer* timer) {
  if (window->isActiveWindow()) {
    timer->stop();
    return;
  }
  QApplication::alert(window, 500);
}
