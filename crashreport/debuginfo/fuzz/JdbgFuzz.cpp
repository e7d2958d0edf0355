// JDBG reader: any bytes parse or are refused, within a memory of a few times their size, and
// look-ups stay inside the tables.
#include "CRDebugInfoJedy.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace crashreport
{
// The reader needs no module; the base translation is not used here.
std::uint64_t TCRDebugInfoSource::translateAddress(const TCrashModule &, std::uint64_t address) const
{
    return address;
}
} // namespace crashreport

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    crashreport::TCRDebugInfoJedy jdbg(std::string(reinterpret_cast<const char *>(data), size));
    crashreport::TCrashLocationInfo info;
    for (std::uint64_t a = 0; a < 0x400; a += 7)
        (void)jdbg.getLocationInfo(a, info);
    (void)jdbg.getLocationInfo(~std::uint64_t(0), info);
    return 0;
}
