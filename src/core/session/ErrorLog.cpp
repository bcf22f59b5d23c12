// The error log, "errorlog.txt" in the home folder: three CR LF lines per entry,
// newest last.

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <vector>

#include "core/session/ErrorLog.h"
#include "core/session/ProgramVersion.h"
#include "platform/AppHome.h"
#include "platform/DesktopPrompts.h"
#include "platform/ErrorSink.h"
#include "platform/Stream.h"
#include "transport/NetSocket.h"
#include "transport/NetSocketFunctions.h"

namespace {

// Peers can cause entries at will, so the file is bounded. When it grows past the
// cap the oldest entries go, down to three quarters of it, so that trimming (a
// rewrite of the whole file) happens once per quarter megabyte of new entries.
constexpr std::uintmax_t kLogCap = 1u << 20;
constexpr std::uintmax_t kLogKeep = kLogCap / 4 * 3;

constexpr const char* kBuildMarker = " Build: ";

// Entries carry bytes from strangers: a caller's unreadable first line, a
// server's frame. An entry is three lines, so a line end inside one would
// let the sender write entries of its own making, and an escape byte would
// act on the terminal of whoever reads the log: control bytes are written as
// \xHH. Nothing is cut; the file's own bound keeps the log small.
std::string Printable(const std::string& text) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() + 16);
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

// The system's date-time text: its short date and its long time, without the
// time zone the long time format may carry.
std::string Timestamp() {
  const QLocale locale = QLocale::system();
  QString time = locale.timeFormat(QLocale::LongFormat);
  time.remove(QRegularExpression("\\s*\\bt+\\b"));
  const QDateTime now = QDateTime::currentDateTime();
  return platform::Utf8ToAnsi(
      (locale.toString(now.date(), QLocale::ShortFormat) + " " + locale.toString(now.time(), time.trimmed()))
          .toStdString());
}

// An entry starts with a line "<date-time> Build: Version: ..."; the date-time
// text has no fixed width, so the marker is looked for near the line's start.
bool StartsEntry(const std::string& text, size_t at) {
  const std::string marker = std::string(kBuildMarker) + "Version: ";
  const size_t end = std::min({text.find('\n', at), at + 64 + marker.size(), text.size()});
  return std::string_view(text).substr(at, end - at).find(marker) != std::string_view::npos;
}

// Past the cap the file is read whole to be trimmed; one far larger is not
// the log's own making and is left to grow no further than this read allows.
constexpr std::uintmax_t kLargestTrimmed = 64u << 20;

void Trim(const platform::FileName& file) {
  std::string text;
  if (platform::ReadStore(file, text, kLargestTrimmed) != platform::TStoreRead::Read || text.size() <= kLogCap) return;
  size_t cut = text.size() - kLogKeep;
  // Move on to the first whole entry after the cut; with none, to the next line.
  size_t line = text.find('\n', cut - 1);
  size_t entry = std::string::npos;
  for (size_t at = line; at != std::string::npos && at + 1 < text.size(); at = text.find('\n', at + 1))
    if (StartsEntry(text, at + 1)) {
      entry = at + 1;
      break;
    }
  if (entry != std::string::npos) cut = entry;
  else if (line != std::string::npos) cut = line + 1;
  platform::ReplaceFile(file, text.data() + cut, text.size() - cut);
}

// The file may end without a line break (written by hand or cut short by
// an earlier failure); an entry still begins on a line of its own.
bool EndsInsideALine(const platform::FileName& file) {
  try {
    TFileStream in(file, fmOpenRead | fmStore);
    const std::int64_t size = in.Size();
    if (size <= 0) return false;
    char last = 0;
    in.Seek(size - 1, TSeekOrigin::soBeginning);
    in.ReadBuffer(&last, 1);
    return last != '\n' && last != '\r';
  } catch (const platform::EStreamError&) {
    return false;  // no log yet, or one the append below reports
  }
}

void WriteToStandardError(const std::string& why, const std::string& entry) {
  std::fprintf(stderr, "parlo: error log: %s\n%s", why.c_str(), entry.c_str());
}

void WriteEntry(const std::string& entry) {
  try {
    const platform::FileName file = platform::EnsureAppHome() / "errorlog.txt";
    const std::string text = EndsInsideALine(file) ? "\r\n" + entry : entry;
    if (platform::AppendToFile(file, text.data(), text.size()) > kLogCap) Trim(file);
  } catch (const std::exception& e) {
    // The log is the last resort; when it fails, standard error is all there is.
    WriteToStandardError(e.what(), entry);
  }
}

struct InstallHandler {
  InstallHandler() {
    platform::SetErrorHandler([](const std::string& address, const std::string& port, const std::string& message) {
      LogError(address, port, message);
    });
  }
} installHandler;

}  // namespace

std::string ProgramBuildText() { return "Version: " + OwnVersion().Text(); }

void LogError(const std::string& address, const std::string& port, const std::string& message) {
  const std::string entry = Timestamp() + kBuildMarker + ProgramBuildText() + "\r\n IP: " + Printable(address) +
                            " - Port: " + Printable(port) + "\r\nError Message: " + Printable(message) + "\r\n";
  // Writing an entry may itself be reported (a log file that was no plain
  // file, set aside): such reports follow the entry, and a report made while
  // writing them goes to standard error, so that a log which cannot be
  // mended never loops.
  static thread_local std::vector<std::string>* pending = nullptr;
  static thread_local bool writingPending = false;
  if (pending != nullptr) {
    if (writingPending) WriteToStandardError("report while logging", entry);
    else pending->push_back(entry);
    return;
  }
  std::vector<std::string> reports;
  pending = &reports;
  WriteEntry(entry);
  writingPending = true;
  for (const std::string& report : reports) WriteEntry(report);
  writingPending = false;
  pending = nullptr;
}

void LogSocketError(const std::string& address, const std::string& port, int error) {
  const std::string desc = error == 0 ? "Undetermined Winsock Error" : NetSocketErrorDesc(error);
  LogError(address, port, "Winsock Error " + std::to_string(error) + " : " + desc);
}

void ReportSocketError(TCustomNetSocket& socket, int error) {
  // A link that is not connected names its peer "error", as the socket does.
  LogSocketError(socket.PeerAddr(), socket.PeerPort(), error);
  socket.Close();
  platform::Beep();
}
