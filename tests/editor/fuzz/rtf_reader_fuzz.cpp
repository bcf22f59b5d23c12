// Reads arbitrary bytes as RTF, writes every piece it delivers back out as RTF and
// reads that again: neither side may crash, hang or grow without bound, and the
// second reading must give the same text as the first.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "editor/QuillRtfReader.h"
#include "editor/QuillRtfWriter.h"

using namespace quill;

namespace {

struct Piece {
  std::string text;
  std::unique_ptr<TQuillEditorAttributes> attributes;
  std::unique_ptr<TCustomQuillParagraph> paragraph;
  std::unique_ptr<TQuillRtfMetaFileObject> meta;
  std::unique_ptr<TQuillBitmapObject> bitmap;
};

std::vector<Piece> Read(const std::string& rtf) {
  std::vector<Piece> pieces;
  TQuillRtfImporter importer;
  importer.OnParseText = [&](TQuillObject*, const std::string& text, const TCustomQuillEditorAttributes* a,
                             const TCustomQuillParagraph* p, TCustomQuillEditorObject* o) {
    Piece piece;
    piece.text = text;
    if (a != nullptr) {
      piece.attributes = std::make_unique<TQuillEditorAttributes>();
      piece.attributes->Assign(*a);
    }
    if (p != nullptr) {
      piece.paragraph = std::make_unique<TCustomQuillParagraph>();
      piece.paragraph->Assign(*p);
    }
    if (auto* m = dynamic_cast<TQuillRtfMetaFileObject*>(o)) {
      piece.meta = std::make_unique<TQuillRtfMetaFileObject>();
      piece.meta->Enhanced = m->Enhanced;
      piece.meta->Bytes = m->Bytes;
      piece.meta->SetWidth(m->Width());
      piece.meta->SetHeight(m->Height());
    } else if (o != nullptr && o->GetImage() != nullptr) {
      piece.bitmap = std::make_unique<TQuillBitmapObject>();
      piece.bitmap->Image() = *o->GetImage();
    }
    pieces.push_back(std::move(piece));
  };
  importer.ParseString(rtf);
  return pieces;
}

std::string TextOf(const std::vector<Piece>& pieces) {
  std::string s;
  for (const auto& p : pieces) s += (p.meta || p.bitmap) ? std::string("#") : p.text;
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const auto pieces = Read(input);

  std::ostringstream out;
  TQuillFont font;
  TQuillRtfExporter exporter(out, font);
  exporter.NewLine(nullptr, false);
  for (const auto& p : pieces) {
    if (p.text == "\r\n")
      exporter.NewLine(p.paragraph.get(), true);
    else if (p.meta)
      exporter.WriteString("", nullptr, p.meta.get());
    else if (p.bitmap)
      exporter.WriteString("", nullptr, p.bitmap.get());
    else if (!p.text.empty())
      exporter.WriteString(p.text, p.attributes.get(), nullptr);
  }
  exporter.Flush();

  // Line breaks become paragraphs and are written as such; compare without them.
  auto strip = [](std::string s) {
    std::string r;
    for (char c : s)
      if (c != '\r' && c != '\n') r += c;
    return r;
  };
  if (strip(TextOf(Read(out.str()))) != strip(TextOf(pieces))) std::abort();
  return 0;
}
