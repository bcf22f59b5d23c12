#include "conversations/FormCam.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPointer>
#include <QResizeEvent>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <utility>
#include <vector>

#include "conversations/CamProtocol.h"
#include "conversations/FormImgView.h"
#include "core/DialogLook.h"
#include "core/OpenForms.h"
#include "core/session/ErrorLog.h"
#include "core/session/Paths.h"
#include "core/session/PeerBounds.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"
#include "core/session/TestHooks.h"
#include "platform/Charset.h"
#include "platform/DesktopPrompts.h"
#include "platform/FileNames.h"
#include "platform/Stream.h"
#include "videocapture/VideoCapture.h"

namespace {

constexpr int kVideoWidth = 240, kVideoHeight = 180, kVideoLeft = 5, kVideoTop = 5;
constexpr int kHelpTopic = 7;


// The lines of a CR LF list, the empty last one left out.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(text.substr(at, end - at));
  if (at < text.size()) lines.push_back(text.substr(at));
  return lines;
}

void PanelBackground(QWidget* w) {
  w->setAutoFillBackground(true);
  QPalette p = w->palette();
  p.setColor(QPalette::Window, dialoglook::PanelColour());
  w->setPalette(p);
}

}  // namespace

TFormCam* TFormCam::Find() { return qobject_cast<TFormCam*>(FindOpenForm("FormCam")); }

TFormCam::TFormCam(TSession& session, QWidget* parent)
    : QWidget(parent, Qt::Window),
      session_(session),
      broadcast_(*this, [&session](const std::string& id) { return session.IsUserBlocked(id); }) {
  setObjectName("FormCam");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Parlo - Cam");
  dialoglook::ColourForm(this);
  videoUsable_ = !session.Settings.NoVideoDevice && !session.Settings.DirectXMissing;

  auto* videoArea = new QWidget(this);
  videoArea->setFixedSize(kVideoWidth + 2 * kVideoLeft, kVideoHeight + 2 * kVideoTop);
  Video = new TVideoCapture(videoArea);
  Video->AutoStartPreview = false;
  Video->AutoSearchNextAvailVideoDevice = true;
  Video->JPEGQuality = broadcast_.JpegQuality();
  Video->SetAutoSize(false);
  Video->SetFrameGrabberEnabled(true);
  Video->SetFrameRate(15);
  Video->setGeometry(kVideoLeft, kVideoTop, kVideoWidth, kVideoHeight);
  ImageVid = new QLabel(videoArea);
  ImageVid->setScaledContents(true);
  ImageVid->setGeometry(Video->geometry());
  ImageVid->hide();
  videoArea->setContextMenuPolicy(Qt::CustomContextMenu);

  List = new QTreeWidget(this);
  List->setColumnCount(4);
  List->setHeaderLabels({"Viewers", "", "", "Status"});
  List->setRootIsDecorated(false);
  List->header()->resizeSection(0, 120);
  List->header()->resizeSection(1, 0);
  List->header()->resizeSection(2, 0);
  List->setColumnHidden(1, true);
  List->setColumnHidden(2, true);
  List->setContextMenuPolicy(Qt::CustomContextMenu);
  // The viewers' column heads with their count from the start.
  ShowViewers({});

  CheckVid = new QCheckBox("Broadcast On", this);
  CheckPause = new QCheckBox("Paused", this);
  CheckView = new QCheckBox("Video Preview is in Realtime", this);
  CheckView->setChecked(true);
  for (QCheckBox* box : {CheckVid, CheckPause, CheckView}) PanelBackground(box);
  Stat = new QStatusBar(this);
  Stat->setSizeGripEnabled(false);

  auto* top = new QHBoxLayout;
  top->addWidget(videoArea, 0, Qt::AlignTop);
  top->addWidget(List, 1);
  auto* checks = new QHBoxLayout;
  for (QCheckBox* box : {CheckVid, CheckPause, CheckView}) checks->addWidget(box);
  checks->addStretch();
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(4, 0, 4, 0);
  outer->addLayout(top);
  outer->addLayout(checks);
  outer->addWidget(Stat);
  BuildMenus();
  outer->setMenuBar(menuBar_);
  resize(470, 270);

  connect(CheckVid, &QCheckBox::clicked, this, [this] { CheckVidClick(); });
  connect(CheckPause, &QCheckBox::toggled, this, [this](bool on) { broadcast_.SetPaused(on); });
  connect(CheckView, &QCheckBox::clicked, this, [this] { CheckViewClick(); });
  connect(List, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu pop(this);
    pop.addAction(Disconnect);
    Disconnect->setEnabled(List->currentItem() != nullptr);
    pop.exec(List->viewport()->mapToGlobal(at));
  });
  connect(videoArea, &QWidget::customContextMenuRequested, this, [this, videoArea](const QPoint& at) {
    QMenu pop(this);
    pop.addAction(PopSnapCamImage);
    PopSnapCamImage->setEnabled(broadcast_.HavePicture());
    pop.exec(videoArea->mapToGlobal(at));
  });
  ChooseSnapshotFile = [](const std::string& title, const std::string& filter, std::string& fileName,
                          const std::string& defaultExt) {
    return platform::AskSaveFileName(title, filter, "", fileName, defaultExt);
  };
  BindVideo();
}

TFormCam::~TFormCam() {
  broadcast_.CamTime.SetEnabled(false);
  // The component's events must not reach a window that is going.
  Video->OnFrameCaptureCompleted = nullptr;
  Video->OnPreviewStarted = nullptr;
  Video->OnChangeVideoDevice = nullptr;
  Video->OnNoVideoDevices = nullptr;
  Video->OnDirectX8Required = nullptr;
  Video->OnDeviceLost = nullptr;
  Video->OnErrorLog = nullptr;
  Video->OnResizeVideo = nullptr;
}

void TFormCam::BuildMenus() {
  menuBar_ = new QMenuBar(this);
  Properties = menuBar_->addMenu("Properties");
  Format = Properties->addAction("Format");
  Options = Properties->addAction("Options");
  Quality = Properties->addMenu("Quality");
  auto* qualities = new QActionGroup(this);
  for (int i = 0; i < static_cast<int>(std::size(kCamQualities)); ++i) {
    QAction* item = Quality->addAction(kCamQualities[i].Caption);
    item->setCheckable(true);
    item->setChecked(i == broadcast_.Quality());
    qualities->addAction(item);
    connect(item, &QAction::triggered, this, [this, i] {
      broadcast_.SetQuality(i);
      Video->JPEGQuality = broadcast_.JpegQuality();
    });
  }
  Source = Properties->addMenu("Source");
  Size = Properties->addMenu("Size");
  Properties->addSeparator();
  QAction* exit = Properties->addAction("Exit");
  Snapshot = menuBar_->addMenu("Snapshot");
  SnapCamImage = Snapshot->addAction("Snap Cam Image");
  QMenu* help = menuBar_->addMenu("Help");
  QAction* helpCam = help->addAction("Help with Cam");
  helpCam->setShortcut(QKeySequence(Qt::Key_F1));
  PopSnapCamImage = new QAction("Snap Cam Image", this);
  Disconnect = new QAction("Disconnect", this);

  connect(Properties, &QMenu::aboutToShow, this, [this] {
    Options->setEnabled(Video->IsDialogAvailable(dlg_Device));
    Format->setEnabled(Video->IsDialogAvailable(dlg_StreamConfig));
  });
  connect(Options, &QAction::triggered, this, [this] { Video->ShowDialog(dlg_Device); });
  connect(Format, &QAction::triggered, this, [this] { Video->ShowDialog(dlg_StreamConfig); });
  connect(exit, &QAction::triggered, this, &QWidget::close);
  connect(Snapshot, &QMenu::aboutToShow, this, [this] { SnapCamImage->setEnabled(broadcast_.HavePicture()); });
  connect(SnapCamImage, &QAction::triggered, this, [this] { SnapCamImageClick(); });
  connect(PopSnapCamImage, &QAction::triggered, this, [this] { SnapCamImageClick(); });
  connect(Disconnect, &QAction::triggered, this, [this] { Disconnect1Click(); });
  connect(helpCam, &QAction::triggered, this, [this] { session_.ShowHelpTopic(kHelpTopic); });
}

void TFormCam::BindVideo() {
  Video->OnFrameCaptureCompleted = [this](TVideoCapture*, const TBitmap* bitmap, TFrameCaptureDest, const std::string&,
                                          bool ok) { VideoFrameCaptureCompleted(bitmap, ok); };
  Video->OnPreviewStarted = [this](TVideoCapture*) { VideoPreviewStarted(); };
  Video->OnChangeVideoDevice = [this](TVideoCapture*) { RebuildSourceAndSize(); };
  Video->OnResizeVideo = [this](TVideoCapture*, int w, int h) { VideoResizeVideo(w, h); };
  Video->OnDeviceLost = [this](TVideoCapture*) { VideoFailed("Lost Video Device!", "", "", false); };
  Video->OnDirectX8Required = [this](TVideoCapture*) {
    session_.Settings.DirectXMissing = true;
    VideoFailed("DirectX 8.0 Needed", cam::kDirectXText, cam::kDirectXCaption, true);
  };
  Video->OnNoVideoDevices = [this](TVideoCapture*) {
    session_.Settings.NoVideoDevice = true;
    VideoFailed("No Video Devices", cam::kNoDeviceText, cam::kNoDeviceCaption, true);
  };
  Video->OnErrorLog = [this](TVideoCapture*, int, const std::string& text) {
    // The component reports while it is still at work: a camera that fails
    // while the next one takes over, an index it put right itself. What the
    // reports mean is known once it is through.
    if (pendingReports_.empty()) {
      startsBeforeReport_ = previewStarts_;
      QTimer::singleShot(0, this, [this] { WeighReports(); });
    }
    pendingReports_.push_back(text);
  };
}

// ----- start and end ------------------------------------------------------------------

void TFormCam::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  if (shown_) return;
  shown_ = true;
  FormShow();
}

void TFormCam::FormShow() {
  if (!videoUsable_) return;
  try {
    Video->StartPreview();
  } catch (const std::exception&) {
    Video->ShutdownGraph();
    TellLater("There is a problem with the video device, see below for details of the possible problem:\n"
              "\n1) DirectX 8.0 is required for the video funtionality. Upgrade from the Microsoft web site.\n"
              "\n2) Parlo may have detected no Video device, please make sure your device is funtioning properly.",
              "Video Error");
    QTimer::singleShot(0, this, &QWidget::close);
  }
}

void TFormCam::VideoPreviewStarted() {
  if (!videoUsable_) return;
  ++previewStarts_;
  // Without AutoSize the component lays a new picture out only when it is
  // resized: the window asks for that, and VideoResizeVideo follows.
  QResizeEvent layout(Video->size(), Video->size());
  QCoreApplication::sendEvent(Video, &layout);
  CheckVid->setChecked(true);
  CheckVid->setText("Broadcast On");
  RebuildSourceAndSize();
  SetStatus("Online....Set Source and Size");
  testhooks::Trace("cam broadcasting");
}

void TFormCam::closeEvent(QCloseEvent* e) {
  broadcast_.CamTime.SetEnabled(false);
  broadcast_.CloseViewers();
  Video->StopPreview();
  e->accept();
}

// ----- the switches ---------------------------------------------------------------------

void TFormCam::CheckVidClick() {
  if (CheckVid->isChecked()) {
    Video->StartPreview();
    CheckVid->setText("Broadcast On");
    return;
  }
  Video->StopPreview();
  broadcast_.ForgetPicture();
  broadcast_.CloseViewers();
  CheckVid->setText("Broadcast Off");
}

void TFormCam::CheckViewClick() {
  if (CheckView->isChecked()) {
    Video->show();
    Video->raise();
    ImageVid->hide();
    CheckView->setText("Video Preview is in Realtime");
    return;
  }
  ShowLastPicture();
  ImageVid->show();
  ImageVid->raise();
  Video->hide();
  CheckView->setText("Video Preview is in Broadcast time");
}

void TFormCam::VideoResizeVideo(int width, int height) {
  QRect bounds(kVideoLeft, kVideoTop, kVideoWidth, kVideoHeight);
  if (width < kVideoWidth && width > 0 && height > 0)
    bounds = QRect(kVideoLeft + (kVideoWidth - width) / 2, kVideoTop + (kVideoHeight - height) / 2, width, height);
  Video->setGeometry(bounds);
  ImageVid->setGeometry(bounds);
}

void TFormCam::RebuildSourceAndSize() {
  auto fill = [this](QMenu* menu, const std::string& list, int current, auto choose) {
    menu->clear();
    auto* group = new QActionGroup(menu);
    const std::vector<std::string> names = Lines(list);
    for (int i = 0; i < static_cast<int>(names.size()); ++i) {
      QAction* item = menu->addAction(platform::ToQString(names[static_cast<std::size_t>(i)]));
      item->setCheckable(true);
      item->setChecked(i == current);
      group->addAction(item);
      connect(item, &QAction::triggered, this, [this, i, choose] { (Video->*choose)(i); });
    }
  };
  fill(Source, Video->GetVideoDevices(), Video->VideoDevice(), &TVideoCapture::SetVideoDevice);
  fill(Size, Video->GetVideoSizes(), Video->VideoSize(), &TVideoCapture::SetVideoSize);
}

void TFormCam::WeighReports() {
  if (Video->Busy()) {
    QTimer::singleShot(0, this, [this] { WeighReports(); });
    return;
  }
  const std::vector<std::string> reports = std::exchange(pendingReports_, {});
  if (reports.empty()) return;
  // A preview that started after the reports means the component found a
  // way: the video goes on, and the last report is only shown.
  if (videoUsable_ && previewStarts_ != startsBeforeReport_) {
    SetStatus(reports.back());
    return;
  }
  for (const std::string& report : reports)
    VideoFailed(report, "There was an error with the cam device, " + report, cam::kNoDeviceCaption, true);
}

void TFormCam::VideoFailed(const std::string& status, const std::string& box, const std::string& caption,
                           bool disableProperties) {
  videoUsable_ = false;
  CheckVid->setChecked(false);
  CheckVid->setEnabled(false);
  Video->ShutdownGraph();
  broadcast_.StopBroadcast();
  SetStatus(status);
  if (disableProperties) Properties->setEnabled(false);
  if (!box.empty()) TellLater(box, caption);
}

void TFormCam::TellLater(const std::string& text, const std::string& caption) {
  TPrompts& prompts = session_.Prompts();
  QTimer::singleShot(0, this, [&prompts, text, caption] { prompts.ShowInformation(text, caption); });
}

// ----- viewers and pictures ----------------------------------------------------------------

void TFormCam::SetStatus(const std::string& text) {
  status_ = text;
  Stat->showMessage(platform::ShownQString(text));
}

void TFormCam::ShowViewers(const std::vector<TCamViewerRow>& rows) {
  List->setUpdatesEnabled(false);
  List->clear();
  for (const TCamViewerRow& row : rows) {
    auto* item = new QTreeWidgetItem(List);
    // The name whole stays with the row: a disconnect finds the viewer by it.
    item->setText(0, platform::ToQString(CutPeerText(row.UserName, peerbounds::kShownName)));
    item->setData(0, Qt::UserRole, platform::ToQString(row.UserName));
    item->setText(1, platform::ToQString(row.Addr));
    item->setText(2, platform::ToQString(row.Addr));
    item->setText(3, "Viewing");
  }
  List->headerItem()->setText(0, QString("Viewer Count [%1]").arg(rows.size()));
  List->setUpdatesEnabled(true);
}

void TFormCam::ShowPicture(const std::string&) {
  pictureStale_ = true;
  // Decoded only while it is what the preview shows.
  if (ImageVid->isVisible()) ShowLastPicture();
}

void TFormCam::ShowLastPicture() {
  if (!pictureStale_) return;
  pictureStale_ = false;
  const QImage picture = cam::DecodePicture(broadcast_.LastPicture());
  if (picture.isNull()) ImageVid->clear();
  else ImageVid->setPixmap(QPixmap::fromImage(picture));
}

void TFormCam::VideoFrameCaptureCompleted(const TBitmap* bitmap, bool success) {
  if (success && bitmap != nullptr && !bitmap->Empty()) broadcast_.PictureTaken(*bitmap);
}

void TFormCam::RequestPicture() { Video->CaptureFrameTo(fc_TBitmap, ""); }

void TFormCam::Beep() { platform::Beep(); }

void TFormCam::Disconnect1Click() {
  const QTreeWidgetItem* item = List->currentItem();
  if (item == nullptr) return;
  broadcast_.DisconnectViewer(platform::FromQString(item->data(0, Qt::UserRole).toString()),
                              platform::FromQString(item->text(1)));
}

// The picture is put aside first, so the one snapped is the one kept however
// long the user takes to choose where; the copy is what is shown.
void TFormCam::SnapCamImageClick() {
  if (!broadcast_.HavePicture()) return;
  const std::string picture = broadcast_.LastPicture();
  const std::string snapshot = session_.Paths().TmpFilesPath + "snapshot.jpg";
  std::string target;
  try {
    platform::ReplaceFile(snapshot, picture.data(), picture.size());
    // The name as the dialog gives it: one that gained ".jpg" after the
    // dialog could replace a picture nobody was asked about.
    if (ChooseSnapshotFile && ChooseSnapshotFile("Save Cam Snapshot", "JPG File (*.jpg)|*.jpg", target, "jpg")) {
      TFileStream in(snapshot, fmOpenRead | fmStore);
      std::string copy(static_cast<std::size_t>(in.Size()), '\0');
      in.ReadBuffer(copy.data(), static_cast<std::int64_t>(copy.size()));
      platform::ReplaceFile(target, copy.data(), copy.size());
    } else {
      target.clear();
    }
  } catch (const std::exception& e) {
    platform::DeleteFile(snapshot);
    LogError("None", "None", std::string("Saving the cam snapshot: ") + e.what());
    session_.Prompts().ShowError("The snapshot could not be saved.\r\n" + std::string(e.what()), "Cam Snapshot");
    return;
  }
  if (target != snapshot) platform::DeleteFile(snapshot);
  if (!target.empty()) ::ShowPicture(target, "Cam SnapShot");
}
