#pragma once
// The layout of a tracked block and the catcher's shared state.
//
//   [lead][header: BlockOverHead][user data: size][footer: BlockOverFoot]
//
// The lead is empty except for blocks aligned above 16 bytes, whose header is moved forward so
// that the user data meets the alignment. Header and footer are multiples of 16, the alignment
// the C allocator guarantees, so the user data keeps it.

#include "CRLeaks.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace crleaks
{

inline constexpr std::uint32_t BlockMarker = 0x100FAB10u;
inline constexpr std::size_t StackDepth = CRLEAKS_STACK_DEPTH;

enum : std::uint8_t { StateLive = 0, StateReleased = 1, StateLeftOut = 2 };
enum : std::uint8_t { KindData = 0, KindObject = 1 };
enum : std::uint8_t { ReleasedDeferred = 2 }; // releasedMark of a block released during the end processing

struct TLeakBlockHeader {
    TLeakBlockHeader *prev;
    TLeakBlockHeader *next;
    std::uint8_t state;
    std::uint8_t kind;
    std::uint8_t pad[6];
    std::uint64_t size; // the user size; never changed while the block lives
    std::uint64_t scanned[StackDepth]; // the stack words above the caller's frame
    std::uint64_t frame[StackDepth]; // return addresses along the frame-pointer chain
    // Only the end processing uses these two: the summed size and the number of blocks of a
    // group. They are kept apart from size and marker so that a block released after the end
    // processing is still found and checked correctly.
    std::uint64_t groupSize;
    std::uint32_t groupCount;
    std::uint32_t lead; // bytes between the allocator's block and this header
    // Set when the block goes back to the allocator. The allocator's free lists overwrite the
    // first words of a free block (prev, next and, for large blocks, state), never this far in.
    std::uint8_t releasedMark;
    std::uint8_t keptOnPurpose; // alive when the program's own code began (CRLeaks_KeepLiveBlocks)
    std::uint8_t spare[10];
    std::uint32_t marker;
};

inline constexpr std::size_t BlockOverHead = sizeof(TLeakBlockHeader);
inline constexpr std::size_t BlockOverFoot = 16; // the marker in its first 4 bytes
inline constexpr std::size_t BlockOverhead = BlockOverHead + BlockOverFoot;
static_assert(BlockOverHead % 16 == 0 && BlockOverFoot % 16 == 0 && BlockOverhead % 16 == 0);
static_assert(offsetof(TLeakBlockHeader, marker) == BlockOverHead - 4);

inline TLeakBlockHeader *headerOf(void *user)
{
    return reinterpret_cast<TLeakBlockHeader *>(static_cast<char *>(user) - BlockOverHead);
}
inline void *userOf(TLeakBlockHeader *h)
{
    return reinterpret_cast<char *>(h) + BlockOverHead;
}
inline void *baseOf(TLeakBlockHeader *h)
{
    return reinterpret_cast<char *>(h) - h->lead;
}

// The allocator behind the catcher: glibc's own entry points, which need no dlsym at start.
extern "C" {
void *__libc_malloc(std::size_t);
void __libc_free(void *);
void *__libc_calloc(std::size_t, std::size_t);
void *__libc_realloc(void *, std::size_t);
void *__libc_memalign(std::size_t, std::size_t);
}

struct TLeakState {
    std::atomic<bool> tracking { false };
    std::atomic<bool> switchedOn { false }; // the options switched the catcher on at start
    std::atomic<bool> finished { false };
    std::atomic<bool> endProcessing { false }; // the end processing holds the list
    std::uint8_t flags = 0;
    std::atomic<std::uint8_t> listLock { 0 }; // AllocatedList_Lock
    TLeakBlockHeader *head = nullptr; // AllocatedList
    TLeakBlockHeader *tail = nullptr;
    CRLeaksCallbacks callbacks {};
    std::atomic<bool> callbacksSet { false };
};
TLeakState &State();

// Called at start, on the main thread.
void NoteMainThread();
void LockList();
void UnlockList();

// The three memory operations of the catcher. frame is the frame address of the public entry
// function that the program called (its return address is the allocation site).
void *GetBlock(std::size_t size, std::size_t alignment, std::uint8_t kind, void **frame) noexcept;
void *GetZeroedBlock(std::size_t count, std::size_t size, void **frame) noexcept;
void ReleaseBlock(void *user) noexcept;
void *ResizeBlock(void *user, std::size_t size, void **frame) noexcept;
std::size_t UsableSize(void *user) noexcept;

// The marker check of the release path: true for a block the catcher handed out.
inline bool IsTracked(const void *user)
{
    std::uint32_t marker;
    __builtin_memcpy(&marker, static_cast<const char *>(user) - 4, 4);
    return marker == BlockMarker;
}

// Start-up and end processing.
unsigned ReadLeakFlags() noexcept; // from the program's crash data block; 0 when none
void RunLeakProcessing() noexcept;

// Writes a text to standard error without allocating.
void WriteError(const char *text) noexcept;
void WriteError2(const char *a, const char *b, const char *c) noexcept;

} // namespace crleaks
