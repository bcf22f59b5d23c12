#include "conversations/ChatInput.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <functional>
#include <string>

#include "core/Widgets_helpers.h"
#include "platform/EventLoop.h"

namespace {

// What the user sees of an input, and what Undo and the next key would do.
struct TInputState {
  QString Text;
  int Cursor = -1, Anchor = -1, Blocks = 0, Scrolled = 0;
  bool CanUndo = true, CanRedo = true;
  QFont Font;
  QTextCharFormat Format;
  QString AfterTypingAndUndo;

  bool operator==(const TInputState&) const = default;
};

TInputState StateOf(QPlainTextEdit& input) {
  TInputState s;
  s.Text = input.toPlainText();
  s.Cursor = input.textCursor().position();
  s.Anchor = input.textCursor().anchor();
  s.Blocks = input.document()->blockCount();
  s.Scrolled = input.verticalScrollBar()->value();
  s.CanUndo = input.document()->isUndoAvailable();
  s.CanRedo = input.document()->isRedoAvailable();
  s.Font = input.font();
  s.Format = input.currentCharFormat();
  input.insertPlainText("x");
  input.undo();
  input.undo();
  s.AfterTypingAndUndo = input.toPlainText();
  return s;
}

// A sent input is left as Qt's own clearing leaves it, whatever the user did
// with it before: typed lines, undone and redone edits, a selection, a scroll.
TEST(ChatInput, ClearedAfterSendingAsQtClearsIt) {
  testing_support::WidgetApp();
  const std::vector<std::pair<std::string, std::function<void(QPlainTextEdit&)>>> cases = {
      {"empty", [](QPlainTextEdit&) {}},
      {"typed", [](QPlainTextEdit& e) { e.insertPlainText("hello :-)"); }},
      {"many lines scrolled to the end",
       [](QPlainTextEdit& e) {
         for (int i = 0; i < 40; ++i) e.insertPlainText(QString("line %1\n").arg(i));
         e.moveCursor(QTextCursor::End);
         e.ensureCursorVisible();
       }},
      {"an undone edit to redo",
       [](QPlainTextEdit& e) {
         e.insertPlainText("one ");
         e.insertPlainText("two");
         e.undo();
       }},
      {"set as a whole, part selected",
       [](QPlainTextEdit& e) {
         e.setPlainText("pasted\ntext");
         QTextCursor c = e.textCursor();
         c.setPosition(2);
         c.setPosition(9, QTextCursor::KeepAnchor);
         e.setTextCursor(c);
       }},
  };
  for (const auto& [name, prepare] : cases) {
    SCOPED_TRACE(name);
    QPlainTextEdit byQt, ours;
    for (QPlainTextEdit* e : {&byQt, &ours}) {
      e->setFixedSize(200, 60);
      QFont f = e->font();
      f.setPointSize(13);
      f.setBold(true);
      e->setFont(f);
      e->show();
      prepare(*e);
    }
    ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return ours.isVisible(); }, 5000));
    byQt.clear();
    ClearInput(&ours);
    EXPECT_TRUE(ours.toPlainText().isEmpty());
    EXPECT_FALSE(ours.document()->isModified());
    EXPECT_EQ(StateOf(ours), StateOf(byQt));
  }
}

}  // namespace
