#pragma once

// Rows of a rich document: besides where a row starts and ends, each row
// keeps the chain of runs it is made of (text in one font and colour, or one
// picture) with their widths, heights and base lines, and its own summary
// (height, base line, left offset). Painting and hit-testing read the runs
// and never look at the attribute words again.

#include <vector>

#include "editor/QuillFontManager.h"
#include "editor/QuillWrapList.h"
#include "platform/Graphics.h"

namespace quill {

using platform::TColor;

struct TQuillLineInfo {
  // A row: its x offset (indents, alignment). A run: the extra width a
  // justified row gives it after its text.
  int Left = 0;
  int Width = 0;
  int Height = 0;
  // From the top of the run (or row) to its base line.
  int BaseLine = 0;
  // A run: the column after its last character.
  int End = 0;
  const TQuillFontRecord* Font = nullptr;
  TColor Color = platform::clWindowText;
  TColor Background = -1;  // -1: none
  // A picture run: the picture's number in the document's object table.
  int Object = -1;
  // How far a sub- (down) or superscript (up) run's text sits off the base line.
  int Shift = 0;
  bool Misspelled = false;
};

struct TQuillRichWrapRecord : TQuillWrapRecord {
  TQuillLineInfo Info;
  std::vector<TQuillLineInfo> Runs;
};

class TQuillWrapInfoList : public TQuillWrapList {
 public:
  // The row with its runs; null for a row added without them.
  const TQuillRichWrapRecord* RichRow(int row) const {
    if (row < 0 || row >= Count()) return nullptr;
    return dynamic_cast<const TQuillRichWrapRecord*>(&Items(row));
  }
};

}  // namespace quill
