#include "videocapture/VideoCapture.h"

#include <QGuiApplication>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "platform/Charset.h"
#include "platform/FileNames.h"
#include "platform/StringList.h"
#include "platform/Strings.h"
#include "videocapture/CaptureImpl.h"
#include "videocapture/Devices.h"
#include "videocapture/VideoFormats.h"
#include "videocapture/VideoWindow.h"

namespace {

constexpr int kUnavailable = 2147483647;

// Components busy at the moment, process-wide: the first sets its busy
// cursor, the last one to finish sets its normal cursor.
int busyComponents = 0;
// The busy cursor on the screen; crDefault while none is.
TCursor busyCursorShown = crDefault;
// The screen's cursor is one of ours (pushed on Qt's override stack).
bool cursorOverridden = false;

void SetScreenCursor(TCursor cursor) {
  if (!QGuiApplication::instance()) return;
  if (cursor == crDefault) {
    if (cursorOverridden) QGuiApplication::restoreOverrideCursor();
    cursorOverridden = false;
  } else if (cursorOverridden) {
    QGuiApplication::changeOverrideCursor(QCursor(cursor));
  } else {
    QGuiApplication::setOverrideCursor(QCursor(cursor));
    cursorOverridden = true;
  }
}

void AppendDebugLine(const std::string& line) {
  const std::string file = "debug.log";
  TStringList log;
  if (platform::FileExists(file)) log.LoadFromFile(file);
  log.Add(line);
  log.SaveToFile(file);
}

std::string TrimmedLines(const TStringList* list) {
  std::string text;
  if (!list) return text;
  for (int i = 0; i < list->Count(); ++i) text += platform::TrimLeft((*list)[i]) + "\r\n";
  return text;
}

}  // namespace

// ---------------------------------------------------------------- lifetime

TVideoCapture::TVideoCapture(QWidget* owner) : QFrame(owner), impl_(std::make_unique<TImpl>(*this)) {
  QPalette look = palette();
  look.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
  setPalette(look);
  setAutoFillBackground(true);
  resize(200, 160);
  SetBorderStyle(bsSingle);
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  std::error_code ec;
  StoragePath = platform::NameFromPath(std::filesystem::current_path(ec));
  impl_->grabberCB->SetBurstCount(3);
  impl_->grabberCB->SetBurstInterval(1);
  impl_->grabberCB->SetBurstMode(false);

  videoWindow_ = new TVideoWindow(this);
  videoWindow_->hide();
  videoWindow_->OnKey = [this](int& key) { FullScreenNotify(key); };
  window_ = std::make_shared<platform::MessageTarget>([this](platform::TMessage& m) { HandleMessage(m); });
  platform::PrepareMainThreadPosting();
  // Each sample's notice hops to the GUI thread; a notice that arrives after
  // the component has gone finds no target and is dropped.
  std::weak_ptr<platform::MessageTarget> target = window_;
  impl_->grabberCB->SetNotifier([target](std::uintptr_t wparam, std::intptr_t lparam) {
    platform::PostToMainThread([target, wparam, lparam] {
      if (auto t = target.lock()) t->Send(kFrameNotify, wparam, lparam);
    });
  });
  InitializeVideoDevices();
  if (TDevicesManager* manager = DevicesManager()) manager->Add(this);
}

TVideoCapture::~TVideoCapture() {
  destroying_ = true;
  *alive_ = false;
  queue_.clear();
  if (TDevicesManager* manager = DevicesManager()) manager->Remove(this);
  impl_->DestroyGraph();
  window_.reset();
  impl_.reset();
}

TVideoCapture::BusyScope::BusyScope(TVideoCapture& owner) : owner_(owner) {
  if (owner_.busy_++ > 0) return;
  if (busyComponents++ == 0 && owner_.BusyCursor != crDefault) {
    busyCursorShown = owner_.BusyCursor;
    SetScreenCursor(busyCursorShown);
  }
}

TVideoCapture::BusyScope::~BusyScope() {
  if (--owner_.busy_ > 0) return;
  if (--busyComponents == 0 && busyCursorShown != crDefault) {
    busyCursorShown = crDefault;
    SetScreenCursor(owner_.NormalCursor);
  }
}

TVideoCapture::CursorLift::CursorLift(const TVideoCapture& owner) : busy_(busyCursorShown) {
  if (busy_ != crDefault) SetScreenCursor(owner.NormalCursor);
}

TVideoCapture::CursorLift::~CursorLift() {
  // Unless the busy time ended meanwhile.
  if (busy_ != crDefault && busyCursorShown == busy_) SetScreenCursor(busy_);
}

// ---------------------------------------------------------------- reports

bool TVideoCapture::Report(bool ok, TReportLevel level, const std::string& text, int code) {
  const std::string prefix = ok ? "ok: " : level == rl_Warning ? "Warning: " : "Error: ";
  if (DebugLog) {
    try {
      AppendDebugLine(std::to_string(code) + " " + prefix + text);
    } catch (const std::exception& e) {
      // A log that cannot be written must not stop the operation that reports.
      DebugLog = false;
      platform::LogLine(std::string("Capture debug log switched off: ") + e.what());
    }
  }
  if (!ok && level != rl_Log && OnErrorLog) OnErrorLog(this, code, prefix + text);
  if (!destroying_) platform::ProcessMessages();
  return ok;
}

bool TVideoCapture::ReportIf(bool failed, TReportLevel level, const std::string& text, int code) {
  Report(!failed, level, text, code);
  return failed;
}

// ---------------------------------------------------------------- queue and ticks

bool TVideoCapture::Queue(int code, int i, double d, const std::string& s1, const std::string& s2) {
  if (busy_ == 0 || !initialized_) return false;
  queue_.push_back({code, i, d, s1, s2});
  Report(true, rl_Log, "IN QUEUE " + std::to_string(code), 11);
  return true;
}

void TVideoCapture::RunQueue() {
  const std::shared_ptr<bool> alive = alive_;
  while (*alive && !queue_.empty() && !destroying_) {
    const TRequest request = queue_.front();
    queue_.pop_front();
    // Only the last of several waiting changes rebuilds the graph.
    const bool refresh = RefreshPreviewOnParamChange;
    if (!queue_.empty()) RefreshPreviewOnParamChange = false;
    RunRequest(request);
    if (!*alive) return;
    RefreshPreviewOnParamChange = refresh;
  }
}

void TVideoCapture::RunRequest(const TRequest& r) {
  switch (r.code) {
    case 0: ShutdownGraph(); break;
    case 1: StartPreview(); break;
    case 2: StopPreview(); break;
    case 3: Recompress(r.s1, r.s2); break;
    case 4: StartCapture(); break;
    case 5: StopCapture(); break;
    case 6: SetFrameRate(r.d); break;
    case 7: ShowDialog(static_cast<TDialog>(r.i)); break;
    case 8: SetDVCaptureMode(static_cast<TDVCaptureMode>(r.i)); break;
    case 9: SetVideoCompressor(r.i); break;
    case 10: SetVideoDevice(r.i); break;
    case 11: SetAudioCompressor(r.i); break;
    case 12: SetAudioDevice(r.i); break;
    case 13: SetRenderAudio(r.i != 0); break;
    case 14: SetCompressionMode(static_cast<TCompressionMode>(r.i)); break;
    case 15: SetCompressionType(static_cast<TCompressionType>(r.i)); break;
    case 16: SetDVPreviewResolution(static_cast<TDVResolution>(r.i)); break;
    case 17: SetDVReduceFrameRate(r.i != 0); break;
    case 18: SetDVUseExternalAudio(r.i != 0); break;
    case 19: SetFrameGrabberEnabled(r.i != 0); break;
    case 20: SetFrameGrabberOnCaptureStream(r.i != 0); break;
    case 21: SetVideoSize(r.i); break;
    case 22: SetVideoSubType(r.i); break;
    case 23: RunPlayer(); break;
    case 24: OpenPlayer(); break;
    case 25: PausePlayer(); break;
    case 26: StopPlayer(); break;
    case 27: FastForwardPlayer(r.i); break;
    case 28: FastReversePlayer(r.i); break;
    case 29: ClosePlayer(); break;
    default: break;
  }
}

void TVideoCapture::TickHandler() {
  if (inTick_ || destroying_) return;
  inTick_ = true;
  struct Reset {
    std::shared_ptr<bool> alive;
    bool& flag;
    ~Reset() {
      if (*alive) flag = false;
    }
  } reset{alive_, inTick_};
  if (!initialized_) FirstTick();
  else RegularTick();
}

void TVideoCapture::FirstTick() {
  initialized_ = true;
  const std::shared_ptr<bool> alive = alive_;
  if (OnComponentLoaded) OnComponentLoaded(this);
  if (!*alive) return;
  if (AutoStartPreview && currentState_ == cs_Down) {
    wantedState_ = cs_Preview;
    impl_->StartGraph(true);
  }
}

void TVideoCapture::RegularTick() {
  // Every event handler and report below may free the component.
  const std::shared_ptr<bool> alive = alive_;
  if (!queue_.empty() && busy_ == 0) RunQueue();
  if (!*alive) return;
  // A build in progress owns the graph; its events wait for a later tick.
  if (impl_->eventPending && busy_ == 0) {
    impl_->eventPending = false;
    if (impl_->deviceLost) {
      impl_->deviceLost = false;
      impl_->DestroyGraph();
      if (OnDeviceLost) OnDeviceLost(this);
      if (!*alive) return;
    }
    if (impl_->endOfStream) {
      impl_->endOfStream = false;
      if (OnPlayerEndOfStream) OnPlayerEndOfStream(this);
      if (!*alive) return;
    }
    if (impl_->diskFull) {
      impl_->diskFull = false;
      // The new graph closes the capture file with what it holds.
      impl_->StartGraph(true);
      if (!*alive) return;
      if (OnDiskFull) OnDiskFull(this);
      if (!*alive) return;
    }
  }
  impl_->TimeCodeTick();
  if (!*alive) return;
  if (!frameGrabberEnabled_) impl_->FrameNotify(0, 1);
  if (!*alive) return;
  impl_->PlayerProgressTick();
  if (*alive && !destroying_) platform::ProcessMessages();
}

void TVideoCapture::HandleMessage(platform::TMessage& message) {
  if (destroying_) return;
  if (message.Msg == kFrameNotify) impl_->FrameNotify(message.WParam, message.LParam);
  else if (message.Msg == kGraphNotify) impl_->GraphNotify();
  message.Result = 0;
}

// ---------------------------------------------------------------- operations

bool TVideoCapture::StateCheck(std::initializer_list<TCurrentState> accepted) {
  const auto accepts = [&](TCurrentState s) { return std::find(accepted.begin(), accepted.end(), s) != accepted.end(); };
  if (currentState_ == cs_Capture && !accepts(cs_Capture))
    return !ReportIf(true, rl_Error, "stop capture first", 65);
  if (currentState_ == cs_Compress && !accepts(cs_Compress))
    return !ReportIf(true, rl_Error, "wait for recompress completion", 70);
  if (currentState_ == cs_Player && !accepts(cs_Player)) return !ReportIf(true, rl_Error, "close player first", 77);
  if (currentState_ == cs_Preview && !accepts(cs_Preview))
    return !ReportIf(true, rl_Error, "stop preview first", 78);
  return true;
}

void TVideoCapture::RestartGraph() { impl_->StartGraph(false); }

void TVideoCapture::StartPreview() {
  if (Queue(1)) return;
  if (!PreviewStateCheck()) return;
  wantedState_ = cs_Preview;
  impl_->StartGraph(true);
}

void TVideoCapture::StopPreview() {
  if (Queue(2)) return;
  if (!PreviewStateCheck()) return;
  currentState_ = cs_Down;
  wantedState_ = cs_Down;
  impl_->DestroyGraph();
}

void TVideoCapture::ShutdownGraph() {
  if (Queue(0)) return;
  impl_->DestroyGraph();
  currentState_ = cs_Down;
}

void TVideoCapture::CaptureFrameTo(TFrameCaptureDest dest, const std::string& fileName) {
  impl_->CaptureFrameTo(dest, fileName);
}

void TVideoCapture::StartCapture() {
  if (Queue(4)) return;
  if (currentState_ == cs_Capture) {
    Report(false, rl_Error, "already capturing", 65);
    return;
  }
  if (!PreviewStateCheck()) return;
  currentState_ = cs_Capture;
  impl_->StartGraph(false);
}

void TVideoCapture::StopCapture() {
  if (Queue(5)) return;
  if (currentState_ != cs_Capture) {
    Report(false, rl_Error, "not capturing", 89);
    return;
  }
  impl_->StopCapture();
}

void TVideoCapture::Recompress(const std::string& source, const std::string& destination) {
  if (Queue(3, 0, 0, source, destination) || !PreviewStateCheck()) return;
  if (OnRecompressStarted) OnRecompressStarted(this);
  const bool ok = impl_->Recompress(source, destination);
  if (OnRecompressCompleted) OnRecompressCompleted(this, ok);
}

std::string TVideoCapture::CaptureFileInUse() const { return impl_->captureFileName; }

bool TVideoCapture::IsDialogAvailable(TDialog dialog) { return impl_->IsDialogAvailable(dialog); }

void TVideoCapture::ShowDialog(TDialog dialog) {
  if (Queue(7, dialog)) return;
  impl_->ShowDialog(dialog);
}

// ---------------------------------------------------------------- device lists

namespace {

std::string NamesOf(TDevices* list) { return list ? list->NamesText() : std::string(); }
int CountOf(TDevices* list) { return list ? list->Count() : 0; }
std::string NameOf(TDevices* list, int index) { return list ? list->DisplayName(index) : std::string(); }

}  // namespace

std::string TVideoCapture::GetVideoDevices() const { return NamesOf(VideoDeviceList()); }
std::string TVideoCapture::GetAudioDevices() const { return NamesOf(AudioDeviceList()); }
std::string TVideoCapture::GetVideoCompressors() const { return NamesOf(VideoCompressorList()); }
std::string TVideoCapture::GetAudioCompressors() const { return NamesOf(AudioCompressorList()); }
int TVideoCapture::GetVideoDevicesCount() const { return CountOf(VideoDeviceList()); }
int TVideoCapture::GetAudioDevicesCount() const { return CountOf(AudioDeviceList()); }
int TVideoCapture::GetVideoCompressorsCount() const { return CountOf(VideoCompressorList()); }
int TVideoCapture::GetAudioCompressorsCount() const { return CountOf(AudioCompressorList()); }
std::string TVideoCapture::VideoDeviceName(int index) const { return NameOf(VideoDeviceList(), index); }
std::string TVideoCapture::AudioDeviceName(int index) const { return NameOf(AudioDeviceList(), index); }
std::string TVideoCapture::VideoCompressorName(int index) const { return NameOf(VideoCompressorList(), index); }
std::string TVideoCapture::AudioCompressorName(int index) const { return NameOf(AudioCompressorList(), index); }

// ---------------------------------------------------------------- formats and quality

std::string TVideoCapture::GetVideoSizes() const {
  TDevices* list = VideoDeviceList();
  if (!initialized_ || !list || videoDevice_ < 0 || videoDevice_ >= list->Count()) return {};
  return TrimmedLines(list->Record(videoDevice_).Sizes.get());
}

std::string TVideoCapture::GetVideoSubTypes() const {
  TDevices* list = VideoDeviceList();
  if (!initialized_ || !list || videoDevice_ < 0 || videoDevice_ >= list->Count()) return {};
  return TrimmedLines(list->Record(videoDevice_).SubTypes.get());
}

std::string TVideoCapture::GetAudioFormats() const { return AudioFormatsText(); }

bool TVideoCapture::GetVideoQualityAvailable() const { return impl_->haveProcAmp && impl_->source; }

int TVideoCapture::VideoQualityMin(TVideoQuality q) const {
  const auto* range = impl_->QualityRange(q);
  return range ? range->min : kUnavailable;
}

int TVideoCapture::VideoQualityMax(TVideoQuality q) const {
  const auto* range = impl_->QualityRange(q);
  return range ? range->max : kUnavailable;
}

int TVideoCapture::VideoQualityStep(TVideoQuality q) const {
  const auto* range = impl_->QualityRange(q);
  return range ? range->step : kUnavailable;
}

int TVideoCapture::VideoQualityDefault(TVideoQuality q) const {
  const auto* range = impl_->QualityRange(q);
  return range ? range->defaultValue : kUnavailable;
}

int TVideoCapture::GetVideoQuality(TVideoQuality q) const {
  int value;
  if (!impl_->QualityRange(q) || !impl_->source->ProcAmp() ||
      !impl_->source->ProcAmp()->Get(ProcAmpProperty(q), value))
    return kUnavailable;
  return value;
}

bool TVideoCapture::IsVideoQualitySettingAvailable(TVideoQuality q) const { return GetVideoQuality(q) != kUnavailable; }

bool TVideoCapture::SetVideoQuality(TVideoQuality q, int value) {
  return impl_->QualityRange(q) && impl_->source->ProcAmp() &&
         impl_->source->ProcAmp()->Set(ProcAmpProperty(q), value);
}

bool TVideoCapture::GetAnalogVideoDecoderAvailable() const { return impl_->hasAnalogDecoder && impl_->source; }
bool TVideoCapture::HasAnalogVideoDecoder() const { return impl_->hasAnalogDecoder; }
bool TVideoCapture::SourceIsDV() const { return impl_->sourceIsDV; }
bool TVideoCapture::SourceHasAnalogVideoInput() const { return impl_->hasAnalogVideoIn; }

std::vector<std::string> TVideoCapture::GraphNodes() const {
  return impl_->graph ? impl_->graph->NodeNames() : std::vector<std::string>();
}

std::vector<std::string> TVideoCapture::GraphLinks() const {
  return impl_->graph ? impl_->graph->Links() : std::vector<std::string>();
}

// ---------------------------------------------------------------- queued properties

// The part the video and audio device setters share: false when nothing
// more is to happen.
bool TVideoCapture::StoreDeviceIndex(int& field, int index, int count, const char* listName) {
  if (index < 0) {
    Report(false, rl_Error, "index out of range", 40);
    return false;
  }
  field = index;
  if (!Ready()) return false;
  if (index >= count) {
    Report(false, rl_Error, std::string(listName) + " index out of range", 40);
    return false;
  }
  return true;
}

void TVideoCapture::SetVideoDevice(int index) {
  if (Queue(10, index) || index == videoDevice_) return;
  if (!StoreDeviceIndex(videoDevice_, index, GetVideoDevicesCount(), "VideoDevice")) return;
  videoSize_ = 0;
  videoSubType_ = 0;
  impl_->videoDeviceChanged = true;
  if (currentState_ == cs_Player) currentState_ = wantedState_;
  if (PreviewStateCheck() && RefreshPreviewOnParamChange) RestartGraph();
}

void TVideoCapture::SetAudioDevice(int index) {
  if (Queue(12, index) || index == audioDevice_) return;
  if (!StoreDeviceIndex(audioDevice_, index, GetAudioDevicesCount(), "AudioDevice")) return;
  impl_->audioDeviceChanged = true;
  if (currentState_ == cs_Player) currentState_ = wantedState_;
  if (PreviewStateCheck() && RefreshPreviewOnParamChange) RestartGraph();
}

void TVideoCapture::SetFormatChoice(int code, int& field, int index) {
  if (Queue(code, index) || index == field) return;
  field = index;
  if (!initialized_ || !PreviewStateCheck()) return;
  if (impl_->sourceIsDV) {
    Report(false, rl_Warning, "does not apply to DV", 80);
    return;
  }
  if (RefreshPreviewOnParamChange) RestartGraph();
}

void TVideoCapture::SetVideoSize(int index) { SetFormatChoice(21, videoSize_, index); }
void TVideoCapture::SetVideoSubType(int index) { SetFormatChoice(22, videoSubType_, index); }

void TVideoCapture::SetFrameRate(double rate) {
  if (Queue(6, 0, rate) || rate == frameRate_ || !(rate > 0)) return;
  frameRate_ = rate;
  if (!initialized_ || !PreviewStateCheck()) return;
  if (impl_->sourceIsDV) {
    Report(false, rl_Warning, "does not apply to DV", 80);
    return;
  }
  if (!RefreshPreviewOnParamChange || !impl_->graphRunning) return;
  BusyScope busy(*this);
  impl_->GraphControl(0);
  impl_->ApplyFrameRate();
  impl_->GraphControl(2);
}

void TVideoCapture::SetFrameGrabberEnabled(bool on) {
  if (Queue(19, on) || on == frameGrabberEnabled_) return;
  frameGrabberEnabled_ = on;
  if (initialized_ && PreviewStateCheck() && RefreshPreviewOnParamChange) RestartGraph();
}

void TVideoCapture::SetFrameGrabberOnCaptureStream(bool on) {
  if (Queue(20, on) || on == frameGrabberOnCaptureStream_) return;
  frameGrabberOnCaptureStream_ = on;
  if (frameGrabberEnabled_ && initialized_ && PreviewStateCheck() && RefreshPreviewOnParamChange) RestartGraph();
}

void TVideoCapture::SetRenderAudio(bool on) {
  if (Queue(13, on) || on == renderAudio_) return;
  renderAudio_ = on;
  if (Ready() && PreviewStateCheck() && RefreshPreviewOnParamChange) RestartGraph();
}

// Compression settings take effect when the next graph is built.
void TVideoCapture::SetVideoCompressor(int index) {
  if (Queue(9, index) || index == videoCompressor_) return;
  if (index < 0) {
    Report(false, rl_Error, "VideoCompressor index out of range", 40);
    return;
  }
  videoCompressor_ = index;
  impl_->videoEncoder.reset();
}

void TVideoCapture::SetAudioCompressor(int index) {
  if (Queue(11, index) || index == audioCompressor_) return;
  if (index < 0) {
    Report(false, rl_Error, "index out of range", 40);
    return;
  }
  audioCompressor_ = index;
}

void TVideoCapture::SetCompressionMode(TCompressionMode mode) {
  if (Queue(14, mode) || mode == compressionMode_) return;
  PreviewStateCheck();
  compressionMode_ = mode;
}

void TVideoCapture::SetCompressionType(TCompressionType type) {
  if (Queue(15, type) || type == compressionType_) return;
  PreviewStateCheck();
  compressionType_ = type;
}

void TVideoCapture::SetVCompQuality(double quality) {
  if (quality == vCompQuality_) return;
  if (!(quality >= 0.0 && quality <= 1.0)) {
    Report(false, rl_Error, "video quality range between 0.0 and 1.0", 67);
    return;
  }
  vCompQuality_ = quality;
}

// ---------------------------------------------------------------- other properties

bool TVideoCapture::BurstMode() const { return impl_->grabberCB->BurstMode(); }
void TVideoCapture::SetBurstMode(bool on) { impl_->grabberCB->SetBurstMode(on); }
int TVideoCapture::BurstCount() const { return impl_->grabberCB->BurstCount(); }
void TVideoCapture::SetBurstCount(int count) { impl_->grabberCB->SetBurstCount(count); }
int TVideoCapture::BurstInterval() const { return impl_->grabberCB->BurstInterval(); }
void TVideoCapture::SetBurstInterval(int interval) { impl_->grabberCB->SetBurstInterval(interval); }

void TVideoCapture::SetAutoSize(bool on) {
  if (on == autoSize_) return;
  autoSize_ = on;
  if (Ready()) LayoutVideoWindow();
}

void TVideoCapture::SetBorderStyle(TBorderStyle style) {
  borderStyle_ = style;
  borderAllowance_ = style == bsNone ? 0 : 4;
  setFrameStyle(style == bsNone ? QFrame::NoFrame : QFrame::Panel | QFrame::Sunken);
  setLineWidth(2);
}

void TVideoCapture::SetFullScreenPreview(bool on) {
  fullScreenPreview_ = on;
  if (impl_->graphRunning) videoWindow_->SetFullScreen(on);
}

void TVideoCapture::SetZoomSize(int percent) {
  zoomSize_ = percent;
  if (initialized_ && autoSize_) LayoutVideoWindow();
}

void TVideoCapture::FullScreenNotify(int& key) {
  char k = static_cast<char>(key);
  if (OnFullScreenKeyPress) OnFullScreenKeyPress(this, k);
  key = static_cast<unsigned char>(k);
  if (key == 27) {
    videoWindow_->SetFullScreen(false);
    LayoutVideoWindow();
  }
}

// ---------------------------------------------------------------- layout

void TVideoCapture::resizeEvent(QResizeEvent* event) {
  LayoutVideoWindow();
  QFrame::resizeEvent(event);
}

void TVideoCapture::LayoutVideoWindow() {
  if (inLayout_ || !impl_ || !impl_->graph) return;
  inLayout_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{inLayout_};
  if (OnResizeVideo) OnResizeVideo(this, videoWidth_, videoHeight_);
  // A window on the whole screen is not placed; leaving it lays out again.
  const bool placed = !videoWindow_->FullScreen();
  const QRect inner = contentsRect();
  const int width = inner.width(), height = inner.height();
  if (!autoSize_) {
    if (!placed) return;
    const double r = aspectRatio_;
    if (!MaintainImageRatio) {
      videoWindow_->setGeometry(inner);
    } else if (width > 0 && r > 0) {
      if (static_cast<double>(height) / width <= r) {
        const int w = static_cast<int>(std::lround(height / r));
        videoWindow_->setGeometry(inner.left() + (width - w) / 2, inner.top(), w, height);
      } else {
        const int h = static_cast<int>(std::lround(width * r));
        videoWindow_->setGeometry(inner.left(), inner.top() + (height - h) / 2, width, h);
      }
    }
    return;
  }
  const int w = static_cast<int>(std::lround(videoWidth_ * zoomSize_ / 100.0));
  const int h = static_cast<int>(std::lround(videoHeight_ * zoomSize_ / 100.0));
  if (w <= 0 || h <= 0) return;
  if (placed) videoWindow_->setGeometry(inner.left(), inner.top(), w, h);
  resize(w + borderAllowance_, h + borderAllowance_);
}
