// Downloads a 1 GiB file from nginx over loopback with THttpClient and with
// curl in the same run and prints both throughputs and their ratio.
//
//   http_bench [size in MiB, default 1024] [rounds, default 3]

#include <QCoreApplication>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/EventLoop.h"
#include "transport/HttpClient.h"

namespace fs = std::filesystem;

namespace {

pid_t Spawn(const std::vector<std::string>& argv) {
  // Made before the fork: another thread may hold the allocator's lock then.
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  return pid;
}

int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof(a);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(s);
  return ntohs(a.sin_port);
}

bool WaitForPort(int port) {
  for (int i = 0; i < 250; ++i) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
    ::close(s);
    if (ok) return true;
    ::usleep(20000);
  }
  return false;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  const long mib = argc > 1 ? std::atol(argv[1]) : 1024;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const std::int64_t size = static_cast<std::int64_t>(mib) * 1024 * 1024;
  platform::TEventLoopChoice loop;
  QCoreApplication app(argc, argv);
  loop.Done();

  // nginx in a private folder, serving one file of `size` bytes.
  char templ[] = "/tmp/parlo-http-bench-XXXXXX";
  if (::mkdtemp(templ) == nullptr) return 1;
  const std::string dir = templ;
  fs::permissions(dir, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec |
                           fs::perms::group_read | fs::perms::group_exec);
  fs::create_directories(dir + "/www");
  fs::create_directories(dir + "/tmp");
  {
    // Pattern bytes, written once; the page cache serves both clients alike.
    std::ofstream out(dir + "/www/file.bin", std::ios::binary);
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7 + 3);
    for (long i = 0; i < mib; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  const int port = FreePort();
  {
    std::ofstream conf(dir + "/nginx.conf");
    conf << "daemon off;\nmaster_process off;\nworker_processes 1;\nerror_log " << dir << "/error.log;\npid " << dir
         << "/nginx.pid;\nevents { worker_connections 16; }\nhttp {\n  access_log off;\n  sendfile on;\n"
         << "  default_type application/octet-stream;\n  client_body_temp_path " << dir << "/tmp/b;\n  proxy_temp_path "
         << dir << "/tmp/p;\n  fastcgi_temp_path " << dir << "/tmp/f;\n  uwsgi_temp_path " << dir
         << "/tmp/u;\n  scgi_temp_path " << dir << "/tmp/s;\n  server {\n    listen 127.0.0.1:" << port
         << ";\n    root " << dir << "/www;\n  }\n}\n";
  }
  const pid_t nginx = Spawn({"nginx", "-p", dir, "-e", dir + "/error.log", "-c", dir + "/nginx.conf"});
  if (!WaitForPort(port)) {
    std::fprintf(stderr, "nginx did not start\n");
    ::kill(nginx, SIGTERM);
    return 1;
  }
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/file.bin";

  double best_ours = 1e9, best_curl = 1e9;
  bool ok = true;
  for (int round = 0; round < rounds && ok; ++round) {
    {
      THttpClient client;
      std::int64_t received = 0;
      bool done = false;
      int error = -1;
      client.OnDocData = [&](THttpClient*, const char*, int len) { received += len; };
      client.OnRequestDone = [&](THttpClient*, THttpRequest, int e) {
        done = true;
        error = e;
      };
      client.URL = url;
      const auto start = std::chrono::steady_clock::now();
      client.GetASync();
      platform::ProcessMessagesUntil([&] { return done; }, 600000);
      const double t = Seconds(start);
      if (!done || error != 0 || received != size || client.StatusCode() != 200) {
        std::fprintf(stderr, "THttpClient failed: error %d, %lld of %lld bytes, %s\n", error,
                     static_cast<long long>(received), static_cast<long long>(size), client.ReasonPhrase().c_str());
        ok = false;
        break;
      }
      best_ours = std::min(best_ours, t);
    }
    {
      const auto start = std::chrono::steady_clock::now();
      const pid_t curl = Spawn({"curl", "-s", "-o", "/dev/null", url});
      int status = 0;
      ::waitpid(curl, &status, 0);
      const double t = Seconds(start);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "curl failed\n");
        ok = false;
        break;
      }
      best_curl = std::min(best_curl, t);
    }
  }
  ::kill(nginx, SIGTERM);
  ::waitpid(nginx, nullptr, 0);
  std::error_code ec;
  fs::remove_all(dir, ec);
  if (!ok) return 1;

  const double mb = static_cast<double>(size) / 1e6;
  std::printf("download of %ld MiB from nginx over loopback, best of %d\n", mib, rounds);
  std::printf("  THttpClient  %8.3f s  %9.1f MB/s\n", best_ours, mb / best_ours);
  std::printf("  curl         %8.3f s  %9.1f MB/s\n", best_curl, mb / best_curl);
  std::printf("  ratio (THttpClient / curl throughput): %.2f (goal >= 0.80)\n", best_curl / best_ours);
  return 0;
}
