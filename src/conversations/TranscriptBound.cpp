#include "conversations/TranscriptBound.h"

#include <string>

#include "conversations/Transcript.h"

void TTranscriptBound::MessageWritten(TTranscript& transcript) {
  const int length = transcript.GetTextLen();
  ends_.push_back(length);
  const int kept = static_cast<int>(ends_.size());
  if (kept <= maxMessages_ && length <= maxChars_) return;
  // Down to nine tenths of both bounds; the newest message always stays.
  const int keepMessages = maxMessages_ - maxMessages_ / 10;
  const int keepChars = maxChars_ - maxChars_ / 10;
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
