#include "conversations/ChatStatusBar.h"

#include <QPainter>

#include "core/MainPanels.h"
#include "platform/Charset.h"

TChatStatusBar::TChatStatusBar(QWidget* parent) : TChatStatusBar(parent, {150, 260, 250}, 2, LinkStateIcon) {}

TChatStatusBar::TChatStatusBar(QWidget* parent, std::array<int, 3> widths, int picturePanel, TPictureFn picture)
    : QWidget(parent), widths_(widths), picturePanel_(picturePanel), picture_(std::move(picture)) {
  setFixedHeight(20);
}

void TChatStatusBar::SetPanel(int panel, const std::string& text) {
  if (panel < 0 || panel > 2 || texts_[static_cast<std::size_t>(panel)] == text) return;
  texts_[static_cast<std::size_t>(panel)] = text;
  update();
}

void TChatStatusBar::SetStateImage(int image) {
  if (image == image_) return;
  image_ = image;
  update();
}

void TChatStatusBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().window());
  int left = 0;
  for (int panel = 0; panel < 3; ++panel) {
    const std::size_t i = static_cast<std::size_t>(panel);
    const int width = panel == 2 ? std::max(widths_[2], this->width() - left) : widths_[i];
    StatDrawPanel(p, panel, QRect(left, 0, width, height()));
    left += width;
    if (panel < 2) {
      p.setPen(palette().mid().color());
      p.drawLine(left - 1, 2, left - 1, height() - 3);
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
