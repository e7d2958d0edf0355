// Stopping, copying, walking and resolving every thread of a process of 10 threads (about 32
// frames each), the first time in a fresh process, against `eu-stack -p` of the same process,
// and the time of a whole report (modules, processes, log save) with DialogStyle 0.
//
// The first walk is measured twice, each in its own fresh process: after the library's
// warm-up has ended (as in a program that has been running a moment: the Qt side starts the
// warm-up with the application), and cold, with no warm-up at all.
//
//   capture_walk_bench [runs]             runs the measurements in fresh child processes
//   capture_walk_bench --child warm|cold  one measurement (used by the parent)

#include "CrashCapture.h"
#include "CrashModuleOptionsEx.h"
#include "CrashStackList.h"
#include "CrashThreadRegistry.h"
#include "CrashThreadStop.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace crashreport;
using Clock = std::chrono::steady_clock;

namespace
{

std::mutex parkLock;
std::condition_variable parkWake;
bool release = false;
std::atomic<int> parked { 0 };

[[gnu::noinline]] int descend(int depth)
{
    if (depth == 0) {
        std::unique_lock lock(parkLock);
        ++parked;
        parkWake.wait(lock, [] { return release; });
        return 0;
    }
    volatile int keep = descend(depth - 1);
    return keep + 1;
}

double msSince(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

int child(bool warmUp)
{
    if (warmUp) {
        CrashStartWarmUp();
        if (!CrashWaitWarmUp(60000))
            return 1;
    }
    std::vector<std::thread> threads;
    for (int i = 0; i < 9; ++i)
        threads.emplace_back([] { descend(30); });
    while (parked.load() < 9)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    // Ours: stop and copy every other thread, then walk and resolve the copies.
    std::size_t frames = 0;
    auto walkAll = [&frames] {
        const auto start = Clock::now();
        frames = 0;
        std::vector<TCrashThreadCopy> copies;
        for (const auto &record : CrashThreads().snapshot()) {
            if (record.internal || record.threadId == CrashCurrentThreadId())
                continue;
            copies.emplace_back();
            copies.back().stack.resize(25600);
        }
        std::size_t k = 0;
        for (const auto &record : CrashThreads().snapshot()) {
            if (record.internal || record.threadId == CrashCurrentThreadId())
                continue;
            CrashCopyThread(record.threadId, copies[k++]);
        }
        TCrashStackList list;
        CrashWalkCurrentThread(list);
        for (const auto &c : copies) {
            TCrashWalkParams params;
            params.threadId = c.threadId;
            CrashWalkStackCopy(list, c.context.rip, c.stack.data(), c.stackBytes, params);
        }
        for (const auto &e : list)
            frames += e->kind != StackKindHidden;
        return msSince(start);
    };
    const double ours = walkAll();
    const double again = walkAll();

    // eu-stack of the same process.
    double theirs = -1;
    const auto euStart = Clock::now();
    const std::string command = "eu-stack -p " + std::to_string(getpid()) + " >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0)
        theirs = msSince(euStart);

    // A whole report with DialogStyle 0.
    CrashCurrentOptions().setDialogStyle(0);
    char folder[] = "/tmp/capture-walk-bench-XXXXXX";
    if (mkdtemp(folder))
        CrashCurrentOptions().setOutputFolder(folder);
    const auto reportStart = Clock::now();
    try {
        throw std::runtime_error("benchmark report");
    } catch (...) {
        CrashReportCurrentException(OutputDefault);
    }
    const double report = msSince(reportStart);

    {
        std::lock_guard lock(parkLock);
        release = true;
    }
    parkWake.notify_all();
    for (auto &t : threads)
        t.join();
    std::printf("%.3f %.3f %.3f %zu %.3f\n", ours, theirs, report, frames, again);
    std::system((std::string("rm -rf ") + folder).c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 && std::string(argv[1]) == "--child")
        return child(std::string(argv[2]) == "warm");
    const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    struct Series {
        std::vector<double> ours, theirs, ratio, report, again;
    } warmed, cold;
    std::size_t frames = 0;
    for (int i = 0; i < runs; ++i) {
        for (Series *series : { &warmed, &cold }) {
            const std::string command
                = std::string("\"") + argv[0] + "\" --child " + (series == &warmed ? "warm" : "cold");
            FILE *p = popen(command.c_str(), "r");
            if (!p)
                return 1;
            double o = 0, t = 0, r = 0, w = 0;
            std::size_t f = 0;
            if (std::fscanf(p, "%lf %lf %lf %zu %lf", &o, &t, &r, &f, &w) == 5) {
                series->again.push_back(w);
                series->ours.push_back(o);
                series->report.push_back(r);
                frames = f;
                if (t > 0) {
                    series->theirs.push_back(t);
                    series->ratio.push_back(o / t);
                }
            }
            pclose(p);
        }
    }
    auto show = [](const char *name, std::vector<double> v, const char *unit) {
        if (v.empty()) {
            std::printf("  %-40s n/a\n", name);
            return;
        }
        std::sort(v.begin(), v.end());
        std::printf("  %-40s median %8.3f %s  min %8.3f  max %8.3f  (n=%zu)\n", name, v[v.size() / 2], unit,
            v.front(), v.back(), v.size());
    };
    std::printf("10 threads, %zu frames found\n", frames);
    for (const Series *series : { &warmed, &cold }) {
        std::printf(series == &warmed ? "First walk after the warm-up has ended:\n"
                                      : "First walk with no warm-up (everything loaded on first use):\n");
        show("stop+copy+walk+resolve (ours)", series->ours, "ms");
        show("the same again in that process", series->again, "ms");
        show("eu-stack -p", series->theirs, "ms");
        show("ratio ours / eu-stack (target 1.0)", series->ratio, "x ");
        show("whole report, DialogStyle 0", series->report, "ms");
    }
    return 0;
}
