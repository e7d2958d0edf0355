// Start-up cost of the crash-report options as the program pays it: finding the data block in
// the shipped vetu-config file, reading the options from it, and building the line table from
// its "LINE" stream; against setting the defaults alone, measured alternately in the same run.
// Prints the median of the rounds with their spread (lowest and highest round).
// Usage: bench_options [rounds] [program file]   (default: the vetu-config of this build)

#include "BenchFigures.h"

#include "CrashDataBlock.h"
#include "CrashLineTable.h"
#include "CrashModuleOptionsEx.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace crashreport;

namespace {

constexpr int IterationsPerRound = 100;

template <class F> double MicrosecondsPerIteration(F &&work)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < IterationsPerRound; ++i)
        work();
    const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / IterationsPerRound;
}

void Print(const char *what, const std::vector<double> &values, const char *unit)
{
    const Figures f = Summarise(values);
    std::printf("  %-40s %10.2f %s   spread %.2f .. %.2f\n", what, f.median, unit, f.low, f.high);
}

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 21;
    const std::string program = argc > 2 ? argv[2] : VETU_PROGRAM_FILE;

    const TCrashDataLookup probe = ReadCrashDataFromFile(program);
    const std::vector<std::uint8_t> *lineStream = probe.found ? probe.block.findStream(CrashDataLineTableTag) : nullptr;
    if (!probe.found || !lineStream) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(),
                     !probe.found ? (probe.error.empty() ? "no crash data block" : probe.error.c_str())
                                  : "the block holds no line table");
        return 1;
    }
    const auto lines = CrashLineTableFromStream(lineStream);
    std::printf("Crash-report options of %s\n", program.c_str());
    std::printf("  block: %zu bytes of options, line table %zu bytes in %zu units\n", probe.block.options.size(),
                lineStream->size(), lines ? lines->unitCount() : std::size_t(0));

    std::vector<double> defaults, options, withLines, optionsRatio, withLinesRatio;
    for (int round = 0; round < rounds; ++round) {
        const double d = MicrosecondsPerIteration([] {
            TCrashModuleOptions o;
            (void)o;
        });
        const double o = MicrosecondsPerIteration([&] {
            TCrashModuleOptionsEx ex;
            ex.loadFromModuleFile(program);
        });
        const double l = MicrosecondsPerIteration([&] {
            const TCrashDataLookup lookup = ReadCrashDataFromFile(program);
            TCrashModuleOptionsEx ex;
            ex.loadFromLookup(lookup);
            const auto table = CrashLineTableFromStream(lookup.block.findStream(CrashDataLineTableTag));
            (void)table;
        });
        defaults.push_back(d);
        options.push_back(o);
        withLines.push_back(l);
        optionsRatio.push_back(o / d);
        withLinesRatio.push_back(l / d);
    }
    std::printf("Median of %d rounds of %d loads each (spread: lowest .. highest round):\n", rounds,
                IterationsPerRound);
    Print("defaults only", defaults, "us");
    Print("options from the shipped block", options, "us");
    Print("options and line table", withLines, "us");
    Print("ratio options / defaults", optionsRatio, "x ");
    Print("ratio options and lines / defaults", withLinesRatio, "x ");
    return 0;
}
