// Prints how fast the crash library resolves code addresses compared with addr2line
// (binutils), and how long a walk and resolve of a 50-frame stack takes.
//
//   bench_stackwalk [count]      (default 1000 addresses)

#include "CrashStackList.h"

#include <QString>
#include <capstone/capstone.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

using namespace crashreport;
using Clock = std::chrono::steady_clock;

namespace
{

double msSince(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// Call sites (the addresses a stack walk resolves: the call instruction before a return
// address) in procedures spread over a module.
void sample(const TCrashModulePtr &m, std::size_t want, std::vector<std::uint64_t> &out)
{
    std::vector<const TCrashFunction *> sized;
    for (const auto &f : m->functions.items())
        if (f.size >= 16 && f.size < 65536)
            sized.push_back(&f);
    if (sized.empty())
        return;
    csh cs;
    if (cs_open(CS_ARCH_X86, CS_MODE_64, &cs) != CS_ERR_OK)
        return;
    std::size_t taken = 0;
    for (std::size_t i = 0; taken < want && i < 50 * want; ++i) {
        const TCrashFunction *f = sized[(i * 7919) % sized.size()];
        const std::uint64_t start = m->loadBias + f->offset;
        cs_insn *insn = nullptr;
        const std::size_t n
            = cs_disasm(cs, reinterpret_cast<const std::uint8_t *>(start), f->size, start, 0, &insn);
        for (std::size_t k = 0; k < n; ++k) {
            if (insn[k].id == X86_INS_CALL) {
                out.push_back(insn[k].address);
                ++taken;
                break;
            }
        }
        if (insn)
            cs_free(insn, n);
    }
    cs_close(&cs);
}

double g_walkMs = 0;
std::size_t g_entries = 0;

[[gnu::noinline]] void recurse(int n, TCrashStackList &list)
{
    if (n > 0) {
        recurse(n - 1, list);
        asm volatile("" ::: "memory");
        return;
    }
    const auto t = Clock::now();
    CrashWalkCurrentThread(list);
    g_walkMs = msSince(t);
    g_entries = list.count();
}

} // namespace

int main(int argc, char **argv)
{
    const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000;
    const QString keepQtLoaded = QString::number(42);
    auto &modules = TCrashModulesList::instance();
    const TCrashModulePtr self = modules.findByAddress(reinterpret_cast<std::uint64_t>(&recurse));
    const TCrashModulePtr libc = modules.findByAddress(reinterpret_cast<std::uint64_t>(&::getpid));
    TCrashModulePtr qtCore;
    modules.refresh();
    for (const auto &m : modules.snapshot())
        if (m->fileName.find("libQt6Core") != std::string::npos)
            qtCore = m;
    if (!self || !libc || !qtCore) {
        std::fprintf(stderr, "modules not found\n");
        return 1;
    }
    std::vector<std::uint64_t> addresses;
    sample(self, count / 2, addresses);
    const std::size_t nSelf = addresses.size();
    sample(qtCore, count / 4, addresses);
    const std::size_t nQt = addresses.size() - nSelf;
    sample(libc, count - addresses.size(), addresses);

    // Our resolver: the first pass loads the debug information, the second is warm.
    modules.clear();
    TCrashStackEntry e;
    auto t = Clock::now();
    for (std::uint64_t a : addresses)
        CrashResolveAddress(a, 0, e);
    const double coldMs = msSince(t);
    t = Clock::now();
    std::size_t withLine = 0, named = 0;
    for (std::uint64_t a : addresses) {
        CrashResolveAddress(a, 0, e);
        withLine += e.kind == StackKindLine;
        named += e.kind >= StackKindProcedure;
    }
    const double warmMs = msSince(t);

    // addr2line: one process per module with all of its addresses (its best case).
    std::map<std::string, std::vector<std::uint64_t>> byFile;
    for (std::uint64_t a : addresses) {
        const TCrashModulePtr m = modules.findByAddress(a);
        byFile[m->fileName].push_back(a - m->loadBias);
    }
    t = Clock::now();
    std::size_t a2lLines = 0;
    for (const auto &[file, list] : byFile) {
        for (std::size_t i = 0; i < list.size(); i += 200) {
            std::string cmd = "addr2line -f -C -e '" + file + "'";
            char buf[32];
            for (std::size_t k = i; k < std::min(list.size(), i + 200); ++k) {
                std::snprintf(buf, sizeof buf, " 0x%llx", static_cast<unsigned long long>(list[k]));
                cmd += buf;
            }
            if (FILE *p = ::popen(cmd.c_str(), "r")) {
                char line[4096];
                while (std::fgets(line, sizeof line, p))
                    ++a2lLines;
                ::pclose(p);
            }
        }
    }
    const double a2lMs = msSince(t);

    std::printf("call sites: %zu (program %zu, Qt6Core %zu, libc %zu); named %zu, with line %zu\n",
        addresses.size(), nSelf, nQt, addresses.size() - nSelf - nQt, named, withLine);
    std::printf("resolver cold: %.1f ms (%.1f us per address)\n", coldMs, 1000 * coldMs / addresses.size());
    std::printf("resolver warm: %.1f ms (%.1f us per address)\n", warmMs, 1000 * warmMs / addresses.size());
    std::printf("addr2line:     %.1f ms (%.1f us per address, %zu output lines)\n", a2lMs,
        1000 * a2lMs / addresses.size(), a2lLines);
    std::printf("ratio addr2line / resolver: cold %.1f, warm %.1f\n", a2lMs / coldMs, a2lMs / warmMs);

    // A whole stack of 50 frames, walked and resolved; the best of 20 warm runs.
    double best = 1e9;
    std::size_t entries = 0;
    for (int run = 0; run < 21; ++run) {
        TCrashStackList list;
        recurse(50, list);
        if (run > 0)
            best = std::min(best, g_walkMs);
        entries = g_entries;
    }
    std::printf("walk and resolve of a 50-frame stack: %.2f ms warm (%zu entries)\n", best, entries);
    return 0;
}
