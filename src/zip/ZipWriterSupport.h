#pragma once

// What the writer adds to every byte it packs: the running CRC-32 of the
// zip format and the traditional stream cipher on the way out.

#include <cstddef>
#include <cstdint>
#include <string>

#include "zip/Crc32.h"
#include "zip/ZipCrypt.h"

namespace zip {

// CRC-32 as zip stores it, on the raw register so that a file can be fed in
// pieces (start at 0xFFFFFFFF, complement at the end).
inline uint32_t Crc32Update(uint32_t reg, const uint8_t* data, size_t size) { return Update_CRC_buff(reg, data, size); }
inline uint32_t Crc32(const uint8_t* data, size_t size) { return Crc32Of(data, size); }

// The three-key cipher of traditional zip encryption, encrypting side.
class TZipEncoder {
 public:
  void InitKeys(const std::string& password);
  uint8_t EncodeByte(uint8_t plain);
  void EncodeBuffer(uint8_t* data, size_t size);
  // The 12-byte header in front of an encrypted entry: ten random bytes and
  // the two upper bytes of the entry's CRC, the last one being the byte a
  // reader checks its password against. Leaves the keys ready for the data.
  void CryptHead(const std::string& password, uint32_t crc, uint8_t header[12]);

 private:
  TZipCrypt crypt_;
};

}  // namespace zip
