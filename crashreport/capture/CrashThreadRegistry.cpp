#include "CrashThreadRegistry.h"

#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

namespace crashreport
{

void TCrashThreadsList::add(TCrashThreadRecord record)
{
    std::unique_lock lock(m_lock);
    auto it = std::find_if(m_items.begin(), m_items.end(),
        [&](const TCrashThreadRecord &r) { return r.threadId == record.threadId; });
    if (it != m_items.end())
        *it = std::move(record);
    else
        m_items.push_back(std::move(record));
}

void TCrashThreadsList::remove(std::uint64_t threadId)
{
    std::unique_lock lock(m_lock);
    std::erase_if(m_items, [&](const TCrashThreadRecord &r) { return r.threadId == threadId; });
}

std::optional<TCrashThreadRecord> TCrashThreadsList::find(std::uint64_t threadId) const
{
    std::shared_lock lock(m_lock);
    for (const auto &r : m_items)
        if (r.threadId == threadId)
            return r;
    return std::nullopt;
}

std::optional<TCrashThreadRecord> TCrashThreadsList::findByHandle(std::uint64_t handle) const
{
    std::shared_lock lock(m_lock);
    for (const auto &r : m_items)
        if (r.handle == handle)
            return r;
    return std::nullopt;
}

void TCrashThreadsList::markReported(std::uint64_t threadId)
{
    std::unique_lock lock(m_lock);
    for (auto &r : m_items)
        if (r.threadId == threadId)
            r.reported = true;
}

void TCrashThreadsList::markInternal(std::uint64_t threadId)
{
    std::unique_lock lock(m_lock);
    for (auto &r : m_items)
        if (r.threadId == threadId)
            r.internal = true;
}

void TCrashThreadsList::dropDead()
{
    const pid_t pid = getpid();
    std::unique_lock lock(m_lock);
    std::erase_if(m_items, [&](const TCrashThreadRecord &r) {
        return syscall(SYS_tgkill, pid, static_cast<pid_t>(r.threadId), 0) != 0;
    });
}

std::vector<TCrashThreadRecord> TCrashThreadsList::snapshot() const
{
    std::shared_lock lock(m_lock);
    return m_items;
}

std::size_t TCrashThreadsList::count() const
{
    std::shared_lock lock(m_lock);
    return m_items.size();
}

void TCrashThreadsList::clear()
{
    std::unique_lock lock(m_lock);
    m_items.clear();
}

TCrashThreadsList &CrashThreads()
{
    // Never destroyed: threads may end (and unregister) after the program's static objects are gone.
    static auto *list = new TCrashThreadsList;
    return *list;
}

std::uint64_t CrashCurrentThreadId()
{
    return static_cast<std::uint64_t>(syscall(SYS_gettid));
}

std::uint64_t CrashMainThreadId()
{
    return static_cast<std::uint64_t>(getpid());
}

namespace
{
    thread_local TCrashThreadStack tStack;

    struct AltStack {
        void *memory = nullptr;
        std::size_t size = 0;
    };
    thread_local AltStack tAltStack;

    // The fault path throws or writes the minimal report from here; both stay far below this.
    constexpr std::size_t AltStackSize = 256 * 1024;
    constexpr std::size_t GuardSize = 4096;
} // namespace

TCrashThreadStack &CrashThisThreadStack()
{
    return tStack;
}

bool CrashReadThreadStack(TCrashThreadStack &stack)
{
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0)
        return false;
    void *addr = nullptr;
    size_t size = 0;
    size_t guard = 0;
    const bool ok = pthread_attr_getstack(&attr, &addr, &size) == 0;
    pthread_attr_getguardsize(&attr, &guard);
    pthread_attr_destroy(&attr);
    if (!ok)
        return false;
    stack.low = reinterpret_cast<std::uint64_t>(addr);
    stack.base = stack.low + size;
    return true;
}

void CrashSetUpAltStack()
{
    stack_t current {};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)
        && current.ss_size >= AltStackSize)
        return; // the thread has one already
    if (tAltStack.memory)
        return;
    void *memory
        = mmap(nullptr, AltStackSize + GuardSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return;
    mprotect(memory, GuardSize, PROT_NONE); // an overflow of the handler faults instead of writing on
    stack_t alt {};
    alt.ss_sp = static_cast<char *>(memory) + GuardSize;
    alt.ss_size = AltStackSize;
    if (sigaltstack(&alt, nullptr) != 0) {
        munmap(memory, AltStackSize + GuardSize);
        return;
    }
    tAltStack.memory = memory;
    tAltStack.size = AltStackSize + GuardSize;
}

void CrashReleaseAltStack()
{
    if (!tAltStack.memory)
        return;
    stack_t off {};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    munmap(tAltStack.memory, tAltStack.size);
    tAltStack = {};
}

namespace
{
// Adds the calling thread, whose stack range is in tStack, to the registry.
void addThisThreadRecord(bool isMain, void *(*startRoutine)(void *), void *parameter,
    std::shared_ptr<const std::vector<std::uint64_t>> creatorStack, std::uint64_t creatorThreadId)
{
    TCrashThreadRecord record;
    record.threadId = CrashCurrentThreadId();
    record.handle = static_cast<std::uint64_t>(pthread_self());
    record.stackBase = tStack.base;
    record.stackLow = tStack.low;
    record.startRoutine = startRoutine;
    record.parameter = parameter;
    record.creatorStack = std::move(creatorStack);
    record.creatorThreadId = creatorThreadId;
    record.started = true;
    record.isMain = isMain;
    CrashThreads().add(std::move(record));
}
} // namespace

void CrashRegisterThisThread(bool isMain, void *(*startRoutine)(void *), void *parameter,
    std::shared_ptr<const std::vector<std::uint64_t>> creatorStack, std::uint64_t creatorThreadId)
{
    CrashReadThreadStack(tStack);
    CrashSetUpAltStack();
    addThisThreadRecord(isMain, startRoutine, parameter, std::move(creatorStack), creatorThreadId);
}

extern "C" void *__libc_stack_end;

void CrashRegisterMainThread()
{
    rlimit limit {};
    std::uint64_t size = 8u << 20;
    if (getrlimit(RLIMIT_STACK, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
        && limit.rlim_cur < (1ull << 32))
        size = limit.rlim_cur;
    // The values above __libc_stack_end are the program's arguments and environment: no frames.
    tStack.base = (reinterpret_cast<std::uint64_t>(__libc_stack_end) + 4095) & ~std::uint64_t(4095);
    tStack.low = tStack.base - size + 2 * 4096; // above the guard gap
    CrashSetUpAltStack();
    addThisThreadRecord(true, nullptr, nullptr, nullptr, 0);
}

__attribute__((no_sanitize("address"), noinline)) void CrashRawCopy(
    void *destination, const void *source, std::size_t bytes)
{
    auto *d = static_cast<volatile unsigned char *>(destination);
    const auto *s = static_cast<const volatile unsigned char *>(source);
    std::size_t i = 0;
    if ((reinterpret_cast<std::uintptr_t>(d) % 8) == 0 && (reinterpret_cast<std::uintptr_t>(s) % 8) == 0) {
        auto *d8 = reinterpret_cast<volatile std::uint64_t *>(destination);
        const auto *s8 = reinterpret_cast<const volatile std::uint64_t *>(source);
        for (; i + 8 <= bytes; i += 8)
            d8[i / 8] = s8[i / 8];
    }
    for (; i < bytes; ++i)
        d[i] = s[i];
}

__attribute__((noinline)) std::vector<std::uint64_t> CrashCopyCurrentStack(std::size_t maxValues)
{
    std::vector<std::uint64_t> copy;
    if (tStack.base == 0)
        return copy;
    const auto sp = reinterpret_cast<std::uint64_t>(__builtin_frame_address(0)) & ~std::uint64_t(7);
    if (sp >= tStack.base || sp < tStack.low)
        return copy;
    const std::size_t values = std::min<std::size_t>((tStack.base - sp) / 8, maxValues);
    copy.resize(values);
    CrashRawCopy(copy.data(), reinterpret_cast<const void *>(sp), values * 8);
    return copy;
}

} // namespace crashreport
