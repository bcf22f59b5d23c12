#include "QuillRtf_helpers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "editor/QuillRtfReader.h"
#include "editor/QuillRtfWriter.h"
#include "platform/Charset.h"

using namespace quill;

namespace rtftest {

namespace {

ParaProps PropsOf(const TCustomQuillParagraph& p) {
  return {p.LeftIndent(), p.FirstIndent(), p.RightIndent(), p.Alignment(), p.Numbering()};
}

RunAttrs AttrsOf(const TCustomQuillEditorAttributes& a) {
  RunAttrs r;
  r.Font = a.Name();
  r.Charset = a.Charset();
  r.Size = a.Size();
  r.Color = a.Color();
  r.BkColor = a.BkColor();
  r.Style = a.Style();
  r.Script = a.ScriptStyle();
  r.Url = a.Url();
  return r;
}

}  // namespace

std::string Doc::Text() const {
  std::string s;
  for (size_t i = 0; i < Lines.size(); ++i) {
    if (i > 0) s += '|';
    for (const auto& r : Lines[i].Runs) s += r.Object ? std::string("#") : r.Text;
  }
  return s;
}

unsigned FlagsOf(const RunAttrs& a) {
  unsigned f = 0;
  if (a.Style & fsBold) f |= FlagBold;
  if (a.Style & fsItalic) f |= FlagItalic;
  if (a.Style & fsUnderline) f |= FlagUnderline;
  if (a.Style & fsStrikeOut) f |= FlagStrike;
  if (a.Script == TQuillScriptStyle::ssSubScript) f |= FlagSub;
  if (a.Script == TQuillScriptStyle::ssSuperScript) f |= FlagSuper;
  return f;
}

Doc ReadRtf(const std::string& rtf) {
  Doc doc;
  doc.Lines.emplace_back();
  TQuillRtfImporter importer;
  importer.OnParseText = [&](TQuillObject*, const std::string& text, const TCustomQuillEditorAttributes* a,
                             const TCustomQuillParagraph* p, TCustomQuillEditorObject* o) {
    Line& line = doc.Lines.back();
    if (o != nullptr) {
      auto pic = std::make_shared<Picture>();
      pic->Width = o->Width();
      pic->Height = o->Height();
      pic->Stretch = o->Stretch();
      if (auto* meta = dynamic_cast<TQuillRtfMetaFileObject*>(o)) {
        pic->Enhanced = meta->Enhanced;
        pic->Bytes = meta->Bytes;
      } else if (o->GetImage() != nullptr) {
        pic->Bitmap = true;
        pic->Image = o->GetImage()->copy();
      }
      line.Runs.push_back({"", {}, pic});
      return;
    }
    if (text == "\r\n") {
      ParaProps props = p != nullptr ? PropsOf(*p) : line.Para;
      doc.Lines.emplace_back();
      doc.Lines.back().Para = props;
      return;
    }
    if (text.empty()) {
      if (p != nullptr) line.Para = PropsOf(*p);
      return;
    }
    RunAttrs attrs = a != nullptr ? AttrsOf(*a) : RunAttrs();
    if (!line.Runs.empty() && !line.Runs.back().Object && line.Runs.back().Attrs == attrs)
      line.Runs.back().Text += text;
    else
      line.Runs.push_back({text, attrs, nullptr});
  };
  importer.ParseString(rtf);
  return doc;
}

std::string WriteRtf(const Doc& doc, const TQuillFont& font) {
  std::ostringstream out;
  TQuillRtfExporter exporter(out, font);
  for (size_t i = 0; i < doc.Lines.size(); ++i) {
    const Line& line = doc.Lines[i];
    TCustomQuillParagraph p;
    p.SetNumbering(line.Para.Numbering);
    p.SetLeftIndent(line.Para.Left);
    p.SetFirstIndent(line.Para.First);
    p.SetRightIndent(line.Para.Right);
    p.SetAlignment(line.Para.Alignment);
    exporter.NewLine(&p, i > 0);
    for (const Run& r : line.Runs) {
      if (r.Object) {
        std::unique_ptr<TQuillGraphicObject> object;
        if (r.Object->Bitmap) {
          auto b = std::make_unique<TQuillBitmapObject>();
          b->Image() = r.Object->Image;
          object = std::move(b);
        } else {
          auto m = std::make_unique<TQuillRtfMetaFileObject>();
          m->Enhanced = r.Object->Enhanced;
          m->Bytes = r.Object->Bytes;
          object = std::move(m);
        }
        object->SetWidth(r.Object->Width);
        object->SetHeight(r.Object->Height);
        exporter.WriteString("", nullptr, object.get());
        continue;
      }
      TQuillEditorAttributes a;
      a.SetName(r.Attrs.Font);
      a.SetCharset(r.Attrs.Charset);
      a.SetSize(r.Attrs.Size);
      a.SetColor(r.Attrs.Color);
      a.SetBkColor(r.Attrs.BkColor);
      a.SetStyle(r.Attrs.Style);
      a.SetScriptStyle(r.Attrs.Script);
      a.SetUrl(r.Attrs.Url);
      exporter.WriteString(r.Text, &a, nullptr);
    }
  }
  exporter.Flush();
  return out.str();
}

std::vector<FlatPara> Flatten(const Doc& doc) {
  std::vector<FlatPara> out;
  for (const Line& line : doc.Lines) {
    FlatPara para;
    for (const Run& r : line.Runs)
      for (char c : r.Text) para.push_back({c, FlagsOf(r.Attrs), r.Attrs.Url});
    out.push_back(std::move(para));
  }
  return out;
}

// ---------------------------------------------------------------- pandoc

bool PandocAvailable() {
  static const bool available = std::system("pandoc --version >/dev/null 2>&1") == 0;
  return available;
}

bool LibreOfficeAvailable() {
  static const bool available = std::system("soffice --version >/dev/null 2>&1") == 0;
  return available;
}

bool RunLibreOffice(const std::vector<std::string>& inputs, const std::string& target, const std::string& outDir) {
  // Its own profile, so that no user's settings (or a running instance) take part.
  std::string command = "soffice -env:UserInstallation=file://" + outDir + "/profile --headless --convert-to '" +
                        target + "' --outdir '" + outDir + "'";
  for (const auto& in : inputs) command += " '" + in + "'";
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string RunPandoc(const std::vector<std::string>& args, const std::string& input) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("parlo-rtf-test-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path in = dir / "input", out = dir / "output";
  {
    std::ofstream f(in, std::ios::binary);
    f << input;
  }
  std::string command = "pandoc";
  for (const auto& a : args) command += " " + a;
  command += " '" + in.string() + "' -o '" + out.string() + "' 2>/dev/null";
  std::string result;
  if (std::system(command.c_str()) == 0) {
    std::ifstream f(out, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    result = s.str();
  }
  fs::remove_all(dir);
  return result;
}

namespace {

void FlattenInlines(const QJsonArray& inlines, unsigned flags, const std::string& url, FlatPara& para);

void FlattenInline(const QJsonObject& o, unsigned flags, const std::string& url, FlatPara& para) {
  const QString t = o["t"].toString();
  const QJsonValue c = o["c"];
  if (t == "Str") {
    for (char ch : platform::Utf8ToAnsi(c.toString().toStdString())) para.push_back({ch, flags, url});
  } else if (t == "Space" || t == "SoftBreak" || t == "LineBreak") {
    para.push_back({' ', flags, url});
  } else if (t == "Strong") {
    FlattenInlines(c.toArray(), flags | FlagBold, url, para);
  } else if (t == "Emph") {
    FlattenInlines(c.toArray(), flags | FlagItalic, url, para);
  } else if (t == "Underline") {
    FlattenInlines(c.toArray(), flags | FlagUnderline, url, para);
  } else if (t == "Strikeout") {
    FlattenInlines(c.toArray(), flags | FlagStrike, url, para);
  } else if (t == "Subscript") {
    FlattenInlines(c.toArray(), flags | FlagSub, url, para);
  } else if (t == "Superscript") {
    FlattenInlines(c.toArray(), flags | FlagSuper, url, para);
  } else if (t == "Link") {
    FlattenInlines(c.toArray()[1].toArray(), flags, c.toArray()[2].toArray()[0].toString().toStdString(), para);
  } else if (t == "Span") {
    FlattenInlines(c.toArray()[1].toArray(), flags, url, para);
  }
}

void FlattenInlines(const QJsonArray& inlines, unsigned flags, const std::string& url, FlatPara& para) {
  for (const auto& v : inlines) FlattenInline(v.toObject(), flags, url, para);
}

void FlattenBlocks(const QJsonArray& blocks, std::vector<FlatPara>& out) {
  for (const auto& v : blocks) {
    const QJsonObject o = v.toObject();
    const QString t = o["t"].toString();
    if (t == "Para" || t == "Plain") {
      FlatPara para;
      FlattenInlines(o["c"].toArray(), 0, "", para);
      out.push_back(std::move(para));
    } else if (t == "BulletList") {
      for (const auto& item : o["c"].toArray()) FlattenBlocks(item.toArray(), out);
    }
  }
}

QJsonArray InlinesOf(const Run& r) {
  QJsonArray words;
  std::string word;
  auto flush = [&] {
    if (word.empty()) return;
    words.append(QJsonObject{{"t", "Str"}, {"c", QString::fromStdString(platform::AnsiToUtf8(word))}});
    word.clear();
  };
  for (char c : r.Text) {
    if (c == ' ') {
      flush();
      words.append(QJsonObject{{"t", "Space"}});
    } else {
      word += c;
    }
  }
  flush();
  auto wrap = [&](const char* t) { words = QJsonArray{QJsonObject{{"t", t}, {"c", words}}}; };
  if (r.Attrs.Script == TQuillScriptStyle::ssSubScript) wrap("Subscript");
  if (r.Attrs.Script == TQuillScriptStyle::ssSuperScript) wrap("Superscript");
  if (r.Attrs.Style & fsStrikeOut) wrap("Strikeout");
  if (r.Attrs.Style & fsUnderline) wrap("Underline");
  if (r.Attrs.Style & fsItalic) wrap("Emph");
  if (r.Attrs.Style & fsBold) wrap("Strong");
  if (!r.Attrs.Url.empty()) {
    const QJsonArray attr{"", QJsonArray(), QJsonArray()};
    const QJsonArray target{QString::fromStdString(platform::AnsiToUtf8(r.Attrs.Url)), ""};
    words = QJsonArray{QJsonObject{{"t", "Link"}, {"c", QJsonArray{attr, words, target}}}};
  }
  return words;
}

// Blanks (and tabs) collapsed, trimmed; empty paragraphs dropped.
std::vector<FlatPara> Normalized(const std::vector<FlatPara>& paras) {
  std::vector<FlatPara> out;
  for (const auto& p : paras) {
    FlatPara n;
    for (FlatChar c : p) {
      if (c.C == '\t' || c.C == '\xA0') c.C = ' ';
      if (c.C == ' ' && (n.empty() || n.back().C == ' ')) continue;
      n.push_back(c);
    }
    while (!n.empty() && n.back().C == ' ') n.pop_back();
    if (!n.empty()) out.push_back(std::move(n));
  }
  return out;
}

std::string Describe(const FlatPara& p) {
  std::string s;
  unsigned flags = 0;
  std::string url;
  for (const auto& c : p) {
    if (c.C != ' ' && (c.Flags != flags || c.Url != url)) {
      flags = c.Flags;
      url = c.Url;
      s += "<" + std::to_string(flags) + (url.empty() ? "" : " " + url) + ">";
    }
    s += c.C;
  }
  return s;
}

}  // namespace

std::vector<FlatPara> FlattenPandocJson(const std::string& json) {
  std::vector<FlatPara> out;
  const QJsonDocument d = QJsonDocument::fromJson(QByteArray::fromStdString(json));
  FlattenBlocks(d.object()["blocks"].toArray(), out);
  return out;
}

std::string ToPandocJson(const Doc& doc) {
  QJsonArray blocks;
  for (const Line& line : doc.Lines) {
    QJsonArray inlines;
    for (const Run& r : line.Runs)
      for (const auto& v : InlinesOf(r)) inlines.append(v);
    blocks.append(QJsonObject{{"t", "Para"}, {"c", inlines}});
  }
  QJsonObject root{{"pandoc-api-version", QJsonArray{1, 22, 2, 1}}, {"meta", QJsonObject()}, {"blocks", blocks}};
  return QJsonDocument(root).toJson(QJsonDocument::Compact).toStdString();
}

std::string Compare(const std::vector<FlatPara>& expectedRaw, const std::vector<FlatPara>& actualRaw) {
  const auto expected = Normalized(expectedRaw), actual = Normalized(actualRaw);
  for (size_t i = 0; i < std::max(expected.size(), actual.size()); ++i) {
    const std::string e = i < expected.size() ? Describe(expected[i]) : "(none)";
    const std::string a = i < actual.size() ? Describe(actual[i]) : "(none)";
    bool same = i < expected.size() && i < actual.size() && expected[i].size() == actual[i].size();
    for (size_t k = 0; same && k < expected[i].size(); ++k) {
      const auto &x = expected[i][k], &y = actual[i][k];
      same = x.C == y.C && (x.C == ' ' || (x.Flags == y.Flags && x.Url == y.Url));
    }
    if (!same) return "paragraph " + std::to_string(i) + "\n expected: " + e + "\n   actual: " + a;
  }
  return "";
}

Doc RandomDoc(std::mt19937& rng, int lines, bool plain) {
  static const std::string chars =
      "abcdefghijklmnopqrstuvwxyzABCXYZ0123456789.,;:!?-()'\"/\\{}@#%&*+=<>[]_\xE9\xFC\xDF\x80\xAB\xBB\x93\x94\x96";
  static const char* const fonts[] = {"Arial", "Courier New", "Verdana"};
  static const int sizes[] = {8, 10, 12, 21, 36};
  static const TColor colors[] = {0x0000FF, 0x00AA00, 0x123456};
  static const TColor backs[] = {0x00FFFF, 0xFF00FF};
  static const char* const urls[] = {"http://example.com/a?b=c", "https://parlo.example/x_y", "mailto:a@b.example"};
  static const int indents[] = {0, 12, 24, 48, 100};
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  Doc doc;
  for (int l = 0; l < lines; ++l) {
    Line line;
    if (!plain) {
      line.Para.Alignment = static_cast<TQuillAlignment>(pick(4));
      line.Para.Numbering = static_cast<TQuillNumberingStyle>(pick(3));
      if (line.Para.Numbering == TQuillNumberingStyle::nbsNone) {
        line.Para.Left = indents[pick(5)];
        line.Para.First = indents[pick(5)] - 24;
        line.Para.Right = indents[pick(5)];
      } else {
        line.Para.Left = 48;  // numbering brings its own indents
        line.Para.First = -24;
        line.Para.Right = indents[pick(5)];
      }
    }
    const int runs = 1 + pick(6);
    for (int r = 0; r < runs; ++r) {
      if (r > 0 && pick(2) == 0) line.Runs.push_back({" ", RunAttrs(), nullptr});
      Run run;
      const int words = 1 + pick(3);
      for (int w = 0; w < words; ++w) {
        if (w > 0) run.Text += ' ';
        const int len = 1 + pick(6);
        for (int k = 0; k < len; ++k) run.Text += chars[static_cast<size_t>(pick(static_cast<int>(chars.size())))];
      }
      run.Attrs.Style = static_cast<TFontStyles>(pick(16));
      const int script = pick(6);
      run.Attrs.Script = script == 4 ? TQuillScriptStyle::ssSubScript
                                     : script == 5 ? TQuillScriptStyle::ssSuperScript : TQuillScriptStyle::ssNormal;
      if (pick(5) == 0) run.Attrs.Url = urls[pick(3)];
      if (!plain) {
        run.Attrs.Font = fonts[pick(3)];
        run.Attrs.Size = sizes[pick(5)];
        run.Attrs.Color = colors[pick(3)];
        if (pick(4) == 0) run.Attrs.BkColor = backs[pick(2)];
        if (pick(3) == 0) run.Text += '\t';
      }
      line.Runs.push_back(std::move(run));
    }
    doc.Lines.push_back(std::move(line));
  }
  return doc;
}

}  // namespace rtftest
