#include "core/MainPanels.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
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

namespace {

// A person's head and shoulders in a box of 16, moved by (dx, dy) and scaled.
void DrawPerson(QPainter& p, const QColor& colour, qreal dx = 0, qreal dy = 0, qreal scale = 1) {
  p.save();
  p.translate(dx, dy);
  p.scale(scale, scale);
  p.setPen(QPen(colour.darker(170), 1));
  p.setBrush(colour);
  p.drawEllipse(QRectF(5, 1.5, 6, 6));
  p.drawChord(QRectF(2.5, 8.5, 11, 12), 0, 180 * 16);
  p.restore();
}

void DrawCamera(QPainter& p) {
  p.setPen(QPen(QColor(40, 40, 40), 1));
  p.setBrush(QColor(90, 90, 100));
  p.drawRoundedRect(QRectF(1.5, 4.5, 13, 9), 2, 2);
  p.drawRect(QRectF(4.5, 2.5, 4, 2));
  p.setBrush(QColor(150, 200, 240));
  p.drawEllipse(QRectF(5, 6, 6, 6));
}

}  // namespace

QIcon CommandPicture(TCommandPicture picture) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor ink(40, 40, 40), blue(60, 110, 200), red(200, 40, 40), green(40, 150, 60);
  switch (picture) {
    case TCommandPicture::Chat:
      p.setPen(QPen(blue.darker(150), 1));
      p.setBrush(blue);
      p.drawRoundedRect(QRectF(1.5, 2.5, 13, 8), 3, 3);
      p.drawPolygon(QPolygonF({{4, 10}, {4, 14}, {8, 10}}));
      p.setPen(Qt::white);
      for (const qreal x : {5.0, 8.0, 11.0}) p.drawPoint(QPointF(x, 6.5));
      break;
    case TCommandPicture::Message:
      p.setPen(QPen(ink, 1));
      p.setBrush(QColor(250, 240, 200));
      p.drawRect(QRectF(1.5, 3.5, 13, 9));
      p.drawPolyline(QPolygonF({{1.5, 3.5}, {8, 9}, {14.5, 3.5}}));
      break;
    case TCommandPicture::Profile:
      DrawPerson(p, blue);
      break;
    case TCommandPicture::CamView:
      DrawCamera(p);
      break;
    case TCommandPicture::Invite:
      DrawPerson(p, QColor(120, 160, 220), 5, 0, 0.7);
      DrawPerson(p, blue, -1, 4, 0.75);
      DrawPerson(p, green, 6, 5, 0.65);
      break;
    case TCommandPicture::Files:
      p.setPen(QPen(ink, 1));
      p.setBrush(Qt::white);
      p.drawPolygon(QPolygonF({{3.5, 1.5}, {9.5, 1.5}, {12.5, 4.5}, {12.5, 14.5}, {3.5, 14.5}}));
      p.drawPolyline(QPolygonF({{9.5, 1.5}, {9.5, 4.5}, {12.5, 4.5}}));
      for (const qreal y : {7.5, 9.5, 11.5}) p.drawLine(QPointF(5.5, y), QPointF(10.5, y));
      break;
    case TCommandPicture::Image:
      p.setPen(QPen(ink, 1));
      p.setBrush(QColor(170, 210, 250));
      p.drawRect(QRectF(1.5, 2.5, 13, 11));
      p.setPen(Qt::NoPen);
      p.setBrush(green);
      p.drawPolygon(QPolygonF({{2, 13}, {6, 7}, {9, 11}, {11, 9}, {14, 13}}));
      p.setBrush(QColor(240, 200, 40));
      p.drawEllipse(QRectF(10, 4, 3, 3));
      break;
    case TCommandPicture::Sound:
      p.setPen(QPen(ink, 1.5));
      p.drawLine(QPointF(7, 12), QPointF(7, 2.5));
      p.drawLine(QPointF(7, 2.5), QPointF(12, 4.5));
      p.setPen(Qt::NoPen);
      p.setBrush(ink);
      p.drawEllipse(QRectF(3, 10, 5, 4));
      break;
    case TCommandPicture::CamSend:
      DrawCamera(p);
      p.setPen(QPen(green, 2));
      p.drawLine(QPointF(10, 13), QPointF(15, 13));
      p.drawPolyline(QPolygonF({{12.5, 10.5}, {15, 13}, {12.5, 15.5}}));
      break;
    case TCommandPicture::RemoveFriend:
    case TCommandPicture::AddFriend: {
      const bool add = picture == TCommandPicture::AddFriend;
      DrawPerson(p, blue, -2, 0, 0.9);
      p.setPen(QPen(add ? green : red, 2.5));
      p.drawLine(QPointF(9, 12), QPointF(15, 12));
      if (add) p.drawLine(QPointF(12, 9), QPointF(12, 15));
      break;
    }
    case TCommandPicture::Block:
      p.setPen(QPen(red, 2));
      p.setBrush(Qt::white);
      p.drawEllipse(QRectF(2, 2, 12, 12));
      p.drawLine(QPointF(4.5, 11.5), QPointF(11.5, 4.5));
      break;
    case TCommandPicture::History:
      p.setPen(QPen(ink, 1));
      p.setBrush(Qt::white);
      p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
      p.setPen(QPen(blue, 1.5));
      p.drawLine(QPointF(8, 8), QPointF(8, 4));
      p.drawLine(QPointF(8, 8), QPointF(11, 9.5));
      break;
  }
  return QIcon(pm);
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

// Any button chooses the tab.
void TTabBox::mousePressEvent(QMouseEvent*) {
  if (OnMouseDown) OnMouseDown();
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
