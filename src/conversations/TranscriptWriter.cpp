#include "conversations/TranscriptWriter.h"

#include <QString>
#include <ctime>

#include "conversations/Emoticons.h"
#include "conversations/Transcript.h"
#include "platform/Charset.h"

void TTranscriptWriter::WriteMessage(const std::string& name, const std::string& time, const std::string& text) {
  if (text.empty()) return;
  const std::string body = ReplaceEmoticonCodes(text);
  // The header leaves the caret at the end, where the body goes.
  InsertMessageHeader(name, time);
  InsertMessageBody(body);
}

void TTranscriptWriter::InsertMessageHeader(const std::string& name, const std::string& time) {
  CaretToEnd();
  font_.Underline = false;
  font_.Bold = true;
  transcript_.GetSelAttributes().Assign(font_);
  transcript_.SetSelText(name + " (" + time + ")\r\n");
  transcript_.SetSelLength(0);
  transcript_.SetModified(true);
}

void TTranscriptWriter::InsertMessageBody(const std::string& text) {
  if (text.find(EmoticonMarkerLead) != std::string::npos) {
    InsertWithMarkers(text);
    return;
  }
  // The next address of each kind is looked for again only once the text
  // written has passed it: a text of many addresses of one kind would
  // otherwise be searched to its end for the other kind at each address.
  std::size_t from = 0, http = text.find("http://"), mail = text.find("mailto:");
  auto next = [&](std::size_t& found, const char* scheme) {
    if (found != std::string::npos && found < from) found = text.find(scheme, from);
    return found;
  };
  while (from < text.size()) {
    std::size_t at = next(http, "http://");
    if (at == std::string::npos) at = next(mail, "mailto:");
    if (at == std::string::npos) {
      Run(text.substr(from));
      return;
    }
    // A line break ends an address too: the next line is never part of it.
    const std::size_t blank = text.find_first_of(" \r\n", at);
    const std::size_t end = blank == std::string::npos ? text.size() : blank;
    Run(text.substr(from, at - from));
    Run(text.substr(at, end - at), true);
    from = end;
  }
}

// Pictures in place of the markers and the rest as plain text, addresses
// included: a message with a picture gets no links. A "$->" whose number
// cannot be read stays as text: taken for a failure it would end the chat
// (a peer's message) or the program (one's own).
void TTranscriptWriter::InsertWithMarkers(const std::string& text) {
  std::size_t from = 0;
  for (;;) {
    const std::size_t p = text.find(EmoticonMarkerLead, from);
    if (p == std::string::npos) {
      Run(text.substr(from), false, true);
      return;
    }
    const std::optional<int> n = ReadEmoticonMarker(text, p);
    if (!n) {
      Run(text.substr(from, p + 3 - from));
      from = p + 3;
      continue;
    }
    Run(text.substr(from, p - from), false, true);
    InsertEmoteImage(*n);
    from = EmoticonMarkerEnd(text, p);
  }
}

// A number outside the table names the icons folder alone: an empty picture.
void TTranscriptWriter::InsertEmoteImage(int n) {
  transcript_.InsertImageFromFile(n >= 1 && n <= EmoticonCount ? EmoticonPicture(icons_, n) : icons_);
}

// A run takes the sender's font, never bold; a link is underlined text only.
void TTranscriptWriter::Run(const std::string& run, bool link, bool evenEmpty) {
  if (run.empty() && !evenEmpty) return;
  font_.Bold = false;
  font_.Underline = link;
  transcript_.GetSelAttributes().Assign(font_);
  transcript_.SetSelText(run);
  transcript_.SetSelLength(0);
  font_.Underline = false;
}

void TTranscriptWriter::CaretToEnd() { transcript_.SetSelStart(transcript_.GetTextLen()); }

std::string TranscriptFileText(TTranscript& transcript) {
  std::string text = transcript.GetLines().Text([](const std::string&) { return std::string(); });
  std::erase(text, '\r');
  return platform::AnsiToUtf8(text);
}

// Every message header carries one, so it is put together digit by digit
// rather than through a formatted print, which costs more than the rest of
// the header.
std::string HeaderTime(int hour, int minute, const std::string& dayHalf) {
  const int h = hour % 12 == 0 ? 12 : hour % 12;
  std::string text;
  if (h >= 10) text += '1';
  text += char('0' + h % 10);
  text += ':';
  text += char('0' + minute / 10);
  text += char('0' + minute % 10);
  text += ' ';
  text += dayHalf;
  return text;
}

// Reading the local time looks the zone up each time; a clock reading of the
// same minute shows the same time (zones and their changes of offset go by
// whole minutes), so the text of the last minute is kept.
std::string HeaderTimeNow() {
  thread_local std::time_t minute = -1;
  thread_local std::string text;
  const std::time_t now = std::time(nullptr);
  if (now / 60 != minute) {
    std::tm local{};
    localtime_r(&now, &local);
    char half[32];
    const std::size_t length = std::strftime(half, sizeof half, "%p", &local);
    // The desktop's locale may write it in its own encoding.
    const std::string dayHalf = platform::FromQString(QString::fromLocal8Bit(half, static_cast<qsizetype>(length)));
    text = HeaderTime(local.tm_hour, local.tm_min, dayHalf);
    minute = now / 60;
  }
  return text;
}
