#pragma once

#include <deque>

class TTranscript;

// Keeps a transcript to its last `maxMessages` messages and `maxChars`
// characters. A peer that never stops talking would otherwise grow it (and
// the control's layout beside it) for as long as the window is open. Past
// either bound the oldest messages go, down to half of it, and one line at
// the top says how many have gone. The history file and what was sent are not touched; saving the
// transcript saves what is kept.
class TTranscriptBound {
 public:
  TTranscriptBound(int maxMessages, int maxChars) : maxMessages_(maxMessages), maxChars_(maxChars) {}

  // After each message, with the caret at the end.
  void MessageWritten(TTranscript& transcript);
  int Kept() const { return static_cast<int>(ends_.size()); }
  long long Dropped() const { return dropped_; }

 private:
  int maxMessages_, maxChars_;
  // Where each kept message ends, as positions in the transcript.
  std::deque<int> ends_;
  long long dropped_ = 0;
};
