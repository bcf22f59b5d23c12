#pragma once

#include "platform/Exception.h"

// Every error the socket classes raise themselves.
class ESocketException : public platform::Exception {
 public:
  using platform::Exception::Exception;
};
