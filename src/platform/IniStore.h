#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Charset.h"
#include "platform/Exception.h"

namespace platform {

// A name or value that would not survive a round trip through the file (a line
// break, a "=" in a key, a "]" in a section name, an empty name).
class EIniError : public Exception {
 public:
  using Exception::Exception;
};

// A small settings file held in memory: "[Section]" lines, each followed by its
// "Key=Value" lines, CR LF line ends. Sections and keys keep the order in which
// they were first written and compare without regard to ASCII case; values are
// 8-bit text kept exactly as written (no trimming, no quoting).
//
// Nothing touches the disk until Save, which writes a temporary file and renames
// it over the old one. A store bound to a file saves pending changes when it
// goes, so a store held open for the whole run behaves like the file itself.
class IniStore {
 public:
  using LogFn = std::function<void(const std::string& message)>;

  // Reads `file` at once. A missing file gives an empty store; one that cannot
  // be read, or something there that is not a plain file, is renamed aside,
  // reported through `log`, and the store starts empty (the next Save then
  // writes a fresh file).
  explicit IniStore(FileName file, LogFn log = {});
  ~IniStore();
  IniStore(const IniStore&) = delete;
  IniStore& operator=(const IniStore&) = delete;

  const FileName& File() const { return file_; }

  // Drops what is in memory and reads the file again, as the constructor does.
  void Load();
  // Writes the whole store atomically; raises EStreamError (the old file stays
  // as it was) when it cannot. Clears Modified.
  void Save();
  bool Modified() const { return modified_; }

  std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
  // Raises EIniError for a section, key or value that the file could not hold.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  bool SectionExists(const std::string& section) const;
  bool ValueExists(const std::string& section, const std::string& key) const;
  // The keys of one section in file order; empty for a missing section.
  std::vector<std::string> ReadSection(const std::string& section) const;
  std::vector<std::string> ReadSections() const;
  void DeleteKey(const std::string& section, const std::string& key);
  void EraseSection(const std::string& section);

  // The file's content as Save writes it, and the parser Load uses.
  std::string Text() const;
  void SetText(const std::string& text);

 private:
  struct Entry {
    std::string key, value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  const Section* FindSection(const std::string& name) const;
  Section* FindSection(const std::string& name);

  FileName file_;
  LogFn log_;
  std::vector<Section> sections_;
  bool modified_ = false;
};

}  // namespace platform
