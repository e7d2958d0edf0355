#include "TCrashClientSocket.h"

#include "CrashSocketError.h"
#include "TlsChannel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace crashreport {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int SendPieceSize = 1024;
constexpr int ReceiveBufferSize = 65536;

std::string quoted(const std::string &text) { return "\"" + text + "\""; }

std::string systemError(int code) { return std::strerror(code); }

timeval toTimeval(int ms)
{
    timeval tv {};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return tv;
}

} // namespace

TCrashClientSocket::TCrashClientSocket(std::string host, int timeoutMs, bool stream, std::uint16_t port)
    : m_host(std::move(host))
    , m_port(port)
    , m_stream(stream)
    , m_timeoutMs(timeoutMs)
{
}

TCrashClientSocket::~TCrashClientSocket() { closeQuietly(); }

bool TCrashClientSocket::connect()
{
    if (m_connected)
        return true;
    m_handle = ::socket(AF_INET, (m_stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
    if (m_handle < 0) {
        const int code = errno;
        m_handle = -1;
        error("Invalid socket: " + quoted(systemError(code)) + ".");
        return false;
    }
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = m_stream ? SOCK_STREAM : SOCK_DGRAM;
    addrinfo *found = nullptr;
    const int lookup = ::getaddrinfo(m_host.c_str(), nullptr, &hints, &found);
    if (lookup != 0 || !found) {
        // Connecting to 0.0.0.0 instead would reach this very machine.
        const std::string text = lookup == EAI_SYSTEM ? systemError(errno) : gai_strerror(lookup);
        closeQuietly();
        error("Connection error: " + quoted(m_host + ": " + text));
        return false;
    }
    sockaddr_in address = *reinterpret_cast<sockaddr_in *>(found->ai_addr);
    ::freeaddrinfo(found);
    address.sin_port = htons(m_port);
    m_peerAddress = ntohl(address.sin_addr.s_addr);

    const timeval tv = toTimeval(std::max(m_timeoutMs, 1));
    ::setsockopt(m_handle, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(m_handle, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);

    // Connect without blocking so that an unreachable host costs at most the
    // time-out, then go on in blocking mode.
    const int flags = ::fcntl(m_handle, F_GETFL);
    ::fcntl(m_handle, F_SETFL, flags | O_NONBLOCK);
    int result = ::connect(m_handle, reinterpret_cast<sockaddr *>(&address), sizeof address);
    int code = result == 0 ? 0 : errno;
    if (result != 0 && code == EINPROGRESS) {
        pollfd p { m_handle, POLLOUT, 0 };
        int ready;
        do
            ready = ::poll(&p, 1, std::max(m_timeoutMs, 1));
        while (ready < 0 && errno == EINTR);
        if (ready == 0)
            code = ETIMEDOUT;
        else if (ready < 0)
            code = errno;
        else {
            socklen_t length = sizeof code;
            if (::getsockopt(m_handle, SOL_SOCKET, SO_ERROR, &code, &length) != 0)
                code = errno;
        }
    }
    if (code != 0) {
        closeQuietly();
        error("Connection error: " + quoted(systemError(code)));
        return false;
    }
    ::fcntl(m_handle, F_SETFL, flags & ~O_NONBLOCK);
    m_connected = true;
    m_peerClosed = false;
    char text[64];
    std::snprintf(text, sizeof text, "Connected to %u.%u.%u.%u port %u\r\n", m_peerAddress >> 24,
        (m_peerAddress >> 16) & 0xFF, (m_peerAddress >> 8) & 0xFF, m_peerAddress & 0xFF, unsigned(m_port));
    m_log = text;
    return true;
}

void TCrashClientSocket::disconnect()
{
    m_tls.reset();
    int code = 0;
    if (m_handle >= 0 && ::close(m_handle) != 0)
        code = errno;
    m_handle = -1;
    m_peerAddress = 0;
    m_connected = false;
    m_peerClosed = false;
    m_log.clear();
    if (code != 0)
        error("Cannot close the socket: " + quoted(systemError(code)));
}

void TCrashClientSocket::closeQuietly()
{
    m_tls.reset();
    if (m_handle >= 0)
        ::close(m_handle);
    m_handle = -1;
    m_connected = false;
}

void TCrashClientSocket::failAndDisconnect(const char *call, const std::string &text)
{
    // The log is the dialogue that led here: keep it in the message before
    // the disconnect clears it.
    std::string message = "Error into " + quoted(call) + ": " + quoted(text);
    message += "\r\nSocket log:\r\n" + m_log;
    closeQuietly();
    m_log.clear();
    m_peerAddress = 0;
    error(message);
}

void TCrashClientSocket::error(const std::string &message)
{
    std::string text = message;
    if (m_log.find(message) == std::string::npos && message.find("\r\nSocket log:\r\n") == std::string::npos)
        text += "\r\nSocket log:\r\n" + m_log;
    if (m_onError)
        m_onError(*this, -1, text);
    if (!m_quietErrors)
        throw ECrashSocketError(text);
}

int TCrashClientSocket::send(const void *data, int count)
{
    if (!m_connected || count <= 0)
        return 0;
    const char *bytes = static_cast<const char *>(data);
    int sent = 0;
    while (sent < count) {
        const int n = m_tls ? m_tls->write(bytes + sent, count - sent)
                            : static_cast<int>(::send(m_handle, bytes + sent, count - sent, MSG_NOSIGNAL));
        if (n > 0) {
            sent += n;
            continue;
        }
        const int code = errno;
        if (n < 0 && code == EINTR)
            continue;
        if (n < 0 && (code == EAGAIN || code == EWOULDBLOCK))
            return sent; // the peer took nothing within the time-out
        failAndDisconnect("send", m_tls ? m_tls->lastError() : systemError(n == 0 ? EPIPE : code));
        return sent;
    }
    return sent;
}

int TCrashClientSocket::receive(void *buffer, int size)
{
    if (!m_connected)
        return 0;
    if (size == -1) {
        if (m_tls && m_tls->pending() > 0)
            return m_tls->pending();
        int waiting = 0;
        if (::ioctl(m_handle, FIONREAD, &waiting) != 0)
            return 0;
        return waiting;
    }
    if (size <= 0)
        return 0;
    while (true) {
        const int n = m_tls ? m_tls->read(buffer, size) : static_cast<int>(::recv(m_handle, buffer, size, 0));
        if (n >= 0) {
            if (n == 0 && m_stream)
                m_peerClosed = true;
            return n;
        }
        const int code = errno;
        if (code == EINTR)
            continue;
        if (code == EAGAIN || code == EWOULDBLOCK)
            return 0;
        failAndDisconnect("recv", m_tls ? m_tls->lastError() : systemError(code));
        return 0;
    }
}

std::size_t TCrashClientSocket::sendText(std::string_view text)
{
    std::size_t position = 0;
    while (position < text.size()) {
        const int piece = static_cast<int>(std::min<std::size_t>(SendPieceSize, text.size() - position));
        const int sent = send(text.data() + position, piece);
        position += static_cast<std::size_t>(std::max(sent, 0));
        if (m_onSent)
            m_onSent(*this, position, text.size());
        if (sent < piece)
            break;
    }
    return position;
}

TCrashClientSocket::Poll TCrashClientSocket::pollReadable(Clock::time_point deadline)
{
    while (true) {
        if (!m_connected)
            return Poll::Failed;
        if (m_tls && m_tls->pending() > 0)
            return Poll::Ready;
        const auto now = Clock::now();
        if (now >= deadline)
            return Poll::TimedOut;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        pollfd p { m_handle, POLLIN, 0 };
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1 << 30)));
        m_waited += Clock::now() - now;
        if (ready > 0)
            return Poll::Ready;
        if (ready < 0 && errno != EINTR) {
            failAndDisconnect("recv", systemError(errno));
            return Poll::Failed;
        }
    }
}

bool TCrashClientSocket::waitReadable(int timeoutMs)
{
    return pollReadable(Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0))) == Poll::Ready;
}

int TCrashClientSocket::readSome(std::string &out)
{
    std::string buffer(ReceiveBufferSize, '\0');
    const int n = receive(buffer.data(), static_cast<int>(buffer.size()));
    if (!m_connected)
        return -1;
    if (n > 0) {
        out.append(buffer.data(), n);
        m_log.append(buffer.data(), n);
        return 1;
    }
    return m_peerClosed ? 0 : 2;
}

void TCrashClientSocket::readAvailable(std::string &out)
{
    const auto start = Clock::now();
    const auto overall = start + std::chrono::milliseconds(std::max(m_timeoutMs, 0));
    auto silenceEnd = start + std::chrono::milliseconds(std::max(m_silenceMs, 0));
    const std::size_t begin = out.size();
    bool got = false;
    while (m_connected && !m_peerClosed) {
        if (got && knowsReplyEnd() && replyComplete(std::string_view(out).substr(begin)))
            return;
        // Waiting for the rest of a reply whose end is known; otherwise for a
        // silence. A peer that trickles bytes is cut off at the time-out.
        const auto limit = knowsReplyEnd() ? overall : std::min(silenceEnd, overall);
        if (pollReadable(limit) != Poll::Ready)
            return;
        const int result = readSome(out);
        if (result < 0)
            return;
        if (result == 1) {
            got = true;
            silenceEnd = Clock::now() + std::chrono::milliseconds(std::max(m_silenceMs, 0));
        }
    }
}

bool TCrashClientSocket::waitForData(std::string &out)
{
    out.clear();
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(m_timeoutMs, 0));
    while (out.empty() && m_connected && !m_peerClosed) {
        if (pollReadable(deadline) != Poll::Ready)
            break;
        readAvailable(out);
    }
    return !out.empty();
}

bool TCrashClientSocket::waitForReply(std::string &out)
{
    if (waitForData(out))
        return true;
    if (m_connected)
        error(m_peerClosed ? "Connection closed by the server." : "Socket timeout.");
    return false;
}

void TCrashClientSocket::startTls(const std::string &caFile)
{
    if (!m_connected || !m_stream || m_tls)
        return;
    std::string reason;
    m_tls = TlsChannel::open(m_handle, m_host, caFile, reason);
    if (!m_tls) {
        std::string message = "Secure connection error: " + quoted(reason);
        message += "\r\nSocket log:\r\n" + m_log;
        closeQuietly();
        m_log.clear();
        error(message);
        return;
    }
    m_log += "[" + m_tls->version() + "]\r\n";
}

} // namespace crashreport
