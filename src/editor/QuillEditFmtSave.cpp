// Formatted save: the text, or its selection, through an exporter, so the
// colours and font styles shown on screen reach the file. Lines go out run
// by run, a run being characters of one style word.

#include <fstream>

#include "editor/QuillEdit.h"
#include "editor/QuillRtfWriter.h"
#include "editor/QuillUtils.h"

namespace quill {

namespace {

constexpr char kObjectChar = '\x01';

}  // namespace

void TCustomQuillEdit::SaveToFmtStream(std::ostream& stream, bool selectionOnly,
                                       const TQuillExporterClass& exporterClass) {
  TCustomQuillEditSource& doc = GetEditSource();
  if (doc.Parser() != nullptr) doc.ParseToString(LineCount() - 1);
  std::unique_ptr<TCustomQuillExporter> exporter = exporterClass(stream, font_);
  exporter->FileName = doc.FileName();
  TQuillStrings& lines = GetLines();
  bool first = true;
  auto exportLine = [&](int line, int column, int endColumn, bool last) {
    const int from = GetRealChar(line, column);
    const int to = GetRealChar(line, endColumn);
    NewFmtLine(*exporter, line, first, last);
    first = false;
    if (line >= lines.Count()) return;
    const std::string s = lines.GetStr(line);
    const int end = std::min(to, static_cast<int>(s.size()));
    int start = from;
    auto flush = [&](int upTo) {
      if (upTo > start)
        SaveFmtString(*exporter, s.substr(static_cast<size_t>(start), static_cast<size_t>(upTo - start)),
                      lines.GetData(line, start + 1), nullptr);
    };
    for (int i = from; i < end; ++i) {
      if (s[static_cast<size_t>(i)] == kObjectChar) {
        // A picture is written wherever it stands, the end of the line too.
        flush(i);
        SaveFmtObject(*exporter, lines.GetData(line, i + 1));
        start = i + 1;
      } else if (i > start && lines.GetData(line, i + 1) != lines.GetData(line, start + 1)) {
        flush(i);
        start = i;
      }
    }
    flush(end);
  };
  if (!selectionOnly) {
    exporter->Pages = &pages_;
    exporter->ProgressTotal = lines.Count();
    exporter->OnProgress = OnFileSave;
    for (int line = 0; line < lines.Count(); ++line) exportLine(line, 0, MaxInt, line == lines.Count() - 1);
  } else if (selType_ == TQuillSelType::slStream) {
    const TRect r = selRect_;
    for (int line = r.Top; line <= r.Bottom; ++line)
      exportLine(line, line == r.Top ? r.Left : 0, line == r.Bottom ? r.Right : MaxInt, line == r.Bottom);
  }
  exporter->Flush();
}

void TCustomQuillEdit::SaveToFmtFile(const platform::FileName& fileName, const TQuillExporterClass& exporterClass) {
  // The document takes the name of a file that was made, as before.
  TCustomQuillEditSource& doc = GetEditSource();
  const std::string previous = doc.FileName();
  doc.SetFileName(fileName.Display());
  try {
    SaveFileWhole(fileName, [&](std::ostream& out) { SaveToFmtStream(out, false, exporterClass); });
  } catch (...) {
    doc.SetFileName(previous);
    throw;
  }
}

void TCustomQuillEdit::SaveFmtString(TCustomQuillExporter& exporter, const std::string& text, uint16_t style,
                                     TCustomQuillEditorObject* object) {
  if (text.empty()) return;
  if (!fmtAttributes_) fmtAttributes_ = std::make_unique<TQuillEditorAttributes>();
  TQuillEditorAttributes& attributes = *fmtAttributes_;
  attributes.Assign(font_);
  // The style word as painting reads it: misspelled characters carry their
  // style raised by a fixed amount.
  int index = style;
  if (style == NoData || style == NoData - 1) index = -1;
  else if (style >= MisspelledBase) index = style - MisspelledBase;
  TColor back = clNone, color = clNone;
  TFontStyles fontStyle = 0;
  painter_->GetFontAndColor(index, back, color, fontStyle);
  attributes.SetColor(color);
  attributes.SetBkColor(back == GetEditorColor() ? clNone : back);
  attributes.SetStyle(fontStyle);
  exporter.WriteString(text, &attributes, object);
}

void TCustomQuillEdit::NewFmtLine(TCustomQuillExporter& exporter, int, bool first, bool) {
  exporter.NewLine(nullptr, !first);
}

}  // namespace quill
