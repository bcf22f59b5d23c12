// Every store the program keeps on disk, written on a full disk and into a
// folder it may not write to: the failure is told and the old file stays
// as it was, byte for byte. And written where something that is no plain
// file stands: that is set aside, and nothing is written anywhere else.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/Autostart.h"
#include "common/FailingDisk.h"
#include "platform/Dataset.h"
#include "platform/ErrorSink.h"
#include "platform/IniStore.h"
#include "platform/Registry.h"
#include "platform/Stream.h"
#include "platform/StringList.h"
#include "platform/TempHome.h"

namespace {

namespace fs = std::filesystem;
using testing_support::DiskFault;
using testing_support::ReadFile;
using testing_support::TempHome;
using testing_support::WriteUnderFault;

// Runs a save and answers the failure it raised, "" when it raised none.
std::string Failure(const std::function<void()>& save) {
  try {
    save();
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

struct StoreKind {
  const char* name;
  // The store's file below the home; written once with `text` by `save`.
  std::function<fs::path(const TempHome&)> file;
  std::function<void(const TempHome&, const std::string& text)> save;
};

std::vector<StoreKind> StoreKinds() {
  return {
      {"dataset",
       [](const TempHome& h) { return h.Home() / "Data" / "friends.cds"; },
       [](const TempHome& h, const std::string& text) {
         platform::Dataset d({{"UserID", 20, ""}, {"UserName", 128, ""}});
         for (int i = 0; i < 20; ++i) d.AppendRecord({std::to_string(i), text});
         d.SaveToFile(h.Home() / "Data" / "friends.cds");
       }},
      {"ini store",
       [](const TempHome& h) { return h.Home() / "Data" / "messages.msg"; },
       [](const TempHome& h, const std::string& text) {
         platform::IniStore store(h.Home() / "Data" / "messages.msg");
         for (int i = 0; i < 20; ++i) store.WriteString("Saved", std::to_string(i), text);
         store.Save();
       }},
      {"string list",
       [](const TempHome& h) { return h.Home() / "Data" / "blocked.parlo"; },
       [](const TempHome& h, const std::string& text) {
         TStringList list;
         for (int i = 0; i < 20; ++i) list.Add(text);
         list.SaveToFile(h.Home() / "Data" / "blocked.parlo");
       }},
      {"settings registry",
       [](const TempHome&) { return platform::RegistryFile(platform::RegRoot::CurrentUser); },
       [](const TempHome&, const std::string& text) {
         platform::TRegistry reg;
         reg.OpenKey("\\Software\\Parlo", true);
         reg.WriteString("Value", std::string(20, 'v') + text);
         reg.CloseKey();
       }},
      {"autostart entry",
       [](const TempHome&) { return platform::AutostartFile("parlo-test"); },
       [](const TempHome& h, const std::string& text) {
         platform::SetAutostart("parlo-test", "Parlo", "/opt/" + text, true, h.Home());
       }},
      {"streamed copy",
       [](const TempHome& h) { return h.Home() / "Data" / "capture.avi"; },
       [](const TempHome& h, const std::string& text) {
         platform::ReplaceFileWith(h.Home() / "Data" / "capture.avi", [&](TStream& to) {
           for (int i = 0; i < 20; ++i) to.WriteString(text);
         });
       }},
      {"appended log",
       [](const TempHome& h) { return h.Home() / "Data" / "log.txt"; },
       [](const TempHome& h, const std::string& text) {
         const std::string entry = text + "\r\n";
         platform::AppendToFile(h.Home() / "Data" / "log.txt", entry.data(), entry.size());
       }},
  };
}

TEST(StoreWrites, AFailedWriteIsToldAndLeavesTheOldFileWhole) {
  for (const StoreKind& kind : StoreKinds()) {
    for (DiskFault fault : {DiskFault::SizeLimit, DiskFault::ReadOnlyFolder}) {
      // A file that is there may still grow in a folder that is read-only.
      if (std::string(kind.name) == "appended log" && fault == DiskFault::ReadOnlyFolder) continue;
      SCOPED_TRACE(std::string(kind.name) + (fault == DiskFault::SizeLimit ? ", full disk" : ", read-only folder"));
      TempHome home;
      const fs::path file = kind.file(home);
      fs::create_directories(file.parent_path());
      kind.save(home, "old");
      const std::string old = ReadFile(file);
      ASSERT_FALSE(old.empty());
      const std::string told = WriteUnderFault(fault, file.parent_path(), [&] {
        return Failure([&] { kind.save(home, std::string(300, 'n')); });
      }, old.size() + 40);
      EXPECT_NE(told.find(file.filename().string()), std::string::npos) << told;
      EXPECT_NE(told.find(std::strerror(fault == DiskFault::SizeLimit ? EFBIG : EACCES)), std::string::npos) << told;
      EXPECT_EQ(ReadFile(file), old);
      // Nothing half-written is left beside it either.
      std::vector<std::string> names;
      for (const auto& entry : fs::directory_iterator(file.parent_path())) names.push_back(entry.path().filename());
      EXPECT_EQ(names, std::vector<std::string>{file.filename().string()});
    }
  }
}

// A new store takes the mode any new file of the user takes; a replaced one
// keeps its own. The settings store is private whatever the umask.
TEST(StoreWrites, NewFilesFollowTheUmaskAndReplacedFilesKeepTheirMode) {
  auto modeOf = [](const fs::path& file) {
    struct stat info {};
    ::stat(file.c_str(), &info);
    return info.st_mode & 07777;
  };
  for (mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
    SCOPED_TRACE(mask);
    const mode_t before = ::umask(mask);
    for (const StoreKind& kind : StoreKinds()) {
      SCOPED_TRACE(kind.name);
      TempHome home;
      const fs::path file = kind.file(home);
      fs::create_directories(file.parent_path());
      kind.save(home, "first");
      const bool privateStore = std::string(kind.name) == "settings registry";
      EXPECT_EQ(modeOf(file), privateStore ? 0600u : 0666u & ~mask);
      fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
      kind.save(home, "second");
      EXPECT_EQ(modeOf(file), privateStore ? 0600u : 0640u);
    }
    ::umask(before);
  }
}

// A store's name taken by what is no plain file: a named pipe (an open of it
// would wait for good) or a link to a file outside the home (a write would
// go there). Each store's save sets it aside, a link as a link, logs
// that, and writes a plain file in its place; what the link points to is
// never touched.
TEST(StoreWrites, WhatIsNoPlainFileIsSetAsideAndNothingIsWrittenThrough) {
  std::vector<std::string> reports;
  platform::SetErrorHandler(
      [&](const std::string&, const std::string&, const std::string& message) { reports.push_back(message); });
  // An open that waits on a pipe would hold the test for good.
  ::alarm(120);
  for (const StoreKind& kind : StoreKinds()) {
    for (const fs::file_type obstacle : {fs::file_type::fifo, fs::file_type::symlink}) {
      SCOPED_TRACE(std::string(kind.name) + ", obstacle " + std::to_string(static_cast<int>(obstacle)));
      TempHome home;
      const fs::path file = kind.file(home);
      fs::create_directories(file.parent_path());
      const fs::path outside = home.Home().parent_path() / "outside.txt";
      testing_support::WriteFile(outside, "not ours");
      if (obstacle == fs::file_type::fifo) {
        ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
      }
      if (obstacle == fs::file_type::symlink) fs::create_symlink(outside, file);
      reports.clear();
      kind.save(home, "new");
      EXPECT_EQ(ReadFile(outside), "not ours");
      EXPECT_EQ(fs::symlink_status(file).type(), fs::file_type::regular);
      EXPECT_NE(ReadFile(file).find("new"), std::string::npos);
      std::vector<fs::path> aside;
      for (const auto& entry : fs::directory_iterator(file.parent_path()))
        if (entry.path().filename().string().starts_with(file.filename().string() + ".unreadable-"))
          aside.push_back(entry.path());
      ASSERT_EQ(aside.size(), 1u);
      EXPECT_EQ(fs::symlink_status(aside[0]).type(), obstacle);
      ASSERT_EQ(reports.size(), 1u);
      EXPECT_NE(reports[0].find(file.filename().string() + " is not a plain file but a"), std::string::npos)
          << reports[0];
      EXPECT_NE(reports[0].find("kept as " + aside[0].string()), std::string::npos) << reports[0];
    }
  }
  ::alarm(0);
  platform::SetErrorHandler(nullptr);
}

}  // namespace
