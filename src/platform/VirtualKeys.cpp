#include "platform/VirtualKeys.h"

#include <QKeyEvent>

namespace platform {

namespace {

// What the digit keys type with Shift on the US layout: the guess for a key
// event that comes without the key's code.
constexpr char kShiftedDigits[] = ")!@#$%^&*(";

// The digit row is the same keys on every layout, whatever each of them
// types there (a French layout types the digits only with Shift, a German
// one "!" to "=" with it): the keyboard's own codes for them, evdev's 2 to
// 11 as the X keyboard extension numbers them (8 more).
constexpr uint32_t kDigitRowFirst = 10;  // the key of 1; 0 comes last
constexpr uint32_t kDigitRowLast = 19;

uint16_t KeyOf(int key, bool keypad, bool usSymbols) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<uint16_t>(key);
  if (key >= Qt::Key_0 && key <= Qt::Key_9)
    return static_cast<uint16_t>(keypad ? vkNumpad0 + (key - Qt::Key_0) : key);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return static_cast<uint16_t>(vkF1 + (key - Qt::Key_F1));
  if (usSymbols)
    for (int d = 0; d < 10; ++d)
      if (key == kShiftedDigits[d]) return static_cast<uint16_t>('0' + d);
  switch (key) {
    case Qt::Key_Backspace: return vkBack;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return vkTab;
    case Qt::Key_Return:
    case Qt::Key_Enter: return vkReturn;
    case Qt::Key_Escape: return vkEscape;
    case Qt::Key_Space: return vkSpace;
    case Qt::Key_PageUp: return vkPrior;
    case Qt::Key_PageDown: return vkNext;
    case Qt::Key_End: return vkEnd;
    case Qt::Key_Home: return vkHome;
    case Qt::Key_Left: return vkLeft;
    case Qt::Key_Up: return vkUp;
    case Qt::Key_Right: return vkRight;
    case Qt::Key_Down: return vkDown;
    case Qt::Key_Insert: return vkInsert;
    case Qt::Key_Delete: return vkDelete;
    case Qt::Key_Asterisk: return keypad ? uint16_t{vkMultiply} : usSymbols ? uint16_t{'8'} : uint16_t{0};
    case Qt::Key_Plus: return keypad ? vkAdd : vkOemPlus;
    case Qt::Key_Minus: return keypad ? vkSubtract : vkOemMinus;
    case Qt::Key_Slash: return keypad ? vkDivide : 0;
    case Qt::Key_Equal: return vkOemPlus;
    case Qt::Key_Underscore: return vkOemMinus;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return vkOem4;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return vkOem6;
    default: return 0;
  }
}

}  // namespace

TKeyStroke KeyStrokeOf(int qtKey, int qtModifiers, uint32_t scanCode) {
  const auto m = Qt::KeyboardModifiers(qtModifiers);
  const bool keypad = (m & Qt::KeypadModifier) != 0;
  TKeyStroke stroke;
  if (!keypad && scanCode >= kDigitRowFirst && scanCode <= kDigitRowLast)
    stroke.Key = static_cast<uint16_t>(scanCode == kDigitRowLast ? '0' : '1' + (scanCode - kDigitRowFirst));
  else
    stroke.Key = KeyOf(qtKey, keypad, scanCode == 0);
  if (m & Qt::ShiftModifier || qtKey == Qt::Key_Backtab) stroke.Shift |= ksShift;
  if (m & Qt::AltModifier) stroke.Shift |= ksAlt;
  if (m & Qt::ControlModifier) stroke.Shift |= ksCtrl;
  return stroke;
}

TKeyStroke KeyStrokeOf(const QKeyEvent& event) {
  return KeyStrokeOf(event.key(), event.modifiers(), event.nativeScanCode());
}

uint16_t KeyOfChar(char ch) {
  switch (ch) {
    case '[': return vkOem4;
    case ']': return vkOem6;
    case '{': return vkOem4 | (ksShift << 8);
    case '}': return vkOem6 | (ksShift << 8);
    default: break;
  }
  if (ch >= 'a' && ch <= 'z') return static_cast<uint16_t>(ch - 'a' + 'A');
  if ((ch >= 'A' && ch <= 'Z')) return static_cast<uint16_t>(ch | (ksShift << 8));
  if (ch >= '0' && ch <= '9') return static_cast<uint16_t>(ch);
  return 0xFFFF;
}

}  // namespace platform
