// Start and end of the catcher, and its C interface.
//
// Start: the library's constructor runs while the dynamic loader starts the program, before the
// program's own constructors and main(). It checks the block layout, reads LeakFlags and, when
// bit 0x01 is set, switches tracking on.
//
// End: the end processing must run after everything that may still release blocks - the
// program's destructors, then those of Qt and the C++ runtime, which run when the loader ends
// the libraries. The order in which the loader ends libraries follows their dependencies, not
// the link order, so the library's own destructor would run too early. Instead the constructor
// registers an exit handler with no module: the C library registers the loader's own end of
// the libraries only after every library constructor has run, and exit handlers run last
// registered first, so this handler runs after all of them.

#include "CRLeaksBlock.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern "C" int __cxa_atexit(void (*)(void *), void *, void *);

namespace crleaks
{

namespace
{
    unsigned g_readFlags = 0;

    // The development environment: when the catcher finds itself inside it, it stays off.
    bool insideDevelopmentEnvironment()
    {
        char path[4096];
        const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
        if (n <= 0)
            return false;
        path[n] = 0;
        const char *name = std::strrchr(path, '/');
        name = name ? name + 1 : path;
        static const char ide[] = "QTCREATOR";
        for (std::size_t i = 0; i < sizeof ide; ++i) {
            char c = name[i];
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
            if (c != ide[i])
                return false;
        }
        return true;
    }

    void sizeCheck()
    {
        const char *problem = nullptr;
        if (BlockOverHead % 16)
            problem = "BlockOverHead size is NOT a multiple of 16.";
        else if (BlockOverFoot % 16)
            problem = "BlockOverFoot size is NOT a multiple of 16.";
        else if ((BlockOverHead + BlockOverFoot) % 16)
            problem = "(BlockOverHead + BlockOverHead) size is NOT a multiple of 16.";
        if (problem) {
            WriteError2("CRLeaks unit Error: ", problem, "\n");
            _exit(1);
        }
    }

    void endOfProcess(void *)
    {
        CRLeaks_Finish();
    }

    // A fork while another thread holds the list would leave the child's list locked for ever.
    void beforeFork()
    {
        LockList();
    }
    void afterFork()
    {
        UnlockList();
    }
} // namespace

void WriteError(const char *text) noexcept
{
    std::size_t left = std::strlen(text);
    while (left) {
        const ssize_t n = write(STDERR_FILENO, text, left);
        if (n <= 0)
            return;
        text += n;
        left -= static_cast<std::size_t>(n);
    }
}

void WriteError2(const char *a, const char *b, const char *c) noexcept
{
    WriteError(a);
    WriteError(b);
    WriteError(c);
}

} // namespace crleaks

using namespace crleaks;

__attribute__((constructor(101))) static void CRLeaksInitialization()
{
    sizeCheck();
    NoteMainThread();
    TLeakState &s = State();
    if (insideDevelopmentEnvironment())
        return;
    g_readFlags = ReadLeakFlags();
    s.flags = static_cast<std::uint8_t>(g_readFlags);
    if (__cxa_atexit(endOfProcess, nullptr, nullptr) != 0) {
        WriteError("Error in CRLeaks Initialization.\n");
        return;
    }
    if (!(s.flags & CRLEAKS_ON))
        return;
    if (pthread_atfork(beforeFork, afterFork, afterFork) != 0) {
        WriteError("Error in CRLeaks Initialization.\n");
        return;
    }
    s.head = s.tail = nullptr;
    s.listLock.store(0);
    s.switchedOn.store(true);
    s.tracking.store(true, std::memory_order_release);
}

extern "C" {

__attribute__((visibility("default"))) void CRLeaks_SetCallbacks(const CRLeaksCallbacks *callbacks)
{
    TLeakState &s = State();
    s.callbacksSet.store(false, std::memory_order_release);
    s.callbacks = callbacks ? *callbacks : CRLeaksCallbacks {};
    if (callbacks)
        s.callbacksSet.store(true, std::memory_order_release);
}

__attribute__((visibility("default"))) unsigned CRLeaks_Flags(void)
{
    return g_readFlags;
}

__attribute__((visibility("default"))) int CRLeaks_Tracking(void)
{
    return State().tracking.load() ? 1 : 0;
}

__attribute__((visibility("default"))) void CRLeaks_KeepLiveBlocks(void)
{
    LockList();
    for (TLeakBlockHeader *h = State().head; h; h = h->next)
        h->keptOnPurpose = 1;
    UnlockList();
}

__attribute__((visibility("default"))) void CRLeaks_Finish(void)
{
    TLeakState &s = State();
    if (s.finished.exchange(true))
        return;
    if (s.switchedOn.load()) {
        s.tracking.store(false, std::memory_order_release);
        RunLeakProcessing();
    }
    if (s.callbacksSet.load(std::memory_order_acquire) && s.callbacks.finalization)
        s.callbacks.finalization();
}
}
