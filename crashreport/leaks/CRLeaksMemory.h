#pragma once
// Readability of memory for the end processing, with the memory pages cache.

#include <cstddef>
#include <cstdint>

namespace crleaks
{

// The memory pages cache: one state per 4 KiB page (unknown, readable, not readable), kept in
// an open-addressed table that serves the whole 64-bit address space. Allocated with mmap, so
// it never touches the allocator; when full, further pages are asked each time.
bool PageCacheOpen() noexcept; // false: no memory for it (answers are then not cached)
void PageCacheClose() noexcept;

// True when every byte of [address, address + length) can be read.
bool Readable(std::uint64_t address, std::size_t length) noexcept;
// Copies after checking; false when the range is not readable.
bool ReadMemory(std::uint64_t address, void *to, std::size_t length) noexcept;

} // namespace crleaks
