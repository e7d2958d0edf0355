// Prints how the crash library's stack walk performs and how its answers compare with a
// reference:
//  - the resolver against addr2line (binutils) for the same call sites: the share of answers
//    that agree with addr2line -f -C -i's outermost answer, with the differences sorted by cause;
//    then times, cold (a fresh process each, ours included) and per extra address;
//  - the walk's two phases apart: preparing the code ranges, the scan, and resolving.
// Every figure is the median of repeated runs with its spread (lowest and highest).
//
//   bench_stackwalk [count] [runs]      (default 1000 call sites, 7 runs)
//   bench_stackwalk --resolve FILE      (inner use: resolves "module offset" lines cold)

#include "CrashDwarf.h"
#include "CrashMemory.h"
#include "CrashNames.h"
#include "CrashStackList.h"

#include <QString>
#include <capstone/capstone.h>
#include <link.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
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

struct Stats {
    double median = 0, low = 0, high = 0;
};

Stats stats(std::vector<double> v)
{
    Stats s;
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    s.median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    s.low = v.front();
    s.high = v.back();
    return s;
}

Stats measure(int runs, const std::function<double()> &once)
{
    std::vector<double> v;
    for (int i = 0; i < runs; ++i)
        v.push_back(once());
    return stats(std::move(v));
}

std::string show(const Stats &s, const char *unit = "ms", int digits = 1)
{
    char buf[128];
    std::snprintf(buf, sizeof buf, "%.*f %s (spread %.*f..%.*f)", digits, s.median, unit, digits, s.low,
        digits, s.high);
    return buf;
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
                if (std::find(out.begin(), out.end(), insn[k].address) == out.end()) {
                    out.push_back(insn[k].address);
                    ++taken;
                }
                break;
            }
        }
        if (insn)
            cs_free(insn, n);
    }
    cs_close(&cs);
}

std::string baseName(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int shell(const std::string &cmd)
{
    return std::system(cmd.c_str());
}

// Runs a shell command and returns its wall time in milliseconds (negative on failure).
double timedShell(const std::string &cmd)
{
    const auto t = Clock::now();
    const int rc = shell(cmd);
    const double ms = msSince(t);
    return rc == 0 ? ms : -1;
}

// One answer: procedure (without parameters), file name, line.
struct Answer {
    std::string procedure;
    std::string file;
    std::uint32_t line = 0;
    std::uint32_t innermostLine = 0; // addr2line only: the line of the innermost inlined frame
    std::string innermostFile;
};

// Parses addr2line -a -f -C -i output: per address "0x...", then function and file:line pairs,
// innermost first. Keeps the outermost pair.
std::map<std::uint64_t, Answer> parseAddr2line(const std::string &path)
{
    std::map<std::uint64_t, Answer> out;
    std::ifstream in(path);
    std::string line, function;
    std::uint64_t current = 0;
    bool first = true;
    while (std::getline(in, line)) {
        if (line.rfind("0x", 0) == 0) {
            current = std::strtoull(line.c_str(), nullptr, 16);
            first = true;
            continue;
        }
        if (function.empty()) {
            function = line;
            continue;
        }
        Answer a;
        if (function != "??") {
            // Entries hold class and procedure cut to their longest length: compare the same.
            const TCrashSplitName split = CrashSplitCppName(function);
            a.procedure = split.className.empty()
                ? CrashCutName(split.procedureName)
                : CrashCutName(split.className) + "::" + CrashCutName(split.procedureName);
        }
        const std::size_t colon = line.rfind(':');
        const std::string file = line.substr(0, colon);
        a.file = file == "??" ? std::string() : baseName(file);
        a.line = colon == std::string::npos
            ? 0
            : static_cast<std::uint32_t>(std::strtoul(line.c_str() + colon + 1, nullptr, 10));
        Answer &slot = out[current];
        if (first) {
            a.innermostLine = a.line;
            a.innermostFile = a.file;
        } else {
            a.innermostLine = slot.innermostLine;
            a.innermostFile = slot.innermostFile;
        }
        slot = a;
        first = false;
        function.clear();
    }
    return out;
}

Answer ours(const TCrashStackEntry &e)
{
    Answer a;
    a.procedure = e.className.empty() ? e.procedureName : e.className + "::" + e.procedureName;
    a.file = e.unitName;
    a.line = e.line;
    return a;
}

// The module-relative addresses of one module file.
struct ModuleAddresses {
    std::string file;
    std::vector<std::uint64_t> offsets;
};

std::string writeAddresses(
    const std::string &name, const std::vector<std::uint64_t> &offsets, std::size_t count)
{
    const std::string path = name;
    std::ofstream f(path);
    char buf[32];
    for (std::size_t i = 0; i < std::min(count, offsets.size()); ++i) {
        std::snprintf(buf, sizeof buf, "0x%llx\n", static_cast<unsigned long long>(offsets[i]));
        f << buf;
    }
    return path;
}

// Inner use: resolves "module-file offset" lines in this fresh process.
int resolveCold(const char *listFile)
{
    std::map<std::string, std::uint64_t> bias;
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) -> int {
            auto *m = static_cast<std::map<std::string, std::uint64_t> *>(data);
            (*m)[info->dlpi_name ? info->dlpi_name : ""] = info->dlpi_addr;
            return 0;
        },
        &bias);
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0)
        bias[std::string(self, static_cast<std::size_t>(n))] = bias[""];
    std::ifstream in(listFile);
    std::string file;
    unsigned long long offset;
    std::size_t named = 0;
    TCrashStackEntry e;
    while (in >> file >> std::hex >> offset) {
        CrashResolveAddress(bias[file] + offset, 0, e);
        named += e.kind >= StackKindProcedure;
    }
    std::printf("%zu\n", named);
    return 0;
}

std::uint64_t g_scanFrom = 0;

[[gnu::noinline]] void recurse(int n, const std::function<void()> &atBottom)
{
    if (n > 0) {
        recurse(n - 1, atBottom);
        asm volatile("" ::: "memory");
        return;
    }
    g_scanFrom = reinterpret_cast<std::uint64_t>(__builtin_frame_address(0));
    atBottom();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 && std::string(argv[1]) == "--resolve")
        return resolveCold(argv[2]);
    const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    const QString keepQtLoaded = QString::number(42);
    auto &modules = TCrashModulesList::instance();
    const TCrashModulePtr self = modules.findByAddress(reinterpret_cast<std::uint64_t>(&resolveCold));
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

    // Module-relative addresses per file, as addr2line and a fresh process take them.
    std::map<std::string, ModuleAddresses> byFile;
    std::map<std::uint64_t, std::pair<std::string, std::uint64_t>> fileAddress;
    for (std::uint64_t a : addresses) {
        const TCrashModulePtr m = modules.findByAddress(a);
        byFile[m->fileName].file = m->fileName;
        byFile[m->fileName].offsets.push_back(a - m->loadBias);
        fileAddress[a] = { m->fileName, a - m->loadBias };
    }
    char dirTemplate[] = "/tmp/bench_stackwalk_XXXXXX";
    const std::string dir = ::mkdtemp(dirTemplate) ? dirTemplate : "/tmp";
    char exe[4096];
    const ssize_t exeLen = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string selfExe = exeLen > 0 ? std::string(exe, static_cast<std::size_t>(exeLen)) : argv[0];

    // --- Agreement with addr2line -f -C -i (outermost answer) ---
    modules.clear();
    CrashDwarfReset();
    std::map<std::uint64_t, Answer> mine;
    std::size_t named = 0, withLine = 0;
    for (std::uint64_t a : addresses) {
        TCrashStackEntry e;
        CrashResolveAddress(a, 0, e);
        mine[a] = ours(e);
        named += e.kind >= StackKindProcedure;
        withLine += e.kind == StackKindLine;
    }
    std::map<std::uint64_t, Answer> reference;
    for (const auto &[file, list] : byFile) {
        const std::string in = writeAddresses(dir + "/in.txt", list.offsets, list.offsets.size());
        const std::string out = dir + "/out.txt";
        if (shell("addr2line -a -f -C -i -e '" + file + "' < " + in + " > " + out) != 0)
            std::fprintf(stderr, "addr2line failed for %s\n", file.c_str());
        for (const auto &[offset, answer] : parseAddr2line(out))
            for (const auto &[a, fo] : fileAddress)
                if (fo.first == file && fo.second == offset)
                    reference[a] = answer;
    }
    std::size_t bothLine = 0, agree = 0;
    std::map<std::string, std::vector<std::string>> differences;
    for (std::uint64_t a : addresses) {
        const Answer &o = mine[a];
        const Answer &r = reference[a];
        if (o.line == 0 || r.line == 0)
            continue;
        ++bothLine;
        const bool sameProc = o.procedure == r.procedure;
        const bool sameFile = o.file == r.file;
        const bool sameLine = o.line == r.line;
        if (sameProc && sameFile && sameLine) {
            ++agree;
            continue;
        }
        std::string cause;
        if (!sameFile && o.file == r.innermostFile && o.line == r.innermostLine)
            cause = "inlined code: ours names the innermost inlined line, addr2line's outermost call site";
        else if (sameFile && !sameLine && o.line == r.innermostLine)
            cause = "inlined code in the same file: ours gives the innermost line";
        else if (!sameProc && !o.procedure.empty()
            && (r.procedure.ends_with("::" + o.procedure)
                || r.procedure.find("::" + o.procedure.substr(0, 60)) != std::string::npos))
            cause = "procedure without its enclosing class or namespace (DWARF name of a function with "
                    "internal "
                    "linkage, no linkage name)";
        else if (!sameProc && sameFile && sameLine)
            cause = "procedure name written differently";
        else if (sameProc && sameLine && !sameFile)
            cause
                = "same procedure and line; addr2line names the compilation unit's file, ours the header or "
                  "included source file that the line lies in";
        else
            cause = "other";
        char buf[1024];
        std::snprintf(buf, sizeof buf, "%s+0x%llx: ours %s %s:%u, addr2line %s %s:%u (innermost %s:%u)",
            baseName(fileAddress[a].first).c_str(), static_cast<unsigned long long>(fileAddress[a].second),
            o.procedure.c_str(), o.file.c_str(), o.line, r.procedure.c_str(), r.file.c_str(), r.line,
            r.innermostFile.c_str(), r.innermostLine);
        differences[cause].push_back(buf);
    }
    std::printf("call sites: %zu (program %zu, Qt6Core %zu, libc %zu); ours named %zu, with line %zu\n",
        addresses.size(), nSelf, nQt, addresses.size() - nSelf - nQt, named, withLine);
    std::printf("agreement with addr2line -f -C -i (outermost answer), where both give a line: %zu of %zu "
                "(%.1f %%; target 100 %%)\n",
        agree, bothLine, bothLine ? 100.0 * agree / bothLine : 0.0);
    for (const auto &[cause, list] : differences) {
        std::printf("  %zu differ: %s\n", list.size(), cause.c_str());
        for (std::size_t i = 0; i < std::min<std::size_t>(3, list.size()); ++i)
            std::printf("      e.g. %s\n", list[i].c_str());
    }

    // --- Cold: a fresh process each, from start to exit ---
    {
        std::ofstream f(dir + "/ours.txt");
        for (std::uint64_t a : addresses)
            f << fileAddress[a].first << ' ' << std::hex << fileAddress[a].second << std::dec << '\n';
    }
    {
        std::ofstream f(dir + "/ours1.txt");
        for (const auto &[file, list] : byFile)
            f << file << ' ' << std::hex << list.offsets.front() << std::dec << '\n';
    }
    const std::string oursCmd = "'" + selfExe + "' --resolve " + dir + "/ours.txt > /dev/null";
    const std::string ours1Cmd = "'" + selfExe + "' --resolve " + dir + "/ours1.txt > /dev/null";
    auto toolCmd = [&](const std::string &tool, std::size_t perModule) {
        std::string cmd;
        int k = 0;
        for (const auto &[file, list] : byFile) {
            const std::string in
                = writeAddresses(dir + "/a" + std::to_string(k++) + "_" + std::to_string(perModule) + ".txt",
                    list.offsets, perModule);
            if (!cmd.empty())
                cmd += " && ";
            if (tool == "addr2line")
                cmd += "addr2line -a -f -C -i -e '" + file + "' < " + in + " > /dev/null";
            else
                cmd += "llvm-symbolizer --obj='" + file + "' -C < " + in + " > /dev/null";
        }
        return cmd;
    };
    const bool haveSymbolizer = shell("command -v llvm-symbolizer > /dev/null 2>&1") == 0;
    const std::size_t all = addresses.size();
    const Stats oursCold = measure(runs, [&] { return timedShell(oursCmd); });
    const Stats oursOne = measure(runs, [&] { return timedShell(ours1Cmd); });
    const Stats a2lCold = measure(runs, [&] { return timedShell(toolCmd("addr2line", all)); });
    const Stats a2lOne = measure(runs, [&] { return timedShell(toolCmd("addr2line", 1)); });
    Stats symCold, symOne;
    if (haveSymbolizer) {
        symCold = measure(runs, [&] { return timedShell(toolCmd("llvm-symbolizer", all)); });
        symOne = measure(runs, [&] { return timedShell(toolCmd("llvm-symbolizer", 1)); });
    }
    std::printf("\ncold, %zu call sites in %zu modules, fresh processes from start to exit (%d runs):\n", all,
        byFile.size(), runs);
    std::printf("  ours (one process):               %s\n", show(oursCold).c_str());
    std::printf("  addr2line (one process a module): %s   ratio addr2line/ours %.2f\n", show(a2lCold).c_str(),
        a2lCold.median / oursCold.median);
    if (haveSymbolizer)
        std::printf("  llvm-symbolizer (one a module):   %s   ratio llvm-symbolizer/ours %.2f\n",
            show(symCold).c_str(), symCold.median / oursCold.median);
    auto perExtra = [&](const Stats &allRun, const Stats &oneRun) {
        return 1000.0 * (allRun.median - oneRun.median) / static_cast<double>(all - byFile.size());
    };
    std::printf("per extra address (all addresses minus one a module, medians):\n");
    std::printf("  ours %.1f us, addr2line %.1f us", perExtra(oursCold, oursOne), perExtra(a2lCold, a2lOne));
    if (haveSymbolizer)
        std::printf(", llvm-symbolizer %.1f us", perExtra(symCold, symOne));
    std::printf("\n");

    // In this process: cold after dropping the modules and the DWARF session, and warm.
    const Stats inCold = measure(runs, [&] {
        modules.clear();
        CrashDwarfReset();
        TCrashStackEntry e;
        const auto t = Clock::now();
        for (std::uint64_t a : addresses)
            CrashResolveAddress(a, 0, e);
        return msSince(t);
    });
    // Each warm run is short, so a shared machine's preemptions weigh more: take more of them.
    const Stats inWarm = measure(std::max(runs, 31), [&] {
        TCrashStackEntry e;
        const auto t = Clock::now();
        for (std::uint64_t a : addresses)
            CrashResolveAddress(a, 0, e);
        return 1000.0 * msSince(t) / static_cast<double>(all);
    });
    std::printf("in this process: cold (modules and DWARF session dropped) %s; warm per address %s\n",
        show(inCold).c_str(), show(inWarm, "us", 2).c_str());

    // --- The walk's phases on a 50-frame stack ---
    const int walkRuns = 21;
    std::vector<double> prepareMs, scanUs, resolveMs, walkMs, scanWindowUs;
    std::size_t scanned = 0, entries = 0;
    for (int run = 0; run < walkRuns; ++run) {
        recurse(50, [&] {
            std::uint64_t base = 0, top = 0;
            CrashCurrentStackRange(base, top);
            auto t = Clock::now();
            TCrashCodeRanges code;
            code.prepare();
            prepareMs.push_back(msSince(t));
            std::vector<std::uint64_t> raw(MaxStackScanAddresses);
            t = Clock::now();
            const std::size_t n = CrashScanStack(code, g_scanFrom, top, true, raw.data(), raw.size());
            scanUs.push_back(1000 * msSince(t));
            TCrashStackList list;
            t = Clock::now();
            CrashResolveStack(list, 0, raw.data(), n);
            resolveMs.push_back(msSince(t));
            scanned = n;
            entries = list.count();
            // The whole scan window, full of values that are not code addresses but the ones
            // of this stack: the scan's worst case in values looked at.
            std::vector<std::uint64_t> window(MaxStackScanValues, 0x7f0000001234ULL);
            const std::size_t live = std::min<std::size_t>((top - g_scanFrom) / 8, window.size());
            std::copy_n(reinterpret_cast<const std::uint64_t *>(g_scanFrom), live, window.begin());
            t = Clock::now();
            CrashScanStackCopy(code, window.data(), window.size() * 8, true, raw.data(), raw.size());
            scanWindowUs.push_back(1000 * msSince(t));
            TCrashStackList whole;
            t = Clock::now();
            CrashWalkCurrentThread(whole);
            walkMs.push_back(msSince(t));
        });
    }
    std::printf("\nwalk of a 50-frame stack, %d runs (%zu raw addresses, %zu entries):\n", walkRuns, scanned,
        entries);
    std::printf(
        "  preparing the code ranges (reads /proc/self/maps): %s\n", show(stats(prepareMs), "ms", 3).c_str());
    std::printf(
        "  scan (no allocation, no file):                     %s\n", show(stats(scanUs), "us", 1).c_str());
    std::printf("  scan of a full 25600-value window:                 %s\n",
        show(stats(scanWindowUs), "us", 1).c_str());
    std::printf(
        "  resolving the scanned addresses (warm):            %s\n", show(stats(resolveMs), "ms", 3).c_str());
    std::printf(
        "  walk and resolve in one call (warm):               %s\n", show(stats(walkMs), "ms", 3).c_str());
    if (shell("rm -rf '" + dir + "'") != 0)
        std::fprintf(stderr, "could not remove %s\n", dir.c_str());
    return 0;
}
