#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Charset.h"

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// A sequence of bytes with a position. Read and Write move what they can and
// report the count; ReadBuffer and WriteBuffer insist on the whole amount and
// raise EStreamError otherwise.
class TStream {
 public:
  virtual ~TStream() = default;

  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  // The new position. A position before the start raises EStreamError.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
  virtual std::int64_t Size();
  virtual void SetSize(std::int64_t size) = 0;

  std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::soBeginning); }

  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);
  void WriteString(const std::string& bytes) { WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size())); }
  // Copies `count` bytes from the source's position; a count of 0 copies the
  // whole source from its start. Raises when the source runs short.
  std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// Bytes held in memory. The position may lie past the end; writing there
// fills the gap with zeros.
class TMemoryStream : public TStream {
 public:
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
  void SetSize(std::int64_t size) override;

  char* Memory() { return data_.data(); }
  const char* Memory() const { return data_.data(); }
  // The whole content as a string of bytes.
  std::string ToString() const { return std::string(data_.begin(), data_.end()); }
  void Clear();

  void LoadFromStream(TStream& source);
  void SaveToStream(TStream& target) const;
  void LoadFromFile(const platform::FileName& fileName);
  void SaveToFile(const platform::FileName& fileName) const;

 private:
  std::vector<char> data_;
  std::int64_t position_ = 0;
};

// Open modes: one access mode, optionally or'ed with a sharing mode. Sharing
// modes are accepted for the callers' sake; the disk here knows no such locks.
// fmStore opens one of the program's own files the way platform::OpenStore
// does.
enum : unsigned {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  // Creates the file, or empties an existing one, for reading and writing.
  fmCreate = 0xFF00,
  fmStore = 0x10000,
};

// A file on disk. Failing to open or create raises EStreamError naming the file.
class TFileStream : public TStream {
 public:
  TFileStream(const platform::FileName& fileName, unsigned mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  void SetSize(std::int64_t size) override;
  // Closes the file, first putting its bytes on the disk when `toDisk`;
  // raises EStreamError when either fails, for a file whose last bytes must
  // not be lost untold.
  void Close(bool toDisk = true);

  const platform::FileName& FileName() const { return fileName_; }

 private:
  platform::FileName fileName_;
  int fd_ = -1;
};

namespace platform {

// The program's own files in its home (its stores) are opened only through
// OpenStore and the functions below, which use it. An open never waits: a
// named pipe in a store's place would hold the program for good. It never
// follows a symbolic link either: the program's writes would land wherever
// the link points. Whatever stands at a store's name and is not a plain file
// (a pipe, a socket, a device, a link) is set aside as SetAside does, and the
// store goes on as one that is not there. A folder, which may hold what the
// user keeps, stays where it is: opening it fails with EISDIR.
using StoreLog = std::function<void(const std::string& message)>;

// Renames whatever stands at fileName (a link itself, never what it points
// to) to fileName + ".unreadable-" + the date and time, and logs "Data file
// <name> <why>; kept as <new name>", or why it could not be moved. Logs
// through `log`, or as an entry without a connection when there is none.
// True when the name is free afterwards.
bool SetAside(const FileName& fileName, const std::string& why, const StoreLog& log = {});

// Opens a store with open(2) flags, adding those that keep it from waiting
// or following a link; `mode` is a created file's. Answers the descriptor,
// or -1 with errno set: ENOENT when nothing is there (also after what stood
// there was set aside, unless the flags create the file). `setAside` tells
// whether something was.
int OpenStore(const FileName& fileName, int flags, unsigned mode = 0666, const StoreLog& log = {},
              bool* setAside = nullptr);

// Sets aside what stands at a store's name when it is neither a plain file
// nor a folder, so that a file can be put there; false when it could not be
// moved.
bool FreeStoreName(const FileName& fileName, const StoreLog& log = {});

enum class TStoreRead { Read, Missing, SetAside };
// Reads the whole of a store into `bytes`. Missing when there is none;
// SetAside when what stood there was not a plain file (and was logged).
// Raises EStreamError when it cannot be read or holds more than `limit` bytes.
TStoreRead ReadStore(const FileName& fileName, std::string& bytes, std::uintmax_t limit,
                     const StoreLog& log = {});

// Writes the bytes to a new file next to `fileName` and renames it over the
// old one, so a crash or a full disk never leaves a half-written store behind.
// Raises EStreamError (and leaves the old file untouched) on failure.
// What stands there and is not a plain file is set aside first.
// A new file gets the mode a file made the usual way would (0666 less the
// umask); a replaced one keeps its own.
void ReplaceFile(const FileName& fileName, const void* data, std::size_t size);

// As ReplaceFile, for content too large to hold in memory: `write` fills the
// new file through the stream given, and whatever it raises leaves the old
// file as it was.
void ReplaceFileWith(const FileName& fileName, const std::function<void(TStream&)>& write);

// Adds the bytes at the end of a store, creating it when missing; answers the
// file's new size. When not every byte reaches the disk the file is cut back
// to its old length and EStreamError raised, so no half entry stays behind.
std::uintmax_t AppendToFile(const FileName& fileName, const void* data, std::size_t size);

// The permission bits a new file takes: 0666 less the process's umask.
unsigned NewFileMode();

}  // namespace platform
