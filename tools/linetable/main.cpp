// crashreport_linetable <module> <output>
// Writes the packed line table of a module (an ELF file with DWARF line information):
// units, lines and procedures, for the crash-report library's own line look-ups.

#include "CrashDwarf.h"
#include "CrashElfFile.h"
#include "CrashLineTable.h"
#include "CrashNames.h"

#include <dwarf.h>
#include <elfutils/libdw.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>

using namespace crashreport;

namespace
{

struct RawRow {
    std::uint64_t address;
    std::uint64_t end;
    std::string file;
    int line;
};

// First lines (declaration lines) of the procedures, by entry address.
using DeclLines = std::map<std::uint64_t, std::pair<std::string, int>>;

int collectDecl(Dwarf_Die *die, void *arg)
{
    auto *decl = static_cast<DeclLines *>(arg);
    Dwarf_Addr low = 0;
    int line = 0;
    if (dwarf_lowpc(die, &low) == 0 && low != 0 && dwarf_decl_line(die, &line) == 0 && line > 0) {
        const char *file = dwarf_decl_file(die);
        decl->emplace(low, std::make_pair(std::string(file ? file : ""), line));
    }
    return DWARF_CB_OK;
}

bool collectRows(const char *path, std::vector<RawRow> &rows, DeclLines &decl,
    std::vector<TCrashInlineSite> &sites, std::string &error)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open the file";
        return false;
    }
    Dwarf *dw = dwarf_begin(fd, DWARF_C_READ);
    if (!dw) {
        ::close(fd);
        error = "no DWARF debug information";
        return false;
    }
    Dwarf_Off off = 0, next = 0;
    size_t headerSize = 0;
    while (dwarf_nextcu(dw, off, &next, &headerSize, nullptr, nullptr, nullptr) == 0) {
        Dwarf_Die cu;
        if (dwarf_offdie(dw, off + headerSize, &cu)) {
            dwarf_getfuncs(&cu, collectDecl, &decl, 0);
            CrashCollectInlineSites(&cu, sites);
            Dwarf_Lines *lines = nullptr;
            size_t count = 0;
            if (dwarf_getsrclines(&cu, &lines, &count) == 0) {
                bool skipSequence = false;
                for (size_t i = 0; i < count; ++i) {
                    Dwarf_Line *l = dwarf_onesrcline(lines, i);
                    Dwarf_Addr addr = 0;
                    bool endSeq = false;
                    dwarf_lineaddr(l, &addr);
                    dwarf_lineendsequence(l, &endSeq);
                    // A sequence at address 0 belongs to discarded code.
                    if (addr == 0)
                        skipSequence = true;
                    if (endSeq) {
                        skipSequence = false;
                        continue;
                    }
                    if (skipSequence || i + 1 >= count)
                        continue;
                    Dwarf_Addr nextAddr = 0;
                    dwarf_lineaddr(dwarf_onesrcline(lines, i + 1), &nextAddr);
                    if (nextAddr <= addr)
                        continue;
                    int lineNo = 0;
                    dwarf_lineno(l, &lineNo);
                    const char *file = dwarf_linesrc(l, nullptr, nullptr);
                    rows.push_back({ addr, nextAddr, file ? file : "", lineNo });
                }
            }
        }
        off = next;
    }
    dwarf_end(dw);
    ::close(fd);
    return true;
}

// Code inlined into a procedure takes the line of its call in the procedure's own source,
// as a stack walk reports it. Rows sorted by address; sites sorted by low, not overlapping.
std::vector<RawRow> atCallSites(const std::vector<RawRow> &rows, const std::vector<TCrashInlineSite> &sites)
{
    std::vector<RawRow> out;
    std::size_t k = 0;
    for (const RawRow &r : rows) {
        std::uint64_t pos = r.address;
        while (pos < r.end) {
            while (k < sites.size() && sites[k].high <= pos)
                ++k;
            RawRow piece = r;
            piece.address = pos;
            if (k < sites.size() && sites[k].low <= pos) {
                piece.end = std::min(r.end, sites[k].high);
                piece.file = sites[k].callFile;
                piece.line = static_cast<int>(sites[k].callLine);
            } else {
                piece.end = k < sites.size() ? std::min(r.end, sites[k].low) : r.end;
            }
            pos = piece.end;
            // Neighbours on one line become one row.
            if (!out.empty() && out.back().end == piece.address && out.back().line == piece.line
                && out.back().file == piece.file)
                out.back().end = piece.end;
            else
                out.push_back(std::move(piece));
        }
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <module> <output>\n", argv[0]);
        return 2;
    }
    std::vector<RawRow> raw;
    DeclLines decl;
    std::vector<TCrashInlineSite> sites;
    std::string error;
    if (!collectRows(argv[1], raw, decl, sites, error)) {
        std::fprintf(stderr, "%s: %s: %s\n", argv[0], argv[1], error.c_str());
        return 1;
    }
    std::stable_sort(
        raw.begin(), raw.end(), [](const RawRow &a, const RawRow &b) { return a.address < b.address; });
    // Rows without a line (compiler-made code) continue the row before them.
    std::vector<RawRow> rows;
    for (RawRow r : raw) {
        if (!rows.empty() && rows.back().end > r.address)
            rows.back().end = r.address; // overlapping sequences: the later start wins
        if (!rows.empty() && rows.back().end == rows.back().address)
            rows.pop_back();
        if (r.line <= 0) {
            if (!rows.empty() && rows.back().end == r.address) {
                rows.back().end = r.end;
            }
            continue;
        }
        if (!rows.empty() && rows.back().end == r.address && rows.back().line == r.line
            && rows.back().file == r.file) {
            rows.back().end = r.end;
            continue;
        }
        rows.push_back(r);
    }
    std::sort(sites.begin(), sites.end(),
        [](const TCrashInlineSite &a, const TCrashInlineSite &b) { return a.low < b.low; });
    rows = atCallSites(rows, sites);
    // Procedures from the symbol tables.
    const TCrashElfInfo elf = CrashReadElfFile(argv[1]);
    const auto &functions = elf.functions.items();
    // Split rows at procedure starts that fall inside them.
    std::vector<RawRow> split;
    for (const RawRow &r : rows) {
        auto it = std::upper_bound(functions.begin(), functions.end(), r.address,
            [](std::uint64_t a, const TCrashFunction &f) { return a < f.offset; });
        RawRow cur = r;
        for (; it != functions.end() && it->offset < r.end; ++it) {
            RawRow head = cur;
            head.end = it->offset;
            split.push_back(head);
            cur.address = it->offset;
        }
        split.push_back(cur);
    }
    std::map<std::uint64_t, std::pair<std::string, int>> entryLine;
    for (const RawRow &r : split)
        entryLine.emplace(r.address, std::make_pair(r.file, r.line));
    std::vector<TCrashLineRow> out;
    for (const RawRow &r : split) {
        if (r.end - r.address > 0xFFFFFFFFull || r.end > 0xFFFFFFFFull)
            continue;
        TCrashLineRow row;
        row.address = static_cast<std::uint32_t>(r.address);
        row.size = static_cast<std::uint32_t>(r.end - r.address);
        row.file = r.file;
        row.line = static_cast<std::uint32_t>(r.line);
        const TCrashFunction *f = elf.functions.findNearest(r.address);
        if (f && (f->size == 0 || r.address - f->offset < f->size)) {
            const std::string name = CrashStripSignature(CrashDemangle(f->name.c_str()));
            row.currentProcedure = name;
            if (f->offset == r.address)
                row.procedure = name;
            // The procedure's first line: its declaration line, else the line at its entry.
            const auto d = decl.find(f->offset);
            const auto e = entryLine.find(f->offset);
            if (d != decl.end() && d->second.first == r.file)
                row.procedureLine = static_cast<std::uint32_t>(d->second.second);
            else if (e != entryLine.end() && e->second.first == r.file)
                row.procedureLine = static_cast<std::uint32_t>(e->second.second);
        }
        out.push_back(std::move(row));
    }
    const std::vector<std::uint8_t> packed = CrashPackLineTable(out);
    std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char *>(packed.data()), static_cast<std::streamsize>(packed.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    return 0;
}
