#pragma once
// The plain upload of the package: one multipart POST to an HTTP(S) address with every file as
// "cr_upload_file_<n>" (n from 1), or one FTP store per file into the address's folder (made
// when missing). Bodies go out in pieces of 1024 bytes with progress.

#include "FormBody.h"
#include "WebAddress.h"
#include "WebTransfer.h"

#include <functional>
#include <string>
#include <vector>

namespace crashreport {

struct TWebUploadRequest {
    TWebAddress address; // scheme http, https or ftp; its login is used
    std::vector<std::string> files;
    std::vector<TFormField> fields; // HTTP(S) only
    TWebTransferSettings settings;
    std::function<void(int percent)> onProgress;
};

struct TWebUploadResult {
    // 0 sent; otherwise libcurl's code, or the HTTP status of a refusing server (400 and up).
    int code = 0;
    std::string reply; // the server's reason, or the transport's words
};

// The multipart form of an HTTP(S) upload.
std::vector<TFormFile> UploadFormFiles(const std::vector<std::string> &files);

TWebUploadResult UploadByHttp(const TWebUploadRequest &request);
TWebUploadResult UploadByFtp(const TWebUploadRequest &request);

// Percent-encodes what may not stand in a path segment of an address.
std::string EncodePathSegment(const std::string &segment);
// The same for each segment of a path; "/" and "%XX" stay.
std::string EncodePath(const std::string &path);

} // namespace crashreport
