#include "editor/QuillSyntax.h"
#include "editor/QuillSyntaxStyles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quill;

namespace {

struct Token {
  int token;
  std::string text;
  bool operator==(const Token&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Token& t) { return os << "{" << t.token << ", \"" << t.text << "\"}"; }

// Splits one line the way the document does, starting and ending in `state`.
std::vector<Token> ParseLine(TQuillParser& parser, int& state, const std::string& line) {
  std::vector<Token> out;
  int pos = 1;
  while (pos <= static_cast<int>(line.size())) {
    int start = pos;
    int token = parser.ParseString(state, line, pos);
    EXPECT_GT(pos, start) << line;
    out.push_back({token, line.substr(start - 1, pos - start)});
  }
  return out;
}

const std::vector<std::string> kPascalRules = {
    "// a small Pascal-like language",
    "State = Normal",
    "State = Comment",
    "State=Literal, CaseSensitive",
    "Token = tnone",
    "Token = tresword",
    "Token = tcomment",
    "Token = tstring",
    "Token = tinteger",
    "Token = tsymbol",
    "Delimiters = ;,",
    "Normal 'begin' Normal tresword",
    "Normal 'end' Normal tresword",
    "Normal 'end if' Normal tresword",
    "Normal 'end' Normal tresword",  // a repeated word replaces the first
    "Normal ':=' Normal tsymbol",  // never matches: words begin on a word character
    "Normal 'end;' Normal tsymbol",
    "Normal \\{ Comment tcomment",
    "Comment [^}]+ Comment tcomment",
    "Comment \\} Normal tcomment",
    "Normal #39[^#39]*#39| Normal tstring",
    "Normal [0-9]+ Normal tinteger",
    "Normal // Literal tcomment",
    "Literal 'X' Literal tresword",
    "Literal $ Normal tcomment",
    "Normal 'ghost' Normal tundeclared",
    "Nowhere 'ghost' Normal tresword",
    "Normal '' Normal tresword",
};

TEST(QuillSyntax, SplitsLinesIntoTokens) {
  TQuillParser parser;
  parser.SetRules(kPascalRules);
  ASSERT_EQ(parser.StateCount(), 3);
  ASSERT_EQ(parser.TokenCount(), 6);
  EXPECT_EQ(parser.Delimiters(), ";,");
  EXPECT_EQ(parser.GetStyleByName("TSTRING"), 3);
  EXPECT_EQ(parser.GetStyleByName("tundeclared"), -1);

  struct Case {
    int stateBefore;
    std::string line;
    std::vector<Token> tokens;
    int stateAfter;
  };
  const std::vector<Case> cases = {
      {0, "begin end", {{1, "begin"}, {0, " "}, {1, "end"}}, 0},
      {0, "end; end;x", {{5, "end;"}, {0, " "}, {5, "end;"}, {0, "x"}}, 0},
      {0, "BEGIN x:=12;", {{1, "BEGIN"}, {0, " "}, {0, "x"}, {0, ":"}, {0, "="}, {4, "12"}, {0, ";"}}, 0},
      // Where some word of the slot holds a blank, the longest word the text starts
      // with is taken, word boundary or not.
      {0, "ending endif end if", {{1, "end"}, {0, "ing "}, {1, "end"}, {0, "if "}, {1, "end if"}}, 0},
      {0, "a {note} b", {{0, "a "}, {2, "{"}, {2, "note"}, {2, "}"}, {0, " "}, {0, "b"}}, 0},
      {0, "a { open", {{0, "a "}, {2, "{"}, {2, " open"}}, 1},
      {1, "still} 7", {{2, "still"}, {2, "}"}, {0, " "}, {4, "7"}}, 0},
      {0, "s := 'it''s'", {{0, "s "}, {0, ":"}, {0, "="}, {0, " "}, {3, "'it'"}, {3, "'s'"}}, 0},
      {0, "'open", {{3, "'open"}}, 0},
      // The end-of-line rule colours the last token of the line and leads back.
      {0, "x // X x", {{0, "x "}, {2, "//"}, {0, " "}, {1, "X"}, {0, " "}, {2, "x"}}, 0},
      {0, "//", {{2, "//"}}, 0},
      {0, "ghost", {{0, "ghost"}}, 0},
  };
  for (const Case& c : cases) {
    int state = c.stateBefore;
    EXPECT_EQ(ParseLine(parser, state, c.line), c.tokens) << c.line;
    EXPECT_EQ(state, c.stateAfter) << c.line;
  }

  int state = 7, pos = 1;
  EXPECT_EQ(parser.ParseString(state, "abc", pos), -1);
  EXPECT_EQ(pos, 4);
}

TEST(QuillSyntax, FilesExpressionsByWhatTheyCanStartWith) {
  TQuillParser parser;
  parser.SetRules({"State = Normal", "Token = tnone", "Token = tnum", "Token = tnot", "Token = tany",
                   "Normal [0-9]+ Normal tnum", "Normal !q Normal tnot", "Normal \\#. Normal tany",
                   "Normal ^x Normal tany"});
  int state = 0;
  // A negated first item may begin on any character; it is tried after the others.
  EXPECT_EQ(ParseLine(parser, state, "12q#!x"), (std::vector<Token>{{1, "12"}, {0, "q"}, {3, "#!"}, {2, "x"}}));
  // "^" holds only at the first position of the line.
  TQuillParser anchored;
  anchored.SetRules({"State = Normal", "Token = tnone", "Token = tx", "Normal ^x Normal tx"});
  EXPECT_EQ(ParseLine(anchored, state, "xx"), (std::vector<Token>{{1, "x"}, {0, "x"}}));
}

TEST(QuillSyntax, ReportsBadExpressionsAndIgnoresBadLines) {
  TQuillParser parser;
  try {
    parser.SetRules({"State = Normal", "Token = tnone", "Normal a** Normal tnone"});
    ADD_FAILURE() << "accepted a**";
  } catch (const EQuillRegExprError& e) {
    EXPECT_EQ(e.Message(), "a** is invalid mask at (3)");
  }
  parser.SetRules({"State = Normal", "Token = tnone", "Token = t1", "garbage", "Normal", "Normal 'x'",
                   "Color = red", "Normal 'y' Normal", "Normal 'z' Normal t1"});
  int state = 0;
  EXPECT_EQ(ParseLine(parser, state, "x y z"), (std::vector<Token>{{0, "x "}, {0, "y "}, {1, "z"}}));
}

TEST(QuillSyntax, SourceParserWalksLinesAndRestoresItsPlace) {
  TQuillSourceParser parser;
  EXPECT_THROW(
      {
        try {
          parser.Reset();
        } catch (const platform::Exception& e) {
          EXPECT_EQ(e.Message(), "Strings can't be nil");
          throw;
        }
      },
      platform::Exception);

  parser.SetRules(kPascalRules);
  const std::vector<std::string> source = {"", "begin {a", "", "b} 42", ""};
  parser.SetSource(&source);
  parser.Reset();
  std::vector<Token> walked;
  std::string peeked;
  for (int guard = 0; guard < 50 && !parser.EndOfSource(); ++guard) {
    int line = parser.LineIndex(), pos = parser.Position(), state = parser.CurrentState();
    int next = parser.PeekToken(peeked);
    EXPECT_EQ(parser.LineIndex(), line);
    EXPECT_EQ(parser.Position(), pos);
    EXPECT_EQ(parser.CurrentState(), state);
    int token = parser.NextToken();
    EXPECT_EQ(token, next);
    if (token < 0) break;
    EXPECT_EQ(parser.TokenString(), peeked);
    walked.push_back({token, parser.TokenString()});
  }
  EXPECT_EQ(walked, (std::vector<Token>{{1, "begin"}, {0, " "}, {2, "{"}, {2, "a"}, {2, "b"}, {2, "}"}, {0, " "}, {4, "42"}}));
  EXPECT_TRUE(parser.EndOfSource());
  EXPECT_EQ(parser.NextToken(), -1);

  // Saving on one line and restoring after moving to another reloads the line.
  parser.Reset();
  parser.NextToken();
  parser.SaveState();
  while (parser.LineIndex() < 3 && parser.NextToken() >= 0) {
  }
  parser.RestoreState();
  EXPECT_EQ(parser.LineIndex(), 1);
  EXPECT_EQ(parser.Line(), "begin {a");
  EXPECT_EQ(parser.TokenString(), "begin");
  parser.RestoreState();  // nothing saved: ignored
  EXPECT_EQ(parser.LineIndex(), 1);
}

struct ChangeCounter : TQuillObject {
  int count = 0;
  void Changed(TQuillObject*, intptr_t) { ++count; }
};

TEST(QuillSyntax, EditorParserKeepsOneStylePerTokenAndTheUsersColours) {
  TQuillEditorParser parser;
  ChangeCounter counter;
  parser.RegisterNotifier(NotifyEvent<&ChangeCounter::Changed>(&counter));
  ASSERT_EQ(parser.GetStyleCount(), 5);
  EXPECT_EQ(parser.GetDefaultColor(), clWindow);

  parser.SetRules({"State = Normal", "Token = tnone", "Token = tcomment", "Token = tmine"});
  EXPECT_EQ(counter.count, 1);
  ASSERT_EQ(parser.GetStyleCount(), 8);
  EXPECT_EQ(parser.Styles().Items(1).Name(), "tcomment");
  EXPECT_EQ(parser.Styles().Items(1).Description(), "Comment");
  EXPECT_EQ(parser.Styles().Items(3).Name(), "Active Selection");
  TColor color;
  TFontStyles style;
  parser.GetFont(1, color, style);
  EXPECT_EQ(color, 0x800000);
  EXPECT_EQ(style, fsItalic);
  parser.GetFont(2, color, style);  // not in the scheme: the defaults
  EXPECT_EQ(color, clWindowText);
  parser.GetFont(99, color, style);
  EXPECT_EQ(color, clNone);
  EXPECT_EQ(parser.GetColor(-1), clNone);

  // The user's change survives new rules; a change notifies the documents.
  parser.Styles().Items(1).SetFontColor(0x123456);
  EXPECT_EQ(counter.count, 2);
  parser.SetRules({"State = Normal", "Token = tnone", "Token = tstring", "Token = TCOMMENT"});
  EXPECT_EQ(parser.Styles().IndexOfName("tcomment"), 2);
  EXPECT_EQ(parser.Styles().Items(2).FontColor(), 0x123456);
  EXPECT_EQ(parser.Styles().Items(1).FontColor(), 0x000080);

  parser.SetColorMapping(TQuillColorMapping::cmOcean);
  EXPECT_EQ(parser.Styles().Items(1).FontColor(), 0x800080);
  EXPECT_EQ(parser.Styles().Items(1).Color(), 0xFFFF00);
  EXPECT_EQ(parser.GetDefaultColor(), 0xFFFF00);  // style 0 is a token style
  const int before = counter.count;
  parser.ColorChanged(0x010203);  // the documents hear of each token style
  EXPECT_EQ(counter.count, before + 3);
  EXPECT_EQ(parser.Styles().Items(2).Color(), 0x010203);
  EXPECT_EQ(parser.Styles().Items(parser.Styles().IndexOfColor("Search Match")).Color(), 0x808080);
  parser.UnRegisterNotifier(NotifyEvent<&ChangeCounter::Changed>(&counter));

  TQuillEditorParser bare;
  bare.ColorChanged(0x0A0B0C);
  EXPECT_EQ(bare.GetDefaultColor(), 0x0A0B0C);
  EXPECT_EQ(bare.Styles().IndexOfColor("tnone"), -1);
}

TEST(QuillSyntax, SchemesRestyleOnlyTheStylesTheyName) {
  TQuillParserStyles styles(nullptr, false);
  styles.LoadStyles(SchemeRecords(TQuillColorMapping::cmDefault), kSchemeRecordCount - 1);
  styles.Add().SetName("tmine");
  UpdateParserStyles(styles, TQuillColorMapping::cmTwilight);
  EXPECT_EQ(styles.Items(10).FontColor(), 0x808000);  // turl
  EXPECT_EQ(styles.Items(10).Color(), clWindowText);
  EXPECT_EQ(styles.Items(6).FontStyle(), fsBold);  // tresword
  EXPECT_EQ(static_cast<uint32_t>(styles.Items(17).Color()), 0x800000FFu);
  EXPECT_EQ(styles.Items(18).FontColor(), clWindowText);
  EXPECT_EQ(SchemeColor(TQuillColorMapping::cmClassic), 0x800000);
}

}  // namespace
