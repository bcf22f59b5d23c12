// The shared device lists, the manager's debounced rescans, the format cache
// and the sizes, rates and controls a device offers through the component.

#include "videocapture/Devices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Capture_helpers.h"
#include "platform/TempHome.h"
#include "videocapture/RegKey.h"
#include "videocapture/VideoFormats.h"
#include "videocapture/engine/AlsaBackend.h"
#include "videocapture/engine/DvSource.h"

namespace engine = videocapture::engine;
using capture_test::SyntheticWorld;
using capture_test::Watched;

TEST(Devices, ListsEntriesByTheirRules) {
  SyntheticWorld world(0, false);
  auto& b = world.Backend();
  b.AddCamera(engine::TSyntheticCamera::StandardScript("Twin"));
  b.AddCamera(engine::TSyntheticCamera::StandardScript("Twin"));
  auto legacy = engine::TSyntheticCamera::StandardScript("Old Cam");
  legacy.driver = engine::TDriverKind::Legacy;
  b.AddCamera(legacy);
  auto streaming = engine::TSyntheticCamera::StandardScript("KS Cam");
  streaming.driver = engine::TDriverKind::KernelStreaming;
  b.AddCamera(streaming);
  b.RepeatEntry(engine::TCategory::VideoInput, 0);  // an enumerator that lists one device twice
  b.AddEntry(engine::TCategory::VideoCompressor, "Microsoft h.263 Video Codec");
  b.AddEntry(engine::TCategory::VideoCompressor, "Motion JPEG Codec");
  b.AddEntry(engine::TCategory::AudioCompressor, "IAC2");
  b.AddEntry(engine::TCategory::AudioCompressor, "PCM");
  Watched w;
  EXPECT_EQ(w.vc->GetVideoDevices(), "Twin\r\nTwin\r\nOld Cam (vfw)\r\nKS Cam (WDM)\r\n");
  EXPECT_EQ(w.vc->GetVideoCompressors(), "Motion JPEG Codec\r\n");
  EXPECT_EQ(w.vc->GetAudioCompressors(), "PCM\r\n");
  EXPECT_EQ(w.vc->GetAudioDevicesCount(), 0);
  const std::pair<int, std::string> names[] = {{-1, ""}, {0, "Twin"}, {3, "KS Cam (WDM)"}, {4, ""}, {256, ""}};
  for (const auto& [index, name] : names) EXPECT_EQ(w.vc->VideoDeviceName(index), name) << index;
}

TEST(Devices, ChangesAreReportedASecondAfterTheLastNoticeAndKeepIndexes) {
  SyntheticWorld world(1);
  Watched w;
  std::int64_t now = 0;
  TDevicesManager& manager = *DevicesManager();
  manager.SetClock([&] { return now; });
  w.Tick();
  int arrivals = 0, removals = 0;
  w.vc->OnDeviceArrival = [&](TVideoCapture*) { ++arrivals; };
  w.vc->OnDeviceRemoval = [&](TVideoCapture*) { ++removals; };
  auto at = [&](std::int64_t ms) {
    now = ms;
    manager.Tick();
  };

  world.Backend().AddCamera(engine::TSyntheticCamera::StandardScript("Camera 2"));
  world.Backend().NotifyChange();
  at(600);
  world.Backend().NotifyChange();  // a second notice moves the deadline
  at(1200);
  EXPECT_EQ(arrivals, 0);
  at(1700);
  EXPECT_EQ(arrivals, 1);
  EXPECT_EQ(w.vc->GetVideoDevices(), "Camera 1\r\nCamera 2\r\n");

  world.Camera(0)->SetPresent(false);
  world.Backend().NotifyChange();
  at(2800);
  EXPECT_EQ(removals, 1);
  EXPECT_EQ(w.vc->GetVideoDevices(), "Camera 1\r\nCamera 2\r\n");  // indexes stay as they were

  world.Camera(0)->SetPresent(true);
  world.Backend().NotifyChange();
  at(3900);
  EXPECT_EQ(arrivals, 2);
  EXPECT_EQ(w.vc->GetVideoDevices(), "Camera 1\r\nCamera 2\r\n");
  EXPECT_EQ(manager.RescanDue(), 0);
}

TEST(Devices, FormatsAreDiscoveredOnceAndCached) {
  SyntheticWorld world(1);
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    FinalizeVideoDevices();  // as a new process would
    Watched w;
    w.Tick();
    int discoveries = 0;
    w.vc->OnDiscoveringNewDevice = [&](TVideoCapture*, const std::string& name, bool done) {
      EXPECT_EQ(name, "Camera 1");
      discoveries += done;
    };
    w.vc->StartPreview();
    EXPECT_EQ(discoveries, run == 0 ? 1 : 0);
    // The listed sizes that fall within the camera's two capabilities
    // (YUY2 160x120 to 640x480, MJPEG 320x180 to 1280x720), found by the
    // first run and read back from the cache by the second.
    EXPECT_EQ(w.vc->GetVideoSizes(), "160x120\r\n320x180\r\n320x240\r\n640x360\r\n640x480\r\n1280x720\r\n");
    Watched loading;  // not initialised yet: it has no lists to tell
    EXPECT_EQ(loading.vc->GetVideoSizes() + loading.vc->GetVideoSubTypes(), "");
  }
  TRegKey key("\\Software\\VideoCapture\\");
  EXPECT_TRUE(key.MachineWritable());
  platform::TRegistry machine(platform::RegRoot::LocalMachine);
  EXPECT_FALSE(machine.KeyExists("\\Software\\VideoCapture\\vcaptest"));
  // A shorter list replaces a longer one whole.
  TStringList sizes, subTypes, readSizes, readSubTypes;
  sizes.Add(" 320x240");
  sizes.Add(" 640x480");
  subTypes.Add("RGB24");
  key.StoreDeviceLists("dev", sizes, subTypes);
  ASSERT_TRUE(key.LoadDeviceLists("dev", readSizes, readSubTypes));
  sizes.Clear();
  sizes.Add(" 160x120");
  key.StoreDeviceLists("dev", sizes, subTypes);
  ASSERT_TRUE(key.LoadDeviceLists("dev", readSizes, readSubTypes));
  EXPECT_EQ(readSizes.Text(), " 160x120\r\n");

  // The machine's settings closed (a folder where the file would be stops
  // even root): the user's take the cache, and keep no scratch key either.
  std::filesystem::remove(platform::RegistryFile(platform::RegRoot::LocalMachine));
  std::filesystem::create_directories(platform::RegistryFile(platform::RegRoot::LocalMachine) / "closed");
  EXPECT_EQ(TRegKey("\\Software\\VideoCapture\\").Root(), platform::RegRoot::CurrentUser);
  EXPECT_FALSE(platform::TRegistry(platform::RegRoot::CurrentUser).KeyExists("\\Software\\VideoCapture\\vcaptest"));
}

TEST(Devices, RatesSizesAndControls) {
  const std::pair<double, engine::TRefTime> rates[] = {{29.97, 333667}, {15, 666667}, {30, 333333}, {0, 0}, {-4, 0},
                                                       {0.004, 0}};
  for (const auto& [rate, interval] : rates) EXPECT_EQ(FrameInterval(rate), interval) << rate;
  EXPECT_EQ(FramesPerSecond(333667), 29);
  EXPECT_EQ(FramesPerSecond(666667), 15);
  EXPECT_EQ(FramesPerSecond(0), 0);
  EXPECT_EQ(SizeEntry(320, 240), " 320x240");
  int w = -1, h = -1;
  ParseSizeEntry(" 1280x 720", w, h);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(1280, 720));
  EXPECT_EQ(AudioFormatsText().rfind("default\r\n8000 Hz, 8-bit Mono\r\n8000 Hz, 8-bit Stereo\r\n", 0), 0u);

  // A capability whose limits are zero or absurd still ends its walk.
  SyntheticWorld world(0);
  auto script = engine::TSyntheticCamera::StandardScript("Odd");
  script.capabilities[0].caps = {0, 0, 1 << 30, 1 << 30, 1, 1, 0, 0};
  world.Backend().AddCamera(script);
  Watched vc;
  vc.vc->SetVideoSize(1);
  vc.Tick();
  vc.vc->StartPreview();
  EXPECT_EQ(vc.vc->GetVideoSizes().rfind("1x1\r\n2x1\r\n2x2\r\n", 0), 0u);
  EXPECT_EQ(vc.vc->VideoWidth(), 2);

  EXPECT_EQ(vc.vc->VideoQualityMax(vq_Brightness), 255);
  EXPECT_EQ(vc.vc->GetVideoQuality(vq_Brightness), 128);
  EXPECT_TRUE(vc.vc->SetVideoQuality(vq_Brightness, 200));
  EXPECT_EQ(vc.vc->GetVideoQuality(vq_Brightness), 200);
  EXPECT_FALSE(vc.vc->SetVideoQuality(vq_Brightness, 400));
  EXPECT_EQ(vc.vc->GetVideoQuality(vq_Gain), 2147483647);
  EXPECT_FALSE(vc.vc->IsVideoQualitySettingAvailable(vq_WhiteBalance));
  EXPECT_EQ(vc.errors, std::vector<std::string>{});
}

TEST(Devices, SoundInputsAndCamcordersComingAndGoingAreNoticed) {
  capture_test::App();
  testing_support::TempHome home;
  const std::filesystem::path dev = home.Home();
  std::filesystem::create_directories(dev);
  int notices = 0;
  auto alsa = engine::MakeAlsaBackend(dev.string());
  auto dv = engine::MakeDvBackend(nullptr, dev.string());
  alsa->Watch([&] { ++notices; });
  dv->Watch([&] { ++notices; });
  // Only the nodes of capture devices and of IEEE 1394 units count.
  const std::pair<const char*, bool> nodes[] = {
      {"pcmC1D0p", false}, {"controlC1", false}, {"pcmC1D0c", true}, {"fw1", true}, {"video3", false}};
  for (const auto& [node, counts] : nodes) {
    for (const bool plugged : {true, false}) {
      const int before = notices;
      if (plugged) std::ofstream(dev / node).put('x');
      else std::filesystem::remove(dev / node);
      EXPECT_EQ(capture_test::WaitFor([&] { return notices > before; }, counts ? 2000 : 100), counts) << node;
    }
  }
  // A machine that had no sound card when the program started has no
  // /dev/snd: the first card brings it, and it may go and come back.
  const std::filesystem::path snd = dev / "later" / "snd";
  int sounds = 0;
  auto later = engine::MakeAlsaBackend(snd.string());
  later->Watch([&] { ++sounds; });
  for (int round = 0; round < 2; ++round) {
    const int before = sounds;
    std::filesystem::create_directories(snd);
    std::ofstream(snd / "pcmC0D0c").put('x');
    EXPECT_TRUE(capture_test::WaitFor([&] { return sounds > before; }, 2000)) << round;
    std::filesystem::remove_all(dev / "later");
    EXPECT_TRUE(capture_test::WaitFor([&] { return sounds > before + 1; }, 2000)) << round;
  }
}
