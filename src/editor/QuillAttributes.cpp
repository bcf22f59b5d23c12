#include "editor/QuillAttributes.h"

#include "editor/QuillDrawing.h"
#include "editor/QuillFontManager.h"
#include "platform/FileNames.h"

#include <QColor>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <vector>

namespace quill {

TQuillFont QuillFontOf(const platform::TFont& font) {
  TQuillFont f;
  f.Name = font.Name;
  f.Size = font.Size;
  f.Color = font.Color;
  f.Style = static_cast<TFontStyles>((font.Bold ? fsBold : 0) | (font.Italic ? fsItalic : 0) |
                                     (font.Underline ? fsUnderline : 0) | (font.StrikeOut ? fsStrikeOut : 0));
  return f;
}

// ---------------------------------------------------------------- attributes

template <class T>
void TCustomQuillEditorAttributes::Change(T& field, const T& value, TQuillConsistentAttrs kind) {
  if (field == value && (GetConsistentAttributes() & kind)) return;
  field = value;
  changes_ |= kind;
  Update();
}

void TCustomQuillEditorAttributes::SetCharset(uint8_t value) { Change(charset_, value, caCharSet); }
void TCustomQuillEditorAttributes::SetColor(TColor value) { Change(color_, value, caColor); }
void TCustomQuillEditorAttributes::SetBkColor(TColor value) { Change(bkColor_, value, caBkColor); }
void TCustomQuillEditorAttributes::SetName(const std::string& value) { Change(name_, value, caFace); }
void TCustomQuillEditorAttributes::SetPitch(TFontPitch value) { Change(pitch_, value, caPitch); }
void TCustomQuillEditorAttributes::SetSize(int value) { Change(size_, value, caSize); }
void TCustomQuillEditorAttributes::SetUserData(int value) { Change(userData_, value, caUserData); }
void TCustomQuillEditorAttributes::SetUrl(const std::string& value) { Change(url_, value, caUrl); }

void TCustomQuillEditorAttributes::SetStyle(TFontStyles value) {
  if (style_ == value && (GetConsistentAttributes() & caStyle)) return;
  style_ = value;
  changes_ |= caStyle;
  if (value & fsBold) changes_ |= caBold;
  if (value & fsItalic) changes_ |= caItalic;
  if (value & fsUnderline) changes_ |= caUnderline;
  if (value & fsStrikeOut) changes_ |= caStrikeOut;
  Update();
}

void TCustomQuillEditorAttributes::SetScriptStyle(TQuillScriptStyle value) {
  if (scriptStyle_ == value && (GetConsistentAttributes() & caScriptStyle)) return;
  scriptStyle_ = value;
  changes_ = static_cast<TQuillConsistentAttrs>((changes_ | caScriptStyle) & ~(caSubScript | caSuperScript));
  if (value == TQuillScriptStyle::ssSubScript) changes_ |= caSubScript;
  if (value == TQuillScriptStyle::ssSuperScript) changes_ |= caSuperScript;
  Update();
}

void TCustomQuillEditorAttributes::Assign(const TQuillFont& font) {
  BeginUpdate();
  SetColor(font.Color);
  SetName(font.Name);
  SetCharset(font.Charset);
  SetStyle(font.Style);
  SetSize(font.Size);
  SetPitch(font.Pitch);
  SetScriptStyle(TQuillScriptStyle::ssNormal);
  EndUpdate();
}

void TCustomQuillEditorAttributes::Assign(const TCustomQuillEditorAttributes& source) {
  if (&source == this) return;
  BeginUpdate();
  SetColor(source.color_);
  SetBkColor(source.bkColor_);
  SetName(source.name_);
  SetCharset(source.charset_);
  SetSize(source.size_);
  SetStyle(source.style_);
  SetPitch(source.pitch_);
  SetScriptStyle(source.scriptStyle_);
  SetUserData(source.userData_);
  SetUrl(source.url_);
  EndUpdate();
}

TQuillEditorAttributes::TQuillEditorAttributes(TQuillAttributesEditor* editor) : editor_(editor) { AssignEditorFont(); }

TQuillConsistentAttrs TQuillEditorAttributes::GetConsistentAttributes() {
  if (!consistentValid_ && editor_ != nullptr) {
    consistent_ = editor_->GetConsistentAttributes(*this);
    consistentValid_ = true;
  }
  return consistent_;
}

void TQuillEditorAttributes::Update() {
  if (updateCount_ >= 1) return;
  if (editor_ != nullptr) editor_->SetAttribute(*this);
  changes_ = 0;
}

void TQuillEditorAttributes::EndUpdate() {
  --updateCount_;
  if (updateCount_ < 1) {
    updateCount_ = 0;
    Update();
  }
}

void TQuillEditorAttributes::AssignEditorFont() {
  ++updateCount_;
  if (editor_ != nullptr) {
    TCustomQuillEditorAttributes::Assign(editor_->EditorFont());
    SetBkColor(editor_->EditorColor());
  }
  SetScriptStyle(TQuillScriptStyle::ssNormal);
  SetUserData(0);
  SetUrl("");
  --updateCount_;
  changes_ = 0;
}

void TQuillEditorAttributes::Clear() {
  AssignEditorFont();
  consistentValid_ = false;
}

void TQuillEditorAttributes::SafeAssign(const TCustomQuillEditorAttributes& source) {
  ++updateCount_;
  TQuillConsistentAttrs saved = changes_;
  TCustomQuillEditorAttributes::Assign(source);
  changes_ = saved;
  --updateCount_;
}

const TQuillFont& TQuillEditorAttributes::GetFont() {
  font_.Charset = charset_;
  font_.Color = color_;
  font_.Name = name_;
  font_.Pitch = pitch_;
  font_.Size = size_;
  font_.Height = 0;
  font_.Style = style_;
  return font_;
}

const TQuillFont& TQuillEditorAttributes::GetScriptFont() {
  const TQuillFont& font = GetFont();
  scriptFont_ = font;
  const int sub = editor_ != nullptr ? editor_->SubscriptSize(font)
                                     : TQuillFontManager::GetFontInfo(CanvasFont(font)).SubscriptSize;
  scriptFont_.Height = -sub;
  return scriptFont_;
}

// ---------------------------------------------------------------- paragraphs

void TCustomQuillParagraph::SetLeftIndent(int value) {
  if (value == leftIndent_) return;
  leftIndent_ = value;
  UpdateParagraph();
}

void TCustomQuillParagraph::SetFirstIndent(int value) {
  if (value == firstIndent_) return;
  firstIndent_ = value;
  UpdateParagraph();
}

void TCustomQuillParagraph::SetRightIndent(int value) {
  if (value == rightIndent_) return;
  rightIndent_ = value;
  UpdateParagraph();
}

void TCustomQuillParagraph::SetNumbering(TQuillNumberingStyle value) {
  if (value == numbering_) return;
  numbering_ = value;
  if (value != TQuillNumberingStyle::nbsNone) {
    firstIndent_ = -24;
    leftIndent_ = 48;
    number_ = 1;
  }
  UpdateParagraph();
}

void TCustomQuillParagraph::SetAlignment(TQuillAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  UpdateParagraph();
}

void TCustomQuillParagraph::SetPageBreak(bool value) {
  if (value == pageBreak_) return;
  pageBreak_ = value;
  UpdateParagraph();
}

void TCustomQuillParagraph::SetNumber(int value) {
  if (value == number_) return;
  number_ = value;
  UpdateParagraph();
}

std::string TCustomQuillParagraph::GetNumberString() const {
  switch (numbering_) {
    case TQuillNumberingStyle::nbsBullet:
      return std::string(1, static_cast<char>(183));
    case TQuillNumberingStyle::nbsNumber:
      return std::to_string(number_) + ".";
    default:
      return "";
  }
}

void TCustomQuillParagraph::Assign(const TCustomQuillParagraph& source) {
  if (&source == this) return;
  BeginUpdate();
  SetNumbering(source.numbering_);
  SetLeftIndent(source.leftIndent_);
  SetFirstIndent(source.firstIndent_);
  SetRightIndent(source.rightIndent_);
  SetAlignment(source.alignment_);
  SetPageBreak(source.pageBreak_);
  SetNumber(source.number_);
  EndUpdate();
}

void TQuillParagraph::UpdateParagraph() {
  if (editor_ != nullptr && updateCount_ == 0) editor_->ParagraphChanged(*this);
}

void TQuillParagraph::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) UpdateParagraph();
}

int TQuillParagraph::GetFirstIndent() const {
  return firstIndent_ + (numbering_ != TQuillNumberingStyle::nbsNone ? 24 : 0);
}

void TQuillParagraph::SafeAssign(const TCustomQuillParagraph& source) {
  ++updateCount_;
  Assign(source);
  --updateCount_;
}

// ---------------------------------------------------------------- objects

void TCustomQuillEditorObject::SetWidth(int value) {
  if (value == width_) return;
  width_ = value;
  Update(false);
}

void TCustomQuillEditorObject::SetHeight(int value) {
  if (value == height_) return;
  height_ = value;
  Update(true);
}

void TCustomQuillEditorObject::SetStretch(bool value) {
  if (value == stretch_) return;
  stretch_ = value;
  Update(true);
}

void TCustomQuillEditorObject::SetTransparent(bool value) {
  if (value == transparent_) return;
  transparent_ = value;
  Update(true);
}

void TQuillEditorObject::Update(bool heightChanged) {
  if (editor_ != nullptr && updateCount_ == 0) editor_->ObjectChanged(*this, heightChanged);
}

void TQuillEditorObject::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) Update(false);
}

namespace {
void FillRect(TCanvas& canvas, const TRect& rect, TColor color) {
  const platform::TBrush saved = canvas.Brush();
  canvas.Brush() = {color, platform::TBrushStyle::bsSolid};
  canvas.FillRect(rect);
  canvas.Brush() = saved;
}
}  // namespace

void TQuillEditorObject::PaintRect(TCanvas& canvas, const TRect& rect, TPoint, bool selected, bool, TColor color,
                                   TColor selColor) {
  FillRect(canvas, rect, selected ? selColor : color);
}

TQuillGraphicObject::TQuillGraphicObject(TQuillAttributesEditor* editor) : TQuillEditorObject(editor) {}

TQuillGraphicObject::TQuillGraphicObject(TQuillAttributesEditor* editor, TQuillGraphicKind graphicClass)
    : TQuillEditorObject(editor), graphicClass_(graphicClass) {}

namespace {

// The same few pictures (emoticons) are loaded again and again: a picture
// read once is shared by every object that loads the file unchanged, so a
// long transcript holds each picture's pixels once.
// A transcript inserts one with every line, so the check costs one look at
// the disk and nothing more.
struct CachedPicture {
  std::filesystem::path Path;
  platform::TFileStamp Stamp;
  QImage Image;
};

bool LoadShared(const platform::FileName& file, QImage& image) {
  static std::vector<CachedPicture> cache;
  const std::optional<platform::TFileStamp> stamp = platform::FileStamp(file);
  if (!stamp) return false;
  for (const CachedPicture& c : cache)
    if (c.Path == file.Path() && c.Stamp == *stamp) {
      image = c.Image;
      return true;
    }
  if (!image.load(QString::fromStdString(file.Path().string()))) return false;
  std::erase_if(cache, [&](const CachedPicture& c) { return c.Path == file.Path(); });
  // Bounded: a program showing many different pictures only rereads them.
  if (cache.size() >= 64) cache.erase(cache.begin());
  cache.push_back({file.Path(), *stamp, image});
  return true;
}

}  // namespace

bool TQuillGraphicObject::LoadFromFile(const platform::FileName& fileName) {
  image_ = QImage();
  if (graphicClass_ == TQuillGraphicKind::gkMetaFile) return false;
  return LoadShared(fileName, image_);
}

// A chat shows the same few pictures on every message: the form the painter
// draws fastest is made once per picture and made again only when the
// picture (whose key changes with any change in place) or its transparency
// changed.
const QImage& TQuillGraphicObject::GetTempBitmap() {
  if (graphicClass_ == TQuillGraphicKind::gkBitmap && (transparent_ || !image_.hasAlphaChannel())) return image_;
  if (tempBitmap_.isNull() || tempKey_ != image_.cacheKey() || tempTransparent_ != transparent_) {
    tempBitmap_ = graphicClass_ == TQuillGraphicKind::gkBitmap
                      ? image_
                      : image_.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (!transparent_ && tempBitmap_.hasAlphaChannel()) tempBitmap_ = tempBitmap_.convertToFormat(QImage::Format_RGB32);
    tempKey_ = image_.cacheKey();
    tempTransparent_ = transparent_;
  }
  return tempBitmap_;
}

void TQuillGraphicObject::PaintRect(TCanvas& canvas, const TRect& rect, TPoint origin, bool selected, bool noFrame,
                                    TColor color, TColor selColor) {
  if (image_.isNull()) {
    FillRect(canvas, rect, selected ? selColor : color);
    return;
  }
  QImage picture = GetTempBitmap();
  if (selected) picture.invertPixels();
  int w = stretch_ ? width_ : picture.width();
  int h = stretch_ ? height_ : picture.height();
  if (graphicClass_ == TQuillGraphicKind::gkMetaFile) {
    ++w;
    ++h;
  }
  const TRect target{origin.X, origin.Y, origin.X + w, origin.Y + h};
  if (stretch_) canvas.StretchDraw(target, picture);
  else canvas.Draw(origin.X, origin.Y, picture);
  if (selected || !noFrame) {
    // The frame fills what the picture leaves of the object's rectangle.
    const TRect inner = platform::IntersectRect(target, rect);
    if (inner.IsEmpty()) FillRect(canvas, rect, selected ? selColor : color);
    else PaintBoundingRect(canvas, rect, inner, selected ? selColor : color);
  }
}

void TQuillEmptyGraphicObject::PaintRect(TCanvas& canvas, const TRect& rect, TPoint, bool selected, bool, TColor color,
                                         TColor selColor) {
  FillRect(canvas, rect, selected ? selColor : color);
}

namespace {
bool SameExt(const std::string& ext, const char* want) {
  std::string a = UpperCase(ext), b = UpperCase(want);
  return a == b;
}
}  // namespace

bool TQuillBitmapObject::IsValidExtention(const std::string& ext) { return SameExt(ext, ".bmp"); }
bool TQuillMetaFileObject::IsValidExtention(const std::string& ext) { return SameExt(ext, ".emf") || SameExt(ext, ".wmf"); }
bool TQuillIconObject::IsValidExtention(const std::string& ext) { return SameExt(ext, ".ico"); }

std::vector<const TQuillGraphicFormat*>& RegisteredGraphicFormats() {
  static const TQuillGraphicFormat bitmap{"TQuillBitmapObject", &TQuillBitmapObject::IsValidExtention,
                                          [](TQuillAttributesEditor* e) -> std::unique_ptr<TQuillGraphicObject> {
                                            return std::make_unique<TQuillBitmapObject>(e);
                                          }};
  static const TQuillGraphicFormat metafile{"TQuillMetaFileObject", &TQuillMetaFileObject::IsValidExtention,
                                            [](TQuillAttributesEditor* e) -> std::unique_ptr<TQuillGraphicObject> {
                                              return std::make_unique<TQuillMetaFileObject>(e);
                                            }};
  static const TQuillGraphicFormat icon{"TQuillIconObject", &TQuillIconObject::IsValidExtention,
                                        [](TQuillAttributesEditor* e) -> std::unique_ptr<TQuillGraphicObject> {
                                          return std::make_unique<TQuillIconObject>(e);
                                        }};
  static std::vector<const TQuillGraphicFormat*> formats{&bitmap, &metafile, &icon};
  return formats;
}

const TQuillGraphicFormat* GetRegisteredGraphicFormat(const std::string& ext) {
  const auto& formats = RegisteredGraphicFormats();
  for (auto it = formats.rbegin(); it != formats.rend(); ++it)
    if ((*it)->IsValidExtention(ext)) return *it;
  return nullptr;
}

}  // namespace quill
