#include "platform/FileNames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "platform/Charset.h"
#include "platform/Exception.h"

namespace platform {

namespace {

// No drive colon: Linux has no drives, and a colon is an ordinary character of
// its file names ("Screenshot 12:30.png").
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Index just past the last separator: where the file part starts.
std::size_t FilePartStart(const std::string& name) {
  for (std::size_t i = name.size(); i > 0; --i)
    if (IsSeparator(name[i - 1])) return i;
  return 0;
}

std::size_t ExtensionStart(const std::string& name) {
  const std::size_t start = FilePartStart(name);
  const std::size_t dot = name.rfind('.');
  return (dot == std::string::npos || dot < start) ? name.size() : dot;
}

}  // namespace

std::string ExtractFileName(const std::string& name) { return name.substr(FilePartStart(name)); }

std::string ExtractFilePath(const std::string& name) { return name.substr(0, FilePartStart(name)); }

std::string ExtractFileExt(const std::string& name) { return name.substr(ExtensionStart(name)); }

std::string ChangeFileExt(const std::string& name, const std::string& ext) {
  return name.substr(0, ExtensionStart(name)) + ext;
}

std::string IncludeTrailingPathDelimiter(const std::string& folder) {
  if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder;
  return folder + '\\';
}

bool FileExists(const std::string& name) {
  std::error_code ec;
  return std::filesystem::is_regular_file(PathFromName(name), ec);
}

std::optional<TFileStamp> FileStamp(const FileName& file) {
  struct stat st {};
  if (::stat(file.Path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return TFileStamp{static_cast<unsigned long long>(st.st_ino), static_cast<long long>(st.st_size),
                    static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
}

bool DirectoryExists(const std::string& name) {
  std::error_code ec;
  return std::filesystem::is_directory(PathFromName(name), ec);
}

bool DeleteFile(const std::string& name) {
  std::error_code ec;
  const auto path = PathFromName(name);
  if (std::filesystem::is_directory(path, ec)) return false;
  return std::filesystem::remove(path, ec);
}

bool RenameFile(const std::string& from, const std::string& to) {
  std::error_code ec;
  std::filesystem::rename(PathFromName(from), PathFromName(to), ec);
  return !ec;
}

bool ForceDirectories(const std::string& folder) {
  if (folder.empty()) return false;
  std::error_code ec;
  const auto path = PathFromName(folder);
  std::filesystem::create_directories(path, ec);
  return std::filesystem::is_directory(path, ec);
}

std::string CreateUniqueFile(const std::string& folder, const std::string& prefix, const std::string& extension) {
  static std::mt19937_64 random{std::random_device{}()};
  std::string ext = extension;
  if (!ext.empty() && ext[0] != '.') ext.insert(ext.begin(), '.');
  int lastError = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char unique[16];
    std::snprintf(unique, sizeof unique, "%08X", static_cast<unsigned>(random() & 0xFFFFFFFFu));
    const std::string name = IncludeTrailingPathDelimiter(folder) + prefix + unique + ext;
    const int fd = ::open(PathFromName(name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    lastError = errno;
    if (lastError != EEXIST) break;
  }
  throw EStreamError("Cannot create a file in " + folder + ": " + std::strerror(lastError));
}

}  // namespace platform
