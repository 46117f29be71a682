// CRC-32 (reflected polynomial 0xEDB88320) of entry data, as stored in the
// entry records of a pack.
#pragma once

#include <cstddef>
#include <cstdint>

// Continues a CRC over more bytes; start with crc = 0.
uint32_t PackCrc32(uint32_t crc, const void* pData, size_t nBytes);
