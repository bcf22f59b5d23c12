#pragma once

// The editor's colour set: selection (focused and not), search matches,
// read-only and disabled backgrounds, misspelling, links and formatting
// marks. A change repaints only what shows that colour.

#include "editor/QuillContainers.h"
#include "editor/QuillStrings.h"

namespace quill {

class TQuillEditorView;

class TQuillEditorColors : public TCustomQuillEditorColors {
 public:
  explicit TQuillEditorColors(TQuillEditorView* editor = nullptr) : editor_(editor) {}

  void SetSelColor(TColor value) override;
  void SetSelBackColor(TColor value) override;
  void SetSearchMatchColor(TColor value) override;
  void SetSearchMatchBackColor(TColor value) override;
  void SetReadOnlyColor(TColor value) override;
  void SetDisabledColor(TColor value) override;
  void SetInActiveSelColor(TColor value) override;
  void SetInActiveSelBackColor(TColor value) override;
  void SetLiveSpellColor(TColor value) override;
  void SetHyperStringColor(TColor value) override;
  void SetFmtMarkColor(TColor value) override;
  virtual void Changed();

  // The selection colours in effect: the inactive pair while the editor has
  // no focus, unless the two pairs are the same colour.
  TColor GetSelColor() const;
  TColor GetSelBackColor() const;
  void InitDefaultValues();
  void Assign(const TCustomQuillEditorColors& source);

  TNotifyEvent OnChange;

 private:
  enum class Shows { Selection, ReadOnly, Disabled, LiveSpell, Links, Marks, SearchMatch };
  void Set(TColor& field, TColor value, Shows shows);

  TQuillEditorView* editor_;
};

}  // namespace quill
