#pragma once
// The compact "JDBG" debug data: a header with the offsets of five streams (units, source
// names, symbols, line numbers, words), the first four made of variable-length numbers
// (7 bits a byte, low bits first, high bit = more follows; 0x7FFFFFFF ends a stream) that
// are deltas of address and name position (and line), the last the names themselves.
//
// Header (little-endian, packed, 34 bytes): u32 signature "JDBG", u8 version,
// i32 units, i32 source names, i32 symbols, i32 line numbers, i32 words, i32 module name,
// i32 check sum, u8 check sum valid.
// A word is 6-bit packed text (four characters in three bytes, low bits first: 1-26 'a'-'z',
// 27-52 'A'-'Z', 53-62 '0'-'9', 63 '_', 0 ends it) or, after a first byte 1, plain text up
// to a zero byte.

#include "CRDebugInfoSource.h"

#include <string>
#include <vector>

namespace crashreport
{

class TCRDebugInfoJedy : public TCRDebugInfoSource
{
public:
    explicit TCRDebugInfoJedy(std::string data);
    bool getLocationInfo(std::uint64_t address, TCrashLocationInfo &info) const override;
    bool valid() const override { return m_valid; }

    // Writers used by tests and tools.
    static void appendValue(std::string &out, std::uint32_t value);
    static std::string packWord(const std::string &text);

    // Names are cut to this many characters, as the call-stack entries hold them.
    static constexpr std::size_t MaxWordLength = 255;

private:
    // The tables keep word offsets, not texts: the data is held once and a name is decoded
    // (at most MaxWordLength characters) when a look-up needs it. So the memory stays a small
    // multiple of the data's size whatever the data claims.
    struct Named {
        std::uint64_t address;
        std::uint32_t word;
    };
    struct Symbol {
        std::uint64_t address;
        std::uint32_t word, second; // second 0: no class part
    };
    struct Line {
        std::uint64_t address;
        std::uint32_t line;
    };
    bool parse();
    template <typename Row> bool readStream(std::size_t offset, std::vector<Row> &rows) const;
    bool word(std::uint32_t offset, std::string &out) const;

    std::string m_data;
    bool m_valid = false;
    std::uint32_t m_wordsOffset = 0;
    std::vector<Named> m_units, m_sources;
    std::vector<Symbol> m_symbols;
    std::vector<Line> m_lines;
};

} // namespace crashreport
