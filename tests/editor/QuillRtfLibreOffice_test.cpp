// LibreOffice as the second outside reader and writer of our RTF: the one most
// Linux users have. Each test starts it once for all its files.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QRegularExpression>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "QuillRtf_helpers.h"
#include "editor/QuillRtfReader.h"
#include "editor/QuillRtfWriter.h"

using namespace quill;

namespace {

namespace fs = std::filesystem;

struct Scratch {
  fs::path dir;
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "parlo-rtf-lo-XXXXXX").string();
    dir = mkdtemp(pattern.data());
  }
  ~Scratch() { fs::remove_all(dir); }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(dir / name, std::ios::binary) << bytes;
    return (dir / name).string();
  }
  std::string Read(const std::string& name) const {
    std::ifstream f(dir / name, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
  }
};

TQuillFont EditorFont() {
  TQuillFont f;
  f.Name = "Arial";
  f.Size = 10;
  f.Color = 0x203040;
  return f;
}

// The text of each paragraph (and list item) of LibreOffice's HTML, with the
// sub- and superscript tags kept as markers.
std::vector<std::string> HtmlParagraphs(const std::string& html) {
  QString body = QString::fromUtf8(html.c_str());
  body = body.mid(body.indexOf(QLatin1String("<body")));
  body.replace(QRegularExpression("[\\r\\n\\t ]+"), QStringLiteral(" "));
  body.replace(QRegularExpression("<(sub|sup)[^>]*>"), QStringLiteral("[\\1]"));
  body.replace(QRegularExpression("</(sub|sup)>"), QStringLiteral("[/\\1]"));
  body.replace(QRegularExpression("<img[^>]*width=\"(\\d+)\"[^>]*height=\"(\\d+)\"[^>]*>"),
               QStringLiteral("[img \\1x\\2]"));
  body.replace(QRegularExpression("<(p|li|h\\d)[ >]"), QStringLiteral("\n<\\1 "));
  body.remove(QRegularExpression("<[^>]*>"));
  std::vector<std::string> out;
  for (const QString& line : body.split('\n')) {
    const QString t = line.trimmed();
    if (!t.isEmpty()) out.push_back(t.toStdString());
  }
  return out;
}

}  // namespace

// What we write, LibreOffice shows as we meant it: a script style ends where
// ours does (also at a paragraph's end), numbered items carry their numbers,
// and a picture shows at its own size (how much it is stretched is not
// written).
TEST(RtfLibreOffice, ReadsWhatWeWrite) {
  if (!rtftest::LibreOfficeAvailable()) GTEST_SKIP() << "LibreOffice is not installed";
  std::ostringstream rtf;
  {
    TQuillRtfExporter exporter(rtf, EditorFont());
    TQuillEditorAttributes plain, sub, super;
    plain.Assign(EditorFont());
    sub.Assign(EditorFont());
    sub.SetScriptStyle(TQuillScriptStyle::ssSubScript);
    super.Assign(EditorFont());
    super.SetScriptStyle(TQuillScriptStyle::ssSuperScript);
    TCustomQuillParagraph para;
    exporter.NewLine(&para, false);
    exporter.WriteString("H", &plain, nullptr);
    exporter.WriteString("2", &sub, nullptr);
    exporter.WriteString("O after sub, x", &plain, nullptr);
    exporter.WriteString("2", &super, nullptr);
    exporter.WriteString(" after super", &plain, nullptr);
    exporter.NewLine(&para, true);
    exporter.WriteString("next paragraph", &plain, nullptr);
    exporter.NewLine(&para, true);
    exporter.WriteString("Ends high", &plain, nullptr);
    exporter.WriteString("sup", &super, nullptr);
    for (int n = 1; n <= 3; ++n) {
      TCustomQuillParagraph item;
      item.SetNumbering(TQuillNumberingStyle::nbsNumber);
      item.SetNumber(n);
      exporter.NewLine(&item, true);
      exporter.WriteString("item " + std::to_string(n), &plain, nullptr);
    }
    exporter.NewLine(&para, true);
    TQuillBitmapObject picture;
    picture.Image() = QImage(3, 2, QImage::Format_RGB32);
    picture.Image().fill(Qt::red);
    picture.SetWidth(60);  // drawn at twenty times its own size
    picture.SetHeight(40);
    picture.SetStretch(true);
    exporter.WriteString("", nullptr, &picture);
    exporter.Flush();
  }
  Scratch s;
  const std::string in = s.Write("ours.rtf", rtf.str());
  ASSERT_TRUE(rtftest::RunLibreOffice({in}, "html", s.dir.string()));
  const std::vector<std::string> paras = HtmlParagraphs(s.Read("ours.html"));
  const std::vector<std::string> expected = {"H[sub]2[/sub]O after sub, x[sup]2[/sup] after super", "next paragraph",
                                             "Ends high[sup]sup[/sup]", "item 1", "item 2", "item 3", "[img 3x2]"};
  EXPECT_EQ(paras, expected) << s.Read("ours.html");
  // The items are numbered, in order.
  ASSERT_TRUE(rtftest::RunLibreOffice({in}, "txt:Text", s.dir.string()));
  const std::string text = s.Read("ours.txt");
  for (int n = 1; n <= 3; ++n)
    EXPECT_NE(text.find(std::to_string(n) + ". item " + std::to_string(n)), std::string::npos) << text;
}

// What LibreOffice writes, we read as it shows it: list items keep their
// numbering, text after a table starts its own line, a character beyond 16
// bits is one '?', pictures keep their size.
TEST(RtfLibreOffice, WeReadWhatItWrites) {
  if (!rtftest::LibreOfficeAvailable()) GTEST_SKIP() << "LibreOffice is not installed";
  QImage image(10, 10, QImage::Format_RGB32);
  image.fill(Qt::blue);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  // A flat OpenDocument text: the picture 10 pixels square shown at 40 x 20.
  const std::string fodt =
      R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">
<office:automatic-styles>
<text:list-style style:name="L1"><text:list-level-style-number text:level="1" style:num-suffix="." style:num-format="1"/></text:list-style>
</office:automatic-styles>
<office:body><office:text>
<text:list text:style-name="L1"><text:list-item><text:p>one</text:p></text:list-item><text:list-item><text:p>two</text:p></text:list-item></text:list>
<table:table table:name="T"><table:table-column table:number-columns-repeated="2"/><table:table-row><table:table-cell><text:p>a</text:p></table:table-cell><table:table-cell><text:p>b</text:p></table:table-cell></table:table-row><table:table-row><table:table-cell><text:p>c</text:p></table:table-cell><table:table-cell><text:p>d</text:p></table:table-cell></table:table-row></table:table>
<text:p>after table )" "\xF0\x9F\x98\x80" R"( smile</text:p>
<text:p><draw:frame draw:name="P" text:anchor-type="as-char" svg:width="1.0583cm" svg:height="0.5292cm"><draw:image><office:binary-data>)" +
      png.toBase64().toStdString() + R"(</office:binary-data></draw:image></draw:frame></text:p>
</office:text></office:body></office:document>
)";
  Scratch s;
  ASSERT_TRUE(rtftest::RunLibreOffice({s.Write("theirs.fodt", fodt)}, "rtf:Rich Text Format", s.dir.string()));
  const rtftest::Doc doc = rtftest::ReadRtf(s.Read("theirs.rtf"));
  const std::string text = doc.Text();

  auto lineOf = [&](const std::string& start) -> const rtftest::Line* {
    for (const auto& line : doc.Lines) {
      std::string t;
      for (const auto& r : line.Runs) t += r.Object ? "#" : r.Text;
      if (t.rfind(start, 0) == 0) return &line;
    }
    return nullptr;
  };
  for (const char* item : {"one", "two"}) {
    const rtftest::Line* line = lineOf(item);
    ASSERT_NE(line, nullptr) << item << " in " << text;
    EXPECT_EQ(line->Para.Numbering, TQuillNumberingStyle::nbsNumber) << item;
  }
  EXPECT_NE(lineOf("after table ? smile"), nullptr) << text;
  EXPECT_NE(text.find("|after table ? smile|"), std::string::npos) << text;

  const rtftest::Line* pictureLine = lineOf("#");
  ASSERT_NE(pictureLine, nullptr) << text;
  const auto& picture = pictureLine->Runs.front().Object;
  const std::string rtf = s.Read("theirs.rtf");
  const std::string words = rtf.substr(rtf.find("\\nonshppict"), 300);
  EXPECT_EQ(picture->Width, 40) << words;
  EXPECT_EQ(picture->Height, 20) << words;
}
