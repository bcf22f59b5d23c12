#pragma once

// The editor control: a scrolling window onto one document that it paints
// through its line painter, with gutter, line numbers, margin, rulers,
// pages, word wrap, a selection and a caret of its own.
//
// The document holds the text and the caret position; the control never
// changes lines itself. It moves the document's position and calls its text
// operations, and learns of every change through the document's notifier
// (HandleEvents), where it rewraps, repaints and scrolls.
//
// Coordinates. A text point is (column, line) from 0. A row is what one
// screen line shows: a wrapped row with word wrap, else a visible line.
// WindowLine and WindowChar are the first row and column shown (pixels in
// page layout). A pixel point is in the client area (the viewport), where
// the gutter and line numbers take GetLeftIndent() pixels on the left and a
// ruler GetTopIndent() pixels on top.
//
// The file split follows the control's concerns: QuillEdit.cpp (frame,
// properties, notifications), QuillEditCoords.cpp (coordinates, counts,
// pages), QuillEditWrap.cpp (word wrap, tabs), QuillEditPaint.cpp
// (painting), QuillEditSelection.cpp (selection, blocks), QuillEditCaret.cpp
// (caret, scrolling, navigation), QuillEditMessages.cpp (character
// positions, the public text operations and the edit messages),
// QuillEditKeyboard.cpp (keys, typing, the clipboard), QuillEditSearch.cpp
// (find, replace, incremental search), QuillEditPopups.cpp (templates,
// completion, bookmarks, brackets) and QuillEditMouse.cpp (mouse, drag,
// links).

#include <QAbstractScrollArea>
#include <QCursor>
#include <QDialog>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "editor/QuillBackground.h"
#include "editor/QuillCodeTemplates.h"
#include "editor/QuillCommands.h"
#include "editor/QuillEditorColors.h"
#include "editor/QuillEditorView.h"
#include "editor/QuillGutter.h"
#include "editor/QuillKeyList.h"
#include "editor/QuillKeyMaps.h"
#include "editor/QuillLineStyles.h"
#include "editor/QuillPages.h"
#include "editor/QuillPainter.h"
#include "editor/QuillPopup.h"
#include "editor/QuillRuler.h"
#include "editor/QuillSelStrings.h"
#include "editor/QuillSettings.h"
#include "editor/QuillWrapList.h"

namespace platform {
class TCaret;
}

namespace quill {

class TCustomQuillEdit;
class TCustomQuillExporter;
class TQuillTimer;
class TQuillHint;
class TQuillHintWindow;
class TQuillListBox;

enum class TQuillBlockSelMode : uint8_t { bsStream, bsBlock, bsNone, bsBoth };
enum class TQuillSelState : uint8_t { seNone, seSel, seDrag, seWord };
enum class TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };
enum class TBorderStyle : uint8_t { bsNone, bsSingle };
enum class TQuillFormattingMark : uint8_t { fmSpace, fmTab, fmEol, fmEof };

// The scroll-bar commands DoVScroll and DoHScroll take.
enum TScrollCode : int {
  scLineUp = 0,
  scLineDown = 1,
  scPageUp = 2,
  scPageDown = 3,
  scPosition = 4,
  scTrack = 5,
  scTop = 6,
  scBottom = 7,
  scEndScroll = 8,
};

// The edit-control requests the control answers (Perform). Positions are
// character offsets into the whole text, each line break counting two.
enum class TEditMessage {
  EM_GETSEL,
  EM_EXGETSEL,
  EM_SETSEL,
  EM_EXSETSEL,
  EM_LINESCROLL,
  EM_GETMODIFY,
  EM_GETLINECOUNT,
  EM_LINEINDEX,
  EM_GETLINE,
  EM_CANUNDO,
  EM_UNDO,
  WM_UNDO,
  EM_LINEFROMCHAR,
  EM_EXLINEFROMCHAR,
  EM_EMPTYUNDOBUFFER,
  EM_GETFIRSTVISIBLELINE,
  WM_COPY,
  WM_CUT,
  WM_PASTE,
  EM_CANPASTE,
  EM_GETSELTEXT,
  EM_HIDESELECTION,
  EM_GETTEXTRANGE,
  EM_CHARFROMPOS,
};

// An answer: the result, the text a request hands out (never copied into a
// caller's buffer), and the range EM_EXGETSEL reports.
struct TEditReply {
  intptr_t Result = 0;
  std::string Text;
  int Min = 0;
  int Max = 0;
};

// What the control makes its document, wrap list and painter from. A
// descendant (the rich editor) passes its own to the protected constructor,
// so every companion is of the right class from the start.
struct TQuillEditClasses {
  std::string EditSourceClassName;
  std::function<std::unique_ptr<TCustomQuillEditSource>()> NewEditSource;
  // Whether a document given through SetEditSource is of that class.
  std::function<bool(const TCustomQuillEditSource&)> IsEditSource;
  std::function<std::unique_ptr<TQuillWrapList>()> NewWrapList;
  std::function<std::unique_ptr<TCustomQuillPainter>(TQuillEditorView*)> NewPainter;
};

// What a formatted save writes through: an exporter made for the stream
// and the editor's font (the RTF writer, or any other).
using TQuillExporterClass =
    std::function<std::unique_ptr<TCustomQuillExporter>(std::ostream& stream, const TQuillFont& font)>;

using TSourceChangedEvent = std::function<void(TQuillObject* sender, TQuillEditSourceStates states)>;
using TScrollEvent = std::function<void(TQuillObject* sender, bool vertical, int code)>;
using TScrollHintEvent = std::function<void(TQuillObject* sender, int line, int page, std::string& hint)>;
using TGetDrawStyleEvent = std::function<void(TQuillObject* sender, int line, int ch, uint16_t& style)>;
using TGetFormattingMarkEvent = std::function<void(TQuillObject* sender, TQuillFormattingMark mark, char& ch)>;
using TKeyEvent = std::function<void(TQuillObject* sender, int& key, TShiftState shift)>;
using TKeyPressEvent = std::function<void(TQuillObject* sender, char& key)>;
using TWordAutoCorrectEvent =
    std::function<void(TQuillObject* sender, const std::string& word, std::string& correctWord, bool& hasCorrection)>;
using TUrlJumpEvent = std::function<void(TQuillObject* sender, const std::string& url, bool& handled)>;
using TGutterClickEvent = std::function<void(TQuillObject* sender, int line, int imageIndex)>;
using TBeforeInsertPopupEvent = std::function<void(TQuillObject* sender, std::string& text)>;
using TAutoCompleteEvent = std::function<void(TQuillObject* sender, bool& show, char key)>;
using TDisplayHintEvent = std::function<void(TQuillObject* sender, std::string& text, bool& show, char key)>;

enum class TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };
enum class TQuillReplaceAnswer : uint8_t { Yes, No, Cancel, All };

// The find, replace and go-to-line forms are not the editor's own: a program
// that wants them registers one (a global form, or a class to make one) or
// hands one over in OnBeforeCreateDialog. Before showing a form the editor
// introduces itself; a form that answers 0 is shown modally and freed
// afterwards, one that answers otherwise outlives the call and is only shown.
class TQuillEditorDialog : public QDialog {
 public:
  using QDialog::QDialog;
  virtual intptr_t EditorRequest(TCustomQuillEdit& editor, int command) {
    (void)editor;
    (void)command;
    return 0;
  }
};
using TQuillEditorDialogClass = std::function<TQuillEditorDialog*()>;
extern QPointer<TQuillEditorDialog> GlobalSearchDialog;
extern QPointer<TQuillEditorDialog> GlobalReplaceDialog;
extern QPointer<TQuillEditorDialog> GlobalGotoLineDialog;
extern TQuillEditorDialogClass GlobalSearchDialogClass;
extern TQuillEditorDialogClass GlobalReplaceDialogClass;
extern TQuillEditorDialogClass GlobalGotoLineDialogClass;
// Modal: whether the editor shows the form modally and frees it (the form's
// answer to the editor's introduction decides in the end).
using TBeforeCreateDialogEvent =
    std::function<void(TQuillObject* sender, int command, TQuillEditorDialog*& form, bool& modal, bool& handled)>;
using TAfterCreateDialogEvent = std::function<void(TQuillObject* sender, int command, TQuillEditorDialog* form)>;

// What the search commands tell and ask the user. The desktop's boxes by
// default; tests and programs without a desktop put their own in place.
class TQuillSearchPrompts {
 public:
  virtual ~TQuillSearchPrompts() = default;
  virtual void ShowError(const std::string& text);
  virtual TQuillReplaceAnswer AskReplace(const std::string& text);
};
TQuillSearchPrompts& SearchPrompts();
// Null puts the desktop's back.
void SetSearchPrompts(TQuillSearchPrompts* prompts);

class TCustomQuillEdit : public QAbstractScrollArea,
                         public TQuillComponent,
                         public TQuillEditorView,
                         public TQuillBackgroundOwner {
 public:
  explicit TCustomQuillEdit(QWidget* parent = nullptr);
  ~TCustomQuillEdit() override;

  static TQuillEditClasses DefaultClasses();

  // ---- document ----
  TCustomQuillEditSource& GetEditSource() override;
  // The document given from outside, or null while the control shows its own.
  TCustomQuillEditSource* EditSource() const { return external_; }
  // Raises when the document is not of the control's document class.
  void SetEditSource(TCustomQuillEditSource* source);
  TQuillStrings& Lines() { return GetLines(); }
  bool ReadOnly() { return GetEditSource().GetReadOnly(); }
  void SetReadOnly(bool value) { GetEditSource().SetReadOnly(value); }
  void SetParser(TCustomQuillParser* parser) { GetEditSource().SetParser(parser); }
  TQuillSourceOptions SourceOptions() { return GetEditSource().Options(); }
  void SetSourceOptions(TQuillSourceOptions value) { GetEditSource().SetOptions(value); }
  TQuillLineBreak LineBreak() { return Lines().LineBreak; }
  void SetLineBreak(TQuillLineBreak value) { Lines().LineBreak = value; }
  bool UseGlobalSettings() const { return useGlobalSettings_; }
  void SetUseGlobalSettings(bool value);
  // The document parses up to line To, or Parse-ahead lines past From when
  // To is MaxInt.
  void ParseStrings(int from, int to);
  static int ParseAhead;

  // ---- companions ----
  TCustomQuillPainter& Painter() override { return *painter_; }
  TQuillEditorColors& Colors() override { return colors_; }
  TQuillLineDivider& LineDivider() override { return divider_; }
  TQuillControlBackground& Background() override { return background_; }
  TQuillEditorGutter& Gutter() override { return gutter_; }
  TQuillLineNumbers& LineNumbers() override { return lineNumbers_; }
  TQuillLineStyles& LineStyles() override { return lineStyles_; }
  TQuillWrapList& WrapList() override { return *wrapList_; }
  TQuillPages& Pages() override { return pages_; }
  TQuillEditorMargin& Margin() { return margin_; }
  TQuillEditorRuler& Ruler() { return ruler_; }
  TQuillPopupWindow& PopupWindow() { return popupWindow_; }
  TQuillSelStrings& SelStrings() { return selStrings_; }
  // Owned objects are never replaced: their setters copy.
  void SetColors(const TQuillEditorColors& value) { colors_.Assign(value); }
  void SetGutter(const TQuillEditorGutter& value) { gutter_.Assign(value); }
  void SetMargin(const TQuillEditorMargin& value) { margin_.Assign(value); }
  void SetLineNumbers(const TQuillLineNumbers& value) { lineNumbers_.Assign(value); }
  void SetLineStyles(const TQuillLineStyles& value) { lineStyles_.Assign(value); }
  void SetLineDivider(const TQuillLineDivider& value) { divider_.Assign(value); }
  void SetBackground(const TQuillControlBackground& value) { background_.Assign(value); }
  void SetRuler(const TQuillEditorRuler& value) { ruler_.Assign(value); }
  void SetPopupWindow(const TQuillPopupWindow& value) { popupWindow_.Assign(value); }
  void SetPages(const TQuillPages& value) { pages_.Assign(value); }

  // ---- look ----
  TQuillFont Font() const override { return font_; }
  void SetFont(const TQuillFont& font);
  TColor Color() const override { return color_; }
  void SetColor(TColor color);
  TColor GetEditorColor() const override;
  TColor BorderColor() const override { return borderColor_; }
  void SetBorderColor(TColor value);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle value);
  TQuillFont PageNumFont() const override { return pageNumFont_; }
  void SetPageNumFont(const TQuillFont& font);
  TQuillEditorOptions Options() const override { return options_; }
  void SetOptions(TQuillEditorOptions value);
  bool WordWrap() const override { return wordWrap_; }
  void SetWordWrap(bool value);
  TQuillPageType PageType() const override { return pageType_; }
  void SetPageType(TQuillPageType value);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle value);
  bool HideScrollBars() const { return hideScrollBars_; }
  void SetHideScrollBars(bool value);
  // Scroll bars have one look here; the setting is kept for settings files.
  bool FlatScrollBars() const { return flatScrollBars_; }
  void SetFlatScrollBars(bool value) { flatScrollBars_ = value; }
  int MaxScrollPos() const { return maxScrollPos_; }
  void SetMaxScrollPos(int value);
  bool HideCaret() const { return hideCaret_; }
  void SetHideCaret(bool value);
  bool HideSelection() const override { return hideSelection_; }
  void SetHideSelection(bool value);
  int BlockIndent() const { return blockIndent_; }
  void SetBlockIndent(int value) { blockIndent_ = value; }
  TQuillBlockSelMode BlockSelMode() const { return blockSelMode_; }
  void SetBlockSelMode(TQuillBlockSelMode value);
  // The cursor while a block is dragged over a place it may be dropped.
  Qt::CursorShape DragCursor() const { return dragCursor_; }
  void SetDragCursor(Qt::CursorShape value) { dragCursor_ = value; }
  bool WantTabs() const { return wantTabs_; }
  void SetWantTabs(bool value) { wantTabs_ = value; }
  bool WantReturns() const { return wantReturns_; }
  void SetWantReturns(bool value) { wantReturns_ = value; }
  int AutoCompletePause() const { return autoCompletePause_; }
  void SetAutoCompletePause(int value) { autoCompletePause_ = value; }
  const std::string& AutoCorrectDelims() const { return autoCorrectDelims_; }
  void SetAutoCorrectDelims(const std::string& value) { autoCorrectDelims_ = value; }
  // Overwrite mode, shared by every editor of the program.
  static bool GetOverwrite();
  void SetOverwrite(bool value);
  bool Overwrite() const override { return GetOverwrite(); }
  bool Monochrome() const override { return false; }
  bool Focused() const override;

  // ---- caret and positions ----
  TPoint GetCurrentPosition() const override;
  void SetCurrentPosition(TPoint p);
  TPoint GetCharacterPos() const;
  // The caret as (column within its row, row) with word wrap.
  TPoint GetCaretPos();
  // Whether the caret shows at the end of the upper of two rows it joins.
  bool CaretAtRowEnd() const { return caretAtEnd_; }
  void SetCaretAtRowEnd(bool value) { caretAtEnd_ = value; }
  // Character positions: each line break counts two characters. Positions
  // past the text clamp to its end; lines past the last count as empty.
  int TextPointToPos(TPoint p);
  TPoint PosToTextPoint(int pos);
  int GetTextLen();
  int GetRealChar(int line, int column);
  // The selected text, without the line break after its last line.
  std::string GetSelText();
  virtual bool CanPaste();
  TEditReply Perform(TEditMessage message, intptr_t wParam = 0, intptr_t lParam = 0);

  // ---- the text as one run of characters ----
  // The caret (or the selection's start) as a character position; setting
  // it drops the selection.
  int GetSelStart();
  void SetSelStart(int position);
  int GetSelLength() { return static_cast<int>(GetSelText().size()); }
  // A stream selection of that many characters from the selection's start
  // or the caret; negative selects backwards.
  void SetSelLength(int length);
  // Replaces the selection, or inserts at the caret, as one undoable change.
  // The program's own text goes in also while the user may not type.
  void SetSelText(const std::string& text);
  bool GetModified() { return GetEditSource().Modified(); }
  void SetModified(bool value) { GetEditSource().SetModified(value); }
  bool GetCanUndo() { return GetEditSource().UndoAvailable(); }
  bool GetCanRedo() { return GetEditSource().RedoAvailable(); }
  void Undo() { GetEditSource().Undo(); }
  void Redo() { GetEditSource().Redo(); }
  void ClearUndo();
  void Clear() { GetLines().Clear(); }
  // Deletes the selected text (the program's request, as SetSelText).
  void ClearSelection();
  void CopyToClipboard() { CopyBlock(); }
  void CutToClipboard() { CutBlock(); }
  void PasteFromClipboard() { PasteBlock(); }
  void SelectAll() { ProcessBlock(ecSelectAll); }
  bool CanCopy() const { return selType_ != TQuillSelType::slNone; }

  // ---- window and scrolling ----
  int WindowLine() const override { return windowLine_; }
  int WindowChar() const override { return windowChar_; }
  void SetWindowLine(int line);
  void SetWindowChar(int column);
  void CheckWindowLine(bool scroll);
  int GetScrollPos(bool vertical) const;
  void SetScrollPos(bool vertical, int pos);
  void SetScrollSize(bool vertical, int min, int max, int page);
  void MouseWheel(int delta);
  void DoVScroll(int code, int pos);
  void DoHScroll(int code, int pos);
  // Whole columns and rows that fit in the text area.
  TPoint ScrollPageSize();
  void UpdateScrollBars() override;
  void UpdateScrollPos();
  // Range and page of a bar; a page of -1 removes the bar.
  void SetScrollBarInfo(int range, int page, bool vertical);
  void EnsureVisible(TPoint p);
  void EnsureCaretVisible() { EnsureVisible(GetCurrentPosition()); }
  void CenterCurrentLine(bool onlyWhenHidden);
  bool IsCurrentLineVisble();
  TPoint GetCaretSize();
  void CreateCaret();
  void UpdateCaretMode();
  virtual void UpdateCaret();
  void UpdateCaretEx(int x, int y);
  platform::TCaret& Caret() { return *caret_; }

  // ---- keyboard ----
  TQuillKeyList& KeyList() { return keyList_; }
  TQuillKeyMapping KeyMapping() const { return keyMapping_; }
  // Rebuilds the key list from the chosen map.
  void SetKeyMapping(TQuillKeyMapping value);
  virtual void InitDefaultKeys() { InitializeDefaultKeys(*this); }
  virtual void InitClassicKeys() { InitializeClassicKeys(*this); }
  virtual void InitBriefKeys() { InitializeBriefKeys(*this); }
  virtual void InitEpsilonKeys() { InitializeEpsilonKeys(*this); }
  virtual void InitVStudioKeys() { InitializeVStudioKeys(*this); }
  // The state a two-key sequence is in; 0 when none is pending.
  int KeyState() const { return keyState_; }
  // A key (virtual key code, shift bits) through the key list; a key the
  // list consumed comes back 0 and types nothing.
  virtual void KeyDown(int& key, TShiftState shift);
  // The binding KeyDown would run for the key now; null for none, and for
  // Return and Tab the control leaves to the form.
  const TQuillKeyData* BindingOf(int key, TShiftState shift) const;
  virtual void KeyUp(int& key, TShiftState shift);
  // A typed character: inserted at the caret (or handed to the incremental
  // search); one consumed comes back 0.
  virtual void KeyPress(char& key);
  bool HasAutoCorrection(const std::string& word, std::string& correctWord);
  void CheckAutoCorrect();
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;
  TWordAutoCorrectEvent OnWordAutoCorrect;

  // ---- clipboard ----
  // Strings as a paste would insert them: the clipboard's lines, and an
  // empty last one when its text ends with a line break.
  void FillStringsFromClipboard(std::vector<std::string>& strings);
  bool NeedDeleteBlock();
  // Raw bytes in a named format beside the text the program put there.
  static bool WriteToClipboard(const std::string& format, const std::string& data);
  // The byte count; 0 when the clipboard has no such data.
  static int ReadFromClipboard(const std::string& format, std::string& data);

  // ---- search ----
  // Commands ecFind, ecReplace, ecGotoLine: the registered form, if any.
  void ExecuteDialog(int command);
  virtual bool CreateEditorDlg(int command, TQuillEditorDialog*& form, bool& owned);
  bool Find();
  bool Replace() {
    int count = 0;
    return ReplaceEx(count);
  }
  bool ReplaceEx(int& count);
  void GotoLine();
  // Repeats the last search (ecFind) or replace (ecReplace).
  void FindNext(int command);
  bool DoFind(bool silent, int& length);
  void StringFound(TQuillSearchScope scope, bool forward, TPoint point, int length);
  bool DoReplace(int& count);
  // Matches from the caret on; caret and view stay.
  int OccurrenceCount();
  TPoint PointToBlockPoint(TPoint p);
  TPoint BlockPointToPoint(TPoint p);
  void InitIncrementalSearch(int command = 0);
  bool IncrementalSearch(const std::string& text, bool removeLast);
  void DoneIncrementalSearch();
  void CheckIncrementalSearch();
  bool InIncrementalSearch() const { return incSearch_; }
  const std::string& IncrementalSearchText() const { return incSearchText_; }
  TBeforeCreateDialogEvent OnBeforeCreateDialog;
  TAfterCreateDialogEvent OnAfterCreateDialog;

  // ---- templates, popups, completion, bookmarks, brackets ----
  TQuillCodeTemplates& CodeTemplates() { return codeTemplates_; }
  void SetCodeTemplates(const TQuillCodeTemplates& value) { codeTemplates_.Assign(value); }
  void ShowCodeTemplates(int command = 0);
  void BeforeShowTemplate();
  void InsertTemplate(int index);
  TQuillListBox& PopupListBox();
  bool PopupListBoxShowing() const;
  void ShowPopupListBox(TStrings& strings, bool hookKeys) { ShowPopupListBoxEx(strings, hookKeys, true); }
  void ShowPopupListBoxEx(TStrings& strings, bool hookKeys, bool rememberCaret);
  void HidePopupListBox();
  // A list item was chosen.
  void PopupCallBack(QWidget* sender);
  TQuillHint& PopupHint();
  bool PopupHintShowing() const;
  void ShowPopupHint(const std::string& text, TPoint screenPoint, bool flag);
  void HidePopupHint();
  void EnableAutoCompleteTimer();
  void DisableAutoCompleteTimer();
  void DoCodeCompletion();
  void PopupListBoxKeyDown(int& key, TShiftState shift);
  void PopupListBoxKeyPress(char& key);
  void ToggleBookMark(int number);
  void GoToBookMark(int number);
  // Jumps to the partner of the bracket right of the caret.
  void FindBracket(int command = 0);
  void HighlightBrackets();
  void UnHighlightBrackets();
  void InvalidateBrackets();
  // The highlighted pair (opening, closing); (-1, -1) each when none.
  TPoint HighlightedBracket(int index) const { return brackets_[index & 1]; }
  TBeforeInsertPopupEvent OnBeforeInsertPopup;
  TAutoCompleteEvent OnAutoComplete;
  TDisplayHintEvent OnDisplayHint;

  // ---- commands (TQuillCommand codes) ----
  void Navigate(int command);
  void WrapNavigate(int dx, int dy);
  void PageUpOrDown(bool up);
  void ProcessKey(int command);
  void UndoOrRedo(int command);
  virtual void DeleteStr(int command);
  virtual void InsertStr(int command);
  void ProcessBlock(int command);
  void DoProcessBlock(int before, int navigate, bool restoreCaret, int after);
  void Toggle(int command);
  void SelectStreamBlock(int navigateCommand);
  void SelectSquareBlock(int navigateCommand);

  // ---- selection ----
  TQuillSelType SelType() const override { return selType_; }
  // Start (Left, Top) and end (Right, Bottom); a stream's end is exclusive.
  TRect SelRect() const { return selRect_; }
  void SetSelection(TRect rect, TQuillSelType selType);
  void SetSelType(TQuillSelType selType) { SetSelection(selRect_, selType); }
  void SetSelRect(TRect rect) { SetSelection(rect, selType_); }
  bool GetSelBounds(int line, int row, int& left, int& right, bool inPixels) override;
  TRect GetBlockSelRect();
  bool InsideBlock(int x, int y) override { return InsideRect(x, y, selRect_, selType_); }
  bool InsideSearchRect(int x, int y) override { return InsideRect(x, y, searchRect_, TQuillSelType::slStream); }
  bool InsideRect(int x, int y, const TRect& rect, TQuillSelType selType);
  bool IsValidBlockPos(int x, int y);
  bool IsBlockEmpty() const { return IsEmptyBlock(selRect_, selType_); }
  bool SearchRectEmpty() const override { return IsEmptyBlock(searchRect_, TQuillSelType::slStream); }
  TRect SearchRect() const { return searchRect_; }
  void SetSearchRect(TRect rect);
  void LockSearchRect(int delta) { searchLock_ += delta; }
  // Moves the block marks and the selection after an edit at (X, Y) that
  // shifted the text by DX columns and DY lines.
  void UpdateBlock(int x, int y, int dx, int dy);
  // Text points that follow edits while an operation runs (a drop position).
  void TrackPoint(int slot, TPoint* point) { tracked_[slot & 1] = point; }
  TPoint BlockMark() const { return blockMark_; }
  void DeleteBlock();
  void SelectLine();
  void SelectWrapLine();
  void MarkWord();
  void MarkLineOrWord();
  // The selection is kept while caret moves run inside a raised counter.
  void LockSelection(int delta) { selUpdate_ += delta; }
  // Inserts lines at the caret as a stream or a column block and selects them.
  void PasteStrings(const std::vector<std::string>& strings, TQuillSelType selType);
  virtual void CheckSelType(TQuillSelType& selType);
  virtual bool AllowBlockSel() { return !wordWrap_; }
  virtual bool NeedSelection() { return (options_ & eoEnableSelection) != 0; }
  // Clipboard transfer of the selection (block commands 22 to 24 and the
  // copy, cut and paste requests), as plain text.
  virtual void CopyBlock();
  virtual void CutBlock();
  virtual void PasteBlock();
  // A hook for descendants to see or change what a paste inserts.
  virtual void DoPaste(std::vector<std::string>& strings) { (void)strings; }
  // Drops (moves, or copies) the selected text at the caret; false when the
  // caret lies inside the selection.
  virtual bool MoveBlock(bool move);
  // Moves (or copies) the selection to the caret: the selection is deleted
  // first when moving, then Insert puts the text in at the drop point, all
  // as one change; false when there is nothing to drop or the caret lies
  // inside the selection.
  bool DropSelection(bool move, const std::function<void()>& insert);

  // ---- mouse selection ----
  TQuillSelState SelState() const { return selState_; }
  // Starts a mouse selection (seSel or seDrag) from Anchor; the timer
  // follows the mouse until DisableSelTimer.
  void BeginMouseSelect(TQuillSelState state, TPoint anchor);
  void SetPosByMouse(int x, int y);
  bool CheckEndOfLine(TPoint pixel);
  void MouseSelect();
  void EnableSelTimer();
  void DisableSelTimer();
  // The mouse position MouseSelect reads; the screen cursor unless set.
  std::function<TPoint()> MousePosition;

  // ---- mouse, links, gutter ----
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void MouseMove(TShiftState shift, int x, int y);
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  void DblClick();
  bool MouseOnGutter(TPoint pixel);
  bool CursorOnGutter();
  // The style word of the character under a pixel; -1 off the line's text.
  int StyleAtCursor(TPoint pixel);
  virtual bool UrlAtPoint(TPoint pixel);
  // Opens the link run around a text point.
  virtual void ProcessUrl(TPoint textPoint);
  virtual void JumpToUrl(const std::string& text);
  int GetGutterImageIndex(TPoint pixel);
  virtual void GutterClick(int line, int imageIndex);
  virtual void GutterDblClick(int line, int imageIndex);
  TUrlJumpEvent OnUrlJump;
  TGutterClickEvent OnGutterClick;
  TGutterClickEvent OnGutterDblClick;

  // ---- tabs ----
  void InsertTab();
  int GetTabIndent(bool useTabStops);
  void EnTabBlock();
  void DeTabBlock();
  void EnTabLine();
  void DeTabLine();
  // The text the indent and outdent commands insert and remove at each
  // line; BlockIndent blanks while empty.
  std::string IndentText;

  // ---- word wrap ----
  void UpdateWordWrap(int first, int last);
  // Lines came (Delta > 0) or went (Delta < 0) after line Line during the
  // document's update: the rows below follow, so that only the changed
  // lines need wrapping when the update ends.
  void ShiftRows(int line, int delta);
  // Whether every line that came or went in this update shifted the rows.
  bool RowsFollowedLines();
  bool RowsShifted() const { return linesBeforeShift_ >= 0; }
  // The wrap list asks for lines First .. Last: wrapped unless the text ends
  // before them.
  void OnUpdateWordWrap(TQuillObject* sender, int first, int last);
  // The next break of line S (positions from 1) for a row of Width pixels.
  void WordBreakProc(int line, const std::string& s, int& pos);
  void WordWrapUpdated(bool repaint);
  void InvalidateEditor(int first, int last);
  std::vector<std::string> GetWrapLines();

  // ---- coordinates and counts ----
  int GetGutterIndent(bool withCollapseRoom);
  int GetLeftIndent() override;
  int GetTopIndent() override;
  int GetLeftRulerIndent() override;
  int GetTopRulerIndent() override;
  TPoint TextToPixelPoint(TPoint p, bool atRowEnd);
  TPoint PixelToTextPoint(TPoint pixel, bool atRowEnd);
  TPoint PixelToTextChar(int row, int x, bool limitToRow);
  TRect RectFromTextPoint(TRect text);
  int GetLineNumberLength();
  int GetLineNumberWidth() override { return lineNumberWidth_; }
  void UpdateLineNumbers(bool force) override;
  int LineCount() { return GetLines().Count(); }
  int WrapLineCount();
  int VisibleLineCount();
  int MaxVisibleLine() { return std::max(VisibleLineCount() - 1, 0); }
  int LineWidth(int line) { return static_cast<int>(GetLines().Get(line).size()); }
  void UpdateLines(int first, int last);
  int GetMaxLineWidth();
  void UpdateMaxLine();
  bool InvisibleLines() { return (SourceOptions() & srAllowHiddenLines) != 0; }
  // With hidden lines allowed, turn the index in place into a visible one /
  // a real one and return it; otherwise leave it and return 0.
  int GetVisibleLineIndex(int& index);
  int GetRealLineIndex(int& index);
  int VisibleLineOf(int line) override;
  int RealLineOf(int visibleLine) override;
  // The row of a text point (a wrapped row, or a visible line).
  int RowOfPoint(TPoint p, bool atRowEnd);
  // The text point at the start of a row.
  TPoint RowStart(int row);
  TQuillPage* GetCurrentPage();
  TQuillPage* GetDefaultPage() { return pages_.Count() > 0 ? &pages_.GetItem(0) : nullptr; }
  void SetDefaultPage(const TQuillPage& page);
  void AddDefaultPage() { pages_.Add(); }
  int GetPageIndexAt(TPoint p, bool byText);
  void UpdateAllPages() override;
  void UpdateDefaultPage() override;
  virtual void PageTypeChanged();
  void PageChanged(TQuillPage& page) override;
  void UpdateRulers() override;
  void RulerChanged(TQuillRuler& ruler, TQuillRulerIndentation* indentation) override;
  virtual void AssignContent(TCustomQuillEdit& other, bool selectionOnly);
  // The font a new editor starts in, at 10 points in the window-text colour.
  virtual void AssignDefaultFont() { AssignEditorFont("Courier New"); }

  // ---- formatted save ----
  // The text (or a stream selection) through an exporter, with the colours
  // and font styles it shows in.
  void SaveToFmtStream(std::ostream& stream, bool selectionOnly, const TQuillExporterClass& exporterClass);
  void SaveToFmtFile(const platform::FileName& fileName, const TQuillExporterClass& exporterClass);
  // One run of characters of one style word (Object: a picture).
  virtual void SaveFmtString(TCustomQuillExporter& exporter, const std::string& text, uint16_t style,
                             TCustomQuillEditorObject* object);
  // The start of every exported line, the first one included (which starts
  // no new paragraph); Last: the last line of the text or selection.
  virtual void NewFmtLine(TCustomQuillExporter& exporter, int line, bool first, bool last);
  // An embedded-object character with its data word.
  virtual void SaveFmtObject(TCustomQuillExporter& exporter, uint16_t style) {
    (void)exporter;
    (void)style;
  }

  // ---- painting ----
  void Invalidate() override;
  void InvalidateRect(const TRect& rect) override;
  void InvalidateSelection() override { InvalidateSelection(selRect_, selType_); }
  void InvalidateSearchRect() override { InvalidateSelection(searchRect_, TQuillSelType::slStream); }
  virtual void InvalidateSelection(const TRect& rect, TQuillSelType selType);
  void PaintBackground() override;
  void PaintGutter(TCanvas& canvas, const TRect& rect) override;
  // The index of the gutter image under X on the row of (Char, Line); -1.
  int GutterImageAt(int line, int ch, int x);
  virtual char GetFmtMark(TQuillFormattingMark mark);
  std::string GetFmtString(int line);
  // Paints what the canvas's clip rectangle holds of the client area, as a
  // paint event does (a picture, a recording).
  void PaintTo(TCanvas& canvas);
  // Nothing paints while the lock is held (compound operations).
  void LockPaint(int delta) { paintLock_ += delta; }
  // Edits made while redrawing is held only note the lines they touch. Once
  // the last hold is released and the event loop's turn is over, before its
  // painting, the pixels that are still right move once, the rest is
  // repainted and the scroll bars are set: text added at the end of a long
  // view costs its own rows, however many messages the turn brought.
  void HoldRedraw() noexcept;
  void ReleaseRedraw();

  // ---- events ----
  TNotifyEvent OnSelectionChanged;
  TSourceChangedEvent OnSourceChanged;
  TScrollEvent OnScroll;
  TScrollHintEvent OnScrollHint;
  TGetDrawStyleEvent OnGetDrawStyle;
  TGetFormattingMarkEvent OnGetFormattingMark;
  TNotifyEvent OnMouseLeave;
  // Progress of a whole formatted load and save.
  TQuillProgressEvent OnFileLoad;
  TQuillProgressEvent OnFileSave;

  // ---- the view's window ----
  TCanvas& Canvas() override;
  QWidget* Widget() override { return viewport(); }
  bool HandleAllocated() const override { return true; }
  bool Destroying() const override { return destroying_; }
  int ClientWidth() const override;
  int ClientHeight() const override;
  int RebuildingFromLine() const override { return rebuildingFrom_; }
  void ResetScrollCache() override { maxScrollHeight_ = -1; }
  int GetPageTop(const TQuillPage& page) override;
  int ScrolledWidth() override;
  void GetColorFromStyle(int styleIndex, TColor& color, TColor& backColor) override;
  void DoGetDrawStyle(int line, int ch, uint16_t& style) override;
  bool CheckBrackets(int line, int column) override;

  // ---- TQuillBackgroundOwner ----
  TRect BackgroundRect() const override { return {0, 0, ClientWidth(), ClientHeight()}; }
  TBrush BackgroundBrush() const override { return {GetEditorColor(), TBrushStyle::bsSolid}; }
  void InvalidateBackground() override { Invalidate(); }

  void Notification(TQuillComponent* component, TOperation operation) override;

 protected:
  // The text point shown at the top-left of the text area.
  TPoint TopLeftPoint();
  TCustomQuillEdit(QWidget* parent, const TQuillEditClasses& classes);

  // ---- overridable steps ----
  virtual void Paint();
  virtual void HandleEvents(TQuillObject* sender, intptr_t param);
  virtual void EditSourceChanged();
  virtual void SourceChanged(TQuillEditSourceStates states);
  virtual void SelectionChanged();
  virtual void DoFontChanged();
  virtual bool NeedStoreInfo() { return false; }
  virtual void BeforeWrapString(int line) { (void)line; }
  // One row: characters Start .. End - 1 of the line (End MaxInt: to its end).
  virtual void AddToWrapList(const std::string& s, int line, int start, int end);
  virtual void DoScroll(bool vertical, int code);
  virtual void DoScrollHint(int line, int page, std::string& hint);
  virtual void ProcessVScroll(int code, int pos);
  virtual void BeforeInsertPopup(std::string& text);
  void AssignEditorFont(const std::string& face);
  // What a tab typed does to the column kept for moves up and down.
  void ForgetKeptColumn() { keepColumn_ = false; }

  // ---- Qt events ----
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  friend class TQuillSelStrings;
  struct PaintArea;

  void Construct(const TQuillEditClasses& classes);
  // The document notifier: the same value registers and unregisters.
  TQuillNotifyEvent Handler();
  void ConnectScrollBars();
  void ScrollVertically(int code, int pos);
  void ScrollByLines(int dy);
  // The text point of a position, no further than the end of the text.
  TPoint SelectionPoint(int pos);
  // Where a word-right move from column x (inside s) ends on that line.
  int WordRightFrom(const std::string& s, int x);
  // What follows a new size of the text area.
  void SetBounds(int width, int height);
  void UpdateInvisibleLines();
  void UpdateColors();
  void ColorsChanged();
  void DoSetCursor(TPoint pixel);
  void RewrapKeepingTop();
  int WrapWidth();
  void AfterWrapping();
  void PagesStaleFrom(int line);
  void UpdateBarsAfterPaint();

  // painting (QuillEditPaint.cpp)
  void PaintRect(const TRect& rect);
  void InitPainter(const TRect& rect);
  void DoFillRect(const TRect& rect);
  void PaintRecord(TCustomPainterRecord& record, const TRect& paintRect);
  void PaintGutterContent(const TRect& rect, TQuillPage* page, int fromLine, int fromChar, int x);
  // Draws (with a canvas) or hit-tests (with MouseX) the images of a row.
  int PaintGutterImage(TCanvas* canvas, const TRect& row, int line, int start, int end, int mouseX);
  bool NeedPaintGutterBrush();
  void PaintBoundsRect(const TRect& outer, const TRect& inner, TColor color);
  void PaintLineNumber(const TRect& rect, bool continuationRow, int line, int gutterLeft);
  void PaintMargin(int y1, int y2);
  void RepaintControl(int oldColumn, int oldLine);
  bool ScrollText(int dx, int dy);

  // selection (QuillEditSelection.cpp)
  bool IsEmptyBlock(const TRect& rect, TQuillSelType selType) const;
  void SelectBlock(TQuillSelType selType, const std::function<void()>& moveProc, int navigateCommand, TPoint from);
  void MoveProc();
  void WidenAnchor();
  void DoProcessString(bool restoreCaret, const std::function<void(std::string&)>& proc);
  void IndentProc(std::string& s);
  void OutdentProc(std::string& s);
  static void UpperCaseProc(std::string& s);
  static void LowerCaseProc(std::string& s);
  // Lower case becomes upper, everything else lower.
  static void ToggleCaseProc(std::string& s);
  void CapitalizeProc(std::string& s);
  // Whether a block command changes text (refused while read-only).

  // caret and navigation (QuillEditCaret.cpp)
  void WordLeft();
  void WordRight();
  void LineEnd();
  void WordEnd();
  void BeforeNavigate(TNotifyRecord& record);
  void ScrollHint(int code, int pos);
  int ScrollLimit(bool vertical);

  // keyboard (QuillEditKeyboard.cpp)
  void InsertTypedChar(char c);
  // Whether a key event is one the key list binds in the pending state.
  bool KeyIsBound(QKeyEvent* event);
  // Return and Tab the control does not want are left to the form, unless
  // Ctrl asks for the plain key (then the shift state is emptied).
  bool LeftToForm(int key, TShiftState& shift) const;

  // search (QuillEditSearch.cpp)
  bool ReplaceStep(bool& stop);
  void ReplaceAllSteps(int& count);
  bool SearchSelection();

  // popups and mouse (QuillEditPopups.cpp, QuillEditMouse.cpp)
  void ShowTemplatesOrInsert(const std::string& filter);
  bool HookPopupKey(QObject* watched, QEvent* event);
  void StartDrag();

  // ---- state ----
  TCustomQuillEditSource* external_ = nullptr;
  TQuillPageType pageType_ = TQuillPageType::ptNormal;
  TColor borderColor_ = clBtnShadow;
  TScrollStyle scrollBars_ = TScrollStyle::ssNone;
  bool wantTabs_ = false;
  bool wantReturns_ = true;
  bool hideCaret_ = false;
  bool hideScrollBars_ = false;
  bool hideSelection_ = false;
  bool flatScrollBars_ = false;
  TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
  bool useGlobalSettings_ = false;
  int windowLine_ = 0;
  int windowChar_ = 0;
  int firstPagePainted_ = 0;
  int lastPagePainted_ = 0;
  bool wordWrap_ = false;
  bool caretAtEnd_ = false;
  bool selStartAtEnd_ = false;
  bool selEndAtEnd_ = false;
  int mousePositioning_ = 0;
  int lineNumberDigits_ = 0;
  int lineNumberWidth_ = 0;
  TPoint caretSize_;
  TRect selRect_;
  TPoint blockMark_{-1, -1};
  TPoint brackets_[2] = {{-1, -1}, {-1, -1}};
  TRect searchRect_;
  TQuillSelType selType_ = TQuillSelType::slNone;
  int selUpdate_ = 0;
  int searchLock_ = 0;
  TQuillSelState selState_ = TQuillSelState::seNone;
  TPoint anchor_;
  TPoint lastMouse_{-1, -1};
  bool mouseForward_ = true;
  bool anchorWidened_ = false;
  bool wordExtending_ = false;
  TPoint* tracked_[2] = {nullptr, nullptr};
  int paintLock_ = 0;
  bool RedrawHeld() const { return held_.Depth > 0 || held_.Pending; }
  // True for the event that ends a turn's held redraw, which it then does.
  bool HeldRedrawDue(QEvent* event);
  // True for a paint request of the window that came ahead of a pending held
  // redraw: the redraw is done and the request posted again behind it.
  bool HeldRedrawBeforePaint(QObject* window, QEvent* event);
  void RedrawHeldEdits();
  // The window whose paints bring a pending held redraw forward.
  QPointer<QWidget> heldPaintWindow_;
  struct THeldRedraw {
    int Depth = 0;
    // Released, waiting for the end of the turn.
    bool Pending = false;
    bool Whole = false;
    bool Bars = false;
    bool ScrollPos = false;
    bool Caret = false;
    // From this line down, in rows that may have moved.
    int FirstLine = MaxInt;
    // The view when the hold began.
    int TopRow = 0;
    int Column = 0;
    TPoint Size;
  } held_;
  int marginX_ = 0;
  int blockIndent_ = 2;
  TQuillEditorOptions options_ = DefaultEditorOptions;
  int wheelAccumulator_ = 0;
  int maxScrollPos_ = 255;
  TQuillBlockSelMode blockSelMode_ = TQuillBlockSelMode::bsBoth;
  Qt::CursorShape dragCursor_ = Qt::DragMoveCursor;
  int autoCompletePause_ = 500;
  std::string autoCorrectDelims_ = std::string(" .,;:") + '\t';
  TQuillFont font_;
  TColor color_ = clWindow;

  // keyboard
  TQuillKeyList keyList_;
  TQuillKeyMapping keyMapping_ = TQuillKeyMapping::kmDefault;
  bool keyHandled_ = false;
  int keyState_ = 0;
  char lastChar_ = 0;

  // search
  bool incSearch_ = false;
  bool incSearchMoving_ = false;
  std::string incSearchText_;
  std::unique_ptr<TQuillSearchSettings> incSettings_;
  int searching_ = 0;
  int replaced_ = 0;
  // Source updates a replace answered "All" opened, closed when it ends.
  int replaceUpdates_ = 0;

  // templates, popups, completion
  TQuillCodeTemplates codeTemplates_;
  bool showingTemplates_ = false;
  TPoint completionPoint_;
  char completionKey_ = 0;

  // mouse
  bool pressedOnUrl_ = false;
  bool pressedOnGutter_ = false;
  bool dragging_ = false;
  bool linkCursor_ = false;
  QCursor savedCursor_;

  // ---- bookkeeping ----
  bool destroying_ = false;
  bool painting_ = false;
  TCanvas* paintCanvas_ = nullptr;
  bool wrapping_ = false;
  int rebuildingFrom_ = -1;
  bool wrapUpdatePending_ = false;
  int changedFirst_ = -1;
  int changedLast_ = -1;
  int maxLineWidth_ = 0;
  int maxLineIndex_ = -1;
  int maxScrollHeight_ = -1;
  bool keepColumn_ = false;
  int keepX_ = 0;
  int keepWindowChar_ = 0;
  bool pagePointSet_ = false;
  TPoint pagePoint_;
  bool settingScroll_ = false;
  bool verticalMove_ = false;
  bool partialRepaint_ = true;
  TPoint clientSize_;
  bool countingDigits_ = false;
  bool updatingBars_ = false;
  bool barsAgain_ = false;
  int caretLine_ = 0;
  // The lines the rows were shifted by in the document's update under way,
  // and the count of lines before the first shift (-1: none yet).
  int rowsShifted_ = 0;
  int linesBeforeShift_ = -1;

  // ---- companions (in the order they are made) ----
  std::unique_ptr<TQuillWrapList> wrapList_;
  TQuillControlBackground background_{this};
  TBitmap workBitmap_;
  TQuillEditorGutter gutter_{this};
  TQuillEditorMargin margin_{this};
  TQuillLineNumbers lineNumbers_{this};
  TQuillLineStyles lineStyles_{this};
  TQuillSelStrings selStrings_{*this};
  TQuillEditorColors colors_{this};
  TQuillFont pageNumFont_;
  std::unique_ptr<TCustomQuillEditSource> internal_;
  TQuillEditorRuler ruler_{this};
  TQuillLineDivider divider_{this};
  TQuillPages pages_{this};
  std::unique_ptr<TCustomQuillPainter> painter_;
  TQuillPopupWindow popupWindow_;
  std::unique_ptr<platform::TCaret> caret_;
  std::unique_ptr<TQuillTimer> selTimer_;
  std::unique_ptr<TQuillHintWindow> scrollHint_;
  QPointer<TQuillListBox> popupListBox_;
  std::unique_ptr<TQuillHint> popupHint_;
  std::unique_ptr<TQuillTimer> autoCompleteTimer_;
  TQuillEditClasses classes_;
  std::unique_ptr<TQuillEditorAttributes> fmtAttributes_;
};

// The control as forms place it.
class TQuillEdit : public TCustomQuillEdit {
 public:
  using TCustomQuillEdit::TCustomQuillEdit;
};

}  // namespace quill
