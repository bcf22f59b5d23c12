#pragma once

#include <cstddef>
#include <memory>

// One chunk of a socket's send queue: bytes written behind, read from the
// front. When everything written has been read, both counts return to 0 so
// the chunk can be filled again.
class TBuffer {
 public:
  // A size of 0 or less gives the size of one Ethernet frame.
  explicit TBuffer(int size);

  // Copies as much as fits; returns that number (0 when full).
  int Write(const void* data, int length);
  // Copies and removes at most length bytes; returns the number.
  int Read(void* data, int length);
  // The unread part (nullptr and 0 when empty).
  const char* Peek(int* length) const;
  // Drops at most n unread bytes.
  void Remove(int n);

  int Size() const { return size_; }
  int Unread() const { return wr_ - rd_; }
  int Room() const { return size_ - wr_; }

 private:
  std::unique_ptr<char[]> data_;
  int size_;
  int wr_ = 0;
  int rd_ = 0;
};
