#pragma once

// Raw deflate decoding (stored, fixed and dynamic blocks).

#include <cstdint>
#include <memory>
#include <vector>

#include "zip/ZipCodec.h"

namespace zip {

// One decoder's state: its window, input buffer and tables (about 400 KB). One
// object can decode any number of streams in turn, which spares small entries the
// cost of setting all that up again.
class TInflater {
 public:
  TInflater();
  TInflater(TZipSource& source, TZipSink& sink);
  ~TInflater();
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;

  // Decodes one whole stream. False for data that is not a valid deflate stream (the
  // bytes decoded before the fault have been written).
  bool Run(TZipSource& source, TZipSink& sink);
  bool Run();  // with the source and sink given at construction
  uint64_t TotalOut() const { return totalOut_; }

 private:
  struct State;
  std::unique_ptr<State> s_;
  TZipSource* source_ = nullptr;
  TZipSink* sink_ = nullptr;
  uint64_t totalOut_ = 0;
};

// One-call form: false for a bad stream; `out` gets what was decoded.
bool InflateBuffer(const uint8_t* data, size_t length, std::vector<uint8_t>& out, size_t limit = SIZE_MAX);

}  // namespace zip
