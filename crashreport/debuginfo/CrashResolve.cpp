#include "CrashResolve.h"

#include "CRDebugInfoSource.h"
#include "CrashDwarf.h"
#include "CrashFileNames.h"
#include "CrashLineTable.h"
#include "CrashNames.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <strings.h>

namespace crashreport
{

namespace
{

    // Function-local statics: addresses may be resolved during static initialisation.
    std::mutex &hiddenMutex()
    {
        static std::mutex m;
        return m;
    }
    std::vector<std::string> &hiddenUnits()
    {
        static auto *units = new std::vector<std::string>;
        return *units;
    }
    std::atomic<bool> g_internalFailure { false }; // constant-initialised

    bool isHiddenUnit(const std::string &unit)
    {
        if (unit.empty() || g_internalFailure.load())
            return false;
        std::lock_guard lock(hiddenMutex());
        return std::any_of(hiddenUnits().begin(), hiddenUnits().end(),
            [&](const std::string &u) { return strcasecmp(u.c_str(), unit.c_str()) == 0; });
    }

    std::vector<std::string> splitDots(std::string_view s)
    {
        std::vector<std::string> parts;
        std::size_t p = 0;
        while (true) {
            const std::size_t dot = s.find('.', p);
            parts.emplace_back(s.substr(p, dot == std::string_view::npos ? std::string_view::npos : dot - p));
            if (dot == std::string_view::npos)
                break;
            p = dot + 1;
        }
        return parts;
    }

    std::string withoutExtension(const std::string &file)
    {
        const std::string base = CrashFileBaseName(file);
        const std::size_t dot = base.find_last_of('.');
        return dot == std::string::npos ? base : base.substr(0, dot);
    }

    void setCppNames(const std::string &fullName, TCrashStackEntry &entry)
    {
        const TCrashSplitName split = CrashSplitCppName(fullName);
        entry.className = split.className;
        entry.procedureName = split.procedureName;
    }

    void finishKind(TCrashStackEntry &entry)
    {
        if (entry.line != 0)
            entry.kind = StackKindLine;
        else if (!entry.unitName.empty())
            entry.kind = StackKindUnit;
        else if (!entry.procedureName.empty())
            entry.kind = StackKindProcedure;
        else
            entry.kind = entry.module ? StackKindModule : StackKindHidden;
    }

    bool fromSymbols(const TCrashModule &module, std::uint64_t fileAddress, TCrashStackEntry &entry)
    {
        const TCrashFunction *f = module.functions.findNearest(fileAddress);
        if (!f)
            return false;
        // A sized symbol must hold the address; an unsized one is taken as the nearest below.
        if (f->size != 0 && fileAddress - f->offset >= f->size)
            return false;
        const std::string &name = f->name;
        if (name.empty() || name[0] == '?')
            return false;
        if (name[0] == '@') {
            const std::string dotted = CrashUndecorateExportName(name);
            if (dotted.empty())
                return false;
            CrashSplitDottedName(dotted, std::string(), entry);
            entry.unitName.clear(); // exports give no unit of their own unless the name carries one
            const std::vector<std::string> parts = splitDots(dotted);
            if (parts.size() >= 3)
                entry.unitName = parts[0];
        } else if (name.size() > 2 && name[0] == '_' && name[1] == 'Z') {
            setCppNames(CrashDemangle(name.c_str()), entry);
        } else if (name.find('.') != std::string::npos && name.find('@') != std::string::npos) {
            CrashSplitDottedName(name.substr(0, name.find('@')), std::string(), entry);
        } else {
            entry.procedureName = name;
        }
        entry.source = TCrashLocationSource::Symbols;
        return !entry.procedureName.empty();
    }

} // namespace

void CrashSetHiddenUnits(std::vector<std::string> units)
{
    std::lock_guard lock(hiddenMutex());
    hiddenUnits() = std::move(units);
}

void CrashSetReportingInternalFailure(bool on)
{
    g_internalFailure = on;
}

void CrashSplitDottedName(std::string_view fullName, const std::string &unitFile, TCrashStackEntry &entry)
{
    const std::vector<std::string> parts = splitDots(fullName);
    entry.className.clear();
    if (!unitFile.empty())
        entry.unitName = CrashFileBaseName(unitFile);
    if (parts.size() >= 3) {
        // unit . class . procedure (a longer class path keeps its inner points)
        if (entry.unitName.empty())
            entry.unitName = parts[0];
        std::string cls = parts[1];
        for (std::size_t i = 2; i + 1 < parts.size(); ++i)
            cls += "." + parts[i];
        entry.className = cls;
        entry.procedureName = parts.back();
    } else if (parts.size() == 2) {
        const std::string unitStem = withoutExtension(entry.unitName);
        if (!unitStem.empty() && strcasecmp(unitStem.c_str(), parts[0].c_str()) == 0)
            entry.className.clear();
        else
            entry.className = parts[0];
        entry.procedureName = parts[1];
    } else {
        entry.procedureName = parts[0];
    }
    if (!entry.procedureName.empty() && entry.procedureName[0] == '@')
        entry.procedureName[0] = '_';
}

std::string CrashUndecorateExportName(std::string_view name)
{
    if (name.empty() || name[0] != '@')
        return {};
    std::string s(name.substr(0, name.find('$')));
    if (!s.empty() && s.back() == '@')
        s.pop_back();
    if (!s.empty() && s.front() == '@')
        s.erase(0, 1);
    if (const std::size_t dbl = s.find("@@"); dbl != std::string::npos)
        s[dbl + 1] = '_';
    std::replace(s.begin(), s.end(), '@', '.');
    return s;
}

void CrashResolveAddress(std::uint64_t address, std::uint64_t threadId, TCrashStackEntry &entry,
    bool groupStart, std::uint8_t groupKind)
{
    entry = TCrashStackEntry {};
    entry.address = address;
    entry.threadId = threadId;
    entry.groupStart = groupStart;
    entry.groupKind = groupKind;
    try {
        entry.module = TCrashModulesList::instance().findByAddress(address);
        if (!entry.module) {
            entry.kind = StackKindHidden;
            return;
        }
        const TCrashModule &module = *entry.module;
        const std::uint64_t fileAddress = address - module.loadBias;
        bool located = false;
        if (module.lineTable) {
            TCrashLineLookup lt;
            if (module.lineTable->lookup(fileAddress, lt)) {
                entry.unitName = CrashFileBaseName(lt.unitName);
                entry.sourceFile = lt.unitName;
                setCppNames(lt.procedureName, entry);
                entry.line = lt.line;
                entry.lineOffset = lt.lineOffset;
                entry.source = TCrashLocationSource::LineTable;
                located = true;
            }
        }
        if (!located && module.debugSourceKind == TCrashDebugSourceKind::Dwarf) {
            TCrashDwarfLocation loc;
            if (CrashDwarfLookup(address, loc)) {
                entry.sourceFile = loc.sourceFile;
                entry.unitName = CrashFileBaseName(loc.sourceFile);
                setCppNames(loc.procedureName, entry);
                entry.line = loc.line;
                entry.lineOffset = loc.procedureLine > 0 && loc.line >= loc.procedureLine
                    ? loc.line - loc.procedureLine
                    : 0;
                entry.source = TCrashLocationSource::Dwarf;
                located = true;
            }
        }
        if (!located && module.debugSource && module.debugSource->valid()) {
            TCrashLocationInfo info;
            if (module.debugSource->getLocationInfo(
                    module.debugSource->translateAddress(module, address), info)) {
                entry.sourceFile = info.sourceFile;
                CrashSplitDottedName(
                    info.procedureName, info.sourceFile.empty() ? info.unitName : info.sourceFile, entry);
                entry.line = info.line;
                entry.lineOffset = info.lineOffset;
                switch (module.debugSourceKind) {
                case TCrashDebugSourceKind::MapFile:
                    entry.source = TCrashLocationSource::MapFile;
                    break;
                case TCrashDebugSourceKind::Jdbg:
                    entry.source = TCrashLocationSource::Jdbg;
                    break;
                case TCrashDebugSourceKind::TD32:
                    entry.source = TCrashLocationSource::TD32;
                    break;
                default:
                    break;
                }
                located = true;
            }
        }
        if (located && entry.procedureName.empty()) {
            // The line came without a procedure: the symbol table still names it.
            TCrashStackEntry names;
            if (fromSymbols(module, fileAddress, names)) {
                entry.className = names.className;
                entry.procedureName = names.procedureName;
            }
        }
        if (!located)
            fromSymbols(module, fileAddress, entry);
        entry.unitName = CrashCutName(std::move(entry.unitName));
        entry.className = CrashCutName(std::move(entry.className));
        entry.procedureName = CrashCutName(std::move(entry.procedureName));
        finishKind(entry);
        if (isHiddenUnit(entry.unitName)) {
            entry.unitName.clear();
            entry.className.clear();
            entry.procedureName.clear();
            entry.line = 0;
            entry.lineOffset = 0;
            entry.kind = StackKindModule;
        }
    } catch (...) {
        // Out of memory or similar while reading a module: keep what is known.
        entry.kind = entry.module ? StackKindModule : StackKindHidden;
    }
}

} // namespace crashreport
