#include "FormBody.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

namespace crashreport {

namespace {

bool ReadWholeFile(const std::string &path, std::string &data)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// A name inside the quotes of a part header: no quote and no line break may end it early.
std::string QuotedName(std::string name)
{
    for (char &c : name)
        if (c == '"' || c == '\r' || c == '\n')
            c = '_';
    return name;
}

} // namespace

std::string EncodeFormValue(std::string_view value)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size() * 3);
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string BuildFormQuery(const std::vector<TFormField> &fields)
{
    std::string out;
    for (const TFormField &f : fields) {
        if (!out.empty())
            out += '&';
        out += f.name;
        out += '=';
        out += EncodeFormValue(f.value);
    }
    return out;
}

std::string MakeMultipartBoundary(std::uint16_t a, std::uint16_t b, std::uint16_t c)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04X%04X%04X", a, b, c);
    return "---------------------------" + std::string(text);
}

std::string RandomMultipartBoundary()
{
    static thread_local std::mt19937 engine { std::random_device {}() };
    std::uniform_int_distribution<int> number(0, 65535);
    return MakeMultipartBoundary(std::uint16_t(number(engine)), std::uint16_t(number(engine)),
                                 std::uint16_t(number(engine)));
}

std::string FileNameOf(std::string_view path)
{
    const std::size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string BuildMultipartBody(std::string_view boundary, const std::vector<TFormField> &fields,
                               const std::vector<TFormFile> &files)
{
    std::string out;
    for (const TFormField &f : fields) {
        out += "--";
        out += boundary;
        out += "\r\nContent-Disposition: form-data; name=\"";
        out += f.name;
        out += "\";\r\n\r\n";
        out += f.value;
        out += "\r\n";
    }
    for (const TFormFile &f : files) {
        std::string data;
        const bool exists = ReadWholeFile(f.path, data);
        out += "--";
        out += boundary;
        out += "\r\nContent-Disposition: form-data; name=\"";
        out += f.fieldName;
        out += "\"; filename=\"";
        if (exists)
            out += QuotedName(f.sentName.empty() ? FileNameOf(f.path) : f.sentName);
        out += "\";\r\nContent-Type: application/octet-stream\r\n\r\n";
        out += data;
        out += "\r\n";
    }
    out += "--";
    out += boundary;
    out += "--\r\n";
    return out;
}

} // namespace crashreport
