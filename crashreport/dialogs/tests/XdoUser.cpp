#include "XdoUser.h"

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

namespace crashreport::testing {

namespace {

constexpr const char *Bound = "timeout 30 xdotool ";

std::vector<std::string> visibleWindows(const std::string &title)
{
    std::istringstream ids(XdoOutput("search --onlyvisible --name '^" + title + "$'"));
    std::vector<std::string> result;
    for (std::string id; ids >> id;)
        result.push_back(id);
    return result;
}

bool onScreen(const std::string &title, const std::string &id)
{
    for (const std::string &shown : visibleWindows(title))
        if (shown == id)
            return true;
    return false;
}

} // namespace

int Xdo(const std::string &args)
{
    const int status = std::system((Bound + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string XdoOutput(const std::string &args)
{
    std::string out;
    if (FILE *pipe = ::popen((Bound + args + " 2>/dev/null").c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        ::pclose(pipe);
    }
    return out;
}

std::string WaitForWindow(const std::string &title, int seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::vector<std::string> ids = visibleWindows(title);
        if (!ids.empty())
            return ids.front();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

bool AnswerWindow(const std::string &title, const std::string &keys, int seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    const std::string window = WaitForWindow(title, seconds);
    if (window.empty())
        return false;
    for (int round = 0; std::chrono::steady_clock::now() < deadline; ++round) {
        if (round > 0)
            std::fprintf(stderr, "window '%s' (%s) still open: typing %s again\n", title.c_str(), window.c_str(), keys.c_str());
        // xdotool's own answer is not looked at: a window that closes on the key press is gone
        // before the key's release, which xdotool counts as a failure.
        Xdo("windowfocus --sync " + window + " sleep 0.3 key --clearmodifiers " + keys);
        for (int i = 0; i < 25; ++i) {
            if (!onScreen(title, window))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }
    return false;
}

} // namespace crashreport::testing
