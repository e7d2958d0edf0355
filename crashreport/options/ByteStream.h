#pragma once
// Little-endian writing and bounds-checked reading of byte buffers.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace crashreport {

class ByteWriter {
public:
    void u8(std::uint8_t v) { m_bytes.push_back(v); }
    void u16(std::uint16_t v) { put(v, 2); }
    void u32(std::uint32_t v) { put(v, 4); }
    void u48(std::uint64_t v) { put(v, 6); }
    void bytes(const std::uint8_t *data, std::size_t size) { m_bytes.insert(m_bytes.end(), data, data + size); }
    void bytes(const std::vector<std::uint8_t> &data) { bytes(data.data(), data.size()); }
    void put(std::uint64_t v, int width)
    {
        for (int i = 0; i < width; ++i)
            m_bytes.push_back(std::uint8_t(v >> (8 * i)));
    }
    std::vector<std::uint8_t> &data() { return m_bytes; }
    std::vector<std::uint8_t> take() { return std::move(m_bytes); }

private:
    std::vector<std::uint8_t> m_bytes;
};

// Every read checks the remaining size first; after the first failed read the
// reader stays failed and further reads return zero.
class ByteReader {
public:
    ByteReader(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}

    bool ok() const { return m_ok; }
    std::size_t position() const { return m_pos; }
    std::size_t remaining() const { return m_ok ? m_size - m_pos : 0; }
    const std::uint8_t *current() const { return m_data + m_pos; }

    std::uint64_t get(int width)
    {
        if (!need(std::size_t(width)))
            return 0;
        std::uint64_t v = 0;
        for (int i = 0; i < width; ++i)
            v |= std::uint64_t(m_data[m_pos + i]) << (8 * i);
        m_pos += std::size_t(width);
        return v;
    }
    std::uint8_t u8() { return std::uint8_t(get(1)); }
    std::uint16_t u16() { return std::uint16_t(get(2)); }
    std::uint32_t u32() { return std::uint32_t(get(4)); }
    bool skip(std::size_t n)
    {
        if (!need(n))
            return false;
        m_pos += n;
        return true;
    }
    bool bytes(std::size_t n, std::vector<std::uint8_t> &out)
    {
        if (!need(n))
            return false;
        out.assign(m_data + m_pos, m_data + m_pos + n);
        m_pos += n;
        return true;
    }
    void fail() { m_ok = false; }

private:
    bool need(std::size_t n)
    {
        if (!m_ok || n > m_size - m_pos) {
            m_ok = false;
            return false;
        }
        return true;
    }

    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

} // namespace crashreport
