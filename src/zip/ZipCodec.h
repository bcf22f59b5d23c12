#pragma once

// What every decompressor is fed from and drains into, and the small bit reader and
// history window that the older methods share.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zip {

// The entry's compressed bytes, chunk by chunk; 0 means the data is used up.
class TZipSource {
 public:
  virtual ~TZipSource() = default;
  virtual size_t ReadChunk(uint8_t* buffer, size_t max) = 0;
};

// Where decompressed bytes go; raises when it cannot take them (more than the entry's
// size, a full disk, a cancelled run).
class TZipSink {
 public:
  virtual ~TZipSink() = default;
  virtual void Write(const uint8_t* data, size_t length) = 0;
};

// A source over a block of memory.
class TMemorySource : public TZipSource {
 public:
  TMemorySource(const uint8_t* data, size_t length, size_t chunk = 32768)
      : data_(data), left_(length), chunk_(chunk) {}
  size_t ReadChunk(uint8_t* buffer, size_t max) override;

 private:
  const uint8_t* data_;
  size_t left_;
  size_t chunk_;
};

// A sink that appends to a vector, refusing to grow past a limit.
class TVectorSink : public TZipSink {
 public:
  explicit TVectorSink(std::vector<uint8_t>& out, size_t limit = SIZE_MAX) : out_(out), limit_(limit) {}
  void Write(const uint8_t* data, size_t length) override;

 private:
  std::vector<uint8_t>& out_;
  size_t limit_;
};

// Least-significant-bit-first reader for the older methods; past the end of the data
// it supplies zero bits and counts them, so a decoder can tell it ran dry.
class TBitReader {
 public:
  explicit TBitReader(TZipSource& source) : source_(source), buffer_(32768) {}
  uint32_t Peek(int n) {
    while (count_ < n) Fill();
    return static_cast<uint32_t>(bits_ & ((1u << n) - 1));
  }
  void Skip(int n) {
    bits_ >>= n;
    count_ -= n;
  }
  uint32_t Get(int n) {
    const uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  // True once more than a few bytes past the end of the data were asked for.
  bool Overrun() const { return zeroBytes_ > 8; }

 private:
  void Fill();
  TZipSource& source_;
  std::vector<uint8_t> buffer_;
  size_t pos_ = 0, end_ = 0;
  uint64_t bits_ = 0;
  int count_ = 0;
  size_t zeroBytes_ = 0;
};

// Circular history window for the older methods; written out whenever it fills.
class THistoryWindow {
 public:
  static constexpr size_t kSize = 32768;
  explicit THistoryWindow(TZipSink& sink) : sink_(sink), window_(kSize, 0) {}
  void Put(uint8_t c) {
    window_[pos_++] = c;
    ++total_;
    if (pos_ == kSize) Flush();
  }
  // A distance reaching back before the first byte reads zeros.
  void Copy(size_t distance, size_t length) {
    for (; length; --length) Put(window_[(pos_ - distance) & (kSize - 1)]);
  }
  void Flush() {
    if (pos_ > flushed_) sink_.Write(window_.data() + flushed_, pos_ - flushed_);
    if (pos_ == kSize) pos_ = 0;
    flushed_ = pos_;
  }
  uint64_t Total() const { return total_; }

 private:
  TZipSink& sink_;
  std::vector<uint8_t> window_;
  size_t pos_ = 0, flushed_ = 0;
  uint64_t total_ = 0;
};

}  // namespace zip
