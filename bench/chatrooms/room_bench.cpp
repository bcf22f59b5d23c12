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
// Then a member's window (TFormChatCli, with the program's transcript
// control, painted offscreen) receives 1,000 room texts a second from a bare
// host on a thread of its own, in five rounds. It keeps up when showing a
// line costs its thread less than the millisecond a line may take and every
// line is shown: the ratio printed is that cost over the millisecond (goal at
// most 1).
//
// usage: room_bench [seconds, default 3] [members, default 100] [texts per member per second, default 10]

#include <QApplication>
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
#include <filesystem>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "chatrooms/ChatHost.h"
#include "chatrooms/FormChatCli.h"
#include "chatrooms/RoomFrames.h"
#include "conversations/RichTranscript.h"
#include "conversations/TranscriptControl.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"
#include "platform/EventLoop.h"
#include "transport/CommandCodes.h"
#include "transport/ParloSocket.h"

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
      // A room takes a few members per address: each group of eight comes
      // from a loopback address of its own, as members on other machines would.
      sockaddr_in from{};
      from.sin_family = AF_INET;
      from.sin_addr.s_addr = htonl(INADDR_LOOPBACK + 1 + static_cast<uint32_t>(i / 8));
      if (::bind(l.fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) std::abort();
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

// ----- the member window --------------------------------------------------------------

struct QuietPrompts : TPrompts {
  void ShowInformation(const std::string&, const std::string&) override {}
  void ShowError(const std::string&, const std::string&) override {}
};

// A blocking line reader for the bare host.
bool ReadLineBlocking(int fd, std::string& held, std::string& line) {
  for (;;) {
    const std::size_t end = held.find("\r\n");
    if (end != std::string::npos) {
      line = held.substr(0, end);
      held.erase(0, end + 2);
      return true;
    }
    char buf[4096];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return false;
    held.append(buf, static_cast<std::size_t>(n));
  }
}

void SendAll(int fd, const std::string& bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

struct WindowRound {
  int sent = 0, shown = 0;
  double cpu = 0, seconds = 0;
  std::vector<double> latencies;  // microseconds
};

// One round: the host greets the member, then sends `lines` texts at `rate`
// a second, each carrying its send time; the window's thread is timed from
// the first text until the last is shown (or the round gives up).
WindowRound MemberWindowRound(TSession& session, int lines, int rate) {
  int port = 0;
  const int listener = Listen(&port);
  std::atomic<bool> go{false}, done{false};
  WindowRound round;
  std::thread host([&] {
    const int fd = ::accept(listener, nullptr, nullptr);
    // Each text goes out as it is written: the window's latency, not the
    // sender's coalescing, is what the row shows.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    std::string held, line;
    SendAll(fd, RoomFrame(cmd::RoomHello, "127.0.0.1"));
    while (ReadLineBlocking(fd, held, line) && ReadRoomLine(line).Code != cmd::RoomLogon) {
    }
    SendAll(fd, RoomFrame(cmd::RoomGreeting, GreetingRecord("Bench", "Welcome")));
    while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto start = Clock::now();
    for (int i = 0; i < lines; ++i) {
      std::this_thread::sleep_until(start + std::chrono::nanoseconds(1000000000LL * i / rate));
      SendAll(fd, RoomFrame(cmd::RoomText, TextRecord("Bob", "line " + std::to_string(NowNs()) +
                                                                  " :-) as seen on http://example.com/")));
      ++round.sent;
    }
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::close(fd);
  });
  double cpu0 = 0;
  {
    // The program's own event loop, which sleeps while nothing happens (the
    // waiting loops of the tests poll).
    QEventLoop loop;
    auto runFor = [&](int ms) {
      QTimer limit;
      limit.setSingleShot(true);
      QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
      limit.start(ms);
      loop.exec();
    };
    TFormChatCli window(session, std::make_unique<TParloSocket>());
    auto joined = window.Member().LoggedIn.Connect([&] { loop.quit(); });
    auto shown = window.Member().PeerTextShown.Connect([&](const std::string&, const std::string& text) {
      ++round.shown;
      round.latencies.push_back(static_cast<double>(NowNs() - std::atoll(text.c_str() + 5)) / 1000.0);
      if (round.shown >= lines) loop.quit();
    });
    window.ConnectToChat("127.0.0.1", std::to_string(port), "Bench");
    runFor(10000);
    // The window settles (its first paints) before the texts come.
    runFor(200);
    cpu0 = ThreadCpuSeconds();
    const auto t0 = Clock::now();
    go = true;
    runFor(5000 + 2000 * lines / rate);
    round.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    round.cpu = ThreadCpuSeconds() - cpu0;
    done = true;
    host.join();
  }
  ::close(listener);
  return round;
}

void MemberWindowRow(double seconds) {
  constexpr int kRate = 1000;
  constexpr int kRounds = 5;
  const int lines = std::max(1, static_cast<int>(seconds * kRate / kRounds));
  // The program's own home and transcript control, on a home of the bench's.
  char home[] = "/tmp/parlo-room-bench-XXXXXX";
  if (::mkdtemp(home) == nullptr) return;
  ::setenv("PARLO_HOME", home, 1);
  SetTranscriptFactory(MakeRichTranscript);
  QuietPrompts prompts;
  std::vector<double> costs, latencies;
  int sent = 0, shown = 0;
  {
    TSession session(prompts);
    session.CreateLocalStores();
    session.Settings.UserID = "41000001";
    session.Settings.UserName = "Ann";
    for (int r = 0; r < kRounds; ++r) {
      WindowRound round = MemberWindowRound(session, lines, kRate);
      sent += round.sent;
      shown += round.shown;
      // The thread's time per line shown, over the millisecond one may take.
      costs.push_back(round.cpu / std::max(round.shown, 1) * kRate);
      latencies.insert(latencies.end(), round.latencies.begin(), round.latencies.end());
    }
  }
  std::filesystem::remove_all(home);
  std::sort(costs.begin(), costs.end());
  std::sort(latencies.begin(), latencies.end());
  auto at = [&](double p) {
    return latencies.empty() ? 0.0
                             : latencies[std::min(latencies.size() - 1,
                                                  static_cast<std::size_t>(p * static_cast<double>(latencies.size())))];
  };
  const double ratio = costs[costs.size() / 2];
  const bool met = ratio <= 1.0 && shown == sent;
  std::printf("member window, %d texts a second, %d rounds of %d: %d of %d shown, latency median %.1f us, "
              "p99 %.1f us\n",
              kRate, kRounds, lines, shown, sent, at(0.5), at(0.99));
  std::printf("  thread time per text over the 1 ms a text may take: median ratio %.3f (rounds %.3f..%.3f); goal <= 1.0"
              " with every text shown: %s\n",
              ratio, costs.front(), costs.back(), met ? "met" : "NOT met");
}

void Report(const char* what, Members& m, double cpu, double seconds) {
  std::printf("%-24s %8lld texts sent, %9zu relays timed: latency median %8.1f us, p99 %9.1f us; CPU %6.2f s (%5.1f%% of a core)\n",
              what, m.sent, m.latencies.size(), m.Percentile(0.5), m.Percentile(0.99), cpu, 100.0 * cpu / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  // Runs on machines without a display too: the window paints offscreen.
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  platform::TEventLoopChoice loop;
  QApplication app(argc, argv);
  loop.Done();
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
  MemberWindowRow(seconds);
  return 0;
}
