#include "platform/DosFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

#include "platform/Stream.h"

namespace platform {

namespace {

// Upper halves (0x80-0xFF) of the code pages, as Unicode code points.
const uint16_t kCp437[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

const uint16_t kCp850[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C,
    0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, 0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6,
    0x00A7, 0x00F7, 0x00B8, 0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0};

const uint16_t* OemTable(TOemCodePage page) { return page == TOemCodePage::cp850 ? kCp850 : kCp437; }

std::string Native(const std::string& name) { return FromOsPath(OsPath(name)); }

bool LStat(const std::string& name, struct stat& st) {
  return ::lstat(OsPath(name).c_str(), &st) == 0;
}

uint32_t TimeToDos(time_t t) {
  struct tm tmv {};
  localtime_r(&t, &tmv);
  TDosFields f;
  f.year = tmv.tm_year + 1900;
  if (f.year < 1980) return JoinDosDateTime(TDosFields{});
  if (f.year > 2107) f = TDosFields{2107, 12, 31, 23, 59, 58};
  else f = TDosFields{f.year, tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour, tmv.tm_min, tmv.tm_sec};
  return JoinDosDateTime(f);
}

}  // namespace

TDosFields SplitDosDateTime(uint32_t dos) {
  TDosFields f;
  const uint32_t date = dos >> 16, time = dos & 0xFFFF;
  f.year = 1980 + static_cast<int>(date >> 9);
  f.month = static_cast<int>((date >> 5) & 15);
  f.day = static_cast<int>(date & 31);
  f.hour = static_cast<int>(time >> 11);
  f.minute = static_cast<int>((time >> 5) & 63);
  f.second = static_cast<int>((time & 31) * 2);
  return f;
}

uint32_t JoinDosDateTime(const TDosFields& f) {
  const uint32_t date = (static_cast<uint32_t>(f.year - 1980) << 9) | (static_cast<uint32_t>(f.month) << 5) |
                        static_cast<uint32_t>(f.day);
  const uint32_t time = (static_cast<uint32_t>(f.hour) << 11) | (static_cast<uint32_t>(f.minute) << 5) |
                        static_cast<uint32_t>(f.second / 2);
  return (date << 16) | (time & 0xFFFF);
}

bool EncodeDateTime(const TDosFields& f, TDateTime& out) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (f.year < 1 || f.year > 9999 || f.month < 1 || f.month > 12 || f.day < 1) return false;
  const bool leap = (f.year % 4 == 0 && f.year % 100 != 0) || f.year % 400 == 0;
  const int monthDays = kDays[f.month - 1] + (f.month == 2 && leap ? 1 : 0);
  if (f.day > monthDays) return false;
  if (f.hour < 0 || f.hour > 23 || f.minute < 0 || f.minute > 59 || f.second < 0 || f.second > 59) return false;
  // Days from the civil calendar, then shifted to the 1899-12-30 epoch.
  int y = f.year, m = f.month;
  if (m <= 2) { y -= 1; m += 12; }
  const long era = y / 400, yoe = y - era * 400;
  const long doy = (153 * (m - 3) + 2) / 5 + f.day - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days = era * 146097 + doe - 693899;  // days from 0000-03-01 to 1899-12-30
  out = static_cast<double>(days) + (f.hour * 3600 + f.minute * 60 + f.second) / 86400.0;
  return true;
}

TDosFields DecodeDateTime(TDateTime value) {
  long days = static_cast<long>(std::floor(value));
  long secs = std::lround((value - static_cast<double>(days)) * 86400.0);
  if (secs >= 86400) { secs -= 86400; days += 1; }
  long z = days + 693899;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  TDosFields f;
  f.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  f.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  f.year = static_cast<int>(yoe + era * 400 + (f.month <= 2 ? 1 : 0));
  f.hour = static_cast<int>(secs / 3600);
  f.minute = static_cast<int>(secs / 60 % 60);
  f.second = static_cast<int>(secs % 60);
  return f;
}

bool DosDateTimeToDateTime(uint32_t dos, TDateTime& out) { return EncodeDateTime(SplitDosDateTime(dos), out); }

uint32_t DateTimeToDosDateTime(TDateTime value) {
  TDosFields f = DecodeDateTime(value);
  if (f.year < 1980) return JoinDosDateTime(TDosFields{});
  if (f.year > 2107) f = TDosFields{2107, 12, 31, 23, 59, 58};
  return JoinDosDateTime(f);
}

TDateTime Now() {
  struct timeval tv {};
  gettimeofday(&tv, nullptr);
  struct tm tmv {};
  time_t t = tv.tv_sec;
  localtime_r(&t, &tmv);
  TDateTime out = 0;
  EncodeDateTime(TDosFields{tmv.tm_year + 1900, tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour, tmv.tm_min, tmv.tm_sec},
                 out);
  return out + tv.tv_usec / 86400e6;
}

std::string OemToAnsi(const std::string& text, TOemCodePage page) {
  const uint16_t* table = OemTable(page);
  std::string out = text;
  for (char& ch : out) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80) continue;
    const int a = AnsiFromCodePoint(static_cast<char32_t>(table[c - 0x80]));
    ch = a < 0 ? '_' : static_cast<char>(a);
  }
  return out;
}

std::string AnsiToOem(const std::string& text, TOemCodePage page) {
  const uint16_t* table = OemTable(page);
  std::string out = text;
  for (char& ch : out) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80) continue;
    const uint32_t cp = CodePointFromAnsi(c);
    int found = -1;
    for (int i = 0; i < 128 && found < 0; ++i)
      if (table[i] == cp) found = 0x80 + i;
    ch = found < 0 ? '_' : static_cast<char>(found);
  }
  return out;
}

std::string DosToUnixPath(std::string name) {
  for (char& c : name)
    if (c == '\\') c = '/';
  return name;
}

std::string UnixToDosPath(std::string name) {
  for (char& c : name)
    if (c == '/') c = '\\';
  return name;
}

std::filesystem::path OsPath(const std::string& name) {
  return std::filesystem::path(DiskBytesFromName(DosToUnixPath(name)));
}

std::string FromOsPath(const std::filesystem::path& path) { return NameFromDiskBytes(path.string()); }

bool PlainFileExists(const std::string& name) {
  struct stat st {};
  return LStat(name, st) && S_ISREG(st.st_mode);
}

bool DirExists(const std::string& name) {
  struct stat st {};
  return LStat(name, st) && S_ISDIR(st.st_mode);
}

bool IsSymLink(const std::string& name) {
  struct stat st {};
  return LStat(name, st) && S_ISLNK(st.st_mode);
}

bool PathExists(const std::string& name) {
  struct stat st {};
  return LStat(name, st);
}

std::optional<int64_t> FileSizeOf(const std::string& name) {
  struct stat st {};
  if (!LStat(name, st)) return std::nullopt;
  return static_cast<int64_t>(st.st_size);
}

std::optional<uint32_t> FileDosDate(const std::string& name) {
  struct stat st {};
  if (!LStat(name, st)) return std::nullopt;
  return TimeToDos(st.st_mtime);
}

bool SetFileDosDate(const std::string& name, uint32_t dos) {
  const TDosFields f = SplitDosDateTime(dos);
  struct tm tmv {};
  tmv.tm_year = f.year - 1900;
  tmv.tm_mon = f.month - 1;
  tmv.tm_mday = f.day;
  tmv.tm_hour = f.hour;
  tmv.tm_min = f.minute;
  tmv.tm_sec = f.second;
  tmv.tm_isdst = -1;
  const time_t t = mktime(&tmv);
  if (t == static_cast<time_t>(-1)) return false;
  struct timespec times[2];
  times[0].tv_sec = t;
  times[0].tv_nsec = 0;
  times[1] = times[0];
  return utimensat(AT_FDCWD, OsPath(name).c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

int FileGetAttr(const std::string& name) {
  struct stat st {};
  if (!LStat(name, st)) return -1;
  uint32_t attr = 0;
  if (S_ISDIR(st.st_mode)) attr |= faDirectory;
  else attr |= faArchive;
  if ((st.st_mode & S_IWUSR) == 0) attr |= faReadOnly;
  const std::string base = OsPath(name).filename().string();
  if (!base.empty() && base[0] == '.' && base != "." && base != "..") attr |= faHidden;
  return static_cast<int>(attr);
}

bool FileSetAttr(const std::string& name, uint32_t attr) {
  struct stat st {};
  if (!LStat(name, st) || S_ISLNK(st.st_mode)) return false;
  mode_t mode = st.st_mode & 07777;
  if (attr & faReadOnly) mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  else mode |= S_IWUSR;
  return ::chmod(OsPath(name).c_str(), mode) == 0;
}

bool RemoveFile(const std::string& name) { return ::unlink(OsPath(name).c_str()) == 0; }

bool CreateDir(const std::string& name) { return ::mkdir(OsPath(name).c_str(), 0777) == 0; }

bool RemoveDir(const std::string& name) { return ::rmdir(OsPath(name).c_str()) == 0; }

std::string CurrentDir() {
  std::error_code ec;
  return FromOsPath(std::filesystem::current_path(ec));
}

bool SetCurrentDir(const std::string& name) { return ::chdir(OsPath(name).c_str()) == 0; }

namespace {

int MakeTemp(const std::string& dir, const std::string& prefix, std::string& name) {
  std::string base = Native(dir.empty() ? std::string(".") : dir);
  if (base.back() != '/') base += '/';
  std::string pattern = DiskBytesFromName(base + prefix) + "XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  const int fd = ::mkostemp(buf.data(), O_CLOEXEC);
  if (fd >= 0) name = NameFromDiskBytes(buf.data());
  return fd;
}

}  // namespace

std::string CreateTempFile(const std::string& dir, const std::string& prefix) {
  std::string name;
  const int fd = MakeTemp(dir, prefix, name);
  if (fd < 0) return {};
  ::close(fd);
  return name;
}

bool TOsFile::CreateTemp(const std::string& dir, const std::string& prefix, std::string& name) {
  Close();
  fd_ = MakeTemp(dir, prefix, name);
  if (fd_ < 0) {
    error_ = std::strerror(errno);
    return false;
  }
  // A temporary file starts private; it becomes an ordinary file once renamed into place.
  ::fchmod(fd_, static_cast<mode_t>(NewFileMode()));
  return true;
}

std::string TempDir() {
  const char* env = std::getenv("TMPDIR");
  std::string dir = env && *env ? NameFromDiskBytes(env) : std::string("/tmp");
  if (dir.back() != '/') dir += '/';
  return dir;
}

namespace {

std::string& DeviceTreeRoot() {
  static std::string root = "/sys";
  return root;
}

}  // namespace

void SetDeviceTreeRoot(const std::string& root) { DeviceTreeRoot() = root.empty() ? std::string("/sys") : root; }

bool IsRemovableDrive(const std::string& path) {
  // The file system of the path, or of its nearest existing parent.
  std::filesystem::path p = OsPath(path.empty() ? std::string(".") : path);
  struct stat st {};
  for (int up = 0; ::stat(p.c_str(), &st) != 0; ++up) {
    if (up == 64 || !p.has_parent_path() || p.parent_path() == p) return false;
    p = p.parent_path();
  }
  // Its block device's folder; a partition's has no flag of its own, the
  // disk it is part of (the folder above) has.
  const std::filesystem::path link = std::filesystem::path(DeviceTreeRoot()) / "dev" / "block" /
                                     (std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev)));
  std::error_code ec;
  const std::filesystem::path device = std::filesystem::canonical(link, ec);
  if (ec) return false;
  for (const std::filesystem::path& folder : {device, device.parent_path()}) {
    std::ifstream flag(folder / "removable");
    char c = 0;
    if (flag >> c) return c == '1';
  }
  return false;
}

namespace {

std::function<int64_t(const std::string&)>& DiskFreeProbe() {
  static std::function<int64_t(const std::string&)> probe;
  return probe;
}

}  // namespace

void SetDiskFreeProbe(std::function<int64_t(const std::string& path)> probe) { DiskFreeProbe() = std::move(probe); }

int64_t DiskFree(const std::string& path) {
  if (DiskFreeProbe()) return DiskFreeProbe()(path);
  // A folder that does not exist yet will be made on the file system of its nearest
  // existing parent.
  std::filesystem::path p = OsPath(path.empty() ? std::string(".") : path);
  struct statvfs sv {};
  for (int up = 0; up < 64; ++up) {
    if (::statvfs(p.c_str(), &sv) == 0)
      return static_cast<int64_t>(sv.f_bavail) * static_cast<int64_t>(sv.f_frsize);
    if (!p.has_parent_path() || p.parent_path() == p) break;
    p = p.parent_path();
  }
  return -1;
}

bool IsNetworkDrive(const std::string& path) {
  // File system magic numbers of the network and bridged kinds (statfs(2)).
  static constexpr unsigned long kRemote[] = {
      0x6969,      // NFS
      0x517B,      // SMB
      0xFF534D42,  // CIFS
      0xFE534D42,  // SMB2
      0x65735546,  // FUSE (sshfs and the like)
      0x73757245,  // Coda
      0x5346414F,  // AFS
      0x00C36400,  // Ceph
      0x01021997,  // 9P
  };
  std::filesystem::path p = OsPath(path.empty() ? std::string(".") : path);
  struct statfs sf {};
  for (int up = 0; up < 64; ++up) {
    if (::statfs(p.c_str(), &sf) == 0) {
      const auto type = static_cast<unsigned long>(sf.f_type) & 0xFFFFFFFFul;
      for (unsigned long remote : kRemote)
        if (type == remote) return true;
      return false;
    }
    if (!p.has_parent_path() || p.parent_path() == p) break;
    p = p.parent_path();
  }
  return false;
}

bool ListDir(const std::string& dir, std::vector<TDirEntry>& out) {
  out.clear();
  const std::string native = Native(dir.empty() ? std::string(".") : dir);
  DIR* d = ::opendir(DiskBytesFromName(native).c_str());
  if (!d) return false;
  const int dfd = ::dirfd(d);
  while (struct dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    struct stat st {};
    if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    TDirEntry entry;
    entry.name = NameFromDiskBytes(e->d_name);
    entry.symLink = S_ISLNK(st.st_mode);
    struct stat target {};
    if (entry.symLink && ::fstatat(dfd, e->d_name, &target, 0) == 0 && S_ISREG(target.st_mode)) {
      entry.linksToFile = true;
      st.st_size = target.st_size;
      st.st_mtime = target.st_mtime;
      st.st_mode = S_IFLNK | (target.st_mode & 07777);
    }
    entry.size = static_cast<int64_t>(st.st_size);
    entry.attr = S_ISDIR(st.st_mode) ? faDirectory : faArchive;
    if ((st.st_mode & S_IWUSR) == 0) entry.attr |= faReadOnly;
    if (e->d_name[0] == '.') entry.attr |= faHidden;
    entry.dosTime = TimeToDos(st.st_mtime);
    out.push_back(std::move(entry));
  }
  ::closedir(d);
  return true;
}

TOsFile::~TOsFile() { Close(); }

bool TOsFile::Open(const std::string& name, uint16_t mode) {
  Close();
  int flags = O_CLOEXEC;
  if (mode == fmCreate) {
    flags |= O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW;
  } else {
    switch (mode & 3) {
      case fmOpenWrite: flags |= O_WRONLY; break;
      case fmOpenReadWrite: flags |= O_RDWR; break;
      default: flags |= O_RDONLY; break;
    }
  }
  fd_ = ::open(OsPath(name).c_str(), flags, 0666);
  if (fd_ < 0) {
    error_ = std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
    error_ = "is a folder";
    Close();
    return false;
  }
  return true;
}

void TOsFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int64_t TOsFile::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  char* p = static_cast<char*>(buffer);
  while (done < count) {
    const ssize_t n = ::read(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TOsFile::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  const char* p = static_cast<const char*>(buffer);
  while (done < count) {
    const ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = std::strerror(errno);
      outOfSpace_ = errno == ENOSPC || errno == EDQUOT || errno == EFBIG;
      break;
    }
    done += n;
  }
  return done;
}

int64_t TOsFile::Seek(int64_t offset, int whence) {
  const int w = whence == 1 ? SEEK_CUR : whence == 2 ? SEEK_END : SEEK_SET;
  const off_t r = ::lseek(fd_, static_cast<off_t>(offset), w);
  return r < 0 ? -1 : static_cast<int64_t>(r);
}

int64_t TOsFile::Size() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool TOsFile::Truncate(int64_t size) { return ::ftruncate(fd_, static_cast<off_t>(size)) == 0; }

bool TOsFile::Allocate(int64_t size) {
  if (fd_ < 0 || size < 0) return false;
  const int r = ::posix_fallocate(fd_, 0, static_cast<off_t>(size));
  if (r == 0) return true;
  error_ = std::strerror(r);
  outOfSpace_ = r == ENOSPC || r == EDQUOT || r == EFBIG;
  return false;
}

bool TOsFile::FlushToDisk() { return fd_ >= 0 && ::fsync(fd_) == 0; }

}  // namespace platform
