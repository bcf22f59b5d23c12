#include "platform/Stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/ErrorSink.h"
#include "platform/Exception.h"

using platform::EStreamError;

namespace {

constexpr std::int64_t kCopyChunk = 64 * 1024;

std::string SystemReason(int error) { return platform::Utf8ToAnsi(std::strerror(error)); }

}  // namespace

std::int64_t TStream::Size() {
  const std::int64_t here = Position();
  const std::int64_t end = Seek(0, TSeekOrigin::soEnd);
  Seek(here, TSeekOrigin::soBeginning);
  return end;
}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  auto* out = static_cast<char*>(buffer);
  // A file may hand out fewer bytes than asked before its end; keep asking
  // until the stream has really nothing more.
  while (count > 0) {
    const std::int64_t got = Read(out, count);
    if (got <= 0) throw EStreamError("Stream read error");
    out += got;
    count -= got;
  }
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  const auto* in = static_cast<const char*>(buffer);
  while (count > 0) {
    const std::int64_t put = Write(in, count);
    if (put <= 0) throw EStreamError("Stream write error");
    in += put;
    count -= put;
  }
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  if (count < 0) return 0;
  std::vector<char> chunk(static_cast<std::size_t>(std::min(count, kCopyChunk)));
  const std::int64_t total = count;
  while (count > 0) {
    const std::int64_t n = std::min<std::int64_t>(count, static_cast<std::int64_t>(chunk.size()));
    source.ReadBuffer(chunk.data(), n);
    WriteBuffer(chunk.data(), n);
    count -= n;
  }
  return total;
}

// ---- TMemoryStream

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  const std::int64_t size = Size();
  if (count <= 0 || position_ >= size) return 0;
  const std::int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  const std::int64_t end = position_ + count;
  if (end > Size()) SetSize(end);
  std::memcpy(data_.data() + position_, buffer, static_cast<std::size_t>(count));
  position_ = end;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = 0;
  if (origin == TSeekOrigin::soCurrent) base = position_;
  else if (origin == TSeekOrigin::soEnd) base = Size();
  const std::int64_t target = base + offset;
  if (target < 0) throw EStreamError("Stream seek error");
  position_ = target;
  return position_;
}

void TMemoryStream::SetSize(std::int64_t size) {
  if (size < 0) throw EStreamError("Stream size error");
  data_.resize(static_cast<std::size_t>(size));
  if (position_ > size) position_ = size;
}

void TMemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  const std::int64_t size = source.Size();
  SetSize(size);
  if (size > 0) source.ReadBuffer(data_.data(), size);
  position_ = 0;
}

void TMemoryStream::SaveToStream(TStream& target) const {
  if (!data_.empty()) target.WriteBuffer(data_.data(), static_cast<std::int64_t>(data_.size()));
}

void TMemoryStream::LoadFromFile(const platform::FileName& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const platform::FileName& fileName) const {
  platform::ReplaceFile(fileName, data_.data(), data_.size());
}

// ---- TFileStream

TFileStream::TFileStream(const platform::FileName& fileName, unsigned mode) : fileName_(fileName) {
  int flags = O_CLOEXEC;
  if (mode == fmCreate || (mode & 0xFF00) == fmCreate) {
    flags |= O_RDWR | O_CREAT | O_TRUNC;
  } else {
    switch (mode & 0x0003) {
      case fmOpenWrite: flags |= O_WRONLY; break;
      case fmOpenReadWrite: flags |= O_RDWR; break;
      default: flags |= O_RDONLY; break;
    }
  }
  if (mode & fmStore) {
    fd_ = platform::OpenStore(fileName_, flags);
  } else {
    do {
      fd_ = ::open(fileName_.Path().c_str(), flags, 0666);
    } while (fd_ < 0 && errno == EINTR);
  }
  if (fd_ < 0) {
    const int error = errno;
    const char* what = (flags & O_CREAT) ? "Cannot create file \"" : "Cannot open file \"";
    throw EStreamError(what + fileName_.Display() + "\". " + SystemReason(error));
  }
  // Opening a folder succeeds on Linux but every read then fails; say so now.
  struct stat info {};
  if (::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    throw EStreamError("Cannot open file \"" + fileName_.Display() + "\". " + SystemReason(EISDIR));
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

void TFileStream::Close(bool toDisk) {
  if (fd_ < 0) return;
  int error = toDisk && ::fsync(fd_) != 0 && errno != EINVAL ? errno : 0;
  if (::close(fd_) != 0 && error == 0) error = errno;
  fd_ = -1;
  if (error != 0) throw EStreamError("Cannot write to file \"" + fileName_.Display() + "\". " + SystemReason(error));
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  ssize_t n;
  do {
    n = ::read(fd_, buffer, static_cast<std::size_t>(count));
  } while (n < 0 && errno == EINTR);
  if (n < 0) throw EStreamError("Cannot read from file \"" + fileName_.Display() + "\". " + SystemReason(errno));
  return n;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  ssize_t n;
  do {
    n = ::write(fd_, buffer, static_cast<std::size_t>(count));
  } while (n < 0 && errno == EINTR);
  if (n < 0) throw EStreamError("Cannot write to file \"" + fileName_.Display() + "\". " + SystemReason(errno));
  return n;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  int whence = SEEK_SET;
  if (origin == TSeekOrigin::soCurrent) whence = SEEK_CUR;
  else if (origin == TSeekOrigin::soEnd) whence = SEEK_END;
  const off_t at = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (at < 0) throw EStreamError("Stream seek error");
  return at;
}

void TFileStream::SetSize(std::int64_t size) {
  if (size < 0) throw EStreamError("Stream size error");
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
    throw EStreamError("Cannot change the size of \"" + fileName_.Display() + "\". " + SystemReason(errno));
  if (Position() > size) SetPosition(size);
}

namespace platform {

unsigned NewFileMode() {
  // Read from the process's status: asking the kernel means setting the
  // umask, which another thread creating a file at that moment would see.
  unsigned mask = 022;
  bool known = false;
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    while (!known && std::fgets(line, sizeof line, status)) known = std::sscanf(line, "Umask: %o", &mask) == 1;
    std::fclose(status);
  }
  if (!known) {
    mask = ::umask(022);
    ::umask(mask);
  }
  return 0666u & ~mask;
}

namespace {

EStreamError CannotOpen(const FileName& fileName, int error) {
  return EStreamError("Cannot open file \"" + fileName.Display() + "\". " + SystemReason(error));
}

std::string NotAPlainFile(mode_t mode) {
  const char* kind = S_ISLNK(mode)    ? "a symbolic link"
                     : S_ISFIFO(mode) ? "a named pipe"
                     : S_ISSOCK(mode) ? "a socket"
                                      : "a device";
  return std::string("is not a plain file but ") + kind;
}

// The first free name of "<path>.unreadable-<date and time>[-n]".
std::string AsideName(const std::string& path) {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
  const std::string base = path + ".unreadable-" + stamp;
  std::string aside = base;
  struct stat info {};
  for (int n = 1; ::lstat(aside.c_str(), &info) == 0; ++n) aside = base + "-" + std::to_string(n);
  return aside;
}

}  // namespace

bool SetAside(const FileName& fileName, const std::string& why, const StoreLog& log) {
  const std::string path = fileName.Path().string();
  const std::string aside = AsideName(path);
  // rename() moves a link itself, never what it points to.
  const bool moved = ::rename(path.c_str(), aside.c_str()) == 0;
  const int error = errno;
  const std::string message = "Data file " + fileName.Display() + " " + why + "; " +
                              (moved ? "kept as " + FileName(std::filesystem::path(aside)).Display()
                                     : "it could not be moved aside either (" + SystemReason(error) + ")");
  if (log) log(message);
  else ReportError("None", "None", message);
  errno = error;
  return moved;
}

int OpenStore(const FileName& fileName, int flags, unsigned mode, const StoreLog& log, bool* setAside) {
  if (setAside != nullptr) *setAside = false;
  const std::string path = fileName.Path().string();
  flags |= O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  // Twice at most: what is set aside the first time leaves the name free,
  // and something else again in its place at once is not waited out.
  for (int attempt = 0;; ++attempt) {
    int fd;
    do {
      fd = ::open(path.c_str(), flags, static_cast<mode_t>(mode));
    } while (fd < 0 && errno == EINTR);
    struct stat info {};
    if (fd >= 0) {
      if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
      }
      if (S_ISREG(info.st_mode)) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return fd;
      }
      ::close(fd);
    } else {
      // A link refuses with ELOOP, a pipe nobody reads with ENXIO (for
      // writing), a folder with EISDIR: what stands there tells.
      const int error = errno;
      if (::lstat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) {
        errno = error;
        return -1;
      }
    }
    // A folder may hold what the user keeps: it stays, and the open fails.
    if (S_ISDIR(info.st_mode) || attempt > 0) {
      errno = S_ISDIR(info.st_mode) ? EISDIR : EBUSY;
      return -1;
    }
    if (!SetAside(fileName, NotAPlainFile(info.st_mode), log)) return -1;
    if (setAside != nullptr) *setAside = true;
  }
}

bool FreeStoreName(const FileName& fileName, const StoreLog& log) {
  struct stat info {};
  if (::lstat(fileName.Path().c_str(), &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) return true;
  return SetAside(fileName, NotAPlainFile(info.st_mode), log);
}

TStoreRead ReadStore(const FileName& fileName, std::string& bytes, std::uintmax_t limit, const StoreLog& log) {
  bytes.clear();
  bool setAside = false;
  const int fd = OpenStore(fileName, O_RDONLY, 0666, log, &setAside);
  if (fd < 0) {
    if (errno == ENOENT) return setAside ? TStoreRead::SetAside : TStoreRead::Missing;
    throw CannotOpen(fileName, errno);
  }
  // The file may grow while it is read: one byte past the limit tells.
  struct stat info {};
  int error = ::fstat(fd, &info) != 0 ? errno : 0;
  if (error == 0 && static_cast<std::uintmax_t>(info.st_size) <= limit)
    bytes.reserve(static_cast<std::size_t>(info.st_size));
  char chunk[kCopyChunk];
  while (error == 0 && bytes.size() <= limit) {
    const ssize_t n = ::read(fd, chunk, std::min<std::uintmax_t>(sizeof chunk, limit + 1 - bytes.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n <= 0) break;
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (error != 0)
    throw EStreamError("Cannot read from file \"" + fileName.Display() + "\". " + SystemReason(error));
  if (bytes.size() > limit) {
    bytes.clear();
    throw EStreamError("file too large");
  }
  return TStoreRead::Read;
}

namespace {

// Makes a temporary file beside the target, with the mode the result is to
// have: that of the file it replaces, or the one the umask gives a new file
// (mkostemp makes it private). Answers its descriptor, or -1 with errno set.
int TempBeside(const std::string& target, std::string& temp) {
  temp = target + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat old {};
  const mode_t mode = ::lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode) ? old.st_mode & 07777 : NewFileMode();
  if (::fchmod(fd, mode) != 0) {
    const int error = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    errno = error;
    return -1;
  }
  return fd;
}

// Writes all of the bytes; answers 0 or the error that stopped it.
int WriteAll(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

EStreamError CannotCreate(const FileName& fileName, int error) {
  return EStreamError("Cannot create file \"" + fileName.Display() + "\". " + SystemReason(error));
}

EStreamError CannotWrite(const FileName& fileName, int error) {
  return EStreamError("Cannot write to file \"" + fileName.Display() + "\". " + SystemReason(error));
}

}  // namespace

void ReplaceFile(const FileName& fileName, const void* data, std::size_t size) {
  if (!FreeStoreName(fileName)) throw CannotWrite(fileName, errno);
  const std::string target = fileName.Path().string();
  std::string temp;
  const int fd = TempBeside(target, temp);
  if (fd < 0) throw CannotCreate(fileName, errno);
  int error = WriteAll(fd, data, size);
  // Without the flush a crash of the machine soon after the rename can leave
  // an empty file where the old one was.
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    throw CannotWrite(fileName, error);
  }
}

void ReplaceFileWith(const FileName& fileName, const std::function<void(TStream&)>& write) {
  if (!FreeStoreName(fileName)) throw CannotWrite(fileName, errno);
  const std::string target = fileName.Path().string();
  std::string temp;
  const int fd = TempBeside(target, temp);
  if (fd < 0) throw CannotCreate(fileName, errno);
  ::close(fd);
  try {
    TFileStream out(std::filesystem::path(temp), fmOpenReadWrite);
    write(out);
    out.Close();
    if (::rename(temp.c_str(), target.c_str()) != 0) throw CannotWrite(fileName, errno);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
}

std::uintmax_t AppendToFile(const FileName& fileName, const void* data, std::size_t size) {
  const int fd = OpenStore(fileName, O_WRONLY | O_CREAT | O_APPEND);
  if (fd < 0) throw CannotOpen(fileName, errno);
  // A write that fails part way is taken back, so the file never ends in half an entry.
  struct stat before {};
  int error = ::fstat(fd, &before) != 0 ? errno : 0;
  const bool measured = error == 0;
  if (error == 0) error = WriteAll(fd, data, size);
  if (error != 0 && measured) (void)::ftruncate(fd, before.st_size);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) throw CannotWrite(fileName, error);
  return static_cast<std::uintmax_t>(before.st_size) + size;
}

}  // namespace platform
