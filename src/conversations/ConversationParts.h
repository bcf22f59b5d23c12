#pragma once

#include <QPoint>
#include <functional>
#include <string>

#include "conversations/TranscriptControl.h"
#include "platform/Font.h"

class QEvent;
class QMenu;
class QObject;
class QPlainTextEdit;
class QTimer;
class QWidget;
class TTranscript;

// What the conversation windows share: their transcript and input box, the
// keys and popup menus of both, the fonts menu, the help key and the flashing
// of the taskbar button.

using TPopupFn = std::function<void(const QPoint& at)>;

// The transcript control from the program's factory, its keys going through
// `filter` first and its popup menu through `popup`.
TTranscriptControl MakeTranscript(QWidget* window, QObject* filter, const TPopupFn& popup);
// The input box: Tab stays in it, the own font, keys through `filter` first.
QPlainTextEdit* MakeInput(QWidget* window, QObject* filter, const platform::TFont& font, const TPopupFn& popup);
// One message at the transcript's end, drawn once it is all there.
void WriteTranscriptMessage(QWidget* memo, TTranscript& transcript, platform::TFont& font, const std::string& icons,
                            const std::string& name, const std::string& time, const std::string& text);
// Once started, flashes the window's taskbar button every second until the
// window is in front.
QTimer* MakeFlashTimer(QWidget* window);
// The code of emoticon `entry` (0..19) at the input's caret; the picker goes.
void InsertEmoticon(QPlainTextEdit* input, QWidget* picker, int entry);
// "Adjust My Font" and "Adjust Peer Font".
QMenu* MakeFontsMenu(QWidget* window, const std::function<void()>& mine, const std::function<void()>& peer);
// F1 anywhere in the window.
void AddHelpKey(QWidget* window, const std::function<void()>& help);

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
