#include "DialogChannel.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace crashreport {

TDialogChannel::~TDialogChannel()
{
    close();
}

void TDialogChannel::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void TDialogChannel::open(int fd)
{
    close();
    m_fd = fd;
    m_reader = TDialogFrameReader();
    m_error.clear();
}

bool TDialogChannel::send(TDialogMessageType type, const std::string &payload, int stallMs)
{
    if (m_fd < 0)
        return false;
    const std::string frame = EncodeDialogFrame(type, payload);
    std::size_t done = 0;
    while (done < frame.size()) {
        pollfd p{m_fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, stallMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false; // the peer took nothing for too long
        const ssize_t n = ::send(m_fd, frame.data() + done, frame.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

TDialogChannel::Status TDialogChannel::receive(TDialogMessage &message, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        if (m_reader.next(message))
            return Status::Message;
        if (m_reader.broken())
            return Status::Broken;
        if (m_fd < 0)
            return Status::Closed;
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left < 0)
                return Status::Timeout;
            wait = static_cast<int>(left); // 0: look once without waiting
        }
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, wait);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return Status::Timeout;
        if (ready < 0)
            return Status::Broken;
        char buffer[65536];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0) {
            if (m_reader.midFrame()) {
                m_error = "truncated message";
                return Status::Broken;
            }
            return Status::Closed;
        }
        m_reader.feed(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace crashreport
