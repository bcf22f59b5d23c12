#include "videocapture/engine/AlsaBackend.h"

#include <alsa/asoundlib.h>

#include <atomic>
#include <thread>
#include <vector>

#include "videocapture/engine/AlsaMixer.h"
#include "videocapture/engine/DevWatch.h"

namespace videocapture::engine {

namespace {

const std::string kPrefix = "@alsa#";

class AlsaSource : public TAudioSource {
 public:
  explicit AlsaSource(std::string device) : device_(std::move(device)) {}
  ~AlsaSource() override { Stop(); }

  bool SetFormat(const TPcmFormat& format) override {
    if (running_ || (format.bits != 8 && format.bits != 16) || format.channels < 1 || format.channels > 2 ||
        format.rate == 0)
      return false;
    format_ = format;
    return true;
  }
  TPcmFormat Format() const override { return format_; }

  bool Start(TAudioSink sink) override {
    if (running_) return false;
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, ("plug" + device_).c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0) return false;
    // A tenth of a second per read keeps the blocks small and the latency low.
    if (snd_pcm_set_params(pcm, format_.bits == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE,
                           SND_PCM_ACCESS_RW_INTERLEAVED, format_.channels, format_.rate, 1, 500000) < 0 ||
        snd_pcm_start(pcm) < 0) {
      snd_pcm_close(pcm);
      return false;
    }
    pcm_ = pcm;
    stop_ = false;
    running_ = true;
    thread_ = std::thread([this, sink = std::move(sink)] { Record(sink); });
    return true;
  }

  void Stop() override {
    if (!running_) return;
    stop_ = true;
    thread_.join();
    snd_pcm_close(pcm_);
    pcm_ = nullptr;
    running_ = false;
  }

  TMixer* Mixer() override {
    if (!mixerOpened_) {
      mixerOpened_ = true;
      mixer_ = OpenAlsaMixer(device_.substr(0, device_.find(',')));
    }
    return mixer_.get();
  }

 private:
  void Record(const TAudioSink& sink) {
    const snd_pcm_uframes_t frames = std::max(1u, format_.rate / 10);
    std::vector<std::uint8_t> buffer(frames * format_.BlockAlign());
    std::uint64_t recorded = 0;
    while (!stop_) {
      if (snd_pcm_wait(pcm_, 100) <= 0) continue;
      const snd_pcm_sframes_t n = snd_pcm_readi(pcm_, buffer.data(), frames);
      if (n == -EAGAIN) continue;
      if (n < 0) {
        // An overrun loses sound but not the stream.
        if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0) return;
        snd_pcm_start(pcm_);
        continue;
      }
      TAudioBlock block;
      block.data = buffer.data();
      block.length = static_cast<std::size_t>(n) * format_.BlockAlign();
      block.sampleTime = static_cast<double>(recorded) / format_.rate;
      recorded += static_cast<std::uint64_t>(n);
      sink(block);
    }
  }

  std::string device_;
  TPcmFormat format_;
  snd_pcm_t* pcm_ = nullptr;
  bool running_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  bool mixerOpened_ = false;
  std::unique_ptr<TMixer> mixer_;
};

// A capture PCM's node is named pcmC<card>D<device>c.
bool IsCaptureNode(const std::string& name) {
  return name.size() > 5 && name.rfind("pcmC", 0) == 0 && name.back() == 'c';
}

class AlsaBackend : public TCaptureBackend {
 public:
  explicit AlsaBackend(std::string nodeFolder) : nodeFolder_(std::move(nodeFolder)) {}

  std::vector<TDeviceInfo> Enumerate(TCategory category) override {
    std::vector<TDeviceInfo> list;
    if (category != TCategory::AudioInput) return list;
    for (int card = -1; snd_card_next(&card) == 0 && card >= 0;) {
      snd_ctl_t* ctl = nullptr;
      const std::string hw = "hw:" + std::to_string(card);
      if (snd_ctl_open(&ctl, hw.c_str(), 0) < 0) continue;
      snd_ctl_card_info_t* cardInfo;
      snd_ctl_card_info_alloca(&cardInfo);
      const std::string cardName = snd_ctl_card_info(ctl, cardInfo) == 0 ? snd_ctl_card_info_get_name(cardInfo) : hw;
      for (int device = -1; snd_ctl_pcm_next_device(ctl, &device) == 0 && device >= 0;) {
        snd_pcm_info_t* info;
        snd_pcm_info_alloca(&info);
        snd_pcm_info_set_device(info, static_cast<unsigned>(device));
        snd_pcm_info_set_subdevice(info, 0);
        snd_pcm_info_set_stream(info, SND_PCM_STREAM_CAPTURE);
        if (snd_ctl_pcm_info(ctl, info) < 0) continue;
        TDeviceInfo entry;
        entry.moniker = kPrefix + hw + "," + std::to_string(device) + "#";
        entry.friendlyName = cardName + ": " + snd_pcm_info_get_name(info);
        list.push_back(entry);
      }
      snd_ctl_close(ctl);
    }
    return list;
  }

  std::unique_ptr<TCaptureSource> Open(const std::string&) override { return nullptr; }

  bool CanBind(TCategory category, const std::string& moniker) override {
    if (category != TCategory::AudioInput || moniker.rfind(kPrefix, 0) != 0) return false;
    for (const auto& entry : Enumerate(category))
      if (entry.moniker == moniker) return true;
    return false;
  }

  std::unique_ptr<TAudioSource> OpenAudio(const std::string& moniker) override {
    if (!CanBind(TCategory::AudioInput, moniker)) return nullptr;
    return std::make_unique<AlsaSource>(moniker.substr(kPrefix.size(), moniker.size() - kPrefix.size() - 1));
  }

  void Watch(std::function<void()> notice) override {
    watch_ = std::make_unique<TDevWatch>(nodeFolder_, IsCaptureNode, std::move(notice));
  }

 private:
  std::string nodeFolder_;
  std::unique_ptr<TDevWatch> watch_;
};

}  // namespace

std::unique_ptr<TCaptureBackend> MakeAlsaBackend(const std::string& nodeFolder) {
  return std::make_unique<AlsaBackend>(nodeFolder);
}

}  // namespace videocapture::engine
