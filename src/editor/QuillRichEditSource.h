#pragma once

// The rich document: a document whose characters carry attributes (each
// data word a number in the attribute table), whose lines carry paragraphs,
// and in whose text pictures stand as the object character 1 (its data word
// the picture's number in the object table). Every text change keeps the
// data words in step with the characters, so an insertion takes the insert
// attribute (or its neighbour's), a deletion takes its words along, and a
// line break carries the words of the tail to the new line.

#include <memory>
#include <string>

#include "editor/QuillEditSource.h"
#include "editor/QuillRichTables.h"

namespace quill {

constexpr char kObjectCharacter = '\x01';

class TCustomQuillRichEditSource : public TCustomQuillEditSource {
 public:
  explicit TCustomQuillRichEditSource(TQuillComponent* owner = nullptr);

  TQuillRichFontManager& FontManager() { return fonts_; }
  const TQuillRichFontManager& FontManager() const { return fonts_; }
  TQuillParagraphManager& ParagraphManager() { return paragraphs_; }
  TQuillObjectsManager& ObjectsManager() { return objects_; }

  // The attribute number the next inserted text takes; NoData: the
  // attribute of the character before it.
  uint16_t InsertAttribute() const { return insertAttribute_; }
  void SetInsertAttribute(uint16_t value) { insertAttribute_ = value; }

  // Numbers the object and puts it at the position as one object character,
  // the position moving past it. Returns the number; -1 (the object dropped)
  // when the object table is full or the text may not change.
  int AddObject(std::unique_ptr<TQuillEditorObject> object);
  // Puts another object character for picture Number at the position, the
  // same way: a picture shown again takes no new entry. Returns Number; -1
  // when it names no picture or the text may not change.
  int AddObjectReference(int number);
  // The picture of character Pos (1-based) of Line; null when it is no
  // object character or its number names no object.
  TQuillEditorObject* FindEmbeddedObject(int pos, int line) const;
  // The data word of character Pos (1-based) of the line's Text, skipping
  // object characters (backwards, then forwards at the line's start); Found
  // tells whether an ordinary character was there.
  uint16_t GetRealData(const std::string& text, int pos, bool& found, int line) const;
  // The same, and for a line without ordinary characters its line attribute.
  uint16_t GetRealAttribute(const std::string& text, int pos, int line) const;
  // What an empty line (or a line of pictures) shows in; NoData: the editor font.
  uint16_t LineAttribute(int line) const;
  void SetLineAttribute(int line, uint16_t number);
  // The line's number in the paragraph table; NoData when it has none.
  uint16_t ParagraphNumber(int line) const;
  // Gives the line paragraph entry Number, as one undoable change.
  void SetParagraph(int line, int number);
  bool CanChangeText(TQuillOperation operation, int line) const;
  // Brings the data words to Length, new ones Fill; longer ones are cut
  // only with Shrink.
  static void ChangeTextLength(TQuillStringItem& item, int length, uint16_t fill, bool shrink);
  // The first line whose numbering a join or break may have changed since
  // the last call; -1 when none.
  int TakeNumberingLine();

  void ProcessUndo(TQuillUndoRecord& record) override;
  // When the outermost block update ends, views are also told of one
  // updated line (oprUpdateLine, at the position).
  void EndBlockUpdate() override;
  // Empties the three tables along with the text.
  void Clear() override;
  // Data words hold attributes: highlighting, spelling and link marks never
  // write them.
  bool AllowParsing() const override { return false; }

 protected:
  void BeforeTextChanged(int x, int y, TQuillOperation operation, int count, const TQuillData* data) override;
  void AfterTextChanged(int x, int y, TQuillOperation operation) override;
  void BeforeRangeDeleted(int left, int top, int right, int bottom) override;

 private:
  int InsertObjectCharacter(int number);

  TQuillRichFontManager fonts_;
  TQuillParagraphManager paragraphs_;
  TQuillObjectsManager objects_;
  uint16_t insertAttribute_ = NoData;
  int numberingLine_ = -1;
  // An insertion of text without words of its own, between the two hooks:
  // where it went and how long it is.
  int textInsertAt_ = -1;
  int textInsertCount_ = 0;
};

class TQuillRichEditSource : public TCustomQuillRichEditSource {
 public:
  using TCustomQuillRichEditSource::TCustomQuillRichEditSource;
};

}  // namespace quill
