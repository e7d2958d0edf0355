#include "CrashMemory.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

namespace crashreport
{

namespace
{

    std::atomic<int> g_method { 0 }; // 0 unknown, 1 process_vm_readv, 2 /proc/self/mem
    std::atomic<int> g_memFd { -1 };

    int memFd()
    {
        int fd = g_memFd.load();
        if (fd >= 0)
            return fd;
        fd = ::open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
        int expected = -1;
        if (fd >= 0 && !g_memFd.compare_exchange_strong(expected, fd)) {
            ::close(fd);
            fd = expected;
        }
        return fd;
    }

    bool readVm(std::uint64_t address, void *out, std::size_t len)
    {
        iovec local { out, len };
        iovec remote { reinterpret_cast<void *>(address), len };
        const ssize_t n = ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0);
        if (n < 0 && (errno == ENOSYS || errno == EPERM))
            g_method = 2;
        return n == static_cast<ssize_t>(len);
    }

    bool readMem(std::uint64_t address, void *out, std::size_t len)
    {
        const int fd = memFd();
        if (fd < 0 || address > static_cast<std::uint64_t>(INT64_MAX))
            return false;
        std::size_t done = 0;
        while (done < len) {
            const ssize_t n = ::pread(
                fd, static_cast<char *>(out) + done, len - done, static_cast<off_t>(address + done));
            if (n <= 0) {
                if (n < 0 && errno == EINTR)
                    continue;
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

} // namespace

bool TCrashMemory::read(std::uint64_t address, void *out, std::size_t len)
{
    if (len == 0)
        return true;
    if (address == 0 || address + len < address)
        return false;
    if (g_method.load() != 2) {
        if (readVm(address, out, len)) {
            g_method = 1;
            return true;
        }
        if (g_method.load() != 2)
            return false;
    }
    return readMem(address, out, len);
}

void TCrashMemory::prepare()
{
    unsigned char probe = 0;
    static const unsigned char known = 1;
    read(reinterpret_cast<std::uint64_t>(&known), &probe, 1);
    if (g_method.load() == 2)
        memFd();
}

bool TCrashMemory::readable(std::uint64_t address, std::size_t len)
{
    char buf[512];
    while (len > 0) {
        const std::size_t n = std::min(len, sizeof buf);
        if (!read(address, buf, n))
            return false;
        address += n;
        len -= n;
    }
    return true;
}

void TCrashMemoryMap::parse(const std::string &text)
{
    m_maps.clear();
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string::npos)
            eol = text.size();
        const std::string line = text.substr(pos, eol - pos);
        pos = eol + 1;
        unsigned long long start = 0, end = 0, offset = 0;
        char perms[8] = {};
        int consumed = 0;
        if (std::sscanf(line.c_str(), "%llx-%llx %7s %llx %*s %*s%n", &start, &end, perms, &offset, &consumed)
                < 4
            || end <= start)
            continue;
        TCrashMapping m;
        m.start = start;
        m.end = end;
        m.readable = perms[0] == 'r';
        m.writable = perms[1] == 'w';
        m.executable = perms[2] == 'x';
        m.fileOffset = offset;
        if (consumed > 0 && static_cast<std::size_t>(consumed) < line.size()) {
            std::size_t p = static_cast<std::size_t>(consumed);
            while (p < line.size() && line[p] == ' ')
                ++p;
            m.path = line.substr(p);
        }
        m_maps.push_back(std::move(m));
    }
    std::sort(m_maps.begin(), m_maps.end(), [](const auto &a, const auto &b) { return a.start < b.start; });
}

void TCrashMemoryMap::refresh()
{
    std::string text;
    if (FILE *f = std::fopen("/proc/self/maps", "re")) {
        char buf[8192];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            text.append(buf, n);
        std::fclose(f);
    }
    parse(text);
    m_refreshedOnMiss = false;
}

const TCrashMapping *TCrashMemoryMap::find(std::uint64_t address) const
{
    auto it = std::upper_bound(m_maps.begin(), m_maps.end(), address,
        [](std::uint64_t a, const TCrashMapping &m) { return a < m.start; });
    if (it == m_maps.begin())
        return nullptr;
    --it;
    return address < it->end ? &*it : nullptr;
}

bool TCrashMemoryMap::isCode(std::uint64_t address, bool refreshOnMiss)
{
    const TCrashMapping *m = find(address);
    if (!m && refreshOnMiss && !m_refreshedOnMiss) {
        refresh();
        m_refreshedOnMiss = true;
        m = find(address);
    }
    return m && m->executable && m->readable;
}

void TCrashCodeRanges::prepare()
{
    TCrashMemory::prepare();
    TCrashMemoryMap map;
    map.refresh();
    assign(map);
}

void TCrashCodeRanges::assign(const TCrashMemoryMap &map)
{
    m_ranges.clear();
    for (const TCrashMapping &m : map.mappings()) {
        if (!m.executable || !m.readable)
            continue;
        if (!m_ranges.empty() && m_ranges.back().end >= m.start)
            m_ranges.back().end = std::max(m_ranges.back().end, m.end);
        else
            m_ranges.push_back({ m.start, m.end });
    }
}

const TCrashCodeRanges::Range *TCrashCodeRanges::find(std::uint64_t address) const
{
    std::size_t lo = 0, hi = m_ranges.size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (address < m_ranges[mid].start)
            hi = mid;
        else if (address >= m_ranges[mid].end)
            lo = mid + 1;
        else
            return &m_ranges[mid];
    }
    return nullptr;
}

} // namespace crashreport
