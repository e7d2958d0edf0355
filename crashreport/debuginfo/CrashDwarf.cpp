#include "CrashDwarf.h"

#include "CrashNames.h"

#include <dwarf.h>
#include <elfutils/libdw.h>
#include <elfutils/libdwfl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <map>
#include <utility>
#include <vector>

namespace crashreport
{

namespace
{

    // Function-local statics: a report may be built before this file's globals are constructed
    // (during the static initialisation of the program).
    std::mutex &dwarfMutex()
    {
        static std::mutex m;
        return m;
    }
    Dwfl *g_dwfl = nullptr; // constant-initialised
    char *g_debugPath = nullptr;

    const Dwfl_Callbacks g_callbacks = {
        dwfl_linux_proc_find_elf,
        dwfl_standard_find_debuginfo,
        nullptr,
        &g_debugPath,
    };

    Dwfl *session()
    {
        if (g_dwfl)
            return g_dwfl;
        Dwfl *d = dwfl_begin(&g_callbacks);
        if (!d)
            return nullptr;
        dwfl_report_begin(d);
        if (dwfl_linux_proc_report(d, ::getpid()) != 0 || dwfl_report_end(d, nullptr, nullptr) != 0) {
            dwfl_end(d);
            return nullptr;
        }
        g_dwfl = d;
        return d;
    }

    // The procedures of one module with their address ranges, read once: asking libdw for the
    // scopes of every address walks the whole unit each time, which is far too slow for a stack.
    struct ProcedureIndex {
        struct Range {
            std::uint64_t lo, hi;
            std::uint32_t proc;
        };
        struct Procedure {
            std::string name; // linkage name (mangled) or plain name
            std::uint32_t declLine;
        };
        std::vector<Range> ranges; // sorted by lo
        std::vector<Procedure> procedures;
        std::vector<TCrashInlineSite> sites; // sorted by low, run-time addresses
    };

    // One index per compilation unit, made when an address in that unit is first looked up:
    // indexing a whole module's units at once (all of libc's, when its debug file is installed)
    // made the first call stack of a process take a second.
    using IndexKey = std::pair<Dwfl_Module *, Dwarf_Off>;
    std::map<IndexKey, ProcedureIndex> &indexes()
    {
        static auto *map = new std::map<IndexKey, ProcedureIndex>;
        return *map;
    }

    std::string rawDieName(Dwarf_Die *die)
    {
        Dwarf_Attribute attr;
        for (int at : { DW_AT_linkage_name, DW_AT_MIPS_linkage_name }) {
            if (dwarf_attr_integrate(die, at, &attr)) {
                if (const char *s = dwarf_formstring(&attr))
                    return s;
            }
        }
        if (dwarf_attr_integrate(die, DW_AT_name, &attr)) {
            if (const char *s = dwarf_formstring(&attr))
                return s;
        }
        return {};
    }

    struct IndexBuild {
        ProcedureIndex *index;
        Dwarf_Addr bias;
    };

    int indexProcedure(Dwarf_Die *die, void *arg)
    {
        auto *b = static_cast<IndexBuild *>(arg);
        Dwarf_Addr base = 0, start = 0, end = 0;
        ptrdiff_t off = 0;
        std::uint32_t procIndex = UINT32_MAX;
        while ((off = dwarf_ranges(die, off, &base, &start, &end)) > 0) {
            if (start == 0 || end <= start)
                continue;
            if (procIndex == UINT32_MAX) {
                int declLine = 0;
                if (dwarf_decl_line(die, &declLine) != 0 || declLine < 0)
                    declLine = 0;
                procIndex = static_cast<std::uint32_t>(b->index->procedures.size());
                b->index->procedures.push_back({ rawDieName(die), static_cast<std::uint32_t>(declLine) });
            }
            b->index->ranges.push_back({ start + b->bias, end + b->bias, procIndex });
        }
        return DWARF_CB_OK;
    }

    // The index of the unit that holds the address, or nullptr when no unit does.
    const ProcedureIndex *indexOf(Dwfl_Module *mod, std::uint64_t address)
    {
        Dwarf_Addr bias = 0;
        Dwarf_Die *found = dwfl_module_addrdie(mod, address, &bias);
        if (!found)
            return nullptr;
        Dwarf_Die cu = *found;
        const IndexKey key { mod, dwarf_dieoffset(&cu) };
        auto it = indexes().find(key);
        if (it != indexes().end())
            return &it->second;
        ProcedureIndex &index = indexes()[key];
        IndexBuild b { &index, bias };
        dwarf_getfuncs(&cu, indexProcedure, &b, 0);
        CrashCollectInlineSites(&cu, index.sites);
        for (TCrashInlineSite &site : index.sites) {
            site.low += bias;
            site.high += bias;
        }
        std::sort(index.ranges.begin(), index.ranges.end(),
            [](const auto &a, const auto &b) { return a.lo != b.lo ? a.lo < b.lo : a.hi > b.hi; });
        std::sort(index.sites.begin(), index.sites.end(),
            [](const TCrashInlineSite &a, const TCrashInlineSite &b) { return a.low < b.low; });
        return &index;
    }

    // The innermost indexed procedure whose range holds the address, or nullptr.
    const ProcedureIndex::Procedure *findProcedure(const ProcedureIndex &index, std::uint64_t address)
    {
        auto it = std::upper_bound(index.ranges.begin(), index.ranges.end(), address,
            [](std::uint64_t a, const ProcedureIndex::Range &r) { return a < r.lo; });
        // Ranges may nest (a procedure inside another's range); look back a few.
        for (int tries = 0; it != index.ranges.begin() && tries < 8; ++tries) {
            --it;
            if (address < it->hi)
                return &index.procedures[it->proc];
        }
        return nullptr;
    }

    std::string dieName(Dwarf_Die *die)
    {
        Dwarf_Attribute attr;
        for (int at : { DW_AT_linkage_name, DW_AT_MIPS_linkage_name }) {
            if (dwarf_attr_integrate(die, at, &attr)) {
                if (const char *s = dwarf_formstring(&attr))
                    return CrashDemangle(s);
            }
        }
        if (const char *s = dwarf_diename(die))
            return s;
        if (dwarf_attr_integrate(die, DW_AT_name, &attr)) {
            if (const char *s = dwarf_formstring(&attr))
                return s;
        }
        return {};
    }

    bool lookupLocked(std::uint64_t address, TCrashDwarfLocation &out, bool allowRetry)
    {
        Dwfl *d = session();
        if (!d)
            return false;
        Dwfl_Module *mod = dwfl_addrmodule(d, address);
        if (!mod) {
            if (!allowRetry)
                return false;
            dwfl_end(g_dwfl);
            g_dwfl = nullptr;
            indexes().clear();
            return lookupLocked(address, out, false);
        }
        bool found = false;
        const ProcedureIndex *index = indexOf(mod, address);
        if (Dwfl_Line *line = dwfl_module_getsrc(mod, address)) {
            int lineNo = 0;
            if (const char *file = dwfl_lineinfo(line, nullptr, &lineNo, nullptr, nullptr, nullptr)) {
                out.sourceFile = file;
                out.line = lineNo > 0 ? static_cast<std::uint32_t>(lineNo) : 0;
                found = true;
            }
        }
        // Inlined code: the line of the call in the procedure's own source.
        if (const TCrashInlineSite *site = found && index ? CrashFindInlineSite(index->sites, address) : nullptr) {
            out.sourceFile = site->callFile;
            out.line = site->callLine;
        }
        if (const ProcedureIndex::Procedure *p = index ? findProcedure(*index, address) : nullptr) {
            out.procedureName = CrashDemangle(p->name.c_str());
            out.procedureLine = p->declLine;
            return true;
        }
        Dwarf_Addr bias = 0;
        if (Dwarf_Die *cu = dwfl_module_addrdie(mod, address, &bias)) {
            Dwarf_Die *scopes = nullptr;
            const int n = dwarf_getscopes(cu, address - bias, &scopes);
            for (int i = 0; i < n; ++i) {
                const int tag = dwarf_tag(&scopes[i]);
                if (tag != DW_TAG_subprogram && tag != DW_TAG_inlined_subroutine)
                    continue;
                out.procedureName = dieName(&scopes[i]);
                int declLine = 0;
                if (dwarf_decl_line(&scopes[i], &declLine) == 0 && declLine > 0)
                    out.procedureLine = static_cast<std::uint32_t>(declLine);
                found = found || !out.procedureName.empty();
                break;
            }
            std::free(scopes);
        }
        return found;
    }

    struct SiteWalk {
        Dwarf_Files *files = nullptr;
        std::size_t fileCount = 0;
        std::vector<TCrashInlineSite> *out = nullptr;
    };

    std::uint64_t unsignedAttribute(Dwarf_Die *die, int name)
    {
        Dwarf_Attribute attr;
        Dwarf_Word value = 0;
        if (!dwarf_attr(die, name, &attr) || dwarf_formudata(&attr, &value) != 0)
            return UINT64_MAX;
        return value;
    }

    // The inlined calls among the children of a procedure or of a block inside it; calls
    // inlined into those are part of their code and are not looked at.
    void addInlineSites(Dwarf_Die *parent, SiteWalk &walk, int depth)
    {
        Dwarf_Die child;
        if (depth > 64 || dwarf_child(parent, &child) != 0)
            return;
        do {
            const int tag = dwarf_tag(&child);
            if (tag == DW_TAG_lexical_block || tag == DW_TAG_try_block || tag == DW_TAG_catch_block) {
                addInlineSites(&child, walk, depth + 1);
                continue;
            }
            if (tag != DW_TAG_inlined_subroutine)
                continue;
            const std::uint64_t file = unsignedAttribute(&child, DW_AT_call_file);
            const std::uint64_t line = unsignedAttribute(&child, DW_AT_call_line);
            const char *name = file < walk.fileCount ? dwarf_filesrc(walk.files, file, nullptr, nullptr) : nullptr;
            if (!name || line == 0 || line > UINT32_MAX)
                continue;
            Dwarf_Addr base = 0, start = 0, end = 0;
            ptrdiff_t off = 0;
            while ((off = dwarf_ranges(&child, off, &base, &start, &end)) > 0)
                if (start != 0 && end > start)
                    walk.out->push_back({ start, end, name, static_cast<std::uint32_t>(line) });
        } while (dwarf_siblingof(&child, &child) == 0);
    }

    int collectInlineSites(Dwarf_Die *procedure, void *arg)
    {
        addInlineSites(procedure, *static_cast<SiteWalk *>(arg), 0);
        return DWARF_CB_OK;
    }

} // namespace

void CrashCollectInlineSites(Dwarf_Die *cu, std::vector<TCrashInlineSite> &out)
{
    SiteWalk walk;
    walk.out = &out;
    if (dwarf_getsrcfiles(cu, &walk.files, &walk.fileCount) != 0) {
        walk.files = nullptr;
        walk.fileCount = 0;
    }
    dwarf_getfuncs(cu, collectInlineSites, &walk, 0);
}

const TCrashInlineSite *CrashFindInlineSite(const std::vector<TCrashInlineSite> &sites, std::uint64_t address)
{
    auto it = std::upper_bound(sites.begin(), sites.end(), address,
        [](std::uint64_t a, const TCrashInlineSite &s) { return a < s.low; });
    return it != sites.begin() && address < (it - 1)->high ? &*(it - 1) : nullptr;
}

std::mutex &CrashDwarfMutex()
{
    return dwarfMutex();
}

Dwfl *CrashDwarfSessionLocked()
{
    return session();
}

bool CrashDwarfLookup(std::uint64_t address, TCrashDwarfLocation &out)
{
    std::lock_guard lock(dwarfMutex());
    return lookupLocked(address, out, true);
}

namespace
{
    int collectModule(Dwfl_Module *mod, void **, const char *, Dwarf_Addr, void *arg)
    {
        static_cast<std::vector<Dwfl_Module *> *>(arg)->push_back(mod);
        return DWARF_CB_OK;
    }
} // namespace

void CrashDwarfWarmUp(const std::atomic<bool> *stop)
{
    try {
        std::vector<Dwfl_Module *> modules;
        Dwfl *d = nullptr;
        {
            std::lock_guard lock(dwarfMutex());
            d = session();
            if (!d)
                return;
            dwfl_getmodules(d, collectModule, &modules, 0);
        }
        // One module at a time, so that a report waits at most for the module being read.
        for (Dwfl_Module *mod : modules) {
            if (stop && stop->load())
                return;
            std::lock_guard lock(dwarfMutex());
            if (g_dwfl != d)
                return; // the session was reset meanwhile: its modules are gone
            Dwarf_Addr bias = 0;
            dwfl_module_getdwarf(mod, &bias);
            dwfl_module_eh_cfi(mod, &bias);
        }
    } catch (...) {
    }
}

void CrashDwarfReset()
{
    std::lock_guard lock(dwarfMutex());
    if (g_dwfl)
        dwfl_end(g_dwfl);
    g_dwfl = nullptr;
    indexes().clear();
}

} // namespace crashreport
