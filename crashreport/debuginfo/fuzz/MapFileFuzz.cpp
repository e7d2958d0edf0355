// Map-file reader: any text parses or is refused, and look-ups stay inside the tables.
#include "CRDebugInfoMap.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace crashreport
{
// The map reader needs no module; the base translation is not used here.
std::uint64_t TCRDebugInfoSource::translateAddress(const TCrashModule &, std::uint64_t address) const
{
    return address;
}
} // namespace crashreport

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    crashreport::TCRDebugInfoMap map(std::string(reinterpret_cast<const char *>(data), size));
    crashreport::TCrashLocationInfo info;
    for (std::uint64_t a = 0; a < 0x400; a += 7)
        (void)map.getLocationInfo(a, info);
    (void)map.getLocationInfo(~std::uint64_t(0), info);
    return 0;
}
