// The error log, "errorlog.txt" in the home folder: three CR LF lines per entry,
// newest last.

#include <QDateTime>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "core/session/ErrorLog.h"
#include "core/session/ProgramVersion.h"
#include "platform/AppHome.h"
#include "platform/DesktopPrompts.h"
#include "platform/ErrorSink.h"
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
// \xHH. A field is cut at its limit, since a 4 MiB line says no more about
// the fault than its start does.
constexpr size_t kMessageLimit = 4096;
constexpr size_t kAddressLimit = 256;

std::string Printable(const std::string& text, size_t limit) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  out.reserve(std::min(text.size(), limit) + 16);
  size_t taken = 0;
  for (; taken < text.size() && out.size() < limit; ++taken) {
    const auto c = static_cast<unsigned char>(text[taken]);
    if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  if (taken < text.size()) out += "... (" + std::to_string(text.size()) + " bytes)";
  return out;
}

std::string Timestamp() { return QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss").toStdString(); }

// An entry starts with a line "<timestamp> Build: ...".
bool StartsEntry(const std::string& text, size_t at) {
  const size_t stamp = Timestamp().size();
  return text.compare(at + stamp, std::char_traits<char>::length(kBuildMarker), kBuildMarker) == 0;
}

void Trim(const std::filesystem::path& file) {
  std::string text;
  {
    std::ifstream in(file, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
  }
  if (text.size() <= kLogCap) return;
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
  auto temp = file;
  temp += ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(text.data() + cut, static_cast<std::streamsize>(text.size() - cut));
    if (!out) throw std::runtime_error("cannot write " + temp.string());
  }
  std::filesystem::rename(temp, file);
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
  const std::string entry = Timestamp() + kBuildMarker + ProgramBuildText() + "\r\n IP: " +
                            Printable(address, kAddressLimit) + " - Port: " + Printable(port, kAddressLimit) +
                            "\r\nError Message: " + Printable(message, kMessageLimit) + "\r\n";
  try {
    const auto file = platform::EnsureAppHome() / "errorlog.txt";
    {
      std::ofstream out(file, std::ios::binary | std::ios::app);
      out << entry;
      out.close();
      if (!out) throw std::runtime_error("cannot write " + file.string());
    }
    std::error_code ec;
    if (std::filesystem::file_size(file, ec) > kLogCap && !ec) Trim(file);
  } catch (const std::exception& e) {
    // The log is the last resort; when it fails, standard error is all there is.
    std::fprintf(stderr, "parlo: error log: %s\n%s", e.what(), entry.c_str());
  }
}

void LogSocketError(const std::string& address, const std::string& port, int error) {
  const std::string desc = error == 0 ? "Undetermined Winsock Error" : NetSocketErrorDesc(error);
  LogError(address, port, "Winsock Error " + std::to_string(error) + " : " + desc);
}

void ReportSocketError(TCustomNetSocket& socket, int error) {
  // A link that never connected has no peer to ask: the address it was
  // aimed at tells which connect failed.
  if (socket.State() == wsConnected) LogSocketError(socket.PeerAddr(), socket.PeerPort(), error);
  else LogSocketError(socket.Addr(), socket.Port(), error);
  socket.Close();
  platform::Beep();
}
