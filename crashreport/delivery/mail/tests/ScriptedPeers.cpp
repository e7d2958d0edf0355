#include "ScriptedPeers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace mailtest {

namespace {

int boundSocket(int type, int &port)
{
    const int fd = ::socket(AF_INET, type, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length);
    port = ntohs(a.sin_port);
    return fd;
}

bool readable(int fd, int ms)
{
    pollfd p { fd, POLLIN, 0 };
    return ::poll(&p, 1, ms) > 0;
}

void sendAll(int fd, const std::string &text)
{
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += n;
    }
}

} // namespace

ScriptedSmtpServer::ScriptedSmtpServer(std::vector<Chunk> greeting, Replier replier)
    : m_greeting(std::move(greeting))
    , m_replier(std::move(replier))
{
    m_listen = boundSocket(SOCK_STREAM, m_port);
    ::listen(m_listen, 4);
    m_thread = std::thread([this] { run(); });
}

ScriptedSmtpServer::~ScriptedSmtpServer()
{
    m_stop = true;
    m_thread.join();
    ::close(m_listen);
}

std::string ScriptedSmtpServer::received()
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

void ScriptedSmtpServer::run()
{
    while (!m_stop && !readable(m_listen, 20)) { }
    if (m_stop)
        return;
    const int fd = ::accept(m_listen, nullptr, nullptr);
    if (fd < 0)
        return;
    auto take = [&](std::string &pending) {
        char buffer[65536];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        pending.append(buffer, n);
        std::lock_guard lock(m_mutex);
        m_received.append(buffer, n);
        return true;
    };
    std::string pending;
    for (const Chunk &chunk : m_greeting) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(chunk.pauseMs);
        while (!m_stop && std::chrono::steady_clock::now() < until)
            if (readable(fd, 5) && take(pending))
                m_early = true;
        sendAll(fd, chunk.text);
    }
    bool inData = false;
    bool open = true;
    while (!m_stop && open) {
        std::size_t end;
        while ((end = pending.find("\r\n")) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 2);
            if (inData && line != ".")
                continue;
            inData = false;
            const std::string reply = m_replier(line);
            if (reply.rfind("354", 0) == 0)
                inData = true;
            sendAll(fd, reply);
        }
        if (readable(fd, 20))
            open = take(pending);
    }
    ::close(fd);
}

UdpResponder::UdpResponder(Answerer answerer) : m_answerer(std::move(answerer))
{
    m_fd = boundSocket(SOCK_DGRAM, m_port);
    m_thread = std::thread([this] { run(); });
}

UdpResponder::~UdpResponder()
{
    m_stop = true;
    m_thread.join();
    ::close(m_fd);
}

void UdpResponder::run()
{
    while (!m_stop) {
        if (!readable(m_fd, 20))
            continue;
        char buffer[2048];
        sockaddr_in from {};
        socklen_t length = sizeof from;
        const ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &length);
        if (n <= 0)
            continue;
        ++m_queries;
        for (const std::string &packet : m_answerer(std::string(buffer, n)))
            ::sendto(m_fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr *>(&from), length);
    }
}

} // namespace mailtest
