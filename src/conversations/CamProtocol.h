#pragma once

#include <QImage>
#include <optional>
#include <string>

#include "transport/NetSocket.h"

// What the webcam links share: the broadcaster's window, the viewer window and
// the private chat's cam channel speak 1030-1038 (transport/CommandCodes.h)
// with the records and bounds below.
namespace cam {

// A broadcaster sends JPEGs of some dozens of kilobytes; an announced length
// outside 1..kMaxPictureBytes is no picture of ours, and the link is closed
// rather than a megabyte-sized buffer trusted to whoever is on the other end.
inline constexpr int kMaxPictureBytes = 1 << 20;
// Raw picture bytes are taken at most this many per data event, so a picture
// arrives in pieces between the other sockets' and timers' turns.
inline constexpr int kReadSize = 2047;
// Cam command lines are short (the longest is a view request); a longer line
// is nobody speaking this protocol, and closes the link.
inline constexpr int kLineLimit = 4096;
// A decoded picture may have at most this many pixels: a small file can
// declare an enormous picture, and decoding must not allocate for it.
inline constexpr int kMaxPicturePixels = 4096 * 4096;
// A broadcaster's picture may cost no more than a camera's picture ever
// does: the pixels of a 1080p frame with room to spare, and the decoding
// that peerbounds::TPictureCost counts.
inline constexpr int kMaxReceivedPixels = 2048 * 1536;

// What the user is told when the cam cannot work, by the broadcast window
// and by every command that would open it.
inline constexpr const char* kDirectXText =
    "You need an updated version of DirectX for the cam to operate correctly. You can download forfree at Microsoft web site. DirectX 8.0 or better is required.";
inline constexpr const char* kDirectXCaption = "DirectX Required";
inline constexpr const char* kNoDeviceText = "You do not have a valid cam device or it is not configured properly.";
inline constexpr const char* kNoDeviceCaption = "No Cam Device";

// 1030: who asks to view.
struct TViewRequest {
  std::string UserID, UserName, ListenIP, ListenPort;
  std::string Join() const;
  // From the parameters as TCmdParser::ExtractParameters gives them; missing
  // fields read as empty.
  static TViewRequest Parse(const std::string& params);
};

// 1037: a broadcaster offers its cam.
struct TInvite {
  std::string UserName, ListenPort;
  std::string Join() const;
  static TInvite Parse(const std::string& params);
};

// The length a 1034 announces: decimal digits (blanks around them allowed),
// 1..kMaxPictureBytes; anything else is none.
std::optional<int> ParsePictureLength(const std::string& params);

// One name component for the folder of a peer's saved pictures: whatever the
// peer calls itself, the folder stays inside "CamImages".
std::string SaveFolderName(const std::string& userName);

// The time as the status lines show it ("Last Image " + this).
std::string TimeText();

// The own broadcast's picture as an image; a null image when it is no JPEG,
// is damaged, or declares more than kMaxPicturePixels.
QImage DecodePicture(const std::string& jpeg);

// A broadcaster's picture: a null image when it is damaged, and then also
// why it was refused when it has more than kMaxReceivedPixels or costs more
// to decode than peerbounds::kPictureDecodeNs (found before the scan that
// would pass it is decoded). Safe on any thread.
struct TReceivedPicture {
  QImage Image;
  std::string Refused;
};
TReceivedPicture DecodeReceivedPicture(const std::string& jpeg);

// What a viewer's status says of its link's state.
std::string ViewerStateText(TSocketState state);

}  // namespace cam
