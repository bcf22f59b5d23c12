#include "editor/QuillSyntaxStyles.h"

#include <algorithm>

#include "editor/QuillSettings.h"

namespace quill {

namespace {

constexpr TColor kNoBackground = static_cast<TColor>(0x800000FFu);  // a colour value of its own
constexpr TFontStyles B = fsBold, I = fsItalic, U = fsUnderline;

const TQuillStyleRecord kDefault[kSchemeRecordCount] = {
    {"tnone", 0x000000, clWindow, 0, "None"},
    {"tstring", 0x000080, clWindow, 0, "String"},
    {"tcomment", 0x800000, clWindow, I, "Comment"},
    {"tident", 0x000000, clWindow, 0, "Ident"},
    {"tinteger", 0x000000, clWindow, 0, "Integer"},
    {"tfloat", 0x000000, clWindow, 0, "Float"},
    {"tresword", 0x000000, clWindow, B, "Resword"},
    {"tresword1", 0x808000, clWindow, B | I, "Resword 1"},
    {"tresword2", 0x000000, clWindow, B | I, "Resword 2"},
    {"tassembler", 0x008000, clWindow, 0, "Assembler"},
    {"turl", 0xFF0000, clWindow, U, "URL"},
    {"twhitespace", 0x000000, clWindow, 0, "White Space"},
    {"tdirective", 0x008000, clWindow, 0, "Directive"},
    {"Active Selection", clHighlightText, clHighlight, 0, "Active Selection"},
    {"Inactive Selection", clWindowText, clBtnFace, 0, "Inactive Selection"},
    {"Search Match", 0x00FF00, 0x000000, 0, "Search Match"},
    {"Disabled Color", clBtnFace, kNoBackground, 0, "Disabled Color"},
    {"ReadOnly Color", clBtnFace, kNoBackground, 0, "ReadOnly Color"},
};

const TQuillStyleRecord kClassic[kSchemeRecordCount] = {
    {"tnone", 0x00FFFF, 0x800000, 0, "None"},
    {"tstring", 0x00FFFF, 0x800000, 0, "String"},
    {"tcomment", 0xC0C0C0, 0x800000, 0, "Comment"},
    {"tident", 0x00FFFF, 0x800000, 0, "Ident"},
    {"tinteger", 0x00FFFF, 0x800000, 0, "Integer"},
    {"tfloat", 0x00FFFF, 0x800000, 0, "Float"},
    {"tresword", 0xFFFFFF, 0x800000, 0, "Resword"},
    {"tresword1", 0xFFFFFF, 0x800000, 0, "Resword 1"},
    {"tresword2", 0xFFFFFF, 0x800000, 0, "Resword 2"},
    {"tassembler", 0x00FF00, 0x800000, 0, "Assembler"},
    {"turl", 0x00FF00, 0x800000, U, "URL"},
    {"twhitespace", 0x000000, 0x800000, 0, "White Space"},
    {"tdirective", 0x00FFFF, 0x800000, 0, "Directive"},
    {"Active Selection", clHighlight, clBtnFace, 0, "Active Selection"},
    {"Inactive Selection", clWindowText, clBtnFace, 0, "Inactive Selection"},
    {"Search Match", 0x000000, 0xFFFF00, 0, "Search Match"},
    {"Disabled Color", clBtnFace, kNoBackground, 0, "Disabled Color"},
    {"ReadOnly Color", clBtnFace, kNoBackground, 0, "ReadOnly Color"},
};

const TQuillStyleRecord kOcean[kSchemeRecordCount] = {
    {"tnone", 0x000000, 0xFFFF00, 0, "None"},
    {"tstring", 0x800080, 0xFFFF00, 0, "String"},
    {"tcomment", 0x808000, 0xFFFF00, I, "Comment"},
    {"tident", 0xFF0000, 0xFFFF00, 0, "Ident"},
    {"tinteger", 0x008080, 0xFFFF00, 0, "Integer"},
    {"tfloat", 0x008080, 0xFFFF00, 0, "Float"},
    {"tresword", 0x000000, 0xFFFF00, B, "Resword"},
    {"tresword1", 0x808000, 0xFFFF00, B, "Resword 1"},
    {"tresword2", 0x000000, 0xFFFF00, B, "Resword 2"},
    {"tassembler", 0xFF0000, 0xFFFF00, 0, "Assembler"},
    {"turl", 0xFF0000, 0xFFFF00, U, "URL"},
    {"twhitespace", 0x000000, 0xFFFF00, 0, "White Space"},
    {"tdirective", clWindowText, 0xFFFF00, 0, "Directive"},
    {"Active Selection", 0xFFFF00, 0xFF0000, 0, "Active Selection"},
    {"Inactive Selection", clWindowText, clBtnFace, 0, "Inactive Selection"},
    {"Search Match", 0xFFFF00, 0x808080, 0, "Search Match"},
    {"Disabled Color", clBtnFace, kNoBackground, 0, "Disabled Color"},
    {"ReadOnly Color", clBtnFace, kNoBackground, 0, "ReadOnly Color"},
};

const TQuillStyleRecord kTwilight[kSchemeRecordCount] = {
    {"tnone", 0xFFFFFF, clWindowText, 0, "None"},
    {"tstring", 0x00FFFF, clWindowText, 0, "String"},
    {"tcomment", 0xC0C0C0, clWindowText, I, "Comment"},
    {"tident", 0xFFFFFF, clWindowText, 0, "Ident"},
    {"tinteger", 0xFF00FF, clWindowText, 0, "Integer"},
    {"tfloat", 0xFF00FF, clWindowText, 0, "Float"},
    {"tresword", 0xFFFF00, clWindowText, B, "Resword"},
    {"tresword1", 0xFFFF00, clWindowText, B, "Resword 1"},
    {"tresword2", 0xFFFF00, clWindowText, B, "Resword 2"},
    {"tassembler", 0x00FF00, clWindowText, 0, "Assembler"},
    {"turl", 0x808000, clWindowText, U, "URL"},
    {"twhitespace", 0xFFFFFF, clWindowText, 0, "White Space"},
    {"tdirective", 0x008000, clWindowText, 0, "Directive"},
    {"Active Selection", clWindowText, clWindow, 0, "Active Selection"},
    {"Inactive Selection", clWindowText, clBtnFace, 0, "Inactive Selection"},
    {"Search Match", 0xFF0000, 0x808000, 0, "Search Match"},
    {"Disabled Color", clBtnFace, kNoBackground, 0, "Disabled Color"},
    {"ReadOnly Color", clBtnFace, kNoBackground, 0, "ReadOnly Color"},
};


bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if ((x >= 'a' && x <= 'z' ? x - 32 : x) != (y >= 'a' && y <= 'z' ? y - 32 : y)) return false;
  }
  return true;
}

const TQuillStyleRecord* FindRecord(TQuillColorMapping mapping, const std::string& name) {
  const TQuillStyleRecord* records = SchemeRecords(mapping);
  for (int i = 0; i < kSchemeRecordCount; ++i)
    if (SameText(records[i].Name, name)) return &records[i];
  return nullptr;
}

void ApplyRecord(TQuillParserStyle& style, const TQuillStyleRecord& record) {
  style.SetFontColor(record.FontColor);
  style.SetColor(record.Color);
  style.SetFontStyle(record.FontStyle);
}

}  // namespace

const char* const kColorStyleNames[5] = {"Active Selection", "Inactive Selection", "Search Match",
                                         "Disabled Color", "ReadOnly Color"};

const TQuillStyleRecord* SchemeRecords(TQuillColorMapping mapping) {
  switch (mapping) {
    case TQuillColorMapping::cmClassic:
      return kClassic;
    case TQuillColorMapping::cmOcean:
      return kOcean;
    case TQuillColorMapping::cmTwilight:
      return kTwilight;
    case TQuillColorMapping::cmDefault:
      break;
  }
  return kDefault;
}

TColor SchemeColor(TQuillColorMapping mapping) { return SchemeRecords(mapping)[0].Color; }

// --- TQuillParserStyle ---

void TQuillParserStyle::SetFontColor(TColor value) {
  if (value == fontColor_) return;
  fontColor_ = value;
  if (collection_) collection_->StyleChanged();
}

void TQuillParserStyle::SetFontStyle(TFontStyles value) {
  if (value == fontStyle_) return;
  fontStyle_ = value;
  if (collection_) collection_->StyleChanged();
}

void TQuillParserStyle::SetColor(TColor value) {
  if (value == color_) return;
  color_ = value;
  if (collection_) collection_->StyleChanged();
}

std::string TQuillParserStyle::DisplayName() const { return name_.empty() ? "TQuillParserStyle" : name_; }

void TQuillParserStyle::Assign(const TQuillParserStyle& other) {
  SetFontColor(other.fontColor_);
  SetFontStyle(other.fontStyle_);
  SetColor(other.color_);
  name_ = other.name_;
  description_ = other.description_;
}

// --- TQuillParserStyles ---

TQuillParserStyles::TQuillParserStyles(TCustomQuillParser* parser, bool withColorStyles) : parser_(parser) {
  if (!withColorStyles) return;
  BeginUpdate();
  for (const char* name : kColorStyleNames) AddStyle(name, TQuillColorMapping::cmDefault, false, false, nullptr);
  changedInUpdate_ = false;
  EndUpdate();
}

TQuillParserStyle& TQuillParserStyles::Add() { return Insert(Count()); }

TQuillParserStyle& TQuillParserStyles::Insert(int index) {
  index = std::clamp(index, 0, Count());
  items_.insert(items_.begin() + index, std::make_unique<TQuillParserStyle>(this));
  return *items_[static_cast<size_t>(index)];
}

void TQuillParserStyles::Delete(int index) {
  if (index < 0 || index >= Count()) throw platform::EListError(FormatMsg(msg::SListIndexError, index));
  items_.erase(items_.begin() + index);
}

void TQuillParserStyles::Clear() { items_.clear(); }

void TQuillParserStyles::Assign(const TQuillParserStyles& other) {
  if (&other == this) return;
  BeginUpdate();
  items_.clear();
  for (const auto& style : other.items_) Add().Assign(*style);
  EndUpdate();
}

void TQuillParserStyles::EndUpdate() {
  if (updateCount_ > 0) --updateCount_;
  if (updateCount_ == 0 && changedInUpdate_) {
    changedInUpdate_ = false;
    if (parser_ && !HoldNotifications) parser_->Changed();
  }
}

void TQuillParserStyles::StyleChanged() {
  if (HoldNotifications) return;
  if (updateCount_ > 0) {
    changedInUpdate_ = true;
    return;
  }
  if (parser_) parser_->Changed();
}

void TQuillParserStyles::AddStyle(const std::string& name, TQuillColorMapping mapping, bool atFront,
                                  bool onlyIfExisting, const TQuillParserStyles* oldStyles) {
  int old = oldStyles ? oldStyles->IndexOfName(name) : -1;
  if (onlyIfExisting && old < 0) return;
  BeginUpdate();
  TQuillParserStyle& style = atFront ? Insert(0) : Add();
  style.SetName(name);
  if (const TQuillStyleRecord* record = FindRecord(mapping, name)) {
    ApplyRecord(style, *record);
    style.SetDescription(record->Description);
  }
  if (old >= 0) style.Assign(oldStyles->Items(old));
  EndUpdate();
}

void TQuillParserStyles::ClearExceptColors() {
  for (int i = Count() - 1; i >= 0; --i)
    if (!IsColorStyle(i)) items_.erase(items_.begin() + i);
}

int TQuillParserStyles::IndexOfName(const std::string& name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(Items(i).Name(), name)) return i;
  return -1;
}

int TQuillParserStyles::IndexOfColor(const std::string& name) const {
  bool isColorName = std::any_of(std::begin(kColorStyleNames), std::end(kColorStyleNames),
                                 [&](const char* n) { return SameText(n, name); });
  return isColorName ? IndexOfName(name) : -1;
}

bool TQuillParserStyles::IsColorStyle(int index) const {
  const std::string& name = Items(index).Name();
  return std::any_of(std::begin(kColorStyleNames), std::end(kColorStyleNames),
                     [&](const char* n) { return SameText(n, name); });
}

void TQuillParserStyles::LoadStyles(const TQuillStyleRecord* records, int high) {
  BeginUpdate();
  items_.clear();
  for (int i = 0; i <= high; ++i) {
    TQuillParserStyle& style = Add();
    style.SetName(records[i].Name);
    style.SetDescription(records[i].Description);
    ApplyRecord(style, records[i]);
  }
  EndUpdate();
}

void UpdateParserStyles(TQuillParserStyles& styles, TQuillColorMapping mapping) {
  styles.BeginUpdate();
  for (int i = 0; i < styles.Count(); ++i)
    if (const TQuillStyleRecord* record = FindRecord(mapping, styles.Items(i).Name())) ApplyRecord(styles.Items(i), *record);
  styles.EndUpdate();
}

// --- TQuillEditorParser ---

TQuillEditorParser::TQuillEditorParser(TQuillComponent* owner)
    : TQuillSourceParser(owner), styles_(this), backColor_(SchemeColor(TQuillColorMapping::cmDefault)) {}

void TQuillEditorParser::SetStyles(const TQuillParserStyles& styles) { styles_.Assign(styles); }

void TQuillEditorParser::RulesChanged(TQuillObject* sender) {
  TQuillSourceParser::RulesChanged(sender);
  TQuillParserStyles old(nullptr, false);
  old.Assign(styles_);
  styles_.BeginUpdate();
  styles_.ClearExceptColors();
  // Token styles first, in token order; a style the user had for a token of the same
  // name keeps its look.
  for (int token = TokenCount() - 1; token >= 0; --token)
    styles_.AddStyle(TokenName(token), colorMapping_, true, false, &old);
  styles_.HoldNotifications = true;
  styles_.EndUpdate();
  styles_.HoldNotifications = false;
  Changed();
}

void TQuillEditorParser::SetColorMapping(TQuillColorMapping mapping) {
  if (mapping == colorMapping_) return;
  colorMapping_ = mapping;
  backColor_ = SchemeColor(mapping);
  backColorSet_ = false;
  UpdateStyles();
}

void TQuillEditorParser::SetUseGlobalSettings(bool value) {
  if (value == useGlobalSettings_) return;
  useGlobalSettings_ = value;
  if (!value) return;
  if (TQuillSettings* settings = GlobalSettings(this)) settings->ApplySettings(this);
}

void TQuillEditorParser::UpdateStyles() { UpdateParserStyles(styles_, colorMapping_); }

void TQuillEditorParser::ColorChanged(TColor color) {
  backColor_ = color;
  backColorSet_ = true;
  for (int i = 0; i < styles_.Count(); ++i)
    if (!styles_.IsColorStyle(i)) styles_.Items(i).SetColor(color);
}

void TQuillEditorParser::UpdateColors(TCustomQuillEditorColors* colors, bool toStyles) {
  if (colors == nullptr) return;
  styles_.HoldNotifications = true;
  auto pair = [&](const char* name, TColor (TCustomQuillEditorColors::*font)() const,
                  void (TCustomQuillEditorColors::*setFont)(TColor), TColor (TCustomQuillEditorColors::*back)() const,
                  void (TCustomQuillEditorColors::*setBack)(TColor)) {
    int index = styles_.IndexOfColor(name);
    if (index < 0) return;
    TQuillParserStyle& style = styles_.Items(index);
    if (toStyles) {
      style.SetFontColor((colors->*font)());
      if (back) style.SetColor((colors->*back)());
    } else {
      (colors->*setFont)(style.FontColor());
      if (setBack) (colors->*setBack)(style.Color());
    }
  };
  using C = TCustomQuillEditorColors;
  pair("Active Selection", &C::SelColor, &C::SetSelColor, &C::SelBackColor, &C::SetSelBackColor);
  pair("Inactive Selection", &C::InActiveSelColor, &C::SetInActiveSelColor, &C::InActiveSelBackColor,
       &C::SetInActiveSelBackColor);
  pair("Search Match", &C::SearchMatchColor, &C::SetSearchMatchColor, &C::SearchMatchBackColor,
       &C::SetSearchMatchBackColor);
  pair("Disabled Color", &C::DisabledColor, &C::SetDisabledColor, nullptr, nullptr);
  pair("ReadOnly Color", &C::ReadOnlyColor, &C::SetReadOnlyColor, nullptr, nullptr);
  styles_.HoldNotifications = false;
}

void TQuillEditorParser::GetFont(int index, TColor& color, TFontStyles& style) {
  if (index >= 0 && index < styles_.Count()) {
    color = styles_.Items(index).FontColor();
    style = styles_.Items(index).FontStyle();
  } else {
    color = clNone;
    style = 0;
  }
}

TColor TQuillEditorParser::GetColor(int index) {
  return index >= 0 && index < styles_.Count() ? styles_.Items(index).Color() : clNone;
}

TColor TQuillEditorParser::GetDefaultColor() {
  if (styles_.Count() > 0 && !styles_.IsColorStyle(0)) return styles_.Items(0).Color();
  return backColorSet_ ? backColor_ : SchemeColor(colorMapping_);
}

int TQuillEditorParser::GetStyleCount() { return styles_.Count(); }

}  // namespace quill
