#include "zip/ZipReader.h"

#include <gtest/gtest.h>

#include <map>

#include "ZipTest_helpers.h"

using namespace ziptest;

namespace {

// A package as the outgoing-transfer window makes one: bare names, best compression.
TEST(ZipReader, UnpacksAPackageWithTheTransferWindowsEvents) {
  TempDir tmp;
  std::map<std::string, std::string> files = {{"photo.bin", BinaryPayload(300000, 1)},
                                              {"notes.txt", TextPayload(120000, 2)},
                                              {"empty.dat", ""}};
  std::string names;
  for (auto& [name, bytes] : files) {
    WriteFile(tmp / ("src/" + name), bytes);
    names += " " + Quote(tmp / ("src/" + name));
  }
  ASSERT_EQ(Shell("zip -q -j -9 " + Quote(tmp / "pkg.zip") + names), 0);

  zip::TZipReader reader;
  reader.ReplaceReadOnly = true;
  reader.SetZipName(tmp / "pkg.zip");
  reader.SetDestDir(tmp / "in");
  reader.DoAll = true;
  std::vector<std::string> started, ended;
  std::vector<int64_t> sizes;
  int completeCount = -1, lastPercent = -1;
  reader.OnStartUnZip = [&](zip::TZipReader*, int, std::string& fname, bool&) { started.push_back(fname); };
  reader.OnEndUnZip = [&](zip::TZipReader* r, int index, const std::string& fname) {
    ended.push_back(fname);
    sizes.push_back(r->GetUnCompressedSize(index));
  };
  reader.OnTotalPercentDone = [&](zip::TZipReader*, int p) { lastPercent = p; };
  reader.OnUnZipComplete = [&](zip::TZipReader*, int count) { completeCount = count; };
  EXPECT_EQ(reader.UnZip(), 3);
  EXPECT_EQ(completeCount, 3);
  EXPECT_EQ(lastPercent, 100);
  ASSERT_EQ(ended.size(), 3u);
  EXPECT_EQ(started, ended);
  for (size_t i = 0; i < ended.size(); ++i) {
    const std::string base = ended[i].substr(ended[i].find_last_of("\\/") + 1);
    EXPECT_EQ(ended[i], tmp.Path() + "/in\\" + base);
    EXPECT_EQ(ReadFile(tmp / ("in/" + base)), files[base]) << base;
    EXPECT_EQ(sizes[i], static_cast<int64_t>(files[base].size()));
  }
  EXPECT_TRUE(reader.FilesList.empty());
}

TEST(ZipReader, MissingOrForeignArchiveExtractsNothing) {
  TempDir tmp;
  WriteFile(tmp / "junk.zip", TextPayload(5000, 3));
  for (const std::string& name : {tmp / "missing.zip", tmp / "junk.zip"}) {
    zip::TZipReader reader;
    reader.SetZipName(name);
    reader.SetDestDir(tmp / "out");
    reader.DoAll = true;
    EXPECT_EQ(reader.UnZip(), 0) << name;
  }
  EXPECT_FALSE(Exists(tmp / "out"));
}

}  // namespace
