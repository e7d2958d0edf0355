// Prints two figures of the debug-information readers:
//  1. the size of the line table that a program carries in its data block, against the size
//     of its own DWARF line information (.debug_line plus .debug_line_str); target: at most 1.
//  2. the map reader's line look-up time as the map grows from 1000 to 100000 line pairs in
//     many units; a look-up proportional to its input (binary search) stays near 1x, a linear
//     one grows with the map.
//
//   bench_debugfiles [program]     (default: the built vetu-config)

#include "CRDebugInfoMap.h"
#include "CrashDataBlock.h"
#include "CrashLineTable.h"

#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace crashreport;
using Clock = std::chrono::steady_clock;

namespace
{

std::map<std::string, std::uint64_t> sectionSizes(const std::string &path)
{
    std::map<std::string, std::uint64_t> sizes;
    if (elf_version(EV_CURRENT) == EV_NONE)
        return sizes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return sizes;
    if (Elf *elf = elf_begin(fd, ELF_C_READ, nullptr)) {
        size_t shstrndx = 0;
        elf_getshdrstrndx(elf, &shstrndx);
        for (Elf_Scn *scn = elf_nextscn(elf, nullptr); scn; scn = elf_nextscn(elf, scn)) {
            GElf_Shdr sh;
            if (!gelf_getshdr(scn, &sh))
                continue;
            if (const char *name = elf_strptr(elf, shstrndx, sh.sh_name))
                sizes[name] = sh.sh_size;
        }
        elf_end(elf);
    }
    ::close(fd);
    return sizes;
}

int lineTableFigure(const std::string &program)
{
    const TCrashDataLookup data = ReadCrashDataFromFile(program);
    const std::vector<std::uint8_t> *stream = data.found ? data.block.findStream(CrashDataLineTableTag) : nullptr;
    if (!stream) {
        std::printf("line table: %s carries none (%s)\n", program.c_str(), data.error.c_str());
        return 1;
    }
    auto sizes = sectionSizes(program);
    const std::uint64_t dwarfLines = sizes[".debug_line"] + sizes[".debug_line_str"];
    TCrashLineTable table;
    const bool loaded = table.load(*stream);
    std::printf("line table of %s\n", program.c_str());
    std::printf("  .text                    %10llu bytes\n", static_cast<unsigned long long>(sizes[".text"]));
    std::printf("  .debug_line              %10llu bytes\n", static_cast<unsigned long long>(sizes[".debug_line"]));
    std::printf(
        "  .debug_line_str          %10llu bytes\n", static_cast<unsigned long long>(sizes[".debug_line_str"]));
    std::printf("  .crdata                  %10llu bytes\n", static_cast<unsigned long long>(sizes[".crdata"]));
    std::printf("  line table (stream LINE) %10zu bytes, %zu units%s\n", stream->size(), table.unitCount(),
        loaded ? "" : ", DAMAGED");
    if (dwarfLines == 0) {
        std::printf("  no DWARF line sections to compare with\n");
        return 1;
    }
    const double ratio = double(stream->size()) / double(dwarfLines);
    std::printf("  ratio to .debug_line + .debug_line_str: %.3f (target <= 1.000: %s)\n", ratio,
        ratio <= 1.0 ? "met" : "MISSED");
    return ratio <= 1.0 && loaded ? 0 : 1;
}

// A map of `units` units, each with its own segment, public name and line block of
// `pairsPerUnit` pairs.
std::string mapText(int units, int pairsPerUnit)
{
    std::string text = "Detailed map of segments\r\n";
    char buf[160];
    const int unitSize = pairsPerUnit * 16;
    for (int u = 0; u < units; ++u) {
        std::snprintf(buf, sizeof buf, " 0001:%08X %08X C=CODE S=.text G=(none) M=Unit%d ACBP=A9\r\n",
            u * unitSize, unitSize, u);
        text += buf;
    }
    text += "\r\n  Address         Publics by Value\r\n\r\n";
    for (int u = 0; u < units; ++u) {
        std::snprintf(buf, sizeof buf, " 0001:%08X       Unit%d.Proc%d\r\n", u * unitSize, u, u);
        text += buf;
    }
    for (int u = 0; u < units; ++u) {
        std::snprintf(buf, sizeof buf, "\r\nLine numbers for Unit%d(Unit%d.pas) segment .text\r\n\r\n", u, u);
        text += buf;
        for (int p = 0; p < pairsPerUnit; ++p) {
            std::snprintf(buf, sizeof buf, "%6d 0001:%08X%s", p + 1, u * unitSize + p * 16, p % 4 == 3 ? "\r\n" : "");
            text += buf;
        }
        text += "\r\n";
    }
    return text;
}

struct Figure {
    double median, low, high;
};

Figure summary(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return { times[times.size() / 2], times.front(), times.back() };
}

// Nanoseconds per look-up of `count` pseudo-random addresses below span.
template <typename Lookup> double perLookup(int count, std::uint64_t span, Lookup &&lookup)
{
    std::uint64_t sink = 0;
    const auto t0 = Clock::now();
    for (int i = 0; i < count; ++i)
        sink += lookup((std::uint64_t(i) * 2654435761u) % span);
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / count;
    if (sink == 42)
        std::printf(" ");
    return ns;
}

int mapFigure()
{
    constexpr int PairsPerUnit = 100, Runs = 11;
    const int unitCounts[] = { 10, 100, 1000 };
    std::printf("map file line look-up, %d runs; reference: a linear scan of the same line pairs\n", Runs);
    struct Size {
        std::unique_ptr<TCRDebugInfoMap> map;
        std::vector<std::uint64_t> pairs; // the line pairs' addresses, for the reference
        std::uint64_t span = 0;
        std::vector<double> lookup, linear;
    };
    std::vector<Size> sizes;
    for (int units : unitCounts) {
        Size s;
        s.map = std::make_unique<TCRDebugInfoMap>(mapText(units, PairsPerUnit));
        if (!s.map->valid()) {
            std::printf("  the generated map was refused\n");
            return 1;
        }
        s.span = std::uint64_t(units) * PairsPerUnit * 16;
        for (std::uint64_t a = 0; a < s.span; a += 16)
            s.pairs.push_back(a);
        sizes.push_back(std::move(s));
    }
    // Runs go round the sizes, so that the machine's load falls on all of them alike.
    for (int run = 0; run < Runs; ++run) {
        for (Size &s : sizes) {
            s.lookup.push_back(perLookup(20000, s.span, [&](std::uint64_t a) {
                TCrashLocationInfo info;
                return s.map->getLocationInfo(a, info) ? std::uint64_t(info.line) : 0;
            }));
            s.linear.push_back(perLookup(200, s.span, [&](std::uint64_t a) {
                std::uint64_t last = 0;
                for (std::uint64_t p : s.pairs)
                    if (p <= a)
                        last = p;
                return last;
            }));
        }
    }
    const Figure first = summary(sizes.front().lookup), firstLinear = summary(sizes.front().linear);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const Figure f = summary(sizes[i].lookup), r = summary(sizes[i].linear);
        // Under a loaded machine the fastest run shows the cost best; both ratios are given.
        std::printf("  %7zu line pairs: look-up median %7.1f ns (spread %7.1f..%7.1f), %5.2fx the smallest"
                    " (fastest runs %5.2fx); linear reference %9.1f ns, %6.1fx\n",
            sizes[i].pairs.size(), f.median, f.low, f.high, f.median / first.median, f.low / first.low, r.median,
            r.median / firstLinear.median);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::string program;
#ifdef VETU_CONFIG_FILE
    program = VETU_CONFIG_FILE;
#endif
    if (argc > 1)
        program = argv[1];
    int status = 0;
    if (!program.empty())
        status |= lineTableFigure(program);
    std::printf("\n");
    status |= mapFigure();
    return status;
}
