#pragma once

// A list box whose items are one-line formatted texts in aligned columns
// (completion lists, template lists). Items are drawn by the formatted-line
// painter, so they look the same as the hints.

#include <QListWidget>

#include <string>

#include "editor/QuillRtfPainter.h"

namespace quill {

class TQuillListBox : public QListWidget {
 public:
  explicit TQuillListBox(QWidget* parent = nullptr);
  ~TQuillListBox() override;

  // The list keeps its own font rather than its parent's.
  const TQuillFont& ListFont() const { return font_; }
  void SetListFont(const TQuillFont& font);
  void AddRtfString(const std::string& s);
  void ClearItems();
  // Ascent plus descent of the list's font.
  int ItemHeight() const;
  // Lines the columns of all items up; returns the width they then take.
  int AdjustColumns();
  const TQuillRtfInfo* ItemLine(int index) const;
  // One item, as the list paints it.
  void DrawItem(TCanvas& canvas, int index, const TRect& rect, bool selected) const;
  TQuillRtfPainter& Painter() { return painter_; }

 private:
  class Delegate;
  TQuillFont font_;
  TQuillRtfPainter painter_;
  std::vector<TQuillRtfInfo*> lines_;
};

}  // namespace quill
