#include "zip/ZipCodec.h"

#include <algorithm>
#include <cstring>

#include "platform/Exception.h"

namespace zip {

size_t TMemorySource::ReadChunk(uint8_t* buffer, size_t max) {
  const size_t n = std::min({max, left_, chunk_});
  std::memcpy(buffer, data_, n);
  data_ += n;
  left_ -= n;
  return n;
}

void TVectorSink::Write(const uint8_t* data, size_t length) {
  if (length > limit_ - out_.size()) throw platform::Exception("File is larger than uncompressed size!");
  out_.insert(out_.end(), data, data + length);
}

void TBitReader::Fill() {
  if (pos_ == end_) {
    end_ = source_.ReadChunk(buffer_.data(), buffer_.size());
    pos_ = 0;
  }
  uint8_t byte = 0;
  if (pos_ < end_) byte = buffer_[pos_++];
  else ++zeroBytes_;
  bits_ |= static_cast<uint64_t>(byte) << count_;
  count_ += 8;
}

}  // namespace zip
