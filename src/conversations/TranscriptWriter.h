#pragma once

#include <string>

#include "platform/Font.h"

class TTranscript;

// Writes chat messages into a transcript as every conversation window shows
// them: a bold header line with the sender's name and the time, then the body,
// in which emoticon markers become pictures and "http://" and "mailto:"
// addresses are underlined. Everything is appended at the end.
//
// The font is the sender's own object: its bold and underline bits are set
// and cleared in place as the runs need them, so a header is bold and never
// underlined, and the run after a link is plain again.
class TTranscriptWriter {
 public:
  // iconsFolder: where the emoticon pictures are, ending in a backslash.
  TTranscriptWriter(TTranscript& transcript, platform::TFont& font, std::string iconsFolder)
      : transcript_(transcript), font_(font), icons_(std::move(iconsFolder)) {}

  // One message: codes to markers, the header of name and time, the body. An
  // empty text writes nothing.
  void WriteMessage(const std::string& name, const std::string& time, const std::string& text);

  // name + " (" + time + ")" and a line break, bold; marks the transcript modified.
  void InsertMessageHeader(const std::string& name, const std::string& time);
  // A text that holds a marker gets pictures and no links; one without gets
  // its addresses underlined, "http://" before "mailto:" wherever both are.
  // An address runs to the next blank or line break.
  void InsertMessageBody(const std::string& text);
  void InsertEmoteImage(int n);

 private:
  void InsertWithMarkers(const std::string& text);
  // An empty run writes nothing, except where a run is always written (the
  // text before a picture): its attributes are set all the same.
  void Run(const std::string& run, bool link = false, bool evenEmpty = false);
  void CaretToEnd();

  TTranscript& transcript_;
  platform::TFont& font_;
  std::string icons_;
};

// A transcript as a file for the user rather than for this program: UTF-8
// text with line feeds; the pictures are left out.
std::string TranscriptFileText(TTranscript& transcript);

// The header's clock, "h:nn AM": 12-hour, no leading zero on the hour, then
// the desktop locale's name for that half of the day (`dayHalf`).
std::string HeaderTime(int hour, int minute, const std::string& dayHalf);
std::string HeaderTimeNow();
