#include "TlsChannel.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <signal.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace crashreport {

namespace {

std::string openSslErrors()
{
    std::string text;
    while (unsigned long code = ERR_get_error()) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        if (!text.empty())
            text += "; ";
        text += buffer;
    }
    return text;
}

bool isAddress(const std::string &host)
{
    in_addr v4 {};
    in6_addr v6 {};
    return inet_pton(AF_INET, host.c_str(), &v4) == 1 || inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

// OpenSSL writes with write(2): a peer that closed would raise SIGPIPE and
// end the host program. Blocked here, and a pending one is taken away.
class SigPipeBlock {
public:
    SigPipeBlock()
    {
        sigemptyset(&m_set);
        sigaddset(&m_set, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &m_set, &m_old);
    }
    ~SigPipeBlock()
    {
        const timespec zero {};
        while (sigtimedwait(&m_set, nullptr, &zero) > 0) { }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }

private:
    sigset_t m_set;
    sigset_t m_old;
};

} // namespace

std::unique_ptr<TlsChannel> TlsChannel::open(int fd, const std::string &host, const std::string &caFile,
    std::string &error)
{
    std::unique_ptr<TlsChannel> channel(new TlsChannel);
    ERR_clear_error();
    SSL_CTX *context = SSL_CTX_new(TLS_client_method());
    channel->m_context = context;
    if (!context) {
        error = openSslErrors();
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    const int loaded = caFile.empty() ? SSL_CTX_set_default_verify_paths(context)
                                      : SSL_CTX_load_verify_locations(context, caFile.c_str(), nullptr);
    if (loaded != 1) {
        error = "cannot load the certificate authorities" + (caFile.empty() ? std::string() : " of " + caFile);
        return nullptr;
    }
    SSL *ssl = SSL_new(context);
    channel->m_ssl = ssl;
    if (!ssl) {
        error = openSslErrors();
        return nullptr;
    }
    SSL_set_mode(ssl, SSL_MODE_AUTO_RETRY);
    X509_VERIFY_PARAM *param = SSL_get0_param(ssl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    const bool hostSet = isAddress(host) ? X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) == 1
                                         : (SSL_set_tlsext_host_name(ssl, host.c_str()) == 1
                                             && X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0) == 1);
    if (!hostSet || SSL_set_fd(ssl, fd) != 1) {
        error = "cannot set up the connection for " + host;
        return nullptr;
    }
    SigPipeBlock block;
    if (SSL_connect(ssl) != 1) {
        const long verify = SSL_get_verify_result(ssl);
        if (verify != X509_V_OK)
            error = std::string("certificate verification failed: ") + X509_verify_cert_error_string(verify);
        else {
            error = openSslErrors();
            if (error.empty())
                error = errno ? std::string("handshake failed: ") + std::strerror(errno) : "handshake failed";
        }
        return nullptr;
    }
    return channel;
}

TlsChannel::~TlsChannel()
{
    SSL_free(static_cast<SSL *>(m_ssl));
    SSL_CTX_free(static_cast<SSL_CTX *>(m_context));
}

int TlsChannel::fail(int result)
{
    const int code = SSL_get_error(static_cast<SSL *>(m_ssl), result);
    if (code == SSL_ERROR_ZERO_RETURN)
        return 0;
    if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE) {
        errno = EAGAIN;
        m_lastError = "timed out";
        return -1;
    }
    m_lastError = openSslErrors();
    if (m_lastError.empty())
        m_lastError = errno ? std::strerror(errno) : "connection closed";
    if (!errno)
        errno = EPROTO;
    return -1;
}

int TlsChannel::write(const void *data, int count)
{
    SigPipeBlock block;
    ERR_clear_error();
    errno = 0;
    const int written = SSL_write(static_cast<SSL *>(m_ssl), data, count);
    return written > 0 ? written : fail(written);
}

int TlsChannel::read(void *buffer, int size)
{
    ERR_clear_error();
    errno = 0;
    const int got = SSL_read(static_cast<SSL *>(m_ssl), buffer, size);
    return got > 0 ? got : fail(got);
}

int TlsChannel::pending() const { return SSL_pending(static_cast<SSL *>(m_ssl)); }

std::string TlsChannel::version() const { return SSL_get_version(static_cast<SSL *>(m_ssl)); }

} // namespace crashreport
