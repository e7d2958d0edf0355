#pragma once
// The library's own line table: units, lines and procedures of a module packed into a
// compact byte stream that travels in the module's options data block (stream "LINE"),
// so that a stripped program still reports unit, procedure and line.
//
// Stream layout (little-endian):
//   u32 version (CrashLineTableVersion)
//   u32 string count, then the strings: u16 length, bytes. Every file and procedure name
//       is stored here once; units and procedure starts refer to it by index.
//   u32 unit count
//   per unit: u32 name (string index of the source file),
//             u32 first line, u32 start address (file virtual address),
//             u32 code size, u32 end position of the unit's records in the stream
//   records: unit k's records run from the end position of unit k-1 (for the first unit,
//   the end of the unit table) to its own end position.
// A record is one address range [A, A + address step) whose line is the previous line plus
// the line step. Its first byte says how it is packed:
//   bit 0 clear:               1 byte; line step = bits 6-7 + 1, address step = bits 1-5 + 1
//   bit 0 set, bit 1 clear:    1 byte, procedure start; line step = bits 5-7 + 1,
//                              address step = bits 2-4 + 1
//   bits 0 and 1 set:          bit 2 = procedure start;
//       bit 3 clear: u16 word, line step = bits 11-15 + 1, address step = bits 4-10 + 1
//       bit 3 set:   u32 word, line step = bits 4-19 + 1, address step = bits 20-31 + 1
//                    (4095 means 0). Bits 4-31 equal to 0xFFEFFFE: two u16 follow, line
//                    step - 1 and address step - 1; equal to 0xFFEFFFD: an i32 line step
//                    and a u32 address step follow (steps back in the source).
// A procedure start is followed by two unsigned LEB128 numbers (7 bits a byte, low bits
// first, high bit = more follows): the string index of its name (a C++ name without its
// parameter list) and the procedure's first line (0 when it lies in another file).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace crashreport
{

struct TCrashModule;

inline constexpr std::uint32_t CrashLineTableVersion = 601;

// One row as the generator sees it: an address range with its file and line, and the
// procedure that starts at its address (empty when none starts there).
struct TCrashLineRow {
    std::uint32_t address = 0; // file virtual address
    std::uint32_t size = 0;
    std::string file;
    std::uint32_t line = 0;
    std::string procedure; // set on the procedure's first row
    std::uint32_t procedureLine = 0; // first line of the procedure of this row
    std::string currentProcedure; // the procedure this row belongs to (for unit starts)
};

// Packs rows sorted by address (ranges must not overlap).
std::vector<std::uint8_t> CrashPackLineTable(const std::vector<TCrashLineRow> &rows);

struct TCrashLineLookup {
    std::string unitName; // source file as stored
    std::string procedureName; // C++ name without parameters, "" when unknown
    std::uint32_t line = 0;
    std::uint32_t lineOffset = 0;
};

class TCrashLineTable
{
public:
    // Parses the unit table; false (and an empty table) when the data is damaged.
    bool load(std::vector<std::uint8_t> data);
    // Looks up a file virtual address. Records are decoded with bounds checks; a damaged
    // unit answers nothing.
    bool lookup(std::uint64_t address, TCrashLineLookup &out) const;
    std::size_t unitCount() const { return m_units.size(); }

private:
    struct Text {
        std::uint32_t at = 0; // position in m_data
        std::uint32_t size = 0;
    };
    std::string text(std::uint64_t index) const;

    struct Unit {
        std::uint32_t name = 0; // string index
        std::uint32_t firstLine = 0;
        std::uint32_t start = 0;
        std::uint32_t size = 0;
        std::uint32_t recordsBegin = 0;
        std::uint32_t recordsEnd = 0;
    };
    std::vector<std::uint8_t> m_data;
    std::vector<Text> m_strings;
    std::vector<Unit> m_units; // sorted by start
};

// The line table of a module from its options data block, or nullptr.
std::shared_ptr<const TCrashLineTable> CrashFindLineTable(const TCrashModule &module);
// The line table from the "LINE" stream of stream bytes already read, or nullptr.
std::shared_ptr<const TCrashLineTable> CrashLineTableFromStream(const std::vector<std::uint8_t> *stream);

} // namespace crashreport
