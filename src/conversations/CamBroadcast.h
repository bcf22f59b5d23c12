#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Timer.h"
#include "transport/ParloSocket.h"

class TBitmap;

// One line of the broadcaster's viewer list.
struct TCamViewerRow {
  std::string UserName, Addr;
};

// What the broadcast window shows and does for the broadcast. The window
// implements it; tests record it.
class TCamBroadcastView {
 public:
  virtual ~TCamBroadcastView() = default;
  virtual void SetStatus(const std::string& text) = 0;
  virtual void ShowViewers(const std::vector<TCamViewerRow>& rows) = 0;
  // The picture just encoded (the "broadcast time" preview and the snapshot).
  virtual void ShowPicture(const std::string& jpeg) = 0;
  // Asks the camera for one picture; it comes back through PictureTaken.
  virtual void RequestPicture() = 0;
  virtual void Beep() = 0;
};

// The quality choices: JPEG quality and the interval between pictures.
struct TCamQuality {
  const char* Caption;
  int JpegQuality;
  int IntervalMs;
};
inline constexpr TCamQuality kCamQualities[] = {
    {"Best", 70, 5000},
    {"Better", 60, 4000},
    {"Normal", 50, 3000},
    {"Faster", 40, 2000},
    {"Fastest", 30, 1000},
    {"High-Speed (DSL/LAN) 2 Fps High Quality", 60, 500},
    {"High-Speed (DSL/LAN) 3 Fps Medium Quality", 40, 333},
};
inline constexpr int kCamNormalQuality = 2;

// The own webcam broadcast without its window: the admitted viewers, each on
// its own link with a ready flag, the picture timer, and the fan-out of one
// JPEG to every ready viewer.
//
// A viewer asks for the next picture with 1033 once it has the last one, and
// is sent nothing else until then, so a slow viewer misses pictures instead
// of piling them up here: at most one picture waits in any viewer's send
// queue. One viewer's failure ends that viewer's link only.
class TCamBroadcast {
 public:
  TCamBroadcast(TCamBroadcastView& view, std::function<bool(const std::string& userId)> isUserBlocked);
  ~TCamBroadcast();
  TCamBroadcast(const TCamBroadcast&) = delete;
  TCamBroadcast& operator=(const TCamBroadcast&) = delete;

  // Takes over an accepted link that asked with 1030 (its parameters): a
  // blocked user's link is closed, anyone else is admitted (1031) and the
  // picture timer starts.
  void AddViewer(std::unique_ptr<TParloSocket> socket, const std::string& request);
  // Closes every viewer's link; each leaves the list as its close is seen.
  void CloseViewers();
  // The viewer of that name and address ("Disconnect").
  void DisconnectViewer(const std::string& userName, const std::string& addr);
  int ViewerCount() const;
  std::vector<TCamViewerRow> ViewerRows() const;

  // One of kCamQualities: the JPEG quality and the timer's interval.
  void SetQuality(int index);
  int Quality() const { return quality_; }
  int JpegQuality() const { return kCamQualities[quality_].JpegQuality; }
  // Ready viewers get 1036 on each picture instead of the picture.
  void SetPaused(bool paused) { paused_ = paused; }
  bool Paused() const { return paused_; }

  // A picture from the camera: encoded, shown, and sent to the ready viewers.
  void PictureTaken(const TBitmap& bitmap);
  // The same with a picture encoded already.
  void SendFrameToViewers(const std::string& jpeg);
  bool HavePicture() const { return !jpeg_.empty(); }
  const std::string& LastPicture() const { return jpeg_; }
  // The broadcast stopped (video off): no picture until the next one is taken.
  void ForgetPicture() { jpeg_.clear(); }
  // The video is gone: the timer stops and every viewer is closed.
  void StopBroadcast();

  // Runs once a viewer is admitted; stopped only when the video stops.
  TTimer CamTime;
  // One timer step: the viewer list is redrawn every 11 ticks, then a
  // picture is asked for.
  void CamTimeTimer();

  // The viewer-side handlers, public so that tests can drive them.
  void ClientSwitch(int code, TParloSocket& socket);
  // The link of the listed viewer of that name; null when there is none.
  TParloSocket* ViewerSocket(const std::string& userName);

 private:
  struct Viewer {
    std::unique_ptr<TParloSocket> socket;
    bool ready = false;
    bool gone = false;
    std::string uid, user, addr;
  };
  class Walk;

  void Bind(Viewer& viewer);
  void ViewerData(TParloSocket& socket, int error);
  void CamViewerChangeState(TParloSocket& socket, TSocketState state);
  void ViewerError(TParloSocket& socket, int error);
  void ViewerException(TParloSocket& socket, const std::exception& e);
  void SendTo(Viewer& viewer, const std::string& length);
  void RemoveViewer(TParloSocket& socket);
  // Takes the viewers that left off the list once no walk is under way.
  void Purge();
  void RefreshViewerList();
  Viewer* Find(const TParloSocket& socket);

  TCamBroadcastView& view_;
  std::function<bool(const std::string&)> isUserBlocked_;
  std::vector<std::unique_ptr<Viewer>> viewers_;
  // Links of viewers that left, freed at the next timer step or admission:
  // never inside their own events.
  std::vector<std::unique_ptr<TParloSocket>> closed_;
  int walking_ = 0;
  int quality_ = kCamNormalQuality;
  bool paused_ = false;
  std::string jpeg_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// What the broadcaster's status says of a viewer link's state.
std::string BroadcastLinkStateText(TSocketState state);
