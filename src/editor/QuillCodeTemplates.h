#pragma once

// Named snippets the user expands at the caret: the word before the caret
// picks a template (or narrows a list of them); a "|" in the template marks
// where the caret ends. The collection stores itself in the editor's own
// property stream, one nested object per template.

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "editor/QuillSettings.h"
#include "platform/StringList.h"

namespace quill {

class TQuillCodeTemplate : public TQuillPersistent {
 public:
  std::string ClassName() const override { return "TQuillCodeTemplate"; }
  const std::vector<TQuillPropInfo>& Properties() const override;
  void Assign(const TQuillPersistent& source) override;

  std::string Name;
  std::string Desc;
  // The template's lines.
  std::vector<std::string> Code;
  void SetCode(const std::vector<std::string>& lines) { Code = lines; }
};

class TQuillCodeTemplates : public TQuillPersistent {
 public:
  std::string ClassName() const override { return "TQuillCodeTemplates"; }
  // Count, then one nested object per template ("Item0", "Item1", ...).
  const std::vector<TQuillPropInfo>& Properties() const override;
  void Assign(const TQuillPersistent& source) override;

  int Count() const { return static_cast<int>(items_.size()); }
  // An index outside 0..Count-1 raises EListError.
  TQuillCodeTemplate& GetItem(int index) { return *items_[CheckedIndex(index)]; }
  const TQuillCodeTemplate& GetItem(int index) const { return *items_[CheckedIndex(index)]; }
  void SetItem(int index, const TQuillCodeTemplate& value) { GetItem(index).Assign(value); }
  TQuillCodeTemplate& Add();
  void Clear() { items_.clear(); }
  int IndexOf(const TQuillCodeTemplate* item) const;
  size_t CheckedIndex(int index) const;

  // The templates a filter (the start of a name, any case) picks, in
  // collection order: the one whose whole name it is (Exact), else all that
  // begin with it, else all.
  void ApplyFilter(std::vector<const TQuillCodeTemplate*>& list, const std::string& filter, bool& exact) const;
  // "description|{\b name}": two list-box columns, the name in bold.
  static std::string TemplateToString(const TQuillCodeTemplate& item);
  // Fills Strings with the entries (each carrying its template); the index
  // of the one exact match, else -1.
  int TemplateToStrings(TStrings& strings, const std::string& filter) const;

  void LoadFromStream(std::istream& stream);
  void SaveToStream(std::ostream& stream);
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName);

 private:
  void Resize(int count);
  std::vector<std::unique_ptr<TQuillCodeTemplate>> items_;
  mutable std::vector<TQuillPropInfo> props_;
};

}  // namespace quill
