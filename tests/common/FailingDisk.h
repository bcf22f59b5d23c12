#pragma once

// Writes that fail as they do on a full disk or in a folder the user may not
// write to, on real files. The write runs in a child process, so that the
// limits and the dropped rights never reach the test program itself.

#include <linux/capability.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

namespace testing_support {

enum class DiskFault {
  // Files may grow to `limit` bytes; a write past it fails with EFBIG, as
  // a full disk or a quota fails it (the signal that would end the process
  // is ignored, as the program must survive it).
  SizeLimit,
  // The folder of the store is made read-only for the write.
  ReadOnlyFolder,
};

// Runs `write` in a child under the fault and answers what it returned (the
// failure it reported, "" when it reported none). A child that died answers
// "child died".
inline std::string WriteUnderFault(DiskFault fault, const std::filesystem::path& folder,
                                   const std::function<std::string()>& write, rlim_t limit = 100) {
  namespace fs = std::filesystem;
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return "no pipe";
  const fs::perms before = fs::status(folder).permissions();
  if (fault == DiskFault::ReadOnlyFolder)
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeEnds[0]);
    if (fault == DiskFault::SizeLimit) {
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit small{limit, limit};
      ::setrlimit(RLIMIT_FSIZE, &small);
    } else if (::geteuid() == 0) {
      // Root writes into any folder; without its capabilities it is an owner like any other.
      __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
      __user_cap_data_struct none[2] = {};
      ::syscall(SYS_capset, &header, none);
    }
    std::string answer;
    try {
      answer = write();
    } catch (const std::exception& e) {
      answer = std::string("uncaught: ") + e.what();
    }
    (void)!::write(pipeEnds[1], answer.data(), answer.size());
    ::_exit(0);
  }
  ::close(pipeEnds[1]);
  std::string answer;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) answer.append(buffer, static_cast<size_t>(n));
  ::close(pipeEnds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  fs::permissions(folder, before);
  if (child < 0 || !WIFEXITED(status)) return "child died";
  return answer;
}

}  // namespace testing_support
