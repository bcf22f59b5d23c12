#include "zip/Crc32.h"

#include <array>
#include <cstring>

namespace zip {

namespace {

// Eight tables let the loop fold eight bytes per step; table k gives the effect of a
// byte followed by k zero bytes.
struct CrcTables {
  std::array<std::array<uint32_t, 256>, 8> t{};
  constexpr CrcTables() {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n)
      for (int k = 1; k < 8; ++k) t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
  }
};

constexpr CrcTables kCrc;

}  // namespace

uint32_t UpdCRC(uint8_t byte, uint32_t crc) { return kCrc.t[0][(crc ^ byte) & 0xFF] ^ (crc >> 8); }

uint32_t Update_CRC_buff(uint32_t crc, const void* buffer, size_t length) {
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  const auto& t = kCrc.t;
  while (length >= 8) {
    uint32_t lo, hi;
    std::memcpy(&lo, p, 4);
    std::memcpy(&hi, p + 4, 4);
    lo ^= crc;  // little-endian host: the register lines up with the first four bytes
    crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
          t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    p += 8;
    length -= 8;
  }
  while (length--) crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
  return crc;
}

uint32_t Crc32Of(const void* buffer, size_t length) { return ~Update_CRC_buff(0xFFFFFFFFu, buffer, length); }

}  // namespace zip
