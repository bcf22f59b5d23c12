#include "editor/QuillEditorColors.h"

#include "editor/QuillEditorView.h"

namespace quill {

void TQuillEditorColors::Set(TColor& field, TColor value, Shows shows) {
  if (field == value) return;
  field = value;
  if (editor_ != nullptr) {
    const TQuillEditorOptions options = editor_->Options();
    const TQuillSourceOptions source = editor_->GetEditSource().Options();
    switch (shows) {
      case Shows::Selection:
        if (editor_->SelType() != TQuillSelType::slNone) editor_->InvalidateSelection();
        break;
      case Shows::ReadOnly:
        if (options & eoUseReadOnlyColor) editor_->Invalidate();
        break;
      case Shows::Disabled:
        if (options & eoUseDisabledColor) editor_->Invalidate();
        break;
      case Shows::LiveSpell:
        if (source & srLiveSpell) editor_->Invalidate();
        break;
      case Shows::Links:
        if (source & srHighlightUrls) editor_->Invalidate();
        break;
      case Shows::Marks:
        if (options & eoPaintFormattingMarks) editor_->Invalidate();
        break;
      case Shows::SearchMatch:
        if ((options & eoEnableSearchHighlight) && !editor_->SearchRectEmpty()) editor_->InvalidateSearchRect();
        break;
    }
  }
  Changed();
}

void TQuillEditorColors::SetSelColor(TColor value) { Set(selColor_, value, Shows::Selection); }
void TQuillEditorColors::SetSelBackColor(TColor value) { Set(selBackColor_, value, Shows::Selection); }
void TQuillEditorColors::SetSearchMatchColor(TColor value) { Set(searchMatchColor_, value, Shows::SearchMatch); }
void TQuillEditorColors::SetSearchMatchBackColor(TColor value) { Set(searchMatchBackColor_, value, Shows::SearchMatch); }
void TQuillEditorColors::SetReadOnlyColor(TColor value) { Set(readOnlyColor_, value, Shows::ReadOnly); }
void TQuillEditorColors::SetDisabledColor(TColor value) { Set(disabledColor_, value, Shows::Disabled); }
void TQuillEditorColors::SetInActiveSelColor(TColor value) { Set(inActiveSelColor_, value, Shows::Selection); }
void TQuillEditorColors::SetInActiveSelBackColor(TColor value) { Set(inActiveSelBackColor_, value, Shows::Selection); }
void TQuillEditorColors::SetLiveSpellColor(TColor value) { Set(liveSpellColor_, value, Shows::LiveSpell); }
void TQuillEditorColors::SetHyperStringColor(TColor value) { Set(hyperStringColor_, value, Shows::Links); }
void TQuillEditorColors::SetFmtMarkColor(TColor value) { Set(fmtMarkColor_, value, Shows::Marks); }

void TQuillEditorColors::Changed() {
  if (OnChange) OnChange(this);
}

TColor TQuillEditorColors::GetSelColor() const {
  if (editor_ == nullptr || inActiveSelColor_ == selColor_) return selColor_;
  return editor_->Focused() ? selColor_ : inActiveSelColor_;
}

TColor TQuillEditorColors::GetSelBackColor() const {
  if (editor_ == nullptr || inActiveSelBackColor_ == selBackColor_) return selBackColor_;
  return editor_->Focused() ? selBackColor_ : inActiveSelBackColor_;
}

void TQuillEditorColors::InitDefaultValues() { Assign(TQuillEditorColors()); }

void TQuillEditorColors::Assign(const TCustomQuillEditorColors& source) {
  SetSelColor(source.SelColor());
  SetSelBackColor(source.SelBackColor());
  SetSearchMatchColor(source.SearchMatchColor());
  SetSearchMatchBackColor(source.SearchMatchBackColor());
  SetReadOnlyColor(source.ReadOnlyColor());
  SetDisabledColor(source.DisabledColor());
  SetInActiveSelColor(source.InActiveSelColor());
  SetInActiveSelBackColor(source.InActiveSelBackColor());
  SetLiveSpellColor(source.LiveSpellColor());
  SetHyperStringColor(source.HyperStringColor());
  SetFmtMarkColor(source.FmtMarkColor());
}

}  // namespace quill
