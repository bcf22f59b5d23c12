#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// Real servers for the HTTP and SOCKS client tests: started on free loopback
// ports, in a private temporary folder, and stopped when the object goes.
namespace httpsocks {

// The event loop the sockets need (one per test program).
void EnsureApp();
// Runs the event loop until pred holds or timeout_ms passed; returns pred().
bool PumpUntil(const std::function<bool()>& pred, int timeout_ms = 10000);
std::string SourceDir();
int FreeLoopbackPort();
bool WaitForPort(int port, int timeout_ms);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// A child process with its stdin and stdout on pipes. Closing stdin asks the
// test peers to end; the destructor then terminates whatever is left.
class Child {
 public:
  Child() = default;
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // quiet: the child's stderr goes nowhere.
  bool Start(const std::vector<std::string>& argv, bool quiet = false);
  // One line of the child's stdout, without its end; empty on timeout or end.
  std::string ReadLine(int timeout_ms);
  void Stop();
  bool Running() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  std::string pending_;
};

// Runs a command to its end; its exit status (-1 when it could not run).
int Run(const std::vector<std::string>& argv);

// A Python test peer from tests/support that prints "PORT <n>".
class ScriptPeer {
 public:
  // Returns the port, 0 on failure.
  int Start(const std::string& script, const std::vector<std::string>& args = {});
  int Port() const { return port_; }

 private:
  Child child_;
  int port_ = 0;
};

// nginx serving the folder `root` on a free loopback port.
class Nginx {
 public:
  int Start(const std::string& root);
  int Port() const { return port_; }

 private:
  TempDir dir_;
  Child child_;
  int port_ = 0;
};

// microsocks on a free loopback port, with user and password when given.
class Microsocks {
 public:
  int Start(const std::string& user = {}, const std::string& pass = {});

 private:
  Child child_;
  int port_ = 0;
};

// dante-server on a free loopback port without authentication; connections
// to blocked_port are refused by its rules.
class Dante {
 public:
  int Start(int blocked_port);

 private:
  TempDir dir_;
  Child child_;
  int port_ = 0;
};

}  // namespace httpsocks
