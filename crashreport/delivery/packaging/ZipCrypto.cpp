#include "ZipCrypto.h"

#include <zlib.h>

namespace crashreport {

namespace {

std::uint32_t Crc32Byte(std::uint32_t crc, std::uint8_t byte)
{
    static const z_crc_t *const table = get_crc_table();
    return std::uint32_t(table[(crc ^ byte) & 0xFF]) ^ (crc >> 8);
}

} // namespace

ZipCrypto::ZipCrypto(std::string_view password) : m_keys { 0x12345678u, 0x23456789u, 0x34567890u }
{
    for (const char c : password)
        update(std::uint8_t(c));
}

std::uint8_t ZipCrypto::keyByte() const
{
    const std::uint32_t temp = (m_keys[2] | 2) & 0xFFFF;
    return std::uint8_t((temp * (temp ^ 1)) >> 8);
}

void ZipCrypto::update(std::uint8_t plain)
{
    m_keys[0] = Crc32Byte(m_keys[0], plain);
    m_keys[1] = (m_keys[1] + (m_keys[0] & 0xFF)) * 134775813u + 1;
    m_keys[2] = Crc32Byte(m_keys[2], std::uint8_t(m_keys[1] >> 24));
}

void ZipCrypto::encrypt(std::uint8_t *data, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t plain = data[i];
        data[i] = plain ^ keyByte();
        update(plain);
    }
}

void ZipCrypto::decrypt(std::uint8_t *data, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        data[i] ^= keyByte();
        update(data[i]);
    }
}

} // namespace crashreport
