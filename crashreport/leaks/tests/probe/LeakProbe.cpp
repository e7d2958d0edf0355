// A small program that links the leak catcher first and the crash-report library, and leaks or
// misuses memory in the way its first argument names. The leak tests run it as a child process
// and check its exit code, output and log file. It prints "LINE <n>" for the source line of the
// allocation that a report should name.

#include "CRLeaks.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern "C" void *__libc_malloc(std::size_t);
extern "C" void *__libc_realloc(void *, std::size_t);

namespace
{

// Holds leaked pointers, and pointers on their way to free, so that the compiler keeps every
// allocation and release as written.
void *volatile g_keep[4096];

void say(const char *key, int value)
{
    std::printf("%s %d\n", key, value);
    std::fflush(stdout);
}

struct ProbeObject {
    virtual ~ProbeObject() = default;
    virtual int value() const { return 1; }
    char payload[40] {};
};

// An object whose constructor allocates two blocks of its own.
struct ProbeParent {
    ProbeParent()
        : first(static_cast<char *>(std::malloc(100)))
        , second(new int[50])
    {
    }
    virtual ~ProbeParent() = default;
    char *first;
    int *second;
};

// Stores the block itself: a returned malloc would be a tail call, whose site is the caller's.
[[gnu::noinline]] void leak24(int slot)
{
    g_keep[slot] = std::malloc(24);
}

[[gnu::noinline]] void leakMany(int n)
{
    for (int i = 0; i < n; ++i)
        g_keep[i % 4096] = std::malloc(static_cast<std::size_t>(i + 1)); // sizes differ: no grouping
}

[[gnu::noinline]] void workerLeak(int slot)
{
    g_keep[slot] = std::malloc(32);
}

void threadWork()
{
    std::vector<void *> blocks;
    for (int round = 0; round < 200; ++round) {
        for (int i = 0; i < 50; ++i)
            blocks.push_back(std::malloc(static_cast<std::size_t>(8 + (i * 37) % 500)));
        for (void *p : blocks)
            std::free(p);
        blocks.clear();
    }
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    say("TRACKING", CRLeaks_Tracking());
    say("FLAGS", static_cast<int>(CRLeaks_Flags()));
    if (mode == "none") {
        for (int i = 0; i < 100; ++i)
            std::free(std::malloc(static_cast<std::size_t>(i * 13)));
        std::string s(300, 'x');
        say("SIZE", static_cast<int>(s.size()));
    } else if (mode == "twice") {
        g_keep[0] = std::malloc(16);
        std::free(g_keep[0]);
        std::free(g_keep[0]);
        say("ALIVE", 1);
    } else if (mode == "overrun") {
        g_keep[0] = std::malloc(10);
        std::memset(g_keep[0], 'a', 10);
        static_cast<volatile char *>(g_keep[0])[10] = 'a'; // one byte past the end
        std::free(g_keep[0]);
        say("ALIVE", 1);
    } else if (mode == "two24") {
        for (int i = 0; i < 2; ++i) {
            leak24(i);
        }
    } else if (mode == "many") {
        leakMany(2000);
    } else if (mode == "object") {
        say("LINE", __LINE__ + 1);
        g_keep[0] = new ProbeObject;
    } else if (mode == "children") {
        say("SIZE", static_cast<int>(sizeof(ProbeParent) + 100 + 50 * sizeof(int)));
        g_keep[0] = new ProbeParent;
    } else if (mode == "threads") {
        std::vector<std::thread> threads;
        pthread_barrier_t start;
        pthread_barrier_init(&start, nullptr, 8);
        for (int t = 0; t < 8; ++t)
            threads.emplace_back([t, &start] {
                pthread_barrier_wait(&start);
                threadWork();
                workerLeak(t);
            });
        for (auto &t : threads)
            t.join();
        pthread_barrier_destroy(&start);
    } else if (mode == "before") {
        // Blocks of the allocator itself, as if handed out before the catcher was installed.
        char *p = static_cast<char *>(__libc_malloc(40));
        std::strcpy(p, "before");
        char *q = static_cast<char *>(std::realloc(p, 4000)); // resized without a header
        say("KEPT", std::strcmp(q, "before") == 0);
        char *r = static_cast<char *>(__libc_malloc(64));
        std::free(q);
        std::free(r);
        void *aligned = nullptr;
        if (posix_memalign(&aligned, 256, 1000) == 0) {
            say("ALIGNED", (reinterpret_cast<std::uintptr_t>(aligned) & 255) == 0);
            aligned = std::realloc(aligned, 5000);
            std::free(aligned);
        }
        say("ALIVE", 1);
    } else {
        return 2;
    }
    return 0;
}
