// TWebTransfer on libcurl. Certificates and host names are always verified; libcurl follows no
// redirection and sends no "Expect: 100-continue".

#include "WebTransfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

namespace crashreport {

namespace {

void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Sending {
    const std::string *data = nullptr;
    std::size_t offset = 0;
    std::size_t pieceSize = 4096;
    const std::function<void(std::uint64_t, std::uint64_t)> *onSent = nullptr;
};

struct Receiving {
    TWebTransferResult *result = nullptr;
    std::size_t limit = 0;
};

// Fills libcurl's buffer piece by piece, telling the progress after each piece; libcurl then
// writes the whole buffer at once, so that small pieces cost no extra packets.
std::size_t ReadPiece(char *buffer, std::size_t size, std::size_t count, void *user)
{
    auto *s = static_cast<Sending *>(user);
    const std::size_t room = size * count;
    const std::size_t piece = std::max<std::size_t>(s->pieceSize, 1);
    std::size_t filled = 0;
    while (filled < room && s->offset < s->data->size()) {
        const std::size_t n = std::min({ s->data->size() - s->offset, room - filled, piece });
        std::memcpy(buffer + filled, s->data->data() + s->offset, n);
        s->offset += n;
        filled += n;
        if (s->onSent && *s->onSent)
            (*s->onSent)(s->offset, s->data->size());
    }
    return filled;
}

std::size_t WriteBody(char *data, std::size_t size, std::size_t count, void *user)
{
    auto *r = static_cast<Receiving *>(user);
    const std::size_t n = size * count;
    if (r->result->body.size() + n > r->limit) {
        r->result->tooLarge = true;
        return 0; // ends the transfer with CURLE_WRITE_ERROR
    }
    r->result->body.append(data, n);
    return n;
}

std::size_t WriteHeader(char *data, std::size_t size, std::size_t count, void *user)
{
    auto *r = static_cast<Receiving *>(user);
    const std::size_t n = size * count;
    std::string_view line(data, n);
    if (line.substr(0, 5) == "HTTP/") {
        // A new reply (after an interim one or a proxy's CONNECT answer) starts afresh.
        r->result->headers.clear();
        std::string_view rest = line.substr(line.find(' ') == std::string_view::npos ? line.size() : line.find(' ') + 1);
        const std::size_t space = rest.find(' ');
        std::string_view text = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
        while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
            text.remove_suffix(1);
        r->result->statusText = std::string(text);
    }
    if (r->result->headers.size() + n > 1u << 20) {
        r->result->tooLarge = true;
        return 0;
    }
    r->result->headers.append(data, n);
    return n;
}

} // namespace

struct TWebTransfer::Impl {
    TWebTransferSettings settings;
    CURL *curl = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    void common(Receiving &receiving, curl_slist *headers)
    {
        // No curl_easy_reset() between requests: libcurl 7.88 loses its list of cookie files in
        // it. Every option a request may change is set again here or by the request.
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(curl, CURLOPT_USERAGENT, "CrashReport");
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!settings.caFile.empty())
            curl_easy_setopt(curl, CURLOPT_CAINFO, settings.caFile.c_str());
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, settings.connectTimeoutSeconds);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, settings.stallSeconds);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &receiving);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, WriteHeader);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, &receiving);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        if (!settings.proxy.host.empty()) {
            curl_easy_setopt(curl, CURLOPT_PROXY, settings.proxy.host.c_str());
            curl_easy_setopt(curl, CURLOPT_PROXYPORT, long(settings.proxy.port));
            curl_easy_setopt(curl, CURLOPT_PROXYTYPE, long(CURLPROXY_HTTP));
            curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
            if (!settings.proxy.userName.empty() || !settings.proxy.password.empty()) {
                curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, settings.proxy.userName.c_str());
                curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, settings.proxy.password.c_str());
            }
        } else {
            curl_easy_setopt(curl, CURLOPT_PROXY, ""); // no proxy from the environment either
        }
    }

    void finish(CURLcode code, TWebTransferResult &result)
    {
        result.error = int(code);
        if (code != CURLE_OK)
            result.errorText = errorBuffer[0] ? errorBuffer : curl_easy_strerror(code);
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        result.status = int(status);
        const char *url = nullptr;
        if (curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK && url)
            result.effectiveUrl = url;
    }
};

TWebTransfer::TWebTransfer(TWebTransferSettings settings) : m(std::make_unique<Impl>())
{
    GlobalInit();
    m->settings = std::move(settings);
    m->curl = curl_easy_init();
    if (m->curl)
        curl_easy_setopt(m->curl, CURLOPT_COOKIEFILE, ""); // the session's cookies, in memory only
}

TWebTransfer::~TWebTransfer()
{
    if (m->curl)
        curl_easy_cleanup(m->curl);
}

bool TWebTransfer::ready() const
{
    return m->curl != nullptr;
}

TWebTransferResult TWebTransfer::perform(const TWebRequest &request)
{
    TWebTransferResult result;
    if (!m->curl) {
        result.error = CURLE_FAILED_INIT;
        result.errorText = curl_easy_strerror(CURLE_FAILED_INIT);
        return result;
    }
    Receiving receiving { &result, m->settings.maxResponseBytes };
    curl_slist *headers = nullptr;
    for (const std::string &h : request.headers)
        headers = curl_slist_append(headers, h.c_str());
    headers = curl_slist_append(headers, "Expect:");
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    m->errorBuffer[0] = 0;
    m->common(receiving, headers);
    curl_easy_setopt(m->curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(m->curl, CURLOPT_PROTOCOLS_STR, "http,https");
    Sending sending { &request.body, 0, request.pieceSize, &request.onSent };
    curl_easy_setopt(m->curl, CURLOPT_UPLOAD, 0L);
    if (request.method == "POST") {
        curl_easy_setopt(m->curl, CURLOPT_POST, 1L);
        curl_easy_setopt(m->curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
        curl_easy_setopt(m->curl, CURLOPT_READFUNCTION, ReadPiece);
        curl_easy_setopt(m->curl, CURLOPT_READDATA, &sending);
        // Larger writes for large bodies: fewer system calls on both ends.
        curl_easy_setopt(m->curl, CURLOPT_UPLOAD_BUFFERSIZE, long(request.body.size() > (1u << 20) ? 512 * 1024 : 65536));
    } else {
        curl_easy_setopt(m->curl, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(m->curl, CURLOPT_READFUNCTION, nullptr);
        curl_easy_setopt(m->curl, CURLOPT_READDATA, nullptr);
    }
    const CURLcode code = curl_easy_perform(m->curl);
    m->finish(code, result);
    curl_slist_free_all(headers);
    return result;
}

TWebTransferResult TWebTransfer::upload(const TFtpUpload &request)
{
    TWebTransferResult result;
    if (!m->curl) {
        result.error = CURLE_FAILED_INIT;
        result.errorText = curl_easy_strerror(CURLE_FAILED_INIT);
        return result;
    }
    Receiving receiving { &result, m->settings.maxResponseBytes };
    m->errorBuffer[0] = 0;
    m->common(receiving, nullptr);
    curl_easy_setopt(m->curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(m->curl, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(m->curl, CURLOPT_USERNAME, request.userName.empty() ? "anonymous" : request.userName.c_str());
    curl_easy_setopt(m->curl, CURLOPT_PASSWORD, request.password.c_str());
    curl_easy_setopt(m->curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(m->curl, CURLOPT_FTP_CREATE_MISSING_DIRS, long(CURLFTP_CREATE_DIR_RETRY));
    curl_easy_setopt(m->curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(request.data.size()));
    Sending sending { &request.data, 0, request.pieceSize, &request.onSent };
    curl_easy_setopt(m->curl, CURLOPT_READFUNCTION, ReadPiece);
    curl_easy_setopt(m->curl, CURLOPT_READDATA, &sending);
    const CURLcode code = curl_easy_perform(m->curl);
    m->finish(code, result);
    return result;
}

std::string WebHeaderValue(const std::string &rawHeaders, const std::string &name)
{
    std::string value;
    std::size_t pos = 0;
    while (pos < rawHeaders.size()) {
        std::size_t end = rawHeaders.find('\n', pos);
        if (end == std::string::npos)
            end = rawHeaders.size();
        std::string_view line(rawHeaders.data() + pos, end - pos);
        pos = end + 1;
        const std::size_t colon = line.find(':');
        if (colon != name.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < colon && same; ++i)
            same = std::tolower(static_cast<unsigned char>(line[i])) == std::tolower(static_cast<unsigned char>(name[i]));
        if (!same)
            continue;
        std::string_view v = line.substr(colon + 1);
        while (!v.empty() && (v.front() == ' ' || v.front() == '\t'))
            v.remove_prefix(1);
        while (!v.empty() && (v.back() == '\r' || v.back() == ' ' || v.back() == '\t'))
            v.remove_suffix(1);
        value = std::string(v);
    }
    return value;
}

} // namespace crashreport
