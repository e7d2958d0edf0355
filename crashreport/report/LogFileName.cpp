#include "LogFileName.h"

#include "CrashFileNames.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace crashreport {

namespace {
constexpr const char *LogExtension = ".crashlog";

bool endsWithNoCase(const std::string &s, const std::string &suffix)
{
    if (s.size() < suffix.size())
        return false;
    return std::equal(suffix.begin(), suffix.end(), s.end() - std::ptrdiff_t(suffix.size()), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

std::string withoutExtension(const std::string &fileName)
{
    const std::size_t dot = fileName.rfind('.');
    return (dot == std::string::npos || dot == 0) ? fileName : fileName.substr(0, dot);
}

std::string joinPath(const std::string &folder, const std::string &name)
{
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The module's file name with ".crashlog" instead of its extension.
std::string baseLogName(const std::string &modulePath)
{
    std::string name = CrashFileBaseName(modulePath);
    const std::size_t vshost = name.find(".vshost");
    if (vshost != std::string::npos)
        name.erase(vshost, 7);
    if (name.empty())
        name = "CrashReport";
    return withoutExtension(name) + LogExtension;
}

std::string addComputerName(const std::string &fileName, const LogFileNameRules &rules)
{
    if (!rules.computerNameSuffix)
        return fileName;
    std::string computer = rules.computerName;
    for (char &c : computer)
        if (static_cast<unsigned char>(c) < 32 || std::string("\\/:*?\"<>|").find(c) != std::string::npos)
            c = '_';
    const std::size_t slash = fileName.find_last_of('/');
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return fileName + "_" + computer;
    return fileName.substr(0, dot) + "_" + computer + fileName.substr(dot);
}

bool makeFolders(const std::string &folder)
{
    if (folder.empty())
        return true;
    std::string path;
    std::size_t pos = 0;
    while (pos <= folder.size()) {
        std::size_t next = folder.find('/', pos);
        if (next == std::string::npos)
            next = folder.size();
        path = folder.substr(0, next);
        if (!path.empty() && ::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
        pos = next + 1;
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
} // namespace

std::optional<std::string> processEnvironment(const std::string &name)
{
    const char *v = std::getenv(name.c_str());
    if (!v)
        return std::nullopt;
    return std::string(v);
}

std::string expandEnvironmentVariables(const std::string &text, const EnvironmentLookup &env)
{
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t open = text.find('%', i);
        if (open == std::string::npos) {
            out += text.substr(i);
            break;
        }
        out += text.substr(i, open - i);
        const std::size_t close = text.find('%', open + 1);
        if (close == std::string::npos) {
            out += text.substr(open);
            break;
        }
        const std::string name = text.substr(open + 1, close - open - 1);
        const std::optional<std::string> value = name.empty() ? std::nullopt : env(name);
        if (value) {
            out += *value;
            i = close + 1;
        } else {
            out += text.substr(open, close - open); // the closing '%' may open the next name
            i = close;
        }
    }
    return out;
}

std::string userStateFolder(const EnvironmentLookup &env)
{
    if (const auto state = env("XDG_STATE_HOME"); state && !state->empty() && state->front() == '/')
        return *state;
    std::string home = env("HOME").value_or("");
    if (home.empty()) {
        passwd pw {};
        passwd *result = nullptr;
        std::vector<char> buf(16384);
        if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &result) == 0 && result && pw.pw_dir)
            home = pw.pw_dir;
    }
    if (home.empty())
        home = "/";
    return joinPath(home, ".local/state");
}

std::string logFileName(const LogFileNameRules &rules, const EnvironmentLookup &env)
{
    std::string name;
    const std::string folder = expandEnvironmentVariables(rules.outputFolder, env);
    if (!folder.empty() && endsWithNoCase(folder, LogExtension))
        name = folder;
    else if (!folder.empty())
        name = joinPath(folder, baseLogName(rules.modulePath));
    else
        name = joinPath(joinPath(userStateFolder(env), "CrashReport"), baseLogName(rules.modulePath));
    return addComputerName(name, rules);
}

std::string fallbackLogFileName(const LogFileNameRules &rules, const EnvironmentLookup &env)
{
    std::string program = withoutExtension(CrashFileBaseName(rules.modulePath));
    if (program.empty())
        program = "CrashReport";
    const std::string folder = joinPath(joinPath(userStateFolder(env), "CrashReport"), program);
    return joinPath(folder, CrashFileBaseName(logFileName(rules, env)));
}

bool canWriteFile(const std::string &fileName)
{
    const std::size_t slash = fileName.find_last_of('/');
    if (slash != std::string::npos && !makeFolders(fileName.substr(0, slash == 0 ? 1 : slash)))
        return false;
    struct stat st {};
    const bool existed = ::stat(fileName.c_str(), &st) == 0;
    if (existed && !S_ISREG(st.st_mode))
        return false;
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    if (!existed)
        ::unlink(fileName.c_str());
    return true;
}

std::string chooseLogFileName(const LogFileNameRules &rules, const EnvironmentLookup &env)
{
    const std::string first = logFileName(rules, env);
    if (canWriteFile(first))
        return first;
    const std::string fallback = fallbackLogFileName(rules, env);
    if (canWriteFile(fallback))
        return fallback;
    return first;
}

} // namespace crashreport
