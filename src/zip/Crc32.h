#pragma once

// CRC-32 (polynomial 0xEDB88320) as a running register: start at 0xFFFFFFFF and
// complement at the end.

#include <cstddef>
#include <cstdint>

namespace zip {

uint32_t UpdCRC(uint8_t byte, uint32_t crc);
uint32_t Update_CRC_buff(uint32_t crc, const void* buffer, size_t length);
// The finished CRC of one block: Update_CRC_buff from 0xFFFFFFFF, complemented.
uint32_t Crc32Of(const void* buffer, size_t length);

}  // namespace zip
