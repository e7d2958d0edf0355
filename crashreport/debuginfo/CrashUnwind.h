#pragma once
// Following the call frames of a stack copy by the modules' call-frame information.
//
// The raw scan of a stack (CrashStackScan.cpp) finds every value that looks like a return
// address, including stale ones left by calls that have returned. The frames found here are
// the ones the stack really holds: each return address is read where the call-frame
// information of the frame below says it lies. Plain C++ (no Qt).

#include "CrashDisassembler.h"
#include "CrashStackList.h"

#include <cstddef>
#include <cstdint>

namespace crashreport
{

// Unwinds from the registers of context (rip: the instruction that ran; rsp: the first byte of
// copy) through copyBytes of stack copied from context.rsp upwards. Writes the return address
// of each caller frame, innermost first, to out (at most capacity) and returns how many it
// wrote; 0 when the context is not valid or no frame could be followed. Reads files (the
// modules' call-frame information): never while other threads are stopped. Never throws.
std::size_t CrashUnwindStackCopy(const TCrashCpuContext &context, const void *copy, std::size_t copyBytes,
    std::uint64_t *out, std::size_t capacity) noexcept;

// The walk limited to the frames the stack really holds: the exception address, then the call
// site of each return address CrashUnwindStackCopy finds, resolved as CrashResolveStack does.
// Appends nothing beyond the exception address when no frame could be followed; returns the
// number of caller frames found.
std::size_t CrashWalkSureFrames(TCrashStackList &list, std::uint64_t exceptionAddress,
    const TCrashCpuContext &context, const void *copy, std::size_t copyBytes,
    const TCrashWalkParams &params = {}) noexcept;

} // namespace crashreport
