#pragma once

#include "conversations/TranscriptControl.h"

// The transcript every conversation window shows: the rich edit control set
// up as a word-wrapped chat log in plain-text mode that no key changes, with
// the transcript operations on it. The program installs this with
// SetTranscriptFactory before any conversation opens.
TTranscriptControl MakeRichTranscript(QWidget* parent);
