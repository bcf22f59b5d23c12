#pragma once

// Raw deflate decoding (stored, fixed and dynamic blocks).

#include <cstdint>
#include <memory>
#include <vector>

#include "zip/ZipCodec.h"

namespace zip {

class TInflater {
 public:
  TInflater(TZipSource& source, TZipSink& sink);
  ~TInflater();
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;

  // Decodes the whole stream. False for data that is not a valid deflate stream (the
  // bytes decoded before the fault have been written).
  bool Run();
  uint64_t TotalOut() const { return totalOut_; }

 private:
  struct State;
  std::unique_ptr<State> s_;
  uint64_t totalOut_ = 0;
};

// One-call form: false for a bad stream; `out` gets what was decoded.
bool InflateBuffer(const uint8_t* data, size_t length, std::vector<uint8_t>& out, size_t limit = SIZE_MAX);

}  // namespace zip
