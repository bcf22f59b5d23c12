// Building, starting and tearing down the capture graph behind preview.

#include "platform/EventLoop.h"
#include "videocapture/CaptureImpl.h"
#include "videocapture/PropertyFrames.h"
#include "videocapture/RegKey.h"
#include "videocapture/VideoFormats.h"
#include "videocapture/TvCard.h"
#include "videocapture/VideoWindow.h"
#include "videocapture/engine/AudioRenderer.h"
#include "videocapture/engine/CaptureSystem.h"
#include "videocapture/engine/Deinterlacer.h"

namespace engine = videocapture::engine;
using engine::TMajorType;
using engine::TNodeKind;
using engine::TPinCategory;
using engine::TPinDir;
using engine::TPinRef;

TImpl::TImpl(TVideoCapture& owner) : vc(owner), grabberCB(std::make_shared<TSampleGrabberCB>()) {}

TImpl::~TImpl() = default;

TDevices* TImpl::VideoList() const { return VideoDeviceList(); }

// ---------------------------------------------------------------- start

bool TImpl::StartGraph(bool takeWantedState) {
  if (takeWantedState) vc.currentState_ = vc.wantedState_;
  TVideoCapture::BusyScope busy(vc);
  DestroyGraph();
  TDevices* list = VideoList();
  bool ok = false;
  if (vc.currentState_ != cs_Down) {
    ok = BuildGraph();
    if (!ok) DestroyGraph();
    else ok = RunGraph();
  }
  if (ok || vc.currentState_ == cs_Down) return ok;
  if (!list || list->Count() == 0) {
    if (vc.OnNoVideoDevices) vc.OnNoVideoDevices(&vc);
    vc.Report(false, rl_Error, "no video device available.", 33);
    return false;
  }
  const bool willSearch = !searching && vc.AutoSearchNextAvailVideoDevice && list->Count() > 1;
  // Reported even when another device takes over: the user learns why the
  // device chosen is not the one that shows.
  if (!graphRunning) vc.Report(false, rl_Warning, "can't start: " + list->DisplayName(vc.videoDevice_), 91);
  if (willSearch) {
    searching = true;
    // A handler may have stored any index meanwhile; the round needs one of the list's.
    if (vc.videoDevice_ < 0 || vc.videoDevice_ >= list->Count()) vc.videoDevice_ = 0;
    searchStart = vc.videoDevice_;
    // VideoDevice itself goes round, so a search that finds nothing ends
    // where it began.
    while ((vc.videoDevice_ = (vc.videoDevice_ + 1) % list->Count()) != searchStart) {
      vc.videoSize_ = 0;
      vc.videoSubType_ = 0;
      videoDeviceChanged = true;
      if (StartGraph(takeWantedState)) {
        ok = true;
        break;
      }
    }
    searching = false;
    searchStart = -1;
  }
  if (!ok && !searching) vc.Report(false, rl_Error, "video device down", 33);
  return ok;
}

// ---------------------------------------------------------------- build

bool TImpl::BindVideoDevice() {
  TDevices* list = VideoList();
  if (!list || list->Count() == 0) return false;
  if (vc.videoDevice_ < 0 || vc.videoDevice_ >= list->Count()) {
    vc.videoDevice_ = 0;
    vc.Report(false, rl_Warning, list->Name() + " index out of range, index 0 used instead", 40);
  }
  record = &list->Record(vc.videoDevice_);
  auto opened = engine::CaptureSystem().Open(record->Moniker);
  if (!vc.Report(opened != nullptr, rl_Error, "bind " + list->Name() + " device moniker to filter", 6))
    return false;
  sourceNode = graph->AddVideoSource(std::move(opened), record->DisplayName);
  if (!vc.Report(sourceNode >= 0, rl_Error, "rejected: " + record->DisplayName, 1)) return false;
  source = graph->Source();
  return true;
}

bool TImpl::EnsureFormatLists() {
  if (record->Sizes) return true;
  record->Sizes = std::make_unique<TStringList>();
  record->SubTypes = std::make_unique<TStringList>();
  PrepareSizeList(*record->Sizes);
  TRegKey* cache = VideoCaptureRegKey();
  if (cache && cache->LoadDeviceLists(record->RegistryName, *record->Sizes, *record->SubTypes)) return true;
  if (vc.OnDiscoveringNewDevice) vc.OnDiscoveringNewDevice(&vc, record->DisplayName, false);
  DiscoverFormats(*source, *record->Sizes, *record->SubTypes, [this] {
    if (!vc.destroying_) platform::ProcessMessages();
  });
  if (cache) cache->StoreDeviceLists(record->RegistryName, *record->Sizes, *record->SubTypes);
  if (vc.OnDiscoveringNewDevice) vc.OnDiscoveringNewDevice(&vc, record->DisplayName, true);
  return true;
}

void TImpl::FindInterfaces() {
  const engine::TPinFacts pins = source->Pins();
  sourceIsDV = pins.interleaved && pins.transport;
  hasVideoPort = pins.videoPort;
  vc.Report(pins.transport, rl_Log, "find transport interface", 22);
  vc.Report(source->TimecodeReader() != nullptr, rl_Log, "find transport interface", 22);
  engine::TProcAmp* amp = source->ProcAmp();
  haveProcAmp = vc.Report(amp != nullptr, rl_Log, "find proc amp interface", 44);
  for (int p = 0; p < engine::kProcAmpCount; ++p) {
    quality[p] = {};
    if (amp && !amp->GetRange(p, quality[p])) quality[p] = {};
  }
  hasAnalogVideoIn = pins.analogVideoIn;
  hasAnalogDecoder = source->AnalogDecoder() != nullptr;
  if (hasAnalogDecoder) source->AnalogDecoder()->SetStandard(AnalogStandardFlag(vc.analogVideoStandard_));
}

bool TImpl::BindAudioDevice() {
  if (!(vc.CaptureAudio || vc.renderAudio_)) return true;
  // A camcorder that splits its stream (type 2) has its sound in it; only
  // DVUseExternalAudio takes another.
  if (sourceIsDV && vc.dvCaptureMode_ == dv_CaptureType2 && !vc.dvUseExternalAudio_) {
    BindDvSound();
    return true;
  }
  // Only a graph that uses the sound needs the input: a preview plays none
  // and writes none, and a camcorder's whole stream (type 1) has its own.
  const bool wanted =
      (vc.renderAudio_ || vc.currentState_ == cs_Capture) && !(sourceIsDV && vc.dvCaptureMode_ == dv_CaptureType1);
  TDevices* list = AudioDeviceList();
  if (!list || list->Count() == 0) return !wanted;
  if (vc.audioDevice_ < 0 || vc.audioDevice_ >= list->Count()) {
    vc.audioDevice_ = 0;
    vc.Report(false, rl_Warning, list->Name() + " index out of range, index 0 used instead", 40);
  }
  TDeviceRecord& audio = list->Record(vc.audioDevice_);
  auto stream = engine::CaptureSystem().OpenAudio(audio.Moniker);
  if (!vc.Report(stream != nullptr, wanted ? rl_Error : rl_Log, "bind " + list->Name() + " device moniker to filter",
                 6))
    return !wanted;
  audioNode = graph->AddFilter(TNodeKind::AudioSource, audio.DisplayName);
  if (vc.CaptureAudio && vc.AudioFormat != af_default) {
    const TAudioParams p = AudioFormatParams(vc.AudioFormat);
    vc.Report(true, rl_Error, "get audio format", 23);
    vc.Report(stream->SetFormat({p.rate, p.bits, p.channels}), rl_Warning, "set audio format", 69);
  }
  graph->SetAudioStream(audioNode, std::move(stream));
  return true;
}

bool TImpl::BuildGraph() {
  DestroyGraph();
  graph = std::make_unique<engine::TCaptureGraph>();
  ++builds;
  vc.Report(true, rl_Log, "create instance: Graph Buider", 14);
  vc.Report(true, rl_Log, "create instance: Filter Graph", 14);
  vc.Report(true, rl_Log, "set filter graph", 56);
  if (!BindVideoDevice()) return false;
  if (source->CapabilityCount() > 0) EnsureFormatLists();
  FindInterfaces();
  return BindAudioDevice();
}

// ---------------------------------------------------------------- run

bool TImpl::BindCompressor(TDevices* list, int& index, TNodeKind kind, int& node) {
  const bool video = kind == TNodeKind::VideoCompressor;
  // Bound as the devices are.
  if (!list || list->Count() == 0) return false;
  if (index < 0 || index >= list->Count()) {
    index = 0;
    vc.Report(false, rl_Warning, list->Name() + " index out of range, index 0 used instead", 40);
  }
  TDeviceRecord& r = list->Record(index);
  bool bound;
  if (video) {
    videoEncoder = engine::CaptureSystem().OpenVideoEncoder(r.Moniker, vc.vCompQuality_);
    bound = videoEncoder != nullptr;
  } else {
    audioEncoder = engine::CaptureSystem().OpenAudioEncoder(r.Moniker);
    bound = audioEncoder != nullptr;
  }
  if (!vc.Report(bound, rl_Error, "bind " + list->Name() + " device moniker to filter", 6)) return false;
  node = graph->AddFilter(kind, r.DisplayName);
  return node >= 0;
}

bool TImpl::BindCompressors() {
  const bool capturing = vc.currentState_ == cs_Capture && vc.compressionMode_ == cm_CompressOnTheFly;
  const bool compressing = vc.currentState_ == cs_Compress && vc.compressionMode_ == cm_CompressAfterCapture;
  const bool videoWanted = compressorDialogRequested || ((vc.compressionType_ == ct_Video ||
                                                          vc.compressionType_ == ct_AudioVideo) &&
                                                         (capturing || compressing));
  const bool audioWanted = (vc.compressionType_ == ct_Audio || vc.compressionType_ == ct_AudioVideo) &&
                           (capturing || compressing);
  videoEncoder.reset();
  audioEncoder.reset();
  if (videoWanted &&
      !BindCompressor(VideoCompressorList(), vc.videoCompressor_, TNodeKind::VideoCompressor, videoCompressorNode))
    return false;
  if (audioWanted &&
      !BindCompressor(AudioCompressorList(), vc.audioCompressor_, TNodeKind::AudioCompressor, audioCompressorNode))
    return false;
  compressorInserted = videoCompressorNode >= 0;
  return true;
}

bool TImpl::ConnectThroughCompressor(TPinRef out) {
  const TPinRef muxIn = graph->FindPin(muxNode, TPinDir::Input, TPinCategory::None, TMajorType::Any, true);
  if (videoCompressorNode < 0) return graph->Connect(out, muxIn);
  return graph->Connect(out, graph->FindPin(videoCompressorNode, TPinDir::Input, TPinCategory::None,
                                            TMajorType::Video)) &&
         graph->Connect(graph->FindPin(videoCompressorNode, TPinDir::Output, TPinCategory::None, TMajorType::Video),
                        muxIn);
}

bool TImpl::AnalogRender() {
  const TPinRef capture = graph->FindPin(sourceNode, TPinDir::Output, TPinCategory::Capture, TMajorType::Video);
  if (!capture.Valid()) return false;
  rendererNode = graph->AddFilter(TNodeKind::VideoRenderer, "Video Renderer");
  graph->SetConsumer(rendererNode, vc.videoWindow_->Sink());
  const TPinRef rendererIn = graph->FindPin(rendererNode, TPinDir::Input, TPinCategory::None, TMajorType::Video);
  const TPinRef preview = graph->FindPin(
      sourceNode, TPinDir::Output, hasVideoPort ? TPinCategory::VideoPort : TPinCategory::Preview, TMajorType::Video);
  if (preview.Valid()) {
    if (!graph->Connect(preview, rendererIn)) return false;
    ConnectThroughCompressor(capture);
  } else {
    const int tee = graph->AddFilter(TNodeKind::SmartTee, "Smart Tee");
    if (!graph->Connect(capture, graph->FindPin(tee, TPinDir::Input, TPinCategory::None, TMajorType::Video)) ||
        !graph->Connect(graph->FindPin(tee, TPinDir::Output, TPinCategory::Preview, TMajorType::Video), rendererIn))
      return false;
    ConnectThroughCompressor(graph->FindPin(tee, TPinDir::Output, TPinCategory::Capture, TMajorType::Video));
    hasPreviewBranch = true;
  }
  ConnectAudioBranch();
  return true;
}

void TImpl::ConnectAudioBranch() {
  if (audioNode >= 0 && (vc.CaptureAudio || vc.renderAudio_)) {
    const TPinRef audioOut = graph->FindPin(audioNode, TPinDir::Output, TPinCategory::None, TMajorType::Audio);
    // A camcorder's graph has an Inf Tee of its own already.
    const int tee = graph->AddFilter(TNodeKind::InfTee, graph->FindNode("Inf Tee") < 0 ? "Inf Tee" : "Inf Tee 0001");
    if (!vc.Report(graph->Connect(audioOut, graph->FindPin(tee, TPinDir::Input, TPinCategory::None, TMajorType::Any)),
                   rl_Error, "cannot capture audio stream", 90))
      return;
    TPinRef teeOut = graph->FindPin(tee, TPinDir::Output, TPinCategory::None, TMajorType::Any, true);
    TPinRef toMux = graph->FindPin(muxNode, TPinDir::Input, TPinCategory::None, TMajorType::Any, true);
    if (audioCompressorNode >= 0) {
      graph->Connect(teeOut, graph->FindPin(audioCompressorNode, TPinDir::Input, TPinCategory::None, TMajorType::Audio));
      teeOut = graph->FindPin(audioCompressorNode, TPinDir::Output, TPinCategory::None, TMajorType::Audio);
    }
    graph->Connect(teeOut, toMux);
    if (vc.renderAudio_)
      AddAudioRenderer(graph->FindPin(tee, TPinDir::Output, TPinCategory::None, TMajorType::Any, true), rl_Warning);
  }
}

bool TImpl::AddAudioRenderer(TPinRef out, TReportLevel level) {
  std::string why;
  const engine::TAudioSource* sound = graph->AudioStream();
  auto device = sound ? engine::TAudioRenderer::Open(sound->Format(), why) : nullptr;
  const int renderer = graph->AddFilter(TNodeKind::AudioRenderer, "Audio Renderer");
  if (device && graph->Connect(out, graph->FindPin(renderer, TPinDir::Input, TPinCategory::None, TMajorType::Audio))) {
    graph->SetConsumer(renderer, device);
    return true;
  }
  graph->RemoveFilter(renderer);
  return vc.Report(false, level, "cannot render audio", 52);
}

void TImpl::RemoveAudioRenderer() {
  const int renderer = graph->FindNode(TNodeKind::AudioRenderer);
  if (renderer >= 0) graph->RemoveFilter(renderer);
}

void TImpl::UndoGrabberPlacement(const std::vector<std::string>& added) {
  for (const auto& name : added) graph->RemoveFilter(graph->FindNode(name));
}

bool TImpl::PlaceGrabberAtRenderer() {
  const TPinRef rendererIn = graph->FindPin(rendererNode, TPinDir::Input, TPinCategory::None, TMajorType::Video);
  const TPinRef feeder = graph->ConnectedTo(rendererIn);
  if (!feeder.Valid()) return false;
  graph->Disconnect(rendererIn);
  const TPinRef grabberIn = graph->FindPin(grabberNode, TPinDir::Input, TPinCategory::None, TMajorType::Video);
  const TPinRef grabberOut = graph->FindPin(grabberNode, TPinDir::Output, TPinCategory::None, TMajorType::Video);
  std::vector<std::string> added;
  bool ok = graph->Connect(feeder, grabberIn);
  if (!ok) {
    // The grabber takes RGB24 only; a decoder turns the device's format into it.
    const int decoder = graph->AddFilter(TNodeKind::Decoder, "AVI Dec Grab");
    added.push_back("AVI Dec Grab");
    ok = graph->Connect(feeder, graph->FindPin(decoder, TPinDir::Input, TPinCategory::None, TMajorType::Video)) &&
         graph->Connect(graph->FindPin(decoder, TPinDir::Output, TPinCategory::None, TMajorType::Video), grabberIn);
  }
  ok = ok && graph->Connect(grabberOut, rendererIn);
  if (!ok) {
    graph->DisconnectAll(grabberNode);
    UndoGrabberPlacement(added);
    graph->Connect(feeder, rendererIn);
  }
  return ok;
}

bool TImpl::PlaceGrabberOnCaptureStream() {
  const TPinRef muxIn = graph->FindPin(muxNode, TPinDir::Input, TPinCategory::None, TMajorType::Video);
  TPinRef feeder = graph->ConnectedTo(muxIn);
  if (!feeder.Valid()) {
    // In preview nothing feeds the multiplexer; the capture stream is the
    // source's capture output (or the tee's).
    const int tee = graph->FindNode("Smart Tee");
    feeder = tee >= 0 ? graph->FindPin(tee, TPinDir::Output, TPinCategory::Capture, TMajorType::Video, true)
                      : graph->FindPin(sourceNode, TPinDir::Output, TPinCategory::Capture, TMajorType::Video, true);
  }
  if (!feeder.Valid()) return false;
  const bool fedMux = graph->ConnectedTo(feeder).Valid();
  if (fedMux) graph->Disconnect(feeder);
  std::vector<std::string> added{"Smart Grabber", "NRenderer"};
  const int tee = graph->AddFilter(TNodeKind::SmartTee, "Smart Grabber");
  const int sink = graph->AddFilter(TNodeKind::NullRenderer, "NRenderer");
  const TPinRef grabberIn = graph->FindPin(grabberNode, TPinDir::Input, TPinCategory::None, TMajorType::Video);
  bool ok = graph->Connect(feeder, graph->FindPin(tee, TPinDir::Input, TPinCategory::None, TMajorType::Video));
  const TPinRef toGrabber = graph->FindPin(tee, TPinDir::Output, TPinCategory::Preview, TMajorType::Video);
  if (ok && !graph->Connect(toGrabber, grabberIn)) {
    const int decoder = graph->AddFilter(TNodeKind::Decoder, "AVI Dec Grab");
    added.push_back("AVI Dec Grab");
    ok = graph->Connect(toGrabber, graph->FindPin(decoder, TPinDir::Input, TPinCategory::None, TMajorType::Video)) &&
         graph->Connect(graph->FindPin(decoder, TPinDir::Output, TPinCategory::None, TMajorType::Video), grabberIn);
  }
  ok = ok && graph->Connect(graph->FindPin(grabberNode, TPinDir::Output, TPinCategory::None, TMajorType::Video),
                            graph->FindPin(sink, TPinDir::Input, TPinCategory::None, TMajorType::Any));
  if (ok && fedMux)
    graph->Connect(graph->FindPin(tee, TPinDir::Output, TPinCategory::Capture, TMajorType::Video), muxIn);
  if (!ok) {
    graph->DisconnectAll(grabberNode);
    UndoGrabberPlacement(added);
    if (fedMux) graph->Connect(feeder, muxIn);
  }
  return ok;
}

bool TImpl::SpliceDeinterlacer(TPinRef in, const std::string& name) {
  const TPinRef feeder = graph->ConnectedTo(in);
  if (!feeder.Valid()) return false;
  const int node = graph->AddFilter(TNodeKind::Deinterlacer, name);
  graph->Disconnect(in);
  if (graph->Connect(feeder, graph->FindPin(node, TPinDir::Input, TPinCategory::None, TMajorType::Video)) &&
      graph->Connect(graph->FindPin(node, TPinDir::Output, TPinCategory::None, TMajorType::Video), in)) {
    graph->SetFilter(node, std::make_shared<engine::TDeinterlaceFilter>());
    return true;
  }
  graph->RemoveFilter(node);
  graph->Connect(feeder, in);
  return false;
}

void TImpl::InsertDeinterlacers() {
  // Only for the pictures a camcorder's split stream (type 2) decodes.
  if (!sourceIsDV || vc.dvCaptureMode_ != dv_CaptureType2) return;
  const TStreamType wanted = vc.UseDeinterlacerFilter;
  // In front of the renderer, so that the grabber takes the same pictures.
  if (wanted == st_Preview || wanted == st_Both)
    SpliceDeinterlacer(graph->FindPin(rendererNode, TPinDir::Input, TPinCategory::None, TMajorType::Video),
                       "DeinterlacePrer Filter");
  // Before the compressor: it would keep the combing of the fields otherwise.
  if ((wanted == st_Capture || wanted == st_Both) && vc.currentState_ == cs_Capture)
    SpliceDeinterlacer(graph->FindPin(videoCompressorNode >= 0 ? videoCompressorNode : muxNode, TPinDir::Input,
                                      TPinCategory::None, TMajorType::Video),
                       "DeinterlaceCapr Filter");
}

bool TImpl::InsertGrabber() {
  grabberNode = graph->AddFilter(TNodeKind::SampleGrabber, "Sample Grabber");
  graph->SetGrabberSubType(grabberNode, engine::kRgb24);
  vc.Report(true, rl_Log, "SAMPLEGRABBER set media type", 58);
  bool placed;
  if (sourceIsDV && vc.dvCaptureMode_ == dv_CaptureType1) placed = PlaceGrabberAtRenderer();
  else if (hasVideoPort) placed = PlaceGrabberOnCaptureStream();
  else if (vc.frameGrabberOnCaptureStream_) placed = PlaceGrabberOnCaptureStream() || PlaceGrabberAtRenderer();
  else placed = PlaceGrabberAtRenderer() || PlaceGrabberOnCaptureStream();
  if (!placed) {
    graph->RemoveFilter(grabberNode);
    grabberNode = -1;
    grabberCB->SetConnectedType({});
    return false;
  }
  graph->SetConsumer(grabberNode, grabberCB);
  const TPinRef out = graph->FindPin(grabberNode, TPinDir::Output, TPinCategory::None, TMajorType::Video);
  grabberCB->SetConnectedType(graph->OutputFormat(out));
  return grabberCB->FormatKind() != 0;
}

bool TImpl::AttachVideoWindow() {
  vc.videoWidth_ = appliedWidth;
  vc.videoHeight_ = appliedHeight;
  if (!hasVideoPort) {
    const TPinRef rendererIn = graph->FindPin(rendererNode, TPinDir::Input, TPinCategory::None, TMajorType::Video);
    const engine::TVideoFormat native = graph->OutputFormat(graph->ConnectedTo(rendererIn));
    if (!vc.Report(native.width > 0 && native.height > 0, rl_Error, "get basic video", 24)) return false;
    vc.videoWidth_ = native.width;
    vc.videoHeight_ = native.height;
  }
  vc.aspectRatio_ = vc.videoWidth_ > 0 ? static_cast<double>(vc.videoHeight_) / vc.videoWidth_ : 0;
  vc.Report(true, rl_Log, "get video window interface", 28);
  vc.videoWindow_->Clear();
  // Until a layout places it, a new window shows the video at its own size
  // at the panel's inner corner.
  const QRect inner = vc.contentsRect();
  if (!vc.videoWindow_->FullScreen())
    vc.videoWindow_->setGeometry(inner.left(), inner.top(), vc.videoWidth_, vc.videoHeight_);
  vc.videoWindow_->show();
  if (vc.fullScreenPreview_) vc.videoWindow_->SetFullScreen(true);
  return true;
}

bool TImpl::ConnectEvents() {
  std::weak_ptr<platform::MessageTarget> target = vc.window_;
  graph->SetEventNotify([target] {
    platform::PostToMainThread([target] {
      if (auto t = target.lock()) t->Send(TVideoCapture::kGraphNotify);
    });
  });
  vc.Report(true, rl_Log, "get Event ex interface", 25);
  vc.Report(true, rl_Log, "get control interface", 68);
  vc.Report(source->DroppedFrames() != nullptr, rl_Log, "find dropped frames interface", 31);
  return true;
}

bool TImpl::Start() {
  const bool ok = GraphControl(2);
  if (!ok) {
    vc.Report(false, rl_Error, vc.currentState_ == cs_Capture ? "cannot start capture" : "cannot render graph",
              vc.currentState_ == cs_Capture ? 84 : 87);
    return false;
  }
  if (vc.currentState_ == cs_Capture && vc.OnCaptureReadyToStart) {
    if (vc.OnCaptureProgress) vc.OnCaptureProgress(&vc, -1.0, -1, -1);
    bool okToStart = true;
    {
      TVideoCapture::CursorLift lift(vc);
      vc.OnCaptureReadyToStart(&vc, okToStart);
    }
    if (!okToStart) return false;
  }
  if (mux && !CommitCaptureFile()) return false;
  if (mux) mux->Release();
  startTime = platform::TickCount();
  deliveredFrames = 0;
  haveDroppedCounters = false;
  droppedBase = notDroppedBase = 0;
  if (engine::TDroppedFrames* counters = source->DroppedFrames())
    haveDroppedCounters = counters->GetNumDropped(droppedBase) && counters->GetNumNotDropped(notDroppedBase);
  return true;
}

bool TImpl::RunGraph() {
  if (RunGraphSteps()) return true;
  if (vc.currentState_ != cs_Capture) {
    DestroyGraph();
    return false;
  }
  // A capture that cannot start leaves no file behind and falls back to
  // where the component was.
  AbandonCaptureFile();
  vc.currentState_ = vc.wantedState_;
  return StartGraph(false);
}

bool TImpl::RunGraphSteps() {
  frameGrabberReady = false;
  if (!source) return false;
  ApplyFrameRate();
  ApplySizeAndSubType();
  if (streamConfigRequested) {
    streamConfigRequested = false;
    engine::TVideoFormat chosen;
    if (PropertyFrames().ShowStreamConfig(&vc, *source, chosen)) {
      vc.Report(source->SetFormat(chosen), rl_Error, "set video size", 63);
      ReadBackFormat();
    }
  }
  if (!BindCompressors()) return false;
  const bool capturing = vc.currentState_ == cs_Capture;
  if (capturing && !PrepareCaptureFile()) return false;
  muxNode = graph->AddFilter(TNodeKind::Multiplexer, "AVI Mux");
  if (!vc.Report(muxNode >= 0 && (!capturing || OpenCaptureWriter()), rl_Error, "set output file name", 62))
    return false;
  if (!(sourceIsDV ? DvRender() : AnalogRender())) return false;
  if (!vc.renderAudio_) RemoveAudioRenderer();
  InsertDeinterlacers();
  const bool grabberInserted = vc.frameGrabberEnabled_ && InsertGrabber();
  if (!AttachVideoWindow()) return false;
  // Handlers may shut the graph down; each one is followed by a look.
  if (videoDeviceChanged) {
    videoDeviceChanged = false;
    if (vc.OnChangeVideoDevice) vc.OnChangeVideoDevice(&vc);
  }
  if (audioDeviceChanged && graph) {
    audioDeviceChanged = false;
    if (vc.OnChangeAudioDevice) vc.OnChangeAudioDevice(&vc);
  }
  // Without AutoSize the application lays the panel out itself.
  if (graph && vc.autoSize_) vc.LayoutVideoWindow();
  if (!graph || !source) return false;
  ConnectEvents();
  if (vc.currentState_ == cs_Capture) {
    ConfigureMux();
  } else {
    // A preview writes no file.
    graph->RemoveDownstream(muxNode);
    muxNode = -1;
  }
  if (!Start()) return false;
  graphRunning = true;
  const int build = builds;
  if (vc.currentState_ == cs_Capture && vc.OnCaptureStarted) vc.OnCaptureStarted(&vc);
  if (vc.currentState_ == cs_Preview && vc.OnPreviewStarted) vc.OnPreviewStarted(&vc);
  // Grabs are taken from here on, unless a handler replaced the graph.
  if (grabberInserted && graph && builds == build) frameGrabberReady = true;
  return true;
}

bool TImpl::GraphControl(int mode) {
  controlMode = mode;
  if (!graph) return false;
  switch (mode) {
    case 0:
      graph->Stop();
      // A frame taken just before the stop would never be delivered and
      // would block every later grab.
      grabberCB->ReleaseFrame();
      return true;
    case 1: return graph->Pause();
    default: return graph->Run();
  }
}

bool TImpl::WithStreamStopped(const std::function<bool()>& change) {
  TVideoCapture::BusyScope busy(vc);
  const bool running = graphRunning && controlMode == 2;
  if (running) GraphControl(0);
  const bool ok = change();
  if (running) GraphControl(2);
  return ok;
}

// ---------------------------------------------------------------- destroy

void TImpl::DestroyGraph() {
  frameGrabberReady = false;
  graphRunning = false;
  playerProgress = false;
  // The streaming thread is joined here, before anything it uses goes.
  GraphControl(0);
  CloseCaptureWriter();
  if (seeking) {
    seeking = nullptr;
    mediaDuration = 0;
    if (vc.currentState_ == cs_Player) vc.currentState_ = vc.wantedState_;
    if (vc.OnPlayerProgress) vc.OnPlayerProgress(&vc, 0);
  }
  grabberCB->Reset();
  grabberCB->SetConnectedType({});
  vc.videoWidth_ = vc.videoHeight_ = 0;
  appliedWidth = appliedHeight = 0;
  if (graph) graph->SetEventNotify(nullptr);
  if (vc.videoWindow_) {
    vc.videoWindow_->SetFullScreen(false);
    vc.videoWindow_->hide();
  }
  graph.reset();
  source = nullptr;
  record = nullptr;
  sourceNode = audioNode = rendererNode = grabberNode = muxNode = -1;
  videoCompressorNode = audioCompressorNode = -1;
  hasPreviewBranch = compressorInserted = haveProcAmp = false;
  eventPending = deviceLost = endOfStream = diskFull = false;
  if (!vc.destroying_) platform::ProcessMessages();
}

// ---------------------------------------------------------------- events

void TImpl::GraphNotify() {
  if (!graph && !writeFailed) return;
  engine::TGraphEventCode code;
  while (graph && graph->GetEvent(code)) {
    switch (code) {
      case engine::TGraphEventCode::Complete:
        if (vc.currentState_ == cs_Player) {
          endReached = true;
          // No frame follows at the end: a grab must not run the player for one.
          frameShown = false;
          if (controlMode == 2) GraphControl(1);
          endOfStream = eventPending = true;
        }
        break;
      case engine::TGraphEventCode::VideoSizeChanged: vc.LayoutVideoWindow(); break;
      case engine::TGraphEventCode::Paused:
        if ((vc.currentState_ == cs_Capture || vc.currentState_ == cs_Compress) && CaptureDiskLow())
          diskFull = eventPending = true;
        break;
      case engine::TGraphEventCode::DeviceLost: deviceLost = eventPending = true; break;
    }
  }
  if (writeFailed.exchange(false) && vc.currentState_ == cs_Capture) diskFull = eventPending = true;
}

// ---------------------------------------------------------------- dialogs

bool TImpl::IsDialogAvailable(TDialog dialog) {
  if (!source) return false;
  switch (dialog) {
    case dlg_Device: return PropertyFrames().HasDevicePages(*source);
    case dlg_StreamConfig: return source->CapabilityCount() > 0;
    default: return OwnPageAvailable(dialog);
  }
}

void TImpl::ShowDialog(TDialog dialog) {
  if (!IsDialogAvailable(dialog)) return;
  if (dialog != dlg_Device && dialog != dlg_StreamConfig) {
    ShowOwnPage(dialog);
    return;
  }
  if (dialog == dlg_StreamConfig) {
    // The format can only change before the pins connect: rebuild, and let
    // the run show the dialog at that point.
    streamConfigRequested = true;
    StartGraph(false);
    streamConfigRequested = false;
    return;
  }
  if (record && record->IsWDM) {
    PropertyFrames().ShowDevicePages(&vc, *source);
    return;
  }
  TVideoCapture::BusyScope busy(vc);
  DestroyGraph();
  if (!BuildGraph()) {
    DestroyGraph();
    return;
  }
  PropertyFrames().ShowDevicePages(&vc, *source);
  if (!RunGraph()) DestroyGraph();
}
