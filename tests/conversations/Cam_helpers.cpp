#include "Cam_helpers.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <vector>

#include <QCheckBox>

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

bool TCamPrompts::AskYesNo(const std::string& text, const std::string& caption, bool) {
  ++asked;
  EXPECT_EQ(caption, "Allow Viewer?");
  EXPECT_NE(text.find(" is requesting you view your cam"), std::string::npos);
  return allow;
}

TCamUser::TCamUser() {
  testing_support::WidgetApp();
  InstallSyntheticCamera();
  TReg::WriteString(TReg::SettingsSection, "ListenPort", std::to_string(port));
  for (const char* off : {"AutoUpdate", "AutoListen", "AutoLogon"}) TReg::WriteBool(TReg::SettingsSection, off, false);
  session = std::make_unique<TSession>(prompts);
  session->LoadCurrentSelections();
  session->CreateLocalStores();
  session->StartListening();
  routes = std::make_unique<TCamRoutes>(*session);
}

TCamUser::~TCamUser() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "FormCam" || w->objectName() == "FormCamView") w->close();
  routes.reset();
  platform::ProcessMessagesUntil([] { return false; }, 50);
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

std::vector<TViewerReport> TCamUser::View(const std::string& spec) {
  TScriptedViewers viewers(port, spec);
  viewers.Start();
  return viewers.Wait();
}

std::string Viewer(const std::string& name, const std::string& mode, double seconds, const std::string& uid,
                   const std::string& listenPort) {
  return R"({"name": ")" + name + R"(", "mode": ")" + mode + R"(", "seconds": )" + std::to_string(seconds) +
         R"(, "uid": ")" + uid + R"(", "listen_port": ")" + listenPort + R"("})";
}

std::string CamPeerScript() {
  const char* source = std::getenv("PARLO_SOURCE_DIR");
  return std::string(source ? source : ".") + "/tests/support/cam_peer.py";
}

int TViewerReport::Count(int code) const {
  int n = 0;
  for (const auto& [t, c] : Timeline) n += c == code;
  return n;
}

TScriptedViewers::TScriptedViewers(int port, const std::string& spec) : port_(port), spec_(spec) {}

void TScriptedViewers::Start() {
  const QJsonArray list = QJsonDocument::fromJson(QByteArray::fromStdString(spec_)).array();
  QJsonArray filled;
  for (const auto& item : list) {
    QJsonObject v = item.toObject();
    v["keep"] = dir_.filePath(v["name"].toString());
    filled.append(v);
  }
  const QString specFile = dir_.filePath("spec.json");
  QFile f(specFile);
  f.open(QIODevice::WriteOnly);
  f.write(QJsonDocument(filled).toJson());
  f.close();
  process_.start("python3", {QString::fromStdString(CamPeerScript()), "viewers", "127.0.0.1", QString::number(port_),
                             specFile});
  process_.waitForStarted();
}

std::vector<TViewerReport> TScriptedViewers::Wait(int timeoutMs) {
  std::vector<TViewerReport> reports;
  if (!platform::ProcessMessagesUntil([this] { return process_.state() == QProcess::NotRunning; }, timeoutMs)) {
    ADD_FAILURE() << "the scripted viewers did not end";
    process_.kill();
    process_.waitForFinished();
    return reports;
  }
  const QByteArray out = process_.readAllStandardOutput();
  const QJsonArray list = QJsonDocument::fromJson(out).array();
  if (list.isEmpty()) ADD_FAILURE() << "no report: " << out.toStdString() << process_.readAllStandardError().toStdString();
  for (const auto& item : list) {
    const QJsonObject v = item.toObject();
    TViewerReport r;
    r.Name = v["name"].toString().toStdString();
    r.Mode = v["mode"].toString().toStdString();
    for (const auto& p : v["pictures"].toArray()) r.Pictures.push_back(p.toString().toStdString());
    for (const auto& b : v["breaches"].toArray()) r.Breaches.push_back(b.toString().toStdString());
    r.Refused = v["refused"].toInt();
    r.Closed = v["closed"].toBool();
    for (const auto& t : v["timeline"].toArray()) {
      const QJsonArray e = t.toArray();
      const QJsonValue code = e[1];
      r.Timeline.emplace_back(e[0].toDouble(), code.isDouble() ? code.toInt() : -1);
    }
    reports.push_back(std::move(r));
  }
  return reports;
}

TScriptedBroadcaster::TScriptedBroadcaster(const std::string& steps) {
  const QString scriptFile = dir_.filePath("script.json");
  QFile f(scriptFile);
  f.open(QIODevice::WriteOnly);
  f.write(QByteArray::fromStdString(steps));
  f.close();
  process_.start("python3", {QString::fromStdString(CamPeerScript()), "serve", scriptFile});
  process_.waitForStarted();
  platform::ProcessMessagesUntil([this] { return process_.canReadLine() || process_.state() == QProcess::NotRunning; },
                                 5000);
  const QByteArray line = process_.readLine().trimmed();
  if (line.startsWith("listening ")) port_ = line.mid(10).toInt();
  if (port_ == 0) ADD_FAILURE() << "the scripted broadcaster did not listen: " << line.toStdString();
}

std::string TScriptedBroadcaster::Wait(int timeoutMs) {
  if (!platform::ProcessMessagesUntil([this] { return process_.state() == QProcess::NotRunning; }, timeoutMs)) {
    process_.kill();
    process_.waitForFinished();
    return "FAILED: the script did not end";
  }
  const QList<QByteArray> lines = process_.readAllStandardOutput().trimmed().split('\n');
  return lines.isEmpty() ? std::string() : lines.back().toStdString();
}

int DjpegFrameNumber(const std::string& file) {
  std::string ppm;
  if (FILE* pipe = popen(("djpeg -pnm '" + file + "' 2>/dev/null").c_str(), "r")) {
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) ppm.append(buffer, n);
    if (pclose(pipe) != 0) return -2;
  }
  int width = 0, height = 0, max = 0, consumed = 0;
  if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &width, &height, &max, &consumed) != 3) return -2;
  const std::size_t start = static_cast<std::size_t>(consumed) + 1;
  if (ppm.size() < start + static_cast<std::size_t>(width) * height * 3) return -2;
  // djpeg writes red, green, blue; the reader takes blue first.
  std::vector<std::uint8_t> bgr(ppm.begin() + static_cast<std::ptrdiff_t>(start), ppm.end());
  for (std::size_t i = 0; i + 2 < bgr.size(); i += 3) std::swap(bgr[i], bgr[i + 2]);
  return engine::ReadSyntheticFrameNumber(bgr.data(), width, height, static_cast<std::size_t>(width) * 3, true);
}

void InstallSyntheticCamera() {
  FinalizeVideoDevices();
  auto backend = std::make_unique<engine::TSyntheticBackend>(engine::TSyntheticClock::Real());
  backend->AddCamera(engine::TSyntheticCamera::StandardScript("Camera 1"));
  auto system = std::make_unique<engine::TCaptureSystem>();
  system->AddBackend(std::move(backend));
  engine::InstallCaptureSystem(std::move(system));
}

std::string SyntheticJpeg(int number, std::size_t size) {
  constexpr int w = 160, h = 120;
  std::vector<std::uint8_t> bgr(static_cast<std::size_t>(w) * h * 3);
  engine::DrawSyntheticFrame(bgr.data(), w, h, static_cast<std::size_t>(w) * 3, true, static_cast<std::uint32_t>(number),
                             100);
  std::string jpeg = platform::EncodeJpeg(
      w, h, platform::TPixelOrder::Bgr, [&](int y) { return bgr.data() + static_cast<std::size_t>(y) * w * 3; }, {50});
  if (jpeg.size() < size) jpeg.resize(size, '\0');
  return jpeg;
}

}  // namespace cam_test
