#include "core/session/UpdateCheck.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <memory>

#include "DirectoryServer_helpers.h"
#include "Widgets_helpers.h"
#include "common/Settle.h"
#include "core/session/DirectoryLink.h"
#include "core/session/Paths.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"
#include "core/session/UpdateDownload.h"
#include "platform/EventLoop.h"
#include "platform/TempHome.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;

// dpkg orders purely numeric dotted versions part by part, as builds are.
bool DpkgNewer(const std::string& a, const std::string& b) {
  return QProcess::execute("dpkg", {"--compare-versions", QString::fromStdString(a), "gt",
                                    QString::fromStdString(b)}) == 0;
}

TEST(UpdateCheck, NeedUpdateAgreesWithDpkg) {
  const TProgramVersion owns[] = {{1, 2, 3, 400}, {0, 0, 0, 0}, {9, 9, 9, 65535}};
  const char* builds[] = {"1.2.3.401", "1.2.3.400", "1.2.2.999", "1.3.0.0",   "2.0.0.1",
                          "0.9.9.99999", "1.2.3.4000", "9.9.9.65536", "0.0.0.0", "1.2.3.0400"};
  for (const auto& own : owns) {
    for (const char* build : builds) {
      SCOPED_TRACE(std::string(build) + " against " + own.Text());
      const auto need = TUpdateCheck::NeedUpdate(build, own);
      ASSERT_TRUE(need.has_value());
      EXPECT_EQ(*need, DpkgNewer(build, own.Text()));
    }
  }
  // A build number is read as any number is, its sign too.
  EXPECT_EQ(TUpdateCheck::NeedUpdate("1.2.3.-4", {1, 2, 3, 0}), std::optional<bool>(false));
  for (const char* unreadable : {"10.0.0.1", "1.2.3.", "1.2.3.x1", "a.0.0.1", "1.0", ""}) {
    SCOPED_TRACE(unreadable);
    EXPECT_FALSE(TUpdateCheck::NeedUpdate(unreadable, {1, 0, 0, 0}).has_value());
  }
}

struct Prompts : TPrompts {
  std::vector<std::string> Shown;
  void ShowInformation(const std::string& text, const std::string& caption) override {
    Shown.push_back(caption + ": " + text);
  }
};

// The user's check and the automatic one against the local directory server:
// the answer is kept in "update.ini"; a newer build is announced, and the lack
// of one only after the user asked.
TEST(UpdateCheck, AnswersAreKeptAndAnnouncedAsAsked) {
  testing_support::WidgetApp();
  testing_support::TDirectoryServer server;
  const std::string uid = "12345678";
  server.AddAccount("secret1", uid);
  testing_support::TempHome home;
  testing_support::UseLocalServer(server.Port(), uid, "secret1");
  Prompts prompts;
  TSession session(prompts);
  session.LoadCurrentSelections();
  session.CreateLocalStores();
  std::vector<std::string> events;
  auto found = session.Updates().UpdateAvailable.Connect(
      [&](const std::string& build, const std::string& url) { events.push_back(build + " at " + url); });
  auto none = session.Updates().NoUpdateAvailable.Connect([&] { events.push_back("none"); });

  session.RunWindowCommand(TWindowCommand::CheckUpdates);
  EXPECT_EQ(prompts.Shown,
            std::vector<std::string>{"No Server Connection: You must be connected to the server to check for updates."});
  ASSERT_TRUE(session.StartAfterShow());
  server.WaitFrame(9015, "in");

  // The server's build is the program's own: nothing newer, and the user hears so.
  session.RunWindowCommand(TWindowCommand::CheckUpdates);
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return !events.empty(); }, 5000));
  EXPECT_EQ(events, std::vector<std::string>{"none"});
  EXPECT_EQ(ReadFile(home.Home() / "Data" / "update.ini"),
            "[Version]\r\nBuild=1.0.0.0\r\n\r\n[Url]\r\nUpdateUrl=http://127.0.0.1/parlo/update.exe\r\n\r\n");

  // Unasked, an answer without anything newer shows nothing; a newer build is announced.
  server.Send(uid, 9026, "1.0.0.0{$}http://h/old.exe");
  server.Send(uid, 9026, "9.0.0.1{$}http://h/new.exe");
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return events.size() > 1; }, 5000));
  testing_support::Settle(100);
  EXPECT_EQ(events, (std::vector<std::string>{"none", "9.0.0.1 at http://h/new.exe"}));
  EXPECT_NE(ReadFile(home.Home() / "Data" / "update.ini").find("UpdateUrl=http://h/new.exe"), std::string::npos);

  // The link reads a comma as a line break, which ends the address.
  server.Send(uid, 9026, "9.0.0.2{$}http://h/a,b.exe");
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return events.size() > 2; }, 5000));
  EXPECT_EQ(events.back(), "9.0.0.2 at http://h/a");
  const std::string kept = ReadFile(home.Home() / "Data" / "update.ini");
  EXPECT_NE(kept.find("Build=9.0.0.2\r\n\r\n[Url]\r\nUpdateUrl=http://h/a\r\n"), std::string::npos) << kept;
  // An answer without its address is one the link cannot read: nothing is
  // kept or announced, and the link closes.
  server.Send(uid, 9026, "9.0.0.3{$}");
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return !session.Link().Connected(); }, 5000));
  testing_support::Settle(100);
  EXPECT_EQ(events.size(), 3u);
  EXPECT_EQ(ReadFile(home.Home() / "Data" / "update.ini"), kept);
}

// tests/support/http_script_server.py on a free port, for as long as the object lives.
class ScriptServer {
 public:
  ScriptServer() {
    const char* source = std::getenv("PARLO_SOURCE_DIR");
    process_.setStandardErrorFile(QProcess::nullDevice());
    process_.start("python3", {QString(source ? source : ".") + "/tests/support/http_script_server.py"});
    if (process_.waitForReadyRead(20000)) {
      const QString line = QString::fromLatin1(process_.readLine()).trimmed();
      if (line.startsWith("PORT ")) port_ = line.mid(5).toInt();
    }
  }
  ~ScriptServer() {
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000)) process_.kill();
  }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  int Port() const { return port_; }

 private:
  QProcess process_;
  int port_ = 0;
};

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i % 251);
  return s;
}

// What the download window hears, and when its request ended.
struct DownloadLog {
  std::vector<std::string> lines;
  std::vector<bool> finished;
  TUpdateDownloadView View() {
    TUpdateDownloadView view;
    view.ClearLines = [this] { lines.clear(); };
    view.AddLine = [this](const std::string& line) { lines.push_back(line); };
    view.Finished = [this](bool ok) { finished.push_back(ok); };
    return view;
  }
  bool Has(const std::string& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
};

// A home with its Updates folder, the scripted server, and the paths.
struct DownloadPlace {
  DownloadPlace() { testing_support::WidgetApp(); }
  testing_support::TempHome home;
  ScriptServer http;
  TPaths paths;
};

void ExpectNoPartialFile(const fs::path& updates) {
  for (const auto& entry : fs::directory_iterator(updates))
    EXPECT_NE(entry.path().extension(), ".part") << "a partial file stayed behind";
}

// Every document the HTTP client delivers whole becomes the file, whatever its
// status or header, under one safe name inside "Updates"; a request that ends
// without the document leaves no partial file and an earlier file of the same
// name as it was.
TEST(UpdateDownload, KeepsEveryWholeDocumentUnderASafeName) {
  DownloadPlace place;
  ASSERT_NE(place.http.Port(), 0);
  ScriptServer& http = place.http;
  TPaths& paths = place.paths;
  const fs::path updates = place.home.Home() / "Updates";
  testing_support::WriteFile(updates / "100", "an earlier download");
  struct Case {
    std::string path;
    bool complete;
    std::string file;  // in Updates
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"/ok/5000", true, "5000", Pattern(5000)},
      {"/nolength/3000", true, "3000", Pattern(3000)},
      {"/long/100/300", true, "300", Pattern(300)},  // more than announced: the document is all of it
      {"/nostatus", true, "nostatus", "body"},
      {"/error", false, "100", "an earlier download"},
      {"/short/5000/100", false, "100", "an earlier download"},
      {"/reset/5000/100", false, "100", "an earlier download"},
      {"/ok/100/..\\..\\evil.exe", true, ".._.._evil.exe", Pattern(100)},
      {"/ok/100/..", true, "document.htm", Pattern(100)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    DownloadLog log;
    TUpdateDownload download(paths, log.View());
    download.StartDownload(http.Url(c.path), "9.0.0.1");
    ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return !log.finished.empty(); }, 20000));
    testing_support::Settle(30);
    EXPECT_EQ(log.finished, std::vector<bool>{c.complete});
    EXPECT_EQ(download.Complete(), c.complete);
    EXPECT_EQ(log.lines.front(), "Update Version: 9.0.0.1");
    // A failed download adds no line of its own.
    EXPECT_EQ(log.Has("Download Complete!"), c.complete);
    EXPECT_FALSE(log.Has("Download Failed......"));
    EXPECT_EQ(ReadFile(updates / c.file), c.bytes);
    ExpectNoPartialFile(updates);
  }
  // A page without any header is a document too.
  DownloadLog log;
  TUpdateDownload download(paths, log.View());
  download.StartDownload(http.Url("/noheader"), "9.0.0.1");
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return !log.finished.empty(); }, 20000));
  EXPECT_TRUE(download.Complete());
  EXPECT_NE(ReadFile(updates / "noheader").find("no header at all"), std::string::npos);
  // Nothing landed outside the folder.
  EXPECT_FALSE(fs::exists(place.home.Home() / "evil.exe"));
  EXPECT_FALSE(fs::exists(place.home.Home().parent_path() / "evil.exe"));
}

// A second download asked for while one runs is refused, as the HTTP client
// is busy; the first goes on into its file whole. Cancel leaves nothing of
// the download it cut off.
TEST(UpdateDownload, RefusesASecondDownloadAndCancelsWithoutAPartialFile) {
  DownloadPlace place;
  ASSERT_NE(place.http.Port(), 0);
  ScriptServer& http = place.http;
  TPaths& paths = place.paths;
  const fs::path updates = place.home.Home() / "Updates";
  DownloadLog log;
  TUpdateDownload download(paths, log.View());
  download.StartDownload(http.Url("/pause/4000/700"), "9.0.0.1");
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return log.lines.size() >= 4; }, 20000));  // under way
  download.StartDownload(http.Url("/ok/10"), "9.0.0.2");
  EXPECT_EQ(log.lines, (std::vector<std::string>{"Update Version: 9.0.0.2", "Connecting to server for update...",
                                                 "Download Failed......", "Status: 200", "Reason: OK"}));
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return !log.finished.empty(); }, 20000));
  EXPECT_EQ(log.finished, std::vector<bool>{true});
  EXPECT_TRUE(log.Has("Download Complete!"));
  const std::string whole = ReadFile(updates / "700");
  EXPECT_EQ(whole.size(), 8000u);
  EXPECT_TRUE(whole == Pattern(8000));

  testing_support::WriteFile(updates / "900", "an earlier download");
  log.finished.clear();
  download.StartDownload(http.Url("/pause/3000/900"), "9.0.0.3");
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return log.Has("Connected,  beginning download... 900"); }, 20000));
  download.Cancel();
  testing_support::Settle(100);
  EXPECT_FALSE(download.Complete());
  EXPECT_FALSE(log.Has("Download Complete!"));
  EXPECT_EQ(ReadFile(updates / "900"), "an earlier download");
  ExpectNoPartialFile(updates);
}

}  // namespace
