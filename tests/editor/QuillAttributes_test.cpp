#include "editor/QuillAttributes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "QuillView_helpers.h"
#include <QPainter>

#include <filesystem>
#include <fstream>

using namespace quill;

namespace {

// A rich editor stand-in that records what the attribute objects ask of it.
struct FakeEditor : TQuillAttributesEditor {
  TQuillConsistentAttrs consistent = 0;
  std::vector<TQuillConsistentAttrs> applied;
  int paragraphs = 0;
  int objects = 0;
  bool lastHeight = false;
  void SetAttribute(TQuillEditorAttributes& a) override { applied.push_back(a.Changes()); }
  TQuillConsistentAttrs GetConsistentAttributes(const TQuillEditorAttributes&) override { return consistent; }
  TQuillFont EditorFont() const override { return TQuillFont{"Verdana", 10, -13, clBlack, 0, ANSI_CHARSET}; }
  TColor EditorColor() const override { return clWhite; }
  int SubscriptSize(const TQuillFont&) const override { return 7; }
  void ParagraphChanged(TQuillParagraph&) override { ++paragraphs; }
  void ObjectChanged(TQuillEditorObject&, bool h) override {
    ++objects;
    lastHeight = h;
  }
};

TEST(QuillAttributes, AssigningAFontMarksOnlyWhatIsNotUniform) {
  FakeEditor editor;
  TQuillEditorAttributes attrs(&editor);
  EXPECT_EQ(attrs.Name(), "Verdana");
  EXPECT_TRUE(editor.applied.empty()) << "binding to the editor applies nothing";
  TQuillFont bold{"Verdana", 10, 0, clBlack, fsBold, ANSI_CHARSET};

  editor.consistent = 0xFFFF;  // the selection is uniform
  attrs.InvalidateConsistency();
  attrs.Assign(bold);
  ASSERT_EQ(editor.applied.size(), 1u) << "one application per Assign";
  EXPECT_EQ(editor.applied[0], caStyle | caBold);
  attrs.Assign(bold);
  EXPECT_EQ(editor.applied.back(), 0) << "the same font again marks nothing";

  editor.consistent = 0;  // mixed faces
  attrs.InvalidateConsistency();
  attrs.Assign(bold);
  EXPECT_TRUE(editor.applied.back() & caFace);
  EXPECT_TRUE(editor.applied.back() & caSize);

  attrs.SetScriptStyle(TQuillScriptStyle::ssSuperScript);
  EXPECT_EQ(editor.applied.back(), caScriptStyle | caSuperScript);
  EXPECT_EQ(attrs.GetScriptFont().Height, -7);

  size_t before = editor.applied.size();
  TQuillEditorAttributes other(nullptr);
  other.SetUrl("http://x");
  attrs.SafeAssign(other);
  EXPECT_EQ(editor.applied.size(), before);
  EXPECT_EQ(attrs.Url(), "http://x");
}

TEST(QuillAttributes, ParagraphNumbering) {
  FakeEditor editor;
  TQuillParagraph p(&editor);
  p.SetLeftIndent(5);
  EXPECT_EQ(editor.paragraphs, 1);
  p.SetNumbering(TQuillNumberingStyle::nbsBullet);
  EXPECT_EQ(p.FirstIndent(), -24);
  EXPECT_EQ(p.LeftIndent(), 48);
  EXPECT_EQ(p.GetNumberString(), std::string(1, static_cast<char>(183)));
  EXPECT_EQ(p.GetFirstIndent(), 0);
  p.SetNumbering(TQuillNumberingStyle::nbsNone);
  EXPECT_EQ(p.LeftIndent(), 48) << "turning numbering off keeps the indents";
  TQuillParagraph numbered(nullptr);
  numbered.SetNumbering(TQuillNumberingStyle::nbsNumber);
  numbered.SetNumber(3);
  numbered.SetLeftIndent(10);
  editor.paragraphs = 0;
  p.Assign(numbered);
  EXPECT_EQ(editor.paragraphs, 1);
  EXPECT_EQ(p.GetNumberString(), "3.");
  EXPECT_EQ(p.LeftIndent(), 10);
}

// A 2 x 1 24-bit bitmap written byte by byte: one red and one blue pixel.
std::string TinyBmp() {
  auto u32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  auto u16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
  std::string pixels = std::string("\x00\x00\xff\xff\x00\x00", 6) + std::string(2, '\0');  // BGR, padded to 4
  std::string info = u32(40) + u32(2) + u32(1) + u16(1) + u16(24) + u32(0) + u32(static_cast<uint32_t>(pixels.size())) +
                     u32(2835) + u32(2835) + u32(0) + u32(0);
  std::string header = "BM" + u32(static_cast<uint32_t>(14 + info.size() + pixels.size())) + u32(0) + u32(14 + 40);
  return header + info + pixels;
}

TEST(QuillAttributes, PictureObjects) {
  viewtest::EnsureApp();

  EXPECT_EQ(GetRegisteredGraphicFormat(".BMP")->Name, "TQuillBitmapObject");
  EXPECT_EQ(GetRegisteredGraphicFormat(".wmf")->Name, "TQuillMetaFileObject");
  EXPECT_EQ(GetRegisteredGraphicFormat(".Ico")->Name, "TQuillIconObject");
  for (const char* ext : {".png", ".jpg", "bmp", ""}) EXPECT_EQ(GetRegisteredGraphicFormat(ext), nullptr) << ext;

  auto dir = std::filesystem::temp_directory_path() / ("parlo-editor-pic-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir / "Icons");
  std::ofstream(dir / "1.bmp", std::ios::binary) << TinyBmp();
  std::ofstream(dir / "Icons" / "2.bmp", std::ios::binary) << TinyBmp();
  FakeEditor editor;
  auto picture = GetRegisteredGraphicFormat(".bmp")->Create(&editor);
  EXPECT_EQ(picture->Width(), 16);
  EXPECT_EQ(picture->Height(), 16);
  ASSERT_TRUE(picture->LoadFromFile((dir / "1.bmp").string()));
  ASSERT_EQ(picture->GetImage()->size(), QSize(2, 1));
  EXPECT_EQ(picture->GetImage()->pixelColor(0, 0), QColor(Qt::red));
  EXPECT_EQ(picture->GetImage()->pixelColor(1, 0), QColor(Qt::blue));
  EXPECT_TRUE(picture->LoadFromFile(dir.string() + "\\Icons\\2.bmp")) << "the program's names use backslashes";
  EXPECT_FALSE(picture->LoadFromFile((dir / "missing.bmp").string()));
  EXPECT_TRUE(picture->GetImage()->isNull());
  picture->SetHeight(20);
  EXPECT_TRUE(editor.lastHeight);
  picture->SetWidth(20);
  EXPECT_FALSE(editor.lastHeight);

  ASSERT_TRUE(picture->LoadFromFile((dir / "1.bmp").string()));
  QImage canvas(8, 8, QImage::Format_RGB32);
  canvas.fill(Qt::white);
  {
    platform::TQtCanvas painter(canvas);
    picture->PaintRect(painter, {0, 0, 8, 8}, {1, 1}, true, true, clBlack, clBlack);
  }
  EXPECT_EQ(canvas.pixelColor(1, 1), QColor(Qt::cyan)) << "a selected picture is drawn inverted";

  // The form a picture is drawn in is kept between paints: what changes the
  // picture, in place or in how it is drawn, shows at the next paint.
  auto icon = GetRegisteredGraphicFormat(".ico")->Create(&editor);
  auto& graphic = dynamic_cast<TQuillGraphicObject&>(*icon);
  auto paintAt = [&](bool selected) {
    canvas.fill(Qt::white);
    platform::TQtCanvas painter(canvas);
    graphic.PaintRect(painter, {0, 0, 8, 8}, {1, 1}, selected, true, clBlack, clBlack);
    painter.Flush();
    return canvas.pixelColor(1, 1);
  };
  graphic.Image() = QImage(2, 1, QImage::Format_ARGB32);
  graphic.Image().fill(Qt::red);
  EXPECT_EQ(paintAt(true), QColor(Qt::cyan));
  EXPECT_EQ(paintAt(false), QColor(Qt::red)) << "inverting a selected picture leaves the picture as it was";
  graphic.Image().fill(Qt::green);
  EXPECT_EQ(paintAt(false), QColor(Qt::green)) << "a picture changed in place";
  graphic.Image().fill(Qt::transparent);
  graphic.SetTransparent(true);
  EXPECT_EQ(paintAt(false), QColor(Qt::white)) << "a transparent picture shows what is under it";
  graphic.SetTransparent(false);
  EXPECT_EQ(paintAt(false), QColor(Qt::black)) << "an opaque one covers it";
  std::filesystem::remove_all(dir);
}

}  // namespace
