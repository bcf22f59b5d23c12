#pragma once

// The line store of one document: per line its text, one 16-bit style or attribute
// word per character, parser states, flags and fold level, plus the index of
// hidden lines that keeps folding cheap. The store owns text and never paints.

#include <cstdint>
#include <deque>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "editor/QuillContainers.h"
#include "platform/Charset.h"

namespace quill {

enum TQuillItemState : uint8_t {
  istParsed = 1,
  istReadolny = 2,
  istHidden = 4,
  istExpanded = 8,
  istCollapsed = 16,
};
using TQuillItemStates = uint8_t;

enum class TQuillLineBreak { lbCRLF, lbCR, lbLF };

// One 16-bit word per character; 65535 means "no own value".
using TQuillData = std::u16string;
constexpr uint16_t NoData = 65535;

struct TQuillStringItem {
  std::string Text;
  TQuillData Data;
  uint16_t EndState = 0;
  uint16_t StartState = 0;
  TQuillItemStates States = 0;
  void* Object = nullptr;
  int16_t ParagraphIndex = -1;
  int16_t LineAttrIndex = -1;
  bool Invisible = false;
  uint8_t Level = 0;
};

// The lines out of view, ascending; an entry is a line index.
class TQuillVisibleLinesList : public TQuillSortedList<int> {
 public:
  // The position of the last entry whose line (or, ByVisible, whose number of
  // visible lines before it) is at most Index (below Index when Strict); -1 when none.
  int FindNear(int index, bool byVisible, bool strict) const;
  // Keeps entries on their lines after an insert (+1) or a delete (-1) at Index.
  void LineChanged(int index, int delta);
  // Drops the entries of lines Index .. Index + Count - 1 and moves the later
  // ones up over them.
  void LinesDeleted(int index, int count);
};

enum TQuillSearchParam : uint8_t { srpCaseSensitive = 1, srpWholeWords = 2, srpForward = 4 };
using TQuillSearchParams = uint8_t;
using TQuillSearchProc = std::function<bool(const std::string& s, int& aStart, int& aLen, bool direction)>;
using TQuillGetStringEvent = std::function<void(TQuillObject* sender, std::string& s, bool changeTabs)>;
using TNotifyEvent = std::function<void(TQuillObject* sender)>;

class TQuillStrings : public TQuillObject {
 public:
  TQuillStrings();
  ~TQuillStrings() override;
  TQuillStrings(const TQuillStrings&) = delete;
  TQuillStrings& operator=(const TQuillStrings&) = delete;

  // String-list interface. Out-of-range indexes are ignored by setters and give
  // neutral values from getters.
  std::string Get(int index) const;
  void Put(int index, const std::string& s);
  void* GetObject(int index) const;
  void PutObject(int index, void* object);
  int GetCount() const { return static_cast<int>(items_.size()); }
  int Count() const { return GetCount(); }
  int GetCapacity() const { return capacity_; }
  void SetCapacity(int capacity);
  int Add(const std::string& s);
  void Insert(int index, const std::string& s);
  void Delete(int index);
  // Lines Index .. Index + Count - 1 in one change: cutting many lines one by
  // one would move the lines on the nearer side of the cut once per line.
  void Delete(int index, int count);
  void Clear();
  void Exchange(int i, int j);
  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return updateCount_ > 0; }
  std::string Text() const;       // lines joined with CR LF
  // The characters of all lines, line breaks not counted; kept as lines
  // change, so asking costs nothing. A line's text changes through Put only.
  int64_t TextSize() const { return textSize_; }
  void SetText(const std::string& text);  // split at CR LF, CR or LF
  void Assign(const TQuillStrings& source);
  void LoadFromStream(std::istream& stream);
  void SaveToStream(std::ostream& stream) const;
  // Names are the program's 8-bit names ("\\" separators) or paths.
  void LoadFromFile(const platform::FileName& fileName);
  void SaveToFile(const platform::FileName& fileName) const;

  // Line records.
  TQuillStringItem* Item(int index) const;
  std::string GetStr(int index) const;
  // The same text without a copy, valid until the line changes or goes:
  // what is asked of a long line once per character or per run must not
  // cost a copy of the whole line each time.
  const std::string& StoredText(int index) const;
  // Text inserted into line Index at character At (at most the line's
  // length), stored as it stands: Put of the line so changed, without the
  // hook, and without copying the rest of the line.
  void InsertText(int index, int at, const std::string& text);
  TQuillData GetStrData(int index) const;
  void SetStrData(int index, const TQuillData& data);
  uint16_t GetData(int line, int pos) const;
  void PutData(int line, int pos, int count, uint16_t data);
  uint16_t GetState(int line) const;
  void SetState(int line, uint16_t state);
  TQuillItemStates GetItemStates(int line) const;
  void SetItemState(int line, TQuillItemState state, bool on);

  // Folding.
  bool GetVisible(int line) const;
  void SetVisible(int line, bool visible);
  bool GetLineVisible(int line) const;
  void SetLineVisible(int line, bool visible);
  bool GetExpanded(int line) const;
  void SetExpanded(int line, bool expanded) { SetExpandedOrCollapsed(line, expanded, false); }
  bool GetCollapsed(int line) const;
  void SetCollapsed(int line, bool collapsed) { SetExpandedOrCollapsed(line, false, collapsed); }
  void SetExpandedOrCollapsed(int line, bool expanded, bool collapsed);
  void ExpandPrev(int line);
  uint8_t GetLevel(int line) const;
  void SetLevel(int line, uint8_t level);
  bool HideLines() const { return hideLines_; }
  void SetHideLines(bool value);
  int GetVisibleCount() const;
  int GetHiddenCount() const;
  int RealToVisibleLineIndex(int line) const;
  int VisibleToRealLineIndex(int visibleLine) const;
  bool ChangingVisibility() const { return changingVisibility_; }

  // The range of lines changed since it was last reset; -1/-1 when none.
  void LinesUpdated(int first, int last);
  int UpdateFirst() const { return updateFirst_; }
  int UpdateLast() const { return updateLast_; }
  void ResetUpdateRange() { updateFirst_ = updateLast_ = textFirst_ = textLast_ = -1; }
  // The lines whose own text was written or inserted since the range was last
  // reset (lines that only moved are not in it); -1/-1 when none.
  int TextFirst() const { return textFirst_; }
  int TextLast() const { return textLast_; }

  TQuillLineBreak LineBreak = TQuillLineBreak::lbCRLF;
  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;
  TQuillGetStringEvent OnGetString;

 protected:
  virtual void Changed();
  virtual void Changing();
  virtual void SetUpdateState(bool updating);
  void ExchangeItems(int i, int j);
  void Grow();
  void InsertItem(int index, const std::string& s);
  void UpdateVisibleLines();
  void UpdateVisible(int line);

 private:
  bool InRange(int index) const { return index >= 0 && index < GetCount(); }
  void TextUpdated(int index);

  // Items are allocated one by one so that a line's record keeps its address
  // while other lines come and go. A double-ended queue moves only the lines
  // on the nearer side of a change: a transcript cut from the top, line by
  // line, would otherwise move every line below the cut once per line cut.
  std::deque<std::unique_ptr<TQuillStringItem>> items_;
  int capacity_ = 0;
  int64_t textSize_ = 0;
  int updateCount_ = 0;
  int updateFirst_ = -1;
  int updateLast_ = -1;
  int textFirst_ = -1;
  int textLast_ = -1;
  bool hideLines_ = false;
  bool changingVisibility_ = false;
  TQuillVisibleLinesList hidden_;
};

// Plain text search over a line list. Pos.X is 1-based, Pos.Y the line; on success
// Pos is the match start and Len its length.
bool SearchInStrings(const std::string& s, const TQuillStrings& strings, TQuillSearchParams params,
                     const TQuillCharSet& delimiters, TPoint& pos, int& len, const TQuillSearchProc& searchProc = nullptr);

// The lines of a text as the line store takes them: a CR, an LF or a CR LF
// ends a line, and a text ending in a break has no empty line after it.
std::vector<std::string> SplitTextLines(const std::string& text);

}  // namespace quill
