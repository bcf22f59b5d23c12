// Runs and rows of the rich editor: how a line's characters become runs
// (characters of one attribute, or one picture), and how the runs of a
// wrapped row are measured, set on a common base line and placed by the
// line's paragraph.

#include <algorithm>
#include <string_view>

#include "editor/QuillRichEdit.h"

namespace quill {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A picture run: as large as the picture, on no background; its base line
// is set with the row's (AdjustObjects).
void GetInfoFromObject(const TQuillEditorObject& picture, TQuillLineInfo& run) {
  run.Width = picture.Width();
  run.Height = picture.Height();
}

// A text run of Width pixels in the style's font (the smaller one when
// raised or lowered): its cell height, and the base line moved up or down
// by the script's offset.
void GetInfoFromString(const TCustomQuillRichEdit::TRunStyle& style, const TQuillFontRecord& font, int width,
                       TQuillLineInfo& run) {
  run.Font = &font;
  run.Width = width;
  run.Height = font.Info.Height;
  if (style.Script == TQuillScriptStyle::ssSuperScript) run.Shift = -style.Font->Info.SuperscriptOffset;
  else if (style.Script == TQuillScriptStyle::ssSubScript) run.Shift = style.Font->Info.SubscriptOffset;
  run.BaseLine = font.Info.Ascent - run.Shift;
  run.Color = style.Color;
  run.Background = style.Background;
}

// Pictures stand on the text's base line; a picture taller than the text
// pushes the base line down. Answers the row's base line.
int AdjustObjects(std::vector<TQuillLineInfo>& runs, int tallest, int tallestText, int textBase) {
  const int base = std::max(tallest - tallestText + textBase, textBase);
  for (TQuillLineInfo& run : runs)
    if (run.Object >= 0) run.BaseLine = std::min(run.Height, base);
  return base;
}


}  // namespace

void TCustomQuillRichEdit::BeforeWrapString(int line) {
  tabLine_ = -1;
  if (!(SourceOptions() & srUseTab)) return;
  // The rows of a line with tabs are in shown columns (tabs as blanks); its
  // data words are per stored character.
  const TQuillStringItem* item = GetLines().Item(line);
  if (item == nullptr || item->Text.find('\t') == std::string::npos) return;
  const TTabStopList& tabs = GetEditSource().TabStops();
  tabLine_ = line;
  tabStarts_.clear();
  int column = 0;
  for (char c : item->Text) {
    tabStarts_.push_back(column);
    column = c == '\t' ? std::max(tabs.Get(column), column + 1) : column + 1;
  }
  tabStarts_.push_back(column);
}

int TCustomQuillRichEdit::GetRelativeChar(int line, int column) const {
  if (line != tabLine_) return column;
  // The character whose shown columns hold the column; past the shown text
  // each column is one character more.
  const int shown = tabStarts_.back();
  const auto stored = static_cast<int>(tabStarts_.size()) - 1;
  return column >= shown ? stored + column - shown
                         : static_cast<int>(std::upper_bound(tabStarts_.begin(), tabStarts_.end(), column) -
                                            tabStarts_.begin()) - 1;
}

uint16_t TCustomQuillRichEdit::DataAt(const TQuillStringItem* item, int line, int column) const {
  const int index = GetRelativeChar(line, column);
  if (item == nullptr || index < 0 || static_cast<size_t>(index) >= item->Data.size()) return NoData;
  return item->Data[static_cast<size_t>(index)];
}

TQuillLineInfo TCustomQuillRichEdit::ParseString(int line, const std::string& s, int start, int end, bool splitBlanks,
                                                 bool splitWords, int maxWidth) {
  TQuillLineInfo run;
  const int length = std::min(end, static_cast<int>(s.size()));
  run.End = start;
  if (start >= length) return run;
  run.End = start + 1;
  const TQuillStringItem* item = GetLines().Item(line);
  const bool object = s[static_cast<size_t>(start)] == kObjectCharacter;
  if (object) {
    const uint16_t number = DataAt(item, line, start);
    if (const TQuillEditorObject* picture = FindObject(number)) {
      run.Object = number;
      GetInfoFromObject(*picture, run);
      return run;
    }
    // A picture that names no object shows as a character of the editor font.
  }
  const uint16_t word = object ? NoData : DataAt(item, line, start);
  const TRunStyle& style = GetFontFromData(word);
  const bool script = style.Script != TQuillScriptStyle::ssNormal && style.ScriptFont != nullptr;
  const TQuillFontRecord& font = script ? *style.ScriptFont : *style.Font;
  int width = font.CharWidth(s[static_cast<size_t>(start)]);
  if (!object) {
    const bool blank = IsBlank(s[static_cast<size_t>(start)]);
    const bool delimiter = spellDelimiters_.Contains(s[static_cast<size_t>(start)]);
    // Every character of a line is measured here, twice a wrap: a line
    // without tabs reads its words where they stand.
    const TQuillData* words = item != nullptr && line != tabLine_ ? &item->Data : nullptr;
    auto wordAt = [&](int column) {
      if (words == nullptr) return DataAt(item, line, column);
      return static_cast<size_t>(column) < words->size() ? static_cast<uint16_t>((*words)[static_cast<size_t>(column)])
                                                         : NoData;
    };
    while (run.End < length && width <= maxWidth) {
      const char c = s[static_cast<size_t>(run.End)];
      if (c == kObjectCharacter || wordAt(run.End) != word) break;
      if (splitBlanks && IsBlank(c) != blank) break;
      if (splitWords && spellDelimiters_.Contains(c) != delimiter) break;
      width += font.CharWidth(c);
      ++run.End;
    }
  }
  GetInfoFromString(style, font, width, run);
  return run;
}

void TCustomQuillRichEdit::GetInfoFromEmptyString(int line, TQuillLineInfo& info) {
  const TQuillFontRecord& font = *GetFontFromData(RichEditSource().LineAttribute(line)).Font;
  info.Font = &font;
  info.Width = 0;
  info.Height = font.Info.Height;
  info.BaseLine = font.Info.Ascent;
}

void TCustomQuillRichEdit::GetInfosFromString(const std::string& s, int line, TQuillRichWrapRecord& row, int start,
                                              int end) {
  const TQuillParagraph* paragraph = FindParagraph(line);
  const bool justify = paragraph != nullptr && paragraph->Alignment() == TQuillAlignment::algJustify;
  // Misspelled words are marked run by run: words get runs of their own.
  const TCustomQuillRichEditSource& doc = RichEditSource();
  const bool spelling = (doc.Options() & srLiveSpell) && doc.OnWordSpell;
  // Where words end for the live spelling: a full stop stays in its word
  // (addresses, abbreviations).
  if (spelling) spellDelimiters_ = doc.Delimiters() | (WordDelimSet() - TQuillCharSet(std::string_view(".")));
  const int stop = std::min(end, static_cast<int>(s.size()));
  row.Runs.clear();
  int from = start;
  if (!justify && !spelling) from = RichPainter().TakeMeasuredRuns(line, s, start, stop, row.Runs);
  for (int c = from; c < stop;) {
    const TQuillLineInfo run = ParseString(line, s, c, stop, justify, spelling, MaxInt);
    if (run.End <= c) break;
    row.Runs.push_back(run);
    c = run.End;
  }
  TQuillLineInfo& info = row.Info;
  GetInfoFromEmptyString(line, info);
  if (!row.Runs.empty()) {
    int tallest = 0, tallestText = 0, textBase = 0, width = 0;
    bool pictures = false;
    const TQuillFontRecord* firstFont = nullptr;
    for (const TQuillLineInfo& run : row.Runs) {
      width += run.Width;
      tallest = std::max(tallest, run.Height);
      if (run.Object >= 0) {
        pictures = true;
        continue;
      }
      tallestText = std::max(tallestText, run.Height);
      textBase = std::max(textBase, run.BaseLine);
      if (firstFont == nullptr) firstFont = run.Font;
    }
    const int base = pictures ? AdjustObjects(row.Runs, tallest, tallestText, textBase) : textBase;
    // Text of several fonts or raised and lowered text may reach below the
    // tallest run: the row takes it in rather than cutting it off.
    int height = tallest;
    for (const TQuillLineInfo& run : row.Runs)
      if (run.Object < 0) height = std::max(height, base - run.BaseLine + run.Height);
    info.Height = std::max(height, 1);
    info.BaseLine = base;
    info.Width = width;
    if (firstFont != nullptr) info.Font = firstFont;
  }
  if (paragraph != nullptr) AdjustInfoForParagraph(*paragraph, s, row, start == 0, stop >= static_cast<int>(s.size()));
  CheckWordSpelling(line, s, row);
}

void TCustomQuillRichEdit::AdjustInfoForParagraph(const TQuillParagraph& paragraph, const std::string& s,
                                                  TQuillRichWrapRecord& row, bool firstRow, bool lastRow) {
  const int width = RichPainter().WrapWidth();
  TQuillLineInfo& info = row.Info;
  int left = 0;
  if (paragraph.Alignment() == TQuillAlignment::algRight) {
    left = width - paragraph.RightIndent() - info.Width;
  } else {
    left = paragraph.LeftIndent() + (firstRow ? paragraph.FirstIndent() : 0);
    const int free = width - left - paragraph.RightIndent() - info.Width;
    if (paragraph.Alignment() == TQuillAlignment::algCenter) {
      left += free / 2;
    } else if (paragraph.Alignment() == TQuillAlignment::algJustify && free >= 1 && !lastRow) {
      // The blanks share the room left over; the last blank of the row (at
      // its end) takes none.
      std::vector<TQuillLineInfo*> blanks;
      for (TQuillLineInfo& run : row.Runs)
        if (run.Object < 0 && run.End >= 1 && run.End <= static_cast<int>(s.size()) &&
            IsBlank(s[static_cast<size_t>(run.End - 1)]))
          blanks.push_back(&run);
      const int k = static_cast<int>(blanks.size());
      int taken = 0;
      for (int i = 1; k > 1 && i < k; ++i) {
        const int share = MulDiv(i, free, k - 1) - taken;
        blanks[static_cast<size_t>(i - 1)]->Left = share;
        taken += share;
      }
    }
  }
  info.Left = std::max(left, 0);
}

void TCustomQuillRichEdit::CheckWordSpelling(int line, const std::string& s, TQuillRichWrapRecord& row) {
  TCustomQuillRichEditSource& doc = RichEditSource();
  if (!(doc.Options() & srLiveSpell) || !doc.OnWordSpell || row.Runs.empty()) return;
  const TQuillCharSet& delimiters = spellDelimiters_;
  const TPoint caret = GetCurrentPosition();
  const bool typing = (doc.State() & csEdit) && caret.Y == line;
  const int stop = row.Runs.back().End;
  int i = row.Start;
  while (i < stop) {
    if (delimiters.Contains(s[static_cast<size_t>(i)])) {
      ++i;
      continue;
    }
    const int from = i;
    while (i < stop && !delimiters.Contains(s[static_cast<size_t>(i)])) ++i;
    // The word being typed is left alone until the caret leaves it.
    if (typing && from <= caret.X && caret.X <= i) continue;
    if (doc.CheckWordSpelling(s.substr(static_cast<size_t>(from), static_cast<size_t>(i - from)))) continue;
    int runStart = row.Start;
    for (TQuillLineInfo& run : row.Runs) {
      if (run.End > from && runStart < i && run.Object < 0) run.Misspelled = true;
      runStart = run.End;
    }
  }
}

void TCustomQuillRichEdit::AddToWrapList(const std::string& s, int line, int start, int end) {
  auto row = std::make_unique<TQuillRichWrapRecord>();
  row->Line = line;
  row->Start = start;
  row->End = end;
  GetInfosFromString(s, line, *row, start, end == MaxInt ? static_cast<int>(s.size()) : end);
  WrapList().Add(std::move(row));
}

}  // namespace quill
