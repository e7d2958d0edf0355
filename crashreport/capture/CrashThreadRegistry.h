#pragma once
// The thread registry: one record per known thread, guarded by a multi-read exclusive-write lock.
// Threads are added by the interposed pthread_create (whoever creates them) or by code that
// registers its threads itself, and removed when they end. Reports work on a snapshot.

#include <cstdint>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

namespace crashreport
{

inline constexpr std::uint32_t UnknownThreadPriority = 0x80000000u;

struct TCrashThreadRecord {
    std::uint64_t threadId = 0; // kernel thread id
    std::uint64_t handle = 0; // pthread_t
    std::uint32_t priority = UnknownThreadPriority;
    std::string className; // runtime thread class, empty for plain threads
    std::uint64_t stackBase = 0; // top of the stack
    std::uint64_t stackLow = 0; // lowest usable address
    void *(*startRoutine)(void *) = nullptr;
    void *parameter = nullptr;
    // The creating thread's stack, copied when the thread was created.
    std::shared_ptr<const std::vector<std::uint64_t>> creatorStack;
    std::uint64_t creatorThreadId = 0;
    bool started = false;
    bool reported = false;
    bool isMain = false;
    bool internal = false; // a thread of the library itself (report worker, watchdog)
};

class TCrashThreadsList
{
public:
    void add(TCrashThreadRecord record); // replaces a record of the same id
    void remove(std::uint64_t threadId);
    std::optional<TCrashThreadRecord> find(std::uint64_t threadId) const;
    std::optional<TCrashThreadRecord> findByHandle(std::uint64_t handle) const;
    void markReported(std::uint64_t threadId);
    void markInternal(std::uint64_t threadId);
    // Drops records of threads that no longer exist in this process.
    void dropDead();
    std::vector<TCrashThreadRecord> snapshot() const;
    std::size_t count() const;
    void clear();

private:
    mutable std::shared_mutex m_lock;
    std::vector<TCrashThreadRecord> m_items;
};

TCrashThreadsList &CrashThreads();

// The calling thread's kernel id.
std::uint64_t CrashCurrentThreadId();
// The main thread's id (the process id).
std::uint64_t CrashMainThreadId();

// The calling thread's stack bounds as the fault handler and the stop handler use them
// (filled when the thread is registered; zero when unknown).
struct TCrashThreadStack {
    std::uint64_t base = 0; // top
    std::uint64_t low = 0; // lowest usable address (above the guard)
};
TCrashThreadStack &CrashThisThreadStack();
// Reads the calling thread's stack bounds from the thread library.
bool CrashReadThreadStack(TCrashThreadStack &stack);

// Registers the calling thread (the main thread at start-up, or a thread started by the
// wrapper) and prepares its alternate signal stack.
void CrashRegisterThisThread(bool isMain, void *(*startRoutine)(void *), void *parameter,
    std::shared_ptr<const std::vector<std::uint64_t>> creatorStack, std::uint64_t creatorThreadId);

// Registers the main thread at start-up. Its stack bounds come from the process's start values
// and the stack limit, without reading /proc.
void CrashRegisterMainThread();

// Sets up the calling thread's alternate signal stack (kept until the thread ends).
void CrashSetUpAltStack();

// Copies the calling thread's stack from the caller's frame to its base, at most maxValues
// values; empty when the bounds are unknown.
std::vector<std::uint64_t> CrashCopyCurrentStack(std::size_t maxValues);

// Copies bytes without instrumentation (a raw stack may hold poisoned redzones).
void CrashRawCopy(void *destination, const void *source, std::size_t bytes);

} // namespace crashreport
