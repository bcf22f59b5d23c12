#include "Loopback_helpers.h"

#include "common/FreePort.h"
#include "platform/EventLoop.h"
#include "transport/CmdParser.h"

namespace testing_support {

int FreePort() { return FreeListenPort(); }

TLoopbackCaller::TLoopbackCaller(const std::string& port, const std::string& from) {
  socket.OnDataAvailable = [this](TCustomNetSocket*, int) {
    const std::string line = socket.ReceiveStr();
    if (!line.empty()) lines.push_back(TCmdParser::CleanLine(line));
  };
  socket.OnSessionClosed = [this](TCustomNetSocket*, int error) {
    closed = true;
    closeError = error;
  };
  if (!from.empty()) socket.SetLocalAddr(from);
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
