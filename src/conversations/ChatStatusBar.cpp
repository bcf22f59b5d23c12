#include "conversations/ChatStatusBar.h"

#include <QPainter>

#include "core/MainPanels.h"
#include "platform/Charset.h"

namespace {

constexpr int kWidths[] = {150, 260, 250};

}  // namespace

TChatStatusBar::TChatStatusBar(QWidget* parent) : QWidget(parent) { setFixedHeight(20); }

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
  for (int i = 0; i < 3; ++i) {
    const int width = i == 2 ? std::max(kWidths[2], this->width() - left) : kWidths[i];
    int textLeft = left + 1;
    if (i == 2) {
      LinkStateIcon(image_).paint(&p, QRect(left + 2, 2, 16, 16));
      textLeft = left + 20;
    }
    p.setPen(palette().windowText().color());
    p.drawText(QRect(textLeft, 1, left + width - textLeft - 2, height() - 2), Qt::AlignLeft | Qt::AlignVCenter,
               platform::ToQString(texts_[static_cast<std::size_t>(i)]));
    left += width;
    if (i < 2) {
      p.setPen(palette().mid().color());
      p.drawLine(left - 1, 2, left - 1, height() - 3);
    }
  }
}
