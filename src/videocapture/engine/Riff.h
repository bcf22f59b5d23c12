#pragma once

// Little-endian fields of RIFF files, built into and read out of byte strings.

#include <cstdint>
#include <cstring>
#include <string>

#include "videocapture/engine/MediaFormat.h"

namespace videocapture::engine {

class TRiffBuilder {
 public:
  TRiffBuilder& U8(std::uint8_t v) {
    bytes_.push_back(static_cast<char>(v));
    return *this;
  }
  TRiffBuilder& U16(std::uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
  TRiffBuilder& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  TRiffBuilder& U64(std::uint64_t v) { return U32(static_cast<std::uint32_t>(v)).U32(static_cast<std::uint32_t>(v >> 32)); }
  TRiffBuilder& Zeros(std::size_t n) {
    bytes_.append(n, '\0');
    return *this;
  }
  TRiffBuilder& Bytes(const std::string& b) {
    bytes_ += b;
    return *this;
  }
  // A chunk: its code, its size, the body and a pad byte to an even length.
  TRiffBuilder& Chunk(std::uint32_t id, const std::string& body) {
    U32(id).U32(static_cast<std::uint32_t>(body.size())).Bytes(body);
    if (body.size() % 2) U8(0);
    return *this;
  }
  TRiffBuilder& List(std::uint32_t type, const std::string& body) {
    return U32(FourCC('L', 'I', 'S', 'T')).U32(static_cast<std::uint32_t>(body.size() + 4)).U32(type).Bytes(body);
  }
  const std::string& Str() const { return bytes_; }
  std::size_t Size() const { return bytes_.size(); }

 private:
  std::string bytes_;
};

// Reads fields at a byte offset; anything past the end reads as 0.
inline std::uint32_t ReadU32(const std::string& b, std::size_t at) {
  if (at > b.size() || b.size() - at < 4) return 0;
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
  return v;
}
inline std::uint16_t ReadU16(const std::string& b, std::size_t at) {
  if (at > b.size() || b.size() - at < 2) return 0;
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}
inline std::uint64_t ReadU64(const std::string& b, std::size_t at) {
  return ReadU32(b, at) | static_cast<std::uint64_t>(ReadU32(b, at + 4)) << 32;
}

}  // namespace videocapture::engine
