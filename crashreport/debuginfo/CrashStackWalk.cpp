// The resolving phase of the raw stack walk, and the walks that run both phases: the scan
// (CrashStackScan.cpp) gives raw code addresses, which are turned into entries here.

#include "CrashStackList.h"

#include "CrashMemory.h"

#include <pthread.h>

#include <algorithm>
#include <vector>

namespace crashreport
{

namespace
{

    class Resolver
    {
    public:
        Resolver(TCrashStackList &list, const TCrashWalkParams &params)
            : m_list(list)
            , m_params(params)
            , m_firstNew(list.count())
        {
        }

        void add(std::uint64_t address, bool groupStart)
        {
            if (m_list.count() > MaxStackEntries)
                return;
            TCrashStackEntry entry;
            if (m_params.resolveNames) {
                CrashResolveAddress(address, m_params.threadId, entry, groupStart, m_params.groupKind);
            } else {
                entry.address = address;
                entry.threadId = m_params.threadId;
                entry.groupStart = groupStart;
                entry.groupKind = m_params.groupKind;
                entry.module = TCrashModulesList::instance().findByAddress(address);
                entry.kind = entry.module ? StackKindModule : StackKindHidden;
            }
            if (entry.kind >= 32 || !(m_params.kinds & (TCrashKindSet(1) << entry.kind)))
                return;
            const bool keep = m_params.firstLevel < 0
                ? (m_params.maxEntries < 0 || m_added < m_params.maxEntries)
                : (m_level >= m_params.firstLevel
                    && (m_params.maxEntries < 0 || m_added < m_params.maxEntries));
            ++m_level;
            if (!keep)
                return;
            m_list.add(std::move(entry));
            ++m_added;
        }

        // Going backwards, an entry with a name whose address and module equal those of one of
        // the next two named entries is hidden: the same return address found twice.
        void hideDuplicates()
        {
            const std::size_t n = m_list.count();
            if (n < m_firstNew + 2)
                return;
            auto named = [&](std::size_t i) { return m_list[i].kind >= 2 && m_list[i].kind <= 4; };
            for (std::size_t i = n - 1; i-- > m_firstNew;) {
                if (!named(i))
                    continue;
                int seen = 0;
                for (std::size_t j = i + 1; j < n && seen < 2; ++j) {
                    if (!named(j))
                        continue;
                    ++seen;
                    if (m_list[j].address == m_list[i].address && m_list[j].module == m_list[i].module) {
                        m_list[i].kind = StackKindHidden;
                        break;
                    }
                }
            }
        }

    private:
        TCrashStackList &m_list;
        const TCrashWalkParams &m_params;
        std::size_t m_firstNew = 0;
        int m_level = 0;
        int m_added = 0;
    };

    // Room for what a scan of this many bytes can give.
    std::size_t scanCapacity(std::uint64_t bytes)
    {
        const std::uint64_t values = std::min<std::uint64_t>(bytes, MaxStackScanBytes) / 8;
        return static_cast<std::size_t>(2 * values);
    }

} // namespace

void CrashResolveStack(TCrashStackList &list, std::uint64_t exceptionAddress, const std::uint64_t *addresses,
    std::size_t count, const TCrashWalkParams &params)
{
    try {
        Resolver r(list, params);
        if (exceptionAddress != 0)
            r.add(exceptionAddress, true);
        for (std::size_t i = 0; i < count && list.count() <= MaxStackEntries; ++i)
            r.add(addresses[i], false);
        r.hideDuplicates();
    } catch (...) {
        // The walk never lets an exception into the reporting code; what was found stays.
    }
}

void CrashWalkStack(TCrashStackList &list, std::uint64_t exceptionAddress, std::uint64_t stackStart,
    std::uint64_t stackEnd, const TCrashWalkParams &params)
{
    try {
        TCrashCodeRanges code;
        code.prepare();
        std::vector<std::uint64_t> raw(stackEnd > stackStart ? scanCapacity(stackEnd - stackStart) : 0);
        const std::size_t n
            = CrashScanStack(code, stackStart, stackEnd, params.addCallee, raw.data(), raw.size());
        CrashResolveStack(list, exceptionAddress, raw.data(), n, params);
    } catch (...) {
    }
}

void CrashWalkStackCopy(TCrashStackList &list, std::uint64_t exceptionAddress, const void *copy,
    std::size_t copyBytes, const TCrashWalkParams &params)
{
    try {
        TCrashCodeRanges code;
        code.prepare();
        std::vector<std::uint64_t> raw(copy ? scanCapacity(copyBytes) : 0);
        const std::size_t n
            = CrashScanStackCopy(code, copy, copyBytes, params.addCallee, raw.data(), raw.size());
        CrashResolveStack(list, exceptionAddress, raw.data(), n, params);
    } catch (...) {
    }
}

std::unique_ptr<TCrashStackList> CrashWalkStackNew(std::uint64_t exceptionAddress, std::uint64_t stackStart,
    std::uint64_t stackEnd, const TCrashWalkParams &params)
{
    auto list = std::make_unique<TCrashStackList>();
    CrashWalkStack(*list, exceptionAddress, stackStart, stackEnd, params);
    return list;
}

bool CrashCurrentStackRange(std::uint64_t &base, std::uint64_t &top)
{
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0)
        return false;
    void *addr = nullptr;
    size_t size = 0;
    const bool ok = pthread_attr_getstack(&attr, &addr, &size) == 0;
    pthread_attr_destroy(&attr);
    if (!ok)
        return false;
    base = reinterpret_cast<std::uint64_t>(addr);
    top = base + size;
    return true;
}

[[gnu::noinline]] void CrashWalkCurrentThread(
    TCrashStackList &list, std::uint64_t exceptionAddress, const TCrashWalkParams &params)
{
    std::uint64_t base = 0, top = 0;
    const auto sp = reinterpret_cast<std::uint64_t>(__builtin_frame_address(0));
    if (!CrashCurrentStackRange(base, top) || sp < base || sp >= top)
        top = sp + MaxStackScanBytes;
    CrashWalkStack(list, exceptionAddress, sp, top, params);
}

} // namespace crashreport
