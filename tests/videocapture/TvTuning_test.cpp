// Tuning a TV card by channel through the V4L2 backing, against a scripted
// analog TV card in place of the kernel: its tuner counts in the units it
// announces, a few stations sit off their channel's carrier, its radio is a
// node of its own, and it refuses a new input or standard while it streams.

#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <poll.h>

#include <cstring>
#include <mutex>
#include <tuple>

#include "Capture_helpers.h"
#include "videocapture/engine/CaptureSystem.h"
#include "videocapture/engine/V4l2Backend.h"

namespace engine = videocapture::engine;
using capture_test::SyntheticWorld;
using capture_test::Watched;

namespace {

constexpr long kMHz = 1000000;

// What a bttv-like card answers: a tuner input and a composite input,
// PAL B/G and NTSC M, one YUYV size, and a tuner whose signal follows the
// stations below. The tuner serves the radio node (FM and AM, in 62.5 Hz
// units) once that sets a frequency, and the video node again once it does.
class FakeTvCard : public engine::TV4l2Io {
 public:
  struct Station {
    long hertz;
    bool graded;  // a strength that falls off; otherwise locked or not
  };
  std::uint32_t capability = 0;  // 0, V4L2_TUNER_CAP_LOW or V4L2_TUNER_CAP_1HZ
  std::vector<Station> stations;
  std::uint32_t inputStatus = 0;
  std::uint32_t input = 0;

  long Hertz() {
    std::lock_guard lock(mutex_);
    return static_cast<long>(std::int64_t(frequency_) * Unit() / 1000);
  }
  void Tune(long hertz) {
    std::lock_guard lock(mutex_);
    frequency_ = static_cast<std::uint32_t>(std::int64_t(hertz) * 1000 / Unit());
  }
  // Streaming, how often it started, the tuner on the radio, the radio's frequency.
  std::tuple<bool, int, bool, long> Now() {
    std::lock_guard lock(mutex_);
    return {streaming_, streamStarts_, radioMode_, At(radioFrequency_, 62500)};
  }

  std::vector<std::string> ListNodes() override { return {"/dev/video0"}; }
  std::vector<std::string> ListRadioNodes() override { return {"/dev/radio0"}; }
  int Open(const std::string& path) override {
    return path == "/dev/video0" ? kVideo : path == "/dev/radio0" ? kRadio : -1;
  }
  void Close(int) override {}
  void* Map(int, std::size_t, std::int64_t offset) override { return buffers_.at(std::size_t(offset)).data(); }
  void Unmap(void*, std::size_t) override {}
  void Pause(int) override {}
  int WaitFrame(int, int wakeFd, int timeoutMs) override {
    pollfd p{wakeFd, POLLIN, 0};
    ::poll(&p, 1, timeoutMs);
    return 0;
  }

  int Ioctl(int fd, unsigned long request, void* arg) override {
    std::lock_guard lock(mutex_);
    const bool radio = fd == kRadio;
    switch (request) {
      case VIDIOC_QUERYCAP: {
        auto* cap = static_cast<v4l2_capability*>(arg);
        *cap = {};
        std::strcpy(reinterpret_cast<char*>(cap->card), "Fake TV Card");
        std::strcpy(reinterpret_cast<char*>(cap->bus_info), "PCI:0000:05:00.0");
        cap->capabilities = radio ? V4L2_CAP_RADIO | V4L2_CAP_TUNER
                                  : V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_TUNER;
        return 0;
      }
      case VIDIOC_ENUM_FMT:
        if (static_cast<v4l2_fmtdesc*>(arg)->index > 0) return Fail(EINVAL);
        static_cast<v4l2_fmtdesc*>(arg)->pixelformat = V4L2_PIX_FMT_YUYV;
        return 0;
      case VIDIOC_ENUM_FRAMESIZES: {
        auto* e = static_cast<v4l2_frmsizeenum*>(arg);
        if (e->index > 0) return Fail(EINVAL);
        e->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        e->discrete = {720, 576};
        return 0;
      }
      case VIDIOC_TRY_FMT:
      case VIDIOC_S_FMT:
      case VIDIOC_G_FMT: {
        auto& pix = static_cast<v4l2_format*>(arg)->fmt.pix;
        pix.pixelformat = V4L2_PIX_FMT_YUYV, pix.width = 720, pix.height = 576, pix.bytesperline = 1440;
        return 0;
      }
      case VIDIOC_G_PARM:
      case VIDIOC_S_PARM: static_cast<v4l2_streamparm*>(arg)->parm.capture.timeperframe = {1, 25}; return 0;
      case VIDIOC_ENUMINPUT: {
        auto* in = static_cast<v4l2_input*>(arg);
        if (in->index > 1) return Fail(EINVAL);
        std::strcpy(reinterpret_cast<char*>(in->name), in->index == 0 ? "Television" : "Composite1");
        in->type = in->index == 0 ? V4L2_INPUT_TYPE_TUNER : V4L2_INPUT_TYPE_CAMERA;
        in->tuner = 0;
        in->status = in->index == input ? inputStatus : 0;
        return 0;
      }
      case VIDIOC_G_INPUT: *static_cast<int*>(arg) = static_cast<int>(input); return 0;
      case VIDIOC_S_INPUT:
        if (streaming_) return Fail(EBUSY);
        input = static_cast<std::uint32_t>(*static_cast<int*>(arg));
        return 0;
      case VIDIOC_ENUMSTD: {
        auto* s = static_cast<v4l2_standard*>(arg);
        if (s->index > 1) return Fail(EINVAL);
        s->id = s->index == 0 ? V4L2_STD_PAL_BG : V4L2_STD_NTSC_M;
        return 0;
      }
      case VIDIOC_G_STD: *static_cast<v4l2_std_id*>(arg) = std_; return 0;
      case VIDIOC_S_STD: {
        const v4l2_std_id wanted = *static_cast<v4l2_std_id*>(arg);
        if ((wanted & (V4L2_STD_PAL_BG | V4L2_STD_NTSC_M)) == 0) return Fail(EINVAL);
        if (streaming_) return Fail(EBUSY);
        std_ = wanted;
        return 0;
      }
      case VIDIOC_G_TUNER: {
        auto* t = static_cast<v4l2_tuner*>(arg);
        if (t->index != 0) return Fail(EINVAL);
        t->type = radio ? V4L2_TUNER_RADIO : V4L2_TUNER_ANALOG_TV;
        t->capability = radio ? V4L2_TUNER_CAP_LOW | V4L2_TUNER_CAP_FREQ_BANDS : capability;
        t->rangelow = radio ? kAmLow : static_cast<std::uint32_t>(std::int64_t(44 * kMHz) * 1000 / Unit());
        t->rangehigh = radio ? kFmHigh : static_cast<std::uint32_t>(std::int64_t(870 * kMHz) * 1000 / Unit());
        // The tuner receives for the node that tuned it last.
        t->signal = radio != radioMode_ ? 0 : Signal(radio ? At(radioFrequency_, 62500) : At(frequency_, Unit()));
        return 0;
      }
      case VIDIOC_ENUM_FREQ_BANDS: {
        auto* b = static_cast<v4l2_frequency_band*>(arg);
        if (!radio || b->tuner != 0 || b->type != V4L2_TUNER_RADIO || b->index > 1) return Fail(EINVAL);
        const bool fm = b->index == 0;
        b->capability = V4L2_TUNER_CAP_LOW | V4L2_TUNER_CAP_FREQ_BANDS;
        b->modulation = fm ? V4L2_BAND_MODULATION_FM : V4L2_BAND_MODULATION_AM;
        b->rangelow = fm ? kFmLow : kAmLow, b->rangehigh = fm ? kFmHigh : kAmHigh;
        return 0;
      }
      case VIDIOC_G_FREQUENCY:
      case VIDIOC_S_FREQUENCY: {
        auto* f = static_cast<v4l2_frequency*>(arg);
        std::uint32_t& frequency = radio ? radioFrequency_ : frequency_;
        if (request == VIDIOC_S_FREQUENCY) {
          if (f->tuner != 0 || f->type != (radio ? V4L2_TUNER_RADIO : V4L2_TUNER_ANALOG_TV) ||
              (radio && (f->frequency < kAmLow || f->frequency > kFmHigh)))
            return Fail(EINVAL);
          frequency = f->frequency, radioMode_ = radio;
        }
        f->frequency = frequency;
        return 0;
      }
      case VIDIOC_REQBUFS: {
        auto* req = static_cast<v4l2_requestbuffers*>(arg);
        buffers_.assign(req->count ? 2 : 0, std::vector<std::uint8_t>(720 * 576 * 2));
        req->count = static_cast<std::uint32_t>(buffers_.size());
        return 0;
      }
      case VIDIOC_QUERYBUF: {
        auto* b = static_cast<v4l2_buffer*>(arg);
        b->length = 720 * 576 * 2;
        b->m.offset = b->index;
        return 0;
      }
      case VIDIOC_QBUF: return 0;
      case VIDIOC_STREAMON: streaming_ = true, ++streamStarts_; return 0;
      case VIDIOC_STREAMOFF: streaming_ = false; return 0;
      default: return Fail(EINVAL);
    }
  }

 private:
  static constexpr int kVideo = 10, kRadio = 20;
  // 87.5 to 108 MHz and 522 to 1620 kHz in 62.5 Hz units.
  static constexpr std::uint32_t kFmLow = 1400000, kFmHigh = 1728000, kAmLow = 8352, kAmHigh = 25920;

  static int Fail(int error) {
    errno = error;
    return -1;
  }

  std::int64_t Unit() const {  // millihertz
    return (capability & V4L2_TUNER_CAP_1HZ) ? 1000 : (capability & V4L2_TUNER_CAP_LOW) ? 62500 : 62500000;
  }
  // Hz of a frequency in tuner units of `unit` millihertz.
  static long At(std::uint32_t units, std::int64_t unit) { return static_cast<long>(units * unit / 1000); }
  std::uint16_t Signal(long at) const {
    long best = 0;
    for (const Station& s : stations) {
      const long off = std::labs(at - s.hertz);
      best = std::max(best, s.graded ? std::max(0L, 65535 - off / 10) : off <= 70000 ? 65535 : 0);
    }
    return static_cast<std::uint16_t>(best);
  }

  std::mutex mutex_;
  std::uint32_t frequency_ = 0;
  std::uint32_t radioFrequency_ = 0;  // never tuned: below the band
  bool radioMode_ = false, streaming_ = false;
  int streamStarts_ = 0;
  v4l2_std_id std_ = V4L2_STD_PAL_BG;
  std::vector<std::vector<std::uint8_t>> buffers_;
};

struct TvWorld {
  explicit TvWorld(std::uint32_t capability = 0) : world(0, false), card(std::make_shared<FakeTvCard>()) {
    card->capability = capability;
    engine::CaptureSystem().AddBackend(std::make_unique<engine::TV4l2Backend>(card, false));
  }
  // A component previewing the card, its decoder set for PAL B/G.
  std::unique_ptr<Watched> Preview() {
    auto w = std::make_unique<Watched>();
    w->Tick();
    w->vc->SetAnalogVideoStandard(AnalogVideo_PAL_B);
    w->vc->StartPreview();
    return w;
  }
  SyntheticWorld world;
  std::shared_ptr<FakeTvCard> card;
};

}  // namespace

TEST(TvTuning, ChannelsTuneToTheirPlansCarrierInTheTunersUnits) {
  struct Plan {
    int country;
    TTunerInputType type;
    int channel;
    long hertz;
  };
  // Picture carriers from the published plans.
  const Plan plans[] = {
      {1, TunerInputAntenna, 2, 55250000},    {1, TunerInputAntenna, 13, 211250000},
      {1, TunerInputAntenna, 69, 801250000},  {1, TunerInputCable, 1, 73250000},
      {1, TunerInputCable, 22, 169250000},    {1, TunerInputCable, 95, 91250000},
      {1, TunerInputCable, 125, 799250000},   {81, TunerInputAntenna, 8, 193250000},
      {81, TunerInputAntenna, 13, 471250000}, {49, TunerInputAntenna, 2, 48250000},
      {49, TunerInputAntenna, 12, 224250000}, {49, TunerInputAntenna, 69, 855250000},
      {49, TunerInputCable, 101, 105250000},  {49, TunerInputCable, 121, 303250000},
      {44, TunerInputAntenna, 21, 471250000}, {33, TunerInputAntenna, 5, 176000000},
      {7, TunerInputAntenna, 12, 223250000},  {86, TunerInputAntenna, 25, 607250000},
      {48, TunerInputAntenna, 6, 175250000},  {420, TunerInputAntenna, 1, 49750000},
      {27, TunerInputAntenna, 21, 471250000}, {57, TunerInputCable, 95, 91250000},
      {91, TunerInputAntenna, 5, 175250000},  {687, TunerInputAntenna, 21, 471250000},
      {61, TunerInputAntenna, 0, 46250000},   {61, TunerInputAntenna, 28, 527250000},
  };
  for (const std::uint32_t capability : {0u, std::uint32_t(V4L2_TUNER_CAP_LOW), std::uint32_t(V4L2_TUNER_CAP_1HZ)}) {
    SCOPED_TRACE(capability);
    TvWorld tv(capability);
    auto w = tv.Preview();
    TVideoCapture& vc = *w->vc;
    ASSERT_TRUE(vc.GetTVTunerAvailable());
    for (const Plan& p : plans) {
      SCOPED_TRACE(std::to_string(p.country) + "/" + std::to_string(p.channel));
      int channel = 0, video = 0, audio = 0, hertz = 0;
      ASSERT_TRUE(vc.TVPutCountryCode(p.country));
      ASSERT_TRUE(vc.TVPutInputType(0, p.type));
      ASSERT_TRUE(vc.TVPutChannel(p.channel, -1, -1));
      EXPECT_EQ(tv.card->Hertz(), p.hertz);
      EXPECT_TRUE(vc.TVGetVideoFrequency(hertz));
      EXPECT_EQ(hertz, p.hertz);
      EXPECT_TRUE(vc.TVGetChannel(channel, video, audio));
      EXPECT_EQ(channel, p.channel);
    }
    // The decoder receives PAL B/G: the sound 5.5 MHz above the picture.
    int sound = 0, min = 0, max = 0, country = 0;
    EXPECT_TRUE(vc.TVGetAudioFrequency(sound));
    EXPECT_EQ(sound, 527250000 + 5500000);
    vc.SetAnalogVideoStandard(AnalogVideo_NTSC_M);  // while the card streams
    EXPECT_TRUE(vc.TVGetAudioFrequency(sound));
    EXPECT_EQ(sound, 527250000 + 4500000);
    // Every country has a plan; a code that names none is refused and changes nothing.
    for (const int code : {36, 39, 56, 64, 380, 86, 7, 1})
      EXPECT_TRUE(vc.TVPutCountryCode(code)) << code;
    ASSERT_TRUE(vc.TVPutCountryCode(61));
    EXPECT_FALSE(vc.TVPutCountryCode(999));
    EXPECT_FALSE(vc.TVPutCountryCode(800));
    EXPECT_TRUE(vc.TVGetCountryCode(country));
    EXPECT_EQ(country, 61);
    EXPECT_FALSE(vc.TVPutChannel(20, -1, -1));
    EXPECT_FALSE(vc.TVPutInputType(1, TunerInputCable));  // one tuner input
    EXPECT_EQ(tv.card->Hertz(), 527250000);
    ASSERT_TRUE(vc.TVPutCountryCode(49));
    ASSERT_TRUE(vc.TVPutInputType(0, TunerInputCable));
    EXPECT_TRUE(vc.TVChannelMinMax(min, max));
    EXPECT_EQ(std::make_pair(min, max), std::make_pair(2, 141));
    // Another program moved the tuner: the plan tells the channel.
    int channel = 0, video = 0, audio = 0;
    tv.card->Tune(175250000 + 2 * 7000000 + 62500);
    EXPECT_TRUE(vc.TVGetChannel(channel, video, audio));
    EXPECT_EQ(channel, 7);
    EXPECT_EQ(w->errors, std::vector<std::string>{});
  }
}

TEST(TvTuning, AutoTuneFindsTheStationAndTheSettingsKeepIt) {
  TvWorld tv;
  // Germany over the air: channel 5 is 250 kHz high, channel 7 187.5 kHz
  // low and only locked or not, channel 9 is empty.
  tv.card->stations = {{175250000 + 250000, true}, {189250000 - 187500, false}};
  auto w = tv.Preview();
  ASSERT_TRUE(w->vc->TVPutCountryCode(49));
  ASSERT_TRUE(w->vc->TVPutInputType(0, TunerInputAntenna));
  const std::pair<int, long> found[] = {{5, 175250000 + 250000}, {7, 189250000 - 187500}, {9, 203250000}};
  for (const auto& [channel, hertz] : found) {
    int signal = -1;
    ASSERT_TRUE(w->vc->TVAutoTune(channel, signal));
    EXPECT_EQ(signal, channel == 9 ? 0 : 1) << channel;
    EXPECT_EQ(tv.card->Hertz(), hertz) << channel;
  }
  ASSERT_TRUE(w->vc->TVStoreAutoTune());
  tv.card->inputStatus = V4L2_IN_ST_VTR;
  int locking = 0;
  EXPECT_TRUE(w->vc->VDECGetVCRHorizontalLocking(locking));
  EXPECT_EQ(locking, 1);
  w.reset();

  // A later component tunes with what was stored, per tuning space.
  w = tv.Preview();
  ASSERT_TRUE(w->vc->TVPutCountryCode(49));
  ASSERT_TRUE(w->vc->TVPutInputType(0, TunerInputAntenna));
  for (const auto& [channel, hertz] : found) {
    ASSERT_TRUE(w->vc->TVPutChannel(channel, -1, -1));
    EXPECT_EQ(tv.card->Hertz(), hertz) << channel;
  }
  ASSERT_TRUE(w->vc->TVPutTuningSpace(3));
  ASSERT_TRUE(w->vc->TVPutChannel(5, -1, -1));
  EXPECT_EQ(tv.card->Hertz(), 175250000);
  ASSERT_TRUE(w->vc->TVPutInputType(0, TunerInputCable));
  ASSERT_TRUE(w->vc->TVPutTuningSpace(0));
  ASSERT_TRUE(w->vc->TVPutChannel(5, -1, -1));
  EXPECT_EQ(tv.card->Hertz(), 175250000);  // cable has a table of its own
}

TEST(TvTuning, InputAndStandardChangeThoughTheCardRefusesThemWhileStreaming) {
  TvWorld tv;
  tv.card->input = 1;  // composite
  auto w = tv.Preview();
  TVideoCapture& vc = *w->vc;
  int input = -1, format = 0;
  EXPECT_FALSE(vc.TVGetConnectInput(input));  // no tuner input in use
  EXPECT_TRUE(vc.TVPutConnectInput(0));
  EXPECT_TRUE(vc.VDECPutTVFormat(0x1));     // NTSC M
  EXPECT_FALSE(vc.VDECPutTVFormat(0x100));  // PAL I: not a standard of this card
  EXPECT_TRUE(vc.TVGetConnectInput(input) && vc.TVGetTVFormat(format));
  EXPECT_EQ(std::make_pair(input, format), std::make_pair(0, 0x1));
  // The stream went on after each change, refused or not.
  EXPECT_EQ(tv.card->Now(), std::make_tuple(true, 4, false, 0L));
  EXPECT_TRUE(vc.TVLogon(nullptr) && vc.TVLogout());  // nothing to log on to
  EXPECT_EQ(w->errors, std::vector<std::string>{});
}

TEST(TvTuning, RadioModeTunesTheCardsRadioNodeInHertz) {
  TvWorld tv;
  tv.card->stations = {{100100000, true}, {999000, true}};  // on FM at 100.1 MHz, on AM at 999 kHz
  auto w = tv.Preview();
  TVideoCapture& vc = *w->vc;
  int modes = 0, mode = 0, min = 0, max = 0, channel = 0, sub = 0, strength = -1, hertz = 0, found = 0;
  ASSERT_TRUE(vc.TVPutChannel(5, -1, -1));  // television: 77.25 MHz
  EXPECT_TRUE(vc.TVGetAvailableModes(modes));
  EXPECT_EQ(modes, 1 | 2 | 4);
  ASSERT_TRUE(vc.TVPutMode(2));
  EXPECT_TRUE(vc.TVGetMode(mode) && vc.TVChannelMinMax(min, max));
  EXPECT_EQ(std::make_tuple(mode, min, max), std::make_tuple(2, 87500000, 108000000));
  EXPECT_EQ(tv.card->Now(), std::make_tuple(true, 1, true, 87500000L));  // never tuned: the band's start
  ASSERT_TRUE(vc.TVAutoTune(100050000, found));  // a station a little way off is found
  EXPECT_FALSE(vc.TVPutChannel(120000000, -1, -1));  // beyond the band
  EXPECT_TRUE(vc.TVGetChannel(channel, sub, sub) && vc.TVSignalPresent(strength) && vc.TVGetAudioFrequency(hertz));
  EXPECT_EQ(std::make_tuple(found, channel, strength, hertz, tv.card->Now()),
            std::make_tuple(1, 100100000, 1, 100100000, std::make_tuple(true, 1, true, 100100000L)));
  ASSERT_TRUE(vc.TVPutMode(4) && vc.TVChannelMinMax(min, max) && vc.TVAutoTune(1000000, found));
  EXPECT_TRUE(vc.TVGetVideoFrequency(hertz));
  EXPECT_EQ(std::make_tuple(min, max, found, hertz), std::make_tuple(522000, 1620000, 1, 999000));
  ASSERT_TRUE(vc.TVPutMode(1));
  EXPECT_TRUE(vc.TVGetChannel(channel, sub, sub));
  EXPECT_EQ(std::make_tuple(channel, tv.card->Hertz(), std::get<2>(tv.card->Now())),
            std::make_tuple(5, 77250000L, false));
  EXPECT_EQ(w->errors, std::vector<std::string>{});
}
