#include "core/MainPanels.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <array>

#include "platform/Charset.h"

namespace {

QIcon Dot(const QColor& fill, bool hollow = false) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(fill.darker(160), 1));
  p.setBrush(hollow ? QBrush(Qt::white) : QBrush(fill));
  p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
  if (hollow) {
    p.setBrush(fill);
    p.drawEllipse(QRectF(5.5, 5.5, 5, 5));
  }
  return QIcon(pm);
}

}  // namespace

QIcon StatusIcon(int mode) {
  static const std::array<QIcon, 5> icons = {
      Dot(QColor(0x2E, 0xA0, 0x43)),        // Available
      Dot(QColor(0xC8, 0x2A, 0x2A)),        // Busy
      Dot(QColor(0x90, 0x90, 0x90), true),  // Invisible
      Dot(QColor(0xE8, 0xB0, 0x20)),        // Away
      Dot(QColor(0xE0, 0x70, 0x10), true),  // Unavailable
  };
  if (mode < 0 || mode >= static_cast<int>(icons.size())) return {};
  return icons[static_cast<size_t>(mode)];
}

QIcon LinkStateIcon(int image) {
  static const std::array<QIcon, 3> icons = {Dot(QColor(0x80, 0x80, 0x80)), Dot(QColor(0x2E, 0xA0, 0x43)),
                                              Dot(QColor(0xE8, 0xB0, 0x20))};
  if (image < 0 || image >= static_cast<int>(icons.size())) return {};
  return icons[static_cast<size_t>(image)];
}

TTabBox::TTabBox(const QString& caption, QWidget* parent) : QWidget(parent), caption_(caption) {
  setFixedSize(60, 20);
  // The captions were laid out for a small 8-point face; keep them inside 60 pixels.
  QFont f = font();
  f.setPixelSize(11);
  setFont(f);
}

void TTabBox::SetSelected(bool on) {
  selected_ = on;
  update();
}

void TTabBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  PaintTab(p, selected_);
}

void TTabBox::PaintTab(QPainter& p, bool selected) {
  const QColor grey(128, 128, 128);
  QFont f = font();
  if (selected) {
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(kFormColor);
    p.drawRoundedRect(QRect(0, 0, width() - 1, height() - 1), 3, 3);
    p.setPen(kFormColor);
    p.drawLine(1, 16, 59, 16);
    p.setPen(Qt::white);
  } else {
    p.setPen(QPen(grey, 1));
    p.setBrush(kPanelColor);
    p.drawRoundedRect(QRect(0, 1, width() - 1, height() - 3), 3, 3);
    p.setPen(grey);
    p.drawLine(0, 16, 60, 16);
    p.setPen(Qt::black);
    f.setBold(false);
  }
  p.setFont(f);
  p.drawText(QRect(7, 2, width() - 7, height() - 4), Qt::AlignLeft | Qt::AlignTop, caption_);
}

void TTabBox::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && OnMouseDown) OnMouseDown();
}

void TPaintBox::paintEvent(QPaintEvent*) {
  if (!OnPaint) return;
  QPainter p(this);
  OnPaint(p);
}

void PaintRoundedFrame(QPainter& p, const QSize& size, const QColor& color) {
  p.setPen(QPen(color, 1));
  p.setBrush(color);
  p.drawRoundedRect(QRect(3, 0, size.width() - 7, size.height() - 1), 2, 2);
}

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) { setFixedHeight(20); }

// The area a panel draws in, inside its border; the last panel reaches to the
// bar's right end.
QRect TStatusBar::PanelRect(int panel) const {
  const int left = panel == 0 ? 0 : panel == 1 ? kIconPanel : kIconPanel + kTextPanel;
  const int wide = panel == 0 ? kIconPanel : panel == 1 ? kTextPanel : std::max(4, width() - left);
  return QRect(left, 0, wide, height()).adjusted(2, 2, -2, -2);
}

QRect TStatusBar::TextRect() const { return PanelRect(1).adjusted(1, 1, 0, 0); }

QFont TStatusBar::TextFont() const {
  // Smaller type rather than a cut: the port number at the end is the part
  // that matters. Below 8 pixels nothing is readable any more.
  QFont f = font();
  const QString text = platform::ToQString(text_);
  const int room = TextRect().width();
  for (int size = QFontInfo(f).pixelSize(); size > 8 && QFontMetrics(f).horizontalAdvance(text) > room; --size)
    f.setPixelSize(size - 1);
  return f;
}

// A picture is drawn again whenever it is set; the text only when it changes.
void TStatusBar::SetListenStateIcon(int image) {
  listenImage_ = image;
  update(PanelRect(0));
}

void TStatusBar::SetServerStateIcon(int image) {
  serverImage_ = image;
  update(PanelRect(2));
}

void TStatusBar::SetStatusText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  update(PanelRect(1));
}

void TStatusBar::StatDrawPanel(QPainter& p, int panel, const QRect& rect) {
  p.fillRect(rect, palette().window());
  if (panel == 1) {
    p.setPen(palette().windowText().color());
    p.setFont(TextFont());
    p.drawText(TextRect(), Qt::AlignLeft | Qt::AlignTop, platform::ToQString(text_));
    return;
  }
  LinkStateIcon(panel == 0 ? listenImage_ : serverImage_).paint(&p, QRect(rect.topLeft(), QSize(16, 16)));
}

void TStatusBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().window());
  for (int panel = 0; panel < 3; ++panel) StatDrawPanel(p, panel, PanelRect(panel));
  // The panels' borders.
  p.setPen(palette().mid().color());
  for (const int x : {kIconPanel, kIconPanel + kTextPanel}) p.drawLine(x, 2, x, height() - 3);
}
