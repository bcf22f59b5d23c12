#include "editor/QuillRichTables.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <string>

namespace quill {

namespace {

template <class T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

class Hasher {
 public:
  template <class T>
  Hasher& operator<<(const T& value) {
    value_ ^= std::hash<T>()(value) + 0x9E3779B97F4A7C15ull + (value_ << 6) + (value_ >> 2);
    return *this;
  }
  size_t Value() const { return value_; }

 private:
  size_t value_ = 0;
};

// A link address as entries compare it: the scheme and the host without
// letter case, as every address reads them; the path and what follows as
// they stand, since a path that differs only in letter case can be another
// page, and a link must open its own.
std::string UrlKey(const std::string& url) {
  size_t end = 0;
  while (end < url.size() && (std::isalnum(static_cast<unsigned char>(url[end])) || url[end] == '+' ||
                              url[end] == '-' || url[end] == '.'))
    ++end;
  if (end == 0 || end >= url.size() || url[end] != ':') return url;
  ++end;
  if (url.compare(end, 2, "//") == 0) end = std::min(url.find_first_of("/?#", end + 2), url.size());
  std::string key = url;
  for (size_t i = 0; i < end; ++i) key[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(key[i])));
  return key;
}

}  // namespace

int TQuillRichFontManager::CompareEntries(const TCustomQuillEditorAttributes& a,
                                          const TCustomQuillEditorAttributes& b) const {
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
  if (a.Url() == b.Url()) return 0;
  return Order(UrlKey(a.Url()), UrlKey(b.Url()));
}

size_t TQuillRichFontManager::HashEntry(const TCustomQuillEditorAttributes& v) const {
  return (Hasher() << v.Name() << v.Size() << static_cast<int>(v.Style()) << v.Charset() << static_cast<int>(v.Pitch())
                   << v.Color() << v.BkColor() << static_cast<int>(v.ScriptStyle()) << v.UserData() << UrlKey(v.Url()))
      .Value();
}

int TQuillParagraphManager::CompareEntries(const TCustomQuillParagraph& a, const TCustomQuillParagraph& b) const {
  if (int c = Order(a.Alignment(), b.Alignment())) return c;
  if (int c = Order(a.FirstIndent(), b.FirstIndent())) return c;
  if (int c = Order(a.LeftIndent(), b.LeftIndent())) return c;
  if (int c = Order(a.RightIndent(), b.RightIndent())) return c;
  if (int c = Order(a.Numbering(), b.Numbering())) return c;
  if (int c = Order(a.PageBreak(), b.PageBreak())) return c;
  return Order(a.Number(), b.Number());
}

size_t TQuillParagraphManager::HashEntry(const TCustomQuillParagraph& v) const {
  return (Hasher() << static_cast<int>(v.Alignment()) << v.FirstIndent() << v.LeftIndent() << v.RightIndent()
                   << static_cast<int>(v.Numbering()) << v.PageBreak() << v.Number())
      .Value();
}

int TQuillObjectsManager::Add(std::unique_ptr<TQuillEditorObject> object) {
  if (GetCount() >= kMaxTableEntries) return -1;
  object->Number = GetCount();
  objects_.push_back(std::move(object));
  return GetCount() - 1;
}

}  // namespace quill
