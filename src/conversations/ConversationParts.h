#pragma once

#include <QPoint>
#include <functional>
#include <initializer_list>
#include <string>

#include "conversations/TranscriptControl.h"
#include "platform/Font.h"

class QMenu;
class QObject;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QWidget;
class TPickerPanel;
class TTranscript;

// How the conversation windows make what they share: the transcript and the
// input box, the fonts menu, the help key and the flashing of the taskbar
// button. The keys and menus of both are ChatInput's.

using TPopupFn = std::function<void(const QPoint& at)>;

// The transcript control from the program's factory, its keys going through
// `filter` first and its popup menu through `popup`.
TTranscriptControl MakeTranscript(QWidget* window, QObject* filter, const TPopupFn& popup);
// The input box: Tab stays in it, the own font, keys through `filter` first.
QPlainTextEdit* MakeInput(QWidget* window, QObject* filter, const platform::TFont& font, const TPopupFn& popup);
// One message at the transcript's end, drawn once it is all there, under a
// header that shows the sender's name and time as a label does (cut).
void WriteTranscriptMessage(TTranscript& transcript, platform::TFont& font, const std::string& icons,
                            const std::string& name, const std::string& time, const std::string& text);
// Once started, flashes the window's taskbar button every second until the
// window is in front.
QTimer* MakeFlashTimer(QWidget* window);
// Starts the flashing unless it runs already: started again, it would wait a
// whole second anew, and messages that come faster would keep the button from
// ever flashing.
void StartFlashing(QTimer* timer);
// The code of emoticon `entry` (0..19) at the input's caret; the picker goes.
void InsertEmoticon(QPlainTextEdit* input, QWidget* picker, int entry);
// The emoticon picker over its button, a little above it; `other` (may be
// null) goes.
void PopEmoticons(QWidget* window, QWidget* button, TPickerPanel* picker, TPickerPanel* other, bool focus = true);
// The sound picker from the top of `top` down to `gap` pixels above its
// button, never shorter than 120; `other` goes.
void PopSounds(QWidget* window, QWidget* button, QWidget* top, int gap, TPickerPanel* picker, TPickerPanel* other);
// A push button in `parent` that calls `onClick`.
QPushButton* MakeButton(const char* caption, QWidget* parent, std::function<void()> onClick);
// "Adjust My Font" and "Adjust Peer Font".
QMenu* MakeFontsMenu(QWidget* window, const std::function<void()>& mine, const std::function<void()>& peer);
// The windows' arrangement: on the left the pieces above the transcript, the
// transcript taking what height is left, the button row, the input beside
// Send and its note on characters that cannot be sent; the side column on the
// right; the status bar along the foot. Whatever changes the input (keys, a
// picked emoticon, the menu, a send) updates the note, then calls
// `inputChanged` with the same text.
void LayOutConversation(QWidget* window, std::initializer_list<QWidget*> above, QWidget* memo, QWidget* buttons,
                        QPlainTextEdit* input, QWidget* send, QWidget* side, QWidget* status,
                        std::function<void(const QString&)> inputChanged);
// F1 anywhere in the window.
void AddHelpKey(QWidget* window, const std::function<void()>& help);

