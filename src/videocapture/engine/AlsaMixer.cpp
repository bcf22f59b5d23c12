#include "videocapture/engine/AlsaMixer.h"

#include <alsa/asoundlib.h>

namespace videocapture::engine {

namespace {

class AlsaMixer : public TMixer {
 public:
  explicit AlsaMixer(snd_mixer_t* mixer) : mixer_(mixer) {
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer); e; e = snd_mixer_elem_next(e)) {
      if (!snd_mixer_selem_is_active(e)) continue;
      TMixerControl control;
      control.name = snd_mixer_selem_get_name(e);
      if (const unsigned index = snd_mixer_selem_get_index(e)) control.name += " " + std::to_string(index);
      control.hasVolume = snd_mixer_selem_has_capture_volume(e) &&
                          snd_mixer_selem_get_capture_volume_range(e, &control.min, &control.max) == 0;
      control.hasSwitch = snd_mixer_selem_has_capture_switch(e);
      if (snd_mixer_selem_is_enumerated(e) && snd_mixer_selem_is_enum_capture(e)) {
        const int count = snd_mixer_selem_get_enum_items(e);
        for (int i = 0; i < count; ++i) {
          char name[64] = {};
          snd_mixer_selem_get_enum_item_name(e, static_cast<unsigned>(i), sizeof name - 1, name);
          control.items.emplace_back(name);
        }
      }
      if (!control.hasVolume && !control.hasSwitch && control.items.empty()) continue;
      controls_.push_back(control);
      elements_.push_back(e);
    }
  }
  ~AlsaMixer() override { snd_mixer_close(mixer_); }

  bool Empty() const { return controls_.empty(); }

  std::vector<TMixerControl> Controls() override { return controls_; }

  bool Volume(int control, long& value) override {
    snd_mixer_elem_t* e = Fresh(control);
    return e && controls_[Index(control)].hasVolume &&
           snd_mixer_selem_get_capture_volume(e, SND_MIXER_SCHN_FRONT_LEFT, &value) == 0;
  }
  bool SetVolume(int control, long value) override {
    snd_mixer_elem_t* e = Fresh(control);
    return e && controls_[Index(control)].hasVolume && snd_mixer_selem_set_capture_volume_all(e, value) == 0;
  }
  bool Switch(int control, bool& on) override {
    snd_mixer_elem_t* e = Fresh(control);
    int value = 0;
    if (!e || !controls_[Index(control)].hasSwitch ||
        snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &value) != 0)
      return false;
    on = value != 0;
    return true;
  }
  bool SetSwitch(int control, bool on) override {
    snd_mixer_elem_t* e = Fresh(control);
    return e && controls_[Index(control)].hasSwitch && snd_mixer_selem_set_capture_switch_all(e, on ? 1 : 0) == 0;
  }
  bool Item(int control, int& item) override {
    snd_mixer_elem_t* e = Fresh(control);
    unsigned value = 0;
    if (!e || controls_[Index(control)].items.empty() ||
        snd_mixer_selem_get_enum_item(e, SND_MIXER_SCHN_FRONT_LEFT, &value) != 0)
      return false;
    item = static_cast<int>(value);
    return true;
  }
  bool SetItem(int control, int item) override {
    snd_mixer_elem_t* e = Fresh(control);
    if (!e || item < 0 || item >= static_cast<int>(controls_[Index(control)].items.size())) return false;
    // A choice may be kept per channel; both sides of a stereo input follow.
    bool ok = false;
    for (auto channel : {SND_MIXER_SCHN_FRONT_LEFT, SND_MIXER_SCHN_FRONT_RIGHT})
      ok = snd_mixer_selem_set_enum_item(e, channel, static_cast<unsigned>(item)) == 0 || ok;
    return ok;
  }

 private:
  static std::size_t Index(int control) { return static_cast<std::size_t>(control); }
  // The element of a control, with what others changed on the card read in.
  snd_mixer_elem_t* Fresh(int control) {
    if (control < 0 || control >= static_cast<int>(elements_.size())) return nullptr;
    snd_mixer_handle_events(mixer_);
    return elements_[Index(control)];
  }

  snd_mixer_t* mixer_;
  std::vector<TMixerControl> controls_;
  std::vector<snd_mixer_elem_t*> elements_;
};

}  // namespace

std::unique_ptr<TMixer> OpenAlsaMixer(const std::string& card) {
  snd_mixer_t* mixer = nullptr;
  if (snd_mixer_open(&mixer, 0) < 0) return nullptr;
  if (snd_mixer_attach(mixer, card.c_str()) < 0 || snd_mixer_selem_register(mixer, nullptr, nullptr) < 0 ||
      snd_mixer_load(mixer) < 0) {
    snd_mixer_close(mixer);
    return nullptr;
  }
  auto result = std::make_unique<AlsaMixer>(mixer);
  if (result->Empty()) return nullptr;
  return result;
}

}  // namespace videocapture::engine
