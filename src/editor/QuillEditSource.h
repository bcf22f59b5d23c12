#pragma once

// The text document that one or more editor views show. Views never change the
// lines directly: they move the document's position and call its text operations,
// each of which records undo information, keeps bookmarks in step and reports the
// changed range to every registered view.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "editor/QuillBookmarks.h"
#include "editor/QuillContainers.h"
#include "editor/QuillStrings.h"
#include "editor/QuillUndo.h"
#include "editor/TabStopList.h"

namespace quill {

enum TQuillEditSourceState : uint16_t {
  csParagraphChanged = 1 << 0,
  csPositionChanged = 1 << 1,
  csParserChanged = 1 << 2,
  csEdit = 1 << 3,
  csCountChanged = 1 << 4,
  csUndo = 1 << 5,
  csBookMarkChanged = 1 << 6,
  csLineStyleChanged = 1 << 7,
  csReadOnlyChanged = 1 << 8,
  csBlockChanged = 1 << 9,
  csVisibleChanged = 1 << 10,
  csIncrementalSearchChanged = 1 << 11,
};
using TQuillEditSourceStates = uint16_t;

enum TQuillSourceOption : uint32_t {
  srAutoIndent = 1u << 0,
  srBackUnindents = 1u << 1,
  srUseTab = 1u << 2,
  srCursorThroughTabs = 1u << 3,
  srAlwaysOnTabs = 1u << 4,
  srOptimalFill = 1u << 5,
  srSmartTab = 1u << 6,
  srAllowUndo = 1u << 7,
  srGroupUndo = 1u << 8,
  srBeyondEof = 1u << 9,
  srBeyondEol = 1u << 10,
  srMoveUpAtLineBegin = 1u << 11,
  srLeaveTrailSpaces = 1u << 12,
  srLiveSpell = 1u << 13,
  srMoveDownAtLineEnd = 1u << 14,
  srAllowHiddenLines = 1u << 15,
  srHighlightUrls = 1u << 16,
  srUndoOnlyChanges = 1u << 17,
  srAutoCorrect = 1u << 18,
};
using TQuillSourceOptions = uint32_t;
constexpr TQuillSourceOptions DefaultSourceOptions =
    srAutoIndent | srBackUnindents | srAllowUndo | srGroupUndo | srBeyondEol | srHighlightUrls;

// The optional parameter of a notification (passed as the Param of a handler).
struct TNotifyRecord {
  TQuillOperation Operation = oprNavigate;
  intptr_t Param = 0;
  TPoint Point;
};
using PNotifyRecord = TNotifyRecord*;

// Style words as the parsing writes them.
constexpr uint16_t MisspelledBase = 32767;

struct TQuillSpellToken {
  std::string Name;
  int Style = -1;
};

using TWordSpellEvent = std::function<void(TQuillObject* sender, const std::string& s, bool& correct)>;

class TCustomQuillEditSource : public TQuillComponent {
 public:
  explicit TCustomQuillEditSource(TQuillComponent* owner = nullptr);
  ~TCustomQuillEditSource() override;

  // ---- notifications ----
  void RegisterNotifier(const TQuillNotifyEvent& handler) { notifiers_.AddItem(handler); }
  void UnRegisterNotifier(const TQuillNotifyEvent& handler) { notifiers_.DeleteItem(handler); }
  void Notify();
  void NotifyChanges(int x, int y, TQuillOperation operation);
  void LinesChanged(int first, int last) { NotifyChanges(first, last, oprUpdateLines); }
  void LinesUpdated(int firstChar, int lastChar, int firstLine, int lastLine, bool edit);
  void UpdateString(int line);
  void UpdateBlock(int x, int y, int dx, int dy);
  TQuillEditSourceStates State() const { return state_; }
  void AddState(TQuillEditSourceStates s) { state_ |= s; }
  // The lines the current (or last) update changed; -1 when none. A break
  // or a join changes every line from it to the end (MaxInt).
  int ChangedFirstLine() const { return firstLine_; }
  int ChangedLastLine() const { return lastLine_; }
  // The lines whose text changed, as a few ranges, in order and apart: lines
  // between two ranges, and below the last, kept their text, though lines
  // coming or going may have moved them (csCountChanged).
  const std::vector<std::pair<int, int>>& ChangedLineRanges() const { return changedRanges_; }
  // The view that owns the position: it scrolls to it and turns vertical
  // moves into moves across its wrapped rows; other views only repaint.
  TQuillObject* OwnerView() const { return ownerView_; }
  void SetOwnerView(TQuillObject* view) { ownerView_ = view; }

  // ---- update brackets ----
  virtual void BeginSourceUpdate(TQuillOperation operation);
  virtual void EndSourceUpdate();
  virtual void BeginBlockUpdate();
  virtual void EndBlockUpdate();
  int BlockUpdateCount() const { return blockUpdate_; }
  int SourceUpdateCount() const { return sourceUpdate_; }
  TQuillOperation CurrentOperation() const { return currentOperation_; }

  // ---- text operations at the current position ----
  virtual void InsertString(const std::string& s) { InsertStringWithData(s, TQuillData()); }
  void InsertStringWithData(const std::string& s, const TQuillData& data);
  virtual void AddString(int index, const std::string& s);
  virtual void DeleteString(int count);
  virtual void JoinStrings();
  // The text from (From.X, From.Y) to (To.X, To.Y), To on a later line: the
  // line From.Y keeps what stands before From and takes what stands after
  // To. The position ends at From. Where no undo is kept, the lines between
  // go in one step, however many they are.
  void DeleteRange(TPoint from, TPoint to);
  virtual void BreakString();
  virtual void Clear();
  void StringDataChanged(int x, int y, const TQuillData& oldData, int count);
  void UpdateStringData(TPoint p, const TQuillData& data);
  void RemoveTrailSpaces(bool withUndo);
  void DeleteLeft();
  int GetPrevIndent();
  void AutoIndentLine(bool insert, int indent);
  void CheckLastLine();
  bool OutOfText() const;

  // ---- position ----
  TPoint CurrentPosition() const { return pos_; }
  void Navigate(int dx, int dy);
  void JumpTo(int x, int y);
  void JumpToLine(int y) { JumpTo(pos_.X, y); }
  void JumpToChar(int x) { JumpTo(x, pos_.Y); }
  void SetCurrentPosition(TPoint p) { JumpTo(p.X, p.Y); }
  TPoint GetCharacterPos() const;
  void MoveLeft();
  void MoveRight() { MoveRightEx(false); }
  void MoveRightEx(bool force);

  // ---- undo and redo ----
  void AddUndoRecord(TQuillUndoRecord record);
  void AddUndoRecord(TQuillOperation operation, int value);
  void AddUndoRecordEx(TQuillOperation operation, int value);
  void LockUndo() { ++undoLock_; }
  void UnlockUndo();
  virtual void ProcessUndo(TQuillUndoRecord& record);
  void Undo();
  void Redo();
  TQuillUndoList& UndoList() { return undoLists_[undoFlipped_ ? 1 : 0]; }
  TQuillUndoList& RedoList() { return undoLists_[undoFlipped_ ? 0 : 1]; }
  TQuillUndoRecord* LastRedoRecord() { return RedoList().Last(); }
  bool UndoAvailable() const { return (options_ & srAllowUndo) && undoLists_[0].Count() > 0; }
  bool RedoAvailable() const { return (options_ & srAllowUndo) && undoLists_[1].Count() > 0; }

  // ---- bookmarks and line styles ----
  void SetBookMark(int number, TPoint p);
  void ClearBookmark(int number);
  void GoToBookmark(int number);
  void ToggleBookMark(int number, TPoint p);
  bool FindBookMark(int number, TPoint& p) const;
  int MaxBookMarkNumber() const;
  int GetLineBookMark(int line) const { return bookmarks_.GetLineBookMark(line); }
  void SetLineBookMark(int line, int number);
  void UpdateBookMark(int line);
  int GetLineStyle(int line) const { return lineStyles_.GetLineBookMark(line); }
  void SetLineStyle(int line, int style);
  void ToggleLineStyle(int line, int style);
  const TQuillBookMarkList& BookMarks() const { return bookmarks_; }
  const TQuillBookMarkList& LineStyles() const { return lineStyles_; }
  bool GoingToBookmark() const { return goingToBookmark_; }

  // ---- parsing ----
  TCustomQuillParser* Parser() const { return parser_; }
  void SetParser(TCustomQuillParser* parser);
  virtual void ParserChanged(TQuillObject* sender, intptr_t param);
  void UpdateDelimiters();
  void UpdateInternalStyles();
  void SetParsedState(int first, int last);
  void ParseToString(int line);
  void ParseStrings(int first, int last, bool force);
  void ParseString(int line, bool force) { ParseStrings(line, line, force); }
  bool NeedUpdate(int line);
  bool NeedSpell() const;
  bool NeedUrls() const;
  void UpdateSpelling(int line);
  virtual bool CheckWordSpelling(const std::string& word);
  virtual void SpellTokensChanged(TQuillObject* sender);
  virtual bool AllowParsing() const { return true; }
  int GetUrlStyle() const;
  int FirstUnparsedLine() const { return firstUnparsed_; }
  const TQuillCharSet& Delimiters() const { return delimiters_; }
  void SetDelimiters(const TQuillCharSet& set) { delimiters_ = set; }
  const std::vector<TQuillSpellToken>& SpellTokens() const { return spellTokens_; }
  void SetSpellTokens(const std::vector<std::string>& names);
  TWordSpellEvent OnWordSpell;

  // ---- properties ----
  TQuillStrings& Strings() { return strings_; }
  const TQuillStrings& Strings() const { return strings_; }
  // A line as Strings().Get gives it (tabs as blanks while tabs are kept),
  // without a copy when it shows as it is stored; Buffer holds one that
  // does not, and the result may be it.
  const std::string& ShownText(int line, std::string& buffer) const;
  void SetStrings(const TQuillStrings& source) { strings_.Assign(source); }
  TQuillSourceOptions Options() const { return options_; }
  void SetOptions(TQuillSourceOptions options);
  bool ReadOnly() const { return readOnly_; }
  // A read-only document refuses every edit, whoever makes it. Only a whole
  // load goes in, as lines set through Strings do: it replaces the text
  // from outside rather than editing it.
  virtual bool GetReadOnly() const { return readOnly_ && wholeLoad_ == 0; }
  void SetReadOnly(bool value);
  void BeginWholeLoad() { ++wholeLoad_; }
  void EndWholeLoad() { wholeLoad_ = std::max(wholeLoad_ - 1, 0); }
  bool UsePages() const { return usePages_; }
  void SetUsePages(bool value);
  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }
  bool UseGlobalSettings() const { return useGlobalSettings_; }
  void SetUseGlobalSettings(bool value);
  const TTabStopList& TabStops() const { return tabStops_; }
  std::string GetTabStops() const { return tabStops_.TabStops(); }
  void SetTabStops(const std::string& s) { tabStops_.SetTabStops(s); }
  virtual void SetFocused(bool value) { focused_ = value; }
  bool Focused() const { return focused_; }
  virtual char TranslateToSource(char c) { return c; }
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& name) { fileName_ = name; }

  // ---- files ----
  virtual void LoadFromStream(std::istream& stream);
  virtual void SaveToStream(std::ostream& stream);
  void LoadFromFile(const platform::FileName& fileName);
  void SaveToFile(const platform::FileName& fileName);

  void Notification(TQuillComponent* component, TOperation operation) override;

 protected:
  // Hooks for documents that keep more per character (the rich document).
  virtual void BeforeTextChanged(int x, int y, TQuillOperation operation, int count, const TQuillData* data);
  virtual void AfterTextChanged(int x, int y, TQuillOperation operation);
  // Before DeleteRange closes lines Top + 1 .. Bottom up on line Top, keeping
  // characters 0 .. Left - 1 of Top and Right .. of Bottom.
  virtual void BeforeRangeDeleted(int left, int top, int right, int bottom);
  // Moves bookmarks and line styles after an edit at `at` and tells the views.
  virtual void UpdatePosition(TPoint at, int dx, int dy);
  virtual void DoCheckSpelling(int line, const std::string& s, TQuillData& data);
  virtual void DoCheckUrl(const std::string& s, TQuillData& data);

  int InternalChangeCount() const { return internalChange_; }

 private:
  class UpdateScope;
  class InternalScope;

  void StringsChanged(TQuillObject* sender);
  void GetString(TQuillObject* sender, std::string& s, bool changeTabs);
  int LineIndex(const std::string& line, int x, int* tabPad) const;
  int DisplayLength(int line) const;
  void ReportLine(int x, int y);
  bool Undoing() const { return (state_ & csUndo) != 0; }
  bool KeepsUndo() const { return (options_ & srAllowUndo) != 0; }
  void RestoreMarks(const std::vector<TQuillBookMark>& marks);
  // Undoing an insertion past the end of a line: the blanks that carried it
  // there go too, when the line ends at the position.
  void TrimPadding(int blanks);

  TQuillNotifierList notifiers_;
  TQuillStrings strings_;
  TPoint pos_;
  TPoint updateStartPos_;
  TQuillCharSet delimiters_;
  TQuillCharSet spellDelimiters_;
  bool useGlobalSettings_ = false;
  TQuillBookMarkList bookmarks_{false};
  TQuillBookMarkList lineStyles_{true};
  int firstLine_ = -1, lastLine_ = -1, firstChar_ = -1, lastChar_ = -1;
  std::vector<std::pair<int, int>> changedRanges_;
  void LinesMoved(int line);
  void AddChangedLines(int first, int last);
  void MergeChangedLines();
  int startCount_ = 0;
  bool byJump_ = false;
  bool goingToBookmark_ = false;
  TQuillUndoList undoLists_[2];
  bool undoFlipped_ = false;
  TQuillOperation currentOperation_ = oprOther;
  int undoLock_ = 0;
  bool newUndoGroup_ = false;
  TQuillSourceOptions options_ = DefaultSourceOptions;
  bool modified_ = false;
  int internalChange_ = 0;
  int blockUpdate_ = 0;
  TCustomQuillParser* parser_ = nullptr;
  int firstUnparsed_ = 0;
  TTabStopList tabStops_;
  bool readOnly_ = false;
  int wholeLoad_ = 0;
  bool usePages_ = false;
  int urlStyle_ = -1;
  bool updatingStyles_ = false;
  std::vector<TQuillSpellToken> spellTokens_;
  bool focused_ = false;
  TQuillEditSourceStates state_ = 0;
  int sourceUpdate_ = 0;
  std::string fileName_;
  TQuillObject* ownerView_ = nullptr;
};

// The same document as the application places it.
class TQuillEditSource : public TCustomQuillEditSource {
 public:
  using TCustomQuillEditSource::TCustomQuillEditSource;
};

// Brackets a compound change of a view in one update of the document (and,
// with Block, one block update): one notification when the outermost ends,
// one undo group. An exception passing through ends the brackets quietly.
class TQuillSourceUpdate {
 public:
  TQuillSourceUpdate(TCustomQuillEditSource& doc, TQuillOperation operation, bool block = false);
  ~TQuillSourceUpdate() noexcept(false);
  TQuillSourceUpdate(const TQuillSourceUpdate&) = delete;
  TQuillSourceUpdate& operator=(const TQuillSourceUpdate&) = delete;

 private:
  TCustomQuillEditSource& doc_;
  bool block_;
  int exceptions_;
};

// Brackets a load that replaces the whole text: it goes in also when the
// document is read-only.
class TQuillWholeLoad {
 public:
  explicit TQuillWholeLoad(TCustomQuillEditSource& doc) : doc_(doc) { doc_.BeginWholeLoad(); }
  ~TQuillWholeLoad() { doc_.EndWholeLoad(); }
  TQuillWholeLoad(const TQuillWholeLoad&) = delete;
  TQuillWholeLoad& operator=(const TQuillWholeLoad&) = delete;

 private:
  TCustomQuillEditSource& doc_;
};

// Every living document.
std::vector<TCustomQuillEditSource*>& EditSourceList();

// The delimiters a new document starts with: every control character except
// the object character 1, and the blank.
const TQuillCharSet& DefaultDelimSet();

}  // namespace quill
