#include "conversations/TranscriptBound.h"

#include <algorithm>

#include "conversations/Transcript.h"

// A CR, an LF and a CR LF each end a line in the control.
void TTranscriptBound::TextWritten(const std::string& text) {
  std::int64_t lines = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    lines += text[i] == '\r' || (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'));
  written_ += kRunBytes + kCharBytes * static_cast<std::int64_t>(text.size()) + kLineBytes * lines;
}

void TTranscriptBound::MessageWritten(TTranscript& transcript) {
  const int length = transcript.GetTextLen();
  held_ += written_;
  written_ = 0;
  kept_.push_back({length, held_});
  const int kept = static_cast<int>(kept_.size());
  if (kept < 2 || (kept <= maxMessages_ && held_ <= maxBytes_)) return;
  // Down to half of both bounds: the control lays out what it keeps anew
  // after a cut, so cuts are made seldom. The newest message always stays,
  // even where it alone is dearer than half the bound.
  const int keepMessages = maxMessages_ / 2;
  const std::int64_t keepBytes = maxBytes_ / 2;
  int drop = 1;
  while (drop < kept - 1 && (kept - drop > keepMessages || held_ - kept_[drop - 1].bytes > keepBytes)) ++drop;
  // From the top: the notice of the last cut, if any, and the messages that go.
  const Message last = kept_[drop - 1];
  dropped_ += drop;
  kept_.erase(kept_.begin(), kept_.begin() + drop);
  transcript.SetSelStart(0);
  transcript.SetSelLength(last.end);
  transcript.SetSelText("[" + std::to_string(dropped_) + " earlier messages are no longer shown here]\r\n");
  const int shift = length - transcript.GetTextLen();
  for (Message& m : kept_) m.end -= shift, m.bytes -= last.bytes;
  held_ -= last.bytes;
  // The notice is no message's: it stands for what went.
  written_ = 0;
  transcript.SetSelStart(transcript.GetTextLen());
  transcript.SetSelLength(0);
}

// What the cut took stays counted: the bound may cut sooner, never later.
void TTranscriptBound::TextRemoved(int from, int length) {
  if (length <= 0) return;
  for (Message& m : kept_)
    if (m.end > from) m.end -= std::min(m.end - from, length);
}
