#include "XdoUser.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

TestXServer::~TestXServer()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
}

bool TestXServer::start()
{
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    m_pid = ::fork();
    if (m_pid == 0) {
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, 1);
        ::dup2(quiet, 2);
        const std::string fd = std::to_string(fds[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                 static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (m_pid > 0 && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0)
            continue;
        char c = 0;
        if (::read(fds[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    ::close(fds[0]);
    if (number.empty())
        return false;
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    return true;
}

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
