// Writes that fail on a real file system, under a file-size limit or in a folder
// that may not be written: each run is told, and the file it would have replaced
// stays as it was. Entries taken across a new read of the directory are the new
// ones; new files follow the umask.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <cstdlib>
#include <functional>

#include "ZipTest_helpers.h"
#include "zip/ObjectList.h"
#include "zip/ZipFileUtils.h"
#include "zip/ZipWriter.h"

namespace {

using namespace ziptest;

// Root passes by a folder's permissions: the child gives that power up first.
void DropPermissionOverride() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2] = {};
  if (syscall(SYS_capget, &header, data) != 0) return;
  data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
  syscall(SYS_capset, &header, data);
}

// What `action` answered, or the class and text of what it raised, run in a
// child that may write no file past `limit` bytes (none when 0).
std::string InChild(rlim_t limit, const std::function<std::string()>& action) {
  int fds[2];
  if (pipe(fds) != 0) return "no pipe";
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    signal(SIGXFSZ, SIG_IGN);
    DropPermissionOverride();
    if (limit > 0) {
      const rlimit r{limit, limit};
      setrlimit(RLIMIT_FSIZE, &r);
    }
    std::string said;
    try {
      said = action();
    } catch (const zip::ECantWriteUCF& e) {
      said = std::string("ECantWriteUCF: ") + e.what();
    } catch (const zip::ENotEnoughRoom& e) {
      said = std::string("ENotEnoughRoom: ") + e.what();
    } catch (const std::exception& e) {
      said = std::string("other: ") + e.what();
    }
    const ssize_t ignored = write(fds[1], said.data(), said.size());
    (void)ignored;
    _exit(0);
  }
  close(fds[1]);
  std::string said;
  char buf[512];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) said.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return said;
}

void Pack(const std::string& zipName, const std::vector<std::string>& files, const std::string& password = "") {
  zip::TZipWriter writer;
  writer.PackLevel = 0;
  writer.Password = password;
  writer.SetZipName(zipName);
  writer.FilesList = files;
  ASSERT_EQ(writer.Zip(), static_cast<int>(files.size()));
}

int Mode(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
}

TEST(WriteFailures, EveryFailedWriteIsToldAndTheOldFileStaysWhole) {
  TempDir tmp;
  WriteFile(tmp / "src/small.bin", BinaryPayload(2000, 1));
  WriteFile(tmp / "src/big.bin", BinaryPayload(40000, 2));
  Pack(tmp / "small.zip", {tmp / "src/small.bin"});
  Pack(tmp / "big.zip", {tmp / "src/big.bin"});
  WriteFile(tmp / "out/small.bin", "the old small file");
  WriteFile(tmp / "out/big.bin", "the old big file");
  WriteFile(tmp / "ro/big.bin", "the old big file");
  WriteFile(tmp / "ro/keep.zip", ReadFile(tmp / "small.zip"));
  WriteFile(tmp / "small.zfc", "an old configuration");
  std::vector<std::string> pieces;
  for (const char* name : {"p1.bin", "p2.bin", "p3.bin"}) {
    WriteFile(tmp / (std::string("src/") + name), BinaryPayload(15000, 3));
    pieces.push_back(tmp / (std::string("src/") + name));
  }
  auto numbered = [&] {
    zip::TZipWriter writer;
    writer.PackLevel = 0;
    writer.MultiZipInfo().MultiMode = zip::mmBlocks;
    writer.MultiZipInfo().FirstBlockSize = writer.MultiZipInfo().BlockSize = 30000;
    writer.SetZipName(tmp / "set/set.zip");
    writer.FilesList = pieces;
    return "zipped " + std::to_string(writer.Zip());
  };
  WriteFile(tmp / "list.dat", "an old list");
  struct Bulky : zip::TPersistent {
    std::string ClassName() const override { return "TBulkyItem"; }
  };
  zip::DoRegisterClass([](zip::TPersistent*, zip::TStream&) {},
                       [](zip::TPersistent*, zip::TStream& s) { s.WriteBuffer(BinaryPayload(4000, 4).data(), 4000); },
                       "TBulkyItem", [] { return new Bulky; });
  mkdir((tmp / "set").c_str(), 0755);
  ASSERT_EQ(numbered(), "zipped 3");
  ASSERT_TRUE(Exists(tmp / "set/set.001") && Exists(tmp / "set/set.002"));
  chmod((tmp / "ro").c_str(), 0555);

  auto unzip = [&](const std::string& archive, const std::string& dest) {
    return [=]() {
      zip::TZipReader reader;
      reader.SetZipName(archive);
      reader.SetDestDir(dest);
      reader.OverwriteMode = zip::Always;
      reader.DoAll = true;
      std::string skipped;
      reader.OnSkippingFile = [&](zip::TZipReader*, zip::TSkipReason reason, const std::string&, int, bool&) {
        skipped += reason == zip::srCreateError ? " create" : " other";
      };
      return "unzipped " + std::to_string(reader.UnZip()) + skipped;
    };
  };
  struct Case {
    const char* name;
    rlim_t limit;
    std::function<std::string()> action;
    std::string told;  // the start of what the run says
    std::string kept;  // the file that must stay as it was
  };
  const Case cases[] = {
      // The whole entry waits in the buffer: only the flush on closing fails.
      {"entry written by the last flush", 1024, unzip(tmp / "small.zip", tmp / "out"),
       "ECantWriteUCF: Cant write uncompressed file", tmp / "out/small.bin"},
      // The flush that fails is the last of one write call.
      {"entry cut inside a write", 24576, unzip(tmp / "big.zip", tmp / "out"),
       "ECantWriteUCF: Cant write uncompressed file", tmp / "out/big.bin"},
      {"entry into a read-only folder", 0, unzip(tmp / "big.zip", tmp / "ro"), "unzipped 0 create",
       tmp / "ro/big.bin"},
      {"archive updated in a read-only folder", 0,
       [&] {
         zip::TZipWriter writer;
         writer.SetZipName(tmp / "ro/keep.zip");
         writer.FilesList = {tmp / "src/big.bin"};
         return "zipped " + std::to_string(writer.Zip());
       },
       "ECantWriteUCF: Could not create a temporary archive", tmp / "ro/keep.zip"},
      {"configuration file under the limit", 64,
       [&] {
         zip::TZipWriter writer;
         writer.SetZipName(tmp / "small.zip");
         writer.SaveZipInfoToFile(tmp / "small.zfc");
         return std::string("saved");
       },
       "ENotEnoughRoom: Not enough room to write archive", tmp / "small.zfc"},
      {"object list under the limit", 1024,
       [&] {
         zip::TObjectList list;
         list.AddObject(new Bulky);
         list.SaveToStream(tmp / "list.dat");
         return std::string("saved");
       },
       "other: Stream write error", tmp / "list.dat"},
      // The source's read-only folder keeps it from being moved: it is copied.
      {"file copied under the limit", 1024,
       [&] { return std::string(zip::FileCopy(tmp / "ro/keep.zip", tmp / "out/small.bin") ? "copied" : "not copied"); },
       "not copied", tmp / "out/small.bin"},
      // Each piece fits where it is staged; the first part of the new set does not.
      {"numbered parts under the limit", 20000, numbered, "ENotEnoughRoom: Not enough room to write archive",
       tmp / "set/set.001"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string before = ReadFile(c.kept);
    const std::vector<std::string> around = ListTree(tmp.Path());
    const std::string told = InChild(c.limit, c.action);
    EXPECT_EQ(told.substr(0, c.told.size()), c.told) << told;
    EXPECT_EQ(ReadFile(c.kept), before);
    EXPECT_EQ(ListTree(tmp.Path()), around) << "a file was left behind";
  }
  chmod((tmp / "ro").c_str(), 0755);
}

// The archive changes on disk between reading its directory and asking for an
// entry's comment or encryption header: opening reads the directory again, and
// the answer is the new archive's.
TEST(WriteFailures, EntriesAreTakenFromTheDirectoryReadLast) {
  TempDir tmp;
  const std::string script = R"(import sys, zipfile
for name, comment in ((sys.argv[1], b"first comment"), (sys.argv[2], b"second, longer comment")):
    with zipfile.ZipFile(name, "w") as z:
        info = zipfile.ZipInfo("a.txt")
        info.comment = comment
        z.writestr(info, "text"))";
  ASSERT_EQ(Shell("python3 -c " + Quote(script) + " " + Quote(tmp / "c1.zip") + " " + Quote(tmp / "c2.zip")), 0);
  WriteFile(tmp / "secret.txt", TextPayload(300, 5));
  Pack(tmp / "e1.zip", {tmp / "secret.txt"}, "one");
  Pack(tmp / "e2.zip", {tmp / "secret.txt"}, "two");
  auto replace = [&](const std::string& from, const std::string& to, time_t when) {
    WriteFile(to, ReadFile(from));
    const utimbuf times{when, when};
    utime(to.c_str(), &times);
  };

  zip::TZipReader reader;
  replace(tmp / "c1.zip", tmp / "x.zip", 1500000000);
  reader.SetZipName(tmp / "x.zip");
  reader.ReadZip();
  replace(tmp / "c2.zip", tmp / "x.zip", 1600000000);
  EXPECT_EQ(reader.FileComment(0), "second, longer comment");

  replace(tmp / "e1.zip", tmp / "y.zip", 1500000000);
  reader.SetZipName(tmp / "y.zip");
  reader.ReadZip();
  replace(tmp / "e2.zip", tmp / "y.zip", 1600000000);
  uint8_t header[zip::kCryptHeaderSize];
  reader.GetDecryptHeaderPtr(0, header);
  const std::string e2 = ReadFile(tmp / "e2.zip");
  const size_t at = 30 + (static_cast<uint8_t>(e2[26]) | static_cast<uint8_t>(e2[27]) << 8) +
                    (static_cast<uint8_t>(e2[28]) | static_cast<uint8_t>(e2[29]) << 8);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(header), sizeof header), e2.substr(at, zip::kCryptHeaderSize));
}

// Under umask 077 whatever the component makes is private, also when the
// program changed its umask after its first archive; a file it replaces
// keeps its own mode.
TEST(WriteFailures, NewFilesTakeTheUmaskReplacedOnesKeepTheirMode) {
  TempDir first;
  WriteFile(first / "a.txt", "a");
  Pack(first / "first.zip", {first / "a.txt"});
  const mode_t before = umask(077);
  struct TRestore {
    mode_t mask;
    ~TRestore() { umask(mask); }
  } restore{before};
  TempDir tmp;
  WriteFile(tmp / "src/a.txt", "a");
  Pack(tmp / "new.zip", {tmp / "src/a.txt"});
  EXPECT_EQ(Mode(tmp / "new.zip"), 0600);
  Pack(tmp / "old.zip", {tmp / "src/a.txt"});
  chmod((tmp / "old.zip").c_str(), 0640);
  WriteFile(tmp / "src/b.txt", "b");
  Pack(tmp / "old.zip", {tmp / "src/b.txt"});
  EXPECT_EQ(Mode(tmp / "old.zip"), 0640);

  WriteFile(tmp / "out/a.txt", "old");
  chmod((tmp / "out/a.txt").c_str(), 0664);
  zip::TZipReader reader;
  reader.SetZipName(tmp / "old.zip");
  reader.SetDestDir(tmp / "out");
  reader.OverwriteMode = zip::Always;
  reader.DoAll = true;
  EXPECT_EQ(reader.UnZip(), 2);
  EXPECT_EQ(Mode(tmp / "out/a.txt"), 0664);
  EXPECT_EQ(Mode(tmp / "out/b.txt"), 0600);
}

}  // namespace
