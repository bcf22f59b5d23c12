#include "platform/Canvas.h"

namespace platform {

void TCanvas::SetFont(const TCanvasFont& font) {
  font_ = font;
  textColor_ = font.Color;
}

void TCanvas::LineTo(int x, int y) {
  DrawLine(penPos_, {x, y});
  penPos_ = {x, y};
}

int TCanvas::TextWidth(std::string_view text) {
  const int* widths = CharWidths();
  int sum = 0;
  for (char c : text) sum += widths[static_cast<unsigned char>(c)];
  return sum;
}

TCanvasStateSaver::TCanvasStateSaver(TCanvas& canvas)
    : canvas_(canvas),
      font_(canvas.Font()),
      textColor_(canvas.TextColor()),
      bkColor_(canvas.BkColor()),
      bkMode_(canvas.BkMode()),
      brush_(canvas.Brush()),
      pen_(canvas.Pen()) {}

TCanvasStateSaver::~TCanvasStateSaver() {
  canvas_.SetFont(font_);
  canvas_.SetTextColor(textColor_);
  canvas_.SetBkColor(bkColor_);
  canvas_.SetBkMode(bkMode_);
  canvas_.Brush() = brush_;
  canvas_.Pen() = pen_;
}

}  // namespace platform
