#pragma once

// The file system as the zip component sees it: 8-bit names with "\" separators,
// DOS dates and attribute bits, OEM code pages, temporary names and free space.
// Everything here maps those ideas onto the local file system; nothing above this
// layer knows which system that is.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Charset.h"
#include "platform/FileNames.h"  // RenameFile replaces its target in one step

namespace platform {

// DOS attribute bits as stored in an archive's external attributes (low byte).
constexpr uint32_t faReadOnly = 0x01;
constexpr uint32_t faHidden = 0x02;
constexpr uint32_t faSysFile = 0x04;
constexpr uint32_t faVolumeID = 0x08;
constexpr uint32_t faDirectory = 0x10;
constexpr uint32_t faArchive = 0x20;
constexpr uint32_t faAnyFile = 0x3F;

// A date-time value: days since 30 December 1899, the time of day as the fraction.
using TDateTime = double;

struct TDosFields {
  int year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// A DOS date-time word pair: date in the high 16 bits, time in the low 16 bits.
TDosFields SplitDosDateTime(uint32_t dos);
uint32_t JoinDosDateTime(const TDosFields& f);
// False when the fields do not form a real date and time (month 13, 30 February...).
bool DosDateTimeToDateTime(uint32_t dos, TDateTime& out);
uint32_t DateTimeToDosDateTime(TDateTime value);
bool EncodeDateTime(const TDosFields& f, TDateTime& out);
TDosFields DecodeDateTime(TDateTime value);
TDateTime Now();

// OEM code pages of archives written on DOS hosts. Conversion keeps the length;
// characters with no form in the target page become '_'.
enum class TOemCodePage { cp437, cp850 };
std::string OemToAnsi(const std::string& text, TOemCodePage page = TOemCodePage::cp437);
std::string AnsiToOem(const std::string& text, TOemCodePage page = TOemCodePage::cp437);

// "\" and "/" are both separators in our names; the local file system takes "/".
std::string DosToUnixPath(std::string name);
std::string UnixToDosPath(std::string name);
std::filesystem::path OsPath(const std::string& name);
std::string FromOsPath(const std::filesystem::path& path);

// Queries never follow a symbolic link: a link is neither a file nor a folder here.
bool PlainFileExists(const std::string& name);
bool DirExists(const std::string& name);
bool IsSymLink(const std::string& name);
bool PathExists(const std::string& name);  // anything at all, a dangling link included
std::optional<int64_t> FileSizeOf(const std::string& name);
// The file's modification time as a DOS date-time.
std::optional<uint32_t> FileDosDate(const std::string& name);
bool SetFileDosDate(const std::string& name, uint32_t dos);

// Attributes: read-only follows the owner's write permission, directory the file
// type, hidden a leading dot. The archive bit has no home on this file system: every
// regular file reports it set and setting or clearing it changes nothing.
int FileGetAttr(const std::string& name);  // -1 when the file is missing
bool FileSetAttr(const std::string& name, uint32_t attr);

bool RemoveFile(const std::string& name);
bool CreateDir(const std::string& name);
bool RemoveDir(const std::string& name);
std::string CurrentDir();
bool SetCurrentDir(const std::string& name);

// A new, empty, uniquely named file in `dir` (created exclusively, so no other file
// or link is ever reused). Empty when none could be made.
std::string CreateTempFile(const std::string& dir, const std::string& prefix);
// The system's folder for temporary files, ending in "/".
std::string TempDir();

// Whether `path` lies on a drive whose media are changed by hand: the block device
// under the file system that holds it (or its nearest existing parent) carries the
// kernel's removable flag. File systems without a block device are not removable.
bool IsRemovableDrive(const std::string& path);
// The folder the kernel's device tree is read from, "/sys"; tests lay out one of
// their own ("" puts the system's back).
void SetDeviceTreeRoot(const std::string& root);

// Bytes free for an unprivileged user on the file system holding `path`; -1 unknown.
int64_t DiskFree(const std::string& path);
// Tests that lay out spanned sets fix what DiskFree answers, since the real free
// space moves with everything else the machine writes; null answers from the
// file system again.
void SetDiskFreeProbe(std::function<int64_t(const std::string& path)> probe);
// Whether `path` lies on a file system reached over the network (or through a
// user-space bridge such as sshfs), where steady writes are not to be counted on.
bool IsNetworkDrive(const std::string& path);

struct TDirEntry {
  std::string name;      // 8-bit, without folder
  int64_t size = 0;
  uint32_t attr = 0;     // fa* bits; a symbolic link never has faDirectory
  uint32_t dosTime = 0;
  bool symLink = false;
  // A symbolic link to a plain file: size and time are the file's.
  bool linksToFile = false;
};
// Every entry of a folder except "." and "..". False when the folder cannot be read.
bool ListDir(const std::string& dir, std::vector<TDirEntry>& out);

// An open file. Modes: read, write, read-write, and create (a new empty file).
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmCreate = 0xFFFF;

class TOsFile {
 public:
  TOsFile() = default;
  ~TOsFile();
  TOsFile(const TOsFile&) = delete;
  TOsFile& operator=(const TOsFile&) = delete;

  // Creating never follows a symbolic link at the final name.
  bool Open(const std::string& name, uint16_t mode);
  // Creates and opens (read-write) a new, uniquely named file in `dir` with the
  // permissions an ordinary new file gets; `name` receives it.
  bool CreateTemp(const std::string& dir, const std::string& prefix, std::string& name);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  int Handle() const { return fd_; }
  int64_t Read(void* buffer, int64_t count);
  int64_t Write(const void* buffer, int64_t count);
  int64_t Seek(int64_t offset, int whence);  // 0 start, 1 current, 2 end; -1 on failure
  int64_t Size() const;
  bool Truncate(int64_t size);
  // Reserves `size` bytes of disk for the file (it grows to at least that size),
  // so that later writes cannot run out of space.
  bool Allocate(int64_t size);
  bool FlushToDisk();
  std::string LastError() const { return error_; }
  // The last failure was a full disk, a quota or the file-size limit.
  bool OutOfSpace() const { return outOfSpace_; }

 private:
  int fd_ = -1;
  std::string error_;
  bool outOfSpace_ = false;
};

}  // namespace platform
