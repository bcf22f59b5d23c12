#include "core/session/PhotoUpload.h"

#include <filesystem>
#include <limits>

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
    std::string bytes;
    {
      TFileStream in(fileName, fmOpenRead);
      const std::int64_t length = in.Seek(0, TSeekOrigin::soEnd);
      in.Seek(0, TSeekOrigin::soBeginning);
      // One Send carries the whole file.
      if (length > std::numeric_limits<int>::max()) throw platform::Exception(fileName + " is too large to send");
      bytes.resize(static_cast<std::size_t>(length));
      std::int64_t got = 0;
      for (std::int64_t n; got < length && (n = in.Read(bytes.data() + got, length - got)) > 0;) got += n;
      bytes.resize(static_cast<std::size_t>(got));
    }
    if (!link.Connected()) return TResult::NotConnected;
    link.Send(cmd::PhotoUpload, std::to_string(bytes.size()));
    link.Socket().Send(bytes.data(), static_cast<int>(bytes.size()));
    return TResult::Sent;
  } catch (const std::exception&) {
    LogError("ListIP", "ListPort", "Image Sender");
    return TResult::Failed;
  }
}
