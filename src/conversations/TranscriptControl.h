#pragma once

#include <functional>

class QWidget;
class TTranscript;

// Where a conversation window gets its transcript: the widget to lay out and
// the transcript operations on it. The widget belongs to `parent`; the
// transcript object lives as long as the widget does.
struct TTranscriptControl {
  QWidget* Widget = nullptr;
  TTranscript* Transcript = nullptr;
};

using TTranscriptFactory = std::function<TTranscriptControl(QWidget* parent)>;

// The program installs the factory once at start, before any conversation
// opens. Every window that shows a transcript needs it: without one, opening
// such a window fails (see MakeTranscriptControl) and the failure is logged.
void SetTranscriptFactory(TTranscriptFactory factory);
// A new control under `parent`; raises platform::Exception when no factory
// is installed or it made nothing.
TTranscriptControl MakeTranscriptControl(QWidget* parent);
