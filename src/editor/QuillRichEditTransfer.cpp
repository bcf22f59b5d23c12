// Formatted load and save, the clipboard and drag with RTF, and links.

#include <algorithm>
#include <fstream>
#include <istream>
#include <iterator>
#include <optional>
#include <sstream>

#include "editor/QuillDocParser.h"
#include "editor/QuillRichEdit.h"
#include "editor/QuillRtfWriter.h"
#include "platform/Clipboard.h"
#include "platform/VirtualKeys.h"

namespace quill {

TQuillImporterClass RtfImporterClass() {
  TQuillImporterClass c;
  c.IsValidStream = [](std::istream& stream) { return TQuillRtfImporter::IsValidStream(stream); };
  c.Create = [](const TQuillFont& font) -> std::unique_ptr<TCustomQuillImporter> {
    return std::make_unique<TQuillRtfImporter>(&font);
  };
  return c;
}

TQuillExporterClass RtfExporterClass() {
  return [](std::ostream& stream, const TQuillFont& font) -> std::unique_ptr<TCustomQuillExporter> {
    return std::make_unique<TQuillRtfExporter>(stream, font);
  };
}

// ---------------------------------------------------------------------------
// Formatted load

// What a formatted load changes for its duration, put back however it ends.
class TRichLoadScope {
 public:
  TRichLoadScope(TCustomQuillRichEdit& edit, bool whole)
      : edit_(edit), doc_(edit.RichEditSource()), whole_(whole), options_(doc_.Options()) {
    edit_.importing_ = true;
    edit_.LockPaint(1);
    if (whole_) {
      edit_.loading_ = true;
      // A whole load is no step to undo: the history starts afresh after it.
      doc_.SetOptions(options_ & ~srAllowUndo);
    }
  }
  ~TRichLoadScope() {
    if (whole_) {
      doc_.SetOptions(options_);
      edit_.loading_ = false;
    }
    edit_.LockPaint(-1);
    edit_.importing_ = false;
  }
  TRichLoadScope(const TRichLoadScope&) = delete;
  TRichLoadScope& operator=(const TRichLoadScope&) = delete;

 private:
  TCustomQuillRichEdit& edit_;
  TCustomQuillRichEditSource& doc_;
  bool whole_;
  TQuillSourceOptions options_;
};

void TCustomQuillRichEdit::LoadFromFmtStream(std::istream& stream, bool selectionOnly,
                                             const TQuillImporterClass& importerClass) {
  TCustomQuillRichEditSource& doc = RichEditSource();
  // A whole load replaces the text from outside and goes in whatever the
  // document allows; pasted or dropped data is an edit like typing, which a
  // read-only text refuses.
  if (selectionOnly && ReadOnly()) return;
  std::optional<TQuillWholeLoad> whole;
  if (!selectionOnly) whole.emplace(doc);
  if (plainText_ || !importerClass.IsValidStream(stream)) {
    if (!selectionOnly) {
      doc.LoadFromStream(stream);
      return;
    }
    // Pasted or dropped data that is not in the format goes in as text at
    // the caret; it never replaces the document.
    std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    text.resize(std::min(text.size(), text.find('\0')));
    InsertPlainText(text);
    return;
  }
  {
    TQuillSourceUpdate update(doc, oprOther, true);
    TRichLoadScope scope(*this, !selectionOnly);
    if (!selectionOnly) {
      WrapList().ClearList();
      doc.Clear();
      doc.JumpTo(0, 0);
    }
    std::unique_ptr<TCustomQuillImporter> importer = importerClass.Create(Font());
    importer->FileName = doc.FileName();
    if (!selectionOnly) importer->OnProgress = OnFileLoad;
    importer->OnParseText = [this](TQuillObject*, const std::string& text, const TCustomQuillEditorAttributes* attributes,
                                   const TCustomQuillParagraph* paragraph, TCustomQuillEditorObject* object) {
      DoLoadText(text, attributes, paragraph, object);
    };
    try {
      importer->ParseStream(stream);
    } catch (...) {
      loadText_.clear();
      loadData_.clear();
      throw;
    }
    FlushLoadedText();
    if (!selectionOnly) doc.JumpTo(0, 0);
  }
  if (!selectionOnly) {
    ClearUndo();
    SetModified(false);
  }
}

void TCustomQuillRichEdit::LoadFromFmtFile(const platform::FileName& fileName, const TQuillImporterClass& importerClass) {
  std::ifstream in(fileName.Path(), std::ios::binary);
  if (!in) throw platform::EStreamError("Cannot open file \"" + fileName.Display() + "\"");
  GetEditSource().SetFileName(fileName.Display());
  LoadFromFmtStream(in, false, importerClass);
}

bool TCustomQuillRichEdit::GatherLoadedText(const std::string& text, const TCustomQuillEditorAttributes* attributes) {
  TCustomQuillRichEditSource& doc = RichEditSource();
  // With tab characters in lines, positions are columns and no longer count
  // characters; smart tabs look at other lines.
  if (doc.Options() & (srUseTab | srSmartTab)) return false;
  const TPoint at = doc.CurrentPosition();
  if (loadText_.empty()) {
    // A run starts with text, at or before the line's end (beyond it, an
    // insertion brings blanks of its own).
    const TQuillStringItem* line = doc.Strings().Item(at.Y);
    if (text == "\t" || attributes == nullptr || line == nullptr || at.X > static_cast<int>(line->Text.size()))
      return false;
  }
  if (text == "\t") {
    // Blanks to the next tab stop, in the attribute of the character before.
    const auto last = std::find_if(loadText_.rbegin(), loadText_.rend(), [](char c) { return c != kObjectCharacter; });
    if (last == loadText_.rend()) return false;
    const uint16_t word = loadData_[static_cast<size_t>(loadText_.rend() - last - 1)];
    const int x = at.X + static_cast<int>(loadText_.size());
    const int target = doc.TabStops().Get(x);
    ForgetKeptColumn();
    if (target > x) {
      loadText_.append(static_cast<size_t>(target - x), ' ');
      loadData_.append(static_cast<size_t>(target - x), static_cast<char16_t>(word));
    }
    return true;
  }
  if (attributes == nullptr || text.find('\r') != std::string::npos || text.find('\n') != std::string::npos)
    return false;
  const uint16_t number = GetAttributeIndex(NoData, *attributes);
  const size_t from = loadText_.size();
  loadText_ += text;
  loadData_.append(text.size(), static_cast<char16_t>(number));
  // Only AddObject makes pictures: an object character that comes as text names none.
  for (size_t i = loadText_.find(kObjectCharacter, from); i != std::string::npos;
       i = loadText_.find(kObjectCharacter, i + 1))
    loadData_[i] = static_cast<char16_t>(NoData);
  return true;
}

void TCustomQuillRichEdit::FlushLoadedText() {
  if (loadText_.empty()) return;
  TCustomQuillRichEditSource& doc = RichEditSource();
  const TPoint at = doc.CurrentPosition();
  const int length = static_cast<int>(loadText_.size());
  try {
    doc.InsertStringWithData(loadText_, loadData_);
  } catch (...) {
    loadText_.clear();
    loadData_.clear();
    throw;
  }
  loadText_.clear();
  loadData_.clear();
  doc.SetInsertAttribute(NoData);
  doc.JumpTo(at.X + length, at.Y);
}

void TCustomQuillRichEdit::DoLoadText(const std::string& text, const TCustomQuillEditorAttributes* attributes,
                                      const TCustomQuillParagraph* paragraph, TCustomQuillEditorObject* object) {
  TCustomQuillRichEditSource& doc = RichEditSource();
  if (object == nullptr && paragraph == nullptr && !text.empty() && GatherLoadedText(text, attributes)) return;
  FlushLoadedText();
  if (object != nullptr) {
    DoLoadObject(*object);
    // The importer's object lives only for the call: the document keeps a copy.
    std::unique_ptr<TQuillGraphicObject> copy;
    if (const auto* meta = dynamic_cast<const TQuillRtfMetaFileObject*>(object)) {
      auto m = std::make_unique<TQuillRtfMetaFileObject>(this);
      m->Enhanced = meta->Enhanced;
      m->Bytes = meta->Bytes;
      copy = std::move(m);
    } else if (object->GetImage() != nullptr && !object->GetImage()->isNull()) {
      auto b = std::make_unique<TQuillBitmapObject>(this);
      b->Image() = *object->GetImage();
      copy = std::move(b);
    } else if (!object->ObjectName.empty()) {
      InsertImage(object->ObjectName, nullptr, object->Width(), object->Height(), object->Stretch(), object->ObjectName);
    }
    if (copy) {
      copy->BeginUpdate();
      copy->SetWidth(object->Width());
      copy->SetHeight(object->Height());
      copy->SetStretch(object->Stretch());
      copy->ObjectName = object->ObjectName;
      copy->EndUpdate();
      AddPicture(std::move(copy));
    }
  } else if (text == "\r\n") {
    doc.BreakString();
    doc.JumpTo(0, doc.CurrentPosition().Y + 1);
    SetSelection({}, TQuillSelType::slNone);
  } else if (text == "\t") {
    InsertTab();
  } else if (!text.empty()) {
    const uint16_t number = attributes != nullptr ? GetAttributeIndex(NoData, *attributes) : NoData;
    // Line ends given as character codes break the line: a line never holds
    // one, or saved lines and positions would no longer match the text.
    for (size_t from = 0;;) {
      const size_t end = std::min(text.find_first_of("\r\n", from), text.size());
      if (end > from) {
        const TPoint at = doc.CurrentPosition();
        doc.SetInsertAttribute(number);
        doc.InsertString(text.substr(from, end - from));
        doc.SetInsertAttribute(NoData);
        doc.JumpTo(at.X + static_cast<int>(end - from), at.Y);
      }
      if (end == text.size()) break;
      doc.BreakString();
      doc.JumpTo(0, doc.CurrentPosition().Y + 1);
      from = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
  }
  if (paragraph != nullptr) {
    doc.CheckLastLine();
    const int line = doc.CurrentPosition().Y;
    SetParagraphForline(*paragraph, line);
    if (paragraph->Numbering() == TQuillNumberingStyle::nbsNumber) UpdateNumbering(line, true);
  }
}

void TCustomQuillRichEdit::InsertPlainText(const std::string& text) {
  if (text.empty()) return;
  TQuillStrings lines;
  lines.SetText(text);
  if (text.back() == '\n' || text.back() == '\r') lines.Add("");
  std::vector<std::string> strings;
  for (int i = 0; i < lines.Count(); ++i) strings.push_back(lines.GetStr(i));
  TCustomQuillRichEditSource& doc = RichEditSource();
  TQuillSourceUpdate update(doc, oprInsertBlock, true);
  PasteStrings(strings, TQuillSelType::slStream);
}

// ---------------------------------------------------------------------------
// Formatted save

void TCustomQuillRichEdit::SaveFmtString(TCustomQuillExporter& exporter, const std::string& text, uint16_t style,
                                         TCustomQuillEditorObject* object) {
  if (object != nullptr) {
    DoSaveObject(*object);
    exporter.WriteString(text, nullptr, object);
    return;
  }
  if (text.empty()) return;
  const TQuillEditorAttributes* entry = GetFontManager().GetItem(style);
  if (entry == nullptr || entry->BkColor() == clNone || entry->BkColor() != GetEditorColor()) {
    exporter.WriteString(text, entry, nullptr);
    return;
  }
  // Text on the editor's own background has no background of its own: the
  // attributes of typed and appended text start from the editor's font and
  // colour, and would otherwise put every run on a highlight.
  TQuillEditorAttributes plain;
  plain.Assign(*entry);
  plain.SetBkColor(clNone);
  exporter.WriteString(text, &plain, nullptr);
}

void TCustomQuillRichEdit::NewFmtLine(TCustomQuillExporter& exporter, int line, bool first, bool) {
  // The first line's paragraph is written too, or a whole save would lose
  // its alignment, indents and numbering.
  const TQuillParagraph* paragraph = FindParagraph(line);
  exporter.NewLine(paragraph != nullptr ? paragraph : &defaultParagraph_, !first);
}

void TCustomQuillRichEdit::SaveFmtObject(TCustomQuillExporter& exporter, uint16_t style) {
  if (TQuillEditorObject* object = FindObject(style)) SaveFmtString(exporter, "", style, object);
}

void TCustomQuillRichEdit::DoSaveObject(TCustomQuillEditorObject& object) {
  if (OnObjectSave) OnObjectSave(this, object);
}

void TCustomQuillRichEdit::DoLoadObject(TCustomQuillEditorObject& object) {
  if (OnObjectLoad) OnObjectLoad(this, object);
}

std::string TCustomQuillRichEdit::SelectionAsRtf() {
  std::ostringstream out;
  SaveToRtfStream(out, true);
  return out.str();
}

void TCustomQuillRichEdit::AssignContent(TCustomQuillEdit& other, bool selectionOnly) {
  auto* rich = dynamic_cast<TCustomQuillRichEdit*>(&other);
  if (rich == nullptr || plainText_) {
    TCustomQuillEdit::AssignContent(other, selectionOnly);
    return;
  }
  std::ostringstream out;
  rich->SaveToRtfStream(out, selectionOnly);
  std::istringstream in(out.str());
  LoadFromFmtStream(in, false, RtfImporterClass());
}

// ---------------------------------------------------------------------------
// Clipboard and drag

void TCustomQuillRichEdit::CopyBlock() {
  TCustomQuillEdit::CopyBlock();
  if (SelType() == TQuillSelType::slNone) return;
  // Pictures have no place in plain text: other programs would get control
  // characters where they stood.
  std::string text = GetSelText();
  if (text.find(kObjectCharacter) != std::string::npos) {
    text.erase(std::remove(text.begin(), text.end(), kObjectCharacter), text.end());
    platform::SetClipboardText(text);
  }
  if (plainText_) return;
  // Other programs read the format up to a zero byte.
  std::string rtf = SelectionAsRtf();
  rtf.push_back('\0');
  WriteToClipboard(platform::kRichTextFormat, rtf);
}

void TCustomQuillRichEdit::PasteBlock() {
  std::string rtf;
  if (ReadOnly() || plainText_ || !platform::ClipboardHasFormat(platform::kRichTextFormat) ||
      ReadFromClipboard(platform::kRichTextFormat, rtf) == 0) {
    TCustomQuillEdit::PasteBlock();
    return;
  }
  rtf.resize(std::min(rtf.size(), rtf.find('\0')));
  TQuillSourceUpdate update(RichEditSource(), oprInsertBlock, true);
  if (NeedDeleteBlock()) DeleteBlock();
  std::istringstream in(rtf);
  LoadFromFmtStream(in, true, RtfImporterClass());
  if (!(Options() & eoPersistentBlocks)) SetSelection({}, TQuillSelType::slNone);
}

bool TCustomQuillRichEdit::MoveBlock(bool move) {
  if (plainText_ || SelType() == TQuillSelType::slNone) return TCustomQuillEdit::MoveBlock(move);
  const std::string rtf = SelectionAsRtf();
  return DropSelection(move, [&] {
    TCustomQuillRichEditSource& doc = RichEditSource();
    const TPoint from = doc.CurrentPosition();
    std::istringstream in(rtf);
    LoadFromFmtStream(in, true, RtfImporterClass());
    const TPoint to = doc.CurrentPosition();
    SetSelection({from.X, from.Y, to.X, to.Y}, TQuillSelType::slStream);
  });
}

// ---------------------------------------------------------------------------
// Links

bool TCustomQuillRichEdit::UrlAtPoint(TPoint pixel) {
  // The link test looks at the character before a position: the one after
  // the character under the mouse.
  const TPoint p = PixelToTextPoint(pixel, false);
  if (p.X >= LineWidth(p.Y)) return false;
  return CheckUrlAtPoint({p.X + 1, p.Y}, false);
}

void TCustomQuillRichEdit::ProcessUrl(TPoint textPoint) {
  TQuillEditorAttributes attributes;
  GetAttribute(textPoint, attributes);
  if (!attributes.Url().empty()) JumpToUrl(attributes.Url());
  else TCustomQuillEdit::ProcessUrl(textPoint);
}

bool TCustomQuillRichEdit::CheckUrlAtPoint(TPoint p, bool mark) {
  const std::string s = GetLines().Get(p.Y);
  if (p.Y >= LineCount() || p.X > static_cast<int>(s.size()) || p.X < 1) return false;
  TQuillEditorAttributes loaded;
  GetAttribute({p.X - 1, p.Y}, loaded);
  if (!loaded.Url().empty()) return true;
  // Addresses hold characters that end ordinary words: for this search only
  // the characters that cannot be in an address end a word.
  TCustomQuillRichEditSource& doc = RichEditSource();
  const TQuillCharSet saved = doc.Delimiters();
  TQuillCharSet delimiters = ~(ValueSet() | UrlSet());
  delimiters.Exclude(static_cast<unsigned char>(0));
  doc.SetDelimiters(delimiters);
  int start = 0, end = 0;
  GetWord(doc, {p.X - 1, p.Y}, start, end, TQuillWordSelType::wsWord);
  doc.SetDelimiters(saved);
  if (start < 1 || end < start) return false;
  const std::string word = s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(end - start + 1));
  if (!IsHyperString(word)) return false;
  if (!mark) return true;
  if (GetFontManager().GetCount() == 0) GetAttributeIndex(NoData, GetSelAttributes());
  const TRect savedSel = SelRect();
  const TQuillSelType savedType = SelType();
  markingUrl_ = true;
  LockSelection(1);
  auto restore = [&] {
    SetSelection(savedSel, savedType);
    LockSelection(-1);
    markingUrl_ = false;
  };
  try {
    SetSelection({start - 1, p.Y, end, p.Y}, TQuillSelType::slStream);
    TQuillEditorAttributes& attributes = GetSelAttributes();
    attributes.BeginUpdate();
    attributes.SetStyle(fsUnderline);
    attributes.SetColor(Colors().HyperStringColor());
    attributes.EndUpdate();
  } catch (...) {
    restore();
    throw;
  }
  restore();
  return true;
}

void TCustomQuillRichEdit::KeyDown(int& key, TShiftState shift) {
  const TPoint before = GetCurrentPosition();
  const bool enter = key == platform::vkReturn && !(shift & ssCtrl);
  TCustomQuillEdit::KeyDown(key, shift);
  if (enter && !ReadOnly() && (SourceOptions() & srHighlightUrls)) CheckUrlAtPoint(before, true);
}

void TCustomQuillRichEdit::KeyPress(char& key) {
  const TPoint before = GetCurrentPosition();
  const bool blank = key == ' ';
  TCustomQuillEdit::KeyPress(key);
  if (blank && !ReadOnly() && (SourceOptions() & srHighlightUrls)) CheckUrlAtPoint(before, true);
}

}  // namespace quill
