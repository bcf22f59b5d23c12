// The component with synthetic cameras: preview, the graphs it builds, the
// hand-over to another device, its reports and its request queue.

#include "videocapture/VideoCapture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QResizeEvent>
#include <algorithm>
#include <filesystem>
#include <thread>

#include "Capture_helpers.h"
#include "platform/TempHome.h"
#include "videocapture/Devices.h"
#include "videocapture/PropertyFrames.h"
#include "videocapture/VideoWindow.h"

namespace engine = videocapture::engine;
using capture_test::SyntheticWorld;
using capture_test::WaitFor;
using capture_test::Watched;
using Strings = std::vector<std::string>;

namespace {

bool Has(const Strings& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

int CaptureFrameNumber(const TBitmap& b) {
  return engine::ReadSyntheticFrameNumber(b.Bits(), b.Width(), b.Height(), b.Stride(), false);
}

}  // namespace

TEST(VideoCapture, PreviewsASyntheticCameraAndDeliversFramesOnTheGuiThread) {
  SyntheticWorld world(1);
  Watched w;
  w.Tick();
  std::vector<int> numbers;
  std::vector<std::thread::id> threads;
  w.vc->OnFrameCaptureCompleted = [&](TVideoCapture*, const TBitmap* bitmap, TFrameCaptureDest dest,
                                      const std::string& name, bool ok) {
    threads.push_back(std::this_thread::get_id());
    EXPECT_EQ(dest, fc_TBitmap);
    EXPECT_EQ(name, "");
    EXPECT_TRUE(ok);
    numbers.push_back(CaptureFrameNumber(*bitmap));
  };
  w.vc->StartPreview();
  EXPECT_EQ(w.events, (Strings{"ChangeVideoDevice", "PreviewStarted"}));
  EXPECT_EQ(w.errors, Strings{});
  EXPECT_EQ(w.vc->CurrentState(), cs_Preview);
  EXPECT_EQ(w.vc->GetVideoDevices(), "Camera 1\r\n");
  EXPECT_EQ(w.vc->GetVideoSizes(), "160x120\r\n320x180\r\n320x240\r\n640x360\r\n640x480\r\n1280x720\r\n");
  EXPECT_EQ(w.vc->GetVideoSubTypes(), "YUY2\r\nMJPG\r\n");
  EXPECT_EQ(w.vc->VideoWidth(), 320);
  EXPECT_EQ(w.vc->VideoHeight(), 240);

  for (int i = 1; i <= 3; ++i) {
    w.vc->CaptureFrameTo(fc_TBitmap, "");
    world.StepFrames(1);
    ASSERT_TRUE(WaitFor([&] { return numbers.size() == static_cast<std::size_t>(i); }));
  }
  EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3}));
  for (auto id : threads) EXPECT_EQ(id, std::this_thread::get_id());
  // The renderer paints every frame, the grabbed ones too.
  const auto shown = [&] {
    const QImage image = w.vc->VideoWindow()->LatestFrame();
    return engine::ReadSyntheticFrameNumber(image.constBits(), image.width(), image.height(),
                                            static_cast<std::size_t>(image.bytesPerLine()), true);
  };
  EXPECT_TRUE(WaitFor([&] { return shown() == 3; }));

  w.vc->StopPreview();
  EXPECT_EQ(w.vc->CurrentState(), cs_Down);
  EXPECT_TRUE(w.vc->GraphNodes().empty());
  w.vc->CaptureFrameTo(fc_TBitmap, "");  // no graph: nothing, and no event later
  world.StepFrames(2);
  WaitFor([] { return false; }, 100);
  EXPECT_EQ(numbers.size(), 3u);
}

TEST(VideoCapture, BuildsItsGraphByTheDevicesPins) {
  struct Case {
    const char* name;
    bool previewPin;
    bool grabberOnCaptureStream;
    Strings links;
    Strings absent;
  };
  const Case cases[] = {
      {"preview pin", true, false,
       {"Cam.Preview -> AVI Dec Grab.Input", "AVI Dec Grab.Output -> Sample Grabber.Input",
        "Sample Grabber.Output -> Video Renderer.Input", "Microphone.Capture -> Inf Tee.Input"},
       {"Smart Tee", "AVI Mux", "Smart Grabber"}},
      {"no preview pin", false, false,
       {"Cam.Capture -> Smart Tee.Input", "Smart Tee.Preview -> AVI Dec Grab.Input",
        "Sample Grabber.Output -> Video Renderer.Input"},
       {"AVI Mux", "Smart Grabber"}},
      {"grabber on the capture stream", true, true,
       {"Cam.Preview -> Video Renderer.Input", "Cam.Capture -> Smart Grabber.Input",
        "Smart Grabber.Preview -> AVI Dec Grab.Input", "Sample Grabber.Output -> NRenderer.In"},
       {"Smart Tee", "AVI Mux"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SyntheticWorld world(0);
    auto script = engine::TSyntheticCamera::StandardScript("Cam");
    script.pins.preview = c.previewPin;
    world.Backend().AddCamera(script);
    Watched w;
    w.vc->SetFrameGrabberOnCaptureStream(c.grabberOnCaptureStream);
    w.vc->StartPreview();
    ASSERT_EQ(w.vc->CurrentState(), cs_Preview);
    const Strings links = w.vc->GraphLinks();
    const Strings nodes = w.vc->GraphNodes();
    for (const auto& link : c.links) EXPECT_TRUE(Has(links, link)) << link;
    for (const auto& node : c.absent) EXPECT_FALSE(Has(nodes, node)) << node;
    // Starting again replaces the graph instead of adding a second one.
    const int starts = world.Camera(0)->starts;
    w.vc->StartPreview();
    EXPECT_EQ(world.Camera(0)->starts, starts + 1);
    EXPECT_EQ(w.vc->GraphNodes(), nodes);
  }
}

TEST(VideoCapture, ReportsWhatGoesWrongWithItsCodes) {
  struct Case {
    const char* name;
    int cameras;
    bool microphone;
    std::function<void(SyntheticWorld&, Watched&)> act;
    Strings errors;
    TCurrentState state;
    int device;
    bool runs;
  };
  const Case cases[] = {
      {"no camera", 0, true, [](SyntheticWorld&, Watched& w) { w.vc->StartPreview(); },
       {"33 Error: no video device available."}, cs_Preview, 0, false},
      {"first camera fails, the second takes over", 2, true,
       [](SyntheticWorld& world, Watched& w) {
         world.Camera(0)->Faults().startFails = true;
         w.vc->StartPreview();
       },
       {"87 Error: cannot render graph", "91 Warning: can't start: Camera 1"}, cs_Preview, 1, true},
      {"every camera fails: the search ends where it began", 2, true,
       [](SyntheticWorld& world, Watched& w) {
         world.Camera(0)->Faults().startFails = world.Camera(1)->Faults().startFails = true;
         w.vc->StartPreview();
       },
       {"87 Error: cannot render graph", "91 Warning: can't start: Camera 1", "87 Error: cannot render graph",
        "91 Warning: can't start: Camera 2", "33 Error: video device down"},
       cs_Preview, 0, false},
      {"no search: the device is down", 2, true,
       [](SyntheticWorld& world, Watched& w) {
         world.Camera(0)->Faults().startFails = true;
         w.vc->AutoSearchNextAvailVideoDevice = false;
         w.vc->StartPreview();
       },
       {"87 Error: cannot render graph", "91 Warning: can't start: Camera 1", "33 Error: video device down"},
       cs_Preview, 0, false},
      {"stale device index", 2, true,
       [](SyntheticWorld&, Watched& w) {
         w.vc->SetVideoDevice(5);
         w.vc->StartPreview();
       },
       {"40 Warning: Video Device index out of range, index 0 used instead"}, cs_Preview, 0, true},
      {"bad indexes once initialised", 2, true,
       [](SyntheticWorld&, Watched& w) {
         w.Tick();
         w.vc->SetVideoDevice(-1);
         w.vc->SetVideoDevice(7);
       },
       {"40 Error: index out of range", "40 Error: VideoDevice index out of range"}, cs_Down, 7, false},
      {"no microphone", 1, false, [](SyntheticWorld&, Watched& w) { w.vc->StartPreview(); }, {}, cs_Preview, 0,
       true},
      {"no microphone for the sound to be played", 1, false,
       [](SyntheticWorld&, Watched& w) { w.vc->SetRenderAudio(true), w.vc->StartPreview(); },
       {"91 Warning: can't start: Camera 1", "33 Error: video device down"}, cs_Preview, 0, false},
      {"format refused", 1, true,
       [](SyntheticWorld& world, Watched& w) {
         world.Camera(0)->Faults().formatRefused = true;
         w.vc->StartPreview();
       },
       {"57 Error: set Frame Rate"}, cs_Preview, 0, true},
      {"zero frame interval", 1, true,
       [](SyntheticWorld& world, Watched& w) {
         world.Camera(0)->Faults().zeroFrameInterval = true;
         w.vc->StartPreview();
       },
       {}, cs_Preview, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SyntheticWorld world(c.cameras, c.microphone);
    Watched w;
    c.act(world, w);
    EXPECT_EQ(w.errors, c.errors);
    EXPECT_EQ(w.vc->CurrentState(), c.state);
    EXPECT_EQ(w.vc->VideoDevice(), c.device);
    EXPECT_EQ(Has(w.events, "PreviewStarted"), c.runs);
    EXPECT_EQ(w.vc->GraphNodes().empty(), !c.runs);
    EXPECT_EQ(Has(w.events, "NoVideoDevices"), c.cameras == 0);
  }
}

TEST(VideoCapture, QueuedSettersRunInCallOrderAndRebuildOnce) {
  for (const bool logBlocked : {false, true}) {
    SCOPED_TRACE(logBlocked ? "debug log cannot be written" : "debug log written");
    SyntheticWorld world(1);
    const auto folder = std::filesystem::temp_directory_path() / ("vc-queue-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    if (logBlocked) std::filesystem::create_directories(folder / "debug.log");
    {
      Watched w;
      w.vc->DebugLog = true;
      w.Tick();
      bool queued = false;
      w.vc->OnPreviewStarted = [&](TVideoCapture* vc) {
        if (queued) return;
        queued = true;
        EXPECT_TRUE(vc->Busy());
        vc->SetFrameRate(10);
        vc->SetVideoSize(1);  // 320x180, which only MJPG offers
        vc->SetVideoDevice(0);
        vc->SetVideoSubType(1);
      };
      w.vc->StartPreview();
      EXPECT_EQ(w.vc->FrameRate(), 15.0);
      ASSERT_TRUE(WaitFor([&] { return w.vc->VideoSubType() == 1 && !w.vc->Busy(); }));
      EXPECT_EQ(w.vc->FrameRate(), 10.0);
      EXPECT_EQ(w.vc->VideoSize(), 1);
      EXPECT_EQ(world.Camera(0)->starts, 2);  // only the last request rebuilt the graph
      engine::TVideoFormat format = world.Camera(0)->CurrentFormat();
      EXPECT_EQ(format, (engine::TVideoFormat{engine::kMjpg, 320, 180, 1000000, engine::TFormatKind::VideoInfo}));
      EXPECT_EQ(w.errors, Strings{});
      EXPECT_EQ(w.vc->DebugLog, !logBlocked);
      if (!logBlocked) {
        TStringList log;
        log.LoadFromFile(std::string("debug.log"));
        Strings queue;
        for (int i = 0; i < log.Count(); ++i)
          if (log[i].find("IN QUEUE") != std::string::npos) queue.push_back(log[i]);
        EXPECT_EQ(queue, (Strings{"11 ok: IN QUEUE 6", "11 ok: IN QUEUE 21", "11 ok: IN QUEUE 10",
                                  "11 ok: IN QUEUE 22"}));
      }
    }
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
  }
}

TEST(VideoCapture, SizeAndSubTypeIndexesZeroKeepTheDevicesOwnFormat) {
  // Sizes 160x120, 320x180, 320x240, 640x360, 640x480, 1280x720; sub-types
  // YUY2 (its own: 320x240) and MJPG (320x180 upwards, in steps of 320x180).
  const std::string sizeWarning = "40 Warning: VideoSize index out of range, index 0 used instead";
  const std::tuple<int, int, engine::TVideoFormat, Strings> cases[] = {
      {0, 0, {engine::kYuy2, 320, 240}, {}},
      {7, 0, {engine::kYuy2, 320, 240}, {sizeWarning}},
      {-2, 0, {engine::kYuy2, 320, 240}, {sizeWarning}},
      {0, 5, {engine::kYuy2, 320, 240}, {"40 Warning: VideoSubType index out of range, index 0 used instead"}},
      {1, 0, {engine::kYuy2, 320, 240}, {"63 Error: set video size"}},  // only MJPG has it
      {5, 1, {engine::kMjpg, 1280, 720}, {}},
      {0, 1, {engine::kYuy2, 320, 240}, {"63 Error: set video size"}},  // MJPG lacks the own size
  };
  for (const auto& [size, subType, expected, errors] : cases) {
    SCOPED_TRACE(testing::Message() << size << "/" << subType);
    SyntheticWorld world(1);
    Watched w;
    w.vc->SetVideoSize(size);
    w.vc->SetVideoSubType(subType);
    w.vc->StartPreview();
    const engine::TVideoFormat format = world.Camera(0)->CurrentFormat();
    EXPECT_EQ(std::make_tuple(format.subtype, format.width, format.height),
              std::make_tuple(expected.subtype, expected.width, expected.height));
    EXPECT_EQ(w.errors, errors);
  }
}

TEST(VideoCapture, TheBusyCursorLiftsForTheQuestionAndTheNormalOneFollows) {
  testing_support::TempHome home;
  SyntheticWorld world(1);
  Watched w;
  w.Tick();
  w.vc->StoragePath = home.Home().string();
  w.vc->NormalCursor = Qt::CrossCursor;
  const auto shown = [] {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor ? static_cast<int>(cursor->shape()) : -1;
  };
  std::vector<int> seen;
  w.vc->OnPreviewStarted = [&](TVideoCapture*) { seen.push_back(shown()); };
  w.vc->OnCaptureReadyToStart = [&](TVideoCapture*, bool&) { seen.push_back(shown()); };
  w.vc->OnCaptureStarted = [&](TVideoCapture*) { seen.push_back(shown()); };
  w.vc->StartPreview();
  seen.push_back(shown());
  w.vc->StartCapture();
  w.vc->NormalCursor = crDefault;
  w.vc->StopCapture();
  seen.push_back(shown());
  EXPECT_EQ(seen, (std::vector<int>{Qt::WaitCursor, Qt::CrossCursor, Qt::CrossCursor, Qt::WaitCursor,
                                    Qt::WaitCursor, -1}));
}

TEST(VideoCapture, LostDeviceEndsThePreviewAndCanComeBack) {
  SyntheticWorld world(1);
  Watched w;
  w.Tick();
  w.vc->StartPreview();
  ASSERT_EQ(w.vc->CurrentState(), cs_Preview);
  world.Camera(0)->SetPresent(false);
  world.StepFrames(1);
  ASSERT_TRUE(WaitFor([&] { return Has(w.events, "DeviceLost"); }));
  EXPECT_TRUE(w.vc->GraphNodes().empty());
  w.vc->ShutdownGraph();
  EXPECT_EQ(w.vc->CurrentState(), cs_Down);
  world.Camera(0)->SetPresent(true);
  w.events.clear();
  w.vc->StartPreview();
  EXPECT_EQ(w.events, Strings{"PreviewStarted"});
}

TEST(VideoCapture, DialogsChangeTheDeviceAndTheChosenFormatReadsBack) {
  struct Answers : TPropertyFrames {
    int devicePages = 0;
    bool ShowStreamConfig(QWidget*, engine::TCaptureSource& source, engine::TVideoFormat& format) override {
      EXPECT_TRUE(source.QueryAccept({engine::kMjpg, 640, 360}));
      format = {engine::kMjpg, 640, 360, 666667};
      return true;
    }
    void ShowDevicePages(QWidget*, engine::TCaptureSource& source) override {
      ++devicePages;
      source.ProcAmp()->Set(0, 10);
    }
  } answers;
  SetPropertyFrames(&answers);
  SyntheticWorld world(1);
  Watched w;
  w.Tick();
  EXPECT_FALSE(w.vc->IsDialogAvailable(dlg_Device));  // nothing to ask before a graph exists
  w.vc->StartPreview();
  EXPECT_TRUE(w.vc->IsDialogAvailable(dlg_Device));
  EXPECT_TRUE(w.vc->IsDialogAvailable(dlg_StreamConfig));
  EXPECT_FALSE(w.vc->IsDialogAvailable(dlg_TVTuner));
  const int starts = world.Camera(0)->starts;
  w.vc->ShowDialog(dlg_StreamConfig);
  EXPECT_EQ(world.Camera(0)->starts, starts + 1);
  EXPECT_EQ(w.vc->VideoSubType(), 1);  // MJPG
  EXPECT_EQ(w.vc->VideoSize(), 3);     // 640x360
  EXPECT_EQ(w.vc->FrameRate(), 15.0);
  EXPECT_EQ(w.vc->VideoWidth(), 640);
  // The synthetic camera takes settings while it streams: no rebuild around its page.
  w.vc->ShowDialog(dlg_Device);
  EXPECT_EQ(answers.devicePages, 1);
  EXPECT_EQ(world.Camera(0)->starts, starts + 1);
  EXPECT_EQ(w.vc->GetVideoQuality(vq_Brightness), 10);
  EXPECT_EQ(w.errors, Strings{});
  SetPropertyFrames(nullptr);
}

TEST(VideoCapture, FitsTheVideoWindowIntoThePanel) {
  struct Case {
    bool autoSize, keepRatio;
    int zoom;
    QRect window;
    QSize panel;
  };
  // A 320x240 picture in a 200x160 panel whose border takes 2 pixels a side.
  const Case cases[] = {
      {false, true, 100, {2, 6, 196, 147}, {200, 160}},
      {false, false, 100, {2, 2, 196, 156}, {200, 160}},
      {true, true, 100, {2, 2, 320, 240}, {324, 244}},
      {true, true, 50, {2, 2, 160, 120}, {164, 124}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.autoSize << c.keepRatio << c.zoom);
    SyntheticWorld world(1);
    Watched w;
    std::vector<std::pair<int, int>> resized;
    w.vc->OnResizeVideo = [&](TVideoCapture*, int width, int height) { resized.emplace_back(width, height); };
    w.vc->SetAutoSize(c.autoSize);
    w.vc->MaintainImageRatio = c.keepRatio;
    w.vc->SetZoomSize(c.zoom);
    w.vc->StartPreview();
    // Without AutoSize the picture keeps its own size in the panel's corner
    // until the panel is resized (the webcam window asks for that).
    if (!c.autoSize) {
      EXPECT_EQ(std::make_pair(resized.empty(), w.vc->VideoWindow()->geometry()),
                std::make_pair(true, QRect(2, 2, 320, 240)));
      QResizeEvent resize(w.vc->size(), w.vc->size());
      QCoreApplication::sendEvent(w.vc.get(), &resize);
    }
    EXPECT_EQ(w.vc->VideoWindow()->geometry(), c.window);
    EXPECT_EQ(w.vc->size(), c.panel);
    ASSERT_FALSE(resized.empty());
    EXPECT_EQ(resized.front(), std::make_pair(320, 240));
  }

}

// The window that owns a component may close from any event the component
// pumps or fires: at its first tick, from a report of a lost device, or from a
// message its tick delivers. The component must not be touched afterwards
// (the sanitizer build sees any use), and the manager ticks on without it.
TEST(VideoCapture, AComponentFreedFromItsOwnTickIsLeftAlone) {
  SyntheticWorld world(1);
  Watched loaded;
  loaded.vc->OnComponentLoaded = [&](TVideoCapture*) { loaded.vc.reset(); };
  // The manager's first tick in a process only hooks device changes.
  for (int i = 0; i < 2 && loaded.vc; ++i) DevicesManager()->Tick();
  EXPECT_EQ(loaded.vc, nullptr);

  Watched lost;
  lost.Tick();
  lost.vc->StartPreview();
  ASSERT_EQ(lost.vc->CurrentState(), cs_Preview);
  lost.vc->OnDeviceLost = [&](TVideoCapture*) { lost.vc.reset(); };
  world.Camera(0)->SetPresent(false);
  world.StepFrames(1);
  ASSERT_TRUE(WaitFor([&] { return lost.vc == nullptr; }));
  world.Camera(0)->SetPresent(true);

  Watched posted;
  posted.Tick();
  posted.vc->StartPreview();
  QMetaObject::invokeMethod(qApp, [&] { posted.vc.reset(); }, Qt::QueuedConnection);
  DevicesManager()->Tick();
  EXPECT_EQ(posted.vc, nullptr);
  DevicesManager()->Tick();
}
