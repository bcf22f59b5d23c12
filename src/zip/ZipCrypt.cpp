#include "zip/ZipCrypt.h"

#include "zip/Crc32.h"

namespace zip {

void TZipCrypt::Init_Keys(const std::string& password) {
  keys_[0] = 305419896u;
  keys_[1] = 591751049u;
  keys_[2] = 878082192u;
  for (char c : password) update_keys(static_cast<uint8_t>(c));
}

void TZipCrypt::update_keys(uint8_t c) {
  keys_[0] = UpdCRC(c, keys_[0]);
  keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
  keys_[2] = UpdCRC(static_cast<uint8_t>(keys_[1] >> 24), keys_[2]);
}

uint8_t TZipCrypt::decrypt_byte() const {
  const uint32_t temp = (keys_[2] | 2) & 0xFFFF;
  return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
}

void TZipCrypt::decrypt_buff(uint8_t* buffer, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const uint8_t c = static_cast<uint8_t>(buffer[i] ^ decrypt_byte());
    update_keys(c);
    buffer[i] = c;
  }
}

void TZipCrypt::encrypt_buff(uint8_t* buffer, size_t length) {
  for (size_t i = 0; i < length; ++i) buffer[i] = zencode(buffer[i]);
}

uint8_t TZipCrypt::zencode(uint8_t c) {
  const uint8_t t = decrypt_byte();
  update_keys(c);
  return static_cast<uint8_t>(c ^ t);
}

uint8_t TZipCrypt::DecryptTheHeader(const std::string& password, uint8_t* header) {
  Init_Keys(password);
  decrypt_buff(header, kCryptHeaderSize);
  return header[kCryptHeaderSize - 1];
}

uint8_t DecryptHeaderByte(const std::string& password, const uint8_t* header) {
  TZipCrypt crypt;
  uint8_t copy[kCryptHeaderSize];
  for (int i = 0; i < kCryptHeaderSize; ++i) copy[i] = header[i];
  return crypt.DecryptTheHeader(password, copy);
}

uint8_t CryptCheckByte(uint16_t flags, uint32_t dosDateTime, uint32_t crc) {
  return (flags & 8) ? static_cast<uint8_t>((dosDateTime >> 8) & 0xFF) : static_cast<uint8_t>(crc >> 24);
}

}  // namespace zip

