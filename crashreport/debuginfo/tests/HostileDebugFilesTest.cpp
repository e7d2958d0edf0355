// Debug files beside a module come from whoever wrote to the drive. These tests build files
// whose tables point again and again at the same bytes or claim far more than they hold, and
// check that the readers' work and memory stay proportional to the file's size.
#include "CRDebugInfoJedy.h"
#include "CRDebugInfoTD32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

using namespace crashreport;

// Heap accounting for this test program: the peak of the bytes held through operator new.
namespace
{

std::atomic<std::size_t> g_heldBytes { 0 };
std::atomic<std::size_t> g_peakBytes { 0 };
constexpr std::size_t HeaderBytes = alignof(std::max_align_t);

void *countedAlloc(std::size_t size)
{
    auto *raw = static_cast<unsigned char *>(std::malloc(size + HeaderBytes));
    if (!raw)
        throw std::bad_alloc();
    *reinterpret_cast<std::size_t *>(raw) = size;
    const std::size_t held = g_heldBytes.fetch_add(size) + size;
    std::size_t peak = g_peakBytes.load();
    while (held > peak && !g_peakBytes.compare_exchange_weak(peak, held)) {
    }
    return raw + HeaderBytes;
}

void countedFree(void *p) noexcept
{
    if (!p)
        return;
    auto *raw = static_cast<unsigned char *>(p) - HeaderBytes;
    g_heldBytes.fetch_sub(*reinterpret_cast<std::size_t *>(raw));
    std::free(raw);
}

// The most heap held at once by fn beyond what was held before it.
template <typename Fn> std::size_t peakHeapOf(Fn &&fn)
{
    const std::size_t before = g_heldBytes.load();
    g_peakBytes = before;
    fn();
    return g_peakBytes.load() - before;
}

} // namespace

void *operator new(std::size_t size)
{
    return countedAlloc(size);
}
void *operator new[](std::size_t size)
{
    return countedAlloc(size);
}
// The nothrow forms too: a sanitizer runtime would otherwise serve them itself.
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    try {
        return countedAlloc(size);
    } catch (...) {
        return nullptr;
    }
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept
{
    try {
        return countedAlloc(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void *p, const std::nothrow_t &) noexcept
{
    countedFree(p);
}
void operator delete[](void *p, const std::nothrow_t &) noexcept
{
    countedFree(p);
}
void operator delete(void *p) noexcept
{
    countedFree(p);
}
void operator delete[](void *p) noexcept
{
    countedFree(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    countedFree(p);
}
void operator delete[](void *p, std::size_t) noexcept
{
    countedFree(p);
}

namespace
{

struct Bytes {
    std::string d;
    void u16(std::uint32_t v)
    {
        d.push_back(static_cast<char>(v));
        d.push_back(static_cast<char>(v >> 8));
    }
    void u32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            d.push_back(static_cast<char>(v >> (8 * i)));
    }
    std::uint32_t at() const { return static_cast<std::uint32_t>(d.size()); }
};

// TD32 data whose source module lists `files` file records that all sit at one offset; that
// record lists `blocks` line blocks that all sit at one offset, with `pairs` line pairs; and
// whose directory names that source module `entries` times.
std::string td32Repeating(std::uint32_t entries, std::uint32_t files, std::uint32_t blocks, std::uint32_t pairs)
{
    Bytes b;
    b.d = "FB09";
    b.u32(0); // directory offset, patched below
    const std::uint32_t start = b.at();
    b.u16(files), b.u16(1);
    const std::uint32_t fileAt = 2 + 2 + 4 * files + 8 + 2;
    for (std::uint32_t f = 0; f < files; ++f)
        b.u32(fileAt);
    b.u32(0), b.u32(0xFFFF), b.u16(1);
    const std::uint32_t blockAt = fileAt + 2 + 4 + 4 * blocks + 8 * blocks;
    b.u16(blocks), b.u32(0);
    for (std::uint32_t k = 0; k < blocks; ++k)
        b.u32(blockAt);
    for (std::uint32_t k = 0; k < blocks; ++k)
        b.u32(0), b.u32(0xFFFF);
    EXPECT_EQ(b.at() - start, blockAt);
    b.u16(1), b.u16(pairs);
    for (std::uint32_t p = 0; p < pairs; ++p)
        b.u32(p * 4);
    for (std::uint32_t p = 0; p < pairs; ++p)
        b.u16(p + 1);
    const std::uint32_t size = b.at() - start;
    const std::uint32_t dir = b.at();
    for (int i = 0; i < 4; ++i)
        b.d[4 + i] = static_cast<char>(dir >> (8 * i));
    b.u16(16), b.u16(12), b.u32(entries), b.u32(0), b.u32(0);
    for (std::uint32_t e = 0; e < entries; ++e)
        b.u16(0x127), b.u16(1), b.u32(start), b.u32(size);
    return b.d;
}

} // namespace

TEST(HostileDebugFiles, Td32WorkStaysWithinTheFileSize)
{
    struct Case {
        const char *what;
        std::uint32_t entries, files, blocks, pairs;
    };
    const Case cases[] = {
        { "file records at one offset", 1, 300, 1, 200 },
        { "line blocks at one offset", 1, 1, 300, 200 },
        { "both", 1, 120, 120, 150 },
        { "directory entries naming one subsection", 400, 2, 1, 100 },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string data = td32Repeating(c.entries, c.files, c.blocks, c.pairs);
        TCRDebugInfoTD32 td32(data);
        EXPECT_LE(td32.recordsDecoded(), data.size()) << data.size() << " bytes";
        EXPECT_FALSE(td32.valid());
        TCrashLocationInfo info;
        EXPECT_FALSE(td32.getLocationInfo(0x10, info));
    }
    // The same layout with each offset named once is sound data and is read whole.
    const std::string once = td32Repeating(1, 1, 1, 200);
    TCRDebugInfoTD32 sound(once);
    EXPECT_GE(sound.recordsDecoded(), 200u);
    EXPECT_LE(sound.recordsDecoded(), once.size());
}

namespace
{

// JDBG data with `rows` symbols that all name one word of `wordLength` characters, as plain
// text or 6-bit packed.
std::string jdbgRepeating(std::uint32_t rows, std::size_t wordLength, bool plain)
{
    std::string streams, unitsStream, symbols;
    TCRDebugInfoJedy::appendValue(unitsStream, 0);
    TCRDebugInfoJedy::appendValue(unitsStream, 0);
    TCRDebugInfoJedy::appendValue(unitsStream, 0x7FFFFFFF);
    for (std::uint32_t r = 0; r < rows; ++r) {
        TCRDebugInfoJedy::appendValue(symbols, 1); // next address
        TCRDebugInfoJedy::appendValue(symbols, 0); // the same word again
        TCRDebugInfoJedy::appendValue(symbols, 0); // no class part
    }
    TCRDebugInfoJedy::appendValue(symbols, 0x7FFFFFFF);
    std::string empty;
    TCRDebugInfoJedy::appendValue(empty, 0x7FFFFFFF);
    const std::string word = plain ? "\1" + std::string(wordLength, '-') + '\0'
                                   : TCRDebugInfoJedy::packWord(std::string(wordLength, 'x'));
    Bytes b;
    b.d = "JDBG";
    b.d.push_back('\1');
    const std::uint32_t units = 34, sources = units + static_cast<std::uint32_t>(unitsStream.size()),
                        syms = sources + static_cast<std::uint32_t>(empty.size()),
                        lines = syms + static_cast<std::uint32_t>(symbols.size()),
                        words = lines + static_cast<std::uint32_t>(empty.size());
    for (std::uint32_t v : { units, sources, syms, lines, words, 0u, 0u })
        b.u32(v);
    b.d.push_back('\0');
    return b.d + unitsStream + empty + symbols + empty + word;
}

} // namespace

TEST(HostileDebugFiles, JdbgMemoryStaysWithinAFewTimesTheFileSize)
{
    struct Case {
        const char *what;
        std::uint32_t rows;
        std::size_t wordLength;
        bool plain;
    };
    const Case cases[] = {
        { "packed words of 4096 characters named by every row", 30000, 4096, false },
        { "a plain-text word of 8000 characters named by every row", 30000, 8000, true },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string data = jdbgRepeating(c.rows, c.wordLength, c.plain);
        const std::size_t size = data.size();
        bool valid = false;
        std::size_t nameLength = 0;
        const std::size_t peak = peakHeapOf([&] {
            TCRDebugInfoJedy jdbg(std::move(data));
            valid = jdbg.valid();
            TCrashLocationInfo info;
            if (jdbg.getLocationInfo(100, info))
                nameLength = info.procedureName.size();
        });
        EXPECT_LE(peak, 32 * size) << size << " bytes of data";
        // The data is sound apart from its long names, which are cut as the entries hold them.
        EXPECT_TRUE(valid);
        EXPECT_EQ(nameLength, TCRDebugInfoJedy::MaxWordLength);
    }
}

TEST(HostileDebugFiles, JdbgWordsRunningOffTheDataAreRefused)
{
    for (bool plain : { true, false }) {
        std::string data = jdbgRepeating(10, 40, plain);
        data.resize(data.size() - (plain ? 1 : 3)); // loses the word's end
        EXPECT_FALSE(TCRDebugInfoJedy(data).valid()) << plain;
    }
}
