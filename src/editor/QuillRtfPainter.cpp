#include "editor/QuillRtfPainter.h"

#include <algorithm>

namespace quill {

const TQuillFont& TQuillRtfFontManager::GetFont(const std::string& name, int size, TFontStyles style, TColor color) {
  for (const auto& font : fonts_)
    if (font->Name == name && font->Size == size && font->Style == style && font->Color == color) return *font;
  auto font = std::make_unique<TQuillFont>();
  font->Name = name;
  font->Size = size;
  font->Style = style;
  font->Color = color;
  fonts_.push_back(std::move(font));
  return *fonts_.back();
}

TQuillRtfPainter::TQuillRtfPainter(TCanvas& measure) : measure_(measure) {
  importer_.OnParseText = [this](TQuillObject*, const std::string& text, const TCustomQuillEditorAttributes* attributes,
                                 const TCustomQuillParagraph*, TCustomQuillEditorObject*) { ParseText(text, attributes); };
}

TQuillRtfInfo* TQuillRtfPainter::AddRtfString(const std::string& s) {
  auto head = std::make_unique<TQuillRtfInfo>();
  current_ = last_ = head.get();
  importer_.ParseString(s);
  current_ = last_ = nullptr;
  lines_.push_back(std::move(head));
  return lines_.back().get();
}

void TQuillRtfPainter::ParseText(const std::string& text, const TCustomQuillEditorAttributes* attributes) {
  if (current_ == nullptr || attributes == nullptr || text.empty()) return;
  // Column stops stand alone whatever text is next to them, so "a|b" reads
  // as a, a stop and b.
  size_t from = 0;
  while (from < text.size()) {
    const size_t bar = text.find('|', from);
    if (bar == std::string::npos) {
      AddRun(text.substr(from), *attributes);
      break;
    }
    if (bar > from) AddRun(text.substr(from, bar - from), *attributes);
    AddRun("|", *attributes);
    from = bar + 1;
  }
}

void TQuillRtfPainter::AddRun(const std::string& text, const TCustomQuillEditorAttributes& attributes) {
  const TQuillFont& font = fonts_.GetFont(attributes.Name(), attributes.Size(), attributes.Style(), attributes.Color());
  auto run = std::make_unique<TQuillRtfInfo>();
  const TCanvasFont saved = measure_.Font();
  const TColor savedColor = measure_.TextColor();
  measure_.SetFont(CanvasFont(font));
  const platform::TTextMetrics metrics = measure_.TextMetrics();
  run->Text = text;
  run->Width = run->IsColumnStop() ? 0 : measure_.TextWidth(text);
  measure_.SetFont(saved);
  measure_.SetTextColor(savedColor);
  run->Height = metrics.Height;
  run->Ascent = metrics.Ascent;
  run->Color = attributes.BkColor();
  run->FontColor = attributes.Color();
  run->FontStyle = attributes.Style();
  current_->Width += run->Width;
  current_->Height = std::max(current_->Height, run->Height);
  current_->Ascent = std::max(current_->Ascent, run->Ascent);
  last_->Next = std::move(run);
  last_ = last_->Next.get();
}

void TQuillRtfPainter::PaintToCanvas(TCanvas& canvas, const TRect& rect, const TQuillRtfInfo* head, bool selected,
                                     bool fillBackground) const {
  if (fillBackground) canvas.FillRect(rect);
  if (head == nullptr) return;
  const TFontStyles savedStyle = canvas.Font().Style;
  const TColor savedColor = canvas.TextColor();
  int x = rect.Left;
  for (const TQuillRtfInfo* run = head->Next.get(); run != nullptr; run = run->Next.get()) {
    if (!run->IsColumnStop()) {
      canvas.SetFontStyle(run->FontStyle);
      // A run without a colour of its own takes the canvas's: "no colour"
      // must not reach the canvas, where it draws nothing.
      if (!selected) canvas.SetTextColor(run->FontColor != clNone ? run->FontColor : savedColor);
      canvas.TextOut(x, rect.Top, run->Text);
    }
    x += run->Width;
  }
  canvas.SetFontStyle(savedStyle);
  canvas.SetTextColor(savedColor);
}

int AdjustColumns(const std::vector<TQuillRtfInfo*>& heads) {
  std::vector<int> columns;
  for (const TQuillRtfInfo* head : heads) {
    size_t column = 0;
    int width = 0;
    for (const TQuillRtfInfo* run = head->Next.get(); run != nullptr; run = run->Next.get()) {
      if (run->IsColumnStop()) {
        if (columns.size() <= column) columns.resize(column + 1, 0);
        columns[column] = std::max(columns[column], width);
        ++column;
        width = 0;
      } else {
        width += run->Width;
      }
    }
    if (columns.size() <= column) columns.resize(column + 1, 0);
    columns[column] = std::max(columns[column], width);
  }
  int total = 0;
  for (int width : columns) total += width;
  for (TQuillRtfInfo* head : heads) {
    size_t column = 0;
    int width = 0;
    for (TQuillRtfInfo* run = head->Next.get(); run != nullptr; run = run->Next.get()) {
      if (run->IsColumnStop()) {
        run->Width = columns[column++] - width;
        width = 0;
      } else {
        width += run->Width;
      }
    }
  }
  return total;
}

}  // namespace quill
