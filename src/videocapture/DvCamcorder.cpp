// DV camcorders: the tape transport and time code, the DV settings, and the
// two graphs of an interleaved DV stream. Type 1 keeps the stream whole for
// the capture file; type 2 splits it and decodes the video for the file.
// Preview decodes the video either way, with the sound to the renderer.

#include "videocapture/CaptureImpl.h"
#include "videocapture/TvCard.h"
#include "videocapture/VideoWindow.h"
#include "videocapture/engine/DvCodec.h"

namespace engine = videocapture::engine;
using engine::TMajorType;
using engine::TNodeKind;
using engine::TPinCategory;
using engine::TPinDir;
using engine::TPinRef;

namespace {

// In the order of TDVCommand.
constexpr engine::TTransportMode kTransportModes[] = {
    engine::tm_Play,           engine::tm_Stop,         engine::tm_Freeze,
    engine::tm_FastForward,    engine::tm_Rewind,       engine::tm_Record,
    engine::tm_RecordFreeze,   engine::tm_StepForward,  engine::tm_StepReverse,
    engine::tm_PlayFastestForward, engine::tm_PlaySlowestForward, engine::tm_PlayFastestReverse,
    engine::tm_PlaySlowestReverse,
};

// How much a display resolution shrinks the picture; the default is the whole.
int Divisor(TDVResolution resolution) {
  switch (resolution) {
    case dvr_Dc: return 8;
    case dvr_Quarter: return 4;
    case dvr_Half: return 2;
    default: return 1;
  }
}

}  // namespace

// ---------------------------------------------------------------- component

bool TVideoCapture::SendDVCommand(TDVCommand command) {
  engine::TTransport* transport = impl_->source ? impl_->source->Transport() : nullptr;
  const auto i = static_cast<std::size_t>(command);
  return transport && i < std::size(kTransportModes) && transport->SetMode(kTransportModes[i]);
}

bool TVideoCapture::GetTimeCodeReaderAvailable() const {
  return impl_->source && impl_->source->TimecodeReader() != nullptr;
}

template <typename T>
void TVideoCapture::SetDVParameter(int code, T& field, T value) {
  if ((code != 0 && Queue(code, static_cast<int>(value))) || value == field) return;
  field = value;
  if (!Ready() || !PreviewStateCheck()) return;
  if (!impl_->sourceIsDV) {
    Report(false, rl_Warning, "applies only to DV", 76);
    return;
  }
  if (RefreshPreviewOnParamChange) RestartGraph();
}

void TVideoCapture::SetDVCaptureMode(TDVCaptureMode mode) { SetDVParameter(8, dvCaptureMode_, mode); }
void TVideoCapture::SetDVPreviewResolution(TDVResolution r) { SetDVParameter(16, dvPreviewResolution_, r); }
void TVideoCapture::SetDVReduceFrameRate(bool on) { SetDVParameter(17, dvReduceFrameRate_, on); }
void TVideoCapture::SetDVUseExternalAudio(bool on) { SetDVParameter(18, dvUseExternalAudio_, on); }
void TVideoCapture::SetDVCaptureResolution(TDVResolution r) { SetDVParameter(0, dvCaptureResolution_, r); }

// ---------------------------------------------------------------- time code

void TImpl::TimeCodeTick() {
  engine::TTimecodeReader* reader = source ? source->TimecodeReader() : nullptr;
  if (!vc.OnTimeCodeReader || !reader) return;
  std::uint32_t bcd;
  const TTimeCode t = reader->TimeCode(bcd) ? DecodeTimeCode(bcd) : TTimeCode{};
  long track = 0;
  if (!reader->TrackNumber(track)) track = 0;
  vc.OnTimeCodeReader(&vc, static_cast<int>(track), t.hours, t.minutes, t.seconds, t.frames);
}

// ---------------------------------------------------------------- graphs

bool TImpl::CaptureSideFormat(engine::TVideoFormat& format) {
  if (!source->GetFormat(format)) return false;
  if (!sourceIsDV || vc.dvCaptureMode_ == dv_CaptureType1) return true;
  // What the capture splitter and decoder make of the stream.
  format = engine::MakeDvDecoder(Divisor(vc.dvCaptureResolution_))
               ->Output(engine::MakeDvSplitter(vc.dvReduceFrameRate_)->Output(format));
  return true;
}

void TImpl::BindDvSound() {
  // Type 1 sends its sound only to the renderer, from the preview side.
  if (vc.dvCaptureMode_ != dv_CaptureType2) return;
  graph->SetAudioStream(sourceNode, source->OpenSound());
}

bool TImpl::DvRender() {
  const TPinRef stream =
      graph->FindPin(sourceNode, TPinDir::Output, TPinCategory::Interleaved, TMajorType::Interleaved);
  if (!stream.Valid()) return false;
  const bool type1 = vc.dvCaptureMode_ == dv_CaptureType1;
  auto input = [&](int node) { return graph->FindPin(node, TPinDir::Input, TPinCategory::None, TMajorType::Any); };
  auto output = [&](int node, TMajorType major) {
    return graph->FindPin(node, TPinDir::Output, TPinCategory::None, major, true);
  };
  auto splitter = [&](const std::string& name) {
    const int node = graph->AddFilter(TNodeKind::DvSplitter, name);
    graph->SetFilter(node, engine::MakeDvSplitter(vc.dvReduceFrameRate_));
    return node;
  };
  auto decoder = [&](const std::string& name, TDVResolution resolution) {
    const int node = graph->AddFilter(TNodeKind::Decoder, name);
    graph->SetFilter(node, engine::MakeDvDecoder(Divisor(resolution)));
    return node;
  };

  // The root: a Smart Tee keeps the whole stream for the capture side; an
  // Inf Tee hands it to both splitters.
  const int tee = graph->AddFilter(type1 ? TNodeKind::SmartTee : TNodeKind::InfTee, type1 ? "Smart Tee" : "Inf Tee");
  if (!graph->Connect(stream, input(tee))) return false;
  TPinRef toPreview = type1 ? graph->FindPin(tee, TPinDir::Output, TPinCategory::Preview, TMajorType::Video)
                            : output(tee, TMajorType::Any);
  auto muxInput = [&] { return graph->FindPin(muxNode, TPinDir::Input, TPinCategory::None, TMajorType::Any, true); };
  if (type1) {
    graph->Connect(graph->FindPin(tee, TPinDir::Output, TPinCategory::Capture, TMajorType::Video), muxInput());
    hasPreviewBranch = true;
  } else {
    const int capture = splitter("DV Splitter Cap");
    const int codec = decoder("DV Codec Cap", vc.dvCaptureResolution_);
    if (!graph->Connect(toPreview, input(capture)) ||
        !graph->Connect(output(capture, TMajorType::Video), input(codec)))
      return false;
    toPreview = output(tee, TMajorType::Any);
    ConnectThroughCompressor(output(codec, TMajorType::Video));
    if (vc.CaptureAudio && audioNode < 0) {
      TPinRef sound = output(capture, TMajorType::Audio);
      if (audioCompressorNode >= 0) {
        graph->Connect(sound, input(audioCompressorNode));
        sound = output(audioCompressorNode, TMajorType::Audio);
      }
      graph->Connect(sound, muxInput());
    }
  }

  // The preview side.
  const int preview = splitter("DV Splitter");
  const int video = decoder("DV Video Decoder", vc.dvPreviewResolution_);
  rendererNode = graph->AddFilter(TNodeKind::VideoRenderer, "Video Renderer");
  graph->SetConsumer(rendererNode, vc.videoWindow_->Sink());
  if (!graph->Connect(toPreview, input(preview)) || !graph->Connect(output(preview, TMajorType::Video), input(video)) ||
      !graph->Connect(output(video, TMajorType::Video), input(rendererNode)))
    return false;
  // Type 1 plays the camcorder's own sound: a sound input bound for it
  // stays unconnected, and the stream goes into the file whole.
  if (audioNode >= 0 && !type1) {
    ConnectAudioBranch();
  } else if (vc.renderAudio_) {
    if (type1) graph->SetAudioStream(preview, source->OpenSound());
    AddAudioRenderer(output(preview, TMajorType::Audio), rl_Warning);
  }
  return true;
}
