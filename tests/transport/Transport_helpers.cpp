#include "transport/Transport_helpers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/FreePort.h"
#include "platform/EventLoop.h"

namespace {

class QtApplication : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "transport_tests";
    static char* argv[] = {name, nullptr};
    platform::TEventLoopChoice loop;
    app_ = new QCoreApplication(argc, argv);
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  QCoreApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const qt_env = ::testing::AddGlobalTestEnvironment(new QtApplication);

sockaddr_in Loopback(int port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = htons(static_cast<uint16_t>(port));
  return sa;
}

bool WaitReadable(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  QElapsedTimer t;
  t.start();
  for (;;) {
    // Our own sockets live in this thread: keep the event loop going.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (::poll(&p, 1, 1) > 0) return true;
    if (t.elapsed() > timeout_ms) return false;
  }
}

}  // namespace

namespace test {

bool PumpUntil(const std::function<bool()>& pred, int timeout_ms) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() > timeout_ms) return pred();
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
  }
  return true;
}

void PumpFor(int ms) {
  QElapsedTimer t;
  t.start();
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
  } while (t.elapsed() < ms);
}

int FreePort() { return testing_support::FreeListenPort(); }

RawPeer::~RawPeer() {
  Close();
  if (listen_fd_ >= 0) ::close(listen_fd_);
}

int RawPeer::Listen() {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  const int on = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  sockaddr_in sa = Loopback(0);
  ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&sa), sizeof(sa));
  ::listen(listen_fd_, 8);
  socklen_t len = sizeof(sa);
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&sa), &len);
  return ntohs(sa.sin_port);
}

bool RawPeer::AcceptOne(int timeout_ms) {
  if (!WaitReadable(listen_fd_, timeout_ms)) return false;
  fd_ = ::accept(listen_fd_, nullptr, nullptr);
  const int on = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
  return fd_ >= 0;
}

bool RawPeer::Connect(int port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa = Loopback(port);
  const int on = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
  return ::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) == 0;
}

void RawPeer::Write(const std::string& bytes) {
  std::size_t off = 0;
  while (off < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      off += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      QCoreApplication::processEvents(QEventLoop::AllEvents);  // let our side read
    } else {
      return;
    }
  }
}

std::string RawPeer::Read(std::size_t count, int timeout_ms) {
  std::string got;
  QElapsedTimer t;
  t.start();
  char buf[65536];
  while (got.size() < count && t.elapsed() < timeout_ms) {
    if (!WaitReadable(fd_, 50)) continue;
    const ssize_t n = ::recv(fd_, buf, std::min(sizeof(buf), count - got.size()), MSG_DONTWAIT);
    if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) break;
  }
  return got;
}

std::string RawPeer::ReadToEnd(bool* reset, int timeout_ms) {
  std::string got;
  if (reset != nullptr) *reset = false;
  QElapsedTimer t;
  t.start();
  char buf[65536];
  while (t.elapsed() < timeout_ms) {
    if (!WaitReadable(fd_, 50)) continue;
    const ssize_t n = ::recv(fd_, buf, sizeof(buf), MSG_DONTWAIT);
    if (n > 0) {
      got.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
      if (reset != nullptr) *reset = errno == ECONNRESET;
      break;
    }
  }
  return got;
}

bool RawPeer::SeesEnd(int timeout_ms) {
  QElapsedTimer t;
  t.start();
  char buf[4096];
  while (t.elapsed() < timeout_ms) {
    if (!WaitReadable(fd_, 50)) continue;
    const ssize_t n = ::recv(fd_, buf, sizeof(buf), MSG_DONTWAIT);
    if (n == 0) return true;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return true;
  }
  return false;
}

void RawPeer::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void RawPeer::Reset() {
  if (fd_ < 0) return;
  linger lg{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &lg, sizeof(lg));
  ::close(fd_);
  fd_ = -1;
}

HostilePeer::HostilePeer(const std::vector<std::string>& args) : proc_(std::make_unique<QProcess>()) {
  const char* src = std::getenv("PARLO_SOURCE_DIR");
  const std::string root = src != nullptr ? std::string(src)
                                          : std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().string();
  QStringList list{QString::fromStdString(root + "/tests/support/hostile_peer.py")};
  for (const auto& a : args) list << QString::fromStdString(a);
  proc_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  proc_->start("python3", list);
  EXPECT_TRUE(proc_->waitForStarted(5000));
}

HostilePeer::~HostilePeer() {
  EndInput();
  if (!PumpUntil([this] { return Finished(); }, 5000)) {
    proc_->kill();
    proc_->waitForFinished(2000);
  }
}

std::string HostilePeer::ReadLine(int timeout_ms) {
  if (!PumpUntil([this] { return proc_->canReadLine(); }, timeout_ms)) return {};
  return proc_->readLine().trimmed().toStdString();
}

void HostilePeer::EndInput() { proc_->closeWriteChannel(); }

bool HostilePeer::Finished() const { return proc_->state() == QProcess::NotRunning; }

int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count - 1;  // the listing's own
}

}  // namespace test
