#include <gtest/gtest.h>

#include <QTest>

#include <tuple>

#include "QuillEdit_helpers.h"
#include "platform/VirtualKeys.h"

using namespace edittest;
using namespace platform;
using E = TCustomQuillEdit;

namespace {

struct Stroke {
  uint16_t key;
  uint8_t shift;
};

struct Binding {
  const char* what;
  TQuillKeyMapping map;
  std::vector<Stroke> strokes;  // the last one is the binding looked for
  TQuillKeyboardMethod method;
  int command;
};

const TQuillKeyData* Follow(TQuillKeyList& list, const std::vector<Stroke>& strokes) {
  int state = 0;
  const TQuillKeyData* d = nullptr;
  for (const Stroke& s : strokes) {
    d = list.FindKeyData(s.key, s.shift, state);
    if (d == nullptr) return nullptr;
    state = d->NewState;
  }
  return d;
}

constexpr uint8_t S = ssShift, A = ssAlt, C = ssCtrl;

}  // namespace

// A sample of each map's own bindings, the ones where the maps differ, and
// the groups they share; a binding lost or put under another handler shows.
TEST(QuillKeyMaps, EachMapBindsItsCommands) {
  using K = TQuillKeyMapping;
  const Binding table[] = {
      {"default: arrows in any state", K::kmDefault, {{'K', C}, {vkDown, 0}}, &E::Navigate, ecDown},
      {"default: Ctrl+K B marks the block start", K::kmDefault, {{'K', C}, {'B', 0}}, &E::ProcessBlock, ecMarkBlockBegin},
      {"default: Ctrl+K Ctrl+B too", K::kmDefault, {{'K', C}, {'B', C}}, &E::ProcessBlock, ecMarkBlockBegin},
      {"default: Ctrl+Q Ctrl+F find dialog", K::kmDefault, {{'Q', C}, {'F', C}}, &E::ExecuteDialog, ecFind},
      {"default: Ctrl+F find dialog", K::kmDefault, {{'F', C}}, &E::ExecuteDialog, ecFind},
      {"default: Ctrl+K 3 toggles bookmark 3", K::kmDefault, {{'K', C}, {'3', 0}}, &E::ToggleBookMark, 3},
      {"default: Ctrl+Q 3 goes to bookmark 3", K::kmDefault, {{'Q', C}, {'3', C}}, &E::GoToBookMark, 3},
      {"default: Ctrl+O Ctrl+U toggles case", K::kmDefault, {{'O', C}, {'U', C}}, &E::ProcessBlock, ecToggleCase},
      {"default: Ctrl+[ finds the bracket", K::kmDefault, {{vkOem4, C}}, &E::FindBracket, 0},
      {"default: Shift+Ctrl+End selects to the end", K::kmDefault, {{vkEnd, S | C}}, &E::SelectStreamBlock, ecDocEnd},
      {"default: Shift+Alt+Down extends a column", K::kmDefault, {{vkDown, S | A}}, &E::SelectSquareBlock, ecDown},
      {"default: Ctrl+Y deletes the line", K::kmDefault, {{'Y', C}}, &E::DeleteStr, ecDeleteLine},
      {"default: F3 searches again", K::kmDefault, {{vkF1 + 2, 0}}, &E::FindNext, ecFind},
      {"default: Ctrl+E incremental search", K::kmDefault, {{'E', C}}, &E::InitIncrementalSearch, 0},
      {"Classic: Ctrl+E is up", K::kmClassic, {{'E', C}}, &E::Navigate, ecUp},
      {"Classic: Shift+Ctrl+Home selects to the window top", K::kmClassic, {{vkHome, S | C}}, &E::SelectStreamBlock,
       ecWindowTop},
      {"Classic: Ctrl+PgUp goes to the text start", K::kmClassic, {{vkPrior, C}}, &E::Navigate, ecDocStart},
      {"Brief: Ctrl+K deletes to the line start", K::kmBrief, {{'K', C}}, &E::DeleteStr, ecLineStart},
      {"Brief: Home Home goes to the text start", K::kmBrief, {{vkHome, 0}, {vkHome, 0}}, &E::Navigate, ecDocStart},
      {"Brief: Alt+J 4 goes to bookmark 4", K::kmBrief, {{'J', A}, {'4', 0}}, &E::GoToBookMark, 4},
      {"Brief: marking mode extends with arrows", K::kmBrief, {{'A', A}, {vkRight, 0}, {vkDown, 0}},
       &E::SelectStreamBlock, ecDown},
      {"Brief: column mode ends with Esc", K::kmBrief, {{'C', A}, {vkLeft, 0}, {vkEscape, 0}}, &E::ProcessBlock,
       ecClearSelection},
      {"Brief: keypad minus cuts", K::kmBrief, {{vkSubtract, 0}}, &E::ProcessBlock, ecCut},
      {"Epsilon: Ctrl+X U undoes", K::kmEpsilon, {{'X', C}, {'U', 0}}, &E::UndoOrRedo, ecUndo},
      {"Epsilon: Shift+Alt+5 find dialog", K::kmEpsilon, {{'5', S | A}}, &E::ExecuteDialog, ecFind},
      {"Epsilon: Ctrl+Y pastes", K::kmEpsilon, {{'Y', C}}, &E::ProcessBlock, ecPaste},
      {"Visual Studio: Ctrl+K Ctrl+E lower-cases", K::kmVisualStudio, {{'K', C}, {'E', C}}, &E::ProcessBlock,
       ecLowerCaseBlock},
      {"Visual Studio: Ctrl+Q A replace dialog", K::kmVisualStudio, {{'Q', C}, {'A', 0}}, &E::ExecuteDialog, ecReplace},
      {"Visual Studio: Ctrl+H replace dialog", K::kmVisualStudio, {{'H', C}}, &E::ExecuteDialog, ecReplace},
  };
  auto e = MakeEdit();
  for (const auto& b : table) {
    e->SetKeyMapping(b.map);
    const TQuillKeyData* d = Follow(e->KeyList(), b.strokes);
    ASSERT_NE(d, nullptr) << b.what;
    EXPECT_TRUE(d->Method == b.method) << b.what;
    EXPECT_EQ(d->Command, b.command) << b.what;
    EXPECT_EQ(d->NewState, b.map == K::kmBrief && b.command == ecDown ? 5 : 0) << b.what;
  }
  // Brief has no block or bookmark sequences.
  e->SetKeyMapping(K::kmBrief);
  EXPECT_EQ(Follow(e->KeyList(), {{'Q', C}, {'B', 0}}), nullptr);
  e->SetKeyMapping(K::kmOther);
  EXPECT_EQ(e->KeyList().Count(), 0);
}

TEST(QuillKeyMaps, ChoosingTheSameMapAgainKeepsOwnBindings) {
  auto e = MakeEdit();
  e->KeyList().RegisterSimpleKey(vkF1 + 11, 0, &E::Navigate, ecDocEnd);
  const int count = e->KeyList().Count();
  e->SetKeyMapping(TQuillKeyMapping::kmDefault);
  EXPECT_EQ(e->KeyList().Count(), count);
  e->SetKeyMapping(TQuillKeyMapping::kmClassic);
  EXPECT_EQ(e->KeyList().FindKeyData(vkF1 + 11, 0, 0), nullptr);
}

// The sequences as the keyboard sends them.
TEST(QuillKeyMaps, SequencesTypedOnTheKeyboard) {
  struct Case {
    const char* what;
    TQuillKeyMapping map;
    std::vector<std::pair<int, Qt::KeyboardModifiers>> keys;
    TPoint caret;
    std::vector<std::string> lines;
  };
  const std::vector<std::string> text{"one two", "three"};
  const Case cases[] = {
      {"Ctrl+K then an unbound key types it", TQuillKeyMapping::kmDefault,
       {{Qt::Key_K, Qt::ControlModifier}, {Qt::Key_X, Qt::NoModifier}}, {3, 1}, {"one two", "thxree"}},
      {"Brief: Home twice goes to the top", TQuillKeyMapping::kmBrief,
       {{Qt::Key_Home, Qt::NoModifier}, {Qt::Key_Home, Qt::NoModifier}}, {0, 0}, text},
      {"Brief: Home, Left, Home stays on the line", TQuillKeyMapping::kmBrief,
       {{Qt::Key_Home, Qt::NoModifier}, {Qt::Key_Right, Qt::NoModifier}, {Qt::Key_Home, Qt::NoModifier}}, {0, 1}, text},
      {"Brief: Ctrl+K deletes to the line start", TQuillKeyMapping::kmBrief, {{Qt::Key_K, Qt::ControlModifier}}, {0, 1},
       {"one two", "ree"}},
      {"Ctrl+Shift+Right selects a word, Ctrl+X cuts it", TQuillKeyMapping::kmDefault,
       {{Qt::Key_Home, Qt::NoModifier},
        {Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier},
        {Qt::Key_X, Qt::ControlModifier}},
       {0, 1}, {"one two", ""}},
  };
  for (const auto& c : cases) {
    auto e = MakeEdit();
    e->SetKeyMapping(c.map);
    SetLines(*e, text);
    e->GetEditSource().JumpTo(2, 1);
    for (const auto& [key, mods] : c.keys) QTest::keyClick(e.get(), static_cast<Qt::Key>(key), mods);
    EXPECT_EQ(e->GetCurrentPosition(), c.caret) << c.what;
    EXPECT_EQ(LinesOf(*e), c.lines) << c.what;
    // Brief's Home waits for a second Home.
    EXPECT_EQ(e->KeyState(), c.keys.back().first == Qt::Key_Home && c.map == TQuillKeyMapping::kmBrief &&
                                     c.keys.size() != 2
                                 ? 7
                                 : 0)
        << c.what;
  }
}

// The digit keys as a German and a French layout deliver them: the symbol
// each types (German "\"" for Shift+2, French "&" for 1 and the digit only
// with Shift) and the keyboard's code of the key, the same on every layout.
TEST(QuillKeyMaps, DigitKeysAreTheirDigitsOnEveryLayout) {
  struct Press {
    const char* what;
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    quint32 scanCode;
    const char* text;
  };
  const Qt::KeyboardModifiers SC = Qt::ShiftModifier | Qt::ControlModifier;
  const Press presses[] = {
      {"German Shift+Ctrl+2 toggles bookmark 2", Qt::Key_QuoteDbl, SC, 11, "\""},
      {"French Shift+Ctrl+7 toggles bookmark 7", Qt::Key_7, SC, 16, "7"},
      {"French Ctrl+1 (\"&\") goes to bookmark 1", Qt::Key_Ampersand, Qt::ControlModifier, 10, "&"},
      {"German Shift+Ctrl+0 (\"=\") toggles bookmark 0", Qt::Key_Equal, SC, 19, "="},
  };
  auto e = MakeEdit();
  SetLines(*e, {"zero", "one", "two"});
  e->GetEditSource().SetBookMark(1, {2, 2});
  auto press = [&](const Press& p) {
    QKeyEvent event(QEvent::KeyPress, p.key, p.mods, p.scanCode, 0, 0, QString::fromLatin1(p.text));
    QCoreApplication::sendEvent(e.get(), &event);
  };
  TPoint at;
  e->GetEditSource().JumpTo(1, 1);
  press(presses[0]);
  EXPECT_TRUE(e->GetEditSource().FindBookMark(2, at)) << presses[0].what;
  press(presses[1]);
  EXPECT_TRUE(e->GetEditSource().FindBookMark(7, at)) << presses[1].what;
  press(presses[2]);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{2, 2})) << presses[2].what;
  press(presses[3]);
  EXPECT_EQ(e->GetEditSource().BookMarks().Count(), 4) << presses[3].what;
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"zero", "one", "two"})) << "nothing typed";

  // Epsilon's Shift+Alt+5 and 7 are the 5 and 7 keys on a German layout too.
  e->SetKeyMapping(TQuillKeyMapping::kmEpsilon);
  for (auto [key, scanCode, command] : {std::tuple{Qt::Key_Percent, 14u, ecFind}, {Qt::Key_Slash, 16u, ecReplace}}) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::ShiftModifier | Qt::AltModifier, scanCode, 0, 0, QString());
    const TKeyStroke stroke = KeyStrokeOf(event);
    const TQuillKeyData* d = e->KeyList().FindKeyData(stroke.Key, stroke.Shift, 0);
    ASSERT_NE(d, nullptr) << scanCode;
    EXPECT_EQ(d->Command, command);
  }
  // A key off the digit row that types a digit's US symbol is not a digit.
  QKeyEvent hash(QEvent::KeyPress, Qt::Key_NumberSign, Qt::ControlModifier, 51, 0, 0, QString("#"));
  EXPECT_EQ(KeyStrokeOf(hash).Key, 0);
}
