#include "Loopback_helpers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/EventLoop.h"
#include "transport/CmdParser.h"

namespace testing_support {

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa));
  socklen_t len = sizeof(sa);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  ::close(fd);
  return ntohs(sa.sin_port);
}

TLoopbackCaller::TLoopbackCaller(const std::string& port) {
  socket.OnDataAvailable = [this](TCustomNetSocket*, int) {
    const std::string line = socket.ReceiveStr();
    if (!line.empty()) lines.push_back(TCmdParser::CleanLine(line));
  };
  socket.OnSessionClosed = [this](TCustomNetSocket*, int) { closed = true; };
  socket.SetAddr("127.0.0.1");
  socket.SetPort(port);
  socket.Connect();
}

bool TLoopbackCaller::WaitLines(size_t n, int ms) {
  return platform::ProcessMessagesUntil([&] { return lines.size() >= n; }, ms);
}

bool TLoopbackCaller::WaitClosed(int ms) {
  return platform::ProcessMessagesUntil([&] { return closed; }, ms);
}

}  // namespace testing_support
