// What the two-process references share: a listening socket on a free
// loopback port, and pinning a process to the core it was given.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace bench {

// A socket listening on 127.0.0.1 at a port the system picks, its address in
// `at`; -1 where none can be had.
inline int ListenOnLoopback(sockaddr_in& at) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  at = sockaddr_in{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof at;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(fd, 1) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &len) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

inline void NoDelay(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// Keeps the calling process on the core named, where one is.
inline void PinTo(const char* core) {
  if (core == nullptr) return;
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(std::atoi(core), &set);
  if (::sched_setaffinity(0, sizeof set, &set) != 0) std::perror("sched_setaffinity");
}

}  // namespace bench
