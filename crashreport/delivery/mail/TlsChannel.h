#pragma once
// TLS on an already connected blocking stream socket (OpenSSL): the
// handshake verifies the server's certificate chain and its host name or
// address; there is no way to switch verification off.

#include <memory>
#include <string>

namespace crashreport {

class TlsChannel {
public:
    // Nothing (and the reason in error) when the handshake or the
    // verification fails. caFile empty: the system's authorities.
    static std::unique_ptr<TlsChannel> open(int fd, const std::string &host, const std::string &caFile,
        std::string &error);
    ~TlsChannel();
    TlsChannel(const TlsChannel &) = delete;
    TlsChannel &operator=(const TlsChannel &) = delete;

    // Bytes written or read; 0 from read: the peer closed; -1: failure,
    // errno set as far as the socket layer gave one.
    int write(const void *data, int count);
    int read(void *buffer, int size);
    // Decrypted bytes waiting inside the TLS layer.
    int pending() const;
    std::string version() const;
    std::string lastError() const { return m_lastError; }

private:
    TlsChannel() = default;
    int fail(int result);

    void *m_context = nullptr; // SSL_CTX
    void *m_ssl = nullptr; // SSL
    std::string m_lastError;
};

} // namespace crashreport
