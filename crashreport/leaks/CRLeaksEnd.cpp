// The end processing: the blocks still in the list at the end of the process are filtered,
// grouped and handed to the reporting side. It runs with tracking off (anything allocated here
// is an ordinary block of the allocator) and holds the list lock from "Lock AllocatedList_Lock"
// to the end, so that a thread still running waits instead of changing the list.
//
// The known leaks of the runtime (bit 0x04) on this platform:
//   - every block still alive from before the program's own code began (marked by
//     CRLeaks_KeepLiveBlocks right after the crash-report library's start): the runtime's, Qt's
//     and the crash-report library's start-up, which live for the whole process;
//   - every block whose allocation site lies wholly in system libraries - every code address of
//     its cleaned stack lies in a library installed under /lib or /usr/lib (or in this one).
// Together they are what glibc, the C++ runtime and Qt leave allocated at exit by design:
//   - glibc: stdio buffers of the standard streams, the dynamic loader's dlopen/dlerror state and
//     the TLS blocks of threads, locale and iconv (gconv) caches, getpwuid/NSS and resolver state
//     (freed only by __libc_freeres under a memory checker);
//   - the C++ runtime: the emergency exception pool, locale facets and the exception objects'
//     thread state;
//   - Qt: global statics that are never destroyed on purpose (the plugin loaders and their
//     loaded plugin instances, the platform integration's font database and fontconfig/freetype
//     caches, the metatype and resource registries, the main thread's QThreadData), and glib's
//     main-context and GType tables behind Qt's event dispatcher.

#include "CRLeaksBlock.h"
#include "CRLeaksCallCheck.h"
#include "CRLeaksMemory.h"
#include "CRLeaksObject.h"

#include <cstring>

namespace crleaks
{

namespace
{
    constexpr std::uint32_t MaxLeaks = 1024; // once more are counted, the rest is left out
    constexpr std::size_t NameSize = 65; // type names of at most 64 characters
    // The constructor of an object is called right after operator new returned, in the same
    // function: a child's stack holds a call this close after the object's allocation call.
    constexpr std::uint64_t ConstructorCallReach = 256;

    const char *g_section = "";

    void section(const char *name)
    {
        g_section = name;
    }

    // Left out, or released by the reporting side while the list is walked.
    bool leftOut(const TLeakBlockHeader *h)
    {
        return h->state != StateLive;
    }

    // All cleaned code addresses of the block lie in system libraries (none: not known).
    bool allocatedByRuntime(const TLeakBlockHeader *h)
    {
        std::uint64_t stack[StackDepth];
        std::memcpy(stack, h->scanned, sizeof stack);
        std::size_t n = CleanStack(stack, StackDepth);
        if (n == 0) {
            std::memcpy(stack, h->frame, sizeof stack);
            n = CleanStack(stack, StackDepth);
        }
        if (n == 0)
            return false;
        for (std::size_t i = 0; i < n; ++i)
            if (!InSystemLibrary(stack[i]))
                return false;
        return true;
    }

    // 4. The known leaks of the runtime, with bit 0x04.
    void purgeInvalidLeaks(TLeakBlockHeader *head, unsigned flags)
    {
        if (!(flags & CRLEAKS_SKIP_RUNTIME))
            return;
        for (TLeakBlockHeader *h = head; h; h = h->next)
            if (!leftOut(h) && (h->keptOnPurpose || allocatedByRuntime(h)))
                h->state = StateLeftOut;
    }

    // 5. At most 1,025 leaks stay.
    void removeExtraLeaks(TLeakBlockHeader *head)
    {
        std::uint32_t count = 0;
        for (TLeakBlockHeader *h = head; h; h = h->next) {
            if (leftOut(h))
                continue;
            if (count > MaxLeaks)
                h->state = StateLeftOut;
            else
                ++count;
        }
    }

    // 6. Both stacks cleaned; the scanned one stays when it has a start, else the frame stack
    // takes its place. Objects and data are told apart here too.
    void purgeCallStacks(TLeakBlockHeader *head)
    {
        char name[NameSize];
        for (TLeakBlockHeader *h = head; h; h = h->next) {
            if (leftOut(h))
                continue;
            CleanStack(h->scanned, StackDepth);
            CleanStack(h->frame, StackDepth);
            if (h->scanned[0] == 0) {
                std::memcpy(h->scanned, h->frame, sizeof h->scanned);
                if (h->scanned[0] == 0)
                    std::memset(h->frame, 0, sizeof h->frame);
            }
            if (h->kind == KindObject && !ObjectClassName(userOf(h), h->size, name, sizeof name))
                h->kind = KindData;
            h->groupSize = h->size;
            h->groupCount = 1;
        }
    }

    // 7. Blocks of one size from one place become one leak with their count and summed size.
    void countAllLeaks(TLeakBlockHeader *head)
    {
        for (TLeakBlockHeader *h = head; h; h = h->next) {
            if (leftOut(h))
                continue;
            for (TLeakBlockHeader *o = h->next; o; o = o->next) {
                if (leftOut(o) || o->scanned[0] != h->scanned[0] || o->size != h->size)
                    continue;
                o->state = StateLeftOut;
                h->groupSize += o->groupSize;
                h->groupCount += o->groupCount;
            }
        }
    }

    // A child holds, at positions 1 to 34, the object's second address right after a call that
    // lies just behind the object's allocation call (its constructor, or an allocation of the
    // constructor inlined into the same function).
    bool holdsParent(const std::uint64_t *child, const std::uint64_t *parent)
    {
        if (!parent[0] || !parent[1])
            return false;
        for (std::size_t k = 1; k < StackDepth; ++k)
            if (child[k] == parent[1] && child[k - 1] > parent[0]
                && child[k - 1] - parent[0] <= ConstructorCallReach)
                return true;
        return false;
    }

    void mergeChildren(TLeakBlockHeader *object, int depth)
    {
        if (depth > 64)
            return;
        for (TLeakBlockHeader *c = object->next; c; c = c->next) {
            if (leftOut(c))
                continue;
            bool child = holdsParent(c->scanned, object->scanned);
            if (!child && object->scanned[0] == object->frame[0])
                child = holdsParent(c->frame, object->frame);
            if (!child)
                continue;
            if (c->kind == KindObject)
                mergeChildren(c, depth + 1);
            object->groupSize += c->groupSize;
            c->state = StateLeftOut;
        }
    }

    // 8. With bit 0x02, what an object's constructor allocated is merged into the object.
    void removeLeaksSons(TLeakBlockHeader *head, unsigned flags)
    {
        if (!(flags & CRLEAKS_MERGE_CHILDREN))
            return;
        for (TLeakBlockHeader *h = head; h; h = h->next)
            if (!leftOut(h) && h->kind == KindObject)
                mergeChildren(h, 0);
    }

    // 9. The callbacks.
    void handleAnyLeak(TLeakBlockHeader *head, const CRLeaksCallbacks &cb)
    {
        bool begun = false;
        char name[NameSize];
        for (TLeakBlockHeader *h = head; h; h = h->next) {
            if (leftOut(h) || h->scanned[0] == 0)
                continue;
            if (!begun) {
                begun = cb.leaksBegin && cb.leaksBegin();
                if (!begun)
                    continue;
            }
            if (!(h->kind == KindObject && ObjectClassName(userOf(h), h->size, name, sizeof name)))
                std::strcpy(name, "Data");
            if (cb.oneLeak)
                cb.oneLeak(name, h->groupSize, h->groupCount, h->scanned);
        }
        if (begun && cb.leaksEnd)
            cb.leaksEnd();
    }

    void unlinkLocked(TLeakBlockHeader *&head, TLeakBlockHeader *&tail, TLeakBlockHeader *h)
    {
        if (h->prev)
            h->prev->next = h->next;
        else
            head = h->next;
        if (h->next)
            h->next->prev = h->prev;
        else
            tail = h->prev;
        h->prev = h->next = nullptr;
    }

    // 10. With bit 0x08 the leaked blocks go back to the allocator: only those allocated from
    // the program's own modules, since a destructor of the runtime may still use its own.
    void freeAllLeaks(TLeakBlockHeader *&head, TLeakBlockHeader *&tail, unsigned flags)
    {
        if (!(flags & CRLEAKS_FREE_AT_END))
            return;
        TLeakBlockHeader *h = head;
        while (h) {
            TLeakBlockHeader *next = h->next;
            if (h->releasedMark != ReleasedDeferred && !allocatedByRuntime(h)) {
                unlinkLocked(head, tail, h);
                h->state = StateReleased;
                h->releasedMark = 1;
                __libc_free(baseOf(h));
            }
            h = next;
        }
    }

    // The blocks released during the walk go back to the allocator now; the left-out ones may
    // still be released by the program later and go back to live.
    void restoreStates(TLeakBlockHeader *&head, TLeakBlockHeader *&tail)
    {
        TLeakBlockHeader *h = head;
        while (h) {
            TLeakBlockHeader *next = h->next;
            if (h->releasedMark == ReleasedDeferred) {
                unlinkLocked(head, tail, h);
                h->releasedMark = 1;
                __libc_free(baseOf(h));
            } else {
                h->state = StateLive;
            }
            h = next;
        }
    }
} // namespace

void RunLeakProcessing() noexcept
{
    TLeakState &s = State();
    if (!s.head)
        return;
    section("Initialize the Memory Pages Cache");
    if (!PageCacheOpen())
        WriteError2("Error in CRLeaks \"", g_section, "\" section.\n");
    section("Lock AllocatedList_Lock");
    LockList();
    s.endProcessing.store(true, std::memory_order_release);
    CRLeaksCallbacks cb {};
    if (s.callbacksSet.load(std::memory_order_acquire))
        cb = s.callbacks;
    if (!Readable(reinterpret_cast<std::uint64_t>(s.head), BlockOverHead)) {
        WriteError("The application contains some memory leaks but it's impossible to show them because "
                   "another Memory Manager has already freed them.\r\nUse the C library's allocator "
                   "for the whole program, or link CRLeaks first.\n");
    } else {
        section("PurgeInvalidLeaks");
        purgeInvalidLeaks(s.head, s.flags);
        section("RemoveExtraLeaks");
        removeExtraLeaks(s.head);
        section("PurgeCallStacks");
        purgeCallStacks(s.head);
        section("CountAllLeaks");
        countAllLeaks(s.head);
        section("RemoveLeaksSons");
        removeLeaksSons(s.head, s.flags);
        // The reporting side allocates and may release tracked blocks while the list is locked:
        // the release path leaves them in the list, marked (tracking is off, so nothing new
        // enters it).
        section("HandleAnyLeak");
        handleAnyLeak(s.head, cb);
        section("FreeAllLeaks");
        freeAllLeaks(s.head, s.tail, s.flags);
        restoreStates(s.head, s.tail);
    }
    section("Unlock AllocatedList_Lock");
    s.endProcessing.store(false, std::memory_order_release);
    UnlockList();
    section("Free The Memory Pages Cache");
    PageCacheClose();
}

} // namespace crleaks
