#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <system_error>

#include "platform/AppHome.h"
#include "platform/Charset.h"
#include "platform/ErrorSink.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

namespace platform {

namespace {

// Nothing the program stores comes near this; a bigger file is not ours.
constexpr std::uintmax_t kMaxFileSize = 16u << 20;

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool SameName(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

std::string TrimPath(const std::string& key) {
  size_t begin = 0, end = key.size();
  while (begin < end && key[begin] == '\\') ++begin;
  while (end > begin && key[end - 1] == '\\') --end;
  return key.substr(begin, end - begin);
}

const char* TypeName(RegDataType type) {
  switch (type) {
    case RegDataType::String: return "str";
    case RegDataType::Integer: return "int";
    case RegDataType::Binary: return "bin";
    case RegDataType::Float: return "float";
    case RegDataType::Date: return "date";
    case RegDataType::None: break;
  }
  return "none";
}

// ---- text form -------------------------------------------------------------

void AppendHex(std::string& out, unsigned char c) {
  static const char digits[] = "0123456789ABCDEF";
  out += "\\x";
  out += digits[c >> 4];
  out += digits[c & 15];
}

// Names and strings are written in plain ASCII so that the file reads the same in
// any editor; the reader undoes exactly these escapes.
std::string Escape(const std::string& s, bool isName) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    const bool first = i == 0, last = i + 1 == s.size();
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else if (c < 0x20 || c >= 0x7F) AppendHex(out, c);
    // The reader trims blanks around names and at the end of a line, and takes the
    // first "=" as the end of the name and a leading "[", "#" or ";" as no value.
    else if (c == ' ' && (last || (first && isName))) AppendHex(out, c);
    else if (isName && (c == '=' || (first && (c == '[' || c == '#' || c == ';')))) AppendHex(out, c);
    else out += static_cast<char>(c);
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Unescape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char e = s[++i];
    if (e == 'n') out += '\n';
    else if (e == 'r') out += '\r';
    else if (e == 't') out += '\t';
    else if (e == 'x' && i + 2 < s.size() && HexDigit(s[i + 1]) >= 0 && HexDigit(s[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(s[i + 1]) * 16 + HexDigit(s[i + 2]));
      i += 2;
    } else out += e;  // "\\" and any escape we do not know stand for the character itself
  }
  return out;
}

bool IsUtf8WithNonAscii(std::string_view s) {
  bool nonAscii = false;
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    nonAscii = true;
    const size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (length == 0 || i + length > s.size()) return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += length;
  }
  return nonAscii;
}

// We write plain ASCII; other characters come from someone editing the file, whose
// editor saved them as UTF-8. Bytes that are no UTF-8 are taken as they stand.
std::string FromFileText(std::string_view raw) {
  if (!IsUtf8WithNonAscii(raw)) return Unescape(raw);
  return Unescape(Utf8ToAnsi(std::string(raw)));
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool ParseInteger(std::string_view s, int32_t& out) {
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) negative = s[0] == '-', s.remove_prefix(1);
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) base = 16, s.remove_prefix(2);
  if (s.empty()) return false;
  uint64_t value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
  if (ec != std::errc() || end != s.data() + s.size()) return false;
  // Integers are 32-bit words: both their signed and unsigned readings are accepted.
  if (negative ? value > 0x80000000ull : value > 0xFFFFFFFFull) return false;
  const int64_t signedValue = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
  out = static_cast<int32_t>(static_cast<uint32_t>(signedValue));
  return true;
}

bool ParseFloat(std::string_view s, double& out) {
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && end == s.data() + s.size() && !s.empty();
}

std::string FormatFloat(double value) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  return ec == std::errc() ? std::string(buf, end) : std::string("0");
}

bool ParseBinary(std::string_view s, std::vector<uint8_t>& out) {
  out.clear();
  for (size_t i = 0; i < s.size();) {
    if (s[i] == ' ' || s[i] == ',' || s[i] == '\t') {
      ++i;
      continue;
    }
    if (i + 1 >= s.size() || HexDigit(s[i]) < 0 || HexDigit(s[i + 1]) < 0) return false;
    out.push_back(static_cast<uint8_t>(HexDigit(s[i]) * 16 + HexDigit(s[i + 1])));
    i += 2;
  }
  return true;
}

// Civil dates from day numbers (days since 1970-01-01), proleptic Gregorian.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

// Day 0 of a date-time serial is 30 Dec 1899.
constexpr int64_t kSerialEpoch = -25569;
// Beyond these years a serial is no date anyone means; it is kept as a number.
constexpr double kMaxSerialDays = 2958466.0;  // 31 Dec 9999

std::string FormatDate(double serial) {
  if (!std::isfinite(serial) || serial < -657434.0 || serial > kMaxSerialDays) return FormatFloat(serial);
  int64_t ms = std::llround(serial * 86400000.0);
  int64_t days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
  int64_t rest = ms - days * 86400000;
  int64_t y;
  unsigned m, d;
  CivilFromDays(days + kSerialEpoch, y, m, d);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02lld:%02lld:%02lld.%03lld", static_cast<long long>(y), m, d,
                static_cast<long long>(rest / 3600000), static_cast<long long>(rest / 60000 % 60),
                static_cast<long long>(rest / 1000 % 60), static_cast<long long>(rest % 1000));
  return buf;
}

bool ParseDate(std::string_view s, double& out) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, ms = 0;
  std::string text(s);
  char tail = 0;
  int n = std::sscanf(text.c_str(), "%5d-%2d-%2d %2d:%2d:%2d.%3d%c", &y, &mo, &d, &h, &mi, &sec, &ms, &tail);
  if (n == 8 || n < 3 || n == 4) {
    // A plain number is a serial as it stands.
    return n < 3 && ParseFloat(s, out);
  }
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || sec < 0 || sec > 59 ||
      ms < 0 || y < 1 || y > 9999)
    return false;
  const int64_t days = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) - kSerialEpoch;
  out = static_cast<double>(days) + ((h * 3600 + mi * 60 + sec) * 1000 + ms) / 86400000.0;
  return true;
}

TRegistry::Key* FindKey(TRegistry::Document& doc, const std::string& lowerPath) {
  auto it = doc.find(lowerPath);
  return it == doc.end() ? nullptr : &it->second;
}

bool KeyExistsIn(const TRegistry::Document& doc, const std::string& lowerPath) {
  if (lowerPath.empty() || doc.count(lowerPath)) return true;
  auto it = doc.lower_bound(lowerPath + "\\");
  return it != doc.end() && it->first.compare(0, lowerPath.size() + 1, lowerPath + "\\") == 0;
}

std::pair<std::string, TRegistry::Value>* FindValue(TRegistry::Key& key, const std::string& name) {
  for (auto& v : key.values)
    if (SameName(v.first, name)) return &v;
  return nullptr;
}

void SetValue(TRegistry::Key& key, const std::string& name, TRegistry::Value value) {
  if (auto* v = FindValue(key, name)) v->second = std::move(value);
  else key.values.emplace_back(name, std::move(value));
}

// ---- files -----------------------------------------------------------------

struct Loaded {
  TRegistry::Document doc;
  bool damaged = false;  // the file held something we could not read
};

// A damaged file is reported once per version of it, however often it is read.
void ReportDamage(const std::filesystem::path& file, const std::string& what) {
  static std::set<std::string> reported;
  std::error_code ec;
  auto stamp = std::filesystem::last_write_time(file, ec).time_since_epoch().count();
  auto size = std::filesystem::file_size(file, ec);
  std::string id = file.string() + "|" + std::to_string(stamp) + "|" + std::to_string(ec ? 0 : size);
  if (reported.insert(id).second) ReportError("Settings file " + file.string() + ": " + what);
}

Loaded LoadFile(const std::filesystem::path& file) {
  Loaded loaded;
  std::string text;
  try {
    if (ReadStore(file, text, kMaxFileSize) != TStoreRead::Read) return loaded;
  } catch (const EStreamError& e) {
    loaded.damaged = true;
    ReportDamage(file, std::string("cannot be read (") + e.what() + "); settings read as empty");
    return loaded;
  }
  int bad = 0;
  loaded.doc = ParseRegistryText(text, &bad);
  if (bad > 0) {
    loaded.damaged = true;
    ReportDamage(file, std::to_string(bad) + " unreadable line(s) skipped");
  }
  return loaded;
}

void SaveFile(const std::filesystem::path& file, const Loaded& previous) {
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  if (previous.damaged && std::filesystem::is_regular_file(file, ec)) {
    // Keep what we could not read for the user to look at before replacing it.
    auto aside = file;
    aside += ".bad";
    std::filesystem::copy_file(file, aside, std::filesystem::copy_options::overwrite_existing, ec);
    if (!ec) ReportError("Settings file " + file.string() + " kept aside as " + aside.string());
  }
  if (!FreeStoreName(file))
    throw ERegistryException("Cannot write settings file " + file.string() + ": " + std::strerror(errno));
  const std::string text = FormatRegistryText(previous.doc);
  std::string pattern = file.string() + ".XXXXXX";
  int fd = mkstemp(pattern.data());
  if (fd < 0) throw ERegistryException("Cannot write settings file " + file.string() + ": " + std::strerror(errno));
  bool ok = fchmod(fd, 0600) == 0;
  for (size_t done = 0; ok && done < text.size();) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ok && fsync(fd) == 0;
  const int saved = errno;
  ok = (::close(fd) == 0) && ok;
  if (ok && std::rename(pattern.c_str(), file.c_str()) == 0) return;
  const int err = ok ? errno : saved;
  ::unlink(pattern.c_str());
  throw ERegistryException("Cannot write settings file " + file.string() + ": " + std::strerror(err));
}

void Overlay(TRegistry::Document& base, const TRegistry::Document& over) {
  for (const auto& [path, key] : over) {
    auto& target = base[path];
    if (target.path.empty()) target.path = key.path;
    for (const auto& [name, value] : key.values) SetValue(target, name, value);
  }
}

// The machine view lays the user's file over the machine's, so that what fell back
// to the user's file because the machine's could not be written is what is read.
TRegistry::Document LoadView(RegRoot root) {
  if (root == RegRoot::CurrentUser) return LoadFile(RegistryFile(RegRoot::CurrentUser)).doc;
  auto doc = LoadFile(RegistryFile(RegRoot::LocalMachine)).doc;
  Overlay(doc, LoadFile(RegistryFile(RegRoot::CurrentUser)).doc);
  return doc;
}

}  // namespace

std::filesystem::path RegistryFile(RegRoot root) {
  return AppHome() / (root == RegRoot::CurrentUser ? "settings.txt" : "machine-settings.txt");
}

TRegistry::Document ParseRegistryText(const std::string& text, int* badLines) {
  TRegistry::Document doc;
  int bad = 0;
  TRegistry::Key* key = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line = TrimBlanks(std::string_view(text).substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']') {
        ++bad, key = nullptr;
        continue;
      }
      std::string path = TrimPath(std::string(line.substr(1, line.size() - 2)));
      key = &doc[Lower(path)];
      if (key->path.empty()) key->path = path;
      continue;
    }
    const size_t eq = line.find('=');
    if (key == nullptr || eq == std::string_view::npos) {
      ++bad;
      continue;
    }
    std::string name = FromFileText(TrimBlanks(line.substr(0, eq)));
    std::string_view rest = line.substr(eq + 1);
    while (!rest.empty() && (rest[0] == ' ' || rest[0] == '\t')) rest.remove_prefix(1);
    const size_t colon = rest.find(':');
    const std::string type = colon == std::string_view::npos ? std::string() : Lower(std::string(rest.substr(0, colon)));
    const std::string_view body = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    TRegistry::Value value;
    bool ok = true;
    if (type == "str") value.type = RegDataType::String, value.text = FromFileText(body);
    else if (type == "int") value.type = RegDataType::Integer, ok = ParseInteger(TrimBlanks(body), value.integer);
    else if (type == "bin") value.type = RegDataType::Binary, ok = ParseBinary(body, value.bytes);
    else if (type == "float") value.type = RegDataType::Float, ok = ParseFloat(TrimBlanks(body), value.number);
    else if (type == "date") value.type = RegDataType::Date, ok = ParseDate(TrimBlanks(body), value.number);
    else ok = false;
    if (!ok || name.empty()) {
      ++bad;
      continue;
    }
    SetValue(*key, name, std::move(value));
  }
  if (badLines) *badLines = bad;
  return doc;
}

std::string FormatRegistryText(const TRegistry::Document& doc) {
  std::string out = "# Parlo settings. Format: docs/settings-format.md in the source tree.\n";
  for (const auto& [lower, key] : doc) {
    out += "\n[" + (key.path.empty() ? lower : key.path) + "]\n";
    for (const auto& [name, value] : key.values) {
      out += Escape(name, true);
      out += " = ";
      out += TypeName(value.type);
      out += ':';
      switch (value.type) {
        case RegDataType::String: out += Escape(value.text, false); break;
        case RegDataType::Integer: out += std::to_string(value.integer); break;
        case RegDataType::Float: out += FormatFloat(value.number); break;
        case RegDataType::Date: out += FormatDate(value.number); break;
        case RegDataType::Binary:
          for (size_t i = 0; i < value.bytes.size(); ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02X", value.bytes[i]);
            if (i) out += ' ';
            out += hex;
          }
          break;
        case RegDataType::None: break;
      }
      out += '\n';
    }
  }
  return out;
}

TRegistry::TRegistry(RegRoot root) : root_(root) {}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  CloseKey();
  const std::string path = TrimPath(key);
  const std::string lower = Lower(path);
  view_ = LoadView(root_);
  if (!KeyExistsIn(view_, lower)) {
    if (!canCreate) return false;
    Modify([&](Document& doc) {
      if (doc.count(lower)) return false;
      doc[lower].path = path;
      return true;
    });
  }
  open_ = true;
  current_ = lower;
  display_ = path;
  return true;
}

void TRegistry::CloseKey() {
  open_ = false;
  current_.clear();
  display_.clear();
}

bool TRegistry::KeyExists(const std::string& key) {
  view_ = LoadView(root_);
  return KeyExistsIn(view_, Lower(TrimPath(key)));
}

bool TRegistry::DeleteKey(const std::string& key) {
  const std::string lower = Lower(TrimPath(key));
  if (lower.empty()) return false;
  return Modify([&](Document& doc) {
    bool removed = doc.erase(lower) > 0;
    for (auto it = doc.lower_bound(lower + "\\"); it != doc.end() && it->first.rfind(lower + "\\", 0) == 0;)
      it = doc.erase(it), removed = true;
    return removed;
  });
}

std::vector<std::string> TRegistry::GetKeyNames() const {
  std::vector<std::string> names;
  if (!open_) return names;
  const std::string prefix = current_.empty() ? std::string() : current_ + "\\";
  for (const auto& [lower, key] : view_) {
    if (lower.size() <= prefix.size() || lower.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string& display = key.path.size() == lower.size() ? key.path : lower;
    std::string child = display.substr(prefix.size());
    child = child.substr(0, child.find('\\'));
    if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return SameName(n, child); }))
      names.push_back(child);
  }
  return names;
}

bool TRegistry::ValueExists(const std::string& name) const { return GetDataType(name) != RegDataType::None; }

RegDataType TRegistry::GetDataType(const std::string& name) const {
  if (!open_) return RegDataType::None;
  auto it = view_.find(current_);
  if (it == view_.end()) return RegDataType::None;
  for (const auto& v : it->second.values)
    if (SameName(v.first, name)) return v.second.type;
  return RegDataType::None;
}

std::vector<std::string> TRegistry::GetValueNames() const {
  std::vector<std::string> names;
  if (!open_) return names;
  if (auto it = view_.find(current_); it != view_.end())
    for (const auto& v : it->second.values) names.push_back(v.first);
  return names;
}

bool TRegistry::DeleteValue(const std::string& name) {
  if (!open_) throw ERegistryException("No settings key is open to delete \"" + name + "\" from");
  return Modify([&](Document& doc) {
    auto* key = FindKey(doc, current_);
    if (!key) return false;
    auto& values = key->values;
    auto it = std::find_if(values.begin(), values.end(), [&](const auto& v) { return SameName(v.first, name); });
    if (it == values.end()) return false;
    values.erase(it);
    return true;
  });
}

const TRegistry::Value& TRegistry::Find(const std::string& name, RegDataType type) const {
  if (!open_) throw ERegistryException("No settings key is open to read \"" + name + "\"");
  if (auto it = view_.find(current_); it != view_.end())
    for (const auto& v : it->second.values)
      if (SameName(v.first, name)) {
        if (v.second.type != type)
          throw ERegistryException("Invalid data type for \"" + name + "\" in " + display_ + ": " +
                                   TypeName(v.second.type) + " stored, " + TypeName(type) + " expected");
        return v.second;
      }
  throw ERegistryException("No value \"" + name + "\" in " + display_);
}

std::string TRegistry::ReadString(const std::string& name) const { return Find(name, RegDataType::String).text; }
int32_t TRegistry::ReadInteger(const std::string& name) const { return Find(name, RegDataType::Integer).integer; }
bool TRegistry::ReadBool(const std::string& name) const { return ReadInteger(name) != 0; }
std::vector<uint8_t> TRegistry::ReadBinaryData(const std::string& name) const {
  return Find(name, RegDataType::Binary).bytes;
}
double TRegistry::ReadFloat(const std::string& name) const { return Find(name, RegDataType::Float).number; }
double TRegistry::ReadDate(const std::string& name) const { return Find(name, RegDataType::Date).number; }

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  Value v;
  v.type = RegDataType::String;
  v.text = value;
  Store(name, std::move(v));
}

void TRegistry::WriteInteger(const std::string& name, int32_t value) {
  Value v;
  v.type = RegDataType::Integer;
  v.integer = value;
  Store(name, std::move(v));
}

void TRegistry::WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }

void TRegistry::WriteBinaryData(const std::string& name, const std::vector<uint8_t>& value) {
  Value v;
  v.type = RegDataType::Binary;
  v.bytes = value;
  Store(name, std::move(v));
}

void TRegistry::WriteFloat(const std::string& name, double value) {
  Value v;
  v.type = RegDataType::Float;
  v.number = value;
  Store(name, std::move(v));
}

void TRegistry::WriteDate(const std::string& name, double value) {
  Value v;
  v.type = RegDataType::Date;
  v.number = value;
  Store(name, std::move(v));
}

void TRegistry::Store(const std::string& name, Value value) {
  if (!open_) throw ERegistryException("No settings key is open to write \"" + name + "\"");
  if (name.empty()) throw ERegistryException("A setting needs a name");
  Modify([&](Document& doc) {
    auto& key = doc[current_];
    if (key.path.empty()) key.path = display_;
    SetValue(key, name, value);
    return true;
  });
}

template <class Change>
bool TRegistry::Modify(Change change) {
  bool changed = false;
  auto apply = [&](RegRoot root) {
    Loaded loaded = LoadFile(RegistryFile(root));
    if (!change(loaded.doc)) return;
    changed = true;
    SaveFile(RegistryFile(root), loaded);
  };
  if (root_ == RegRoot::LocalMachine) {
    try {
      apply(RegRoot::LocalMachine);
    } catch (const ERegistryException& e) {
      // An installation whose shared settings are closed to this user still works:
      // the change goes to the user's own settings, where the machine view finds it.
      ReportError(std::string(e.what()) + "; writing to the user settings instead");
      apply(RegRoot::CurrentUser);
    }
  } else {
    apply(RegRoot::CurrentUser);
  }
  view_ = LoadView(root_);
  return changed;
}

}  // namespace platform
