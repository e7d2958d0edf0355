#include "PngWriter.h"

#include "PngCrc.h"

#include <zlib.h>

#include <cstring>

namespace crashreport {

namespace {

void putU32(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void putChunk(std::vector<std::uint8_t> &out, const char type[4], const std::uint8_t *data, std::size_t size)
{
    putU32(out, static_cast<std::uint32_t>(size));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    if (size)
        out.insert(out.end(), data, data + size);
    putU32(out, PngCrc32(0, out.data() + typeAt, size + 4));
}

// Drains the deflate stream's output buffer into IDAT chunks whenever it is full.
class IdatSink {
public:
    explicit IdatSink(std::vector<std::uint8_t> &out) : m_out(out), m_buffer(MaxIdatBytes) { }

    bool deflateAll(z_stream &zs, const std::uint8_t *data, std::size_t size, int flush)
    {
        zs.next_in = const_cast<Bytef *>(data);
        zs.avail_in = static_cast<uInt>(size);
        for (;;) {
            if (zs.avail_out == 0)
                emitFull(zs);
            const int rc = ::deflate(&zs, flush);
            if (rc == Z_STREAM_END)
                return true;
            if (rc != Z_OK && rc != Z_BUF_ERROR)
                return false;
            if (flush == Z_NO_FLUSH && zs.avail_in == 0)
                return true;
            if (rc == Z_BUF_ERROR && zs.avail_out != 0)
                return false; // no progress possible
        }
    }
    void start(z_stream &zs)
    {
        zs.next_out = m_buffer.data();
        zs.avail_out = static_cast<uInt>(m_buffer.size());
    }
    void finish(const z_stream &zs)
    {
        const std::size_t used = m_buffer.size() - zs.avail_out;
        if (used)
            putChunk(m_out, "IDAT", m_buffer.data(), used);
    }

private:
    void emitFull(z_stream &zs)
    {
        putChunk(m_out, "IDAT", m_buffer.data(), m_buffer.size());
        start(zs);
    }
    std::vector<std::uint8_t> &m_out;
    std::vector<std::uint8_t> m_buffer;
};

} // namespace

std::vector<std::uint8_t> EncodePalettePng(int width, int height, const std::vector<std::uint8_t> &indices,
                                           const std::vector<TPaletteEntry> &palette)
{
    if (width <= 0 || height <= 0 || indices.size() != static_cast<std::size_t>(width) * height)
        return {};

    std::vector<std::uint8_t> out;
    static const std::uint8_t signature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};
    out.insert(out.end(), signature, signature + 8);

    std::vector<std::uint8_t> header;
    putU32(header, static_cast<std::uint32_t>(width));
    putU32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 3, 0, 0, 0});
    putChunk(out, "IHDR", header.data(), header.size());

    std::uint8_t plte[768] = {};
    for (std::size_t i = 0; i < palette.size() && i < 256; ++i) {
        plte[i * 3] = palette[i].red;
        plte[i * 3 + 1] = palette[i].green;
        plte[i * 3 + 2] = palette[i].blue;
    }
    putChunk(out, "PLTE", plte, sizeof plte);

    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (::deflateInit(&zs, 9) != Z_OK)
        return {};
    // Level 9 with its full match chain (4096) spends seconds on the long repeats of a screen
    // picture; a chain of 256 keeps the level's lazy matching and costs a few per cent of size.
    ::deflateTune(&zs, 32, 258, 258, 256);
    IdatSink sink(out);
    sink.start(zs);
    bool ok = true;
    const std::uint8_t filter = 0;
    for (int y = 0; ok && y < height; ++y) {
        ok = sink.deflateAll(zs, &filter, 1, Z_NO_FLUSH) &&
             sink.deflateAll(zs, indices.data() + static_cast<std::size_t>(y) * width, static_cast<std::size_t>(width), Z_NO_FLUSH);
    }
    ok = ok && sink.deflateAll(zs, nullptr, 0, Z_FINISH);
    if (ok)
        sink.finish(zs);
    ::deflateEnd(&zs);
    if (!ok)
        return {};

    putChunk(out, "IEND", nullptr, 0);
    return out;
}

} // namespace crashreport
