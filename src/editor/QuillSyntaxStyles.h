#pragma once

// Display styles of the syntax parser's tokens, the four built-in colour schemes, and
// the editor parser that keeps one style per token followed by five colour styles that
// mirror the editor's own colours.

#include <memory>
#include <string>
#include <vector>

#include "editor/QuillSyntax.h"

namespace quill {

enum class TQuillColorMapping { cmDefault, cmClassic, cmOcean, cmTwilight };

// One look of a colour scheme.
struct TQuillStyleRecord {
  const char* Name;
  TColor FontColor;
  TColor Color;
  TFontStyles FontStyle;
  const char* Description;
};

constexpr int kSchemeRecordCount = 18;
// The scheme's 18 records.
const TQuillStyleRecord* SchemeRecords(TQuillColorMapping mapping);
// The scheme's own background: that of its "tnone" record.
TColor SchemeColor(TQuillColorMapping mapping);

// The five styles that are not token styles.
extern const char* const kColorStyleNames[5];

class TQuillParserStyles;

class TQuillParserStyle {
 public:
  explicit TQuillParserStyle(TQuillParserStyles* collection) : collection_(collection) {}

  TColor FontColor() const { return fontColor_; }
  TFontStyles FontStyle() const { return fontStyle_; }
  TColor Color() const { return color_; }
  const std::string& Name() const { return name_; }
  const std::string& Description() const { return description_; }
  void SetFontColor(TColor value);
  void SetFontStyle(TFontStyles value);
  void SetColor(TColor value);
  void SetName(const std::string& value) { name_ = value; }
  void SetDescription(const std::string& value) { description_ = value; }
  std::string DisplayName() const;
  // Takes the look, name and description of another style.
  void Assign(const TQuillParserStyle& other);

 private:
  TQuillParserStyles* collection_;
  TColor fontColor_ = clWindowText;
  TFontStyles fontStyle_ = 0;
  TColor color_ = clWindow;
  std::string name_;
  std::string description_;
};

class TQuillParserStyles {
 public:
  // An editor parser's collection starts with the five colour styles.
  explicit TQuillParserStyles(TCustomQuillParser* parser, bool withColorStyles = true);
  TQuillParserStyles(const TQuillParserStyles&) = delete;
  TQuillParserStyles& operator=(const TQuillParserStyles&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  TQuillParserStyle& Items(int index) { return *items_.at(static_cast<size_t>(index)); }
  const TQuillParserStyle& Items(int index) const { return *items_.at(static_cast<size_t>(index)); }
  TQuillParserStyle& Add();
  TQuillParserStyle& Insert(int index);
  void Delete(int index);
  void Clear();
  void Assign(const TQuillParserStyles& other);

  void AddStyle(const std::string& name, TQuillColorMapping mapping, bool atFront, bool onlyIfExisting,
                const TQuillParserStyles* oldStyles);
  void ClearExceptColors();
  int IndexOfName(const std::string& name) const;
  int IndexOfColor(const std::string& name) const;
  bool IsColorStyle(int index) const;
  void LoadStyles(const TQuillStyleRecord* records, int high);

  // Style changes inside an update (or while notifications are held) tell no one.
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  bool HoldNotifications = false;
  void StyleChanged();

 private:
  TCustomQuillParser* parser_;
  std::vector<std::unique_ptr<TQuillParserStyle>> items_;
  int updateCount_ = 0;
  bool changedInUpdate_ = false;
};

// Gives every style whose name is in the scheme the scheme's look.
void UpdateParserStyles(TQuillParserStyles& styles, TQuillColorMapping mapping);

class TQuillEditorParser : public TQuillSourceParser {
 public:
  explicit TQuillEditorParser(TQuillComponent* owner = nullptr);

  TQuillParserStyles& Styles() { return styles_; }
  void SetStyles(const TQuillParserStyles& styles);
  TQuillColorMapping ColorMapping() const { return colorMapping_; }
  void SetColorMapping(TQuillColorMapping mapping);
  bool UseGlobalSettings() const { return useGlobalSettings_; }
  // Turning it on applies the shared settings object that accepts this parser, if any.
  void SetUseGlobalSettings(bool value);

  void RulesChanged(TQuillObject* sender) override;
  void UpdateColors(TCustomQuillEditorColors* colors, bool toStyles) override;
  void GetFont(int index, TColor& color, TFontStyles& style) override;
  TColor GetColor(int index) override;
  TColor GetDefaultColor() override;
  int GetStyleCount() override;
  void ColorChanged(TColor color) override;
  virtual void UpdateStyles();

 private:
  TQuillParserStyles styles_;
  TQuillColorMapping colorMapping_ = TQuillColorMapping::cmDefault;
  bool useGlobalSettings_ = false;
  TColor backColor_;
  bool backColorSet_ = false;
};

}  // namespace quill
