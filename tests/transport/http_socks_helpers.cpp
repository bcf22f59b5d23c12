#include "transport/http_socks_helpers.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/FreePort.h"
#include "platform/EventLoop.h"

namespace httpsocks {

namespace fs = std::filesystem;

void EnsureApp() {
  // A peer that goes away while we write must not end the test program.
  std::signal(SIGPIPE, SIG_IGN);
  if (QCoreApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "transport_tests";
  static char* argv[] = {name, nullptr};
  platform::TEventLoopChoice loop;
  new QCoreApplication(argc, argv);
}

bool PumpUntil(const std::function<bool()>& pred, int timeout_ms) {
  return platform::ProcessMessagesUntil(pred, timeout_ms);
}

std::string SourceDir() {
  if (const char* dir = std::getenv("PARLO_SOURCE_DIR")) return dir;
  return fs::path(__FILE__).parent_path().parent_path().parent_path().string();
}

// Outside the range outgoing connections take their ports from: parallel
// tests open hundreds, and one could hold the port before the server binds it.
int FreeLoopbackPort() { return testing_support::FreeListenPort(); }

bool WaitForPort(int port, int timeout_ms) {
  for (int waited = 0; waited < timeout_ms; waited += 20) {
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

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TempDir::TempDir() {
  std::string templ = (fs::temp_directory_path() / "parlo-httpsocks-XXXXXX").string();
  if (::mkdtemp(templ.data()) != nullptr) path_ = templ;
  // Servers that drop their privileges still read what we put here.
  fs::permissions(path_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path_.empty()) fs::remove_all(path_, ec);
}

// --- child processes -----------------------------------------------------------

Child::~Child() { Stop(); }

bool Child::Start(const std::vector<std::string>& argv, bool quiet) {
  int in_pipe[2], out_pipe[2];
  if (::pipe2(in_pipe, O_CLOEXEC) != 0) return false;
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) return false;
  // Everything the child needs is made before the fork: other threads may hold
  // the allocator's lock at that moment.
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const int null = quiet ? ::open("/dev/null", O_WRONLY | O_CLOEXEC) : -1;
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    ::dup2(in_pipe[0], 0);
    ::dup2(out_pipe[1], 1);
    if (null >= 0) ::dup2(null, 2);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  if (null >= 0) ::close(null);
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  pid_ = pid;
  in_ = in_pipe[1];
  out_ = out_pipe[0];
  return true;
}

std::string Child::ReadLine(int timeout_ms) {
  for (int waited = 0;;) {
    const std::size_t nl = pending_.find('\n');
    if (nl != std::string::npos) {
      std::string line = pending_.substr(0, nl);
      pending_.erase(0, nl + 1);
      return line;
    }
    if (waited >= timeout_ms || out_ < 0) return {};
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, 50) > 0) {
      char buf[512];
      const ssize_t n = ::read(out_, buf, sizeof(buf));
      if (n <= 0) return {};
      pending_.append(buf, static_cast<std::size_t>(n));
    } else {
      waited += 50;
    }
  }
}

void Child::Stop() {
  if (in_ >= 0) ::close(in_);
  in_ = -1;
  if (pid_ > 0) {
    // The peers end when stdin closes; servers get a terminate signal.
    for (int i = 0; i < 20; ++i) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      if (i == 2) ::kill(pid_, SIGTERM);
      ::usleep(25000);
    }
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  if (out_ >= 0) ::close(out_);
  out_ = -1;
}

int Run(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int ScriptPeer::Start(const std::string& script, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"python3", SourceDir() + "/tests/support/" + script};
  argv.insert(argv.end(), args.begin(), args.end());
  if (!child_.Start(argv)) return 0;
  const std::string line = child_.ReadLine(10000);
  if (line.rfind("PORT ", 0) != 0) return 0;
  port_ = std::atoi(line.c_str() + 5);
  return port_;
}

// --- real servers ------------------------------------------------------------------

namespace {

// Starts a server on a free port, trying again when another program took the
// port between our choice and the server's bind.
template <class Launch>
int StartOnFreePort(Child& child, Launch launch) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int port = FreeLoopbackPort();
    if (!launch(port)) return 0;
    if (WaitForPort(port, 5000)) return port;
    child.Stop();
  }
  return 0;
}

}  // namespace

int Nginx::Start(const std::string& root) {
  const std::string d = dir_.Path();
  fs::create_directories(d + "/tmp");
  port_ = StartOnFreePort(child_, [&](int port) {
    std::ostringstream conf;
    conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
         << "error_log " << d << "/error.log;\npid " << d << "/nginx.pid;\n"
         << "events { worker_connections 64; }\n"
         << "http {\n  include /etc/nginx/mime.types;\n  default_type application/octet-stream;\n"
         << "  access_log off;\n  sendfile on;\n"
         << "  client_body_temp_path " << d << "/tmp/body;\n  proxy_temp_path " << d << "/tmp/proxy;\n"
         << "  fastcgi_temp_path " << d << "/tmp/fastcgi;\n  uwsgi_temp_path " << d << "/tmp/uwsgi;\n"
         << "  scgi_temp_path " << d << "/tmp/scgi;\n"
         << "  server {\n    listen 127.0.0.1:" << port << ";\n    root " << root << ";\n  }\n}\n";
    WriteFile(d + "/nginx.conf", conf.str());
    return child_.Start({"nginx", "-p", d, "-e", d + "/error.log", "-c", d + "/nginx.conf"});
  });
  return port_;
}

int Microsocks::Start(const std::string& user, const std::string& pass) {
  port_ = StartOnFreePort(child_, [&](int port) {
    std::vector<std::string> argv = {"microsocks", "-i", "127.0.0.1", "-p", std::to_string(port), "-b", "127.0.0.1"};
    if (!user.empty()) argv.insert(argv.end(), {"-u", user, "-P", pass});
    return child_.Start(argv, true);
  });
  return port_;
}

int Dante::Start(int blocked_port) {
  const std::string d = dir_.Path();
  port_ = StartOnFreePort(child_, [&](int port) {
    std::ostringstream conf;
    conf << "logoutput: " << d << "/danted.log\n"
         << "internal: 127.0.0.1 port = " << port << "\nexternal: 127.0.0.1\n"
         << "clientmethod: none\nsocksmethod: none\n";
    if (::geteuid() == 0) conf << "user.privileged: root\nuser.unprivileged: nobody\n";
    conf << "client pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n}\n"
         << "socks block {\n  from: 0.0.0.0/0 to: 127.0.0.1/32 port = " << blocked_port << "\n}\n"
         << "socks pass {\n  from: 127.0.0.0/8 to: 127.0.0.0/8\n  command: connect\n  protocol: tcp\n}\n";
    WriteFile(d + "/danted.conf", conf.str());
    return child_.Start({"danted", "-f", d + "/danted.conf", "-p", d + "/danted.pid", "-N", "1"});
  });
  return port_;
}

}  // namespace httpsocks
