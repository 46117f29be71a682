#include "bndlib/packcrc.h"

namespace
{
// Slicing-by-4 tables: verify and create run this over every byte of a pack.
struct CrcTables
{
    uint32_t m_table[4][256];
    CrcTables()
    {
        for (uint32_t i = 0; i < 256; ++i)
        {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
            m_table[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int t = 1; t < 4; ++t)
                m_table[t][i] = (m_table[t - 1][i] >> 8) ^ m_table[0][m_table[t - 1][i] & 0xFF];
    }
};

const CrcTables& Tables()
{
    static const CrcTables s_tables;
    return s_tables;
}
} // namespace

uint32_t PackCrc32(uint32_t crc, const void* pData, size_t nBytes)
{
    const CrcTables& t = Tables();
    const uint8_t* p = (const uint8_t*)pData;
    crc = ~crc;
    while (nBytes >= 4)
    {
        crc ^= (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) |
               ((uint32_t)p[3] << 24);
        crc = t.m_table[3][crc & 0xFF] ^ t.m_table[2][(crc >> 8) & 0xFF] ^
              t.m_table[1][(crc >> 16) & 0xFF] ^ t.m_table[0][crc >> 24];
        p += 4;
        nBytes -= 4;
    }
    while (nBytes--)
        crc = t.m_table[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}
