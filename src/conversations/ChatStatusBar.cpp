#include "conversations/ChatStatusBar.h"

#include <QPaintEvent>
#include <QPainter>

#include "core/MainPanels.h"
#include "platform/Charset.h"

TChatStatusBar::TChatStatusBar(QWidget* parent) : TChatStatusBar(parent, {150, 260, 250}, 2, LinkStateIcon) {}

TChatStatusBar::TChatStatusBar(QWidget* parent, std::array<int, 3> widths, int picturePanel, TPictureFn picture)
    : QWidget(parent), widths_(widths), picturePanel_(picturePanel), picture_(std::move(picture)) {
  setFixedHeight(20);
  // The bar fills every pixel of itself: the window behind it need not be
  // painted first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TChatStatusBar::SetPanel(int panel, const std::string& text) {
  if (panel < 0 || panel > 2 || texts_[static_cast<std::size_t>(panel)] == text) return;
  texts_[static_cast<std::size_t>(panel)] = text;
  RepaintLater();
}

void TChatStatusBar::SetStateImage(int image) {
  if (image == image_) return;
  image_ = image;
  RepaintLater();
}

// A panel can change and change back within one turn (the count as a sent
// text is typed in and cleared): what is repainted is what differs, at the
// end of the turn, from what the bar shows.
void TChatStatusBar::RepaintLater() {
  if (repaintDue_) return;
  repaintDue_ = true;
  QMetaObject::invokeMethod(this, [this] { RepaintChanged(); }, Qt::QueuedConnection);
}

void TChatStatusBar::RepaintChanged() {
  repaintDue_ = false;
  for (int panel = 0; panel < 3; ++panel) {
    const std::size_t i = static_cast<std::size_t>(panel);
    if (texts_[i] != shownTexts_[i] || (panel == picturePanel_ && image_ != shownImage_)) update(PanelRect(panel));
  }
}

QRect TChatStatusBar::PanelRect(int panel) const {
  int left = 0;
  for (int i = 0; i < panel; ++i) left += widths_[static_cast<std::size_t>(i)];
  const int width = panel == 2 ? std::max(widths_[2], this->width() - left) : widths_[static_cast<std::size_t>(panel)];
  return QRect(left, 0, width, height());
}

void TChatStatusBar::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  p.fillRect(event->rect(), palette().window());
  for (int panel = 0; panel < 3; ++panel) {
    const QRect bounds = PanelRect(panel);
    // Laying out a text costs more than the rest of the bar: panels the
    // paint does not reach are left alone.
    if (!event->region().intersects(bounds)) continue;
    StatDrawPanel(p, panel, bounds);
    if (event->region().contains(bounds)) {
      const std::size_t i = static_cast<std::size_t>(panel);
      shownTexts_[i] = texts_[i];
      if (panel == picturePanel_) shownImage_ = image_;
    }
    if (panel < 2) {
      p.setPen(palette().mid().color());
      p.drawLine(bounds.right(), 2, bounds.right(), height() - 3);
    }
  }
}

void TChatStatusBar::StatDrawPanel(QPainter& p, int panel, const QRect& bounds) {
  int textLeft = bounds.left() + 1;
  if (panel == picturePanel_ && picture_) {
    picture_(image_).paint(&p, QRect(bounds.left() + 2, 2, 16, 16));
    textLeft = bounds.left() + 20;
  }
  p.setPen(palette().windowText().color());
  p.drawText(QRect(textLeft, 1, bounds.right() + 1 - textLeft - 2, bounds.height() - 2),
             Qt::AlignLeft | Qt::AlignVCenter, platform::ToQString(texts_[static_cast<std::size_t>(panel)]));
}
