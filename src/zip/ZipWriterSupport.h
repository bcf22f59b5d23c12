#pragma once

// What the writer adds to every byte it packs: the running CRC-32 of the
// zip format and the traditional stream cipher on the way out.

#include <cstddef>
#include <cstdint>
#include <string>

namespace zip {

// CRC-32 as zip stores it (reflected, polynomial 0xEDB88320). The register
// starts at 0xFFFFFFFF and is complemented at the end; Update works on the
// raw register so that a file can be fed in pieces.
uint32_t Crc32Update(uint32_t reg, const uint8_t* data, size_t size);
inline uint32_t Crc32(const uint8_t* data, size_t size) { return ~Crc32Update(0xFFFFFFFF, data, size); }

// The three-key cipher of traditional zip encryption, encrypting side.
class TZipEncoder {
 public:
  void InitKeys(const std::string& password);
  uint8_t EncodeByte(uint8_t plain);
  void EncodeBuffer(uint8_t* data, size_t size);
  // The 12-byte header in front of an encrypted entry: ten random bytes and
  // the two upper bytes of the entry's CRC, the last one being the byte a
  // reader checks its password against. Leaves the keys ready for the data.
  void MakeHeader(const std::string& password, uint32_t crc, uint8_t header[12]);

 private:
  void UpdateKeys(uint8_t plain);
  uint8_t KeyStreamByte() const;
  uint32_t keys_[3] = {};
};

}  // namespace zip
