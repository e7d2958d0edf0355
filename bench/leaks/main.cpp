// Prints what the leak catcher costs, every figure the median of repeated runs with its spread
// (lowest and highest), measured in one run against references:
//  - an allocation-heavy loop with the catcher against the same loop with plain malloc (target:
//    at most 3x), single thread and 8 threads (no target: the list's spin lock serialises them);
//  - whole runs of the same program: plain, with the catcher, under valgrind --leak-check=full
//    (target: the catcher at least 10x faster) and under heaptrack (target: faster);
//  - the allocator's bytes held per live 32-byte block, plain and with the catcher;
//  - the time of the catcher's end processing for 1,025 leaks (without a reporting side).
//
//   bench_leaks [runs] [rounds]     (default 7 runs, 1,000,000 rounds per thread)

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

struct Stats {
    double median = 0, low = 0, high = 0;
};

Stats stats(std::vector<double> v)
{
    Stats s;
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    s.median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    s.low = v.front();
    s.high = v.back();
    return s;
}

// Runs a command line; returns its standard output and the wall time in ms.
std::string runCommand(const std::string &command, double &ms, int &status)
{
    const auto start = Clock::now();
    std::string out;
    FILE *pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) {
        status = -1;
        return out;
    }
    std::array<char, 4096> buffer;
    while (std::size_t n = fread(buffer.data(), 1, buffer.size(), pipe))
        out.append(buffer.data(), n);
    status = pclose(pipe);
    ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return out;
}

double printed(const std::string &out, const char *key)
{
    const std::size_t at = out.find(std::string(key) + " ");
    return at == std::string::npos ? -1 : std::atof(out.c_str() + at + std::string(key).size() + 1);
}

bool installed(const char *tool)
{
    double ms;
    int status;
    runCommand(std::string("command -v ") + tool + " >/dev/null", ms, status);
    return status == 0;
}

void line(const char *what, const Stats &s, const char *unit)
{
    std::printf("  %-44s median %10.2f %s  (spread %.2f .. %.2f)\n", what, s.median, unit, s.low, s.high);
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const int rounds = argc > 2 ? std::max(1000, std::atoi(argv[2])) : 1000000;
    const std::string plain = LOAD_PLAIN, catcher = LOAD_CATCHER;
    std::printf("Leak catcher benchmark: %d runs, %d rounds per thread\n", runs, rounds);

    for (const int threads : { 1, 8 }) {
        std::vector<double> p, c, ratio;
        for (int r = 0; r < runs; ++r) {
            double ms;
            int status;
            const std::string args = " loop " + std::to_string(threads) + " " + std::to_string(rounds);
            const double tp = printed(runCommand(plain + args, ms, status), "LOOP") / 1e6;
            const double tc = printed(runCommand(catcher + args, ms, status), "LOOP") / 1e6;
            p.push_back(tp);
            c.push_back(tc);
            ratio.push_back(tc / tp);
        }
        std::printf("Allocation loop, %d thread%s:\n", threads, threads > 1 ? "s" : "");
        line("plain malloc", stats(p), "ms");
        line("with the catcher", stats(c), "ms");
        line(threads == 1 ? "ratio catcher / plain (target <= 3)" : "ratio catcher / plain (no target)",
            stats(ratio), "x");
    }

    // Whole runs of half the loop, start included: long enough that the cost per allocation, not
    // the tools' start, decides, and short enough for valgrind.
    const int toolRounds = std::max(1000, rounds / 2);
    const std::string args = " loop 1 " + std::to_string(toolRounds);
    std::printf("Whole program, 1 thread, %d rounds:\n", toolRounds);
    std::vector<double> wp, wc;
    for (int r = 0; r < runs; ++r) {
        double ms;
        int status;
        runCommand(plain + args, ms, status);
        wp.push_back(ms);
        runCommand(catcher + args, ms, status);
        wc.push_back(ms);
    }
    line("plain malloc", stats(wp), "ms");
    line("with the catcher", stats(wc), "ms");
    const double catcherMedian = stats(wc).median;
    struct Tool {
        const char *name;
        const char *command;
        const char *target;
        double factor; // the catcher must be this many times faster
    } tools[] = {
        { "valgrind", "valgrind --leak-check=full --quiet ", "catcher >= 10x faster", 10 },
        // heaptrack writes its recording into the current folder; it is not analysed here.
        { "heaptrack", "cd /tmp && heaptrack ", "catcher faster", 1 },
    };
    for (const Tool &tool : tools) {
        if (!installed(tool.name)) {
            std::printf("  %-44s not installed\n", tool.name);
            continue;
        }
        std::vector<double> t, ratio;
        const int toolRuns = std::max(1, runs / 2);
        bool failed = false;
        for (int r = 0; r < toolRuns; ++r) {
            double ms;
            int status;
            runCommand(std::string(tool.command) + plain + args + " >/dev/null", ms, status);
            failed = failed || status != 0;
            t.push_back(ms);
            ratio.push_back(ms / catcherMedian);
        }
        if (std::system("rm -f /tmp/heaptrack.bench_leaks_plain.*") != 0)
            std::printf("  (the heaptrack recordings in /tmp could not be removed)\n");
        if (failed) {
            std::printf("  %-44s did not run the program\n", tool.name);
            continue;
        }
        const Stats s = stats(ratio);
        line(tool.name, stats(t), "ms");
        std::printf("  %-44s median %10.2f x  (spread %.2f .. %.2f)  %s\n",
            (std::string(tool.name) + " / catcher (" + tool.target + ")").c_str(), s.median, s.low, s.high,
            s.median >= tool.factor ? "met" : "MISSED");
    }

    std::vector<double> hp, hc, end;
    for (int r = 0; r < runs; ++r) {
        double ms;
        int status;
        hp.push_back(printed(runCommand(plain + " memory 100000", ms, status), "HELD"));
        hc.push_back(printed(runCommand(catcher + " memory 100000", ms, status), "HELD"));
        end.push_back(printed(runCommand(catcher + " end 1025", ms, status), "END") / 1e6);
    }
    std::printf("Memory held per live 32-byte block (allocator's bytes in use):\n");
    line("plain malloc", stats(hp), "B");
    line("with the catcher", stats(hc), "B");
    std::printf("End processing of 1,025 leaks (the catcher's steps, no reporting side):\n");
    line("end processing", stats(end), "ms");
    return 0;
}
