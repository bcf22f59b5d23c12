#include "conversations/CamReceiver.h"

#include <algorithm>

#include "core/session/ErrorLog.h"
#include "core/session/Paths.h"
#include "platform/FileNames.h"
#include "platform/FreeMemory.h"
#include "transport/CmdParser.h"
#include "transport/CommandCodes.h"

TCamReceiver::TCamReceiver(TCamReceiverHost host, TPaths& paths) : host_(std::move(host)), paths_(paths) {}

TCamReceiver::~TCamReceiver() {
  *alive_ = false;
  DropPictureFile();
  if (!socket_) return;
  socket_->DropHandlers();
  socket_->Close();
}

void TCamReceiver::Connect(const std::string& addr, const std::string& port, const cam::TViewRequest& own) {
  // Not called from the old link's own events: it can go at once.
  if (socket_) {
    socket_->DropHandlers();
    socket_->Close();
    socket_.reset();
  }
  DropPictureFile();
  decoding_.Withdraw();
  expected_ = received_ = 0;
  picture_.clear();
  request_ = own.Join();
  socket_ = std::make_unique<TParloSocket>();
  Bind();
  socket_->ConnectTcp(addr, port);
}

void TCamReceiver::Bind() {
  TParloSocket& s = *socket_;
  s.OnDataAvailable = [this](TCustomNetSocket*, int error) { CamDataAvailable(error); };
  s.OnSessionConnected = [this](TCustomNetSocket*, int error) { CamSessionConnected(error); };
  s.OnSessionClosed = [this](TCustomNetSocket*, int error) { CamSessionClosed(error); };
  s.OnChangeState = [this](TCustomNetSocket*, TSocketState, TSocketState state) { CamChangeState(state); };
  s.OnError = [this](TCustomNetSocket* socket) {
    if (host_.SocketError) host_.SocketError(socket->LastError());
  };
  s.OnBgException = [this](TCustomNetSocket*, const std::exception& e, bool& canClose) { CamBgException(e, canClose); };
  s.LineLimit = cam::kLineLimit;
  s.OnLineLimitExceeded = [this](TCustomNetSocket* socket, int length, bool& clear) {
    clear = true;
    LogError(socket->PeerAddr(), socket->PeerPort(),
             "Cam broadcaster sent a line of " + std::to_string(length) + " bytes; closed");
    socket->CloseDelayed();
  };
  LineMode();
}

// A picture still being decoded is no longer shown.
void TCamReceiver::Close() {
  decoding_.Withdraw();
  if (socket_) socket_->Close();
  platform::GiveBackFreeMemorySoon();
}

void TCamReceiver::CloseDelayed() {
  decoding_.Withdraw();
  if (socket_) socket_->CloseDelayed();
}

bool TCamReceiver::Open() const { return socket_ && socket_->State() != wsClosed; }

bool TCamReceiver::Connected() const { return socket_ && socket_->State() == wsConnected; }

void TCamReceiver::LineMode() {
  socket_->SetLineEnd("\r\n");
  socket_->SetLineMode(true);
}

void TCamReceiver::Status(const std::string& text) {
  if (host_.Status) host_.Status(text);
}

// ----- the link ---------------------------------------------------------------------

void TCamReceiver::CamSessionConnected(int error) {
  if (error != 0) {
    if (host_.SocketError) host_.SocketError(error);
    return;
  }
  // Sent at once: the listener's greeting is not waited for.
  socket_->SendCommand(cmd::CamViewRequest, request_, "");
  Status("Connecting...");
}

void TCamReceiver::CamSessionClosed(int error) {
  // A picture cut off by the close is no picture.
  DropPictureFile();
  expected_ = received_ = 0;
  if (host_.Closed) host_.Closed(error);
  // The pictures of a link are megabytes each, decoded on other threads:
  // what they held the allocator keeps unless asked.
  platform::GiveBackFreeMemorySoon();
}

void TCamReceiver::CamChangeState(TSocketState state) {
  Status(cam::ViewerStateText(state));
}

void TCamReceiver::CamBgException(const std::exception& e, bool& canClose) {
  canClose = true;
  Status(e.what());
}

void TCamReceiver::CamDataAvailable(int error) {
  if (error != 0) {
    if (host_.SocketError) host_.SocketError(error);
    return;
  }
  // What follows a picture waits until it is shown.
  if (decoding_.Pending()) return;
  if (!socket_->LineMode()) {
    TakePictureBytes();
    return;
  }
  const std::string line = socket_->ReceiveStr();
  if (line.empty()) return;
  HandleLine(TCmdParser::CleanLine(line));
}

void TCamReceiver::HandleLine(const std::string& line) {
  if (line.empty() || !Connected()) return;
  int code = 0;
  std::string params;
  try {
    code = TCmdParser::ExtractCommand(line);
    params = TCmdParser::ExtractParameters(line);
  } catch (const std::exception&) {
    Status(host_.LineErrorText);
    return;
  }
  if (code < cmd::CamAdmitted || code > cmd::CamOff) return;
  const std::weak_ptr<bool> alive = alive_;
  try {
    HandleCommand(code, params);
  } catch (const std::exception&) {
    if (!alive.expired()) Status("Command Switch Error...");
  }
}

void TCamReceiver::HandleCommand(int code, const std::string& params) {
  switch (code) {
    case cmd::CamAdmitted:
      LineMode();
      socket_->SendCommand(cmd::CamReady, "", "");
      Status("Waiting for images...");
      break;
    case cmd::CamRefused:
      socket_->Close();
      Status("Broadcast request rejected");
      break;
    case cmd::CamFrame:
      BeginFrame(params);
      break;
    case cmd::CamPaused:
      LineMode();
      Status("Cam is paused...");
      break;
    case cmd::CamOff:
      socket_->Close();
      if (host_.CamOff) host_.CamOff();
      break;
    default:  // 1033, 1035, 1037 are not for a viewer
      break;
  }
}

// ----- pictures ---------------------------------------------------------------------

void TCamReceiver::BeginFrame(const std::string& params) {
  const std::optional<int> length = cam::ParsePictureLength(params);
  if (!length) {
    LogError(socket_->PeerAddr(), socket_->PeerPort(),
             "Cam picture of length \"" + params.substr(0, 32) + "\" refused; closed");
    Status("Invalid Image");
    socket_->Close();
    return;
  }
  expected_ = *length;
  received_ = 0;
  picture_.clear();
  picture_.reserve(static_cast<std::size_t>(expected_));
  DropPictureFile();
  if (saveMode_) {
    try {
      fileName_ = paths_.MakeTempFileName(saveFolder_, "cam", ".jpg");
      file_ = std::make_unique<TFileStream>(fileName_, fmOpenWrite | fmStore);
    } catch (const std::exception&) {
      // The picture still comes and is shown; it only is not kept.
      DropPictureFile();
      Status("Error creating file...");
    }
  }
  socket_->SetLineMode(false);
}

void TCamReceiver::TakePictureBytes() {
  if (expected_ <= 0) {
    // Raw bytes nobody announced: nothing of ours reads them as a picture.
    LineMode();
    return;
  }
  char buffer[cam::kReadSize];
  const int wanted = std::min(cam::kReadSize, expected_ - received_);
  const int n = socket_->Receive(buffer, wanted);
  if (n <= 0) return;
  WriteFrameToStream(buffer, n);
  if (file_) WriteFrameData(buffer, n);
  // The count goes on whatever failed, so that the link stays in step with the pictures.
  received_ += n;
  if (received_ >= expected_) FinishPicture();
}

void TCamReceiver::WriteFrameToStream(const char* bytes, int length) {
  try {
    picture_.append(bytes, static_cast<std::size_t>(length));
  } catch (const std::exception&) {
    picture_.clear();
    Status("Error writing to stream...");
  }
}

void TCamReceiver::WriteFrameData(const char* bytes, int length) {
  try {
    file_->WriteBuffer(bytes, length);
  } catch (const std::exception&) {
    DropPictureFile();
    Status("Error writing to file...");
  }
}

void TCamReceiver::FinishPicture() {
  expected_ = received_ = 0;
  if (file_) {
    try {
      // Pictures come several a second: the system writes them out in its own time.
      file_->Close(false);
      file_.reset();
      lastFile_ = fileName_;
      fileName_.clear();
    } catch (const std::exception&) {
      DropPictureFile();
      Status("Error writing to file...");
    }
  }
  ++pictures_;
  std::string jpeg = std::move(picture_);
  picture_.clear();
  const std::weak_ptr<bool> alive = alive_;
  if (host_.PictureReceived) host_.PictureReceived(jpeg);
  if (alive.expired() || !socket_) return;
  // The link stays in its raw phase, taking nothing and told nothing, until
  // the picture is shown.
  decoding_.Decode(std::move(jpeg), [this](const cam::TReceivedPicture& picture) { ShowPicture(picture); });
  socket_->Pause();
}

void TCamReceiver::ShowPicture(const cam::TReceivedPicture& picture) {
  LineMode();
  socket_->Resume();
  const std::weak_ptr<bool> alive = alive_;
  if (host_.Picture) host_.Picture(picture.Image);
  if (alive.expired()) return;
  if (!picture.Refused.empty()) {
    Status("Invalid Image");
    if (alive.expired() || !socket_) return;
    LogError(socket_->PeerAddr(), socket_->PeerPort(), "Cam picture of " + picture.Refused + " refused; closed");
    socket_->Close();
    return;
  }
  Status(picture.Image.isNull() ? std::string("Invalid Image") : "Last Image " + cam::TimeText());
  // The next picture is asked for only once this one is shown: however long
  // a picture takes, the broadcaster has no other on its way meanwhile.
  if (!alive.expired() && Connected()) socket_->SendCommand(cmd::CamReady, "", "");
}

void TCamReceiver::DropPictureFile() {
  if (!file_) return;
  file_.reset();
  // A picture that did not come whole is not left behind as a file.
  platform::DeleteFile(fileName_);
  fileName_.clear();
}

bool TCamReceiver::ToggleSaveMode(const std::string& peerUserName) {
  if (saveMode_) {
    saveMode_ = false;
    return true;
  }
  const std::string folder = paths_.CamImagesPath + cam::SaveFolderName(peerUserName) + "\\";
  if (!platform::ForceDirectories(folder)) {
    Status("Image Error...");
    return false;
  }
  saveFolder_ = folder;
  saveMode_ = true;
  return true;
}
