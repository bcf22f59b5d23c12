#pragma once

// TVideoCapture: a panel that previews one capture device and grabs frames
// from it. It lists the machine's capture devices, builds a capture graph for
// the selected one (with a grabber for single frames and a renderer that
// paints inside the panel), and hands grabbed frames to the application on
// the GUI thread as a bitmap, a BMP file or a JPEG file. It also captures to
// AVI files (MJPEG or uncompressed, with PCM, IMA ADPCM or MP3 sound),
// recompresses them, plays them inside the panel with their sound, plays the
// captured sound while it runs (RenderAudio), tunes a TV card, and drives a
// DV camcorder's tape.
//
// Long operations (building and starting a graph) set the busy state; a call
// of the request table that arrives meanwhile on an initialised component is
// queued and runs, in call order, on a later tick. The component is
// initialised at its first tick from the device manager (every 100 ms).
//
// Every step is reported with a code, a level and a text: to the debug log
// when DebugLog is on, and, for failed warnings and errors, to OnErrorLog as
// "Warning: " or "Error: " followed by the text.

#include <QFrame>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "platform/EventLoop.h"
#include "videocapture/Bitmap.h"
#include "videocapture/VideoCaptureTypes.h"

class TImpl;
class TDevicesManager;
class TVideoWindow;

class TVideoCapture : public QFrame {
 public:
  explicit TVideoCapture(QWidget* owner = nullptr);
  ~TVideoCapture() override;

  // ---- operations
  void StartPreview();
  void StopPreview();
  void ShutdownGraph();
  // Asks for a frame (or a burst); it arrives through OnFrameCaptureCompleted.
  // Does nothing while no graph with a ready grabber runs.
  void CaptureFrameTo(TFrameCaptureDest dest, const std::string& fileName);
  bool IsDialogAvailable(TDialog dialog);
  void ShowDialog(TDialog dialog);

  // ---- capture to file
  void StartCapture();
  void StopCapture();
  // Writes `destination` from `source` with the selected compressors.
  void Recompress(const std::string& source, const std::string& destination);

  // ---- the file player (whatever FFmpeg's libraries read; files with sound
  // only play their sound)
  void OpenPlayer();
  void RunPlayer();
  void PausePlayer();
  void StopPlayer();
  void FastForwardPlayer(int percent);
  void FastReversePlayer(int percent);
  void ClosePlayer();
  bool SetPlayerPosition(double seconds);
  double PlayerRate() const { return playerRate_; }
  void SetPlayerRate(double rate);
  // Seconds, of the first video stream of the file the player has open; 0
  // while none is open.
  double MediaDuration() const;

  // ---- TV tuner and analog video decoder. Each answers false without a
  // graph or when the device lacks the part. Channels are tuned through the
  // channel plans of the chosen country, for cable or antenna as the tuner
  // input is set; auto-tuning finds a fine tuning per channel, which the
  // settings keep once stored. Every international dialling code is a
  // country. In radio mode (FM, or AM on a radio with an AM band) the card's
  // radio node is tuned, a channel is a frequency in Hz, the frequency calls
  // answer the radio's, and auto-tuning searches around the frequency given.
  // A logon has nothing to do; the decoder's output is always on, and
  // switching it or setting its VCR locking have no Linux counterpart and
  // answer false. Changes the card takes only while it does not stream (the
  // input, the standard) stop the stream around them.
  bool TVPutChannel(int channel, int videoSubChannel, int audioSubChannel);
  bool TVGetChannel(int& channel, int& videoSubChannel, int& audioSubChannel);
  bool TVChannelMinMax(int& min, int& max);
  bool TVPutCountryCode(int code);
  bool TVGetCountryCode(int& code);
  bool TVPutTuningSpace(int space);
  bool TVGetTuningSpace(int& space);
  bool TVLogon(void* handle);
  bool TVLogout();
  // 1 with a signal, 0 without.
  bool TVSignalPresent(int& strength);
  // Modes: 1 TV, 2 FM radio, 4 AM radio.
  bool TVPutMode(int mode);
  bool TVGetMode(int& mode);
  bool TVGetAvailableModes(int& modes);
  bool TVGetAvailableTVFormats(int& formats);
  bool TVGetTVFormat(int& format);
  bool TVAutoTune(int channel, int& foundSignal);
  bool TVStoreAutoTune();
  bool TVGetNumInputConnections(int& count);
  bool TVPutInputType(int index, TTunerInputType type);
  bool TVGetInputType(int index, TTunerInputType& type);
  bool TVPutConnectInput(int index);
  bool TVGetConnectInput(int& index);
  bool TVGetVideoFrequency(int& hertz);
  bool TVGetAudioFrequency(int& hertz);
  bool VDECPutTVFormat(int format);
  bool VDECGetHorizontalLocked(int& locked);
  bool VDECPutVCRHorizontalLocking(int locking);
  bool VDECGetVCRHorizontalLocking(int& locking);
  bool VDECGetNumberOfLines(int& lines);
  bool VDECPutOutputEnable(int enable);
  bool VDECGetOutputEnable(int& enable);
  // The standards' names, one per line, in the order of TAnalogVideoStandard.
  std::string GetAnalogVideoStandards() const;
  TAnalogVideoStandard AnalogVideoStandard() const { return analogVideoStandard_; }
  void SetAnalogVideoStandard(TAnalogVideoStandard standard);

  // ---- DV camcorders (IEEE 1394): the tape transport; false when the source
  // is no camcorder or it refuses.
  bool SendDVCommand(TDVCommand command);

  // ---- device lists (names one per line, each followed by CR LF)
  std::string GetVideoDevices() const;
  std::string GetAudioDevices() const;
  std::string GetVideoCompressors() const;
  std::string GetAudioCompressors() const;
  int GetVideoDevicesCount() const;
  int GetAudioDevicesCount() const;
  int GetVideoCompressorsCount() const;
  int GetAudioCompressorsCount() const;
  std::string VideoDeviceName(int index) const;
  std::string AudioDeviceName(int index) const;
  std::string VideoCompressorName(int index) const;
  std::string AudioCompressorName(int index) const;

  // ---- formats and quality
  // The current device's sizes ("320x240") and sub-types, one per line; empty
  // before the component is initialised and until a graph has been built for
  // the device.
  std::string GetVideoSizes() const;
  std::string GetVideoSubTypes() const;
  std::string GetAudioFormats() const;
  bool GetVideoQualityAvailable() const;
  bool IsVideoQualitySettingAvailable(TVideoQuality quality) const;
  // 2147483647 when the graph has no such control.
  int VideoQualityMin(TVideoQuality quality) const;
  int VideoQualityMax(TVideoQuality quality) const;
  int VideoQualityStep(TVideoQuality quality) const;
  int VideoQualityDefault(TVideoQuality quality) const;
  int GetVideoQuality(TVideoQuality quality) const;
  bool SetVideoQuality(TVideoQuality quality, int value);
  bool GetAnalogVideoDecoderAvailable() const;
  bool GetTVTunerAvailable() const;
  bool GetTimeCodeReaderAvailable() const;
  // The software deinterlacer is always there (UseDeinterlacerFilter says where it goes).
  bool GetIsDeinterlacerFilterInstalled() const { return true; }

  // ---- queued properties
  int VideoDevice() const { return videoDevice_; }
  void SetVideoDevice(int index);
  int AudioDevice() const { return audioDevice_; }
  void SetAudioDevice(int index);
  // Indexes into the lists above; 0 keeps the device's own size (and
  // sub-type), so the first entry of a list is never chosen by index.
  int VideoSize() const { return videoSize_; }
  void SetVideoSize(int index);
  int VideoSubType() const { return videoSubType_; }
  void SetVideoSubType(int index);
  double FrameRate() const { return frameRate_; }
  void SetFrameRate(double rate);
  bool FrameGrabberEnabled() const { return frameGrabberEnabled_; }
  void SetFrameGrabberEnabled(bool on);
  bool FrameGrabberOnCaptureStream() const { return frameGrabberOnCaptureStream_; }
  void SetFrameGrabberOnCaptureStream(bool on);
  bool RenderAudio() const { return renderAudio_; }
  void SetRenderAudio(bool on);
  int VideoCompressor() const { return videoCompressor_; }
  void SetVideoCompressor(int index);
  int AudioCompressor() const { return audioCompressor_; }
  void SetAudioCompressor(int index);
  TCompressionMode CompressionMode() const { return compressionMode_; }
  void SetCompressionMode(TCompressionMode mode);
  TCompressionType CompressionType() const { return compressionType_; }
  void SetCompressionType(TCompressionType type);
  TDVResolution DVCaptureResolution() const { return dvCaptureResolution_; }
  void SetDVCaptureResolution(TDVResolution resolution);
  double VCompQuality() const { return vCompQuality_; }
  void SetVCompQuality(double quality);
  TDVCaptureMode DVCaptureMode() const { return dvCaptureMode_; }
  void SetDVCaptureMode(TDVCaptureMode mode);
  TDVResolution DVPreviewResolution() const { return dvPreviewResolution_; }
  void SetDVPreviewResolution(TDVResolution resolution);
  bool DVReduceFrameRate() const { return dvReduceFrameRate_; }
  void SetDVReduceFrameRate(bool on);
  bool DVUseExternalAudio() const { return dvUseExternalAudio_; }
  void SetDVUseExternalAudio(bool on);

  // ---- properties applied at once or kept as they are
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle style);
  bool BurstMode() const;
  void SetBurstMode(bool on);
  int BurstCount() const;
  void SetBurstCount(int count);
  int BurstInterval() const;
  void SetBurstInterval(int interval);
  bool FullScreenPreview() const { return fullScreenPreview_; }
  void SetFullScreenPreview(bool on);
  int ZoomSize() const { return zoomSize_; }
  void SetZoomSize(int percent);

  TAudioFormat AudioFormat = af_default;
  TAutoFileName AutoFileName = fn_Sequential;
  std::string AutoFilePrefix = "vc";
  bool AutoSearchNextAvailVideoDevice = true;
  bool AutoStartPreview = true;
  bool AVI1IndexCompatibility = true;
  TCursor BusyCursor = crHourGlass;
  bool CaptureAudio = true;
  std::string CaptureFileExt = "avi";
  std::string CaptureFileName;
  TStreamType UseDeinterlacerFilter = st_None;
  TJPEGPerformance JPEGPerformance = jpBestQuality;
  bool JPEGProgressiveDisplay = false;
  int JPEGQuality = 100;  // 0..100
  bool MaintainImageRatio = true;
  TCursor NormalCursor = crDefault;
  bool PlayerAutoStart = true;
  std::string PlayerFileName;
  bool PreallocCapFileEnabled = false;
  std::string PreallocCapFileName;
  int PreallocCapFileSizeInMB = 100;
  bool PreallocCapRecreate = false;
  bool RefreshPreviewOnParamChange = true;
  std::string StoragePath;  // the current folder when the component was made
  // MJPEG makes every frame a key frame, so the key-frame rate changes nothing.
  int VCompKeyFrameRate = -1;
  // Appends every report to "debug.log" in the current folder.
  bool DebugLog = false;

  // ---- run-time state
  TCurrentState CurrentState() const { return currentState_; }
  TCurrentState WantedState() const { return wantedState_; }
  int VideoWidth() const { return videoWidth_; }
  int VideoHeight() const { return videoHeight_; }
  double AspectRatio() const { return aspectRatio_; }
  bool Busy() const { return busy_ > 0; }
  bool Initialized() const { return initialized_; }
  bool HasAnalogVideoDecoder() const;
  bool SourceIsDV() const;
  bool SourceHasAnalogVideoInput() const;
  // Seconds from the start to the stop of the last capture.
  double CaptureDuration() const { return captureDuration_; }
  // The file the running (or last) capture ends up in.
  std::string CaptureFileInUse() const;
  // The window the renderer paints in (for tests and screenshots).
  TVideoWindow* VideoWindow() const { return videoWindow_; }
  // The capture graph's node names and links (empty while there is none).
  std::vector<std::string> GraphNodes() const;
  std::vector<std::string> GraphLinks() const;

  // ---- events; Sender is always the component
  std::function<void(TVideoCapture*, const std::string& fileName, bool success)> OnCaptureCompleted;
  std::function<void(TVideoCapture*, double sampleTime, int delivered, int dropped)> OnCaptureProgress;
  std::function<void(TVideoCapture*, bool& okToStart)> OnCaptureReadyToStart;
  std::function<void(TVideoCapture*)> OnCaptureStarted;
  std::function<void(TVideoCapture*)> OnChangeAudioDevice;
  std::function<void(TVideoCapture*)> OnChangeVideoDevice;
  std::function<void(TVideoCapture*)> OnComponentLoaded;
  std::function<void(TVideoCapture*, bool success)> OnCopyPreallocDataCompleted;
  std::function<void(TVideoCapture*)> OnCopyPreallocDataStarted;
  std::function<void(TVideoCapture*, bool success)> OnCreatePreallocFileCompleted;
  std::function<void(TVideoCapture*)> OnCreatePreallocFileStarted;
  std::function<void(TVideoCapture*)> OnDeviceArrival;
  std::function<void(TVideoCapture*)> OnDeviceLost;
  std::function<void(TVideoCapture*)> OnDeviceRemoval;
  std::function<void(TVideoCapture*)> OnDirectX8Required;
  std::function<void(TVideoCapture*, const std::string& deviceName, bool done)> OnDiscoveringNewDevice;
  std::function<void(TVideoCapture*)> OnDiskFull;
  std::function<void(TVideoCapture*, int errorCode, const std::string& errorMsg)> OnErrorLog;
  // The bitmap lives only during the call; copy what you keep.
  std::function<void(TVideoCapture*, const TBitmap* memoryBitmap, TFrameCaptureDest destType,
                     const std::string& fileName, bool success)>
      OnFrameCaptureCompleted;
  std::function<void(TVideoCapture*, char& key)> OnFullScreenKeyPress;
  std::function<void(TVideoCapture*)> OnNoVideoDevices;
  std::function<void(TVideoCapture*)> OnPlayerEndOfStream;
  std::function<void(TVideoCapture*, const std::string& fileName)> OnPlayerFileNotFound;
  std::function<void(TVideoCapture*, double sampleTime)> OnPlayerProgress;
  std::function<void(TVideoCapture*)> OnPlayerStarted;
  std::function<void(TVideoCapture*)> OnPreviewStarted;
  std::function<void(TVideoCapture*)> OnRecompressStarted;
  std::function<void(TVideoCapture*, bool success)> OnRecompressCompleted;
  std::function<void(TVideoCapture*, int videoWidth, int videoHeight)> OnResizeVideo;
  std::function<void(TVideoCapture*, int track, int hh, int mm, int ss, int ff)> OnTimeCodeReader;

  // The report operation: true when `ok`. Level rl_Log never reaches OnErrorLog.
  bool Report(bool ok, TReportLevel level, const std::string& text, int code);
  // Reports a failure when `failed`; answers `failed`.
  bool ReportIf(bool failed, TReportLevel level, const std::string& text, int code);

  // Message numbers of the component's window.
  static constexpr unsigned kFrameNotify = 0x8001;
  static constexpr unsigned kGraphNotify = 0x8002;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  friend class TImpl;
  friend class TDevicesManager;

  struct TRequest {
    int code = 0;
    int i = 0;
    double d = 0;
    std::string s1, s2;
  };

  // Holds the busy state for a scope; nests, and lets go on any exit.
  class BusyScope {
   public:
    explicit BusyScope(TVideoCapture& owner);
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

   private:
    TVideoCapture& owner_;
  };

  // Shows the normal cursor while the application is asked something during
  // a busy time; the busy cursor comes back afterwards.
  class CursorLift {
   public:
    explicit CursorLift(const TVideoCapture& owner);
    ~CursorLift();
    CursorLift(const CursorLift&) = delete;
    CursorLift& operator=(const CursorLift&) = delete;

   private:
    TCursor busy_;
  };

  // True when the call was queued instead of run.
  bool Queue(int code, int i = 0, double d = 0, const std::string& s1 = {}, const std::string& s2 = {});
  void RunQueue();
  void RunRequest(const TRequest& request);
  void TickHandler();
  void FirstTick();
  void RegularTick();
  void HandleMessage(platform::TMessage& message);
  void FullScreenNotify(int& key);
  void LayoutVideoWindow();
  bool StateCheck(std::initializer_list<TCurrentState> accepted);
  bool PreviewStateCheck() { return StateCheck({cs_Down, cs_Preview}); }
  bool Ready() const { return initialized_ && busy_ == 0; }
  void RestartGraph();
  bool StoreDeviceIndex(int& field, int index, int count, const char* listName);
  void SetFormatChoice(int code, int& field, int index);
  bool PlayerCheck();
  template <typename T>
  void SetDVParameter(int code, T& field, T value);

  std::unique_ptr<TImpl> impl_;
  TVideoWindow* videoWindow_ = nullptr;
  std::shared_ptr<platform::MessageTarget> window_;
  std::deque<TRequest> queue_;

  int videoDevice_ = 0;
  int audioDevice_ = 0;
  int videoSize_ = 0;
  int videoSubType_ = 0;
  double frameRate_ = 15.0;
  bool frameGrabberEnabled_ = true;
  bool frameGrabberOnCaptureStream_ = false;
  bool renderAudio_ = false;
  int videoCompressor_ = 0;
  int audioCompressor_ = 0;
  TCompressionMode compressionMode_ = cm_NoCompression;
  TCompressionType compressionType_ = ct_Video;
  TDVCaptureMode dvCaptureMode_ = dv_CaptureType2;
  TDVResolution dvCaptureResolution_ = dvr_Default;
  TAnalogVideoStandard analogVideoStandard_ = AnalogVideo_NTSC_M;
  double playerRate_ = 1.0;
  double vCompQuality_ = -1.0;
  double captureDuration_ = 0;
  TDVResolution dvPreviewResolution_ = dvr_Default;
  bool dvReduceFrameRate_ = false;
  bool dvUseExternalAudio_ = false;
  bool autoSize_ = true;
  TBorderStyle borderStyle_ = bsSingle;
  int borderAllowance_ = 4;
  bool fullScreenPreview_ = false;
  int zoomSize_ = 100;

  TCurrentState currentState_ = cs_Down;
  TCurrentState wantedState_ = cs_Down;
  int videoWidth_ = 0;
  int videoHeight_ = 0;
  double aspectRatio_ = 0;
  int busy_ = 0;
  bool initialized_ = false;
  bool destroying_ = false;
  // Goes false when the component is freed: the events a tick pumps may close
  // the window that owns it, and the tick must not touch it afterwards.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  bool inTick_ = false;
  bool inLayout_ = false;
  bool inFrameNotify_ = false;
};
