#include "SentFileName.h"

#include <unistd.h>

namespace crashreport
{

std::string sentFileName(const std::string &path, std::uint16_t sendFlags, std::time_t exceptionTime,
    const std::string &computerName)
{
    const std::size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        dot = name.size();
    std::string suffix;
    if (sendFlags & 0x200)
        suffix += "__" + computerName;
    if (sendFlags & 0x100) {
        std::tm local {};
        localtime_r(&exceptionTime, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
        suffix += std::string("__") + stamp;
    }
    return name.insert(dot, suffix);
}

std::string sendComputerName()
{
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0)
        return {};
    return host;
}

} // namespace crashreport
