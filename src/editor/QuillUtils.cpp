#include "editor/QuillUtils.h"

#include <QGuiApplication>
#include <QScreen>

#include "platform/Charset.h"
#include "platform/ErrorSink.h"
#include "platform/Stream.h"
#include "platform/UrlOpener.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <system_error>

namespace quill {

TQuillCharSet::TQuillCharSet(std::string_view members) {
  for (char c : members) bits_.set(static_cast<unsigned char>(c));
}

TQuillCharSet TQuillCharSet::Range(unsigned char first, unsigned char last) {
  TQuillCharSet s;
  for (int c = first; c <= last; ++c) s.bits_.set(c);
  return s;
}

TQuillCharSet TQuillCharSet::operator|(const TQuillCharSet& o) const {
  TQuillCharSet r;
  r.bits_ = bits_ | o.bits_;
  return r;
}

TQuillCharSet TQuillCharSet::operator-(const TQuillCharSet& o) const {
  TQuillCharSet r;
  r.bits_ = bits_ & ~o.bits_;
  return r;
}

TQuillCharSet TQuillCharSet::operator~() const {
  TQuillCharSet r;
  r.bits_ = ~bits_;
  return r;
}

const TQuillCharSet& ValueSet() {
  static const TQuillCharSet s =
      TQuillCharSet::Range('0', '9') | TQuillCharSet::Range('A', 'Z') | TQuillCharSet("_") | TQuillCharSet::Range('a', 'z');
  return s;
}

const TQuillCharSet& DelimSet() {
  static const TQuillCharSet s = TQuillCharSet::Range(1, 32);
  return s;
}

const TQuillCharSet& WordDelimSet() {
  static const TQuillCharSet s("!\"#$%&()*+,-./:;=?@[\\]^{|}");
  return s;
}

const TQuillCharSet& UrlSet() {
  static const TQuillCharSet s("-./:=?@~");
  return s;
}

std::string FormatMsg(const char* pattern, int value) {
  std::string p = pattern;
  auto at = p.find("%d");
  if (at != std::string::npos) p.replace(at, 2, std::to_string(value));
  return p;
}

std::string FormatMsg(const char* pattern, const std::string& value) {
  std::string p = pattern;
  auto at = p.find("%s");
  if (at != std::string::npos) p.replace(at, 2, value);
  return p;
}

TDeviceCaps DeviceCaps() {
  TDeviceCaps caps;
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      caps.X = static_cast<int>(screen->logicalDotsPerInchX() + 0.5);
      caps.Y = static_cast<int>(screen->logicalDotsPerInchY() + 0.5);
    }
  }
  return caps;
}

bool UseHiColor() {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) return screen->depth() > 8;
  }
  return true;
}

void SwapInteger(int& a, int& b) { std::swap(a, b); }

void SwapMaxInt(int& a, int& b) {
  if (a > b) std::swap(a, b);
}

void SwapRect(TRect& r) {
  std::swap(r.Left, r.Right);
  std::swap(r.Top, r.Bottom);
}

bool IsNullRect(const TRect& r) { return r.Left == 0 && r.Top == 0 && r.Right == 0 && r.Bottom == 0; }

void FillWord(uint16_t word, uint16_t* dest, int count) {
  if (dest != nullptr && count > 0) std::fill(dest, dest + count, word);
}

bool InDelimSet(char c, const TQuillCharSet& set) { return set.Contains(c); }

std::string ExludeCharSet(const std::string& s, const TQuillCharSet& set) {
  std::string r;
  r.reserve(s.size());
  for (char c : s)
    if (!set.Contains(c)) r += c;
  return r;
}

int GetFirstValidChar(const std::string& s) {
  for (size_t i = 0; i < s.size(); ++i)
    if (s[i] != ' ') return static_cast<int>(i) + 1;
  return static_cast<int>(s.size()) + 1;
}

void AddTrailSpaces(std::string& s, int length) {
  if (length > static_cast<int>(s.size())) s.append(static_cast<size_t>(length) - s.size(), ' ');
}

std::string TrimRightEx(const std::string& s) {
  size_t n = s.size();
  while (n > 0) {
    unsigned char c = static_cast<unsigned char>(s[n - 1]);
    if (c > 32 || c == 1) break;  // an embedded object is content, not white space
    --n;
  }
  return s.substr(0, n);
}

std::string TrimWord(const std::string& s) {
  auto trimmed = [](char ch) {
    unsigned char c = static_cast<unsigned char>(ch);
    return c <= 32 || ch == '\'' || WordDelimSet().Contains(c);
  };
  size_t b = 0, e = s.size();
  while (b < e && trimmed(s[b])) ++b;
  while (e > b && trimmed(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::string RemoveLastLineEnd(const std::string& s) {
  std::string r = s;
  for (int i = 0; i < 2 && !r.empty() && (r.back() == '\r' || r.back() == '\n'); ++i) r.pop_back();
  return r;
}

static bool IsQuote(char c) { return c == '\'' || c == '"'; }

std::string RemoveQuotes(const std::string& s) {
  if (s.empty() || !IsQuote(s.front()) || !IsQuote(s.back())) return s;
  // A lone quote both begins and ends the text: nothing is left of it.
  return s.size() >= 2 ? s.substr(1, s.size() - 2) : std::string();
}

std::string AddQuotes(const std::string& s) {
  if (s.empty()) return "\"\"";
  if (IsQuote(s.front()) || IsQuote(s.back())) return s;
  return "\"" + s + "\"";
}

int FindPos(const std::string& sub, const std::string& s, int start) {
  if (sub.empty() || s.empty()) return 0;
  if (start < 1) start = 1;
  if (start > static_cast<int>(s.size())) return 0;
  auto at = s.find(sub, static_cast<size_t>(start - 1));
  return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
}

int FindBackPos(const std::string& sub, const std::string& s, int start) {
  if (sub.empty() || s.empty() || start < 1 || sub.size() > s.size()) return 0;
  size_t from = std::min(static_cast<size_t>(start - 1), s.size() - sub.size());
  auto at = s.rfind(sub, from);
  return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
}

static unsigned char AsciiUpper(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

template <bool IgnoreCase>
static int CompareEx(const std::string& s, const char* text, int len) {
  if (text == nullptr || len < 0) len = 0;
  int n = std::min(len, static_cast<int>(s.size()));
  for (int i = 0; i < n; ++i) {
    unsigned char a = static_cast<unsigned char>(s[i]);
    unsigned char b = static_cast<unsigned char>(text[i]);
    if (IgnoreCase) {
      a = AsciiUpper(a);
      b = AsciiUpper(b);
    }
    if (a != b) return static_cast<int>(a) - static_cast<int>(b);
  }
  return static_cast<int>(s.size()) - len;
}

int CompareStrEx(const std::string& s, const char* text, int len) { return CompareEx<false>(s, text, len); }
int CompareTextEx(const std::string& s, const char* text, int len) { return CompareEx<true>(s, text, len); }

std::string StringToHex(const std::string& s) {
  static const char digits[] = "0123456789ABCDEF";
  std::string r;
  r.reserve(s.size() * 2);
  for (char ch : s) {
    unsigned char c = static_cast<unsigned char>(ch);
    r += digits[c >> 4];
    r += digits[c & 15];
  }
  return r;
}

static int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

std::string HexToString(const std::string& s) {
  std::string r;
  r.reserve(s.size() / 2);
  for (size_t i = 0; i + 1 < s.size(); i += 2) r += static_cast<char>(HexValue(s[i]) * 16 + HexValue(s[i + 1]));
  return r;
}

std::string UpperCase(std::string s) {
  for (char& ch : s) {
    unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
      c = static_cast<unsigned char>(c - 32);
    else if (c == 0x9A || c == 0x9C || c == 0x9E)  // s, oe and z with caron or ligature
      c = static_cast<unsigned char>(c - 16);
    else if (c == 0xFF)
      c = 0x9F;
    ch = static_cast<char>(c);
  }
  return s;
}

std::string LowerCase(std::string s) {
  for (char& ch : s) {
    unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
      c = static_cast<unsigned char>(c + 32);
    else if (c == 0x8A || c == 0x8C || c == 0x8E)
      c = static_cast<unsigned char>(c + 16);
    else if (c == 0x9F)
      c = 0xFF;
    ch = static_cast<char>(c);
  }
  return s;
}

static bool StartsWithNoCase(const std::string& s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (AsciiUpper(static_cast<unsigned char>(s[i])) != static_cast<unsigned char>(prefix[i])) return false;
  return true;
}

bool IsEmlString(const std::string& s) {
  if (StartsWithNoCase(s, "MAILTO:")) return true;
  auto at = s.find('@');
  if (at == std::string::npos || at != s.rfind('@')) return false;
  auto dot = s.rfind('.');
  if (dot == std::string::npos || dot < at) return false;
  if (at + 1 >= s.size()) return false;
  unsigned char next = static_cast<unsigned char>(s[at + 1]);
  return (next >= '0' && next <= '9') || (next >= 'A' && next <= 'Z') || (next >= 'a' && next <= 'z') || next == '_';
}

bool IsWWWString(const std::string& s) {
  for (std::string_view p : {"WWW.", "HTTP://", "GOPHER://", "FTP://", "FILE://"})
    if (StartsWithNoCase(s, p)) return true;
  return false;
}

bool IsHyperString(const std::string& s) { return IsEmlString(s) || IsWWWString(s); }

std::string UrlForLink(const std::string& s) {
  for (char ch : s) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c <= 32 || c == 127) return "";
  }
  if (StartsWithNoCase(s, "MAILTO:")) return s.size() > 7 ? "mailto:" + s.substr(7) : "";
  if (StartsWithNoCase(s, "HTTP://")) return s.size() > 7 ? "http://" + s.substr(7) : "";
  if (StartsWithNoCase(s, "HTTPS://")) return s.size() > 8 ? "https://" + s.substr(8) : "";
  if (StartsWithNoCase(s, "FTP://")) return s.size() > 6 ? "ftp://" + s.substr(6) : "";
  if (StartsWithNoCase(s, "WWW.")) return "http://" + s;
  // A local file, or a scheme no current browser opens, is never handed on.
  if (IsWWWString(s)) return "";
  if (IsEmlString(s)) return "mailto:" + s;
  return "";
}

namespace {
TUrlOpener& Opener() {
  static TUrlOpener opener;
  return opener;
}
}  // namespace

void SetUrlOpener(TUrlOpener opener) { Opener() = std::move(opener); }

bool UrlJump(const std::string& s) {
  const std::string address = UrlForLink(s);
  if (address.empty()) return false;
  if (Opener()) {
    Opener()(address);
    return true;
  }
  platform::OpenUrl(address, [address](bool opened) {
    if (!opened) platform::ReportError("The desktop could not open the link " + address);
  });
  return true;
}

std::string GetTempDir() {
  std::error_code ec;
  std::string dir = std::filesystem::temp_directory_path(ec).string();
  if (ec || dir.empty()) dir = "/tmp";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

bool DirectoryExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_directory(path, ec);
}

void CreateDirs(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p.empty() || p == "/") return;
  std::error_code ec;
  std::filesystem::create_directories(p, ec);
}

std::string AddSlash(const std::string& s) {
  if (s.empty() || s.back() == '/') return s;
  return s + '/';
}

std::string ChangeSlashes(const std::string& s) {
  std::string r = s;
  std::replace(r.begin(), r.end(), '\\', '/');
  return r;
}

bool IsStreamUnicode(std::istream& stream) {
  stream.clear();
  stream.seekg(0, std::ios::end);
  auto size = static_cast<long long>(stream.tellg());
  stream.seekg(0, std::ios::beg);
  if (size <= 0 || size % 2 != 0) return false;
  char buf[256];
  stream.read(buf, static_cast<std::streamsize>(std::min<long long>(size, sizeof buf)));
  auto got = static_cast<size_t>(stream.gcount());
  stream.clear();
  stream.seekg(0, std::ios::beg);
  if (got < 2) return false;
  auto b0 = static_cast<unsigned char>(buf[0]), b1 = static_cast<unsigned char>(buf[1]);
  if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF)) return true;
  // Without a byte-order mark: plain text as UTF-16 has a zero in most high bytes.
  size_t zeroHigh = 0, zeroLow = 0, pairs = got / 2;
  for (size_t i = 0; i + 1 < got; i += 2) {
    if (buf[i] == 0) ++zeroLow;
    if (buf[i + 1] == 0) ++zeroHigh;
  }
  return (zeroHigh * 2 > pairs && zeroLow * 8 < pairs) || (zeroLow * 2 > pairs && zeroHigh * 8 < pairs);
}

void SetWideString(std::u16string& w, const char16_t* source, int length) {
  if (length < 0) length = 0;
  if (source != nullptr)
    w.assign(source, static_cast<size_t>(length));
  else
    w.assign(static_cast<size_t>(length), u'\0');
}

static bool HaveGuiApp() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

bool IsAltPressed() { return HaveGuiApp() && (QGuiApplication::queryKeyboardModifiers() & Qt::AltModifier); }

TShiftState KeysToShift() {
  if (!HaveGuiApp()) return 0;
  auto m = QGuiApplication::queryKeyboardModifiers();
  TShiftState s = 0;
  if (m & Qt::ShiftModifier) s |= ssShift;
  if (m & Qt::ControlModifier) s |= ssCtrl;
  if (m & Qt::AltModifier) s |= ssAlt;
  return s;
}

void SaveFileWhole(const platform::FileName& fileName, const std::function<void(std::ostream&)>& write) {
  std::ostringstream out;
  write(out);
  const std::string bytes = std::move(out).str();
  platform::ReplaceFile(fileName, bytes.data(), bytes.size());
}

}  // namespace quill
