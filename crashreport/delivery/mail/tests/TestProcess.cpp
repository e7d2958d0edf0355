#include "TestProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace mailtest {

TestProcess::TestProcess(const std::vector<std::string> &argv)
{
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return;
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(pipeFds[1], 1);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    m_out = pipeFds[0];
}

TestProcess::~TestProcess() { stop(); }

void TestProcess::stop()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        bool reaped = false;
        for (int i = 0; i < 300 && !reaped; ++i) {
            reaped = ::waitpid(m_pid, &status, WNOHANG) == m_pid;
            if (!reaped)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!reaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
    }
    if (m_out >= 0)
        ::close(m_out);
    m_out = -1;
}

bool TestProcess::readLine(std::string &line, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        const std::size_t end = m_buffer.find('\n');
        if (end != std::string::npos) {
            line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || m_out < 0)
            return false;
        pollfd p { m_out, POLLIN, 0 };
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char buffer[512];
        const ssize_t n = ::read(m_out, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        m_buffer.append(buffer, n);
    }
}

namespace {

int freePort(int type, const char *address)
{
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &a.sin_addr);
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0) {
        socklen_t length = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length);
        port = ntohs(a.sin_port);
    }
    ::close(fd);
    return port;
}

} // namespace

int FreeTcpPort(const char *address) { return freePort(SOCK_STREAM, address); }
int FreeUdpPort(const char *address) { return freePort(SOCK_DGRAM, address); }

} // namespace mailtest
