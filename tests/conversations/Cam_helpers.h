#pragma once

// What the webcam tests share: the scripted peers of tests/support/cam_peer.py
// run as child processes while the test's event loop goes on, a synthetic
// camera on the real clock, and djpeg as the judge of received pictures.

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

// The questions a cam user is asked, answered by the test.
struct TCamPrompts : TPrompts {
  bool allow = false;
  int asked = 0;
  bool AskYesNo(const std::string& text, const std::string& caption, bool noIsDefault) override;
};

struct TViewerReport;

// A user on a home of its own whose listener takes view requests and offers,
// with the cam routes in place and a synthetic camera.
struct TCamUser {
  testing_support::TempHome home;
  TCamPrompts prompts;
  std::unique_ptr<TSession> session;
  std::unique_ptr<TCamRoutes> routes;
  int port = testing_support::FreePort();

  TCamUser();
  ~TCamUser();
  // The broadcast window, once its preview runs, at this picture interval.
  TFormCam* Open(int intervalMs);
  std::vector<TViewerReport> View(const std::string& spec);
};

// One scripted viewer's report (see cam_peer.py).
struct TViewerReport {
  std::string Name, Mode;
  std::vector<std::string> Pictures;  // the kept files
  std::vector<std::string> Breaches;
  int Refused = 0;  // 1032 or 1038, 0 when admitted
  bool Closed = false;
  // (seconds, code) of every line received.
  std::vector<std::pair<double, int>> Timeline;
  int Count(int code) const;
};

// Scripted viewers side by side against 127.0.0.1:port. Start() returns at
// once; Wait() runs the event loop until they are done.
class TScriptedViewers {
 public:
  // spec: the JSON list cam_peer.py takes; "keep" is filled in per viewer.
  TScriptedViewers(int port, const std::string& spec);
  void Start();
  std::vector<TViewerReport> Wait(int timeoutMs = 20000);
  std::string Folder() const { return dir_.path().toStdString(); }

 private:
  QTemporaryDir dir_;
  QProcess process_;
  int port_;
  std::string spec_;
};

// A scripted broadcaster: one caller, one script of steps.
class TScriptedBroadcaster {
 public:
  explicit TScriptedBroadcaster(const std::string& steps);
  int Port() const { return port_; }
  // "PASSED" or "FAILED: ..." once the script ended.
  std::string Wait(int timeoutMs = 10000);
  std::string Folder() const { return dir_.path().toStdString(); }

 private:
  QTemporaryDir dir_;
  QProcess process_;
  int port_ = 0;
};

// The synthetic camera's number in a JPEG file as djpeg decodes it; -2 when
// djpeg refuses the file.
int DjpegFrameNumber(const std::string& file);
// One synthetic camera ("Camera 1") on the real clock for the components made
// from now on.
void InstallSyntheticCamera();
// A JPEG of the synthetic camera's picture `number`, padded after its end
// with zeros to exactly `size` bytes (when it is smaller).
std::string SyntheticJpeg(int number, std::size_t size);
std::string CamPeerScript();
// One viewer of a TScriptedViewers spec.
std::string Viewer(const std::string& name, const std::string& mode, double seconds, const std::string& uid,
                   const std::string& listenPort = "2960");

}  // namespace cam_test
