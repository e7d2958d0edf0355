// TD32 reader: any bytes parse or are refused after decoding no more records than they have
// bytes, and look-ups stay inside the tables.
#include "CRDebugInfoTD32.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
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
    crashreport::TCRDebugInfoTD32 td32(std::string(reinterpret_cast<const char *>(data), size));
    if (td32.recordsDecoded() > size)
        std::abort(); // the work bound was broken
    crashreport::TCrashLocationInfo info;
    for (std::uint64_t a = 0; a < 0x400; a += 7)
        (void)td32.getLocationInfo(a, info);
    (void)td32.getLocationInfo(0xFFFFFFFFu, info);
    return 0;
}
