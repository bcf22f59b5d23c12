#pragma once

#include <string>
#include <vector>

#include "transport/ParloSocket.h"

namespace testing_support {

// A loopback port nobody listens on right now.
int FreePort();

// A caller on the loopback: collects the lines it is sent and notices when
// the other side closes the link.
struct TLoopbackCaller {
  TParloSocket socket;
  std::vector<std::string> lines;
  bool closed = false;
  int closeError = 0;  // 0 when the other side closed, not reset

  // From the loopback address `from` when given (127.x.y.z: a caller of its own).
  explicit TLoopbackCaller(const std::string& port, const std::string& from = "");
  bool WaitLines(size_t n, int ms = 3000);
  bool WaitClosed(int ms = 3000);
};

}  // namespace testing_support
