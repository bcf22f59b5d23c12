#include "videocapture/engine/AlsaMixer.h"

#include <alsa/asoundlib.h>

namespace videocapture::engine {

namespace {

class AlsaMixer : public TMixer {
 public:
  explicit AlsaMixer(std::unique_ptr<TAlsaMixerIo> io) : io_(std::move(io)) {
    const std::vector<TAlsaElement> elements = io_->Elements();
    for (std::size_t e = 0; e < elements.size(); ++e) {
      const TAlsaElement& element = elements[e];
      // Playback controls and the card's other settings are no recording controls.
      if (!element.active || (!element.captureVolume && !element.captureSwitch && element.captureItems.empty()))
        continue;
      TMixerControl control;
      control.name = element.name;
      if (element.index != 0) control.name += " " + std::to_string(element.index);
      control.hasVolume = element.captureVolume;
      control.min = element.min;
      control.max = element.max;
      control.hasSwitch = element.captureSwitch;
      control.items = element.captureItems;
      controls_.push_back(control);
      elements_.push_back(static_cast<int>(e));
    }
  }

  bool Empty() const { return controls_.empty(); }

  std::vector<TMixerControl> Controls() override { return controls_; }

  bool Volume(int control, long& value) override {
    const int e = Fresh(control);
    return e >= 0 && controls_[Index(control)].hasVolume && io_->CaptureVolume(e, 0, value);
  }
  bool SetVolume(int control, long value) override {
    const int e = Fresh(control);
    return e >= 0 && controls_[Index(control)].hasVolume && io_->SetCaptureVolumeAll(e, value);
  }
  bool Switch(int control, bool& on) override {
    const int e = Fresh(control);
    return e >= 0 && controls_[Index(control)].hasSwitch && io_->CaptureSwitch(e, 0, on);
  }
  bool SetSwitch(int control, bool on) override {
    const int e = Fresh(control);
    return e >= 0 && controls_[Index(control)].hasSwitch && io_->SetCaptureSwitchAll(e, on);
  }
  bool Item(int control, int& item) override {
    const int e = Fresh(control);
    unsigned value = 0;
    if (e < 0 || controls_[Index(control)].items.empty() || !io_->Item(e, 0, value)) return false;
    item = static_cast<int>(value);
    return true;
  }
  bool SetItem(int control, int item) override {
    const int e = Fresh(control);
    if (e < 0 || item < 0 || item >= static_cast<int>(controls_[Index(control)].items.size())) return false;
    // A choice may be kept per channel; both sides of a stereo input follow.
    // A mono element has no right channel to refuse.
    const bool left = io_->SetItem(e, 0, static_cast<unsigned>(item));
    const bool right = io_->SetItem(e, 1, static_cast<unsigned>(item));
    return left || right;
  }

 private:
  static std::size_t Index(int control) { return static_cast<std::size_t>(control); }
  // The element of a control, with what others changed on the card read in;
  // -1 for no control.
  int Fresh(int control) {
    if (control < 0 || control >= static_cast<int>(elements_.size())) return -1;
    io_->HandleEvents();
    return elements_[Index(control)];
  }

  std::unique_ptr<TAlsaMixerIo> io_;
  std::vector<TMixerControl> controls_;
  std::vector<int> elements_;
};

snd_mixer_selem_channel_id_t Channel(int channel) {
  return channel == 0 ? SND_MIXER_SCHN_FRONT_LEFT : SND_MIXER_SCHN_FRONT_RIGHT;
}

class SystemMixerIo : public TAlsaMixerIo {
 public:
  explicit SystemMixerIo(snd_mixer_t* mixer) : mixer_(mixer) {
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer); e; e = snd_mixer_elem_next(e)) elements_.push_back(e);
  }
  ~SystemMixerIo() override { snd_mixer_close(mixer_); }

  std::vector<TAlsaElement> Elements() override {
    std::vector<TAlsaElement> list;
    for (snd_mixer_elem_t* e : elements_) {
      TAlsaElement element;
      element.name = snd_mixer_selem_get_name(e);
      element.index = snd_mixer_selem_get_index(e);
      element.active = snd_mixer_selem_is_active(e);
      element.captureVolume = snd_mixer_selem_has_capture_volume(e) &&
                              snd_mixer_selem_get_capture_volume_range(e, &element.min, &element.max) == 0;
      element.captureSwitch = snd_mixer_selem_has_capture_switch(e);
      if (snd_mixer_selem_is_enumerated(e) && snd_mixer_selem_is_enum_capture(e)) {
        const int count = snd_mixer_selem_get_enum_items(e);
        for (int i = 0; i < count; ++i) {
          char name[64] = {};
          snd_mixer_selem_get_enum_item_name(e, static_cast<unsigned>(i), sizeof name - 1, name);
          element.captureItems.emplace_back(name);
        }
      }
      list.push_back(element);
    }
    return list;
  }
  void HandleEvents() override { snd_mixer_handle_events(mixer_); }
  bool CaptureVolume(int e, int channel, long& value) override {
    return snd_mixer_selem_get_capture_volume(At(e), Channel(channel), &value) == 0;
  }
  bool SetCaptureVolumeAll(int e, long value) override {
    return snd_mixer_selem_set_capture_volume_all(At(e), value) == 0;
  }
  bool CaptureSwitch(int e, int channel, bool& on) override {
    int value = 0;
    if (snd_mixer_selem_get_capture_switch(At(e), Channel(channel), &value) != 0) return false;
    on = value != 0;
    return true;
  }
  bool SetCaptureSwitchAll(int e, bool on) override {
    return snd_mixer_selem_set_capture_switch_all(At(e), on ? 1 : 0) == 0;
  }
  bool Item(int e, int channel, unsigned& item) override {
    return snd_mixer_selem_get_enum_item(At(e), Channel(channel), &item) == 0;
  }
  bool SetItem(int e, int channel, unsigned item) override {
    return snd_mixer_selem_set_enum_item(At(e), Channel(channel), item) == 0;
  }

 private:
  snd_mixer_elem_t* At(int e) const { return elements_[static_cast<std::size_t>(e)]; }

  snd_mixer_t* mixer_;
  std::vector<snd_mixer_elem_t*> elements_;
};

}  // namespace

std::unique_ptr<TMixer> MakeAlsaMixer(std::unique_ptr<TAlsaMixerIo> io) {
  auto mixer = std::make_unique<AlsaMixer>(std::move(io));
  if (mixer->Empty()) return nullptr;
  return mixer;
}

std::unique_ptr<TMixer> OpenAlsaMixer(const std::string& card) {
  snd_mixer_t* mixer = nullptr;
  if (snd_mixer_open(&mixer, 0) < 0) return nullptr;
  if (snd_mixer_attach(mixer, card.c_str()) < 0 || snd_mixer_selem_register(mixer, nullptr, nullptr) < 0 ||
      snd_mixer_load(mixer) < 0) {
    snd_mixer_close(mixer);
    return nullptr;
  }
  return MakeAlsaMixer(std::make_unique<SystemMixerIo>(mixer));
}

}  // namespace videocapture::engine
