// Start-up cost of the crash-report options: finding and reading the program's
// own data block (section and appended placement), against setting the
// defaults alone, measured in the same run.

#include "CrashDataBlock.h"
#include "CrashModuleOptionsEx.h"

#include <chrono>
#include <cstdio>
#include <string>

using namespace crashreport;

namespace {

template <class F> double MicrosecondsPerRun(int runs, F &&work)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i)
        work();
    const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / runs;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string self = CrashModuleFileOf(nullptr);
    const std::string appended = argc > 1 ? argv[1] : std::string();
    const int runs = 2000;

    const double defaults = MicrosecondsPerRun(runs, [] {
        TCrashModuleOptions options;
        (void)options;
    });
    const double section = MicrosecondsPerRun(runs, [&] {
        TCrashModuleOptionsEx options;
        options.loadFromModuleFile(self);
    });
    std::printf("defaults only:          %8.2f us\n", defaults);
    std::printf("section block (%s): %8.2f us  ratio %.2f\n", OwnCrashData().found ? "found" : "none ", section,
                section / defaults);
    if (!appended.empty()) {
        const double trailer = MicrosecondsPerRun(runs, [&] {
            TCrashModuleOptionsEx options;
            options.loadFromModuleFile(appended);
        });
        std::printf("appended block:         %8.2f us  ratio %.2f\n", trailer, trailer / defaults);
    }
    return 0;
}
