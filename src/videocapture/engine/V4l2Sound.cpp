#include "videocapture/engine/V4l2Sound.h"

#include <linux/videodev2.h>

#include <cstring>
#include <string>
#include <vector>

namespace videocapture::engine {

namespace {

struct ModePair {
  int mode;
  std::uint32_t audmode;
};
constexpr ModePair kModes[] = {{0x1, V4L2_TUNER_MODE_MONO},
                               {0x2, V4L2_TUNER_MODE_STEREO},
                               {0x10, V4L2_TUNER_MODE_LANG1},
                               {0x20, V4L2_TUNER_MODE_LANG2},
                               {0x30, V4L2_TUNER_MODE_LANG1_LANG2}};

class V4l2TvAudio : public TTvAudio {
 public:
  V4l2TvAudio(std::shared_ptr<TV4l2Io> io, int fd) : io_(std::move(io)), fd_(fd) {}

  int AvailableModes() override {
    v4l2_tuner t{};
    if (!Tuner(t)) return 0;
    int modes = 0x1;
    if (t.capability & V4L2_TUNER_CAP_STEREO) modes |= 0x2;
    if (t.capability & V4L2_TUNER_CAP_LANG1) modes |= 0x10;
    if (t.capability & V4L2_TUNER_CAP_LANG2) modes |= 0x20;
    if ((t.capability & V4L2_TUNER_CAP_LANG1) && (t.capability & V4L2_TUNER_CAP_LANG2)) modes |= 0x30;
    return modes;
  }
  bool Mode(int& mode) override {
    v4l2_tuner t{};
    if (!Tuner(t)) return false;
    for (const auto& m : kModes)
      if (m.audmode == t.audmode) {
        mode = m.mode;
        return true;
      }
    return false;
  }
  bool SetMode(int mode) override {
    v4l2_tuner t{};
    if (!Tuner(t) || (mode & ~AvailableModes()) != 0) return false;
    for (const auto& m : kModes)
      if (m.mode == mode) {
        t.audmode = m.audmode;
        return io_->Ioctl(fd_, VIDIOC_S_TUNER, &t) == 0;
      }
    return false;
  }

 private:
  bool Tuner(v4l2_tuner& t) { return io_->Ioctl(fd_, VIDIOC_G_TUNER, &t) == 0; }

  std::shared_ptr<TV4l2Io> io_;
  int fd_;
};

// The card's sound inputs as a router with one output: the sound that goes
// with the captured video.
class V4l2AudioInputs : public TCrossbar {
 public:
  V4l2AudioInputs(std::shared_ptr<TV4l2Io> io, int fd, std::vector<std::string> names)
      : io_(std::move(io)), fd_(fd), names_(std::move(names)) {}

  int InputCount() override { return static_cast<int>(names_.size()); }
  int OutputCount() override { return 1; }
  std::string InputName(int input) override { return CanRoute(0, input) ? names_[static_cast<std::size_t>(input)] : ""; }
  bool CanRoute(int output, int input) override { return output == 0 && input >= 0 && input < InputCount(); }
  bool Route(int output, int input) override {
    if (!CanRoute(output, input)) return false;
    v4l2_audio a{};
    a.index = static_cast<std::uint32_t>(input);
    return io_->Ioctl(fd_, VIDIOC_S_AUDIO, &a) == 0;
  }
  int RoutedTo(int output) override {
    v4l2_audio a{};
    return output == 0 && io_->Ioctl(fd_, VIDIOC_G_AUDIO, &a) == 0 ? static_cast<int>(a.index) : -1;
  }

 private:
  std::shared_ptr<TV4l2Io> io_;
  int fd_;
  std::vector<std::string> names_;
};

}  // namespace

std::unique_ptr<TTvAudio> OpenV4l2TvAudio(std::shared_ptr<TV4l2Io> io, int fd) {
  v4l2_tuner t{};
  if (io->Ioctl(fd, VIDIOC_G_TUNER, &t) != 0 || t.type == V4L2_TUNER_RADIO) return nullptr;
  return std::make_unique<V4l2TvAudio>(std::move(io), fd);
}

std::unique_ptr<TCrossbar> OpenV4l2AudioInputs(std::shared_ptr<TV4l2Io> io, int fd) {
  std::vector<std::string> names;
  // Bounded, against a driver that never says there are no more.
  for (std::uint32_t index = 0; index < 64; ++index) {
    v4l2_audio a{};
    a.index = index;
    if (io->Ioctl(fd, VIDIOC_ENUMAUDIO, &a) != 0) break;
    const auto* name = reinterpret_cast<const char*>(a.name);
    names.emplace_back(name, strnlen(name, sizeof a.name));
  }
  if (names.size() < 2) return nullptr;
  return std::make_unique<V4l2AudioInputs>(std::move(io), fd, std::move(names));
}

}  // namespace videocapture::engine
