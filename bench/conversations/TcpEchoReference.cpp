// Round trips of one chat frame over plain loopback TCP between two
// processes: the child sends every line back, the parent times each round
// trip with blocking calls and prints the median and the 99th percentile in
// microseconds, and the CPU time each process spent per round trip. What a
// 1006 costs with nothing but the network in the way.
//
// usage: conversations_tcp_echo [round trips, default 10000] [parent's core] [child's core]
// Each side given a core stays on it; where the two ends run decides whether
// a round trip wakes a sleeping core, which costs more than the echo itself.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "LoopbackPair.h"

namespace {

using bench::ListenOnLoopback;
using bench::NoDelay;
using bench::PinTo;

// Reads up to and including the next CR LF into line; false at the end.
bool ReadLine(int fd, std::string& held, std::string& line) {
  for (;;) {
    const std::size_t end = held.find("\r\n");
    if (end != std::string::npos) {
      line = held.substr(0, end + 2);
      held.erase(0, end + 2);
      return true;
    }
    char buf[4096];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return false;
    held.append(buf, static_cast<std::size_t>(n));
  }
}

double Micros(const timeval& t) { return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_usec); }

double CpuMicros(const rusage& u) { return Micros(u.ru_utime) + Micros(u.ru_stime); }

bool WriteAll(int fd, const std::string& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
  sockaddr_in sa{};
  const int lfd = ListenOnLoopback(sa);
  if (lfd < 0) return 1;

  const pid_t child = ::fork();
  if (child == 0) {
    PinTo(argc > 3 ? argv[3] : nullptr);
    const int fd = ::accept(lfd, nullptr, nullptr);
    NoDelay(fd);
    std::string held, line;
    while (ReadLine(fd, held, line))
      if (!WriteAll(fd, line)) break;
    ::close(fd);
    _exit(0);
  }
  ::close(lfd);
  PinTo(argc > 2 ? argv[2] : nullptr);
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return 1;
  NoDelay(fd);

  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(rounds));
  std::string held, line;
  rusage before{};
  ::getrusage(RUSAGE_SELF, &before);
  for (int i = 1; i <= rounds; ++i) {
    const std::string frame = "  1006<>ping " + std::to_string(i) + " :-) http://example.com/\r\n";
    const auto t0 = std::chrono::steady_clock::now();
    if (!WriteAll(fd, frame) || !ReadLine(fd, held, line)) return 1;
    micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
  }
  rusage after{};
  ::getrusage(RUSAGE_SELF, &after);
  ::close(fd);
  // The child's time is all echoing: it starts by waiting for the connection.
  int status = 0;
  rusage echoer{};
  ::wait4(child, &status, 0, &echoer);
  std::sort(micros.begin(), micros.end());
  const auto at = [&](double p) {
    return micros[std::min(micros.size() - 1, static_cast<std::size_t>(p * static_cast<double>(micros.size())))];
  };
  std::printf("tcp echo round trips %d median %.1f p99 %.1f cpu %.2f %.2f\n", rounds, at(0.5), at(0.99),
              (CpuMicros(after) - CpuMicros(before)) / rounds, CpuMicros(echoer) / rounds);
  return 0;
}
