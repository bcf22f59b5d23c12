#include "editor/QuillRichEditSource.h"

#include <algorithm>

namespace quill {

TCustomQuillRichEditSource::TCustomQuillRichEditSource(TQuillComponent* owner) : TCustomQuillEditSource(owner) {
  SetOptions(srAutoIndent | srBackUnindents | srAllowUndo | srGroupUndo | srMoveUpAtLineBegin | srLeaveTrailSpaces |
             srMoveDownAtLineEnd);
}

int TCustomQuillRichEditSource::AddObject(std::unique_ptr<TQuillEditorObject> object) {
  if (GetReadOnly()) return -1;
  const int number = objects_.Add(std::move(object));
  return number >= 0 ? InsertObjectCharacter(number) : -1;
}

int TCustomQuillRichEditSource::AddObjectReference(int number) {
  if (GetReadOnly() || objects_.GetItem(number) == nullptr) return -1;
  return InsertObjectCharacter(number);
}

int TCustomQuillRichEditSource::InsertObjectCharacter(int number) {
  TQuillSourceUpdate update(*this, oprInsertObject);
  InsertStringWithData(std::string(1, kObjectCharacter), TQuillData(1, static_cast<char16_t>(number)));
  const TPoint at = CurrentPosition();
  JumpTo(at.X + 1, at.Y);
  return number;
}

TQuillEditorObject* TCustomQuillRichEditSource::FindEmbeddedObject(int pos, int line) const {
  const TQuillStringItem* item = Strings().Item(line);
  if (item == nullptr || pos < 1 || pos > static_cast<int>(item->Text.size())) return nullptr;
  if (item->Text[static_cast<size_t>(pos - 1)] != kObjectCharacter) return nullptr;
  return objects_.GetItem(Strings().GetData(line, pos));
}

uint16_t TCustomQuillRichEditSource::GetRealData(const std::string& text, int pos, bool& found, int line) const {
  const int length = static_cast<int>(text.size());
  auto isObject = [&](int p) { return text[static_cast<size_t>(p - 1)] == kObjectCharacter; };
  int p = std::min(pos, length);
  while (p >= 1 && isObject(p)) --p;
  if (p < 1) {
    p = 1;
    while (p <= length && isObject(p)) ++p;
  }
  found = length > 0 && p <= length;
  return Strings().GetData(line, p);
}

uint16_t TCustomQuillRichEditSource::GetRealAttribute(const std::string& text, int pos, int line) const {
  bool found = false;
  const uint16_t word = GetRealData(text, pos, found, line);
  if (word == NoData && !found && Strings().Item(line) != nullptr) return LineAttribute(line);
  return word;
}

uint16_t TCustomQuillRichEditSource::LineAttribute(int line) const {
  const TQuillStringItem* item = Strings().Item(line);
  return item != nullptr ? static_cast<uint16_t>(item->LineAttrIndex) : NoData;
}

void TCustomQuillRichEditSource::SetLineAttribute(int line, uint16_t number) {
  if (TQuillStringItem* item = Strings().Item(line)) item->LineAttrIndex = static_cast<int16_t>(number);
}

uint16_t TCustomQuillRichEditSource::ParagraphNumber(int line) const {
  const TQuillStringItem* item = Strings().Item(line);
  return item != nullptr ? static_cast<uint16_t>(item->ParagraphIndex) : NoData;
}

void TCustomQuillRichEditSource::SetParagraph(int line, int number) {
  TQuillStringItem* item = Strings().Item(line);
  if (item == nullptr) return;
  TQuillSourceUpdate update(*this, oprUpdateParagraph);
  if (Options() & srAllowUndo) {
    TQuillUndoRecord r;
    r.Operation = oprUpdateParagraph;
    r.Value = static_cast<uint16_t>(item->ParagraphIndex);
    r.Point = {0, line};
    AddUndoRecord(std::move(r));
  }
  item->ParagraphIndex = static_cast<int16_t>(number);
  // Not an edit of the text: a selection over the lines stays.
  LinesUpdated(0, MaxInt, line, line, false);
  AddState(csParagraphChanged);
}

void TCustomQuillRichEditSource::ProcessUndo(TQuillUndoRecord& record) {
  TCustomQuillEditSource::ProcessUndo(record);
  if (record.Operation == oprUpdateParagraph) SetParagraph(record.Point.Y, record.Value);
}

void TCustomQuillRichEditSource::EndBlockUpdate() {
  if (BlockUpdateCount() <= 0) return;
  TCustomQuillEditSource::EndBlockUpdate();
  if (BlockUpdateCount() == 0) NotifyChanges(CurrentPosition().X, CurrentPosition().Y, oprUpdateLine);
}

void TCustomQuillRichEditSource::Clear() {
  fonts_.ClearList();
  paragraphs_.ClearList();
  objects_.ClearList();
  insertAttribute_ = NoData;
  TCustomQuillEditSource::Clear();
}

int TCustomQuillRichEditSource::TakeNumberingLine() {
  const int line = numberingLine_;
  numberingLine_ = -1;
  return line;
}

bool TCustomQuillRichEditSource::CanChangeText(TQuillOperation operation, int line) const {
  const int count = Strings().Count();
  switch (operation) {
    case oprInsert:
    case oprDelete: return line >= 0 && line < count;
    case oprJoin:
    case oprBreak: return line >= 0 && line < count - 1;
    default: return false;
  }
}

void TCustomQuillRichEditSource::ChangeTextLength(TQuillStringItem& item, int length, uint16_t fill, bool shrink) {
  const auto n = static_cast<size_t>(std::max(length, 0));
  if (item.Data.size() < n) item.Data.resize(n, static_cast<char16_t>(fill));
  else if (shrink && item.Data.size() > n) item.Data.resize(n);
}

namespace {

uint16_t LastWord(const TQuillStringItem& item) { return item.Data.empty() ? NoData : item.Data.back(); }

}  // namespace

void TCustomQuillRichEditSource::BeforeTextChanged(int x, int y, TQuillOperation operation, int count,
                                                   const TQuillData* data) {
  // With a parser the words are its styles, which it writes itself.
  if (Parser() != nullptr || !CanChangeText(operation, y)) return;
  TQuillStringItem& item = *Strings().Item(y);
  const int length = static_cast<int>(item.Text.size());
  x = std::max(x, 0);
  switch (operation) {
    case oprInsert: {
      if (count <= 0) return;
      textInsertAt_ = data == nullptr ? x : -1;
      textInsertCount_ = count;
      uint16_t attribute = insertAttribute_;
      if (attribute == NoData) attribute = GetRealAttribute(item.Text, std::max(x, 1), y);
      // Characters that never had a word of their own keep none; only a gap
      // up to the insertion takes its attribute.
      ChangeTextLength(item, length, NoData, false);
      ChangeTextLength(item, x, attribute, false);
      if (data != nullptr) {
        TQuillData words = data->substr(0, static_cast<size_t>(count));
        words.resize(static_cast<size_t>(count), static_cast<char16_t>(attribute));
        item.Data.insert(static_cast<size_t>(x), words);
      } else {
        item.Data.insert(static_cast<size_t>(x), static_cast<size_t>(count), static_cast<char16_t>(attribute));
      }
      break;
    }
    case oprDelete:
      if (count > 0 && static_cast<size_t>(x) < item.Data.size())
        item.Data.erase(static_cast<size_t>(x), count == MaxInt ? TQuillData::npos : static_cast<size_t>(count));
      break;
    case oprJoin: {
      TQuillStringItem& next = *Strings().Item(y + 1);
      ChangeTextLength(item, length, NoData, true);
      item.Data.append(static_cast<size_t>(std::max(count, 0)), static_cast<char16_t>(LastWord(item)));
      ChangeTextLength(next, static_cast<int>(next.Text.size()), NoData, true);
      item.Data += next.Data;
      break;
    }
    case oprBreak: {
      TQuillStringItem& next = *Strings().Item(y + 1);
      if (length > x) {
        ChangeTextLength(item, length, NoData, false);
        next.Data = item.Data.substr(static_cast<size_t>(x));
      }
      if (x == 0) SetLineAttribute(y, GetRealAttribute(item.Text, 1, y));
      if (x >= length) {
        // A paste breaks the line before it inserts its first piece, so the
        // piece's attribute is what will end up before the break.
        const uint16_t before = insertAttribute_ != NoData ? insertAttribute_ : GetRealAttribute(item.Text, length, y);
        SetLineAttribute(y + 1, before);
      }
      ChangeTextLength(item, std::min(x, length), NoData, true);
      break;
    }
    default: break;
  }
}

// The words as a delete of each part and a join of what is left would leave
// them: a part cut short is fitted to its text with its last word, a part
// left whole with no word.
void TCustomQuillRichEditSource::BeforeRangeDeleted(int left, int top, int right, int bottom) {
  if (Parser() != nullptr) return;
  TQuillStringItem& first = *Strings().Item(top);
  TQuillStringItem& last = *Strings().Item(bottom);
  const int firstLength = static_cast<int>(first.Text.size()), lastLength = static_cast<int>(last.Text.size());
  if (left < firstLength) {
    if (static_cast<size_t>(left) < first.Data.size()) first.Data.resize(static_cast<size_t>(left));
    ChangeTextLength(first, left, LastWord(first), true);
  } else {
    ChangeTextLength(first, firstLength, NoData, true);
  }
  if (right > 0 && lastLength > 0) {
    last.Data.erase(0, static_cast<size_t>(right));
    ChangeTextLength(last, lastLength - right, LastWord(last), true);
  } else {
    ChangeTextLength(last, lastLength, NoData, true);
  }
  first.Data += last.Data;
}

void TCustomQuillRichEditSource::AfterTextChanged(int, int y, TQuillOperation operation) {
  if (Parser() != nullptr) return;
  auto fit = [this](int line) {
    if (TQuillStringItem* item = Strings().Item(line))
      ChangeTextLength(*item, static_cast<int>(item->Text.size()), LastWord(*item), true);
  };
  switch (operation) {
    case oprInsert:
      fit(y);
      if (textInsertAt_ >= 0) {
        // Only AddObject makes pictures. An object character that comes in
        // as text (a peer's message, a paste, an RTF byte) names none, or
        // it would show, and save, some other picture of the table.
        TQuillStringItem& item = *Strings().Item(y);
        const size_t end = std::min(item.Text.size(), static_cast<size_t>(textInsertAt_ + textInsertCount_));
        for (size_t i = static_cast<size_t>(textInsertAt_); i < end; ++i)
          if (item.Text[i] == kObjectCharacter) item.Data[i] = static_cast<char16_t>(NoData);
        textInsertAt_ = -1;
      }
      break;
    case oprDelete: fit(y); break;
    case oprBreak:
    case oprJoin:
      fit(y);
      fit(y + 1);
      if (operation == oprBreak)
        if (TQuillStringItem* next = Strings().Item(y + 1)) next->ParagraphIndex = Strings().Item(y)->ParagraphIndex;
      numberingLine_ = numberingLine_ < 0 ? y : std::min(numberingLine_, y);
      break;
    default: break;
  }
}

}  // namespace quill
