#pragma once
// The linker's map file of a module: segments of each unit, public names, and per unit the
// line-number pairs.

#include "CRDebugInfoSource.h"

#include <map>
#include <string>
#include <vector>

namespace crashreport
{

class TCRDebugInfoMap : public TCRDebugInfoSource
{
public:
    // Parses the text of a map file. A damaged table leaves the source invalid.
    explicit TCRDebugInfoMap(const std::string &text);
    bool getLocationInfo(std::uint64_t address, TCrashLocationInfo &info) const override;
    bool valid() const override { return m_valid; }

private:
    struct Segment {
        std::uint64_t start, length;
        std::string unit;
    };
    struct Public {
        std::uint64_t address;
        std::string name;
    };
    struct LinePair {
        std::uint64_t address;
        std::uint32_t line;
        std::uint32_t block; // index into m_sourceFiles
    };
    struct NoCase {
        bool operator()(const std::string &a, const std::string &b) const;
    };
    bool parse(const std::string &text);
    void index();
    const Segment *segmentOf(std::uint64_t address) const;
    // The last pair at or below the address: of the block, or of any block for UINT32_MAX.
    const LinePair *lineAt(std::uint64_t address, std::uint32_t block) const;

    bool m_valid = false;
    std::vector<Segment> m_segments; // sorted by start
    std::vector<Public> m_publics; // sorted by address
    std::vector<LinePair> m_lines; // sorted by block, then address
    std::vector<std::uint32_t> m_byAddress; // indexes of m_lines in address order
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_blockLines; // per block: its range of m_lines
    std::vector<std::string> m_sourceFiles;
    std::map<std::string, std::uint32_t, NoCase> m_unitBlock; // unit -> its last line block
};

} // namespace crashreport
