#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>
#include <QVBoxLayout>

#include "QuillEdit_helpers.h"
#include "QuillView_helpers.h"
#include "platform/Clipboard.h"

using namespace edittest;

namespace {

void Type(QWidget* w, const char* text) {
  for (const char* p = text; *p != '\0'; ++p) QTest::keyClick(w, *p);
}

}  // namespace

// Return and Tab belong to the form unless the editor wants them; Ctrl
// asks for them anyway. A key a binding consumed types nothing.
TEST(QuillEditKeyboard, ReturnTabOverwriteAndConsumedKeys) {
  auto e = MakeEdit();
  SetLines(*e, {"abc"});
  e->GetEditSource().JumpTo(1, 0);
  e->SetWantReturns(false);
  QTest::keyClick(e.get(), Qt::Key_Return);
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"abc"}));
  QTest::keyClick(e.get(), Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"a", "bc"}));
  QTest::keyClick(e.get(), Qt::Key_Tab);
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"a", "bc"}));

  // Insert switches to overwrite: a typed character replaces the one under
  // the caret, and at the end of the line it is appended.
  QTest::keyClick(e.get(), Qt::Key_Insert);
  ASSERT_TRUE(e->Overwrite());
  Type(e.get(), "XYZ");
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"a", "XYZ"}));
  QTest::keyClick(e.get(), Qt::Key_Insert);
  EXPECT_FALSE(e->Overwrite());

  // Ctrl+A selects all and types no character.
  QTest::keyClick(e.get(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(e->GetSelText(), "a\r\nXYZ");
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"a", "XYZ"}));
}

// A pending sequence takes its second key before the window's shortcuts;
// without one the shortcut wins.
TEST(QuillEditKeyboard, PendingSequenceWinsOverMenuShortcuts) {
  viewtest::EnsureApp();
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  auto* e = new TQuillEdit;
  layout->addWidget(e);
  Prepare(*e, 300, 100);
  auto* action = new QAction(&window);
  action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
  window.addAction(action);
  int fired = 0;
  QObject::connect(action, &QAction::triggered, [&] { ++fired; });
  window.show();
  window.activateWindow();
  e->setFocus();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  SetLines(*e, {"one two"});
  e->GetEditSource().JumpTo(4, 0);

  QTest::keyClick(e, Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(e->BlockMark(), (TPoint{-1, -1}));
  QTest::keyClick(e, Qt::Key_K, Qt::ControlModifier);
  QTest::keyClick(e, Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(e->BlockMark(), (TPoint{4, 0}));
  EXPECT_EQ(e->KeyState(), 0);
  // A key the tables cannot name ends the sequence and is typed; the key
  // after it is typed too, not read as the sequence's second key.
  for (const char* typed : {",", "\xE9"}) {
    QTest::keyClick(e, Qt::Key_K, Qt::ControlModifier);
    QTest::keyClick(e, Qt::Key_Shift);
    ASSERT_NE(e->KeyState(), 0) << "a modifier alone leaves it pending";
    const QString text = QString::fromLatin1(typed);
    QTest::sendKeyEvent(QTest::KeyAction::Click, e, Qt::Key(text.at(0).unicode()), text, Qt::NoModifier);
    EXPECT_EQ(e->KeyState(), 0);
    QTest::keyClick(e, Qt::Key_B);
  }
  EXPECT_EQ(LinesOf(*e), std::vector<std::string>{"one ,b\xE9" "btwo"});
}

// A read-only text refuses the program's appends as it does the user's
// editing keys; selecting, copying and searching go on.
TEST(QuillEditKeyboard, ReadOnlyTextTakesNoAppendsAndNoEditingKeys) {
  auto e = MakeEdit();
  e->SetWordWrap(true);
  auto append = [&](const std::string& text) {
    e->SetSelStart(e->GetTextLen());
    e->SetSelText(text);
    e->SetSelLength(0);
  };
  append("Ann: hello\r\n");
  append("Bob: hi there\r\n");
  e->SetReadOnly(true);
  append("Cid: refused\r\n");
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"Ann: hello", "Bob: hi there", ""}));
  EXPECT_EQ(e->CanCopy(), false);

  const std::vector<std::string> before = LinesOf(*e);
  e->GetEditSource().JumpTo(3, 1);
  const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {
      {Qt::Key_Backspace, Qt::NoModifier}, {Qt::Key_Delete, Qt::NoModifier}, {Qt::Key_Return, Qt::NoModifier},
      {Qt::Key_Tab, Qt::ControlModifier},  {Qt::Key_Y, Qt::ControlModifier},  {Qt::Key_N, Qt::ControlModifier},
      {Qt::Key_Z, Qt::ControlModifier},    {Qt::Key_Q, Qt::NoModifier}};
  platform::SetClipboardText("pasted");
  for (const auto& [key, mods] : keys) QTest::keyClick(e.get(), key, mods);
  QTest::keyClick(e.get(), Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(e.get(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(e.get(), Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(LinesOf(*e), before);
  // Cut still copied, as the Edit menu's Copy would; the refused delete
  // drops the selection all the same.
  EXPECT_EQ(platform::ClipboardText(), "Ann: hello\nBob: hi there\n");
  EXPECT_FALSE(e->CanCopy());
}

// Within the program a column block pastes as one; text from another
// program, and text ending in a line break, paste as a stream.
TEST(QuillEditKeyboard, StreamAndColumnPaste) {
  auto e = MakeEdit();
  SetLines(*e, {"abcd", "efgh", "ijkl"});
  e->SetSelection({1, 0, 2, 1}, TQuillSelType::slBlock);
  e->CopyToClipboard();
  EXPECT_EQ(platform::ClipboardText(), "bc\nfg");
  e->GetEditSource().JumpTo(4, 1);
  e->PasteFromClipboard();
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"abcd", "efghbc", "ijklfg"}));

  // Another program's text: the same two lines go in as a stream.
  QGuiApplication::clipboard()->setText(QStringLiteral("bc\nfg"));
  e->GetEditSource().JumpTo(0, 0);
  e->PasteFromClipboard();
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"bc", "fgabcd", "efghbc", "ijklfg"}));
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{2, 1}));

  // A whole copied line pastes as a whole line, the caret at the next one.
  SetLines(*e, {"one", "two"});
  e->SetSelection({0, 0, 0, 1}, TQuillSelType::slStream);
  e->CopyToClipboard();
  e->GetEditSource().JumpTo(0, 1);
  e->PasteFromClipboard();
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"one", "one", "two"}));
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{0, 2}));

  // RTF goes beside the text of the same copy, under both of its names.
  SetLines(*e, {"plain"});
  e->SelectAll();
  e->CopyToClipboard();
  ASSERT_TRUE(TCustomQuillEdit::WriteToClipboard(platform::kRichTextFormat, "{\\rtf1 plain}"));
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  EXPECT_EQ(data->text(), QStringLiteral("plain"));
  EXPECT_EQ(data->data("text/rtf"), QByteArray("{\\rtf1 plain}"));
  EXPECT_EQ(data->data("application/rtf"), QByteArray("{\\rtf1 plain}"));
  std::string rtf;
  EXPECT_EQ(TCustomQuillEdit::ReadFromClipboard(platform::kRichTextFormat, rtf), 13);
  EXPECT_EQ(TCustomQuillEdit::ReadFromClipboard("image/png", rtf), 0);
}
