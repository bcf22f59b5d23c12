#pragma once

// Plain functions and constants shared by the whole editor component: character
// sets, localisable messages, string helpers and link detection. Text is 8-bit
// (Windows-1252): one character is one byte.

#include <bitset>
#include <cstdint>
#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/Charset.h"
#include "platform/Graphics.h"

namespace quill {

// A set of 8-bit characters.
class TQuillCharSet {
 public:
  constexpr TQuillCharSet() = default;
  TQuillCharSet(std::string_view members);
  static TQuillCharSet Range(unsigned char first, unsigned char last);

  bool Contains(unsigned char c) const { return bits_[c]; }
  bool Contains(char c) const { return bits_[static_cast<unsigned char>(c)]; }
  void Include(unsigned char c) { bits_.set(c); }
  void Exclude(unsigned char c) { bits_.reset(c); }
  TQuillCharSet operator|(const TQuillCharSet& o) const;
  TQuillCharSet operator-(const TQuillCharSet& o) const;
  TQuillCharSet operator~() const;
  bool operator==(const TQuillCharSet& o) const { return bits_ == o.bits_; }
  bool Empty() const { return bits_.none(); }

 private:
  std::bitset<256> bits_;
};

// Word, link and delimiter character classes, fixed at start.
const TQuillCharSet& ValueSet();
const TQuillCharSet& DelimSet();
const TQuillCharSet& WordDelimSet();
const TQuillCharSet& UrlSet();

// Colours are platform colour values (0x00BBGGRR) or system colours (the high bit set
// and the system colour number in the low byte); -1 means "no colour".
using TColor = platform::TColor;
constexpr TColor clNone = -1;
constexpr TColor clBlack = 0x000000;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clWhite = 0xFFFFFF;
using platform::SystemColor;
using platform::clWindow;
using platform::clWindowText;
using platform::clHighlight;
using platform::clHighlightText;
using platform::clBtnFace;
using platform::clBtnShadow;
using platform::clGrayText;
using platform::clInfoBk;
using platform::clInfoText;
using platform::IsSystemColor;

// Font style set: bold, italic, underline, strike-out.
using platform::TFontStyle;
using platform::TFontStyles;
using platform::fsBold;
using platform::fsItalic;
using platform::fsUnderline;
using platform::fsStrikeOut;

using platform::TPoint;
using platform::TRect;

// "End of the line" or "no limit" in the editor's interfaces.
constexpr int MaxInt = 2147483647;

// Localisable messages and menu captions.
namespace msg {
inline constexpr const char* SListIndexError = "List Index out of bounds Index: %d";
inline constexpr const char* SInvalidTabError = "Invalid Tab Stop";
inline constexpr const char* sStringsExpected = "Strings can't be nil";
inline constexpr const char* sUnknownRegType = "Unknown Registry Type";
inline constexpr const char* sWrongEditSource = "The instance of %s expected";
inline constexpr const char* sCaseSensitive = "CaseSensitive";
inline constexpr const char* sFindText = "Find Text";
inline constexpr const char* sEmptySel = "Tried to search selected text but no text is selected";
inline constexpr const char* sNotFound = "Search string '%s' not found";
inline constexpr const char* sReplace = "Replace this occurence of '%s'?";
inline constexpr const char* sUnsupportedGraphicFormat = "Unsupported graphic format : %s";
inline constexpr const char* sUndoMenu = "&Undo";
inline constexpr const char* sRedoMenu = "&Redo";
inline constexpr const char* sCutMenu = "Cu&t";
inline constexpr const char* sCopyMenu = "&Copy";
inline constexpr const char* sPasteMenu = "&Paste";
inline constexpr const char* sDeleteMenu = "&Delete";
inline constexpr const char* sSelectAllMenu = "Se&lect All";
}  // namespace msg

// A message with one %d or %s filled in (the messages above carry at most one).
std::string FormatMsg(const char* pattern, int value);
std::string FormatMsg(const char* pattern, const std::string& value);

// Screen figures: logical pixels per inch, and whether the screen shows more than
// 256 colours. Read once from the primary screen; 96 dpi and true without one.
struct TDeviceCaps {
  int X = 96;
  int Y = 96;
};
TDeviceCaps DeviceCaps();
bool UseHiColor();

inline int Min(int a, int b) { return a < b ? a : b; }
inline int Max(int a, int b) { return a > b ? a : b; }
void SwapInteger(int& a, int& b);
void SwapMaxInt(int& a, int& b);
void SwapRect(TRect& r);
bool IsNullRect(const TRect& r);
void FillWord(uint16_t word, uint16_t* dest, int count);

bool InDelimSet(char c, const TQuillCharSet& set);
std::string ExludeCharSet(const std::string& s, const TQuillCharSet& set);
int GetFirstValidChar(const std::string& s);
void AddTrailSpaces(std::string& s, int length);
std::string TrimRightEx(const std::string& s);
std::string TrimWord(const std::string& s);
std::string RemoveLastLineEnd(const std::string& s);
std::string RemoveQuotes(const std::string& s);
std::string AddQuotes(const std::string& s);
int FindPos(const std::string& sub, const std::string& s, int start);
int FindBackPos(const std::string& sub, const std::string& s, int start);
// `text` may be null ("no text"), then `len` counts as 0.
int CompareStrEx(const std::string& s, const char* text, int len);
int CompareTextEx(const std::string& s, const char* text, int len);
std::string StringToHex(const std::string& s);
std::string HexToString(const std::string& s);
std::string UpperCase(std::string s);  // Windows-1252 letters, as the search compares them
std::string LowerCase(std::string s);

bool IsEmlString(const std::string& s);
bool IsWWWString(const std::string& s);
bool IsHyperString(const std::string& s);

// The address a link word opens, or "" when it is not one a browser or mail program
// may be handed safely (only web, ftp and mail links; never a local file or program).
std::string UrlForLink(const std::string& s);
// Hands a link to the desktop's URL opener (never a shell); false when it is
// refused. A desktop that then fails to open it is reported to the error log.
bool UrlJump(const std::string& s);
// Where UrlJump hands the address it made; the desktop's opener when empty.
using TUrlOpener = std::function<void(const std::string& address)>;
void SetUrlOpener(TUrlOpener opener);

// Folder helpers; paths are UTF-8 and use "/".
std::string GetTempDir();
bool DirectoryExists(const std::string& path);
void CreateDirs(const std::string& path);
std::string AddSlash(const std::string& s);
// Paths written with the other system's separator ("\") are turned into ours.
std::string ChangeSlashes(const std::string& s);

// True for a non-empty even-sized stream whose first bytes look like UTF-16 text;
// the stream is left at position 0.
bool IsStreamUnicode(std::istream& stream);
void SetWideString(std::u16string& w, const char16_t* source, int length);

// Shift state bits as the editor stores them.
enum TShiftStateBit : int {
  ssShift = 1,
  ssAlt = 2,
  ssCtrl = 4,
  ssLeft = 8,
  ssRight = 16,
  ssMiddle = 32,
  ssDouble = 64
};
using TShiftState = int;
inline int ShiftToInt(TShiftState s) { return s & 127; }
bool IsAltPressed();
TShiftState KeysToShift();

// Saves what Write puts into a stream as FileName: a new file is written
// whole, flushed and renamed over the old one, so that a full disk, a size
// limit or a folder that cannot be written raises EStreamError and leaves
// the old file as it was.
void SaveFileWhole(const platform::FileName& fileName, const std::function<void(std::ostream&)>& write);

}  // namespace quill
