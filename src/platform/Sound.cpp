#include "platform/Sound.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/Charset.h"
#include "platform/Exception.h"

namespace platform {

namespace {

// Sounds are short effects; a bigger file is a mistake, not a sound to load.
constexpr size_t kMaxWaveBytes = 64u << 20;
// Decoded sounds kept: a conversation plays a handful of short files; one
// that plays many different ones reads the rest again.
constexpr size_t kKeptSounds = 16;
constexpr size_t kKeptBytes = 16u << 20;

uint32_t Le32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) | static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

uint16_t Le16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

// ---- ALSA ------------------------------------------------------------------

void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

class AlsaSink final : public TSoundSink {
 public:
  AlsaSink() {
    // ALSA prints its own complaints to stderr; the channel reports them once instead.
    static const bool quiet = (snd_lib_error_set_handler(&QuietAlsa), true);
    (void)quiet;
  }
  ~AlsaSink() override { Close(); }

  bool Open(const TWave& wave, std::string& error) override {
    // The last sound ended (drained or dropped); the same format plays again
    // once the device is prepared.
    if (pcm_ && wave.channels == channels_ && wave.rate == rate_ && wave.bits == bits_ && snd_pcm_prepare(pcm_) >= 0)
      return true;
    Close();
    // Non-blocking open: a device held by another program must not stall us.
    int rc = snd_pcm_open(&pcm_, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (rc < 0) {
      pcm_ = nullptr;
      error = snd_strerror(rc);
      return false;
    }
    snd_pcm_nonblock(pcm_, 0);
    snd_pcm_format_t format = wave.bits == 8    ? SND_PCM_FORMAT_U8
                              : wave.bits == 16 ? SND_PCM_FORMAT_S16_LE
                              : wave.bits == 24 ? SND_PCM_FORMAT_S24_3LE
                                                : SND_PCM_FORMAT_S32_LE;
    rc = snd_pcm_set_params(pcm_, format, SND_PCM_ACCESS_RW_INTERLEAVED, static_cast<unsigned>(wave.channels),
                            static_cast<unsigned>(wave.rate), 1, 100000);
    if (rc < 0) {
      error = snd_strerror(rc);
      Close();
      return false;
    }
    frameBytes_ = static_cast<size_t>(wave.FrameBytes());
    channels_ = wave.channels;
    rate_ = wave.rate;
    bits_ = wave.bits;
    return true;
  }

  void Write(const uint8_t* data, size_t frames) override {
    while (pcm_ && frames > 0) {
      snd_pcm_sframes_t n = snd_pcm_writei(pcm_, data, frames);
      if (n < 0) {
        if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0) return;
        continue;
      }
      data += static_cast<size_t>(n) * frameBytes_;
      frames -= static_cast<size_t>(n);
    }
  }

  void Finish() override {
    if (pcm_) snd_pcm_drain(pcm_);
  }
  void Abort() override {
    if (pcm_) snd_pcm_drop(pcm_);
  }
  void Close() override {
    if (pcm_) snd_pcm_close(pcm_);
    pcm_ = nullptr;
  }

 private:
  snd_pcm_t* pcm_ = nullptr;
  size_t frameBytes_ = 1;
  int channels_ = 0, rate_ = 0, bits_ = 0;
};

}  // namespace

TWave ParseWave(const std::string& b, const std::string& path) {
  if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0)
    throw EStreamError("not a wave file");
  TWave wave;
  wave.path = path;
  bool haveFormat = false;
  for (size_t at = 12; at + 8 <= b.size();) {
    const std::string id = b.substr(at, 4);
    const size_t size = std::min<size_t>(Le32(b, at + 4), b.size() - at - 8);
    const size_t body = at + 8;
    if (id == "fmt ") {
      if (size < 16) throw EStreamError("short format chunk");
      uint16_t tag = Le16(b, body);
      if (tag == 0xFFFE && size >= 26) tag = Le16(b, body + 24);  // extensible: sub-format's first word
      if (tag != 1) throw EStreamError("not PCM samples");
      wave.channels = Le16(b, body + 2);
      wave.rate = static_cast<int>(Le32(b, body + 4));
      wave.bits = Le16(b, body + 14);
      if (wave.channels < 1 || wave.channels > 8) throw EStreamError("unsupported channel count");
      if (wave.rate < 1000 || wave.rate > 384000) throw EStreamError("unsupported sample rate");
      if (wave.bits != 8 && wave.bits != 16 && wave.bits != 24 && wave.bits != 32)
        throw EStreamError("unsupported sample size");
      haveFormat = true;
    } else if (id == "data") {
      if (!haveFormat) throw EStreamError("samples before their format");
      const size_t whole = size - size % static_cast<size_t>(wave.FrameBytes());
      wave.data.assign(b.begin() + static_cast<std::ptrdiff_t>(body),
                       b.begin() + static_cast<std::ptrdiff_t>(body + whole));
      return wave;
    }
    at = body + size + (size & 1);
  }
  throw EStreamError(haveFormat ? "no samples" : "no format chunk");
}

TWave LoadWave(const std::string& path) {
  std::ifstream in(PathFromName(path), std::ios::binary);
  if (!in) throw EStreamError("cannot open " + path);
  in.seekg(0, std::ios::end);
  const auto size = static_cast<std::streamoff>(in.tellg());
  if (size < 0 || static_cast<size_t>(size) > kMaxWaveBytes) throw EStreamError(path + ": too large for a sound");
  in.seekg(0);
  std::string bytes(static_cast<size_t>(size), '\0');
  in.read(bytes.data(), size);
  if (!in) throw EStreamError("cannot read " + path);
  try {
    return ParseWave(bytes, path);
  } catch (const EStreamError& e) {
    throw EStreamError(path + ": " + e.what());
  }
}

std::unique_ptr<TSoundSink> MakeAlsaSink() { return std::make_unique<AlsaSink>(); }

TSoundChannel::TSoundChannel(std::unique_ptr<TSoundSink> sink) : TSoundChannel(std::move(sink), Timing{}) {}

TSoundChannel::TSoundChannel(std::unique_ptr<TSoundSink> sink, Timing timing)
    : sink_(std::move(sink)), timing_(timing) {}

TSoundChannel::~TSoundChannel() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    ++generation_;
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
}

TSoundChannel& TSoundChannel::Process() {
  static TSoundChannel* channel = new TSoundChannel(MakeAlsaSink());
  return *channel;
}

namespace {

std::int64_t SteadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

bool TSoundChannel::Play(const std::string& file, Mode mode) {
  if (SteadyNanoseconds() < silentUntil_) return false;
  {
    std::lock_guard lock(mutex_);
    if (mode == Mode::SkipIfBusy && busy_) return false;
    pending_ = Job{file, ++generation_};
    busy_ = true;
    if (!worker_.joinable()) worker_ = std::thread([this] { Run(); });
  }
  wake_.notify_all();
  return true;
}

void TSoundChannel::Stop() {
  std::lock_guard lock(mutex_);
  ++generation_;
  pending_.reset();
  busy_ = false;
}

bool TSoundChannel::IsPlaying() const {
  std::lock_guard lock(mutex_);
  return busy_;
}

bool TSoundChannel::Cancelled(uint64_t generation) const {
  std::lock_guard lock(mutex_);
  return generation != generation_;
}

void TSoundChannel::Run() {
  for (;;) {
    Job job;
    bool idle = false;
    {
      std::unique_lock lock(mutex_);
      const auto ready = [this] { return quit_ || pending_.has_value(); };
      if (deviceOpen_) idle = !wake_.wait_for(lock, timing_.keepOpen, ready);
      else wake_.wait(lock, ready);
      if (quit_) break;
      if (!idle) {
        job = std::move(*pending_);
        pending_.reset();
      }
    }
    // No sound for a while: the device goes back to the other programs.
    if (idle) {
      sink_->Close();
      deviceOpen_ = false;
      continue;
    }
    PlayJob(job);
    std::lock_guard lock(mutex_);
    if (job.generation == generation_) busy_ = false;
  }
  if (deviceOpen_) sink_->Close();
}

std::shared_ptr<const TWave> TSoundChannel::Wave(const std::string& file) {
  const std::optional<TFileStamp> stamp = FileStamp(file);
  for (auto it = kept_.begin(); it != kept_.end(); ++it) {
    if (it->file != file) continue;
    if (stamp && it->stamp == *stamp) {
      kept_.splice(kept_.begin(), kept_, it);
      return it->wave;
    }
    kept_.erase(it);
    break;
  }
  auto wave = std::make_shared<const TWave>(LoadWave(file));
  if (stamp && wave->data.size() <= kKeptBytes) {
    kept_.push_front({file, *stamp, wave});
    size_t bytes = 0;
    for (const Kept& k : kept_) bytes += k.wave->data.size();
    while (kept_.size() > kKeptSounds || bytes > kKeptBytes) {
      bytes -= kept_.back().wave->data.size();
      kept_.pop_back();
    }
  }
  return wave;
}

void TSoundChannel::PlayJob(const Job& job) {
  std::shared_ptr<const TWave> kept;
  try {
    kept = Wave(job.file);
  } catch (const Exception&) {
    return;
  }
  const TWave& wave = *kept;
  if (SteadyNanoseconds() < silentUntil_) return;
  std::string error;
  if (!sink_->Open(wave, error)) {
    // Without a device every sound would ask for one again (and fail the
    // same way); it is looked for again only after a while, so that one
    // plugged in later is still found.
    deviceOpen_ = false;
    silentUntil_ = SteadyNanoseconds() + std::chrono::nanoseconds(timing_.retryDevice).count();
    return;
  }
  deviceOpen_ = true;
  // Small pieces, so that a newer sound cuts this one off within about 20 ms.
  const size_t chunk = std::max<size_t>(1, static_cast<size_t>(wave.rate) / 50);
  const size_t frameBytes = static_cast<size_t>(wave.FrameBytes());
  const size_t frames = wave.Frames();
  bool cut = false;
  for (size_t done = 0; done < frames; done += chunk) {
    if (Cancelled(job.generation)) {
      cut = true;
      break;
    }
    sink_->Write(wave.data.data() + done * frameBytes, std::min(chunk, frames - done));
  }
  if (cut || Cancelled(job.generation)) sink_->Abort();
  else sink_->Finish();
}

}  // namespace platform
