#include "CrashModulesList.h"

#include "CRDebugInfoSource.h"
#include "CrashDataBlock.h"
#include "CrashElfFile.h"
#include "CrashFileNames.h"
#include "CrashLineTable.h"

#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace crashreport
{

namespace
{

    struct LoadedModule {
        std::string name;
        std::uint64_t bias = 0;
        std::uint64_t start = 0;
        std::uint64_t end = 0;
    };

    std::string selfExe()
    {
        char buf[PATH_MAX];
        const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n <= 0)
            return {};
        return std::string(buf, static_cast<std::size_t>(n));
    }

    std::vector<LoadedModule> loadedModules()
    {
        std::vector<LoadedModule> out;
        dl_iterate_phdr(
            [](dl_phdr_info *info, size_t, void *data) -> int {
                auto *list = static_cast<std::vector<LoadedModule> *>(data);
                LoadedModule m;
                m.name = info->dlpi_name ? info->dlpi_name : "";
                m.bias = info->dlpi_addr;
                std::uint64_t lo = UINT64_MAX, hi = 0;
                for (int i = 0; i < info->dlpi_phnum; ++i) {
                    const auto &ph = info->dlpi_phdr[i];
                    if (ph.p_type != PT_LOAD)
                        continue;
                    lo = std::min<std::uint64_t>(lo, info->dlpi_addr + ph.p_vaddr);
                    hi = std::max<std::uint64_t>(hi, info->dlpi_addr + ph.p_vaddr + ph.p_memsz);
                }
                if (lo >= hi)
                    return 0;
                m.start = lo;
                m.end = hi;
                list->push_back(std::move(m));
                return 0;
            },
            &out);
        if (!out.empty() && out.front().name.empty())
            out.front().name = selfExe();
        return out;
    }

    // Function-local statics: the list may be used during static initialisation.
    std::mutex &versionMutex()
    {
        static std::mutex m;
        return m;
    }
    std::string &programVersionText()
    {
        static auto *text = new std::string;
        return *text;
    }

    std::time_t fileTime(const std::string &path, std::uint64_t *size = nullptr)
    {
        struct stat st {
        };
        if (path.empty() || ::stat(path.c_str(), &st) != 0)
            return 0;
        if (size)
            *size = static_cast<std::uint64_t>(st.st_size);
        return st.st_mtime;
    }

    std::shared_ptr<TCrashModule> makeModule(const LoadedModule &lm, bool isMain)
    {
        auto m = std::make_shared<TCrashModule>();
        m->handle = lm.start;
        m->startAddress = lm.start;
        m->endAddress = lm.end;
        m->loadBias = lm.bias;
        m->fileName = lm.name;
        m->isMainProgram = isMain;
        m->modified = fileTime(lm.name, &m->size);
        m->buildTime = m->modified;
        if (isMain) {
            m->version = TCrashModulesList::programVersion();
        } else {
            char real[PATH_MAX];
            m->version
                = CrashVersionFromFileName(::realpath(lm.name.c_str(), real) ? std::string(real) : lm.name);
            if (m->version.empty())
                m->version = CrashVersionFromFileName(lm.name);
        }
        if (lm.name.empty() || lm.name.front() != '/')
            return m; // the vDSO and the like: no file to read
        TCrashElfInfo elf = CrashReadElfFile(lm.name);
        if (elf.ok) {
            m->functions = std::move(elf.functions);
            m->codeOffset = elf.codeOffset;
        }
        // The library's data block: the module's options and its own line table.
        const TCrashDataLookup data = ReadCrashDataFromFile(lm.name);
        if (data.found) {
            m->hasLibraryData = true;
            auto options = std::make_shared<TCrashModuleOptionsEx>(lm.name);
            if (options->loadFromLookup(data))
                m->options = std::move(options);
            m->lineTable = CrashLineTableFromStream(data.block.findStream(CrashDataLineTableTag));
            if (const std::int64_t built = CrashDataBuildTime(data.block); built != 0)
                m->buildTime = static_cast<std::time_t>(built);
        }
        if (elf.hasDwarf) {
            m->debugSourceKind = TCrashDebugSourceKind::Dwarf;
            m->debugSourceFile = lm.name;
        } else if (const std::string sep = elf.ok ? CrashFindSeparateDebugFile(lm.name, elf) : std::string();
                   !sep.empty()) {
            m->debugSourceKind = TCrashDebugSourceKind::Dwarf;
            m->debugSourceFile = sep;
        } else {
            std::string found;
            int kind = 0;
            m->debugSource = CrashOpenDebugSourceBeside(lm.name, &found, &kind);
            if (m->debugSource) {
                m->debugSourceKind = static_cast<TCrashDebugSourceKind>(kind);
                m->debugSourceFile = found;
            }
        }
        return m;
    }

} // namespace

void TCrashFunctionsList::add(std::uint64_t offset, std::uint64_t size, std::string name)
{
    m_items.push_back({ offset, size, std::move(name) });
}

void TCrashFunctionsList::sort()
{
    // Prefer a sized, global-looking name when several symbols share an address.
    std::stable_sort(m_items.begin(), m_items.end(), [](const TCrashFunction &a, const TCrashFunction &b) {
        if (a.offset != b.offset)
            return a.offset < b.offset;
        return a.size > b.size;
    });
    m_items.erase(std::unique(m_items.begin(), m_items.end(),
                      [](const TCrashFunction &a, const TCrashFunction &b) { return a.offset == b.offset; }),
        m_items.end());
}

const TCrashFunction *TCrashFunctionsList::findNearest(std::uint64_t offset) const
{
    auto it = std::upper_bound(m_items.begin(), m_items.end(), offset,
        [](std::uint64_t o, const TCrashFunction &f) { return o < f.offset; });
    if (it == m_items.begin())
        return nullptr;
    return &*(it - 1);
}

std::string TCrashModule::baseName() const
{
    return CrashFileBaseName(fileName);
}

std::string TCrashModule::folder() const
{
    return CrashFileFolder(fileName);
}

TCrashModulesList &TCrashModulesList::instance()
{
    static TCrashModulesList *list = new TCrashModulesList; // lives until exit, also for late reports
    return *list;
}

void TCrashModulesList::setProgramVersion(std::string version)
{
    std::lock_guard lock(versionMutex());
    programVersionText() = std::move(version);
}

std::string TCrashModulesList::programVersion()
{
    std::lock_guard lock(versionMutex());
    return programVersionText();
}

TCrashModulePtr TCrashModulesList::findByAddress(std::uint64_t address)
{
    std::lock_guard lock(m_mutex);
    for (const auto &m : m_items)
        if (m->contains(address))
            return m;
    const std::vector<LoadedModule> loaded = loadedModules();
    for (std::size_t i = 0; i < loaded.size(); ++i) {
        if (address >= loaded[i].start && address < loaded[i].end) {
            auto m = makeModule(loaded[i], i == 0);
            auto pos = std::lower_bound(m_items.begin(), m_items.end(), m->handle,
                [](const auto &a, std::uint64_t h) { return a->handle < h; });
            m_items.insert(pos, m);
            return m;
        }
    }
    return nullptr;
}

TCrashModulePtr TCrashModulesList::findByHandle(std::uint64_t handle)
{
    std::lock_guard lock(m_mutex);
    for (const auto &m : m_items)
        if (m->handle == handle)
            return m;
    const std::vector<LoadedModule> loaded = loadedModules();
    for (const auto &lm : loaded)
        if (lm.start == handle)
            return findByAddress(handle);
    return nullptr;
}

void TCrashModulesList::refresh()
{
    std::lock_guard lock(m_mutex);
    const std::vector<LoadedModule> loaded = loadedModules();
    // Drop modules no longer loaded (or loaded elsewhere / another file).
    std::erase_if(m_items, [&](const std::shared_ptr<TCrashModule> &m) {
        return std::none_of(loaded.begin(), loaded.end(), [&](const LoadedModule &lm) {
            return lm.start == m->handle && lm.end == m->endAddress && lm.name == m->fileName;
        });
    });
    for (std::size_t i = 0; i < loaded.size(); ++i) {
        const bool known = std::any_of(
            m_items.begin(), m_items.end(), [&](const auto &m) { return m->handle == loaded[i].start; });
        if (!known)
            m_items.push_back(makeModule(loaded[i], i == 0));
    }
    std::sort(
        m_items.begin(), m_items.end(), [](const auto &a, const auto &b) { return a->handle < b->handle; });
}

void TCrashModulesList::dropChanged()
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_items, [](const std::shared_ptr<TCrashModule> &m) {
        return !m->fileName.empty() && m->fileName.front() == '/' && fileTime(m->fileName) != m->modified;
    });
}

std::vector<TCrashModulePtr> TCrashModulesList::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return { m_items.begin(), m_items.end() };
}

std::size_t TCrashModulesList::count() const
{
    std::lock_guard lock(m_mutex);
    return m_items.size();
}

void TCrashModulesList::clear()
{
    std::lock_guard lock(m_mutex);
    m_items.clear();
}

} // namespace crashreport
