#include "zip/ZipWriter.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>

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
