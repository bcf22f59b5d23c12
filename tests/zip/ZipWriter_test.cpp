#include "zip/ZipWriter.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "ZipWriterTest_helpers.h"

namespace {

using ziptest::Python;
using ziptest::Quote;
using ziptest::ReadFile;
using ziptest::Shell;
using ziptest::TScratchDir;
using ziptest::WriteFile;
namespace fs = std::filesystem;

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
      {"notes.txt", ziptest::SampleText(300000, 1)},
      {"photo.jpg", ziptest::SampleBinary(120000, 2)},
      {"with space.txt", ziptest::SampleText(5000, 3)},
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
      {0, "", "0"}, {1, "", "4"}, {2, "", "4"}, {6, "", "0"}, {8, "", "2"}, {9, "", "2"}, {9, "secret", "3"},
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
  writer.OnTotalPercentDone = [&](zip::TZipReader*, int p) { percents.push_back(p); };
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
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));

  zip::TZipReader reader;
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
  WriteFile(dir / "a.txt", ziptest::SampleText(20000, 4));
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
        "MS-DOS file attributes (20 hex): arc", "entry note", "archive note"}) {
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
        print(i.filename, i.flag_bits, '%08x' % i.CRC, local_extra.hex(), i.extra.hex(),
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
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TScratchDir dir;
    WriteFile(dir / "a.txt", ziptest::SampleText(40000, 5));
    WriteFile(dir / "b.bin", ziptest::SampleBinary(3000, 6));
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
  WriteFile(dir / "big.bin", ziptest::SampleBinary(3 << 20, 7));

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
