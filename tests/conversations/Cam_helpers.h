#pragma once

// What the webcam tests share: the scripted peers of tests/support/cam_peer.py
// run as child processes while the test's event loop goes on, a synthetic
// camera on the real clock, and djpeg as the judge of received pictures.

#include <QProcess>
#include <QTemporaryDir>
#include <string>
#include <vector>

namespace cam_test {

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

}  // namespace cam_test
