#pragma once

// Writing a rich document (or its selection) as Rich Text Format, in the same
// small set of control words the reader understands, so that what is written
// and read back keeps its text, attributes, paragraphs and pictures. The caller
// drives it line by line: NewLine at the start of every line, WriteString for
// every run of one attribute entry or every embedded object, then Flush.

#include <iosfwd>
#include <string>
#include <unordered_map>
#include <vector>

#include "editor/QuillAttributes.h"
#include "editor/QuillRtfReader.h"

namespace quill {

class TQuillPages;

class TCustomQuillExporter : public TQuillObject {
 public:
  TCustomQuillExporter(std::ostream& stream, const TQuillFont& font) : stream_(stream), font_(font) {}

  TQuillProgressEvent OnProgress;
  int ProgressTotal = 0;  // number of lines
  // The document's file name, and for a whole text the pages of the editor
  // it comes from, for exporters whose format keeps them.
  std::string FileName;
  const TQuillPages* Pages = nullptr;

  virtual void NewLine(const TCustomQuillParagraph* paragraph, bool newParagraph) = 0;
  virtual void WriteString(const std::string& text, const TCustomQuillEditorAttributes* attributes,
                           TCustomQuillEditorObject* object) = 0;
  virtual void Flush() {}

 protected:
  void DoProgress(int position, int total) {
    if (OnProgress) OnProgress(this, position, total);
  }

  std::ostream& stream_;
  TQuillFont font_;
};

class TQuillRtfExporter : public TCustomQuillExporter {
 public:
  TQuillRtfExporter(std::ostream& stream, const TQuillFont& font);

  void NewLine(const TCustomQuillParagraph* paragraph, bool newParagraph) override;
  void WriteString(const std::string& text, const TCustomQuillEditorAttributes* attributes,
                   TCustomQuillEditorObject* object) override;
  // Header, font table, colour table and body go to the stream.
  void Flush() override;

  int AddToColorTable(TColor color);
  int AddToFontTable(const std::string& name, uint8_t charset, TFontPitch pitch);
  // Backslashes and braces escaped, tabs as tab words; every other byte as it
  // stands (the header declares the ANSI character set).
  static std::string StringToRtfString(const std::string& s);
  // The text of a colour-table entry; system colours are resolved to RGB.
  static std::string ColorToRTFColor(TColor color);

 private:
  struct Attrs {
    TColor Color = clNone;
    TColor BkColor = clNone;
    std::string Name;
    uint8_t Charset = DEFAULT_CHARSET;
    TFontPitch Pitch = TFontPitch::fpDefault;
    int Size = 0;
    TFontStyles Style = 0;
    TQuillScriptStyle Script = TQuillScriptStyle::ssNormal;
  };

  bool ApplyAttributes(const Attrs& a);
  void ApplyColor(TColor color);
  void ApplyBkColor(TColor color);
  void ApplyFont(const std::string& name, uint8_t charset, TFontPitch pitch);
  void ApplySize(int points);
  void ApplyStyle(TFontStyles oldStyle, TFontStyles newStyle);
  void ApplyScriptStyle(TQuillScriptStyle oldStyle, TQuillScriptStyle newStyle);
  void ApplyParagraph(const TCustomQuillParagraph& paragraph);
  bool ApplyPicture(TCustomQuillEditorObject& object);
  void WriteStr(const std::string& s);
  // A control word, and one with its value.
  static std::string GetResWord(TRtfResWord word);
  static std::string GetResWordEx(TRtfResWord word, int value);
  void WriteTag(TRtfResWord word);
  void WriteTagEx(TRtfResWord word, int value);
  void WriteStringToStream(const std::string& s);
  void FlushHeader();
  void FlushFontTable();
  void FlushColorTable();
  void FlushContent();
  void AssignDefaultAttrs();
  Attrs FromAttributes(const TCustomQuillEditorAttributes* a) const;

  Attrs current_;
  Attrs defaults_;
  std::vector<std::string> fonts_;
  std::unordered_map<std::string, int> fontIndex_;
  std::vector<TColor> colors_;
  std::unordered_map<TColor, int> colorIndex_;
  std::string body_;
  bool bodyHasLines_ = false;
  bool firstRun_ = true;
  int symbolFont_ = -1;
  // The body ends with a control word, so text after it needs a blank first.
  bool afterWord_ = false;
  int lineCounter_ = 0;
  TQuillNumberingStyle prevNumbering_ = TQuillNumberingStyle::nbsNone;
};

}  // namespace quill
