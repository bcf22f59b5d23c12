// Code templates, the popup list and hint beside the caret, code
// completion, bookmarks and bracket matching.

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>

#include "editor/QuillCommands.h"
#include "editor/QuillDocParser.h"
#include "editor/QuillEdit.h"
#include "editor/QuillHint.h"
#include "editor/QuillListBox.h"
#include "editor/QuillPopup.h"
#include "editor/QuillTimer.h"
#include "platform/Charset.h"
#include "platform/VirtualKeys.h"

namespace quill {

namespace {

std::vector<std::string> SplitText(const std::string& text) {
  TQuillStrings lines;
  lines.SetText(text);
  std::vector<std::string> out;
  for (int i = 0; i < lines.Count(); ++i) out.push_back(lines.GetStr(i));
  return out;
}

bool IsOpening(char c) { return c == '(' || c == '<' || c == '[' || c == '{'; }
bool IsClosing(char c) { return c == ')' || c == '>' || c == ']' || c == '}'; }

}  // namespace

// ---------------------------------------------------------------------------
// Templates

void TCustomQuillEdit::ShowCodeTemplates(int) {
  if (codeTemplates_.Count() == 0) return;
  BeforeShowTemplate();
  showingTemplates_ = true;
  const std::string filter = selType_ != TQuillSelType::slNone ? GetSelText() : std::string();
  TStringList& entries = popupWindow_.Strings();
  codeTemplates_.TemplateToStrings(entries, filter);
  if (entries.Count() == 1) {
    showingTemplates_ = false;
    InsertTemplate(codeTemplates_.IndexOf(static_cast<const TQuillCodeTemplate*>(entries.GetObject(0))));
    return;
  }
  ShowPopupListBoxEx(entries, false, false);
}

void TCustomQuillEdit::BeforeShowTemplate() {
  TCustomQuillEditSource& doc = GetEditSource();
  const TPoint caret = doc.CurrentPosition();
  SetSelection({}, TQuillSelType::slNone);
  if (!(options_ & eoPersistentBlocks)) {
    const std::string s = GetLines().Get(caret.Y);
    const int length = static_cast<int>(s.size());
    auto word = [&](int i) { return i >= 0 && i < length && !doc.Delimiters().Contains(s[static_cast<size_t>(i)]); };
    int firstWord = 0;
    while (firstWord < length && !word(firstWord)) ++firstWord;
    if (word(caret.X - 1) && word(caret.X)) return;
    if (!word(caret.X - 1) && caret.X != firstWord) return;
  }
  // The word stays selected while the caret goes back to where it was.
  LockSelection(1);
  try {
    TQuillSourceUpdate update(doc, oprNavigate);
    MarkWord();
    doc.JumpTo(caret.X, caret.Y);
  } catch (...) {
    LockSelection(-1);
    throw;
  }
  LockSelection(-1);
}

void TCustomQuillEdit::InsertTemplate(int index) {
  TCustomQuillEditSource& doc = GetEditSource();
  TQuillSourceUpdate update(doc, oprInsertBlock);
  doc.LockUndo();
  try {
    std::vector<std::string> lines = codeTemplates_.GetItem(index).Code;
    if (OnBeforeInsertPopup) {
      std::string text;
      for (size_t i = 0; i < lines.size(); ++i) text += (i > 0 ? "\r\n" : "") + lines[i];
      BeforeInsertPopup(text);
      lines = SplitText(text);
    }
    DeleteBlock();
    const TPoint at = doc.CurrentPosition();
    for (size_t i = 0; i < lines.size(); ++i) doc.BreakString();
    doc.JumpTo(at.X, at.Y);
    // As a column block: every line starts at the caret's column.
    PasteStrings(lines, TQuillSelType::slBlock);
    SetSelection({}, TQuillSelType::slNone);
    for (size_t row = 0; row < lines.size(); ++row) {
      const size_t marker = lines[row].find('|');
      if (marker == std::string::npos) continue;
      doc.JumpTo(at.X + static_cast<int>(marker), at.Y + static_cast<int>(row));
      SetSelection({}, TQuillSelType::slNone);
      DeleteStr(ecRight);
      break;
    }
  } catch (...) {
    doc.UnlockUndo();
    throw;
  }
  doc.UnlockUndo();
}

void TCustomQuillEdit::BeforeInsertPopup(std::string& text) {
  if (OnBeforeInsertPopup) OnBeforeInsertPopup(this, text);
}

// ---------------------------------------------------------------------------
// Popup list

TQuillListBox& TCustomQuillEdit::PopupListBox() {
  if (popupListBox_.isNull()) {
    popupListBox_ = new TQuillListBox(this);
    popupListBox_->hide();
    popupListBox_->resize(popupWindow_.Width > 0 ? popupWindow_.Width : 200,
                          popupWindow_.Height > 0 ? popupWindow_.Height : 120);
  }
  return *popupListBox_;
}

bool TCustomQuillEdit::PopupListBoxShowing() const {
  return !popupListBox_.isNull() && CurrentPopup() != nullptr && CurrentPopup()->Control() == popupListBox_.data();
}

void TCustomQuillEdit::HidePopupListBox() {
  if (PopupListBoxShowing()) ClosePopupWindow(false);
}

void TCustomQuillEdit::ShowPopupListBoxEx(TStrings& strings, bool hookKeys, bool rememberCaret) {
  HidePopupListBox();
  if (rememberCaret) completionPoint_ = GetCurrentPosition();
  TStringList& entries = popupWindow_.Strings();
  if (&strings != &entries) {
    entries.Clear();
    for (int i = 0; i < strings.Count(); ++i) entries.AddObject(strings.Get(i), strings.GetObject(i));
  }
  if (entries.Count() == 0) return;
  TQuillListBox& box = PopupListBox();
  box.hide();
  box.ClearItems();
  for (int i = 0; i < entries.Count(); ++i) box.AddRtfString(entries.Get(i));
  const QRect screen = QGuiApplication::primaryScreen() != nullptr ? QGuiApplication::primaryScreen()->geometry()
                                                                   : QRect(0, 0, 1 << 16, 1 << 16);
  if (popupWindow_.AdjustSize) {
    int width = std::min(box.AdjustColumns() + 2 * box.frameWidth() + 4, screen.width());
    if (box.ItemHeight() * entries.Count() > box.height())
      width += box.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    box.resize(width, box.height());
  }
  box.removeEventFilter(this);
  if (hookKeys) box.installEventFilter(this);
  const TPoint pixel = TextToPixelPoint(completionPoint_, false);
  QPoint at = viewport()->mapToGlobal(QPoint(pixel.X, pixel.Y + painter_->GetDefaultLineHeight()));
  if (at.y() + box.height() > screen.bottom()) at.setY(at.y() - painter_->GetDefaultLineHeight() - box.height());
  if (at.x() + box.width() > screen.right()) at.setX(at.x() - box.width());
  PopupControl(&box, nullptr, at.x(), at.y(), popupWindow_.SizeAble, [this](QWidget* control) { PopupCallBack(control); });
}

void TCustomQuillEdit::PopupCallBack(QWidget*) {
  const bool templates = showingTemplates_;
  showingTemplates_ = false;
  if (popupListBox_.isNull()) return;
  // The list's current row is no choice until it is selected: the view makes
  // its first row current when it takes the focus.
  const int row = popupListBox_->currentRow();
  if (row < 0 || row >= popupWindow_.Strings().Count() || !popupListBox_->item(row)->isSelected()) return;
  if (templates) {
    InsertTemplate(codeTemplates_.IndexOf(static_cast<const TQuillCodeTemplate*>(popupWindow_.Strings().GetObject(row))));
    return;
  }
  TCustomQuillEditSource& doc = GetEditSource();
  TQuillSourceUpdate update(doc, oprInsert);
  std::string text = platform::FromQString(popupListBox_->item(row)->text());
  BeforeInsertPopup(text);
  const TPoint caret = doc.CurrentPosition();
  doc.JumpTo(completionPoint_.X, completionPoint_.Y);
  // What was typed since the list opened gives way to the choice.
  if (caret.Y == completionPoint_.Y && caret.X > completionPoint_.X) doc.DeleteString(caret.X - completionPoint_.X);
  doc.InsertString(text);
  doc.JumpTo(completionPoint_.X + static_cast<int>(text.size()), completionPoint_.Y);
  SetSelection({}, TQuillSelType::slNone);
}

bool TCustomQuillEdit::eventFilter(QObject* watched, QEvent* event) {
  if (!popupListBox_.isNull() && watched == popupListBox_.data() && event->type() == QEvent::KeyPress)
    return HookPopupKey(watched, event);
  if (watched == heldPaintWindow_.data() && HeldRedrawBeforePaint(watched, event)) return true;
  return QAbstractScrollArea::eventFilter(watched, event);
}

bool TCustomQuillEdit::HookPopupKey(QObject*, QEvent* event) {
  auto* key = static_cast<QKeyEvent*>(event);
  const platform::TKeyStroke stroke = platform::KeyStrokeOf(*key);
  int code = stroke.Key;
  PopupListBoxKeyDown(code, stroke.Shift);
  if (code != 0) return false;  // the list's own key
  const bool typing = !(stroke.Shift & ssAlt) || (stroke.Shift & ssCtrl);
  if (typing)
    for (char c : platform::FromQString(key->text())) {
      char typed = c;
      PopupListBoxKeyPress(typed);
    }
  keyHandled_ = false;
  return true;
}

void TCustomQuillEdit::PopupListBoxKeyDown(int& key, TShiftState shift) {
  using namespace platform;
  switch (key) {
    case vkReturn:
    case vkEscape:
    case vkPrior:
    case vkNext:
    case vkUp:
    case vkDown: return;
    case vkSpace:
      if (shift & ssCtrl) break;
      ClosePopupWindow(true);
      key = 0;
      return;
    case vkLeft:
    case vkRight:
      ClosePopupWindow(false);
      KeyDown(key, shift);
      key = 0;
      return;
    default: break;
  }
  KeyDown(key, shift);
  key = 0;
  const TPoint caret = GetCurrentPosition();
  if (caret.Y != completionPoint_.Y || caret.X < completionPoint_.X) HidePopupListBox();
}

void TCustomQuillEdit::PopupListBoxKeyPress(char& key) {
  if (key == '.') {
    HidePopupListBox();
    KeyPress(key);
    return;
  }
  KeyPress(key);
  if (!PopupListBoxShowing()) return;
  const TPoint caret = GetCurrentPosition();
  if (caret.Y != completionPoint_.Y || caret.X < completionPoint_.X) {
    HidePopupListBox();
    return;
  }
  const std::string typed =
      UpperCase(GetLines().Get(caret.Y).substr(static_cast<size_t>(completionPoint_.X),
                                               static_cast<size_t>(caret.X - completionPoint_.X)));
  TQuillListBox& box = PopupListBox();
  int best = -1;
  size_t bestAt = std::string::npos;
  for (int i = 0; i < box.count(); ++i) {
    const std::string item = UpperCase(platform::FromQString(box.item(i)->text()));
    const size_t at = item.find(typed);
    if (at == 0) {
      best = i;
      break;
    }
    if (at != std::string::npos && (bestAt == std::string::npos || at < bestAt)) {
      best = i;
      bestAt = at;
    }
  }
  box.setCurrentRow(best);
}

// ---------------------------------------------------------------------------
// Popup hint and completion

TQuillHint& TCustomQuillEdit::PopupHint() {
  if (!popupHint_) popupHint_ = std::make_unique<TQuillHint>();
  return *popupHint_;
}

bool TCustomQuillEdit::PopupHintShowing() const { return popupHint_ && popupHint_->Visible(); }

void TCustomQuillEdit::ShowPopupHint(const std::string& text, TPoint screenPoint, bool flag) {
  TQuillHint& hint = PopupHint();
  hint.TestHintArea = flag;
  hint.ActivateHintAtPos(screenPoint, text);
}

void TCustomQuillEdit::HidePopupHint() {
  if (PopupHintShowing()) popupHint_->CancelHint();
}

void TCustomQuillEdit::EnableAutoCompleteTimer() {
  if (!autoCompleteTimer_) {
    autoCompleteTimer_ = std::make_unique<TQuillTimer>();
    autoCompleteTimer_->SetOnTimer([this](TQuillObject*) {
      DisableAutoCompleteTimer();
      DoCodeCompletion();
    });
  }
  autoCompleteTimer_->SetInterval(std::max(autoCompletePause_, 1));
  autoCompleteTimer_->SetEnabled(true);
}

void TCustomQuillEdit::DisableAutoCompleteTimer() {
  if (autoCompleteTimer_) autoCompleteTimer_->SetEnabled(false);
}

void TCustomQuillEdit::DoCodeCompletion() {
  if (!OnAutoComplete && !OnDisplayHint) return;
  const TPoint caret = GetCurrentPosition();
  if (caret.Y != completionPoint_.Y && caret.X != completionPoint_.X) return;
  if (OnAutoComplete) {
    TStringList& entries = popupWindow_.Strings();
    entries.Clear();
    bool show = true;
    OnAutoComplete(this, show, completionKey_);
    if (show && entries.Count() > 0) ShowPopupListBox(entries, true);
    return;
  }
  std::string text;
  bool show = true;
  OnDisplayHint(this, text, show, completionKey_);
  if (!show || text.empty()) return;
  const TPoint pixel = TextToPixelPoint(caret, caretAtEnd_);
  // Below the caret's own line, however tall a rich line is.
  const QPoint at = viewport()->mapToGlobal(QPoint(pixel.X, pixel.Y + painter_->GetLineHeight(caret.Y, caret.X)));
  ShowPopupHint(text, {at.x(), at.y()}, false);
}

// ---------------------------------------------------------------------------
// Bookmarks and brackets

void TCustomQuillEdit::ToggleBookMark(int number) { GetEditSource().ToggleBookMark(number, GetCurrentPosition()); }

void TCustomQuillEdit::GoToBookMark(int number) {
  GetEditSource().GoToBookmark(number);
  EnsureCaretVisible();
}

void TCustomQuillEdit::FindBracket(int) {
  TCustomQuillEditSource& doc = GetEditSource();
  TQuillSourceUpdate update(doc, oprNavigate);
  const TPoint caret = doc.CurrentPosition();
  const std::string s = GetLines().Get(caret.Y);
  if (caret.X < 0 || caret.X >= static_cast<int>(s.size())) return;
  const char c = s[static_cast<size_t>(caret.X)];
  TPoint p = caret;
  const bool found = IsOpening(c) ? FindCloseBracket(doc, c, p) : IsClosing(c) && FindOpenBracket(doc, c, p);
  if (found) doc.JumpTo(p.X, p.Y);
}

void TCustomQuillEdit::InvalidateBrackets() {
  for (const TPoint& p : brackets_)
    if (p.Y >= 0) InvalidateRect(RectFromTextPoint({p.X, p.Y, p.X + 1, p.Y}));
}

void TCustomQuillEdit::UnHighlightBrackets() {
  InvalidateBrackets();
  brackets_[0] = brackets_[1] = {-1, -1};
}

void TCustomQuillEdit::HighlightBrackets() {
  UnHighlightBrackets();
  const TCustomQuillEditSource& doc = GetEditSource();
  const TPoint caret = GetCurrentPosition();
  // The nearest opening bracket before the caret whose partner lies at or
  // after it: the innermost pair around the caret.
  for (int y = std::min(caret.Y, LineCount() - 1); y >= 0; --y) {
    const std::string s = GetLines().Get(y);
    const int end = y == caret.Y ? std::min(caret.X, static_cast<int>(s.size())) : static_cast<int>(s.size());
    for (int x = end - 1; x >= 0; --x) {
      const char c = s[static_cast<size_t>(x)];
      if (!IsOpening(c)) continue;
      TPoint p{x, y};
      if (!FindCloseBracket(doc, c, p)) continue;
      if (p.Y > caret.Y || (p.Y == caret.Y && p.X >= caret.X)) {
        brackets_[0] = {x, y};
        brackets_[1] = p;
        InvalidateBrackets();
        return;
      }
    }
  }
}

}  // namespace quill
