// Throughput of TNetSocket over loopback beside a non-blocking socket driven by
// poll(), the way an event loop drives one, measured in the same run with the
// same peer on the other side; the round trip of a 100-byte line between two
// line-mode sockets in one process beside the same echo done with poll() (the
// goal: at most 1.2 times its time); and the rate of short lines through
// line mode beside a poll() reader that finds the line ends itself. Plain
// blocking sockets are shown too, but they are no ceiling for an event-driven
// socket: they never wait for one.
//
// usage: transport_bench [MiB to send, default 256] [round trips, default 20000]

#include <QCoreApplication>
#include <QEventLoop>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
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

#include "platform/EventLoop.h"
#include "transport/NetSocket.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

constexpr std::size_t kBlock = 1 << 20;

int ListenLoopback(int* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa));
  ::listen(fd, 4);
  socklen_t len = sizeof(sa);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  *port = ntohs(sa.sin_port);
  return fd;
}

int ConnectLoopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = htons(static_cast<uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0) std::abort();
  return fd;
}

void BlockingWrite(int fd, std::size_t total) {
  std::vector<char> block(kBlock, 'w');
  std::size_t sent = 0;
  while (sent < total) {
    const ssize_t n = ::send(fd, block.data(), std::min(kBlock, total - sent), MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

std::size_t BlockingRead(int fd, std::size_t total) {
  std::vector<char> block(kBlock);
  std::size_t got = 0;
  while (got < total) {
    const ssize_t n = ::recv(fd, block.data(), block.size(), 0);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

// Plain blocking sockets: a writer thread and a reader thread.
double PlainThroughput(std::size_t total) {
  int port = 0;
  const int lfd = ListenLoopback(&port);
  std::thread writer([&] {
    const int fd = ConnectLoopback(port);
    BlockingWrite(fd, total);
    ::close(fd);
  });
  const int rfd = ::accept(lfd, nullptr, nullptr);
  const auto t0 = Clock::now();
  const std::size_t got = BlockingRead(rfd, total);
  const auto t1 = Clock::now();
  writer.join();
  ::close(rfd);
  ::close(lfd);
  if (got != total) std::fprintf(stderr, "plain: short read\n");
  return static_cast<double>(total) / Seconds(t0, t1);
}

// The reference for sending: a non-blocking writer that waits in poll() for
// room, against the same blocking reader thread as TNetSocket's, timed from the
// connection to the last byte read.
double PollSendThroughput(std::size_t total) {
  int port = 0;
  const int lfd = ListenLoopback(&port);
  std::size_t got = 0;
  std::thread reader([&] {
    const int fd = ::accept(lfd, nullptr, nullptr);
    got = BlockingRead(fd, total);
    ::close(fd);
  });
  const auto t0 = Clock::now();
  const int fd = ConnectLoopback(port);
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  std::vector<char> block(kBlock, 'p');
  std::size_t sent = 0;
  while (sent < total) {
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, -1) <= 0) break;
    for (;;) {
      const ssize_t n = ::send(fd, block.data(), std::min(kBlock, total - sent), MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
      if (sent >= total) break;
    }
  }
  reader.join();
  const auto t1 = Clock::now();
  ::close(fd);
  ::close(lfd);
  if (got != total) std::fprintf(stderr, "poll send: short read\n");
  return static_cast<double>(total) / Seconds(t0, t1);
}

// The reference for receiving: a non-blocking reader that waits in poll() for
// data and hands each read to take (which says how much of the goal it was),
// against a blocking writer thread running write. The seconds it took.
template <class Write, class Take>
double PollReceive(std::size_t goal, Write write, Take take) {
  int port = 0;
  const int lfd = ListenLoopback(&port);
  const int fd = ConnectLoopback(port);
  const int wfd = ::accept(lfd, nullptr, nullptr);
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  std::vector<char> buf(kBlock);
  const auto t0 = Clock::now();
  std::thread writer([&] { write(wfd); });
  std::size_t got = 0;
  while (got < goal) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, -1) <= 0) break;
    const ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
    if (n == 0) break;
    if (n > 0) got += take(buf.data(), static_cast<std::size_t>(n));
  }
  const auto t1 = Clock::now();
  writer.join();
  ::close(wfd);
  ::close(fd);
  ::close(lfd);
  if (got != goal) std::fprintf(stderr, "poll receive: short read\n");
  return Seconds(t0, t1);
}

double PollReceiveThroughput(std::size_t total) {
  return static_cast<double>(total) /
         PollReceive(total, [&](int fd) { BlockingWrite(fd, total); }, [](const char*, std::size_t n) { return n; });
}

// TNetSocket sends; a plain blocking reader thread takes the bytes.
double NetSocketSendThroughput(std::size_t total) {
  int port = 0;
  const int lfd = ListenLoopback(&port);
  std::atomic<bool> done{false};
  std::size_t got = 0;
  std::thread reader([&] {
    const int fd = ::accept(lfd, nullptr, nullptr);
    got = BlockingRead(fd, total);
    ::close(fd);
    done = true;
  });
  TNetSocket s;
  std::string block(kBlock, 's');
  std::size_t queued = 0;
  auto send_more = [&] {
    if (queued >= total) return;
    const std::size_t n = std::min(kBlock, total - queued);
    queued += n;
    s.Send(block.data(), static_cast<int>(n));
  };
  Clock::time_point t0;
  s.OnSessionConnected = [&](TCustomNetSocket*, int) {
    t0 = Clock::now();
    send_more();
  };
  s.OnDataSent = [&](TCustomNetSocket*, int) { send_more(); };
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(port));
  s.Connect();
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
  const auto t1 = Clock::now();
  reader.join();
  s.Close();
  ::close(lfd);
  if (got != total) std::fprintf(stderr, "TNetSocket send: short read\n");
  return static_cast<double>(total) / Seconds(t0, t1);
}

// s receives from a blocking writer thread running write, its handler
// counting toward the goal in got. The seconds it took.
template <class Write>
double NetSocketReceive(TNetSocket& s, const std::size_t& got, std::size_t goal, Write write) {
  int port = 0;
  const int lfd = ListenLoopback(&port);
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(port));
  s.Connect();
  const int wfd = ::accept(lfd, nullptr, nullptr);
  while (s.State() != wsConnected) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
  const auto t0 = Clock::now();
  std::thread writer([&] { write(wfd); });
  while (got < goal && s.State() == wsConnected)
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
  const auto t1 = Clock::now();
  writer.join();
  ::close(wfd);
  s.Close();
  ::close(lfd);
  if (got != goal) std::fprintf(stderr, "TNetSocket receive: short read\n");
  return Seconds(t0, t1);
}

// A plain blocking writer thread sends; TNetSocket receives.
double NetSocketReceiveThroughput(std::size_t total) {
  TNetSocket s;
  std::vector<char> buf(kBlock);
  std::size_t got = 0;
  s.OnDataAvailable = [&](TCustomNetSocket* sock, int) {
    got += static_cast<std::size_t>(std::max(0, sock->Receive(buf.data(), static_cast<int>(buf.size()))));
  };
  return static_cast<double>(total) / NetSocketReceive(s, got, total, [&](int fd) { BlockingWrite(fd, total); });
}

// 40-byte frames back to back, as a peer that never pauses sends them.
constexpr std::size_t kLineBytes = 40;

void WriteLines(int fd, std::size_t lines) {
  std::string block;
  const std::string line = "  1006<>" + std::string(kLineBytes - 10, 'f') + "\r\n";
  while (block.size() + line.size() <= kBlock) block += line;
  for (std::size_t sent = 0; sent < lines * kLineBytes;) {
    const ssize_t n = ::send(fd, block.data(), std::min(block.size(), lines * kLineBytes - sent), MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

// Lines per second: poll() and a search for line ends, or line mode with one
// line per OnDataAvailable, taking turns with the rest of the event loop.
double PollLineRate(std::size_t lines) {
  return static_cast<double>(lines) /
         PollReceive(lines, [&](int fd) { WriteLines(fd, lines); },
                     [](const char* p, std::size_t n) { return static_cast<std::size_t>(std::count(p, p + n, '\n')); });
}

double NetSocketLineRate(std::size_t lines) {
  TNetSocket s;
  s.SetLineMode(true);
  std::size_t seen = 0;
  char buf[2047];
  s.OnDataAvailable = [&](TCustomNetSocket* sock, int) { seen += sock->Receive(buf, sizeof(buf)) > 0; };
  return static_cast<double>(lines) / NetSocketReceive(s, seen, lines, [&](int fd) { WriteLines(fd, lines); });
}

// Median round trip of a 100-byte line between two line-mode sockets, driven
// by an event loop that waits for work as the program's own does (rather
// than asking again and again whether there is any). The handlers capture
// one pointer, as the program's own do (a bigger capture would cost an
// allocation for every event).
double LineRoundTripMicros(int trips) {
  struct Trip {
    TNetSocket listener, server_side, client;
    QEventLoop loop;
    const std::string line = std::string(98, 'r') + "\r\n";
    std::vector<double> samples;
    Clock::time_point sent_at;
    int trips = 0;
    char buf[8192];

    void Ping() {
      sent_at = Clock::now();
      client.SendStr(line);
    }
  };
  auto t = std::make_unique<Trip>();
  t->trips = trips;
  t->samples.reserve(static_cast<std::size_t>(trips));
  const int port = [] {
    int p = 0;
    ::close(ListenLoopback(&p));
    return p;
  }();
  Trip* trip = t.get();
  t->listener.SetAddr("127.0.0.1");
  t->listener.SetPort(std::to_string(port));
  // The listener goes once it has its caller, as the reference's does: a
  // listening socket left open is one more descriptor for every wait.
  t->listener.OnSessionAvailable = [trip](TCustomNetSocket* l, int) {
    trip->server_side.Dup(l->Accept());
    l->CloseDelayed();
  };
  t->listener.Listen();
  t->server_side.SetLineMode(true);
  t->server_side.OnDataAvailable = [trip](TCustomNetSocket* s, int) {
    const int n = s->Receive(trip->buf, 8191);
    if (n > 0) s->Send(trip->buf, n);
  };
  t->client.SetLineMode(true);
  t->client.OnDataAvailable = [trip](TCustomNetSocket* s, int) {
    const int n = s->Receive(trip->buf, 8191);
    if (n != static_cast<int>(trip->line.size())) return;
    trip->samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - trip->sent_at).count());
    if (static_cast<int>(trip->samples.size()) < trip->trips) trip->Ping();
    else trip->loop.quit();
  };
  t->client.OnSessionConnected = [trip](TCustomNetSocket*, int) { trip->Ping(); };
  t->client.OnSessionClosed = [trip](TCustomNetSocket*, int) { trip->loop.quit(); };
  t->client.SetAddr("127.0.0.1");
  t->client.SetPort(std::to_string(port));
  t->client.Connect();
  t->loop.exec();
  std::sort(t->samples.begin(), t->samples.end());
  return t->samples.empty() ? -1 : t->samples[t->samples.size() / 2];
}

// The reference for the round trip: the same two ends as plain non-blocking
// sockets in one poll() loop, each reading what is there, finding the line
// end and writing the line back (or timing it), as an event loop with nothing
// else to do would.
double PollEchoRoundTripMicros(int trips) {
  int port = 0;
  const int lfd = ListenLoopback(&port);
  const int client = ConnectLoopback(port);
  const int server = ::accept(lfd, nullptr, nullptr);
  ::close(lfd);
  for (int fd : {client, server}) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  const std::string line = std::string(98, 'r') + "\r\n";
  std::vector<double> samples;
  samples.reserve(static_cast<std::size_t>(trips));
  std::string held[2];
  std::vector<char> buf(kBlock);
  Clock::time_point sent_at;
  auto ping = [&] {
    sent_at = Clock::now();
    ::send(client, line.data(), line.size(), MSG_NOSIGNAL);
  };
  ping();
  pollfd fds[2] = {{server, POLLIN, 0}, {client, POLLIN, 0}};
  while (static_cast<int>(samples.size()) < trips) {
    if (::poll(fds, 2, -1) <= 0) break;
    for (int i = 0; i < 2; ++i) {
      if ((fds[i].revents & POLLIN) == 0) continue;
      const ssize_t n = ::recv(fds[i].fd, buf.data(), buf.size(), 0);
      if (n <= 0) continue;
      held[i].append(buf.data(), static_cast<std::size_t>(n));
      for (std::size_t end; (end = held[i].find("\r\n")) != std::string::npos;) {
        if (i == 0) {
          ::send(server, held[i].data(), end + 2, MSG_NOSIGNAL);
        } else {
          samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent_at).count());
          if (static_cast<int>(samples.size()) < trips) ping();
        }
        held[i].erase(0, end + 2);
      }
    }
  }
  ::close(client);
  ::close(server);
  std::sort(samples.begin(), samples.end());
  return samples.empty() ? -1 : samples[samples.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  platform::TEventLoopChoice loop;
  QCoreApplication app(argc, argv);
  loop.Done();
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  const int trips = argc > 2 ? std::atoi(argv[2]) : 20000;
  const std::size_t total = mib << 20;

  // The machine is shared: ours and the reference take turns (the first to go
  // alternating), and each round gives one ratio; the median ratio is the figure.
  constexpr int kRounds = 5;
  std::vector<double> plain, pollSend, pollReceive, sending, receiving, sendRatio, receiveRatio;
  std::vector<double> pollLines, lineMode, lineRatio, pollTrip, lineTrip, tripRatio;
  const std::size_t lines = total / 4 / kLineBytes;
  auto measure = [](int round, auto ours_fn, auto ref_fn, std::vector<double>& ours, std::vector<double>& ref,
                    std::vector<double>& ratio) {
    double o = 0, r = 0;
    if (round % 2 == 0) {
      o = ours_fn();
      r = ref_fn();
    } else {
      r = ref_fn();
      o = ours_fn();
    }
    ours.push_back(o);
    ref.push_back(r);
    ratio.push_back(o / r);
  };
  for (int round = 0; round < kRounds; ++round) {
    measure(round, [&] { return NetSocketSendThroughput(total); }, [&] { return PollSendThroughput(total); }, sending,
            pollSend, sendRatio);
    measure(round, [&] { return NetSocketReceiveThroughput(total); }, [&] { return PollReceiveThroughput(total); },
            receiving, pollReceive, receiveRatio);
    measure(round, [&] { return NetSocketLineRate(lines); }, [&] { return PollLineRate(lines); }, lineMode, pollLines,
            lineRatio);
    measure(round, [&] { return LineRoundTripMicros(trips); }, [&] { return PollEchoRoundTripMicros(trips); },
            lineTrip, pollTrip, tripRatio);
    plain.push_back(PlainThroughput(total));
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  const double gib = 1024.0 * 1024.0 * 1024.0;
  std::printf("bytes per run                  %zu MiB (medians of %d alternating rounds)\n", mib, kRounds);
  std::printf("poll() non-blocking sending    %8.2f GiB/s\n", median(pollSend) / gib);
  std::printf("TNetSocket sending             %8.2f GiB/s   median ratio %.2f\n", median(sending) / gib,
              median(sendRatio));
  std::printf("poll() non-blocking receiving  %8.2f GiB/s\n", median(pollReceive) / gib);
  std::printf("TNetSocket receiving           %8.2f GiB/s   median ratio %.2f\n", median(receiving) / gib,
              median(receiveRatio));
  std::printf("poll() reader, 40-byte lines   %8.2f M lines/s (%zu lines)\n", median(pollLines) / 1e6, lines);
  std::printf("line mode, 40-byte lines       %8.2f M lines/s   median ratio %.2f\n", median(lineMode) / 1e6,
              median(lineRatio));
  std::printf("plain blocking sockets         %8.2f GiB/s   (no event loop; not a ceiling)\n", median(plain) / gib);
  std::printf("poll() echo, 100-byte line     %8.1f us round trip (median over %d trips)\n", median(pollTrip), trips);
  constexpr double kTripGoal = 1.2;
  const double trip = median(tripRatio);
  std::printf("line mode, 100-byte line       %8.1f us round trip   median ratio %.3f (goal <= %.2f): %s\n",
              median(lineTrip), trip, kTripGoal, trip <= kTripGoal ? "met" : "NOT met");
  return 0;
}
