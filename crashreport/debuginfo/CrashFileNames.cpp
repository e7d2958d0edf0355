#include "CrashFileNames.h"

#include <algorithm>
#include <string_view>

namespace crashreport
{

std::string CrashFileBaseName(std::string_view path)
{
    return std::string(path.substr(path.find_last_of('/') + 1));
}

std::string CrashFileFolder(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string CrashVersionFromFileName(const std::string &path)
{
    const std::string base = CrashFileBaseName(path);
    const std::size_t so = base.rfind(".so.");
    if (so == std::string::npos)
        return {};
    const std::string_view v = std::string_view(base).substr(so + 4);
    std::size_t p = 0;
    while (p <= v.size()) {
        std::size_t dot = v.find('.', p);
        if (dot == std::string_view::npos)
            dot = v.size();
        const std::string_view part = v.substr(p, dot - p);
        if (part.empty()
            || !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return {};
        p = dot + 1;
    }
    return std::string(v);
}

} // namespace crashreport
