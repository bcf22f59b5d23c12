#pragma once

#include <QPoint>
#include <functional>

class QEvent;
class QMenu;
class QPlainTextEdit;
class QWidget;
class TTranscript;

// What the conversation windows share around their input box and transcript.

// A key event of the input box as the windows read it: Tab writes four
// blanks, Enter sends when it goes up and Ctrl+Enter breaks the line.
struct TInputKey {
  bool Consumed = false;  // the box must not see the event
  bool Released = false;  // a key went up (not a repeat)
  bool Send = false;      // that key was Enter without Ctrl
  bool Ctrl = false;
};
TInputKey ReadInputKey(QPlainTextEdit* input, QEvent* e);

// The transcript is read-only to typing: only moving, selecting and copying
// keys reach it. True for a key the transcript must not see.
bool IsTranscriptTyping(QEvent* e);

// The input box's popup: Emoticons, Undo, Cut, Copy, Paste, Delete, Select All.
void ShowInputMenu(QPlainTextEdit* input, const QPoint& at, const std::function<void()>& emoticons);
// The transcript's popup: Cut, Copy, Select All, then what `more` adds.
void ShowTranscriptMenu(QWidget* memo, TTranscript& transcript, const QPoint& at,
                        const std::function<void(QMenu&)>& more = {});
