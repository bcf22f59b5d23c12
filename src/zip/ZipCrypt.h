#pragma once

// The traditional zip stream cipher: three 32-bit keys stirred by CRC-32 and a linear
// congruence, and the 12-byte header that precedes an encrypted entry's data.

#include <cstddef>
#include <cstdint>
#include <string>

namespace zip {

constexpr int kCryptHeaderSize = 12;

class TZipCrypt {
 public:
  void Init_Keys(const std::string& password);
  void update_keys(uint8_t c);
  uint8_t decrypt_byte() const;
  void decrypt_buff(uint8_t* buffer, size_t length);
  void encrypt_buff(uint8_t* buffer, size_t length);
  uint8_t zencode(uint8_t c);
  // Decrypts the 12-byte header in place with keys made from the password
  // and returns its last byte; the keys are then ready for the data.
  uint8_t DecryptTheHeader(const std::string& password, uint8_t* header);

 private:
  uint32_t keys_[3] = {0, 0, 0};
};

// Decrypts a copy of a 12-byte header with keys made from the password; returns its
// last byte, which a right password turns into the entry's check byte.
uint8_t DecryptHeaderByte(const std::string& password, const uint8_t* header);
inline uint8_t DecryptHeaderByteByPtr(const std::string& password, const uint8_t* header) {
  return DecryptHeaderByte(password, header);
}
// The byte an entry's header must decrypt to: the high byte of the time field when
// sizes follow in a data descriptor, else the high byte of the CRC.
uint8_t CryptCheckByte(uint16_t flags, uint32_t dosDateTime, uint32_t crc);

}  // namespace zip
