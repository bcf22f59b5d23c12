#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/Exception.h"

namespace platform {

// A settings read or write that cannot be carried out: no open key, a missing
// value, a value of another type, or a settings file that cannot be saved.
class ERegistryException : public Exception {
 public:
  using Exception::Exception;
};

// The user's own settings, and the settings of the whole installation. Both live
// under AppHome(); the machine root borrows the user root's file for whatever
// cannot be written to its own (see TRegistry).
enum class RegRoot { CurrentUser, LocalMachine };

enum class RegDataType { None, String, Integer, Binary, Float, Date };

// The file that holds one root. Its format is described in docs/settings-format.md.
std::filesystem::path RegistryFile(RegRoot root);

// Hierarchical settings: keys named by "\"-separated paths (compared without regard
// to ASCII case), each holding named, typed values. Every instance reads the file
// afresh when a key is opened and writes it back (atomically, mode 0600: it holds
// passwords) on every change, so two instances never lose each other's writes.
//
// Reading never creates anything; writing creates the open key and its parents.
// A typed read of a missing value or of a value of another type raises.
// Booleans are integers: 0 is false, anything else true.
class TRegistry {
 public:
  explicit TRegistry(RegRoot root = RegRoot::CurrentUser);

  RegRoot Root() const { return root_; }

  // Opens a key; every key path is taken from the root, a leading "\" is ignored. Without canCreate a
  // missing key gives false and nothing is created; with it the key is created in
  // the file at once.
  bool OpenKey(const std::string& key, bool canCreate);
  bool OpenKeyReadOnly(const std::string& key) { return OpenKey(key, false); }
  void CloseKey();
  bool HasCurrentKey() const { return open_; }
  const std::string& CurrentPath() const { return current_; }

  bool KeyExists(const std::string& key);
  // Removes a key with its values and sub-keys; false when it did not exist.
  bool DeleteKey(const std::string& key);
  std::vector<std::string> GetKeyNames() const;

  bool ValueExists(const std::string& name) const;
  RegDataType GetDataType(const std::string& name) const;
  std::vector<std::string> GetValueNames() const;
  bool DeleteValue(const std::string& name);

  std::string ReadString(const std::string& name) const;
  int32_t ReadInteger(const std::string& name) const;
  bool ReadBool(const std::string& name) const;
  std::vector<uint8_t> ReadBinaryData(const std::string& name) const;
  double ReadFloat(const std::string& name) const;
  // Dates are date-time serials: whole days since 30 Dec 1899, the fraction being
  // the time of day.
  double ReadDate(const std::string& name) const;

  void WriteString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, int32_t value);
  void WriteBool(const std::string& name, bool value);
  void WriteBinaryData(const std::string& name, const std::vector<uint8_t>& value);
  void WriteFloat(const std::string& name, double value);
  void WriteDate(const std::string& name, double value);

  // One stored value; public so that the file reader and writer can share it.
  struct Value {
    RegDataType type = RegDataType::None;
    std::string text;            // String
    int32_t integer = 0;         // Integer
    std::vector<uint8_t> bytes;  // Binary
    double number = 0;           // Float, Date
  };
  struct Key {
    std::string path;  // as first written, for display
    std::vector<std::pair<std::string, Value>> values;
  };
  // Keys by lower-case path.
  using Document = std::map<std::string, Key>;

 private:
  const Value& Find(const std::string& name, RegDataType type) const;
  void Store(const std::string& name, Value value);
  template <class Change>
  bool Modify(Change change);

  RegRoot root_;
  bool open_ = false;
  std::string current_;  // lower-case path of the open key ("" is the root itself)
  std::string display_;  // the same path as the caller wrote it
  Document view_;        // what the last open or write saw
};

// The text form of a settings file, exposed for its tests and fuzz target.
// Parsing never fails: lines it cannot read are skipped and counted in *badLines.
TRegistry::Document ParseRegistryText(const std::string& text, int* badLines);
std::string FormatRegistryText(const TRegistry::Document& doc);

}  // namespace platform
