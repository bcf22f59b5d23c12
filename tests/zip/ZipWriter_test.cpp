#include "zip/ZipWriter.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <sstream>

#include "ZipTest_helpers.h"
#include "platform/DosFiles.h"

namespace {

using ziptest::Quote;
using ziptest::ReadFile;
using ziptest::WriteFile;
using TScratchDir = ziptest::TempDir;
namespace fs = std::filesystem;

struct TRunResult {
  int status = -1;
  std::string output;  // standard output and error together
};

TRunResult Shell(const std::string& command) {
  TRunResult r;
  r.status = ziptest::Shell(command + " 2>&1", &r.output);
  return r;
}

// Runs a Python 3 script given as text; its output is the result.
TRunResult Python(const std::string& script, const std::string& args) {
  TScratchDir dir;
  WriteFile(dir / "check.py", script);
  return Shell("python3 " + Quote(dir / "check.py") + " " + args);
}

// Python's zipfile reads every entry (with the password when given) and
// prints name, method, flags, internal attributes and whether the content
// equals the file of the same name in the source folder.
const char* const kPyCheck = R"PY(
import sys, zipfile, os
path, src, pwd = sys.argv[1], sys.argv[2], sys.argv[3]
with zipfile.ZipFile(path) as z:
    if pwd:
        z.setpassword(pwd.encode())
    for i in z.infolist():
        data = z.read(i.filename)
        ref = os.path.join(src, i.filename)
        same = os.path.isfile(ref) and open(ref, 'rb').read() == data
        print(i.filename, i.compress_type, i.flag_bits, i.internal_attr, 'same' if same else 'DIFF')
)PY";

std::map<std::string, std::string> SampleFiles() {
  return {
      {"empty.txt", ""},
      {"one.bin", "x"},
      {"notes.txt", ziptest::TextPayload(120000, 1)},
      {"photo.jpg", ziptest::BinaryPayload(120000, 2)},
      {"with space.txt", ziptest::TextPayload(5000, 3)},
  };
}

std::vector<std::string> WriteSamples(const TScratchDir& dir, const std::string& sub) {
  fs::create_directories(dir / sub);
  std::vector<std::string> names;
  for (const auto& [name, content] : SampleFiles()) {
    WriteFile(dir / (sub + "/" + name), content);
    names.push_back(dir / (sub + "/" + name));
  }
  return names;
}

TEST(ZipWriter, PackagesPassOutsideReadersAtEveryLevel) {
  struct TCase {
    int level;
    std::string password;
    std::string expectedFlags;  // of notes.txt, which is deflated unless level 0
  };
  const TCase cases[] = {
      {0, "", "0"}, {1, "", "4"}, {6, "", "0"}, {9, "", "2"}, {9, "secret", "3"},
      {0, "pw", "1"},
  };
  TScratchDir dir;
  auto files = WriteSamples(dir, "src");
  for (const auto& c : cases) {
    SCOPED_TRACE("level " + std::to_string(c.level) + " password '" + c.password + "'");
    std::string zipName = dir / ("out" + std::to_string(c.level) + c.password + ".zip");
    zip::TZipWriter writer;
    writer.PackLevel = c.level;
    writer.Password = c.password;
    writer.FilesList = files;
    writer.SetZipName(zipName);
    EXPECT_EQ(writer.Zip(), 5);
    EXPECT_TRUE(writer.FilesList.empty());

    auto t = Shell("unzip -t " + (c.password.empty() ? "" : "-P " + c.password + " ") + Quote(zipName));
    EXPECT_EQ(t.status, 0) << t.output;
    EXPECT_NE(t.output.find("No errors detected"), std::string::npos) << t.output;

    auto py = Python(kPyCheck, Quote(zipName) + " " + Quote(dir / "src") + " " + Quote(c.password));
    EXPECT_EQ(py.status, 0) << py.output;
    EXPECT_EQ(py.output.find("DIFF"), std::string::npos) << py.output;
    std::string method = c.level == 0 ? " 0 " : " 8 ";
    EXPECT_NE(py.output.find("notes.txt" + method + c.expectedFlags + " "), std::string::npos) << py.output;
    if (c.level != 0) {
      // Text and binary as the first block's literals say.
      EXPECT_NE(py.output.find("notes.txt 8 " + c.expectedFlags + " 1 same"), std::string::npos) << py.output;
      EXPECT_NE(py.output.find("photo.jpg 8 " + c.expectedFlags + " 0 same"), std::string::npos) << py.output;
    }
  }
}

TEST(ZipWriter, ApplicationPackageUnpacksThroughOurReader) {
  TScratchDir dir;
  auto files = WriteSamples(dir, "src");
  std::string zipName = dir / "package.zip";
  zip::TZipWriter writer;
  writer.PackLevel = 9;
  writer.OverwriteMode = zip::Always;
  writer.ReplaceReadOnly = true;
  std::vector<std::string> started, ended;
  std::vector<int> percents;
  int completeCount = -1;
  writer.OnStartZip = [&](zip::TZipWriter*, const std::string& name, zip::TZipHeaderInfo&, bool&) {
    started.push_back(name);
  };
  writer.OnEndZip = [&](zip::TZipWriter*, const std::string& name, int64_t, int64_t, int64_t) {
    ended.push_back(name);
  };
  int entriesAtTheEnd = -1;
  writer.OnTotalPercentDone = [&](zip::TZipReader* sender, int p) {
    percents.push_back(p);
    if (p == 100) entriesAtTheEnd = sender->Count();
  };
  writer.OnZipComplete = [&](zip::TZipWriter*, int n) { completeCount = n; };
  writer.FilesList = files;
  writer.SetZipName(zipName);
  ASSERT_EQ(writer.Zip(), 5);
  EXPECT_EQ(completeCount, 5);
  EXPECT_EQ(started.size(), 5u);
  EXPECT_EQ(ended.size(), 5u);
  ASSERT_FALSE(percents.empty());
  EXPECT_EQ(percents.back(), 100);
  EXPECT_EQ(std::count(percents.begin(), percents.end(), 100), 1);
  EXPECT_EQ(entriesAtTheEnd, 5) << "the new entries were not in place when the run said it was done";
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  auto t = Shell("unzip -t " + Quote(zipName));
  EXPECT_EQ(t.status, 0) << t.output;

  zip::TZipReader reader;
  reader.ReplaceReadOnly = true;
  reader.SetZipName(zipName);
  reader.SetDestDir(dir / "dest");
  fs::create_directories(dir / "dest");
  reader.DoAll = true;
  EXPECT_EQ(reader.UnZip(), 5);
  for (const auto& [name, content] : SampleFiles()) {
    EXPECT_EQ(ReadFile(dir / ("dest/" + name)), content) << name;
  }
}

TEST(ZipWriter, ZipinfoShowsTheHeaderFields) {
  TScratchDir dir;
  WriteFile(dir / "a.txt", ziptest::TextPayload(20000, 4));
  ASSERT_EQ(Shell("touch -t 202103040506.08 " + Quote(dir / "a.txt")).status, 0);
  std::string zipName = dir / "info.zip";
  zip::TZipWriter writer;
  writer.PackLevel = 9;
  writer.FilesList = {dir / "a.txt"};
  writer.SetZipName(zipName);
  ASSERT_EQ(writer.Zip(), 1);
  writer.SetZipComment("archive note");
  writer.SetFileComment(0, "entry note");
  writer.SaveModifiedZipFile();

  auto info = Shell("zipinfo -v " + Quote(zipName));
  ASSERT_EQ(info.status, 0) << info.output;
  std::string text;  // runs of blanks collapsed, so that column widths do not matter
  for (char c : info.output) {
    if (c != ' ' || text.empty() || text.back() != ' ') text += c;
  }
  for (const char* expected :
       {"file system or operating system of origin: MS-DOS, OS/2 or NT FAT", "version of encoding software: 2.0",
        "minimum software version required to extract: 2.0", "compression method: deflated",
        "compression sub-type (deflation): maximum", "file security status: not encrypted",
        "extended local header: no", "length of extra field: 0 bytes", "apparent file type: text",
        "MS-DOS file attributes (20 hex): arc", "file last modified on (DOS date/time): 2021 Mar 4 05:06:08",
        "entry note", "archive note"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << info.output;
  }
  auto t = Shell("unzip -t " + Quote(zipName));
  EXPECT_EQ(t.status, 0) << t.output;
}

}  // namespace

namespace {

// Lists, for every entry: name, flag bits, CRC, local extra, central extra
// and comment, all from Python's own parsing of the archive.
const char* const kPyFields = R"PY(
import sys, zipfile, struct
path = sys.argv[1]
with zipfile.ZipFile(path) as z:
    print('comment', z.comment.decode('latin-1'))
    raw = open(path, 'rb').read()
    for i in z.infolist():
        o = i.header_offset
        nlen, xlen = struct.unpack('<HH', raw[o + 26:o + 30])
        local_extra = raw[o + 30 + nlen:o + 30 + nlen + xlen]
        print(i.orig_filename.encode('cp437' if not i.flag_bits & 0x800 else 'utf-8', 'surrogateescape').decode('utf-8', 'replace'), i.flag_bits, '%08x' % i.CRC, local_extra.hex(), i.extra.hex(),
              i.comment.decode('latin-1'), 'ok' if z.read(i.filename) is not None else '')
    print('test', z.testzip())
)PY";

std::map<std::string, std::string> FieldsByName(const std::string& output) {
  std::map<std::string, std::string> lines;
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line)) {
    auto space = line.find(' ');
    if (space != std::string::npos) lines[line.substr(0, space)] = line.substr(space + 1);
  }
  return lines;
}

TEST(ZipWriter, UpdatingAnInfoZipArchiveKeepsExtraFieldsCommentsAndDescriptors) {
  struct TCase {
    const char* what;
    const char* make;  // shell commands run in the scratch folder, leaving old.zip
    std::vector<std::string> kept;
    int flagsOfKept;
  };
  // Extra fields (time stamps, owner) come with every entry Info-ZIP writes;
  // comments are added by -z and -c; output into a pipe gives entries whose
  // sizes follow in data descriptors.
  const TCase cases[] = {
      {"extra fields and comments",
       "printf 'archive note\\n' | zip -q -z old.zip a.txt b.bin && printf 'note for a\\n' | zip -q -c old.zip a.txt",
       {"a.txt", "b.bin", "comment"}, 0},
      {"data descriptors", "printf 'streamed bytes' | zip -q -fz- - a.txt - | cat > old.zip", {"a.txt", "-"}, 8},
      // Names from a Unix host are not in a DOS code page: their bytes stay.
      {"names from another system", "cp a.txt caf\xc3\xa9.txt && cp b.bin \xe2\x94\x80.bin && "
       "LC_ALL=C zip -q old.zip caf*.txt *.bin && rm caf*.txt",
       {"caf\xc3\xa9.txt", "\xe2\x94\x80.bin"}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TScratchDir dir;
    WriteFile(dir / "a.txt", ziptest::TextPayload(40000, 5));
    WriteFile(dir / "b.bin", ziptest::BinaryPayload(3000, 6));
    std::string zipName = dir / "old.zip";
    auto made = Shell("cd " + Quote(dir.Path()) + " && " + c.make);
    ASSERT_EQ(made.status, 0) << made.output;
    auto before = FieldsByName(Python(kPyFields, Quote(zipName)).output);
    ASSERT_EQ(std::stoi(before[c.kept[0]]) & 8, c.flagsOfKept) << before[c.kept[0]];

    WriteFile(dir / "new.txt", "added later");
    zip::TZipWriter writer;
    writer.SetZipName(zipName);
    writer.FilesList = {dir / "new.txt"};
    ASSERT_EQ(writer.Zip(), 1);

    auto t = Shell("unzip -t " + Quote(zipName));
    EXPECT_EQ(t.status, 0) << t.output;
    EXPECT_EQ(t.output.find("warning"), std::string::npos) << t.output;
    auto py = Python(kPyFields, Quote(zipName));
    ASSERT_EQ(py.status, 0) << py.output;
    auto after = FieldsByName(py.output);
    EXPECT_EQ(after["test"], "None");
    for (const auto& kept : c.kept) EXPECT_EQ(after[kept], before[kept]) << kept;
    EXPECT_EQ(after.count("new.txt"), 1u);
  }
}

TEST(ZipWriter, FailedUpdateLeavesTheArchiveByteIdentical) {
  TScratchDir dir;
  WriteFile(dir / "small.txt", "small");
  std::string zipName = dir / "keep.zip";
  {
    zip::TZipWriter writer;
    writer.SetZipName(zipName);
    writer.FilesList = {dir / "small.txt"};
    ASSERT_EQ(writer.Zip(), 1);
  }
  const std::string original = ReadFile(zipName);
  WriteFile(dir / "big.bin", ziptest::BinaryPayload(3 << 20, 7));

  // The child may not write past 1 MiB in any file: the update fails part way
  // through the new entry, as on a full disk.
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1 << 20, 1 << 20};
    setrlimit(RLIMIT_FSIZE, &limit);
    int code = 1;
    try {
      zip::TZipWriter writer;
      writer.PackLevel = 0;
      writer.SetZipName(zipName);
      writer.FilesList = {dir / "big.bin"};
      writer.Zip();
    } catch (const zip::ENotEnoughRoom&) {
      code = 0;
    } catch (...) {
      code = 2;
    }
    _exit(code);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the failure was not reported as ENotEnoughRoom";
  EXPECT_EQ(ReadFile(zipName), original);
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir.Path())) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"big.bin", "keep.zip", "small.txt"}));
}

TEST(ZipWriter, SizesBeyondTheFormatAreRefused) {
  TScratchDir dir;
  std::string zipName = dir / "limits.zip";
  {
    // 65536 folder entries: one more than the end record can count.
    zip::TZipWriter writer;
    writer.SetZipName(zipName);
    for (int i = 0; i < 65536; ++i) writer.FilesList.push_back("d" + std::to_string(i) + "\\");
    EXPECT_THROW(writer.Zip(), zip::EZipLimitExceeded);
    EXPECT_FALSE(fs::exists(zipName));
  }
  {
    // A sparse file of 4 GiB costs no disk space and no reading: the size
    // alone rules it out.
    std::string huge = dir / "huge.bin";
    { std::ofstream(huge).put('x'); }
    std::error_code ec;
    fs::resize_file(huge, uint64_t(4) << 30, ec);
    ASSERT_FALSE(ec);
    zip::TZipWriter writer;
    writer.SetZipName(zipName);
    writer.FilesList = {huge};
    EXPECT_THROW(writer.Zip(), zip::EZipLimitExceeded);
    EXPECT_FALSE(fs::exists(zipName));
  }
  {
    zip::TZipWriter writer;
    writer.SetZipName(zipName);
    for (int i = 0; i < 65535; ++i) writer.FilesList.push_back("d" + std::to_string(i) + "\\");
    EXPECT_EQ(writer.Zip(), 65535);
    auto t = Shell("unzip -tq " + Quote(zipName));
    EXPECT_EQ(t.status, 0) << t.output.substr(0, 500);
  }
}

}  // namespace

namespace {

std::vector<std::string> EntryNames(zip::TZipReader& reader) {
  std::vector<std::string> names;
  for (int i = 0; i < reader.Count(); ++i) names.push_back(reader.Fullname(i));
  return names;
}

TEST(ZipWriter, StoredNamesFollowThePathSettings) {
  TScratchDir dir;
  fs::create_directories(dir / "a/b");
  WriteFile(dir / "a/b/c.txt", "c");
  WriteFile(dir / "a/top.txt", "t");
  const std::string root = platform::UnixToDosPath(dir.Path());
  const std::string rootNoSlash = root.substr(1);  // without the leading backslash
  struct TCase {
    const char* what;
    bool storePaths, relativePaths;
    std::vector<std::string> list;
    std::vector<std::string> expected;
    bool capitalRoot = false;
  };
  const TCase cases[] = {
      {"bare names", false, false, {dir / "a/b/c.txt", dir / "a/top.txt"}, {"c.txt", "top.txt"}},
      {"full folders", true, false, {dir / "a/b/c.txt"}, {rootNoSlash + "\\a\\b\\c.txt"}},
      {"relative to the root", true, true, {dir / "a/b/c.txt", dir / "a/top.txt"}, {"b\\c.txt", "top.txt"}},
      // The root is compared without case, as the reader compares it.
      {"relative to the root in capitals", true, true, {dir / "a/b/c.txt"}, {"b\\c.txt"}, true},
      {"wildcard without subfolders", true, true, {"|" + dir / "a/*.txt"}, {"top.txt"}},
      {"wildcard with subfolders", true, true, {">" + dir / "a/*.txt"}, {"b\\c.txt", "top.txt"}},
      {"same file twice", false, false, {dir / "a/top.txt", dir / "a/top.txt"}, {"top.txt"}},
      {"missing file", false, false, {dir / "a/none.txt", dir / "a/top.txt"}, {"top.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string zipName = dir / "names.zip";
    fs::remove(zipName);
    zip::TZipWriter writer;
    writer.SetStorePaths(c.storePaths);
    writer.SetRelativePaths(c.relativePaths);
    std::string rootDir = dir / "a/";
    if (c.capitalRoot) std::transform(rootDir.begin(), rootDir.end(), rootDir.begin(), ::toupper);
    writer.SetRootDir(rootDir);
    writer.SetZipName(zipName);
    writer.FilesList = c.list;
    int skipped = 0, missing = 0;
    writer.OnSkippingFile = [&](zip::TZipReader*, zip::TSkipReason reason, const std::string&, int, bool&) {
      skipped += reason == zip::srNoOverwrite;
    };
    writer.OnNoSuchFile = [&](zip::TZipWriter*, const std::string&) { ++missing; };
    writer.Zip();
    zip::TZipReader reader;
    reader.SetZipName(zipName);
    reader.ReadZip();
    auto names = EntryNames(reader);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, c.expected);
    EXPECT_EQ(skipped, std::string(c.what) == "same file twice" ? 1 : 0);
    EXPECT_EQ(missing, std::string(c.what) == "missing file" ? 1 : 0);
  }
}

TEST(ZipWriter, UpdateReplacesOnlyOlderEntriesAndDeletesByName) {
  TScratchDir dir;
  WriteFile(dir / "old.txt", "old content");
  WriteFile(dir / "same.txt", "same content");
  WriteFile(dir / "gone.txt", "to delete");
  std::string zipName = dir / "up.zip";
  zip::TZipWriter writer;
  writer.SetZipName(zipName);
  writer.FilesList = {dir / "old.txt", dir / "same.txt", dir / "gone.txt"};
  ASSERT_EQ(writer.Zip(), 3);

  // old.txt gets newer than its entry; same.txt stays as it was.
  WriteFile(dir / "old.txt", "new content");
  auto later = fs::last_write_time(dir / "old.txt") + std::chrono::hours(1);
  fs::last_write_time(dir / "old.txt", later);
  std::vector<std::pair<zip::TUpdateAction, int>> updates;
  writer.OnUpdate = [&](zip::TZipWriter*, zip::TUpdateAction a, int i) { updates.push_back({a, i}); };
  writer.FilesList = {dir / "old.txt", dir / "same.txt"};
  EXPECT_EQ(writer.Zip(), 1);
  EXPECT_TRUE(writer.FilesList.empty());
  EXPECT_EQ(updates, (std::vector<std::pair<zip::TUpdateAction, int>>{{zip::uaReplacing, 0}, {zip::uaKeeping, 1}}));

  writer.FilesList = {"GONE.TXT"};
  EXPECT_EQ(writer.DeleteEntries(), 1);
  EXPECT_EQ(EntryNames(writer), (std::vector<std::string>{"old.txt", "same.txt"}));

  writer.SetFilename(1, "renamed.txt");
  EXPECT_THROW(writer.SetFilename(2, "x"), platform::EListError);
  writer.SaveModifiedZipFile();
  auto py = Python(R"PY(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
print(sorted((i.filename, z.read(i).decode()) for i in z.infolist()))
)PY", Quote(zipName));
  EXPECT_EQ(py.output, "[('old.txt', 'new content'), ('renamed.txt', 'same content')]\n");
  EXPECT_EQ(Shell("unzip -tq " + Quote(zipName)).status, 0);

  // Replacing: a file gone meanwhile keeps its entry, told once; a file the
  // handler leaves out on purpose goes with its entry.
  WriteFile(dir / "a.txt", "a");
  WriteFile(dir / "b.txt", "b");
  zip::TZipWriter again;
  again.SetZipName(dir / "replace.zip");
  again.FilesList = {dir / "a.txt", dir / "b.txt"};
  ASSERT_EQ(again.Zip(), 2);
  again.ZipAction = zip::zaReplace;
  updates.clear();
  again.OnUpdate = [&](zip::TZipWriter*, zip::TUpdateAction a, int i) {
    updates.push_back({a, i});
    if (i == 0) fs::remove(dir / "a.txt");
  };
  again.OnStartZip = [&](zip::TZipWriter*, const std::string& name, zip::TZipHeaderInfo&, bool& skip) {
    skip = name.find("b.txt") != std::string::npos;
  };
  again.FilesList = {dir / "a.txt", dir / "b.txt"};
  EXPECT_EQ(again.Zip(), 0);
  EXPECT_EQ(updates, (std::vector<std::pair<zip::TUpdateAction, int>>{{zip::uaReplacing, 0}, {zip::uaReplacing, 1}}));
  EXPECT_EQ(EntryNames(again), (std::vector<std::string>{"a.txt"}));
}

TEST(ZipWriter, EdgesOfARun) {
  TScratchDir dir;
  {
    // Nothing to add to a new archive: an end record alone.
    zip::TZipWriter writer;
    writer.SetZipName(dir / "empty.zip");
    EXPECT_EQ(writer.Zip(), 0);
    EXPECT_EQ(fs::file_size(dir / "empty.zip"), 22u);
  }
  {
    // A file that is not an archive is never overwritten by an update.
    WriteFile(dir / "notzip.zip", "this is not an archive at all, just text");
    WriteFile(dir / "x.txt", "x");
    zip::TZipWriter writer;
    writer.SetZipName(dir / "notzip.zip");
    writer.FilesList = {dir / "x.txt"};
    EXPECT_THROW(writer.Zip(), zip::EIncompleteZip);
    EXPECT_EQ(ReadFile(dir / "notzip.zip"), "this is not an archive at all, just text");
    // An empty file is an empty archive.
    WriteFile(dir / "zero.zip", "");
    writer.SetZipName(dir / "zero.zip");
    writer.FilesList = {dir / "x.txt"};
    EXPECT_EQ(writer.Zip(), 1);
    EXPECT_EQ(Shell("unzip -tq " + Quote(dir / "zero.zip")).status, 0);
  }
  {
    // A no-compress pattern stores; a buffer and a stream become entries, named
    // as files are (no folder without StorePaths).
    WriteFile(dir / "pic.jpg", ziptest::TextPayload(5000, 8));
    zip::TZipWriter writer;
    writer.NoCompressList = {"*.JPG"};
    writer.SetZipName(dir / "mixed.zip");
    writer.FilesList = {dir / "pic.jpg"};
    ASSERT_EQ(writer.Zip(), 1);
    EXPECT_EQ(writer.CompressMethod(0), 0);
    EXPECT_EQ(writer.CompressedSize(0), 5000);
    std::string text = "from a buffer";
    EXPECT_EQ(writer.ZipFromBuffer(text.data(), static_cast<int>(text.size()), "buf.txt"), 1);
    auto* stream = new zip::TMemoryStream;
    stream->WriteBuffer("from a stream", 13);
    std::unique_ptr<zip::TStream> owned(stream);
    EXPECT_EQ(writer.ZipFromStream(stream, "sub\\str.txt"), 1);
    auto py = Python(R"PY(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
print(sorted((i.filename, i.compress_type, len(z.read(i))) for i in z.infolist()))
)PY", Quote(dir / "mixed.zip"));
    EXPECT_EQ(py.output, "[('buf.txt', 8, 13), ('pic.jpg', 0, 5000), ('str.txt', 8, 13)]\n");
  }
}

}  // namespace

namespace {

TEST(ZipWriter, SelfExtractingArchivesPassUnzipAndConvertBack) {
  TScratchDir dir;
  auto files = WriteSamples(dir, "src");
  std::string zipName = dir / "pack.zip";
  std::string stub = dir / "stub.bin";
  WriteFile(stub, "#!/bin/sh\necho stub\nexit 0\n" + std::string(3000, '\x7f'));
  const uint64_t stubSize = fs::file_size(stub);

  zip::TZipWriter writer;
  writer.SetZipName(zipName);
  writer.FilesList = files;
  ASSERT_EQ(writer.Zip(), 5);
  const std::string plain = ReadFile(zipName);
  // A stub that cannot be opened is an error the caller hears of.
  EXPECT_THROW(writer.MakeSFX("", false), platform::Exception);
  EXPECT_FALSE(fs::exists(dir / "pack.EXE"));
  writer.MakeSFX(stub, false);
  EXPECT_EQ(ReadFile(zipName), plain);  // the archive itself stays as it was

  std::string sfx = dir / "pack.EXE";
  auto t = Shell("unzip -t " + Quote(sfx));
  EXPECT_EQ(t.status, 0) << t.output;
  // Offsets that do not count the stub make unzip warn about extra bytes.
  EXPECT_EQ(t.output.find("extra bytes"), std::string::npos) << t.output;
  EXPECT_EQ(ReadFile(sfx).substr(0, 10), "#!/bin/sh\n");

  auto firstHeader = [](const std::string& name) {
    return Python(R"PY(
import sys, zipfile
print(min(i.header_offset for i in zipfile.ZipFile(sys.argv[1]).infolist()))
)PY", Quote(name)).output;
  };
  EXPECT_EQ(firstHeader(sfx), std::to_string(stubSize) + "\n");

  zip::TZipWriter back;
  back.SetZipName(sfx);
  back.SFXToZip(true);
  EXPECT_FALSE(fs::exists(sfx));
  EXPECT_EQ(firstHeader(dir / "pack.zip"), "0\n");
  EXPECT_EQ(Shell("unzip -tq " + Quote(dir / "pack.zip")).status, 0);
  // Turned into itself, a plain archive is not deleted as the self-extracting one.
  zip::TZipWriter again;
  again.SetZipName(dir / "pack.zip");
  again.SFXToZip(true);
  EXPECT_EQ(Shell("unzip -tq " + Quote(dir / "pack.zip")).status, 0);

  // A new self-extracting archive with options appended to its stub.
  zip::TZipWriter maker;
  maker.FilesList = files;
  EXPECT_EQ(maker.MakeNewSFX("", dir / "x.exe", nullptr, 0), 0);
  maker.FilesList = files;
  const char options[] = "OPTS";
  EXPECT_EQ(maker.MakeNewSFX(stub, dir / "pack.zip", options, 4), 5);
  std::string made = ReadFile(dir / "pack.exe");
  EXPECT_EQ(made.substr(static_cast<size_t>(stubSize), 4), "OPTS");
  t = Shell("unzip -t " + Quote(dir / "pack.exe"));
  EXPECT_EQ(t.status, 0) << t.output;
  EXPECT_EQ(t.output.find("extra bytes"), std::string::npos) << t.output;
}

TEST(ZipWriter, FixZipRecoversEveryCompleteEntryOfATruncatedArchive) {
  TScratchDir dir;
  std::vector<std::string> files;
  for (int i = 0; i < 4; ++i) {
    std::string name = dir / ("f" + std::to_string(i) + ".txt");
    WriteFile(name, ziptest::TextPayload(20000 + 1000 * i, 10 + i));
    files.push_back(name);
  }
  std::string zipName = dir / "whole.zip";
  zip::TZipWriter writer;
  writer.SetZipName(zipName);
  writer.FilesList = files;
  ASSERT_EQ(writer.Zip(), 4);
  // Cut in the middle of the last entry's data: the directory is gone and
  // that entry is incomplete.
  auto offsets = Python(R"PY(
import sys, zipfile
print(*sorted(i.header_offset for i in zipfile.ZipFile(sys.argv[1]).infolist()))
)PY", Quote(zipName));
  ASSERT_EQ(offsets.status, 0) << offsets.output;
  std::istringstream offsetList(offsets.output);
  int64_t offset[4] = {};
  for (int64_t& o : offset) offsetList >> o;
  const int64_t lastOffset = offset[3];
  std::string broken = dir / "broken.zip";
  WriteFile(broken, ReadFile(zipName).substr(0, static_cast<size_t>(lastOffset + 100)));

  zip::TZipWriter fixer;
  // Repairing asks no one what an archive without its end is.
  fixer.OnInCompleteZip = [](zip::TZipReader*, zip::TIncompleteZipMode& mode) { mode = zip::izAssumeNotAZip; };
  std::string fixed = dir / "fixed.zip";
  EXPECT_EQ(fixer.FixZip(broken, fixed), 3);
  auto t = Shell("unzip -t " + Quote(fixed));
  EXPECT_EQ(t.status, 0) << t.output;
  auto py = Python(R"PY(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
print(' '.join(sorted(i.filename for i in z.infolist())), z.testzip())
)PY", Quote(fixed));
  EXPECT_EQ(py.output, "f0.txt f1.txt f2.txt None\n");

  // The same writer repairs another archive from that archive's own entries,
  // and is out of repair mode afterwards: an archive without its end is
  // refused and left as it was, not rebuilt.
  std::string other = dir / "other.zip";
  WriteFile(other, ReadFile(zipName).substr(0, static_cast<size_t>(offset[2])));
  EXPECT_EQ(fixer.FixZip(other, dir / "fixed2.zip"), 2);
  WriteFile(dir / "more.txt", "more");
  fixer.SetZipName(broken);
  fixer.FilesList = {dir / "more.txt"};
  const std::string before = ReadFile(broken);
  EXPECT_THROW(fixer.Zip(), zip::ENotAZipFile);
  EXPECT_EQ(ReadFile(broken), before);
}

// Info-ZIP reads split archives named .z01, .z02 ... .zip; ours count .001,
// .002 ... with the directory in the last. Renamed, zip -s 0 joins them.
TEST(ZipWriter, NumberedBlocksJoinIntoTheSameArchive) {
  TScratchDir dir;
  auto files = WriteSamples(dir, "src");
  struct TCase {
    int firstBlock, block;
    int parts;  // 1: the archive keeps its own name
  };
  // Parts smaller than a kilobyte keep the sizes asked for.
  const TCase cases[] = {{10 << 20, 10 << 20, 1}, {30000, 20000, 0}, {500, 600, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.firstBlock);
    TScratchDir out;
    zip::TZipWriter writer;
    writer.MultiZipInfo().MultiMode = zip::mmBlocks;
    writer.MultiZipInfo().FirstBlockSize = c.firstBlock;
    writer.MultiZipInfo().BlockSize = c.block;
    writer.SetZipName(out / "set.zip");
    writer.FilesList = files;
    ASSERT_EQ(writer.Zip(), 5);
    std::vector<std::string> parts;
    for (const auto& e : fs::directory_iterator(out.Path())) parts.push_back(e.path().filename().string());
    std::sort(parts.begin(), parts.end());
    if (c.parts == 1) {
      EXPECT_EQ(parts, std::vector<std::string>{"set.zip"});
      EXPECT_EQ(Shell("unzip -tq " + Quote(out / "set.zip")).status, 0);
      continue;
    }
    ASSERT_GE(parts.size(), 3u);
    for (size_t i = 0; i < parts.size(); ++i) {
      char want[32];
      std::snprintf(want, sizeof want, "set.%03zu", i + 1);
      EXPECT_EQ(parts[i], want);
      EXPECT_LE(fs::file_size(out / parts[i]), static_cast<uint64_t>(i == 0 ? c.firstBlock : c.block));
      char ext[32];
      std::snprintf(ext, sizeof ext, ".z%02zu", i + 1);
      fs::rename(out / parts[i], out / (i + 1 == parts.size() ? "set.zip" : "set" + std::string(ext)));
    }
    auto joined = Shell("cd " + Quote(out.Path()) + " && zip -q -s 0 set.zip --out joined.zip");
    ASSERT_EQ(joined.status, 0) << joined.output;
    auto py = Python(kPyCheck, Quote(out / "joined.zip") + " " + Quote(dir / "src") + " ''");
    EXPECT_EQ(py.status, 0) << py.output;
    EXPECT_EQ(py.output.find("DIFF"), std::string::npos) << py.output;
    EXPECT_EQ(std::count(py.output.begin(), py.output.end(), '\n'), 5) << py.output;
  }
}

}  // namespace

namespace {

TEST(ZipWriter, SplitCutsAnArchiveIntoBlocksThatJoinAgain) {
  TScratchDir dir;
  auto files = WriteSamples(dir, "src");
  std::string zipName = dir / "whole.zip";
  zip::TZipWriter writer;
  writer.SetZipName(zipName);
  writer.FilesList = files;
  ASSERT_EQ(writer.Zip(), 5);
  writer.MultiZipInfo().FirstBlockSize = 30000;
  writer.MultiZipInfo().BlockSize = 20000;
  writer.SetDestDir(dir / "parts");
  std::vector<int> percents;
  writer.OnTotalPercentDone = [&](zip::TZipReader*, int p) { percents.push_back(p); };
  writer.Split(true);
  EXPECT_FALSE(fs::exists(zipName));
  // Told while the bytes are copied, not only at the end.
  EXPECT_GT(std::count_if(percents.begin(), percents.end(), [](int p) { return p > 0 && p < 100; }), 2);
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_EQ(percents.back(), 100);
  std::vector<std::string> parts;
  for (const auto& e : fs::directory_iterator(dir / "parts")) parts.push_back(e.path().filename().string());
  std::sort(parts.begin(), parts.end());
  ASSERT_GE(parts.size(), 3u);
  for (size_t i = 0; i < parts.size(); ++i) {
    char ext[32];
    std::snprintf(ext, sizeof ext, ".z%02zu", i + 1);
    fs::rename(dir / ("parts/" + parts[i]), dir / ("parts/" + (i + 1 == parts.size() ? "whole.zip" : "whole" + std::string(ext))));
  }
  auto joined = Shell("cd " + Quote(dir / "parts") + " && zip -q -s 0 whole.zip --out joined.zip");
  ASSERT_EQ(joined.status, 0) << joined.output;
  auto py = Python(kPyCheck, Quote(dir / "parts/joined.zip") + " " + Quote(dir / "src") + " ''");
  EXPECT_EQ(py.output.find("DIFF"), std::string::npos) << py.output;
  EXPECT_EQ(std::count(py.output.begin(), py.output.end(), '\n'), 5) << py.output;
}

}  // namespace

namespace {

TEST(ZipWriter, ArchiveStreamsBuffersAndCancelledRuns) {
  TScratchDir dir;
  {
    // An archive held in a stream is created in it; an update leaves the new
    // archive in a stream of the run's own, which takes the older one's place.
    auto* stream = new zip::TMemoryStream;
    zip::TZipWriter writer;
    writer.SetArchiveStream(stream);
    std::string a = "first entry";
    ASSERT_EQ(writer.ZipFromBuffer(a.data(), static_cast<int>(a.size()), "a.txt"), 1);
    std::string b = ziptest::TextPayload(10000, 20);
    ASSERT_EQ(writer.ZipFromBuffer(b.data(), static_cast<int>(b.size()), "b.txt"), 1);
    // The same name again replaces the entry instead of adding a second one.
    std::string a2 = "second version";
    ASSERT_EQ(writer.ZipFromBuffer(a2.data(), static_cast<int>(a2.size()), "a.txt"), 1);
    EXPECT_EQ(writer.Count(), 2);
    auto* held = dynamic_cast<zip::TMemoryStream*>(writer.ArchiveStream());
    ASSERT_NE(held, nullptr);
    WriteFile(dir / "stream.zip", std::string(reinterpret_cast<char*>(held->Memory()), static_cast<size_t>(held->Size())));
    auto py = Python(R"PY(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
print(sorted((i.filename, len(z.read(i))) for i in z.infolist()), z.testzip())
)PY", Quote(dir / "stream.zip"));
    EXPECT_EQ(py.output, "[('a.txt', 14), ('b.txt', 10000)] None\n");
  }
  {
    // Cancelling part way: the exception reports it and the archive is as before.
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) {
      files.push_back(dir / ("c" + std::to_string(i) + ".bin"));
      WriteFile(files.back(), ziptest::BinaryPayload(200000, 30 + i));
    }
    std::string zipName = dir / "cancel.zip";
    zip::TZipWriter writer;
    writer.SetZipName(zipName);
    writer.FilesList = {files[0]};
    ASSERT_EQ(writer.Zip(), 1);
    const std::string before = ReadFile(zipName);
    writer.OnEndZip = [](zip::TZipWriter* w, const std::string&, int64_t, int64_t, int64_t) {
      w->CancelTheOperation();
    };
    writer.FilesList = {files[1], files[2]};
    EXPECT_THROW(writer.Zip(), zip::EUserCanceled);
    EXPECT_EQ(ReadFile(zipName), before);
    EXPECT_TRUE(writer.FilesList.empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 5);  // no temporary left
  }
}

}  // namespace

namespace {

// The configuration file beside a split set: every central record, then the
// end record, nothing else; parsed by Python from the record layout.
TEST(ZipWriter, SplitSetsCarryAConfigurationFile) {
  TScratchDir dir;
  auto files = WriteSamples(dir, "src");
  TScratchDir out;
  zip::TZipWriter writer;
  writer.MultiZipInfo().MultiMode = zip::mmBlocks;
  writer.MultiZipInfo().FirstBlockSize = 80000;
  writer.MultiZipInfo().BlockSize = 60000;
  writer.MultiZipInfo().SaveZipInfoOnFirstDisk = true;
  writer.SetZipName(out / "set.zip");
  writer.FilesList = files;
  ASSERT_EQ(writer.Zip(), 5);
  ASSERT_TRUE(fs::exists(out / "set.zfc"));
  // The reserve for the configuration file keeps the first block short.
  EXPECT_LE(fs::file_size(out / "set.001"), 80000u - (58u * 5 + 2070));
  auto py = Python(R"PY(
import sys, struct
raw = open(sys.argv[1], 'rb').read()
pos, names = 0, []
while raw[pos:pos + 4] == b'PK\x01\x02':
    nlen, xlen, clen = struct.unpack('<HHH', raw[pos + 28:pos + 34])
    names.append(raw[pos + 46:pos + 46 + nlen].decode())
    pos += 46 + nlen + xlen + clen
sig, disk, cdisk, here, total, size, offset, clen = struct.unpack('<IHHHHIIH', raw[pos:pos + 22])
print(sorted(names), hex(sig), total, size == pos, pos + 22 + clen == len(raw))
)PY", Quote(out / "set.zfc"));
  EXPECT_EQ(py.output,
            "['empty.txt', 'notes.txt', 'one.bin', 'photo.jpg', 'with space.txt'] 0x6054b50 5 True True\n");
}

}  // namespace

namespace {

void Put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}
void Put16(std::string& s, size_t at, uint16_t v) {
  s[at] = static_cast<char>(v);
  s[at + 1] = static_cast<char>(v >> 8);
}

// Updating an archive that came from somewhere else: whatever its records
// claim, the run either writes a sound archive or fails and leaves the file
// as it was.
TEST(ZipWriter, UpdatingAHostileArchiveNeverCorruptsIt) {
  TScratchDir dir;
  WriteFile(dir / "a.txt", ziptest::TextPayload(5000, 40));
  WriteFile(dir / "b.txt", ziptest::TextPayload(7000, 41));
  WriteFile(dir / "new.txt", "new");
  std::string base = dir / "base.zip";
  {
    zip::TZipWriter writer;
    writer.SetZipName(base);
    writer.FilesList = {dir / "a.txt", dir / "b.txt"};
    ASSERT_EQ(writer.Zip(), 2);
  }
  const std::string good = ReadFile(base);
  const size_t end = good.size() - 22;
  const size_t cd = static_cast<uint8_t>(good[end + 16]) | static_cast<uint8_t>(good[end + 17]) << 8 |
                    static_cast<uint8_t>(good[end + 18]) << 16;
  struct TCase {
    const char* what;
    std::function<void(std::string&)> damage;
  };
  const TCase cases[] = {
      {"compressed size past the end", [&](std::string& s) { Put32(s, cd + 20, 0x7FFFFFF0); }},
      {"local header offset past the end", [&](std::string& s) { Put32(s, cd + 42, 0x7FFFFFF0); }},
      {"local header offset into the data", [&](std::string& s) { Put32(s, cd + 42, 40); }},
      {"local extra length past the end", [&](std::string& s) { Put16(s, 28, 0xFFFF); }},
      {"central extra length past the end", [&](std::string& s) { Put16(s, cd + 30, 0xFFFF); }},
      {"comment length past the end", [&](std::string& s) { Put16(s, cd + 32, 0xFFFF); }},
      {"descriptor flag without a descriptor", [&](std::string& s) {
         Put16(s, 6, static_cast<uint16_t>(s[6] | 8));
         Put16(s, cd + 8, static_cast<uint16_t>(s[cd + 8] | 8));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = good;
    c.damage(bytes);
    std::string name = dir / "hostile.zip";
    WriteFile(name, bytes);
    zip::TZipWriter writer;
    writer.SetZipName(name);
    writer.FilesList = {dir / "new.txt"};
    bool failed = false;
    try {
      writer.Zip();
    } catch (const platform::Exception&) {
      failed = true;
    }
    if (failed) {
      EXPECT_EQ(ReadFile(name), bytes);
    } else {
      auto t = Shell("unzip -tq " + Quote(name));
      EXPECT_EQ(t.status, 0) << t.output;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 5);
  }
}

}  // namespace

namespace {

// No drive here calls itself removable, so a spanned set is laid out the way
// a caller's OnGetNextDisk names its disks: one folder per disk.
TEST(ZipWriter, SpannedSetsAskForEachNextDisk) {
  TScratchDir dir;
  auto files = WriteSamples(dir, "src");
  TScratchDir out;
  std::vector<std::string> disks = {out / "set.zip"};
  std::vector<int> prepared;
  {
    // Every disk has 10 MB free; what is kept free on the first leaves it
    // about 30 KB of room.
    platform::SetDiskFreeProbe([](const std::string&) { return int64_t{10'000'000}; });
    struct Restore {
      ~Restore() { platform::SetDiskFreeProbe(nullptr); }
    } restore;
    zip::TZipWriter writer;
    writer.MultiZipInfo().MultiMode = zip::mmSpan;
    writer.SetZipName(out / "set.zip");
    writer.MultiZipInfo().SaveOnFirstDisk = writer.DiskRoom() - 30000;
    writer.OnGetNextDisk = [&](zip::TZipReader*, int next, std::string& name) {
      fs::create_directories(out / ("disk" + std::to_string(next)));
      name = out / ("disk" + std::to_string(next) + "/set.zip");
      disks.push_back(name);
    };
    writer.OnPrepareNextDisk = [&](zip::TZipWriter*, int disk) { prepared.push_back(disk); };
    writer.FilesList = files;
    ASSERT_EQ(writer.Zip(), 5);
  }
  ASSERT_GE(disks.size(), 2u) << "no second disk was asked for";
  EXPECT_EQ(prepared.front(), 2);
  fs::create_directories(out / "joined");
  for (size_t i = 0; i < disks.size(); ++i) {
    char ext[32];
    std::snprintf(ext, sizeof ext, ".z%02zu", i + 1);
    fs::rename(disks[i], out / ("joined/set" + std::string(i + 1 == disks.size() ? ".zip" : ext)));
  }
  auto joined = Shell("cd " + Quote(out / "joined") + " && zip -q -s 0 set.zip --out whole.zip");
  ASSERT_EQ(joined.status, 0) << joined.output;
  auto py = Python(kPyCheck, Quote(out / "joined/whole.zip") + " " + Quote(dir / "src") + " ''");
  EXPECT_EQ(py.output.find("DIFF"), std::string::npos) << py.output;
  EXPECT_EQ(std::count(py.output.begin(), py.output.end(), '\n'), 5) << py.output;
}

}  // namespace
