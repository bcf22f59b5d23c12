#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <random>

namespace testing_support {

// A port a test can listen on: free now, and outside the range the system
// hands out to outgoing connections, so that the thousands of callers other
// tests open meanwhile cannot take it as their own local port before the
// test's listener binds it.
inline int FreeListenPort() {
  int low = 32768, high = 60999;
  if (FILE* f = std::fopen("/proc/sys/net/ipv4/ip_local_port_range", "r")) {
    if (std::fscanf(f, "%d %d", &low, &high) != 2) low = 32768, high = 60999;
    std::fclose(f);
  }
  const bool below = low > 21000;
  std::uniform_int_distribution<int> pick(below ? 20000 : high + 1, below ? low - 1 : 65535);
  std::mt19937 rng(std::random_device{}());
  for (int attempt = 0; attempt <= 200; ++attempt) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(attempt < 200 ? pick(rng) : 0);  // the last try takes any port
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) == 0;
    socklen_t len = sizeof(sa);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    ::close(fd);
    if (bound) return ntohs(sa.sin_port);
  }
  return 0;
}

}  // namespace testing_support
