// Entry names between us and the tools others pack and unpack with: UTF-8 names,
// names beyond the code page, names that differ only in case, and directories
// whose entry count does not say how many records they hold.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "ZipTest_helpers.h"
#include "platform/Charset.h"
#include "platform/DosFiles.h"
#include "zip/ZipWriter.h"

using namespace ziptest;

namespace {

namespace fs = std::filesystem;

// Names on disk (UTF-8) and their contents.
const std::vector<std::pair<std::string, std::string>> kUnicodeFiles = {
    {"caf\xC3\xA9.txt", "latin"},                  // café: inside Windows-1252
    {"\xE6\x97\xA5\xE6\x9C\xAC.txt", "cjk"},        // 日本: beyond it
    {"\xF0\x9F\x98\x80.txt", "astral"},             // 😀: beyond the 16-bit plane
    {"plain.txt", "ascii"},
};

// name \t flag bit 11 \t content, one line per entry, as Python's zipfile reads them.
std::string PyListing(const std::string& archive) {
  std::string out;
  Shell("python3 -c " +
            Quote("import sys, zipfile\n"
                  "z = zipfile.ZipFile(sys.argv[1])\n"
                  "for i in sorted(z.infolist(), key=lambda i: i.filename):\n"
                  "    print('%s\\t%d\\t%s' % (i.filename, i.flag_bits >> 11 & 1, z.read(i).decode()))\n") +
            " " + Quote(archive) + " 2>&1",
        &out);
  return out;
}

std::vector<std::string> SortedNames(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

std::vector<std::string> DiskNames(const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<std::string> names;
  for (const auto& f : files) names.push_back(f.first);
  return SortedNames(names);
}

}  // namespace

TEST(ZipNames, OutsideToolsUnicodeNamesUnpackAsTheyWereOnDisk) {
  struct Tool {
    const char* name;
    const char* probe;
    const char* command;  // run in the source folder; %s is the archive
  };
  const Tool tools[] = {
      {"zipfile", "python3 -c ''",
       "python3 -c 'import os, sys, zipfile\nwith zipfile.ZipFile(sys.argv[1], \"w\") as z:\n"
       "    [z.write(n) for n in sorted(os.listdir(\".\"))]' %s"},
      {"Info-ZIP", "zip -v", "zip -q %s *"},
      {"7-Zip", "7z i", "7z a -bd -y %s . >/dev/null"},
  };
  std::string missing;
  for (const Tool& tool : tools) {
    SCOPED_TRACE(tool.name);
    if (Shell(std::string(tool.probe) + " >/dev/null 2>&1") != 0) {
      missing += std::string(" ") + tool.name;
      continue;
    }
    TempDir dir;
    for (const auto& [name, content] : kUnicodeFiles) WriteFile(dir / ("src/" + name), content);
    const std::string archive = dir / "in.zip";
    std::string command = tool.command;
    command.replace(command.find("%s"), 2, Quote(archive));
    ASSERT_EQ(Shell("cd " + Quote(dir / "src") + " && " + command), 0);

    zip::TZipReader reader;
    reader.SetZipName(platform::FromOsPath(archive));
    reader.SetDestDir(platform::FromOsPath(dir / "out"));
    reader.DoAll = true;
    EXPECT_EQ(reader.UnZip(), 4);
    EXPECT_EQ(ListTree(dir / "out"), DiskNames(kUnicodeFiles));
    for (const auto& [name, content] : kUnicodeFiles) EXPECT_EQ(ReadFile(dir / ("out/" + name)), content) << name;
  }
  if (!missing.empty()) GTEST_SKIP() << "not installed:" << missing << " (scripts/packages.txt lists them)";
}

TEST(ZipNames, OurPackagesKeepTheirNamesAndCarryOthersAsUtf8) {
  TempDir dir;
  for (const auto& [name, content] : kUnicodeFiles) WriteFile(dir / ("src/" + name), content);
  WriteFile(dir / "src/ab.txt", "the other one");
  const std::string src = platform::FromOsPath(dir / "src") + "\\";
  const std::string archive = dir / "out.zip";

  // A name the code page holds is written as it always was (the DOS code page,
  // no UTF-8 flag); zipfile reads it back through that code page.
  zip::TZipWriter writer;
  writer.SetZipName(archive);
  writer.FilesList = {src + "caf\xE9.txt"};
  EXPECT_EQ(writer.Zip(), 1);
  std::string raw;
  Shell("python3 -c " + Quote("import sys, zipfile; print(zipfile.ZipFile(sys.argv[1]).infolist()[0].orig_filename.encode('cp437').hex())") +
            " " + Quote(archive),
        &raw);
  EXPECT_EQ(raw, "636166822e747874\n");  // "caf" 0x82 ".txt"
  EXPECT_EQ(PyListing(archive), "caf\xC3\xA9.txt\t0\tlatin\n");

  // A file named explicitly is that file, by its name on disk: never another
  // that a lossy name would match as a pattern.
  fs::remove(archive);
  writer.FilesList = {platform::FromOsPath(dir / "src/\xE6\x97\xA5\xE6\x9C\xAC.txt")};
  EXPECT_EQ(writer.Zip(), 1);
  EXPECT_EQ(PyListing(archive), "\xE6\x97\xA5\xE6\x9C\xAC.txt\t1\tcjk\n");

  // A folder packs every file in it, whatever the characters of its name.
  fs::remove(archive);
  writer.FilesList = {src + "*.*"};
  EXPECT_EQ(writer.Zip(), 5);
  EXPECT_EQ(PyListing(archive),
            "ab.txt\t0\tthe other one\ncaf\xC3\xA9.txt\t0\tlatin\nplain.txt\t0\tascii\n"
            "\xE6\x97\xA5\xE6\x9C\xAC.txt\t1\tcjk\n\xF0\x9F\x98\x80.txt\t1\tastral\n");
  if (Shell("7z i >/dev/null 2>&1") == 0) {
    std::string listing;
    Shell("7z l -ba " + Quote(archive), &listing);
    EXPECT_NE(listing.find("\xF0\x9F\x98\x80.txt"), std::string::npos) << listing;
  }
  // And our reader brings every name back as it was.
  zip::TZipReader reader;
  reader.SetZipName(archive);
  reader.SetDestDir(platform::FromOsPath(dir / "back"));
  reader.DoAll = true;
  EXPECT_EQ(reader.UnZip(), 5);
  EXPECT_EQ(ListTree(dir / "back"), ListTree(dir / "src"));

  // A name that holds wildcard characters is a pattern, even where a file has that name.
  WriteFile(dir / "src/a?.txt", "literal");
  fs::remove(archive);
  writer.FilesList = {src + "a?.txt"};
  EXPECT_EQ(writer.Zip(), 2);
  EXPECT_EQ(PyListing(archive), "a?.txt\t0\tliteral\nab.txt\t0\tthe other one\n");
}

TEST(ZipNames, AFileThatIsNotThereIsLeftOutOfTheCount) {
  TempDir dir;
  WriteFile(dir / "here.txt", "here");
  const std::string archive = dir / "out.zip";
  zip::TZipWriter writer;
  writer.SetZipName(archive);
  writer.FilesList = {dir / "here.txt", dir / "gone.txt"};
  EXPECT_EQ(writer.Zip(), 1);
  EXPECT_EQ(writer.Count(), 1);

  // A caller that listens hears which one.
  fs::remove(archive);
  std::vector<std::string> missing;
  writer.OnNoSuchFile = [&](zip::TZipWriter*, const std::string& name) { missing.push_back(name); };
  writer.FilesList = {dir / "here.txt", dir / "gone.txt"};
  EXPECT_EQ(writer.Zip(), 1);
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_EQ(platform::ExtractFileName(missing[0]), "gone.txt");
}

TEST(ZipNames, NamesThatDifferOnlyInCaseAreTwoEntries) {
  TempDir dir;
  WriteFile(dir / "Note.txt", "upper");
  WriteFile(dir / "note.txt", "lower");
  const std::string archive = dir / "case.zip";
  zip::TZipWriter writer;
  writer.SetZipName(archive);
  int skipped = 0;
  writer.OnSkippingFile = [&](zip::TZipReader*, zip::TSkipReason, const std::string&, int, bool&) { ++skipped; };
  writer.FilesList = {dir / "Note.txt", dir / "note.txt"};
  EXPECT_EQ(writer.Zip(), 2);
  EXPECT_EQ(skipped, 0);
  EXPECT_EQ(PyListing(archive), "Note.txt\t0\tupper\nnote.txt\t0\tlower\n");

  // Updating one leaves the other's entry alone.
  WriteFile(dir / "note.txt", "lower, newer");
  fs::last_write_time(dir / "note.txt", fs::last_write_time(dir / "note.txt") + std::chrono::hours(1));
  writer.FilesList = {dir / "note.txt"};
  EXPECT_EQ(writer.Zip(), 1);
  EXPECT_EQ(PyListing(archive), "Note.txt\t0\tupper\nnote.txt\t0\tlower, newer\n");
}

TEST(ZipNames, EveryRecordOfTheDirectoryIsReadWhateverTheCountSays) {
  struct Case {
    int entries;
    int count;  // what the end record says (modulo 65536)
  } const cases[] = {{70000, 70000}, {313, 3}, {20, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entries);
    TempDir dir;
    const std::string archive = dir / "many.zip";
    ASSERT_EQ(Shell("python3 " + Quote(SupportScript("zipcases.py")) + " many " + Quote(archive) + " " +
                    std::to_string(c.entries) + " " + std::to_string(c.count)),
              0);
    std::string pyCount;
    Shell("python3 -c " + Quote("import sys, zipfile; print(len(zipfile.ZipFile(sys.argv[1]).infolist()))") + " " +
              Quote(archive),
          &pyCount);
    ASSERT_EQ(pyCount, std::to_string(c.entries) + "\n");

    zip::TZipReader reader;
    reader.SetZipName(archive);
    reader.ReadZip();
    ASSERT_EQ(reader.Count(), c.entries);
    EXPECT_EQ(reader.Filename(c.entries - 1), "f" + std::string(5 - std::to_string(c.entries - 1).size(), '0') +
                                                  std::to_string(c.entries - 1) + ".txt");
    // Every entry is tested, each once.
    EXPECT_TRUE(reader.CheckArchive());
    std::vector<uint8_t> last;
    EXPECT_EQ(reader.UnZipToBufferByIndex(last, c.entries - 1), 1);
    EXPECT_EQ(std::string(last.begin(), last.end()), "entry " + std::to_string(c.entries - 1) + "\n");
  }
}
