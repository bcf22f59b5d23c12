#include "platform/IniStore.h"

#include <filesystem>
#include <system_error>

#include "platform/ErrorSink.h"
#include "platform/Stream.h"
#include "platform/Strings.h"

namespace platform {

namespace {

// These stores hold short texts typed by the user; anything near this size is
// not one of ours and would only cost memory to read.
constexpr std::uintmax_t kMaxFileSize = 16u << 20;

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

void CheckSectionName(const std::string& section) {
  if (section.empty() || HasLineBreak(section) || section.find(']') != std::string::npos)
    throw EIniError("\"" + section + "\" cannot be used as a section name");
}

void CheckKey(const std::string& key) {
  if (key.empty() || HasLineBreak(key) || key.find('=') != std::string::npos || key.front() == '[' ||
      key.front() == ';')
    throw EIniError("\"" + key + "\" cannot be used as a key name");
}

}  // namespace

IniStore::IniStore(FileName file, LogFn log) : file_(std::move(file)), log_(std::move(log)) { Load(); }

IniStore::~IniStore() {
  if (!modified_) return;
  try {
    Save();
  } catch (const std::exception& e) {
    const std::string message = std::string("Saving ") + file_.Display() + ": " + e.what();
    if (log_) log_(message);
    else ReportError(message);
  }
}

void IniStore::Load() {
  sections_.clear();
  modified_ = false;
  std::error_code ec;
  if (std::filesystem::is_directory(std::filesystem::symlink_status(file_.Path(), ec))) {
    // A folder stands there: leave it alone; saving will report the clash.
    const std::string message = "Data file " + file_.Display() + " is not a file; starting empty";
    if (log_) log_(message);
    else ReportError(message);
    return;
  }
  std::string problem;
  try {
    std::string bytes;
    if (ReadStore(file_, bytes, kMaxFileSize, log_) != TStoreRead::Read) return;
    if (bytes.find('\0') != std::string::npos) throw EStreamError("binary content");
    SetText(bytes);
    modified_ = false;
    return;
  } catch (const std::exception& e) {
    problem = e.what();
  }
  sections_.clear();
  SetAside(file_, "could not be read (" + problem + ")", log_);
}

void IniStore::Save() {
  const std::string text = Text();
  ReplaceFile(file_, text.data(), text.size());
  modified_ = false;
}

std::string IniStore::Text() const {
  std::string out;
  for (const auto& section : sections_) {
    out += "[" + section.name + "]\r\n";
    for (const auto& e : section.entries) out += e.key + "=" + e.value + "\r\n";
    out += "\r\n";
  }
  return out;
}

void IniStore::SetText(const std::string& text) {
  sections_.clear();
  modified_ = true;
  Section* current = nullptr;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;

    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const auto close = line.find(']');
      if (close == std::string::npos || close == 1) {
        current = nullptr;  // a damaged header: its keys belong to no section we know
        continue;
      }
      const std::string name = line.substr(1, close - 1);
      current = FindSection(name);
      if (current == nullptr) current = &sections_.emplace_back(Section{name, {}});
      continue;
    }
    const auto eq = line.find('=');
    if (current == nullptr || eq == std::string::npos || eq == 0) continue;
    const std::string key = line.substr(0, eq);
    bool seen = false;
    for (const auto& e : current->entries) seen = seen || SameText(e.key, key);
    if (!seen) current->entries.push_back({key, line.substr(eq + 1)});
  }
}

const IniStore::Section* IniStore::FindSection(const std::string& name) const {
  for (const auto& s : sections_)
    if (SameText(s.name, name)) return &s;
  return nullptr;
}

IniStore::Section* IniStore::FindSection(const std::string& name) {
  return const_cast<Section*>(static_cast<const IniStore*>(this)->FindSection(name));
}

std::string IniStore::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
  if (const Section* s = FindSection(section))
    for (const auto& e : s->entries)
      if (SameText(e.key, key)) return e.value;
  return def;
}

void IniStore::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  CheckSectionName(section);
  CheckKey(key);
  if (HasLineBreak(value)) throw EIniError("The value of \"" + key + "\" cannot hold a line break");
  Section* s = FindSection(section);
  if (s == nullptr) s = &sections_.emplace_back(Section{section, {}});
  modified_ = true;
  for (auto& e : s->entries)
    if (SameText(e.key, key)) {
      e.value = value;
      return;
    }
  s->entries.push_back({key, value});
}

bool IniStore::SectionExists(const std::string& section) const { return FindSection(section) != nullptr; }

bool IniStore::ValueExists(const std::string& section, const std::string& key) const {
  if (const Section* s = FindSection(section))
    for (const auto& e : s->entries)
      if (SameText(e.key, key)) return true;
  return false;
}

std::vector<std::string> IniStore::ReadSection(const std::string& section) const {
  std::vector<std::string> keys;
  if (const Section* s = FindSection(section))
    for (const auto& e : s->entries) keys.push_back(e.key);
  return keys;
}

std::vector<std::string> IniStore::ReadSections() const {
  std::vector<std::string> names;
  for (const auto& s : sections_) names.push_back(s.name);
  return names;
}

void IniStore::DeleteKey(const std::string& section, const std::string& key) {
  Section* s = FindSection(section);
  if (s == nullptr) return;
  for (auto it = s->entries.begin(); it != s->entries.end(); ++it)
    if (SameText(it->key, key)) {
      s->entries.erase(it);
      modified_ = true;
      return;
    }
}

void IniStore::EraseSection(const std::string& section) {
  for (auto it = sections_.begin(); it != sections_.end(); ++it)
    if (SameText(it->name, section)) {
      sections_.erase(it);
      modified_ = true;
      return;
    }
}

}  // namespace platform
