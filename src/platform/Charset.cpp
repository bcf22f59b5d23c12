#include "platform/Charset.h"

#include <QString>

#include <algorithm>

namespace platform {

namespace {

// Code points of 0x80..0x9F; the rest of the byte range is Latin-1.
constexpr char16_t kHighTable[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at `i`, advancing it. Overlong forms, surrogates
// and truncated sequences give U+FFFD after consuming one byte, so a stray
// byte costs one '?' and the text after it still decodes.
char32_t NextCodePoint(const std::string& s, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(s[i]);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  // Continuation bytes that follow, the lead's payload, and the smallest
  // code point that needs this many bytes (anything less is overlong).
  int extra = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    cp = lead & 0x1F;
    min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    cp = lead & 0x0F;
    min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    cp = lead & 0x07;
    min = 0x10000;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + static_cast<std::size_t>(extra) >= s.size()) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += static_cast<std::size_t>(extra) + 1;
  return cp;
}

}  // namespace

char32_t CodePointFromAnsi(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHighTable[byte - 0x80];
  return byte;
}

int AnsiFromCodePoint(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (int k = 0; k < 32; ++k)
    if (kHighTable[k] == cp) return 0x80 + k;
  return -1;
}

std::string AnsiToUtf8(const std::string& ansi) {
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 4);
  for (char c : ansi) AppendUtf8(out, CodePointFromAnsi(static_cast<unsigned char>(c)));
  return out;
}

std::string Utf8ToAnsi(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const int b = AnsiFromCodePoint(NextCodePoint(utf8, i));
    out += b < 0 ? '?' : static_cast<char>(b);
  }
  return out;
}

QString ToQString(const std::string& ansi) {
  QString out(static_cast<qsizetype>(ansi.size()), Qt::Uninitialized);
  QChar* to = out.data();
  for (char c : ansi) *to++ = QChar(static_cast<char16_t>(CodePointFromAnsi(static_cast<unsigned char>(c))));
  return out;
}

std::string FromQString(const QString& text) {
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t u = text.at(i).unicode();
    // A surrogate pair is one character outside the code page: one '?'.
    if (QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
      out += '?';
      ++i;
      continue;
    }
    const int b = AnsiFromCodePoint(u);
    out += b < 0 ? '?' : static_cast<char>(b);
  }
  return out;
}

QString ShownQString(const std::string& text) {
  if (!NameHasDiskBytes(text)) return ToQString(text);
  const std::string utf8 = DiskBytesFromName(text);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString CharactersWithoutAnsi(const QString& text) {
  QString found;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t u = text.at(i).unicode();
    const bool pair =
        QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text.at(i + 1).unicode());
    if (!pair && AnsiFromCodePoint(u) >= 0) continue;
    // The input is scanned on every change: a character that travels costs
    // no copy, only one that cannot is looked for among those found.
    const QStringView character = QStringView(text).mid(i, pair ? 2 : 1);
    if (pair) ++i;
    if (!found.contains(character)) found += character;
  }
  return found;
}

std::string NameFromDiskBytes(const std::string& disk) {
  std::string out;
  out.reserve(disk.size());
  for (std::size_t i = 0; i < disk.size();) {
    const std::size_t start = i;
    const int b = AnsiFromCodePoint(NextCodePoint(disk, i));
    if (b > 0) {
      out += static_cast<char>(b);
      continue;
    }
    for (std::size_t k = start; k < i; ++k) {
      out += '\0';
      out += disk[k];
    }
  }
  return out;
}

std::string DiskBytesFromName(const std::string& name) {
  std::string out;
  out.reserve(name.size() + name.size() / 4);
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\0') {
      // A NUL at the very end escapes nothing; no disk name can hold it.
      if (++i < name.size()) out += name[i];
      continue;
    }
    AppendUtf8(out, CodePointFromAnsi(static_cast<unsigned char>(name[i])));
  }
  return out;
}

bool IsValidUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t start = i;
    // U+FFFD decoded from one byte is the mark of a malformed sequence.
    if (NextCodePoint(text, i) == 0xFFFD && i - start == 1) return false;
  }
  return true;
}

bool NameHasDiskBytes(const std::string& name) { return name.find('\0') != std::string::npos; }

namespace {

bool IsControl(char32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || cp == 0x061C || cp == 0x200E || cp == 0x200F ||
         (cp >= 0x2028 && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

}  // namespace

std::string ControlsMapped(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    if (name[i] != '\0') {
      const auto byte = static_cast<unsigned char>(name[i++]);
      out += IsControl(CodePointFromAnsi(byte)) ? '_' : static_cast<char>(byte);
      continue;
    }
    // A run of disk bytes: decoded together, as the characters they make.
    std::string disk;
    for (; i + 1 < name.size() && name[i] == '\0'; i += 2) disk += name[i + 1];
    for (std::size_t k = 0; k < disk.size();) {
      const std::size_t start = k;
      const char32_t cp = NextCodePoint(disk, k);
      if (IsControl(cp)) {
        out += '_';
        continue;
      }
      for (std::size_t b = start; b < k; ++b) {
        out += '\0';
        out += disk[b];
      }
    }
    // A NUL at the very end escapes nothing.
    if (i + 1 == name.size() && name[i] == '\0') {
      out += '_';
      ++i;
    }
  }
  return out;
}

std::filesystem::path PathFromName(const std::string& name) {
  std::string disk = DiskBytesFromName(name);
  std::replace(disk.begin(), disk.end(), '\\', '/');
  return std::filesystem::path(disk);
}

std::string NameFromPath(const std::filesystem::path& path) { return NameFromDiskBytes(path.string()); }

}  // namespace platform
