#include "CRLeaksCallCheck.h"

#include "CRLeaksMemory.h"

#include "CrashCallBefore.h"

namespace crleaks
{

using crashreport::LongestCall;

std::uint64_t CallStartBefore(std::uint64_t v) noexcept
{
    if (v < 4096 + LongestCall)
        return 0;
    unsigned char b[LongestCall];
    if (!ReadMemory(v - LongestCall, b, LongestCall))
        return 0;
    const crashreport::CrashCallBefore call = crashreport::CrashFindCallBefore(
        v, [&](std::size_t k) -> int { return b[LongestCall - k]; }, // k bytes before v
        [](std::uint64_t target) { return Readable(target, 1); },
        [](std::uint64_t slot) { return Readable(slot, 8); });
    return call.length ? v - call.length : 0;
}

std::size_t CleanStack(std::uint64_t *stack, std::size_t count) noexcept
{
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t call = stack[i] ? CallStartBefore(stack[i]) : 0;
        if (call)
            stack[kept++] = call;
    }
    for (std::size_t i = kept; i < count; ++i)
        stack[i] = 0;
    return kept;
}

} // namespace crleaks
