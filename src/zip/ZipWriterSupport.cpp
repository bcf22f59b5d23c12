#include "zip/ZipWriterSupport.h"

#include <random>

namespace zip {

void TZipEncoder::InitKeys(const std::string& password) { crypt_.Init_Keys(password); }

uint8_t TZipEncoder::EncodeByte(uint8_t plain) { return crypt_.zencode(plain); }

void TZipEncoder::EncodeBuffer(uint8_t* data, size_t size) { crypt_.encrypt_buff(data, size); }

void TZipEncoder::CryptHead(const std::string& password, uint32_t crc, uint8_t header[12]) {
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
