#include <fcntl.h>
#include <sys/stat.h>
#include <stdio.h>
#include <unistd.h>

#include <QBuffer>
#include <cerrno>
#include <cstring>
#include <functional>
#include <system_error>

#include "platform/Exception.h"
#include "platform/Stream.h"
#include "resources/Resources.h"

namespace resources {

namespace {

std::string EncodeBmp(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.convertToFormat(QImage::Format_RGB888).save(&buffer, "BMP");
  return bytes.toStdString();
}

// Writes the file only when no file of that name exists, also if one appears while
// we write: the bytes go to a temporary file that is renamed without replacing.
bool WriteIfMissing(const std::filesystem::path& file, const std::function<std::string()>& make) {
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(file, ec))) return false;
  std::filesystem::create_directories(file.parent_path(), ec);
  const std::string bytes = make();
  std::string temp = file.string() + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) throw platform::EStreamError("Cannot write " + file.string() + ": " + std::strerror(errno));
  bool ok = fchmod(fd, static_cast<mode_t>(platform::NewFileMode())) == 0;
  for (size_t done = 0; ok && done < bytes.size();) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ok && fsync(fd) == 0;
  int failed = errno;
  if (::close(fd) != 0 && ok) {
    failed = errno;
    ok = false;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    throw platform::EStreamError("Cannot write " + file.string() + ": " + std::strerror(failed));
  }
  if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, file.c_str(), RENAME_NOREPLACE) == 0) return true;
  const int err = errno;
  ::unlink(temp.c_str());
  if (err == EEXIST) return false;
  throw platform::EStreamError("Cannot write " + file.string() + ": " + std::strerror(err));
}

}  // namespace

int InstallDefaults(const std::filesystem::path& home) {
  int written = 0;
  for (int n = 1; n <= 20; ++n)
    written += WriteIfMissing(home / "Icons" / (std::to_string(n) + ".bmp"), [n] { return EncodeBmp(Emoticon(n)); });
  written += WriteIfMissing(home / "logo.jpg", [] { return EncodeJpeg(Logo()); });
  written += WriteIfMissing(home / "chatlogo.jpg", [] { return EncodeJpeg(ChatLogo()); });
  for (const auto& name : SoundFileNames())
    written += WriteIfMissing(home / "Sounds" / name, [&name] { return SynthesizeWave(name); });
  return written;
}

}  // namespace resources
