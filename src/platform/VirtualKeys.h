#pragma once

// Keys as the editor's key tables name them: one 16-bit code per key of the
// keyboard (letters and digits by their upper-case character, the others by
// the numbers the tables were written with), whatever the desktop reports.

#include <cstdint>

class QKeyEvent;

namespace platform {

enum TVirtualKey : uint16_t {
  vkBack = 0x08,
  vkTab = 0x09,
  vkReturn = 0x0D,
  vkEscape = 0x1B,
  vkSpace = 0x20,
  vkPrior = 0x21,
  vkNext = 0x22,
  vkEnd = 0x23,
  vkHome = 0x24,
  vkLeft = 0x25,
  vkUp = 0x26,
  vkRight = 0x27,
  vkDown = 0x28,
  vkInsert = 0x2D,
  vkDelete = 0x2E,
  vkNumpad0 = 0x60,
  vkMultiply = 0x6A,
  vkAdd = 0x6B,
  vkSubtract = 0x6D,
  vkDivide = 0x6F,
  vkF1 = 0x70,
  vkOemMinus = 0xBD,
  vkOemPlus = 0xBB,
  vkOem4 = 0xDB,  // the key of "[" and "{"
  vkOem6 = 0xDD,  // the key of "]" and "}"
};

// The shift state bits of a key, as the key tables store them.
enum TKeyShift : uint8_t { ksShift = 1, ksAlt = 2, ksCtrl = 4 };

struct TKeyStroke {
  uint16_t Key = 0;  // 0: a key the tables cannot name
  uint8_t Shift = 0;
};

// The key of a Qt key event. A letter key is the letter it types on the
// layout in use; a key of the digit row is its digit on every layout, with
// or without Shift, known by the keyboard's code for it (ScanCode). An event
// without that code (0) is read as the US layout types: Shift+5 ("%") is
// the key 5 with Shift.
TKeyStroke KeyStrokeOf(const QKeyEvent& event);
TKeyStroke KeyStrokeOf(int qtKey, int qtModifiers, uint32_t scanCode = 0);

// The key (with its shift bits in the high byte) that types Ch on the
// keyboard in use; 0xFFFF when none does.
uint16_t KeyOfChar(char ch);

}  // namespace platform
