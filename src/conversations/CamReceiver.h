#pragma once

#include <QImage>
#include <functional>
#include <memory>
#include <string>

#include "conversations/CamProtocol.h"
#include "conversations/PictureDecoding.h"
#include "platform/Stream.h"
#include "transport/ParloSocket.h"

class TPaths;

// What a cam viewer shows, and how its owner takes the link's ends. The
// viewer window and the private chat's cam channel each fill it their own
// way. Unset hooks are skipped.
struct TCamReceiverHost {
  std::function<void(const std::string& text)> Status;
  // A picture arrived; a null image takes the shown one away.
  std::function<void(const QImage& picture)> Picture;
  // 1038: the broadcaster runs no cam. The link is closed already.
  std::function<void()> CamOff;
  // The link closed; error 0 when it closed in order.
  std::function<void(int error)> Closed;
  // A socket error (also a failed connect).
  std::function<void(int error)> SocketError;
  // The bytes of each complete picture, whatever became of them.
  std::function<void(const std::string& jpeg)> PictureReceived;
  // What the status shows when a received line cannot be read.
  std::string LineErrorText = "Command Error...";
};

// One viewer's link to a broadcaster's peer listener: it asks with 1030 once
// connected, answers the admission (1031) with 1033, and hands each picture to
// its owner, asking for the next with 1033 once it is shown; in save mode each
// picture is also kept as a file in "CamImages" + the broadcaster's name.
//
// A picture's length is checked before the link leaves line mode, and exactly
// that many bytes are taken as the picture. It is decoded on a decoding
// thread (TPictureDecoding) while the link waits: what follows it is read,
// as lines again, once it is shown. A length out of bounds closes the link,
// and so does a picture that would cost more to decode than any camera's
// (cam::DecodeReceivedPicture).
class TCamReceiver {
 public:
  TCamReceiver(TCamReceiverHost host, TPaths& paths);
  ~TCamReceiver();
  TCamReceiver(const TCamReceiver&) = delete;
  TCamReceiver& operator=(const TCamReceiver&) = delete;

  // Opens a new link (dropping any earlier one); `own` is what the 1030 says.
  void Connect(const std::string& addr, const std::string& port, const cam::TViewRequest& own);
  void Close();
  void CloseDelayed();
  // A link exists and has not closed.
  bool Open() const;
  bool Connected() const;
  // Null before the first Connect.
  TParloSocket* Socket() { return socket_.get(); }

  bool SaveMode() const { return saveMode_; }
  // Save mode on (making the folder for the broadcaster `peerUserName`) or
  // off. False, with save mode off and "Image Error..." shown, when the
  // folder cannot be made. A picture under way ends where it began.
  bool ToggleSaveMode(const std::string& peerUserName);
  const std::string& SaveFolder() const { return saveFolder_; }
  // The file of the last picture saved ("" when none).
  const std::string& LastFile() const { return lastFile_; }

  int PicturesReceived() const { return pictures_; }

  // The handler of one received line, public so that tests can drive it.
  void HandleLine(const std::string& line);

 private:
  void Bind();
  void CamDataAvailable(int error);
  void CamSessionConnected(int error);
  void CamSessionClosed(int error);
  void CamChangeState(TSocketState state);
  void CamBgException(const std::exception& e, bool& canClose);
  void HandleCommand(int code, const std::string& params);
  void BeginFrame(const std::string& params);
  void TakePictureBytes();
  // The bytes of a read go to the picture in memory, and in save mode to its file.
  void WriteFrameToStream(const char* bytes, int length);
  void WriteFrameData(const char* bytes, int length);
  void FinishPicture();
  void ShowPicture(const cam::TReceivedPicture& picture);
  void DropPictureFile();
  void LineMode();
  void Status(const std::string& text);

  TCamReceiverHost host_;
  TPaths& paths_;
  std::unique_ptr<TParloSocket> socket_;
  std::string request_;
  // The picture under way.
  int expected_ = 0, received_ = 0;
  std::string picture_;
  std::unique_ptr<TFileStream> file_;
  std::string fileName_;
  bool saveMode_ = false;
  std::string saveFolder_, lastFile_;
  int pictures_ = 0;
  TPictureDecoding decoding_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
