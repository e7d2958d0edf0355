#pragma once
// One transfer through libcurl, which carries bytes only: the callers decide redirections, build
// the bodies and read the pages. One TWebTransfer keeps its connection and cookies between
// requests, as a browser session does.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace crashreport {

struct TWebProxy {
    std::string host; // empty: no proxy
    std::uint16_t port = 8080;
    std::string userName;
    std::string password;
};

struct TWebTransferSettings {
    TWebProxy proxy;
    std::string caFile;  // empty: the system's certificate authorities
    long connectTimeoutSeconds = 30;
    // A transfer slower than one byte per second for this long ends with an error.
    long stallSeconds = 60;
    // Pages larger than this end the request with an error (TWebTransferResult::tooLarge).
    std::size_t maxResponseBytes = 8u << 20;
};

struct TWebRequest {
    std::string url;
    std::string method = "GET"; // "GET" or "POST"
    std::vector<std::string> headers;
    std::string body;
    std::size_t pieceSize = 4096; // the body is handed over in pieces of at most this size
    // Called after each piece: bytes sent so far and in all.
    std::function<void(std::uint64_t, std::uint64_t)> onSent;
};

struct TWebTransferResult {
    int error = 0;         // libcurl's code, 0 when a reply was received
    std::string errorText; // libcurl's own words for it
    bool tooLarge = false;
    int status = 0;
    std::string statusText;
    std::string headers; // raw headers of the final reply, status line first
    std::string body;
    std::string effectiveUrl;
};

// An FTP upload of one file's bytes; the folders of the path are made as needed.
struct TFtpUpload {
    std::string url; // ftp://host:port/folder/name
    std::string userName;
    std::string password;
    std::string data;
    std::size_t pieceSize = 1024;
    std::function<void(std::uint64_t, std::uint64_t)> onSent;
};

class TWebTransfer {
public:
    explicit TWebTransfer(TWebTransferSettings settings);
    ~TWebTransfer();
    TWebTransfer(const TWebTransfer &) = delete;
    TWebTransfer &operator=(const TWebTransfer &) = delete;

    bool ready() const;
    TWebTransferResult perform(const TWebRequest &request);
    TWebTransferResult upload(const TFtpUpload &request);

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

// The value of a header in raw headers (the last one of that name, case ignored), or "".
std::string WebHeaderValue(const std::string &rawHeaders, const std::string &name);

} // namespace crashreport
