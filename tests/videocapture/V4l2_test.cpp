// The V4L2 backing against a scripted UVC camera in place of the kernel: a
// YUYV and MJPEG camera with picture controls, a metadata node beside it, and
// streaming through memory-mapped buffers that can fail as unplugged devices do.

#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <poll.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/Jpeg.h"
#include "videocapture/VideoFormats.h"
#include "videocapture/engine/SyntheticCamera.h"
#include "videocapture/engine/V4l2Backend.h"

namespace engine = videocapture::engine;

namespace {

struct Size {
  std::uint32_t w, h;
};

// What a UVC webcam driver answers, as far as the backing asks.
class FakeUvcCamera : public engine::TV4l2Io {
 public:
  std::atomic<int> pendingFrames{0};
  std::atomic<bool> lost{false};
  std::atomic<bool> corruptNext{false};
  std::atomic<std::uint32_t> sequenceGap{0};
  std::atomic<int> frameNumber{77};
  // Bytes some drivers add after each YUYV row.
  std::atomic<std::uint32_t> yuyvPadding{0};
  int brightness = 0;
  int colorEffect = V4L2_COLORFX_NONE;

  std::vector<std::string> ListNodes() override { return {"/dev/video0", "/dev/video1"}; }
  int Open(const std::string& path) override { return path == "/dev/video0" ? 10 : path == "/dev/video1" ? 11 : -1; }
  void Close(int) override {}

  int Ioctl(int fd, unsigned long request, void* arg) override {
    std::lock_guard lock(mutex_);
    if (lost && request != VIDIOC_STREAMOFF && request != VIDIOC_REQBUFS) return Fail(ENODEV);
    switch (request) {
      case VIDIOC_QUERYCAP: {
        auto* cap = static_cast<v4l2_capability*>(arg);
        *cap = {};
        std::strcpy(reinterpret_cast<char*>(cap->driver), "uvcvideo");
        std::strcpy(reinterpret_cast<char*>(cap->card), "Fake UVC Camera");
        std::strcpy(reinterpret_cast<char*>(cap->bus_info), "usb-0000:00:14.0-1");
        cap->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_DEVICE_CAPS;
        cap->device_caps = fd == 10 ? V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING : V4L2_CAP_META_CAPTURE;
        return 0;
      }
      case VIDIOC_ENUM_FMT: {
        auto* d = static_cast<v4l2_fmtdesc*>(arg);
        static const std::uint32_t kFormats[] = {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_H264};
        if (d->index >= 3) return Fail(EINVAL);
        d->pixelformat = kFormats[d->index];
        return 0;
      }
      case VIDIOC_ENUM_FRAMESIZES: {
        auto* e = static_cast<v4l2_frmsizeenum*>(arg);
        const auto& sizes = Sizes(e->pixel_format);
        if (e->index >= sizes.size()) return Fail(EINVAL);
        e->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        e->discrete = {sizes[e->index].w, sizes[e->index].h};
        return 0;
      }
      case VIDIOC_ENUM_FRAMEINTERVALS: {
        auto* e = static_cast<v4l2_frmivalenum*>(arg);
        if (e->index >= 2) return Fail(EINVAL);
        e->type = V4L2_FRMIVAL_TYPE_DISCRETE;
        e->discrete = {1, e->index == 0 ? 30u : 15u};
        return 0;
      }
      case VIDIOC_TRY_FMT:
      case VIDIOC_S_FMT: {
        auto& pix = static_cast<v4l2_format*>(arg)->fmt.pix;
        // Like the driver: an unknown format or size becomes the nearest it has.
        const auto& sizes = Sizes(pix.pixelformat);
        if (sizes.empty()) pix.pixelformat = V4L2_PIX_FMT_YUYV;
        bool listed = false;
        for (const auto& s : Sizes(pix.pixelformat)) listed |= s.w == pix.width && s.h == pix.height;
        if (!listed) pix.width = 640, pix.height = 480;
        pix.bytesperline = pix.pixelformat == V4L2_PIX_FMT_YUYV ? pix.width * 2 + yuyvPadding : 0;
        if (request == VIDIOC_S_FMT) format_ = pix;
        return 0;
      }
      case VIDIOC_G_FMT: static_cast<v4l2_format*>(arg)->fmt.pix = format_; return 0;
      case VIDIOC_G_PARM:
      case VIDIOC_S_PARM: {
        auto& capture = static_cast<v4l2_streamparm*>(arg)->parm.capture;
        if (request == VIDIOC_S_PARM)
          interval_ = capture.timeperframe.numerator * 30 >= capture.timeperframe.denominator * 2 ? 15 : 30;
        capture.capability = V4L2_CAP_TIMEPERFRAME;
        capture.timeperframe = {1, interval_};
        return 0;
      }
      case VIDIOC_QUERYCTRL: {
        auto* q = static_cast<v4l2_queryctrl*>(arg);
        if (q->id == V4L2_CID_COLORFX) {  // a menu of none, black and white, sepia
          q->type = V4L2_CTRL_TYPE_MENU, q->minimum = 0, q->maximum = 2, q->step = 1, q->default_value = 0;
          return 0;
        }
        if (q->id != V4L2_CID_BRIGHTNESS) return Fail(EINVAL);
        q->minimum = -64, q->maximum = 64, q->step = 1, q->default_value = 0, q->flags = 0;
        return 0;
      }
      case VIDIOC_QUERYMENU: {
        const auto* item = static_cast<v4l2_querymenu*>(arg);
        return item->id == V4L2_CID_COLORFX && item->index <= 2 ? 0 : Fail(EINVAL);
      }
      case VIDIOC_G_CTRL:
      case VIDIOC_S_CTRL: {
        auto* c = static_cast<v4l2_control*>(arg);
        if (c->id == V4L2_CID_COLORFX) {
          if (request == VIDIOC_G_CTRL) c->value = colorEffect;
          else colorEffect = c->value;
          return 0;
        }
        if (c->id != V4L2_CID_BRIGHTNESS) return Fail(EINVAL);
        if (request == VIDIOC_G_CTRL) c->value = brightness;
        else if (c->value < -64 || c->value > 64) return Fail(ERANGE);
        else brightness = c->value;
        return 0;
      }
      case VIDIOC_ENUMINPUT: {
        auto* input = static_cast<v4l2_input*>(arg);
        if (input->index != 0) return Fail(EINVAL);
        std::strcpy(reinterpret_cast<char*>(input->name), "Camera 1");
        return 0;
      }
      case VIDIOC_REQBUFS: {
        auto* req = static_cast<v4l2_requestbuffers*>(arg);
        buffers_.assign(std::min(req->count, 3u), std::vector<std::uint8_t>(format_.width * format_.height * 3));
        queued_.assign(buffers_.size(), false);
        req->count = static_cast<std::uint32_t>(buffers_.size());
        return 0;
      }
      case VIDIOC_QUERYBUF: {
        auto* b = static_cast<v4l2_buffer*>(arg);
        b->length = static_cast<std::uint32_t>(buffers_.at(b->index).size());
        b->m.offset = b->index;
        return 0;
      }
      case VIDIOC_QBUF: queued_.at(static_cast<v4l2_buffer*>(arg)->index) = true; return 0;
      case VIDIOC_DQBUF: return Dequeue(*static_cast<v4l2_buffer*>(arg));
      case VIDIOC_STREAMON:
      case VIDIOC_STREAMOFF: return 0;
      default: return Fail(ENOTTY);
    }
  }

  void* Map(int, std::size_t, std::int64_t offset) override {
    std::lock_guard lock(mutex_);
    return buffers_.at(static_cast<std::size_t>(offset)).data();
  }
  void Unmap(void*, std::size_t) override {}

  int WaitFrame(int, int wakeFd, int timeoutMs) override {
    for (int waited = 0; waited < timeoutMs; waited += 2) {
      if (pendingFrames > 0 || lost) return 1;
      pollfd p{wakeFd, POLLIN, 0};
      if (::poll(&p, 1, 2) > 0) return 0;
    }
    return 0;
  }

 private:
  static int Fail(int error) {
    errno = error;
    return -1;
  }

  static const std::vector<Size>& Sizes(std::uint32_t pixelformat) {
    static const std::vector<Size> yuyv{{640, 480}, {320, 240}, {160, 120}};
    static const std::vector<Size> mjpeg{{1280, 720}, {640, 480}};
    static const std::vector<Size> none;
    return pixelformat == V4L2_PIX_FMT_YUYV ? yuyv : pixelformat == V4L2_PIX_FMT_MJPEG ? mjpeg : none;
  }

  int Dequeue(v4l2_buffer& b) {
    if (pendingFrames <= 0) return Fail(EAGAIN);
    std::size_t i = 0;
    while (i < queued_.size() && !queued_[i]) ++i;
    if (i == queued_.size()) return Fail(EAGAIN);
    --pendingFrames;
    queued_[i] = false;
    auto& data = buffers_[i];
    const int w = static_cast<int>(format_.width), h = static_cast<int>(format_.height);
    if (format_.pixelformat == V4L2_PIX_FMT_YUYV) {
      // Studio-range red: Y 81, U 90, V 240; the padding is white.
      const std::size_t stride = format_.bytesperline;
      for (std::size_t row = 0; row < static_cast<std::size_t>(h); ++row)
        for (std::size_t p = 0; p + 3 < stride; p += 4) {
          std::uint8_t* q = &data[row * stride + p];
          if (p < static_cast<std::size_t>(w) * 2) q[0] = 81, q[1] = 90, q[2] = 81, q[3] = 240;
          else q[0] = 235, q[1] = 128, q[2] = 235, q[3] = 128;
        }
      b.bytesused = static_cast<std::uint32_t>(stride * h);
    } else {
      std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
      engine::DrawSyntheticFrame(rgb.data(), w, h, static_cast<std::size_t>(w) * 3, true,
                                 static_cast<std::uint32_t>(frameNumber.load()), 128);
      std::string jpeg = platform::EncodeJpeg(
          w, h, platform::TPixelOrder::Bgr, [&](int y) { return rgb.data() + static_cast<std::size_t>(y) * w * 3; },
          {});
      if (corruptNext.exchange(false)) jpeg[1] = 0;  // no start-of-image marker: undecodable
      std::memcpy(data.data(), jpeg.data(), jpeg.size());
      b.bytesused = static_cast<std::uint32_t>(jpeg.size());
    }
    b.index = static_cast<std::uint32_t>(i);
    sequence_ += 1 + sequenceGap.exchange(0);
    b.sequence = sequence_;
    return 0;
  }

  std::mutex mutex_;
  v4l2_pix_format format_ = [] {
    v4l2_pix_format f{};
    f.width = 640, f.height = 480, f.pixelformat = V4L2_PIX_FMT_YUYV, f.bytesperline = 1280;
    return f;
  }();
  std::uint32_t interval_ = 30;
  std::vector<std::vector<std::uint8_t>> buffers_;
  std::vector<bool> queued_;
  std::uint32_t sequence_ = 0;
};

// Collects what the streaming thread hands over.
struct Collector {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::vector<std::uint8_t>> frames;
  int width = 0, height = 0;
  bool lost = false;

  engine::TFrameSink Frames() {
    return [this](const engine::TFrame& f) {
      std::lock_guard lock(mutex);
      frames.emplace_back(f.data, f.data + f.length);
      width = f.width, height = f.height;
      changed.notify_all();
    };
  }
  engine::TEventSink Events() {
    return [this](engine::TGraphEventCode code) {
      std::lock_guard lock(mutex);
      lost |= code == engine::TGraphEventCode::DeviceLost;
      changed.notify_all();
    };
  }
  bool WaitFrames(std::size_t n) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(5), [&] { return frames.size() >= n; });
  }
  bool WaitLost() {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(5), [&] { return lost; });
  }
};

struct Opened {
  Opened() : fake(std::make_shared<FakeUvcCamera>()), backend(fake, false) {
    const auto list = backend.Enumerate(engine::TCategory::VideoInput);
    if (list.size() == 1) source = backend.Open(list[0].moniker);
  }
  std::shared_ptr<FakeUvcCamera> fake;
  engine::TV4l2Backend backend;
  std::unique_ptr<engine::TCaptureSource> source;
};

}  // namespace

TEST(V4l2, ListsTheCameraAndItsFormats) {
  Opened o;
  const auto list = o.backend.Enumerate(engine::TCategory::VideoInput);
  ASSERT_EQ(list.size(), 1u);  // the metadata node is no camera
  EXPECT_EQ(list[0].friendlyName, "Fake UVC Camera");
  EXPECT_EQ(list[0].moniker, "@v4l2#Fake UVC Camera#usb-0000:00:14.0-1#");
  ASSERT_TRUE(o.source);
  ASSERT_EQ(o.source->CapabilityCount(), 5);  // H.264 is left out: nothing here turns it into pictures
  engine::TVideoFormat format;
  engine::TStreamCaps caps;
  ASSERT_TRUE(o.source->GetCapability(0, format, caps));
  EXPECT_EQ(format, (engine::TVideoFormat{engine::kYuy2, 640, 480, 333333, engine::TFormatKind::VideoInfo}));
  EXPECT_EQ(caps.maxFrameInterval, 666666);
  EXPECT_TRUE(o.source->QueryAccept({engine::kMjpg, 1280, 720}));
  EXPECT_FALSE(o.source->QueryAccept({engine::kYuy2, 1280, 720}));

  TStringList sizes, subTypes;
  DiscoverFormats(*o.source, sizes, subTypes, nullptr);
  EXPECT_EQ(sizes.Text(), " 160x120\r\n 320x240\r\n 640x480\r\n1280x720\r\n");
  EXPECT_EQ(subTypes.Text(), "YUY2\r\nMJPG\r\n");

  engine::TProcAmp* amp = o.source->ProcAmp();
  ASSERT_TRUE(amp);
  engine::TControlRange range;
  EXPECT_TRUE(amp->GetRange(0, range));
  EXPECT_EQ(std::make_tuple(range.min, range.max, range.step, range.defaultValue), std::make_tuple(-64, 64, 1, 0));
  EXPECT_FALSE(amp->GetRange(9, range));  // no gain control
  EXPECT_TRUE(amp->Set(0, 10));
  EXPECT_FALSE(amp->Set(0, 100));
  int value = 0;
  EXPECT_TRUE(amp->Get(0, value));
  EXPECT_EQ(value, 10);
  // Colour on and off through the colour-effect menu.
  EXPECT_TRUE(amp->GetRange(ProcAmpProperty(vq_ColorEnable), range));
  EXPECT_EQ(std::make_tuple(range.min, range.max, range.defaultValue), std::make_tuple(0, 1, 1));
  const std::pair<int, int> colour[] = {{0, V4L2_COLORFX_BW}, {1, V4L2_COLORFX_NONE}};
  for (const auto& [enable, effect] : colour) {
    EXPECT_TRUE(amp->Set(ProcAmpProperty(vq_ColorEnable), enable));
    EXPECT_EQ(o.fake->colorEffect, effect);
    EXPECT_TRUE(amp->Get(ProcAmpProperty(vq_ColorEnable), value));
    EXPECT_EQ(value, enable);
  }
  EXPECT_FALSE(amp->Set(ProcAmpProperty(vq_ColorEnable), 2));
  EXPECT_EQ(o.source->Crossbar(), nullptr);  // one input only
}

TEST(V4l2, StreamsYuyvAndMjpegAsRgb24) {
  struct Case {
    const char* name;
    engine::TVideoFormat format;
    std::uint32_t padding;
  };
  const Case cases[] = {{"YUYV", {engine::kYuy2, 320, 240, 666667}, 0},
                        {"YUYV with padded rows", {engine::kYuy2, 320, 240, 666667}, 64},
                        {"MJPEG", {engine::kMjpg, 640, 480, 333333}, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Opened o;
    o.fake->yuyvPadding = c.padding;
    ASSERT_TRUE(o.source->SetFormat(c.format));
    engine::TVideoFormat now;
    ASSERT_TRUE(o.source->GetFormat(now));
    EXPECT_EQ(now.width, c.format.width);
    EXPECT_EQ(FramesPerSecond(now.avgTimePerFrame), c.format.subtype == engine::kYuy2 ? 15 : 30);
    Collector got;
    ASSERT_TRUE(o.source->Start(got.Frames(), got.Events()));
    o.fake->pendingFrames = 1;
    ASSERT_TRUE(got.WaitFrames(1));
    EXPECT_EQ(got.width, c.format.width);
    const auto& f = got.frames[0];
    ASSERT_EQ(f.size(), engine::Rgb24Stride(c.format.width) * c.format.height);
    if (c.format.subtype == engine::kYuy2) {
      // Red everywhere: no row starts inside the padding of the one before.
      int notRed = 0;
      for (int y = 0; y < c.format.height; ++y)
        for (int x = 0; x < c.format.width; ++x) {
          const std::uint8_t* px = &f[y * engine::Rgb24Stride(c.format.width) + x * 3];
          notRed += px[0] > 2 || px[1] > 2 || px[2] < 253;
        }
      EXPECT_EQ(notRed, 0);
    } else {
      EXPECT_EQ(engine::ReadSyntheticFrameNumber(f.data(), c.format.width, c.format.height,
                                                 engine::Rgb24Stride(c.format.width), true),
                77);
      // A damaged picture and a gap in the sequence both count as dropped.
      o.fake->corruptNext = true;
      o.fake->sequenceGap = 2;
      o.fake->pendingFrames = 2;
      ASSERT_TRUE(got.WaitFrames(2));
      long dropped = 0, delivered = 0;
      o.source->DroppedFrames()->GetNumDropped(dropped);
      o.source->DroppedFrames()->GetNumNotDropped(delivered);
      EXPECT_EQ(dropped, 3);
      EXPECT_EQ(delivered, 2);
    }
    EXPECT_FALSE(o.source->SetFormat(c.format));  // not while streaming
    o.source->Stop();
  }
}

TEST(V4l2, AnUnpluggedCameraEndsItsStreamAsLost) {
  Opened o;
  Collector got;
  ASSERT_TRUE(o.source->Start(got.Frames(), got.Events()));
  o.fake->pendingFrames = 1;
  ASSERT_TRUE(got.WaitFrames(1));
  o.fake->lost = true;
  EXPECT_TRUE(got.WaitLost());
  o.source->Stop();
  EXPECT_EQ(got.frames.size(), 1u);
}
