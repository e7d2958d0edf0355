// The three memory operations of the catcher: get, release and resize a block.
//
// Cost per allocation: the allocator's block grows by BlockOverhead bytes; the header gets a
// copy of 35 stack words and a walk of at most 35 frame pointers; the list is changed under a
// one-byte spin lock. Nothing here allocates, and nothing here may call into the allocator
// while the lock is held.

#include "CRLeaksBlock.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

extern "C" void *__libc_stack_end;

#include <cerrno>
#include <cstring>

namespace crleaks
{

namespace
{
    TLeakState g_state;

    // The top of the calling thread's stack, found once per thread without asking the thread
    // library (pthread_getattr_np may hold a lock of its own while it allocates). The main
    // thread's stack ends above the stack pointer the process started with; another thread's
    // control block lies right above its stack, in the same mapping. Initial-exec TLS: the
    // library is loaded with the program, and reaching the variable never allocates.
    __attribute__((tls_model("initial-exec"))) thread_local std::uintptr_t t_stackTop;
    pthread_t g_mainThread;
    constexpr std::uintptr_t MaxStackDepth = std::uintptr_t(1) << 30;

    std::uintptr_t stackTop()
    {
        if (!t_stackTop) {
            const pthread_t self = pthread_self();
            if (pthread_equal(self, g_mainThread))
                t_stackTop = (reinterpret_cast<std::uintptr_t>(__libc_stack_end) | 4095u) + 1;
            else
                t_stackTop = static_cast<std::uintptr_t>(self);
        }
        return t_stackTop;
    }

    // Fills both stacks of a header from the public entry's frame: frame[0] holds the caller's
    // frame pointer, frame[1] the return address into the caller.
    void fillStacks(TLeakBlockHeader *h, void **frame)
    {
        std::memset(h->scanned, 0, sizeof h->scanned);
        std::memset(h->frame, 0, sizeof h->frame);
        const auto at = reinterpret_cast<std::uintptr_t>(frame);
        const std::uintptr_t top = stackTop();
        const bool onStack = at + 16 <= top && top - at <= MaxStackDepth;
        // Words that can be read for sure: up to the top of the stack, or, on a stack we do not
        // know (a signal stack), to the end of the page.
        const std::uintptr_t limit = onStack ? top : ((at | 4095u) + 1);
        const std::uintptr_t from = at + 8;
        std::size_t words = from < limit ? (limit - from) / 8 : 0;
        if (words > StackDepth)
            words = StackDepth;
        std::memcpy(h->scanned, reinterpret_cast<const void *>(from), words * 8);

        h->frame[0] = reinterpret_cast<std::uintptr_t>(frame[1]);
        if (!onStack)
            return;
        std::uintptr_t fp = at;
        for (std::size_t i = 1; i < StackDepth; ++i) {
            const std::uintptr_t next = *reinterpret_cast<const std::uintptr_t *>(fp);
            if (next <= fp || next + 16 > top || (next & 7))
                break;
            fp = next;
            h->frame[i] = reinterpret_cast<const std::uintptr_t *>(fp)[1];
        }
    }

    void writeFooter(TLeakBlockHeader *h)
    {
        const std::uint32_t marker = BlockMarker;
        std::memcpy(static_cast<char *>(userOf(h)) + h->size, &marker, 4);
    }

    bool footerIntact(TLeakBlockHeader *h)
    {
        std::uint32_t marker;
        std::memcpy(&marker, static_cast<char *>(userOf(h)) + h->size, 4);
        return marker == BlockMarker;
    }

    // A thread that still allocates or releases while the end processing holds the list must
    // not wait for it: it may hold a lock of its own that the reporting side needs.
    bool lockUnlessEnding()
    {
        auto &lock = g_state.listLock;
        while (lock.exchange(1, std::memory_order_acquire)) {
            if (g_state.endProcessing.load(std::memory_order_acquire))
                return false;
            sched_yield();
            if (!lock.exchange(1, std::memory_order_acquire))
                return true;
            if (g_state.endProcessing.load(std::memory_order_acquire))
                return false;
            const timespec tenMs { 0, 10 * 1000 * 1000 };
            nanosleep(&tenMs, nullptr);
        }
        return true;
    }

    void link(TLeakBlockHeader *h)
    {
        h->prev = h->next = nullptr;
        if (!lockUnlessEnding())
            return; // entered, but in no list: its release finds nothing to unlink
        h->prev = g_state.tail;
        h->next = nullptr;
        if (g_state.tail)
            g_state.tail->next = h;
        else
            g_state.head = h;
        g_state.tail = h;
        UnlockList();
    }

    // False when the end processing holds the list: the block stays in it.
    bool unlink(TLeakBlockHeader *h)
    {
        if (!lockUnlessEnding())
            return false;
        if (h->prev)
            h->prev->next = h->next;
        else if (g_state.head == h)
            g_state.head = h->next;
        if (h->next)
            h->next->prev = h->prev;
        else if (g_state.tail == h)
            g_state.tail = h->prev;
        h->prev = h->next = nullptr;
        UnlockList();
        return true;
    }

    // Fills the header of a block the allocator just gave and links it in; returns the user data.
    void *enter(void *base, std::size_t lead, std::size_t size, std::uint8_t kind, void **frame)
    {
        auto *h = reinterpret_cast<TLeakBlockHeader *>(static_cast<char *>(base) + lead);
        h->state = StateLive;
        h->kind = kind;
        h->size = size;
        h->groupSize = 0;
        h->groupCount = 0;
        h->lead = static_cast<std::uint32_t>(lead);
        h->releasedMark = 0;
        h->keptOnPurpose = 0;
        fillStacks(h, frame);
        h->marker = BlockMarker;
        writeFooter(h);
        link(h);
        return userOf(h);
    }

    bool tracking()
    {
        return g_state.tracking.load(std::memory_order_relaxed);
    }

    // What the release path finds out about a tracked block, before anything is given back.
    struct ReleaseCheck {
        bool second = false;
        bool overrun = false;
        bool deferred = false; // left in the list until the end processing gives it back
    };

    ReleaseCheck checkAndUnlink(TLeakBlockHeader *h)
    {
        ReleaseCheck c;
        if (h->state == StateReleased || h->releasedMark) {
            c.second = true;
            return c;
        }
        h->state = StateReleased;
        c.overrun = !footerIntact(h);
        if (g_state.endProcessing.load(std::memory_order_acquire)) {
            // The end processing walks the list that it holds locked, and its reporting side
            // (on this or a worker thread) releases blocks: the block stays in the list, marked,
            // and is given back when the walk is over.
            h->releasedMark = ReleasedDeferred;
            c.deferred = true;
            return c;
        }
        h->releasedMark = 1;
        if (!unlink(h)) {
            h->releasedMark = ReleasedDeferred;
            c.deferred = true;
        }
        return c;
    }

    // With the release checks on, an overrun or a second release is reported and the release
    // ends there. Without a reporting side the message goes to standard error. True: stop.
    bool reportRelease(const ReleaseCheck &c, TLeakBlockHeader *h, void *user)
    {
        if (!(g_state.flags & CRLEAKS_CHECK_RELEASE))
            return c.second; // a second release never reaches the allocator again
        if (!c.overrun && !c.second)
            return false;
        const bool set = g_state.callbacksSet.load(std::memory_order_acquire);
        if (c.overrun) {
            if (set && g_state.callbacks.overrun)
                g_state.callbacks.overrun(user, h->size);
            else
                WriteError("CRLeaks: Memory Overrun leak\n");
        } else {
            if (set && g_state.callbacks.multiFree)
                g_state.callbacks.multiFree(user);
            else
                WriteError("CRLeaks: Multi Free memory leak\n");
        }
        return true;
    }

    bool addOverhead(std::size_t size, std::size_t lead, std::size_t &total)
    {
        if (__builtin_add_overflow(size, BlockOverhead + lead, &total)) {
            errno = ENOMEM;
            return false;
        }
        return true;
    }
} // namespace

void NoteMainThread()
{
    g_mainThread = pthread_self();
}

TLeakState &State()
{
    return g_state;
}

void LockList()
{
    auto &lock = g_state.listLock;
    while (lock.exchange(1, std::memory_order_acquire)) {
        sched_yield();
        if (!lock.exchange(1, std::memory_order_acquire))
            return;
        const timespec tenMs { 0, 10 * 1000 * 1000 };
        nanosleep(&tenMs, nullptr);
    }
}

void UnlockList()
{
    g_state.listLock.store(0, std::memory_order_release);
}

void *GetBlock(std::size_t size, std::size_t alignment, std::uint8_t kind, void **frame) noexcept
{
    if (!tracking()) {
        if (alignment > 16)
            return __libc_memalign(alignment, size);
        return __libc_malloc(size);
    }
    std::size_t lead = 0;
    if (alignment > 16)
        lead = (BlockOverHead + alignment - 1) / alignment * alignment - BlockOverHead;
    std::size_t total;
    if (!addOverhead(size, lead, total))
        return nullptr;
    void *base = alignment > 16 ? __libc_memalign(alignment, total) : __libc_malloc(total);
    if (!base)
        return nullptr;
    return enter(base, lead, size, kind, frame);
}

void *GetZeroedBlock(std::size_t count, std::size_t size, void **frame) noexcept
{
    std::size_t bytes;
    if (__builtin_mul_overflow(count, size, &bytes)) {
        errno = ENOMEM;
        return nullptr;
    }
    if (!tracking())
        return __libc_calloc(count, size);
    std::size_t total;
    if (!addOverhead(bytes, 0, total))
        return nullptr;
    void *base = __libc_calloc(1, total);
    if (!base)
        return nullptr;
    return enter(base, 0, bytes, KindData, frame);
}

void ReleaseBlock(void *user) noexcept
{
    if (!user)
        return;
    if (!IsTracked(user)) {
        __libc_free(user);
        return;
    }
    TLeakBlockHeader *h = headerOf(user);
    const ReleaseCheck c = checkAndUnlink(h);
    if (reportRelease(c, h, user) || c.deferred)
        return;
    __libc_free(baseOf(h));
}

void *ResizeBlock(void *user, std::size_t size, void **frame) noexcept
{
    if (!user)
        return GetBlock(size, 0, KindData, frame);
    if (!IsTracked(user))
        return __libc_realloc(user, size); // handed out before the catcher: no header
    if (size == 0) {
        ReleaseBlock(user); // the C library's own answer to a resize to nothing
        return nullptr;
    }
    TLeakBlockHeader *h = headerOf(user);
    const ReleaseCheck c = checkAndUnlink(h);
    if (reportRelease(c, h, user) || c.second) {
        errno = EINVAL;
        return nullptr;
    }
    const std::size_t oldSize = h->size;
    if (!tracking() || h->lead != 0 || c.deferred) {
        // A new block, the data copied over: after the end processing the new block carries no
        // header; an aligned block keeps no alignment through a resize, like the allocator's.
        void *fresh = GetBlock(size, 0, KindData, frame);
        if (!fresh) {
            h->state = StateLive;
            h->releasedMark = 0;
            if (tracking())
                link(h);
            return nullptr;
        }
        std::memcpy(fresh, user, oldSize < size ? oldSize : size);
        if (!c.deferred)
            __libc_free(baseOf(h));
        return fresh;
    }
    std::size_t total;
    void *base = addOverhead(size, 0, total) ? __libc_realloc(h, total) : nullptr;
    if (!base) {
        // The old block is still the program's: link it in again.
        h->state = StateLive;
        h->releasedMark = 0;
        link(h);
        return nullptr;
    }
    return enter(base, 0, size, KindData, frame);
}

std::size_t UsableSize(void *user) noexcept
{
    if (!user)
        return 0;
    if (IsTracked(user))
        return headerOf(user)->size;
    return 0; // answered by the allocator in the interposed function
}

} // namespace crleaks
