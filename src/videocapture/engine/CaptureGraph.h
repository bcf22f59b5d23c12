#pragma once

// A capture graph: named nodes (the source, tees, the grabber, renderers, the
// multiplexer...) joined pin to pin, which the component builds by its rules
// and then runs. Running starts the source's streaming thread and hands every
// frame, in graph order, to the consumers reachable from the source; the
// topology stays on record so that the building rules can be checked.
//
// Building and running happen on the GUI thread. Consumers and the event
// notifier are called on the streaming thread.

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "videocapture/engine/AudioSource.h"
#include "videocapture/engine/CaptureDevice.h"

namespace videocapture::engine {

enum class TNodeKind {
  VideoSource,
  AudioSource,
  SmartTee,
  InfTee,
  VideoRenderer,
  AudioRenderer,
  SampleGrabber,
  Decoder,  // turns any video sub-type into RGB24
  NullRenderer,
  Multiplexer,
  VideoCompressor,
  AudioCompressor,
  Deinterlacer,
  DvSplitter,  // an interleaved DV stream into its video and its sound
};

enum class TPinDir { Input, Output };
enum class TPinCategory { None, Capture, Preview, VideoPort, Interleaved, AnalogVideoIn };
enum class TMajorType { Any, Video, Audio, Interleaved };

struct TPinRef {
  int node = -1;
  int pin = -1;
  bool Valid() const { return node >= 0 && pin >= 0; }
  bool operator==(const TPinRef&) const = default;
};

// Receives frames on the streaming thread, and sound on the sound input's.
class TFrameConsumer {
 public:
  virtual ~TFrameConsumer() = default;
  virtual void Receive(const TFrame& frame) = 0;
  virtual void ReceiveAudio(const TAudioBlock&) {}
};

// A node that changes frames on their way: a decoder, a splitter that lets
// every second frame go, a deinterlacer. Called on the streaming thread, once
// per frame however many consumers lie behind it.
class TFrameFilter {
 public:
  virtual ~TFrameFilter() = default;
  // Null drops the frame for everything behind the node; a frame returned
  // stays valid until the next call.
  virtual const TFrame* Filter(const TFrame& frame) = 0;
  // The format that leaves the node, given the one that enters it.
  virtual TVideoFormat Output(const TVideoFormat& in) const = 0;
};

enum class TGraphState { Stopped, Paused, Running };

class TCaptureGraph {
 public:
  TCaptureGraph();
  ~TCaptureGraph();
  TCaptureGraph(const TCaptureGraph&) = delete;
  TCaptureGraph& operator=(const TCaptureGraph&) = delete;

  // -1 when the name is taken. The graph owns the source.
  int AddVideoSource(std::unique_ptr<TCaptureSource> source, const std::string& name);
  int AddFilter(TNodeKind kind, const std::string& name);
  // Gives an audio source node its device; it streams while the graph runs,
  // to the consumers its links reach.
  void SetAudioStream(int node, std::unique_ptr<TAudioSource> stream);
  TAudioSource* AudioStream() const { return audio_.get(); }
  void RemoveFilter(int node);
  // Removes the node and every node fed, directly or not, only through it.
  void RemoveDownstream(int node);
  void DisconnectAll(int node);

  int FindNode(const std::string& name) const;
  int FindNode(TNodeKind kind) const;
  TNodeKind Kind(int node) const;
  std::string Name(int node) const;
  // Node names in the order they were added; links as "from.pin -> to.pin".
  std::vector<std::string> NodeNames() const;
  std::vector<std::string> Links() const;

  // The first free or linked pin of that direction, category and major type
  // (category None and major Any match anything); invalid when there is none.
  TPinRef FindPin(int node, TPinDir dir, TPinCategory category, TMajorType major, bool unconnectedOnly = false) const;
  bool Connect(TPinRef out, TPinRef in);
  void Disconnect(TPinRef pin);
  TPinRef ConnectedTo(TPinRef pin) const;
  // The format flowing out of an output pin; sub-type 0 when unknown.
  TVideoFormat OutputFormat(TPinRef out) const;

  // The only sub-type the grabber's input takes.
  void SetGrabberSubType(int node, TSubType subtype);
  void SetConsumer(int node, std::shared_ptr<TFrameConsumer> consumer);
  void SetFilter(int node, std::shared_ptr<TFrameFilter> filter);

  TCaptureSource* Source() const;

  bool Run();
  bool Pause();
  void Stop();
  TGraphState State() const { return state_.load(); }

  // Events wait here until the component collects them. `notify` is called,
  // on whatever thread raised the event, after each one is queued.
  void SetEventNotify(std::function<void()> notify);
  void PushEvent(TGraphEventCode code);
  bool GetEvent(TGraphEventCode& code);

 private:
  struct Pin {
    std::string name;
    TPinDir dir;
    TPinCategory category;
    TMajorType major;
    TPinRef peer;
  };
  struct Node {
    std::string name;
    TNodeKind kind;
    bool removed = false;
    std::vector<Pin> pins;
    TSubType grabberSubType = 0;
    std::shared_ptr<TFrameConsumer> consumer;
    std::shared_ptr<TFrameFilter> filter;
  };
  // A consumer and the filters on the way to it, in graph order.
  struct Delivery {
    std::shared_ptr<TFrameConsumer> consumer;
    std::vector<std::shared_ptr<TFrameFilter>> filters;
  };

  bool Accepts(const Node& node, const Pin& in, TVideoFormat offered) const;
  std::vector<Pin> PinsOf(TNodeKind kind) const;
  void CollectConsumers(int node, std::vector<std::shared_ptr<TFrameConsumer>>& out, int depth, bool audio) const;
  void CollectStops(int node, std::vector<Delivery>& out, std::vector<std::shared_ptr<TFrameFilter>>& path,
                    int depth) const;
  bool StartStreaming(TGraphState state);
  void Deliver(const TFrame& frame);
  void DeliverAudio(const TAudioBlock& block);

  std::vector<Node> nodes_;
  std::unique_ptr<TCaptureSource> source_;
  int sourceNode_ = -1;
  bool streaming_ = false;
  std::atomic<TGraphState> state_{TGraphState::Stopped};
  // Fixed between the start and the stop of the streaming thread.
  std::vector<Delivery> route_;
  std::vector<std::pair<const TFrameFilter*, const TFrame*>> filtered_;  // of the frame being delivered
  std::unique_ptr<TAudioSource> audio_;
  int audioNode_ = -1;
  bool audioStreaming_ = false;
  std::vector<std::shared_ptr<TFrameConsumer>> audioRoute_;

  std::mutex eventMutex_;
  std::deque<TGraphEventCode> events_;
  std::function<void()> notify_;
};

}  // namespace videocapture::engine
