#pragma once
// The bodies of form requests, built before anything is sent so that they can be compared byte
// for byte: the URL-encoded field list and the multipart body with its boundary.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace crashreport {

struct TFormField {
    std::string name;
    std::string value;
};

// A file part: the form's field name, the file's path and the name the server is told.
struct TFormFile {
    std::string fieldName;
    std::string path;
    std::string sentName; // empty: the file name of the path
};

// ASCII letters and digits stay, every other byte becomes "%" and two upper-case hex digits.
std::string EncodeFormValue(std::string_view value);
// name=value pairs joined by "&", values encoded.
std::string BuildFormQuery(const std::vector<TFormField> &fields);

// "---------------------------" and three numbers of 0..65535 as four hex digits each.
std::string MakeMultipartBoundary(std::uint16_t a, std::uint16_t b, std::uint16_t c);
std::string RandomMultipartBoundary();

// The whole multipart body. A file that cannot be read gives a part with an empty file name and
// no content.
std::string BuildMultipartBody(std::string_view boundary, const std::vector<TFormField> &fields,
                               const std::vector<TFormFile> &files);

// The file name of a path (what follows the last "/").
std::string FileNameOf(std::string_view path);

} // namespace crashreport
