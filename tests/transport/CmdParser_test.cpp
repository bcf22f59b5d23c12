#include "transport/CmdParser.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <utility>

#include "platform/ErrorSink.h"

namespace {

class CmdParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetErrorHandler([this](const std::string& address, const std::string& port, const std::string& m) {
      EXPECT_EQ(address, "");
      EXPECT_EQ(port, "");
      log.push_back(m);
    });
  }
  void TearDown() override { platform::SetErrorHandler(nullptr); }
  std::vector<std::string> log;
};

// Received bytes as one read hands them over, parsed the way every reader does.
TEST_F(CmdParserTest, SplitsReceivedFramesIntoCodeParametersAndText) {
  struct Case {
    std::string received;
    int code;
    std::string parameters, text;
    bool logged;
  } cases[] = {
      {"  1006<>Hello\r\n", 1006, "", "Hello", false},
      {"  9007<100234,100999>\r\n", 9007, "100234\r\n100999", "", false},
      // Two frames in one read on a link without line mode.
      {"  9004<>\r\n  9006<>\r\n", 9004, "", "\r\n  9006<>", false},
      {"  2003<a,,b>x>y<z\r\n", 2003, "a\r\n\r\nb", "x>y<z", false},
      {"12", 12, "", "12", false},
      {"10000<>", 1000, "", "", false},         // only four characters are read
      {"123<>x", 9999, "", "x", true},          // a three-digit code takes the "<" along
      {"", 9999, "", "", true},
      {" \r\n\t ", 9999, "", "", true},
      {"abcd<p>t", 9999, "p", "t", true},
      {"  1006<no end", 1006, "", "1006<no end", false},  // no ">": the text is the whole line
      {"  1006>a<b>", 1006, "", "a<b>", false},           // ">" before "<": no parameters
      {"  1006>a", 1006, "1006", "a", false},             // ">" without "<": all before it
      {"1006<>", 1006, "", "", false},
      {"1006<>Hi\r\n\r\n", 1006, "", "Hi\r\n", false},       // one CR LF only comes off
      {"1006<>Hi\n", 1006, "", "Hi\n", false},               // a lone LF stays
      {std::string("  1006<>Hi\0junk\r\n", 18), 1006, "", "Hi", false},  // ends at the zero byte
      {"\r\n\r\n  1020<f>\r\n", 1020, "f", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.received));
    log.clear();
    const std::string line = TCmdParser::CleanLine(c.received);
    EXPECT_EQ(TCmdParser::ExtractCommand(line), c.code);
    EXPECT_EQ(TCmdParser::ExtractParameters(line), c.parameters);
    EXPECT_EQ(TCmdParser::ExtractCommandText(line), c.text);
    ASSERT_EQ(log.size(), c.logged ? 1u : 0u);
    if (c.logged) {
      EXPECT_EQ(log[0], "Extracting Command: " + line);
    }
  }
}

TEST_F(CmdParserTest, EscapingIsExactlyTheThreePairs) {
  struct Case {
    std::string plain, escaped;
  } cases[] = {
      {"a,b\r\nc", "a$cb$r$nc"},
      {"\n\r,,", "$n$r$c$c"},
      {"cost: $5", "cost: $5"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TCmdParser::EscapeText(c.plain), c.escaped);
    EXPECT_EQ(TCmdParser::UnescapeText(c.escaped), c.plain);
  }
  // "$" is not escaped, so typed escapes come back decoded: the wire format's own loss.
  EXPECT_EQ(TCmdParser::EscapeText("$c$r"), "$c$r");
  EXPECT_EQ(TCmdParser::UnescapeText("$c$r$n$x$"), ",\r\n$x$");
  // Comma-only escaping leaves line breaks alone, both ways.
  EXPECT_EQ(TCmdParser::EscapeCommas("a,b\r\n$r"), "a$cb\r\n$r");
  EXPECT_EQ(TCmdParser::UnescapeCommas("a$cb$r$n"), "a,b$r$n");
  // Both ways, any text reads as replacing the pairs in turn, in the peers' order, made it.
  const auto replaced = [](std::string text, std::initializer_list<std::pair<std::string, std::string>> pairs) {
    for (const auto& [from, to] : pairs)
      for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
  };
  std::mt19937 random(7);
  const std::string letters("$$rnc,\r\nx\0", 10);
  for (int i = 0; i < 20000; ++i) {
    std::string text(random() % 9, ' ');
    for (char& c : text) c = letters[random() % letters.size()];
    ASSERT_EQ(TCmdParser::EscapeText(text), replaced(text, {{"\r", "$r"}, {"\n", "$n"}, {",", "$c"}})) << i;
    ASSERT_EQ(TCmdParser::UnescapeText(text), replaced(text, {{"$r", "\r"}, {"$n", "\n"}, {"$c", ","}})) << i;
  }
  EXPECT_TRUE(log.empty());
}

TEST(CommandFrame, IsTheExactBytesOnTheWire) {
  EXPECT_EQ(CommandFrame(1006, "", "Hi"), "  1006<>Hi\r\n");
  EXPECT_EQ(CommandFrame(9013, "", ""), "  9013<>\r\n");
  EXPECT_EQ(CommandFrame(9003, "100234,secret", ""), "  9003<100234,secret>\r\n");
  EXPECT_EQ(std::string(ErrorCommand), "  9999<>\r\n");
  // What a sender builds, a receiver reads back.
  const std::string text = TCmdParser::EscapeText("line one\r\nline, two");
  const std::string line = TCmdParser::CleanLine(CommandFrame(1006, "", text));
  EXPECT_EQ(TCmdParser::UnescapeText(TCmdParser::ExtractCommandText(line)), "line one\r\nline, two");
}

TEST(Fields, ReadByPositionNeverShiftOrOverrun) {
  struct Case {
    std::string text;
    std::vector<std::string> fields;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a{$}b{$}c", {"a", "b", "c"}},
      {"a{$}", {"a"}},              // a separator at the end adds no field
      {"{$}{$}x", {"", "", "x"}},
      {"a\r\nb{$}c", {"a\r\nb", "c"}},  // a line break inside a field does not split it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const TFields fields = TFields::Record(c.text);
    EXPECT_EQ(fields.Items(), c.fields);
    EXPECT_EQ(fields[static_cast<int>(c.fields.size())], "");
    EXPECT_EQ(fields[-1], "");
  }
  // A short message record: the missing fields read as empty, numbers as defaults.
  const TFields record = TFields::Record("100234{$}100999{$}bob{$}1{$}x7");
  EXPECT_EQ(record.Count(), 5);
  EXPECT_EQ(record.Int(0, -1), 100234);
  EXPECT_EQ(record.Int(4, 0), 0);
  EXPECT_EQ(record.Int(7, 2960), 2960);
  EXPECT_EQ(TFields::Record("{$} 12 {$}99999999999").Int(1, -1), 12);
  EXPECT_EQ(TFields::Record("{$} 12 {$}99999999999").Int(2, -1), -1);

  const TFields users = TFields::Records("1{$}ann||2{$}bob||");
  ASSERT_EQ(users.Count(), 2);
  EXPECT_EQ(TFields::Record(users[1])[1], "bob");
  const TFields params = TFields::Parameters(TCmdParser::ExtractParameters("9031<1,2,,4>"));
  EXPECT_EQ(params.Items(), (std::vector<std::string>{"1", "2", "", "4"}));
}

}  // namespace
