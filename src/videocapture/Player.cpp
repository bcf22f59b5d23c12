// The file player: a graph that stands on a file source instead of a camera,
// with the grabber and the renderers of a preview, and the controls that run,
// pause, seek and skip through the file.

#include "platform/EventLoop.h"
#include "platform/FileNames.h"
#include "videocapture/CaptureImpl.h"
#include "videocapture/VideoWindow.h"
#include "videocapture/engine/CaptureSystem.h"
#include "videocapture/engine/FileSource.h"
#include "videocapture/engine/MediaFile.h"

namespace engine = videocapture::engine;
using engine::TMajorType;
using engine::TNodeKind;
using engine::TPinCategory;
using engine::TPinDir;

namespace {

constexpr double kUnits = static_cast<double>(engine::kUnitsPerSecond);

}  // namespace

void TImpl::OpenPlayer() {
  TVideoCapture::BusyScope busy(vc);
  if (!vc.StateCheck({cs_Down, cs_Preview, cs_Player})) return;
  const std::string name = vc.PlayerFileName;
  if (name.empty()) {
    vc.Report(false, rl_Error, "file name not specified", 18);
    return;
  }
  if (!platform::FileExists(name)) {
    vc.Report(false, rl_Error, "file not found: " + name, 19);
    if (vc.OnPlayerFileNotFound) vc.OnPlayerFileNotFound(&vc, name);
    return;
  }
  // A failed open leaves no file behind: the one played before is closed too.
  auto fail = [&] {
    vc.Report(false, rl_Error, "cannot play " + name, 10);
    DestroyGraph();
    mediaDuration = 0;
    vc.currentState_ = vc.wantedState_;
    StartGraph(false);
  };
  engine::TMediaInfo info;
  std::string why;
  if (!vc.Report(engine::ProbeMedia(name, info, why), rl_Error, "no media info available", 42)) return fail();
  if (!vc.Report(info.streams > 0, rl_Error, "no stream found", 43)) return fail();
  DestroyGraph();
  mediaDuration = info.videoSeconds;
  auto file = engine::OpenFileSource(name, engine::CaptureSystem().Clock(), why);
  if (!vc.Report(file != nullptr, rl_Log, "cannot render file", 10)) return fail();
  graph = std::make_unique<engine::TCaptureGraph>();
  sourceNode = graph->AddVideoSource(std::move(file), platform::ExtractFileName(name));
  source = graph->Source();
  seeking = source->Seeking();
  if (!vc.Report(seeking != nullptr, rl_Error, "find Media seeking", 27)) return fail();
  seeking->SetPosition(0);
  seeking->SetRate(vc.playerRate_);

  engine::TVideoFormat pictures;
  const bool video = source->GetFormat(pictures);
  if (video) {
    rendererNode = graph->AddFilter(TNodeKind::VideoRenderer, "Video Renderer");
    graph->SetConsumer(rendererNode, vc.videoWindow_->Sink());
    if (!graph->Connect(graph->FindPin(sourceNode, TPinDir::Output, TPinCategory::Capture, TMajorType::Video),
                        graph->FindPin(rendererNode, TPinDir::Input, TPinCategory::None, TMajorType::Video)))
      return fail();
  }
  // A file plays without its sound when there is no sound output, as a
  // file whose sound cannot be decoded does.
  if (auto sound = engine::OpenFileSound(*source)) {
    audioNode = graph->AddFilter(TNodeKind::AudioSource, "Audio");
    graph->SetAudioStream(audioNode, std::move(sound));
    if (!AddAudioRenderer(graph->FindPin(audioNode, TPinDir::Output, TPinCategory::None, TMajorType::Audio), rl_Log)) {
      graph->RemoveFilter(audioNode);
      audioNode = -1;
    }
  }
  // Sound alone has no picture to grab or show.
  const bool grabberInserted = video && InsertGrabber();
  if (video && !AttachVideoWindow()) return fail();
  vc.currentState_ = cs_Player;
  frameShown = endReached = ffAtEnd = false;
  if (vc.OnPlayerStarted) vc.OnPlayerStarted(&vc);
  if (!graph) return;
  ConnectEvents();
  if (!GraphControl(vc.PlayerAutoStart ? 2 : 1)) return fail();
  // Paused, the first picture shows.
  if (!vc.PlayerAutoStart) seeking->SetPosition(0);
  graphRunning = true;
  playerProgress = true;
  frameGrabberReady = grabberInserted;
}

void TImpl::RunPlayer() {
  if (!seeking || controlMode != 1) return;
  if (!frameShown || endReached) {
    endReached = false;
    seeking->SetPosition(0);
  }
  ffAtEnd = false;
  GraphControl(2);
}

void TImpl::PausePlayer() {
  if (seeking && controlMode == 2) GraphControl(1);
}

void TImpl::StopPlayer() {
  if (!seeking) return;
  GraphControl(1);
  seeking->SetPosition(0);
  endReached = ffAtEnd = false;
}

void TImpl::SkipPlayer(int percent, bool forward) {
  if (!seeking) return;
  if (percent < 0 || percent > 100) {
    vc.Report(false, rl_Error, "Percent range between 0,0 and 100,0", 40);
    return;
  }
  const engine::TRefTime duration = seeking->Duration();
  const engine::TRefTime step = duration * percent / 100;
  const engine::TRefTime now = seeking->Position();
  if (forward && now + step > duration) {
    seeking->SetPosition(duration);
    ffAtEnd = true;
    GraphControl(1);
    return;
  }
  seeking->SetPosition(forward ? now + step : std::max<engine::TRefTime>(0, now - step));
}

bool TImpl::SetPlayerPosition(double seconds) {
  ffAtEnd = false;
  return seeking && seconds >= 0 && seeking->SetPosition(static_cast<engine::TRefTime>(seconds * kUnits));
}

void TImpl::ClosePlayer() {
  vc.currentState_ = vc.wantedState_;
  StartGraph(false);
}

void TImpl::PlayerProgressTick() {
  if (vc.currentState_ == cs_Player && playerProgress && seeking && vc.OnPlayerProgress)
    vc.OnPlayerProgress(&vc, static_cast<double>(seeking->Position()) / kUnits);
}

bool TImpl::RunPlayerForGrab() {
  if (vc.currentState_ != cs_Player || !seeking || !frameShown || controlMode != 1) return false;
  grabberCB->Request(true);
  GraphControl(2);
  return true;
}

// ---------------------------------------------------------------- the component's controls

bool TVideoCapture::PlayerCheck() {
  if (currentState_ == cs_Player && impl_->seeking) return true;
  Report(false, rl_Log, "not playing", 46);
  return false;
}

void TVideoCapture::OpenPlayer() {
  if (!Queue(24)) impl_->OpenPlayer();
}

void TVideoCapture::RunPlayer() {
  if (!Queue(23) && PlayerCheck()) impl_->RunPlayer();
}

void TVideoCapture::PausePlayer() {
  if (!Queue(25) && PlayerCheck()) impl_->PausePlayer();
}

void TVideoCapture::StopPlayer() {
  if (!Queue(26) && PlayerCheck()) impl_->StopPlayer();
}

void TVideoCapture::FastForwardPlayer(int percent) {
  if (!Queue(27, percent) && PlayerCheck()) impl_->SkipPlayer(percent, true);
}

void TVideoCapture::FastReversePlayer(int percent) {
  if (!Queue(28, percent) && PlayerCheck()) impl_->SkipPlayer(percent, false);
}

void TVideoCapture::ClosePlayer() {
  if (Queue(29)) return;
  if (currentState_ != cs_Player) {
    Report(false, rl_Log, "already closed", 4);
    return;
  }
  impl_->ClosePlayer();
}

bool TVideoCapture::SetPlayerPosition(double seconds) { return PlayerCheck() && impl_->SetPlayerPosition(seconds); }

// A rate the file cannot play at is kept all the same; the file plays on as it did.
void TVideoCapture::SetPlayerRate(double rate) {
  if (rate == playerRate_) return;
  playerRate_ = rate;
  if (currentState_ == cs_Player && impl_->seeking) impl_->seeking->SetRate(rate);
}

double TVideoCapture::MediaDuration() const { return impl_->mediaDuration; }
