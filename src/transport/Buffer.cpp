#include "transport/Buffer.h"

#include <algorithm>
#include <cstring>

// Only written bytes are ever read: the chunk need not be cleared first.
TBuffer::TBuffer(int size) : size_(size > 0 ? size : 1514) { data_ = std::make_unique_for_overwrite<char[]>(size_); }

int TBuffer::Write(const void* data, int length) {
  const int n = std::clamp(length, 0, Room());
  if (n > 0) std::memcpy(data_.get() + wr_, data, static_cast<std::size_t>(n));
  wr_ += n;
  return n;
}

int TBuffer::Read(void* data, int length) {
  const int n = std::clamp(length, 0, Unread());
  if (n > 0) std::memcpy(data, data_.get() + rd_, static_cast<std::size_t>(n));
  Remove(n);
  return n;
}

const char* TBuffer::Peek(int* length) const {
  *length = Unread();
  return *length > 0 ? data_.get() + rd_ : nullptr;
}

void TBuffer::Remove(int n) {
  rd_ += std::clamp(n, 0, Unread());
  if (rd_ == wr_) rd_ = wr_ = 0;
}
