#include "conversations/CamTestHooks.h"

#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <functional>

#include "conversations/CamRoutes.h"
#include "conversations/FormCam.h"
#include "core/session/TestHooks.h"
#include "platform/Strings.h"
#include "videocapture/engine/SyntheticCamera.h"

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? std::string() : std::string(v);
}

// Runs once the main window's first show (settings, profile) is through: it
// is queued at start as well, after these hooks.
void AfterFirstShow(std::function<void()> step) {
  QTimer::singleShot(0, [step = std::move(step)] { QTimer::singleShot(0, step); });
}

}  // namespace

void AttachCamTestHooks(TCamRoutes& routes) {
  if (!testhooks::Enabled()) return;
  if (Env("PARLO_TEST_CAM_ALLOW") == "1")
    routes.AskAllow = [](const std::string&, std::function<void(bool)> answered) {
      answered(true);
      return TQuestion();
    };
  const std::string decision = Env("PARLO_TEST_CAM_DECISION");
  if (!decision.empty()) {
    const int n = platform::StrToIntDef(decision, 0);
    routes.AskDecision = [n](const std::string&, bool, std::function<void(int)> answered) {
      answered(n);
      return TQuestion();
    };
  }
  const std::string view = Env("PARLO_TEST_CAM_VIEW");
  const std::size_t colon = view.find(':');
  if (colon != std::string::npos) {
    const std::string user = view.substr(0, colon), port = view.substr(colon + 1);
    AfterFirstShow([&routes, user, port] { routes.OpenCamViewer(user, "127.0.0.1", port); });
  }
  if (Env("PARLO_TEST_CAM_BROADCAST") != "1") return;
  const int interval = testhooks::IntervalMs("PARLO_TEST_CAM_INTERVAL_MS", 0);
  const std::string invite = Env("PARLO_TEST_CAM_INVITE");
  AfterFirstShow([&routes, interval, invite] {
    TFormCam* form = routes.ActionCamBroadcastExecute();
    if (form == nullptr) return;
    if (interval > 0) form->Broadcast().CamTime.SetInterval(interval);
    if (!invite.empty()) routes.SendCamInvitation("127.0.0.1", invite);
  });
}

void TraceCamPicture(QWidget& window, const QImage& picture) {
  if (!testhooks::Enabled()) return;
  static int shown = 0;
  int number = -1;
  if (!picture.isNull()) {
    // The synthetic camera's number, read as its reader expects: blue, green, red.
    const QImage bgr = picture.convertToFormat(QImage::Format_BGR888);
    number = videocapture::engine::ReadSyntheticFrameNumber(bgr.constBits(), bgr.width(), bgr.height(),
                                                            static_cast<std::size_t>(bgr.bytesPerLine()), true);
  }
  testhooks::Trace("cam picture " + std::to_string(number));
  const std::string grab = Env("PARLO_TEST_CAM_GRAB");
  if (++shown != 3 || grab.empty()) return;
  QPointer<QWidget> w(window.window());
  QTimer::singleShot(300, w.data(), [w, grab] {
    if (w && w->grab().save(QString::fromStdString(grab))) testhooks::Trace("cam grabbed");
  });
}
