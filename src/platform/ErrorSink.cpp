#include "platform/ErrorSink.h"

#include <cstdio>

namespace platform {

namespace {

ErrorHandler& Handler() {
  static ErrorHandler handler;
  return handler;
}

}  // namespace

void SetErrorHandler(ErrorHandler handler) { Handler() = std::move(handler); }

void ReportError(const std::string& address, const std::string& port, const std::string& message) {
  if (const auto& handler = Handler()) {
    handler(address, port, message);
    return;
  }
  std::fprintf(stderr, "parlo: %s%s%s%s%s\n", address.c_str(), address.empty() ? "" : ":", port.c_str(),
               address.empty() && port.empty() ? "" : " ", message.c_str());
}

}  // namespace platform
