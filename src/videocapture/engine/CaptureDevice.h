#pragma once

// What a capture device offers once it is opened: its capture pin's formats
// and capabilities, facts about its other pins, optional control interfaces,
// and streaming into a sink on a thread of its own.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "videocapture/engine/AudioSource.h"
#include "videocapture/engine/MediaFormat.h"

namespace videocapture::engine {

enum class TCategory { VideoInput, AudioInput, VideoCompressor, AudioCompressor };

// How the device's driver is reached. Legacy and kernel-streaming drivers are
// named as such in device lists; native ones carry no mark.
enum class TDriverKind { Native, Legacy, KernelStreaming };

// One entry of a category as the system lists it. `moniker` identifies the
// device across enumerations and unplugging: two entries with the same
// moniker are the same device.
struct TDeviceInfo {
  std::string moniker;
  std::string friendlyName;  // empty: the entry is unusable and skipped
  TDriverKind driver = TDriverKind::Native;
  // Settings changed through the device's dialog take effect while it streams.
  bool liveSettings = true;
};

// Which pins the source has besides its capture pin.
struct TPinFacts {
  bool preview = false;        // a separate preview output
  bool videoPort = false;      // a hardware overlay output
  bool interleaved = false;    // an interleaved audio-and-video (DV) output
  bool transport = false;      // tape transport control on the interleaved pin
  bool analogVideoIn = false;  // an analog video input (a tuner or composite jack)
  bool audio = false;          // the device carries its own sound
};

// Picture controls, numbered like the component's video qualities.
constexpr int kProcAmpCount = 10;

struct TControlRange {
  bool available = false;
  int min = 0, max = 0, step = 0, defaultValue = 0;
  int flags = 0;  // 1 automatic control possible, 2 manual control possible
};

class TProcAmp {
 public:
  virtual ~TProcAmp() = default;
  // False when the device lacks the control.
  virtual bool GetRange(int property, TControlRange& range) = 0;
  virtual bool Get(int property, int& value) = 0;
  virtual bool Set(int property, int value) = 0;
};

// Counters since the stream started.
class TDroppedFrames {
 public:
  virtual ~TDroppedFrames() = default;
  virtual bool GetNumDropped(long& count) = 0;
  virtual bool GetNumNotDropped(long& count) = 0;
};

// A router between the device's inputs and its outputs.
class TCrossbar {
 public:
  virtual ~TCrossbar() = default;
  virtual int InputCount() = 0;
  virtual int OutputCount() = 0;
  virtual std::string InputName(int input) = 0;
  virtual bool CanRoute(int output, int input) = 0;
  virtual bool Route(int output, int input) = 0;
  // -1 when nothing is routed to the output.
  virtual int RoutedTo(int output) = 0;
};

// Analog video standards are bit flags: NTSC_M 0x1, NTSC_M_J 0x2, NTSC_433 0x4,
// PAL_B 0x10, PAL_D 0x20, PAL_G 0x40, PAL_H 0x80, PAL_I 0x100, PAL_M 0x200,
// PAL_N 0x400, PAL_60 0x800, SECAM_B 0x1000 ... SECAM_L1 0x80000 (in the
// order B, D, G, H, K, K1, L, L1), PAL_N_COMBO 0x100000.

// The decoder of an analog video input: which standard it expects.
class TAnalogDecoder {
 public:
  virtual ~TAnalogDecoder() = default;
  virtual bool AvailableStandards(long& flags) = 0;
  virtual bool Standard(long& flag) = 0;
  virtual bool SetStandard(long flag) = 0;
  virtual bool HorizontalLocked(bool& locked) = 0;
  // Whether it locks with the slow time constant that a VCR's unsteady lines need.
  virtual bool VcrLocking(bool& on) = 0;
};

// A TV tuner in front of the device. Modes are 1 TV, 2 FM radio, 4 AM radio.
// In a radio mode the frequency calls below act on the radio's tuner.
class TTvTuner {
 public:
  virtual ~TTvTuner() = default;
  virtual int AvailableModes() = 0;
  virtual int Mode() = 0;
  // False for a mode the card lacks; the mode stays as it was.
  virtual bool SetMode(int mode) { return mode == Mode(); }
  virtual bool SignalPresent(bool& present) = 0;
  virtual bool VideoFrequency(long& hertz) = 0;
  // The range the tuner covers and the finest step it tunes in, all in Hz.
  virtual bool FrequencyRange(long& low, long& high, long& step) = 0;
  virtual bool SetVideoFrequency(long hertz) = 0;
  // 0 (nothing) to 65535, read once the tuner has settled on its frequency.
  virtual bool SignalStrength(int& strength) = 0;
  // The tuner's own inputs (antenna and cable jacks), from 0.
  virtual int TunerInputCount() = 0;
  virtual bool ConnectTunerInput(int input) = 0;
  virtual bool ConnectedTunerInput(int& input) = 0;
};

// The sound of a TV tuner. Modes are flags: 1 mono, 2 stereo, 0x10 the
// broadcast's first language, 0x20 its second, 0x30 one on each channel.
class TTvAudio {
 public:
  virtual ~TTvAudio() = default;
  virtual int AvailableModes() = 0;
  virtual bool Mode(int& mode) = 0;
  virtual bool SetMode(int mode) = 0;
};

// The tape transport of a camcorder, driven by the modes below.
enum TTransportMode : long {
  tm_Play = 4296,
  tm_Stop = 4297,
  tm_Freeze = 4298,
  tm_FastForward = 4300,
  tm_Rewind = 4301,
  tm_Record = 4302,
  tm_StepForward = 4304,
  tm_RecordFreeze = 4904,
  tm_StepReverse = 4905,
  tm_PlayFastestForward = 5029,
  tm_PlaySlowestForward = 5030,
  tm_PlayFastestReverse = 5031,
  tm_PlaySlowestReverse = 5032,
};

class TTransport {
 public:
  virtual ~TTransport() = default;
  // False when the device refuses the mode or does not answer.
  virtual bool SetMode(TTransportMode mode) = 0;
};

// The tape's position as a camcorder reads it.
class TTimecodeReader {
 public:
  virtual ~TTimecodeReader() = default;
  // Two BCD digits a byte: hours in the top byte down to frames in the lowest.
  virtual bool TimeCode(std::uint32_t& bcd) = 0;
  virtual bool TrackNumber(long& track) = 0;
};

// Position and rate of a source that plays a file. Times in 100 ns units.
class TMediaSeeking {
 public:
  virtual ~TMediaSeeking() = default;
  virtual TRefTime Duration() = 0;
  // The time of the picture shown last.
  virtual TRefTime Position() = 0;
  // Clamped to the duration; a paused source shows the picture found there.
  virtual bool SetPosition(TRefTime position) = 0;
  virtual bool SetRate(double rate) = 0;
  // The graph runs or pauses the file's clock.
  virtual void SetRunning(bool running) = 0;
};

// What a streaming device reports besides frames. Called on its streaming thread.
enum class TGraphEventCode { Complete, VideoSizeChanged, Paused, DeviceLost };

using TFrameSink = std::function<void(const TFrame&)>;
using TEventSink = std::function<void(TGraphEventCode)>;

// An opened capture device. Formats change only while it does not stream.
class TCaptureSource {
 public:
  virtual ~TCaptureSource() = default;

  virtual const TDeviceInfo& Info() const = 0;
  virtual TPinFacts Pins() const = 0;

  virtual int CapabilityCount() = 0;
  virtual bool GetCapability(int index, TVideoFormat& format, TStreamCaps& caps) = 0;
  // Whether the device could stream this format; changes nothing.
  virtual bool QueryAccept(const TVideoFormat& format) = 0;
  virtual bool GetFormat(TVideoFormat& format) = 0;
  virtual bool SetFormat(const TVideoFormat& format) = 0;

  // Null when the device has no such interface.
  virtual TProcAmp* ProcAmp() = 0;
  virtual TDroppedFrames* DroppedFrames() = 0;
  virtual TCrossbar* Crossbar() = 0;
  virtual TTvTuner* Tuner() { return nullptr; }
  virtual TAnalogDecoder* AnalogDecoder() { return nullptr; }
  virtual TTvAudio* TvAudio() { return nullptr; }
  // The router of the card's sound inputs, apart from its video inputs.
  virtual TCrossbar* AudioCrossbar() { return nullptr; }
  virtual TMediaSeeking* Seeking() { return nullptr; }
  virtual TTransport* Transport() { return nullptr; }
  virtual TTimecodeReader* TimecodeReader() { return nullptr; }
  // The sound that travels inside the video stream (a camcorder's), as a
  // source of its own that streams while the device does; null without.
  virtual std::unique_ptr<TAudioSource> OpenSound() { return nullptr; }

  // Starts the streaming thread: every frame goes to `frames` in the current
  // format, converted to RGB24. False when the device cannot stream now.
  virtual bool Start(TFrameSink frames, TEventSink events) = 0;
  // Joins the streaming thread; no call into the sinks follows.
  virtual void Stop() = 0;
};

}  // namespace videocapture::engine
