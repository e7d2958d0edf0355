#pragma once
// One end of the program-companion connection (a stream socket pair): framed writes that never
// block forever and never raise SIGPIPE, and reads with a time limit.

#include "DialogFrame.h"

namespace crashreport {

class TDialogChannel {
public:
    enum class Status { Message, Timeout, Closed, Broken };

    explicit TDialogChannel(int fd = -1) : m_fd(fd) { }
    ~TDialogChannel();
    TDialogChannel(const TDialogChannel &) = delete;
    TDialogChannel &operator=(const TDialogChannel &) = delete;

    int fd() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    void close();
    // Takes over a new descriptor with a fresh reader.
    void open(int fd);

    // False when the peer is gone or has not taken any bytes for `stallMs` milliseconds.
    bool send(TDialogMessageType type, const std::string &payload = {}, int stallMs = 10000);
    // Waits up to `timeoutMs` (-1: no limit) for the next whole message.
    Status receive(TDialogMessage &message, int timeoutMs);
    // Why the channel broke (garbage, oversized or truncated message), empty otherwise.
    const std::string &error() const { return m_reader.broken() ? m_reader.error() : m_error; }

private:
    int m_fd;
    TDialogFrameReader m_reader;
    std::string m_error;
};

} // namespace crashreport
