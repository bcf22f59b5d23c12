// The recording controls of a sound card, with ALSA's simple mixer replaced
// by the elements real cards list (an AC'97 chip, an HD-Audio codec, a USB
// microphone), values per channel, and changes that other programs make
// reaching the card in between.

#include "videocapture/engine/AlsaMixer.h"

#include <gtest/gtest.h>

#include <functional>

namespace engine = videocapture::engine;
using Strings = std::vector<std::string>;

namespace {

struct Element : engine::TAlsaElement {
  int channels = 2;
  long volume[2] = {0, 0};
  bool on[2] = {false, false};
  unsigned item[2] = {0, 0};
};

Element Make(const std::string& name, unsigned index, long max, bool captureSwitch, Strings items = {},
             int channels = 2) {
  Element e;
  e.name = name, e.index = index, e.captureVolume = max > 0, e.max = max, e.captureSwitch = captureSwitch;
  e.captureItems = std::move(items), e.channels = channels;
  return e;
}

class FakeMixer : public engine::TAlsaMixerIo {
 public:
  explicit FakeMixer(std::vector<Element> elements) : e(std::move(elements)) {}
  std::vector<Element> e;
  // What another program changes: the card sees it at the next event round.
  std::function<void()> pending;

  std::vector<engine::TAlsaElement> Elements() override { return {e.begin(), e.end()}; }
  void HandleEvents() override {
    if (pending) pending();
    pending = nullptr;
  }
  bool CaptureVolume(int i, int c, long& v) override {
    return Has(i, c, e[i].captureVolume) && (v = e[i].volume[c], true);
  }
  bool CaptureSwitch(int i, int c, bool& on) override {
    return Has(i, c, e[i].captureSwitch) && (on = e[i].on[c], true);
  }
  bool Item(int i, int c, unsigned& v) override {
    return Has(i, c, !e[i].captureItems.empty()) && (v = e[i].item[c], true);
  }
  bool SetCaptureVolumeAll(int i, long v) override {
    return e[i].captureVolume && v >= e[i].min && v <= e[i].max && (e[i].volume[0] = e[i].volume[1] = v, true);
  }
  bool SetCaptureSwitchAll(int i, bool on) override {
    return e[i].captureSwitch && (e[i].on[0] = e[i].on[1] = on, true);
  }
  bool SetItem(int i, int c, unsigned v) override {
    return Has(i, c, v < e[i].captureItems.size()) && (e[i].item[c] = v, true);
  }

 private:
  bool Has(int i, int c, bool control) const { return control && c < e[i].channels; }
};

std::vector<Element> Ac97() {
  // The Mic switch picks the microphone as what is recorded.
  return {Make("Master", 0, 0, false), Make("Capture", 0, 15, true),
          Make("Capture Source", 0, 0, false, {"Mic", "CD", "Video", "Aux", "Line", "Mix", "Mix Mono", "Phone"}),
          Make("Mic", 0, 0, true, {}, 1)};
}

std::vector<Element> HdAudio() {
  const Strings sources = {"Front Mic", "Rear Mic", "Line"};
  std::vector<Element> codec = {Make("Master", 0, 0, false),         Make("Capture", 0, 63, true),
                                Make("Capture", 1, 63, true),        Make("Input Source", 0, 0, false, sources, 1),
                                Make("Input Source", 1, 0, false, sources, 1), Make("Rear Mic Boost", 0, 3, false)};
  codec.back().active = false;  // its jack is retasked as an output
  return codec;
}

}  // namespace

TEST(AlsaMixer, RecordingControlsOfRealCardsTakeChangesOnEveryChannel) {
  const std::pair<std::vector<Element>, Strings> cards[] = {
      {Ac97(), {"Capture", "Capture Source", "Mic"}},
      {HdAudio(), {"Capture", "Capture 1", "Input Source", "Input Source 1"}},
      {{Make("Mic", 0, 16, true, {}, 1), Make("Auto Gain Control", 0, 0, false)}, {"Mic"}},  // USB
      {{Make("Master", 0, 0, false), Make("PCM", 0, 0, false)}, {}},
  };
  for (const auto& [elements, controls] : cards) {
    auto mixer = engine::MakeAlsaMixer(std::make_unique<FakeMixer>(elements));
    Strings names;
    for (const auto& control : mixer ? mixer->Controls() : std::vector<engine::TMixerControl>{})
      names.push_back(control.name);
    EXPECT_EQ(names, controls);
  }

  auto owned = std::make_unique<FakeMixer>(Ac97());
  FakeMixer& card = *owned;
  auto mixer = engine::MakeAlsaMixer(std::move(owned));
  long volume = -1;
  bool on = true;
  int item = -1;
  EXPECT_TRUE(mixer->SetVolume(0, 12));
  EXPECT_FALSE(mixer->SetVolume(0, 16));  // beyond the range: the card keeps its value
  EXPECT_TRUE(mixer->SetItem(1, 4));      // both sides of the stereo input follow
  EXPECT_FALSE(mixer->SetItem(1, 8));
  EXPECT_EQ(std::make_tuple(card.e[1].volume[1], card.e[2].item[0], card.e[2].item[1]), std::make_tuple(12L, 4u, 4u));
  EXPECT_TRUE(mixer->SetSwitch(2, true));
  card.pending = [&card] { card.e[1].volume[0] = 3, card.e[3].on[0] = false; };
  EXPECT_TRUE(mixer->Volume(0, volume) && mixer->Switch(2, on) && mixer->Item(1, item));
  EXPECT_EQ(std::make_tuple(volume, on, item), std::make_tuple(3L, false, 4));
  // What a control lacks, and controls that are not there, are refused.
  const bool refused[] = {mixer->Volume(1, volume), mixer->SetVolume(2, 1), mixer->Item(0, item),
                          mixer->Switch(1, on),     mixer->SetItem(-1, 0),  mixer->Volume(3, volume)};
  for (std::size_t i = 0; i < std::size(refused); ++i) EXPECT_FALSE(refused[i]) << i;

  // A mono choice has no right side to refuse it.
  auto hda = std::make_unique<FakeMixer>(HdAudio());
  FakeMixer& codec = *hda;
  mixer = engine::MakeAlsaMixer(std::move(hda));
  EXPECT_TRUE(mixer->SetItem(3, 2));
  EXPECT_EQ(codec.e[4].item[0], 2u);
}
