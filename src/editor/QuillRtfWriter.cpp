#include "editor/QuillRtfWriter.h"

#include <QBuffer>
#include <QColor>
#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <ostream>

namespace quill {

namespace {

const char HexDigits[] = "0123456789abcdef";

// A control byte goes out as a hex escape: as it is, a zero byte would end the
// document for a reader that stops there, and a line end would break the line.
bool AppendControlByte(std::string& out, unsigned char c) {
  if (c >= 0x20) return false;
  out += "\\'";
  out += HexDigits[c >> 4];
  out += HexDigits[c & 15];
  return true;
}

// A link address inside the quoted field instruction, escaped twice: for the
// field (a backslash or quote inside the quotes gets a backslash) and then for
// RTF (backslashes and braces), so it can neither end the quotes early nor close
// a group.
std::string EscapeUrl(const std::string& url) {
  std::string out;
  for (char c : url) {
    if (AppendControlByte(out, static_cast<unsigned char>(c))) continue;
    if (c == '\\' || c == '"') out += "\\\\";
    if (c == '\\' || c == '{' || c == '}') out += '\\';
    out += c;
  }
  return out;
}

void AppendHex(std::string& out, const char* data, size_t size) {
  out.reserve(out.size() + size * 2);
  for (size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(data[i]);
    out += HexDigits[c >> 4];
    out += HexDigits[c & 15];
  }
}

int32_t GetLE32(const std::string& s, size_t at) {
  if (at + 4 > s.size()) return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned char>(s[at])) |
                              static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8 |
                              static_cast<uint32_t>(static_cast<unsigned char>(s[at + 2])) << 16 |
                              static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24);
}

}  // namespace

TQuillRtfExporter::TQuillRtfExporter(std::ostream& stream, const TQuillFont& font) : TCustomQuillExporter(stream, font) {
  AddToColorTable(font.Color);
  AddToFontTable(font.Name, font.Charset, font.Pitch);
  AssignDefaultAttrs();
  current_ = defaults_;
}

void TQuillRtfExporter::AssignDefaultAttrs() {
  defaults_.Color = font_.Color;
  defaults_.BkColor = clNone;
  defaults_.Name = font_.Name;
  defaults_.Charset = font_.Charset;
  defaults_.Pitch = font_.Pitch;
  defaults_.Size = font_.Size;
  defaults_.Style = font_.Style;
  defaults_.Script = TQuillScriptStyle::ssNormal;
}

TQuillRtfExporter::Attrs TQuillRtfExporter::FromAttributes(const TCustomQuillEditorAttributes* a) const {
  if (a == nullptr) return defaults_;
  Attrs r;
  // "No colour" on text means the default text colour.
  r.Color = a->Color() == clNone ? defaults_.Color : a->Color();
  r.BkColor = a->BkColor();
  r.Name = a->Name();
  r.Charset = a->Charset();
  r.Pitch = a->Pitch();
  r.Size = a->Size();
  r.Style = a->Style();
  r.Script = a->ScriptStyle();
  return r;
}

void TQuillRtfExporter::WriteStr(const std::string& s) {
  if (s.empty()) return;
  body_ += s;
  afterWord_ = false;
}

std::string TQuillRtfExporter::GetResWord(TRtfResWord word) { return std::string("\\") + RtfResWords[word]; }

std::string TQuillRtfExporter::GetResWordEx(TRtfResWord word, int value) {
  return GetResWord(word) + std::to_string(value);
}

void TQuillRtfExporter::WriteTag(TRtfResWord word) {
  body_ += GetResWord(word);
  afterWord_ = true;
}

void TQuillRtfExporter::WriteTagEx(TRtfResWord word, int value) {
  body_ += GetResWordEx(word, value);
  afterWord_ = true;
}

std::string TQuillRtfExporter::StringToRtfString(const std::string& s) {
  std::string out;
  out.reserve(s.size() + s.size() / 8);
  for (unsigned char c : s) {
    switch (c) {
      case '\\':
      case '{':
      case '}':
        out += '\\';
        out += static_cast<char>(c);
        break;
      case '\t':
        out += "\\tab ";
        break;
      default:
        if (!AppendControlByte(out, c)) out += static_cast<char>(c);
    }
  }
  return out;
}

std::string TQuillRtfExporter::ColorToRTFColor(TColor color) {
  const QColor c = ToQColor(color);
  return "\\red" + std::to_string(c.red()) + "\\green" + std::to_string(c.green()) + "\\blue" + std::to_string(c.blue());
}

int TQuillRtfExporter::AddToColorTable(TColor color) {
  auto [it, added] = colorIndex_.try_emplace(color, static_cast<int>(colors_.size()));
  if (added) colors_.push_back(color);
  return it->second;
}

int TQuillRtfExporter::AddToFontTable(const std::string& name, uint8_t charset, TFontPitch pitch) {
  std::string entry = GetResWord(rwFnil) + GetResWordEx(rwFcharset, charset);
  if (pitch != TFontPitch::fpDefault) entry += GetResWordEx(rwFprq, static_cast<int>(pitch));
  // The name ends at its semicolon and may not open or close a group.
  std::string plainName = name;
  plainName.erase(std::remove(plainName.begin(), plainName.end(), ';'), plainName.end());
  entry += ' ' + StringToRtfString(plainName);
  auto [it, added] = fontIndex_.try_emplace(entry, static_cast<int>(fonts_.size()));
  if (added) fonts_.push_back(entry);
  return it->second;
}

void TQuillRtfExporter::ApplyColor(TColor color) { WriteTagEx(rwCf, AddToColorTable(color)); }
void TQuillRtfExporter::ApplyBkColor(TColor color) { WriteTagEx(rwHighlight, AddToColorTable(color)); }
void TQuillRtfExporter::ApplyFont(const std::string& name, uint8_t charset, TFontPitch pitch) {
  WriteTagEx(rwF, AddToFontTable(name, charset, pitch));
}
void TQuillRtfExporter::ApplySize(int points) { WriteTagEx(rwFs, points * 2); }

void TQuillRtfExporter::ApplyStyle(TFontStyles oldStyle, TFontStyles newStyle) {
  const struct {
    TFontStyle style;
    TRtfResWord word;
  } kinds[] = {{fsBold, rwB}, {fsItalic, rwI}, {fsUnderline, rwUl}, {fsStrikeOut, rwStrike}};
  for (const auto& k : kinds) {
    const bool had = oldStyle & k.style, has = newStyle & k.style;
    if (has && !had) {
      WriteTag(k.word);
    } else if (had && !has) {
      if (k.style == fsUnderline)
        WriteTag(rwUlnone);
      else
        WriteTagEx(k.word, 0);
    }
  }
}

void TQuillRtfExporter::ApplyScriptStyle(TQuillScriptStyle, TQuillScriptStyle newStyle) {
  // A script style ends with the word made for that: the off forms sub0 and
  // super0 are not RTF, and some readers take the first for subscript on.
  switch (newStyle) {
    case TQuillScriptStyle::ssNormal: WriteTag(rwNosupersub); break;
    case TQuillScriptStyle::ssSubScript: WriteTag(rwSub); break;
    case TQuillScriptStyle::ssSuperScript: WriteTag(rwSuper); break;
  }
}

bool TQuillRtfExporter::ApplyAttributes(const Attrs& a) {
  const size_t before = body_.size();
  if (firstRun_ || a.Color != current_.Color) {
    ApplyColor(a.Color);
    current_.Color = a.Color;
  }
  if (firstRun_ || a.Name != current_.Name || a.Charset != current_.Charset || a.Pitch != current_.Pitch) {
    ApplyFont(a.Name, a.Charset, a.Pitch);
    current_.Name = a.Name;
    current_.Charset = a.Charset;
    current_.Pitch = a.Pitch;
  }
  if (firstRun_ || a.Size != current_.Size) {
    ApplySize(a.Size);
    current_.Size = a.Size;
  }
  if (firstRun_ || a.Style != current_.Style) {
    // Before the first run the reader holds no style at all.
    ApplyStyle(firstRun_ ? 0 : current_.Style, a.Style);
    current_.Style = a.Style;
  }
  if (firstRun_ || a.Script != current_.Script) {
    ApplyScriptStyle(firstRun_ ? TQuillScriptStyle::ssNormal : current_.Script, a.Script);
    current_.Script = a.Script;
  }
  firstRun_ = false;
  return body_.size() != before;
}

void TQuillRtfExporter::ApplyParagraph(const TCustomQuillParagraph& p) {
  const bool bullet = p.Numbering() == TQuillNumberingStyle::nbsBullet;
  // A bulleted paragraph after another goes on without resetting, so the list
  // stays one; its indents are then written even when zero, or the previous
  // paragraph's would carry over.
  const bool continued = bullet && prevNumbering_ == TQuillNumberingStyle::nbsBullet;
  if (!continued) WriteTag(rwPard);
  switch (p.Alignment()) {
    case TQuillAlignment::algLeft: WriteTag(rwQl); break;
    case TQuillAlignment::algRight: WriteTag(rwQr); break;
    case TQuillAlignment::algCenter: WriteTag(rwQc); break;
    case TQuillAlignment::algJustify: WriteTag(rwQj); break;
  }
  if (continued || p.FirstIndent() != 0) WriteTagEx(rwFi, PixelToRtfWidth(p.FirstIndent()));
  if (continued || p.LeftIndent() != 0) WriteTagEx(rwLi, PixelToRtfWidth(p.LeftIndent()));
  if (continued || p.RightIndent() != 0) WriteTagEx(rwRi, PixelToRtfWidth(p.RightIndent()));
  if (bullet) {
    if (symbolFont_ < 0) symbolFont_ = AddToFontTable("Symbol", DEFAULT_CHARSET, TFontPitch::fpDefault);
    const std::string s = std::to_string(symbolFont_);
    if (prevNumbering_ != TQuillNumberingStyle::nbsBullet)
      WriteStr("{\\pntext\\f" + s + "\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf" + s + "\\pnindent360{\\pntxtb\\'B7}}");
    else
      WriteStr("{\\pntext\\f" + s + "\\'B7\\tab}");
  } else if (p.Numbering() == TQuillNumberingStyle::nbsNumber) {
    const std::string n = std::to_string(p.Number());
    // Decimal, starting at the item's own number, so other readers number it
    // too; they take the text after the number only from a group of its own.
    WriteStr("{\\listtext " + n + ".\\tab}{\\*\\pn\\pnlvlbody\\pndec\\pnstart" + n + "\\pnindent360{\\pntxta .}}");
  }
  prevNumbering_ = p.Numbering();
}

void TQuillRtfExporter::NewLine(const TCustomQuillParagraph* paragraph, bool newParagraph) {
  // Some readers lose a raised or lowered run that the paragraph mark ends,
  // and the paragraph break with it: the script is closed first.
  if (newParagraph && current_.Script != TQuillScriptStyle::ssNormal) {
    WriteTag(rwNosupersub);
    current_.Script = TQuillScriptStyle::ssNormal;
  }
  body_ += "\r\n";
  bodyHasLines_ = true;
  afterWord_ = false;  // the line end delimits a word before it
  if (newParagraph) WriteTag(rwPar);
  if (paragraph != nullptr) ApplyParagraph(*paragraph);
  if (newParagraph) ++lineCounter_;
  DoProgress(lineCounter_, ProgressTotal);
}

bool TQuillRtfExporter::ApplyPicture(TCustomQuillEditorObject& object) {
  std::string word, data;
  int width = object.Width(), height = object.Height();
  if (auto* meta = dynamic_cast<TQuillRtfMetaFileObject*>(&object)) {
    if (meta->Bytes.empty()) return false;
    if (meta->Enhanced) {
      word = sPictureResWords[pwEmfblip];
      // The header's frame, in the hundredths of a millimetre the word wants.
      auto side = [&](size_t to, size_t from) {
        const int64_t v = int64_t{GetLE32(meta->Bytes, to)} - GetLE32(meta->Bytes, from);
        return static_cast<int>(std::clamp<int64_t>(v, 0, INT32_MAX));
      };
      width = side(32, 24);
      height = side(36, 28);
      AppendHex(data, meta->Bytes.data(), meta->Bytes.size());
    } else {
      word = std::string(sPictureResWords[pwWmetafile]) + "8";
      width = MulDiv(object.Width(), 2540, 96);
      height = MulDiv(object.Height(), 2540, 96);
      if (meta->Bytes.size() <= 22) return false;  // a placeable header and nothing behind it
      AppendHex(data, meta->Bytes.data() + 22, meta->Bytes.size() - 22);
    }
  } else {
    const QImage* image = object.GetImage();
    if (image == nullptr || image->isNull()) return false;
    // Anything that is not an opaque bitmap is drawn onto white first.
    QImage bitmap(image->size(), QImage::Format_RGB32);
    bitmap.fill(Qt::white);
    {
      QPainter painter(&bitmap);
      painter.drawImage(0, 0, *image);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!bitmap.save(&buffer, "BMP") || bytes.size() <= 14) return false;
    const int bitCount = static_cast<unsigned char>(bytes[28]) | static_cast<unsigned char>(bytes[29]) << 8;
    const int widthBytes = (bitmap.width() * bitCount + 31) / 32 * 4;
    word = std::string(sPictureResWords[pwDibitmap]) + "0\\wbmwidthbytes" + std::to_string(widthBytes);
    AppendHex(data, bytes.constData() + 14, static_cast<size_t>(bytes.size() - 14));
  }
  body_ += "\r\n";
  WriteStr("{\\pict\\" + word + "\\picw" + std::to_string(width) + "\\pich" + std::to_string(height) + " " + data +
           "}");
  return true;
}

void TQuillRtfExporter::WriteString(const std::string& text, const TCustomQuillEditorAttributes* attributes,
                                    TCustomQuillEditorObject* object) {
  if (text.empty() && object == nullptr) return;
  if (object != nullptr && ApplyPicture(*object)) return;
  if (text.empty()) return;
  const Attrs a = FromAttributes(attributes);
  const std::string escaped = StringToRtfString(text);
  const std::string url = attributes != nullptr ? attributes->Url() : std::string();

  // Words written inside the field's result end with its group, so what the
  // reader holds afterwards is what it held before the field.
  const Attrs saved = current_;
  const bool savedFirstRun = firstRun_;
  if (!url.empty())
    WriteStr("{\\field{\\*\\fldinst {HYPERLINK \"" + EscapeUrl(url) + "\"}}{\\fldrslt ");
  ApplyAttributes(a);
  if (a.BkColor == clNone) {
    if (afterWord_) body_ += ' ';
    WriteStr(escaped);
  } else {
    WriteStr("{");
    ApplyBkColor(a.BkColor);
    WriteStr(" " + escaped + "}");
  }
  if (!url.empty()) {
    WriteStr("}}");
    current_ = saved;
    firstRun_ = savedFirstRun;
  }
}

void TQuillRtfExporter::Flush() {
  FlushHeader();
  FlushFontTable();
  FlushColorTable();
  FlushContent();
}

void TQuillRtfExporter::WriteStringToStream(const std::string& s) {
  stream_.write(s.data(), static_cast<std::streamsize>(s.size()));
}

void TQuillRtfExporter::FlushHeader() { WriteStringToStream("{\\rtf1\\ansi "); }

void TQuillRtfExporter::FlushFontTable() {
  if (fonts_.empty()) return;
  std::string out = "{" + GetResWord(rwFonttbl) + "\r\n";
  for (size_t i = 0; i < fonts_.size(); ++i) out += "{" + GetResWordEx(rwF, static_cast<int>(i)) + fonts_[i] + ";}";
  WriteStringToStream(out + "}");
}

void TQuillRtfExporter::FlushColorTable() {
  if (colors_.empty()) return;
  std::string out = "{" + GetResWord(rwColortbl) + "\r\n";
  for (TColor c : colors_) out += ColorToRTFColor(c) + ";";
  WriteStringToStream(out + "}");
}

void TQuillRtfExporter::FlushContent() {
  if (bodyHasLines_ || !body_.empty()) {
    WriteStringToStream(body_);
    WriteStringToStream("\r\n");
  }
  WriteStringToStream("}");
}

}  // namespace quill
