// JDBG and TD32 readers: any bytes parse or are refused; look-ups stay inside the tables.
#include "CRDebugInfoJedy.h"
#include "CRDebugInfoTD32.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace crashreport
{
std::uint64_t TCRDebugInfoSource::translateAddress(const TCrashModule &, std::uint64_t address) const
{
    return address;
}
} // namespace crashreport

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    // The first byte picks the reader, so that each gets well-formed signatures from the corpus.
    crashreport::TCrashLocationInfo info;
    if (size > 0 && (data[0] & 1)) {
        crashreport::TCRDebugInfoJedy jdbg("JDBG" + bytes.substr(1));
        for (std::uint64_t a = 0; a < 0x400; a += 7)
            (void)jdbg.getLocationInfo(a, info);
    } else {
        crashreport::TCRDebugInfoTD32 td32(size > 0 ? "FB09" + bytes.substr(1) : bytes);
        for (std::uint64_t a = 0; a < 0x400; a += 7)
            (void)td32.getLocationInfo(a, info);
    }
    return 0;
}
