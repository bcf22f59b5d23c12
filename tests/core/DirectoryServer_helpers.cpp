#include "DirectoryServer_helpers.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>

#include "core/session/Reg.h"
#include "platform/EventLoop.h"

namespace testing_support {

namespace {

// Frame texts travel as latin-1 strings: one character a byte.
QString Latin1(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
std::string Bytes(const QString& s) { return s.toLatin1().toStdString(); }

}  // namespace

TDirectoryServer::TDirectoryServer() {
  const char* source = std::getenv("PARLO_SOURCE_DIR");
  const QString script = QString::fromStdString(std::string(source ? source : ".") + "/tests/support/directory_server.py");
  process_.setProcessChannelMode(QProcess::SeparateChannels);
  process_.setStandardErrorFile(QProcess::nullDevice());
  process_.start("python3", {script, "--data", data_.path(), "--port", "0", "--control-port", "0"});
  if (!process_.waitForStarted(10000) || !process_.waitForReadyRead(20000)) {
    ADD_FAILURE() << "the directory server did not start";
    return;
  }
  const QStringList ready = QString::fromLatin1(process_.readLine()).trimmed().split(' ');
  if (ready.size() != 3 || ready[0] != "READY") {
    ADD_FAILURE() << "unexpected first line from the directory server";
    return;
  }
  port_ = ready[1].toInt();
  control_ = ready[2].toInt();
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(control_));
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) ADD_FAILURE() << "no control link";
}

TDirectoryServer::~TDirectoryServer() {
  if (fd_ >= 0) ::close(fd_);
  process_.terminate();
  if (!process_.waitForFinished(5000)) process_.kill();
  process_.waitForFinished(5000);
}

std::string TDirectoryServer::Call(const std::string& request) {
  const std::string line = request + "\n";
  if (::send(fd_, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) return {};
  std::string answer;
  char c;
  while (::recv(fd_, &c, 1, 0) == 1 && c != '\n') answer += c;
  const QJsonObject reply = QJsonDocument::fromJson(QByteArray::fromStdString(answer)).object();
  EXPECT_TRUE(reply["ok"].toBool()) << request << " -> " << answer;
  return QJsonDocument(QJsonObject{{"r", reply["result"]}}).toJson(QJsonDocument::Compact).toStdString();
}

std::string TDirectoryServer::AddAccount(const std::string& password, const std::string& uid) {
  const QJsonObject request{{"cmd", "account"}, {"password", Latin1(password)}, {"uid", Latin1(uid)}};
  const std::string r = Call(QJsonDocument(request).toJson(QJsonDocument::Compact).toStdString());
  return Bytes(QJsonDocument::fromJson(QByteArray::fromStdString(r)).object()["r"].toString());
}

std::vector<TServerFrame> TDirectoryServer::Frames(size_t since) {
  const QJsonObject request{{"cmd", "frames"}, {"since", static_cast<qint64>(since)}};
  const std::string r = Call(QJsonDocument(request).toJson(QJsonDocument::Compact).toStdString());
  std::vector<TServerFrame> frames;
  for (const auto& v : QJsonDocument::fromJson(QByteArray::fromStdString(r)).object()["r"].toArray()) {
    const QJsonObject f = v.toObject();
    TServerFrame frame;
    frame.Dir = f["dir"].toString().toStdString();
    frame.User = Bytes(f["user"].toString());
    frame.Code = f["code"].toInt();
    for (const auto& p : f["params"].toArray()) frame.Params.push_back(Bytes(p.toString()));
    frame.Raw = Bytes(f["raw"].toString());
    frames.push_back(std::move(frame));
  }
  return frames;
}

std::vector<int> TDirectoryServer::Codes(const std::string& dir, size_t since, const std::string& user) {
  std::vector<int> codes;
  for (const auto& f : Frames(since))
    if (f.Dir == dir && (user.empty() || f.User == user)) codes.push_back(f.Code);
  return codes;
}

TServerFrame TDirectoryServer::WaitFrame(int code, const std::string& dir, size_t since, int timeoutMs) {
  TServerFrame found;
  const bool ok = platform::ProcessMessagesUntil(
      [&] {
        for (const auto& f : Frames(since))
          if (f.Code == code && f.Dir == dir) {
            found = f;
            return true;
          }
        return false;
      },
      timeoutMs);
  EXPECT_TRUE(ok) << "no frame " << code << " " << dir;
  return found;
}

void TDirectoryServer::Send(const std::string& user, int code, const std::string& params) {
  const QJsonObject request{{"cmd", "send"}, {"target", Latin1(user)}, {"code", code}, {"params", Latin1(params)}};
  Call(QJsonDocument(request).toJson(QJsonDocument::Compact).toStdString());
}

void TDirectoryServer::ReplyOnce(int code, const std::string& raw) {
  const QJsonObject request{{"cmd", "reply"}, {"code", code}, {"chunks", QJsonArray{Latin1(raw)}}};
  Call(QJsonDocument(request).toJson(QJsonDocument::Compact).toStdString());
}

void TDirectoryServer::Disconnect(const std::string& user) {
  Call(QJsonDocument(QJsonObject{{"cmd", "disconnect"}, {"target", Latin1(user)}}).toJson(QJsonDocument::Compact)
           .toStdString());
}

std::vector<std::string> TDirectoryServer::Online() {
  const std::string r = Call(R"({"cmd": "online"})");
  std::vector<std::string> users;
  for (const auto& v : QJsonDocument::fromJson(QByteArray::fromStdString(r)).object()["r"].toArray())
    users.push_back(Bytes(v.toString()));
  return users;
}

void UseLocalServer(int port, const std::string& uid, const std::string& password) {
  const auto s = TReg::SettingsSection;
  TReg::WriteString(s, "ServerIP", "127.0.0.1");
  TReg::WriteString(s, "ServerPort", std::to_string(port));
  TReg::WriteString(s, "UserID", uid);
  TReg::WriteString(s, "UserPass", password);
  TReg::WriteBool(s, "AutoUpdate", false);
  TReg::WriteBool(s, "AutoListen", false);
}

}  // namespace testing_support
