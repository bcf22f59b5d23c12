#pragma once

// One-line formatted texts as hints and list boxes show them: a line is read
// with the RTF importer into runs of text with a style and a colour, measured
// once, and painted run by run. A run that is just "|" is a column stop: it
// is not drawn, and list boxes widen it so that columns line up.

#include <memory>
#include <string>
#include <vector>

#include "editor/QuillAttributes.h"
#include "editor/QuillDrawing.h"
#include "editor/QuillRtfReader.h"

namespace quill {

// One run of a line; a line's head record holds the line's total width and
// its greatest height and ascent, and its Next is the first run.
struct TQuillRtfInfo {
  int Width = 0;
  int Height = 0;
  int Ascent = 0;
  TColor Color = clNone;  // the run's background: kept, not painted
  TColor FontColor = clWindowText;
  TFontStyles FontStyle = 0;
  std::string Text;
  std::unique_ptr<TQuillRtfInfo> Next;

  bool IsColumnStop() const { return Text == "|"; }
};

// Each font once per face, size, style and colour.
class TQuillRtfFontManager {
 public:
  const TQuillFont& GetFont(const std::string& name, int size, TFontStyles style, TColor color);
  int Count() const { return static_cast<int>(fonts_.size()); }
  void Clear() { fonts_.clear(); }

 private:
  std::vector<std::unique_ptr<TQuillFont>> fonts_;
};

class TQuillRtfPainter {
 public:
  // Measure is the canvas runs are measured on.
  explicit TQuillRtfPainter(TCanvas& measure);
  TQuillRtfPainter(const TQuillRtfPainter&) = delete;
  TQuillRtfPainter& operator=(const TQuillRtfPainter&) = delete;

  // Reads one line and keeps it; the head stays valid until DestroyItems.
  TQuillRtfInfo* AddRtfString(const std::string& s);
  // The runs left to right from Rect's top-left, each in its style and
  // (unless Selected, which keeps the canvas's text colour) its colour.
  void PaintToCanvas(TCanvas& canvas, const TRect& rect, const TQuillRtfInfo* head, bool selected,
                     bool fillBackground) const;
  // The font plain text in the lines takes.
  void AssignFont(const TQuillFont& font) { importer_.SetDefaultFont(font); }
  void DestroyItems() { lines_.clear(); }
  int Count() const { return static_cast<int>(lines_.size()); }

 private:
  void ParseText(const std::string& text, const TCustomQuillEditorAttributes* attributes);
  void AddRun(const std::string& text, const TCustomQuillEditorAttributes& attributes);

  TCanvas& measure_;
  TQuillRtfInfo* current_ = nullptr;
  TQuillRtfInfo* last_ = nullptr;
  std::vector<std::unique_ptr<TQuillRtfInfo>> lines_;
  TQuillRtfImporter importer_;
  TQuillRtfFontManager fonts_;
};

// Widens the column stops of every line so that the columns between stops
// line up across lines; returns the width of the widest line so laid out.
int AdjustColumns(const std::vector<TQuillRtfInfo*>& heads);

}  // namespace quill
