#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "conversations/CamBroadcast.h"

class QActionGroup;
class QCheckBox;
class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;
class QTreeWidget;
class TBitmap;
class TSession;
class TVideoCapture;

// "Parlo - Cam": the own webcam broadcast, at most one at a time. It shows
// the camera's preview (or the last picture sent), the viewers, and the
// broadcast's switches; the viewers and the pictures they get are
// TCamBroadcast's. Viewers reach it through the peer listener's admission.
class TFormCam : public QWidget, private TCamBroadcastView {
  Q_OBJECT

 public:
  // The open broadcast window, or null.
  static TFormCam* Find();

  explicit TFormCam(TSession& session, QWidget* parent = nullptr);
  ~TFormCam() override;

  TCamBroadcast& Broadcast() { return broadcast_; }
  void AddViewer(std::unique_ptr<TParloSocket> socket, const std::string& request) {
    broadcast_.AddViewer(std::move(socket), request);
  }
  bool VideoUsable() const { return videoUsable_; }
  const std::string& StatusText() const { return status_; }
  void SetStatus(const std::string& text) override;

  // Where a snapshot goes, asked as platform::AskSaveFileName asks (the
  // dialog adds the default extension before it asks about replacing a
  // file); false when the user cancels.
  std::function<bool(const std::string& title, const std::string& filter, std::string& fileName,
                     const std::string& defaultExt)>
      ChooseSnapshotFile;

  TVideoCapture* Video;
  QLabel* ImageVid;
  QTreeWidget* List;
  QStatusBar* Stat;
  QCheckBox *CheckVid, *CheckPause, *CheckView;
  QMenu *Properties, *Quality, *Source, *Size, *Snapshot;
  QAction *Format, *Options, *SnapCamImage, *PopSnapCamImage, *Disconnect;

  void CheckVidClick();
  void CheckViewClick();
  void SnapCamImageClick();
  void Disconnect1Click();
  void VideoResizeVideo(int width, int height);

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  // TCamBroadcastView
  void ShowViewers(const std::vector<TCamViewerRow>& rows) override;
  void ShowPicture(const std::string& jpeg) override;
  void RequestPicture() override;
  void Beep() override;
  // The picture RequestPicture asked for.
  void VideoFrameCaptureCompleted(const TBitmap* bitmap, bool success);

  void BuildMenus();
  void BindVideo();
  void FormShow();
  void VideoPreviewStarted();
  void RebuildSourceAndSize();
  // The capture reports once the component is through with what it was doing.
  void WeighReports();
  // A video failure: the video is unusable from now on, the broadcast ends.
  void VideoFailed(const std::string& status, const std::string& box, const std::string& caption,
                   bool disableProperties);
  // A message box once the current event is over.
  void TellLater(const std::string& text, const std::string& caption);
  void ShowLastPicture();

  TSession& session_;
  TCamBroadcast broadcast_;
  QMenuBar* menuBar_ = nullptr;
  bool videoUsable_ = false;
  bool shown_ = false;
  bool pictureStale_ = false;
  // Previews started so far, and the capture reports not yet weighed with
  // the count when the first came: reports followed by a preview did not end the video.
  int previewStarts_ = 0;
  int startsBeforeReport_ = 0;
  std::vector<std::string> pendingReports_;
  std::string status_;
};
