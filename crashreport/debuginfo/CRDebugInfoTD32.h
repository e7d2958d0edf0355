#pragma once
// TD32 debug information ("FB09"/"FB0A"), from a ".tds" file or the tail of a module
// image: a subsection directory with modules (sstModule), aligned symbols (sstAlignSym,
// the procedure records), source modules with their line tables (sstSrcModule) and the
// name table (sstNames). Everything is read with bounds checks.
//
// Layouts read here (little-endian, packed):
//   base: "FB09" or "FB0A", u32 directory offset from base. Inside an image, the last
//         8 bytes are the signature and the u32 distance from the base to the file end.
//   directory: u16 header size, u16 entry size, u32 count, u32 next, u32 flags;
//         entries: u16 subsection, u16 module index, u32 offset from base, u32 size
//   sstModule 0x120: u16 overlay, u16 library, u16 segment count, u16 style,
//         segments {u16 segment, u16 flags, u32 offset, u32 size}, u32 name index
//   sstAlignSym 0x125: u32 signature, then records {u16 length, u16 type, ...};
//         procedures 0x204/0x205: u32 parent, u32 end, u32 next, u32 size,
//         u32 debug start, u32 debug end, u32 offset, u16 segment, u32 type, u32 name index
//   sstSrcModule 0x127: u16 files, u16 segments, u32 file offsets[files],
//         {u32 start, u32 end}[segments], u16 segment[segments];
//         file: u16 segments, u32 name index, u32 line-block offsets[segments],
//         {u32 start, u32 end}[segments]; line block: u16 segment, u16 pairs,
//         u32 offsets[pairs], u16 lines[pairs]
//   sstNames 0x130: u32 count, names {u8 length, text, 0}; name index 1 is the first.
//
// The data may come from anyone (a file beside the module on a shared drive), so the work
// is bounded by its size: every offset (subsection, file record, line block) is followed at
// most once, and no more records are decoded than the data has bytes; either excess is
// damage.

#include "CRDebugInfoSource.h"

#include <string>
#include <vector>

namespace crashreport
{

struct TCRModuleInfo {
    std::string name;
    std::uint32_t index = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> codeRanges; // segment 1: offset, size
};

struct TCRSymbolInfo {
    std::uint32_t module = 0;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::string name;
};

struct TCRLineInfo {
    std::uint32_t offset = 0;
    std::uint32_t line = 0;
};

struct TCRSourceModuleInfo {
    std::uint32_t module = 0;
    std::string fileName;
    std::vector<TCRLineInfo> lines; // segment 1, sorted by offset
};

class TCRDebugInfoTD32 : public TCRDebugInfoSource
{
public:
    explicit TCRDebugInfoTD32(std::string data);
    bool getLocationInfo(std::uint64_t address, TCrashLocationInfo &info) const override;
    bool valid() const override { return m_valid; }
    // Records decoded while parsing (directory entries, names, segments, symbols, file and
    // line-block offsets, line pairs): at most the size of the data.
    std::size_t recordsDecoded() const { return m_decoded; }

private:
    bool parse();
    void countRecords(std::size_t n);

    std::string m_data;
    bool m_valid = false;
    std::size_t m_decoded = 0;
    std::size_t m_decodeLimit = 0;
    std::vector<std::string> m_names;
    std::vector<TCRModuleInfo> m_modules;
    std::vector<TCRSymbolInfo> m_symbols;
    std::vector<TCRSourceModuleInfo> m_sources;
};

} // namespace crashreport
