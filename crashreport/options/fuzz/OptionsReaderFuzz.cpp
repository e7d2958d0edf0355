// Fuzzes the crash data block parser and the stored-options reader.
// The first byte picks the version the options are read as.

#include "CrashDataBlock.h"
#include "CrashModuleOptions.h"

#include <cstdlib>

using namespace crashreport;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    TCrashDataBlock block;
    std::string error;
    if (ParseCrashDataBlock(data, size, block, error)) {
        // A parsed block must build back to something that parses the same.
        const std::vector<std::uint8_t> rebuilt = BuildCrashDataBlock(block);
        TCrashDataBlock again;
        if (!ParseCrashDataBlock(rebuilt.data(), rebuilt.size(), again, error) || again.options != block.options)
            std::abort();
        TCrashModuleOptions options;
        options.readFromStream(block.options, block.version);
    }
    if (size == 0)
        return 0;
    static const std::uint16_t versions[] = { 400, 420, 421, 422, 450, 500, 5999, 6000, 6012 };
    const std::uint16_t version = versions[data[0] % (sizeof versions / sizeof versions[0])];
    TCrashModuleOptions options;
    if (options.readFromStream(data + 1, size - 1, version)) {
        // What was read is written and read back unchanged.
        const std::vector<std::uint8_t> stored = options.writeToStream();
        TCrashModuleOptions back;
        if (!back.readFromStream(stored, CrashLibraryVersion))
            std::abort();
        const std::vector<std::uint8_t> storedAgain = back.writeToStream();
        if (storedAgain != stored)
            std::abort();
    } else if (!options.sameOptions(TCrashModuleOptions()) || options.errorString().empty()) {
        std::abort();
    }
    return 0;
}
