#pragma once

// The inside of TVideoCapture: the current capture graph with its flags, the
// graph building and tearing down, formats, frame grabbing and dialogs. Only
// the component and its own files include this.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "videocapture/Devices.h"
#include "videocapture/SampleGrabberCB.h"
#include "videocapture/TvTuning.h"
#include "videocapture/VideoCapture.h"
#include "videocapture/engine/AudioCodec.h"
#include "videocapture/engine/AviMux.h"
#include "videocapture/engine/CaptureGraph.h"

class TImpl {
 public:
  explicit TImpl(TVideoCapture& owner);
  ~TImpl();
  TImpl(const TImpl&) = delete;
  TImpl& operator=(const TImpl&) = delete;

  // ---- graph building
  bool StartGraph(bool takeWantedState);
  void DestroyGraph();
  bool BuildGraph();
  bool RunGraph();
  // 0 stop, 1 pause, 2 run; the mode is recorded even when the call fails.
  bool GraphControl(int mode);
  bool GraphExists() const { return graph != nullptr; }
  // Makes a change that V4L2 devices refuse while they stream (the input,
  // the standard): a running graph stops around it and runs again.
  bool WithStreamStopped(const std::function<bool()>& change);

  // ---- formats and quality
  bool ApplyFrameRate();
  void ApplySizeAndSubType();
  void ReadBackFormat();
  const videocapture::engine::TControlRange* QualityRange(TVideoQuality quality) const;

  // ---- frame grabbing
  void CaptureFrameTo(TFrameCaptureDest dest, const std::string& fileName);
  void FrameNotify(std::uintptr_t wparam, std::intptr_t lparam);
  // Creates the file exclusively; false when no free name was found.
  bool AutomaticFileName(const std::string& extension, std::string& name);

  // ---- graph events
  void GraphNotify();

  // ---- DV camcorders (DvCamcorder.cpp)
  // Fires OnTimeCodeReader with the tape's position (each tick).
  void TimeCodeTick();
  // The format the capture side hands the multiplexer.
  bool CaptureSideFormat(videocapture::engine::TVideoFormat& format);

  // ---- dialogs
  bool IsDialogAvailable(TDialog dialog);
  void ShowDialog(TDialog dialog);

  // ---- capture to file (CaptureFile.cpp)
  // The stop, with its post-processing and then, no longer busy, the
  // completion event.
  void StopCapture();
  // The public recompression, after its state check.
  bool Recompress(const std::string& source, const std::string& destination);
  // Free space under the capture file's folder is below the reserve.
  bool CaptureDiskLow() const;

  // ---- player (Player.cpp)
  void OpenPlayer();
  void RunPlayer();
  void PausePlayer();
  void StopPlayer();
  void SkipPlayer(int percent, bool forward);
  bool SetPlayerPosition(double seconds);
  void ClosePlayer();
  void PlayerProgressTick();
  // A frame grab in a paused player lets one frame run.
  bool RunPlayerForGrab();

  TVideoCapture& vc;
  std::unique_ptr<videocapture::engine::TCaptureGraph> graph;
  videocapture::engine::TCaptureSource* source = nullptr;
  TDeviceRecord* record = nullptr;
  int sourceNode = -1, audioNode = -1, rendererNode = -1, grabberNode = -1, muxNode = -1;
  int videoCompressorNode = -1, audioCompressorNode = -1;
  std::shared_ptr<TSampleGrabberCB> grabberCB;

  // Graphs built so far: tells a graph from the one that replaced it.
  int builds = 0;
  bool graphRunning = false;
  bool frameGrabberReady = false;
  bool sourceIsDV = false;
  bool hasVideoPort = false;
  bool hasAnalogVideoIn = false;
  bool hasAnalogDecoder = false;
  bool hasPreviewBranch = false;
  bool compressorInserted = false;
  int controlMode = 0;
  int appliedWidth = 0, appliedHeight = 0;
  int searchStart = -1;
  bool searching = false;
  bool videoDeviceChanged = true, audioDeviceChanged = true;
  bool streamConfigRequested = false;
  bool compressorDialogRequested = false;

  // Graph events waiting for the tick.
  bool eventPending = false, deviceLost = false, endOfStream = false, diskFull = false;

  // Progress of the running graph.
  std::int64_t startTime = 0;
  int deliveredFrames = 0;
  bool haveDroppedCounters = false;
  long droppedBase = 0, notDroppedBase = 0;

  TTvTuning tuning;

  bool haveProcAmp = false;
  videocapture::engine::TControlRange quality[videocapture::engine::kProcAmpCount];

  TFrameCaptureDest frameDest = fc_TBitmap;
  std::string frameFileName;

  // Capture to file.
  std::string captureFileName;  // the final file
  std::string writtenFileName;  // the file written while capturing
  bool preallocated = false;
  bool compressAfter = false;
  TMasterStream masterStream = ms_NoMaster;
  std::unique_ptr<videocapture::engine::TVideoEncoder> videoEncoder;
  std::unique_ptr<videocapture::engine::TAudioEncoder> audioEncoder;
  std::shared_ptr<videocapture::engine::TAviWriter> writer;
  std::shared_ptr<videocapture::engine::TAviMux> mux;
  bool captureWritten = false;
  // Set on the streaming thread when the capture file cannot take more.
  std::atomic<bool> writeFailed{false};

  // Player.
  videocapture::engine::TMediaSeeking* seeking = nullptr;
  double mediaDuration = 0;
  bool frameShown = false, endReached = false, ffAtEnd = false, playerProgress = false;

 private:
  bool BindVideoDevice();
  // False when sound is wanted and no sound input can be had.
  bool BindAudioDevice();
  void FindInterfaces();
  bool EnsureFormatLists();
  bool BindCompressors();
  bool AnalogRender();
  // The audio device's branch: to the multiplexer and, when asked, the renderer.
  void ConnectAudioBranch();
  bool DvRender();
  // The camcorder's own sound, when it travels with the video.
  void BindDvSound();
  bool ConnectThroughCompressor(videocapture::engine::TPinRef out);
  void RemoveAudioRenderer();
  // Plays what comes out of `out`; a device that cannot be opened is
  // reported at `level`.
  bool AddAudioRenderer(videocapture::engine::TPinRef out, TReportLevel level);
  bool SpliceDeinterlacer(videocapture::engine::TPinRef in, const std::string& name);
  void InsertDeinterlacers();
  // The component's own pages (PropertyPages.cpp).
  bool OwnPageAvailable(TDialog dialog);
  void ShowOwnPage(TDialog dialog);
  bool InsertGrabber();
  bool PlaceGrabberAtRenderer();
  bool PlaceGrabberOnCaptureStream();
  void UndoGrabberPlacement(const std::vector<std::string>& added);
  bool AttachVideoWindow();
  bool ConnectEvents();
  bool Start();
  bool RunGraphSteps();
  // Capture file preparation, the writer and the multiplexer's settings.
  bool PrepareCaptureFile();
  bool PreparePreallocFile();
  bool OpenCaptureWriter();
  // Puts the file written from the start of the capture under its final name.
  bool CommitCaptureFile();
  void ConfigureMux();
  // What the multiplexer is told (interleaving, index, master stream).
  void ReportMuxSettings(bool audioMaster);
  // The stop under the busy state; whether the capture ended well.
  bool FinishCapture();
  void CloseCaptureWriter();
  void AbandonCaptureFile();
  bool RecompressFile(const std::string& source, const std::string& destination);
  bool CopyPreallocData();
  bool BindCompressor(TDevices* list, int& index, videocapture::engine::TNodeKind kind, int& node);
  void Deliver();
  TDevices* VideoList() const;
};
