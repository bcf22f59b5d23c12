// The broadcast from the synthetic camera to the scripted viewers of
// tests/support/cam_peer.py, through the peer listener's admission.

#include "conversations/CamBroadcast.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QTimer>
#include <fstream>
#include <iterator>
#include <memory>

#include "Cam_helpers.h"
#include "common/Settle.h"
#include "conversations/CamRoutes.h"
#include "conversations/FormCam.h"
#include "core/session/Paths.h"
#include "core/session/Session.h"
#include "platform/Charset.h"
#include "platform/EventLoop.h"
#include "platform/FileNames.h"
#include "videocapture/VideoCapture.h"

using cam_test::Viewer;

// Who gets in: nobody without a broadcast, then the user's answer, never a
// blocked user, and an invited peer without a question: that peer only
// (address and listen port), once, and not after the invitation expired.
TEST(CamBroadcast, AdmitsByQuestionInvitationAndBlockedList) {
  cam_test::TCamUser b;
  auto one = [&b](const std::string& uid, const std::string& port, double seconds = 0.8) {
    const auto reports = cam_test::RunViewers(b.port, "[" + Viewer("Vic", "stall", seconds, uid, port) + "]");
    return reports.empty() ? cam_test::TViewerReport{} : reports[0];
  };
  const cam_test::TViewerReport early = one("70000001", "2960");
  EXPECT_EQ(early.Refused, 1038);
  EXPECT_EQ(b.prompts.asked, 0);

  TFormCam* form = b.Open(100);
  ASSERT_NE(form, nullptr);
  EXPECT_FALSE(form->Broadcast().CamTime.Enabled());  // no picture before the first viewer
  b.session->BlockedList.Add("70000009,Blocked");

  struct Case {
    const char* name;
    bool allow;
    std::function<void()> before;
    std::string uid, port;
    bool admitted;
    int refused;
    int asked;  // questions put for it
    int thinkMs = 0;
    double stays = 0.8;  // the viewer's seconds on the link
  };
  const Case cases[] = {
      {"answered no", false, [] {}, "70000001", "2960", false, 1032, 1},
      {"answered yes", true, [] {}, "70000001", "2960", true, 0, 1},
      // The question is answered after the viewer has gone: nobody is admitted.
      {"hung up meanwhile", true, [] {}, "70000005", "2960", false, 0, 1, 700, 0.3},
      {"blocked", true, [] {}, "70000009", "2960", false, 0, 1},
      {"invited", false, [&] { b.routes->GrantAdmission("127.0.0.1", "2999"); }, "70000002", "2999", true, 0, 0},
      {"invitation used up", false, [] {}, "70000002", "2999", false, 1032, 1},
      {"another port", false, [&] { b.routes->GrantAdmission("127.0.0.1", "2999"); }, "70000003", "3000", false, 1032,
       1},
      {"expired", false,
       [&] {
         b.routes->GrantLifetimeMs = 1;
         b.routes->GrantAdmission("127.0.0.1", "3001");
         testing_support::Settle(20);
       },
       "70000004", "3001", false, 1032, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    b.prompts.allow = c.allow;
    b.prompts.thinkMs = c.thinkMs;
    c.before();
    const int asked = b.prompts.asked;
    const cam_test::TViewerReport r = one(c.uid, c.port, c.stays);
    EXPECT_EQ(r.Count(1031) == 1, c.admitted);
    EXPECT_EQ(r.Refused, c.refused);
    EXPECT_EQ(b.prompts.asked - asked, c.asked);
    if (c.admitted) {  // a stalled viewer gets one picture
      EXPECT_EQ(r.Pictures.size(), 1u);
    }
    EXPECT_TRUE(r.Breaches.empty());
    // Gone from the list with its link, whatever became of it.
    EXPECT_TRUE(platform::ProcessMessagesUntil([&] { return form->Broadcast().ViewerSocket("Vic") == nullptr; }, 2000));
  }
  EXPECT_TRUE(form->Broadcast().CamTime.Enabled());
}

// Two ready viewers, a slow one, one that never asks again and one that
// resets its link, with the broadcast paused for a while and an error on one
// link: every picture is asked for and whole (djpeg reads the camera's rising
// numbers), the slow viewer gets fewer, the stalled one stays listed with its
// one picture, a reset or an error ends that viewer's link only, and a pause
// sends 1036 in place of pictures.
TEST(CamBroadcast, FansOutToReadySlowStalledAndPausedViewers) {
  cam_test::TCamUser b;
  b.prompts.allow = true;
  TFormCam* form = b.Open(60);
  ASSERT_NE(form, nullptr);
  int listedLate = -1;
  std::string pausedStatus;
  // The steps count from the moment the viewers are in (Ed may have left
  // already), however long they took to start.
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (form->Broadcast().ViewerCount() < 4) return;
    watch.stop();
    QTimer::singleShot(1200, [form] { form->CheckPause->setChecked(true); });
    QTimer::singleShot(1700, [form, &pausedStatus] { pausedStatus = form->StatusText(); });
    QTimer::singleShot(2000, [form] { form->CheckPause->setChecked(false); });
    QTimer::singleShot(2400, [form] {
      TParloSocket* bob = form->Broadcast().ViewerSocket("Bob");
      ASSERT_NE(bob, nullptr);
      bob->OnError(bob);
    });
    QTimer::singleShot(2800, [form, &listedLate] { listedLate = form->Broadcast().ViewerCount(); });
  });
  watch.start(10);
  const std::vector<cam_test::TViewerReport> reports = cam_test::RunViewers(
      b.port, "[" + Viewer("Ann", "ready", 3.5, "71000001") + "," + Viewer("Bob", "ready", 3.5, "71000002") + "," +
                  Viewer("Cy", "slow", 3.5, "71000003") + "," + Viewer("Di", "stall", 3.5, "71000004") + "," +
                  Viewer("Ed", "reset", 3.5, "71000005") + "]");
  ASSERT_EQ(reports.size(), 5u);
  EXPECT_EQ(pausedStatus, "Video is paused...");
  EXPECT_EQ(listedLate, 3);  // Ed and Bob left; Di, who stalled, is still listed

  std::map<std::string, const cam_test::TViewerReport*> by;
  for (const auto& r : reports) {
    by[r.Name] = &r;
    EXPECT_TRUE(r.Breaches.empty()) << r.Name << ": " << r.Breaches.front();
    EXPECT_EQ(r.Count(1031), 1) << r.Name;
  }
  for (const char* name : {"Ann", "Bob"}) {
    const cam_test::TViewerReport& r = *by[name];
    SCOPED_TRACE(name);
    EXPECT_GE(r.Pictures.size(), 10u);
    int last = -1;
    for (const std::string& file : r.Pictures) {
      const int number = cam_test::DjpegFrameNumber(file);
      EXPECT_GT(number, last) << file;
      last = number;
    }
    // The pause: 1036 in a run of its own, pictures before and after it.
    const auto& t = r.Timeline;
    const auto first = std::find_if(t.begin(), t.end(), [](auto& e) { return e.second == 1036; });
    const auto after = std::find_if(t.rbegin(), t.rend(), [](auto& e) { return e.second == 1036; }).base();
    ASSERT_NE(first, t.end());
    EXPECT_EQ(std::count_if(first, after, [](auto& e) { return e.second == 1034; }), 0);
    // Bob leaves 400 ms after the pause ends, so on a loaded machine only a
    // picture or two may reach him: what counts is that they come again.
    EXPECT_GT(std::count_if(after, t.end(), [](auto& e) { return e.second == 1034; }), 0);
    // Pictures went on after Ed's reset.
    EXPECT_GT(t.back().first, by["Ed"]->Timeline.back().first);
  }
  // Bob's link ended with its error, long before the others'.
  EXPECT_TRUE(by["Bob"]->Closed);
  EXPECT_LT(by["Bob"]->Timeline.back().first + 0.5, by["Ann"]->Timeline.back().first);
  EXPECT_GT(by["Cy"]->Pictures.size(), 0u);
  EXPECT_LT(by["Cy"]->Pictures.size(), by["Ann"]->Pictures.size());
  for (const std::string& file : by["Cy"]->Pictures) EXPECT_GE(cam_test::DjpegFrameNumber(file), 0) << file;
  EXPECT_EQ(by["Di"]->Pictures.size(), 1u);
  EXPECT_EQ(by["Ed"]->Pictures.size(), 1u);

  // A snapshot waits in the temporary folder while the user chooses, and is
  // copied from there, to the name as the dialog gave it: the dialog adds
  // "jpg" to a bare name before it asks about replacing a file, and nothing
  // is added after it.
  const std::string aside = b.session->Paths().TmpFilesPath + "snapshot.jpg";
  const std::string kept = b.session->Paths().FilesPath + "snap";
  bool wasAside = false;
  std::string asked;
  form->ChooseSnapshotFile = [&](const std::string& title, const std::string& filter, std::string& name,
                                 const std::string& defaultExt) {
    wasAside = platform::FileExists(aside);
    asked = title + "|" + filter + "|" + defaultExt;
    name = kept;
    return true;
  };
  const std::string picture = form->Broadcast().LastPicture();
  form->SnapCamImageClick();
  EXPECT_TRUE(wasAside);
  EXPECT_EQ(asked, "Save Cam Snapshot|JPG File (*.jpg)|*.jpg|jpg");
  EXPECT_FALSE(platform::FileExists(aside));
  EXPECT_FALSE(platform::FileExists(kept + ".jpg"));
  std::ifstream copy(platform::PathFromName(kept), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copy), {}), picture);
}

// A camera that cannot start hands over to the next one: the broadcast goes
// on, and what went wrong is shown in the status line, with no box that says
// the video has ended.
TEST(CamBroadcast, GoesOnWhenTheNextCameraTakesOver) {
  cam_test::TCamUser b(true);
  TFormCam* form = b.Open(100);
  ASSERT_NE(form, nullptr);
  EXPECT_TRUE(platform::ProcessMessagesUntil(
      [form] { return form->StatusText().find("can't start: Camera 1") != std::string::npos; }, 2000));
  platform::ProcessMessagesUntil([] { return false; }, 100);
  EXPECT_TRUE(form->VideoUsable());
  EXPECT_TRUE(form->CheckVid->isChecked());
  EXPECT_TRUE(form->CheckVid->isEnabled());
  EXPECT_EQ(b.prompts.informed, 0);
  // Once no camera is left, each video event tells its own box (a lost
  // device has none), the first as much as the ones after it.
  form->Video->OnErrorLog(form->Video, 1, "first");
  form->Video->OnErrorLog(form->Video, 2, "second");
  platform::ProcessMessagesUntil([] { return false; }, 100);
  EXPECT_FALSE(form->VideoUsable());
  EXPECT_EQ(form->StatusText(), "second");
  form->Video->OnDeviceLost(form->Video);
  form->Video->OnNoVideoDevices(form->Video);
  form->Video->OnDirectX8Required(form->Video);
  platform::ProcessMessagesUntil([] { return false; }, 100);
  EXPECT_EQ(b.prompts.informed, 4);
  EXPECT_EQ(form->StatusText(), "DirectX 8.0 Needed");
  delete form;
}
