#include "editor/QuillRichEdit.h"

#include <algorithm>
#include <filesystem>

#include "editor/QuillDrawing.h"
#include "editor/QuillSyntax.h"
#include "platform/FileNames.h"

namespace quill {

namespace {

// Raises a counter for the life of a scope, however it ends.
class CounterScope {
 public:
  explicit CounterScope(int& counter) : counter_(counter) { ++counter_; }
  ~CounterScope() { --counter_; }
  CounterScope(const CounterScope&) = delete;
  CounterScope& operator=(const CounterScope&) = delete;

 private:
  int& counter_;
};

class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag), saved_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = saved_; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
  bool saved_;
};

}  // namespace

TQuillEditClasses TCustomQuillRichEdit::RichClasses() {
  TQuillEditClasses c;
  c.EditSourceClassName = "TCustomQuillRichEditSource";
  c.NewEditSource = [] { return std::make_unique<TCustomQuillRichEditSource>(); };
  c.IsEditSource = [](const TCustomQuillEditSource& source) {
    return dynamic_cast<const TCustomQuillRichEditSource*>(&source) != nullptr;
  };
  c.NewWrapList = [] { return std::make_unique<TQuillWrapInfoList>(); };
  c.NewPainter = [](TQuillEditorView* view) -> std::unique_ptr<TCustomQuillPainter> {
    return TCustomQuillPainter::Create<TQuillRichPainter>(view);
  };
  return c;
}

TCustomQuillRichEdit::TCustomQuillRichEdit(QWidget* parent) : TCustomQuillEdit(parent, RichClasses()) {
  SetOptions(eoOverwriteBlocks | eoEnableDragging | eoEnableSearchHighlight | eoEnableSelection | eoWordSelection |
             eoForceCutCopy | eoLineStyleBeyondEol | eoInvertLineStyle | eoThumbTracking | eoKeepColumn |
             eoFindTextAtCursor);
  // The control's constructor chose its own font: this class was not made yet.
  AssignDefaultFont();
}

TCustomQuillRichEdit::~TCustomQuillRichEdit() {
  // The control's own teardown may still measure: the painter must not
  // reach into the parts of this class that are gone by then.
  RichPainter().Detach();
}

TCustomQuillRichEditSource& TCustomQuillRichEdit::RichEditSource() {
  return static_cast<TCustomQuillRichEditSource&>(GetEditSource());
}

void TCustomQuillRichEdit::DoFontChanged() {
  // Text without attributes shows in the editor font: its measures go first.
  editorStyle_ = TRunStyle();
  TCustomQuillEdit::DoFontChanged();
}

int TCustomQuillRichEdit::SubscriptSize(const TQuillFont& font) const {
  return TQuillFontManager::GetFont(CanvasFont(font)).Info.SubscriptSize;
}

bool TCustomQuillRichEdit::NeedSelection() { return TCustomQuillEdit::NeedSelection() || importing_; }

// ---------------------------------------------------------------------------
// Character attributes

TPoint TCustomQuillRichEdit::SelAttributePoint() {
  if (SelType() != TQuillSelType::slNone) return {SelRect().Left, SelRect().Top};
  const TPoint caret = GetCurrentPosition();
  return {std::max(caret.X - 1, 0), caret.Y};
}

TQuillEditorAttributes& TCustomQuillRichEdit::GetSelAttributes() {
  GetAttribute(SelAttributePoint(), selAttributes_);
  // What the selection has in common is measured against what was loaded.
  selAttributes_.InvalidateConsistency();
  return selAttributes_;
}

uint16_t TCustomQuillRichEdit::AttributeNumber(TPoint p) {
  TCustomQuillRichEditSource& doc = RichEditSource();
  const std::string& text = doc.Strings().StoredText(p.Y);
  const int index = GetRealChar(p.Y, std::max(p.X, 0));
  return doc.GetRealAttribute(text, index + 1, p.Y);
}

void TCustomQuillRichEdit::GetAttribute(TPoint p, TQuillEditorAttributes& attributes) {
  const uint16_t number = AttributeNumber(p);
  if (const TQuillEditorAttributes* entry = GetFontManager().GetItem(number)) {
    attributes.SafeAssign(*entry);
  } else {
    // The editor font, also into attributes that know no editor.
    TQuillEditorAttributes editorFont;
    editorFont.Assign(Font());
    editorFont.SetBkColor(GetEditorColor());
    attributes.SafeAssign(editorFont);
  }
}

std::unique_ptr<TQuillEditorAttributes> TCustomQuillRichEdit::GetStateAttribute(
    uint16_t number, const TCustomQuillEditorAttributes& attributes) {
  // Imported text brings its attributes whole.
  if (importing_) number = NoData;
  auto entry = std::make_unique<TQuillEditorAttributes>();
  const TQuillEditorAttributes* stored = GetFontManager().GetItem(number);
  if (stored == nullptr) {
    entry->Assign(attributes);
    return entry;
  }
  entry->Assign(*stored);
  const TQuillConsistentAttrs changes = attributes.Changes();
  if (changes & caColor) entry->SetColor(attributes.Color());
  if (changes & caBkColor) entry->SetBkColor(attributes.BkColor());
  if (changes & caFace) entry->SetName(attributes.Name());
  if (changes & caSize) entry->SetSize(attributes.Size());
  if (changes & caCharSet) entry->SetCharset(attributes.Charset());
  if (changes & caPitch) entry->SetPitch(attributes.Pitch());
  if (changes & caStyle) {
    // The style kinds marked are the ones the new style holds.
    entry->SetStyle(static_cast<TFontStyles>(((changes & caBold) ? fsBold : 0) | ((changes & caItalic) ? fsItalic : 0) |
                                             ((changes & caUnderline) ? fsUnderline : 0) |
                                             ((changes & caStrikeOut) ? fsStrikeOut : 0)));
  }
  if (changes & caScriptStyle) {
    entry->SetScriptStyle((changes & caSubScript)     ? TQuillScriptStyle::ssSubScript
                          : (changes & caSuperScript) ? TQuillScriptStyle::ssSuperScript
                                                      : TQuillScriptStyle::ssNormal);
  }
  if (changes & caUserData) entry->SetUserData(attributes.UserData());
  if (changes & caUrl) entry->SetUrl(attributes.Url());
  return entry;
}

uint16_t TCustomQuillRichEdit::GetAttributeIndex(uint16_t number, const TCustomQuillEditorAttributes& attributes) {
  TQuillRichFontManager& table = GetFontManager();
  // Without a stored entry to merge with, the entry is Attributes as they
  // stand: an equal one is found without building it (a load asks per run).
  if (importing_ || table.GetItem(number) == nullptr) {
    const int equal = table.FindEqual(attributes);
    if (equal >= 0) return static_cast<uint16_t>(equal);
  }
  std::unique_ptr<TQuillEditorAttributes> entry = GetStateAttribute(number, attributes);
  const int equal = table.FindEqual(*entry);
  if (equal >= 0) return static_cast<uint16_t>(equal);
  if (table.GetCount() >= kMaxTableEntries) {
    // Full: the characters keep what they had, or take the nearest entry.
    if (table.GetItem(number) != nullptr) return number;
    return static_cast<uint16_t>(table.Nearest(*entry));
  }
  return static_cast<uint16_t>(table.Add(std::move(entry)));
}

void TCustomQuillRichEdit::SetAttribute(TQuillEditorAttributes& attributes) {
  CounterScope changing(changing_);
  // The selection the change applies to stays selected.
  LockSelection(1);
  try {
    TCustomQuillRichEditSource& doc = RichEditSource();
    TQuillSourceUpdate update(doc, oprUpdateData);
    if (SelType() == TQuillSelType::slNone) {
      doc.SetInsertAttribute(GetAttributeIndex(NoData, attributes));
    } else if (SelType() == TQuillSelType::slStream) {
      const TRect r = SelRect();
      if (r.Top == r.Bottom) {
        SetStringAttribute(r.Top, r.Left + 1, r.Right, attributes);
      } else {
        SetStringAttribute(r.Top, r.Left + 1, MaxInt, attributes);
        for (int line = r.Top + 1; line < r.Bottom; ++line) SetStringAttribute(line, 1, MaxInt, attributes);
        SetStringAttribute(r.Bottom, 1, r.Right, attributes);
      }
    }
  } catch (...) {
    LockSelection(-1);
    throw;
  }
  LockSelection(-1);
}

void TCustomQuillRichEdit::SetStringAttribute(int line, int from, int to, const TCustomQuillEditorAttributes& attributes) {
  TCustomQuillRichEditSource& doc = RichEditSource();
  TQuillStringItem* item = doc.Strings().Item(line);
  if (item == nullptr) return;
  const int length = static_cast<int>(item->Text.size());
  const int first = std::clamp(GetRealChar(line, std::max(from - 1, 0)), 0, length);
  const int last = to == MaxInt ? length : std::clamp(GetRealChar(line, to), first, length);
  if (last - first < 1) return;
  TQuillSourceUpdate update(doc, oprUpdateData);
  TCustomQuillRichEditSource::ChangeTextLength(*item, length, NoData, false);
  if (!loading_) doc.StringDataChanged(first, line, item->Data.substr(static_cast<size_t>(first)), last - first);
  const std::string& text = item->Text;
  int i = first;
  while (i < last) {
    if (text[static_cast<size_t>(i)] == kObjectCharacter) {
      ++i;  // a picture keeps its object number
      continue;
    }
    const uint16_t stored = item->Data[static_cast<size_t>(i)];
    int j = i + 1;
    while (j < last && text[static_cast<size_t>(j)] != kObjectCharacter &&
           (loading_ || item->Data[static_cast<size_t>(j)] == stored))
      ++j;
    const uint16_t number = GetAttributeIndex(stored, attributes);
    std::fill(item->Data.begin() + i, item->Data.begin() + j, static_cast<char16_t>(number));
    i = j;
  }
  if (first == 0 && !markingUrl_) doc.SetLineAttribute(line, doc.GetRealAttribute(text, 1, line));
  doc.LinesUpdated(0, MaxInt, line, line, true);
}

TQuillConsistentAttrs TCustomQuillRichEdit::GetConsistentAttributes(const TQuillEditorAttributes& attributes) {
  TQuillConsistentAttrs result = 0xFFFF;
  if (SelType() != TQuillSelType::slStream || importing_) return result;
  TQuillEditorAttributes editorFont;
  editorFont.Assign(Font());
  editorFont.SetBkColor(GetEditorColor());
  TQuillRichFontManager& table = GetFontManager();
  const TQuillStrings& lines = GetLines();
  std::vector<bool> seen;
  auto compare = [&](uint16_t number) {
    if (number < seen.size() && seen[number]) return;
    if (number != NoData) {
      if (seen.size() <= number) seen.resize(static_cast<size_t>(number) + 1, false);
      seen[number] = true;
    }
    const TQuillEditorAttributes* e = table.GetItem(number);
    const TQuillEditorAttributes& a = e != nullptr ? *e : editorFont;
    auto drop = [&](bool differs, TQuillConsistentAttrs kinds) {
      if (differs) result &= static_cast<TQuillConsistentAttrs>(~kinds);
    };
    drop(a.Color() != attributes.Color(), caColor);
    drop(a.BkColor() != attributes.BkColor(), caBkColor);
    drop(a.Name() != attributes.Name(), caFace);
    drop(a.Charset() != attributes.Charset(), caCharSet);
    drop(a.Pitch() != attributes.Pitch(), caPitch);
    drop(a.Size() != attributes.Size(), caSize);
    if (a.Style() != attributes.Style()) {
      const TFontStyles diff = a.Style() ^ attributes.Style();
      result &= static_cast<TQuillConsistentAttrs>(~caStyle);
      drop(diff & fsBold, caBold);
      drop(diff & fsItalic, caItalic);
      drop(diff & fsUnderline, caUnderline);
      drop(diff & fsStrikeOut, caStrikeOut);
    }
    drop(a.ScriptStyle() != attributes.ScriptStyle(), caScriptStyle | caSubScript | caSuperScript);
    drop(a.UserData() != attributes.UserData(), caUserData);
    drop(a.Url() != attributes.Url(), caUrl);
  };
  const TRect r = SelRect();
  for (int line = r.Top; line <= r.Bottom && line < lines.Count(); ++line) {
    const TQuillStringItem* item = lines.Item(line);
    const int from = line == r.Top ? GetRealChar(line, r.Left) : 0;
    const int to = line == r.Bottom ? std::min(GetRealChar(line, r.Right), static_cast<int>(item->Text.size()))
                                    : static_cast<int>(item->Text.size());
    for (int i = from; i < to; ++i) {
      if (item->Text[static_cast<size_t>(i)] == kObjectCharacter) continue;
      compare(lines.GetData(line, i + 1));
    }
  }
  return result;
}

const TCustomQuillRichEdit::TRunStyle& TCustomQuillRichEdit::GetFontFromData(uint16_t number) {
  TQuillRichFontManager& table = GetFontManager();
  if (stylesGeneration_ != table.Generation()) {
    runStyles_.clear();
    stylesGeneration_ = table.Generation();
  }
  auto make = [this](const TQuillFont& font, TColor color, TColor background, TQuillScriptStyle script) {
    TRunStyle style;
    const TCanvasFont canvasFont = CanvasFont(font);
    style.Font = &TQuillFontManager::GetFont(canvasFont);
    if (script != TQuillScriptStyle::ssNormal) {
      TCanvasFont small = canvasFont;
      small.Height = -style.Font->Info.SubscriptSize;
      style.ScriptFont = &TQuillFontManager::GetFont(small);
    }
    style.Color = color == clNone ? Font().Color : color;
    style.Background = background;
    style.Script = script;
    return style;
  };
  const TQuillEditorAttributes* entry = table.GetItem(number);
  if (entry == nullptr) {
    if (editorStyle_.Font == nullptr) editorStyle_ = make(Font(), Font().Color, clNone, TQuillScriptStyle::ssNormal);
    return editorStyle_;
  }
  if (runStyles_.size() <= number) runStyles_.resize(static_cast<size_t>(table.GetCount()));
  TRunStyle& style = runStyles_[number];
  if (style.Font == nullptr) {
    TQuillFont font;
    font.Name = entry->Name();
    font.Size = entry->Size();
    font.Style = entry->Style();
    font.Charset = entry->Charset();
    font.Pitch = entry->Pitch();
    font.Color = entry->Color();
    style = make(font, entry->Color(), entry->BkColor(), entry->ScriptStyle());
  }
  return style;
}

// ---------------------------------------------------------------------------
// Pictures

TQuillEditorObject* TCustomQuillRichEdit::InsertImageFromFile(const std::string& fileName) {
  return InsertImage(fileName, nullptr, 0, 0, false, platform::ExtractFileName(fileName));
}

TQuillEditorObject* TCustomQuillRichEdit::InsertGraphic(const QImage& graphic, const std::string& name) {
  return InsertImage("", &graphic, 0, 0, false, name);
}

TQuillEditorObject* TCustomQuillRichEdit::InsertImage(const std::string& fileName, const QImage* graphic, int width,
                                                      int height, bool forceStretch, const std::string& name) {
  // A read-only text takes no picture: its file is not even read.
  if (ReadOnly()) return nullptr;
  std::unique_ptr<TQuillGraphicObject> object;
  bool empty = false;
  if (graphic != nullptr) {
    object = std::make_unique<TQuillBitmapObject>(this);
  } else if (const TQuillGraphicFormat* format = GetRegisteredGraphicFormat(platform::ExtractFileExt(fileName))) {
    object = format->Create(this);
  } else {
    object = std::make_unique<TQuillEmptyGraphicObject>(this);
    empty = true;
  }
  object->BeginUpdate();
  if (graphic != nullptr) {
    object->Image() = *graphic;
  } else if (!empty) {
    // The name is converted once: a transcript inserts a picture with most lines.
    platform::FileName file(fileName);
    if (!file.Path().is_absolute()) {
      std::error_code error;
      const std::filesystem::path path = std::filesystem::absolute(file.Path(), error);
      if (!error) file = platform::FileName(path);
    }
    // A missing file leaves the picture empty; one that is there and is no
    // picture is the caller's to hear of. Metafiles are never drawn here:
    // they stay empty pictures.
    std::error_code error;
    if (!object->LoadFromFile(file) && object->GetGraphicClass() != TQuillGraphicKind::gkMetaFile &&
        std::filesystem::exists(file.Path(), error))
      throw EInvalidGraphic("Cannot load the picture \"" + file.Display() + "\"");
  }
  const QImage& picture = object->Image();
  object->SetWidth(width >= 1 ? width : picture.width());
  object->SetHeight(height >= 1 ? height : picture.height());
  object->SetStretch(empty || forceStretch || (width >= 1 && width != picture.width()) ||
                     (height >= 1 && height != picture.height()));
  object->ObjectName = name;
  // It goes in while its update is open, measured: the row it lands on is
  // wrapped once, at its size; the end of the update repaints.
  TQuillGraphicObject& added = *object;
  const int number = RichEditSource().AddObject(std::move(object));
  if (number < 0) return nullptr;
  added.EndUpdate();
  return FindObject(number);
}

TQuillEditorObject* TCustomQuillRichEdit::AddPicture(std::unique_ptr<TQuillGraphicObject> object) {
  const int number = RichEditSource().AddObject(std::move(object));
  return number >= 0 ? FindObject(number) : nullptr;
}

TQuillEditorObject* TCustomQuillRichEdit::InsertObjectReference(int number) {
  return RichEditSource().AddObjectReference(number) >= 0 ? FindObject(number) : nullptr;
}

void TCustomQuillRichEdit::ObjectChanged(TQuillEditorObject& object, bool heightChanged) {
  if (loading_ || FindObject(object.Number) != &object) return;
  if (heightChanged) {
    UpdateWordWrap(0, MaxInt);
    WordWrapUpdated(true);
  } else {
    Invalidate();
  }
}

// ---------------------------------------------------------------------------
// Paragraphs

const TQuillParagraph* TCustomQuillRichEdit::FindParagraph(int line) {
  TCustomQuillRichEditSource& doc = RichEditSource();
  return doc.ParagraphManager().GetItem(doc.ParagraphNumber(line));
}

TQuillParagraph& TCustomQuillRichEdit::GetParagraphForLine(int line) {
  const TQuillParagraph* entry = FindParagraph(line);
  paragraph_.SafeAssign(entry != nullptr ? *entry : defaultParagraph_);
  return paragraph_;
}

void TCustomQuillRichEdit::SetParagraphForline(const TCustomQuillParagraph& paragraph, int line) {
  TCustomQuillRichEditSource& doc = RichEditSource();
  if (line < 0 || line >= LineCount()) return;
  TQuillParagraphManager& table = doc.ParagraphManager();
  int number = table.FindEqual(paragraph);
  if (number < 0) {
    auto entry = std::make_unique<TQuillParagraph>();
    entry->SafeAssign(paragraph);
    number = table.GetCount() < kMaxTableEntries ? table.Add(std::move(entry)) : table.Nearest(*entry);
  }
  if (number >= 0) doc.SetParagraph(line, number);
}

void TCustomQuillRichEdit::ParagraphChanged(TQuillParagraph& paragraph) {
  if (&paragraph != &paragraph_) return;
  TCustomQuillRichEditSource& doc = RichEditSource();
  TQuillSourceUpdate update(doc, oprOther);
  int first = GetCurrentPosition().Y;
  if (SelType() != TQuillSelType::slNone) {
    const TRect r = SelRect();
    first = r.Top;
    for (int line = r.Top; line <= r.Bottom; ++line) SetParagraphForline(paragraph_, line);
  } else {
    doc.CheckLastLine();
    SetParagraphForline(paragraph_, first);
  }
  UpdateNumbering(first, true);
  doc.AddState(csParagraphChanged);
}

void TCustomQuillRichEdit::UpdateNumbering(int line, bool force) {
  if (numbering_) return;
  const TQuillParagraph* own = FindParagraph(line);
  const bool numbered = own != nullptr && own->Numbering() == TQuillNumberingStyle::nbsNumber;
  if (!force && !numbered) return;
  FlagScope guard(numbering_);
  TQuillSourceUpdate update(RichEditSource(), oprOther);
  int counter = numbered ? own->Number() : 0;
  for (int next = line + 1; next < LineCount(); ++next) {
    const TQuillParagraph* p = FindParagraph(next);
    if (p == nullptr || p->Numbering() != TQuillNumberingStyle::nbsNumber) break;
    ++counter;
    if (p->Number() == counter) continue;
    TQuillParagraph renumbered;
    renumbered.SafeAssign(*p);
    renumbered.SetNumber(counter);
    SetParagraphForline(renumbered, next);
  }
}

void TCustomQuillRichEdit::DeleteStr(int command) {
  // Backspace at the start of a numbered or indented line takes the
  // numbering (then the indents) away before it joins any lines.
  if (command == ecLeft && !ReadOnly() && !InIncrementalSearch() && SelType() == TQuillSelType::slNone &&
      GetCurrentPosition().X == 0) {
    const int line = GetCurrentPosition().Y;
    const TQuillParagraph* p = FindParagraph(line);
    if (p != nullptr && (p->Numbering() != TQuillNumberingStyle::nbsNone || p->LeftIndent() != 0 ||
                         p->FirstIndent() != 0)) {
      TQuillSourceUpdate update(RichEditSource(), oprOther);
      TQuillParagraph& view = GetParagraphForLine(line);
      if (view.Numbering() != TQuillNumberingStyle::nbsNone) {
        view.SetNumbering(TQuillNumberingStyle::nbsNone);
      } else {
        view.BeginUpdate();
        view.SetLeftIndent(0);
        view.SetFirstIndent(0);
        view.EndUpdate();
      }
      return;
    }
  }
  TCustomQuillEdit::DeleteStr(command);
}

void TCustomQuillRichEdit::UpdateParagraphSliders() {
  if (!Ruler().HorzRulerVisible()) return;
  TQuillRuler& ruler = *Ruler().HorzRuler();
  const TQuillParagraph& p = GetParagraphForLine(GetCurrentPosition().Y);
  for (const auto& slider : ruler.Sliders()) {
    switch (slider->Type) {
      case TQuillSliderType::rtFirst: slider->SetIndent(p.LeftIndent() + p.FirstIndent()); break;
      case TQuillSliderType::rtLeft:
      case TQuillSliderType::rtBottom: slider->SetIndent(p.LeftIndent()); break;
      case TQuillSliderType::rtRight: slider->SetIndent(p.RightIndent()); break;
    }
  }
  ruler.update();
}

void TCustomQuillRichEdit::SliderChanged(TQuillRuler&, TQuillRulerSlider& slider) {
  TQuillParagraph changed;
  changed.SafeAssign(GetParagraphForLine(GetCurrentPosition().Y));
  const int position = slider.Indent();
  switch (slider.Type) {
    case TQuillSliderType::rtFirst: changed.SetFirstIndent(position - changed.LeftIndent()); break;
    case TQuillSliderType::rtLeft:
      // The hanging slider moves the other lines and keeps the first in place.
      changed.SetFirstIndent(changed.FirstIndent() + changed.LeftIndent() - position);
      changed.SetLeftIndent(position);
      break;
    case TQuillSliderType::rtRight: changed.SetRightIndent(position); break;
    case TQuillSliderType::rtBottom: changed.SetLeftIndent(position); break;
  }
  SetParagraph(changed);
}

// ---------------------------------------------------------------------------
// Notifications

void TCustomQuillRichEdit::HandleEvents(TQuillObject* sender, intptr_t param) {
  if (Destroying() || param != 0) {
    TCustomQuillEdit::HandleEvents(sender, param);
    return;
  }
  TCustomQuillRichEditSource& doc = RichEditSource();
  const TQuillEditSourceStates states = doc.State();
  // An attribute chosen for the next text lasts until the caret moves or
  // text goes in.
  if (states & (csPositionChanged | csEdit)) doc.SetInsertAttribute(NoData);
  if ((states & csParserChanged) && doc.Parser() != nullptr) AssignParserStyles();
  const int numberingLine = doc.TakeNumberingLine();
  // Rows differ in height: a changed line that grew or shrank moves every
  // line below it, which then needs painting too.
  const bool edited = (states & (csEdit | csParagraphChanged)) != 0;
  const int first = std::max(doc.ChangedFirstLine(), 0), last = doc.ChangedLastLine();
  auto height = [&] {
    int sum = 0;
    for (int line = first; line <= last; ++line) sum += RichPainter().GetWholeLineHeight(line);
    return sum;
  };
  // Rows shifted with lines that came or went are not those on the screen.
  const int before = edited && !RowsShifted() && last >= first && last - first < 64 ? height() : -1;
  TCustomQuillEdit::HandleEvents(sender, param);
  if (edited && (before < 0 || height() != before)) InvalidateEditor(first, MaxInt);
  if (numberingLine >= 0 && !loading_) UpdateNumbering(numberingLine, false);
  if ((states & (csPositionChanged | csEdit)) && doc.OwnerView() == this) KeepCaretRowInView();
}

void TCustomQuillRichEdit::KeepCaretRowInView() {
  if (PageLayout() || ClientHeight() <= 0) return;
  const TPoint caret = GetCurrentPosition();
  const int row = RowOfPoint(caret, CaretAtRowEnd());
  // A few steps at most: each takes a whole row off the top.
  for (int step = 0; step < 64 && row > WindowLine(); ++step) {
    // Only the caret row's top counts: how far into the row the caret
    // stands is not worth measuring here.
    const int y = RichPainter().TextToPixelY(caret, TopLeftPoint(), CaretAtRowEnd());
    if (y == MaxInt || y + GetTopIndent() + RichPainter().GetLineHeight(caret.Y, caret.X) <= ClientHeight()) return;
    SetWindowLine(WindowLine() + 1);
  }
}

void TCustomQuillRichEdit::SelectionChanged() {
  TCustomQuillEdit::SelectionChanged();
  selAttributes_.InvalidateConsistency();
  UpdateParagraphSliders();
}

void TCustomQuillRichEdit::AssignParserStyles() {
  TCustomQuillParser* parser = GetParser();
  if (parser == nullptr) return;
  TQuillRichFontManager& table = GetFontManager();
  table.ClearList();
  // Style k of the parser is attribute k: the parser's words are both.
  for (int i = 0; i < parser->GetStyleCount(); ++i) {
    auto entry = std::make_unique<TQuillEditorAttributes>();
    entry->Assign(Font());
    TColor color = clNone;
    TFontStyles style = 0;
    parser->GetFont(i, color, style);
    entry->SetColor(color);
    entry->SetBkColor(parser->GetColor(i));
    entry->SetStyle(style);
    table.Append(std::move(entry));
  }
}

}  // namespace quill
