#include "platform/Stream.h"

#include <gtest/gtest.h>

#include "platform/Exception.h"
#include "platform_test_helpers.h"

using platform::EStreamError;

namespace {

// A stream that hands out at most `step` bytes per Read, as a pipe or a
// slow file may do.
class TrickleStream : public TMemoryStream {
 public:
  explicit TrickleStream(std::int64_t step) : step_(step) {}
  std::int64_t Read(void* buffer, std::int64_t count) override {
    return TMemoryStream::Read(buffer, std::min(count, step_));
  }

 private:
  std::int64_t step_;
};

}  // namespace

TEST(Stream, ReadBufferCollectsShortReadsButRaisesAtTheEnd) {
  TrickleStream s(3);
  s.WriteString("0123456789");
  s.SetPosition(0);
  char buf[8] = {};
  s.ReadBuffer(buf, 8);
  EXPECT_EQ(std::string(buf, 8), "01234567");
  EXPECT_THROW(s.ReadBuffer(buf, 3), EStreamError);  // only two bytes remain
  s.SetPosition(10);
  EXPECT_EQ(s.Read(buf, 1), 0);
  EXPECT_NO_THROW(s.ReadBuffer(buf, 0));
}

TEST(Stream, MemoryStreamGapsAndCopies) {
  TMemoryStream m;
  m.WriteString("abc");
  m.Seek(2, TSeekOrigin::soCurrent);  // past the end is allowed ...
  m.WriteString("Z");                 // ... and writing there fills with zeros
  EXPECT_EQ(m.ToString(), std::string("abc\0\0Z", 6));
  EXPECT_THROW(m.Seek(-7, TSeekOrigin::soEnd), EStreamError);
  m.SetSize(2);
  EXPECT_EQ(m.Position(), 2);  // never left pointing past a shrink

  std::string big(200000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  TMemoryStream src, whole, part, tooMuch;
  src.WriteString(big);
  EXPECT_EQ(whole.CopyFrom(src, 0), 200000);  // 0: everything, from the start
  EXPECT_EQ(whole.ToString(), big);
  src.SetPosition(100);
  part.CopyFrom(src, 70000);
  EXPECT_EQ(part.ToString(), big.substr(100, 70000));
  src.SetPosition(199990);
  EXPECT_THROW(tooMuch.CopyFrom(src, 11), EStreamError);
}

TEST(Stream, FileStreamFailuresNameTheFile) {
  TempFolder dir;
  struct Case {
    std::filesystem::path path;
    unsigned mode;
    std::string start;
  } cases[] = {
      {dir / "nofolder" / "x.bin", fmCreate, "Cannot create file \""},
      {dir.Path(), fmOpenRead, "Cannot open file \""},  // a folder is no file
  };
  for (const auto& c : cases) {
    try {
      TFileStream f(c.path, c.mode);
      ADD_FAILURE() << c.path;
    } catch (const EStreamError& e) {
      EXPECT_EQ(e.Message().rfind(c.start, 0), 0u) << e.Message();
      EXPECT_NE(e.Message().find(c.path.string()), std::string::npos) << e.Message();
    }
  }
}

TEST(Stream, EightBitNamesBecomeUtf8PathsOnDisk) {
  TempFolder dir;
  // An 8-bit name as the program builds it: backslash separators, 1252 text.
  const std::string name = dir.Path().string() + "\\Caf\xE9 \x80.txt";
  {
    TFileStream f(name, fmCreate);
    f.WriteString("x");
  }
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "Caf\xC3\xA9 \xE2\x82\xAC.txt"));

  {
    TFileStream f(name, fmOpenReadWrite);  // opening keeps the content
    f.Seek(0, TSeekOrigin::soEnd);
    f.WriteString("y");
  }
  TMemoryStream m;
  m.LoadFromFile(name);
  EXPECT_EQ(m.ToString(), "xy");
  { TFileStream f(name, fmCreate); }  // creating empties it
  EXPECT_EQ(ReadRawFile(dir.Path() / "Caf\xC3\xA9 \xE2\x82\xAC.txt"), "");
}
