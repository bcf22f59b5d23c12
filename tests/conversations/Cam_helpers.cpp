#include "Cam_helpers.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "common/Settle.h"
#include "conversations/CamRoutes.h"
#include "conversations/FormCam.h"
#include "core/Widgets_helpers.h"
#include "core/session/Reg.h"
#include "core/session/Session.h"
#include "platform/EventLoop.h"
#include "platform/Jpeg.h"
#include "videocapture/Devices.h"
#include "videocapture/engine/CaptureSystem.h"
#include "videocapture/engine/SyntheticCamera.h"

namespace engine = videocapture::engine;

namespace cam_test {

namespace {

QString CamPeer() { return QString(std::getenv("PARLO_SOURCE_DIR")) + "/tests/support/cam_peer.py"; }

QString WriteTemp(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
  QFile f(dir.filePath(name));
  f.open(QIODevice::WriteOnly);
  f.write(bytes);
  return f.fileName();
}

bool Finish(QProcess& process) {
  if (platform::ProcessMessagesUntil([&] { return process.state() == QProcess::NotRunning; }, 20000)) return true;
  process.kill();
  process.waitForFinished();
  return false;
}

}  // namespace

int TViewerReport::Count(int code) const {
  int n = 0;
  for (const auto& entry : Timeline) n += entry.second == code;
  return n;
}

std::string Viewer(const std::string& name, const std::string& mode, double seconds, const std::string& uid,
                   const std::string& listenPort) {
  return R"({"name": ")" + name + R"(", "mode": ")" + mode + R"(", "seconds": )" + std::to_string(seconds) +
         R"(, "uid": ")" + uid + R"(", "listen_port": ")" + listenPort + R"("})";
}

std::vector<TViewerReport> RunViewers(int port, const std::string& viewers) {
  // The pictures outlive the run: the test reads them afterwards.
  static QTemporaryDir kept;
  static int runs = 0;
  QJsonArray spec;
  for (const auto& item : QJsonDocument::fromJson(QByteArray::fromStdString(viewers)).array()) {
    QJsonObject v = item.toObject();
    v["keep"] = kept.filePath(QString("%1-%2").arg(++runs).arg(v["name"].toString()));
    spec.append(v);
  }
  QProcess process;
  process.start("python3", {CamPeer(), "viewers", "127.0.0.1", QString::number(port),
                            WriteTemp(kept, "spec.json", QJsonDocument(spec).toJson())});
  std::vector<TViewerReport> reports;
  if (!Finish(process)) {
    ADD_FAILURE() << "the scripted viewers did not end";
    return reports;
  }
  const QByteArray out = process.readAllStandardOutput();
  for (const auto& item : QJsonDocument::fromJson(out).array()) {
    const QJsonObject v = item.toObject();
    TViewerReport& r = reports.emplace_back();
    r.Name = v["name"].toString().toStdString();
    for (const auto& p : v["pictures"].toArray()) r.Pictures.push_back(p.toString().toStdString());
    for (const auto& b : v["breaches"].toArray()) r.Breaches.push_back(b.toString().toStdString());
    r.Refused = v["refused"].toInt();
    r.Closed = v["closed"].toBool();
    for (const auto& t : v["timeline"].toArray()) {
      const QJsonArray e = t.toArray();
      r.Timeline.emplace_back(e[0].toDouble(), e[1].isDouble() ? e[1].toInt() : -1);
    }
  }
  if (reports.empty()) ADD_FAILURE() << "no report: " << out.toStdString() << process.readAllStandardError().toStdString();
  return reports;
}

TScriptedBroadcaster::TScriptedBroadcaster(const std::string& steps) {
  process_.start("python3", {CamPeer(), "serve", WriteTemp(dir_, "script.json", QByteArray::fromStdString(steps))});
  platform::ProcessMessagesUntil([this] { return process_.canReadLine() || process_.state() == QProcess::NotRunning; },
                                 5000);
  const QByteArray line = process_.readLine().trimmed();
  if (line.startsWith("listening ")) port_ = line.mid(10).toInt();
  if (port_ == 0) ADD_FAILURE() << "the scripted broadcaster does not listen: " << line.toStdString();
}

std::string TScriptedBroadcaster::Wait() {
  if (!Finish(process_)) return "FAILED: the script did not end";
  return process_.readAllStandardOutput().trimmed().split('\n').back().toStdString();
}

namespace {

struct TTimedAnswer : TOpenQuestion {
  explicit TTimedAnswer(std::shared_ptr<bool> open) : open(std::move(open)) {}
  ~TTimedAnswer() override { *open = false; }
  std::shared_ptr<bool> open;
};

}  // namespace

TQuestion TCamPrompts::AskYesNoLater(const std::string& text, const std::string& caption, int,
                                     std::function<void(bool)> answered) {
  ++asked;
  EXPECT_EQ(caption, "Allow Viewer?");
  EXPECT_NE(text.find(" is requesting you view your cam"), std::string::npos);
  // A user who answers at once leaves no question open for the next viewer.
  if (thinkMs == 0) {
    answered(allow);
    return nullptr;
  }
  auto open = std::make_shared<bool>(true);
  QTimer::singleShot(thinkMs, [open, answered, yes = allow] {
    if (*open) answered(yes);
  });
  return std::make_unique<TTimedAnswer>(open);
}

TCamUser::TCamUser(bool firstCameraFails) {
  testing_support::WidgetApp();
  // One synthetic camera on the real clock for the components made from now on.
  FinalizeVideoDevices();
  auto backend = std::make_unique<engine::TSyntheticBackend>(engine::TSyntheticClock::Real());
  backend->AddCamera(engine::TSyntheticCamera::StandardScript("Camera 1"));
  if (firstCameraFails) {
    backend->Camera(0)->Faults().startFails = true;
    backend->AddCamera(engine::TSyntheticCamera::StandardScript("Camera 2"));
  }
  auto system = std::make_unique<engine::TCaptureSystem>();
  system->AddBackend(std::move(backend));
  engine::InstallCaptureSystem(std::move(system));

  TReg::WriteString(TReg::SettingsSection, "ListenPort", std::to_string(port));
  for (const char* off : {"AutoUpdate", "AutoListen", "AutoLogon"}) TReg::WriteBool(TReg::SettingsSection, off, false);
  session = std::make_unique<TSession>(prompts);
  session->LoadCurrentSelections();
  session->CreateLocalStores();
  session->StartListening();
  routes = std::make_unique<TCamRoutes>(*session);
}

TCamUser::~TCamUser() {
  routes.reset();
  testing_support::Settle(50);
  session.reset();
}

TFormCam* TCamUser::Open(int intervalMs) {
  TFormCam* form = routes->ActionCamBroadcastExecute();
  EXPECT_NE(form, nullptr);
  if (form == nullptr) return nullptr;
  EXPECT_TRUE(platform::ProcessMessagesUntil([form] { return form->CheckVid->isChecked(); }, 5000));
  form->Broadcast().CamTime.SetInterval(intervalMs);
  return form;
}

int DjpegFrameNumber(const std::string& file) {
  std::string ppm;
  FILE* pipe = popen(("djpeg -pnm '" + file + "' 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return -2;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) ppm.append(buffer, n);
  if (pclose(pipe) != 0) return -2;
  int width = 0, height = 0, max = 0, consumed = 0;
  if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &width, &height, &max, &consumed) != 3) return -2;
  std::string pixels = ppm.substr(static_cast<std::size_t>(consumed) + 1);
  if (pixels.size() < static_cast<std::size_t>(width) * height * 3) return -2;
  // djpeg writes red first; the reader takes blue first.
  for (std::size_t i = 0; i + 2 < pixels.size(); i += 3) std::swap(pixels[i], pixels[i + 2]);
  return engine::ReadSyntheticFrameNumber(reinterpret_cast<const std::uint8_t*>(pixels.data()), width, height,
                                          static_cast<std::size_t>(width) * 3, true);
}

std::string SyntheticJpeg(int number, std::size_t size) {
  constexpr int w = 160, h = 120;
  std::vector<std::uint8_t> bgr(static_cast<std::size_t>(w) * h * 3);
  engine::DrawSyntheticFrame(bgr.data(), w, h, w * 3, true, static_cast<std::uint32_t>(number), 100);
  std::string jpeg = platform::EncodeJpeg(
      w, h, platform::TPixelOrder::Bgr, [&](int y) { return bgr.data() + static_cast<std::size_t>(y) * w * 3; }, {50});
  if (jpeg.size() < size) jpeg.resize(size, '\0');
  return jpeg;
}

namespace {

// In coded data every 0xFF is followed by 0, so each 0xFF 0xDA starts a scan.
std::string RepeatLastScan(const std::string& jpeg, int scans) {
  std::size_t last = 0;
  int found = 0;
  for (std::size_t at = jpeg.find("\xFF\xDA"); at != std::string::npos; at = jpeg.find("\xFF\xDA", at + 2))
    last = at, ++found;
  const std::size_t end = jpeg.size() - 2;  // the end marker
  std::string out = jpeg.substr(0, end);
  for (int n = found; n < scans; ++n) out.append(jpeg, last, end - last);
  return out + "\xFF\xD9";
}

}  // namespace

std::string RepeatedScanJpeg(int width, int height, int scans) {
  const std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3, 128);
  return RepeatLastScan(platform::EncodeJpeg(
                            width, height, platform::TPixelOrder::Rgb,
                            [&](int y) { return rgb.data() + static_cast<std::size_t>(y) * width * 3; }, {75, true}),
                        scans);
}

std::string CameraJpeg(int width, int height, int quality, bool progressive) {
  std::vector<std::uint8_t> bgr(static_cast<std::size_t>(width) * height * 3);
  engine::DrawSyntheticFrame(bgr.data(), width, height, static_cast<std::size_t>(width) * 3, true, 42, 100);
  // A sensor's noise, which is most of what a camera's picture costs.
  std::uint32_t noise = 1;
  for (std::uint8_t& b : bgr) {
    noise = noise * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(std::clamp(b + static_cast<int>(noise >> 26) - 32, 0, 255));
  }
  return platform::EncodeJpeg(
      width, height, platform::TPixelOrder::Bgr,
      [&](int y) { return bgr.data() + static_cast<std::size_t>(y) * width * 3; }, {quality, progressive});
}

std::string ArithmeticJpeg(int width, int height, int scans) {
  const auto segment = [](char marker, const std::string& body) {
    const std::size_t n = body.size() + 2;
    return std::string{'\xFF', marker, static_cast<char>(n >> 8), static_cast<char>(n & 0xFF)} + body;
  };
  const auto c = [](int n) { return static_cast<char>(n); };
  std::string jpeg = "\xFF\xD8" + segment('\xDB', std::string(1, '\0') + std::string(64, '\1')) +
                     segment('\xCA', {8, c(height >> 8), c(height), c(width >> 8), c(width), 1, 1, 0x11, 0}) +
                     segment('\xDA', {1, 1, 0, 0, 0, 0});
  for (int n = 1; n < scans; ++n) jpeg += segment('\xDA', {1, 1, 0, 1, 63, 0});
  return jpeg + "\xFF\xD9";
}

}  // namespace cam_test
