#include "conversations/CamProtocol.h"

#include <ctime>
#include <functional>

#include "core/session/PeerBounds.h"
#include "platform/Jpeg.h"
#include "transport/CmdParser.h"

namespace cam {

namespace {

// The parser turns every comma of the parameters into a line break; these
// records are joined by "{$}" alone, so a comma inside a name is the name's.
TFields RecordFields(const std::string& params) {
  std::string text;
  text.reserve(params.size());
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (params.compare(i, 2, "\r\n") == 0) {
      text += ',';
      ++i;
    } else {
      text += params[i];
    }
  }
  return TFields::Record(text);
}

constexpr std::size_t kMaxFolderName = 64;

}  // namespace

std::string TViewRequest::Join() const {
  return UserID + FieldSeparator + UserName + FieldSeparator + ListenIP + FieldSeparator + ListenPort;
}

TViewRequest TViewRequest::Parse(const std::string& params) {
  const TFields f = RecordFields(params);
  return TViewRequest{f[0], f[1], f[2], f[3]};
}

std::string TInvite::Join() const { return UserName + FieldSeparator + ListenPort; }

TInvite TInvite::Parse(const std::string& params) {
  const TFields f = RecordFields(params);
  return TInvite{f[0], f[1]};
}

std::optional<int> ParsePictureLength(const std::string& params) {
  const std::size_t first = params.find_first_not_of(' ');
  if (first == std::string::npos) return std::nullopt;
  const std::size_t last = params.find_last_not_of(' ');
  const std::string digits = params.substr(first, last - first + 1);
  // Seven digits hold every allowed length; more is out of bounds anyway and
  // must not overflow on the way.
  if (digits.empty() || digits.size() > 7) return std::nullopt;
  int n = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n < 1 || n > kMaxPictureBytes) return std::nullopt;
  return n;
}

std::string SaveFolderName(const std::string& userName) {
  std::string name;
  for (const char c : userName) {
    const auto u = static_cast<unsigned char>(c);
    // Separators of either system, the drive colon and control bytes cannot
    // stand in one name component.
    const bool bad = u < 32 || u == 127 || c == '/' || c == '\\' || c == ':';
    name += bad ? '_' : c;
  }
  // "." and ".." name folders, a leading dot hides one, and trailing dots and
  // blanks are dropped by some file systems, merging two users' folders.
  const std::size_t first = name.find_first_not_of(". ");
  if (first == std::string::npos) return "_";
  name = name.substr(first);
  if (name.size() > kMaxFolderName) name.resize(kMaxFolderName);
  name.erase(name.find_last_not_of(". ") + 1);
  return name;
}

std::string TimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char text[64];
  return std::strftime(text, sizeof text, "%X", &tm) > 0 ? std::string(text) : std::string();
}

namespace {

TReceivedPicture Decode(const std::string& jpeg, long long maxPixels, bool bounded) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(jpeg.data());
  int width = 0, height = 0;
  if (!platform::ReadJpegSize(data, jpeg.size(), width, height)) return {};
  const std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
  if (static_cast<long long>(width) * height > maxPixels) return {QImage(), size};
  QImage image(width, height, QImage::Format_RGB888);
  if (image.isNull()) return {};
  TPictureCost cost(static_cast<std::int64_t>(width) * height, jpeg.size());
  int scans = 0;
  std::function<bool(const platform::TJpegScan&)> allow;
  if (bounded)
    allow = [&](const platform::TJpegScan& scan) {
      scans = scan.Number;
      return cost.AddScan(scan);
    };
  switch (platform::DecodeJpegInto(data, jpeg.size(), width, height, platform::TPixelOrder::Rgb, image.bits(),
                                   static_cast<std::size_t>(image.bytesPerLine()), allow)) {
    case platform::TJpegDecoded::Done:
      return {image, ""};
    case platform::TJpegDecoded::TooDear:
      return {QImage(), size + " too dear to decode by scan " + std::to_string(scans)};
    case platform::TJpegDecoded::Damaged:
      break;
  }
  return {};
}

}  // namespace

QImage DecodePicture(const std::string& jpeg) { return Decode(jpeg, kMaxPicturePixels, false).Image; }

TReceivedPicture DecodeReceivedPicture(const std::string& jpeg) { return Decode(jpeg, kMaxReceivedPixels, true); }

std::string ViewerStateText(TSocketState state) {
  switch (state) {
    case wsInvalidState:
      return "Connection Invalid...";
    case wsOpened:
      return "Connection Opened...";
    case wsBound:
      return "Connection Bound...";
    case wsConnecting:
      return "Connecting...";
    case wsConnected:
      return "Connected...";
    case wsAccepting:
      return "Connection Accepting...";
    case wsListening:
      return "Connection Listening...";
    case wsClosed:
      break;
  }
  return "Connection Closed...";
}

}  // namespace cam
