// The default pictures, drawn by code: twenty emoticon faces and two banners.

#include <QPainter>
#include <QPainterPath>
#include <cstddef>
#include <vector>

#include "platform/Exception.h"
#include "platform/Jpeg.h"
#include "resources/Resources.h"

namespace resources {

namespace {

enum class Eye { Dot, Wink, Closed, Wide, Angry };
enum class Mouth { Smile, Grin, Sad, Flat, Open, Wavy, Tongue, Kiss, Smirk, Shout };

struct Face {
  QColor skin;
  Eye left, right;
  Mouth mouth;
  bool nose = false, drool = false, question = false, blush = false;
};

// Index n-1 is the face of emoticon n, in the order of the codes the chat windows
// offer: ":)" ":P" ":D" ":-)" ";-)" ";)~" ":-!" ":!" ":-@" ":-<" ";)" ":?" ":-?"
// ":~" ";~?" ":}" ":*" ":@" ":&" ";p".
Face FaceOf(int n) {
  const QColor yellow(255, 214, 0), red(240, 90, 60), green(150, 200, 90), pink(255, 180, 190);
  switch (n) {
    case 1: return {yellow, Eye::Dot, Eye::Dot, Mouth::Smile};
    case 2: return {yellow, Eye::Dot, Eye::Dot, Mouth::Tongue};
    case 3: return {yellow, Eye::Wide, Eye::Wide, Mouth::Grin};
    case 4: return {yellow, Eye::Dot, Eye::Dot, Mouth::Smile, true};
    case 5: return {yellow, Eye::Wink, Eye::Dot, Mouth::Smile, true};
    case 6: return {yellow, Eye::Wink, Eye::Dot, Mouth::Smile, false, true};
    case 7: return {yellow, Eye::Dot, Eye::Dot, Mouth::Flat, true};
    case 8: return {yellow, Eye::Wide, Eye::Wide, Mouth::Flat};
    case 9: return {red, Eye::Angry, Eye::Angry, Mouth::Shout, true};
    case 10: return {yellow, Eye::Dot, Eye::Dot, Mouth::Sad, true};
    case 11: return {yellow, Eye::Wink, Eye::Dot, Mouth::Grin};
    case 12: return {yellow, Eye::Dot, Eye::Dot, Mouth::Wavy, false, false, true};
    case 13: return {yellow, Eye::Dot, Eye::Wide, Mouth::Flat, true, false, true};
    case 14: return {yellow, Eye::Closed, Eye::Closed, Mouth::Wavy};
    case 15: return {yellow, Eye::Wink, Eye::Dot, Mouth::Wavy, false, false, true};
    case 16: return {yellow, Eye::Dot, Eye::Dot, Mouth::Smirk};
    case 17: return {pink, Eye::Closed, Eye::Closed, Mouth::Kiss, false, false, false, true};
    case 18: return {red, Eye::Angry, Eye::Angry, Mouth::Open};
    case 19: return {green, Eye::Closed, Eye::Closed, Mouth::Wavy, false, true};
    default: return {yellow, Eye::Wink, Eye::Dot, Mouth::Tongue};
  }
}

void DrawEye(QPainter& p, Eye eye, double x, double y) {
  switch (eye) {
    case Eye::Dot: p.drawEllipse(QPointF(x, y), 1.2, 1.8); break;
    case Eye::Wide: p.drawEllipse(QPointF(x, y), 1.6, 2.3); break;
    case Eye::Wink: p.drawLine(QPointF(x - 1.8, y + 0.5), QPointF(x + 1.8, y + 0.5)); break;
    case Eye::Closed: p.drawArc(QRectF(x - 1.8, y - 1, 3.6, 3), 0, 180 * 16); break;
    case Eye::Angry:
      p.drawEllipse(QPointF(x, y + 0.5), 1.1, 1.4);
      p.drawLine(QPointF(x - 2, y - 2.5), QPointF(x + 2, y - 1.2 + (x < 9.5 ? 0 : -0.1)));
      break;
  }
}

void DrawMouth(QPainter& p, Mouth mouth) {
  const QColor dark(60, 30, 0);
  switch (mouth) {
    case Mouth::Smile: p.drawArc(QRectF(5, 7, 9, 7), 200 * 16, 140 * 16); break;
    case Mouth::Grin: {
      QPainterPath path;
      path.moveTo(4.5, 11);
      path.lineTo(14.5, 11);
      path.arcTo(QRectF(4.5, 7, 10, 8), 0, -180);
      p.setBrush(Qt::white);
      p.drawPath(path);
      break;
    }
    case Mouth::Sad: p.drawArc(QRectF(5.5, 12, 8, 6), 30 * 16, 120 * 16); break;
    case Mouth::Flat: p.drawLine(QPointF(6, 13.5), QPointF(13, 13.5)); break;
    case Mouth::Open:
    case Mouth::Shout:
      p.setBrush(dark);
      p.drawEllipse(QPointF(9.5, 13.5), mouth == Mouth::Shout ? 3.5 : 2.2, mouth == Mouth::Shout ? 2.5 : 2.2);
      break;
    case Mouth::Wavy: {
      QPainterPath path;
      path.moveTo(5.5, 13.5);
      path.cubicTo(7, 11.5, 8, 15.5, 9.5, 13.5);
      path.cubicTo(11, 11.5, 12, 15.5, 13.5, 13.5);
      p.drawPath(path);
      break;
    }
    case Mouth::Tongue:
      p.drawArc(QRectF(5, 7, 9, 7), 200 * 16, 140 * 16);
      p.setBrush(QColor(230, 60, 80));
      p.drawEllipse(QRectF(9, 12.5, 3.5, 4));
      break;
    case Mouth::Kiss:
      p.setBrush(QColor(220, 30, 60));
      p.drawEllipse(QPointF(9.5, 13.5), 1.8, 1.4);
      break;
    case Mouth::Smirk: p.drawArc(QRectF(8, 8, 7, 6), 220 * 16, 120 * 16); break;
  }
}

// Capital strokes on a 3 x 6 grid, enough for the banners' few letters.
std::vector<std::vector<QPointF>> Letter(char c) {
  switch (c) {
    case 'P': return {{{0, 6}, {0, 0}, {3, 0}, {3, 3}, {0, 3}}};
    case 'A': return {{{0, 6}, {1.5, 0}, {3, 6}}, {{0.75, 3.5}, {2.25, 3.5}}};
    case 'R': return {{{0, 6}, {0, 0}, {3, 0}, {3, 3}, {0, 3}}, {{1, 3}, {3, 6}}};
    case 'L': return {{{0, 0}, {0, 6}, {3, 6}}};
    case 'O': return {{{0, 0}, {3, 0}, {3, 6}, {0, 6}, {0, 0}}};
    case 'C': return {{{3, 0}, {0, 0}, {0, 6}, {3, 6}}};
    case 'H': return {{{0, 0}, {0, 6}}, {{3, 0}, {3, 6}}, {{0, 3}, {3, 3}}};
    case 'T': return {{{0, 0}, {3, 0}}, {{1.5, 0}, {1.5, 6}}};
    default: return {};
  }
}

void DrawWord(QPainter& p, const char* word, double x, double y, double unit) {
  for (; *word; ++word, x += unit * 4.5)
    for (const auto& stroke : Letter(*word)) {
      QPolygonF line;
      for (const auto& pt : stroke) line << QPointF(x + pt.x() * unit, y + pt.y() * unit);
      p.drawPolyline(line);
    }
}

void DrawBubble(QPainter& p, QRectF box, QColor fill, bool tailLeft) {
  p.setBrush(fill);
  p.drawRoundedRect(box, box.height() / 3, box.height() / 3);
  QPolygonF tail;
  const double x = tailLeft ? box.left() + box.width() * 0.25 : box.right() - box.width() * 0.25;
  tail << QPointF(x - 3, box.bottom() - 1) << QPointF(x + 3, box.bottom() - 1)
       << QPointF(x + (tailLeft ? -5 : 5), box.bottom() + 5);
  p.drawPolygon(tail);
}

QImage Banner(int width, QColor from, QColor to, QColor ink, const char* second) {
  QImage image(width, 40, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient gradient(0, 0, width, 40);
  gradient.setColorAt(0, from);
  gradient.setColorAt(1, to);
  p.fillRect(image.rect(), gradient);
  p.setPen(QPen(QColor(40, 40, 40), 1));
  DrawBubble(p, QRectF(6, 5, 30, 18), QColor(255, 255, 255), true);
  DrawBubble(p, QRectF(22, 15, 28, 16), QColor(255, 214, 0), false);
  p.setPen(QPen(ink, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  DrawWord(p, "PARLO", 60, 8, 4);
  if (second) {
    p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    DrawWord(p, second, 160, 14, 2.7);
  }
  p.end();
  return image;
}

}  // namespace

QImage Emoticon(int n) {
  if (n < 1 || n > 20) return {};
  const Face face = FaceOf(n);
  QImage image(19, 19, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(120, 80, 0), 1));
  p.setBrush(face.skin);
  p.drawEllipse(QRectF(0.5, 0.5, 18, 18));
  if (face.blush) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 120, 140));
    p.drawEllipse(QPointF(4, 11), 1.6, 1);
    p.drawEllipse(QPointF(15, 11), 1.6, 1);
  }
  p.setPen(QPen(QColor(60, 30, 0), 1.2));
  p.setBrush(QColor(60, 30, 0));
  DrawEye(p, face.left, 6.5, 6.5);
  DrawEye(p, face.right, 12.5, 6.5);
  if (face.nose) p.drawPoint(QPointF(9.5, 10));
  p.setBrush(Qt::NoBrush);
  DrawMouth(p, face.mouth);
  if (face.drool) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(80, 160, 255));
    p.drawEllipse(QPointF(13, 16.5), 1.2, 1.8);
  }
  if (face.question) {
    p.setPen(QPen(QColor(0, 0, 160), 1.3));
    p.drawArc(QRectF(14.5, 0.5, 3.5, 3.5), -90 * 16, 270 * 16);
    p.drawLine(QPointF(16.25, 4), QPointF(16.25, 5));
  }
  p.end();
  return image;
}

QImage Logo() { return Banner(172, QColor(0x00, 0x61, 0x96), QColor(0xB0, 0xC4, 0xDE), QColor(255, 255, 255), nullptr); }

QImage ChatLogo() {
  return Banner(300, QColor(0xB0, 0xC4, 0xDE), QColor(0x00, 0x61, 0x96), QColor(0x00, 0x30, 0x60), "CHAT");
}

QImage AppIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // The banner's two bubbles on a rounded square of the form colour, drawn
  // on a 32-unit grid so that every size is the same picture.
  p.scale(size / 32.0, size / 32.0);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x00, 0x61, 0x96));
  p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 6, 6);
  p.setPen(QPen(QColor(40, 40, 40), 1.2));
  DrawBubble(p, QRectF(3, 4, 19, 12), QColor(255, 255, 255), true);
  DrawBubble(p, QRectF(11, 14, 18, 11), QColor(255, 214, 0), false);
  p.end();
  return image;
}

std::string EncodeJpeg(const QImage& source, int quality) {
  const QImage image = source.convertToFormat(QImage::Format_RGB888);
  platform::TJpegOptions options;
  options.quality = quality;
  return platform::EncodeJpeg(image.width(), image.height(), platform::TPixelOrder::Rgb,
                              [&](int y) { return image.constScanLine(y); }, options);
}

}  // namespace resources
