#include <gtest/gtest.h>

#include <QTest>

#include "QuillEdit_helpers.h"

using namespace edittest;

namespace {

struct Mouse {
  explicit Mouse(TCustomQuillEdit& e) : edit(e) {
    e.MousePosition = [this] { return at; };
  }
  QPoint Cell(int column, int line) const {
    return {column * CharWidth(edit) + 1, line * LineHeight(edit) + LineHeight(edit) / 2};
  }
  void Press(int column, int line, Qt::KeyboardModifiers mods = {}) {
    const QPoint p = Cell(column, line);
    at = {p.x(), p.y()};
    QTest::mousePress(edit.viewport(), Qt::LeftButton, mods, p);
  }
  void Move(int column, int line) {
    const QPoint p = Cell(column, line);
    at = {p.x(), p.y()};
    QTest::mouseMove(edit.viewport(), p);
    edit.MouseSelect();
  }
  void Release(int column, int line, Qt::KeyboardModifiers mods = {}) {
    const QPoint p = Cell(column, line);
    at = {p.x(), p.y()};
    QTest::mouseRelease(edit.viewport(), Qt::LeftButton, mods, p);
  }
  TCustomQuillEdit& edit;
  TPoint at;
};

class Opened {
 public:
  Opened() {
    SetUrlOpener([this](const std::string& address) { addresses.push_back(address); });
  }
  ~Opened() { SetUrlOpener(nullptr); }
  std::vector<std::string> addresses;
};

}  // namespace

// A click on a link hands a safe address to the desktop's opener; a drag
// that starts on a link selects text and opens nothing.
TEST(QuillEditMouse, LinksOpenOnAClickThroughTheOpener) {
  auto e = MakeEdit(600, 200);
  SetLines(*e, {"see www.example.org now", "mail joe@example.com", "FILE:///etc/passwd"});
  Mouse mouse(*e);
  Opened opened;
  struct Case {
    int column, line;
    const char* address;  // "" when nothing may open
  } cases[] = {{8, 0, "http://www.example.org"}, {2, 0, ""}, {9, 1, "mailto:joe@example.com"}, {3, 2, ""}};
  for (const auto& c : cases) {
    opened.addresses.clear();
    mouse.Press(c.column, c.line);
    mouse.Release(c.column, c.line);
    EXPECT_EQ(opened.addresses, c.address[0] ? std::vector<std::string>{c.address} : std::vector<std::string>{})
        << c.column << "," << c.line;
  }
  opened.addresses.clear();
  mouse.Press(8, 0);
  mouse.Move(0, 1);
  mouse.Release(0, 1);
  EXPECT_TRUE(opened.addresses.empty());
  EXPECT_EQ(e->SelType(), TQuillSelType::slStream);
  // The opener sees only what the link says, never a command.
  EXPECT_FALSE(UrlJump("file:///bin/sh"));
  EXPECT_TRUE(opened.addresses.empty());
}

TEST(QuillEditMouse, DraggingTheSelectionMovesOrCopiesIt) {
  struct Case {
    const char* what;
    Qt::KeyboardModifiers release;
    int toColumn;
    std::string after;
  } cases[] = {{"drag moves", Qt::NoModifier, 11, " worldhello"},
               {"Ctrl copies", Qt::ControlModifier, 11, "hello worldhello"},
               {"a click inside drops the selection", Qt::NoModifier, 2, "hello world"}};
  for (const auto& c : cases) {
    auto e = MakeEdit();
    SetLines(*e, {"hello world"});
    Mouse mouse(*e);
    e->SetSelection({0, 0, 5, 0}, TQuillSelType::slStream);
    mouse.Press(2, 0);
    ASSERT_EQ(e->SelState(), TQuillSelState::seDrag) << c.what;
    mouse.Move(c.toColumn, 0);
    mouse.Release(c.toColumn, 0, c.release);
    EXPECT_EQ(LinesOf(*e), std::vector<std::string>{c.after}) << c.what;
    EXPECT_EQ(e->SelType(), c.toColumn == 2 ? TQuillSelType::slNone : TQuillSelType::slStream) << c.what;
  }
  // No text moves in a read-only editor: the press starts a new selection.
  auto e = MakeEdit();
  SetLines(*e, {"hello world"});
  e->SetReadOnly(true);
  Mouse mouse(*e);
  e->SetSelection({0, 0, 5, 0}, TQuillSelType::slStream);
  mouse.Press(2, 0);
  mouse.Move(9, 0);
  mouse.Release(9, 0);
  EXPECT_EQ(LinesOf(*e), std::vector<std::string>{"hello world"});
  EXPECT_EQ(e->GetSelText(), "llo wor");
}
