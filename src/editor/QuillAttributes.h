#pragma once

// What a rich document keeps besides characters: character attributes, paragraph
// attributes and embedded objects (pictures standing in the text as character 1).

#include <QImage>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/QuillContainers.h"
#include "platform/Charset.h"
#include "platform/Exception.h"
#include "platform/Font.h"
#include "platform/QtCanvas.h"

namespace quill {

using platform::TCanvas;

enum class TQuillScriptStyle : uint8_t { ssNormal, ssSubScript, ssSuperScript };
enum class TQuillAlignment : uint8_t { algLeft, algRight, algCenter, algJustify };
enum class TQuillNumberingStyle : uint8_t { nbsNone, nbsBullet, nbsNumber };

enum TQuillConsistentAttr : uint16_t {
  caColor = 1 << 0,
  caBkColor = 1 << 1,
  caFace = 1 << 2,
  caCharSet = 1 << 3,
  caPitch = 1 << 4,
  caSize = 1 << 5,
  caBold = 1 << 6,
  caItalic = 1 << 7,
  caStrikeOut = 1 << 8,
  caUnderline = 1 << 9,
  caSubScript = 1 << 10,
  caSuperScript = 1 << 11,
  caStyle = 1 << 12,
  caScriptStyle = 1 << 13,
  caUserData = 1 << 14,
  caUrl = 1 << 15,
};
using TQuillConsistentAttrs = uint16_t;

using platform::TFontPitch;
constexpr uint8_t DEFAULT_CHARSET = 1;
constexpr uint8_t ANSI_CHARSET = 0;

// A font as the editor describes it. Height < 0 is a character height in pixels
// (it wins over Size when set); Size is in points.
struct TQuillFont {
  std::string Name = "MS Sans Serif";
  int Size = 8;
  int Height = 0;
  TColor Color = clWindowText;
  TFontStyles Style = 0;
  uint8_t Charset = DEFAULT_CHARSET;
  TFontPitch Pitch = TFontPitch::fpDefault;
  bool operator==(const TQuillFont&) const = default;
};

// The editor font of a window font as the settings keep it (face, size in
// points, colour, bold, italic, underline, strike-out).
TQuillFont QuillFontOf(const platform::TFont& font);

class TQuillEditorAttributes;
class TQuillParagraph;
class TQuillEditorObject;

// What the attribute, paragraph and object classes need of the rich editor they
// belong to; the rich editor implements it.
class TQuillAttributesEditor {
 public:
  virtual ~TQuillAttributesEditor() = default;
  virtual void SetAttribute(TQuillEditorAttributes& attributes) = 0;
  virtual TQuillConsistentAttrs GetConsistentAttributes(const TQuillEditorAttributes& attributes) = 0;
  virtual TQuillFont EditorFont() const = 0;
  virtual TColor EditorColor() const = 0;
  // Pixel size of sub- and superscript characters for a font.
  virtual int SubscriptSize(const TQuillFont& font) const = 0;
  virtual void ParagraphChanged(TQuillParagraph& paragraph) = 0;
  virtual void ObjectChanged(TQuillEditorObject& object, bool heightChanged) = 0;
};

class TCustomQuillEditorAttributes : public TQuillObject {
 public:
  uint8_t Charset() const { return charset_; }
  TColor Color() const { return color_; }
  TColor BkColor() const { return bkColor_; }
  const std::string& Name() const { return name_; }
  TFontPitch Pitch() const { return pitch_; }
  int Size() const { return size_; }
  TFontStyles Style() const { return style_; }
  TQuillScriptStyle ScriptStyle() const { return scriptStyle_; }
  int UserData() const { return userData_; }
  const std::string& Url() const { return url_; }
  TQuillConsistentAttrs Changes() const { return changes_; }
  void SetChanges(TQuillConsistentAttrs changes) { changes_ = changes; }

  void SetCharset(uint8_t value);
  void SetColor(TColor value);
  void SetBkColor(TColor value);
  void SetName(const std::string& value);
  void SetPitch(TFontPitch value);
  void SetSize(int value);
  void SetStyle(TFontStyles value);
  void SetScriptStyle(TQuillScriptStyle value);
  void SetUserData(int value);
  void SetUrl(const std::string& value);

  virtual TQuillConsistentAttrs GetConsistentAttributes() { return 0; }
  virtual void Update() {}
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}

  void Assign(const TQuillFont& font);
  void Assign(const platform::TFont& font) { Assign(QuillFontOf(font)); }
  void Assign(const TCustomQuillEditorAttributes& source);

 protected:
  // Stores a changed value, marks its kind and applies it.
  template <class T>
  void Change(T& field, const T& value, TQuillConsistentAttrs kind);

  uint8_t charset_ = DEFAULT_CHARSET;
  TColor color_ = clWindowText;
  TColor bkColor_ = clNone;
  std::string name_;
  TFontPitch pitch_ = TFontPitch::fpDefault;
  int size_ = 0;
  TFontStyles style_ = 0;
  TQuillScriptStyle scriptStyle_ = TQuillScriptStyle::ssNormal;
  TQuillConsistentAttrs changes_ = 0;
  int userData_ = 0;
  std::string url_;
};

class TQuillEditorAttributes : public TCustomQuillEditorAttributes {
 public:
  explicit TQuillEditorAttributes(TQuillAttributesEditor* editor = nullptr);

  TQuillConsistentAttrs GetConsistentAttributes() override;
  void Update() override;
  void BeginUpdate() override { ++updateCount_; }
  void EndUpdate() override;

  void AssignEditorFont();
  void Clear();
  void SafeAssign(const TCustomQuillEditorAttributes& source);
  const TQuillFont& GetFont();
  const TQuillFont& GetScriptFont();
  void InvalidateConsistency() { consistentValid_ = false; }
  TQuillAttributesEditor* Editor() const { return editor_; }

 private:
  TQuillFont font_;
  TQuillFont scriptFont_;
  int updateCount_ = 0;
  TQuillAttributesEditor* editor_;
  TQuillConsistentAttrs consistent_ = 0;
  bool consistentValid_ = false;
};

class TCustomQuillParagraph : public TQuillObject {
 public:
  int LeftIndent() const { return leftIndent_; }
  int FirstIndent() const { return firstIndent_; }
  int RightIndent() const { return rightIndent_; }
  TQuillNumberingStyle Numbering() const { return numbering_; }
  TQuillAlignment Alignment() const { return alignment_; }
  bool PageBreak() const { return pageBreak_; }
  int Number() const { return number_; }

  void SetLeftIndent(int value);
  void SetFirstIndent(int value);
  void SetRightIndent(int value);
  void SetNumbering(TQuillNumberingStyle value);
  void SetAlignment(TQuillAlignment value);
  void SetPageBreak(bool value);
  void SetNumber(int value);
  std::string GetNumberString() const;

  virtual void UpdateParagraph() {}
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}
  void Assign(const TCustomQuillParagraph& source);

 protected:
  int leftIndent_ = 0;
  int firstIndent_ = 0;
  int rightIndent_ = 0;
  TQuillNumberingStyle numbering_ = TQuillNumberingStyle::nbsNone;
  TQuillAlignment alignment_ = TQuillAlignment::algLeft;
  bool pageBreak_ = false;
  int number_ = 1;
};

class TQuillParagraph : public TCustomQuillParagraph {
 public:
  explicit TQuillParagraph(TQuillAttributesEditor* editor = nullptr) : editor_(editor) {}
  void UpdateParagraph() override;
  void BeginUpdate() override { ++updateCount_; }
  void EndUpdate() override;
  int GetFirstIndent() const;
  void SafeAssign(const TCustomQuillParagraph& source);

 private:
  TQuillAttributesEditor* editor_;
  int updateCount_ = 0;
};

class TCustomQuillEditorObject : public TQuillObject {
 public:
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Stretch() const { return stretch_; }
  bool Transparent() const { return transparent_; }
  void SetWidth(int value);
  void SetHeight(int value);
  void SetStretch(bool value);
  void SetTransparent(bool value);
  virtual void Update(bool heightChanged) { (void)heightChanged; }
  virtual const QImage* GetImage() const { return nullptr; }

  int Number = 0;      // position in the rich document's object table
  intptr_t Data = 0;   // owner data of the rich document
  std::string ObjectName;

 protected:
  int width_ = 16;
  int height_ = 16;
  bool stretch_ = false;
  bool transparent_ = false;
};

class TQuillEditorObject : public TCustomQuillEditorObject {
 public:
  explicit TQuillEditorObject(TQuillAttributesEditor* editor = nullptr) : editor_(editor) {}
  void Update(bool heightChanged) override;
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  virtual void PaintRect(TCanvas& canvas, const TRect& rect, TPoint origin, bool selected, bool noFrame, TColor color,
                         TColor selColor);

 protected:
  TQuillAttributesEditor* editor_;
  int updateCount_ = 0;
};

enum class TQuillGraphicKind { gkBitmap, gkMetaFile, gkIcon };

// A picture file that is there but cannot be read as a picture.
class EInvalidGraphic : public platform::Exception {
 public:
  using Exception::Exception;
};

class TQuillGraphicObject : public TQuillEditorObject {
 public:
  explicit TQuillGraphicObject(TQuillAttributesEditor* editor = nullptr);
  TQuillGraphicObject(TQuillAttributesEditor* editor, TQuillGraphicKind graphicClass);

  const QImage* GetImage() const override { return &image_; }
  QImage& Image() { return image_; }
  virtual TQuillGraphicKind GetGraphicClass() const { return graphicClass_; }
  // False when the file is missing or Qt cannot read its format; the picture is
  // then empty.
  bool LoadFromFile(const platform::FileName& fileName);
  const QImage& GetTempBitmap();
  void PaintRect(TCanvas& canvas, const TRect& rect, TPoint origin, bool selected, bool noFrame, TColor color,
                 TColor selColor) override;

 protected:
  TQuillGraphicKind graphicClass_ = TQuillGraphicKind::gkBitmap;
  QImage image_;
  QImage tempBitmap_;
  qint64 tempKey_ = 0;
  bool tempTransparent_ = false;
};

class TQuillBitmapObject : public TQuillGraphicObject {
 public:
  explicit TQuillBitmapObject(TQuillAttributesEditor* editor = nullptr) : TQuillGraphicObject(editor, TQuillGraphicKind::gkBitmap) {}
  static bool IsValidExtention(const std::string& ext);
};

// Metafiles cannot be drawn here; the object keeps its place and size.
class TQuillMetaFileObject : public TQuillGraphicObject {
 public:
  explicit TQuillMetaFileObject(TQuillAttributesEditor* editor = nullptr)
      : TQuillGraphicObject(editor, TQuillGraphicKind::gkMetaFile) {}
  static bool IsValidExtention(const std::string& ext);
};

class TQuillIconObject : public TQuillGraphicObject {
 public:
  explicit TQuillIconObject(TQuillAttributesEditor* editor = nullptr) : TQuillGraphicObject(editor, TQuillGraphicKind::gkIcon) {}
  static bool IsValidExtention(const std::string& ext);
};

class TQuillEmptyGraphicObject : public TQuillGraphicObject {
 public:
  explicit TQuillEmptyGraphicObject(TQuillAttributesEditor* editor = nullptr)
      : TQuillGraphicObject(editor, TQuillGraphicKind::gkBitmap) {}
  void PaintRect(TCanvas& canvas, const TRect& rect, TPoint origin, bool selected, bool noFrame, TColor color,
                 TColor selColor) override;
};

// A registered picture format: its extensions and how to make an object of it.
struct TQuillGraphicFormat {
  std::string Name;
  bool (*IsValidExtention)(const std::string& ext);
  std::unique_ptr<TQuillGraphicObject> (*Create)(TQuillAttributesEditor* editor);
};

// Bitmap, metafile and icon, in this order.
std::vector<const TQuillGraphicFormat*>& RegisteredGraphicFormats();
// The last registered format that accepts the extension (".bmp", any case), or null.
const TQuillGraphicFormat* GetRegisteredGraphicFormat(const std::string& ext);

using platform::ToQColor;

}  // namespace quill
