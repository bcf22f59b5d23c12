#pragma once

#include <cstdint>
#include <string>

class TDirectoryLink;

// The profile photo: a JPEG of at most kMaxBytes, sent on the open directory
// link as 9100 with its size, followed at once by the file's bytes, unframed.
// The server's 9101 (the link's PhotoAnswer) says it arrived; it sends no
// failure answer.
class TPhotoUpload {
 public:
  static constexpr std::int64_t kMaxBytes = 20480;

  // The size of a file, 0 when there is no such file.
  static std::int64_t FileSizeOf(const std::string& fileName);
  // A file of this size may be chosen (exactly kMaxBytes may).
  static bool Acceptable(std::int64_t size) { return size <= kMaxBytes; }

  enum class TResult {
    Sent,          // the server's answer follows
    NotConnected,  // nothing was sent, no answer will come
    Failed,        // the file could not be read
  };
  // Reads the file whole and, while connected, sends it. Failures are logged.
  static TResult UploadProfileImage(TDirectoryLink& link, const std::string& fileName);
};
