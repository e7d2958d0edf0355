#include "MailSystem.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace crashreport {

std::string FullNameFromGecos(std::string_view gecos)
{
    const std::size_t comma = gecos.find(',');
    std::string_view name = gecos.substr(0, comma);
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    return std::string(name);
}

std::string MailUserName()
{
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd *found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        const std::string full = FullNameFromGecos(found->pw_gecos ? found->pw_gecos : "");
        if (!full.empty())
            return full;
        if (found->pw_name && *found->pw_name)
            return found->pw_name;
    }
    if (const char *login = getlogin())
        return login;
    if (const char *user = std::getenv("USER"))
        return user;
    return {};
}

std::string MailHostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return "localhost";
    std::string host(name);
    if (host.size() > 250)
        host.resize(250);
    return host.empty() ? "localhost" : host;
}

} // namespace crashreport
