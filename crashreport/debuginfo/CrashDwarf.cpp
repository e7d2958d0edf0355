#include "CrashDwarf.h"

#include "CrashNames.h"

#include <dwarf.h>
#include <elfutils/libdw.h>
#include <elfutils/libdwfl.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

namespace crashreport {

namespace {

std::mutex g_mutex;
Dwfl *g_dwfl = nullptr;
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

std::string dieName(Dwarf_Die *die)
{
    Dwarf_Attribute attr;
    for (int at : {DW_AT_linkage_name, DW_AT_MIPS_linkage_name}) {
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
        return lookupLocked(address, out, false);
    }
    bool found = false;
    if (Dwfl_Line *line = dwfl_module_getsrc(mod, address)) {
        int lineNo = 0;
        if (const char *file = dwfl_lineinfo(line, nullptr, &lineNo, nullptr, nullptr, nullptr)) {
            out.sourceFile = file;
            out.line = lineNo > 0 ? static_cast<std::uint32_t>(lineNo) : 0;
            found = true;
        }
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

} // namespace

bool CrashDwarfLookup(std::uint64_t address, TCrashDwarfLocation &out)
{
    std::lock_guard lock(g_mutex);
    return lookupLocked(address, out, true);
}

void CrashDwarfReset()
{
    std::lock_guard lock(g_mutex);
    if (g_dwfl)
        dwfl_end(g_dwfl);
    g_dwfl = nullptr;
}

} // namespace crashreport
