// Keys through the key list, typed characters, word correction, and the
// clipboard.

#include <QKeyEvent>

#include <algorithm>

#include "editor/QuillCommands.h"
#include "editor/QuillDocParser.h"
#include "editor/QuillEdit.h"
#include "platform/Clipboard.h"
#include "platform/VirtualKeys.h"

namespace quill {

namespace {

// The kind of the last copy, for every editor of the program: a column
// block copied here pastes as a column block anywhere in the program.
TQuillSelType lastCopyType = TQuillSelType::slStream;

constexpr uint8_t kShiftBits = ssShift | ssAlt | ssCtrl;

// Shift, Ctrl, Alt and their kin pressed on their own. They leave a pending
// sequence pending: the second key of Ctrl+K Ctrl+B is often pressed with a
// Ctrl pressed anew.
bool IsModifierKey(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R: return true;
    default: return false;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Key maps

void TCustomQuillEdit::SetKeyMapping(TQuillKeyMapping value) {
  if (value == keyMapping_) return;
  keyMapping_ = value;
  keyList_.Clear();
  switch (value) {
    case TQuillKeyMapping::kmDefault: InitDefaultKeys(); break;
    case TQuillKeyMapping::kmClassic: InitClassicKeys(); break;
    case TQuillKeyMapping::kmBrief: InitBriefKeys(); break;
    case TQuillKeyMapping::kmEpsilon: InitEpsilonKeys(); break;
    case TQuillKeyMapping::kmVisualStudio: InitVStudioKeys(); break;
    case TQuillKeyMapping::kmOther: break;
  }
}

// ---------------------------------------------------------------------------
// Keys

void TCustomQuillEdit::KeyDown(int& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
  keyHandled_ = false;
  if (LeftToForm(key, shift) || key == 0) return;
  const TQuillKeyData* data = keyList_.FindKeyData(static_cast<uint16_t>(key), static_cast<uint8_t>(shift & kShiftBits),
                                                   keyState_);
  if (data == nullptr) {
    keyState_ = 0;
    return;
  }
  // Copied first: a handler may rebuild the list (or open a dialog).
  const TQuillKeyData binding = *data;
  if (binding.Method != nullptr) (this->*binding.Method)(binding.Command);
  key = 0;
  keyHandled_ = true;
  keyState_ = binding.NewState;
}

bool TCustomQuillEdit::LeftToForm(int key, TShiftState& shift) const {
  if ((key != platform::vkReturn || wantReturns_) && (key != platform::vkTab || wantTabs_)) return false;
  if (!(shift & ssCtrl)) return true;
  shift = 0;
  return false;
}

const TQuillKeyData* TCustomQuillEdit::BindingOf(int key, TShiftState shift) const {
  if (LeftToForm(key, shift) || key == 0) return nullptr;
  return keyList_.FindKeyData(static_cast<uint16_t>(key), static_cast<uint8_t>(shift & kShiftBits), keyState_);
}

void TCustomQuillEdit::KeyUp(int& key, TShiftState shift) {
  if (OnKeyUp) OnKeyUp(this, key, shift);
  keyHandled_ = false;
}

void TCustomQuillEdit::KeyPress(char& key) {
  if (OnKeyPress) OnKeyPress(this, key);
  if (keyHandled_) {
    keyHandled_ = false;
    return;
  }
  if (keyState_ != 0) return;
  const auto c = static_cast<unsigned char>(key);
  if (c < 32 || c == 127) return;
  lastChar_ = key;
  const bool completion = (OnAutoComplete || OnDisplayHint) && (!OnAutoComplete || !PopupListBoxShowing()) &&
                          (!OnDisplayHint || !PopupHintShowing());
  DisableAutoCompleteTimer();
  if (incSearch_) {
    IncrementalSearch(std::string(1, key), false);
    key = 0;
    return;
  }
  InsertTypedChar(key);
  if (completion) {
    completionPoint_ = GetCurrentPosition();
    completionKey_ = key;
    EnableAutoCompleteTimer();
  }
  key = 0;
}

void TCustomQuillEdit::InsertTypedChar(char c) {
  TCustomQuillEditSource& doc = GetEditSource();
  TQuillSourceUpdate update(doc, oprInsert);
  if (NeedDeleteBlock()) DeleteBlock();
  const TPoint at = doc.CurrentPosition();
  if (GetOverwrite()) doc.DeleteString(1);
  doc.InsertString(std::string(1, c));
  doc.JumpTo(at.X + 1, at.Y);
  doc.UpdateSpelling(at.Y);
}

bool TCustomQuillEdit::HasAutoCorrection(const std::string& word, std::string& correctWord) {
  bool has = false;
  if (OnWordAutoCorrect) OnWordAutoCorrect(this, word, correctWord, has);
  return has;
}

void TCustomQuillEdit::CheckAutoCorrect() {
  TCustomQuillEditSource& doc = GetEditSource();
  const TPoint caret = doc.CurrentPosition();
  const TPoint before{std::max(caret.X - 1, 0), caret.Y};
  int start = 0, end = 0;
  const TQuillCharSet saved = doc.Delimiters();
  doc.SetDelimiters(DelimSet() | WordDelimSet());
  GetWord(doc, before, start, end, TQuillWordSelType::wsWord);
  doc.SetDelimiters(saved);
  if (start == 0 || end < start) return;
  const std::string word = GetLines().Get(caret.Y).substr(static_cast<size_t>(start - 1), static_cast<size_t>(end - start + 1));
  if (doc.CheckWordSpelling(word)) return;
  std::string correct;
  if (!HasAutoCorrection(word, correct)) return;
  TQuillSourceUpdate update(doc, oprOther);
  doc.JumpTo(start - 1, caret.Y);
  doc.DeleteString(end - start + 1);
  doc.InsertString(correct);
  doc.JumpTo(start - 1 + static_cast<int>(correct.size()) + 1, caret.Y);
}

// ---------------------------------------------------------------------------
// Qt's key events

bool TCustomQuillEdit::KeyIsBound(QKeyEvent* event) {
  const platform::TKeyStroke stroke = platform::KeyStrokeOf(*event);
  return stroke.Key != 0 && keyList_.FindKeyData(stroke.Key, stroke.Shift, keyState_) != nullptr;
}

void TCustomQuillEdit::keyPressEvent(QKeyEvent* event) {
  const platform::TKeyStroke stroke = platform::KeyStrokeOf(*event);
  int key = stroke.Key;
  KeyDown(key, stroke.Shift);
  // A key the tables cannot name (",", a letter with an accent) has no
  // binding: it ends a pending sequence and is typed.
  if (stroke.Key == 0 && !IsModifierKey(event->key())) keyState_ = 0;
  bool consumed = key == 0 && stroke.Key != 0;
  // Alt with a letter is a command, never typing.
  const bool typing = !(stroke.Shift & ssAlt) || (stroke.Shift & ssCtrl);
  const std::string text = typing ? platform::FromQString(event->text()) : std::string();
  for (char c : text) {
    char typed = c;
    KeyPress(typed);
    if (typed == 0) consumed = true;
  }
  keyHandled_ = false;
  if (consumed) event->accept();
  else event->ignore();
}

void TCustomQuillEdit::keyReleaseEvent(QKeyEvent* event) {
  const char typed = lastChar_;
  lastChar_ = 0;
  if (typed != 0 && (SourceOptions() & srAutoCorrect) &&
      UpperCase(autoCorrectDelims_).find(UpperCase(std::string(1, typed))) != std::string::npos)
    CheckAutoCorrect();
  const platform::TKeyStroke stroke = platform::KeyStrokeOf(*event);
  int key = stroke.Key;
  KeyUp(key, stroke.Shift);
  event->ignore();
}

bool TCustomQuillEdit::event(QEvent* event) {
  if (HeldRedrawDue(event) || (isWindow() && HeldRedrawBeforePaint(this, event))) return true;
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    // The second key of a sequence, and Alt combinations, go to the key list
    // before the window's shortcuts; otherwise the shortcuts win.
    const bool alt = (key->modifiers() & Qt::AltModifier) != 0;
    if (keyState_ != 0 || alt) {
      if (KeyIsBound(key)) {
        event->accept();
        return true;
      }
      if (!IsModifierKey(key->key())) keyState_ = 0;
    }
  } else if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool plainTab = (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
                          !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    // Tab moves the focus unless the editor wants it.
    if (plainTab && wantTabs_) {
      keyPressEvent(key);
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

// ---------------------------------------------------------------------------
// Clipboard

bool TCustomQuillEdit::NeedDeleteBlock() {
  return (options_ & eoOverwriteBlocks) && !(options_ & eoPersistentBlocks) && selType_ != TQuillSelType::slNone &&
         selStrings_.Count() > 0;
}

bool TCustomQuillEdit::CanPaste() { return platform::ClipboardHasText(); }

void TCustomQuillEdit::CopyBlock() {
  if (selType_ != TQuillSelType::slNone) {
    platform::SetClipboardText(GetSelText());
    lastCopyType = selType_;
  } else if (options_ & eoForceCutCopy) {
    platform::ClearClipboard();
  }
}

void TCustomQuillEdit::CutBlock() {
  if (selType_ == TQuillSelType::slNone) {
    if (options_ & eoForceCutCopy) platform::ClearClipboard();
    return;
  }
  CopyBlock();
  DeleteBlock();
}

void TCustomQuillEdit::FillStringsFromClipboard(std::vector<std::string>& strings) {
  strings.clear();
  if (!platform::ClipboardHasText()) return;
  const std::string text = platform::ClipboardText();
  TQuillStrings lines;
  lines.SetText(text);
  for (int i = 0; i < lines.Count(); ++i) strings.push_back(lines.GetStr(i));
  if (!text.empty() && (text.back() == '\n' || text.back() == '\r')) strings.emplace_back();
}

void TCustomQuillEdit::PasteBlock() {
  if (NeedDeleteBlock()) DeleteBlock();
  // Text from another program has no columns to keep.
  if (!platform::ClipboardOwned()) lastCopyType = TQuillSelType::slStream;
  TCustomQuillEditSource& doc = GetEditSource();
  TQuillSourceUpdate update(doc, oprInsert);
  std::vector<std::string> strings;
  FillStringsFromClipboard(strings);
  DoPaste(strings);
  PasteStrings(strings, lastCopyType);
  if (!(options_ & eoPersistentBlocks)) SetSelection({}, TQuillSelType::slNone);
}

bool TCustomQuillEdit::WriteToClipboard(const std::string& format, const std::string& data) {
  return platform::AddClipboardFormat(format, data);
}

int TCustomQuillEdit::ReadFromClipboard(const std::string& format, std::string& data) {
  if (!platform::ReadClipboardFormat(format, data)) return 0;
  return static_cast<int>(std::min<size_t>(data.size(), static_cast<size_t>(INT32_MAX)));
}

}  // namespace quill
