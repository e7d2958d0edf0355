#pragma once
// A small blocking IPv4 socket (TCP or UDP) with time-outs and a session log
// of everything sent and received; the log becomes the error text, so a
// failed mail shows the whole dialogue. Optionally wrapped in TLS.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace crashreport {

class TlsChannel;

class TCrashClientSocket {
public:
    using ErrorHandler = std::function<void(TCrashClientSocket &sender, int code, const std::string &message)>;
    using SentHandler = std::function<void(TCrashClientSocket &sender, std::size_t sent, std::size_t total)>;

    // stream chooses TCP, otherwise UDP. Not connected, empty log.
    TCrashClientSocket(std::string host, int timeoutMs, bool stream, std::uint16_t port);
    virtual ~TCrashClientSocket();
    TCrashClientSocket(const TCrashClientSocket &) = delete;
    TCrashClientSocket &operator=(const TCrashClientSocket &) = delete;

    // True when connected afterwards. The log then starts with
    // "Connected to a.b.c.d port n\r\n".
    virtual bool connect();
    virtual void disconnect();

    // Bytes sent; 0 when not connected. A time-out while the peer does not
    // take data returns what went out so far.
    int send(const void *data, int count);
    // Bytes received; with size -1 the number of bytes waiting.
    int receive(void *buffer, int size);
    // Sends in pieces of at most 1024 bytes, calling on-sent after each.
    std::size_t sendText(std::string_view text);
    // Appends whatever is waiting, then waits for more until a silence of
    // silenceMs() (or, where the reply is known to be complete, at once).
    void readAvailable(std::string &out);
    // Repeats readAvailable until something arrived or the time-out passed;
    // false (and out empty) on time-out.
    bool waitForData(std::string &out);
    // As waitForData; nothing arriving is the error "Socket timeout.".
    bool waitForReply(std::string &out);
    // True when data (or the end of the stream) is waiting within timeoutMs.
    bool waitReadable(int timeoutMs);

    // Calls on-error with code -1, then raises ECrashSocketError unless quiet
    // errors are on. The log is appended unless the message is part of it.
    void error(const std::string &message);

    // Switches a connected stream to TLS, verifying the server's
    // certificate against caFile (the system's authorities when empty) and
    // the host name or address; raises on any failure.
    void startTls(const std::string &caFile = {});
    bool isTls() const { return m_tls != nullptr; }

    const std::string &host() const { return m_host; }
    std::uint16_t port() const { return m_port; }
    bool isStream() const { return m_stream; }
    int timeoutMs() const { return m_timeoutMs; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int silenceMs() const { return m_silenceMs; }
    void setSilenceMs(int ms) { m_silenceMs = ms; }
    bool isConnected() const { return m_connected; }
    int handle() const { return m_handle; }
    std::uint32_t peerAddress() const { return m_peerAddress; } // host order
    const std::string &log() const { return m_log; }
    bool quietErrors() const { return m_quietErrors; }
    void setQuietErrors(bool quiet) { m_quietErrors = quiet; }
    void setOnError(ErrorHandler handler) { m_onError = std::move(handler); }
    void setOnSent(SentHandler handler) { m_onSent = std::move(handler); }
    // Time spent blocked waiting for the peer since construction.
    std::chrono::nanoseconds waitedTime() const { return m_waited; }

protected:
    // A stream protocol that knows where its replies end overrides this;
    // the reply is then complete without waiting for a silence.
    virtual bool replyComplete(std::string_view) const { return false; }
    virtual bool knowsReplyEnd() const { return false; }
    void appendLog(std::string_view text) { m_log += text; }

private:
    enum class Poll { Ready, TimedOut, Failed };
    Poll pollReadable(std::chrono::steady_clock::time_point deadline);
    // 1 data, 0 nothing more (peer closed), -1 error raised or quiet.
    int readSome(std::string &out);
    void failAndDisconnect(const char *call, const std::string &text);
    void closeQuietly();

    std::string m_host;
    std::uint16_t m_port;
    bool m_stream;
    int m_timeoutMs;
    int m_silenceMs = 1000;
    std::uint32_t m_peerAddress = 0;
    int m_handle = -1;
    bool m_connected = false;
    bool m_peerClosed = false;
    std::string m_log;
    bool m_quietErrors = false;
    ErrorHandler m_onError;
    SentHandler m_onSent;
    std::unique_ptr<TlsChannel> m_tls;
    std::chrono::nanoseconds m_waited { 0 };
};

} // namespace crashreport
