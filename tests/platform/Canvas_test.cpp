#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>

#include <functional>

#include "platform/Charset.h"
#include "platform/EventLoop.h"
#include "platform/QtCanvas.h"
#include "platform/RecordingCanvas.h"

using namespace platform;

namespace {

void EnsureApp() {
  if (QCoreApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "platform_tests";
  static char* argv[] = {name, nullptr};
  platform::TEventLoopChoice loop;
  new QGuiApplication(argc, argv);  // kept for the process's life
}

uint32_t Pixel(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

constexpr uint32_t kWhite = 0xFFFFFF, kRed = 0xFF0000, kHighlight = 0x0078D7, kLime = 0x00FF00;

// The bounding box of every pixel that is not white.
QRect Ink(const QImage& image) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (Pixel(image, x, y) != kWhite) box |= QRect(x, y, 1, 1);
  return box;
}

}  // namespace

// The same calls on both canvases: the recording names what was drawn, and
// the pixels show that the Qt canvas drew exactly that, edges included.
TEST(Canvas, QtCanvasDrawsWhatTheRecordingSays) {
  EnsureApp();
  struct Probe {
    int x, y;
    uint32_t rgb;
  };
  struct Case {
    const char* name;
    std::function<void(TCanvas&)> draw;
    std::string recorded;
    std::vector<Probe> probes;
  };
  const Case cases[] = {
      {"fill leaves out the right and bottom edges",
       [](TCanvas& c) {
         c.Brush() = {clHighlight, TBrushStyle::bsSolid};
         c.FillRect({2, 2, 6, 5});
       },
       "FillRect 2,2,6,5 brush=clHighlight",
       {{2, 2, kHighlight}, {5, 4, kHighlight}, {6, 4, kWhite}, {5, 5, kWhite}, {1, 2, kWhite}}},
      {"a line leaves out its last pixel",
       [](TCanvas& c) {
         c.Pen() = {0x0000FF, 1, TPenStyle::psSolid, TPenMode::pmCopy};
         c.MoveTo(0, 10);
         c.LineTo(8, 10);
         c.MoveTo(20, 0);
         c.LineTo(20, 4);
       },
       "Line 0,10-8,10 pen=clRed\nLine 20,0-20,4 pen=clRed",
       {{0, 10, kRed}, {7, 10, kRed}, {8, 10, kWhite}, {20, 3, kRed}, {20, 4, kWhite}}},
      {"an exclusive-or line drawn twice leaves nothing",
       [](TCanvas& c) {
         c.Pen() = {0x0000FF, 1, TPenStyle::psSolid, TPenMode::pmXor};
         for (int i = 0; i < 2; ++i) {
           c.MoveTo(0, 3);
           c.LineTo(10, 3);
         }
         c.MoveTo(0, 5);
         c.LineTo(10, 5);
       },
       "Line 0,3-10,3 pen=clRed,xor\nLine 0,3-10,3 pen=clRed,xor\nLine 0,5-10,5 pen=clRed,xor",
       {{4, 3, kWhite}, {4, 5, 0x00FFFF}}},
      {"a dotted pen sets every other pixel",
       [](TCanvas& c) {
         c.Pen() = {0x000000, 1, TPenStyle::psDot, TPenMode::pmCopy};
         c.MoveTo(0, 0);
         c.LineTo(9, 0);
       },
       "Line 0,0-9,0 pen=clBlack,dot",
       {{0, 0, 0}, {1, 0, kWhite}, {2, 0, 0}, {3, 0, kWhite}}},
      {"opaque text output fills exactly its rectangle",
       [](TCanvas& c) {
         c.SetBkColor(0x00FF00);
         const TRect r{20, 0, 40, 14};
         c.ExtTextOut(20, 0, etoOpaque | etoClipped, &r, "", nullptr);
       },
       "ExtTextOut 20,0 \"\" opaque,clipped 20,0,40,14 font=MS Sans Serif,-11 color=clWindowText bk=clLime",
       {{20, 0, kLime}, {39, 13, kLime}, {40, 13, kWhite}, {39, 14, kWhite}}},
      {"clipping keeps fills inside the clip and out of excluded parts",
       [](TCanvas& c) {
         c.IntersectClipRect({0, 0, 10, 10});
         c.ExcludeClipRect({0, 0, 5, 5});
         c.Brush() = {0x0000FF, TBrushStyle::bsSolid};
         c.FillRect({0, 0, 50, 50});
         c.ResetClip();
         c.FillRect({40, 40, 41, 41});
       },
       "IntersectClip 0,0,10,10\nExcludeClip 0,0,5,5\nFillRect 0,0,50,50 brush=clRed\nResetClip\nFillRect 40,40,41,41 brush=clRed",
       {{9, 9, kRed}, {10, 9, kWhite}, {2, 2, kWhite}, {7, 2, kRed}, {40, 40, kRed}}},
      {"rectangle: pen outline inside, brush within; a clear brush fills nothing",
       [](TCanvas& c) {
         c.Brush() = {0x00FF00, TBrushStyle::bsSolid};
         c.Pen() = {0x0000FF, 1, TPenStyle::psSolid, TPenMode::pmCopy};
         c.Rectangle({10, 10, 20, 20});
         c.Brush().Style = TBrushStyle::bsClear;
         c.FillRect({30, 30, 40, 40});
       },
       "Rectangle 10,10,20,20 brush=clLime pen=clRed",
       {{10, 10, kRed}, {19, 19, kRed}, {20, 20, kWhite}, {15, 15, kLime}, {35, 35, kWhite}}},
      {"pictures leave out their transparent colour",
       [](TCanvas& c) {
         QImage picture(4, 4, QImage::Format_RGB32);
         picture.fill(Qt::white);
         picture.setPixel(1, 1, qRgb(255, 0, 0));
         c.Draw(30, 30, picture, 0xFFFFFF);
         c.Brush() = {0x00FF00, TBrushStyle::bsSolid};
         c.FillRect({50, 50, 54, 54});
         c.SetCopyMode(TCopyMode::cmSrcInvert);
         c.CopyRect({50, 50, 54, 54}, picture, {0, 0, 4, 4});
       },
       "Draw 30,30 4x4 transparent=clWhite\nFillRect 50,50,54,54 brush=clLime\nCopyRect 50,50,54,54 from 0,0,4,4 of 4x4 srcinvert",
       {{31, 31, kRed}, {30, 30, kWhite}, {32, 31, kWhite}, {50, 50, 0xFF00FF}, {51, 51, 0xFFFF00}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TRecordingCanvas recording({0, 0, 64, 64});
    c.draw(recording);
    std::string text = recording.Text();
    text.pop_back();
    EXPECT_EQ(text, c.recorded);
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
      TQtCanvas canvas(image);
      c.draw(canvas);
    }
    for (const Probe& p : c.probes) EXPECT_EQ(Pixel(image, p.x, p.y), p.rgb) << p.x << "," << p.y;
  }
}

// Text lands where it was measured: the ink of a string stays inside its
// measured width, advances place each character in its own cell, opaque
// text fills its cells in the background colour, and a font turned by 90
// degrees writes upwards.
TEST(Canvas, TextInkStaysWhereItWasMeasured) {
  EnsureApp();
  for (const char* face : {"DejaVu Sans", "Courier New", "Times New Roman"}) {
    SCOPED_TRACE(face);
    QImage image(300, 80, QImage::Format_RGB32);
    image.fill(Qt::white);
    TQtCanvas canvas(image);
    canvas.SetFont({face, -16, 0, clBlack});
    canvas.SetBkMode(TBkMode::bkTransparent);
    const std::string text = "iiWWmm.ll";
    const int width = canvas.TextWidth(text);
    const TTextMetrics m = canvas.TextMetrics();
    EXPECT_EQ(m.Height, m.Ascent + m.Descent);
    EXPECT_GT(width, 0);
    canvas.TextOut(10, 10, text);
    canvas.Flush();
    QRect ink = Ink(image);
    EXPECT_GE(ink.left(), 10);
    EXPECT_LE(ink.right(), 10 + width);
    EXPECT_GE(ink.top(), 10);
    EXPECT_LE(ink.bottom(), 10 + m.Height);

    // Advances of 30: the second character starts in its own cell.
    image.fill(Qt::white);
    const int advances[2] = {30, 30};
    canvas.ExtTextOut(10, 10, 0, nullptr, "ll", advances);
    canvas.Flush();
    ink = Ink(image);
    EXPECT_GE(ink.right(), 40);
    EXPECT_LE(ink.right(), 40 + canvas.CharWidths()['l']);
    for (int x = 10 + canvas.CharWidths()['l'] + 1; x < 40; ++x)
      for (int y = 0; y < 80; ++y) ASSERT_EQ(Pixel(image, x, y), kWhite) << x;

    // Opaque text covers its cells in the background colour.
    image.fill(Qt::white);
    canvas.SetBkMode(TBkMode::bkOpaque);
    canvas.SetBkColor(0x00FF00);
    canvas.TextOut(0, 0, "ab");
    canvas.Flush();
    const int ab = canvas.TextWidth("ab");
    EXPECT_EQ(Pixel(image, 0, m.Height - 1), kLime);
    EXPECT_EQ(Pixel(image, ab - 1, 0), kLime);
    EXPECT_EQ(Pixel(image, ab, 0), kWhite);
    EXPECT_EQ(Pixel(image, 0, m.Height), kWhite);

    // Turned text runs up the picture from its origin.
    image.fill(Qt::white);
    TCanvasFont turned = canvas.Font();
    turned.Escapement = 900;
    canvas.SetFont(turned);
    canvas.SetBkMode(TBkMode::bkTransparent);
    canvas.TextOut(20, 70, "WWWW");
    canvas.Flush();
    ink = Ink(image);
    EXPECT_GT(ink.height(), ink.width());
    EXPECT_LE(ink.bottom(), 70);
    EXPECT_GE(ink.top(), 70 - width - 2);
  }
}

// Clipped text output changes exactly the pixels of its rectangle that the
// same output unclipped changes, and nothing outside it: with glyphs that
// reach past their cells, lines under and through the text, a background
// behind it, on the surfaces a window paints on, through a moved painter.
TEST(Canvas, ClippedTextChangesOnlyWhatTheRectangleLetsThrough) {
  EnsureApp();
  struct Case {
    const char* name;
    TFontStyles style;
    std::string text;
    TRect rect;  // relative to the pen
    int options;
    TBkMode mode;
  };
  const Case cases[] = {
      {"ink well inside its cell", 0, "ace", {-2, -2, 60, 30}, etoOpaque, TBkMode::bkTransparent},
      {"cell as wide as the text", 0, "ace", {0, 0, 0, 0}, etoOpaque, TBkMode::bkTransparent},
      {"glyphs past both ends", fsItalic, "fjyf", {0, 0, 0, 0}, 0, TBkMode::bkTransparent},
      {"cut through the middle", fsBold, "WWWW", {5, 3, 25, 12}, 0, TBkMode::bkOpaque},
      {"underline ends at the cell", fsUnderline, "a b", {0, 0, 0, 0}, etoOpaque, TBkMode::bkOpaque},
      {"strike-out cut from above", fsStrikeOut, "mm", {0, 10, 0, 0}, 0, TBkMode::bkTransparent},
      {"background behind the text, row cut short", 0, "gy", {0, 0, 0, -3}, 0, TBkMode::bkOpaque},
  };
  for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (format == QImage::Format_RGB32 ? ", RGB32" : ", premultiplied"));
      auto draw = [&](int options) {
        QImage image(120, 50, format);
        image.fill(QColor(0x12, 0x34, 0x56));
        QPainter painter(&image);
        painter.translate(7, 5);
        TQtCanvas canvas(painter);
        canvas.SetFont({"DejaVu Sans", -16, c.style, clBlack});
        canvas.SetBkMode(c.mode);
        canvas.SetBkColor(0x00FF00);
        canvas.SetTextColor(0x0000FF);
        const int width = canvas.TextWidth(c.text), height = canvas.TextMetrics().Height;
        // Zero edges stand for the text's own cell.
        const TRect r{10 + c.rect.Left, 10 + c.rect.Top, 10 + (c.rect.Right > 0 ? c.rect.Right : width + c.rect.Right),
                      10 + (c.rect.Bottom > 0 ? c.rect.Bottom : height + c.rect.Bottom)};
        canvas.ExtTextOut(10, 10, options, &r, c.text, nullptr);
        painter.end();
        return std::make_pair(image, QRect(r.Left + 7, r.Top + 5, r.Width(), r.Height()));
      };
      const auto [clipped, inside] = draw(c.options | etoClipped);
      const auto [whole, unused] = draw(c.options);
      QImage expected(120, 50, format);
      expected.fill(QColor(0x12, 0x34, 0x56));
      for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) expected.setPixel(x, y, whole.pixel(x, y));
      int differing = 0;
      for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 120; ++x) differing += clipped.pixel(x, y) != expected.pixel(x, y);
      EXPECT_EQ(differing, 0);
    }
  }
}

// Text comes out as the very pixels Qt's own glyph drawing gives, over any
// background, in any colour, on the surfaces a window paints on, moved or
// not, clipped to a rectangle or to a region.
TEST(Canvas, TextIsWhatTheGlyphRunDraws) {
  EnsureApp();
  std::string text;
  for (int c = 33; c < 256; ++c)
    if (c != 127) text += static_cast<char>(c);
  struct Case {
    TCanvasFont font;
    TColor color;
    int moved;
    int clip;  // 0 none, 1 a rectangle, 2 a region of two
  };
  const Case cases[] = {
      {{"DejaVu Sans", -13, 0, clBlack}, clBlack, 0, 0},
      {{"Verdana", -11, fsBold, clBlack}, 0x800000, 7, 1},
      {{"DejaVu Sans", -16, fsItalic, clBlack}, 0x3A9C1D, 3, 2},
      {{"Courier New", -13, 0, clBlack}, 0xD2B48C, 0, 2},
  };
  for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.font.Name + std::to_string(c.font.Height) + " format " + std::to_string(format));
      QImage noise(1200, 40, format);
      quint32 seed = 12345;
      for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x) {
          seed = seed * 1664525u + 1013904223u;
          noise.setPixel(x, y, 0xFF000000u | (seed >> 8));
        }
      const QRegion region = c.clip == 0   ? QRegion(noise.rect())
                             : c.clip == 1 ? QRegion(40, 0, 900, 30)
                                           : QRegion(0, 0, 500, 40) + QRegion(520, 10, 600, 25);
      QImage drawn = noise.copy();
      std::vector<int> widths;
      int ascent = 0;
      {
        QPainter painter(&drawn);
        painter.translate(c.moved, c.moved);
        painter.setClipRegion(region.translated(-c.moved, -c.moved));
        TQtCanvas canvas(painter);
        canvas.SetFont(c.font);
        canvas.SetBkMode(TBkMode::bkTransparent);
        canvas.SetTextColor(c.color);
        canvas.TextOut(2, 4, text);
        widths.assign(canvas.CharWidths(), canvas.CharWidths() + 256);
        ascent = canvas.TextMetrics().Ascent;
      }
      QImage expected = noise.copy();
      {
        QPainter painter(&expected);
        painter.setClipRegion(region);
        painter.setPen(ToQColor(c.color));
        const QRawFont raw = QRawFont::fromFont(ToQFont(c.font));
        QList<QPointF> positions;
        QList<quint32> glyphs;
        int x = 0;
        for (char ch : text) {
          const auto byte = static_cast<unsigned char>(ch);
          glyphs.append(raw.glyphIndexesForString(QString(QChar(CodePointFromAnsi(byte)))).value(0));
          positions.append(QPointF(x, 0));
          x += widths[byte];
        }
        QGlyphRun run;
        run.setRawFont(raw);
        run.setGlyphIndexes(glyphs);
        run.setPositions(positions);
        painter.drawGlyphRun(QPointF(2 + c.moved, 4 + ascent + c.moved), run);
      }
      int differing = 0, inked = 0;
      for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x) {
          differing += drawn.pixel(x, y) != expected.pixel(x, y);
          inked += expected.pixel(x, y) != noise.pixel(x, y);
        }
      EXPECT_GT(inked, 1000);
      EXPECT_EQ(differing, 0);
    }
  }
}

// Underlined and struck-out text keeps its line when drawn through a moved
// painter, as a widget inside a window is drawn.
TEST(Canvas, TextLinesSurviveAMovedPainter) {
  EnsureApp();
  for (TFontStyles style : {fsUnderline, fsStrikeOut}) {
    SCOPED_TRACE(style);
    QImage image(200, 60, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.translate(20, 10);
    TQtCanvas canvas(painter);
    canvas.SetFont({"DejaVu Sans", -16, style, clBlack});
    canvas.SetBkMode(TBkMode::bkTransparent);
    // Blanks between the letters: only the line can ink a whole row.
    const std::string text = "a  b";
    const int width = canvas.TextWidth(text);
    const int height = canvas.TextMetrics().Height;
    canvas.TextOut(0, 0, text);
    painter.end();
    int lines = 0;
    for (int y = 10; y < 10 + height; ++y) {
      bool whole = true;
      for (int x = 20; x < 20 + width && whole; ++x) whole = Pixel(image, x, y) != kWhite;
      lines += whole;
    }
    EXPECT_GE(lines, 1);
    EXPECT_EQ(Pixel(image, 20 + width, 10 + height / 2), kWhite);
  }
}

// The recording canvas measures without any font on the machine.
TEST(Canvas, RecordingMetricsAreFixed) {
  TRecordingCanvas c;
  c.SetFont({"Courier New", -10});
  EXPECT_EQ(c.TextWidth("iW"), 12);
  EXPECT_TRUE(c.TextMetrics().FixedPitch);
  EXPECT_EQ(c.TextMetrics().Height, 12);
  c.SetFont({"Verdana", -12, fsBold});
  EXPECT_FALSE(c.TextMetrics().FixedPitch);
  EXPECT_EQ(c.TextWidth("iaW"), 4 + 7 + 10);
  c.SetFont({"Verdana", 20});
  EXPECT_EQ(c.TextMetrics().Height, 20);
}
