#pragma once

#include <filesystem>
#include <string>

class QString;

// Conversions at the edges: the program's text is Windows-1252 bytes; Qt
// widgets want QString and the disk wants UTF-8 file names.
namespace platform {

// Every one of the 256 bytes maps to one code point, the five bytes that
// Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) to the C1
// controls of the same number, so any byte string survives a round trip.
std::string AnsiToUtf8(const std::string& ansi);
// Characters with no Windows-1252 byte, and malformed UTF-8, become '?'.
std::string Utf8ToAnsi(const std::string& utf8);

// The Windows-1252 code of a Unicode code point, or -1 when it has none.
int AnsiFromCodePoint(char32_t cp);
char32_t CodePointFromAnsi(unsigned char byte);

QString ToQString(const std::string& ansi);
std::string FromQString(const QString& text);
// Text for the user's eyes: as ToQString, except that the bytes a file name
// holds in their disk form (NameFromDiskBytes) show as the characters the disk
// name has, so a name reads as the user's file manager shows it.
QString ShownQString(const std::string& text);
// The characters of `text` that Windows-1252 cannot carry (FromQString turns
// them into '?'), each once, in the order first met; empty when none.
QString CharactersWithoutAnsi(const QString& text);

// A name on disk is bytes: UTF-8 by custom, but any bytes other than NUL and
// '/'. Our 8-bit names hold every such name without loss: a character with a
// Windows-1252 form is that byte, and every other byte of the disk name (a
// character outside the code page, a byte that is not UTF-8) is held as NUL
// followed by the byte itself. No disk name holds a NUL, so a name that names a
// file on disk always names that one file, and no escaped byte is ASCII, so it
// never reads as a separator or a wildcard.
std::string NameFromDiskBytes(const std::string& disk);
std::string DiskBytesFromName(const std::string& name);
// True when every byte sequence is well-formed UTF-8.
bool IsValidUtf8(const std::string& text);
// True when the name holds a byte that only the disk form can carry.
bool NameHasDiskBytes(const std::string& name);

// A name from another program (8-bit, with disk bytes as above) with each
// control character made '_': C0, DEL and C1, and the marks that break a line
// or turn the text around (U+061C, U+200E, U+200F, U+2028 to U+202E, U+2066
// to U+2069), so that a name never spans lines nor shows "exe.txt" for
// "txt.exe". Every other character, and any byte that is no UTF-8, stays.
std::string ControlsMapped(const std::string& name);

// An 8-bit file name as the program builds it (backslashes as separators,
// Windows-1252 characters) to the path on disk, and back (forward slashes).
std::filesystem::path PathFromName(const std::string& name);
std::string NameFromPath(const std::filesystem::path& path);

// What file operations take: a path as it stands, or our 8-bit text name
// converted by PathFromName. Spelling out both keeps a 1252 name from
// silently reaching the disk as raw bytes.
class FileName {
 public:
  FileName(const std::filesystem::path& path) : path_(path) {}  // NOLINT: implicit on purpose
  FileName(const std::string& name) : path_(PathFromName(name)) {}  // NOLINT
  FileName(const char* name) : path_(PathFromName(name)) {}  // NOLINT
  const std::filesystem::path& Path() const { return path_; }
  // For messages: the name as the user typed it.
  std::string Display() const { return NameFromPath(path_); }

 private:
  std::filesystem::path path_;
};

}  // namespace platform
