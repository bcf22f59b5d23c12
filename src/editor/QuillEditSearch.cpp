// Find, replace, go to line and the incremental search, with the search
// settings every editor of the program shares.

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <memory>

#include "editor/QuillCommands.h"
#include "editor/QuillDocParser.h"
#include "editor/QuillEdit.h"
#include "platform/Charset.h"
#include "platform/DesktopPrompts.h"

namespace quill {

QPointer<TQuillEditorDialog> GlobalSearchDialog;
QPointer<TQuillEditorDialog> GlobalReplaceDialog;
QPointer<TQuillEditorDialog> GlobalGotoLineDialog;
TQuillEditorDialogClass GlobalSearchDialogClass;
TQuillEditorDialogClass GlobalReplaceDialogClass;
TQuillEditorDialogClass GlobalGotoLineDialogClass;

// ---------------------------------------------------------------------------
// Prompts

namespace {

bool HaveDesktop() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
         QGuiApplication::platformName() != QLatin1String("offscreen");
}

TQuillSearchPrompts*& CustomPrompts() {
  static TQuillSearchPrompts* prompts = nullptr;
  return prompts;
}

// The hourglass while a search runs; the user's cursor afterwards.
class BusyCursor {
 public:
  explicit BusyCursor(bool show) : shown_(show && HaveDesktop()) {
    if (shown_) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  }
  ~BusyCursor() {
    if (shown_) QGuiApplication::restoreOverrideCursor();
  }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

 private:
  bool shown_;
};

struct Counter {
  explicit Counter(int& n) : n_(n) { ++n_; }
  ~Counter() { --n_; }
  int& n_;
};

bool Forward(const TQuillSearchSettings& s) { return s.Direction == TQuillSearchDirection::srForward; }

}  // namespace

void TQuillSearchPrompts::ShowError(const std::string& text) {
  if (!HaveDesktop()) {
    platform::ShowMessage(text, "Error");
    return;
  }
  QMessageBox::critical(nullptr, QStringLiteral("Error"), platform::ToQString(text));
}

TQuillReplaceAnswer TQuillSearchPrompts::AskReplace(const std::string& text) {
  if (!HaveDesktop()) return TQuillReplaceAnswer::Cancel;
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), platform::ToQString(text),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  QPushButton* all = box.addButton(QStringLiteral("All"), QMessageBox::AcceptRole);
  box.exec();
  if (box.clickedButton() == all) return TQuillReplaceAnswer::All;
  switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Yes: return TQuillReplaceAnswer::Yes;
    case QMessageBox::No: return TQuillReplaceAnswer::No;
    default: return TQuillReplaceAnswer::Cancel;
  }
}

TQuillSearchPrompts& SearchPrompts() {
  static TQuillSearchPrompts desktop;
  return CustomPrompts() != nullptr ? *CustomPrompts() : desktop;
}

void SetSearchPrompts(TQuillSearchPrompts* prompts) { CustomPrompts() = prompts; }

// ---------------------------------------------------------------------------
// Dialogs

void TCustomQuillEdit::ExecuteDialog(int command) {
  TQuillEditorDialog* form = nullptr;
  bool owned = true;
  if (!CreateEditorDlg(command, form, owned)) return;
  if (!owned) {
    form->show();
    return;
  }
  const QPointer<TQuillEditorDialog> guard(form);
  const bool accepted = form->exec() == QDialog::Accepted;
  if (!guard.isNull()) delete form;
  if (!accepted) return;
  switch (command) {
    case ecFind: Find(); break;
    case ecReplace: Replace(); break;
    case ecGotoLine: GotoLine(); break;
    default: break;
  }
}

bool TCustomQuillEdit::CreateEditorDlg(int command, TQuillEditorDialog*& form, bool& owned) {
  form = nullptr;
  owned = true;
  bool handled = false;
  if (OnBeforeCreateDialog) OnBeforeCreateDialog(this, command, form, owned, handled);
  if (!handled) {
    TQuillSearchSettings& settings = SearchSettings();
    auto from = [](QPointer<TQuillEditorDialog>& global, const TQuillEditorDialogClass& make) -> TQuillEditorDialog* {
      if (!global.isNull()) return global.data();
      return make ? make() : nullptr;
    };
    if (command == ecFind || command == ecReplace) {
      if (options_ & eoFindTextAtCursor) {
        const std::string text = selType_ != TQuillSelType::slNone
                                     ? GetSelText()
                                     : GetTextAt(GetEditSource(), GetCurrentPosition(), false);
        settings.TextToFind = text;
      }
      form = command == ecFind ? from(GlobalSearchDialog, GlobalSearchDialogClass)
                               : from(GlobalReplaceDialog, GlobalReplaceDialogClass);
    } else if (command == ecGotoLine) {
      settings.GotoLineNumber = GetCurrentPosition().Y + 1;
      form = from(GlobalGotoLineDialog, GlobalGotoLineDialogClass);
    }
  }
  if (form == nullptr) return false;
  owned = form->EditorRequest(*this, command) == 0;
  if (OnAfterCreateDialog) OnAfterCreateDialog(this, command, form);
  return true;
}

// ---------------------------------------------------------------------------
// Searching

bool TCustomQuillEdit::Find() {
  TQuillSearchSettings& settings = SearchSettings();
  settings.FirstSearch = true;
  settings.InReplace = false;
  int length = 0;
  return DoFind(false, length);
}

void TCustomQuillEdit::GotoLine() {
  GetEditSource().JumpToLine(std::max(SearchSettings().GotoLineNumber - 1, 0));
}

TPoint TCustomQuillEdit::PointToBlockPoint(TPoint p) {
  switch (selType_) {
    case TQuillSelType::slNone: return p;
    case TQuillSelType::slStream: return {p.Y == selRect_.Top ? p.X - selRect_.Left : p.X, p.Y - selRect_.Top};
    case TQuillSelType::slBlock: return {p.X - selRect_.Left, p.Y - selRect_.Top};
  }
  return p;
}

TPoint TCustomQuillEdit::BlockPointToPoint(TPoint p) {
  switch (selType_) {
    case TQuillSelType::slNone: return p;
    case TQuillSelType::slStream: return {p.Y == 0 ? p.X + selRect_.Left : p.X, p.Y + selRect_.Top};
    case TQuillSelType::slBlock: return {p.X + selRect_.Left, p.Y + selRect_.Top};
  }
  return p;
}

bool TCustomQuillEdit::SearchSelection() {
  return SearchSettings().Scope == TQuillSearchScope::scSelectedText && selType_ != TQuillSelType::slNone;
}

bool TCustomQuillEdit::DoFind(bool silent, int& length) {
  length = 0;
  Counter running(searching_);
  TQuillSearchSettings& settings = SearchSettings();
  if (settings.Scope == TQuillSearchScope::scSelectedText && selType_ == TQuillSelType::slNone) {
    if (!silent && settings.FirstSearch) SearchPrompts().ShowError(msg::sEmptySel);
    return false;
  }
  TCustomQuillEditSource& doc = GetEditSource();
  const bool forward = Forward(settings);
  const bool inSelection = SearchSelection();
  bool found = false;
  TPoint pos;
  // The selection is what is searched: no caret move may drop it.
  if (inSelection) ++selUpdate_;
  try {
    BusyCursor busy(!silent);
    TQuillSourceUpdate update(doc, oprNavigate);
    if (settings.WholeWordsOnly && !settings.RegularExpr)
      for (char c : settings.TextToFind)
        if (DelimSet().Contains(c)) {
          settings.WholeWordsOnly = false;
          break;
        }
    TPoint caret = doc.CurrentPosition();
    if (inSelection) {
      if (settings.FirstSearch && settings.Origin == TQuillSearchOrigin::sgFromCursor &&
          !InsideBlock(caret.X, caret.Y)) {
        caret = {selRect_.Left, selRect_.Top};
        doc.JumpTo(caret.X, caret.Y);
      }
      const TPoint start = PointToBlockPoint(caret);
      TQuillStrings lines;
      for (int i = 0; i < selStrings_.Count(); ++i) lines.Add(selStrings_.Get(i));
      pos = {start.X + (forward ? 1 : 0), start.Y};
      found = settings.Search(lines, pos, length, doc.Delimiters());
    } else {
      pos = {caret.X + (forward ? 1 : 0), caret.Y};
      found = settings.Search(GetLines(), pos, length, doc.Delimiters());
    }
  } catch (...) {
    if (inSelection) --selUpdate_;
    throw;
  }
  if (found) StringFound(settings.Scope, forward, pos, length);
  if (inSelection) --selUpdate_;
  if (!found && !silent && settings.ShowNotFound)
    SearchPrompts().ShowError(FormatMsg(msg::sNotFound, settings.TextToFind));
  return found;
}

void TCustomQuillEdit::StringFound(TQuillSearchScope scope, bool forward, TPoint point, int length) {
  TPoint start{std::max(point.X - 1, 0), point.Y};
  const bool inSelection = scope == TQuillSearchScope::scSelectedText && selType_ != TQuillSelType::slNone;
  if (inSelection) start = BlockPointToPoint(start);
  const TRect match{start.X, start.Y, start.X + length, start.Y};
  SetSearchRect(match);
  const bool select = (options_ & eoSelectFoundText) && !inSelection;
  if (select) SetSelection(match, TQuillSelType::slStream);
  const bool keep = select || inSelection;
  if (keep) ++selUpdate_;
  ++searchLock_;
  try {
    GetEditSource().JumpTo(forward ? match.Right : match.Left, match.Top);
  } catch (...) {
    --searchLock_;
    if (keep) --selUpdate_;
    throw;
  }
  --searchLock_;
  if (keep) --selUpdate_;
}

void TCustomQuillEdit::FindNext(int command) {
  TQuillSearchSettings& settings = SearchSettings();
  if (selType_ == TQuillSelType::slNone) settings.Scope = TQuillSearchScope::scGlobal;
  // Nothing to repeat before a first search.
  if (settings.FirstSearch) return;
  settings.InReplace = settings.InReplace || command == ecReplace;
  if (settings.InReplace) {
    int count = 0;
    DoReplace(count);
    return;
  }
  if (incSearch_) {
    const TPoint caret = GetCurrentPosition();
    const TRect rect = searchRect_;
    const std::string text = incSearchText_;
    // Past the current match: the next one of the same text.
    const TPoint anchor = SearchRectEmpty() ? caret : TPoint{rect.Left, rect.Top};
    incSearchText_.clear();
    SetSearchRect({});
    incSearchMoving_ = true;
    GetEditSource().JumpTo(Forward(settings) ? anchor.X + 1 : anchor.X, anchor.Y);
    incSearchMoving_ = false;
    const bool found = IncrementalSearch(text, false) && !incSearchText_.empty();
    if (!found) {
      incSearchText_ = text;
      incSearchMoving_ = true;
      ++searchLock_;
      GetEditSource().JumpTo(caret.X, caret.Y);
      --searchLock_;
      incSearchMoving_ = false;
      SetSearchRect(rect);
      if (settings.ShowNotFound) SearchPrompts().ShowError(FormatMsg(msg::sNotFound, text));
    }
    return;
  }
  int length = 0;
  DoFind(false, length);
}

int TCustomQuillEdit::OccurrenceCount() {
  TQuillSearchSettings& settings = SearchSettings();
  TCustomQuillEditSource& doc = GetEditSource();
  const TPoint caret = doc.CurrentPosition();
  const TRect sel = selRect_;
  const TQuillSelType selType = selType_;
  const int line = windowLine_, column = windowChar_;
  int count = 0;
  {
    TQuillSourceUpdate update(doc, oprNavigate);
    LockSelection(1);
    const auto putBack = [&] {
      SetSearchRect({});
      doc.JumpTo(caret.X, caret.Y);
      SetSelection(sel, selType);
      LockSelection(-1);
    };
    try {
      const bool forward = Forward(settings);
      int length = 0;
      TPoint last{-1, -1};
      while (DoFind(true, length)) {
        const TPoint now = doc.CurrentPosition();
        // A match that does not move the caret on would be found forever.
        if (now == last) break;
        ++count;
        last = now;
        if (length == 0 && !forward) {
          if (now.X > 0) doc.JumpTo(now.X - 1, now.Y);
          else if (now.Y > 0) doc.JumpTo(LineWidth(now.Y - 1), now.Y - 1);
          else break;
        }
      }
    } catch (...) {
      // A search that could not finish puts the caret back all the same.
      putBack();
      throw;
    }
    putBack();
  }
  SetWindowLine(line);
  SetWindowChar(column);
  return count;
}

// ---------------------------------------------------------------------------
// Replacing

bool TCustomQuillEdit::ReplaceEx(int& count) {
  TQuillSearchSettings& settings = SearchSettings();
  settings.FirstSearch = true;
  settings.InReplace = true;
  return DoReplace(count);
}

// One step: find, ask, replace. False when nothing was found or the user
// cancelled (Stop).
bool TCustomQuillEdit::ReplaceStep(bool& stop) {
  stop = false;
  if (ReadOnly()) return false;
  TQuillSearchSettings& settings = SearchSettings();
  int length = 0;
  if (!DoFind(false, length)) return false;
  TQuillReplaceAnswer answer = TQuillReplaceAnswer::Yes;
  if (settings.PromptOnReplace) answer = SearchPrompts().AskReplace(FormatMsg(msg::sReplace, settings.TextToFind));
  switch (answer) {
    case TQuillReplaceAnswer::Cancel: stop = true; return false;
    case TQuillReplaceAnswer::No: return true;
    case TQuillReplaceAnswer::All:
      settings.PromptOnReplace = false;
      settings.ReplaceAll = true;
      // The rest of the run is one change, undone as one.
      GetEditSource().BeginSourceUpdate(oprOther);
      ++replaceUpdates_;
      break;
    case TQuillReplaceAnswer::Yes: break;
  }
  TCustomQuillEditSource& doc = GetEditSource();
  // Replacing inside the selection keeps it, so that the next step searches
  // the same text; its end follows the change of length on its last line.
  const bool inSelection = SearchSelection();
  TRect kept = selRect_;
  const TQuillSelType keptType = selType_;
  if (inSelection) ++selUpdate_;
  try {
    TQuillSourceUpdate update(doc, oprOther);
    if (!inSelection) SetSelection({}, TQuillSelType::slNone);
    const TPoint caret = doc.CurrentPosition();
    if (inSelection && keptType == TQuillSelType::slStream && caret.Y == kept.Bottom)
      kept.Right += static_cast<int>(settings.ReplaceWith.size()) - length;
    const std::string& with = settings.ReplaceWith;
    if (Forward(settings)) {
      const int start = std::max(caret.X - length, 0);
      doc.JumpTo(start, caret.Y);
      doc.DeleteString(length);
      if (!with.empty()) {
        doc.InsertString(with);
        doc.JumpTo(start + static_cast<int>(with.size()), caret.Y);
      }
      // An empty match leaves nothing behind to step over: step one on, so
      // the next search cannot find the same place again.
      if (length == 0) {
        const TPoint at = doc.CurrentPosition();
        if (at.X < LineWidth(at.Y)) doc.JumpTo(at.X + 1, at.Y);
        else if (at.Y + 1 < LineCount()) doc.JumpTo(0, at.Y + 1);
        else stop = true;
      }
    } else {
      doc.DeleteString(length);
      if (!with.empty()) doc.InsertString(with);
      if (length == 0) {
        if (caret.X > 0) doc.JumpTo(caret.X - 1, caret.Y);
        else if (caret.Y > 0) doc.JumpTo(LineWidth(caret.Y - 1), caret.Y - 1);
        else stop = true;
      }
    }
    ++replaced_;
    SetSearchRect({});
    if (inSelection) SetSelection(kept, keptType);
  } catch (...) {
    if (inSelection) --selUpdate_;
    throw;
  }
  if (inSelection) --selUpdate_;
  return true;
}

void TCustomQuillEdit::ReplaceAllSteps(int& count) {
  TQuillSearchSettings& settings = SearchSettings();
  const bool prompting = settings.PromptOnReplace;
  TCustomQuillEditSource& doc = GetEditSource();
  std::unique_ptr<TQuillSourceUpdate> update;
  std::unique_ptr<BusyCursor> busy;
  if (!prompting) {
    update = std::make_unique<TQuillSourceUpdate>(doc, oprOther);
    busy = std::make_unique<BusyCursor>(true);
  }
  bool stop = false;
  while (!stop && ReplaceStep(stop)) settings.ShowNotFound = false;
  count = replaced_;
  SetSearchRect({});
}

bool TCustomQuillEdit::DoReplace(int& count) {
  count = 0;
  if (ReadOnly()) return false;
  TQuillSearchSettings& settings = SearchSettings();
  const bool showNotFound = settings.ShowNotFound;
  replaced_ = 0;
  bool result = false;
  try {
    if (!settings.ReplaceAll) {
      bool stop = false;
      result = ReplaceStep(stop);
      settings.ShowNotFound = false;
      if (result && settings.ReplaceAll && !stop) ReplaceAllSteps(count);
    } else {
      ReplaceAllSteps(count);
      result = replaced_ > 0;
    }
  } catch (...) {
    settings.ShowNotFound = showNotFound;
    for (; replaceUpdates_ > 0; --replaceUpdates_) GetEditSource().EndSourceUpdate();
    throw;
  }
  count = replaced_;
  settings.ShowNotFound = showNotFound;
  for (; replaceUpdates_ > 0; --replaceUpdates_) GetEditSource().EndSourceUpdate();
  return result;
}

// ---------------------------------------------------------------------------
// Incremental search

void TCustomQuillEdit::InitIncrementalSearch(int) {
  incSearch_ = true;
  SearchSettings().InReplace = false;
  TCustomQuillEditSource& doc = GetEditSource();
  TQuillSourceUpdate update(doc, oprOther);
  doc.AddState(csIncrementalSearchChanged);
}

bool TCustomQuillEdit::IncrementalSearch(const std::string& text, bool removeLast) {
  std::string candidate = incSearchText_;
  if (removeLast) {
    if (candidate.empty()) return false;
    candidate.pop_back();
  } else {
    candidate += text;
  }
  if (!incSettings_) incSettings_ = std::make_unique<TQuillSearchSettings>(TQuillSearchSettings::NoLoad{});
  TQuillSearchSettings& own = *incSettings_;
  const TQuillSearchSettings& global = SearchSettings();
  own.CaseSensitive = global.CaseSensitive;
  own.Direction = global.Direction;
  own.TextToFind = candidate;
  own.WholeWordsOnly = false;
  own.RegularExpr = false;
  own.FirstSearch = false;
  // A longer text is looked for where the shorter one matched, so typing
  // grows the match in place.
  const TPoint anchor = SearchRectEmpty() ? GetCurrentPosition() : TPoint{searchRect_.Left, searchRect_.Top};
  const bool forward = Forward(own);
  TPoint pos{anchor.X + (forward || !SearchRectEmpty() ? 1 : 0), anchor.Y};
  int length = 0;
  if (!own.Search(GetLines(), pos, length, GetEditSource().Delimiters())) {
    if (removeLast) SetSearchRect({});
    return false;
  }
  incSearchText_ = candidate;
  incSearchMoving_ = true;
  try {
    StringFound(TQuillSearchScope::scGlobal, forward, pos, length);
  } catch (...) {
    incSearchMoving_ = false;
    throw;
  }
  incSearchMoving_ = false;
  return true;
}

void TCustomQuillEdit::DoneIncrementalSearch() {
  if (!incSearch_) return;
  incSearch_ = false;
  incSearchText_.clear();
  SetSearchRect({});
  TCustomQuillEditSource& doc = GetEditSource();
  TQuillSourceUpdate update(doc, oprOther);
  doc.AddState(csIncrementalSearchChanged);
}

void TCustomQuillEdit::CheckIncrementalSearch() {
  if (!incSearchMoving_) DoneIncrementalSearch();
}

}  // namespace quill
