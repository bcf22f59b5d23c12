#include "platform/FileNames.h"

#include <gtest/gtest.h>

#include "platform/Charset.h"
#include "platform_test_helpers.h"

using namespace platform;

TEST(FileNames, PartsOfEightBitNames) {
  struct Case {
    std::string name, file, path, ext;
  } cases[] = {
      {"C:\\Parlo\\Files\\photo.jpg", "photo.jpg", "C:\\Parlo\\Files\\", ".jpg"},
      {"/home/u/parlo/Data/groups.grp", "groups.grp", "/home/u/parlo/Data/", ".grp"},
      {"..\\..\\etc/passwd", "passwd", "..\\..\\etc/", ""},  // either separator counts
      {"dir.v2\\readme", "readme", "dir.v2\\", ""},           // a dot in a folder is no extension
      {"archive.tar.gz", "archive.tar.gz", "", ".gz"},
      {"Files\\", "", "Files\\", ""},
      {"", "", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractFileName(c.name), c.file) << c.name;
    EXPECT_EQ(ExtractFilePath(c.name), c.path) << c.name;
    EXPECT_EQ(ExtractFileExt(c.name), c.ext) << c.name;
  }
  EXPECT_EQ(ChangeFileExt("TmpFiles\\a.b", ".zip"), "TmpFiles\\a.zip");
  EXPECT_EQ(ChangeFileExt("TmpFiles\\pack", ".zip"), "TmpFiles\\pack.zip");
  EXPECT_EQ(ChangeFileExt("v1.0\\cam", ".jpg"), "v1.0\\cam.jpg");
  EXPECT_EQ(IncludeTrailingPathDelimiter("Data"), "Data\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp/"), "/tmp/");
}

TEST(FileNames, DiskOperationsTakeProgramNames) {
  TempFolder dir;
  const std::string base = dir.Path().string() + "\\";
  const std::string folder = base + "Caf\xE9\\Files\\";
  EXPECT_TRUE(ForceDirectories(folder));
  EXPECT_TRUE(DirectoryExists(folder));
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "Caf\xC3\xA9" / "Files"));
  EXPECT_FALSE(FileExists(folder));  // a folder is not a file

  const std::string name = folder + "a.txt";
  WriteRawFile(PathFromName(name), "x");
  EXPECT_TRUE(FileExists(name));
  EXPECT_TRUE(RenameFile(name, folder + "b.txt"));
  EXPECT_FALSE(FileExists(name));
  EXPECT_TRUE(DeleteFile(folder + "b.txt"));
  EXPECT_FALSE(DeleteFile(folder + "b.txt"));
  EXPECT_FALSE(DeleteFile(folder));  // never removes a folder
  EXPECT_TRUE(DirectoryExists(folder));
}
