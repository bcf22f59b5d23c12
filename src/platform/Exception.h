#pragma once

#include <stdexcept>
#include <string>

namespace platform {

// Base of every error the program raises itself. The message is 8-bit text
// (Windows-1252), shown and logged as it stands.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// A text that should have been a number, a date or another value was not.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// An index outside a list, string list or stream.
class EListError : public Exception {
 public:
  using Exception::Exception;
};

// A file or stream could not be opened, read or written.
class EStreamError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace platform
