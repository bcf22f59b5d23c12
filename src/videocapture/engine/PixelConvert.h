#pragma once

#include <cstddef>
#include <cstdint>

// Turning what cameras send into RGB24 (blue, green, red), top row first.
// Each conversion reads no further than `length` bytes of the source; rows
// the source does not fully hold are left black.
namespace videocapture::engine {

// Source rows `srcStride` bytes apart: drivers may pad them past width * 2.
void YuyvToBgr(const std::uint8_t* src, std::size_t length, std::size_t srcStride, int width, int height,
               std::uint8_t* dst, std::size_t dstStride);
// A source in blue, green, red order already, rows `srcStride` bytes apart.
void CopyBgr(const std::uint8_t* src, std::size_t length, std::size_t srcStride, int width, int height,
             std::uint8_t* dst, std::size_t dstStride);

}  // namespace videocapture::engine
