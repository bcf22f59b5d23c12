#pragma once

// Small file-system helpers of the zip component: rates, repaired DOS dates, folder
// creation, renaming the temporary archive over the real one, temporary names.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/DosFiles.h"

namespace zip {

class TLFNFileStream;

inline int64_t minimum(int64_t a, int64_t b) { return a < b ? a : b; }
inline int64_t maximum(int64_t a, int64_t b) { return a > b ? a : b; }

// Percent of Part in Whole, rounded half to even, at most 100; 0 when Whole < 1.
int CRate(int64_t whole, int64_t part);
int CBigRate(double whole, double part);

std::string& DOSToUnixFilename(std::string& p);
std::string& UnixToDOSFilename(std::string& p);
std::string RightStr(const std::string& s, size_t n);
std::string LeftStr(const std::string& s, size_t n);
// "*", "?", "<", ">" or "|".
bool IsWildCard(const std::string& s);

// Clamps each field of a DOS date-time (date high, time low) into range; returns the
// value unchanged when nothing needed repair.
uint32_t GoodTimeStamp(uint32_t dosDateTime);
// The file's age as a date-time; the current time when it cannot be had.
platform::TDateTime FileDate(const std::string& fileName);

// Creates every missing folder of `path`; false when it still is not a folder.
bool ForceDirs(const std::string& path);
bool File_Exists(const std::string& name);
bool DirExists(const std::string& name);

// Moves Source to Dest, replacing an existing Dest; false and nothing touched when
// the two are on different file systems.
bool DoRenameCopy(const std::string& source, const std::string& dest);
// Renames a finished temporary file over `target`; a file replaced keeps its
// permissions (the temporary one has those of any new file).
bool RenameOver(const std::string& temp, const std::string& target);
// Writes `target` whole or not at all: `write` fills a new file beside it,
// which takes the target's place once every byte is on the disk. A file that
// cannot be made, written or put in place raises EStreamError (or what `write`
// raised); the target is then as it was and nothing is left beside it.
void WriteWholeFile(const std::string& target, const std::function<void(TLFNFileStream&)>& write);
// DoRenameCopy, else a byte copy, which replaces Dest only once whole. False
// (and said in a message box) when neither worked.
bool FileCopy(const std::string& source, const std::string& dest);

// The current folder (the drive number is kept for callers; there are no drives here),
// and changing it: 0 on success, else the system's error number.
int GetDirectory(int drive, std::string& dir);
int ChDirectory(const std::string& dir);

enum TConversionOperation { SHORTEN, LENGTHEN };
// Names have no short (8.3) form on this file system, so both operations give the
// name as written, with a trailing separator kept.
std::string LFN_ConvertLFName(const std::string& name, TConversionOperation operation);

// Comments are text or none: none reads as "", and "" is stored as none.
std::string PCharToStr(const std::optional<std::string>& p);
std::optional<std::string> StrToPChar(const std::string& s);

// A new, empty, uniquely named file in `path` (empty string when none could be made).
std::string TempFileName(const std::string& path);
void OemFilter(std::string& s);
bool BlockCompare(const void* a, const void* b, size_t count);

}  // namespace zip
