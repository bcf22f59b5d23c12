#pragma once

// Reading Rich Text Format into a rich document. Only the part of RTF that the
// rich editor can show is understood (fonts, colours, character and paragraph
// formatting, links, bitmap and metafile pictures); everything else is passed
// over. The document arrives as a sequence of pieces through a callback: a text
// with its attributes, a line break, a tab, a picture, or a paragraph's
// properties.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/QuillAttributes.h"

namespace quill {

// The control words the reader knows and the writer writes, numbered in this order.
enum TRtfResWord : uint8_t {
  rwAuthor, rwB, rwBlue, rwCell, rwCf, rwColortbl, rwDeff, rwDeflang, rwEndash, rwF, rwFcharset, rwFi, rwField,
  rwFnil, rwFonttbl, rwFprq, rwFs, rwGreen, rwHighlight, rwI, rwLi, rwLine, rwListtext, rwLquote, rwNosupersub,
  rwObject, rwOperator, rwPar, rwPard, rwPict, rwPlain, rwPnf, rwPnlvlblt, rwPnlvlbody, rwPntext, rwPropname, rwQc,
  rwQj, rwQl, rwQr, rwRed, rwRi, rwRow, rwRquote, rwRtf, rwStaticval, rwStrike, rwStylesheet, rwSub, rwSuper, rwTab,
  rwTitle, rwTrowd, rwU, rwUl, rwUlnone, rwV,
  rwCount
};
extern const char* const RtfResWords[rwCount];

enum TRtfPictureWord : uint8_t {
  pwDibitmap, pwEmfblip, pwJpegblip, pwMacpict, pwPich, pwPicscaled, pwPicscalex, pwPicscaley, pwPicw,
  pwPmmetafile, pwPngblip, pwWbitmap, pwWmetafile,
  pwCount
};
extern const char* const sPictureResWords[pwCount];

enum class TPictureSourceType { psBmp, psEmf, psPng, psJpeg, psMac, psOs2Mf, psWmf, psDib, psOther };
enum class TQuillSizeChange { scNone, scBigFont, scSmallFont };

// A * b / c rounded to nearest, computed wide so large factors cannot overflow;
// the result is clamped to the int range. c == 0 gives -1.
int MulDiv(int64_t a, int64_t b, int64_t c);
// RTF lengths are twips; the editor's are pixels of a 96-per-inch screen.
int RtfWidthToPixel(int twips);
int PixelToRtfWidth(int pixels);

// A metafile picture. It cannot be drawn here, so its bytes are kept as read
// (an enhanced metafile whole; a plain one behind its 22-byte placeable header)
// and written back unchanged.
class TQuillRtfMetaFileObject : public TQuillMetaFileObject {
 public:
  explicit TQuillRtfMetaFileObject(TQuillAttributesEditor* editor = nullptr) : TQuillMetaFileObject(editor) {}
  bool Enhanced = false;
  std::string Bytes;
};

// Sender, piece text, attributes (text pieces), paragraph (line breaks and
// paragraph pieces), object (picture pieces). The pointers live only for the call.
using TParseTextEvent = std::function<void(TQuillObject* sender, const std::string& text,
                                           const TCustomQuillEditorAttributes* attributes,
                                           const TCustomQuillParagraph* paragraph, TCustomQuillEditorObject* object)>;

class TCustomQuillImporter : public TQuillObject {
 public:
  std::string FileName;
  TParseTextEvent OnParseText;
  TQuillProgressEvent OnProgress;

  virtual void ParseStream(std::istream& stream) = 0;
  static bool IsValidStream(std::istream&) { return false; }

 protected:
  void DoParseText(const std::string& text, const TCustomQuillEditorAttributes* attributes,
                   const TCustomQuillParagraph* paragraph, TCustomQuillEditorObject* object);
  void DoProgress(int position, int total);
};

// The formatting one open group sets; unset fields fall through to the groups
// around it.
struct TQuillRtfRecord {
  int Key = -1;
  TFontStyles AddStyles = 0;
  TFontStyles RemoveStyles = 0;
  TColor FontColor = -1;
  int FontSize = -1;
  TColor BkColor = -1;
  bool BkSet = false;
  bool StyleSet = false;
  std::string FontName;
  uint8_t Charset = 0;
  bool ScriptSet = false;
  TQuillScriptStyle Script = TQuillScriptStyle::ssNormal;
  std::string Url;
  int UnicodeSkip = 1;  // fallback characters after a Unicode character
};

class TCustomQuillImporterEx : public TCustomQuillImporter {
 public:
  explicit TCustomQuillImporterEx(const TQuillFont* font = nullptr);

  void Push(int key);
  void Pop(int key);
  TQuillRtfRecord& GetCurrent();
  void WriteFontColor(TColor color) { GetCurrent().FontColor = color; }
  void WriteColor(TColor color);
  void WriteFontName(const std::string& name, uint8_t charset);
  void WriteFontSize(int size) { GetCurrent().FontSize = size; }
  void WriteFontStyle(TFontStyles style, bool on);
  void WriteScriptStyle(TQuillScriptStyle style, bool on);
  void WriteUrl(const std::string& url) { GetCurrent().Url = url; }
  void WriteParagraphAlign(TQuillAlignment alignment) { paragraph_.SetAlignment(alignment); }
  void WriteNumberingStyle(TQuillNumberingStyle style) { paragraph_.SetNumbering(style); }
  const TCustomQuillEditorAttributes& GetCurrentAttributes();
  void SetDefaultFont(const TQuillFont& font) {
    defaultFont_ = font;
    attributesStale_ = true;
  }
  static void InitRecord(TQuillRtfRecord& record) { record = TQuillRtfRecord(); }

 protected:
  std::vector<TQuillRtfRecord> stack_;
  TQuillEditorAttributes attributes_;
  // The records changed since attributes_ was made from them (every way to
  // reach a record marks it).
  bool attributesStale_ = true;
  TQuillParagraph paragraph_;
  TQuillFont defaultFont_;
};

// Cuts RTF into tokens: group open (1), group close (2), text (3) and control
// word (4), plus the control symbols, each of which is one token.
class TQuillRtfParser {
 public:
  enum Kind : uint8_t { tkEnd = 0, tkGroupOpen = 1, tkGroupClose = 2, tkText = 3, tkWord = 4, tkHex, tkStar, tkChar };

  struct Token {
    Kind kind = tkEnd;
    std::string_view text;  // text run (may hold line breaks, which are not text) or word name
    int param = 0;
    bool hasParam = false;
    unsigned char ch = 0;   // tkHex and tkChar
  };

  // Input ends at the first NUL byte.
  void SetInput(std::string_view input);
  Token Next();
  size_t Position() const { return pos_; }
  // Back to a place read before, with the line count it had there.
  void SetPosition(size_t pos, int line) {
    pos_ = pos;
    line_ = line;
  }
  bool AtEnd() const { return pos_ >= input_.size(); }
  // Moves past N raw bytes (binary data), at most to the end.
  void SkipBytes(int64_t n);
  // Lines passed so far, counted only when asked for (progress reporting).
  int Line() const { return line_; }
  bool CountLines = false;

 private:
  std::string_view input_;
  size_t pos_ = 0;
  int line_ = 0;
};

class TQuillRtfImporter : public TCustomQuillImporterEx {
 public:
  explicit TQuillRtfImporter(const TQuillFont* font = nullptr) : TCustomQuillImporterEx(font) {}

  // At least five bytes and they are "{\rtf"; the stream is put back at its start.
  static bool IsValidStream(std::istream& stream);
  void ParseStream(std::istream& stream) override;
  void ParseString(std::string_view s);

  // Read by tests: the tables of the last document.
  struct FontEntry {
    std::string Name;
    uint8_t Charset = 0;
  };
  const std::map<int, FontEntry>& FontTable() const { return fonts_; }
  const std::vector<TColor>& ColorTable() const { return colors_; }

 private:
  using Token = TQuillRtfParser::Token;

  void ProcessToken(const Token& t, TQuillRtfParser::Kind previous);
  void ProcessResWord(const Token& t, TQuillRtfParser::Kind previous);
  void OpenGroup();
  void CloseGroup();
  // Consumes tokens to the close of the group that is open; the caller closes it.
  // Returns the text that follows a "fldinst" word inside it (all of its text
  // when the word was read already).
  // The next token; every input line it reaches is told as progress.
  Token Read();
  std::string SkipGroup(bool inInstruction = false);
  void SkipCurrentGroup();
  void ParseFontTable();
  void WriteTableFont(int number);
  void ParseColorTable();
  void ParseUrl();
  void ProcessPicture();
  void ProcessUnicode(int code);
  void AssignPlainFont();
  void AddText(std::string_view s);
  void AddChar(unsigned char c);
  void FlushText();
  void WriteString(const std::string& s);
  void CheckNewLine();
  void ParagraphChanged();
  void EndParagraph();
  void WriteBackground(const Token& t);
  void ProcessOtherWord(const Token& t);

  TQuillRtfParser parser_;
  std::map<int, FontEntry> fonts_;
  std::vector<TColor> colors_;
  std::string text_;      // text read but not yet delivered (one run of equal attributes)
  int depth_ = 0;         // open groups
  int lineTold_ = 0, lineTotal_ = 0;  // progress: the last line told, and all of them
  int fallbackSkip_ = 0;  // fallback characters of a Unicode character still to drop
  bool finished_ = false;
  bool skipText_ = false;
  bool lineBreakPending_ = false;
  bool firstParagraph_ = true;
  bool paragraphChanged_ = false;
  bool afterRow_ = false;       // the last paragraph end was a table row's
  bool highSurrogate_ = false;  // the last character was the first half of a pair
};

void ImportFromRtfString(std::string_view s, const TParseTextEvent& callback);
void ImportFromRtfStream(std::istream& stream, const TParseTextEvent& callback);

}  // namespace quill
