#include "conversations/TranscriptBound.h"

#include <string>

#include "conversations/Transcript.h"

void TTranscriptBound::MessageWritten(TTranscript& transcript) {
  const int length = transcript.GetTextLen();
  ends_.push_back(length);
  const int kept = static_cast<int>(ends_.size());
  if (kept <= maxMessages_ && length <= maxChars_) return;
  // Down to half of both bounds: the control lays out what it keeps anew
  // after a cut, so cuts are made seldom. The newest message always stays.
  const int keepMessages = maxMessages_ / 2;
  const int keepChars = maxChars_ / 2;
  int drop = 1;
  while (drop < kept && (kept - drop > keepMessages || length - ends_[drop - 1] > keepChars)) ++drop;
  // From the top: the notice of the last cut, if any, and the messages that go.
  const int cut = ends_[drop - 1];
  dropped_ += drop;
  ends_.erase(ends_.begin(), ends_.begin() + drop);
  transcript.SetSelStart(0);
  transcript.SetSelLength(cut);
  transcript.SetSelText("[" + std::to_string(dropped_) + " earlier messages are no longer shown here]\r\n");
  const int shift = length - transcript.GetTextLen();
  for (int& end : ends_) end -= shift;
  transcript.SetSelStart(transcript.GetTextLen());
  transcript.SetSelLength(0);
}
