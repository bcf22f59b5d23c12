#pragma once

// The rich edit control: the editor control over a rich document. Every
// character carries an attribute (face, size, style, colours, script style,
// user data, link address), every line a paragraph (indents, alignment,
// numbering), and pictures stand in the text as embedded objects. Lines are
// measured, wrapped and painted run by run (QuillRichPainter), load and save
// go through importers and exporters (RTF by default), and the clipboard
// carries RTF beside the plain text.
//
// The chat and message windows show their transcripts in it and append in
// one fixed road: SetSelStart(GetTextLen()); GetSelAttributes().Assign(a
// font); SetSelText(text); SetSelLength(0); and pictures with
// InsertImageFromFile (a picture shown again with InsertObjectReference,
// which takes no new entry of the object table). The attributes object
// GetSelAttributes returns is one shared object, reloaded on every read; a
// change made on it applies at once to the selection, or without one to the
// text inserted next.
//
// Files: QuillRichEdit.cpp (construction, attributes, paragraphs, pictures,
// notifications), QuillRichEditRuns.cpp (runs and rows), and
// QuillRichEditTransfer.cpp (formatted load and save, clipboard, drag,
// links).

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "editor/QuillEdit.h"
#include "editor/QuillRichEditSource.h"
#include "editor/QuillRichPainter.h"
#include "editor/QuillRtfReader.h"
#include "platform/Font.h"

namespace quill {

// What a formatted load reads through: whether a stream is in the
// importer's format, and an importer made with the editor's font.
struct TQuillImporterClass {
  std::function<bool(std::istream& stream)> IsValidStream;
  std::function<std::unique_ptr<TCustomQuillImporter>(const TQuillFont& font)> Create;
};
TQuillImporterClass RtfImporterClass();
TQuillExporterClass RtfExporterClass();

// The editor font of a window font as the settings keep it.
TQuillFont QuillFont(const platform::TFont& font);

using TObjectLoadEvent = std::function<void(TQuillObject* sender, TCustomQuillEditorObject& object)>;

class TCustomQuillRichEdit : public TCustomQuillEdit, public TQuillAttributesEditor, public TQuillRichView {
 public:
  explicit TCustomQuillRichEdit(QWidget* parent = nullptr);
  ~TCustomQuillRichEdit() override;

  static TQuillEditClasses RichClasses();
  TCustomQuillRichEditSource& RichEditSource();
  TQuillRichFontManager& GetFontManager() { return RichEditSource().FontManager(); }
  TQuillRichPainter& RichPainter() { return static_cast<TQuillRichPainter&>(Painter()); }

  // ---- character attributes ----
  // The shared attributes object, loaded from the first selected character,
  // or without a selection from the character before the caret.
  TQuillEditorAttributes& GetSelAttributes();
  void SetSelAttributes(const TCustomQuillEditorAttributes& value) { selAttributes_.Assign(value); }
  // Where GetSelAttributes loads from.
  TPoint SelAttributePoint();
  // Loads the attributes of the character at a text point (without notice).
  void GetAttribute(TPoint p, TQuillEditorAttributes& attributes);
  // The table number of the character at a text point; one without an
  // entry (NoData) loads as the editor font.
  uint16_t AttributeNumber(TPoint p);
  // Applies the changed kinds of Attributes to the selection, or makes them
  // the attribute of the text inserted next.
  void SetAttribute(TQuillEditorAttributes& attributes) override;
  // The table number of entry Number merged with the changed kinds of
  // Attributes; an equal entry is reused, a new one added.
  uint16_t GetAttributeIndex(uint16_t number, const TCustomQuillEditorAttributes& attributes);
  std::unique_ptr<TQuillEditorAttributes> GetStateAttribute(uint16_t number,
                                                            const TCustomQuillEditorAttributes& attributes);
  // Characters From .. To (1-based, To MaxInt: the line's end) of a line.
  void SetStringAttribute(int line, int from, int to, const TCustomQuillEditorAttributes& attributes);
  TQuillConsistentAttrs GetConsistentAttributes(const TQuillEditorAttributes& attributes) override;
  // The font of an attribute number as painting uses it: its measured font
  // (the smaller one for sub- and superscript), text colour, background
  // (-1: none) and script style.
  struct TRunStyle {
    const TQuillFontRecord* Font = nullptr;
    const TQuillFontRecord* ScriptFont = nullptr;
    TColor Color = clWindowText;
    TColor Background = clNone;
    TQuillScriptStyle Script = TQuillScriptStyle::ssNormal;
  };
  const TRunStyle& GetFontFromData(uint16_t number);

  // ---- pictures ----
  // The picture format registered for the file's extension, loaded from the
  // file when it is there; never raises. Null when the object table is full
  // or the text may not change.
  TQuillEditorObject* InsertImageFromFile(const std::string& fileName);
  TQuillEditorObject* InsertGraphic(const QImage& graphic, const std::string& name);
  TQuillEditorObject* InsertImage(const std::string& fileName, const QImage* graphic, int width, int height,
                                  bool forceStretch, const std::string& name);
  // The picture of entry Number of the object table shown once more, with
  // no new entry: the characters that show it share it. Null when Number
  // names no picture or the text may not change.
  TQuillEditorObject* InsertObjectReference(int number);

  // ---- paragraphs ----
  // The shared paragraph view, loaded from the caret line; changing it
  // applies to the selected lines (or the caret line).
  TQuillParagraph& GetParagraph() { return GetParagraphForLine(GetCurrentPosition().Y); }
  void SetParagraph(const TCustomQuillParagraph& value) { paragraph_.Assign(value); }
  TQuillParagraph& GetParagraphForLine(int line);
  void SetDefaultParagraph(const TCustomQuillParagraph& value) { defaultParagraph_.SafeAssign(value); }
  const TQuillParagraph* FindParagraph(int line) override;
  void SetParagraphForline(const TCustomQuillParagraph& paragraph, int line);
  // Numbers the numbered lines from Line on (Force: also when Line itself
  // is not numbered).
  void UpdateNumbering(int line, bool force);

  // ---- formatted load and save ----
  // Only plain text with the clipboard and LoadFromFmtStream; attributes,
  // paragraphs and pictures still show.
  bool PlainText() const { return plainText_; }
  void SetPlainText(bool value) { plainText_ = value; }
  void LoadFromFmtStream(std::istream& stream, bool selectionOnly, const TQuillImporterClass& importerClass);
  void LoadFromFmtFile(const platform::FileName& fileName, const TQuillImporterClass& importerClass);
  void LoadFromRtfStream(std::istream& stream, bool selectionOnly) {
    LoadFromFmtStream(stream, selectionOnly, RtfImporterClass());
  }
  void LoadFromRtfFile(const platform::FileName& fileName) { LoadFromFmtFile(fileName, RtfImporterClass()); }
  void SaveToRtfStream(std::ostream& stream, bool selectionOnly) {
    SaveToFmtStream(stream, selectionOnly, RtfExporterClass());
  }
  void SaveToRtfFile(const platform::FileName& fileName) { SaveToFmtFile(fileName, RtfExporterClass()); }
  void AssignContent(TCustomQuillEdit& other, bool selectionOnly) override;
  void AssignDefaultFont() override { AssignEditorFont("Times New Roman"); }
  void SaveFmtString(TCustomQuillExporter& exporter, const std::string& text, uint16_t style,
                     TCustomQuillEditorObject* object) override;
  void NewFmtLine(TCustomQuillExporter& exporter, int line, bool first, bool last) override;
  void SaveFmtObject(TCustomQuillExporter& exporter, uint16_t style) override;
  TObjectLoadEvent OnObjectLoad;
  TObjectLoadEvent OnObjectSave;
  virtual void DoSaveObject(TCustomQuillEditorObject& object);
  virtual void DoLoadObject(TCustomQuillEditorObject& object);

  // ---- clipboard, drag, links, keys ----
  void CopyBlock() override;
  void PasteBlock() override;
  bool MoveBlock(bool move) override;
  bool UrlAtPoint(TPoint pixel) override;
  void ProcessUrl(TPoint textPoint) override;
  // Whether a link ends at the point; with Mark a link found is underlined
  // in the link colour.
  bool CheckUrlAtPoint(TPoint p, bool mark);
  void KeyDown(int& key, TShiftState shift) override;
  void KeyPress(char& key) override;
  void DeleteStr(int command) override;
  bool AllowBlockSel() override { return false; }
  bool NeedSelection() override;
  void SliderChanged(TQuillRuler& ruler, TQuillRulerSlider& slider) override;

  // ---- what attributes, paragraphs and objects ask of the editor ----
  TQuillFont EditorFont() const override { return Font(); }
  TColor EditorColor() const override { return GetEditorColor(); }
  int SubscriptSize(const TQuillFont& font) const override;
  void ParagraphChanged(TQuillParagraph& paragraph) override;
  void ObjectChanged(TQuillEditorObject& object, bool heightChanged) override;

  // ---- what the painter asks of the editor ----
  TQuillLineInfo ParseString(int line, const std::string& s, int start, int end, bool splitBlanks, bool splitWords,
                             int maxWidth) override;
  TQuillEditorObject* FindObject(int number) override { return RichEditSource().ObjectsManager().GetItem(number); }
  const TQuillFontRecord& EditorFontRecord() override { return *GetFontFromData(NoData).Font; }
  bool CaretAtRowEnd() const override { return TCustomQuillEdit::CaretAtRowEnd(); }

 protected:
  void HandleEvents(TQuillObject* sender, intptr_t param) override;
  void SelectionChanged() override;
  void DoFontChanged() override;
  bool NeedStoreInfo() override { return true; }
  void BeforeWrapString(int line) override;
  void AddToWrapList(const std::string& s, int line, int start, int end) override;

 private:
  friend class TRichLoadScope;

  // runs and rows (QuillRichEditRuns.cpp)
  void GetInfosFromString(const std::string& s, int line, TQuillRichWrapRecord& row, int start, int end);
  void GetInfoFromEmptyString(int line, TQuillLineInfo& info);
  void AdjustInfoForParagraph(const TQuillParagraph& paragraph, const std::string& s, TQuillRichWrapRecord& row,
                              bool firstRow, bool lastRow);
  void CheckWordSpelling(int line, const std::string& s, TQuillRichWrapRecord& row);
  // The stored character of a shown column: they differ on a line whose
  // tabs show as blanks.
  int GetRelativeChar(int line, int column) const;
  // The data word of a shown column; Item is the line's record.
  uint16_t DataAt(const TQuillStringItem* item, int line, int column) const;

  // loading (QuillRichEditTransfer.cpp)
  void DoLoadText(const std::string& text, const TCustomQuillEditorAttributes* attributes,
                  const TCustomQuillParagraph* paragraph, TCustomQuillEditorObject* object);
  // Takes a text piece (or a tab) into the gathered run when it can go in
  // with the others as one insertion; false when it must go in on its own.
  bool GatherLoadedText(const std::string& text, const TCustomQuillEditorAttributes* attributes);
  void FlushLoadedText();
  // Text as it stands, at the caret, as one insertion.
  void InsertPlainText(const std::string& text);
  std::string SelectionAsRtf();

  void AssignParserStyles();
  void UpdateParagraphSliders();
  // Scrolls on until the caret's whole row shows: rows differ in height.
  void KeepCaretRowInView();
  TQuillEditorObject* AddPicture(std::unique_ptr<TQuillGraphicObject> object);

  TQuillEditorAttributes selAttributes_{this};
  TQuillParagraph paragraph_{this};
  TQuillParagraph defaultParagraph_{nullptr};
  bool plainText_ = false;
  bool loading_ = false;
  bool importing_ = false;
  bool numbering_ = false;
  bool markingUrl_ = false;
  int changing_ = 0;
  // Loaded text not yet in the document, with a data word per character: the
  // pieces of one line that follow each other go in as one insertion.
  std::string loadText_;
  TQuillData loadData_;
  // Run styles by attribute number, and of the editor font (NoData); made
  // on first use, dropped when the table or the editor font changes.
  std::vector<TRunStyle> runStyles_;
  TRunStyle editorStyle_;
  int stylesGeneration_ = -1;
  // The line being wrapped, when it holds tabs shown as blanks: the shown
  // column each stored character starts at (and the shown length last), so
  // that a run's columns find their data words without walking the line
  // from its start for each one.
  int tabLine_ = -1;
  std::vector<int> tabStarts_;
  TQuillCharSet spellDelimiters_;
};

class TQuillRichEdit : public TCustomQuillRichEdit {
 public:
  using TCustomQuillRichEdit::TCustomQuillRichEdit;
};

}  // namespace quill
