#include "platform/FileNames.h"

#include <gtest/gtest.h>


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
      {"Shots\\Screen 12:30.png", "Screen 12:30.png", "Shots\\", ".png"},  // a colon is no separator
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
}
