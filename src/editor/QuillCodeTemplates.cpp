#include "editor/QuillCodeTemplates.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "editor/QuillStrings.h"
#include "editor/QuillUtils.h"

namespace quill {

namespace {

TQuillPropInfo TextProp(const char* name, std::string TQuillCodeTemplate::*field) {
  return {name, tkString,
          [field](const TQuillPersistent& p) -> TQuillVariant { return static_cast<const TQuillCodeTemplate&>(p).*field; },
          [field](TQuillPersistent& p, const TQuillVariant& v) {
            if (const auto* s = std::get_if<std::string>(&v)) static_cast<TQuillCodeTemplate&>(p).*field = *s;
          },
          nullptr, nullptr};
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

bool StartsWithNoCase(const std::string& name, const std::string& filter) {
  return name.size() >= filter.size() && UpperCase(name.substr(0, filter.size())) == UpperCase(filter);
}

}  // namespace

const std::vector<TQuillPropInfo>& TQuillCodeTemplate::Properties() const {
  static const std::vector<TQuillPropInfo> props = {
      TextProp("Name", &TQuillCodeTemplate::Name),
      TextProp("Desc", &TQuillCodeTemplate::Desc),
      {"Code", tkStringList,
       [](const TQuillPersistent& p) -> TQuillVariant { return JoinLines(static_cast<const TQuillCodeTemplate&>(p).Code); },
       [](TQuillPersistent& p, const TQuillVariant& v) {
         if (const auto* s = std::get_if<std::string>(&v)) static_cast<TQuillCodeTemplate&>(p).Code = SplitTextLines(*s);
       },
       nullptr, nullptr},
  };
  return props;
}

void TQuillCodeTemplate::Assign(const TQuillPersistent& source) {
  const auto* s = dynamic_cast<const TQuillCodeTemplate*>(&source);
  if (s == nullptr) {
    TQuillPersistent::Assign(source);
    return;
  }
  Name = s->Name;
  Desc = s->Desc;
  Code = s->Code;
}

const std::vector<TQuillPropInfo>& TQuillCodeTemplates::Properties() const {
  // Made afresh on each call: the items, and so the properties, come and go
  // as a stream is read.
  props_.clear();
  props_.push_back({"Count", tkInteger,
                    [](const TQuillPersistent& p) -> TQuillVariant {
                      return static_cast<int32_t>(static_cast<const TQuillCodeTemplates&>(p).Count());
                    },
                    [](TQuillPersistent& p, const TQuillVariant& v) {
                      if (const auto* i = std::get_if<int32_t>(&v)) static_cast<TQuillCodeTemplates&>(p).Resize(*i);
                    },
                    nullptr, nullptr});
  for (int i = 0; i < Count(); ++i)
    props_.push_back({"Item" + std::to_string(i), tkClass, nullptr, nullptr, nullptr,
                      [i](TQuillPersistent& p) -> TQuillPersistent* {
                        auto& list = static_cast<TQuillCodeTemplates&>(p);
                        return i < list.Count() ? &list.GetItem(i) : nullptr;
                      }});
  return props_;
}

void TQuillCodeTemplates::Resize(int count) {
  // A damaged count asks for no more templates than a stream can carry.
  count = std::clamp(count, 0, 100000);
  items_.resize(static_cast<size_t>(count));
  for (auto& item : items_)
    if (!item) item = std::make_unique<TQuillCodeTemplate>();
}

void TQuillCodeTemplates::Assign(const TQuillPersistent& source) {
  const auto* s = dynamic_cast<const TQuillCodeTemplates*>(&source);
  if (s == nullptr) {
    TQuillPersistent::Assign(source);
    return;
  }
  if (s == this) return;
  Resize(s->Count());
  for (int i = 0; i < Count(); ++i) GetItem(i).Assign(s->GetItem(i));
}

size_t TQuillCodeTemplates::CheckedIndex(int index) const {
  if (index < 0 || index >= Count()) throw platform::EListError(FormatMsg(msg::SListIndexError, index));
  return static_cast<size_t>(index);
}

TQuillCodeTemplate& TQuillCodeTemplates::Add() {
  items_.push_back(std::make_unique<TQuillCodeTemplate>());
  return *items_.back();
}

int TQuillCodeTemplates::IndexOf(const TQuillCodeTemplate* item) const {
  for (int i = 0; i < Count(); ++i)
    if (items_[static_cast<size_t>(i)].get() == item) return i;
  return -1;
}

void TQuillCodeTemplates::ApplyFilter(std::vector<const TQuillCodeTemplate*>& list, const std::string& filter,
                                      bool& exact) const {
  list.clear();
  exact = false;
  const TQuillCodeTemplate* first = nullptr;
  if (!filter.empty())
    for (const auto& item : items_)
      if (StartsWithNoCase(item->Name, filter)) {
        first = item.get();
        break;
      }
  if (first != nullptr && first->Name.size() == filter.size()) {
    list.push_back(first);
    exact = true;
    return;
  }
  for (const auto& item : items_)
    if (first == nullptr || StartsWithNoCase(item->Name, filter)) list.push_back(item.get());
}

std::string TQuillCodeTemplates::TemplateToString(const TQuillCodeTemplate& item) {
  return item.Desc + "|{\\b " + item.Name + "}";
}

int TQuillCodeTemplates::TemplateToStrings(TStrings& strings, const std::string& filter) const {
  strings.Clear();
  std::vector<const TQuillCodeTemplate*> list;
  bool exact = false;
  ApplyFilter(list, filter, exact);
  for (const TQuillCodeTemplate* item : list)
    strings.AddObject(TemplateToString(*item), const_cast<TQuillCodeTemplate*>(item));
  return exact ? 0 : -1;
}

void TQuillCodeTemplates::SaveToStream(std::ostream& stream) {
  std::ostringstream memory;
  WritePersistentToStream(memory, *this);
  const std::string bytes = memory.str();
  stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void TQuillCodeTemplates::LoadFromStream(std::istream& stream) {
  std::stringstream memory;
  memory << stream.rdbuf();
  memory.seekg(0);
  ReadPersistentFromStream(memory, *this);
}

void TQuillCodeTemplates::LoadFromFile(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw platform::EStreamError("Cannot open file \"" + fileName + "\"");
  LoadFromStream(in);
}

void TQuillCodeTemplates::SaveToFile(const std::string& fileName) {
  SaveFileWhole(platform::FileName(std::filesystem::path(fileName)), [this](std::ostream& out) { SaveToStream(out); });
}

}  // namespace quill
