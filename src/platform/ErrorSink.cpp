#include "platform/ErrorSink.h"

#include <cstdio>

namespace platform {

namespace {

ErrorHandler& Handler() {
  static ErrorHandler handler;
  return handler;
}

TErrorSource*& CurrentSource() {
  static TErrorSource* source = nullptr;
  return source;
}

}  // namespace

TErrorSource::TErrorSource(std::string address, std::string port)
    : address_(std::move(address)), port_(std::move(port)), outer_(CurrentSource()) {
  CurrentSource() = this;
}

TErrorSource::~TErrorSource() { CurrentSource() = outer_; }

void SetErrorHandler(ErrorHandler handler) { Handler() = std::move(handler); }

void ReportError(const std::string& givenAddress, const std::string& givenPort, const std::string& message) {
  const TErrorSource* source = givenAddress.empty() && givenPort.empty() ? CurrentSource() : nullptr;
  const std::string& address = source != nullptr ? source->address_ : givenAddress;
  const std::string& port = source != nullptr ? source->port_ : givenPort;
  if (const auto& handler = Handler()) {
    handler(address, port, message);
    return;
  }
  std::fprintf(stderr, "parlo: %s%s%s%s%s\n", address.c_str(), address.empty() ? "" : ":", port.c_str(),
               address.empty() && port.empty() ? "" : " ", message.c_str());
}

}  // namespace platform
