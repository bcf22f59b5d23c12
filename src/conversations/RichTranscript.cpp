#include "conversations/RichTranscript.h"

#include <QKeyEvent>

#include <cstdint>
#include <map>
#include <vector>

#include "conversations/Transcript.h"
#include "conversations/TranscriptBound.h"
#include "core/session/PeerBounds.h"
#include "editor/QuillRichEdit.h"
#include "editor/QuillRichEditSource.h"
#include "platform/VirtualKeys.h"

namespace {

using namespace quill;

// The user's keys select, copy and search, and change nothing. Keys bound to
// an edit are kept from the control (TTranscriptEdit); while any other is
// handled the text is read-only all the same, so an edit a key reaches
// some other way (cut, a dialog it opens) is refused too. What the program
// writes goes in, also from a dialog a key opened.
struct TKeyLock {
  int keys = 0, writes = 0;
};

// One bracket of the lock: a key, or the program writing.
class TLockScope {
 public:
  TLockScope(TCustomQuillEditSource& doc, TKeyLock& lock, int TKeyLock::*count)
      : doc_(doc), lock_(lock), count_(count) {
    ++(lock_.*count_);
    Apply();
  }
  ~TLockScope() {
    --(lock_.*count_);
    Apply();
  }
  TLockScope(const TLockScope&) = delete;
  TLockScope& operator=(const TLockScope&) = delete;

 private:
  void Apply() { doc_.SetReadOnly(lock_.keys > 0 && lock_.writes == 0); }
  TCustomQuillEditSource& doc_;
  TKeyLock& lock_;
  int TKeyLock::*count_;
};

// The conversations' few calls passed through to the control; attributes and
// lines are the control's own shared objects, so nothing is kept here.
class TRichTranscript final : public TTranscript, public TTranscriptAttributes, public TTranscriptLines {
 public:
  explicit TRichTranscript(TCustomQuillRichEdit& edit) : edit_(edit) {}

  int GetTextLen() override { return edit_.GetTextLen(); }
  void SetSelStart(int position) override { edit_.SetSelStart(position); }
  // Inside a message its rows are laid out at its end, and the caret is
  // brought into view then: dropping the selection of a run just written
  // needs no scrolling to where the run would be without its rows.
  void SetSelLength(int length) override {
    if (depth_ > 0 && length == 0) edit_.SetSelection({}, TQuillSelType::slNone);
    else edit_.SetSelLength(length);
  }
  void SetSelText(const std::string& text) override {
    bound_.TextWritten(text);
    const TLockScope writing = Writing();
    if (!text.empty()) afterPicture_ = {};
    edit_.SetSelText(text);
  }
  TTranscriptAttributes& GetSelAttributes() override { return *this; }
  void Assign(const platform::TFont& font) override;
  void InsertImageFromFile(const std::string& fileName) override;
  // The message is drawn once it is all in, and then only the rows it
  // changed: the rows above it move up as they are.
  void BeginUpdate() override {
    edit_.GetEditSource().BeginSourceUpdate(oprOther);
    ++depth_;
    edit_.HoldRedraw();
  }
  // The end of one message: the transcript is kept to its bound while the
  // control still waits to lay the text out.
  void EndUpdate() override {
    afterPicture_ = {};
    if (depth_ == 1) {
      try {
        bound_.MessageWritten(*this);
      } catch (...) {
        Ended();
        throw;
      }
    }
    Ended();
  }
  void SetModified(bool modified) override { edit_.SetModified(modified); }
  bool GetModified() override { return edit_.GetModified(); }
  TTranscriptLines& GetLines() override { return *this; }
  std::string Text(const std::function<std::string(const std::string&)>& picture) override;
  bool CanCopy() override { return edit_.CanCopy(); }
  void CopyToClipboard() override { edit_.CopyToClipboard(); }
  void CutToClipboard() override;
  void SelectAll() override { edit_.SelectAll(); }
  TLockScope UserKey() { return {edit_.GetEditSource(), lock_, &TKeyLock::keys}; }

 private:
  TLockScope Writing() { return {edit_.GetEditSource(), lock_, &TKeyLock::writes}; }
  std::uint16_t CaretAttribute();
  void Ended() {
    struct Release {
      TCustomQuillRichEdit& edit;
      ~Release() { edit.ReleaseRedraw(); }
    } release{edit_};
    --depth_;
    edit_.GetEditSource().EndSourceUpdate();
  }

  TCustomQuillRichEdit& edit_;
  TKeyLock lock_;
  TTranscriptBound bound_{peerbounds::kTranscriptMessages, peerbounds::kTranscriptBytes};
  int depth_ = 0;
  // What setting a font at the caret gave, for the few pairs of font and
  // character before it that a chat meets: the fonts of its two sides, each
  // after a header, a body or a picture.
  struct TLook {
    platform::TFont Font;
    std::uint16_t After = 0;  // the attribute the caret follows
    std::uint16_t Number = 0;  // the attribute text takes next
  };
  std::vector<TLook> looks_;
  int looksOf_ = -1;
  // The entry of the control's object table that shows each picture file,
  // numbered in the table as it was at `picturesOf_`.
  std::map<std::string, int> pictures_;
  int picturesOf_ = -1;
  // The attribute the caret follows right after a picture went in, and where
  // that caret stood. A picture's place reads the attribute of the text
  // before the pictures in a row, which a picture put in at the caret does
  // not change; found by reading back over the row, a peer's line of
  // thousands of faces read back over all of them for each.
  struct TAfterPicture {
    TPoint caret{-1, -1};
    int lines = -1;
    std::size_t length = 0;
    std::uint16_t after = NoData;
  } afterPicture_;
};

std::uint16_t TRichTranscript::CaretAttribute() {
  const TPoint caret = edit_.GetCurrentPosition();
  const TQuillStrings& lines = edit_.Lines();
  if (caret == afterPicture_.caret && lines.Count() == afterPicture_.lines &&
      lines.StoredText(caret.Y).size() == afterPicture_.length)
    return afterPicture_.after;
  return edit_.AttributeNumber(edit_.SelAttributePoint());
}

// Setting a font loads every field of the attribute before the caret, merges
// the font into it and finds the table entry equal to the result: three
// times a message, all to arrive at an entry found before. What it finds
// depends only on that attribute, the font and the table, and the table only
// grows until it is emptied, so a pair seen before gives its entry again.
// An attribute without an entry loads the editor font, which can change:
// that pair is never kept.
void TRichTranscript::Assign(const platform::TFont& font) {
  TQuillRichFontManager& table = edit_.GetFontManager();
  const bool caret = edit_.SelType() == TQuillSelType::slNone;
  const std::uint16_t after = caret ? CaretAttribute() : NoData;
  if (!caret || table.GetItem(after) == nullptr) {
    edit_.GetSelAttributes().Assign(font);
    return;
  }
  if (looksOf_ != table.Generation()) {
    looks_.clear();
    looksOf_ = table.Generation();
  }
  TCustomQuillRichEditSource& doc = edit_.RichEditSource();
  for (const TLook& look : looks_)
    if (look.After == after && look.Font == font) {
      doc.SetInsertAttribute(look.Number);
      return;
    }
  edit_.GetSelAttributes().Assign(font);
  // Without an entry set there is nothing to keep.
  const std::uint16_t number = doc.InsertAttribute();
  if (number == NoData || looksOf_ != table.Generation()) return;
  if (looks_.size() >= 8) looks_.erase(looks_.begin());
  looks_.push_back({font, after, number});
}

// A peer's line can hold tens of thousands of emoticon codes, and a room
// window shows its chat for days. The object table numbers at most 65,535
// entries and keeps each after its text is cut away, so one entry per
// showing would stop pictures from showing at all before long. One entry per
// file bounds it by the few files there are; everything that reads an entry
// through a character (painting, saving, copying) reads it alike wherever it
// stands.
void TRichTranscript::InsertImageFromFile(const std::string& fileName) {
  bound_.PictureWritten();
  const TLockScope writing = Writing();
  const TQuillObjectsManager& table = edit_.RichEditSource().ObjectsManager();
  if (picturesOf_ != table.Generation()) {
    pictures_.clear();
    picturesOf_ = table.Generation();
  }
  const bool caret = edit_.SelType() == TQuillSelType::slNone;
  const std::uint16_t after = caret ? CaretAttribute() : NoData;
  afterPicture_ = {};
  const TQuillEditorObject* picture = nullptr;
  const auto known = pictures_.find(fileName);
  if (known != pictures_.end()) picture = edit_.InsertObjectReference(known->second);
  if (picture == nullptr) {
    try {
      if ((picture = edit_.InsertImageFromFile(fileName)) != nullptr) pictures_[fileName] = picture->Number;
    } catch (const EInvalidGraphic&) {
      // A damaged picture file leaves its place empty; the message goes on.
    }
  }
  if (picture == nullptr || !caret) return;
  const TPoint at = edit_.GetCurrentPosition();
  afterPicture_ = {at, edit_.Lines().Count(), edit_.Lines().StoredText(at.Y).size(), after};
}

// Cut from the menu takes the text out; the messages after it end that much
// nearer the top, and the bound cuts at their new ends.
void TRichTranscript::CutToClipboard() {
  afterPicture_ = {};
  const int from = edit_.GetSelStart(), length = edit_.GetTextLen();
  edit_.CutToClipboard();
  bound_.TextRemoved(from, length - edit_.GetTextLen());
}

std::string TRichTranscript::Text(const std::function<std::string(const std::string&)>& picture) {
  const TQuillStrings& lines = edit_.Lines();
  TCustomQuillRichEditSource& doc = edit_.RichEditSource();
  std::string text;
  for (int line = 0; line < lines.Count(); ++line) {
    const std::string row = lines.Get(line);
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (row[i] != kObjectCharacter) {
        text += row[i];
      } else if (const TQuillEditorObject* object = doc.FindEmbeddedObject(static_cast<int>(i) + 1, line)) {
        text += picture(object->ObjectName);
      }
    }
    text += "\r\n";
  }
  return text;
}

// Whether a key's binding would change the text (typed characters aside:
// the key-press handler swallows those). Cut stays: the text being locked,
// it only copies.
bool EditsText(const TQuillKeyData& binding, bool incrementalSearch) {
  using E = TCustomQuillEdit;
  const TQuillKeyboardMethod method = binding.Method;
  if (method == &E::ProcessKey) return binding.Command != ecEscape;
  if (method == &E::UndoOrRedo || method == &E::InsertStr || method == &E::ShowCodeTemplates) return true;
  // Backspace shortens the text of an incremental search.
  if (method == &E::DeleteStr) return !(incrementalSearch && binding.Command == ecLeft);
  if (method == &E::ExecuteDialog || method == &E::FindNext) return binding.Command == ecReplace;
  if (method != &E::ProcessBlock) return false;
  switch (binding.Command) {
    case ecPaste:
    case ecDeleteBlock:
    case ecDeleteSelection:
    case ecCopyToCaret:
    case ecMoveBlock:
    case ecLowerCaseWord:
    case ecUpperCaseWord:
    case ecUpperCaseBlock:
    case ecLowerCaseBlock:
    case ecToggleCase:
    case ecCapitalize:
    case ecIndentBlock:
    case ecOutdentBlock:
    case ecEnTabBlock:
    case ecDeTabBlock: return true;
    default: return false;
  }
}

// The control and its transcript operations go together.
class TTranscriptEdit final : public TQuillRichEdit {
 public:
  explicit TTranscriptEdit(QWidget* parent) : TQuillRichEdit(parent), transcript_(*this) {}
  TTranscript& Transcript() { return transcript_; }

 protected:
  // A key bound to an edit does nothing at all here: the control would
  // still move the caret or the selection around the edit the text refuses
  // (Enter goes down a line, Backspace left).
  void keyPressEvent(QKeyEvent* event) override {
    const platform::TKeyStroke stroke = platform::KeyStrokeOf(*event);
    const TQuillKeyData* binding = BindingOf(stroke.Key, stroke.Shift);
    if (binding != nullptr && EditsText(*binding, InIncrementalSearch())) {
      event->accept();
      return;
    }
    const TLockScope key = transcript_.UserKey();
    TQuillRichEdit::keyPressEvent(event);
  }

 private:
  TRichTranscript transcript_;
};

}  // namespace

TTranscriptControl MakeRichTranscript(QWidget* parent) {
  auto* edit = new TTranscriptEdit(parent);
  // A chat log: what is copied out of it is plain text.
  edit->SetPlainText(true);
  edit->SetWordWrap(true);
  edit->SetScrollBars(TScrollStyle::ssVertical);
  edit->SetOptions(eoEnableSelection | eoSelectBeyondEol | eoWordSelection | eoForceCutCopy | eoLineStyleBeyondEol |
                   eoInvertLineStyle | eoThumbTracking | eoOverwriteCaret | eoKeepColumn | eoFindTextAtCursor);
  // The program writes here without end: the appends are kept out of the
  // undo memory, which would otherwise grow with the chat past its bound.
  edit->SetSourceOptions(srGroupUndo | srMoveUpAtLineBegin | srLeaveTrailSpaces | srMoveDownAtLineEnd);
  edit->SetLineBreak(TQuillLineBreak::lbCRLF);
  // Nothing typed goes in.
  edit->OnKeyPress = [](TQuillObject*, char& key) { key = 0; };
  edit->SetBorderStyle(TBorderStyle::bsNone);
  TQuillFont font = edit->Font();
  font.Name = "Verdana";
  font.Height = -13;
  font.Size = 10;
  edit->SetFont(font);
  return {edit, &edit->Transcript()};
}
