#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "platform/EventLoop.h"
#include "platform/Stream.h"

namespace platform {

namespace {

constexpr char kLockName[] = "parlo.lock";
constexpr char kSocketName[] = "parlo.sock";
constexpr char kRequest[] = "show\n";
constexpr char kAnswer[] = "ok\n";

// The socket's address: the file beside the lock when its path fits a socket
// address, else a name in the abstract namespace derived from the home, which
// is just as unique per home.
socklen_t AddressFor(const std::filesystem::path& home, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  const std::string file = (home / kSocketName).string();
  if (file.size() < sizeof addr.sun_path) {
    std::memcpy(addr.sun_path, file.data(), file.size());
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + file.size() + 1);
  }
  const std::string name = "parlo-" + std::to_string(std::hash<std::string>{}(home.string()));
  std::memcpy(addr.sun_path + 1, name.data(), name.size());
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

bool WaitFor(int fd, short events, int ms) {
  pollfd p{fd, events, 0};
  return ::poll(&p, 1, ms) > 0 && (p.revents & events) != 0;
}

}  // namespace

class TSingleInstance::Impl {
 public:
  std::filesystem::path home;
  int lockFd = -1;
  int listenFd = -1;
  std::unique_ptr<QSocketNotifier> notifier;
  bool ownsFile = false;

  ~Impl() {
    notifier.reset();
    if (listenFd >= 0) {
      ::close(listenFd);
      sockaddr_un addr;
      AddressFor(home, addr);
      if (ownsFile) ::unlink(addr.sun_path);
    }
    if (lockFd >= 0) ::close(lockFd);
  }
};

TSingleInstance::TSingleInstance(std::filesystem::path home) : impl_(std::make_unique<Impl>()) {
  impl_->home = std::move(home);
}

TSingleInstance::~TSingleInstance() = default;

bool TSingleInstance::Acquire() {
  if (impl_->lockFd >= 0) return true;
  std::error_code ec;
  std::filesystem::create_directories(impl_->home, ec);
  const std::string lock = (impl_->home / kLockName).string();
  const int fd = OpenStore(std::filesystem::path(lock), O_RDWR | O_CREAT, 0600);
  // A home we cannot lock (read-only, odd file system) must not keep the
  // program from starting: it then runs without the one-instance guard.
  if (fd < 0) {
    LogLine("Cannot open " + lock + ": " + std::strerror(errno) + "; running without the single-instance lock");
    return true;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) return false;
    LogLine("Cannot lock " + lock + ": " + std::strerror(err) + "; running without the single-instance lock");
    return true;
  }
  impl_->lockFd = fd;
  return true;
}

void TSingleInstance::Listen() {
  if (impl_->lockFd < 0 || impl_->listenFd >= 0) return;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return;
  sockaddr_un addr;
  const socklen_t len = AddressFor(impl_->home, addr);
  // We hold the lock, so a socket file left here belongs to a program that died.
  if (addr.sun_path[0] != '\0') {
    ::unlink(addr.sun_path);
    impl_->ownsFile = true;
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd, 8) != 0) {
    LogLine(std::string("Single-instance socket: ") + std::strerror(errno));
    ::close(fd);
    impl_->ownsFile = false;
    return;
  }
  impl_->listenFd = fd;
  impl_->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  QObject::connect(impl_->notifier.get(), &QSocketNotifier::activated, [this] {
    Guarded([this] {
      for (;;) {
        const int client = ::accept4(impl_->listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) return;
        // The request is a fixed word; what matters is that someone knocked.
        char buf[16];
        if (WaitFor(client, POLLIN, 200)) (void)!::read(client, buf, sizeof buf);
        (void)!::write(client, kAnswer, sizeof kAnswer - 1);
        ::close(client);
        if (OnActivate) OnActivate();
      }
    });
  });
}

bool TSingleInstance::ActivateRunning(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  sockaddr_un addr;
  const socklen_t len = AddressFor(impl_->home, addr);
  do {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0) {
      bool ok = ::write(fd, kRequest, sizeof kRequest - 1) == static_cast<ssize_t>(sizeof kRequest - 1);
      char buf[8] = {};
      const int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            deadline - std::chrono::steady_clock::now())
                                            .count());
      ok = ok && WaitFor(fd, POLLIN, left > 100 ? left : 100) && ::read(fd, buf, sizeof buf) > 0;
      ::close(fd);
      return ok;
    }
    ::close(fd);
    // The running program may hold the lock and not listen yet.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

}  // namespace platform
