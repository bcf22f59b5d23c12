#pragma once

// User settings of the editor component (above all the find and replace
// settings) and the property walker that stores any persistent object, property
// by property, in the settings registry or as one hexadecimal value in a small
// key/value file. Each persistent class lists its properties in a hand-written
// table.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "editor/QuillContainers.h"
#include "editor/QuillStrings.h"

namespace platform {
class TRegistry;
}

namespace quill {

// A property value: nothing, an ordinal (integers, Booleans, enumerations), a
// floating-point number or a string.
using TQuillVariant = std::variant<std::monostate, int32_t, bool, double, std::string>;

enum TQuillTypeKind : uint32_t {
  tkInteger = 1,
  tkEnumeration = 2,  // Booleans too
  tkFloat = 4,
  tkString = 8,
  tkClass = 16,       // an owned sub-object, stored under its own key
  tkStringList = 32,  // a list of lines, stored as its text
};
constexpr uint32_t tkAny = 0xFFFFFFFFu;

class TQuillPersistent;

struct TQuillPropInfo {
  std::string Name;
  TQuillTypeKind Kind = tkInteger;
  // Ordinals as int32_t, floats as double, strings and string lists as string.
  std::function<TQuillVariant(const TQuillPersistent&)> Get;
  std::function<void(TQuillPersistent&, const TQuillVariant&)> Set;
  std::function<bool(const TQuillPersistent&)> Stored;   // empty: always stored
  std::function<TQuillPersistent*(TQuillPersistent&)> Object;  // tkClass only
};

// An object whose published properties can be stored and read back.
class TQuillPersistent : public TQuillObject {
 public:
  virtual std::string ClassName() const = 0;
  virtual const std::vector<TQuillPropInfo>& Properties() const = 0;
  // Raises EConvertError for a source of another kind.
  virtual void Assign(const TQuillPersistent& source);
};

// ---- property walker ----
using TQuillPropCallBack = std::function<void(TQuillPersistent& instance, const TQuillPropInfo& prop, void* data)>;
// Calls back for each property whose kind is in Kinds, sorted by name.
void ForEachProperty(TQuillPersistent& instance, uint32_t kinds, bool onlyStored, const TQuillPropCallBack& callback,
                     void* data);
TQuillVariant GetPropertyValue(const TQuillPersistent& instance, const TQuillPropInfo* prop);
void SetPropertyValue(TQuillPersistent& instance, const TQuillPropInfo* prop, const TQuillVariant& value);

// ---- registry form ----
// Reads by the type of the variant it is given; a missing value or key leaves
// it, a value stored as another type raises ERegistryException.
void ReadVarFromRegistry(const std::string& key, const std::string& name, TQuillVariant& value);
void WriteVarToRegistry(const std::string& key, const std::string& name, const TQuillVariant& value);
// The caller owns the result; null when the key or value does not exist. A
// value that is no byte array raises ERegistryException.
std::unique_ptr<std::string> ReadStreamFromRegistry(const std::string& key, const std::string& name);
void WriteStreamToRegistry(const std::string& key, const std::string& name, const std::string& bytes);
// The one registry object the editor's settings go through (the user's root).
platform::TRegistry& GetRegistry();
void ReadPersistentFromRegistry(TQuillPersistent& instance, const std::string& key);
void WritePersistentToRegistry(TQuillPersistent& instance, const std::string& key);

class TQuillPropsReaderWriter {
 public:
  explicit TQuillPropsReaderWriter(std::string key) : key_(std::move(key)) {}
  void ReadProperty(TQuillPersistent& instance, const TQuillPropInfo& prop, void* data);
  void WriteProperty(TQuillPersistent& instance, const TQuillPropInfo& prop, void* data);

 private:
  std::string key_;
};

// ---- stream and file form ----
// Our own compact format: every stored property by name and type, sub-objects nested.
void WritePersistentToStream(std::ostream& stream, TQuillPersistent& instance);
// Raises EStreamError on a damaged stream and then changes nothing; a value
// that does not fit its property raises EConvertError.
void ReadPersistentFromStream(std::istream& stream, TQuillPersistent& instance);
// Errors of the file or of its contents pass to the caller.
void ReadPersistentFromFile(TQuillPersistent& instance, const std::string& fileName, const std::string& name);
void WritePersistentToFile(TQuillPersistent& instance, const std::string& fileName, const std::string& name);

// A text file of "name=value" lines without sections.
// A file that exists but cannot be read raises EStreamError.
class TQuillIniFile {
 public:
  explicit TQuillIniFile(std::string fileName);
  // Writes the lines back unless UpdateFile already did; a failure here can
  // only be reported to the error log.
  ~TQuillIniFile();
  TQuillIniFile(const TQuillIniFile&) = delete;
  TQuillIniFile& operator=(const TQuillIniFile&) = delete;
  std::string ReadString(const std::string& name, const std::string& defaultValue) const;
  void WriteString(const std::string& name, const std::string& value);
  // Writes every line back, through a temporary file renamed over the old
  // one; raises EStreamError when it cannot.
  void UpdateFile();

 private:
  std::string fileName_;
  std::vector<std::string> lines_;
  bool written_ = false;
};

// ---- settings ----
class TQuillSettings;

struct TQuillSettingsClass {
  std::string Name;
  std::function<std::unique_ptr<TQuillSettings>()> Create;
  std::function<bool(TQuillObject* target)> IsValidSettings;
};

class TQuillSettings : public TQuillPersistent {
 public:
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  std::string GetSettingsKey() const;

  virtual void LoadSettings();
  virtual void SaveSettings();
  virtual std::string GetKey() const;
  virtual void Init() {}
  virtual void Apply() {}
  virtual void ApplySettings(TQuillObject* target) { (void)target; }

 private:
  int updateCount_ = 0;
};

enum class TQuillSearchDirection { srForward, srBackward };
enum class TQuillSearchScope { scGlobal, scSelectedText };
enum class TQuillSearchOrigin { sgFromCursor, sgEntireScope };

class TQuillSearchSettings : public TQuillSettings {
 public:
  // Loads the stored settings; the destructor stores them again. A store
  // that cannot be read raises (a value of the wrong type, a damaged
  // stream, a file that cannot be read).
  TQuillSearchSettings();
  ~TQuillSearchSettings() override;
  // For tests and for settings that must not touch the stored ones.
  struct NoLoad {};
  explicit TQuillSearchSettings(NoLoad);

  std::string ClassName() const override { return "TQuillSearchSettings"; }
  const std::vector<TQuillPropInfo>& Properties() const override;
  void Init() override;
  std::string GetKey() const override { return "SearchSettings"; }
  void Assign(const TQuillPersistent& source) override;
  bool Search(const TQuillStrings& strings, TPoint& pos, int& len, const TQuillCharSet& delimiters);

  std::string TextToFind;
  std::string ReplaceWith;
  bool PromptOnReplace = true;
  bool CaseSensitive = false;
  bool WholeWordsOnly = false;
  bool RegularExpr = false;
  TQuillSearchDirection Direction = TQuillSearchDirection::srForward;
  TQuillSearchScope Scope = TQuillSearchScope::scGlobal;
  TQuillSearchOrigin Origin = TQuillSearchOrigin::sgEntireScope;
  bool ShowNotFound = true;
  bool ReplaceAll = false;
  bool InReplace = false;
  bool FirstSearch = false;
  int GotoLineNumber = 0;

 private:
  bool saveOnDestroy_ = true;
};

// Where settings go: the registry key of the component, or the key/value file.
extern const std::string DefaultKey;
extern std::string SettingsKey;
extern bool StoreSettingsToRegistry;
// The key/value file in the user's own settings folder (under the program's home).
std::string SettingsFileName();
void SetSettingsFileName(const std::string& fileName);

using TQuillGetFindRoutineEvent = std::function<void(TQuillObject* sender, TQuillSearchProc& routine)>;
extern TQuillGetFindRoutineEvent OnGetGlobalFindRoutine;

void AddGlobalSetting(const TQuillSettingsClass* settingsClass);
TQuillSettings* GlobalSettings(TQuillObject* target);
TQuillSettings* GlobalClassSettings(const TQuillSettingsClass* settingsClass);
TQuillSearchSettings& SearchSettings();
// End of the program: the search settings are stored, every instance freed.
// Runs by itself when a program that made any of them ends.
void FreeGlobalSettings();

}  // namespace quill
