#include "editor/QuillRichTables.h"

namespace quill {

namespace {

template <class T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

int TQuillRichFontManager::CompareEntries(const TQuillEditorAttributes& a, const TQuillEditorAttributes& b) const {
  // What makes the font first (equal ones draw alike), then the colours and
  // the rest; the order itself only has to be consistent.
  if (int c = a.Name().compare(b.Name())) return c < 0 ? -1 : 1;
  if (int c = Order(a.Size(), b.Size())) return c;
  if (int c = Order(a.Style(), b.Style())) return c;
  if (int c = Order(a.Charset(), b.Charset())) return c;
  if (int c = Order(a.Pitch(), b.Pitch())) return c;
  if (int c = Order(a.Color(), b.Color())) return c;
  if (int c = Order(a.BkColor(), b.BkColor())) return c;
  if (int c = Order(a.ScriptStyle(), b.ScriptStyle())) return c;
  if (int c = Order(a.UserData(), b.UserData())) return c;
  // Exact: paths and queries that differ only in letter case lead to other
  // pages, and each link must open its own.
  return Order(a.Url(), b.Url());
}

int TQuillParagraphManager::CompareEntries(const TQuillParagraph& a, const TQuillParagraph& b) const {
  if (int c = Order(a.Alignment(), b.Alignment())) return c;
  if (int c = Order(a.FirstIndent(), b.FirstIndent())) return c;
  if (int c = Order(a.LeftIndent(), b.LeftIndent())) return c;
  if (int c = Order(a.RightIndent(), b.RightIndent())) return c;
  if (int c = Order(a.Numbering(), b.Numbering())) return c;
  if (int c = Order(a.PageBreak(), b.PageBreak())) return c;
  return Order(a.Number(), b.Number());
}

int TQuillObjectsManager::Add(std::unique_ptr<TQuillEditorObject> object) {
  if (GetCount() >= kMaxTableEntries) return -1;
  object->Number = GetCount();
  objects_.push_back(std::move(object));
  return GetCount() - 1;
}

}  // namespace quill
