#include "CrashProcessesList.h"

#include "CrashFileNames.h"

#include <dirent.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <sstream>

namespace crashreport
{

namespace
{

    std::string readSmall(const std::string &path, std::size_t limit = 65536)
    {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return {};
        std::string s(limit, '\0');
        in.read(s.data(), static_cast<std::streamsize>(limit));
        s.resize(static_cast<std::size_t>(in.gcount()));
        return s;
    }

} // namespace

const char *CrashPriorityClassName(TCrashPriorityClass p)
{
    switch (p) {
    case TCrashPriorityClass::Normal:
        return "Normal";
    case TCrashPriorityClass::Low:
        return "Low";
    case TCrashPriorityClass::High:
        return "High";
    case TCrashPriorityClass::RealTime:
        return "Real-Time";
    case TCrashPriorityClass::BelowNormal:
        return "Below-Normal";
    case TCrashPriorityClass::AboveNormal:
        return "Above-Normal";
    default:
        return "";
    }
}

std::string TCrashProcess::baseName() const
{
    return CrashFileBaseName(fileName);
}

std::string TCrashProcess::folder() const
{
    return CrashFileFolder(fileName);
}

void TCrashProcessesList::refresh(const std::string &procRoot)
{
    m_items.clear();
    DIR *dir = ::opendir(procRoot.c_str());
    if (!dir)
        return;
    while (dirent *de = ::readdir(dir)) {
        const std::string name = de->d_name;
        if (name.empty()
            || !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })
            || name.size() > 9)
            continue;
        const std::string base = procRoot + "/" + name;
        // The process may end while it is read; whatever could be read is kept.
        const std::string stat = readSmall(base + "/stat");
        const std::size_t close = stat.rfind(')');
        const std::size_t open = stat.find('(');
        if (stat.empty() || close == std::string::npos || open == std::string::npos || open > close)
            continue;
        TCrashProcess p;
        p.id = static_cast<std::uint32_t>(std::stoul(name));
        p.description = stat.substr(open + 1, close - open - 1);
        std::istringstream fields(stat.substr(close + 1));
        std::vector<std::string> f;
        std::string tok;
        while (fields >> tok)
            f.push_back(tok);
        // f[0] is field 3 (state): field n is f[n - 3].
        auto field = [&](std::size_t n) -> long long {
            if (n < 3 || n - 3 >= f.size())
                return 0;
            try {
                return std::stoll(f[n - 3]);
            } catch (...) {
                return 0;
            }
        };
        const long long nice = field(19);
        const long long policy = field(41);
        p.threads = static_cast<std::uint32_t>(std::max(0LL, field(20)));
        const long long rssPages = field(24);
        p.memory = rssPages > 0
            ? static_cast<std::uint64_t>(rssPages) * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE))
            : 0;
        if (f.size() >= 39 && (policy == SCHED_FIFO || policy == SCHED_RR))
            p.priority = TCrashPriorityClass::RealTime;
        else if (f.size() >= 17)
            p.priority = nice <= -10 ? TCrashPriorityClass::High
                : nice < 0           ? TCrashPriorityClass::AboveNormal
                : nice == 0          ? TCrashPriorityClass::Normal
                : nice < 10          ? TCrashPriorityClass::BelowNormal
                                     : TCrashPriorityClass::Low;
        char exe[PATH_MAX];
        const ssize_t n = ::readlink((base + "/exe").c_str(), exe, sizeof exe - 1);
        if (n > 0) {
            p.fileName.assign(exe, static_cast<std::size_t>(n));
            const std::string deleted = " (deleted)";
            if (p.fileName.size() > deleted.size() && p.fileName.ends_with(deleted))
                p.fileName.resize(p.fileName.size() - deleted.size());
        } else {
            // Another user's process: the first word of its command line, else its name.
            std::string cmd = readSmall(base + "/cmdline", 4096);
            cmd = cmd.substr(0, cmd.find('\0'));
            p.fileName = cmd.empty() ? p.description : cmd;
        }
        p.version = CrashVersionFromFileName(p.fileName);
        m_items.push_back(std::move(p));
    }
    ::closedir(dir);
    std::sort(m_items.begin(), m_items.end(),
        [](const TCrashProcess &a, const TCrashProcess &b) { return a.id < b.id; });
}

} // namespace crashreport
