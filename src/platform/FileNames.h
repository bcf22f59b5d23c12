#pragma once

#include <optional>
#include <string>

#include "platform/Charset.h"

// File names as the program's own 8-bit text: folders end in a backslash and
// names are joined by plain concatenation. Both '\' and '/' count as
// separators, so a name that came from elsewhere cannot hide a folder part.
// The functions that touch the disk convert through PathFromName.
namespace platform {

// The part after the last separator.
std::string ExtractFileName(const std::string& name);
// The part up to and including the last separator; "" when there is none.
std::string ExtractFilePath(const std::string& name);
// From the last '.' of the file part, the dot included; "" when none.
std::string ExtractFileExt(const std::string& name);
// The name with its extension replaced by `ext` (which carries its dot, or is
// empty to drop the extension): "a.b" with ".zip" gives "a.zip".
std::string ChangeFileExt(const std::string& name, const std::string& ext);
// `folder` with a backslash at its end unless it already ends in a separator.
std::string IncludeTrailingPathDelimiter(const std::string& folder);

bool FileExists(const std::string& name);  // a file, not a folder
bool DirectoryExists(const std::string& name);
// False when the file could not be removed (or was not there).
bool DeleteFile(const std::string& name);
bool RenameFile(const std::string& from, const std::string& to);
// Creates the folder and any missing parents; true when it exists afterwards.
bool ForceDirectories(const std::string& folder);
// A new, empty file in `folder` named prefix + a unique part + extension (which
// carries its dot, or gets one). It is created exclusively and left in place,
// so that no other file, and no name another writer takes meanwhile, is ever
// handed out. Raises EStreamError when no file can be made there.
std::string CreateUniqueFile(const std::string& folder, const std::string& prefix, const std::string& extension);

// What a file looks like on disk, enough to tell that it changed since a copy
// of it was kept; one look at the disk.
struct TFileStamp {
  unsigned long long Inode = 0;
  long long Size = 0;
  long long Modified = 0;  // nanoseconds
  bool operator==(const TFileStamp&) const = default;
};
// Empty when there is no regular file by that name.
std::optional<TFileStamp> FileStamp(const FileName& file);

}  // namespace platform
