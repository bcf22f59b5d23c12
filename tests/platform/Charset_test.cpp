#include "platform/Charset.h"

#include <gtest/gtest.h>

#include <QString>

#include <cstdio>

namespace {

std::string AllBytes() {
  std::string s(256, '\0');
  for (int i = 0; i < 256; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>(i);
  return s;
}

// Python's own code page table decodes the 251 defined bytes; the five it
// leaves undefined go to the C1 control of the same number.
std::string PythonDecodesAllBytes() {
  const char* script =
      "import sys\n"
      "out = ''.join(bytes([b]).decode('cp1252', errors='ignore') or chr(b) for b in range(256))\n"
      "sys.stdout.buffer.write(out.encode('utf-8'))\n";
  std::string command = "python3 -c \"" + std::string(script) + "\"";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string out;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  ::pclose(pipe);
  return out;
}

}  // namespace

TEST(Charset, AllBytesMatchTheCodePageAndRoundTrip) {
  const std::string bytes = AllBytes();
  const std::string utf8 = platform::AnsiToUtf8(bytes);
  const std::string oracle = PythonDecodesAllBytes();
  ASSERT_FALSE(oracle.empty()) << "python3 is needed for this test";
  EXPECT_EQ(utf8, oracle);
  EXPECT_EQ(platform::Utf8ToAnsi(utf8), bytes);

  const QString q = platform::ToQString(bytes);
  EXPECT_EQ(q.toStdString(), oracle);
  EXPECT_EQ(platform::FromQString(q), bytes);
  EXPECT_EQ(platform::FromQString(QString::fromUtf8(oracle.data(), static_cast<qsizetype>(oracle.size()))), bytes);
}

TEST(Charset, UnmappableAndMalformedTextBecomesQuestionMarks) {
  struct Case {
    std::string utf8, ansi;
  } cases[] = {
      {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xE9 \x80"},
      {"\xE6\x97\xA5 a\xF0\x9F\x98\x80", "? a?"},  // CJK, and beyond 16 bits
      {"a\xC3", "a?"},                                // truncated at the end
      {"\xC3(x\xC0\xAF", "?(x??"},                    // bad continuation, overlong
      {"\xC2\x81\xC2\x80", "\x81?"},                  // U+0081 has a byte, U+0080 none
  };
  for (const auto& c : cases) EXPECT_EQ(platform::Utf8ToAnsi(c.utf8), c.ansi) << c.utf8;

  EXPECT_EQ(platform::FromQString(QString::fromUtf8("x\xF0\x9F\x98\x80y")), "x?y");
  EXPECT_EQ(platform::FromQString(QString(QChar(0xD800))), "?");  // lone surrogate
}

TEST(Charset, FileNamesUseSlashesAndUtf8OnDisk) {
  EXPECT_EQ(platform::PathFromName("Data\\Files\\caf\xE9.txt").string(), "Data/Files/caf\xC3\xA9.txt");
  EXPECT_EQ(platform::NameFromPath("/home/u/caf\xC3\xA9.txt"), "/home/u/caf\xE9.txt");
  const platform::FileName fromText(std::string("a\\\x80.zip"));
  EXPECT_EQ(fromText.Path().string(), "a/\xE2\x82\xAC.zip");
  EXPECT_EQ(fromText.Display(), "a/\x80.zip");
}

// Every name the disk can hold has one 8-bit name and comes back from it byte
// for byte: characters beyond the code page and bytes that are not UTF-8 too.
TEST(Charset, EveryDiskNameSurvivesTheRoundTrip) {
  struct Case {
    std::string disk, name;
  } cases[] = {
      {"caf\xC3\xA9.txt", "caf\xE9.txt"},                                                 // the code page's own
      {"\xE6\x97\xA5.txt", std::string("\0\xE6\0\x97\0\xA5.txt", 10)},                    // beyond it
      {"a\xF0\x9F\x98\x80", std::string("a\0\xF0\0\x9F\0\x98\0\x80", 9)},                 // beyond 16 bits
      {"\xFF\xC3(", std::string("\0\xFF\0\xC3(", 5)},                                     // not UTF-8
      {"?*.txt", "?*.txt"},                                                                // wildcards stay as they are
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::NameFromDiskBytes(c.disk), c.name) << c.disk;
    EXPECT_EQ(platform::DiskBytesFromName(c.name), c.disk) << c.disk;
    EXPECT_EQ(platform::NameFromPath(platform::PathFromName(c.name)), c.name) << c.disk;
  }
  std::string every;
  for (int b = 1; b < 256; ++b)
    if (b != '/') every += static_cast<char>(b);
  EXPECT_EQ(platform::DiskBytesFromName(platform::NameFromDiskBytes(every)), every);
  EXPECT_TRUE(platform::IsValidUtf8("caf\xC3\xA9 \xF0\x9F\x98\x80"));
  EXPECT_FALSE(platform::IsValidUtf8("caf\xE9"));
}

// What an input cannot send is named before it goes, each character once
// (one beyond 16 bits whole); a disk name is shown with its own characters.
TEST(Charset, TextThatCannotTravelAndNamesAsShown) {
  const std::pair<const char*, const char*> cases[] = {
      {"caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC\xE6\x97\xA5", "\xE6\x97\xA5\xE6\x9C\xAC"},  // café 日本日
      {"\xE2\x82\xAC \xC5\x93 \xC5\xB8 \xE2\x80\x9E", ""},                               // € œ Ÿ „
      {"a\xF0\x9F\x98\x80" "b\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"}};
  for (const auto& [text, lost] : cases)
    EXPECT_EQ(platform::CharactersWithoutAnsi(QString::fromUtf8(text)).toStdString(), lost) << text;
  const std::string name = "Bob/\xE5\x86\x99\xE7\x9C\x9F.jpg";
  EXPECT_EQ(platform::ShownQString(platform::NameFromDiskBytes(name)).toStdString(), name);
  EXPECT_EQ(platform::ShownQString("caf\xE9").toStdString(), "caf\xC3\xA9");
}

// A name that came from elsewhere never breaks a line nor turns the text
// around, whether the control is a byte of the code page or a disk character.
TEST(Charset, ControlCharactersInNamesBecomeUnderscores) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\r\nb\tc\x7F" "d\x81\x9D" "e", "a__b_c_d__e"},
      {platform::NameFromDiskBytes("evil\xE2\x80\xAEtxt.exe"), "evil_txt.exe"},              // U+202E
      {platform::NameFromDiskBytes("\xE2\x81\xA6x\xE2\x80\xA8y\xC2\x85"), "_x_y_"},         // U+2066, U+2028, U+0085
      {platform::NameFromDiskBytes("caf\xC3\xA9 \xE6\x97\xA5\xE2\x80\x8B.txt"),             // kept: é, 日, U+200B
       platform::NameFromDiskBytes("caf\xC3\xA9 \xE6\x97\xA5\xE2\x80\x8B.txt")},
      {std::string("\0\xFF\0\n\0", 5), std::string("\0\xFF__", 4)},                         // no UTF-8; NUL+LF; lone NUL
  };
  for (const auto& [name, mapped] : cases) EXPECT_EQ(platform::ControlsMapped(name), mapped) << name;
}
