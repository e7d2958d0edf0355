// The load of the leak catcher's benchmark: an allocation-heavy loop of mixed sizes (8 to 4 KiB,
// a window of live blocks released in a scrambled order, some resized), on 1 or more threads.
// Built plain and with the catcher; the benchmark driver runs it.
//
//   load loop THREADS ROUNDS   prints "LOOP <ns>": the loop's time
//   load memory COUNT          prints "HELD <bytes>": the allocator's bytes per live 32-byte block
//   load end COUNT             (with the catcher) leaks COUNT blocks of different sizes from one
//                              place and prints "END <ns>": the time of the end processing

#ifdef WITH_CATCHER
#include "CRLeaks.h"
#endif

#include <malloc.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

void loop(int rounds, unsigned seed)
{
    constexpr int Window = 256;
    void *live[Window] = {};
    std::uint32_t x = seed * 2654435761u + 1;
    auto next = [&] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    for (int r = 0; r < rounds; ++r) {
        const int slot = static_cast<int>(next() % Window);
        const std::uint32_t pick = next();
        std::size_t size = 8u << (pick % 10); // 8 .. 4096
        size += pick % 24;
        if (live[slot] && (pick & 0x700) == 0) {
            live[slot] = std::realloc(live[slot], size);
        } else {
            std::free(live[slot]);
            live[slot] = (pick & 0x800) ? static_cast<void *>(new char[size]) : std::malloc(size);
        }
        static_cast<char *>(live[slot])[0] = static_cast<char>(r);
    }
    for (void *p : live)
        std::free(p);
}

std::size_t heapInUse()
{
    return mallinfo2().uordblks + mallinfo2().hblkhd;
}

#ifdef WITH_CATCHER
void *volatile g_keep[4096];

[[gnu::noinline]] void leakOne(int slot, std::size_t size)
{
    g_keep[slot] = std::malloc(size);
}
#endif

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "loop";
    if (mode == "loop") {
        const int threads = argc > 2 ? std::atoi(argv[2]) : 1;
        const int rounds = argc > 3 ? std::atoi(argv[3]) : 1000000;
        const auto start = Clock::now();
        std::vector<std::thread> workers;
        for (int t = 1; t < threads; ++t)
            workers.emplace_back(loop, rounds, static_cast<unsigned>(t));
        loop(rounds, 0);
        for (auto &w : workers)
            w.join();
        std::printf("LOOP %lld\n",
            static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count()));
    } else if (mode == "memory") {
        const int count = argc > 2 ? std::atoi(argv[2]) : 100000;
        std::vector<void *> blocks;
        blocks.reserve(static_cast<std::size_t>(count));
        const std::size_t before = heapInUse();
        for (int i = 0; i < count; ++i)
            blocks.push_back(std::malloc(32));
        const std::size_t after = heapInUse();
        std::printf("HELD %.1f\n", double(after - before) / count);
        for (void *p : blocks)
            std::free(p);
    } else if (mode == "end") {
#ifdef WITH_CATCHER
        const int count = argc > 2 ? std::atoi(argv[2]) : 1025;
        for (int i = 0; i < count; ++i)
            leakOne(i % 4096, static_cast<std::size_t>(i + 1));
        const auto start = Clock::now();
        CRLeaks_Finish();
        std::printf("END %lld\n",
            static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count()));
#endif
    }
    return 0;
}
