#include "editor/QuillRtfReader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "QuillRtf_helpers.h"

using namespace quill;
using rtftest::Doc;
using rtftest::ReadRtf;

namespace {

const rtftest::Run& RunAt(const Doc& doc, size_t line, size_t run) { return doc.Lines.at(line).Runs.at(run); }

// The attributes of the character at Index of the text (as Doc::Text spells it).
rtftest::RunAttrs AttrsAt(const Doc& doc, const std::string& needle) {
  for (const auto& line : doc.Lines)
    for (const auto& run : line.Runs)
      if (run.Text.find(needle) != std::string::npos) return run.Attrs;
  ADD_FAILURE() << "no run holds " << needle;
  return {};
}

}  // namespace

TEST(RtfReader, TextAndEscapes) {
  struct Case {
    const char* what;
    std::string rtf;
    std::string text;
  };
  const Case cases[] = {
      {"group then plain text keeps its blank", R"({\rtf1 {\b bold} after})", "bold after"},
      {"the blank after a word is its delimiter", R"({\rtf1\b  two})", " two"},
      {"line ends in the source are not text", "{\\rtf1 a\r\nb\nc}", "abc"},
      {"escaped braces and backslash", R"({\rtf1 a\{b\}c\\d})", "a{b}c\\d"},
      {"control symbols", R"({\rtf1 a\~b\-c\_d})", "a\xA0" "bc-d"},
      {"other control symbols keep their backslash", R"({\rtf1 a\:b\|c})", "a\\:b\\|c"},
      {"hex escape and the text after its two digits", R"({\rtf1 caf\'e9s\'80})", "caf\xE9s\x80"},
      {"unicode with one fallback character", R"({\rtf1 \u8364?x})", "\x80x"},
      {"unicode with a hexadecimal fallback", R"({\rtf1 \u233\'e9x})", "\xE9x"},
      {"negative unicode is read as 16 bits", R"({\rtf1 a\u-3913?b})", "a?b"},
      {"\\uc sets the fallback length", R"({\rtf1\uc2 \u233xyz})", "\xE9z"},
      {"\\uc0: no fallback", R"({\rtf1\uc0 \u233 xy})", "\xE9xy"},
      {"\\uc holds for its group only", R"({\rtf1 {\uc2 \u233xy}\u233zw})", "\xE9\xE9w"},
      {"unicode without a code page byte", R"({\rtf1 \u1046?x})", "?x"},
      {"skipped destinations", R"({\rtf1 {\*\generator Me;}{\title T}{\stylesheet{\s0 Normal;}}a})", "a"},
      {"unknown destination without star keeps its text", R"({\rtf1 {\xyz kept}})", "kept"},
      {"tab, cell, quotes and dashes", R"({\rtf1 a\tab b\cell c\lquote d\rquote\endash e})", "a\tb\tc'd'-e"},
      {"line break inside a paragraph", R"({\rtf1 a\line b})", "a|b"},
      {"final paragraph word gives a trailing break", R"({\rtf1 a\par b\par})", "a|b|"},
      {"backslash before a line end is a paragraph", "{\\rtf1 a\\\nb}", "a|b"},
      {"reading stops at the outermost close", R"({\rtf1 a}b)", "a"},
      {"reading stops at a NUL", std::string("{\\rtf1 a\0b}", 11), "a"},
      {"a stray close brace is ignored", R"(}{\rtf1 a})", "a"},
      {"list text is not content", R"({\rtf1 {\listtext 1.\tab}item})", "item"},
      {"bullet text is not content", R"({\rtf1 {\pntext\f0\'B7\tab}item})", "item"},
      {"binary data is skipped", "{\\rtf1 a{\\*\\x \\bin3 {}{}b}", "ab"},
      {"a surrogate pair is one character", R"({\rtf1 a\u-10179?\u-8704?b})", "a?b"},
      {"a lone first half is still a character", R"({\rtf1\uc0 a\u55357 b\u56832 c})", "a?b?c"},
      {"a row ends its line; the next row starts no empty one",
       R"({\rtf1\trowd a\cell b\cell\row\trowd c\cell\row after})", "|a\tb\t|c\t|after"},
      {"unterminated input", R"({\rtf1 {\b a)", "a"},
      {"empty input", "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadRtf(c.rtf).Text(), c.text) << c.what;
}

TEST(RtfReader, CharacterFormatting) {
  const Doc doc = ReadRtf(
      R"({\rtf1{\fonttbl{\f0\fswiss\fcharset0 Arial;}{\f1\fnil\fcharset2 Symbol;}{\f2000000000 Big;}})"
      R"({\colortbl;\red255\green0\blue0;\red0\green0\blue255;})"
      R"(\f0\fs24 plain {\b bold\b0  unbold} {\i\ul iu\ulnone  i} {\strike st} {\sub sb\sub0  n} {\super sp})"
      R"( {\cf1 red} {\cf9 nocolour} {\highlight2 hl} {\highlight0 nohl} {\f2000000000 big} {\f7 nofont})"
      R"( {\fs21 ten} {\fs nonum} {\fs99999 huge} {\b\i\cf2\fs40 x\plain  pl}})");
  struct Case {
    const char* needle;
    TFontStyles style;
    TQuillScriptStyle script;
    TColor color, bk;
    const char* font;
    int size;
  };
  using S = TQuillScriptStyle;
  const Case cases[] = {
      {"plain", 0, S::ssNormal, -1, -1, "Arial", 12},
      {"bold", fsBold, S::ssNormal, -1, -1, "Arial", 12},
      {"unbold", 0, S::ssNormal, -1, -1, "Arial", 12},
      {"iu", fsItalic | fsUnderline, S::ssNormal, -1, -1, "Arial", 12},
      {" i", fsItalic, S::ssNormal, -1, -1, "Arial", 12},
      {"st", fsStrikeOut, S::ssNormal, -1, -1, "Arial", 12},
      {"sb", 0, S::ssSubScript, -1, -1, "Arial", 12},
      {" n", 0, S::ssNormal, -1, -1, "Arial", 12},
      {"sp", 0, S::ssSuperScript, -1, -1, "Arial", 12},
      {"red", 0, S::ssNormal, 0x0000FF, -1, "Arial", 12},
      {"nocolour", 0, S::ssNormal, -1, -1, "Arial", 12},
      {"hl", 0, S::ssNormal, -1, 0xFF0000, "Arial", 12},
      {"nohl", 0, S::ssNormal, -1, -1, "Arial", 12},
      {"big", 0, S::ssNormal, -1, -1, "Big", 12},
      {"nofont", 0, S::ssNormal, -1, -1, "Arial", 12},
      {"ten", 0, S::ssNormal, -1, -1, "Arial", 10},
      {"nonum", 0, S::ssNormal, -1, -1, "Arial", 72},
      {"huge", 0, S::ssNormal, -1, -1, "Arial", 1638},
      {"x", fsBold | fsItalic, S::ssNormal, 0xFF0000, -1, "Arial", 20},
      {" pl", 0, S::ssNormal, 0, -1, "Arial", 12},
  };
  for (const auto& c : cases) {
    const auto a = AttrsAt(doc, c.needle);
    EXPECT_EQ(a.Style, c.style) << c.needle;
    EXPECT_EQ(a.Script, c.script) << c.needle;
    EXPECT_EQ(a.Color, c.color) << c.needle;
    EXPECT_EQ(a.BkColor, c.bk) << c.needle;
    EXPECT_EQ(a.Font, c.font) << c.needle;
    EXPECT_EQ(a.Size, c.size) << c.needle;
  }
  EXPECT_EQ(AttrsAt(doc, "plain").Charset, 0);

  // A number the font table skipped names no font: the default one.
  for (const char* rtf : {R"({\rtf1{\fonttbl{\f1 Arial;}}\f1 a\plain b})", R"({\rtf1{\fonttbl{\f1 Arial;}}\f1 a\f0 b})"}) {
    const Doc doc = ReadRtf(rtf);
    EXPECT_EQ(AttrsAt(doc, "a").Font, "Arial");
    EXPECT_EQ(AttrsAt(doc, "b").Font, "Times New Roman") << rtf;
  }
  // Text before any font word is in the importer's default font.
  EXPECT_EQ(AttrsAt(ReadRtf(R"({\rtf1 a})"), "a").Font, "Times New Roman");
  EXPECT_EQ(AttrsAt(ReadRtf(R"({\rtf1 a})"), "a").Size, 10);
}

TEST(RtfReader, Tables) {
  TQuillRtfImporter importer;
  importer.ParseString(R"({\rtf1{\fonttbl{\f0 Arial;}{\f3\fcharset238 Times CE;}{\*\panose 0}Courier;}{\colortbl;\red255;\green255\blue0;\red1\green2\blue3;}})");
  ASSERT_EQ(importer.ColorTable().size(), 4u);
  EXPECT_EQ(importer.ColorTable()[0], 0);
  EXPECT_EQ(importer.ColorTable()[1], 255) << "an entry without blue keeps its place";
  EXPECT_EQ(importer.ColorTable()[2], 0x00FF00);
  EXPECT_EQ(importer.ColorTable()[3], 0x030201);
  ASSERT_EQ(importer.FontTable().size(), 3u);
  EXPECT_EQ(importer.FontTable().at(3).Name, "Times CE");
  EXPECT_EQ(importer.FontTable().at(3).Charset, 238);
  EXPECT_EQ(importer.FontTable().at(4).Name, "Courier") << "an entry without a number follows the last";
  TQuillRtfImporter last;
  last.ParseString(R"({\rtf1{\fonttbl{\f2147483647 Last;}{Next;}}})");
  ASSERT_EQ(last.FontTable().size(), 1u) << "nothing follows the largest number";
  EXPECT_EQ(last.FontTable().at(2147483647).Name, "Last");
}

TEST(RtfReader, Links) {
  const Doc doc = ReadRtf(
      R"({\rtf1 see {\field{\*\fldinst{HYPERLINK "http://example.com/a?b=c" \\o "tip"}}{\fldrslt{\ul here}}} and)"
      R"( {\field{\*\fldinst HYPERLINK http://bare.example}{\fldrslt bare}})"
      R"( {\field{\*\fldinst {PAGE}}{\fldrslt 7}} {\field{\fldinst HYPERLINK "q\"r"}{\fldrslt q}}})");
  EXPECT_EQ(doc.Text(), "see here and bare 7 q");
  EXPECT_EQ(AttrsAt(doc, "here").Url, "http://example.com/a?b=c");
  EXPECT_EQ(AttrsAt(doc, "here").Style, fsUnderline);
  EXPECT_EQ(AttrsAt(doc, " and").Url, "") << "the link ends with its field";
  EXPECT_EQ(AttrsAt(doc, "bare").Url, "http://bare.example");
  EXPECT_EQ(AttrsAt(doc, "7").Url, "");
  EXPECT_EQ(AttrsAt(doc, "q").Url, "q\"r") << "a quote escaped inside the quotes";
}

TEST(RtfReader, Paragraphs) {
  const Doc doc = ReadRtf(
      R"({\rtf1\pard\qc\li1440\fi-720\ri720 first\par second\par\pard third\par\pard\qr{\pntext\f0\'B7\tab}fourth\par\pard{\listtext 1.\tab}fifth})");
  ASSERT_EQ(doc.Lines.size(), 5u);
  EXPECT_EQ(doc.Lines[0].Para.Alignment, TQuillAlignment::algCenter);
  EXPECT_EQ(doc.Lines[0].Para.Left, 96);
  EXPECT_EQ(doc.Lines[0].Para.First, -48);
  EXPECT_EQ(doc.Lines[0].Para.Right, 48);
  EXPECT_EQ(doc.Lines[1].Para.Left, 96) << "without \\pard a paragraph keeps the properties";
  EXPECT_EQ(doc.Lines[2].Para, rtftest::ParaProps()) << "\\pard resets every property";
  EXPECT_EQ(doc.Lines[3].Para.Alignment, TQuillAlignment::algRight);
  EXPECT_EQ(doc.Lines[3].Para.Numbering, TQuillNumberingStyle::nbsBullet);
  EXPECT_EQ(doc.Lines[4].Para.Numbering, TQuillNumberingStyle::nbsNumber);
  EXPECT_EQ(doc.Lines[4].Para.Alignment, TQuillAlignment::algLeft);
  // An item's number text may come before its \pard: numbering ends with \par.
  const Doc item = ReadRtf(R"({\rtf1 a\par{\pntext \'b7\tab}\pard\li720 item\par b})");
  ASSERT_EQ(item.Lines.size(), 3u);
  EXPECT_EQ(item.Lines[1].Para.Numbering, TQuillNumberingStyle::nbsBullet);
  EXPECT_EQ(item.Lines[1].Para.Left, 48);
  EXPECT_EQ(item.Lines[2].Para.Numbering, TQuillNumberingStyle::nbsNone);
}

TEST(RtfReader, Pictures) {
  // A 2 x 1 device-independent bitmap, 24 bits: blue then red.
  const std::string dib =
      "28000000" "02000000" "01000000" "0100" "1800" "00000000" "08000000" "00000000" "00000000" "00000000"
      "00000000"
      "FF000000" "00FF0000";
  const Doc doc = ReadRtf(
      "{\\rtf1 a{\\pict\\pngblip\\picw5\\pich5 89504E47}b"
      "{\\pict\\wmetafile8\\picw2540\\pich1270 0100090000}c"
      "{\\pict\\dibitmap0\\picw2\\pich1\\picscalex200 " + dib + "}d"
      "{\\pict\\emfblip\\picw100\\pich100 0102}e"
      "{\\pict\\dibitmap0 0000}f}");
  EXPECT_EQ(doc.Text(), "ab#c#d#ef") << "PNG and a bad bitmap are dropped";
  const auto& wmf = *RunAt(doc, 0, 1).Object;
  EXPECT_FALSE(wmf.Bitmap);
  EXPECT_EQ(wmf.Width, 96);
  EXPECT_EQ(wmf.Height, 48);
  ASSERT_EQ(wmf.Bytes.size(), 22u + 5u) << "placeable header, then the data";
  EXPECT_EQ(wmf.Bytes.substr(0, 4), std::string("\xD7\xCD\xC6\x9A", 4));
  EXPECT_EQ(wmf.Bytes.substr(22), std::string("\x01\x00\x09\x00\x00", 5));
  const auto& bmp = *RunAt(doc, 0, 3).Object;
  ASSERT_TRUE(bmp.Bitmap);
  EXPECT_EQ(bmp.Image.size(), QSize(2, 1));
  EXPECT_EQ(bmp.Image.pixel(0, 0) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(bmp.Image.pixel(1, 0) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(bmp.Width, 4);
  EXPECT_EQ(bmp.Height, 1);
  EXPECT_TRUE(bmp.Stretch);
  EXPECT_TRUE(RunAt(doc, 0, 5).Object->Enhanced);
  EXPECT_EQ(RunAt(doc, 0, 5).Object->Bytes, std::string("\x01\x02", 2));
}

TEST(RtfReader, StreamsAndProgress) {
  std::istringstream rtf("{\\rtf1{\\fonttbl\n{\\f0 A;}\n{\\f1 B;}}\na\nb\nc}\n"), plain("{\\rtx"), shortOne("{\\rt");
  EXPECT_TRUE(TQuillRtfImporter::IsValidStream(rtf));
  EXPECT_EQ(rtf.tellg(), 0);
  EXPECT_FALSE(TQuillRtfImporter::IsValidStream(plain));
  EXPECT_FALSE(TQuillRtfImporter::IsValidStream(shortOne));
  std::string text;
  std::vector<std::pair<int, int>> progress;
  TQuillRtfImporter importer;
  importer.OnParseText = [&](TQuillObject*, const std::string& s, const TCustomQuillEditorAttributes*,
                             const TCustomQuillParagraph*, TCustomQuillEditorObject*) { text += s; };
  importer.OnProgress = [&](TQuillObject*, int pos, int total) { progress.emplace_back(pos, total); };
  importer.ParseStream(rtf);
  EXPECT_EQ(text, "abc");
  // Every line once, those inside the font table too, then the end.
  EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 6}, {2, 6}, {3, 6}, {4, 6}, {5, 6}, {6, 6}}));
}

TEST(RtfReader, HostileInputStaysBounded) {
  // Deep nesting, huge numbers and runaway groups must neither crash nor allocate
  // by the numbers they carry.
  std::string deep = "{\\rtf1 ";
  for (int i = 0; i < 100000; ++i) deep += "{\\b ";
  deep += "x";
  EXPECT_EQ(ReadRtf(deep).Text(), "x");
  EXPECT_EQ(ReadRtf(R"({\rtf1\li99999999999999\fi-99999999999\fs-5\cf-1\highlight99999999999\u99999999999?a{\uc99999999 \u65 x}})").Text(),
            "?aA");
  EXPECT_EQ(ReadRtf("{\\rtf1 {\\pict\\wmetafile8\\picw99999999999\\pich-5\\picscalex99999999 00}x}").Text(), "#x");
  EXPECT_EQ(ReadRtf("{\\rtf1 a\\bin99999999999").Text(), "a");
}
