// Throughput of TNetSocket over loopback beside a plain blocking POSIX
// connection measured in the same run, and the round trip of a 100-byte line
// between two line-mode sockets in one process.
//
// usage: transport_bench [MiB to send, default 1024] [round trips, default 20000]

#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

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

// A writer thread connects and runs write(fd); this thread accepts and runs
// read(fd). The seconds read took.
template <class Write, class Read>
double TimePlain(Write write, Read read) {
  int port = 0;
  const int lfd = ListenLoopback(&port);
  std::thread writer([&] {
    const int fd = ConnectLoopback(port);
    write(fd);
    ::close(fd);
  });
  const int rfd = ::accept(lfd, nullptr, nullptr);
  const auto t0 = Clock::now();
  read(rfd);
  const auto t1 = Clock::now();
  writer.join();
  ::close(rfd);
  ::close(lfd);
  return Seconds(t0, t1);
}

// s connects; a writer thread runs write(fd) on the accepted end while the
// event loop runs until done() holds. The seconds that took.
template <class Write>
double TimeNetSocketReceive(TNetSocket& s, Write write, const std::function<bool()>& done) {
  int port = 0;
  const int lfd = ListenLoopback(&port);
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(port));
  s.Connect();
  const int wfd = ::accept(lfd, nullptr, nullptr);
  while (s.State() != wsConnected) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
  const auto t0 = Clock::now();
  std::thread writer([&] { write(wfd); });
  while (!done() && s.State() == wsConnected)
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
  const auto t1 = Clock::now();
  writer.join();
  ::close(wfd);
  s.Close();
  ::close(lfd);
  return Seconds(t0, t1);
}

// Plain blocking sockets: a writer thread and a reader thread.
double PlainThroughput(std::size_t total) {
  std::size_t got = 0;
  const double seconds = TimePlain([&](int fd) { BlockingWrite(fd, total); },
                                   [&](int fd) { got = BlockingRead(fd, total); });
  if (got != total) std::fprintf(stderr, "plain: short read\n");
  return static_cast<double>(total) / seconds;
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

// A plain blocking writer thread sends; TNetSocket receives.
double NetSocketReceiveThroughput(std::size_t total) {
  TNetSocket s;
  std::vector<char> buf(kBlock);
  std::size_t got = 0;
  s.OnDataAvailable = [&](TCustomNetSocket* sock, int) {
    const int n = sock->Receive(buf.data(), static_cast<int>(buf.size()));
    if (n > 0) got += static_cast<std::size_t>(n);
  };
  const double seconds = TimeNetSocketReceive(s, [&](int fd) { BlockingWrite(fd, total); }, [&] { return got >= total; });
  if (got != total) std::fprintf(stderr, "TNetSocket receive: short read\n");
  return static_cast<double>(total) / seconds;
}

// 40-byte frames sent back to back by a plain blocking writer thread. The
// reference reads them with blocking reads and finds the line ends itself;
// TNetSocket hands them out one per OnDataAvailable in line mode, taking
// turns with the rest of the event loop. Lines per second.
constexpr std::size_t kLineBytes = 40;

std::string LineBlock() {
  std::string block;
  const std::string line = "  1006<>" + std::string(kLineBytes - 10, 'f') + "\r\n";
  while (block.size() + line.size() <= kBlock) block += line;
  return block;
}

void WriteLines(int fd, std::size_t lines) {
  const std::string block = LineBlock();
  const std::size_t per_block = block.size() / kLineBytes;
  for (std::size_t sent = 0; sent < lines; sent += per_block) {
    const std::size_t n = std::min(per_block, lines - sent) * kLineBytes;
    for (std::size_t off = 0; off < n;) {
      const ssize_t w = ::send(fd, block.data() + off, n - off, MSG_NOSIGNAL);
      if (w <= 0) return;
      off += static_cast<std::size_t>(w);
    }
  }
}

double PlainLineRate(std::size_t lines) {
  std::size_t seen = 0;
  const double seconds = TimePlain([&](int fd) { WriteLines(fd, lines); },
                                   [&](int fd) {
                                     std::vector<char> block(kBlock);
                                     for (ssize_t n; (n = ::recv(fd, block.data(), block.size(), 0)) > 0;)
                                       seen += static_cast<std::size_t>(
                                           std::count(block.data(), block.data() + n, '\n'));
                                   });
  if (seen != lines) std::fprintf(stderr, "plain lines: %zu of %zu\n", seen, lines);
  return static_cast<double>(lines) / seconds;
}

double NetSocketLineRate(std::size_t lines) {
  TNetSocket s;
  s.SetLineMode(true);
  std::size_t seen = 0;
  char buf[2047];
  s.OnDataAvailable = [&](TCustomNetSocket* sock, int) {
    if (sock->Receive(buf, sizeof(buf)) > 0) ++seen;
  };
  const double seconds = TimeNetSocketReceive(s, [&](int fd) { WriteLines(fd, lines); }, [&] { return seen >= lines; });
  if (seen != lines) std::fprintf(stderr, "TNetSocket lines: %zu of %zu\n", seen, lines);
  return static_cast<double>(lines) / seconds;
}

// Median round trip of a 100-byte line between two line-mode sockets.
double LineRoundTripMicros(int trips) {
  TNetSocket listener;
  TNetSocket server_side;
  TNetSocket client;
  const int port = [] {
    int p = 0;
    ::close(ListenLoopback(&p));
    return p;
  }();
  listener.SetAddr("127.0.0.1");
  listener.SetPort(std::to_string(port));
  listener.OnSessionAvailable = [&](TCustomNetSocket* l, int) { server_side.Dup(l->Accept()); };
  listener.Listen();

  const std::string line = std::string(98, 'r') + "\r\n";
  std::vector<double> samples;
  samples.reserve(static_cast<std::size_t>(trips));
  Clock::time_point sent_at;
  char buf[8192];
  server_side.SetLineMode(true);
  server_side.OnDataAvailable = [&](TCustomNetSocket* s, int) {
    const int n = s->Receive(buf, 8191);
    if (n > 0) s->Send(buf, n);
  };
  client.SetLineMode(true);
  auto ping = [&] {
    sent_at = Clock::now();
    client.SendStr(line);
  };
  client.OnDataAvailable = [&](TCustomNetSocket* s, int) {
    const int n = s->Receive(buf, 8191);
    if (n != static_cast<int>(line.size())) return;
    samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent_at).count());
    if (static_cast<int>(samples.size()) < trips) ping();
  };
  client.OnSessionConnected = [&](TCustomNetSocket*, int) { ping(); };
  client.SetAddr("127.0.0.1");
  client.SetPort(std::to_string(port));
  client.Connect();
  while (static_cast<int>(samples.size()) < trips && client.State() != wsClosed)
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
  std::sort(samples.begin(), samples.end());
  return samples.empty() ? -1 : samples[samples.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1024;
  const int trips = argc > 2 ? std::atoi(argv[2]) : 20000;
  const std::size_t total = mib << 20;

  // The machine is shared: each figure is the best of three runs, taken in
  // turns so that a busy moment hurts all three alike.
  double plain = 0, sending = 0, receiving = 0, plain_lines = 0, socket_lines = 0;
  const std::size_t lines = total / 4 / kLineBytes;
  for (int run = 0; run < 3; ++run) {
    plain = std::max(plain, PlainThroughput(total));
    sending = std::max(sending, NetSocketSendThroughput(total));
    receiving = std::max(receiving, NetSocketReceiveThroughput(total));
    plain_lines = std::max(plain_lines, PlainLineRate(lines));
    socket_lines = std::max(socket_lines, NetSocketLineRate(lines));
  }
  const double gib = 1024.0 * 1024.0 * 1024.0;
  std::printf("bytes per run                  %zu MiB (best of 3)\n", mib);
  std::printf("plain blocking sockets         %8.2f GiB/s\n", plain / gib);
  std::printf("TNetSocket sending             %8.2f GiB/s   ratio %.2f\n", sending / gib, sending / plain);
  std::printf("TNetSocket receiving           %8.2f GiB/s   ratio %.2f\n", receiving / gib, receiving / plain);
  std::printf("40-byte lines, plain reader     %8.2f M lines/s (%zu lines)\n", plain_lines / 1e6, lines);
  std::printf("40-byte lines, line mode       %8.2f M lines/s   ratio %.2f\n", socket_lines / 1e6,
              socket_lines / plain_lines);
  std::printf("100-byte line round trip       %8.1f us median over %d trips\n", LineRoundTripMicros(trips), trips);
  return 0;
}
