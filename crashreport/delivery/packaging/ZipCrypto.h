#pragma once
// The traditional PKWARE ZIP encryption. Our own, because the minizip of
// Debian 12 reads the CRC table with the wrong element width on 64-bit
// machines and writes archives that no unzip can open.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace crashreport {

class ZipCrypto {
public:
    explicit ZipCrypto(std::string_view password);
    // Encrypts in place.
    void encrypt(std::uint8_t *data, std::size_t size);
    void decrypt(std::uint8_t *data, std::size_t size);

private:
    std::uint8_t keyByte() const;
    void update(std::uint8_t plain);

    std::uint32_t m_keys[3];
};

} // namespace crashreport
