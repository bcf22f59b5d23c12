#pragma once

#include <cstdint>
#include <deque>
#include <string>

class TTranscript;

// Keeps a transcript to its last `maxMessages` messages and to `maxBytes` of
// what the control holds for them. A peer that never stops talking would
// otherwise grow it (and the control's layout beside it) for as long as the
// window is open. Past either bound the oldest messages go, down to half of
// it, and one line at the top says how many have gone. The history file and
// what was sent are not touched; saving the transcript saves what is kept.
//
// What the control holds is counted as it is written, at what the rich
// control was measured to keep (transcript_bench --memory): each character,
// each run of one look (a picture is one), and each line with its row. A
// face costs the control as much as a dozen characters, a line break as
// thirty: counting characters alone let a window of faces or empty lines
// grow past a hundred megabytes.
class TTranscriptBound {
 public:
  static constexpr int kCharBytes = 8;
  static constexpr int kRunBytes = 110;
  static constexpr int kLineBytes = 240;

  TTranscriptBound(int maxMessages, std::int64_t maxBytes) : maxMessages_(maxMessages), maxBytes_(maxBytes) {}

  // One run of text in one look, or one picture, as it is written.
  void TextWritten(const std::string& text);
  void PictureWritten() { written_ += kCharBytes + kRunBytes; }
  // After each message, with the caret at the end: what was written since
  // the last one is the message's.
  void MessageWritten(TTranscript& transcript);
  // The user cut `length` characters from `from` out of the transcript.
  void TextRemoved(int from, int length);
  int Kept() const { return static_cast<int>(kept_.size()); }
  long long Dropped() const { return dropped_; }

 private:
  struct Message {
    int end;             // where it ends, as a position in the transcript
    std::int64_t bytes;  // what it and every kept message before it cost
  };
  int maxMessages_;
  std::int64_t maxBytes_;
  std::deque<Message> kept_;
  std::int64_t written_ = 0, held_ = 0;
  long long dropped_ = 0;
};
