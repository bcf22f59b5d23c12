#include "core/session/ErrorLog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <optional>

#include "Widgets_helpers.h"
#include "platform/ErrorSink.h"
#include "common/FailingDisk.h"
#include "platform/TempHome.h"
#include "transport/NetSocketFunctions.h"
#include "transport/ParloSocket.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempHome;
using testing_support::WriteFile;

// "<the system's date-time text> Build: Version: 1.2.3.4"
bool IsHeader(const std::string& line) {
  const std::string marker = " Build: Version: ";
  const size_t at = line.find(marker);
  if (at == std::string::npos || at < 8 || line.find_first_of("0123456789") >= at) return false;
  return line.find_first_not_of("0123456789.", at + marker.size()) == std::string::npos;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) lines.push_back(text.substr(at, end - at));
  EXPECT_EQ(at, text.size()) << "text after the last CR LF";
  return lines;
}

TEST(ErrorLog, EntriesAreThreeLinesAppendedToWhatIsThere) {
  TempHome home;
  const auto file = home.Home() / "errorlog.txt";
  LogError("10.0.0.7", "2960", "Incoming Session Error");
  auto lines = Lines(ReadFile(file));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(IsHeader(lines[0])) << lines[0];
  EXPECT_EQ(lines[1], " IP: 10.0.0.7 - Port: 2960");
  EXPECT_EQ(lines[2], "Error Message: Incoming Session Error");

  // An old file keeps its lines, also one left without its line break.
  for (const std::string old : {"an old line\r\n", "an old line"}) {
    WriteFile(file, old);
    LogError("None", "None", "two\r\nlines");
    lines = Lines(ReadFile(file));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "an old line");
    EXPECT_TRUE(IsHeader(lines[1])) << lines[1];
    EXPECT_EQ(lines[2], " IP: None - Port: None");
    EXPECT_EQ(lines[3], "Error Message: two\\x0D\\x0Alines");
  }

  // Lower layers report through the same log.
  platform::ReportError("", "", "Extracting Command: xyz");
  EXPECT_NE(ReadFile(file).find("Error Message: Extracting Command: xyz\r\n"), std::string::npos);
}

// Entries quote what strangers sent; whatever it holds, an entry stays three
// lines of printable text, whole, naming where the bytes came from.
TEST(ErrorLog, OutsideBytesCannotForgeEntries) {
  TempHome home;
  const auto file = home.Home() / "errorlog.txt";
  struct Case {
    std::string address, message;
    std::string wantIp, wantMessage;
  };
  const std::string forged = "x\n2001-01-01 00:00:00 Build: Version: 6.6.6.6\r\n IP: 1.2.3.4";
  const std::vector<Case> cases = {
      {"10.0.0.7", forged, "10.0.0.7",
       "x\\x0A2001-01-01 00:00:00 Build: Version: 6.6.6.6\\x0D\\x0A IP: 1.2.3.4"},
      {"10.0.0.7", std::string("\x1B[2J\0\x7F\x9C\xE9", 8), "10.0.0.7", "\\x1B[2J\\x00\\x7F\x9C\xE9"},
      {"evil\r\nhost", "m", "evil\\x0D\\x0Ahost", "m"},
      {std::string(300, 'h'), std::string(100000, 'A'), std::string(300, 'h'), std::string(100000, 'A')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.wantMessage.substr(0, 40));
    std::filesystem::remove(file);
    LogError(c.address, "2960", c.message);
    const auto lines = Lines(ReadFile(file));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], " IP: " + c.wantIp + " - Port: 2960");
    EXPECT_EQ(lines[2], "Error Message: " + c.wantMessage);
  }
}

TEST(ErrorLog, StaysBoundedAndKeepsTheNewestWholeEntries) {
  TempHome home;
  const auto file = home.Home() / "errorlog.txt";
  const std::string filler(4000, 'x');
  for (int i = 0; i < 400; ++i) LogError("", "", "entry " + std::to_string(i) + " " + filler);
  const std::string text = ReadFile(file);
  EXPECT_LE(text.size(), 1u << 20);
  EXPECT_GE(text.size(), 600u << 10);
  const auto lines = Lines(text);
  ASSERT_EQ(lines.size() % 3, 0u);
  EXPECT_TRUE(IsHeader(lines[0])) << lines[0].substr(0, 80);
  EXPECT_EQ(lines.back(), "Error Message: entry 399 " + filler);
}

// A log that cannot be written fails nobody: the entry goes to standard
// error instead, whole, the file keeps what it held, and the next entry after
// the cause is gone is written to the file again.
TEST(ErrorLog, AnUnwritableLogSendsTheEntryToStandardError) {
  using testing_support::DiskFault;
  const std::string old = "2026-01-01 Build: Version: 1.0.0.0\r\n IP:  - Port: \r\nError Message: old\r\n";
  struct Case {
    const char* name;
    std::function<void(const std::filesystem::path& file)> prepare;
    std::optional<DiskFault> fault;
  };
  const Case cases[] = {
      {"a folder where the file belongs", [](const auto& file) { std::filesystem::create_directories(file); }, {}},
      {"a full disk", [&](const auto& file) { WriteFile(file, old); }, DiskFault::SizeLimit},
      {"a read-only folder when the log is trimmed",
       [&](const auto& file) { WriteFile(file, old + std::string((1 << 20) - 100, 'x') + "\r\n"); },
       DiskFault::ReadOnlyFolder},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempHome home;
    const auto file = home.Home() / "errorlog.txt";
    c.prepare(file);
    const std::string before = std::filesystem::is_regular_file(file) ? ReadFile(file) : "";
    const auto log = [] {
      // Standard error, caught in a pipe: the entry is far below its size.
      int ends[2];
      if (::pipe(ends) != 0) return std::string("no pipe");
      const int saved = ::dup(2);
      ::dup2(ends[1], 2);
      ::close(ends[1]);
      LogError("10.0.0.1", "2960", std::string(200, 'e'));
      ::dup2(saved, 2);
      ::close(saved);
      std::string err(65536, '\0');
      const ssize_t n = ::read(ends[0], err.data(), err.size());
      ::close(ends[0]);
      err.resize(n > 0 ? static_cast<size_t>(n) : 0);
      return err;
    };
    const std::string err = c.fault ? testing_support::WriteUnderFault(*c.fault, home.Home(), log, before.size() + 40)
                                    : log();
    EXPECT_EQ(err.rfind("parlo: error log: ", 0), 0u) << err;
    EXPECT_NE(err.find("\r\n IP: 10.0.0.1 - Port: 2960\r\nError Message: " + std::string(200, 'e') + "\r\n"),
              std::string::npos)
        << err;
    if (std::filesystem::is_directory(file)) {
      EXPECT_TRUE(std::filesystem::is_empty(file));
      std::filesystem::remove(file);
    } else if (c.fault == DiskFault::SizeLimit) {
      EXPECT_EQ(ReadFile(file), before);
    } else {
      // Past the bound the entry is in; the file could not be trimmed, so it is
      // left as it was plus that entry, still whole.
      EXPECT_EQ(ReadFile(file).substr(0, before.size()), before);
      EXPECT_EQ(ReadFile(file).size() - before.size(), err.size() - err.find('\n') - 1);
    }
  }
}

// A log that is no plain file (a named pipe would hold the program at its
// first entry, a link would carry the entries outside the home) is set aside;
// the entry, and then the note of what was set aside, start a new log.
TEST(ErrorLog, ALogThatIsNoPlainFileIsSetAsideAndTheEntryStartsANewOne) {
  namespace fs = std::filesystem;
  ::alarm(60);
  for (const fs::file_type obstacle : {fs::file_type::fifo, fs::file_type::symlink}) {
    SCOPED_TRACE(static_cast<int>(obstacle));
    TempHome home;
    fs::create_directories(home.Home());
    const auto file = home.Home() / "errorlog.txt";
    const auto outside = home.Home().parent_path() / "outside.txt";
    WriteFile(outside, "not ours");
    if (obstacle == fs::file_type::fifo) ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    if (obstacle == fs::file_type::symlink) fs::create_symlink(outside, file);
    LogError("10.0.0.1", "2960", "first");
    const auto lines = Lines(ReadFile(file));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2], "Error Message: first");
    EXPECT_EQ(lines[5].rfind("Error Message: Data file " + file.string() + " is not a plain file but a", 0), 0u)
        << lines[5];
    EXPECT_EQ(ReadFile(outside), "not ours");
  }
  ::alarm(0);
}

TEST(ErrorLog, SocketErrorsAreLoggedWithTheirDescriptionAndClose) {
  testing_support::WidgetApp();
  TempHome home;
  TParloSocket socket;
  ReportSocketError(socket, 0);
  ReportSocketError(socket, 10061);
  EXPECT_EQ(socket.State(), wsClosed);
  const std::string log = ReadFile(home.Home() / "errorlog.txt");
  EXPECT_NE(log.find("\r\nError Message: Winsock Error 0 : Undetermined Winsock Error\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\r\nError Message: Winsock Error 10061 : " + NetSocketErrorDesc(10061) + "\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(NetSocketErrorDesc(10061), "Undetermined Winsock Error");
}

}  // namespace
