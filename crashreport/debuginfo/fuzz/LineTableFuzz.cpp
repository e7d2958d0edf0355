// Line-table reader: any bytes load or are refused, and look-ups never read outside them.
#include "CrashLineTable.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    crashreport::TCrashLineTable table;
    if (!table.load(std::vector<std::uint8_t>(data, data + size)))
        return 0;
    crashreport::TCrashLineLookup out;
    for (std::uint64_t a = 0; a < 0x3000; a += 3)
        (void)table.lookup(a, out);
    (void)table.lookup(0xFFFFFFFFu, out);
    return 0;
}
