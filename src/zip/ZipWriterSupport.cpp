#include "zip/ZipWriterSupport.h"

#include <array>
#include <cstring>
#include <random>

namespace zip {

namespace {

// Eight tables let the loop take eight bytes per step instead of one; the
// CRC would otherwise cost as much as the fastest deflate level.
using TCrcTables = std::array<std::array<uint32_t, 256>, 8>;

TCrcTables MakeCrcTables() {
  TCrcTables t{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n) {
    for (int k = 1; k < 8; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
  }
  return t;
}

const TCrcTables& CrcTables() {
  static const TCrcTables tables = MakeCrcTables();
  return tables;
}

inline uint32_t CrcByte(uint32_t reg, uint8_t b) { return CrcTables()[0][(reg ^ b) & 0xFF] ^ (reg >> 8); }

}  // namespace

uint32_t Crc32Update(uint32_t reg, const uint8_t* data, size_t size) {
  const auto& t = CrcTables();
  while (size >= 8) {
    uint32_t lo, hi;
    std::memcpy(&lo, data, 4);  // little-endian hosts, as the deflate bit writer
    std::memcpy(&hi, data + 4, 4);
    lo ^= reg;
    reg = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
          t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    data += 8;
    size -= 8;
  }
  while (size--) reg = t[0][(reg ^ *data++) & 0xFF] ^ (reg >> 8);
  return reg;
}

void TZipEncoder::InitKeys(const std::string& password) {
  keys_[0] = 305419896;
  keys_[1] = 591751049;
  keys_[2] = 878082192;
  for (char c : password) UpdateKeys(static_cast<uint8_t>(c));
}

void TZipEncoder::UpdateKeys(uint8_t plain) {
  keys_[0] = CrcByte(keys_[0], plain);
  keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
  keys_[2] = CrcByte(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
}

uint8_t TZipEncoder::KeyStreamByte() const {
  // Unsigned on purpose: the 16-bit product overflows a signed int.
  const uint32_t temp = (keys_[2] | 2) & 0xFFFF;
  return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
}

uint8_t TZipEncoder::EncodeByte(uint8_t plain) {
  uint8_t out = plain ^ KeyStreamByte();
  UpdateKeys(plain);
  return out;
}

void TZipEncoder::EncodeBuffer(uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) data[i] = EncodeByte(data[i]);
}

void TZipEncoder::MakeHeader(const std::string& password, uint32_t crc, uint8_t header[12]) {
  // The filler bytes are what keeps two archives with the same password and
  // content from sharing a key stream, so they come from the system's
  // entropy source rather than a generator seeded with the clock.
  static std::random_device device;
  InitKeys(password);
  for (int i = 0; i < 10; ++i) header[i] = static_cast<uint8_t>(device());
  header[10] = static_cast<uint8_t>(crc >> 16);
  header[11] = static_cast<uint8_t>(crc >> 24);
  EncodeBuffer(header, 12);
}

}  // namespace zip
