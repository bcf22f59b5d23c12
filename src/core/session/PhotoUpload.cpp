#include "core/session/PhotoUpload.h"

#include <filesystem>

#include "core/session/DirectoryLink.h"
#include "core/session/ErrorLog.h"
#include "platform/Charset.h"
#include "platform/Exception.h"
#include "platform/Stream.h"
#include "transport/CommandCodes.h"
#include "transport/ParloSocket.h"

std::int64_t TPhotoUpload::FileSizeOf(const std::string& fileName) {
  std::error_code ec;
  const auto path = platform::PathFromName(fileName);
  if (!std::filesystem::is_regular_file(path, ec)) return 0;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? 0 : static_cast<std::int64_t>(size);
}

TPhotoUpload::TResult TPhotoUpload::UploadProfileImage(TDirectoryLink& link, const std::string& fileName) {
  try {
    // One byte more than may go is enough to know the file is too large.
    std::string bytes(static_cast<std::size_t>(kMaxBytes + 1), '\0');
    {
      TFileStream in(fileName, fmOpenRead);
      std::int64_t got = 0;
      for (std::int64_t n; got < kMaxBytes + 1 && (n = in.Read(bytes.data() + got, kMaxBytes + 1 - got)) > 0;) got += n;
      bytes.resize(static_cast<std::size_t>(got));
    }
    if (bytes.empty() || !Acceptable(static_cast<std::int64_t>(bytes.size())))
      throw platform::Exception(fileName + " is no longer a picture of 1 to " + std::to_string(kMaxBytes) + " bytes");
    if (!link.Connected()) return TResult::NotConnected;
    link.Send(cmd::PhotoUpload, std::to_string(bytes.size()));
    link.Socket().Send(bytes.data(), static_cast<int>(bytes.size()));
    return TResult::Sent;
  } catch (const std::exception&) {
    LogError("ListIP", "ListPort", "Image Sender");
    return TResult::Failed;
  }
}
