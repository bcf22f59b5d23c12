#include "zip/BufferStream.h"

#include <gtest/gtest.h>

#include "ZipTest_helpers.h"
#include "zip/DirSearch.h"

using namespace ziptest;

namespace {

std::string Numbers(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

TEST(BufferStream, MixedReadsWritesAndSeeksKeepTheFileConsistent) {
  TempDir tmp;
  const std::string path = tmp / "f.bin";
  WriteFile(path, Numbers(1000));
  {
    // Reading 100 bytes then writing 5: the 5 bytes land at position 100.
    zip::TLFNFileStream s(path, platform::fmOpenReadWrite, false, 64);
    char buf[100];
    ASSERT_EQ(s.Read(buf, 100), 100);
    ASSERT_EQ(s.Write("WXYZ!", 5), 5);
    EXPECT_EQ(s.Position(), 105);
  }
  std::string expect = Numbers(1000);
  expect.replace(100, 5, "WXYZ!");
  EXPECT_EQ(ReadFile(path), expect);
  {
    // Writing 10 bytes then reading: the read returns what follows them in the file.
    zip::TLFNFileStream s(path, platform::fmOpenReadWrite, false, 64);
    ASSERT_EQ(s.Write("0123456789", 10), 10);
    char buf[5];
    ASSERT_EQ(s.Read(buf, 5), 5);
    EXPECT_EQ(std::string(buf, 5), expect.substr(10, 5));
    // Writing past the old end: the end is the logical position.
    s.Seek(0, zip::soFromEnd);
    const std::string tail(300, 'T');
    ASSERT_EQ(s.Write(tail.data(), 300), 300);
    EXPECT_EQ(s.Seek(0, zip::soFromEnd), 1300);
    EXPECT_EQ(s.Size(), 1300);
    EXPECT_THROW(s.Seek(0, 7), platform::Exception);
  }
  expect.replace(0, 10, "0123456789");
  EXPECT_EQ(ReadFile(path), expect + std::string(300, 'T'));
  {
    // Seeks inside the bytes read last, back and forth, then a write where the seek left off.
    zip::TLFNFileStream s(path, platform::fmOpenReadWrite, false, 64);
    char buf[8];
    for (const int64_t at : {40, 2, 60, 63, 0, 64, 200, 150}) {
      ASSERT_EQ(s.Seek(at, zip::soFromBeginning), at);
      ASSERT_EQ(s.Read(buf, 8), 8);
      EXPECT_EQ(std::string(buf, 8), expect.substr(static_cast<size_t>(at), 8)) << at;
    }
    s.Seek(-4, zip::soFromCurrent);
    s.Read(buf, 1);
    s.PutBack('Q');
    s.Seek(150, zip::soFromBeginning);
    ASSERT_EQ(s.Read(buf, 8), 8);
    EXPECT_EQ(std::string(buf, 8), expect.substr(150, 8));  // the put-back byte was never in the file
    s.Seek(153, zip::soFromBeginning);
    ASSERT_EQ(s.Write("+", 1), 1);
    EXPECT_EQ(s.Position(), 154);
  }
  expect[153] = '+';
  EXPECT_EQ(ReadFile(path), expect + std::string(300, 'T'));
  {
    zip::TLFNFileStream s(path, platform::fmOpenRead, false, 64);
    EXPECT_THROW(s.PutBack('x'), platform::EStreamError);
    char c;
    s.Read(&c, 1);
    s.PutBack('Q');
    s.Read(&c, 1);
    EXPECT_EQ(c, 'Q');
    EXPECT_THROW(zip::TLFNFileStream(tmp / "missing", platform::fmOpenRead, false, 64), platform::EStreamError);
  }
  {
    // A write of nothing while reading leaves the position where it was; one who
    // listens for fills hears of the refill after every seek.
    zip::TLFNFileStream s(path, platform::fmOpenRead, false, 64);
    int fills = 0;
    s.OnAfterFill = [&](zip::TS_BufferStream*) { ++fills; };
    char buf[8];
    ASSERT_EQ(s.Read(buf, 8), 8);
    EXPECT_EQ(s.Write(buf, 0), 0);
    EXPECT_EQ(s.Position(), 8);
    ASSERT_EQ(s.Read(buf, 8), 8);
    EXPECT_EQ(std::string(buf, 8), expect.substr(8, 8));
    s.Seek(2, zip::soFromBeginning);
    ASSERT_EQ(s.Read(buf, 1), 1);
    EXPECT_EQ(fills, 3);
  }
  {
    // While writing, a byte put back takes the last one written back.
    zip::TLFNFileStream s(tmp / "w", platform::fmCreate, false, 64);
    s.Write("abc", 3);
    s.PutBack('Q');
  }
  EXPECT_EQ(ReadFile(tmp / "w"), "ab");
}

TEST(DirSearch, WalksWildcardLevelsAndFollowsOnlyLinksToFiles) {
  TempDir tmp;
  for (const char* f : {"in/a/logs/1.txt", "in/b/logs/2.txt", "in/b/logs/deep/3.txt", "in/c/other/4.txt",
                        "in/top.txt", "in/noext", "outside/secret.txt"})
    WriteFile(tmp / f, "x");
  WriteFile(tmp / "outside/shared.txt", "twelve bytes");
  Shell("ln -s " + Quote(tmp / "outside") + " " + Quote(tmp / "in/link"));
  Shell("ln -s " + Quote(tmp / "outside/shared.txt") + " " + Quote(tmp / "in/shared.txt"));
  Shell("ln -s " + Quote(tmp / "outside/gone.txt") + " " + Quote(tmp / "in/dangling.txt"));
  auto walk = [&](const std::string& start, const std::string& mask, bool recurse) {
    zip::TDirSearch search(start, mask, recurse);
    std::vector<std::string> found;
    zip::TSearchRec rec;
    for (std::string f = search.NextFile(rec); !f.empty(); f = search.NextFile(rec))
      found.push_back(f.substr(tmp.Path().size() + 1));
    std::sort(found.begin(), found.end());
    return found;
  };
  EXPECT_EQ(walk(tmp / "in\\*\\logs", "*.txt", false), (std::vector<std::string>{"in\\a\\logs\\1.txt", "in\\b\\logs\\2.txt"}));
  EXPECT_EQ(walk(tmp / "in", "*.*", false),
            (std::vector<std::string>{"in\\noext", "in\\shared.txt", "in\\top.txt"}));
  const auto all = walk(tmp / "in", "*.txt", true);
  EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const std::string& f) { return f.back() != '\\'; }), 6);
  for (const std::string& f : all) EXPECT_EQ(f.find("secret"), std::string::npos) << f;
  zip::TDirSearch linked(tmp / "in", "shared.txt", false);
  zip::TSearchRec rec;
  EXPECT_EQ(linked.NextFile(rec), tmp / "in\\shared.txt");
  EXPECT_EQ(rec.size, 12);  // the file's, not the link's
  // Folders deeper than the walk's bound are not entered.
  std::string deep = tmp / "d";
  for (int i = 0; i < 25; ++i) deep += "/x";
  WriteFile(deep + "/bottom.txt", "x");
  const auto limited = walk(tmp / "d", "*.txt", true);
  for (const std::string& f : limited) EXPECT_EQ(f.find("bottom.txt"), std::string::npos);
}

}  // namespace
