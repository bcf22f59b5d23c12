#pragma once

// A plain model of a rich document for the RTF tests: what the importer delivers,
// what the exporter is fed, and what pandoc makes of either.

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "editor/QuillAttributes.h"

namespace rtftest {

struct RunAttrs {
  std::string Font = "Arial";
  uint8_t Charset = 0;
  int Size = 10;
  quill::TColor Color = 0x203040;
  quill::TColor BkColor = quill::clNone;
  quill::TFontStyles Style = 0;
  quill::TQuillScriptStyle Script = quill::TQuillScriptStyle::ssNormal;
  std::string Url;
  bool operator==(const RunAttrs&) const = default;
};

struct Picture {
  bool Bitmap = false;  // else a metafile
  bool Enhanced = false;
  int Width = 0, Height = 0;
  bool Stretch = false;
  std::string Bytes;   // metafile bytes as kept
  QImage Image;        // bitmap pixels
};

struct Run {
  std::string Text;
  RunAttrs Attrs;
  std::shared_ptr<Picture> Object;
};

struct ParaProps {
  int Left = 0, First = 0, Right = 0;
  quill::TQuillAlignment Alignment = quill::TQuillAlignment::algLeft;
  quill::TQuillNumberingStyle Numbering = quill::TQuillNumberingStyle::nbsNone;
  bool operator==(const ParaProps&) const = default;
};

struct Line {
  ParaProps Para;
  std::vector<Run> Runs;
};

struct Doc {
  std::vector<Line> Lines;
  std::string Text() const;  // lines joined with '|', pictures as '#'
};

// Our importer's pieces collected into lines (adjacent equal runs merged).
Doc ReadRtf(const std::string& rtf);
// Our exporter fed line by line; the first line starts no paragraph.
std::string WriteRtf(const Doc& doc, const quill::TQuillFont& font);

// One character with the attributes every reader agrees on.
struct FlatChar {
  char C;
  unsigned Flags;  // FlagBold ...
  std::string Url;
};
enum : unsigned { FlagBold = 1, FlagItalic = 2, FlagUnderline = 4, FlagStrike = 8, FlagSub = 16, FlagSuper = 32 };
using FlatPara = std::vector<FlatChar>;
std::vector<FlatPara> Flatten(const Doc& doc);
unsigned FlagsOf(const RunAttrs& a);

// pandoc as an outside reader and writer. Available() is false when it is not installed.
bool PandocAvailable();
std::string RunPandoc(const std::vector<std::string>& args, const std::string& input);
// LibreOffice (Writer, headless) as a second outside reader and writer. It starts
// slowly, so convert many files in one run: every file of `inputs` (paths) is
// converted to `target` (a --convert-to value) into `outDir`, with a profile of its
// own beside it. Available() is false when it is not installed.
bool LibreOfficeAvailable();
bool RunLibreOffice(const std::vector<std::string>& inputs, const std::string& target, const std::string& outDir);

// A pandoc JSON document flattened into paragraphs (Windows-1252 text).
std::vector<FlatPara> FlattenPandocJson(const std::string& json);
// A pandoc JSON document made from our model (paragraph per line).
std::string ToPandocJson(const Doc& doc);

// Paragraph-by-paragraph comparison; blanks and tabs compare as one blank and
// their attributes are not compared (readers differ on where a run's edge lies).
// Returns "" when equal, else a description of the first difference.
std::string Compare(const std::vector<FlatPara>& expected, const std::vector<FlatPara>& actual);

// A random document. Plain: default paragraphs, no pictures, no backgrounds,
// the attributes every reader knows.
Doc RandomDoc(std::mt19937& rng, int lines, bool plain);

}  // namespace rtftest
