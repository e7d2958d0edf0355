// libFuzzer target of the DNS answer reader: any packet must be read within
// its bounds and in bounded time, for a fixed and for a fuzzed domain.

#include "DnsMessage.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view packet(reinterpret_cast<const char *>(data), size);
    (void)crashreport::ParseMxAnswer(packet, "vetu.example");
    (void)crashreport::IsMxResponse(packet, "vetu.example");
    // The first bytes double as the domain asked for.
    const std::size_t split = size > 0 ? data[0] % 32 : 0;
    if (split < size) {
        const std::string_view domain = packet.substr(1, split);
        (void)crashreport::BuildMxQuery(domain);
        (void)crashreport::ParseMxAnswer(packet.substr(1 + split), domain);
    }
    return 0;
}
