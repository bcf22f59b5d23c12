#pragma once

#include <functional>

class QEvent;
class QMenu;
class QPlainTextEdit;
class QPoint;
class QWidget;
class TTranscript;

// What every chat window (a private chat, a room) does with its input box
// and its transcript alike: the keys, the two edit menus and the flash.

// A key event of the input after Tab (four blanks) and Enter (Ctrl+Enter
// breaks the line) have been taken care of.
struct TInputKey {
  bool Consumed = false;  // the input must not see the event
  bool Send = false;      // Enter was released without Ctrl: send the input
  bool Typed = false;     // a key other than Enter, without Ctrl, was released
};
TInputKey ChatInputKey(QPlainTextEdit* input, QEvent* e);

// Lets the input's lines keep their shaped glyphs between changes (see the
// definition); called once, when the input is made.
void KeepInputGlyphs(QPlainTextEdit* input);

// Empties the input after a send: the cursor at the start, the font and
// format kept, and no undo that would bring the sent text back.
void ClearInput(QPlainTextEdit* input);

// True for a key that would type into the transcript; moving,
// selecting and copying keys pass.
bool TranscriptTypingKey(QEvent* e);

// The input's menu: whatever `head` puts first, then Undo, Cut, Copy, Paste,
// Delete and Select All, each enabled only when it can act.
void PopInputMenu(QWidget* owner, QPlainTextEdit* input, const QPoint& at, const std::function<void(QMenu&)>& head);
// The transcript's menu: Cut, Copy (while something is selected), Select All,
// then whatever `tail` adds.
void PopTranscriptMenu(QWidget* owner, QWidget* memo, TTranscript& transcript, const QPoint& at,
                       const std::function<void(QMenu&)>& tail);

// One tick of the flash timer: it stops once the window is in front.
void FlashTick(QWidget* window, class QTimer* timer);
