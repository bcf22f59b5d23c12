#include "editor/QuillRtfWriter.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <sstream>
#include <string>

#include "QuillRtf_helpers.h"
#include "editor/QuillRtfReader.h"

using namespace quill;
using rtftest::Doc;
using rtftest::Line;

using rtftest::RunAttrs;

namespace {

TQuillFont WriterFont() {
  TQuillFont f;
  f.Name = "Arial";
  f.Size = 10;
  f.Color = 0x203040;
  f.Charset = 0;
  return f;
}

// Adjacent runs with equal attributes as one, the way any reader sees them.
Doc Merged(const Doc& doc) {
  Doc out;
  for (const Line& line : doc.Lines) {
    Line l{line.Para, {}};
    for (const rtftest::Run& r : line.Runs) {
      if (!r.Object && !l.Runs.empty() && !l.Runs.back().Object && l.Runs.back().Attrs == r.Attrs)
        l.Runs.back().Text += r.Text;
      else
        l.Runs.push_back(r);
    }
    out.Lines.push_back(std::move(l));
  }
  return out;
}

std::string DescribeAttrs(const RunAttrs& a) {
  std::ostringstream o;
  o << a.Font << "/" << int(a.Charset) << "/" << a.Size << " c" << std::hex << a.Color << " bk" << a.BkColor << std::dec
    << " s" << int(a.Style) << " sc" << int(a.Script) << " " << a.Url;
  return o.str();
}

// "" when equal, else the first difference.
std::string CompareDocs(const Doc& expected, const Doc& actual) {
  if (expected.Lines.size() != actual.Lines.size())
    return "line count " + std::to_string(expected.Lines.size()) + " vs " + std::to_string(actual.Lines.size()) +
           "\n" + expected.Text() + "\n" + actual.Text();
  for (size_t i = 0; i < expected.Lines.size(); ++i) {
    const Line &e = expected.Lines[i], &a = actual.Lines[i];
    const std::string at = "line " + std::to_string(i) + ": ";
    if (!(e.Para == a.Para))
      return at + "paragraph " + std::to_string(e.Para.Left) + "/" + std::to_string(e.Para.First) + " vs " +
             std::to_string(a.Para.Left) + "/" + std::to_string(a.Para.First);
    if (e.Runs.size() != a.Runs.size()) return at + "run count " + Doc{{e}}.Text() + " vs " + Doc{{a}}.Text();
    for (size_t k = 0; k < e.Runs.size(); ++k) {
      const rtftest::Run &x = e.Runs[k], &y = a.Runs[k];
      if (x.Text != y.Text) return at + "text [" + x.Text + "] vs [" + y.Text + "]";
      if (!(x.Attrs == y.Attrs)) return at + "[" + x.Text + "] " + DescribeAttrs(x.Attrs) + " vs " + DescribeAttrs(y.Attrs);
      if (!x.Object != !y.Object) return at + "object";
      if (x.Object) {
        const auto &p = *x.Object, &q = *y.Object;
        if (p.Bitmap != q.Bitmap || p.Enhanced != q.Enhanced || p.Width != q.Width || p.Height != q.Height ||
            p.Stretch != q.Stretch || p.Bytes != q.Bytes)
          return at + "picture " + std::to_string(p.Width) + "x" + std::to_string(p.Height) + " vs " +
                 std::to_string(q.Width) + "x" + std::to_string(q.Height);
        if (p.Bitmap && p.Image.convertToFormat(QImage::Format_RGB32) != q.Image.convertToFormat(QImage::Format_RGB32))
          return at + "bitmap pixels";
      }
    }
  }
  return "";
}

// The words around the first paragraph mark written while a script style is
// on; "" when there is none.
std::string ParagraphMarkInScript(const std::string& rtf) {
  std::vector<bool> on{false};  // per group
  for (size_t i = 0; i < rtf.size(); ++i) {
    if (rtf[i] == '{') {
      on.push_back(on.back());
    } else if (rtf[i] == '}') {
      if (on.size() > 1) on.pop_back();
    } else if (rtf[i] == '\\') {
      size_t end = i + 1;
      while (end < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[end]))) ++end;
      const std::string word = rtf.substr(i + 1, end - i - 1);
      if (word == "super" || word == "sub") on.back() = true;
      else if (word == "nosupersub" || word == "plain") on.back() = false;
      else if (word == "par" && on.back()) return rtf.substr(i < 40 ? 0 : i - 40, 50);
      i = word.empty() ? i + 1 : end - 1;  // an escaped character is no word
    }
  }
  return "";
}

std::shared_ptr<rtftest::Picture> SamplePicture(int kind) {
  auto p = std::make_shared<rtftest::Picture>();
  if (kind == 0) {
    p->Bitmap = true;
    p->Image = QImage(3, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) p->Image.setPixel(x, y, qRgb(40 * x, 100 * y, 7));
    p->Width = 3;
    p->Height = 2;
  } else if (kind == 1) {
    // An enhanced metafile header: record type 1, bounds, then its frame in
    // hundredths of a millimetre (one inch by half an inch).
    p->Enhanced = true;
    p->Bytes = std::string("\x01\0\0\0\x6c\0\0\0", 8) + std::string(16, '\0');
    for (int v : {0, 0, 2540, 1270})
      for (int b = 0; b < 4; ++b) p->Bytes += static_cast<char>((v >> (8 * b)) & 0xFF);
    p->Bytes += "rest of the records";
    p->Width = 96;
    p->Height = 48;
  } else {
    const Doc d = rtftest::ReadRtf("{\\rtf1{\\pict\\wmetafile8\\picw2540\\pich1270 0100090000aa}}");
    p = d.Lines.at(0).Runs.at(0).Object;
  }
  return p;
}

}  // namespace

TEST(RtfWriter, RunsAndControlWords) {
  RunAttrs plain, bold = plain, back = plain, linked = plain;
  bold.Style = fsBold;
  back.BkColor = 0x00FFFF;
  linked.Url = "http://x.example/a\\b{c}\"d\xE9";
  linked.Style = fsItalic;
  Doc doc{{Line{{}, {rtftest::Run{"one ", plain, nullptr}, rtftest::Run{"two", plain, nullptr}, rtftest::Run{" bold", bold, nullptr},
                     rtftest::Run{"a\tb{c}\\d \xE9\x80", plain, nullptr}, rtftest::Run{"hl", back, nullptr},
                     rtftest::Run{"after", plain, nullptr}, rtftest::Run{"link", linked, nullptr}, rtftest::Run{" tail", plain, nullptr}}}}};
  const std::string rtf = rtftest::WriteRtf(doc, WriterFont());
  struct Case {
    const char* what;
    const char* piece;
  };
  const Case cases[] = {
      {"second run of equal attributes goes on without words", "one two\\b  bold"},
      {"tabs, braces and backslashes escaped, 8-bit text as it is", "\\b0 a\\tab b\\{c\\}\\\\d \xE9\x80"},
      {"a background stays in its own group", "{\\highlight1 hl}after"},
      {"a link is a field; its address escaped; a blank after fldrslt",
       "{\\field{\\*\\fldinst {HYPERLINK \"http://x.example/a\\\\\\\\b\\{c\\}\\\\\"d\xE9\"}}{\\fldrslt \\i link}}"},
      {"after the field the reader is back to what it held before", "}} tail"},
  };
  for (const auto& c : cases) EXPECT_NE(rtf.find(c.piece), std::string::npos) << c.what << "\n" << rtf;

  const Doc back2 = rtftest::ReadRtf(rtf);
  EXPECT_EQ(CompareDocs(Merged(doc), back2), "");

  std::ostringstream empty;
  TQuillRtfExporter exporter(empty, WriterFont());
  exporter.Flush();
  EXPECT_EQ(empty.str(),
            "{\\rtf1\\ansi {\\fonttbl\r\n{\\f0\\fnil\\fcharset0 Arial;}}{\\colortbl\r\n\\red64\\green48\\blue32;}}");
}

TEST(RtfWriter, ParagraphsAndPictures) {
  Doc doc;
  auto para = [](TQuillNumberingStyle n) {
    rtftest::ParaProps p;
    p.Numbering = n;
    if (n != TQuillNumberingStyle::nbsNone) {
      p.Left = 48;
      p.First = -24;
    }
    return p;
  };
  for (auto n : {TQuillNumberingStyle::nbsBullet, TQuillNumberingStyle::nbsBullet, TQuillNumberingStyle::nbsNone,
                 TQuillNumberingStyle::nbsNumber})
    doc.Lines.push_back(Line{para(n), {rtftest::Run{"item", RunAttrs(), nullptr}}});
  for (int kind = 0; kind < 3; ++kind) doc.Lines[2].Runs.push_back(rtftest::Run{"", {}, SamplePicture(kind)});
  const std::string rtf = rtftest::WriteRtf(doc, WriterFont());
  size_t definitions = 0;
  for (size_t at = rtf.find("\\pnlvlblt"); at != std::string::npos; at = rtf.find("\\pnlvlblt", at + 1)) ++definitions;
  EXPECT_EQ(definitions, 1u) << "consecutive bullets define the bullet once\n" << rtf;
  // Pictures: the bitmap without its 14-byte file header (so the info header's
  // size, 40, comes first), the plain metafile without its 22-byte header.
  EXPECT_NE(rtf.find("{\\pict\\dibitmap0\\wbmwidthbytes12\\picw3\\pich2 28000000"), std::string::npos) << rtf;
  EXPECT_NE(rtf.find("{\\pict\\emfblip\\picw2540\\pich1270 010000006c"), std::string::npos) << rtf;
  EXPECT_NE(rtf.find("{\\pict\\wmetafile8\\picw2540\\pich1270 0100090000aa}"), std::string::npos) << rtf;
  EXPECT_EQ(CompareDocs(Merged(doc), rtftest::ReadRtf(rtf)), "");
}

// A raised or lowered run that ends a paragraph is closed before the
// paragraph mark: LibreOffice otherwise loses the run and the break with it.
// Our reader, and pandoc where it knows the words, still read what was meant.
TEST(RtfWriter, AScriptEndsBeforeTheParagraphMark) {
  RunAttrs plain, raised = plain, lowered = plain;
  raised.Script = TQuillScriptStyle::ssSuperScript;
  lowered.Script = TQuillScriptStyle::ssSubScript;
  rtftest::ParaProps bullet;
  bullet.Numbering = TQuillNumberingStyle::nbsBullet;
  bullet.Left = 48;
  bullet.First = -24;
  auto line = [](rtftest::ParaProps para, std::vector<std::pair<const char*, RunAttrs>> runs) {
    Line l{para, {}};
    for (const auto& [text, attrs] : runs) l.Runs.push_back(rtftest::Run{text, attrs, nullptr});
    return l;
  };
  const struct {
    const char* what;
    Doc doc;
    bool pandoc;  // pandoc reads list marks as text
  } rows[] = {
      {"plain paragraphs",
       Doc{{line({}, {{"Ends high", plain}, {"sup", raised}}), line({}, {{"Ends low", plain}, {"sub", lowered}}),
            line({}, {{"plain again", plain}})}},
       true},
      {"a list going on",
       Doc{{line(bullet, {{"item", plain}, {"low", lowered}}), line(bullet, {{"item two", plain}}),
            line(bullet, {{"three", plain}, {"hi", raised}}), line(bullet, {{"four", raised}}),
            line({}, {{"last", plain}})}},
       false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string rtf = rtftest::WriteRtf(row.doc, WriterFont());
    EXPECT_EQ(ParagraphMarkInScript(rtf), "") << rtf;
    EXPECT_EQ(CompareDocs(Merged(row.doc), rtftest::ReadRtf(rtf)), "");
    if (row.pandoc && rtftest::PandocAvailable()) {
      EXPECT_EQ(rtftest::Compare(rtftest::Flatten(row.doc),
                                 rtftest::FlattenPandocJson(rtftest::RunPandoc({"-f", "rtf", "-t", "json"}, rtf))),
                "");
    }
  }
}

// Whatever we write, we read back as the same document.
TEST(RtfWriter, RandomDocumentsReadBackUnchanged) {
  std::mt19937 rng(20261207);
  for (int round = 0; round < 40; ++round) {
    Doc doc = rtftest::RandomDoc(rng, 1 + static_cast<int>(rng() % 8), false);
    for (auto& line : doc.Lines)
      if (rng() % 4 == 0)
        line.Runs.insert(line.Runs.begin() + static_cast<long>(rng() % (line.Runs.size() + 1)),
                         rtftest::Run{"", {}, SamplePicture(static_cast<int>(rng() % 3))});
    const std::string rtf = rtftest::WriteRtf(doc, WriterFont());
    const std::string diff = CompareDocs(Merged(doc), rtftest::ReadRtf(rtf));
    ASSERT_EQ(diff, "") << "round " << round << "\n" << rtf;
    ASSERT_EQ(ParagraphMarkInScript(rtf), "") << "round " << round;
  }
}

// pandoc, a reader and writer no one here wrote, must agree with us on text,
// bold, italic, underline, strike-out and links. It does not know the word
// that ends a script style, so sub- and superscript are left to LibreOffice;
// it reads 8-bit text as Latin-1, where 0x80 to 0x9F are no characters, and
// forgets the character formatting at each paragraph's start, so every line
// starts with plain text here.
TEST(RtfWriter, PandocReadsWhatWeWrite) {
  if (!rtftest::PandocAvailable()) GTEST_SKIP() << "pandoc is not installed";
  std::mt19937 rng(7);
  Doc doc = rtftest::RandomDoc(rng, 150, true);  // one document, one pandoc run
  for (auto& line : doc.Lines) line.Runs.insert(line.Runs.begin(), rtftest::Run{"plain ", RunAttrs(), nullptr});
  const std::string rtf = rtftest::WriteRtf(doc, WriterFont());
  const std::string json = rtftest::RunPandoc({"-f", "rtf", "-t", "json"}, rtf);
  ASSERT_FALSE(json.empty());
  auto asPandocSees = [](std::vector<rtftest::FlatPara> paras) {
    for (auto& p : paras)
      for (auto& c : p) {
        c.Flags &= ~(rtftest::FlagSub | rtftest::FlagSuper);
        if (static_cast<unsigned char>(c.C) >= 0x80 && static_cast<unsigned char>(c.C) < 0xA0) c.C = '?';
      }
    return paras;
  };
  EXPECT_EQ(rtftest::Compare(asPandocSees(rtftest::Flatten(doc)), asPandocSees(rtftest::FlattenPandocJson(json))), "");
}

TEST(RtfWriter, WeReadWhatPandocWrites) {
  if (!rtftest::PandocAvailable()) GTEST_SKIP() << "pandoc is not installed";
  std::mt19937 rng(11);
  const Doc doc = rtftest::RandomDoc(rng, 150, true);
  const std::string rtf = rtftest::RunPandoc({"-f", "json", "-t", "rtf", "-s"}, rtftest::ToPandocJson(doc));
  ASSERT_FALSE(rtf.empty());
  // pandoc underlines every link it writes; that is its look for links, not an
  // attribute of the text.
  auto withoutLinkUnderline = [](std::vector<rtftest::FlatPara> paras) {
    for (auto& p : paras)
      for (auto& c : p)
        if (!c.Url.empty()) c.Flags &= ~rtftest::FlagUnderline;
    return paras;
  };
  EXPECT_EQ(rtftest::Compare(withoutLinkUnderline(rtftest::Flatten(doc)),
                             withoutLinkUnderline(rtftest::Flatten(rtftest::ReadRtf(rtf)))),
            "");
}
