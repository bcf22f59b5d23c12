#include "videocapture/engine/CaptureGraph.h"

#include <algorithm>

namespace videocapture::engine {

namespace {

// Deep enough for any graph the component builds; a loop cannot hang a walk.
constexpr int kMaxDepth = 32;

const char* KindOutputName(TNodeKind kind) {
  switch (kind) {
    case TNodeKind::SmartTee: return "Capture";
    default: return "Output";
  }
}

}  // namespace

TCaptureGraph::TCaptureGraph() = default;

TCaptureGraph::~TCaptureGraph() { Stop(); }

std::vector<TCaptureGraph::Pin> TCaptureGraph::PinsOf(TNodeKind kind) const {
  using D = TPinDir;
  using C = TPinCategory;
  using M = TMajorType;
  switch (kind) {
    case TNodeKind::VideoSource:
    case TNodeKind::AudioSource:
      return {};  // made from the source's own pin facts
    case TNodeKind::SmartTee:
      return {{"Input", D::Input, C::None, M::Video, {}},
              {"Capture", D::Output, C::Capture, M::Video, {}},
              {"Preview", D::Output, C::Preview, M::Video, {}}};
    case TNodeKind::InfTee:
      return {{"Input", D::Input, C::None, M::Any, {}},
              {"Output1", D::Output, C::None, M::Any, {}},
              {"Output2", D::Output, C::None, M::Any, {}},
              {"Output3", D::Output, C::None, M::Any, {}}};
    case TNodeKind::VideoRenderer: return {{"Input", D::Input, C::None, M::Video, {}}};
    case TNodeKind::AudioRenderer: return {{"Audio Input pin", D::Input, C::None, M::Audio, {}}};
    case TNodeKind::NullRenderer: return {{"In", D::Input, C::None, M::Any, {}}};
    case TNodeKind::SampleGrabber:
    case TNodeKind::Decoder:
    case TNodeKind::VideoCompressor:
    case TNodeKind::Deinterlacer:
      return {{"Input", D::Input, C::None, M::Video, {}}, {KindOutputName(kind), D::Output, C::None, M::Video, {}}};
    case TNodeKind::AudioCompressor:
      return {{"Input", D::Input, C::None, M::Audio, {}}, {"Output", D::Output, C::None, M::Audio, {}}};
    case TNodeKind::DvSplitter:
      return {{"Input", D::Input, C::None, M::Interleaved, {}},
              {"DVVidOut0", D::Output, C::None, M::Video, {}},
              {"AudOut00", D::Output, C::None, M::Audio, {}}};
    case TNodeKind::Multiplexer:
      return {{"Input 01", D::Input, C::None, M::Any, {}},
              {"Input 02", D::Input, C::None, M::Any, {}},
              {"AVI Out", D::Output, C::None, M::Any, {}}};
  }
  return {};
}

int TCaptureGraph::AddVideoSource(std::unique_ptr<TCaptureSource> source, const std::string& name) {
  if (source_ || FindNode(name) >= 0) return -1;
  Node node{name, TNodeKind::VideoSource, false, {}, 0, nullptr, nullptr};
  const TPinFacts facts = source->Pins();
  using D = TPinDir;
  using C = TPinCategory;
  using M = TMajorType;
  node.pins.push_back({"Capture", D::Output, C::Capture, M::Video, {}});
  if (facts.preview) node.pins.push_back({"Preview", D::Output, C::Preview, M::Video, {}});
  if (facts.videoPort) node.pins.push_back({"VP", D::Output, C::VideoPort, M::Video, {}});
  if (facts.interleaved) node.pins.push_back({"DV A/V Out", D::Output, C::Interleaved, M::Interleaved, {}});
  if (facts.audio) node.pins.push_back({"Audio", D::Output, C::Capture, M::Audio, {}});
  if (facts.analogVideoIn) node.pins.push_back({"Analog Video In", D::Input, C::AnalogVideoIn, M::Video, {}});
  source_ = std::move(source);
  nodes_.push_back(std::move(node));
  sourceNode_ = static_cast<int>(nodes_.size()) - 1;
  return sourceNode_;
}

int TCaptureGraph::AddFilter(TNodeKind kind, const std::string& name) {
  if (FindNode(name) >= 0) return -1;
  Node node{name, kind, false, PinsOf(kind), 0, nullptr, nullptr};
  if (kind == TNodeKind::AudioSource)
    node.pins.push_back({"Capture", TPinDir::Output, TPinCategory::Capture, TMajorType::Audio, {}});
  nodes_.push_back(std::move(node));
  return static_cast<int>(nodes_.size()) - 1;
}

void TCaptureGraph::SetAudioStream(int node, std::unique_ptr<TAudioSource> stream) {
  if (streaming_ || node < 0 || node >= static_cast<int>(nodes_.size())) return;
  audio_ = std::move(stream);
  audioNode_ = node;
}

void TCaptureGraph::DisconnectAll(int node) {
  if (node < 0 || node >= static_cast<int>(nodes_.size())) return;
  for (int p = 0; p < static_cast<int>(nodes_[node].pins.size()); ++p) Disconnect({node, p});
}

void TCaptureGraph::RemoveFilter(int node) {
  if (node < 0 || node >= static_cast<int>(nodes_.size()) || nodes_[node].removed) return;
  DisconnectAll(node);
  nodes_[node].removed = true;
  nodes_[node].consumer.reset();
  nodes_[node].filter.reset();
  if (node == sourceNode_) {
    Stop();
    source_.reset();
    sourceNode_ = -1;
  }
  if (node == audioNode_) {
    Stop();
    audio_.reset();
    audioNode_ = -1;
  }
}

void TCaptureGraph::RemoveDownstream(int node) {
  if (node < 0 || node >= static_cast<int>(nodes_.size()) || nodes_[node].removed) return;
  std::vector<int> fed;
  for (const auto& pin : nodes_[node].pins)
    if (pin.dir == TPinDir::Output && pin.peer.Valid()) fed.push_back(pin.peer.node);
  RemoveFilter(node);
  for (int next : fed) {
    bool otherFeed = false;
    for (const auto& pin : nodes_[next].pins)
      if (pin.dir == TPinDir::Input && pin.peer.Valid()) otherFeed = true;
    if (!otherFeed) RemoveDownstream(next);
  }
}

int TCaptureGraph::FindNode(const std::string& name) const {
  for (int i = 0; i < static_cast<int>(nodes_.size()); ++i)
    if (!nodes_[i].removed && nodes_[i].name == name) return i;
  return -1;
}

int TCaptureGraph::FindNode(TNodeKind kind) const {
  for (int i = 0; i < static_cast<int>(nodes_.size()); ++i)
    if (!nodes_[i].removed && nodes_[i].kind == kind) return i;
  return -1;
}

TNodeKind TCaptureGraph::Kind(int node) const { return nodes_.at(node).kind; }
std::string TCaptureGraph::Name(int node) const { return nodes_.at(node).name; }

std::vector<std::string> TCaptureGraph::NodeNames() const {
  std::vector<std::string> names;
  for (const auto& n : nodes_)
    if (!n.removed) names.push_back(n.name);
  return names;
}

std::vector<std::string> TCaptureGraph::Links() const {
  std::vector<std::string> links;
  for (const auto& n : nodes_) {
    if (n.removed) continue;
    for (const auto& pin : n.pins)
      if (pin.dir == TPinDir::Output && pin.peer.Valid())
        links.push_back(n.name + "." + pin.name + " -> " + nodes_[pin.peer.node].name + "." +
                        nodes_[pin.peer.node].pins[pin.peer.pin].name);
  }
  return links;
}

TPinRef TCaptureGraph::FindPin(int node, TPinDir dir, TPinCategory category, TMajorType major,
                               bool unconnectedOnly) const {
  if (node < 0 || node >= static_cast<int>(nodes_.size()) || nodes_[node].removed) return {};
  const auto& pins = nodes_[node].pins;
  for (int p = 0; p < static_cast<int>(pins.size()); ++p) {
    const Pin& pin = pins[p];
    if (pin.dir != dir) continue;
    if (category != TPinCategory::None && pin.category != category) continue;
    if (major != TMajorType::Any && pin.major != TMajorType::Any && pin.major != major) continue;
    if (unconnectedOnly && pin.peer.Valid()) continue;
    return {node, p};
  }
  return {};
}

TVideoFormat TCaptureGraph::OutputFormat(TPinRef out) const {
  TVideoFormat format;
  if (!out.Valid() || !source_) return format;
  const Node& node = nodes_[out.node];
  if (node.pins[out.pin].major == TMajorType::Audio) return format;
  if (out.node == sourceNode_) {
    source_->GetFormat(format);
    return format;
  }
  // Filters pass the format of their input on, the decoder as RGB24.
  TPinRef in = FindPin(out.node, TPinDir::Input, TPinCategory::None, TMajorType::Any);
  TPinRef feeder = in.Valid() ? node.pins[in.pin].peer : TPinRef{};
  if (!feeder.Valid()) return format;
  format = OutputFormat(feeder);
  if (node.filter) return node.filter->Output(format);
  if (node.kind == TNodeKind::Decoder && format.subtype != 0) format.subtype = kRgb24;
  return format;
}

bool TCaptureGraph::Accepts(const Node& node, const Pin& in, TVideoFormat offered) const {
  if (node.kind == TNodeKind::SampleGrabber && node.grabberSubType != 0) return offered.subtype == node.grabberSubType;
  (void)in;
  return true;
}

bool TCaptureGraph::Connect(TPinRef out, TPinRef in) {
  if (streaming_ || !out.Valid() || !in.Valid() || out.node == in.node) return false;
  Pin& from = nodes_[out.node].pins[out.pin];
  Pin& to = nodes_[in.node].pins[in.pin];
  if (from.dir != TPinDir::Output || to.dir != TPinDir::Input || from.peer.Valid() || to.peer.Valid()) return false;
  const bool audioOut = from.major == TMajorType::Audio;
  const bool audioIn = to.major == TMajorType::Audio;
  if (to.major != TMajorType::Any && from.major != TMajorType::Any && audioOut != audioIn) return false;
  if (!audioOut && !Accepts(nodes_[in.node], to, OutputFormat(out))) return false;
  from.peer = in;
  to.peer = out;
  return true;
}

void TCaptureGraph::Disconnect(TPinRef pin) {
  if (!pin.Valid() || streaming_) return;
  Pin& p = nodes_[pin.node].pins[pin.pin];
  if (p.peer.Valid()) nodes_[p.peer.node].pins[p.peer.pin].peer = {};
  p.peer = {};
}

TPinRef TCaptureGraph::ConnectedTo(TPinRef pin) const {
  if (!pin.Valid()) return {};
  return nodes_[pin.node].pins[pin.pin].peer;
}

void TCaptureGraph::SetGrabberSubType(int node, TSubType subtype) { nodes_.at(node).grabberSubType = subtype; }

void TCaptureGraph::SetConsumer(int node, std::shared_ptr<TFrameConsumer> consumer) {
  nodes_.at(node).consumer = std::move(consumer);
}

void TCaptureGraph::SetFilter(int node, std::shared_ptr<TFrameFilter> filter) {
  nodes_.at(node).filter = std::move(filter);
}

TCaptureSource* TCaptureGraph::Source() const { return source_.get(); }

void TCaptureGraph::CollectConsumers(int node, std::vector<std::shared_ptr<TFrameConsumer>>& out, int depth,
                                     bool audio) const {
  if (depth > kMaxDepth) return;
  const Node& n = nodes_[node];
  if (n.consumer && std::find(out.begin(), out.end(), n.consumer) == out.end()) out.push_back(n.consumer);
  for (const auto& pin : n.pins)
    if (pin.dir == TPinDir::Output && (audio ? pin.major != TMajorType::Video : pin.major != TMajorType::Audio) &&
        pin.peer.Valid())
      CollectConsumers(pin.peer.node, out, depth + 1, audio);
}

void TCaptureGraph::CollectStops(int node, std::vector<Delivery>& out,
                                 std::vector<std::shared_ptr<TFrameFilter>>& path, int depth) const {
  if (depth > kMaxDepth) return;
  const Node& n = nodes_[node];
  if (n.filter) path.push_back(n.filter);
  const bool listed = std::any_of(out.begin(), out.end(), [&](const Delivery& s) { return s.consumer == n.consumer; });
  if (n.consumer && !listed) out.push_back({n.consumer, path});
  for (const auto& pin : n.pins)
    if (pin.dir == TPinDir::Output && pin.major != TMajorType::Audio && pin.peer.Valid())
      CollectStops(pin.peer.node, out, path, depth + 1);
  if (n.filter) path.pop_back();
}

void TCaptureGraph::Deliver(const TFrame& frame) {
  if (state_.load() != TGraphState::Running && !frame.still) return;
  // Consumers behind the same filter share what it made of the frame: each
  // filter sits at one place in the tree, so its input is the same for all.
  filtered_.clear();
  for (const Delivery& stop : route_) {
    const TFrame* f = &frame;
    for (const auto& filter : stop.filters) {
      auto done =
          std::find_if(filtered_.begin(), filtered_.end(), [&](const auto& d) { return d.first == filter.get(); });
      if (done == filtered_.end()) done = filtered_.insert(filtered_.end(), {filter.get(), filter->Filter(*f)});
      f = done->second;
      if (!f) break;
    }
    if (f) stop.consumer->Receive(*f);
  }
}

void TCaptureGraph::DeliverAudio(const TAudioBlock& block) {
  if (state_.load() != TGraphState::Running) return;
  for (const auto& consumer : audioRoute_) consumer->ReceiveAudio(block);
}

// The streams start in the state asked for: a file opened paused must not
// play a moment of picture and sound before the pause reaches it.
bool TCaptureGraph::StartStreaming(TGraphState state) {
  route_.clear();
  std::vector<std::shared_ptr<TFrameFilter>> path;
  CollectStops(sourceNode_, route_, path, 0);
  state_ = state;
  if (!source_->Start([this](const TFrame& f) { Deliver(f); }, [this](TGraphEventCode c) { PushEvent(c); })) {
    state_ = TGraphState::Stopped;
    route_.clear();
    return false;
  }
  streaming_ = true;
  // A sound input that fails leaves the video running without sound.
  audioRoute_.clear();
  if (audio_) {
    CollectConsumers(audioNode_, audioRoute_, 0, true);
    audioStreaming_ = audio_->Start([this](const TAudioBlock& b) { DeliverAudio(b); });
  }
  return true;
}

bool TCaptureGraph::Run() {
  if (!source_) return false;
  if (!streaming_ && !StartStreaming(TGraphState::Running)) return false;
  state_ = TGraphState::Running;
  if (TMediaSeeking* seeking = source_->Seeking()) seeking->SetRunning(true);
  return true;
}

bool TCaptureGraph::Pause() {
  if (!source_) return false;
  // Paused means ready to flow: the device streams, nothing is delivered.
  if (!streaming_ && !StartStreaming(TGraphState::Paused)) return false;
  state_ = TGraphState::Paused;
  if (TMediaSeeking* seeking = source_->Seeking()) seeking->SetRunning(false);
  PushEvent(TGraphEventCode::Paused);
  return true;
}

void TCaptureGraph::Stop() {
  state_ = TGraphState::Stopped;
  if (audioStreaming_ && audio_) audio_->Stop();
  audioStreaming_ = false;
  if (streaming_ && source_) source_->Stop();
  streaming_ = false;
  route_.clear();
  audioRoute_.clear();
}

void TCaptureGraph::SetEventNotify(std::function<void()> notify) {
  std::lock_guard lock(eventMutex_);
  notify_ = std::move(notify);
}

void TCaptureGraph::PushEvent(TGraphEventCode code) {
  std::function<void()> notify;
  {
    std::lock_guard lock(eventMutex_);
    events_.push_back(code);
    notify = notify_;
  }
  if (notify) notify();
}

bool TCaptureGraph::GetEvent(TGraphEventCode& code) {
  std::lock_guard lock(eventMutex_);
  if (events_.empty()) return false;
  code = events_.front();
  events_.pop_front();
  return true;
}

}  // namespace videocapture::engine
