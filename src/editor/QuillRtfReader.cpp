#include "editor/QuillRtfReader.h"

#include <QByteArray>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <istream>
#include <iterator>
#include <sstream>

#include "platform/Charset.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quill {

const char* const RtfResWords[rwCount] = {
    "author", "b", "blue", "cell", "cf", "colortbl", "deff", "deflang", "endash", "f", "fcharset", "fi", "field",
    "fnil", "fonttbl", "fprq", "fs", "green", "highlight", "i", "li", "line", "listtext", "lquote", "nosupersub",
    "object", "operator", "par", "pard", "pict", "plain", "pnf", "pnlvlblt", "pnlvlbody", "pntext", "propname", "qc",
    "qj", "ql", "qr", "red", "ri", "row", "rquote", "rtf", "staticval", "strike", "stylesheet", "sub", "super", "tab",
    "title", "trowd", "u", "ul", "ulnone", "v"};

const char* const sPictureResWords[pwCount] = {"dibitmap", "emfblip", "jpegblip", "macpict", "pich",
                                                "picscaled", "picscalex", "picscaley", "picw", "pmmetafile",
                                                "pngblip", "wbitmap", "wmetafile"};

namespace {

// The words of a table by a small open hash (a document is mostly control
// words, so this runs for most of its bytes).
template <size_t N>
class WordTable {
 public:
  explicit WordTable(const char* const (&words)[N]) {
    slots_.fill({{}, -1});
    for (size_t k = 0; k < N; ++k) {
      const std::string_view word = words[k];
      size_t slot = Hash(word);
      while (slots_[slot].Index >= 0) slot = (slot + 1) % kSlots;
      slots_[slot] = {word, static_cast<int>(k)};
    }
  }
  int Find(std::string_view word) const {
    if (word.empty()) return -1;
    for (size_t slot = Hash(word); slots_[slot].Index >= 0; slot = (slot + 1) % kSlots) {
      const std::string_view entry = slots_[slot].Word;
      if (entry.size() != word.size()) continue;
      size_t i = 0;
      while (i < word.size() && entry[i] == word[i]) ++i;
      if (i == word.size()) return slots_[slot].Index;
    }
    return -1;
  }

 private:
  static constexpr size_t kSlots = 256;  // well over twice the words: probes stay short
  static_assert(N * 2 <= kSlots);
  static size_t Hash(std::string_view w) {
    return (static_cast<size_t>(static_cast<unsigned char>(w[0])) * 7 +
            static_cast<size_t>(static_cast<unsigned char>(w.back())) * 3 + w.size() * 11 +
            static_cast<size_t>(static_cast<unsigned char>(w[w.size() / 2]))) %
           kSlots;
  }
  struct Slot {
    std::string_view Word;
    int Index;
  };
  std::array<Slot, kSlots> slots_;
};

template <size_t N>
int LookUp(const char* const (&table)[N], std::string_view word) {
  static const WordTable<N> index(table);
  return index.Find(word);
}

// Deeper groups are still counted, but share the formatting of the group around
// them, so hostile nesting cannot grow the record stack without bound.
constexpr int MaxRecordDepth = 1000;
constexpr int MaxFontSize = 1638;
constexpr int64_t MaxPictureSide = 32767;
constexpr int64_t MaxPicturePixels = 16 * 1024 * 1024;

// The end of a run of text: the first backslash or brace at or after From.
size_t TextEnd(const char* p, size_t from, size_t n) {
  size_t end = from;
#if defined(__SSE2__)
  // Most of a document is text; sixteen bytes are looked at at once.
  const __m128i backslash = _mm_set1_epi8('\\'), open = _mm_set1_epi8('{'), close = _mm_set1_epi8('}');
  for (; end + 16 <= n; end += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + end));
    const __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(block, backslash),
                                      _mm_or_si128(_mm_cmpeq_epi8(block, open), _mm_cmpeq_epi8(block, close)));
    if (const int mask = _mm_movemask_epi8(hits)) return end + static_cast<size_t>(__builtin_ctz(mask));
  }
#endif
  while (end < n && p[end] != '\\' && p[end] != '{' && p[end] != '}') ++end;
  return end;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if ((s[i] | 0x20) != (prefix[i] | 0x20)) return false;
  return true;
}

void PutLE16(std::string& s, uint16_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>(v >> 8);
}
void PutLE32(std::string& s, uint32_t v) {
  PutLE16(s, static_cast<uint16_t>(v & 0xFFFF));
  PutLE16(s, static_cast<uint16_t>(v >> 16));
}
uint32_t GetLE32(const std::string& s, size_t at) {
  if (at + 4 > s.size()) return 0;
  return static_cast<uint32_t>(static_cast<unsigned char>(s[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(s[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
}
uint16_t GetLE16(const std::string& s, size_t at) {
  if (at + 2 > s.size()) return 0;
  return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8);
}

int ClampInt(int64_t v, int64_t lo, int64_t hi) { return static_cast<int>(std::clamp(v, lo, hi)); }

// Metafile sizes are hundredths of a millimetre.
int HiMetricToPixel(int v) { return MulDiv(v, 96, 2540); }

}  // namespace

int MulDiv(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return -1;
  int64_t p = a * b;
  bool negative = (p < 0) != (c < 0);
  int64_t q = (std::llabs(p) + std::llabs(c) / 2) / std::llabs(c);
  return ClampInt(negative ? -q : q, INT_MIN, INT_MAX);
}

int RtfWidthToPixel(int twips) { return MulDiv(MulDiv(twips, 100, 567), 96, 254); }
int PixelToRtfWidth(int pixels) { return MulDiv(MulDiv(pixels, 567, 100), 254, 96); }

// ---------------------------------------------------------------- importer bases

void TCustomQuillImporter::DoParseText(const std::string& text, const TCustomQuillEditorAttributes* attributes,
                                       const TCustomQuillParagraph* paragraph, TCustomQuillEditorObject* object) {
  if (OnParseText) OnParseText(this, text, attributes, paragraph, object);
}

void TCustomQuillImporter::DoProgress(int position, int total) {
  if (OnProgress) OnProgress(this, position, total);
}

TCustomQuillImporterEx::TCustomQuillImporterEx(const TQuillFont* font) {
  defaultFont_.Name = "Times New Roman";
  defaultFont_.Size = 10;
  if (font != nullptr) defaultFont_ = *font;
}

void TCustomQuillImporterEx::Push(int key) {
  attributesStale_ = true;
  TQuillRtfRecord record;
  record.Key = key;
  if (!stack_.empty()) record.UnicodeSkip = stack_.back().UnicodeSkip;
  stack_.push_back(std::move(record));
}

void TCustomQuillImporterEx::Pop(int key) {
  if (stack_.empty()) return;
  attributesStale_ = true;
  if (key == -1) {
    stack_.pop_back();
    return;
  }
  for (auto it = stack_.rbegin(); it != stack_.rend(); ++it) {
    if (it->Key == key) {
      stack_.erase(std::next(it).base());
      return;
    }
  }
}

TQuillRtfRecord& TCustomQuillImporterEx::GetCurrent() {
  attributesStale_ = true;
  if (stack_.empty()) Push(-1);
  return stack_.back();
}

void TCustomQuillImporterEx::WriteColor(TColor color) {
  auto& r = GetCurrent();
  r.BkColor = color;
  r.BkSet = true;
}

void TCustomQuillImporterEx::WriteFontName(const std::string& name, uint8_t charset) {
  auto& r = GetCurrent();
  r.FontName = name;
  r.Charset = charset;
}

void TCustomQuillImporterEx::WriteFontStyle(TFontStyles style, bool on) {
  auto& r = GetCurrent();
  if (on) {
    r.AddStyles |= style;
    r.RemoveStyles &= static_cast<TFontStyles>(~style);
  } else {
    r.RemoveStyles |= style;
    r.AddStyles &= static_cast<TFontStyles>(~style);
  }
  r.StyleSet = true;
}

void TCustomQuillImporterEx::WriteScriptStyle(TQuillScriptStyle style, bool on) {
  auto& r = GetCurrent();
  r.Script = on ? style : TQuillScriptStyle::ssNormal;
  r.ScriptSet = true;
}

const TCustomQuillEditorAttributes& TCustomQuillImporterEx::GetCurrentAttributes() {
  if (!attributesStale_) return attributes_;
  attributesStale_ = false;
  const std::string* name = &defaultFont_.Name;
  uint8_t charset = defaultFont_.Charset;
  int size = defaultFont_.Size;
  TFontStyles style = 0;
  TColor color = -1, bk = -1;
  TQuillScriptStyle script = TQuillScriptStyle::ssNormal;
  const std::string* url = nullptr;
  for (const auto& r : stack_) {
    if (!r.FontName.empty()) {
      name = &r.FontName;
      charset = r.Charset;
    }
    if (r.FontSize != -1) size = r.FontSize;
    if (r.FontColor != -1) color = r.FontColor;
    if (r.StyleSet)
      style = (r.AddStyles == 0 && r.RemoveStyles == 0) ? 0
                                                         : static_cast<TFontStyles>((style | r.AddStyles) & ~r.RemoveStyles);
    if (r.BkSet) bk = r.BkColor;
    if (r.ScriptSet) script = r.Script;
    if (!r.Url.empty()) url = &r.Url;
  }
  attributes_.SetName(*name);
  attributes_.SetCharset(charset);
  attributes_.SetSize(size);
  attributes_.SetStyle(style);
  attributes_.SetColor(color);
  attributes_.SetBkColor(bk);
  attributes_.SetScriptStyle(script);
  attributes_.SetUrl(url != nullptr ? *url : std::string());
  return attributes_;
}

// ---------------------------------------------------------------- tokenizer

void TQuillRtfParser::SetInput(std::string_view input) {
  const size_t nul = input.find('\0');
  input_ = nul == std::string_view::npos ? input : input.substr(0, nul);
  pos_ = 0;
  line_ = 0;
}

void TQuillRtfParser::SkipBytes(int64_t n) {
  if (n <= 0) return;
  const size_t left = input_.size() - std::min(pos_, input_.size());
  pos_ += static_cast<size_t>(std::min<int64_t>(n, static_cast<int64_t>(left)));
}

TQuillRtfParser::Token TQuillRtfParser::Next() {
  Token t;
  const size_t n = input_.size();
  const char* p = input_.data();
  for (;;) {
    if (pos_ >= n) return t;
    const char c = p[pos_];
    if (c == '{') {
      ++pos_;
      t.kind = tkGroupOpen;
      return t;
    }
    if (c == '}') {
      ++pos_;
      t.kind = tkGroupClose;
      return t;
    }
    if (c != '\\') {
      const size_t start = pos_;
      const size_t end = TextEnd(p, start, n);
      if (CountLines) line_ += static_cast<int>(std::count(p + start, p + end, '\n'));
      pos_ = end;
      t.kind = tkText;
      t.text = input_.substr(start, end - start);
      return t;
    }
    ++pos_;
    if (pos_ >= n) return t;
    const char s = p[pos_];
    if (IsLetter(s)) {
      const size_t start = pos_;
      while (pos_ < n && IsLetter(p[pos_])) ++pos_;
      // Words longer than any RTF word are unknown anyway; keep them short.
      t.text = input_.substr(start, std::min<size_t>(pos_ - start, 32));
      size_t q = pos_;
      const bool negative = q + 1 < n && p[q] == '-' && IsDigit(p[q + 1]);
      if (negative) ++q;
      if (q < n && IsDigit(p[q])) {
        int64_t v = 0;
        for (; q < n && IsDigit(p[q]); ++q)
          if (v <= INT_MAX) v = v * 10 + (p[q] - '0');
        v = std::min<int64_t>(v, INT_MAX);
        t.param = static_cast<int>(negative ? -v : v);
        t.hasParam = true;
        pos_ = q;
      }
      if (pos_ < n && p[pos_] == ' ') ++pos_;
      t.kind = tkWord;
      // Binary data follows its word directly; it must never be read as RTF.
      if (t.text == "bin" && t.hasParam) SkipBytes(t.param);
      return t;
    }
    ++pos_;
    switch (s) {
      case '\'': {
        int v = 0, digits = 0;
        while (digits < 2 && pos_ < n && HexValue(p[pos_]) >= 0) {
          v = v * 16 + HexValue(p[pos_++]);
          ++digits;
        }
        if (digits == 0) continue;
        t.kind = tkHex;
        t.ch = static_cast<unsigned char>(v);
        return t;
      }
      case '*':
        t.kind = tkStar;
        return t;
      case '~':
        t.kind = tkChar;
        t.ch = 0xA0;
        return t;
      case '_':
        t.kind = tkChar;
        t.ch = '-';
        return t;
      case '-':  // optional hyphen: nothing to show
        continue;
      case '\n':
        if (CountLines) ++line_;
        [[fallthrough]];
      case '\r':  // a backslash before a line end is a paragraph end
        t.kind = tkWord;
        t.text = RtfResWords[rwPar];
        return t;
      case '\\':
      case '{':
      case '}':
        t.kind = tkChar;
        t.ch = static_cast<unsigned char>(s);
        return t;
      default:  // any other symbol is text, its backslash with it
        t.kind = tkText;
        t.text = input_.substr(pos_ - 2, 2);
        return t;
    }
  }
}

// ---------------------------------------------------------------- RTF importer

bool TQuillRtfImporter::IsValidStream(std::istream& stream) {
  char head[5] = {};
  stream.clear();
  stream.seekg(0);
  stream.read(head, 5);
  const bool ok = stream.gcount() == 5 && std::memcmp(head, "{\\rtf", 5) == 0;
  stream.clear();
  stream.seekg(0);
  return ok;
}

void TQuillRtfImporter::ParseStream(std::istream& stream) {
  std::string s;
  char block[65536];
  while (stream.read(block, sizeof block) || stream.gcount() > 0)
    s.append(block, static_cast<size_t>(stream.gcount()));
  ParseString(s);
}

void TQuillRtfImporter::ParseString(std::string_view s) {
  stack_.clear();
  fonts_.clear();
  colors_.clear();
  text_.clear();
  attributes_.Assign(defaultFont_);
  attributesStale_ = true;
  paragraph_.Assign(TCustomQuillParagraph());
  depth_ = fallbackSkip_ = 0;
  finished_ = skipText_ = lineBreakPending_ = paragraphChanged_ = afterRow_ = highSurrogate_ = false;
  firstParagraph_ = true;
  if (s.empty()) return;

  parser_.SetInput(s);
  parser_.CountLines = static_cast<bool>(OnProgress);
  // As a list of lines counts them: a break at the very end starts no line.
  lineTotal_ = parser_.CountLines ? static_cast<int>(std::count(s.begin(), s.end(), '\n')) + (s.back() != '\n') : 0;
  lineTold_ = 0;
  auto previous = TQuillRtfParser::tkEnd;
  while (!finished_) {
    const Token t = Read();
    if (t.kind == TQuillRtfParser::tkEnd) break;
    ProcessToken(t, previous);
    previous = t.kind;
  }
  FlushText();
  if (lineBreakPending_) CheckNewLine();
  DoProgress(lineTotal_, lineTotal_);
}

TQuillRtfImporter::Token TQuillRtfImporter::Read() {
  const Token t = parser_.Next();
  // Lines read again after a look-ahead were told the first time.
  while (lineTold_ < parser_.Line()) DoProgress(++lineTold_, lineTotal_);
  return t;
}

void TQuillRtfImporter::ProcessToken(const Token& t, TQuillRtfParser::Kind previous) {
  switch (t.kind) {
    case TQuillRtfParser::tkGroupOpen:
      FlushText();
      OpenGroup();
      break;
    case TQuillRtfParser::tkGroupClose:
      FlushText();
      CloseGroup();
      break;
    case TQuillRtfParser::tkText:
      AddText(t.text);
      break;
    case TQuillRtfParser::tkHex:
    case TQuillRtfParser::tkChar:
      AddChar(t.ch);
      break;
    case TQuillRtfParser::tkStar:
      FlushText();
      SkipCurrentGroup();
      break;
    case TQuillRtfParser::tkWord:
      ProcessResWord(t, previous);
      break;
    case TQuillRtfParser::tkEnd:
      break;
  }
}

void TQuillRtfImporter::OpenGroup() {
  ++depth_;
  fallbackSkip_ = 0;
  if (depth_ <= MaxRecordDepth) Push(-1);
}

void TQuillRtfImporter::CloseGroup() {
  fallbackSkip_ = 0;
  skipText_ = false;
  if (depth_ == 0) return;  // a stray close brace
  if (depth_ <= MaxRecordDepth) Pop(-1);
  if (--depth_ == 0) finished_ = true;  // the document's outermost group is closed
}

std::string TQuillRtfImporter::SkipGroup(bool inInstruction) {
  std::string instruction;
  int depth = 1;
  for (;;) {
    const Token t = Read();
    switch (t.kind) {
      case TQuillRtfParser::tkEnd:
        finished_ = true;
        return instruction;
      case TQuillRtfParser::tkGroupOpen:
        ++depth;
        break;
      case TQuillRtfParser::tkGroupClose:
        if (--depth == 0) return instruction;
        break;
      case TQuillRtfParser::tkWord:
        if (t.text == "fldinst") inInstruction = true;
        break;
      case TQuillRtfParser::tkText:
        if (inInstruction)
          for (char c : t.text)
            if (c != '\r' && c != '\n') instruction += c;
        break;
      case TQuillRtfParser::tkHex:
      case TQuillRtfParser::tkChar:
        if (inInstruction) instruction += static_cast<char>(t.ch);
        break;
      default:
        break;
    }
  }
}

void TQuillRtfImporter::SkipCurrentGroup() {
  SkipGroup();
  if (!finished_) CloseGroup();
}

void TQuillRtfImporter::AddText(std::string_view s) {
  if (skipText_) return;
  while (!s.empty()) {
    // Line ends in RTF source are not text.
    size_t end = 0;
    while (end < s.size() && s[end] != '\r' && s[end] != '\n') ++end;
    std::string_view piece = s.substr(0, end);
    const size_t skipped = std::min(piece.size(), static_cast<size_t>(fallbackSkip_));
    fallbackSkip_ -= static_cast<int>(skipped);
    piece.remove_prefix(skipped);
    if (!piece.empty()) {
      highSurrogate_ = false;
      text_ += piece;
    }
    s.remove_prefix(std::min(end + 1, s.size()));
  }
}

void TQuillRtfImporter::AddChar(unsigned char c) {
  if (fallbackSkip_ > 0) {
    --fallbackSkip_;
    return;
  }
  highSurrogate_ = false;
  if (!skipText_) text_ += static_cast<char>(c);
}

void TQuillRtfImporter::FlushText() {
  if (text_.empty()) return;
  WriteString(text_);
  text_.clear();
}

void TQuillRtfImporter::WriteString(const std::string& s) {
  if (skipText_) return;
  const TCustomQuillEditorAttributes& attributes = GetCurrentAttributes();
  CheckNewLine();
  DoParseText(s, &attributes, nullptr, nullptr);
}

void TQuillRtfImporter::CheckNewLine() {
  if (lineBreakPending_) {
    lineBreakPending_ = false;
    DoParseText("\r\n", nullptr, &paragraph_, nullptr);
  } else if (firstParagraph_) {
    if (paragraphChanged_) DoParseText("", nullptr, &paragraph_, nullptr);
    firstParagraph_ = false;
  }
}

void TQuillRtfImporter::ParagraphChanged() {
  if (firstParagraph_) paragraphChanged_ = true;
}

void TQuillRtfImporter::ProcessResWord(const Token& t, TQuillRtfParser::Kind previous) {
  const int n = t.hasParam ? t.param : -1;
  const int word = LookUp(RtfResWords, t.text);
  // Text-producing words keep the run going; every other known word may change
  // what the text looks like, so what was read so far goes out first.
  if (word != rwU && word != rwLquote && word != rwRquote && word != rwEndash && word >= 0) FlushText();
  // A control word ends the fallback text of a Unicode character early.
  if (word != rwU) fallbackSkip_ = 0;
  if (word != rwU && t.text != "uc") highSurrogate_ = false;
  if (word < 0) {
    ProcessOtherWord(t);
    return;
  }
  switch (static_cast<TRtfResWord>(word)) {
    case rwAuthor:
    case rwOperator:
    case rwPropname:
    case rwStaticval:
    case rwStylesheet:
    case rwTitle:
      SkipCurrentGroup();
      break;
    case rwB:
      WriteFontStyle(fsBold, n != 0);
      break;
    case rwI:
      WriteFontStyle(fsItalic, n != 0);
      break;
    case rwStrike:
      WriteFontStyle(fsStrikeOut, n != 0);
      break;
    case rwUl:
      WriteFontStyle(fsUnderline, n != 0);
      break;
    case rwUlnone:
      WriteFontStyle(fsUnderline, false);
      break;
    case rwCell:
    case rwTab:
      WriteString("\t");
      break;
    case rwCf: {
      const int index = t.hasParam ? t.param : 0;
      if (index >= 0 && index < static_cast<int>(colors_.size())) WriteFontColor(colors_[static_cast<size_t>(index)]);
      break;
    }
    case rwColortbl:
      ParseColorTable();
      break;
    case rwEndash:
      AddText("-");
      break;
    case rwF:
    case rwPnf:
      if (t.hasParam) WriteTableFont(n);
      break;
    case rwFi:
      paragraph_.SetFirstIndent(RtfWidthToPixel(t.hasParam ? t.param : 0));
      ParagraphChanged();
      break;
    case rwLi:
      paragraph_.SetLeftIndent(RtfWidthToPixel(t.hasParam ? t.param : 0));
      ParagraphChanged();
      break;
    case rwRi:
      paragraph_.SetRightIndent(RtfWidthToPixel(t.hasParam ? t.param : 0));
      ParagraphChanged();
      break;
    case rwField:
      ParseUrl();
      break;
    case rwFonttbl:
      ParseFontTable();
      break;
    case rwFs:
      WriteFontSize(t.hasParam ? std::clamp(t.param / 2, 1, MaxFontSize) : 72);
      break;
    case rwHighlight:
      WriteBackground(t);
      break;
    case rwLine:
      WriteString("\r\n");
      break;
    case rwTrowd:
      // A row that follows one that ended needs no other break.
      if (!(afterRow_ && lineBreakPending_)) WriteString("\r\n");
      afterRow_ = false;
      break;
    case rwRow:
      // The row is a line of its own: what follows the table starts a new one.
      EndParagraph();
      afterRow_ = true;
      break;
    case rwListtext:
    case rwPntext:
      WriteNumberingStyle(word == rwListtext ? TQuillNumberingStyle::nbsNumber : TQuillNumberingStyle::nbsBullet);
      if (previous == TQuillRtfParser::tkGroupOpen) skipText_ = true;
      ParagraphChanged();
      break;
    case rwLquote:
    case rwRquote:
      AddText("'");
      break;
    case rwNosupersub:
      WriteScriptStyle(TQuillScriptStyle::ssNormal, true);
      break;
    case rwSub:
      WriteScriptStyle(TQuillScriptStyle::ssSubScript, n != 0);
      break;
    case rwSuper:
      WriteScriptStyle(TQuillScriptStyle::ssSuperScript, n != 0);
      break;
    case rwPar:
      EndParagraph();
      afterRow_ = false;
      break;
    case rwPard:
      // The indents go back with the alignment: an indented paragraph would
      // otherwise indent every one after it. Numbering ends only with \par,
      // so an item's number text may come before its \pard.
      paragraph_.SetAlignment(TQuillAlignment::algLeft);
      paragraph_.SetFirstIndent(0);
      paragraph_.SetLeftIndent(0);
      paragraph_.SetRightIndent(0);
      ParagraphChanged();
      break;
    case rwPict:
      ProcessPicture();
      break;
    case rwPlain:
      AssignPlainFont();
      break;
    case rwQc:
      WriteParagraphAlign(TQuillAlignment::algCenter);
      ParagraphChanged();
      break;
    case rwQj:
      WriteParagraphAlign(TQuillAlignment::algJustify);
      ParagraphChanged();
      break;
    case rwQl:
      WriteParagraphAlign(TQuillAlignment::algLeft);
      ParagraphChanged();
      break;
    case rwQr:
      WriteParagraphAlign(TQuillAlignment::algRight);
      ParagraphChanged();
      break;
    case rwU:
      ProcessUnicode(t.hasParam ? t.param : 0);
      break;
    default:
      break;
  }
}

void TQuillRtfImporter::EndParagraph() {
  if (lineBreakPending_) CheckNewLine();
  WriteNumberingStyle(TQuillNumberingStyle::nbsNone);
  lineBreakPending_ = true;
  firstParagraph_ = false;
}

void TQuillRtfImporter::WriteBackground(const Token& t) {
  TColor color = -1;
  if (t.hasParam && t.param >= 0 && t.param < static_cast<int>(colors_.size())) {
    color = colors_[static_cast<size_t>(t.param)];
    if (t.param == 0 && color == 0) color = -1;
  }
  WriteColor(color);
}

// The number of characters that stand in for a Unicode character: the
// plain text after it for readers without Unicode, passed over.
void TQuillRtfImporter::ProcessOtherWord(const Token& t) {
  if (t.text == "uc") GetCurrent().UnicodeSkip = std::clamp(t.hasParam ? t.param : 1, 0, 16);
}

// The character Code in our code page ("?" when it has none); the plain
// text that follows it for readers without Unicode is passed over.
void TQuillRtfImporter::ProcessUnicode(int code) {
  if (code < 0) code += 65536;  // written as a signed 16-bit number
  const int ansi = code > 0 ? platform::AnsiFromCodePoint(static_cast<char32_t>(code)) : -1;
  fallbackSkip_ = 0;
  // A character beyond 16 bits comes as two halves; its one '?' went out
  // with the first.
  const bool low = code >= 0xDC00 && code <= 0xDFFF;
  if (code > 0 && !(low && highSurrogate_)) AddChar(static_cast<unsigned char>(ansi >= 0 ? ansi : '?'));
  highSurrogate_ = code >= 0xD800 && code <= 0xDBFF;
  fallbackSkip_ = GetCurrent().UnicodeSkip;
}

void TQuillRtfImporter::AssignPlainFont() {
  if (fonts_.empty()) WriteFontName(defaultFont_.Name, defaultFont_.Charset);
  else WriteTableFont(0);
  auto& r = GetCurrent();
  r.FontSize = 12;
  r.FontColor = 0;
  r.BkColor = -1;
  r.BkSet = true;
  r.AddStyles = r.RemoveStyles = 0;
  r.StyleSet = true;
  r.Script = TQuillScriptStyle::ssNormal;
  r.ScriptSet = true;
}

// The table runs from font 0 to its largest number; a number it skipped
// names no font, so the text is in the default one.
void TQuillRtfImporter::WriteTableFont(int number) {
  if (number < 0 || fonts_.empty() || number > fonts_.rbegin()->first) return;
  auto it = fonts_.find(number);
  if (it != fonts_.end()) WriteFontName(it->second.Name, it->second.Charset);
  else WriteFontName("", 0);
}

void TQuillRtfImporter::ParseFontTable() {
  int depth = 0, number = -1;
  uint8_t charset = 1;
  std::string name;
  auto store = [&] {
    std::string trimmed = Trim(name);
    trimmed.erase(std::remove(trimmed.begin(), trimmed.end(), ';'), trimmed.end());
    name.clear();
    if (trimmed.empty()) return;
    const int64_t key = number >= 0 ? number : (fonts_.empty() ? 0 : int64_t{fonts_.rbegin()->first} + 1);
    if (key <= INT_MAX) fonts_[static_cast<int>(key)] = {trimmed, charset};  // no number is left after the largest
    number = -1;
    charset = 0;
  };
  auto addText = [&](char c) {
    if (depth >= 2 || c == '\r' || c == '\n') return;
    if (c == ';')
      store();
    else
      name += c;
  };
  for (;;) {
    const Token t = Read();
    switch (t.kind) {
      case TQuillRtfParser::tkEnd:
        finished_ = true;
        return;
      case TQuillRtfParser::tkGroupOpen:
        ++depth;
        break;
      case TQuillRtfParser::tkGroupClose:
        if (depth == 0) {
          store();
          CloseGroup();
          return;
        }
        if (depth == 1) store();
        --depth;
        break;
      case TQuillRtfParser::tkStar:
        SkipGroup();
        if (depth == 0) {  // the table itself was an ignorable destination
          if (!finished_) CloseGroup();
          return;
        }
        --depth;
        break;
      case TQuillRtfParser::tkWord:
        if (t.text == RtfResWords[rwF] && t.hasParam && t.param >= 0)
          number = t.param;
        else if (t.text == RtfResWords[rwFcharset])
          charset = static_cast<uint8_t>(std::clamp(t.hasParam ? t.param : 0, 0, 255));
        break;
      case TQuillRtfParser::tkText:
        for (char c : t.text) addText(c);
        break;
      case TQuillRtfParser::tkHex:
      case TQuillRtfParser::tkChar:
        addText(static_cast<char>(t.ch));
        break;
    }
  }
}

void TQuillRtfImporter::ParseColorTable() {
  int depth = 0, red = 0, green = 0, blue = 0;
  auto component = [](const Token& t) { return std::clamp(t.hasParam ? t.param : 0, 0, 255); };
  for (;;) {
    const Token t = Read();
    switch (t.kind) {
      case TQuillRtfParser::tkEnd:
        finished_ = true;
        return;
      case TQuillRtfParser::tkGroupOpen:
        ++depth;
        break;
      case TQuillRtfParser::tkGroupClose:
        if (depth == 0) {
          CloseGroup();
          return;
        }
        --depth;
        break;
      case TQuillRtfParser::tkStar:
        SkipGroup();
        if (depth == 0) {
          if (!finished_) CloseGroup();
          return;
        }
        --depth;
        break;
      case TQuillRtfParser::tkWord:
        if (t.text == RtfResWords[rwRed])
          red = component(t);
        else if (t.text == RtfResWords[rwGreen])
          green = component(t);
        else if (t.text == RtfResWords[rwBlue])
          blue = component(t);
        break;
      case TQuillRtfParser::tkText:
        // Each entry ends with its semicolon, so an entry that leaves out a
        // component still keeps every later entry at its number.
        for (char c : t.text) {
          if (c != ';') continue;
          colors_.push_back(red + green * 256 + blue * 65536);
          red = green = blue = 0;
        }
        break;
      default:
        break;
    }
  }
}

void TQuillRtfImporter::ParseUrl() {
  const size_t start = parser_.Position();
  const int line = parser_.Line();
  const Token open = Read();
  if (open.kind != TQuillRtfParser::tkGroupOpen) {
    parser_.SetPosition(start, line);
    return;
  }
  const Token second = Read();
  std::string instruction;
  if (second.kind == TQuillRtfParser::tkStar) {
    instruction = SkipGroup();
  } else if (second.kind == TQuillRtfParser::tkWord && second.text == "fldinst") {
    instruction = SkipGroup(true);  // the instruction group without its star
  } else {
    parser_.SetPosition(start, line);
    return;
  }
  std::string inst = Trim(instruction);
  if (!StartsWithNoCase(inst, "HYPERLINK")) return;
  std::string rest = Trim(std::string_view(inst).substr(9));
  std::string url;
  if (!rest.empty() && rest[0] == '"') {
    // Inside the quotes a backslash takes the next character as it stands.
    for (size_t i = 1; i < rest.size() && rest[i] != '"'; ++i) {
      if (rest[i] == '\\' && i + 1 < rest.size()) ++i;
      url += rest[i];
    }
  } else {
    url = rest.substr(0, rest.find_first_of(" \t"));
  }
  url = Trim(url);
  if (!url.empty()) WriteUrl(url);
}

void TQuillRtfImporter::ProcessPicture() {
  auto source = TPictureSourceType::psBmp;
  int width = -1, height = -1, scaleX = 100, scaleY = 100, mapMode = 8;
  int goalWidth = 0, goalHeight = 0;  // the size shown, in twips; 0 when not given
  std::string data;
  int high = -1;  // first digit of a byte being read
  int depth = 0;
  bool closed = false;
  while (!closed) {
    const Token t = Read();
    switch (t.kind) {
      case TQuillRtfParser::tkEnd:
        finished_ = true;
        closed = true;
        break;
      case TQuillRtfParser::tkGroupOpen:
        ++depth;
        break;
      case TQuillRtfParser::tkGroupClose:
        if (depth == 0) {
          CloseGroup();
          closed = true;
        } else {
          --depth;
        }
        break;
      case TQuillRtfParser::tkStar:
        SkipGroup();
        if (depth == 0) {
          if (!finished_) CloseGroup();
          return;
        }
        --depth;
        break;
      case TQuillRtfParser::tkWord: {
        const int n = t.hasParam ? t.param : 0;
        if (t.text == "picwgoal") goalWidth = std::clamp(n, 0, PixelToRtfWidth(32767));
        if (t.text == "pichgoal") goalHeight = std::clamp(n, 0, PixelToRtfWidth(32767));
        switch (LookUp(sPictureResWords, t.text)) {
          case pwWbitmap: source = TPictureSourceType::psBmp; break;
          case pwEmfblip: source = TPictureSourceType::psEmf; break;
          case pwPngblip: source = TPictureSourceType::psPng; break;
          case pwJpegblip: source = TPictureSourceType::psJpeg; break;
          case pwMacpict: source = TPictureSourceType::psMac; break;
          case pwPmmetafile: source = TPictureSourceType::psOs2Mf; break;
          case pwWmetafile:
            source = TPictureSourceType::psWmf;
            mapMode = t.hasParam ? t.param : 8;
            break;
          case pwDibitmap: source = TPictureSourceType::psDib; break;
          case pwPicw: width = std::max(n, 0); break;
          case pwPich: height = std::max(n, 0); break;
          case pwPicscalex: scaleX = std::clamp(n, 1, 10000); break;
          case pwPicscaley: scaleY = std::clamp(n, 1, 10000); break;
          default: break;
        }
        break;
      }
      case TQuillRtfParser::tkText:
        for (char c : t.text) {
          const int v = HexValue(c);
          if (v < 0) continue;
          if (high < 0) {
            high = v;
          } else {
            data += static_cast<char>(high * 16 + v);
            high = -1;
          }
        }
        break;
      default:
        break;
    }
  }
  if (data.empty()) return;

  std::unique_ptr<TQuillGraphicObject> object;
  int ownWidth = 16, ownHeight = 16;
  try {
    switch (source) {
      case TPictureSourceType::psBmp:
      case TPictureSourceType::psDib: {
        // A device-independent bitmap without its file header: give it one, with
        // the offset of the pixels behind the info header and the palette.
        const uint32_t infoSize = GetLE32(data, 0);
        if (infoSize < 12 || infoSize > data.size()) return;
        // The header's size claims must fit the data before anything is
        // allocated for them.
        const int64_t w = infoSize >= 40 ? std::llabs(static_cast<int32_t>(GetLE32(data, 4))) : GetLE16(data, 4);
        const int64_t h = infoSize >= 40 ? std::llabs(static_cast<int32_t>(GetLE32(data, 8))) : GetLE16(data, 6);
        const int64_t bitCount = infoSize >= 40 ? GetLE16(data, 14) : GetLE16(data, 10);
        const uint32_t compression = infoSize >= 40 ? GetLE32(data, 16) : 0;
        if (w == 0 || h == 0 || w > MaxPictureSide || h > MaxPictureSide) return;
        if ((compression == 0 || compression == 3) && ((w * bitCount + 31) / 32 * 4) * h > static_cast<int64_t>(data.size()))
          return;
        if (w * h > MaxPicturePixels) return;
        uint32_t colors = 0;
        if (infoSize >= 40) {
          const uint16_t bits = GetLE16(data, 14);
          const uint32_t used = GetLE32(data, 32);
          colors = used != 0 ? std::min<uint32_t>(used, 256) : (bits <= 8 ? 1u << bits : 0);
          if (GetLE32(data, 16) == 3 && infoSize == 40) colors += 3;  // bit-field masks
        } else {
          const uint16_t bits = GetLE16(data, 10);
          colors = bits <= 8 ? 1u << bits : 0;
        }
        std::string file = "BM";
        PutLE32(file, static_cast<uint32_t>(data.size() + 14));
        PutLE32(file, 0);
        PutLE32(file, 14 + infoSize + colors * (infoSize >= 40 ? 4 : 3));
        file += data;
        auto bitmap = std::make_unique<TQuillBitmapObject>();
        if (!bitmap->Image().loadFromData(QByteArray::fromRawData(file.data(), static_cast<int>(file.size())), "BMP"))
          return;
        bitmap->Image().detach();
        ownWidth = bitmap->Image().width();
        ownHeight = bitmap->Image().height();
        object = std::move(bitmap);
        break;
      }
      case TPictureSourceType::psEmf: {
        auto meta = std::make_unique<TQuillRtfMetaFileObject>();
        meta->Enhanced = true;
        // The header's frame is the picture's own size.
        if (GetLE32(data, 0) == 1 && data.size() >= 40) {
          auto side = [&](size_t to, size_t from) {
            const int64_t v = int64_t{static_cast<int32_t>(GetLE32(data, to))} - static_cast<int32_t>(GetLE32(data, from));
            return ClampInt(MulDiv(std::clamp<int64_t>(v, 0, INT_MAX), 96, 2540), 0, 32767);
          };
          ownWidth = side(32, 24);
          ownHeight = side(36, 28);
        }
        if (width >= 0) width = HiMetricToPixel(width);
        if (height >= 0) height = HiMetricToPixel(height);
        meta->Bytes = std::move(data);
        object = std::move(meta);
        break;
      }
      case TPictureSourceType::psWmf: {
        auto meta = std::make_unique<TQuillRtfMetaFileObject>();
        if (mapMode != 1) {
          if (width >= 0) width = HiMetricToPixel(width);
          if (height >= 0) height = HiMetricToPixel(height);
        }
        // Writers differ on the unit of the picture's own size; the size it is
        // shown at is the same for all of them.
        if (goalWidth > 0) width = RtfWidthToPixel(goalWidth);
        if (goalHeight > 0) height = RtfWidthToPixel(goalHeight);
        if (width >= 0) ownWidth = width;
        if (height >= 0) ownHeight = height;
        std::string header;
        PutLE32(header, 2596720087u);
        PutLE16(header, 0);
        PutLE16(header, 0);
        PutLE16(header, 0);
        PutLE16(header, static_cast<uint16_t>(ownWidth));
        PutLE16(header, static_cast<uint16_t>(ownHeight));
        PutLE16(header, 96);
        PutLE32(header, 0);
        uint16_t sum = 0;
        for (size_t i = 0; i < 20; i += 2) sum ^= GetLE16(header, i);
        PutLE16(header, sum);
        meta->Bytes = header + data;
        object = std::move(meta);
        break;
      }
      default:
        return;  // formats this editor does not read
    }
  } catch (const std::exception&) {
    return;  // a picture that cannot be read is dropped; the text goes on
  }
  if (goalWidth > 0) width = RtfWidthToPixel(goalWidth);
  if (goalHeight > 0) height = RtfWidthToPixel(goalHeight);
  if (width < 0) width = ownWidth;
  if (height < 0) height = ownHeight;
  // A goal is scaled in twips, before the rounding to whole pixels.
  auto shown = [](int pixels, int goal, int scale) {
    return goal > 0 ? RtfWidthToPixel(MulDiv(goal, scale, 100)) : ClampInt(int64_t{pixels} * scale / 100, 0, 32767);
  };
  object->SetWidth(ClampInt(shown(width, goalWidth, scaleX), 0, 32767));
  object->SetHeight(ClampInt(shown(height, goalHeight, scaleY), 0, 32767));
  object->SetStretch(scaleX != 100 || scaleY != 100 || width != ownWidth || height != ownHeight);
  // A picture that starts a paragraph belongs on the new line.
  if (!skipText_) CheckNewLine();
  DoParseText("", nullptr, nullptr, object.get());
}

// ---------------------------------------------------------------- shortcuts

void ImportFromRtfString(std::string_view s, const TParseTextEvent& callback) {
  TQuillRtfImporter importer;
  importer.OnParseText = callback;
  importer.ParseString(s);
}

void ImportFromRtfStream(std::istream& stream, const TParseTextEvent& callback) {
  TQuillRtfImporter importer;
  importer.OnParseText = callback;
  importer.ParseStream(stream);
}

}  // namespace quill
