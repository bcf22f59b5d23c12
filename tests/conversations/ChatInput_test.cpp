#include "conversations/ChatInput.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/Widgets_helpers.h"

namespace {

// What the user sees of an input, and what is left after a key and two Undos.
auto StateOf(QPlainTextEdit& e) {
  const QTextCursor c = e.textCursor();
  auto seen = std::tuple(e.toPlainText(), c.position(), c.anchor(), e.verticalScrollBar()->value(),
                         e.document()->isUndoAvailable(), e.document()->isRedoAvailable(), e.font(),
                         e.currentCharFormat());
  e.insertPlainText("x");
  e.undo();
  e.undo();
  return std::pair(seen, e.toPlainText());
}

// A sent input is left as Qt's own clearing leaves it, whatever the user did
// with it before: typed lines, an undone edit, a selection, a scroll.
TEST(ChatInput, ClearedAfterSendingAsQtClearsIt) {
  testing_support::WidgetApp();
  const std::vector<std::pair<std::string, std::function<void(QPlainTextEdit&)>>> cases = {
      {"typed", [](QPlainTextEdit& e) { e.insertPlainText("hello :-)"); }},
      {"many lines, scrolled to the end",
       [](QPlainTextEdit& e) {
         for (int i = 0; i < 40; ++i) e.insertPlainText(QString("line %1\n").arg(i));
         e.ensureCursorVisible();
       }},
      {"an undone edit to redo",
       [](QPlainTextEdit& e) {
         e.insertPlainText("one ");
         e.insertPlainText("two");
         e.undo();
       }},
      {"part selected",
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
    byQt.clear();
    ClearInput(&ours);
    EXPECT_TRUE(ours.toPlainText().isEmpty());
    EXPECT_FALSE(ours.document()->isModified());
    EXPECT_EQ(StateOf(ours), StateOf(byQt));
  }
}

// Glyphs kept from one change to the paint must never be stale: after each
// step, an input that keeps them shows what one without shows, caret and all.
TEST(ChatInput, KeptGlyphsShowWhatFreshOnesShow) {
  testing_support::WidgetApp();
  QPlainTextEdit fresh, kept;
  KeepInputGlyphs(&kept);
  const std::vector<std::pair<std::string, std::function<void(QPlainTextEdit&)>>> steps = {
      {"typed", [](QPlainTextEdit& e) { e.insertPlainText("Wave :-) http://x.org"); }},
      {"pasted over", [](QPlainTextEdit& e) { e.setPlainText(QString::fromUtf8("caf\xC3\xA9 AVAVA fi\nffl")); }},
      {"bigger font",
       [](QPlainTextEdit& e) {
         QFont f = e.font();
         f.setPointSize(f.pointSize() + 5);
         e.setFont(f);
       }},
      {"cleared", [](QPlainTextEdit& e) { ClearInput(&e); }},
  };
  for (QPlainTextEdit* e : {&fresh, &kept}) {
    e->setFixedSize(240, 60);
    e->show();
  }
  for (const auto& [name, step] : steps) {
    SCOPED_TRACE(name);
    for (QPlainTextEdit* e : {&fresh, &kept}) step(*e);
    EXPECT_EQ(kept.cursorRect(), fresh.cursorRect());
    EXPECT_EQ(kept.grab().toImage(), fresh.grab().toImage());
  }
}

}  // namespace
