#include "SystemInfoLinux.h"

#include "CrashDataBlock.h"
#include "CrashFileNames.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdlib>
#include <fcntl.h>
#include <ifaddrs.h>
#include <langinfo.h>
#include <locale.h>
#include <net/if.h>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace crashreport {

namespace {
std::string trim(const std::string &s)
{
    const std::size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos)
        return std::string();
    const std::size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

std::string unquote(std::string v)
{
    v = trim(v);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

std::string envOr(const char *name)
{
    const char *v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string ipv4Text(const sockaddr *sa)
{
    if (!sa || sa->sa_family != AF_INET)
        return std::string();
    char buf[INET_ADDRSTRLEN] = {};
    const auto *in = reinterpret_cast<const sockaddr_in *>(sa);
    return inet_ntop(AF_INET, &in->sin_addr, buf, sizeof buf) ? std::string(buf) : std::string();
}
} // namespace

std::string readSmallFile(const std::string &path, std::size_t maxBytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::string();
    std::string out;
    char buf[8192];
    while (out.size() < maxBytes) {
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, maxBytes - out.size()));
        if (n <= 0)
            break;
        out.append(buf, std::size_t(n));
    }
    ::close(fd);
    return out;
}

MemInfo parseMemInfo(const std::string &text)
{
    MemInfo m;
    std::optional<std::uint64_t> freeKb;
    for (const std::string &line : lines(text)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string key = line.substr(0, colon);
        const std::uint64_t kb = std::strtoull(line.c_str() + colon + 1, nullptr, 10);
        if (key == "MemTotal")
            m.total = kb * 1024;
        else if (key == "MemAvailable")
            m.available = kb * 1024;
        else if (key == "MemFree")
            freeKb = kb;
    }
    if (!m.available && freeKb)
        m.available = *freeKb * 1024;
    return m;
}

std::string parseCpuInfo(const std::string &text)
{
    std::string model;
    int count = 0;
    for (const std::string &line : lines(text)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string key = trim(line.substr(0, colon));
        if (key == "processor")
            ++count;
        else if (model.empty() && (key == "model name" || key == "Model" || key == "cpu model"))
            model = trim(line.substr(colon + 1));
    }
    if (model.empty())
        return std::string();
    return count > 1 ? std::to_string(count) + " x " + model : model;
}

std::string parseOsRelease(const std::string &text)
{
    std::string pretty, name, version;
    for (const std::string &line : lines(text)) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = trim(line.substr(0, eq));
        if (key == "PRETTY_NAME")
            pretty = unquote(line.substr(eq + 1));
        else if (key == "NAME")
            name = unquote(line.substr(eq + 1));
        else if (key == "VERSION")
            version = unquote(line.substr(eq + 1));
    }
    if (!pretty.empty())
        return pretty;
    return trim(name + " " + version);
}

std::vector<std::string> parseResolvConf(const std::string &text)
{
    std::vector<std::string> servers;
    for (const std::string &raw : lines(text)) {
        std::istringstream in(raw);
        std::string word, address;
        if (in >> word >> address && word == "nameserver")
            servers.push_back(address);
    }
    return servers;
}

std::string parseDefaultGateway(const std::string &routeText, const std::string &interfaceName)
{
    std::string fallback;
    bool first = true;
    for (const std::string &raw : lines(routeText)) {
        if (first) { // column titles
            first = false;
            continue;
        }
        std::istringstream in(raw);
        std::string iface, destination, gateway;
        if (!(in >> iface >> destination >> gateway) || destination != "00000000")
            continue;
        char *end = nullptr;
        const unsigned long value = std::strtoul(gateway.c_str(), &end, 16);
        if (!end || *end != '\0' || gateway.empty())
            continue;
        in_addr a {};
        a.s_addr = static_cast<in_addr_t>(value); // the kernel writes it in network byte order
        char buf[INET_ADDRSTRLEN] = {};
        if (!inet_ntop(AF_INET, &a, buf, sizeof buf))
            continue;
        if (interfaceName.empty() || iface == interfaceName)
            return buf;
        if (fallback.empty())
            fallback = buf;
    }
    return fallback;
}

std::string parseLpOptionsDefault(const std::string &text)
{
    for (const std::string &raw : lines(text)) {
        std::istringstream in(raw);
        std::string word, name;
        if (in >> word >> name && word == "Default") {
            const std::size_t slash = name.find('/'); // an instance: "printer/instance"
            return slash == std::string::npos ? name : name.substr(0, slash);
        }
    }
    return std::string();
}

std::pair<std::string, std::string> splitLocaleName(const std::string &name)
{
    std::string n = name;
    const std::size_t at = n.find('@');
    if (at != std::string::npos)
        n.erase(at);
    const std::size_t dot = n.find('.');
    if (dot == std::string::npos)
        return { n, std::string() };
    return { n.substr(0, dot), n.substr(dot + 1) };
}

std::string fullNameFromGecos(const std::string &gecos)
{
    return trim(gecos.substr(0, gecos.find(',')));
}

LinuxSystemInfo::LinuxSystemInfo(std::string root, std::string diskPath)
    : m_root(std::move(root)), m_diskPath(std::move(diskPath))
{
    while (m_root.size() > 1 && m_root.back() == '/')
        m_root.pop_back();
}

std::string LinuxSystemInfo::path(const char *absolute) const
{
    return m_root == "/" ? std::string(absolute) : m_root + absolute;
}

UserValues LinuxSystemInfo::user() const
{
    UserValues u;
    passwd pw {};
    passwd *result = nullptr;
    std::vector<char> buf(16384);
    if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &result) == 0 && result) {
        u.login = pw.pw_name ? pw.pw_name : "";
        u.fullName = fullNameFromGecos(pw.pw_gecos ? pw.pw_gecos : "");
    } else {
        u.login = envOr("USER");
    }
    u.privileges = geteuid() == 0 ? "Administrator (root)" : "User";
    return u;
}

ComputerValues LinuxSystemInfo::computer() const
{
    ComputerValues c;
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0)
        c.name = host;
    const MemInfo mem = parseMemInfo(readSmallFile(path("/proc/meminfo")));
    c.totalMemory = mem.total;
    c.freeMemory = mem.available;
    struct statvfs vfs {};
    if (statvfs(m_diskPath.c_str(), &vfs) == 0) {
        c.totalDisk = std::uint64_t(vfs.f_blocks) * vfs.f_frsize;
        c.freeDisk = std::uint64_t(vfs.f_bavail) * vfs.f_frsize;
    }
    const std::string uptime = readSmallFile(path("/proc/uptime"));
    if (!uptime.empty())
        c.upTimeSeconds = std::int64_t(std::strtod(uptime.c_str(), nullptr));
    c.processor = parseCpuInfo(readSmallFile(path("/proc/cpuinfo"), 4 << 20));

    // Video card: the kernel driver and PCI ids of the first DRM card.
    for (int i = 0; i < 8 && c.videoCard.empty(); ++i) {
        const std::string dev = path("/sys/class/drm/card") + std::to_string(i) + "/device/";
        const std::string uevent = readSmallFile(dev + "uevent");
        if (uevent.empty())
            continue;
        std::string driver, pciId;
        for (const std::string &line : lines(uevent)) {
            if (line.rfind("DRIVER=", 0) == 0)
                driver = trim(line.substr(7));
            else if (line.rfind("PCI_ID=", 0) == 0)
                pciId = trim(line.substr(7));
        }
        c.videoCard = trim(driver + (pciId.empty() ? "" : " [" + pciId + "]"));
    }

    c.printer = envOr("PRINTER");
    if (c.printer.empty())
        c.printer = envOr("LPDEST");
    if (c.printer.empty() && !envOr("HOME").empty())
        c.printer = parseLpOptionsDefault(readSmallFile(envOr("HOME") + "/.cups/lpoptions"));
    if (c.printer.empty())
        c.printer = parseLpOptionsDefault(readSmallFile(path("/etc/cups/lpoptions")));
    return c;
}

OsValues LinuxSystemInfo::operatingSystem() const
{
    OsValues o;
    std::string osRelease = readSmallFile(path("/etc/os-release"));
    if (osRelease.empty())
        osRelease = readSmallFile(path("/usr/lib/os-release"));
    o.type = parseOsRelease(osRelease);
    utsname uts {};
    if (uname(&uts) == 0) {
        if (o.type.empty())
            o.type = uts.sysname;
        const std::string machine = uts.machine;
        if (machine == "x86_64" || machine == "aarch64" || machine == "ppc64le" || machine == "s390x"
            || machine == "riscv64")
            o.type += " (64 bit)";
        o.build = uts.release;
        o.update = uts.version;
    }
    // The locale the program runs with, as its environment names it.
    std::string name = envOr("LC_ALL");
    if (name.empty())
        name = envOr("LC_MESSAGES");
    if (name.empty())
        name = envOr("LANG");
    if (name.empty())
        name = "C";
    auto [language, charset] = splitLocaleName(name);
    o.language = language;
    o.charset = charset;
    if (o.charset.empty()) {
        if (locale_t loc = newlocale(LC_CTYPE_MASK, "", locale_t(nullptr))) {
            o.charset = nl_langinfo_l(CODESET, loc);
            freelocale(loc);
        }
    }
    return o;
}

NetworkValues LinuxSystemInfo::network() const
{
    NetworkValues n;
    std::string interfaceName;
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs *a = list; a; a = a->ifa_next) {
            if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || (a->ifa_flags & IFF_LOOPBACK)
                || !(a->ifa_flags & IFF_UP))
                continue;
            n.ipAddress = ipv4Text(a->ifa_addr);
            n.submask = ipv4Text(a->ifa_netmask);
            interfaceName = a->ifa_name ? a->ifa_name : "";
            break;
        }
        freeifaddrs(list);
    }
    n.gateway = parseDefaultGateway(readSmallFile(path("/proc/net/route")), interfaceName);
    const std::vector<std::string> dns = parseResolvConf(readSmallFile(path("/etc/resolv.conf")));
    if (!dns.empty())
        n.dns1 = dns[0];
    if (dns.size() > 1)
        n.dns2 = dns[1];
    // DHCP is reported only where a lease of the interface is found.
    if (!interfaceName.empty()) {
        const unsigned index = if_nametoindex(interfaceName.c_str());
        const bool networkdLease
            = index != 0 && !readSmallFile(path("/run/systemd/netif/leases/") + std::to_string(index), 16).empty();
        const bool dhclientLease
            = !readSmallFile(path("/var/lib/dhcp/dhclient.") + interfaceName + ".leases", 16).empty();
        if (networkdLease || dhclientLease)
            n.dhcp = "Yes";
    }
    return n;
}

std::string joinCommandLine(const std::string &cmdline)
{
    std::string out;
    std::size_t start = 0;
    while (start < cmdline.size()) {
        std::size_t end = cmdline.find('\0', start);
        if (end == std::string::npos)
            end = cmdline.size();
        const std::string arg = cmdline.substr(start, end - start);
        if (!out.empty())
            out += ' ';
        out += (arg.empty() || arg.find_first_of(" \t\"") != std::string::npos) ? "\"" + arg + "\"" : arg;
        start = end + 1;
    }
    return out;
}

std::optional<std::time_t> processStartTime(const std::string &statText, const std::string &procStatText,
                                            long ticksPerSecond)
{
    // The command name in brackets may hold spaces and brackets: fields follow the last ')'.
    const std::size_t close = statText.rfind(')');
    if (close == std::string::npos || ticksPerSecond <= 0)
        return std::nullopt;
    std::istringstream fields(statText.substr(close + 1));
    std::string field;
    unsigned long long startTicks = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 22) {
            startTicks = std::strtoull(field.c_str(), nullptr, 10);
            break;
        }
    }
    for (const std::string &line : lines(procStatText)) {
        if (line.rfind("btime ", 0) == 0) {
            const long long boot = std::strtoll(line.c_str() + 6, nullptr, 10);
            return std::time_t(boot + (long long)(startTicks / (unsigned long long)ticksPerSecond));
        }
    }
    return std::nullopt;
}

ApplicationValues currentApplicationValues(const std::string &version, const std::string &description,
                                           std::time_t buildTime)
{
    ApplicationValues a;
    char exe[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string exePath = n > 0 ? std::string(exe, std::size_t(n)) : std::string();
    a.moduleName = CrashFileBaseName(exePath);
    a.description = description;
    a.version = version;
    a.commandLine = joinCommandLine(readSmallFile("/proc/self/cmdline"));
    a.buildTime = buildTime;
    // Without a build time from the program, the one the build wrote into the data block; the
    // program file's modification time (which a copy changes) only when there is none.
    if (a.buildTime == 0 && OwnCrashData().found)
        a.buildTime = std::time_t(CrashDataBuildTime(OwnCrashData().block));
    struct stat st {};
    if (a.buildTime == 0 && !exePath.empty() && ::stat(exePath.c_str(), &st) == 0)
        a.buildTime = st.st_mtime;
    a.startTime = processStartTime(readSmallFile("/proc/self/stat"), readSmallFile("/proc/stat"), sysconf(_SC_CLK_TCK))
                      .value_or(std::time(nullptr));
    return a;
}

} // namespace crashreport
