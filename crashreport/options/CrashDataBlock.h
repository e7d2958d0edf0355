#pragma once
// The crash-report data block of a module: the module's stored options plus
// further tagged streams (for example the library's own line table).
//
// Canonical layout (the ".crdata" ELF section holds exactly this):
//   offset  0  u32  signature 0x100FAB10 (0x000FAB10 is accepted when reading)
//   offset  4  u16  library version (6012; the old numbers 600..602 read as 6000..6002)
//   offset  6  u16  header size (16; larger headers are skipped, so fields can be added)
//   offset  8  u32  body size: bytes after the header
//   offset 12  u16  reserved, 0
//   offset 14  u8   LeakFlags, copied from the options so that the leak catcher can
//                   read it at start-up without parsing the options
//   offset 15  u8   not 0: a library module's leak catcher takes the main program's options
//   body:
//     u32 length, then the stored options (TCrashModuleOptions::writeToStream)
//     then any number of streams: 4-byte tag, u32 length, bytes
// All numbers are little-endian.
//
// Appended placement (when the section cannot be used): the canonical block
// without its signature (so it starts with the version), then its u32 length,
// then the signature as the last 4 bytes of the file.
//
// The readers never throw, never trust a length they have not checked against
// the data they hold, and report damage as an error text.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace crashreport {

inline constexpr std::uint32_t CrashDataSignature = 0x100FAB10u;
inline constexpr std::uint32_t CrashDataOldSignature = 0x000FAB10u;
inline constexpr std::uint16_t CrashLibraryVersion = 6012;
inline constexpr std::uint16_t CrashDataHeaderSize = 16;
inline constexpr const char *CrashDataSectionName = ".crdata";

// A stream tag from four characters, stored as those four bytes in order.
constexpr std::uint32_t CrashDataTag(const char (&text)[5])
{
    return std::uint32_t(std::uint8_t(text[0])) | std::uint32_t(std::uint8_t(text[1])) << 8
        | std::uint32_t(std::uint8_t(text[2])) << 16 | std::uint32_t(std::uint8_t(text[3])) << 24;
}
// The line table written at build time by the line-table generator.
inline constexpr std::uint32_t CrashDataLineTableTag = CrashDataTag("LINE");
// The module's build time, written by the build tool: seconds since 1970-01-01 UTC as a
// little-endian signed 64-bit number (8 bytes).
inline constexpr std::uint32_t CrashDataBuildTimeTag = CrashDataTag("TIME");

// The certificate-authority file of the module's secure connections: the path's UTF-8 bytes.
inline constexpr std::uint32_t CrashDataCAFileTag = CrashDataTag("CAFI");

struct TCrashDataStream {
    std::uint32_t tag = 0;
    std::vector<std::uint8_t> data;
};

// The parsed contents of a block.
struct TCrashDataBlock {
    std::uint16_t version = CrashLibraryVersion; // after mapping 600..602 to 6000..6002
    std::uint8_t leakFlags = 30;                 // same default as the options: catcher off
    std::uint8_t leakUseMainOptions = 0;
    std::vector<std::uint8_t> options; // the stored options, empty when none
    std::vector<TCrashDataStream> streams;

    // The first stream with that tag, or nullptr.
    const std::vector<std::uint8_t> *findStream(std::uint32_t tag) const;
};

enum class TCrashDataPlacement : std::uint8_t {
    None = 0,     // no block found
    Section = 1,  // the ".crdata" section of the ELF file
    Appended = 2, // the trailer at the end of the file
    Whole = 3,    // the file holds just the block (as the build tool writes it)
};

struct TCrashDataLookup {
    // true: a block was found and is sound. false with an empty error: the
    // module has no block. false with an error: the block is damaged.
    bool found = false;
    TCrashDataPlacement placement = TCrashDataPlacement::None;
    TCrashDataBlock block;
    std::string error;
};

// The stream of a build time, and the build time of a block: 0 when the block has no such
// stream or one of another length.
TCrashDataStream CrashDataBuildTimeStream(std::int64_t secondsSinceEpoch);
std::int64_t CrashDataBuildTime(const TCrashDataBlock &block);

// The stream of a certificate-authority file, and the file named by a block ("" without one).
TCrashDataStream CrashDataCAFileStream(const std::string &path);
std::string CrashDataCAFile(const TCrashDataBlock &block);

// Builds the canonical block (the section contents).
std::vector<std::uint8_t> BuildCrashDataBlock(const TCrashDataBlock &block);
// Builds the bytes to append to a module file.
std::vector<std::uint8_t> BuildCrashDataTrailer(const TCrashDataBlock &block);

// Parses a canonical block. On failure returns false and sets error.
bool ParseCrashDataBlock(const std::uint8_t *data, std::size_t size, TCrashDataBlock &out, std::string &error);

// Finds and parses the block of a module file: first the ".crdata" section,
// else the appended trailer; a file that starts with the signature is taken
// as a bare block.
TCrashDataLookup ReadCrashDataFromFile(const std::string &path);

// The same block without its streams: the header and the options only, so that reading the
// options does not read the line table. Placements other than the section, and damaged
// blocks, are read by ReadCrashDataFromFile.
TCrashDataLookup ReadCrashOptionsFromFile(const std::string &path);

// The file of the module that holds the address (the running program for
// nullptr); empty when it cannot be told.
std::string CrashModuleFileOf(const void *address);

// The block of the module that holds this library (read once, then cached).
const TCrashDataLookup &OwnCrashData();

// A stream of the library's own module, or of a given module file.
std::optional<std::vector<std::uint8_t>> FindCrashDataStream(std::uint32_t tag);
std::optional<std::vector<std::uint8_t>> FindCrashDataStream(const std::string &moduleFile, std::uint32_t tag);

} // namespace crashreport
