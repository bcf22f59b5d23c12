#pragma once

#include <QProcess>
#include <QTemporaryDir>
#include <string>
#include <vector>

namespace testing_support {

// One frame the local directory server recorded: "in" from a client, "out" to it.
struct TServerFrame {
  std::string Dir, User;
  int Code = 0;
  std::vector<std::string> Params;
  std::string Raw;
};

// tests/support/directory_server.py as a child process on free loopback
// ports, driven through its JSON-lines control port. The control calls block
// only briefly; waiting for a frame keeps the program's event loop running,
// so the session under test goes on talking meanwhile.
class TDirectoryServer {
 public:
  TDirectoryServer();
  ~TDirectoryServer();
  TDirectoryServer(const TDirectoryServer&) = delete;
  TDirectoryServer& operator=(const TDirectoryServer&) = delete;

  int Port() const { return port_; }
  // The server's data folder (accounts, and photos/<id>.jpg).
  std::string DataPath() const { return data_.path().toStdString(); }
  std::string AddAccount(const std::string& password, const std::string& uid);
  std::vector<TServerFrame> Frames(size_t since = 0);
  // The codes of the frames from index `since` on, one direction, one user ("" any).
  std::vector<int> Codes(const std::string& dir, size_t since = 0, const std::string& user = "");
  // The first matching frame at or after `since`; fails the test after the time-out.
  TServerFrame WaitFrame(int code, const std::string& dir, size_t since = 0, int timeoutMs = 5000);
  void Send(const std::string& user, int code, const std::string& params = "");
  // The next frame with this code is answered with these bytes instead.
  void ReplyOnce(int code, const std::string& raw);
  void Disconnect(const std::string& user);
  std::vector<std::string> Online();

 private:
  std::string Call(const std::string& request);
  QTemporaryDir data_;
  QProcess process_;
  int port_ = 0, control_ = 0;
  int fd_ = -1;
};

// Points the settings of the current home at the local server on `port`,
// logged on as `uid`, with the update check and the peer listener off.
void UseLocalServer(int port, const std::string& uid, const std::string& password);

}  // namespace testing_support
