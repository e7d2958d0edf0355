#include "WebUpload.h"

#include "Base64.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

namespace crashreport {

namespace {

constexpr std::size_t UploadPiece = 1024;

std::string HostPart(const TWebAddress &a)
{
    return a.scheme + "://" + a.host + ":" + std::to_string(a.port);
}

int Percent(std::uint64_t done, std::uint64_t total)
{
    return total ? int(std::min<std::uint64_t>(100, done * 100 / total)) : 100;
}

TWebUploadResult Failure(const TWebTransferResult &r)
{
    TWebUploadResult out;
    out.code = r.error;
    out.reply = r.tooLarge ? "the reply is too large" : r.errorText;
    return out;
}

} // namespace

std::string EncodePathSegment(const std::string &segment)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : segment) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_'
            || c == '.' || c == '~') {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string EncodePath(const std::string &path)
{
    std::string out;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        std::string segment = path.substr(start, slash - start);
        // "%XX" that is already there stays as it is.
        std::string encoded;
        for (std::size_t i = 0; i < segment.size(); ++i) {
            if (segment[i] == '%' && i + 2 < segment.size() && std::isxdigit(static_cast<unsigned char>(segment[i + 1]))
                && std::isxdigit(static_cast<unsigned char>(segment[i + 2])))
                encoded += '%';
            else
                encoded += EncodePathSegment(segment.substr(i, 1));
        }
        out += encoded;
        if (slash < path.size())
            out += '/';
        start = slash + 1;
    }
    return out;
}

std::vector<TFormFile> UploadFormFiles(const std::vector<std::string> &files)
{
    std::vector<TFormFile> parts;
    for (std::size_t i = 0; i < files.size(); ++i)
        parts.push_back({ "cr_upload_file_" + std::to_string(i + 1), files[i], {} });
    return parts;
}

TWebUploadResult UploadByHttp(const TWebUploadRequest &request)
{
    const TWebAddress &a = request.address;
    TWebTransfer transfer(request.settings);
    if (!transfer.ready())
        return { -1, {} };
    const std::string boundary = RandomMultipartBoundary();
    TWebRequest r;
    r.url = HostPart(a) + a.path;
    r.method = "POST";
    r.headers.push_back("Content-Type: multipart/form-data; boundary=" + boundary);
    if (!a.userName.empty() || !a.password.empty())
        r.headers.push_back("Authorization: Basic " + Base64Encode(a.userName + ":" + a.password));
    r.body = BuildMultipartBody(boundary, request.fields, UploadFormFiles(request.files));
    r.pieceSize = UploadPiece;
    r.onSent = [&](std::uint64_t sent, std::uint64_t total) {
        if (request.onProgress)
            request.onProgress(Percent(sent, total));
    };
    const TWebTransferResult result = transfer.perform(r);
    if (result.error != 0 || result.tooLarge)
        return Failure(result);
    if (result.status >= 400)
        return { result.status, result.statusText };
    return {};
}

TWebUploadResult UploadByFtp(const TWebUploadRequest &request)
{
    const TWebAddress &a = request.address;
    TWebTransfer transfer(request.settings);
    if (!transfer.ready())
        return { -1, {} };
    std::uint64_t total = 0;
    for (const std::string &file : request.files) {
        std::ifstream in(file, std::ios::binary | std::ios::ate);
        if (in)
            total += std::uint64_t(in.tellg());
    }
    std::uint64_t before = 0;
    for (const std::string &file : request.files) {
        std::ifstream in(file, std::ios::binary);
        if (!in)
            return { 26 /* CURLE_READ_ERROR */, "cannot read " + file };
        TFtpUpload up;
        up.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        up.url = HostPart(a) + EncodePath(a.basePath) + EncodePathSegment(FileNameOf(file));
        up.userName = a.userName;
        up.password = a.password;
        up.pieceSize = UploadPiece;
        up.onSent = [&](std::uint64_t sent, std::uint64_t) {
            if (request.onProgress)
                request.onProgress(Percent(before + sent, total));
        };
        const TWebTransferResult result = transfer.upload(up);
        if (result.error != 0)
            return Failure(result);
        before += up.data.size();
    }
    return {};
}

} // namespace crashreport
