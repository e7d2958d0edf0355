#pragma once
// What a leaked block is, told at the end of the program.

#include <cstddef>
#include <cstdint>

namespace crleaks
{

// Writes the demangled class name of the object at user into name (at most size - 1 bytes) and
// returns true when the block holds an object: its first word points into the primary virtual
// table of a class with run-time type information. The virtual-table pointer is written after
// operator new returned, so this is only asked at the end.
bool ObjectClassName(const void *user, std::size_t userSize, char *name, std::size_t size) noexcept;

// True when the code address lies in a system library (the C and C++ runtimes, Qt and everything
// else installed under /lib or /usr/lib), or in this library.
bool InSystemLibrary(std::uint64_t address) noexcept;

} // namespace crleaks
