#include "editor/QuillSettings.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "editor/QuillRegExpr.h"
#include "editor/QuillUtils.h"
#include "platform/AppHome.h"
#include "platform/ErrorSink.h"
#include "platform/Registry.h"
#include "platform/Stream.h"

namespace quill {

const std::string DefaultKey = "Software\\Halvergate\\Quillset\\";
std::string SettingsKey = DefaultKey + "Settings";
bool StoreSettingsToRegistry = true;
TQuillGetFindRoutineEvent OnGetGlobalFindRoutine;

namespace {
std::string& SettingsFileOverride() {
  static auto* name = new std::string;
  return *name;
}
}  // namespace

std::string SettingsFileName() {
  if (!SettingsFileOverride().empty()) return SettingsFileOverride();
  return (platform::AppHome() / "QuillSettings.txt").string();
}

void SetSettingsFileName(const std::string& fileName) { SettingsFileOverride() = fileName; }

void TQuillPersistent::Assign(const TQuillPersistent& source) {
  throw platform::EConvertError("Cannot assign a " + source.ClassName() + " to a " + ClassName());
}

// ---------------------------------------------------------------- property walker

void ForEachProperty(TQuillPersistent& instance, uint32_t kinds, bool onlyStored, const TQuillPropCallBack& callback,
                     void* data) {
  if (!callback) return;
  std::vector<const TQuillPropInfo*> props;
  for (const auto& p : instance.Properties())
    if (p.Kind & kinds) props.push_back(&p);
  std::sort(props.begin(), props.end(), [](const TQuillPropInfo* a, const TQuillPropInfo* b) {
    return CompareTextEx(a->Name, b->Name.c_str(), static_cast<int>(b->Name.size())) < 0;
  });
  for (const TQuillPropInfo* p : props) {
    if (onlyStored && p->Stored && !p->Stored(instance)) continue;
    callback(instance, *p, data);
  }
}

TQuillVariant GetPropertyValue(const TQuillPersistent& instance, const TQuillPropInfo* prop) {
  if (prop == nullptr || !prop->Get || prop->Kind == tkClass) return {};
  TQuillVariant v = prop->Get(instance);
  if ((prop->Kind & (tkInteger | tkEnumeration)) && std::holds_alternative<bool>(v)) return std::get<bool>(v) ? 1 : 0;
  return v;
}

void SetPropertyValue(TQuillPersistent& instance, const TQuillPropInfo* prop, const TQuillVariant& value) {
  if (prop == nullptr || !prop->Set) return;
  if (prop->Kind & (tkInteger | tkEnumeration)) {
    int32_t ordinal = 0;
    if (const auto* s = std::get_if<std::string>(&value)) {
      char* end = nullptr;
      errno = 0;
      long long v = std::strtoll(s->c_str(), &end, 10);
      if (s->empty() || *end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
        throw platform::EConvertError("'" + *s + "' is not a valid integer value");
      ordinal = static_cast<int32_t>(v);
    } else if (const auto* b = std::get_if<bool>(&value)) {
      ordinal = *b ? 1 : 0;
    } else if (const auto* i = std::get_if<int32_t>(&value)) {
      ordinal = *i;
    } else if (const auto* d = std::get_if<double>(&value)) {
      // A stored number that no integer can hold (or not a number at all) is bad
      // contents, not a value to wrap around.
      if (!(*d >= INT32_MIN && *d <= INT32_MAX)) throw platform::EConvertError("Invalid integer value");
      ordinal = static_cast<int32_t>(*d);
    } else {
      return;
    }
    prop->Set(instance, ordinal);
  } else if (prop->Kind & (tkFloat | tkString | tkStringList)) {
    prop->Set(instance, value);
  }
}

// ---------------------------------------------------------------- registry form

namespace {
// Made once and never destroyed: settings may still be saved while the program
// tears its statics down.
platform::TRegistry& Registry() {
  static auto* registry = new platform::TRegistry(platform::RegRoot::CurrentUser);
  return *registry;
}

}  // namespace

platform::TRegistry& GetRegistry() { return Registry(); }

namespace {
struct KeyCloser {
  ~KeyCloser() { Registry().CloseKey(); }
};
}  // namespace

void ReadVarFromRegistry(const std::string& key, const std::string& name, TQuillVariant& value) {
  if (name.empty()) return;
  auto& reg = Registry();
  if (!reg.OpenKey(key, false)) return;
  KeyCloser closer;
  if (!reg.ValueExists(name)) return;
  if (std::holds_alternative<int32_t>(value))
    value = reg.ReadInteger(name);
  else if (std::holds_alternative<bool>(value))
    value = reg.ReadBool(name);
  else if (std::holds_alternative<double>(value))
    value = reg.ReadFloat(name);
  else if (std::holds_alternative<std::string>(value))
    value = reg.ReadString(name);
  else
    throw platform::Exception(msg::sUnknownRegType);
}

void WriteVarToRegistry(const std::string& key, const std::string& name, const TQuillVariant& value) {
  if (name.empty()) return;
  if (std::holds_alternative<std::monostate>(value)) throw platform::Exception(msg::sUnknownRegType);
  auto& reg = Registry();
  if (!reg.OpenKey(key, true)) return;
  KeyCloser closer;
  if (const auto* i = std::get_if<int32_t>(&value))
    reg.WriteInteger(name, *i);
  else if (const auto* b = std::get_if<bool>(&value))
    reg.WriteBool(name, *b);
  else if (const auto* d = std::get_if<double>(&value))
    reg.WriteFloat(name, *d);
  else if (const auto* s = std::get_if<std::string>(&value))
    reg.WriteString(name, *s);
}

std::unique_ptr<std::string> ReadStreamFromRegistry(const std::string& key, const std::string& name) {
  if (name.empty()) return nullptr;
  auto& reg = Registry();
  if (!reg.OpenKey(key, false)) return nullptr;
  KeyCloser closer;
  if (!reg.ValueExists(name)) return nullptr;
  auto bytes = reg.ReadBinaryData(name);
  return std::make_unique<std::string>(bytes.begin(), bytes.end());
}

void WriteStreamToRegistry(const std::string& key, const std::string& name, const std::string& bytes) {
  if (name.empty()) return;
  auto& reg = Registry();
  if (!reg.OpenKey(key, true)) return;
  KeyCloser closer;
  reg.WriteBinaryData(name, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

void TQuillPropsReaderWriter::ReadProperty(TQuillPersistent& instance, const TQuillPropInfo& prop, void*) {
  if (prop.Kind == tkClass) {
    if (prop.Object)
      if (TQuillPersistent* sub = prop.Object(instance)) ReadPersistentFromRegistry(*sub, key_ + "\\" + prop.Name);
    return;
  }
  TQuillVariant value = GetPropertyValue(instance, &prop);
  ReadVarFromRegistry(key_, prop.Name, value);
  SetPropertyValue(instance, &prop, value);
}

void TQuillPropsReaderWriter::WriteProperty(TQuillPersistent& instance, const TQuillPropInfo& prop, void*) {
  if (prop.Kind == tkClass) {
    if (prop.Object)
      if (TQuillPersistent* sub = prop.Object(instance)) WritePersistentToRegistry(*sub, key_ + "\\" + prop.Name);
    return;
  }
  WriteVarToRegistry(key_, prop.Name, GetPropertyValue(instance, &prop));
}

void ReadPersistentFromRegistry(TQuillPersistent& instance, const std::string& key) {
  TQuillPropsReaderWriter rw(key);
  ForEachProperty(
      instance, tkAny, true, [&rw](TQuillPersistent& i, const TQuillPropInfo& p, void* d) { rw.ReadProperty(i, p, d); },
      nullptr);
}

void WritePersistentToRegistry(TQuillPersistent& instance, const std::string& key) {
  TQuillPropsReaderWriter rw(key);
  ForEachProperty(
      instance, tkAny, true, [&rw](TQuillPersistent& i, const TQuillPropInfo& p, void* d) { rw.WriteProperty(i, p, d); },
      nullptr);
}

// ---------------------------------------------------------------- stream form

namespace {
// Stream layout: "QPS1", then per property: name length (1 byte), name, tag
// (1 byte), value; tags: 1 int32, 2 double, 3 string (4-byte length), 4 nested
// object up to tag 0. Numbers little-endian.
constexpr char kMagic[4] = {'Q', 'P', 'S', '1'};
constexpr uint8_t kEnd = 0, kInt = 1, kFloat = 2, kString = 3, kObject = 4;
constexpr int kMaxDepth = 16;

void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void WriteObject(std::string& out, TQuillPersistent& instance, int depth) {
  if (depth > kMaxDepth) return;
  ForEachProperty(
      instance, tkAny, true,
      [&out, depth](TQuillPersistent& inst, const TQuillPropInfo& p, void*) {
        std::string name = p.Name.substr(0, 255);
        if (p.Kind == tkClass) {
          TQuillPersistent* sub = p.Object ? p.Object(inst) : nullptr;
          if (sub == nullptr) return;
          out += static_cast<char>(name.size());
          out += name;
          out += static_cast<char>(kObject);
          WriteObject(out, *sub, depth + 1);
          out += static_cast<char>(kEnd);
          return;
        }
        TQuillVariant v = GetPropertyValue(inst, &p);
        out += static_cast<char>(name.size());
        out += name;
        if (const auto* i = std::get_if<int32_t>(&v)) {
          out += static_cast<char>(kInt);
          PutU32(out, static_cast<uint32_t>(*i));
        } else if (const auto* d = std::get_if<double>(&v)) {
          out += static_cast<char>(kFloat);
          uint64_t bits;
          std::memcpy(&bits, d, sizeof bits);
          PutU32(out, static_cast<uint32_t>(bits));
          PutU32(out, static_cast<uint32_t>(bits >> 32));
        } else {
          const std::string* s = std::get_if<std::string>(&v);
          std::string text = s != nullptr ? *s : std::string();
          out += static_cast<char>(kString);
          PutU32(out, static_cast<uint32_t>(text.size()));
          out += text;
        }
      },
      nullptr);
}

struct ParsedValue {
  std::string name;
  TQuillVariant value;
  std::vector<ParsedValue> children;
  bool object = false;
};

class Reader {
 public:
  explicit Reader(const std::string& bytes) : b_(bytes) {}
  uint8_t U8() {
    Need(1);
    return static_cast<uint8_t>(b_[p_++]);
  }
  uint32_t U32() {
    Need(4);
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(b_[p_ + static_cast<size_t>(i)])) << (8 * i);
    p_ += 4;
    return v;
  }
  std::string Bytes(size_t n) {
    Need(n);
    std::string s = b_.substr(p_, n);
    p_ += n;
    return s;
  }
  bool AtEnd() const { return p_ >= b_.size(); }

 private:
  void Need(size_t n) const {
    if (b_.size() - p_ < n) throw platform::EStreamError("Settings stream is damaged");
  }
  const std::string& b_;
  size_t p_ = 0;
};

std::vector<ParsedValue> ParseObject(Reader& r, int depth, bool topLevel) {
  if (depth > kMaxDepth) throw platform::EStreamError("Settings stream is damaged");
  std::vector<ParsedValue> values;
  for (;;) {
    if (topLevel && r.AtEnd()) return values;
    uint8_t nameLength = r.U8();
    if (nameLength == kEnd && !topLevel) return values;
    ParsedValue v;
    v.name = r.Bytes(nameLength);
    uint8_t tag = r.U8();
    switch (tag) {
      case kInt:
        v.value = static_cast<int32_t>(r.U32());
        break;
      case kFloat: {
        uint64_t lo = r.U32(), hi = r.U32();
        uint64_t bits = lo | (hi << 32);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        v.value = d;
        break;
      }
      case kString:
        v.value = r.Bytes(r.U32());
        break;
      case kObject:
        v.object = true;
        v.children = ParseObject(r, depth + 1, false);
        break;
      default:
        throw platform::EStreamError("Settings stream is damaged");
    }
    values.push_back(std::move(v));
  }
}

void ApplyValues(TQuillPersistent& instance, const std::vector<ParsedValue>& values) {
  for (const auto& v : values) {
    for (const auto& p : instance.Properties()) {
      if (CompareTextEx(p.Name, v.name.c_str(), static_cast<int>(v.name.size())) != 0) continue;
      if (v.object) {
        if (p.Kind == tkClass && p.Object)
          if (TQuillPersistent* sub = p.Object(instance)) ApplyValues(*sub, v.children);
      } else if (p.Kind != tkClass) {
        SetPropertyValue(instance, &p, v.value);
      }
      break;
    }
  }
}
}  // namespace

void WritePersistentToStream(std::ostream& stream, TQuillPersistent& instance) {
  std::string out(kMagic, sizeof kMagic);
  WriteObject(out, instance, 0);
  stream.write(out.data(), static_cast<std::streamsize>(out.size()));
}

void ReadPersistentFromStream(std::istream& stream, TQuillPersistent& instance) {
  std::string bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  if (bytes.size() < sizeof kMagic || bytes.compare(0, sizeof kMagic, kMagic, sizeof kMagic) != 0)
    throw platform::EStreamError("Settings stream is damaged");
  std::string body = bytes.substr(sizeof kMagic);
  Reader r(body);
  // Everything is parsed before anything is applied: a damaged stream changes nothing.
  std::vector<ParsedValue> values = ParseObject(r, 0, true);
  ApplyValues(instance, values);
}

void ReadPersistentFromFile(TQuillPersistent& instance, const std::string& fileName, const std::string& name) {
  TQuillIniFile ini(fileName);
  std::string bytes = HexToString(ini.ReadString(name, ""));
  if (bytes.empty()) return;
  std::istringstream in(bytes);
  ReadPersistentFromStream(in, instance);
}

void WritePersistentToFile(TQuillPersistent& instance, const std::string& fileName, const std::string& name) {
  std::ostringstream out;
  WritePersistentToStream(out, instance);
  TQuillIniFile ini(fileName);
  ini.WriteString(name, StringToHex(out.str()));
  ini.UpdateFile();
}

TQuillIniFile::TQuillIniFile(std::string fileName) : fileName_(std::move(fileName)) {
  std::error_code ec;
  if (fileName_.empty() || !std::filesystem::exists(fileName_, ec)) return;
  // A file that is there but cannot be read raises: taking it as empty would
  // write its other lines away.
  TMemoryStream file;
  file.LoadFromFile(platform::FileName(std::filesystem::path(fileName_)));
  std::istringstream in(file.ToString());
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines_.push_back(line);
  }
}

TQuillIniFile::~TQuillIniFile() {
  if (fileName_.empty() || written_) return;
  try {
    UpdateFile();
  } catch (const std::exception& e) {
    platform::ReportError("Editor settings cannot be saved: " + std::string(e.what()));
  }
}

std::string TQuillIniFile::ReadString(const std::string& name, const std::string& defaultValue) const {
  for (const auto& line : lines_) {
    auto eq = line.find('=');
    if (eq != std::string::npos && line.compare(0, eq, name) == 0 && eq == name.size()) return line.substr(eq + 1);
  }
  return defaultValue;
}

void TQuillIniFile::WriteString(const std::string& name, const std::string& value) {
  for (auto& line : lines_) {
    auto eq = line.find('=');
    if (eq == name.size() && line.compare(0, eq, name) == 0) {
      line = name + "=" + value;
      written_ = false;
      return;
    }
  }
  lines_.push_back(name + "=" + value);
  written_ = false;
}

void TQuillIniFile::UpdateFile() {
  if (fileName_.empty()) return;
  // A write that fails here is the caller's to report: the destructor does
  // not try it again.
  written_ = true;
  namespace fs = std::filesystem;
  fs::path target(fileName_);
  std::error_code ec;
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
  SaveFileWhole(platform::FileName(target), [this](std::ostream& out) {
    for (const auto& line : lines_) out << line << "\n";
  });
}

// ---------------------------------------------------------------- settings

void TQuillSettings::EndUpdate() {
  if (updateCount_ <= 0) return;
  if (--updateCount_ == 0) Apply();
}

std::string TQuillSettings::GetKey() const { return ClassName().substr(1); }

std::string TQuillSettings::GetSettingsKey() const {
  const bool separated = !SettingsKey.empty() && SettingsKey.back() == '\\';
  return SettingsKey + (separated ? "" : "\\") + GetKey();
}

void TQuillSettings::LoadSettings() {
  BeginUpdate();
  try {
    if (StoreSettingsToRegistry)
      ReadPersistentFromRegistry(*this, GetSettingsKey());
    else
      ReadPersistentFromFile(*this, SettingsFileName(), GetKey());
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TQuillSettings::SaveSettings() {
  if (StoreSettingsToRegistry)
    WritePersistentToRegistry(*this, GetSettingsKey());
  else
    WritePersistentToFile(*this, SettingsFileName(), GetKey());
}

TQuillSearchSettings::TQuillSearchSettings() {
  Init();
  try {
    LoadSettings();
  } catch (...) {
    // Settings that fail to load are stored as far as they came (defaults for
    // the rest), as the destructor would, so the next use starts from a
    // sound store; the failure itself goes to the caller.
    try {
      SaveSettings();
    } catch (...) {
    }
    throw;
  }
}

TQuillSearchSettings::TQuillSearchSettings(NoLoad) : saveOnDestroy_(false) { Init(); }

TQuillSearchSettings::~TQuillSearchSettings() {
  if (!saveOnDestroy_) return;
  try {
    SaveSettings();
  } catch (const std::exception& e) {
    platform::ReportError(std::string("Editor settings cannot be saved: ") + e.what());
  }
}

void TQuillSearchSettings::Init() {
  TextToFind.clear();
  ReplaceWith.clear();
  PromptOnReplace = true;
  CaseSensitive = WholeWordsOnly = RegularExpr = false;
  Direction = TQuillSearchDirection::srForward;
  Scope = TQuillSearchScope::scGlobal;
  Origin = TQuillSearchOrigin::sgEntireScope;
  ShowNotFound = true;
  ReplaceAll = InReplace = FirstSearch = false;
  GotoLineNumber = 0;
}

namespace {
template <class Field>
TQuillPropInfo BoolProp(const char* name, Field TQuillSearchSettings::*field) {
  return {name, tkEnumeration,
          [field](const TQuillPersistent& p) -> TQuillVariant {
            return static_cast<int32_t>(static_cast<const TQuillSearchSettings&>(p).*field ? 1 : 0);
          },
          [field](TQuillPersistent& p, const TQuillVariant& v) {
            if (const auto* i = std::get_if<int32_t>(&v)) static_cast<TQuillSearchSettings&>(p).*field = *i != 0;
          },
          nullptr, nullptr};
}

template <class Enum>
TQuillPropInfo EnumProp(const char* name, Enum TQuillSearchSettings::*field, int count) {
  return {name, tkEnumeration,
          [field](const TQuillPersistent& p) -> TQuillVariant {
            return static_cast<int32_t>(static_cast<const TQuillSearchSettings&>(p).*field);
          },
          [field, count](TQuillPersistent& p, const TQuillVariant& v) {
            const auto* i = std::get_if<int32_t>(&v);
            if (i != nullptr && *i >= 0 && *i < count) static_cast<TQuillSearchSettings&>(p).*field = static_cast<Enum>(*i);
          },
          nullptr, nullptr};
}

TQuillPropInfo StringProp(const char* name, std::string TQuillSearchSettings::*field) {
  return {name, tkString,
          [field](const TQuillPersistent& p) -> TQuillVariant { return static_cast<const TQuillSearchSettings&>(p).*field; },
          [field](TQuillPersistent& p, const TQuillVariant& v) {
            if (const auto* s = std::get_if<std::string>(&v)) static_cast<TQuillSearchSettings&>(p).*field = *s;
          },
          nullptr, nullptr};
}
}  // namespace

const std::vector<TQuillPropInfo>& TQuillSearchSettings::Properties() const {
  using S = TQuillSearchSettings;
  static const std::vector<TQuillPropInfo> props = {
      StringProp("TextToFind", &S::TextToFind),
      StringProp("ReplaceWith", &S::ReplaceWith),
      BoolProp("PromptOnReplace", &S::PromptOnReplace),
      BoolProp("CaseSensitive", &S::CaseSensitive),
      BoolProp("WholeWordsOnly", &S::WholeWordsOnly),
      BoolProp("RegularExpr", &S::RegularExpr),
      EnumProp("Direction", &S::Direction, 2),
      EnumProp("Scope", &S::Scope, 2),
      EnumProp("Origin", &S::Origin, 2),
      BoolProp("ShowNotFound", &S::ShowNotFound),
      BoolProp("ReplaceAll", &S::ReplaceAll),
      BoolProp("InReplace", &S::InReplace),
      BoolProp("FirstSearch", &S::FirstSearch),
      {"GotoLineNumber", tkInteger,
       [](const TQuillPersistent& p) -> TQuillVariant { return static_cast<const S&>(p).GotoLineNumber; },
       [](TQuillPersistent& p, const TQuillVariant& v) {
         if (const auto* i = std::get_if<int32_t>(&v)) static_cast<S&>(p).GotoLineNumber = *i;
       },
       nullptr, nullptr},
  };
  return props;
}

void TQuillSearchSettings::Assign(const TQuillPersistent& source) {
  const auto* s = dynamic_cast<const TQuillSearchSettings*>(&source);
  if (s == nullptr) {
    TQuillSettings::Assign(source);
    return;
  }
  if (s == this) return;
  BeginUpdate();
  TextToFind = s->TextToFind;
  ReplaceWith = s->ReplaceWith;
  PromptOnReplace = s->PromptOnReplace;
  CaseSensitive = s->CaseSensitive;
  WholeWordsOnly = s->WholeWordsOnly;
  RegularExpr = s->RegularExpr;
  Direction = s->Direction;
  Scope = s->Scope;
  Origin = s->Origin;
  ShowNotFound = s->ShowNotFound;
  ReplaceAll = s->ReplaceAll;
  InReplace = s->InReplace;
  FirstSearch = s->FirstSearch;
  GotoLineNumber = s->GotoLineNumber;
  EndUpdate();
}

bool TQuillSearchSettings::Search(const TQuillStrings& strings, TPoint& pos, int& len, const TQuillCharSet& delimiters) {
  if (strings.Count() == 0) return false;
  const bool forward = Direction == TQuillSearchDirection::srForward;
  if (FirstSearch) {
    FirstSearch = false;
    if (Origin == TQuillSearchOrigin::sgEntireScope) {
      if (forward)
        pos = {1, 0};
      else
        pos = {static_cast<int>(strings.Get(strings.Count() - 1).size()), strings.Count() - 1};
    }
  }
  TQuillSearchParams params = 0;
  if (CaseSensitive) params |= srpCaseSensitive;
  if (WholeWordsOnly) params |= srpWholeWords;
  if (forward) params |= srpForward;
  if (!RegularExpr) return SearchInStrings(TextToFind, strings, params, delimiters, pos, len, nullptr);

  TQuillSearchProc routine;
  if (OnGetGlobalFindRoutine) OnGetGlobalFindRoutine(this, routine);
  if (routine) return SearchInStrings(TextToFind, strings, params, delimiters, pos, len, routine);

  TQuillRegExpr expression(TextToFind, CaseSensitive);
  if (expression.EmptyLine()) pos.X += forward ? 1 : -1;
  routine = [&expression](const std::string& line, int& start, int& length, bool direction) {
    return expression.Find(line, direction, length, start);
  };
  const TPoint start = pos;
  bool found = SearchInStrings(TextToFind, strings, params, delimiters, pos, len, routine);
  if (found && forward && len == 0 && pos == start) {
    // An empty match where the search began: step past it, so that the next
    // search moves on instead of finding the same place again.
    if (pos.X > static_cast<int>(strings.Get(pos.Y).size()) && pos.Y + 1 < strings.Count())
      pos = {1, pos.Y + 1};
    else
      ++pos.X;
  }
  return found;
}

// ---------------------------------------------------------------- global settings

namespace {
struct GlobalEntry {
  const TQuillSettingsClass* settingsClass;
  std::unique_ptr<TQuillSettings> instance;
};

// Freed (and the search settings saved) by FreeGlobalSettings at the end of the
// program, not by the teardown of statics, whose order is not ours to choose.
std::vector<GlobalEntry>& GlobalList() {
  static auto* list = new std::vector<GlobalEntry>;
  return *list;
}

std::unique_ptr<TQuillSearchSettings>& SearchSettingsInstance() {
  static auto* instance = new std::unique_ptr<TQuillSearchSettings>;
  return *instance;
}

// Whatever program makes a settings object stores it when it ends, whether
// or not it calls FreeGlobalSettings itself.
void FreeAtExit() {
  static const bool registered = [] {
    std::atexit([] { FreeGlobalSettings(); });
    return true;
  }();
  (void)registered;
}

TQuillSettings* InstanceOf(GlobalEntry& e) {
  if (!e.instance && e.settingsClass->Create) {
    e.instance = e.settingsClass->Create();
    FreeAtExit();
  }
  return e.instance.get();
}
}  // namespace

void AddGlobalSetting(const TQuillSettingsClass* settingsClass) {
  if (settingsClass != nullptr) GlobalList().push_back({settingsClass, nullptr});
}

TQuillSettings* GlobalSettings(TQuillObject* target) {
  for (auto& e : GlobalList())
    if (e.settingsClass->IsValidSettings && e.settingsClass->IsValidSettings(target)) return InstanceOf(e);
  return nullptr;
}

TQuillSettings* GlobalClassSettings(const TQuillSettingsClass* settingsClass) {
  for (auto& e : GlobalList())
    if (e.settingsClass == settingsClass) return InstanceOf(e);
  return nullptr;
}

TQuillSearchSettings& SearchSettings() {
  auto& instance = SearchSettingsInstance();
  if (!instance) {
    instance = std::make_unique<TQuillSearchSettings>();
    FreeAtExit();
  }
  return *instance;
}

void FreeGlobalSettings() {
  SearchSettingsInstance().reset();
  GlobalList().clear();
}

}  // namespace quill
