#include "editor/QuillListBox.h"

#include <QPainter>
#include <QStyledItemDelegate>

#include "platform/QtCanvas.h"

namespace quill {

class TQuillListBox::Delegate : public QStyledItemDelegate {
 public:
  explicit Delegate(TQuillListBox* list) : QStyledItemDelegate(list), list_(list) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    platform::TQtCanvas canvas(*painter);
    const QRect r = option.rect;
    list_->DrawItem(canvas, index.row(), {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()},
                    (option.state & QStyle::State_Selected) != 0);
  }

  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
    const TQuillRtfInfo* line = list_->ItemLine(index.row());
    return QSize(line != nullptr ? line->Width : 0, list_->ItemHeight());
  }

 private:
  TQuillListBox* list_;
};

TQuillListBox::TQuillListBox(QWidget* parent) : QListWidget(parent), painter_(platform::ScreenCanvas()) {
  setItemDelegate(new Delegate(this));
  setUniformItemSizes(true);
  painter_.AssignFont(font_);
}

TQuillListBox::~TQuillListBox() = default;

void TQuillListBox::SetListFont(const TQuillFont& font) {
  font_ = font;
  painter_.AssignFont(font);
  doItemsLayout();
}

void TQuillListBox::AddRtfString(const std::string& s) {
  lines_.push_back(painter_.AddRtfString(s));
  // The item's text is the entry as given; its parsed line is what is drawn.
  addItem(platform::ToQString(s));
}

void TQuillListBox::ClearItems() {
  clear();
  lines_.clear();
  painter_.DestroyItems();
}

int TQuillListBox::ItemHeight() const {
  platform::TCanvas& screen = platform::ScreenCanvas();
  const platform::TCanvasFont saved = screen.Font();
  screen.SetFont(CanvasFont(font_));
  const int height = screen.TextMetrics().Height;
  screen.SetFont(saved);
  return height;
}

int TQuillListBox::AdjustColumns() {
  const int width = quill::AdjustColumns(lines_);
  doItemsLayout();
  return width;
}

const TQuillRtfInfo* TQuillListBox::ItemLine(int index) const {
  return index >= 0 && index < static_cast<int>(lines_.size()) ? lines_[static_cast<size_t>(index)] : nullptr;
}

void TQuillListBox::DrawItem(TCanvas& canvas, int index, const TRect& rect, bool selected) const {
  canvas.SetFont(CanvasFont(font_));
  canvas.SetTextColor(selected ? clHighlightText : font_.Color);
  canvas.SetBkMode(platform::TBkMode::bkTransparent);
  canvas.Brush() = TBrush{selected ? clHighlight : clWindow, TBrushStyle::bsSolid};
  painter_.PaintToCanvas(canvas, rect, ItemLine(index), selected, true);
}

}  // namespace quill
