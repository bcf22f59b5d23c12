#include "conversations/CamBroadcast.h"

#include <algorithm>

#include "conversations/CamProtocol.h"
#include "core/session/ErrorLog.h"
#include "core/session/PeerBounds.h"
#include "transport/CmdParser.h"
#include "transport/CommandCodes.h"
#include "videocapture/Bitmap.h"

// Viewers leave the list only while nobody walks it: closing a link inside
// the walk raises its close at once, and its removal waits for the walk's end.
class TCamBroadcast::Walk {
 public:
  explicit Walk(TCamBroadcast& owner) : owner_(owner), alive_(owner.alive_) { ++owner_.walking_; }
  ~Walk() {
    if (alive_.expired()) return;
    if (--owner_.walking_ == 0) owner_.Purge();
  }
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;

 private:
  TCamBroadcast& owner_;
  std::weak_ptr<bool> alive_;
};

std::string BroadcastLinkStateText(TSocketState state) {
  if (state == wsConnecting) return "Connection Connecting...";
  if (state == wsConnected) return "Connection Connected...";
  return cam::ViewerStateText(state);
}

TCamBroadcast::TCamBroadcast(TCamBroadcastView& view, std::function<bool(const std::string&)> isUserBlocked)
    : view_(view), isUserBlocked_(std::move(isUserBlocked)) {
  CamTime.SetEnabled(false);
  CamTime.SetInterval(kCamQualities[quality_].IntervalMs);
  CamTime.OnTimer = [this](TTimer*) { CamTimeTimer(); };
}

TCamBroadcast::~TCamBroadcast() {
  *alive_ = false;
  CamTime.SetEnabled(false);
  for (auto& v : viewers_) {
    v->socket->DropHandlers();
    v->socket->Close();
  }
}

// ----- viewers -----------------------------------------------------------------------

void TCamBroadcast::AddViewer(std::unique_ptr<TParloSocket> socket, const std::string& request) {
  closed_.clear();
  Walk walk(*this);
  auto viewer = std::make_unique<Viewer>();
  viewer->socket = std::move(socket);
  viewer->addr = viewer->socket->PeerAddr();
  Viewer& v = *viewer;
  viewers_.push_back(std::move(viewer));
  Bind(v);
  const cam::TViewRequest asked = cam::TViewRequest::Parse(request);
  if (v.socket->State() != wsConnected || (isUserBlocked_ && isUserBlocked_(asked.UserID))) {
    v.socket->Close();
    RemoveViewer(*v.socket);
    return;
  }
  v.uid = asked.UserID;
  v.user = asked.UserName;
  v.socket->uid = asked.UserID;
  v.socket->user = asked.UserName;
  view_.SetStatus(CutPeerText(asked.UserName, peerbounds::kShownName) + " is now viewing...");
  v.socket->SendCommand(cmd::CamAdmitted, "", "");
  RefreshViewerList();
  CamTime.SetEnabled(true);
}

void TCamBroadcast::Bind(Viewer& viewer) {
  TParloSocket& s = *viewer.socket;
  s.SetTag(0);
  s.SetLineEnd("\r\n");
  s.SetLineMode(true);
  s.LineLimit = cam::kLineLimit;
  s.OnDataAvailable = [this, &s](TCustomNetSocket*, int error) { ViewerData(s, error); };
  s.OnChangeState = [this, &s](TCustomNetSocket*, TSocketState, TSocketState state) {
    CamViewerChangeState(s, state);
  };
  s.OnError = [this, &s](TCustomNetSocket*) { ViewerError(s, s.LastError()); };
  s.OnBgException = [this, &s](TCustomNetSocket*, const std::exception& e, bool& canClose) {
    canClose = true;
    ViewerException(s, e);
  };
  // A picture is handed over with one Send: its bound is raised for it and
  // goes back once the queue is empty.
  s.OnDataSent = [&s](TCustomNetSocket*, int) { s.SendQueueLimit = TCustomNetSocket::kDefaultSendQueueLimit; };
  s.OnLineLimitExceeded = [&s](TCustomNetSocket*, int length, bool& clear) {
    clear = true;
    LogError(s.PeerAddr(), s.PeerPort(), "Cam viewer sent a line of " + std::to_string(length) + " bytes; closed");
    s.CloseDelayed();
  };
}

void TCamBroadcast::CloseViewers() {
  Walk walk(*this);
  for (auto& v : viewers_)
    if (!v->gone) v->socket->Close();
}

void TCamBroadcast::DisconnectViewer(const std::string& userName, const std::string& addr) {
  Walk walk(*this);
  for (auto& v : viewers_)
    if (!v->gone && v->user == userName && v->addr == addr) v->socket->Close();
}

int TCamBroadcast::ViewerCount() const {
  return static_cast<int>(std::count_if(viewers_.begin(), viewers_.end(), [](const auto& v) { return !v->gone; }));
}

std::vector<TCamViewerRow> TCamBroadcast::ViewerRows() const {
  std::vector<TCamViewerRow> rows;
  for (const auto& v : viewers_)
    if (!v->gone) rows.push_back({v->user, v->addr});
  return rows;
}

TParloSocket* TCamBroadcast::ViewerSocket(const std::string& userName) {
  for (auto& v : viewers_)
    if (!v->gone && v->user == userName) return v->socket.get();
  return nullptr;
}

TCamBroadcast::Viewer* TCamBroadcast::Find(const TParloSocket& socket) {
  for (auto& v : viewers_)
    if (v->socket.get() == &socket) return v.get();
  return nullptr;
}

void TCamBroadcast::RemoveViewer(TParloSocket& socket) {
  Viewer* v = Find(socket);
  if (v == nullptr || v->gone) return;
  v->gone = true;
  if (walking_ == 0) Purge();
  RefreshViewerList();
}

void TCamBroadcast::Purge() {
  const auto gone = std::stable_partition(viewers_.begin(), viewers_.end(), [](const auto& v) { return !v->gone; });
  for (auto it = gone; it != viewers_.end(); ++it) {
    (*it)->socket->DropHandlers();
    // Most likely inside this very socket's close: it is freed later.
    closed_.push_back(std::move((*it)->socket));
  }
  viewers_.erase(gone, viewers_.end());
}

void TCamBroadcast::RefreshViewerList() { view_.ShowViewers(ViewerRows()); }

// ----- what viewers send --------------------------------------------------------------

void TCamBroadcast::ViewerData(TParloSocket& socket, int error) {
  if (error != 0) {
    ViewerError(socket, error);
    return;
  }
  const std::string line = socket.ReceiveStr();
  if (line.empty()) return;
  try {
    const std::string cleaned = TCmdParser::CleanLine(line);
    if (cleaned.empty()) return;
    ClientSwitch(TCmdParser::ExtractCommand(cleaned), socket);
  } catch (const std::exception&) {
    view_.SetStatus("Error processing Client Command");
  }
}

void TCamBroadcast::ClientSwitch(int code, TParloSocket& socket) {
  Viewer* v = Find(socket);
  if (v == nullptr || v->gone) return;
  if (code == cmd::CamReady) v->ready = true;
  else if (code == cmd::CamNotReady) v->ready = false;
}

void TCamBroadcast::CamViewerChangeState(TParloSocket& socket, TSocketState state) {
  if (state == wsClosed) RemoveViewer(socket);
  view_.SetStatus(BroadcastLinkStateText(state));
}

// One viewer's trouble is that viewer's: the others keep watching.
void TCamBroadcast::ViewerError(TParloSocket& socket, int error) {
  const std::string desc = error == 0 ? "Undetermined Winsock Error" : NetSocketErrorDesc(error);
  view_.SetStatus("Winsock Error " + std::to_string(error) + " : " + desc);
  socket.CloseDelayed();
  view_.Beep();
}

void TCamBroadcast::ViewerException(TParloSocket& socket, const std::exception& e) {
  view_.SetStatus(std::string("Socket Exception: ") + e.what());
  socket.Close();
}

// ----- pictures --------------------------------------------------------------------------

void TCamBroadcast::SetQuality(int index) {
  if (index < 0 || index >= static_cast<int>(std::size(kCamQualities))) return;
  quality_ = index;
  CamTime.SetInterval(kCamQualities[index].IntervalMs);
}

void TCamBroadcast::CamTimeTimer() {
  closed_.clear();
  if (CamTime.Tag() < 10) {
    CamTime.SetTag(CamTime.Tag() + 1);
  } else {
    CamTime.SetTag(0);
    RefreshViewerList();
  }
  view_.RequestPicture();
}

void TCamBroadcast::PictureTaken(const TBitmap& bitmap) {
  std::string jpeg;
  try {
    jpeg = bitmap.ToJpeg({JpegQuality(), false, false});
  } catch (const std::exception& e) {
    view_.SetStatus("Error Sending...");
    LogError("None", "None", std::string("Cam picture: ") + e.what());
    return;
  }
  SendFrameToViewers(jpeg);
}

void TCamBroadcast::SendFrameToViewers(const std::string& jpeg) {
  if (jpeg.empty()) return;
  jpeg_ = jpeg;
  view_.ShowPicture(jpeg_);
  const std::string length = std::to_string(jpeg_.size());
  const std::weak_ptr<bool> alive = alive_;
  {
    Walk walk(*this);
    for (std::size_t i = 0; i < viewers_.size(); ++i) {
      Viewer& v = *viewers_[i];
      if (v.gone) continue;
      try {
        SendTo(v, length);
      } catch (const std::exception& e) {
        if (alive.expired()) return;
        view_.SetStatus("Error Sending...");
        LogError(v.addr, v.socket->PeerPort(), std::string("Sending a cam picture: ") + e.what());
        return;
      }
      if (alive.expired()) return;
    }
  }
  if (alive.expired()) return;
  view_.SetStatus(paused_ ? "Video is paused..." : "Last Image " + cam::TimeText());
}

void TCamBroadcast::SendTo(Viewer& viewer, const std::string& length) {
  TParloSocket& s = *viewer.socket;
  if (s.State() != wsConnected) {
    // A link that closed already raises no close of its own any more.
    s.Close();
    RemoveViewer(s);
    return;
  }
  // An honest viewer asks again only once it has the whole last picture, so
  // its queue here is empty by then; one that asks sooner is not sent more.
  if (!viewer.ready || !s.AllSent()) return;
  if (paused_) {
    s.SendCommand(cmd::CamPaused, "", "");
    return;
  }
  s.SendCommand(cmd::CamFrame, length, "");
  viewer.ready = false;
  if (s.State() != wsConnected) return;
  s.SendQueueLimit = TCustomNetSocket::kDefaultSendQueueLimit + static_cast<std::int64_t>(jpeg_.size());
  s.Send(jpeg_.data(), static_cast<int>(jpeg_.size()));
}

void TCamBroadcast::StopBroadcast() {
  CamTime.SetEnabled(false);
  CloseViewers();
}
