#pragma once

// What the webcam tests share: a user whose listener takes cam requests, the
// scripted peers of tests/support/cam_peer.py run beside the test's event
// loop, a synthetic camera, and djpeg as the judge of received pictures.

#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "core/Loopback_helpers.h"
#include "core/session/Prompts.h"
#include "platform/TempHome.h"

class TCamRoutes;
class TFormCam;
class TSession;

namespace cam_test {

// One scripted viewer's report (see cam_peer.py).
struct TViewerReport {
  std::string Name;
  std::vector<std::string> Pictures;  // the files they were kept in
  std::vector<std::string> Breaches;
  int Refused = 0;  // 1032 or 1038; 0 when admitted
  bool Closed = false;
  std::vector<std::pair<double, int>> Timeline;  // (seconds, code received)
  int Count(int code) const;
};

// One viewer of a spec, and the viewers of a spec side by side against the
// loopback port, the event loop running until they are done.
std::string Viewer(const std::string& name, const std::string& mode, double seconds, const std::string& uid,
                   const std::string& listenPort = "2960");
std::vector<TViewerReport> RunViewers(int port, const std::string& viewers);

// A broadcaster for one caller, playing a script of steps.
class TScriptedBroadcaster {
 public:
  explicit TScriptedBroadcaster(const std::string& steps);
  int Port() const { return port_; }
  // "PASSED" or "FAILED: ..." once the script ended.
  std::string Wait();

 private:
  QTemporaryDir dir_;
  QProcess process_;
  int port_ = 0;
};

// "Allow Viewer?" answered by the test.
struct TCamPrompts : TPrompts {
  bool allow = false;
  int asked = 0;
  int thinkMs = 0;  // how long the user takes to answer
  int informed = 0;  // boxes shown
  TQuestion AskYesNoLater(const std::string& text, const std::string& caption, int timeoutMs,
                          std::function<void(bool)> answered) override;
  void ShowInformation(const std::string&, const std::string&) override { ++informed; }
};

// A user on a home of its own, listening, with the cam routes in place and a
// synthetic camera.
struct TCamUser {
  testing_support::TempHome home;
  TCamPrompts prompts;
  std::unique_ptr<TSession> session;
  std::unique_ptr<TCamRoutes> routes;
  int port = testing_support::FreePort();

  // With `firstCameraFails`, a second camera stands behind one that cannot start.
  explicit TCamUser(bool firstCameraFails = false);
  ~TCamUser();
  // The broadcast window, once its preview runs, at this picture interval.
  TFormCam* Open(int intervalMs);
};

// The synthetic camera's number in a JPEG file as djpeg decodes it; -2 when
// djpeg refuses the file.
int DjpegFrameNumber(const std::string& file);
// A JPEG of the synthetic picture `number`, padded with zeros after its end
// to `size` bytes.
std::string SyntheticJpeg(int number, std::size_t size);
// A grey progressive JPEG of width x height whose last scan (a refinement of
// the brightness, a few bytes) is repeated until the picture has `scans`
// scans (never fewer than its encoder wrote, ten).
std::string RepeatedScanJpeg(int width, int height, int scans);
// The synthetic picture as a camera of that size takes it, with its noise.
std::string CameraJpeg(int width, int height, int quality, bool progressive);
// A grey arithmetic-coded progressive JPEG of a few hundred bytes: a scan of
// the brightness, then `scans` - 1 of the whole band, none with coded data.
std::string ArithmeticJpeg(int width, int height, int scans);

}  // namespace cam_test
