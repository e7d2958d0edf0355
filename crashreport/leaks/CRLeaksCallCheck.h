#pragma once
// Cleaning of the two call stacks of a block: a code address stays only when it follows a call
// instruction that returns to it, and then it is moved back to the start of that call.

#include <cstddef>
#include <cstdint>

namespace crleaks
{

// The address of the call instruction that returns to returnAddress; 0 when the bytes in front
// of it are no call (or cannot be read). The x86-64 forms: a direct call (E8 and a 32-bit
// offset, whose target must be readable) and "call r/m64" (FF /2) through a register, through
// memory with or without SIB byte and 8- or 32-bit displacement, and RIP-relative (whose
// pointer slot must be readable), each with an optional REX prefix.
std::uint64_t CallStartBefore(std::uint64_t returnAddress) noexcept;

// Cleans count addresses in place: the kept ones, moved to their calls, close up at the front
// and zeros fill the end. Returns how many stay.
std::size_t CleanStack(std::uint64_t *stack, std::size_t count) noexcept;

} // namespace crleaks
