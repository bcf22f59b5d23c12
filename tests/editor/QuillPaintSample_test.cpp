#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>

#include "QuillView_helpers.h"
#include "editor/QuillSyntaxStyles.h"
#include "platform/QtCanvas.h"

using namespace quill;

// A painted sample through the Qt canvas, kept as a picture in the build
// folder ("editor-paint-sample.png") for people to look at: syntax styles,
// a selection, a search match, a misspelled word, a styled line, the caret's
// line and line numbers in a gutter.
TEST(QuillPaintSample, RendersStyledLinesSelectionAndLineNumbers) {
  viewtest::EnsureApp();
  QImage image(520, 250, QImage::Format_RGB32);
  image.fill(Qt::white);
  platform::TQtCanvas canvas(image);

  viewtest::FakeView v;
  v.canvas = &canvas;
  v.width = image.width();
  v.height = image.height();
  v.left = 44;
  v.font.Name = "DejaVu Sans Mono";
  v.font.Height = -14;
  v.painter->FontChanged();

  TQuillEditorParser parser;
  parser.SetRules({"State = Normal", "State = Comment", "Token = tnone", "Token = tresword", "Token = tcomment",
                   "Token = tstring", "Token = tinteger", "Normal 'begin' Normal tresword",
                   "Normal 'end' Normal tresword", "Normal 'procedure' Normal tresword",
                   "Normal 'var' Normal tresword", "Normal 'if' Normal tresword", "Normal 'then' Normal tresword",
                   "Normal \\{ Comment tcomment", "Comment [^}]+ Comment tcomment", "Comment \\} Normal tcomment",
                   "Normal #39[^#39]*#39 Normal tstring", "Normal [0-9]+ Normal tinteger"});
  v.source.SetParser(&parser);
  v.source.OnWordSpell = [](TQuillObject*, const std::string& word, bool& correct) { correct = word != "recieve"; };
  v.source.SetOptions(v.source.Options() | srLiveSpell);
  v.SetText({"{ Messages the chat window shows }", "procedure Show(Text: string);", "var", "  Count: Integer;",
             "begin", "  Count := 42;", "  if Count > 0 then", "    Append('recieve ' + Text);",
             "  Log('see www.example.com');", "end;"});
  v.source.ParseStrings(0, v.source.Strings().Count() - 1, true);
  v.painter->NeedSpell = true;
  v.painter->HighlightUrls = true;

  TQuillLineStyle& breakpoint = v.styles.Add();
  breakpoint.SetColor(clWhite);
  breakpoint.SetBackColor(0x3030B0);
  v.source.SetLineStyle(5, 0);
  v.selType = TQuillSelType::slStream;
  v.selStart = {10, 1};
  v.selEnd = {7, 3};
  v.searchStart = {4, 6};
  v.searchEnd = {9, 6};
  v.caret = {0, 8};
  v.divider.SetOptions(ldHighlightCurrentLine);
  v.divider.SetBrush({0xE0FFFF, TBrushStyle::bsSolid});
  v.divider.SetPen({0xC0C0C0, 1, TPenStyle::psSolid, TPenMode::pmCopy});

  // The gutter with right-aligned line numbers from 1.
  canvas.Brush() = {clBtnFace, TBrushStyle::bsSolid};
  canvas.FillRect({0, 0, 40, v.height});
  PaintGutterLine(canvas, {0, 0, 40, v.height}, 38, clWindow, {clBtnShadow, 1, TPenStyle::psSolid, TPenMode::pmCopy});
  canvas.SetFont(CanvasFont(v.font));
  canvas.SetTextColor(clBtnShadow);
  canvas.SetBkMode(platform::TBkMode::bkTransparent);
  const int row = v.painter->LineHeight();
  for (int line = 0; line < v.source.Strings().Count(); ++line) {
    const std::string number = std::to_string(line + 1);
    canvas.TextOut(34 - canvas.TextWidth(number), line * row, number);
  }
  canvas.Brush() = {clWindow, TBrushStyle::bsSolid};
  canvas.FillRect({40, 0, 44, v.height});

  v.PaintAll();
  canvas.Flush();

  const char* dir = std::getenv("PARLO_BINARY_DIR");
  const std::string path = std::string(dir != nullptr ? dir : ".") + "/editor-paint-sample.png";
  EXPECT_TRUE(image.save(QString::fromStdString(path)));

  auto rowHas = [&](int line, int x0, int x1, QRgb color) {
    for (int y = line * row; y < (line + 1) * row; ++y)
      for (int x = x0; x < x1; ++x)
        if ((image.pixel(x, y) & 0xFFFFFF) == (color & 0xFFFFFF)) return true;
    return false;
  };
  const int cw = v.painter->CharWidth();
  // The selection's background past the end of line 2 and inside line 3.
  EXPECT_TRUE(rowHas(2, v.left + 4 * cw, v.width, qRgb(0x00, 0x78, 0xD7)));
  EXPECT_TRUE(rowHas(3, v.left, v.left + 7 * cw, qRgb(0x00, 0x78, 0xD7)));
  EXPECT_FALSE(rowHas(3, v.left + 8 * cw, v.width, qRgb(0x00, 0x78, 0xD7)));
  // The styled line reaches the right edge; the search match is black.
  EXPECT_TRUE(rowHas(5, v.width - 10, v.width, qRgb(0xB0, 0x30, 0x30)));
  EXPECT_TRUE(rowHas(6, v.left + 4 * cw, v.left + 9 * cw, qRgb(0, 0, 0)));
  // The caret's line is tinted, the misspelled word has its red wave.
  EXPECT_TRUE(rowHas(8, v.width - 10, v.width, qRgb(0xFF, 0xFF, 0xE0)));
  EXPECT_TRUE(rowHas(7, v.left + 12 * cw, v.left + 19 * cw, qRgb(0xFF, 0, 0)));
  // Every line number left ink in the gutter.
  for (int line = 0; line < 10; ++line) {
    bool ink = false;
    for (int y = line * row; y < (line + 1) * row && !ink; ++y)
      for (int x = 2; x < 36 && !ink; ++x) ink = qGray(image.pixel(x, y)) < 200;
    EXPECT_TRUE(ink) << line;
  }
}
