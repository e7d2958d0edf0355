#pragma once
// The raise hook's record of a throw (no runtime headers: the interposing file includes this).

#include <cstdint>
#include <typeinfo>

namespace crashreport
{

enum class RaiseKind { Throw, Rethrow, RethrowPointer };

// Records the raise in the calling thread: object, type, the return address of the raising call
// and the raising frame. Keeps errno. Never throws.
void CrashRecordRaise(void *object, const std::type_info *type, std::uint64_t returnAddress,
    std::uint64_t frame, RaiseKind kind) noexcept;

void CrashResolveRealThrow();

} // namespace crashreport
