// A busy chat room: scripted members, each sending texts at a steady rate,
// all on one thread of this process, talk through the room host (TChatHost
// and its TChatClients on the event loop of the main thread). Printed: the
// relay latency from a member's send to each other member's receipt (median
// and 99th percentile) and the CPU the host's thread used. The reference,
// run with the same members in the same run, is a bare relay written with
// poll() on a thread of its own: it reads the same frames and writes the
// same relays, and does nothing else. Both keep the system's coalescing of
// small segments on their sockets (the room's sockets do), which sets most
// of the latency.
//
// usage: room_bench [seconds, default 3] [members, default 100] [texts per member per second, default 10]

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "chatrooms/ChatHost.h"

namespace {

using Clock = std::chrono::steady_clock;

long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

double ThreadCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int Listen(int* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa));
  ::listen(fd, 256);
  socklen_t len = sizeof(sa);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  *port = ntohs(sa.sin_port);
  return fd;
}

int FreePort() {
  int port = 0;
  ::close(Listen(&port));
  return port;
}

// A non-blocking link with the bytes it could not write yet and the bytes
// read but not yet split into lines.
struct Link {
  int fd = -1;
  std::string in, out;

  void Write(const std::string& bytes) {
    out += bytes;
    Flush();
  }
  void Flush() {
    while (!out.empty()) {
      const ssize_t n = ::send(fd, out.data(), out.size(), MSG_NOSIGNAL);
      if (n <= 0) return;
      out.erase(0, static_cast<std::size_t>(n));
    }
  }
  // False once the other side has closed.
  bool Read() {
    char buf[65536];
    for (;;) {
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n > 0) {
        in.append(buf, static_cast<std::size_t>(n));
        continue;
      }
      return n < 0;
    }
  }
  template <class Fn>
  void Lines(Fn&& fn) {
    std::size_t from = 0;
    for (std::size_t end; (end = in.find("\r\n", from)) != std::string::npos; from = end + 2)
      fn(in.substr(from, end - from));
    in.erase(0, from);
  }
};

// The members write without delay; the relay, like the room host (whose
// sockets keep the system's small-segment coalescing), leaves it on.
void NonBlocking(int fd, bool noDelay) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  const int on = noDelay ? 1 : 0;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// The members: connect, log on (when the room asks), then send texts at the
// rate for the duration and time every relay of another member's text.
struct Members {
  int count, rate;
  double seconds;
  std::vector<double> latencies;  // microseconds
  long long sent = 0;

  void Run(int port, bool greeted) {
    std::vector<Link> links(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      Link& l = links[static_cast<std::size_t>(i)];
      l.fd = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in sa{};
      sa.sin_family = AF_INET;
      sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      sa.sin_port = htons(static_cast<uint16_t>(port));
      if (::connect(l.fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) std::abort();
      NonBlocking(l.fd, true);
    }
    // A room host greets and takes a logon; the bare relay needs none.
    int inRoom = greeted ? 0 : count;
    std::vector<bool> joined(static_cast<std::size_t>(count), !greeted);
    const long long periodNs = 1000000000LL / rate;
    const long long start = NowNs() + 200000000LL;
    long long end = 0;
    std::vector<long long> next(static_cast<std::size_t>(count));
    std::vector<pollfd> fds(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) fds[static_cast<std::size_t>(i)] = {links[static_cast<std::size_t>(i)].fd, POLLIN, 0};
    for (;;) {
      const long long now = NowNs();
      if (inRoom == count && end == 0) {
        end = now + static_cast<long long>(seconds * 1e9);
        for (int i = 0; i < count; ++i) next[static_cast<std::size_t>(i)] = std::max(start, now) + periodNs * i / count;
      }
      if (end != 0 && now >= end + 500000000LL) break;
      if (end != 0 && now < end)
        for (int i = 0; i < count; ++i) {
          auto& due = next[static_cast<std::size_t>(i)];
          if (now < due) continue;
          links[static_cast<std::size_t>(i)].Write("  2007<m" + std::to_string(i) + "{$}" + std::to_string(NowNs()) + ">\r\n");
          ++sent;
          due += periodNs;
        }
      ::poll(fds.data(), fds.size(), 1);
      for (int i = 0; i < count; ++i) {
        Link& l = links[static_cast<std::size_t>(i)];
        if (!l.Read()) std::abort();
        l.Flush();
        l.Lines([&](const std::string& line) {
          if (line.compare(0, 7, "  2010<") == 0) {
            const std::size_t at = line.find("{$}");
            latencies.push_back(static_cast<double>(NowNs() - std::atoll(line.c_str() + at + 3)) / 1000.0);
          } else if (line.compare(0, 7, "  2000<") == 0) {
            l.Write("  2001<" + std::to_string(1000 + i) + "{$}m" + std::to_string(i) + "{$}2960{$}0>\r\n");
          } else if (line.compare(0, 7, "  2002<") == 0 && !joined[static_cast<std::size_t>(i)]) {
            joined[static_cast<std::size_t>(i)] = true;
            ++inRoom;
          }
        });
      }
    }
    for (Link& l : links) ::close(l.fd);
  }

  double Percentile(double p) {
    if (latencies.empty()) return 0;
    std::sort(latencies.begin(), latencies.end());
    return latencies[std::min(latencies.size() - 1, static_cast<std::size_t>(p * static_cast<double>(latencies.size())))];
  }
};

struct NullView : TChatHostView {
  void AddInfoText(const std::string&) override {}
  void ShowPeerText(const std::string&, const std::string&) override {}
  void ShowOwnText(const std::string&) override {}
  void MembersChanged() override {}
  void ShowInformation(const std::string&, const std::string&) override {}
};

// The reference: every 2007 line read is written as 2010 to every other link.
void BareRelay(int listener, int count, std::atomic<bool>& stop, double& cpu) {
  std::vector<Link> links;
  while (static_cast<int>(links.size()) < count) {
    Link l;
    l.fd = ::accept(listener, nullptr, nullptr);
    NonBlocking(l.fd, false);
    links.push_back(l);
  }
  const double cpu0 = ThreadCpuSeconds();
  std::vector<pollfd> fds;
  for (const Link& l : links) fds.push_back({l.fd, POLLIN, 0});
  while (!stop) {
    for (std::size_t i = 0; i < links.size(); ++i) fds[i].events = links[i].out.empty() ? POLLIN : POLLIN | POLLOUT;
    ::poll(fds.data(), fds.size(), 5);
    for (std::size_t i = 0; i < links.size(); ++i) {
      links[i].Read();
      links[i].Flush();
      links[i].Lines([&](const std::string& line) {
        if (line.compare(0, 7, "  2007<") != 0) return;
        const std::string relay = "  2010<" + line.substr(7) + "\r\n";
        for (std::size_t j = 0; j < links.size(); ++j)
          if (j != i) links[j].Write(relay);
      });
    }
  }
  cpu = ThreadCpuSeconds() - cpu0;
  for (Link& l : links) ::close(l.fd);
}

void Report(const char* what, Members& m, double cpu, double seconds) {
  std::printf("%-24s %8lld texts sent, %9zu relays timed: latency median %8.1f us, p99 %9.1f us; CPU %6.2f s (%5.1f%% of a core)\n",
              what, m.sent, m.latencies.size(), m.Percentile(0.5), m.Percentile(0.99), cpu, 100.0 * cpu / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  const int count = argc > 2 ? std::atoi(argv[2]) : 100;
  const int rate = argc > 3 ? std::atoi(argv[3]) : 10;
  std::printf("room of %d members, %d texts a second each, for %.1f s\n", count, rate, seconds);

  {
    NullView view;
    TChatRoomSetup setup{"1", "Host", 0, "2960", "127.0.0.1", std::to_string(FreePort()), "Bench", "Welcome", 0};
    TChatHost host(view, {}, setup);
    if (!host.StartListening()) return 1;
    host.AddOwnRow();
    Members members{count, rate, seconds, {}, 0};
    std::atomic<bool> done{false};
    std::thread crowd([&] {
      members.Run(std::stoi(setup.ChatPort), true);
      done = true;
    });
    // The host runs the program's own event loop; its CPU counts from the
    // first logon to the last relay.
    double cpu0 = -1;
    QEventLoop loop;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (cpu0 < 0 && host.ClientCount() > 0) cpu0 = ThreadCpuSeconds();
      if (done) loop.quit();
    });
    watch.start(20);
    loop.exec();
    const double cpu = ThreadCpuSeconds() - cpu0;
    crowd.join();
    Report("room host (TChatHost)", members, cpu, seconds);
  }
  {
    int port = 0;
    const int listener = Listen(&port);
    Members members{count, rate, seconds, {}, 0};
    std::atomic<bool> stop{false};
    double cpu = 0;
    std::thread relay([&] { BareRelay(listener, count, stop, cpu); });
    members.Run(port, false);
    stop = true;
    relay.join();
    ::close(listener);
    Report("reference: bare relay", members, cpu, seconds);
  }
  return 0;
}
