// From the report being ready (the call of show()) to the first paint of the detailed dialog, in
// two ways: with a companion that is not yet running (started by show()), and with one prepared
// ahead of need (started at the program's start, idle until the report; a fresh one is prepared
// after each report), together with the memory the idle prepared companion takes.
// Reference in the same run: starting the companion and letting it end at once (process start
// and the toolkit's connection to the display, no window). Runs under its own Xvfb when no
// display is set. Each dialog closes itself after one second without input.

#include "TCrashDialogPresenter.h"

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <thread>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace crashreport;

namespace {

struct Figures {
    std::vector<double> ms;
    double median() const
    {
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        return v.empty() ? -1 : v[v.size() / 2];
    }
    double low() const { return ms.empty() ? -1 : *std::min_element(ms.begin(), ms.end()); }
    double high() const { return ms.empty() ? -1 : *std::max_element(ms.begin(), ms.end()); }
};

double startAndEnd()
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        return -1;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], 3);
        ::execl(COMPANION, COMPANION, "--channel", "3", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    ::close(fds[0]); // no request: the companion ends after it has started
    ::waitpid(pid, nullptr, 0);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// A value in kB from /proc/<pid>/<file> ("VmRSS:", "Pss:"); -1 when it cannot be read.
long procKb(pid_t pid, const char *file, const std::string &key)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + key.size());
    return -1;
}

void printRow(const char *name, const Figures &f)
{
    std::printf("%-44s %9.1f %9.1f %9.1f\n", name, f.median(), f.low(), f.high());
}

} // namespace

int main(int argc, char **argv)
{
    const char *display = std::getenv("DISPLAY");
    if ((!display || !*display) && !std::getenv("CRASH_BENCH_UNDER_XVFB")) {
        ::setenv("CRASH_BENCH_UNDER_XVFB", "1", 1);
        std::vector<char *> args{const_cast<char *>("xvfb-run"), const_cast<char *>("-a")};
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        ::execvp("xvfb-run", args.data());
        std::perror("xvfb-run");
        return 1;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;

    TCrashShowRequest request;
    request.dialogStyle = 3;
    request.beep = false;
    request.dialogFlags = 0x19F; // opens in detailed mode with its tabs
    request.dialogCloseSeconds = 1;
    request.exceptionMessage = "Access violation at address 0000000000401000.";
    request.generalText = std::string(20000, 'x');
    request.settingsFile = "/tmp/bench-dialogs-CrashReport.ini";
    for (int i = 0; i < 200; ++i)
        request.callStack.push_back({{"0000000000401000", "vetu-config", "Main.cpp", "", "f" + std::to_string(i), "1"},
                                     static_cast<std::uint64_t>(i / 20), 0});

    Figures paint, reference, preparedPaint, rss, pss;
    for (int i = 0; i < runs; ++i) {
        TCrashDialogPresenter presenter(COMPANION);
        presenter.show(request, {});
        paint.ms.push_back(presenter.firstPaintMs());
        presenter.endReport();
        reference.ms.push_back(startAndEnd());
    }
    {
        TCrashDialogPresenter presenter(COMPANION);
        presenter.prepareAhead();
        for (int i = 0; i < runs; ++i) {
            // The prepared companion has started and warmed up long before an error comes.
            std::this_thread::sleep_for(std::chrono::seconds(2));
            rss.ms.push_back(procKb(presenter.companionPid(), "status", "VmRSS:") / 1024.0);
            pss.ms.push_back(procKb(presenter.companionPid(), "smaps_rollup", "Pss:") / 1024.0);
            presenter.show(request, {});
            preparedPaint.ms.push_back(presenter.firstPaintMs());
            presenter.endReport(); // prepares the next one
        }
    }
    std::printf("first paint of the detailed dialog, %d runs each\n", runs);
    std::printf("%-44s %9s %9s %9s\n", "", "median", "min", "max");
    printRow("ms: companion not yet running", paint);
    printRow("ms: companion prepared ahead (already running)", preparedPaint);
    printRow("ms: companion start and end (reference)", reference);
    printRow("MB: idle prepared companion, resident", rss);
    printRow("MB: idle prepared companion, proportional", pss);
    std::printf("ratio to reference: not running %.2f, prepared ahead %.2f\n", paint.median() / reference.median(),
                preparedPaint.median() / reference.median());
    std::printf("target: first paint under 150 ms: not running %s, prepared ahead %s\n",
                paint.median() < 150 ? "met" : "missed", preparedPaint.median() < 150 ? "met" : "missed");
    return 0;
}
