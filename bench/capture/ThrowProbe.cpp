// One side of the throw-cost benchmark: throws and catches at fixed stack depths and prints the
// median time per throw. Built twice, with and without the crash-report library.
//
//   capture_throw_probe_{with,without} [iterations] [repeats]
// Prints "DEPTH <d> MEDIAN_NS <x> MIN_NS <y> MAX_NS <z>" per depth, and with the library
// "INIT_NS <n>" (the time "CrashReport.Init" took in this process).

#ifdef WITH_CAPTURE
#include "CrashCapture.h"
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace
{

volatile int sink = 0;

[[gnu::noinline]] int dive(int depth)
{
    if (depth <= 0)
        throw std::runtime_error("benchmark");
    const int r = dive(depth - 1);
    sink = sink + r;
    return r + 1;
}

double perThrow(int depth, int iterations)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < iterations; ++i) {
        try {
            dive(depth);
        } catch (const std::exception &) {
            sink = sink + 1;
        }
    }
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count()
        / iterations;
}

} // namespace

int main(int argc, char **argv)
{
    const int iterations = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 15;
#ifdef WITH_CAPTURE
    std::printf("INIT_NS %llu\n", static_cast<unsigned long long>(crashreport::CrashInitNanoseconds()));
#endif
    for (int depth : { 10, 50 }) {
        perThrow(depth, iterations / 10 + 1); // warm the unwinder's caches
        std::vector<double> times;
        for (int r = 0; r < repeats; ++r)
            times.push_back(perThrow(depth, iterations));
        std::sort(times.begin(), times.end());
        std::printf("DEPTH %d MEDIAN_NS %.0f MIN_NS %.0f MAX_NS %.0f\n", depth, times[times.size() / 2],
            times.front(), times.back());
    }
    return 0;
}
