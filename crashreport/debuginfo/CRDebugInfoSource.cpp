#include "CRDebugInfoSource.h"

#include "CRDebugInfoJedy.h"
#include "CRDebugInfoMap.h"
#include "CRDebugInfoTD32.h"
#include "CrashModulesList.h"

#include <fstream>
#include <sys/stat.h>

namespace crashreport
{

std::uint64_t TCRDebugInfoSource::translateAddress(const TCrashModule &module, std::uint64_t address) const
{
    // Segment 1 of these tables is the module's first executable segment.
    return address - module.loadBias - module.codeOffset;
}

bool CrashReadFile(const std::string &path, std::string &data, std::size_t maxBytes)
{
    struct stat st {
    };
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)
        || static_cast<std::uint64_t>(st.st_size) > maxBytes)
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    data.assign(static_cast<std::size_t>(st.st_size), '\0');
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    data.resize(static_cast<std::size_t>(in.gcount()));
    return true;
}

std::shared_ptr<TCRDebugInfoSource> CrashOpenDebugSourceBeside(
    const std::string &moduleFile, std::string *foundFile, int *kind)
{
    const std::size_t slash = moduleFile.find_last_of('/');
    const std::size_t dot = moduleFile.find_last_of('.');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    struct Candidate {
        const char *ext;
        int kind;
    };
    for (const Candidate c : { Candidate { ".map", 2 }, Candidate { ".jdbg", 3 }, Candidate { ".tds", 4 } }) {
        std::vector<std::string> names { moduleFile + c.ext };
        if (hasExt)
            names.push_back(moduleFile.substr(0, dot) + c.ext);
        for (const std::string &name : names) {
            std::string data;
            if (!CrashReadFile(name, data))
                continue;
            std::shared_ptr<TCRDebugInfoSource> src;
            if (c.kind == 2)
                src = std::make_shared<TCRDebugInfoMap>(data);
            else if (c.kind == 3)
                src = std::make_shared<TCRDebugInfoJedy>(std::move(data));
            else
                src = std::make_shared<TCRDebugInfoTD32>(std::move(data));
            if (foundFile)
                *foundFile = name;
            if (kind)
                *kind = c.kind;
            return src; // a damaged source is kept: it answers nothing, the module still shows
        }
    }
    return nullptr;
}

} // namespace crashreport
